// What the improviser's tests build by hand besides source scores: the configuration rows, phrase
// events from timed notes, and the analysis of a four-measure span. Ticks: 4096 a quarter note,
// 16384 a 4/4 measure.
#pragma once

#include "arrangement/improvisation_analysis.hpp"
#include "arrangement/improvisation_common.hpp"
#include "arrangement/improvisation_harmony.hpp"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace solo_fixtures {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;

// The configuration rows of the acoustic and the electric solo.
inline improvisation_config acoustic() { return profile_config(improvisation_role::acoustic); }
inline improvisation_config electric() { return profile_config(improvisation_role::electric); }

// A note of a phrase: its start, its length and its MIDI pitch.
struct timed_note {
  std::int64_t start = 0;
  std::int64_t duration = 0;
  int midi = 0;
};

// The phrase events of the notes, each in the 4/4 measure its start falls in.
inline std::vector<solo_phrase_event> phrase_of(const std::vector<timed_note>& notes) {
  std::vector<solo_phrase_event> events;
  for (const auto& note : notes) {
    events.push_back({.measure_index = static_cast<std::size_t>(note.start / 16384),
                      .start_tick = note.start,
                      .duration_ticks = note.duration,
                      .midi = note.midi});
  }
  return events;
}

// The MIDI pitches of the events, in order.
inline std::vector<int> midis_of(const std::vector<solo_phrase_event>& events) {
  std::vector<int> midis;
  for (const auto& event : events) midis.push_back(event.midi);
  return midis;
}

// The analysis of a four-measure span from tick 0 at `index` of `count` spans, with the given
// landmarks (start and MIDI, a quarter note long; no other field is set).
inline phrase_analysis analysis_of(
    std::int32_t index = 1, std::int32_t count = 3,
    const std::vector<std::pair<std::int64_t, int>>& landmarks = {}) {
  phrase_analysis analysis;
  analysis.span = {.first_measure = 0,
                   .end_measure = 4,
                   .start_tick = 0,
                   .end_tick = 4 * 16384,
                   .index = index,
                   .count = count};
  for (const auto& [start, midi] : landmarks) {
    analysis.landmarks.push_back({.start_tick = start, .duration_ticks = 4096, .midi = midi});
  }
  return analysis;
}

}  // namespace solo_fixtures
