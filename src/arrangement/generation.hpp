// Generating the guitar part: the sections of the form are played one after another on one
// timeline from tick 0, each section's measures cut out of the source and given guitar events by
// the section's role (comped chords, the melody, electric stabs, a solo or rests). A leading
// pickup is played over the end of the section before the one that starts after it. A solo
// section is played with one of two sounds, an acoustic or an electric guitar, chosen by its role.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/form.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"
#include "arrangement_types.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail {

// The plan records (arrangement_plan.hpp), named here only; the solo units include this header
// and have a phrase function of their own.
struct section_plan;
struct part_realization_plan;
struct section_debug_trace;
struct arrangement_debug_trace;

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

// The guitar part of the whole form: the sections' measures laid end to end from tick 0 (each
// section's first measure carrying its label) and every section's events on that timeline,
// normalised; no events when the generation stopped on an error.
struct full_guitar_arrangement {
  source_score source;
  std::vector<arrangement_event> events;

  bool operator==(const full_guitar_arrangement&) const = default;
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

// Section generators. The slice is the section's source with its ticks already at the section's
// place on the arrangement timeline; problems go into `messages`, never into the result.

// The section's events by its role: compact rests (never playable) for rests, vocal and any value
// outside the roles, else the generator of the role. `previous_grip` and `gap` reach only the
// chords, the plan and the trace only the chords and the accompaniment.
generated_guitar_events generated_guitar_events_for_source(
    const source_score& slice, full_arrangement_section_role role,
    const arrangement_style_profile& profile, std::vector<arrangement_message>& messages,
    std::uint64_t section_type, std::optional<std::vector<tab_position>> previous_grip,
    std::int64_t gap, const section_plan& plan, section_debug_trace* trace);

// Acoustic chord comping of the section's chord anchors, the first grip chosen after
// `previous_grip` sounding `gap` ticks before it.
generated_guitar_events generated_chord_events_for_source(
    const source_score& slice, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages, std::uint64_t section_type,
    std::optional<std::vector<tab_position>> previous_grip, std::int64_t gap,
    const section_plan& plan, section_debug_trace* trace);

// The written melody on the guitar (chords under its long notes, the electric part's ties) with
// the source's rests; nothing when placing the chords reported an error.
generated_guitar_events generated_melody_events_for_source(
    const source_score& slice, std::vector<arrangement_message>& messages);

// Electric stabs under the melody; the compact rests of the slice, never playable, when the
// slice holds a tuplet or no stab sounds. A given trace gets, per phrase, the stabs overlapping
// the phrase with a position (`events`) and with two or more (`stabs`).
generated_guitar_events generated_accompaniment_events_for_source(
    const source_score& slice, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages, std::uint64_t section_type,
    const section_plan& plan, section_debug_trace* trace);

// Pickup overlaps. The pickup measure p is laid so that it ends where the section after it
// starts, over the end of the section before; what would reach back past the start of that
// section's last measure (the overlap start) is dropped.

// True when the source has a leading pickup p, the section plays a solo and starts at p + 1.
bool section_receives_solo_pickup_overlap(const source_score& source,
                                          const full_arrangement_section& section);

// The pickup measure and the section's measures (never past the source's end) starting at
// `start`; nothing without a leading pickup or when the section does not start right after it.
std::optional<source_score> solo_source_for_pickup_overlap(const source_score& source,
                                                           const full_arrangement_section& section,
                                                           std::int64_t start);

// The pickup measure and at most one measure after it, starting at `start`; nothing without a
// leading pickup.
std::optional<source_score> pickup_source_for_overlap(const source_score& source,
                                                      std::int64_t start);

// The solo of a solo section after the pickup, generated over the pickup measure and the section
// and kept between the overlap start and the section's end (events cut there lose their tie on);
// the pickup's events carry no chord symbol. Nothing for a section that plays no solo or does not
// start right after the pickup.
std::optional<generated_guitar_events> generated_solo_events_for_pickup_overlap(
    const source_score& source, const full_arrangement_section& section,
    const arrangement_style_profile& profile, std::vector<arrangement_message>& messages,
    std::int64_t overlap_start, std::int64_t section_start);

// The pickup's melody events with positions between the overlap start and the section start,
// with the rests of the tuplets they belong to, cut at the section start and without chord
// symbols, normalised; empty without a pickup.
std::vector<arrangement_event> playable_pickup_events_for_overlap(
    const source_score& source, std::int64_t overlap_start, std::int64_t section_start,
    std::vector<arrangement_message>& messages);

// The events with room made for a pickup from `cut` to `section_start`: events sounding into that
// span are cut at `cut` (without their tie on), events starting inside it are dropped, all others
// kept as they are, in order. A cut inside a tuplet moves back to the tuplet's start.
std::vector<arrangement_event> trim_events_for_pickup_overlap(std::vector<arrangement_event> events,
                                                              std::int64_t cut,
                                                              std::int64_t section_start);

// The realisation loop

// The grip a section's comping follows: the positions of the event with positions that starts
// last before the section (the first of equal starts), and the ticks from its end to the section
// start, at least an eighth (2048); without one no grip and a quarter note (4096).
struct previous_grip_context {
  std::optional<std::vector<tab_position>> grip;
  std::int64_t gap = 4096;

  bool operator==(const previous_grip_context&) const = default;
};

// The guitar part of the plan's sections in order (electric or acoustic; `options` is not
// consulted), stopping at the first message of level "error"; warns "No playable arranged guitar
// events were found." when no section played anything. A given trace is filled with one record
// per section generated.
full_guitar_arrangement full_guitar_arrangement_for(const source_score& source,
                                                    const part_realization_plan& plan,
                                                    const arrangement_style_profile& profile,
                                                    arrangement_options options,
                                                    std::vector<arrangement_message>& messages,
                                                    arrangement_debug_trace* trace);

// True when solos are off and the section is the part's own solo slot, which then shows slashes:
// guitar_solo_1 for the acoustic part, guitar_solo_2 for the electric part; never for vocal.
bool disabled_solo_slot_receives_slashes(const part_realization_plan& plan,
                                         const full_arrangement_section& section);

// The grip sounding before `section_start` among the events collected so far.
previous_grip_context previous_grip_before(const std::vector<arrangement_event>& events,
                                           std::int64_t section_start);

// The smallest start tick of the events; nothing for none.
std::optional<std::int64_t> first_event_start(const std::vector<arrangement_event>& events);

// The smallest start tick of the events starting before `limit`; nothing when none does.
std::optional<std::int64_t> first_event_start_before(const std::vector<arrangement_event>& events,
                                                     std::int64_t limit);

}  // namespace orvanta::arrangement_detail
