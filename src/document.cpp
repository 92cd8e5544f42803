#include "document.hpp"

#include "arrangement/json_io.hpp"
#include "arrangement/source.hpp"

#include <boost/json/array.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace orvanta {
namespace {

using arrangement_detail::integer_value;

std::optional<int> whole_int(std::string_view text) {
  int value = 0;
  const auto* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (status != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// --- Checked arithmetic -------------------------------------------------------------------------

// A 64-bit sum or product that remembers an overflow. An overflowed value equals nothing, so a
// crafted document cannot wrap its way to an equality.
struct checked_int {
  std::int64_t value = 0;
  bool overflowed = false;
};

checked_int checked_plus(checked_int sum, std::int64_t addend) {
  if (!sum.overflowed) sum.overflowed = __builtin_add_overflow(sum.value, addend, &sum.value);
  return sum;
}

checked_int checked_times(checked_int product, std::int64_t factor) {
  if (!product.overflowed) {
    product.overflowed = __builtin_mul_overflow(product.value, factor, &product.value);
  }
  return product;
}

bool checked_equal(checked_int left, checked_int right) {
  return !left.overflowed && !right.overflowed && left.value == right.value;
}

// --- Messages, paths and field readers ----------------------------------------------------------

void push(validation_result& result, std::string path, std::string message) {
  result.messages.push_back({"error", std::move(path), std::move(message)});
}

// Path of member `key` of the node at `path`; document members have the empty path.
std::string member_path(const std::string& path, std::string_view key) {
  if (path.empty()) return std::string(key);
  std::string joined = path;
  joined += '.';
  joined += key;
  return joined;
}

std::string element_path(const std::string& path, std::string_view key, std::size_t index) {
  return member_path(path, key) + '.' + std::to_string(index);
}

const boost::json::object* object_at(const boost::json::value& value, validation_result& result,
                                     const std::string& path) {
  if (const auto* object = value.if_object()) return object;
  push(result, path, "must be an object");
  return nullptr;
}

std::optional<std::string> optional_string(const boost::json::object& object, const char* key,
                                           validation_result& result, const std::string& path) {
  const auto* value = object.if_contains(key);
  if (value == nullptr || value->is_null()) return std::string();
  if (const auto* text = value->if_string()) return std::string(*text);
  push(result, path, "must be a string");
  return std::nullopt;
}

std::optional<std::int64_t> optional_integer(const boost::json::object& object, const char* key,
                                             validation_result& result, const std::string& path) {
  const auto* value = object.if_contains(key);
  if (value == nullptr || value->is_null()) return 0;
  if (const auto integer = integer_value(*value)) return integer;
  push(result, path, "must be an integer");
  return std::nullopt;
}

std::optional<std::string> required_string(const boost::json::object& object, const char* key,
                                           validation_result& result, const std::string& path) {
  const auto* value = object.if_contains(key);
  if (value == nullptr) {
    push(result, path, "is required");
    return std::nullopt;
  }
  if (const auto* text = value->if_string()) return std::string(*text);
  push(result, path, "must be a string");
  return std::nullopt;
}

const boost::json::array* required_array(const boost::json::object& object, const char* key,
                                         validation_result& result, const std::string& path) {
  const auto* value = object.if_contains(key);
  if (value == nullptr) {
    push(result, path, "is required");
    return nullptr;
  }
  if (const auto* array = value->if_array()) return array;
  push(result, path, "must be an array");
  return nullptr;
}

std::optional<std::int64_t> required_integer(const boost::json::object& object, const char* key,
                                             validation_result& result, const std::string& path) {
  const auto* value = object.if_contains(key);
  if (value == nullptr) {
    push(result, path, "is required");
    return std::nullopt;
  }
  if (const auto integer = integer_value(*value)) return integer;
  push(result, path, "must be an integer");
  return std::nullopt;
}

// True when the key is present and holds anything but null.
bool has_value(const boost::json::object& object, const char* key) {
  const auto* value = object.if_contains(key);
  return value != nullptr && !value->is_null();
}

bool in_range(std::int64_t value, std::int64_t lowest, std::int64_t highest) {
  return value >= lowest && value <= highest;
}

// --- Notes, pitches and tab positions -----------------------------------------------------------

// What a note tells its voice about its timing; values that failed their checks are left out.
struct note_timing_info {
  std::optional<std::int64_t> display_ticks;
  std::optional<std::int64_t> duration_ticks;
  std::string tuplet_id;
};

// Plain and dotted note values from a thirty-second note to a dotted whole note.
constexpr std::array<std::int64_t, 11> renderable_durations{512,  1024, 1536,  2048,  3072, 4096,
                                                            6144, 8192, 12288, 16384, 24576};

bool is_renderable(std::int64_t ticks) {
  return std::find(renderable_durations.begin(), renderable_durations.end(), ticks) !=
         renderable_durations.end();
}

void validate_pitch(const boost::json::value& pitch, validation_result& result,
                    const std::string& path) {
  const auto* object = object_at(pitch, result, path);
  if (object == nullptr) return;

  const auto letter_path = member_path(path, "letter");
  if (const auto letter = required_string(*object, "letter", result, letter_path)) {
    if (letter->size() != 1 || (*letter)[0] < 'a' || (*letter)[0] > 'g') {
      push(result, letter_path, "must be a through g");
    }
  }
  const auto octave_path = member_path(path, "octave");
  if (const auto octave = required_integer(*object, "octave", result, octave_path)) {
    if (!in_range(*octave, 0, 8)) push(result, octave_path, "must be between 0 and 8");
  }
  const auto accidental_path = member_path(path, "accidental");
  if (const auto accidental = optional_string(*object, "accidental", result, accidental_path)) {
    if (*accidental != "" && *accidental != "n" && *accidental != "#" && *accidental != "b") {
      push(result, accidental_path, "must be n, #, b, or empty");
    }
  }
}

void validate_tab_position(const boost::json::value& position, validation_result& result,
                           const std::string& path) {
  const auto* object = object_at(position, result, path);
  if (object == nullptr) return;

  const auto string_path = member_path(path, "string_number");
  const auto fret_path = member_path(path, "fret");
  const auto midi_path = member_path(path, "midi");
  const auto finger_path = member_path(path, "finger");
  const auto string_number = required_integer(*object, "string_number", result, string_path);
  const auto fret = required_integer(*object, "fret", result, fret_path);
  const auto midi = required_integer(*object, "midi", result, midi_path);
  std::optional<std::int64_t> finger;
  if (has_value(*object, "finger")) {
    finger = integer_value(object->at("finger"));
    if (!finger) push(result, finger_path, "must be an integer");
  }

  const bool string_known = string_number && in_range(*string_number, 1, 6);
  if (string_number && !string_known) push(result, string_path, "must be between 1 and 6");
  if (fret && !in_range(*fret, 0, 20)) push(result, fret_path, "must be between 0 and 20");
  if (finger && !in_range(*finger, 1, 4)) push(result, finger_path, "must be between 1 and 4");
  if (finger && fret && *fret == 0) push(result, finger_path, "must be omitted for open strings");
  // The tuning test runs for frets out of range too, so any 64-bit fret reaches this sum.
  if (string_known && fret && midi) {
    const int open_midi =
        *arrangement_detail::open_midi_for_string(static_cast<int>(*string_number));
    if (!checked_equal(checked_plus({open_midi}, *fret), {*midi})) {
      push(result, midi_path, "must match standard guitar tuning plus fret");
    }
  }
}

// A note's written duration when it is present and valid; nothing otherwise (after a message when
// it is present but invalid).
std::optional<std::int64_t> validate_display_ticks(const boost::json::object& note,
                                                   validation_result& result,
                                                   const std::string& path) {
  if (!has_value(note, "display_ticks")) return std::nullopt;
  const auto display = integer_value(note.at("display_ticks"));
  if (!display) {
    push(result, path, "must be an integer");
  } else if (*display < 1) {
    push(result, path, "must be positive");
  } else if (!is_renderable(*display)) {
    push(result, path, "must be a renderable duration");
  } else {
    return display;
  }
  return std::nullopt;
}

void validate_tab_positions(const boost::json::object& note, bool is_rest,
                            validation_result& result, const std::string& path) {
  if (!has_value(note, "tab_positions")) return;
  const auto positions_path = member_path(path, "tab_positions");
  const auto* positions = note.at("tab_positions").if_array();
  if (positions == nullptr) {
    push(result, positions_path, "must be an array");
    return;
  }
  if (is_rest && !positions->empty()) {
    push(result, positions_path, "rests must not include tab positions");
  }
  for (std::size_t index = 0; index < positions->size(); ++index) {
    validate_tab_position((*positions)[index], result, element_path(path, "tab_positions", index));
  }
}

note_timing_info validate_note(const boost::json::value& note, validation_result& result,
                               const std::string& path) {
  note_timing_info info;
  const auto* object = object_at(note, result, path);
  if (object == nullptr) return info;

  const auto kind_path = member_path(path, "kind");
  const auto kind = required_string(*object, "kind", result, kind_path);
  if (kind && *kind != "note" && *kind != "rest") push(result, kind_path, "must be note or rest");
  const bool is_note = kind == "note";
  const bool is_rest = kind == "rest";

  const auto duration_path = member_path(path, "duration_ticks");
  if (const auto duration = required_integer(*object, "duration_ticks", result, duration_path)) {
    if (*duration < 1) {
      push(result, duration_path, "must be positive");
    } else {
      info.duration_ticks = duration;
    }
  }
  const auto display_path = member_path(path, "display_ticks");
  info.display_ticks = validate_display_ticks(*object, result, display_path);
  optional_string(*object, "chord_symbol", result, member_path(path, "chord_symbol"));
  optional_string(*object, "lyric", result, member_path(path, "lyric"));

  const auto notehead_path = member_path(path, "notehead");
  const auto notehead = optional_string(*object, "notehead", result, notehead_path);
  if (notehead && !notehead->empty()) {
    if (*notehead != "slash") push(result, notehead_path, "must be slash");
    if (is_rest) push(result, notehead_path, "rests must not include notehead");
  }

  const auto tuplet_path = member_path(path, "tuplet_id");
  const auto tuplet_id = optional_string(*object, "tuplet_id", result, tuplet_path);
  if (tuplet_id && !tuplet_id->empty()) {
    info.tuplet_id = *tuplet_id;
  } else if (tuplet_id && object->contains("tuplet_id")) {
    push(result, tuplet_path, "is required");
  }

  if (info.tuplet_id.empty()) {
    if (info.duration_ticks && !is_renderable(*info.duration_ticks)) {
      push(result, duration_path, "must be a renderable duration");
    }
  } else if (!has_value(*object, "display_ticks")) {
    push(result, display_path, "is required for tuplets");
  }

  const auto* pitches = required_array(*object, "pitches", result, member_path(path, "pitches"));
  if (pitches == nullptr) return info;
  if (is_note && pitches->empty()) {
    push(result, member_path(path, "pitches"), "notes must include at least one pitch");
  }
  for (std::size_t index = 0; index < pitches->size(); ++index) {
    validate_pitch((*pitches)[index], result, element_path(path, "pitches", index));
  }
  validate_tab_positions(*object, is_rest, result, path);
  return info;
}

// --- Voices and tuplets -------------------------------------------------------------------------

// What a voice learns about one element of its "tuplets" array.
struct tuplet_timing_info {
  checked_int actual_ticks;
  checked_int display_ticks;
  std::string id;
  std::optional<std::int64_t> note_count;
  std::vector<std::size_t> note_indexes;
  std::string path;
  std::optional<std::int64_t> space_count;
};

// A tuplet count of 1 to 32, or nothing after its message.
std::optional<std::int64_t> tuplet_count(std::optional<std::int64_t> count,
                                         validation_result& result, const std::string& path) {
  if (!count) return std::nullopt;
  if (*count < 1) {
    push(result, path, "must be positive");
    return std::nullopt;
  }
  if (*count > 32) {
    push(result, path, "must be 32 or less");
    return std::nullopt;
  }
  return count;
}

tuplet_timing_info validate_tuplet(const boost::json::value& tuplet, validation_result& result,
                                   const std::string& path) {
  tuplet_timing_info record;
  record.path = path;
  const auto* object = object_at(tuplet, result, path);
  if (object == nullptr) return record;

  const auto id_path = member_path(path, "id");
  if (const auto id = required_string(*object, "id", result, id_path)) {
    if (id->empty()) {
      push(result, id_path, "is required");
    } else {
      record.id = *id;
    }
  }
  const auto note_count_path = member_path(path, "note_count");
  const auto space_count_path = member_path(path, "space_count");
  const auto note_count = required_integer(*object, "note_count", result, note_count_path);
  const auto space_count = required_integer(*object, "space_count", result, space_count_path);
  record.note_count = tuplet_count(note_count, result, note_count_path);
  record.space_count = tuplet_count(space_count, result, space_count_path);
  return record;
}

// Reports every repetition of a tuplet id once, at the repeated element.
void report_duplicate_tuplet_ids(const std::vector<tuplet_timing_info>& tuplets,
                                 validation_result& result) {
  for (std::size_t later = 1; later < tuplets.size(); ++later) {
    if (tuplets[later].id.empty()) continue;
    for (std::size_t earlier = 0; earlier < later; ++earlier) {
      if (tuplets[earlier].id == tuplets[later].id) {
        push(result, member_path(tuplets[later].path, "id"), "must be unique");
        break;
      }
    }
  }
}

tuplet_timing_info* find_tuplet(std::vector<tuplet_timing_info>& tuplets, const std::string& id) {
  const auto found =
      std::find_if(tuplets.begin(), tuplets.end(),
                   [&](const tuplet_timing_info& tuplet) { return tuplet.id == id; });
  return found == tuplets.end() ? nullptr : &*found;
}

bool contiguous(const std::vector<std::size_t>& indexes) {
  for (std::size_t position = 1; position < indexes.size(); ++position) {
    if (indexes[position] != indexes[position - 1] + 1) return false;
  }
  return true;
}

void check_tuplet(const tuplet_timing_info& tuplet, validation_result& result) {
  if (tuplet.id.empty() || !tuplet.note_count || !tuplet.space_count) return;
  if (tuplet.note_indexes.empty()) {
    push(result, member_path(tuplet.path, "id"), "must be referenced by notes");
    return;
  }
  if (tuplet.note_indexes.size() != static_cast<std::size_t>(*tuplet.note_count)) {
    push(result, member_path(tuplet.path, "note_count"), "must match referenced note count");
  }
  if (!contiguous(tuplet.note_indexes)) {
    push(result, member_path(tuplet.path, "id"), "referenced notes must be contiguous");
  }
  if (!checked_equal(checked_times(tuplet.actual_ticks, *tuplet.note_count),
                     checked_times(tuplet.display_ticks, *tuplet.space_count))) {
    push(result, tuplet.path, "actual durations must match displayed tuplet ratio");
  }
}

// Adds the notes' durations up and joins tuplet members to their tuplets; the voice's total.
checked_int validate_notes(const boost::json::array& notes,
                           std::vector<tuplet_timing_info>& tuplets, validation_result& result,
                           const std::string& path) {
  checked_int total;
  for (std::size_t index = 0; index < notes.size(); ++index) {
    const auto note_path = element_path(path, "notes", index);
    const auto info = validate_note(notes[index], result, note_path);
    if (info.duration_ticks) total = checked_plus(total, *info.duration_ticks);
    if (info.tuplet_id.empty()) continue;
    auto* tuplet = find_tuplet(tuplets, info.tuplet_id);
    if (tuplet == nullptr) {
      push(result, member_path(note_path, "tuplet_id"), "must reference a tuplet");
      continue;
    }
    tuplet->note_indexes.push_back(index);
    if (info.duration_ticks) {
      tuplet->actual_ticks = checked_plus(tuplet->actual_ticks, *info.duration_ticks);
    }
    if (info.display_ticks) {
      tuplet->display_ticks = checked_plus(tuplet->display_ticks, *info.display_ticks);
    }
  }
  return total;
}

// The sum of the voice's valid note durations, or nothing without a notes array.
std::optional<checked_int> validate_voice(const boost::json::value& voice,
                                          validation_result& result, const std::string& path) {
  const auto* object = object_at(voice, result, path);
  if (object == nullptr) return std::nullopt;

  optional_string(*object, "id", result, member_path(path, "id"));
  const auto* notes = required_array(*object, "notes", result, member_path(path, "notes"));
  const auto* tuplet_elements =
      required_array(*object, "tuplets", result, member_path(path, "tuplets"));

  std::vector<tuplet_timing_info> tuplets;
  if (tuplet_elements != nullptr) {
    for (std::size_t index = 0; index < tuplet_elements->size(); ++index) {
      tuplets.push_back(
          validate_tuplet((*tuplet_elements)[index], result, element_path(path, "tuplets", index)));
    }
  }
  report_duplicate_tuplet_ids(tuplets, result);

  std::optional<checked_int> total;
  if (notes != nullptr) total = validate_notes(*notes, tuplets, result, path);
  for (const auto& tuplet : tuplets) check_tuplet(tuplet, result);
  return total;
}

// --- Documents, staves and measures -------------------------------------------------------------

// The capacity of a time signature member, 0 (after a message) when it has none.
std::int64_t time_signature_capacity(const boost::json::object& object, validation_result& result,
                                     const std::string& path) {
  const auto time_signature = required_string(object, "time_signature", result, path);
  if (!time_signature) return 0;
  const auto capacity = measure_capacity_ticks(*time_signature);
  if (capacity == 0) push(result, path, "must look like 4/4");
  return capacity;
}

void validate_measure(const boost::json::value& measure, validation_result& result,
                      const std::string& path) {
  const auto* object = object_at(measure, result, path);
  if (object == nullptr) return;

  optional_string(*object, "id", result, member_path(path, "id"));
  optional_string(*object, "section_label", result, member_path(path, "section_label"));
  const auto capacity =
      time_signature_capacity(*object, result, member_path(path, "time_signature"));
  required_string(*object, "key_signature", result, member_path(path, "key_signature"));
  const auto* voices = required_array(*object, "voices", result, member_path(path, "voices"));
  if (voices == nullptr) return;
  if (voices->empty()) push(result, member_path(path, "voices"), "must include at least one voice");
  for (std::size_t index = 0; index < voices->size(); ++index) {
    const auto voice_path = element_path(path, "voices", index);
    const auto total = validate_voice((*voices)[index], result, voice_path);
    if (capacity > 0 && total && !checked_equal(*total, {capacity})) {
      push(result, member_path(voice_path, "notes"), "total duration must equal measure capacity");
    }
  }
}

void validate_staff(const boost::json::value& staff, validation_result& result,
                    const std::string& path) {
  const auto* object = object_at(staff, result, path);
  if (object == nullptr) return;

  optional_string(*object, "id", result, member_path(path, "id"));
  optional_string(*object, "name", result, member_path(path, "name"));
  const auto clef_path = member_path(path, "clef");
  const auto clef = required_string(*object, "clef", result, clef_path);
  if (clef && *clef != "treble" && *clef != "bass")
    push(result, clef_path, "must be treble or bass");
  const auto* measures = required_array(*object, "measures", result, member_path(path, "measures"));
  if (measures == nullptr) return;
  if (measures->empty()) {
    push(result, member_path(path, "measures"), "must include at least one measure");
  }
  for (std::size_t index = 0; index < measures->size(); ++index) {
    validate_measure((*measures)[index], result, element_path(path, "measures", index));
  }
}

void validate_metadata(const boost::json::object& document, validation_result& result) {
  if (!document.contains("metadata")) {
    push(result, "metadata", "is required");
    return;
  }
  const auto* metadata = object_at(document.at("metadata"), result, "metadata");
  if (metadata == nullptr) return;

  optional_string(*metadata, "title", result, "metadata.title");
  optional_string(*metadata, "composer", result, "metadata.composer");
  optional_string(*metadata, "style", result, "metadata.style");
  if (metadata->contains("tempo")) {
    const auto tempo = optional_integer(*metadata, "tempo", result, "metadata.tempo");
    if (tempo && !in_range(*tempo, 20, 320)) {
      push(result, "metadata.tempo", "must be between 20 and 320");
    }
  }
  required_string(*metadata, "key_signature", result, "metadata.key_signature");
  time_signature_capacity(*metadata, result, "metadata.time_signature");
}

boost::json::object note_json(const char* id) {
  return {{"id", id},
          {"kind", "rest"},
          {"duration_ticks", 4096},
          {"pitches", boost::json::array{{{"letter", "b"}, {"octave", 4}, {"accidental", "n"}}}}};
}

}  // namespace

std::int64_t measure_capacity_ticks(const std::string& time_signature) {
  constexpr std::int64_t whole_note_ticks = 16384;
  constexpr std::int64_t largest_capacity = 131072;
  constexpr std::array valid_denominators{1, 2, 4, 8, 16, 32};

  const auto slash = time_signature.find('/');
  if (slash == std::string::npos) return 0;
  const std::string_view text = time_signature;
  const auto numerator = whole_int(text.substr(0, slash));
  const auto denominator = whole_int(text.substr(slash + 1));
  if (!numerator || !denominator || *numerator < 1 || *numerator > 32) return 0;
  if (std::find(valid_denominators.begin(), valid_denominators.end(), *denominator) ==
      valid_denominators.end()) {
    return 0;
  }
  const auto capacity = *numerator * (whole_note_ticks / *denominator);
  return capacity > largest_capacity ? 0 : capacity;
}

validation_result validate_score_document(const boost::json::value& document) {
  validation_result result;
  const auto* object = object_at(document, result, "document");
  if (object == nullptr) return result;

  const auto version = optional_integer(*object, "version", result, "version");
  if (version && *version < 1) push(result, "version", "must be positive");
  validate_metadata(*object, result);

  const auto* staves = required_array(*object, "staves", result, "staves");
  if (staves == nullptr) return result;
  if (staves->empty()) {
    push(result, "staves", "must include at least one staff");
    return result;
  }
  for (std::size_t index = 0; index < staves->size(); ++index) {
    validate_staff((*staves)[index], result, element_path("", "staves", index));
  }
  return result;
}

boost::json::object default_score_document() {
  boost::json::array notes;
  for (const char* id : {"note-1", "note-2", "note-3", "note-4"}) notes.push_back(note_json(id));
  boost::json::object voice{{"id", "voice-1"}, {"notes", notes}, {"tuplets", boost::json::array{}}};
  boost::json::object measure{{"id", "measure-1"},
                              {"time_signature", "4/4"},
                              {"key_signature", "C"},
                              {"voices", boost::json::array{voice}}};
  boost::json::object staff{{"id", "staff-vocal"},
                            {"name", "Vocal"},
                            {"clef", "treble"},
                            {"role", "vocal"},
                            {"measures", boost::json::array{measure}}};
  boost::json::object metadata{{"title", ""},
                               {"composer", ""},
                               {"key_signature", "C"},
                               {"time_signature", "4/4"},
                               {"style", "Med. Swing"}};
  return {{"version", 1}, {"metadata", metadata}, {"staves", boost::json::array{staff}}};
}

}  // namespace orvanta
