#include "arrangement/improvisation_analysis.hpp"

#include "arrangement/form.hpp"

namespace orvanta::arrangement_detail::improvisation_detail {

std::optional<std::int64_t> first_attack_start_in_measure(const source_score&, std::size_t) {
  return std::nullopt;
}

std::vector<phrase_span> phrase_spans_for_source(const source_score&) { return {}; }

}  // namespace orvanta::arrangement_detail::improvisation_detail
