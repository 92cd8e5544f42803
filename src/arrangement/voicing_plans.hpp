// Voicing templates of a chord: which degrees to play from the lowest voice up (degree plans, each
// with a penalty), on which strings (string sets, highest string number first), the stock guitar
// shapes that fix both, and the exact grips of electric melody mode. The i-th degree of a template
// is played on its i-th string; lower penalties and scores are preferred.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvanta::arrangement_detail {

// Two to four distinct degree names, the lowest voice first, with the plan's cost.
struct jazz_degree_plan {
  std::vector<std::string> degrees;
  int penalty = 0;

  bool operator==(const jazz_degree_plan&) const = default;
};

// String numbers for the voices of a plan, the lowest voice (highest string number) first.
struct jazz_string_set {
  std::vector<int> strings;
  int penalty = 0;

  bool operator==(const jazz_string_set&) const = default;
};

// A common chord shape: three or four degrees (a name may occur twice) on as many strings, the
// lowest voice first, with a base score added to every grip made from it.
struct stock_guitar_shape {
  std::vector<std::string> degrees;
  std::vector<int> strings;
  int score = 0;

  bool operator==(const stock_guitar_shape&) const = default;
};

// Degree choice

// True when the name is a degree and stands in the formula's degrees, required or optional degrees.
bool degree_is_available(const parsed_chord& chord, std::string_view degree);

// The first of the names that is available in the chord; nothing when none is.
std::optional<std::string> first_available_degree(const parsed_chord& chord,
                                                  const std::vector<std::string_view>& degrees);

// The chord's third: 4, 2, sus4, sus2, 3 or b3 for suspended chords, else b3, 3, 4 or 2.
std::optional<std::string> preferred_third_degree(const parsed_chord& chord);

// The chord's fifth: the first available of b5, #5, 5 and #11.
std::optional<std::string> preferred_fifth_degree(const parsed_chord& chord);

// The chord's seventh: the first available of 7, b7, bb7 and 6.
std::optional<std::string> preferred_seventh_degree(const parsed_chord& chord);

// The available colour degrees in order of preference: 9 b9 #9 11 #11 13 b13 6 #5 b5 bb7.
std::vector<std::string> preferred_color_degrees(const parsed_chord& chord);

// The required colour degrees in order of preference, then those the preference order misses.
std::vector<std::string> preferred_required_color_degrees(const parsed_chord& chord);

// Degree plans

// Adds a plan of the degrees (repeats and unknown names dropped) when two to four remain; a plan
// with the same degrees only keeps the lower penalty.
void add_jazz_degree_plan(std::vector<jazz_degree_plan>& plans, std::vector<std::string> degrees,
                          int penalty);

// `add_jazz_degree_plan` when every degree is available in the chord; otherwise nothing.
void add_available_jazz_degree_plan(const parsed_chord& chord, std::vector<jazz_degree_plan>& plans,
                                    std::vector<std::string> degrees, int penalty);

// Adds the drop-2 and drop-3 voicings of the four inversions of a close four-degree voicing.
void add_drop_voicing_plans(const parsed_chord& chord, std::vector<jazz_degree_plan>& plans,
                            std::vector<std::string> degrees, int penalty);

// Adds the drop voicings of root, third, fifth and seventh when the chord has all four.
void add_electric_full_melody_chord_plans(const parsed_chord& chord,
                                          std::vector<jazz_degree_plan>& plans);

// Orders plans by ascending penalty, fewer degrees first on equal penalty.
void sort_jazz_degree_plans(std::vector<jazz_degree_plan>& plans);

// The chord's jazz degree plans, sorted.
std::vector<jazz_degree_plan> standard_jazz_degree_plans(const parsed_chord& chord);

// The string sets for plans of `count` degrees (any count but 3 and 4 gets the two-string sets).
std::vector<jazz_string_set> standard_jazz_string_sets(std::size_t count);

// Stock shapes

// The chord's stock guitar shapes: root-position seventh chords on strings 5 and 6 and on the top
// four strings, the minor triad shapes and the triad with doubled root.
std::vector<stock_guitar_shape> stock_guitar_shapes(const parsed_chord& chord);

// Adds the shape when it has three or four available degrees on as many strings; an equal shape
// only keeps the lower score.
void add_stock_guitar_shape(const parsed_chord& chord, std::vector<stock_guitar_shape>& shapes,
                            std::vector<std::string> degrees, std::vector<int> strings, int score);

// Exact grips

// Pitch of a string (1 to 6) at a fret (0 to 20); nothing outside those ranges.
std::optional<int> midi_for_string_fret(int string_number, int fret);

// The positions of (string, fret) pairs by ascending pitch; nothing when any pair is off the board.
std::optional<std::vector<tab_position>> exact_grip_positions(
    const std::vector<std::pair<int, int>>& pairs);

// True when every position sounds some degree of the chord's formula (true for no positions).
bool positions_only_use_formula_degrees(const parsed_chord& chord,
                                        const std::vector<tab_position>& positions);

// True for a "dominant7_b9" grip sounding 3, b7 and 5, which may leave its b9 out.
bool can_omit_color_for_electric_melody_shell(const parsed_chord& chord,
                                              const std::vector<tab_position>& positions);

// Adds the fingered variants of a fixed melody grip that fits the chord, scored with the bonus.
void add_electric_melody_exact_grip_candidate(std::vector<grip_candidate>& candidates,
                                              const parsed_chord& chord,
                                              const std::vector<std::pair<int, int>>& pairs,
                                              int bonus);

// The chord's fixed electric melody grips, sorted by score.
std::vector<grip_candidate> electric_melody_exact_grip_candidates(const parsed_chord& chord);

}  // namespace orvanta::arrangement_detail
