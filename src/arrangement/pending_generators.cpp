#include "arrangement/pending_generators.hpp"

namespace orvanta::arrangement_detail {

std::vector<arrangement_anchor> build_accompaniment_anchors(const source_score&,
                                                            const arrangement_style_profile&,
                                                            std::vector<arrangement_message>&) {
  return {};
}

std::vector<arrangement_event> melody_accompaniment_comping_events(
    const source_score&, const arrangement_style_profile&, const std::vector<arrangement_anchor>&,
    std::uint64_t, const section_plan&, section_debug_trace*) {
  return {};
}

generated_guitar_events generated_solo_events_for_source(const source_score&,
                                                         const arrangement_style_profile&,
                                                         std::vector<arrangement_message>&,
                                                         guitar_solo_profile, std::uint64_t) {
  return {};
}

}  // namespace orvanta::arrangement_detail
