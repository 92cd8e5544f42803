// The source score: what the engine reads of the staff to arrange, the style it is played in,
// and the tick and pitch arithmetic the whole engine shares. Times are integer ticks, 4096 to the
// quarter note; MIDI 60 is middle C; strings are numbered 1 (highest) to 6 (lowest).
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// One measure of the source staff; it spans [start_tick, start_tick + capacity_ticks).
struct source_measure {
  std::string id;
  std::string time_signature = "4/4";
  std::string key_signature = "C";
  std::string section_label;
  std::int64_t start_tick = 0;
  std::int64_t capacity_ticks = 16384;

  bool operator==(const source_measure&) const = default;
};

// One written pitch: a letter "a" to "g", an octave (4 holds middle C) and an accidental.
struct source_pitch {
  std::string letter = "c";
  int octave = 4;
  std::string accidental = "n";
  int midi = 60;

  bool operator==(const source_pitch&) const = default;
};

// One note or rest of the first voice of a measure.
struct source_note {
  std::string id;
  std::string kind = "note";
  std::string chord_symbol;
  std::string lyric;
  std::int64_t start_tick = 0;
  std::int64_t duration_ticks = 4096;
  std::optional<std::int64_t> display_ticks;
  // Position of the note's measure in the staff's measures array; it indexes source_score::measures
  // only when every element of that array is an object, so check it against measures.size().
  std::size_t measure_index = 0;
  std::vector<source_pitch> pitches;
  bool tie_to_next = false;
  bool tie_from_previous = false;
  std::string tuplet_id;

  bool operator==(const source_note&) const = default;
};

// One tuplet of a first voice: note_count notes in the time of space_count written ones.
struct source_tuplet {
  std::string id;
  std::int64_t note_count = 0;
  std::int64_t space_count = 0;
  // Same meaning and caveat as source_note::measure_index.
  std::size_t measure_index = 0;

  bool operator==(const source_tuplet&) const = default;
};

// The staff to arrange: its measures, the notes of every measure's first voice in reading order,
// and the tuplets of those voices.
struct source_score {
  std::vector<source_measure> measures;
  std::vector<source_note> notes;
  std::vector<source_tuplet> tuplets;

  bool operator==(const source_score&) const = default;
};

// Style families; the enumerator names are the texts the engine prints for them.
enum class comping_style_family : int {
  swing = 0,
  ballad = 1,
  bossa = 2,
  samba = 3,
  latin = 4,
  even8ths = 5,
  rock = 6,
  funk = 7,
  blues = 8,
  waltz = 9,
};

// What the document's style label asks for: a family, a quick or slow feel and a tempo in beats
// per minute.
struct arrangement_style_profile {
  comping_style_family family = comping_style_family::swing;
  bool fast = false;
  bool slow = false;
  int tempo = 124;

  bool operator==(const arrangement_style_profile&) const = default;
};

// Tick arithmetic. Sums and differences stay at the largest or smallest tick instead of
// overflowing, so absurd durations in a document never overflow; every real score is far below.

// tick + ticks, held within the 64-bit range.
constexpr std::int64_t add_ticks(std::int64_t tick, std::int64_t ticks) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(tick, ticks, &sum)) return sum;
  return ticks > 0 ? std::numeric_limits<std::int64_t>::max()
                   : std::numeric_limits<std::int64_t>::min();
}

// tick - ticks, held within the 64-bit range; subtract_ticks(end, start) is a span's length.
constexpr std::int64_t subtract_ticks(std::int64_t tick, std::int64_t ticks) {
  std::int64_t difference = 0;
  if (!__builtin_sub_overflow(tick, ticks, &difference)) return difference;
  return ticks < 0 ? std::numeric_limits<std::int64_t>::max()
                   : std::numeric_limits<std::int64_t>::min();
}

// Scores and pitches worked out in 64 bits.

// The value held within the range of int, for a score or a pitch computed in 64 bits.
constexpr int clamp_to_int(std::int64_t value) {
  constexpr std::int64_t lowest = std::numeric_limits<int>::min();
  constexpr std::int64_t highest = std::numeric_limits<int>::max();
  return static_cast<int>(value < lowest ? lowest : value > highest ? highest : value);
}

// Notes and measures.

// The tick the note ends at: start plus duration, held within the 64-bit range.
constexpr std::int64_t note_end(const source_note& note) {
  return add_ticks(note.start_tick, note.duration_ticks);
}

// The tick the measure ends at: start plus capacity, held within the 64-bit range.
constexpr std::int64_t measure_end(const source_measure& measure) {
  return add_ticks(measure.start_tick, measure.capacity_ticks);
}

// True when the note is a melody attack: of kind "note" with at least one pitch.
inline bool is_melody_attack(const source_note& note) {
  return note.kind == "note" && !note.pitches.empty();
}

// Pitch arithmetic.

// Pitch class 0..11 of any integer (MIDI number or interval), C = 0.
int normalize_pc(int value);

// MIDI number of a written pitch; unknown letters count as "c", unknown accidentals as natural.
int pitch_midi(const source_pitch& pitch);

// Open-string MIDI note of strings 1 to 6 in standard tuning; nothing for any other number.
std::optional<int> open_midi_for_string(int string_number);

// Reading the document.

// The pitch a JSON pitch object describes, with defaults for missing members; nothing for a
// value that is not an object.
std::optional<source_pitch> parse_pitch(const boost::json::value& value);

// The pitches of a note object's "pitches" array, skipping elements that are not objects.
std::vector<source_pitch> parse_note_pitches(const boost::json::object& note);

// The staff to arrange: the first object staff that is neither arranged nor a guitar staff,
// else the first object staff; null when the document holds no staves array with an object. The
// pointer points into the document.
const boost::json::object* source_staff(const boost::json::value& document);
const boost::json::object* source_staff(const boost::json::value&& document) = delete;

// The source score of a staff object; empty when the staff has no measures array. Never fails.
source_score extract_source_score(const boost::json::object& staff);

// Style.

// The names of the style families in enumerator order: the texts the engine prints for them.
constexpr std::array<std::string_view, 10> style_family_names() {
  return {"swing",    "ballad", "bossa", "samba", "latin",
          "even8ths", "rock",   "funk",  "blues", "waltz"};
}

// The document's metadata style, or "Med. Swing" when it is missing, empty or not a string.
std::string arrangement_style_label(const boost::json::value& document);

// The style profile a label asks for, found by case-insensitive keywords.
arrangement_style_profile arrangement_style_profile_for(std::string label);

// Text helpers.

// The text with ASCII capitals A to Z lowered; every other byte unchanged.
std::string lowercase(std::string text);

// True when text begins with prefix (always for an empty prefix).
bool starts_with_text(const std::string& text, std::string_view prefix);

// True when needle occurs in text, case-sensitively (always for an empty needle).
bool contains_text(const std::string& text, std::string_view needle);

}  // namespace orvanta::arrangement_detail
