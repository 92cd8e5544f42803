// Generated guitar events: what every section generator hands back, the section's events on the
// arrangement timeline, relabelled with the source's chord symbols. A solo section is played with
// one of two sounds, an acoustic or an electric guitar, chosen by the section's role.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/form.hpp"
#include "arrangement/source.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail {

// The sound of a generated solo.
enum class guitar_solo_profile : std::int32_t {
  acoustic = 0,
  electric = 1,
};

// A section generator's result: its events and whether any of them sounds a position. A
// generator that gives up returns no events and `playable` clear.
struct generated_guitar_events {
  std::vector<arrangement_event> events;
  bool playable = false;

  bool operator==(const generated_guitar_events&) const = default;
};

// Finishing a section

// The events relabelled with the source's chord labels as written and normalised; `playable` says
// whether the events handed in sounded anything (label-only events added here never count).
generated_guitar_events finalize_generated_events(const source_score& source,
                                                  std::vector<arrangement_event> events);

// Solo profiles

// The solo sound of a section role: acoustic for the acoustic solo, electric for the electric
// solo; nothing for every role that plays no solo.
std::optional<guitar_solo_profile> solo_profile_for_role(full_arrangement_section_role role);

}  // namespace orvanta::arrangement_detail
