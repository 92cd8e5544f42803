// The score document's JSON, read and written. The readers are lenient: a missing member or one
// of the wrong JSON kind gives a fixed default, and none of them fails. The writers build the
// arranged guitar staff from generated events: one measure per source measure, one voice each,
// durations cut into written values (4096 ticks to the quarter note), members in a fixed order,
// flags written only when true; and the arranged vocal staff, the singer's part laid out over the
// arrangement's form.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"
#include "arrangement_types.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvanta::arrangement_detail {

// The member stored under key, or null when the key is absent.
const boost::json::value* member(const boost::json::object& object, const char* key);

// The member's text when it is a JSON string; otherwise fallback.
std::string string_member(const boost::json::object& object, const char* key, std::string fallback);

// The member's value when it is a JSON boolean; otherwise false.
bool bool_member(const boost::json::object& object, const char* key);

// A JSON signed integer, or an unsigned one not above the signed maximum; nothing for any other
// value (doubles included, even whole ones).
std::optional<std::int64_t> integer_value(const boost::json::value& value);

// integer_value of the member when the key is present and gives a value; otherwise fallback.
std::int64_t integer_member(const boost::json::object& object, const char* key,
                            std::int64_t fallback);

// Nothing when the key is absent or holds null; otherwise integer_value of the member.
std::optional<std::int64_t> optional_integer_member(const boost::json::object& object,
                                                    const char* key);

// Written notes, rests and voices

// The written notes and rests of one voice, in time order, and the tuplets they belong to.
struct measure_voice_data {
  boost::json::array notes;
  boost::json::array tuplets;

  bool operator==(const measure_voice_data&) const = default;
};

// The pitch object of a MIDI number, spelled from a fixed table (sharps for C# and F#, flats for
// Eb, Ab and Bb); octave 4 holds MIDI 60 to 71.
boost::json::object pitch_from_midi(int midi);

// The tab position object; "finger" only when asked for, the fret is above 0 and a finger is set.
boost::json::object tab_position_json(const tab_position& position, bool include_finger);

// Adds the event's display ticks and tuplet id to a written note, each only when the event has it.
void apply_event_notation(boost::json::object& note, const arrangement_event& event);

// A written rest of the duration as given, with the placeholder pitch; the chord symbol only when
// not empty.
boost::json::object make_rest_note(std::string id, std::int64_t duration,
                                   const std::string& chord_symbol);

// A written note sounding the positions one octave up, lowest first; without positions a rest (or
// a slash note) with the placeholder pitch and no ties. Tab positions only when asked for.
boost::json::object make_arranged_note(std::string id, std::int64_t duration,
                                       std::vector<tab_position> positions,
                                       const std::string& chord_symbol, bool tie_to_next,
                                       bool tie_from_previous, bool include_tab_positions,
                                       bool include_fingers, const arrangement_event& event);

// The duration cut greedily into written durations, largest first; the whole duration alone when
// a remainder below 512 is left; nothing for 0 or less.
std::vector<std::int64_t> renderable_duration_parts(std::int64_t duration);

// Appends rests filling the duration, numbered "arr-rest-" from the advanced counter; the chord
// symbol goes on the first.
void append_renderable_rest_notes(boost::json::array& notes, std::int64_t& counter,
                                  std::int64_t duration, const std::string& chord_symbol);

// The voice object with the id, the notes and the tuplets (written also when empty).
boost::json::object make_voice(std::string id, measure_voice_data voice_data);

// Arranged guitar staff

// The arranged guitar staff: one measure per source measure, the events written into them with
// ids from one counter that starts again for every staff.
boost::json::object make_arranged_staff(const source_score& source,
                                        const std::vector<arrangement_event>& events,
                                        arrangement_part_type part_type,
                                        arrangement_options options);

// Removes every object staff that is marked arranged or has an arranged staff id; every other
// element keeps its place in order.
void remove_existing_arranged_staff(boost::json::array& staves);

// The notes and rests filling one measure: the parts of the events that fall inside it, in list
// order, each written from the end of the one before; rests in the gaps.
measure_voice_data measure_notes_from_events(const source_measure& measure,
                                             const std::vector<arrangement_event>& events,
                                             std::int64_t& counter, bool include_fingers);
// The same notes from a run of the list that holds every event falling inside the measure.
measure_voice_data measure_notes_from_events(const source_measure& measure,
                                             std::span<const arrangement_event> events,
                                             std::int64_t& counter, bool include_fingers);

// Appends the written notes of one piece of an event: one note for a tuplet member, otherwise a
// chain of tied written durations with tab positions and chord symbol on the first.
void append_renderable_arranged_notes(measure_voice_data& voice_data,
                                      const arrangement_event& event, std::int64_t& counter,
                                      std::int64_t duration, bool tie_to_next,
                                      bool tie_from_previous, bool include_tab_positions,
                                      bool include_fingers);

// Declares the event's tuplet in the voice unless it is already there or its counts are missing.
void append_event_tuplet(boost::json::array& tuplets, const arrangement_event& event);

// Arranged vocal staff. Measures, voices and notes are copied from the source staff's JSON; the
// measures of sung sections keep their notes and lyrics, every other measure becomes rests that
// keep the chord symbols where they stand. Measure and rest numbers run on across the staff.

// One chord symbol of a source voice: ticks from the voice's start to the note carrying it.
struct rest_chord_marker {
  std::int64_t offset_ticks = 0;
  std::string chord_symbol;

  bool operator==(const rest_chord_marker&) const = default;
};

// The vocal staff: a copy of the source staff with the arranged header and one measure for every
// source measure of every planned section, in plan order; the section's label on its first
// measure; the pickup sung in the measure before a sung section that starts right after it.
boost::json::object make_full_arranged_vocal_staff(const boost::json::object& source_staff,
                                                   const source_score& source,
                                                   const part_realization_plan& plan);

// A sung measure: a copy of the source measure with the new id, without section label, its
// notes without tab positions and its rests without lyrics.
boost::json::object make_active_vocal_measure(const boost::json::object& measure,
                                              std::int64_t number);

// A rest measure: the id and signatures, and one rest voice per source voice (compact when the
// chord spans allow, else a skeleton of the source rhythm), or one whole-measure rest.
boost::json::object make_inactive_vocal_measure(const boost::json::object& measure,
                                                std::int64_t number, std::int64_t& rest_number);

// Replaces the target's voices with the pickup measure's sung voices, chord symbols removed, so
// that the pickup ends with the target: a shorter pickup is preceded by rests numbered on from
// `rest_number`. Leaves the target as it is when the pickup has no voice or is longer.
void apply_vocal_pickup_overlap(boost::json::object& target, const boost::json::object& pickup,
                                std::int64_t& rest_number);

// Removes the chord symbol from every note of every voice of the measure.
void erase_vocal_pickup_chord_symbols(boost::json::object& measure);

// Removes the note's tab positions, and its lyric unless its kind is "note".
void strip_vocal_note_for_generation(boost::json::object& note);

// The voice as a few rests, one from each chord symbol to the next; nothing when the notes do not
// fill the capacity exactly or a span is not one written duration (rest numbers already taken
// stay taken).
std::optional<boost::json::object> make_compact_rest_voice(const boost::json::object& voice,
                                                           std::int64_t capacity,
                                                           std::int64_t& rest_number);

// The voice with every note turned into a rest of the same rhythm, chord and tuplet.
boost::json::object make_rest_skeleton_voice(const boost::json::object& voice,
                                             std::int64_t& rest_number);

// The rest standing for one source note: its duration (4096 when it has no integer one), chord
// symbol, display ticks and tuplet id.
boost::json::object make_rest_skeleton_note(const boost::json::object& note,
                                            std::int64_t& rest_number);

// Copies the source note's integer "display_ticks" and non-empty "tuplet_id" to the target.
void copy_optional_notation_fields(boost::json::object& target, const boost::json::object& source);

}  // namespace orvanta::arrangement_detail
