// The improviser's harmony lookups over a 64-measure song with two chords a measure: the context
// at a tick found from the chord list alone, and from the table built once for the song (its
// building timed on its own). Every lookup walks the song in eighth notes.
#include "arrangement/improvisation_common.hpp"

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/source.hpp"

#include <benchmark/benchmark.h>

#include "score_fixtures.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::occurrences_of;

constexpr std::int64_t whole = 16384;
constexpr std::int64_t eighth = 2048;
constexpr std::size_t measure_count = 64;
constexpr std::int64_t song_end = static_cast<std::int64_t>(measure_count) * whole;

constexpr std::array<const char*, 8> cycle{"Dm7", "G7", "Cmaj7", "A7", "Bm7b5", "E7", "Am7", "D7"};

source_score long_song() {
  source_score score;
  for (std::size_t index = 0; index < measure_count; ++index) {
    source_measure measure;
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    score.measures.push_back(measure);
    for (std::size_t half = 0; half < 2; ++half) {
      source_note note;
      note.measure_index = index;
      note.start_tick = measure.start_tick + static_cast<std::int64_t>(half) * whole / 2;
      note.duration_ticks = whole / 2;
      note.pitches = {{.midi = 64}};
      note.chord_symbol = cycle[(2 * index + half) % cycle.size()];
      score.notes.push_back(note);
    }
  }
  return score;
}

void bm_harmonic_context_for_tick(benchmark::State& state) {
  const auto score = long_song();
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
  const auto score = long_song();
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
  const auto score = long_song();
  const auto chords = occurrences_of(score);
  for (auto _ : state) benchmark::DoNotOptimize(build_harmonic_context_table(score, chords));
}
BENCHMARK(bm_build_harmonic_context_table);

}  // namespace
