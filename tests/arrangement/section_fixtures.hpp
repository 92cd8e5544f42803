// Sections of a part's plan as the section driver hands them to a section's generation: the part
// planned from a source, a section with its slice of the source, and its empty trace record.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/form.hpp"
#include "arrangement/source.hpp"
#include "arrangement_types.hpp"

#include <cstdint>
#include <optional>

namespace section_fixtures {

using namespace orvanta::arrangement_detail;

// The part's plan of a source as the driver builds it: the source analysed with the profile, the
// form's sections for `form_part` (with or without a solo) planned, then specialised for `part`.
inline part_realization_plan part_plan_of(const source_score& source,
                                          const arrangement_style_profile& profile,
                                          orvanta::arrangement_part_type form_part,
                                          orvanta::arrangement_part_type part,
                                          bool include_solo = false) {
  const auto analysis = analyze_for_arrangement(source, build_harmonic_timeline(source), profile);
  const auto sections = full_arrangement_sections(source, form_part, include_solo);
  return specialize_for_part(
      build_arrangement_plan(source, analysis, sections, profile, include_solo), part);
}

// A section of a part's plan with its slice of the source, placed after the sections before it.
struct planned_section {
  section_plan plan;
  source_score slice;
};

// The first section of the part that `wanted` accepts, with its slice; nothing when it accepts
// none.
template <class predicate>
std::optional<planned_section> first_planned_section(const source_score& source,
                                                     const part_realization_plan& part,
                                                     const predicate& wanted) {
  std::int64_t offset = 0;
  for (const auto& section : part.sections) {
    const auto& form = section.section;
    if (wanted(section)) return planned_section{section, source_slice(source, form, offset)};
    offset += source_section_duration(source, form.first_measure, form.measure_count);
  }
  return std::nullopt;
}

// The trace record the section driver hands to the section's generation, before anything is
// written into it.
using orvanta::arrangement_detail::section_trace_of;

}  // namespace section_fixtures
