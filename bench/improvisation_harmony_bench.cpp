// One solo span's worth of realisation and scoring: 32 candidate phrases of 14 gestures over four
// measures with two chords a measure, each realised and then scored against a memory of seven
// earlier phrases; the harmony read from the chord list, or from the table built once per solo.
// The digest counter is a hash of every note and score, to compare results across changes.
#include "arrangement/improvisation_harmony.hpp"

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/source.hpp"

#include <benchmark/benchmark.h>

#include "score_fixtures.hpp"

#include <array>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::chord_cycle_song;
using score_fixtures::occurrences_of;

constexpr std::int64_t whole = 16384;
constexpr std::size_t measure_count = 32;
constexpr int candidate_count = 32;

// The span of measures 8 to 11, the fifth of eight.
phrase_analysis span_analysis() {
  phrase_analysis analysis;
  analysis.span = {.first_measure = 8,
                   .end_measure = 12,
                   .start_tick = 8 * whole,
                   .end_tick = 12 * whole,
                   .index = 4,
                   .count = 8};
  for (std::int64_t beat = 0; beat < 8; ++beat) {
    analysis.landmarks.push_back({.start_tick = 8 * whole + beat * 8192,
                                  .duration_ticks = 4096,
                                  .midi = 60 + static_cast<int>(beat % 5)});
  }
  return analysis;
}

// Candidate `candidate`'s gestures: 14 notes of varied lengths filling the span.
std::vector<melody_gesture> gestures_for(int candidate) {
  constexpr std::array<std::int64_t, 14> lengths{2048, 4096, 6144, 2048, 2048, 8192, 4096,
                                                 2048, 2048, 6144, 4096, 4096, 2048, 8192};
  std::vector<melody_gesture> gestures;
  std::int64_t start = 8 * whole;
  for (std::size_t index = 0; index < lengths.size(); ++index) {
    const int target =
        58 + static_cast<int>((index * 5 + static_cast<std::size_t>(candidate)) % 14);
    gestures.push_back(
        {.start_tick = start,
         .duration_ticks = lengths[index],
         .desired_midi = 62 + static_cast<int>(index % 5),
         .target_midi = target,
         .weight = 40 + static_cast<int>((index * 13) % 60),
         .measure_index = static_cast<std::size_t>(start / whole),
         .role = static_cast<gesture_role>((index + static_cast<std::size_t>(candidate)) % 6),
         .phrase_function = phrase_function::opening,
         .on_strong_slot = start % 4096 == 0,
         .opens_phrase = index == 0,
         .closes_phrase = index + 1 == lengths.size(),
         .from_landmark = index % 2 == 0});
    start += lengths[index];
  }
  return gestures;
}

std::vector<phrase_memory> earlier_phrases(const source_score& score,
                                           const std::vector<chord_occurrence>& chords,
                                           const improvisation_config& config) {
  std::vector<phrase_memory> memory;
  for (int index = 0; index < 7; ++index) {
    auto gestures = gestures_for(index * 3);
    for (auto& gesture : gestures) {
      gesture.start_tick -= 4 * whole;
      gesture.measure_index -= 4;
    }
    const auto events = realize_gestures(score, chords, config, gestures, index);
    memory.push_back({.harmonic_signature = index % 2 == 0 ? "0:minor7@0;" : "other",
                      .rhythm_signature = phrase_rhythm_signature(events, 4 * whole),
                      .interval_signature = interval_signature(events),
                      .phrase_function = static_cast<phrase_function>(index % 5),
                      .first_pc = events.front().midi % 12,
                      .last_pc = events.back().midi % 12,
                      .range = 12,
                      .pitch_classes = distinct_pitch_classes(events),
                      .events = events});
  }
  return memory;
}

std::uint32_t mix_digest(std::uint32_t digest, std::int64_t value) {
  return (digest ^ static_cast<std::uint32_t>(value)) * 16777619u;
}

template <class harmony_source>
void realise_and_score(benchmark::State& state, bool score_phrases,
                       const harmony_source& make_harmony) {
  const auto score = chord_cycle_song(measure_count);
  const auto chords = occurrences_of(score);
  const auto config = profile_config(improvisation_role::electric);
  const auto analysis = span_analysis();
  const auto memory = earlier_phrases(score, chords, config);
  std::vector<std::vector<melody_gesture>> candidates;
  for (int candidate = 0; candidate < candidate_count; ++candidate) {
    candidates.push_back(gestures_for(candidate));
  }
  std::uint32_t digest = 2166136261u;
  for (auto _ : state) {
    digest = 2166136261u;
    const auto& harmony = make_harmony(score, chords);
    for (int candidate = 0; candidate < candidate_count; ++candidate) {
      const auto events =
          realize_gestures(score, harmony, config, candidates[static_cast<std::size_t>(candidate)],
                           candidate + analysis.span.index);
      for (const auto& event : events) digest = mix_digest(digest, event.midi);
      if (!score_phrases) continue;
      if constexpr (std::is_same_v<std::decay_t<decltype(harmony)>, harmonic_context_table>) {
        digest = mix_digest(digest,
                            phrase_score(score, chords, harmony, config, analysis, events, memory));
      } else {
        digest = mix_digest(digest, phrase_score(score, chords, config, analysis, events, memory));
      }
    }
    benchmark::DoNotOptimize(digest);
  }
  state.counters["digest"] = digest;
}

struct by_chord_list {
  const std::vector<chord_occurrence>& operator()(
      const source_score&, const std::vector<chord_occurrence>& chords) const {
    return chords;
  }
};

struct by_table {
  harmonic_context_table operator()(const source_score& score,
                                    const std::vector<chord_occurrence>& chords) const {
    return build_harmonic_context_table(score, chords);
  }
};

void bm_realise_span_from_chord_list(benchmark::State& state) {
  realise_and_score(state, false, by_chord_list{});
}
BENCHMARK(bm_realise_span_from_chord_list)->Unit(benchmark::kMicrosecond);

void bm_realise_span_from_table(benchmark::State& state) {
  realise_and_score(state, false, by_table{});
}
BENCHMARK(bm_realise_span_from_table)->Unit(benchmark::kMicrosecond);

void bm_realise_and_score_span_from_chord_list(benchmark::State& state) {
  realise_and_score(state, true, by_chord_list{});
}
BENCHMARK(bm_realise_and_score_span_from_chord_list)->Unit(benchmark::kMicrosecond);

void bm_realise_and_score_span_from_table(benchmark::State& state) {
  realise_and_score(state, true, by_table{});
}
BENCHMARK(bm_realise_and_score_span_from_table)->Unit(benchmark::kMicrosecond);

}  // namespace
