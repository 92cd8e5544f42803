// Anchors and events: the records every guitar generator shares. An anchor is a point in time
// that the guitar must play, with the grips that could play it; an event is one generated guitar
// note, chord, rest or slash, the unit that the normaliser merges and the staff writer writes.
// Times are integer ticks, 4096 to the quarter note.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"
#include "arrangement_types.hpp"

#include <array>
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

}  // namespace orvanta::arrangement_detail
