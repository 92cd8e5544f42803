// Chord grips for every quality on every root, with and without a slash bass: one call per
// iteration, walking through all the chords a whole number of times, so the time per iteration is
// the mean cost of one call over all of them.
#include "arrangement/chords.hpp"
#include "arrangement/voicing.hpp"

#include <benchmark/benchmark.h>

#include "grip_fixtures.hpp"

#include <array>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

using grip_fixtures::quality_suffixes;
using grip_fixtures::root_names;

constexpr std::size_t chord_count = quality_suffixes.size() * root_names.size() * 2;
constexpr std::size_t sweeps = 2;

// Every quality on every root, once plain and once over the fifth as slash bass.
const std::vector<parsed_chord>& all_chords() {
  static const std::vector<parsed_chord> chords = [] {
    std::vector<parsed_chord> result;
    for (const char* suffix : quality_suffixes) {
      for (std::size_t root = 0; root < root_names.size(); ++root) {
        const std::string symbol = std::string{root_names[root]} + suffix;
        result.push_back(*parse_chord_symbol(symbol));
        result.push_back(*parse_chord_symbol(symbol + "/" + root_names[(root + 7) % 12]));
      }
    }
    return result;
  }();
  return chords;
}

// Argument: bit 0 allow_two_note, bit 1 melody_chord, bit 2 melody_mode.
void chord_candidates_bench(benchmark::State& state) {
  const auto flags = state.range(0);
  const auto& chords = all_chords();
  std::size_t next = 0;
  for (auto _ : state) {
    auto candidates =
        chord_candidates(chords[next], (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0);
    benchmark::DoNotOptimize(candidates);
    next = (next + 1) % chords.size();
  }
}
BENCHMARK(chord_candidates_bench)
    ->DenseRange(0, 7)
    ->Iterations(sweeps* chord_count)
    ->Unit(benchmark::kMicrosecond);

// Argument: bit 0 allow_two_note, bit 1 melody_chord.
void melody_mode_chord_candidates_bench(benchmark::State& state) {
  const auto flags = state.range(0);
  const auto& chords = all_chords();
  std::size_t next = 0;
  for (auto _ : state) {
    auto candidates =
        melody_mode_chord_candidates(chords[next], (flags & 1) != 0, (flags & 2) != 0);
    benchmark::DoNotOptimize(candidates);
    next = (next + 1) % chords.size();
  }
}
BENCHMARK(melody_mode_chord_candidates_bench)
    ->DenseRange(0, 3)
    ->Iterations(sweeps* chord_count)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
