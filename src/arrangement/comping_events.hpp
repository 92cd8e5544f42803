// Comping events: how the generators' loose events become one writable line, and how a comping
// hit becomes an event. A written line holds one event per start tick, each ending before the next
// begins, with playable, fingered grips; comping hits sound on the eighth-note grid (2048 ticks)
// counted from each measure's start, inside the chord that sounds there, where the melody and the
// phrase plan leave them room.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/comping_voicing.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/patterns.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// How the melody moves around one chord anchor: more than three attacks in its span (`busy`), a
// rest or a note longer than a quarter in its span (`long_space`), and whether the anchor lasts a
// quarter note or less (`short_anchor`).
struct comping_context {
  bool busy = false;
  bool long_space = false;
  bool short_anchor = false;

  bool operator==(const comping_context&) const = default;
};

// Event list normalisation

// True when both events start on the same tick with the same chord symbol and the same `slash`
// flag: the events that normalisation merges into one.
bool same_start_and_symbol(const arrangement_event& left, const arrangement_event& right);

// The events sorted by start, merged per start tick, symbol and slash flag, each clipped to the
// start of the next; of the rest, events with a playable grip (fingered), slash events and
// positionless fillers survive. Where a positionless filler merges with a grip, the grip keeps its
// own ties. Every start tick then holds at most one event.
std::vector<arrangement_event> normalize_events(std::vector<arrangement_event> events);

// Source chord labels

// Puts the marker's symbol on the first event starting at its tick; else splits the first event
// sounding through the tick there (tied when it has positions), the later part carrying the
// symbol and appended to the list; else appends a label-only filler of the marker's duration (at
// least 1 tick; a positive duration no written note holds is rounded up to whole eighths).
void add_source_chord_label_marker(std::vector<arrangement_event>& events,
                                   const chord_label_marker& marker);

// The events with every generated chord symbol removed and the source's chord labels, as written,
// put on the events at their ticks (adding label-only events where nothing sounds), normalised. A
// label inside a tuplet that no event starts at goes to the next eighth of its measure, or is left
// out when the next label comes by then.
std::vector<arrangement_event> with_source_chord_symbols(const source_score& score,
                                                         std::vector<arrangement_event> events);

// Melody context and hit filters

// The melody around the anchor's span [start, start + duration).
comping_context comping_context_for(const source_score& score, const arrangement_anchor& anchor);

// True when an acoustic pattern hit may sound at the tick: always on the anchor's start; never on
// a short anchor; not in a busy melody or without room when the hit asks so; not on a melody attack
// when the hit avoids them.
bool should_emit_comping_hit(const source_score& score, const arrangement_anchor& anchor,
                             const comping_hit& hit, std::int64_t tick,
                             const comping_context& context);

// True when an electric stab hit may sound at the tick: never on a melody attack (the anchor's
// start included) nor on a short anchor; not in a busy melody or without room when the hit asks
// so; otherwise only inside the anchor's span.
bool should_emit_accompaniment_hit(const source_score& score, const arrangement_anchor& anchor,
                                   const comping_hit& hit, std::int64_t tick,
                                   const comping_context& context);

// Anchor and measure lookups

// The index of the anchor sounding at the tick in a list in time order; nothing before the first
// anchor, in a gap or after the last.
std::optional<std::size_t> active_anchor_index(const std::vector<arrangement_anchor>& anchors,
                                               std::int64_t tick);

// The index of the first measure whose span holds the tick; 0 when none does.
std::size_t comping_grid_measure_index(const source_score& score, std::int64_t tick);

// True when the tick lies on an eighth (a multiple of 2048 ticks) counted from the start of the
// measure that holds it, so measures of sixteenths (7/16 holds 7168 ticks) do not push later
// measures off the grid; a tick outside every measure is counted from tick 0.
bool on_measure_eighth_grid(const source_score& score, std::int64_t tick);

// True when the hit's offset lies in [0, the measure's capacity).
bool pattern_hit_fits_measure(const source_measure& measure, const comping_hit& hit);

// Spans and tick sets

// True when the event overlaps [start, end): event start < end and start < event end.
bool event_overlaps_span(const arrangement_event& event, std::int64_t start, std::int64_t end);

// True when the event overlaps the phrase's range.
bool event_overlaps_phrase(const arrangement_event& event, const phrase_instance_plan& phrase);

// Appends the tick unless the list holds it already.
void add_unique_tick(std::vector<std::int64_t>& ticks, std::int64_t tick);

// True when the list holds the tick.
bool tick_list_contains(const std::vector<std::int64_t>& ticks, std::int64_t tick);

// True when some range holds the tick (tick_in_range).
bool tick_in_ranges(const std::vector<tick_range>& ranges, std::int64_t tick);

// The comping event push

// The number of positions of all events starting at the tick.
std::size_t position_count_at_start(const std::vector<arrangement_event>& events,
                                    std::int64_t tick);

// Adds a comping event of the positions at the tick, lasting `duration` but never past the
// anchor's end, or merges its notes (as far as the grip stays playable), its length and, when the
// event has none, its symbol into the first event already starting there. Nothing happens without
// positions, outside [anchor_start, anchor_end), off the measure's eighth grid, for a duration or
// a rest of the anchor under an eighth, or on a melody attack when `avoid_melody_attack` is set.
void push_comping_event(std::vector<arrangement_event>& events, const source_score& score,
                        std::int64_t tick, std::int64_t anchor_start, std::int64_t anchor_end,
                        std::vector<tab_position> positions, const std::string& symbol,
                        bool avoid_melody_attack, std::int64_t duration);

// Phrase-plan hit rules and pattern choice

// The acoustic pattern of a phrase's rhythm intent (0 to 3): base and sparse 0, variation 1 or 2
// by the parity of source phrase plus index, response 2, build and cadence 3.
std::size_t pattern_index_for_acoustic_intent(phrase_rhythm_intent intent,
                                              const phrase_instance_plan& phrase);

// The electric pattern of a phrase's stab intent (0 to 3): establish 0, sparse support 1, late
// answer 2, anticipation and cadence 3, intentional silence |index| modulo 4.
std::size_t pattern_index_for_electric_intent(electric_stab_intent intent,
                                              const phrase_instance_plan& phrase);

// True when the phrase's rhythm intent lets an acoustic pattern hit sound at the tick: inside the
// phrase, never on a measure's downbeat, in the second half of the measure (or where the hit wants
// room) for sparse, in the response windows (or the second half of the phrase) for response.
bool planned_acoustic_hit_allowed(const phrase_instance_plan& phrase, const comping_hit& hit,
                                  std::int64_t tick);

// True when the phrase's stab intent lets an electric stab sound at the tick inside the phrase:
// early for establish, after the first measure (or where the hit wants room) for sparse support,
// in the response windows or the second half for late answer, in the second half of the measure
// or phrase for anticipation, in the last two measures for cadence, never for intentional silence.
bool planned_electric_hit_allowed(const phrase_instance_plan& phrase, const comping_hit& hit,
                                  std::int64_t tick);

// Acoustic chord-mode comping and planned acoustic activity

// What acoustic comping would play in a section by the plan alone (no melody filter, no grip):
// the bass pulses of every measure, the start of every chord, and the pattern hits the phrase plan
// allows inside a chord. Each list keeps insertion order and holds a tick once.
struct planned_acoustic_activity {
  std::vector<std::int64_t> bass_pulse_ticks;
  std::vector<std::int64_t> chord_start_ticks;
  std::vector<std::int64_t> pattern_hit_ticks;

  bool operator==(const planned_acoustic_activity&) const = default;
};

// Appends the offset when 0 <= offset < capacity and the list does not hold it yet.
void append_unique_pulse_offset(std::vector<std::int64_t>& offsets, std::int64_t offset,
                                std::int64_t capacity);

// The offsets of the bass notes from the measure's start, ascending: the downbeat, and the middle
// of a 6/8 measure or the third beat of a measure of a half note or more (of a 3/4 waltz too).
std::vector<std::int64_t> acoustic_bass_pulse_offsets(const source_measure& measure,
                                                      const arrangement_style_profile& profile);

// Pushes the grip's full voicing with the chord's symbol on the anchor's start, its upper notes
// without symbol at any other tick (see push_comping_event).
void push_acoustic_upper_chord_event(std::vector<arrangement_event>& events,
                                     const source_score& score, const arrangement_anchor& anchor,
                                     const acoustic_comping_grip& grip, std::int64_t tick,
                                     bool avoid_melody_attack, std::int64_t duration);

// Pushes a pattern hit's upper chord; when it changed the list, counts it in the phrase trace
// (when one is given) as an optional event, and as a response-window hit when the tick lies in one
// of the phrase's response windows.
void push_traced_acoustic_optional_event(std::vector<arrangement_event>& events,
                                         const source_score& score,
                                         const arrangement_anchor& anchor,
                                         const acoustic_comping_grip& grip, const comping_hit& hit,
                                         std::int64_t tick, const phrase_instance_plan* phrase,
                                         phrase_debug_trace* phrase_trace);

// The acoustic comping of a chord section, normalised: a bass note on each pulse, the full voicing
// on each chord start, and the upper notes on the pattern hits the phrase plan and the melody
// allow; the grips continue from `start_grip` sounding `gap` ticks before the first chord. Empty
// when no chord has a comping voicing or no grip path exists. The section type is not read. Fills
// the cell ids and counters of the section trace's phrase records when a trace is given.
std::vector<arrangement_event> chord_mode_comping_events(
    const source_score& score, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, std::uint64_t section_type,
    std::optional<std::vector<tab_position>> start_grip, std::int64_t gap, const section_plan& plan,
    section_debug_trace* section_trace);

// What acoustic comping would play in the section by the plan: every bass pulse, every chord
// start, and every pattern hit the phrase plan allows inside some anchor's span.
planned_acoustic_activity planned_acoustic_activity_for(
    const source_score& score, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, const section_plan& plan);

// True when the acoustic upper chords sound at the tick: a chord start or a planned pattern hit.
bool acoustic_upper_activity_at(const planned_acoustic_activity& activity, std::int64_t tick);

// True when acoustic activity sounds an eighth before the tick, or a planned pattern hit a quarter
// before it.
bool acoustic_activity_before(const planned_acoustic_activity& activity, std::int64_t tick);

// How well a tick complements the acoustic activity, lower being better: -45 just after it, 0
// free, 75 or 120 on acoustic upper chords when the caller avoids them (75 when also just after).
int acoustic_complement_rank(const planned_acoustic_activity& activity, std::int64_t tick,
                             bool avoid_acoustic_upper);

// Cell ids

// The style family's name in cell ids; "swing" for a value outside the families.
std::string_view style_family_name(comping_style_family family);

// The id of the acoustic cell a phrase plays, such as "swing_upper_variation_2".
std::string resolve_acoustic_cell_id(const arrangement_style_profile& profile,
                                     phrase_rhythm_intent intent,
                                     const phrase_instance_plan& phrase);

// The id of the electric stab cell a phrase plays, such as "waltz_stab_cadence_3".
std::string resolve_electric_stab_cell_id(const arrangement_style_profile& profile,
                                          electric_stab_intent intent,
                                          const phrase_instance_plan& phrase);

// The phrase record of the section trace whose phrase index is the phrase's index; null when
// either is null or no record matches. The pointer points into `section_trace`.
phrase_debug_trace* phrase_trace_for(section_debug_trace* section_trace,
                                     const phrase_instance_plan* phrase);

// Electric stabs and coverage stabs. A stab is an event of two or more positions; events of one
// position or none never count as stabs. A stab anchor is usable when its grip was chosen and it
// has a chord. Coverage stabs last an eighth and avoid melody attacks.

// True when some stab overlaps the measure's span.
bool measure_has_electric_stab(const std::vector<arrangement_event>& events,
                               const source_measure& measure);

// The number of stabs overlapping the measure's span.
std::size_t measure_electric_stab_count(const std::vector<arrangement_event>& events,
                                        const source_measure& measure);

// True when some stab starts exactly at the tick.
bool electric_stab_starts_at(const std::vector<arrangement_event>& events, std::int64_t tick);

// True when some stab overlaps the phrase's range.
bool phrase_has_electric_stab(const std::vector<arrangement_event>& events,
                              const phrase_instance_plan& phrase);

// Pushes the grip as a comping event of the hit at the tick (see push_comping_event), carrying
// the anchor's chord symbol on the anchor's start.
void push_electric_stab_event(std::vector<arrangement_event>& events, const source_score& score,
                              const arrangement_anchor& anchor, const electric_stab_grip& grip,
                              const comping_hit& hit, std::int64_t tick);

// True when the stab push changed the events (a new event or more positions at the tick); the
// phrase trace, when given, then counts an optional event (when `optional_event` is set) and a
// response-window hit (when the phrase's windows hold the tick).
bool push_traced_electric_stab_event(std::vector<arrangement_event>& events,
                                     const source_score& score, const arrangement_anchor& anchor,
                                     const electric_stab_grip& grip, const comping_hit& hit,
                                     std::int64_t tick, const phrase_instance_plan* phrase,
                                     phrase_debug_trace* phrase_trace, bool optional_event);

// The ticks a phrase coverage stab may take, in order of preference: the last two eighths of a
// cadence, the response windows' starts and last eighths, the anchor starts, an eighth after each
// anchor (or the phrase) starts; each inside the phrase, on the measure's eighth grid, once.
std::vector<std::int64_t> candidate_coverage_starts(const source_score& score,
                                                    const phrase_instance_plan& phrase,
                                                    electric_stab_intent intent,
                                                    const std::vector<arrangement_anchor>& anchors);

// Makes sure a phrase that plays holds a stab: nothing for intentional silence or a phrase that
// has one; else a coverage stab on the first candidate free of melody attacks with a usable
// anchor that takes it. The trace, when given, records the outcome.
void push_phrase_coverage_stab(std::vector<arrangement_event>& events, const source_score& score,
                               const phrase_instance_plan& phrase,
                               const std::vector<arrangement_anchor>& anchors,
                               const std::vector<std::optional<electric_stab_grip>>& grips,
                               phrase_debug_trace* phrase_trace);

// The measure's off-beat eighths then beats 2 to 4 (those inside the measure), best complement
// of the planned acoustic activity first, equal ranks by offset.
std::vector<std::int64_t> electric_coverage_stab_offsets(const source_measure& measure,
                                                         const planned_acoustic_activity& activity,
                                                         bool avoid_acoustic_upper);

// True when a coverage stab was added at the measure's first offset free of melody attacks,
// stabs, (when avoided) acoustic upper chords, and with a usable anchor; only that offset is tried.
bool push_coverage_electric_stab_for_measure(
    std::vector<arrangement_event>& events, const source_score& score,
    const source_measure& measure, const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::optional<electric_stab_grip>>& grips,
    const planned_acoustic_activity& activity, bool avoid_acoustic_upper);

// Electric accompaniment: the guitar answers the sung melody with short stabs on the top strings,
// placed by the style's patterns and the phrase plan, then added where a measure or a phrase has
// too few, around what an acoustic comping would play.

// One anchor per chord occurrence with duration that has top-string grips (two-note voicings
// first for short chords and fast styles), in time order; unparsable symbols are warnings.
std::vector<arrangement_anchor> build_accompaniment_anchors(
    const source_score& score, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages);

// True when a pitched note of a quarter or shorter starts in the measure.
bool measure_has_moving_melody(const source_score& score, const source_measure& measure);

// True when a rest or a note longer than a quarter overlaps the measure.
bool measure_has_long_melody_or_rest_space(const source_score& score,
                                           const source_measure& measure);

// How many stabs the measure should hold under the phrase's stab intent: with moving melody as a
// moving measure; else, with a rest or long note, 2 for cadence, 0 for intentional silence or no
// phrase, 1 otherwise; else none.
std::size_t target_electric_stab_count_for_measure(const source_score& score,
                                                   const source_measure& measure,
                                                   const phrase_instance_plan* phrase);

// How many stabs a measure with moving melody should hold under the phrase's stab intent: 2 for
// anticipation and cadence, 0 for intentional silence or no phrase, else 1.
std::size_t target_electric_stab_count_for_moving_measure(const phrase_instance_plan* phrase);

// The section's stabs: pattern stabs, then measure and phrase coverage stabs, normalised; none
// without stab anchors, a stab path or patterns. The section type is not read. The trace, when
// given, records each phrase's cells, optional events, fallback and counts against the planned
// acoustic activity.
std::vector<arrangement_event> melody_accompaniment_comping_events(
    const source_score& score, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, std::uint64_t section_type,
    const section_plan& plan, section_debug_trace* section_trace);

}  // namespace orvanta::arrangement_detail
