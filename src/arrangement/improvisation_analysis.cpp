#include "arrangement/improvisation_analysis.hpp"

#include "arrangement/form.hpp"

#include <algorithm>

namespace orvanta::arrangement_detail::improvisation_detail {
namespace {

bool is_attack(const source_note& note) {
  return note.kind == "note" && !note.pitches.empty() && !note.tie_from_previous;
}

}  // namespace

std::optional<std::int64_t> first_attack_start_in_measure(const source_score& source,
                                                          std::size_t measure_index) {
  std::optional<std::int64_t> first;
  for (const auto& note : source.notes) {
    if (note.measure_index != measure_index || !is_attack(note)) continue;
    if (!first || note.start_tick < *first) first = note.start_tick;
  }
  return first;
}

std::vector<phrase_span> phrase_spans_for_source(const source_score& source) {
  const auto measure_count = source.measures.size();
  if (measure_count == 0) return {};

  std::vector<phrase_span> spans;
  const auto pickup = leading_pickup_measure_index(source);
  const auto body_start = body_start_measure_index(source);
  if (pickup && *pickup < body_start) {
    if (body_start >= measure_count) return {};
    const auto pickup_start = first_attack_start_in_measure(source, *pickup)
                                  .value_or(source_measure_start(source, *pickup));
    spans.push_back({*pickup, body_start, pickup_start, source_measure_start(source, body_start)});
  }
  for (auto first = body_start; first < measure_count; first += 4) {
    const auto end = std::min(first + 4, measure_count);
    spans.push_back(
        {first, end, source_measure_start(source, first), source_measure_end(source, end - 1)});
  }

  const auto count = static_cast<std::int32_t>(spans.size());
  for (std::int32_t index = 0; index < count; ++index) {
    spans[static_cast<std::size_t>(index)].index = index;
    spans[static_cast<std::size_t>(index)].count = count;
  }
  return spans;
}

}  // namespace orvanta::arrangement_detail::improvisation_detail

namespace orvanta::arrangement_detail::improvisation_detail {

bool phrase_span_is_leading_pickup(const source_score&, const phrase_span&) { return false; }

phrase_analysis analyze_phrase(const source_score&, const std::vector<chord_occurrence>&,
                               const improvisation_config&, phrase_span span) {
  phrase_analysis analysis;
  analysis.span = span;
  return analysis;
}

phrase_function phrase_function_for(const improvisation_config&, const phrase_analysis&) {
  return phrase_function::opening;
}

std::optional<source_landmark> nearest_landmark(const phrase_analysis&, std::int64_t) {
  return std::nullopt;
}

std::string harmonic_signature_for_phrase(const std::vector<chord_occurrence>&,
                                          const phrase_span&) {
  return {};
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
