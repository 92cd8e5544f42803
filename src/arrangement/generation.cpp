#include "arrangement/generation.hpp"

namespace orvanta::arrangement_detail {

std::optional<guitar_solo_profile> solo_profile_for_role(full_arrangement_section_role role) {
  switch (role) {
    case full_arrangement_section_role::acoustic_solo: return guitar_solo_profile::acoustic;
    case full_arrangement_section_role::electric_solo: return guitar_solo_profile::electric;
    default: return std::nullopt;
  }
}

}  // namespace orvanta::arrangement_detail
