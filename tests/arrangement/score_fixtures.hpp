// Source scores and chords shared by the engine's tests and benchmarks: hand-built measures and
// notes, the songs several suites play, and the chord occurrences of a score. Ticks: 4096 a
// quarter note, 16384 a 4/4 measure.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace score_fixtures {

using namespace orvanta::arrangement_detail;

// Source scores

// Empty 4/4 measures "m0", "m1", ... gapless from tick 0.
inline source_score empty_measures(std::size_t count) {
  source_score score;
  for (std::size_t index = 0; index < count; ++index) {
    source_measure measure;
    measure.id = "m" + std::to_string(index);
    measure.start_tick = static_cast<std::int64_t>(index) * 16384;
    score.measures.push_back(std::move(measure));
  }
  return score;
}

// The notes over `measures` empty 4/4 measures from tick 0.
inline source_score score_of(std::vector<source_note> notes, std::size_t measures = 2) {
  auto score = empty_measures(measures);
  score.notes = std::move(notes);
  return score;
}

// Style

// The profile of "Med. Swing": swing at a medium 132 beats a minute.
inline arrangement_style_profile med_swing() {
  return {comping_style_family::swing, false, false, 132};
}

// Chords

// The chord occurrences of the score's harmonic timeline, in time order.
inline std::vector<chord_occurrence> occurrences_of(const source_score& score) {
  std::vector<chord_occurrence> chords;
  for (const auto& span : build_harmonic_timeline(score).spans) chords.push_back(span.occurrence);
  return chords;
}

// An occurrence of the chord symbol, which must parse, over [start, end).
inline chord_occurrence occurrence(const std::string& symbol, std::int64_t start,
                                   std::int64_t end) {
  chord_occurrence result;
  result.chord = *parse_chord_symbol(symbol);
  result.symbol = symbol;
  result.start_tick = start;
  result.end_tick = end;
  return result;
}

}  // namespace score_fixtures
