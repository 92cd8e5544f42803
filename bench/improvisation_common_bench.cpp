// The improviser's harmony lookups over a 64-measure song with two chords a measure: the context
// at a tick found from the chord list alone, and from the table built once for the song (its
// building timed on its own). Every lookup walks the song in eighth notes.
#include "arrangement/improvisation_common.hpp"

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/source.hpp"

#include <benchmark/benchmark.h>

#include "score_fixtures.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::chord_cycle_song;
using score_fixtures::occurrences_of;

constexpr std::int64_t whole = 16384;
constexpr std::int64_t eighth = 2048;
constexpr std::size_t measure_count = 64;
constexpr std::int64_t song_end = static_cast<std::int64_t>(measure_count) * whole;

void bm_harmonic_context_for_tick(benchmark::State& state) {
  const auto score = chord_cycle_song(measure_count);
  const auto chords = occurrences_of(score);
  const improvisation_config config;
  for (auto _ : state) {
    for (std::int64_t tick = 0; tick < song_end; tick += eighth) {
      benchmark::DoNotOptimize(harmonic_context_for_tick(score, chords, config, tick));
    }
  }
  state.SetItemsProcessed(state.iterations() * (song_end / eighth));
}
BENCHMARK(bm_harmonic_context_for_tick);

void bm_harmonic_context_at(benchmark::State& state) {
  const auto score = chord_cycle_song(measure_count);
  const auto table = build_harmonic_context_table(score, occurrences_of(score));
  for (auto _ : state) {
    for (std::int64_t tick = 0; tick < song_end; tick += eighth) {
      benchmark::DoNotOptimize(harmonic_context_at(table, tick));
    }
  }
  state.SetItemsProcessed(state.iterations() * (song_end / eighth));
}
BENCHMARK(bm_harmonic_context_at);

void bm_build_harmonic_context_table(benchmark::State& state) {
  const auto score = chord_cycle_song(measure_count);
  const auto chords = occurrences_of(score);
  for (auto _ : state) benchmark::DoNotOptimize(build_harmonic_context_table(score, chords));
}
BENCHMARK(bm_build_harmonic_context_table);

}  // namespace
