#include "arrangement/generation.hpp"

#include "arrangement/arrangement_plan.hpp"
#include "arrangement/comping_events.hpp"
#include "arrangement/melody_path.hpp"
#include "arrangement/solo.hpp"

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::int64_t gap_without_previous_grip = 4096;
constexpr std::int64_t shortest_previous_grip_gap = 2048;

generated_guitar_events compact_rests(const source_score& slice) {
  return {source_compact_rest_events(slice), false};
}

bool plays_solo(full_arrangement_section_role role) {
  return solo_profile_for_role(role).has_value();
}

// A section of the source's measures with an empty label, for slicing.
full_arrangement_section unlabelled_run(std::size_t first_measure, std::size_t measure_count,
                                        std::uint64_t type, full_arrangement_section_role role) {
  return {.label = {},
          .first_measure = first_measure,
          .measure_count = measure_count,
          .type = type,
          .role = role};
}

// Where a slice holding the pickup measure must start so that the pickup ends at the section
// start, whatever the length of the measure it is laid over.
std::int64_t pickup_slice_start(const source_score& source, std::size_t pickup,
                                std::int64_t section_start) {
  return section_start - source.measures[pickup].capacity_ticks;
}

bool has_positions(const arrangement_event& event) { return !event.positions.empty(); }

std::uint64_t count_overlapping(const std::vector<arrangement_event>& events,
                                const phrase_instance_plan& phrase, std::size_t least_positions) {
  return static_cast<std::uint64_t>(
      std::ranges::count_if(events, [&](const arrangement_event& event) {
        return event.positions.size() >= least_positions && event_overlaps_phrase(event, phrase);
      }));
}

void count_stabs_per_phrase(const std::vector<arrangement_event>& stabs, const section_plan& plan,
                            section_debug_trace& trace) {
  for (auto& phrase_trace : trace.phrases) {
    const auto phrase =
        std::ranges::find(plan.phrases, phrase_trace.phrase_index, &phrase_instance_plan::index);
    if (phrase == plan.phrases.end()) continue;
    phrase_trace.events = count_overlapping(stabs, *phrase, 1);
    phrase_trace.stabs = count_overlapping(stabs, *phrase, 2);
  }
}

}  // namespace

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

generated_guitar_events generated_guitar_events_for_source(
    const source_score& slice, full_arrangement_section_role role,
    const arrangement_style_profile& profile, std::vector<arrangement_message>& messages,
    std::uint64_t section_type, std::optional<std::vector<tab_position>> previous_grip,
    std::int64_t gap, const section_plan& plan, section_debug_trace* trace) {
  switch (role) {
    case full_arrangement_section_role::chords:
      return generated_chord_events_for_source(slice, profile, messages, section_type,
                                               std::move(previous_grip), gap, plan, trace);
    case full_arrangement_section_role::melody:
      return generated_melody_events_for_source(slice, messages);
    case full_arrangement_section_role::accompaniment:
      return generated_accompaniment_events_for_source(slice, profile, messages, section_type, plan,
                                                       trace);
    case full_arrangement_section_role::acoustic_solo:
    case full_arrangement_section_role::electric_solo:
      return generated_solo_events_for_source(slice, profile, messages,
                                              *solo_profile_for_role(role), section_type);
    default: return compact_rests(slice);
  }
}

generated_guitar_events generated_chord_events_for_source(
    const source_score& slice, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages, std::uint64_t section_type,
    std::optional<std::vector<tab_position>> previous_grip, std::int64_t gap,
    const section_plan& plan, section_debug_trace* trace) {
  const auto anchors = build_chord_anchors(slice, profile, messages);
  auto events = chord_mode_comping_events(slice, profile, anchors, section_type,
                                          std::move(previous_grip), gap, plan, trace);
  return finalize_generated_events(slice, std::move(events));
}

generated_guitar_events generated_melody_events_for_source(
    const source_score& slice, std::vector<arrangement_message>& messages) {
  const auto placements = build_long_note_chord_placements(slice, messages);
  if (messages_have_error(messages)) return {};
  const auto anchors = build_melody_anchors(slice, messages, placements);
  const auto path = selected_path(anchors, transition_profile::melody_line, std::nullopt,
                                  gap_without_previous_grip);
  auto events = events_from_path(anchors, path, arrangement_part_type::electric);
  std::ranges::move(source_rest_events(slice), std::back_inserter(events));
  return finalize_generated_events(slice, normalize_events(std::move(events)));
}

generated_guitar_events generated_accompaniment_events_for_source(
    const source_score& slice, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages, std::uint64_t section_type,
    const section_plan& plan, section_debug_trace* trace) {
  if (!slice.tuplets.empty()) return compact_rests(slice);
  const auto anchors = build_accompaniment_anchors(slice, profile, messages);
  auto stabs =
      melody_accompaniment_comping_events(slice, profile, anchors, section_type, plan, trace);
  if (trace != nullptr) count_stabs_per_phrase(stabs, plan, *trace);
  if (!has_playable_arrangement_event(stabs)) return compact_rests(slice);
  return finalize_generated_events(slice, std::move(stabs));
}

bool section_receives_solo_pickup_overlap(const source_score& source,
                                          const full_arrangement_section& section) {
  return plays_solo(section.role) && section_starts_after_leading_pickup(source, section);
}

std::optional<source_score> solo_source_for_pickup_overlap(const source_score& source,
                                                           const full_arrangement_section& section,
                                                           std::int64_t start) {
  if (!section_starts_after_leading_pickup(source, section)) return std::nullopt;
  const auto pickup = section.first_measure - 1;
  const auto count = std::min(section.measure_count + 1, source.measures.size() - pickup);
  return source_slice(source, unlabelled_run(pickup, count, section.type, section.role), start);
}

std::optional<source_score> pickup_source_for_overlap(const source_score& source,
                                                      std::int64_t start) {
  const auto pickup = leading_pickup_measure_index(source);
  if (!pickup) return std::nullopt;
  const auto count = std::min<std::size_t>(2, source.measures.size() - *pickup);
  return source_slice(
      source, unlabelled_run(*pickup, count, 0, full_arrangement_section_role::rests), start);
}

std::optional<generated_guitar_events> generated_solo_events_for_pickup_overlap(
    const source_score& source, const full_arrangement_section& section,
    const arrangement_style_profile& profile, std::vector<arrangement_message>& messages,
    std::int64_t overlap_start, std::int64_t section_start) {
  const auto solo_profile = solo_profile_for_role(section.role);
  if (!solo_profile || !section_starts_after_leading_pickup(source, section)) return std::nullopt;
  const auto pickup = section.first_measure - 1;
  const auto solo_source = solo_source_for_pickup_overlap(
      source, section, pickup_slice_start(source, pickup, section_start));
  if (!solo_source) return std::nullopt;

  auto solo = generated_solo_events_for_source(*solo_source, profile, messages, *solo_profile,
                                               section.type);
  const auto window_end = add_ticks(
      section_start, source_section_duration(source, section.first_measure, section.measure_count));
  std::vector<arrangement_event> kept;
  for (auto event : solo.events) {
    const auto end = event_end_ticks(event);
    // Nothing reaches back past the start of the previous section's last measure.
    if (event.start_ticks >= window_end || event.start_ticks < overlap_start) continue;
    if (end > window_end) {
      event.duration_ticks = window_end - event.start_ticks;
      event.tie_to_next = false;
    }
    if (event.duration_ticks < 1) continue;
    if (event.start_ticks < section_start) event.chord_symbol.clear();
    kept.push_back(std::move(event));
  }
  auto events = normalize_events(std::move(kept));
  const bool playable = has_playable_arrangement_event(events);
  return generated_guitar_events{std::move(events), playable};
}

std::vector<arrangement_event> playable_pickup_events_for_overlap(
    const source_score& source, std::int64_t overlap_start, std::int64_t section_start,
    std::vector<arrangement_message>& messages) {
  const auto pickup = leading_pickup_measure_index(source);
  if (!pickup) return {};
  const auto pickup_source =
      pickup_source_for_overlap(source, pickup_slice_start(source, *pickup, section_start));
  if (!pickup_source) return {};

  auto melody = generated_melody_events_for_source(*pickup_source, messages);
  // A tuplet that sounds in the overlap keeps its rests too, so that it is written whole.
  std::set<std::string> sounding_tuplets;
  for (const auto& event : melody.events) {
    if (has_positions(event) && !event.tuplet_id.empty() && event.start_ticks < section_start &&
        event.start_ticks >= overlap_start) {
      sounding_tuplets.insert(event.tuplet_id);
    }
  }
  std::vector<arrangement_event> kept;
  for (auto& event : melody.events) {
    const bool kept_rest = !event.tuplet_id.empty() && sounding_tuplets.contains(event.tuplet_id);
    if ((!has_positions(event) && !kept_rest) || event.start_ticks >= section_start ||
        event.start_ticks < overlap_start) {
      continue;
    }
    if (event_end_ticks(event) > section_start) {
      event.duration_ticks = section_start - event.start_ticks;
    }
    event.chord_symbol.clear();
    kept.push_back(std::move(event));
  }
  return normalize_events(std::move(kept));
}

namespace {

// The cut moved back to the start of a tuplet it would fall inside: a tuplet is written whole or
// not at all. The members of one tuplet follow each other in the list with the same id.
std::int64_t cut_outside_tuplets(const std::vector<arrangement_event>& events, std::int64_t cut) {
  for (std::size_t first = 0; first < events.size();) {
    auto last = first;
    while (last + 1 < events.size() && !events[first].tuplet_id.empty() &&
           events[last + 1].tuplet_id == events[first].tuplet_id) {
      ++last;
    }
    if (!events[first].tuplet_id.empty() && events[first].start_ticks < cut &&
        cut < event_end_ticks(events[last])) {
      return events[first].start_ticks;
    }
    first = last + 1;
  }
  return cut;
}

}  // namespace

std::vector<arrangement_event> trim_events_for_pickup_overlap(std::vector<arrangement_event> events,
                                                              std::int64_t cut,
                                                              std::int64_t section_start) {
  cut = cut_outside_tuplets(events, cut);
  std::vector<arrangement_event> trimmed;
  trimmed.reserve(events.size());
  for (auto& event : events) {
    if (event_end_ticks(event) <= cut || event.start_ticks >= section_start) {
      trimmed.push_back(std::move(event));
    } else if (event.start_ticks < cut) {
      event.duration_ticks = cut - event.start_ticks;
      event.tie_to_next = false;
      trimmed.push_back(std::move(event));
    }
  }
  return trimmed;
}

full_guitar_arrangement full_guitar_arrangement_for(const source_score& source,
                                                    const part_realization_plan& plan,
                                                    const arrangement_style_profile& profile,
                                                    arrangement_options,
                                                    std::vector<arrangement_message>& messages,
                                                    arrangement_debug_trace* trace) {
  full_guitar_arrangement result;
  std::int64_t offset = 0;
  std::vector<arrangement_event> collected;
  bool playable_seen = false;

  if (trace != nullptr) {
    trace->plan_key = plan.plan.plan_key;
    trace->source_fingerprint = plan.plan.source_fingerprint;
    trace->include_solo = plan.plan.include_solo;
    trace->sections.clear();
  }

  for (const auto& section_plan : plan.sections) {
    const auto& section = section_plan.section;
    section_debug_trace* section_trace = nullptr;
    if (trace != nullptr) {
      trace->sections.push_back(section_trace_of(section_plan));
      section_trace = &trace->sections.back();
    }

    const bool follows_a_section = !result.source.measures.empty();
    const auto last_measure_start =
        follows_a_section ? result.source.measures.back().start_tick : std::int64_t{0};
    auto slice = source_slice(source, section, offset);
    append_section_source(result.source, slice, section.label);

    generated_guitar_events generated;
    if (follows_a_section && section_receives_solo_pickup_overlap(source, section)) {
      generated = generated_solo_events_for_pickup_overlap(source, section, profile, messages,
                                                           last_measure_start, offset)
                      .value_or(generated_guitar_events{});
    } else if (disabled_solo_slot_receives_slashes(plan, section)) {
      generated = {source_slash_events(slice), false};
    } else {
      auto previous = previous_grip_before(collected, offset);
      generated = generated_guitar_events_for_source(slice, section.role, profile, messages,
                                                     section.type, std::move(previous.grip),
                                                     previous.gap, section_plan, section_trace);
    }
    if (messages_have_error(messages)) return result;

    if (follows_a_section) {
      if (section_receives_solo_pickup_overlap(source, section)) {
        if (const auto cut = first_event_start_before(generated.events, offset)) {
          collected = trim_events_for_pickup_overlap(std::move(collected), *cut, offset);
        }
      }
      if (section_receives_guitar_pickup_overlap(source, section)) {
        auto pickup =
            playable_pickup_events_for_overlap(source, last_measure_start, offset, messages);
        if (messages_have_error(messages)) return result;
        if (const auto cut = first_event_start(pickup)) {
          collected = trim_events_for_pickup_overlap(std::move(collected), *cut, offset);
          std::ranges::move(pickup, std::back_inserter(collected));
          playable_seen = true;
        }
      }
    }

    if (generated.playable) playable_seen = true;
    std::ranges::move(generated.events, std::back_inserter(collected));
    offset += source_section_duration(source, section.first_measure, section.measure_count);
  }

  if (!playable_seen) {
    messages.push_back({"warning", "", "No playable arranged guitar events were found."});
  }
  result.events = normalize_events(std::move(collected));
  return result;
}

bool disabled_solo_slot_receives_slashes(const part_realization_plan& plan,
                                         const full_arrangement_section& section) {
  if (plan.plan.include_solo || section.role != full_arrangement_section_role::rests) {
    return false;
  }
  const auto type = stable_section_type(section);
  return (plan.part == arrangement_part_type::acoustic &&
          type == arrangement_section_type::guitar_solo_1) ||
         (plan.part == arrangement_part_type::electric &&
          type == arrangement_section_type::guitar_solo_2);
}

previous_grip_context previous_grip_before(const std::vector<arrangement_event>& events,
                                           std::int64_t offset) {
  const arrangement_event* latest = nullptr;
  for (const auto& event : events) {
    if (!has_positions(event) || event.start_ticks >= offset) continue;
    if (latest == nullptr || event.start_ticks > latest->start_ticks) latest = &event;
  }
  if (latest == nullptr) return {};
  return {latest->positions,
          std::max(subtract_ticks(offset, event_end_ticks(*latest)), shortest_previous_grip_gap)};
}

std::optional<std::int64_t> first_event_start(const std::vector<arrangement_event>& events) {
  if (events.empty()) return std::nullopt;
  return std::ranges::min(events, {}, &arrangement_event::start_ticks).start_ticks;
}

std::optional<std::int64_t> first_event_start_before(const std::vector<arrangement_event>& events,
                                                     std::int64_t limit) {
  std::optional<std::int64_t> first;
  for (const auto& event : events) {
    if (event.start_ticks < limit && (!first || event.start_ticks < *first)) {
      first = event.start_ticks;
    }
  }
  return first;
}

}  // namespace orvanta::arrangement_detail
