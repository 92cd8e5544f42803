#include "arrangement/json_io.hpp"

#include "document.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

struct note_name {
  const char* letter;
  const char* accidental;
};

// The spelling of each pitch class, C = 0; it does not depend on the key.
constexpr std::array<note_name, 12> note_names() {
  return {{{"c", "n"},
           {"c", "#"},
           {"d", "n"},
           {"e", "b"},
           {"e", "n"},
           {"f", "n"},
           {"f", "#"},
           {"g", "n"},
           {"a", "b"},
           {"a", "n"},
           {"b", "b"},
           {"b", "n"}}};
}

// The middle line of the treble staff: the pitch of rests and of notes that sound no position.
constexpr int placeholder_midi = 71;

// One counter numbers every written note and rest of a staff; it is raised before each id.
std::string next_id(const char* prefix, std::int64_t& counter) {
  ++counter;
  return prefix + std::to_string(counter);
}

bool is_arranged_staff(const boost::json::value& staff) {
  const auto* object = staff.if_object();
  if (object == nullptr) return false;
  if (bool_member(*object, "arranged")) return true;
  const auto id = string_member(*object, "id", "");
  return id == "staff-arranged-guitar" || id == "staff-arranged-vocal";
}

bool declares_tuplet(const boost::json::array& tuplets, const std::string& tuplet_id) {
  return std::any_of(tuplets.begin(), tuplets.end(), [&](const boost::json::value& tuplet) {
    const auto* object = tuplet.if_object();
    return object != nullptr && string_member(*object, "id", "") == tuplet_id;
  });
}

boost::json::object make_measure(const source_measure& measure, std::size_t index,
                                 boost::json::object voice) {
  boost::json::object written;
  written["id"] = "arr-measure-" + std::to_string(index + 1);
  written["time_signature"] = measure.time_signature;
  written["key_signature"] = measure.key_signature;
  if (!measure.section_label.empty()) written["section_label"] = measure.section_label;
  written["voices"] = boost::json::array{std::move(voice)};
  return written;
}

constexpr const char* vocal_voice_id = "voice-arranged-vocal";

std::string vocal_measure_id(std::int64_t number) {
  return "arr-vocal-measure-" + std::to_string(number);
}

// Visits in place every object element of the array under the key; a member that is no array
// and elements that are no objects are passed over.
template <typename visit>
void for_each_object_in(boost::json::object& object, const char* key, visit&& visitor) {
  auto* value = object.if_contains(key);
  if (value == nullptr || !value->is_array()) return;
  for (auto& element : value->get_array()) {
    if (auto* element_object = element.if_object()) visitor(*element_object);
  }
}

template <typename visit>
void for_each_note_of_measure(boost::json::object& measure, visit&& visitor) {
  for_each_object_in(measure, "voices", [&](boost::json::object& voice) {
    for_each_object_in(voice, "notes", visitor);
  });
}

const boost::json::array* array_member(const boost::json::object& object, const char* key) {
  const auto* value = member(object, key);
  return value != nullptr ? value->if_array() : nullptr;
}

boost::json::object make_rest_voice(boost::json::array notes, boost::json::array tuplets) {
  boost::json::object voice;
  voice["id"] = vocal_voice_id;
  voice["notes"] = std::move(notes);
  voice["tuplets"] = std::move(tuplets);
  return voice;
}

// Appends one numbered rest of a written duration; false for any other duration.
bool append_vocal_rest(boost::json::array& notes, std::int64_t& rest_number, std::int64_t duration,
                       const std::string& chord_symbol) {
  if (duration <= 0 || !renderable_arrangement_duration(duration)) return false;
  notes.push_back(make_rest_note(next_id("arr-vocal-rest-", rest_number), duration, chord_symbol));
  return true;
}

// The chord markers of a voice whose notes all last at least one tick and together fill exactly
// the capacity; nothing otherwise.
std::optional<std::vector<rest_chord_marker>> chord_markers_filling(const boost::json::array& notes,
                                                                    std::int64_t capacity) {
  std::vector<rest_chord_marker> markers;
  std::int64_t offset = 0;
  for (const auto& element : notes) {
    const auto* note = element.if_object();
    if (note == nullptr) return std::nullopt;
    const auto duration = integer_member(*note, "duration_ticks", 0);
    if (duration <= 0) return std::nullopt;
    auto chord_symbol = string_member(*note, "chord_symbol", "");
    if (!chord_symbol.empty()) markers.push_back({offset, std::move(chord_symbol)});
    // Durations that overflow the running offset cannot fill any measure.
    if (__builtin_add_overflow(offset, duration, &offset)) return std::nullopt;
  }
  if (offset != capacity) return std::nullopt;
  return markers;
}

// The event list read measure by measure: when the starts never decrease, the starts and the
// largest end up to each event; nothing otherwise.
struct event_runs {
  std::vector<std::int64_t> starts;
  std::vector<std::int64_t> reach;
};

std::optional<event_runs> events_by_start_and_reach(const std::vector<arrangement_event>& events) {
  if (!std::ranges::is_sorted(events, {}, &arrangement_event::start_ticks)) return std::nullopt;
  event_runs runs;
  runs.starts.reserve(events.size());
  runs.reach.reserve(events.size());
  for (const auto& event : events) {
    runs.starts.push_back(event.start_ticks);
    const auto end = event_end_ticks(event);
    runs.reach.push_back(runs.reach.empty() ? end : std::max(runs.reach.back(), end));
  }
  return runs;
}

// The run of the list that holds every event falling inside the measure: the events before it
// end by the measure's start, those after it start at its end or later. The whole list when its
// starts decrease somewhere.
std::span<const arrangement_event> events_run_for_measure(
    const std::vector<arrangement_event>& events, const std::optional<event_runs>& runs,
    const source_measure& measure) {
  if (!runs) return events;
  const auto measure_start = measure.start_tick;
  const auto measure_end = measure.start_tick + measure.capacity_ticks;
  const auto first = std::ranges::upper_bound(runs->reach, measure_start) - runs->reach.begin();
  const auto last = std::ranges::lower_bound(runs->starts, measure_end) - runs->starts.begin();
  if (first >= last) return {};
  return std::span<const arrangement_event>(events).subspan(static_cast<std::size_t>(first),
                                                            static_cast<std::size_t>(last - first));
}

}  // namespace

const boost::json::value* member(const boost::json::object& object, const char* key) {
  return object.if_contains(key);
}

std::string string_member(const boost::json::object& object, const char* key,
                          std::string fallback) {
  const auto* value = member(object, key);
  if (value == nullptr || !value->is_string()) return fallback;
  return std::string(value->get_string());
}

bool bool_member(const boost::json::object& object, const char* key) {
  const auto* value = member(object, key);
  return value != nullptr && value->is_bool() && value->get_bool();
}

std::optional<std::int64_t> integer_value(const boost::json::value& value) {
  if (value.is_int64()) return value.get_int64();
  if (value.is_uint64() &&
      value.get_uint64() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<std::int64_t>(value.get_uint64());
  }
  return std::nullopt;
}

std::int64_t integer_member(const boost::json::object& object, const char* key,
                            std::int64_t fallback) {
  const auto* value = member(object, key);
  if (value == nullptr) return fallback;
  return integer_value(*value).value_or(fallback);
}

std::optional<std::int64_t> optional_integer_member(const boost::json::object& object,
                                                    const char* key) {
  const auto* value = member(object, key);
  if (value == nullptr || value->is_null()) return std::nullopt;
  return integer_value(*value);
}

boost::json::object pitch_from_midi(int midi) {
  const auto name = note_names()[static_cast<std::size_t>(normalize_pc(midi))];
  boost::json::object pitch;
  pitch["letter"] = name.letter;
  pitch["accidental"] = name.accidental;
  pitch["octave"] = midi / 12 - 1;
  return pitch;
}

boost::json::object tab_position_json(const tab_position& position, bool include_finger) {
  boost::json::object written;
  written["string_number"] = position.string_number;
  written["fret"] = position.fret;
  written["midi"] = position.midi;
  if (include_finger && position.fret > 0 && position.finger) written["finger"] = *position.finger;
  return written;
}

void apply_event_notation(boost::json::object& note, const arrangement_event& event) {
  if (event.display_ticks) note["display_ticks"] = *event.display_ticks;
  if (!event.tuplet_id.empty()) note["tuplet_id"] = event.tuplet_id;
}

boost::json::object make_rest_note(std::string id, std::int64_t duration,
                                   const std::string& chord_symbol) {
  boost::json::object rest;
  rest["id"] = std::move(id);
  rest["kind"] = "rest";
  rest["duration_ticks"] = duration;
  rest["pitches"] = boost::json::array{pitch_from_midi(placeholder_midi)};
  if (!chord_symbol.empty()) rest["chord_symbol"] = chord_symbol;
  return rest;
}

boost::json::object make_arranged_note(std::string id, std::int64_t duration,
                                       std::vector<tab_position> positions,
                                       const std::string& chord_symbol, bool tie_to_next,
                                       bool tie_from_previous, bool include_tab_positions,
                                       bool include_fingers, const arrangement_event& event) {
  sort_positions_by_pitch(positions);
  const bool sounds = !positions.empty();

  boost::json::array pitches;
  // Guitar music is written an octave above its sound.
  for (const auto& position : positions) pitches.push_back(pitch_from_midi(position.midi + 12));
  if (!sounds) pitches.push_back(pitch_from_midi(placeholder_midi));

  boost::json::object note;
  note["id"] = std::move(id);
  note["kind"] = sounds || event.slash ? "note" : "rest";
  note["duration_ticks"] = duration;
  note["pitches"] = std::move(pitches);
  if (event.slash) note["notehead"] = "slash";
  if (include_tab_positions && sounds) {
    boost::json::array tabs;
    for (const auto& position : positions) {
      tabs.push_back(tab_position_json(position, include_fingers));
    }
    note["tab_positions"] = std::move(tabs);
  }
  if (!chord_symbol.empty()) note["chord_symbol"] = chord_symbol;
  if (tie_to_next && sounds) note["tie_to_next"] = true;
  if (tie_from_previous && sounds) note["tie_from_previous"] = true;
  apply_event_notation(note, event);
  return note;
}

std::vector<std::int64_t> renderable_duration_parts(std::int64_t duration) {
  std::vector<std::int64_t> parts;
  auto remaining = duration;
  for (const auto written : renderable_durations()) {
    while (remaining >= written) {
      parts.push_back(written);
      remaining -= written;
    }
  }
  // A remainder below the shortest written duration cannot be tied on: keep the duration whole.
  if (remaining > 0) return {duration};
  return parts;
}

void append_renderable_rest_notes(boost::json::array& notes, std::int64_t& counter,
                                  std::int64_t duration, const std::string& chord_symbol) {
  const auto parts = renderable_duration_parts(duration);
  for (std::size_t index = 0; index < parts.size(); ++index) {
    notes.push_back(make_rest_note(next_id("arr-rest-", counter), parts[index],
                                   index == 0 ? chord_symbol : std::string()));
  }
}

boost::json::object make_voice(std::string id, measure_voice_data voice_data) {
  boost::json::object voice;
  voice["id"] = std::move(id);
  voice["notes"] = std::move(voice_data.notes);
  voice["tuplets"] = std::move(voice_data.tuplets);
  return voice;
}

boost::json::object make_arranged_staff(const source_score& source,
                                        const std::vector<arrangement_event>& events,
                                        arrangement_part_type part_type,
                                        arrangement_options options) {
  std::int64_t counter = 0;
  boost::json::array measures;
  const auto runs = events_by_start_and_reach(events);
  for (std::size_t index = 0; index < source.measures.size(); ++index) {
    const auto& measure = source.measures[index];
    auto voice_data = measure_notes_from_events(
        measure, events_run_for_measure(events, runs, measure), counter, options.assist);
    measures.push_back(
        make_measure(measure, index, make_voice("voice-arranged-guitar", std::move(voice_data))));
  }
  boost::json::object staff;
  staff["id"] = "staff-arranged-guitar";
  staff["name"] = "Guitar";
  staff["clef"] = "treble";
  staff["role"] = "guitar";
  staff["arranged"] = true;
  staff["arrangement_part_type"] = to_string(part_type);
  staff["measures"] = std::move(measures);
  return staff;
}

void remove_existing_arranged_staff(boost::json::array& staves) {
  for (auto staff = staves.begin(); staff != staves.end();) {
    if (is_arranged_staff(*staff)) {
      staff = staves.erase(staff);
    } else {
      ++staff;
    }
  }
}

measure_voice_data measure_notes_from_events(const source_measure& measure,
                                             const std::vector<arrangement_event>& events,
                                             std::int64_t& counter, bool include_fingers) {
  return measure_notes_from_events(measure, std::span<const arrangement_event>(events), counter,
                                   include_fingers);
}

measure_voice_data measure_notes_from_events(const source_measure& measure,
                                             std::span<const arrangement_event> events,
                                             std::int64_t& counter, bool include_fingers) {
  measure_voice_data voice_data;
  const auto measure_start = measure.start_tick;
  const auto measure_end = measure.start_tick + measure.capacity_ticks;
  auto cursor = measure_start;
  for (const auto& event : events) {
    const auto start = event.start_ticks;
    const auto end = event_end_ticks(event);
    if (start >= measure_end || end <= measure_start) continue;
    const auto piece_start = std::max(start, measure_start);
    const auto piece_end = std::min(std::max(end, piece_start), measure_end);
    if (piece_start > cursor) {
      append_renderable_rest_notes(voice_data.notes, counter, piece_start - cursor, "");
      cursor = piece_start;
    }
    if (cursor >= piece_end) continue;

    // A piece that continues an event from an earlier measure is tied to it and shows neither
    // tab positions nor the chord symbol again; one that goes on into the next measure ties on.
    const bool began_earlier = start < piece_start;
    const bool tie_from_previous = event.tie_from_previous || began_earlier;
    const bool tie_to_next = event.tie_to_next || end > measure_end;
    if (began_earlier && !event.chord_symbol.empty()) {
      auto continued = event;
      continued.chord_symbol.clear();
      append_renderable_arranged_notes(voice_data, continued, counter, piece_end - cursor,
                                       tie_to_next, tie_from_previous, !tie_from_previous,
                                       include_fingers);
    } else {
      append_renderable_arranged_notes(voice_data, event, counter, piece_end - cursor, tie_to_next,
                                       tie_from_previous, !tie_from_previous, include_fingers);
    }
    cursor = piece_end;
  }
  if (cursor < measure_end) {
    append_renderable_rest_notes(voice_data.notes, counter, measure_end - cursor, "");
  }
  return voice_data;
}

void append_renderable_arranged_notes(measure_voice_data& voice_data,
                                      const arrangement_event& event, std::int64_t& counter,
                                      std::int64_t duration, bool tie_to_next,
                                      bool tie_from_previous, bool include_tab_positions,
                                      bool include_fingers) {
  // A tuplet member keeps its sounding duration in one note; the tuplet gives it its written value.
  if (!event.tuplet_id.empty()) {
    voice_data.notes.push_back(make_arranged_note(
        next_id("arr-note-", counter), duration, event.positions, event.chord_symbol, tie_to_next,
        tie_from_previous, include_tab_positions, include_fingers, event));
    append_event_tuplet(voice_data.tuplets, event);
    return;
  }
  const auto parts = renderable_duration_parts(duration);
  const auto last = parts.size() - 1;
  for (std::size_t index = 0; index < parts.size(); ++index) {
    voice_data.notes.push_back(
        make_arranged_note(next_id("arr-note-", counter), parts[index], event.positions,
                           index == 0 ? event.chord_symbol : std::string(),
                           index < last || tie_to_next, index > 0 || tie_from_previous,
                           index == 0 && include_tab_positions, include_fingers, event));
  }
}

void append_event_tuplet(boost::json::array& tuplets, const arrangement_event& event) {
  if (event.tuplet_id.empty() || !event.tuplet_note_count || !event.tuplet_space_count) return;
  if (declares_tuplet(tuplets, event.tuplet_id)) return;
  boost::json::object tuplet;
  tuplet["id"] = event.tuplet_id;
  tuplet["note_count"] = *event.tuplet_note_count;
  tuplet["space_count"] = *event.tuplet_space_count;
  tuplets.push_back(std::move(tuplet));
}

boost::json::object make_full_arranged_vocal_staff(const boost::json::object& source_staff,
                                                   const source_score& source,
                                                   const part_realization_plan& plan) {
  auto staff = source_staff;
  staff["id"] = "staff-arranged-vocal";
  staff["name"] = "Vocal";
  staff["clef"] = string_member(source_staff, "clef", "treble");
  staff["role"] = "vocal";
  staff["arranged"] = true;
  staff["arrangement_part_type"] = to_string(arrangement_part_type::vocal);
  const auto* source_measures = array_member(source_staff, "measures");
  if (source_measures == nullptr) {
    staff["measures"] = boost::json::array();
    return staff;
  }

  boost::json::array measures;
  std::int64_t measure_number = 0;
  std::int64_t rest_number = 0;
  const auto pickup = leading_pickup_measure_index(source);
  const boost::json::object* pickup_measure = nullptr;
  if (pickup && *pickup < source_measures->size()) {
    pickup_measure = (*source_measures)[*pickup].if_object();
  }
  for (const auto& section_plan : plan.sections) {
    const auto& section = section_plan.section;
    if (pickup_measure != nullptr && !measures.empty() &&
        section_receives_vocal_pickup_overlap(source, section)) {
      apply_vocal_pickup_overlap(measures.back().as_object(), *pickup_measure, rest_number);
    }
    const bool sung = section.role == full_arrangement_section_role::vocal;
    for (std::size_t index = 0; index < section.measure_count; ++index) {
      const auto measure_index = section.first_measure + index;
      // A run that wraps past the largest index names no measure either.
      if (measure_index < section.first_measure || measure_index >= source_measures->size()) {
        continue;
      }
      const auto* source_measure = (*source_measures)[measure_index].if_object();
      if (source_measure == nullptr) continue;
      ++measure_number;
      auto written =
          sung ? make_active_vocal_measure(*source_measure, measure_number)
               : make_inactive_vocal_measure(*source_measure, measure_number, rest_number);
      if (index == 0) written["section_label"] = section.label;
      measures.push_back(std::move(written));
    }
  }
  staff["measures"] = std::move(measures);
  return staff;
}

boost::json::object make_active_vocal_measure(const boost::json::object& measure,
                                              std::int64_t number) {
  auto written = measure;
  written["id"] = vocal_measure_id(number);
  written.erase("section_label");
  for_each_note_of_measure(written, strip_vocal_note_for_generation);
  return written;
}

boost::json::object make_inactive_vocal_measure(const boost::json::object& measure,
                                                std::int64_t number, std::int64_t& rest_number) {
  boost::json::object written;
  written["id"] = vocal_measure_id(number);
  const auto time_signature = string_member(measure, "time_signature", "4/4");
  written["time_signature"] = time_signature;
  written["key_signature"] = string_member(measure, "key_signature", "C");
  const auto capacity = measure_capacity_ticks(time_signature);

  boost::json::array voices;
  if (const auto* source_voices = array_member(measure, "voices")) {
    for (const auto& element : *source_voices) {
      const auto* voice = element.if_object();
      if (voice == nullptr) continue;
      if (auto compact = make_compact_rest_voice(*voice, capacity, rest_number)) {
        voices.push_back(std::move(*compact));
      } else {
        voices.push_back(make_rest_skeleton_voice(*voice, rest_number));
      }
    }
  }
  if (voices.empty()) {
    boost::json::array notes;
    if (append_vocal_rest(notes, rest_number, capacity, "")) {
      voices.push_back(make_rest_voice(std::move(notes), {}));
    }
  }
  written["voices"] = std::move(voices);
  return written;
}

void apply_vocal_pickup_overlap(boost::json::object& target, const boost::json::object& pickup,
                                std::int64_t& rest_number) {
  auto sung = make_active_vocal_measure(pickup, 0);
  erase_vocal_pickup_chord_symbols(sung);
  auto* voices = sung.if_contains("voices");
  if (voices == nullptr || !voices->is_array() || voices->as_array().empty()) return;

  // A pickup of another length than the measure it is sung in would leave that measure over- or
  // underfull: a shorter one waits behind rests, a longer one is not sung there.
  const auto target_capacity =
      measure_capacity_ticks(string_member(target, "time_signature", "4/4"));
  const auto pickup_capacity =
      measure_capacity_ticks(string_member(pickup, "time_signature", "4/4"));
  if (pickup_capacity > target_capacity || pickup_capacity == 0) return;
  if (pickup_capacity < target_capacity) {
    const auto parts = renderable_duration_parts(target_capacity - pickup_capacity);
    for (auto& voice : voices->as_array()) {
      auto* notes = voice.is_object() ? voice.as_object().if_contains("notes") : nullptr;
      if (notes == nullptr || !notes->is_array()) continue;
      boost::json::array padded;
      for (const auto part : parts) {
        padded.push_back(make_rest_note(next_id("arr-vocal-rest-", rest_number), part, ""));
      }
      for (auto& note : notes->as_array()) padded.push_back(std::move(note));
      *notes = std::move(padded);
    }
  }
  target["voices"] = std::move(*voices);
}

void erase_vocal_pickup_chord_symbols(boost::json::object& measure) {
  for_each_note_of_measure(measure, [](boost::json::object& note) { note.erase("chord_symbol"); });
}

void strip_vocal_note_for_generation(boost::json::object& note) {
  note.erase("tab_positions");
  if (string_member(note, "kind", "rest") != "note") note.erase("lyric");
}

std::optional<boost::json::object> make_compact_rest_voice(const boost::json::object& voice,
                                                           std::int64_t capacity,
                                                           std::int64_t& rest_number) {
  const auto* source_notes = array_member(voice, "notes");
  if (source_notes == nullptr) return std::nullopt;
  const auto markers = chord_markers_filling(*source_notes, capacity);
  if (!markers) return std::nullopt;

  boost::json::array notes;
  if (markers->empty()) {
    if (!append_vocal_rest(notes, rest_number, capacity, "")) return std::nullopt;
    return make_rest_voice(std::move(notes), {});
  }
  const auto first_offset = markers->front().offset_ticks;
  if (first_offset > 0 && !append_vocal_rest(notes, rest_number, first_offset, "")) {
    return std::nullopt;
  }
  for (std::size_t index = 0; index < markers->size(); ++index) {
    const auto& marker = (*markers)[index];
    const auto span_end =
        index + 1 < markers->size() ? (*markers)[index + 1].offset_ticks : capacity;
    if (!append_vocal_rest(notes, rest_number, span_end - marker.offset_ticks,
                           marker.chord_symbol)) {
      return std::nullopt;
    }
  }
  return make_rest_voice(std::move(notes), {});
}

boost::json::object make_rest_skeleton_voice(const boost::json::object& voice,
                                             std::int64_t& rest_number) {
  boost::json::array notes;
  if (const auto* source_notes = array_member(voice, "notes")) {
    for (const auto& element : *source_notes) {
      if (const auto* note = element.if_object()) {
        notes.push_back(make_rest_skeleton_note(*note, rest_number));
      }
    }
  }
  const auto* tuplets = array_member(voice, "tuplets");
  return make_rest_voice(std::move(notes), tuplets != nullptr ? *tuplets : boost::json::array());
}

boost::json::object make_rest_skeleton_note(const boost::json::object& note,
                                            std::int64_t& rest_number) {
  boost::json::object rest;
  rest["id"] = next_id("arr-vocal-rest-", rest_number);
  rest["kind"] = "rest";
  rest["duration_ticks"] = integer_member(note, "duration_ticks", 4096);
  rest["pitches"] = boost::json::array{pitch_from_midi(placeholder_midi)};
  const auto chord_symbol = string_member(note, "chord_symbol", "");
  if (!chord_symbol.empty()) rest["chord_symbol"] = chord_symbol;
  copy_optional_notation_fields(rest, note);
  return rest;
}

void copy_optional_notation_fields(boost::json::object& target, const boost::json::object& source) {
  if (const auto display_ticks = optional_integer_member(source, "display_ticks")) {
    target["display_ticks"] = *display_ticks;
  }
  const auto tuplet_id = string_member(source, "tuplet_id", "");
  if (!tuplet_id.empty()) target["tuplet_id"] = tuplet_id;
}

}  // namespace orvanta::arrangement_detail
