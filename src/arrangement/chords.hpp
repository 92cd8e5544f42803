// Chord symbols and chord formulas. A chord symbol such as "Bb7", "F#m7b5/E" or "C(maj7)" names a
// root pitch class (0..11, C = 0), an optional slash bass and a suffix; the suffix decides the
// chord's quality, whose formula lists its degrees by name ("1", "b3", "#11", ...).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

enum class chord_family : std::int32_t {
  major = 0,
  minor = 1,
  dominant = 2,
  diminished = 3,
  half_diminished = 4,
  augmented = 5,
  suspended = 6,
};

// One chord quality: its degrees, the degrees that identify it and those a voicing may leave out.
struct chord_formula {
  std::string quality;
  std::vector<std::string> degrees;
  std::vector<std::string> required_degrees;
  std::vector<std::string> optional_degrees;
  chord_family family = chord_family::major;
  bool jazz_quality = false;

  bool operator==(const chord_formula&) const = default;
};

// A chord symbol as read: the text as it arrived, the root, the slash bass and the formula.
struct parsed_chord {
  std::string symbol;
  int root_pc = 0;
  std::optional<int> bass_pc;
  chord_formula formula;

  bool operator==(const parsed_chord&) const = default;
};

// Chord symbols

// The chord of a chord-symbol text; nothing when the text holds no root note name.
std::optional<parsed_chord> parse_chord_symbol(const std::string& text);

// Pitch class of the note name (letter and at most one accidental) at `pos` after blanks; moves
// `pos` past what it read (past the blanks even when no note follows); nothing without a letter.
std::optional<int> parse_note_name(const std::string& text, std::size_t& pos);

// Pitch class of a note letter and an accidental ("#" up, "b" down, anything else natural);
// nothing when the letter is empty or not a note letter.
std::optional<int> note_pc(const std::string& letter, const std::string& accidental);

// The suffix without blanks, "(", ")" and ",".
std::string compact_suffix(std::string suffix);

// Semitones above the root (0..11) of a degree name; nothing for a name that is not a degree.
std::optional<int> degree_interval(std::string_view degree);

// Chord formulas

// The formula of a chord-symbol suffix; a suffix that names no quality is "major".
chord_formula formula_for_suffix(std::string suffix);

// One formula record; its optional degrees are those of `optional` that `degrees` holds.
chord_formula formula(std::string quality, std::vector<std::string> degrees,
                      std::vector<std::string> required_degrees, std::vector<std::string> optional,
                      chord_family family, bool jazz_quality);

// The entries of `optional` that `degrees` holds, in the order of `optional`, once each, known
// degree names only.
std::vector<std::string> written_optional_degrees(const std::vector<std::string>& degrees,
                                                  const std::vector<std::string>& optional);

// Appends a degree name unless it is empty, not a degree, or already in the list.
void append_unique_degree(std::vector<std::string>& degrees, std::string_view degree);

}  // namespace orvanta::arrangement_detail
