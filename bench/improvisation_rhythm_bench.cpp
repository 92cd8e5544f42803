// The solo's planning work for one song of 64 measures: analysing every phrase span, and planning
// the 32 candidate gesture lists of every span, in both phrasing styles.
#include "arrangement/improvisation_rhythm.hpp"

#include <benchmark/benchmark.h>

#include "score_fixtures.hpp"

#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::add_note;
using score_fixtures::occurrences_of;

constexpr std::int64_t whole = 16384;

// Quarters, eighths, held notes and a chord change every two beats over 64 measures.
source_score song() {
  source_score score;
  const char* chords[] = {"Cmaj7", "Am7", "Dm7", "G7", "Em7", "A7", "Dm7", "G7"};
  for (std::size_t measure = 0; measure < 64; ++measure) {
    const auto start = static_cast<std::int64_t>(measure) * whole;
    source_measure bar;
    bar.start_tick = start;
    score.measures.push_back(bar);
    const int shift = static_cast<int>(measure % 5);
    if (measure % 4 == 3) {
      add_note(score, start, whole, 62 + shift, chords[(measure * 2) % 8]);
      continue;
    }
    add_note(score, start, 4096, 64 + shift, chords[(measure * 2) % 8]);
    add_note(score, start + 4096, 2048, 65 + shift, "");
    add_note(score, start + 6144, 2048, 67 + shift, "");
    add_note(score, start + 8192, 8192, 69 - shift, chords[(measure * 2 + 1) % 8]);
  }
  return score;
}

void bm_analyze_all_spans(benchmark::State& state) {
  const auto score = song();
  const auto chords = occurrences_of(score);
  const auto config = profile_config(improvisation_role::electric);
  const auto spans = phrase_spans_for_source(score);
  for (auto _ : state) {
    for (const auto& span : spans) {
      benchmark::DoNotOptimize(analyze_phrase(score, chords, config, span));
    }
  }
}
BENCHMARK(bm_analyze_all_spans);

void bm_plan_all_candidates(benchmark::State& state) {
  const auto score = song();
  const auto chords = occurrences_of(score);
  const auto config = profile_config(static_cast<improvisation_role>(state.range(0)));
  std::vector<phrase_analysis> analyses;
  for (const auto& span : phrase_spans_for_source(score)) {
    analyses.push_back(analyze_phrase(score, chords, config, span));
  }
  const arrangement_style_profile style;
  // The solo indexes the written melody once for all its spans and candidates.
  const auto melody = build_melody_tick_index(score);
  for (auto _ : state) {
    for (const auto& analysis : analyses) {
      for (int candidate = 0; candidate < 32; ++candidate) {
        benchmark::DoNotOptimize(
            build_melody_gestures(score, melody, style, chords, config, analysis, candidate));
      }
    }
  }
}
BENCHMARK(bm_plan_all_candidates)->Arg(0)->Arg(1);

}  // namespace
