#include "arrangement/generation.hpp"

#include "arrangement/comping_events.hpp"

#include <utility>

namespace orvanta::arrangement_detail {

generated_guitar_events finalize_generated_events(const source_score& source,
                                                  std::vector<arrangement_event> events) {
  const bool playable = has_playable_arrangement_event(events);
  return {with_source_chord_symbols(source, std::move(events)), playable};
}

std::optional<guitar_solo_profile> solo_profile_for_role(full_arrangement_section_role role) {
  switch (role) {
    case full_arrangement_section_role::acoustic_solo: return guitar_solo_profile::acoustic;
    case full_arrangement_section_role::electric_solo: return guitar_solo_profile::electric;
    default: return std::nullopt;
  }
}

}  // namespace orvanta::arrangement_detail
