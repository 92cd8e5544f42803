// Edge coverage for AFL++ from g++'s own instrumentation, for builds that use plain g++ with
// -fsanitize-coverage=trace-pc and AFL++'s runtime instead of an AFL++ compiler wrapper: g++ calls
// this function at the start of every basic block, and it counts the transition from the previous
// block into AFL++'s coverage map, as the wrappers' instrumentation does.
#include <cstdint>

// The coverage map of AFL++'s runtime: 64 KiB, in shared memory once the fork server runs.
extern "C" unsigned char* __afl_area_ptr;

namespace {

constexpr int map_bits = 16;
std::uint32_t previous_block = 0;

}  // namespace

extern "C" __attribute__((no_sanitize_coverage, no_sanitize_address, no_sanitize_undefined)) void
__sanitizer_cov_trace_pc() {
  const auto address = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
  // Fibonacci hashing spreads nearby block addresses over the whole map.
  const auto block =
      static_cast<std::uint32_t>((address * 0x9E3779B97F4A7C15ull) >> (64 - map_bits));
  ++__afl_area_ptr[block ^ previous_block];
  previous_block = block >> 1;
}
