// Fuzz target "chord": any bytes as a chord-symbol text. Reading it must never fault, and what is
// read must stay in range: pitch classes 0..11, every degree of the formula a degree name with an
// interval and a pitch class over the root.
#include "arrangement/chords.hpp"

#include <string>
#include <vector>

#include "arrangement/voicing.hpp"
#include "fuzz_target.hpp"

namespace orvanta::fuzz {
namespace {

using namespace arrangement_detail;

// Note names are also read at the first positions of the text, as the parser reads a slash bass.
constexpr std::size_t note_name_starts = 64;

bool is_pitch_class(int value) { return value >= 0 && value < 12; }

void check_note_names(const std::string& text) {
  for (std::size_t start = 0; start < text.size() && start < note_name_starts; ++start) {
    std::size_t pos = start;
    const auto pitch_class = parse_note_name(text, pos);
    require(pos >= start && pos <= text.size(), "a note name read moved outside the text");
    if (pitch_class) require(is_pitch_class(*pitch_class), "a note name out of 0..11");
  }
}

void check_degrees(const parsed_chord& chord, const std::vector<std::string>& degrees) {
  for (const auto& degree : degrees) {
    const auto interval = degree_interval(degree);
    require(interval && is_pitch_class(*interval), "a formula degree without an interval");
    const auto pitch_class = degree_pc(chord, degree);
    require(pitch_class && is_pitch_class(*pitch_class), "a formula degree without a pitch class");
  }
}

void check_chord(const std::string& text, const parsed_chord& chord) {
  require(chord.symbol == text, "the chord does not keep its symbol text");
  require(is_pitch_class(chord.root_pc), "a root out of 0..11");
  if (chord.bass_pc) require(is_pitch_class(*chord.bass_pc), "a slash bass out of 0..11");
  require(!chord.formula.quality.empty(), "a formula without a quality");
  require(!chord.formula.degrees.empty(), "a formula without degrees");
  check_degrees(chord, chord.formula.degrees);
  check_degrees(chord, chord.formula.required_degrees);
  check_degrees(chord, chord.formula.optional_degrees);
}

}  // namespace

void fuzz_one_input(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  check_note_names(text);
  const auto suffix_formula = formula_for_suffix(text);
  require(!suffix_formula.degrees.empty(), "a suffix formula without degrees");
  if (const auto chord = parse_chord_symbol(text)) check_chord(text, *chord);
}

}  // namespace orvanta::fuzz
