// TEMPORARY stand-ins for generators still being built elsewhere; removed when they land.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/generation.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail {

std::vector<arrangement_anchor> build_accompaniment_anchors(
    const source_score& source, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages);

std::vector<arrangement_event> melody_accompaniment_comping_events(
    const source_score& source, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, std::uint64_t section_type,
    const section_plan& plan, section_debug_trace* trace);

generated_guitar_events generated_solo_events_for_source(const source_score& source,
                                                         const arrangement_style_profile& profile,
                                                         std::vector<arrangement_message>& messages,
                                                         guitar_solo_profile solo_profile,
                                                         std::uint64_t section_type);

}  // namespace orvanta::arrangement_detail
