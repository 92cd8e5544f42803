// Anchors and events: the records every guitar generator shares. An anchor is a point in time
// that the guitar must play, with the grips that could play it; an event is one generated guitar
// note, chord, rest or slash, the unit that the normaliser merges and the staff writer writes.
// Melody anchors sound a chord under a long melody note and single notes elsewhere; chord anchors
// prefer the chord's bass alone on a low string. Times are integer ticks, 4096 to the quarter note.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"
#include "arrangement_types.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::arrangement_detail {

// A point the guitar must play: a melody note (no chord) or a chord occurrence (with its chord),
// with its candidate grips, best (lowest score) first. The tuplet counts are both present or both
// absent; `display_ticks` is the written duration of a tuplet member.
struct arrangement_anchor {
  std::int64_t start_ticks = 0;
  std::int64_t duration_ticks = 0;
  std::optional<std::int64_t> display_ticks;
  std::optional<parsed_chord> chord;
  std::string chord_symbol;
  bool tie_to_next = false;
  bool tie_from_previous = false;
  std::string tuplet_id;
  std::optional<std::int64_t> tuplet_note_count;
  std::optional<std::int64_t> tuplet_space_count;
  std::vector<grip_candidate> candidates;

  bool operator==(const arrangement_anchor&) const = default;
};

// One generated guitar event. No positions means a rest, a positionless slash or a chord label.
// `filler` marks events that only fill or label time (not made from a grip); `slash` asks for
// slash noteheads. `display_ticks` is the written duration of a tuplet member.
struct arrangement_event {
  std::int64_t start_ticks = 0;
  std::int64_t duration_ticks = 0;
  std::optional<std::int64_t> display_ticks;
  std::vector<tab_position> positions;
  std::string chord_symbol;
  bool tie_to_next = false;
  bool tie_from_previous = false;
  bool filler = false;
  bool slash = false;
  std::string tuplet_id;
  std::optional<std::int64_t> tuplet_note_count;
  std::optional<std::int64_t> tuplet_space_count;

  bool operator==(const arrangement_event&) const = default;
};

// A chord occurrence placed on the long melody note (an index into the source notes) that will
// carry its grip.
struct melody_chord_placement {
  std::uint64_t note_index = 0;
  parsed_chord chord;
  std::string chord_symbol;

  bool operator==(const melody_chord_placement&) const = default;
};

// A chord symbol as written in the source, with the start and duration of the note carrying it.
struct chord_label_marker {
  std::int64_t start_ticks = 0;
  std::int64_t duration_ticks = 0;
  std::string symbol;

  bool operator==(const chord_label_marker&) const = default;
};

// Messages

// True when some message has the level "error" exactly; false for an empty list.
bool messages_have_error(const std::vector<arrangement_message>& messages);

// Durations

// The durations one written note can hold, largest first: dotted whole note down to
// thirty-second note.
constexpr std::array<std::int64_t, 11> renderable_durations() {
  return {24576, 16384, 12288, 8192, 6144, 4096, 3072, 2048, 1536, 1024, 512};
}

// True exactly for the durations one written note can hold (see renderable_durations).
bool renderable_arrangement_duration(std::int64_t ticks);

// The index of the first measure whose span holds the tick; nothing when none does.
std::optional<std::size_t> measure_index_holding(const source_score& score, std::int64_t tick);

// The eighth of its measure that holds a tick lying off the grid of the shortest written value
// (512 ticks) counted from the measure's start, as a later member of a tuplet does: no note
// outside the tuplet can start or end at such a tick, but one can at either end of that eighth.
struct measure_eighth {
  std::int64_t start = 0;
  // The next eighth of the measure, the measure's end at the latest.
  std::int64_t end = 0;
  bool last_in_measure = false;

  bool operator==(const measure_eighth&) const = default;
};

// The eighth around the tick; nothing for a tick on the written grid or outside every measure.
std::optional<measure_eighth> eighth_around_off_grid_tick(const source_score& score,
                                                          std::int64_t tick);

// Tuplets

// The first tuplet of the score with the note's tuplet id in the note's measure; nothing when the
// note belongs to no tuplet or no such tuplet exists.
std::optional<source_tuplet> tuplet_for_note(const source_score& score, const source_note& note);

// Events

// The tick at which the event stops sounding.
std::int64_t event_end_ticks(const arrangement_event& event);

// True when the tick lies strictly inside the event (neither its start nor its end).
bool event_covers_tick(const arrangement_event& event, std::int64_t tick);

// True when some event sounds at least one position.
bool has_playable_arrangement_event(const std::vector<arrangement_event>& events);

// Chord occurrences and chord labels

// The parsed chord occurrences of the score's harmonic timeline, in time order (ties by note
// index), short ones included. Every chord symbol that does not parse adds "Chord '<symbol>' could
// not be arranged." at level "error" when `report_as_error` is set, else "warning".
std::vector<chord_occurrence> chord_occurrences(const source_score& score,
                                                std::vector<arrangement_message>& messages,
                                                bool report_as_error);

// One marker per start tick of a note carrying a chord symbol (parsable or not), in time order;
// of several symbols on one tick the later note's wins.
std::vector<chord_label_marker> source_chord_label_markers(const source_score& score);

// The start ticks of the chord labels strictly inside the measure (its first tick excluded),
// ascending, each once.
std::vector<std::int64_t> chord_marker_starts_in_measure(const source_score& score,
                                                         const source_measure& measure);

// Source rest, slash and compact rest events. Every event here is a positionless filler; a note
// belongs to a measure when its measure index names a measure with that measure's start tick.

// The length of one slash: the capacity divided by the time signature's numerator when that is a
// writable duration (2048 in 6/8, 8192 in 2/2), else a quarter note (4096).
std::int64_t slash_unit_ticks(const source_measure& measure);

// Slashes on the measure's beat unit, split at its chord labels (the slashes carry no symbol);
// nothing when some slash would not have a writable duration. No events for a measure of no
// capacity.
std::optional<std::vector<arrangement_event>> source_slash_events_for_measure(
    const source_score& score, const source_measure& measure);

// One rest per chord label of the measure, from the label to the next or to the measure's end and
// carrying the label, after a leading rest up to the first label; one whole-measure rest without
// labels. Nothing when some rest would not have a writable duration.
std::optional<std::vector<arrangement_event>> source_compact_rest_events_for_measure(
    const source_score& score, const source_measure& measure);

// One rest per note of the measure with the note's times, chord symbol and tuplet, so tuplets and
// every other rhythm survive.
std::vector<arrangement_event> source_rest_skeleton_events_for_measure(
    const source_score& score, const source_measure& measure);

// Every measure's slashes, else its compact rests, else its rest skeleton, normalised.
std::vector<arrangement_event> source_slash_events(const source_score& score);

// Every measure's compact rests, else its rest skeleton, normalised.
std::vector<arrangement_event> source_compact_rest_events(const source_score& score);

// One rest per source note that is not a pitched note outside a tuplet (rests, unpitched notes
// and every tuplet member), in note order, not normalised.
std::vector<arrangement_event> source_rest_events(const source_score& score);

// Long-note chord placements and melody anchors

// One placement per long melody note that carries a chord, ordered by the note's start tick then
// index. Unparsable symbols and chords without duration are reported at level "error".
std::vector<melody_chord_placement> build_long_note_chord_placements(
    const source_score& score, std::vector<arrangement_message>& messages);

// The first placement of the note; nothing when the note has none.
std::optional<melody_chord_placement> chord_placement_for_note(
    const std::vector<melody_chord_placement>& placements, std::size_t note_index);

// The degree name the MIDI pitch plays in the chord: a degree of the formula (required, then
// written, then optional) with its pitch class, else the tension ("b9", "9", "#9", "11", "#11",
// "b13", "13") of its interval over the root; nothing for the root, 3, 5, b7 and 7 intervals.
std::optional<std::string> melody_degree_for_midi(const parsed_chord& chord, int midi);

// The chord with the melody's degree added to its degrees and required degrees, when it has one.
parsed_chord chord_requiring_melody_pitch(parsed_chord chord, int midi);

// One anchor per playable pitched note, in note order: the placed chord's grips that sound the
// melody pitch, else single-note grips on strings 1 to 4. Notes that cannot be played are reported
// at level "warning" and get no anchor.
std::vector<arrangement_anchor> build_melody_anchors(
    const source_score& score, std::vector<arrangement_message>& messages,
    const std::vector<melody_chord_placement>& placements);

// Events from a selected path

// One event per anchor and grip of the path (the shorter of the two lists decides). Only the
// electric part writes ties, where a tied note really continues on the guitar; the other parts
// label each event with its anchor's chord.
std::vector<arrangement_event> events_from_path(const std::vector<arrangement_anchor>& anchors,
                                                const std::vector<std::vector<tab_position>>& path,
                                                arrangement_part_type part_type);

// Per event: its anchor is tied to the next, the next anchor continues the tie and the two grips
// share a MIDI pitch; the last is always false.
std::vector<bool> chord_melody_tie_to_next_flags(
    const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::vector<tab_position>>& path);

// True when grip `index` and the next grip of the path share a MIDI pitch; false when there is no
// next grip.
bool selected_events_share_midi(const std::vector<std::vector<tab_position>>& path,
                                std::size_t index);

// Chord anchors and the acoustic low-bass preference

// The anchor of a chord occurrence over `duration` ticks from its start, holding its chord and
// symbol and the candidate grips.
arrangement_anchor chord_occurrence_anchor(chord_occurrence occurrence, std::int64_t duration,
                                           std::vector<grip_candidate> candidates);

// One anchor per chord occurrence with duration that has a playable grip, in time order; its
// grips prefer the chord's bass on string 5 or 6 under upper-string notes. Unparsable symbols and
// chords without grips are reported at level "warning".
std::vector<arrangement_anchor> build_chord_anchors(const source_score& score,
                                                    const arrangement_style_profile& profile,
                                                    std::vector<arrangement_message>& messages);

// The low-bass grips of the candidates, sorted by score: those with the chord's bass as their
// lowest note 12000 cheaper, other low-bass grips 4000 cheaper, both charged for high frets; every
// other grip is dropped. Warns when no grip, or no grip with the chord's bass, is left.
std::vector<grip_candidate> prefer_acoustic_low_bass_candidates(
    const parsed_chord& chord, std::vector<grip_candidate> candidates,
    std::vector<arrangement_message>& messages);

// True when the lowest note lies on string 5 or 6, sounds the chord's bass pitch class (the slash
// bass, else the root) and every other note lies on strings 1 to 4.
bool positions_have_acoustic_low_bass(const parsed_chord& chord,
                                      const std::vector<tab_position>& positions);

// True when the lowest note lies on string 5 or 6 and every other note on strings 1 to 4.
bool positions_have_any_low_bass_with_upper_strings(const std::vector<tab_position>& positions);

// The charge for a low bass above fret 7 and a hand above fret 7, steeper above fret 9; 0 for
// grips in the lower positions.
int acoustic_low_bass_position_penalty(const std::vector<tab_position>& positions);

// The chord's bass pitch class as stored: the slash bass, else the root.
int acoustic_rhythm_bass_pc(const parsed_chord& chord);

}  // namespace orvanta::arrangement_detail
