#include "arrangement/source.hpp"

#include "arrangement/json_io.hpp"
#include "document.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::array<std::pair<int, int>, 6> tuning{
    {{1, 64}, {2, 59}, {3, 55}, {4, 50}, {5, 45}, {6, 40}}};

constexpr std::array<std::pair<std::string_view, int>, 6> letter_pitch_classes{
    {{"d", 2}, {"e", 4}, {"f", 5}, {"g", 7}, {"a", 9}, {"b", 11}}};

constexpr std::string_view arranged_guitar_staff_id = "staff-arranged-guitar";
constexpr std::string_view arranged_vocal_staff_id = "staff-arranged-vocal";
constexpr const char* default_style_label = "Med. Swing";

int letter_pitch_class(const std::string& letter) {
  for (const auto& [name, pitch_class] : letter_pitch_classes) {
    if (letter == name) return pitch_class;
  }
  return 0;
}

int accidental_offset(const std::string& accidental) {
  if (accidental == "#") return 1;
  if (accidental == "b") return -1;
  return 0;
}

bool is_source_candidate(const boost::json::object& staff) {
  const auto id = string_member(staff, "id", "");
  return !bool_member(staff, "arranged") && id != arranged_guitar_staff_id &&
         id != arranged_vocal_staff_id && string_member(staff, "role", "") != "guitar";
}

const boost::json::object* first_voice(const boost::json::object& measure) {
  const auto* voices = member(measure, "voices");
  if (voices == nullptr || !voices->is_array() || voices->get_array().empty()) return nullptr;
  const auto& voice = voices->get_array().front();
  return voice.is_object() ? &voice.get_object() : nullptr;
}

void read_tuplets(const boost::json::object& voice, std::size_t measure_index,
                  std::vector<source_tuplet>& tuplets) {
  const auto* elements = member(voice, "tuplets");
  if (elements == nullptr || !elements->is_array()) return;
  for (const auto& element : elements->get_array()) {
    if (!element.is_object()) continue;
    const auto& tuplet = element.get_object();
    auto id = string_member(tuplet, "id", "");
    const auto note_count = optional_integer_member(tuplet, "note_count");
    const auto space_count = optional_integer_member(tuplet, "space_count");
    if (id.empty() || !note_count || !space_count) continue;
    tuplets.push_back({std::move(id), *note_count, *space_count, measure_index});
  }
}

// A note continues a tie from the note before it (which may end the previous measure) when that
// note is tied on, ends where this one starts and sounds the same first pitch.
bool continues_tie(const std::vector<source_note>& notes, const source_note& note) {
  if (notes.empty()) return false;
  const auto& previous = notes.back();
  // Start ticks are never negative, so their difference cannot overflow.
  return previous.kind == "note" && note.kind == "note" && previous.tie_to_next &&
         note.start_tick - previous.start_tick == previous.duration_ticks &&
         !previous.pitches.empty() && !note.pitches.empty() &&
         previous.pitches.front().midi == note.pitches.front().midi;
}

source_note read_note(const boost::json::object& object, std::int64_t start_tick,
                      std::size_t measure_index, const std::vector<source_note>& notes) {
  source_note note;
  note.start_tick = start_tick;
  note.measure_index = measure_index;
  note.duration_ticks = std::max<std::int64_t>(integer_member(object, "duration_ticks", 4096), 1);
  note.kind = string_member(object, "kind", "note");
  note.pitches = parse_note_pitches(object);
  note.tie_from_previous = bool_member(object, "tie_from_previous") || continues_tie(notes, note);
  note.id = string_member(object, "id", "note-" + std::to_string(notes.size() + 1));
  note.chord_symbol = string_member(object, "chord_symbol", "");
  note.lyric = string_member(object, "lyric", "");
  note.display_ticks = optional_integer_member(object, "display_ticks");
  note.tie_to_next = bool_member(object, "tie_to_next");
  note.tuplet_id = string_member(object, "tuplet_id", "");
  return note;
}

// Note positions come from the voice's durations alone, never from the measure's capacity.
void read_notes(const boost::json::object& voice, std::size_t measure_index,
                std::int64_t measure_start, std::vector<source_note>& notes) {
  const auto* elements = member(voice, "notes");
  if (elements == nullptr || !elements->is_array()) return;
  auto next_start = measure_start;
  for (const auto& element : elements->get_array()) {
    if (!element.is_object()) continue;
    auto note = read_note(element.get_object(), next_start, measure_index, notes);
    next_start = add_ticks(next_start, note.duration_ticks);
    notes.push_back(std::move(note));
  }
}

source_measure read_measure(const boost::json::object& object, std::size_t position,
                            std::int64_t start_tick) {
  source_measure measure;
  measure.id = string_member(object, "id", "measure-" + std::to_string(position + 1));
  measure.time_signature = string_member(object, "time_signature", "4/4");
  measure.key_signature = string_member(object, "key_signature", "C");
  measure.section_label = string_member(object, "section_label", "");
  measure.capacity_ticks = measure_capacity_ticks(measure.time_signature);
  measure.start_tick = start_tick;
  return measure;
}

// A family rule matches when the lowered label contains every needle of all_of and none of
// none_of; empty needles are unused slots.
struct family_rule {
  std::array<std::string_view, 2> all_of;
  std::array<std::string_view, 2> none_of;
  comping_style_family family = comping_style_family::swing;
};

using enum comping_style_family;

// The first matching rule decides; the last one matches every label.
constexpr std::array<family_rule, 13> family_rules{{
    {{"waltz"}, {}, waltz},
    {{"blues"}, {}, blues},
    {{"funk"}, {}, funk},
    {{"bossa", "samba"}, {}, samba},
    {{"bossa"}, {}, bossa},
    {{"samba"}, {}, samba},
    {{"latin", "rock"}, {}, even8ths},
    {{"even"}, {}, even8ths},
    {{"rock"}, {}, rock},
    {{"latin"}, {}, latin},
    {{"ballad"}, {}, ballad},
    {{"slow"}, {"swing", "jazz"}, ballad},
    {{}, {}, swing},
}};

// Tempo of a family by the first column that applies: slow, "fast", "up", none of them.
struct family_tempo {
  comping_style_family family = comping_style_family::swing;
  int slow = 0;
  int fast = 0;
  int up = 0;
  int plain = 0;
};

// A ballad label always sets slow, so its other cells never apply.
constexpr std::array<family_tempo, 10> family_tempos{{
    {swing, 88, 220, 176, 124},
    {ballad, 72, 72, 72, 72},
    {bossa, 116, 156, 148, 132},
    {samba, 132, 176, 168, 156},
    {latin, 112, 152, 144, 128},
    {even8ths, 92, 144, 132, 112},
    {rock, 92, 144, 132, 118},
    {funk, 88, 132, 120, 104},
    {blues, 88, 152, 136, 112},
    {waltz, 108, 180, 168, 144},
}};

bool rule_matches(const family_rule& rule, const std::string& text) {
  for (const auto needle : rule.all_of) {
    if (!contains_text(text, needle)) return false;
  }
  for (const auto needle : rule.none_of) {
    if (!needle.empty() && contains_text(text, needle)) return false;
  }
  return true;
}

comping_style_family family_of(const std::string& text) {
  for (const auto& rule : family_rules) {
    if (rule_matches(rule, text)) return rule.family;
  }
  return swing;
}

int tempo_of(comping_style_family family, bool slow, const std::string& text) {
  for (const auto& row : family_tempos) {
    if (row.family != family) continue;
    if (slow) return row.slow;
    if (contains_text(text, "fast")) return row.fast;
    if (contains_text(text, "up")) return row.up;
    return row.plain;
  }
  return family_tempos.front().plain;
}

}  // namespace

int normalize_pc(int value) {
  const int remainder = value % 12;
  return remainder < 0 ? remainder + 12 : remainder;
}

// Computed in 64 bits so that absurd octaves cannot overflow; a result outside int keeps its low
// 32 bits, as the octave itself does.
int pitch_midi(const source_pitch& pitch) {
  const std::int64_t midi = 12 * std::int64_t{pitch.octave} + 12 +
                            letter_pitch_class(pitch.letter) + accidental_offset(pitch.accidental);
  return static_cast<int>(midi);
}

std::optional<int> open_midi_for_string(int string_number) {
  for (const auto& [number, midi] : tuning) {
    if (number == string_number) return midi;
  }
  return std::nullopt;
}

std::optional<source_pitch> parse_pitch(const boost::json::value& value) {
  if (!value.is_object()) return std::nullopt;
  const auto& object = value.get_object();
  source_pitch pitch;
  pitch.letter = string_member(object, "letter", "c");
  pitch.octave = static_cast<int>(integer_member(object, "octave", 4));
  pitch.accidental = string_member(object, "accidental", "n");
  pitch.midi = pitch_midi(pitch);
  return pitch;
}

std::vector<source_pitch> parse_note_pitches(const boost::json::object& note) {
  std::vector<source_pitch> pitches;
  const auto* elements = member(note, "pitches");
  if (elements == nullptr || !elements->is_array()) return pitches;
  for (const auto& element : elements->get_array()) {
    if (auto pitch = parse_pitch(element)) pitches.push_back(std::move(*pitch));
  }
  return pitches;
}

const boost::json::object* source_staff(const boost::json::value& document) {
  if (!document.is_object()) return nullptr;
  const auto* staves = member(document.get_object(), "staves");
  if (staves == nullptr || !staves->is_array()) return nullptr;
  const boost::json::object* fallback = nullptr;
  for (const auto& element : staves->get_array()) {
    if (!element.is_object()) continue;
    const auto& staff = element.get_object();
    if (is_source_candidate(staff)) return &staff;
    if (fallback == nullptr) fallback = &staff;
  }
  return fallback;
}

source_score extract_source_score(const boost::json::object& staff) {
  source_score score;
  const auto* measures = member(staff, "measures");
  if (measures == nullptr || !measures->is_array()) return score;
  const auto& elements = measures->get_array();
  std::int64_t next_start = 0;
  // Positions count every element, objects or not, for default ids and measure indexes.
  for (std::size_t position = 0; position < elements.size(); ++position) {
    if (!elements[position].is_object()) continue;
    const auto& object = elements[position].get_object();
    auto measure = read_measure(object, position, next_start);
    if (const auto* voice = first_voice(object)) {
      read_tuplets(*voice, position, score.tuplets);
      read_notes(*voice, position, measure.start_tick, score.notes);
    }
    next_start = add_ticks(next_start, measure.capacity_ticks);
    score.measures.push_back(std::move(measure));
  }
  return score;
}

std::string arrangement_style_label(const boost::json::value& document) {
  if (!document.is_object()) return default_style_label;
  const auto* metadata = member(document.get_object(), "metadata");
  if (metadata == nullptr || !metadata->is_object()) return default_style_label;
  auto label = string_member(metadata->get_object(), "style", default_style_label);
  return label.empty() ? default_style_label : label;
}

arrangement_style_profile arrangement_style_profile_for(std::string label) {
  const auto text = lowercase(std::move(label));
  arrangement_style_profile profile;
  profile.family = family_of(text);
  profile.fast = contains_text(text, "up") || contains_text(text, "fast");
  profile.slow = contains_text(text, "slow") || contains_text(text, "ballad");
  profile.tempo = tempo_of(profile.family, profile.slow, text);
  return profile;
}

std::string lowercase(std::string text) {
  for (auto& byte : text) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return text;
}

bool starts_with_text(const std::string& text, std::string_view prefix) {
  return std::string_view(text).starts_with(prefix);
}

bool contains_text(const std::string& text, std::string_view needle) {
  return text.find(needle) != std::string::npos;
}

}  // namespace orvanta::arrangement_detail
