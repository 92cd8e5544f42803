// Generated guitar events: what every section generator hands back. A solo section is played with
// one of two sounds, an acoustic or an electric guitar, chosen by the section's role.
#pragma once

#include "arrangement/form.hpp"

#include <cstdint>
#include <optional>

namespace orvanta::arrangement_detail {

// The sound of a generated solo.
enum class guitar_solo_profile : std::int32_t {
  acoustic = 0,
  electric = 1,
};

// Solo profiles

// The solo sound of a section role: acoustic for the acoustic solo, electric for the electric
// solo; nothing for every role that plays no solo.
std::optional<guitar_solo_profile> solo_profile_for_role(full_arrangement_section_role role);

}  // namespace orvanta::arrangement_detail
