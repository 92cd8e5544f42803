#include "arrangement/arrangement_analysis.hpp"

#include "arrangement/form.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

// A chord occurrence with the measure of its note, the element the timeline sorts.
struct indexed_occurrence {
  chord_occurrence occurrence;
  std::size_t measure_index = 0;
};

// The length of a span; saturates instead of overflowing on absurd ticks.
std::int64_t span_length(std::int64_t start_tick, std::int64_t end_tick) {
  std::int64_t length = 0;
  if (!__builtin_sub_overflow(end_tick, start_tick, &length)) return length;
  return start_tick < 0 ? std::numeric_limits<std::int64_t>::max()
                        : std::numeric_limits<std::int64_t>::min();
}

harmonic_span make_span(indexed_occurrence indexed, std::int64_t end_tick,
                        std::int64_t source_end) {
  harmonic_span span;
  span.start_tick = indexed.occurrence.start_tick;
  span.end_tick = end_tick;
  span.occurrence = std::move(indexed.occurrence);
  span.occurrence.end_tick = end_tick;
  span.measure_index = indexed.measure_index;
  const auto length = span_length(span.start_tick, end_tick);
  span.sustained = length > 4095;
  span.cadence_weight = end_tick >= source_end ? 1.0 : 0.0;
  span.harmonic_rhythm =
      std::min(16384.0 / static_cast<double>(std::max<std::int64_t>(length, 1)), 1.0);
  return span;
}

}  // namespace

harmonic_timeline build_harmonic_timeline(const source_score& source) {
  harmonic_timeline timeline;
  std::vector<indexed_occurrence> occurrences;
  for (std::size_t index = 0; index < source.notes.size(); ++index) {
    const auto& note = source.notes[index];
    if (note.chord_symbol.empty()) continue;
    auto chord = parse_chord_symbol(note.chord_symbol);
    if (!chord) {
      timeline.parse_issues.push_back({note.start_tick, index, note.chord_symbol});
      continue;
    }
    occurrences.push_back(
        {{index, note.start_tick, 0, std::move(*chord), note.chord_symbol}, note.measure_index});
  }

  // Every note gives at most one occurrence, so start and note index order them fully.
  std::ranges::sort(occurrences,
                    [](const indexed_occurrence& left, const indexed_occurrence& right) {
                      return std::pair(left.occurrence.start_tick, left.occurrence.note_index) <
                             std::pair(right.occurrence.start_tick, right.occurrence.note_index);
                    });

  const auto source_end = source_end_ticks(source);
  timeline.spans.reserve(occurrences.size());
  for (std::size_t k = 0; k < occurrences.size(); ++k) {
    const auto end_tick =
        k + 1 < occurrences.size() ? occurrences[k + 1].occurrence.start_tick : source_end;
    timeline.spans.push_back(make_span(std::move(occurrences[k]), end_tick, source_end));
  }
  return timeline;
}

}  // namespace orvanta::arrangement_detail
