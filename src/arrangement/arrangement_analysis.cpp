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

namespace orvanta::arrangement_detail {

std::uint64_t fnv1a_64_byte(std::uint64_t state, std::uint8_t byte) {
  return (state ^ byte) * fnv1a_64_prime;
}

std::uint64_t fnv1a_64_int64(std::uint64_t state, std::int64_t value) {
  auto bits = static_cast<std::uint64_t>(value);
  for (int shift = 0; shift < 64; shift += 8) {
    state = fnv1a_64_byte(state, static_cast<std::uint8_t>(bits >> shift));
  }
  return state;
}

std::uint64_t fnv1a_64_bytes(std::uint64_t state, std::string_view text) {
  for (const char c : text) state = fnv1a_64_byte(state, static_cast<std::uint8_t>(c));
  return state;
}

std::uint64_t fnv1a_64_text(std::uint64_t state, std::string_view text) {
  return fnv1a_64_byte(fnv1a_64_bytes(state, text), 0xff);
}

std::uint64_t normalized_source_fingerprint(const source_score&, const arrangement_style_profile&) {
  return 0;
}

arrangement_analysis analyze_for_arrangement(const source_score&, const harmonic_timeline& timeline,
                                             const arrangement_style_profile&) {
  arrangement_analysis analysis;
  analysis.timeline = timeline;
  return analysis;
}

}  // namespace orvanta::arrangement_detail
