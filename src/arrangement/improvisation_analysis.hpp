// How the solo reads the written song: the source is cut into phrase spans, an optional leading
// pickup span and then groups of four measures whatever the time signature, the last group holding
// what remains. Ticks are 4096 to the quarter note.
#pragma once

#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail::improvisation_detail {

// Phrase spans

// One phrase of the source: measures [first_measure, end_measure) and ticks [start_tick,
// end_tick); a leading pickup span starts at its first attack. `index` is the span's position in
// its list, `count` the length of that list.
struct phrase_span {
  std::size_t first_measure = 0;
  std::size_t end_measure = 0;
  std::int64_t start_tick = 0;
  std::int64_t end_tick = 0;
  std::int32_t index = 0;
  std::int32_t count = 0;

  bool operator==(const phrase_span&) const = default;
};

// The earliest start tick of the measure's attacks (pitched notes of kind "note" not tied from a
// previous note); nothing when the measure holds none.
std::optional<std::int64_t> first_attack_start_in_measure(const source_score& source,
                                                          std::size_t measure_index);

// The source's phrase spans in time order: the leading pickup measure alone, from its first attack
// to the body start, then four measures at a time from the body start; none without measures.
std::vector<phrase_span> phrase_spans_for_source(const source_score& source);

}  // namespace orvanta::arrangement_detail::improvisation_detail
