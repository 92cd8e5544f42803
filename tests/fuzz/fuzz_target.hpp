// A fuzz target is one function that takes any bytes and must neither fault nor break one of its
// own oracles; it aborts with a message on stderr when an oracle fails, so that AFL++ counts the
// input as a crash and a replay test fails on it. Each target is linked twice: into its AFL++
// driver (afl_driver.cpp, built by scripts/fuzz.sh) and into its replay test (replay_test.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace orvanta::fuzz {

// Runs the target on one input; returns only when every oracle held.
void fuzz_one_input(const std::uint8_t* data, std::size_t size);

// True in the replay tests, false in the AFL++ driver: a target that would be too slow to run all
// its variants on every input while fuzzing may let the input choose one there, and replays every
// saved input through all of them.
bool replaying();

// Aborts with the oracle's text unless it held.
inline void require(bool held, const char* oracle) {
  if (held) return;
  std::fprintf(stderr, "fuzz oracle failed: %s\n", oracle);
  std::abort();
}

}  // namespace orvanta::fuzz
