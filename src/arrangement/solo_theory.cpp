#include "arrangement/solo_theory.hpp"

#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"
#include "arrangement/voicing_plans.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

namespace orvanta::arrangement_detail {
namespace {

enum class chord_scale {
  none,
  ionian,
  lydian,
  dorian,
  aeolian,
  phrygian_dominant,
  altered,
  mixolydian,
  diminished,
  locrian,
  lydian_augmented,
  suspended,
};

struct chord_scale_row {
  chord_scale scale = chord_scale::none;
  std::array<std::string_view, 8> degrees{};
};

// Empty names stand for no degree and add nothing.
constexpr std::array<chord_scale_row, 12> chord_scale_table{{
    {chord_scale::none, {}},
    {chord_scale::ionian, {"1", "2", "3", "4", "5", "6", "7"}},
    {chord_scale::lydian, {"1", "2", "3", "#4", "5", "6", "7"}},
    {chord_scale::dorian, {"1", "2", "b3", "4", "5", "6", "b7"}},
    {chord_scale::aeolian, {"1", "2", "b3", "4", "5", "b6", "b7"}},
    {chord_scale::phrygian_dominant, {"1", "b2", "3", "4", "5", "b6", "b7"}},
    {chord_scale::altered, {"1", "b2", "#2", "3", "#4", "#5", "b7"}},
    {chord_scale::mixolydian, {"1", "2", "3", "4", "5", "6", "b7"}},
    {chord_scale::diminished, {"1", "2", "b3", "4", "b5", "b6", "bb7", "7"}},
    {chord_scale::locrian, {"1", "b2", "b3", "4", "b5", "b6", "b7"}},
    {chord_scale::lydian_augmented, {"1", "2", "3", "#4", "#5", "6", "7"}},
    {chord_scale::suspended, {"1", "2", "4", "5", "6", "b7"}},
}};

const std::array<std::string_view, 8>& scale_degrees(chord_scale scale) {
  const auto row = std::find_if(chord_scale_table.begin(), chord_scale_table.end(),
                                [&](const chord_scale_row& entry) { return entry.scale == scale; });
  return row == chord_scale_table.end() ? chord_scale_table.front().degrees : row->degrees;
}

// Semitones from `lower` up to `upper` (0..11); both are reduced first, so no value overflows.
int pc_interval(int lower, int upper) {
  return normalize_pc(normalize_pc(upper) - normalize_pc(lower));
}

bool chord_has_required_color(const parsed_chord& chord,
                              std::initializer_list<std::string_view> names) {
  const auto colors = required_color_degrees(chord);
  return std::any_of(colors.begin(), colors.end(), [&](const std::string& color) {
    return std::find(names.begin(), names.end(), color) != names.end();
  });
}

template <typename names_type>
void append_degree_pcs(std::vector<int>& pcs, const parsed_chord& chord, const names_type& names) {
  for (const auto& name : names) append_degree_pc(pcs, chord, name);
}

void append_available_degree_pc(std::vector<int>& pcs, const parsed_chord& chord,
                                std::string_view degree) {
  if (degree_is_available(chord, degree)) append_degree_pc(pcs, chord, degree);
}

void append_optional_degree_pc(std::vector<int>& pcs, const parsed_chord& chord,
                               const std::optional<std::string>& degree) {
  if (degree) append_degree_pc(pcs, chord, *degree);
}

// How the chord sits in its key and towards the next chord: the three tests that pick its scale
// and its colours.
struct chord_reading {
  int root_above_key = 0;
  bool lydian = false;
  bool resolves_to_minor = false;
  bool altered = false;
};

chord_reading read_chord(const parsed_chord& chord, const parsed_chord* next_chord, int key_pc) {
  chord_reading reading;
  reading.root_above_key = pc_interval(key_pc, chord.root_pc);
  reading.lydian = reading.root_above_key == 5 || reading.root_above_key == 8 ||
                   degree_is_available(chord, "#11");
  const bool minor_a_fourth_up = next_chord != nullptr &&
                                 next_chord->formula.family == chord_family::minor &&
                                 pc_interval(chord.root_pc, next_chord->root_pc) == 5;
  reading.resolves_to_minor = minor_a_fourth_up || chord_has_required_color(chord, {"b9", "b13"});
  reading.altered =
      !reading.resolves_to_minor && chord_has_required_color(chord, {"#9", "#11", "b5", "#5"});
  return reading;
}

chord_scale scale_for(const parsed_chord& chord, const chord_reading& reading) {
  switch (chord.formula.family) {
    case chord_family::major: return reading.lydian ? chord_scale::lydian : chord_scale::ionian;
    case chord_family::minor:
      return reading.root_above_key == 9 ? chord_scale::aeolian : chord_scale::dorian;
    case chord_family::dominant:
      if (reading.resolves_to_minor) return chord_scale::phrygian_dominant;
      return reading.altered ? chord_scale::altered : chord_scale::mixolydian;
    case chord_family::diminished: return chord_scale::diminished;
    case chord_family::half_diminished: return chord_scale::locrian;
    case chord_family::augmented: return chord_scale::lydian_augmented;
    case chord_family::suspended: return chord_scale::suspended;
  }
  return chord_scale::none;
}

// The colours are added whether the chord names them or not, unless marked as needing it to.
std::vector<int> color_tones_for(const parsed_chord& chord, const chord_reading& reading) {
  std::vector<int> colors;
  switch (chord.formula.family) {
    case chord_family::major:
      if (reading.lydian) append_degree_pc(colors, chord, "#11");
      append_available_degree_pc(colors, chord, "13");
      append_available_degree_pc(colors, chord, "9");
      break;
    case chord_family::minor:
      if (reading.root_above_key != 9) append_degree_pc(colors, chord, "6");
      append_available_degree_pc(colors, chord, "9");
      break;
    case chord_family::dominant:
      if (reading.resolves_to_minor) {
        append_degree_pc(colors, chord, "b9");
        append_degree_pc(colors, chord, "b13");
      } else {
        append_available_degree_pc(colors, chord, "13");
        append_available_degree_pc(colors, chord, "9");
      }
      append_degree_pcs(colors, chord, preferred_required_color_degrees(chord));
      break;
    case chord_family::diminished: append_degree_pc(colors, chord, "bb7"); break;
    case chord_family::half_diminished: append_degree_pc(colors, chord, "b5"); break;
    case chord_family::augmented: append_degree_pc(colors, chord, "#5"); break;
    case chord_family::suspended: append_degree_pc(colors, chord, "9"); break;
  }
  return colors;
}

// Third and seventh, the given colours, root and fifth, then the formula's own degrees.
std::vector<int> chord_tones_around(const parsed_chord& chord, const std::vector<int>& color_pcs) {
  std::vector<int> tones;
  append_optional_degree_pc(tones, chord, preferred_third_degree(chord));
  append_optional_degree_pc(tones, chord, preferred_seventh_degree(chord));
  for (const int pc : color_pcs) append_unique_pc(tones, pc);
  append_degree_pc(tones, chord, "1");
  append_optional_degree_pc(tones, chord, preferred_fifth_degree(chord));
  append_degree_pcs(tones, chord, chord.formula.required_degrees);
  append_degree_pcs(tones, chord, chord.formula.degrees);
  return tones;
}

}  // namespace

// Harmonic context

solo_harmonic_context solo_harmonic_context_for(const parsed_chord& chord,
                                                const parsed_chord* next_chord, int key_pc) {
  const auto reading = read_chord(chord, next_chord, key_pc);
  solo_harmonic_context context;
  append_degree_pcs(context.scale_tones, chord, scale_degrees(scale_for(chord, reading)));
  append_degree_pcs(context.scale_tones, chord, chord.formula.degrees);
  context.color_tones = color_tones_for(chord, reading);
  context.chord_tones = chord_tones_around(chord, context.color_tones);
  return context;
}

std::vector<int> chord_target_pcs(const parsed_chord& chord) {
  std::vector<int> colors;
  append_degree_pcs(colors, chord, preferred_required_color_degrees(chord));
  return chord_tones_around(chord, colors);
}

// Pitch-class lists

std::vector<int> key_major_scale_pcs(int key_pc) {
  const int tonic = normalize_pc(key_pc);
  std::vector<int> scale;
  for (const int step : {0, 2, 4, 5, 7, 9, 11}) scale.push_back(normalize_pc(tonic + step));
  return scale;
}

void append_unique_pc(std::vector<int>& pcs, std::optional<int> value) {
  if (!value) return;
  const int pc = normalize_pc(*value);
  if (std::find(pcs.begin(), pcs.end(), pc) == pcs.end()) pcs.push_back(pc);
}

void append_degree_pc(std::vector<int>& pcs, const parsed_chord& chord, std::string_view degree) {
  append_unique_pc(pcs, degree_pc(chord, degree));
}

}  // namespace orvanta::arrangement_detail
