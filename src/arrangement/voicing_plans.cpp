#include "arrangement/voicing_plans.hpp"

#include "arrangement/source.hpp"

#include <algorithm>
#include <array>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::array<std::string_view, 11> priorities{"9",   "b9", "#9", "11", "#11", "13",
                                                      "b13", "6",  "#5", "b5", "bb7"};

// The degrees a template names by role: R root, T third, F fifth, S seventh, and c and d the first
// and second preferred required colours.
struct chord_roles {
  std::optional<std::string> third;
  std::optional<std::string> fifth;
  std::optional<std::string> seventh;
  std::vector<std::string> colors;

  std::optional<std::string> role(char name) const {
    switch (name) {
      case 'R': return std::string{"1"};
      case 'T': return third;
      case 'F': return fifth;
      case 'S': return seventh;
      case 'c': return colors.empty() ? std::nullopt : std::optional{colors[0]};
      case 'd': return colors.size() < 2 ? std::nullopt : std::optional{colors[1]};
      default: return std::nullopt;
    }
  }

  // The degrees of the roles, in order; nothing when a role is missing.
  std::optional<std::vector<std::string>> degrees(std::string_view roles) const {
    std::vector<std::string> named;
    for (const char name : roles) {
      auto degree = role(name);
      if (!degree) return std::nullopt;
      named.push_back(std::move(*degree));
    }
    return named;
  }
};

chord_roles roles_of(const parsed_chord& chord, std::vector<std::string> colors) {
  return {preferred_third_degree(chord), preferred_fifth_degree(chord),
          preferred_seventh_degree(chord), std::move(colors)};
}

enum class plan_condition {
  third_and_seventh,
  two_colors,
  first_color,
  first_color_not_fifth,
  no_color,
  no_color_with_fifth,
  color_without_seventh,
  triad,
};

struct plan_row {
  plan_condition condition = plan_condition::third_and_seventh;
  std::string_view roles;
  int penalty = 0;
  bool drop_voicings = false;
};

constexpr std::array<plan_row, 24> plan_table{{
    {plan_condition::third_and_seventh, "ST", 126},
    {plan_condition::third_and_seventh, "TS", 144},
    {plan_condition::two_colors, "TScd", 0},
    {plan_condition::two_colors, "STcd", 18},
    {plan_condition::first_color, "RSTc", 4},
    {plan_condition::first_color, "RTSc", 24},
    {plan_condition::first_color, "RcST", 44},
    {plan_condition::first_color, "TSc", 84},
    {plan_condition::first_color, "STc", 104},
    {plan_condition::first_color, "RTcS", 62, true},
    {plan_condition::first_color_not_fifth, "TSFc", 132},
    {plan_condition::no_color, "RST", 0},
    {plan_condition::no_color, "STR", 16},
    {plan_condition::no_color, "RTS", 28},
    {plan_condition::no_color, "TSR", 54},
    {plan_condition::no_color_with_fifth, "STF", 42},
    {plan_condition::no_color_with_fifth, "TSF", 74},
    {plan_condition::no_color_with_fifth, "RTFS", 260, true},
    {plan_condition::color_without_seventh, "RTc", 0},
    {plan_condition::color_without_seventh, "RFTc", 72},
    {plan_condition::color_without_seventh, "RTFc", 92},
    {plan_condition::triad, "RFT", 80},
    {plan_condition::triad, "RTF", 96},
    {plan_condition::triad, "TFR", 112},
}};

bool plan_condition_holds(plan_condition condition, const chord_roles& roles) {
  const bool third = roles.third.has_value();
  const bool fifth = roles.fifth.has_value();
  const bool seventh = roles.seventh.has_value();
  const bool color = !roles.colors.empty();
  switch (condition) {
    case plan_condition::third_and_seventh: return third && seventh;
    case plan_condition::two_colors: return third && seventh && roles.colors.size() >= 2;
    case plan_condition::first_color: return third && seventh && color;
    case plan_condition::first_color_not_fifth:
      return third && seventh && color && fifth && roles.colors[0] != *roles.fifth;
    case plan_condition::no_color: return third && seventh && !color;
    case plan_condition::no_color_with_fifth: return third && seventh && fifth && !color;
    case plan_condition::color_without_seventh: return third && fifth && color && !seventh;
    case plan_condition::triad: return third && fifth && (seventh || !color);
  }
  return false;
}

struct string_set_row {
  std::size_t count = 0;
  std::array<int, 4> strings{};
  int penalty = 0;
};

constexpr std::array<string_set_row, 14> string_set_table{{
    {4, {5, 4, 3, 2}, 0},
    {4, {6, 4, 3, 2}, 18},
    {4, {4, 3, 2, 1}, 34},
    {4, {5, 3, 2, 1}, 62},
    {3, {6, 4, 3}, 0},
    {3, {5, 4, 3}, 6},
    {3, {5, 3, 2}, 18},
    {3, {4, 3, 2}, 36},
    {3, {4, 2, 1}, 72},
    {3, {3, 2, 1}, 92},
    {2, {6, 4}, 8},
    {2, {5, 3}, 14},
    {2, {4, 3}, 36},
    {2, {3, 2}, 56},
}};

enum class shape_condition { seventh_chord_without_color, minor_triad, triad_without_color };

// Scores of a shape for "dominant7", "minor7", "major7" and any other quality.
struct shape_row {
  shape_condition condition = shape_condition::seventh_chord_without_color;
  std::string_view roles;
  std::array<int, 4> strings{};
  std::array<int, 4> scores{};
};

constexpr std::array<shape_row, 6> shape_table{{
    {shape_condition::seventh_chord_without_color,
     "RFST",
     {5, 4, 3, 2},
     {-6200, -1900, -2700, -1900}},
    {shape_condition::seventh_chord_without_color,
     "RSTF",
     {6, 4, 3, 2},
     {-3200, -6200, -900, -900}},
    {shape_condition::seventh_chord_without_color, "RTFS", {4, 3, 2, 1}, {-940, -940, -1250, -940}},
    {shape_condition::minor_triad, "RFRT", {4, 3, 2, 1}, {-16000, -16000, -16000, -16000}},
    {shape_condition::minor_triad, "TFR", {4, 3, 2}, {-820, -820, -820, -820}},
    {shape_condition::triad_without_color, "RTFR", {5, 4, 3, 2}, {-5200, -5200, -5200, -5200}},
}};

bool shape_condition_holds(shape_condition condition, const parsed_chord& chord,
                           const chord_roles& roles) {
  const bool triad = roles.third && roles.fifth;
  switch (condition) {
    case shape_condition::seventh_chord_without_color:
      return roles.colors.empty() && triad && roles.seventh;
    case shape_condition::minor_triad: return chord.formula.quality == "minor" && triad;
    case shape_condition::triad_without_color:
      return roles.colors.empty() && triad && !roles.seventh;
  }
  return false;
}

int shape_score(const shape_row& row, const parsed_chord& chord) {
  const auto& quality = chord.formula.quality;
  if (quality == "dominant7") return row.scores[0];
  if (quality == "minor7") return row.scores[1];
  if (quality == "major7") return row.scores[2];
  return row.scores[3];
}

struct exact_grip_row {
  std::string_view quality;
  std::array<std::pair<int, int>, 4> pairs{};
  int bonus = 0;
};

constexpr std::array<exact_grip_row, 2> exact_grip_table{{
    {"dominant7_b9", {{{4, 2}, {3, 0}, {2, 2}, {1, 0}}}, -15000},
    {"minor7", {{{4, 0}, {3, 5}, {2, 6}, {1, 5}}}, -11000},
}};

constexpr std::string_view exact_grip_label = "electric-melody-exact-grip";

bool all_available(const parsed_chord& chord, const std::vector<std::string>& degrees) {
  return std::all_of(degrees.begin(), degrees.end(),
                     [&](const std::string& degree) { return degree_is_available(chord, degree); });
}

bool list_holds(const std::vector<std::string>& list, std::string_view degree) {
  return std::find(list.begin(), list.end(), degree) != list.end();
}

}  // namespace

// Degree choice

bool degree_is_available(const parsed_chord& chord, std::string_view degree) {
  if (!degree_interval(degree)) return false;
  const auto& formula = chord.formula;
  return list_holds(formula.degrees, degree) || list_holds(formula.required_degrees, degree) ||
         list_holds(formula.optional_degrees, degree);
}

std::optional<std::string> first_available_degree(const parsed_chord& chord,
                                                  const std::vector<std::string_view>& degrees) {
  for (const auto degree : degrees) {
    if (degree_is_available(chord, degree)) return std::string{degree};
  }
  return std::nullopt;
}

std::optional<std::string> preferred_third_degree(const parsed_chord& chord) {
  static const std::vector<std::string_view> suspended{"4", "2", "sus4", "sus2", "3", "b3"};
  static const std::vector<std::string_view> other{"b3", "3", "4", "2"};
  return first_available_degree(
      chord, chord.formula.family == chord_family::suspended ? suspended : other);
}

std::optional<std::string> preferred_fifth_degree(const parsed_chord& chord) {
  static const std::vector<std::string_view> fifths{"b5", "#5", "5", "#11"};
  return first_available_degree(chord, fifths);
}

std::optional<std::string> preferred_seventh_degree(const parsed_chord& chord) {
  static const std::vector<std::string_view> sevenths{"7", "b7", "bb7", "6"};
  return first_available_degree(chord, sevenths);
}

std::vector<std::string> preferred_color_degrees(const parsed_chord& chord) {
  std::vector<std::string> colors;
  for (const auto degree : priorities) {
    if (degree_is_available(chord, degree)) colors.emplace_back(degree);
  }
  return colors;
}

std::vector<std::string> preferred_required_color_degrees(const parsed_chord& chord) {
  const auto required = required_color_degrees(chord);
  std::vector<std::string> colors;
  for (const auto& degree : preferred_color_degrees(chord)) {
    if (list_holds(required, degree)) append_unique_degree(colors, degree);
  }
  for (const auto& degree : required) append_unique_degree(colors, degree);
  return colors;
}

// Degree plans

void add_jazz_degree_plan(std::vector<jazz_degree_plan>& plans, std::vector<std::string> degrees,
                          int penalty) {
  if (degrees.empty()) return;
  std::vector<std::string> unique;
  for (const auto& degree : degrees) append_unique_degree(unique, degree);
  if (unique.size() < 2 || unique.size() > 4) return;
  const auto equal = std::find_if(plans.begin(), plans.end(), [&](const jazz_degree_plan& plan) {
    return plan.degrees == unique;
  });
  if (equal != plans.end()) {
    equal->penalty = std::min(equal->penalty, penalty);
  } else {
    plans.push_back({std::move(unique), penalty});
  }
}

void add_available_jazz_degree_plan(const parsed_chord& chord, std::vector<jazz_degree_plan>& plans,
                                    std::vector<std::string> degrees, int penalty) {
  if (all_available(chord, degrees)) add_jazz_degree_plan(plans, std::move(degrees), penalty);
}

void add_drop_voicing_plans(const parsed_chord& chord, std::vector<jazz_degree_plan>& plans,
                            std::vector<std::string> degrees, int penalty) {
  if (degrees.size() != 4 || !all_available(chord, degrees)) return;
  for (std::size_t inversion = 0; inversion < 4; ++inversion) {
    const auto voice = [&](std::size_t index) { return degrees[(inversion + index) % 4]; };
    const int step = 8 * static_cast<int>(inversion);
    add_available_jazz_degree_plan(chord, plans, {voice(2), voice(0), voice(1), voice(3)},
                                   penalty + step);
    add_available_jazz_degree_plan(chord, plans, {voice(1), voice(0), voice(2), voice(3)},
                                   penalty + 36 + step);
  }
}

void add_electric_full_melody_chord_plans(const parsed_chord& chord,
                                          std::vector<jazz_degree_plan>& plans) {
  const auto roles = roles_of(chord, {});
  if (auto degrees = roles.degrees("RTFS")) {
    add_drop_voicing_plans(chord, plans, std::move(*degrees), 148);
  }
}

void sort_jazz_degree_plans(std::vector<jazz_degree_plan>& plans) {
  sort_by_ascending_key(plans, [](const jazz_degree_plan& plan) {
    return std::pair{plan.penalty, plan.degrees.size()};
  });
}

std::vector<jazz_degree_plan> standard_jazz_degree_plans(const parsed_chord& chord) {
  const auto roles = roles_of(chord, preferred_required_color_degrees(chord));
  std::vector<jazz_degree_plan> plans;
  for (const auto& row : plan_table) {
    if (!plan_condition_holds(row.condition, roles)) continue;
    auto degrees = roles.degrees(row.roles);
    if (!degrees) continue;
    if (row.drop_voicings) {
      add_drop_voicing_plans(chord, plans, std::move(*degrees), row.penalty);
    } else {
      add_available_jazz_degree_plan(chord, plans, std::move(*degrees), row.penalty);
    }
  }
  const auto& formula_degrees = chord.formula.degrees;
  const auto end = formula_degrees.begin() + std::min<std::ptrdiff_t>(4, formula_degrees.size());
  add_available_jazz_degree_plan(chord, plans, {formula_degrees.begin(), end}, 160);
  sort_jazz_degree_plans(plans);
  return plans;
}

std::vector<jazz_string_set> standard_jazz_string_sets(std::size_t count) {
  const std::size_t size = count == 3 || count == 4 ? count : 2;
  std::vector<jazz_string_set> sets;
  for (const auto& row : string_set_table) {
    if (row.count != size) continue;
    sets.push_back({{row.strings.begin(), row.strings.begin() + size}, row.penalty});
  }
  return sets;
}

// Stock shapes

std::vector<stock_guitar_shape> stock_guitar_shapes(const parsed_chord& chord) {
  const auto roles = roles_of(chord, required_color_degrees(chord));
  std::vector<stock_guitar_shape> shapes;
  for (const auto& row : shape_table) {
    if (!shape_condition_holds(row.condition, chord, roles)) continue;
    auto degrees = roles.degrees(row.roles);
    if (!degrees) continue;
    add_stock_guitar_shape(chord, shapes, std::move(*degrees),
                           {row.strings.begin(), row.strings.begin() + row.roles.size()},
                           shape_score(row, chord));
  }
  return shapes;
}

void add_stock_guitar_shape(const parsed_chord& chord, std::vector<stock_guitar_shape>& shapes,
                            std::vector<std::string> degrees, std::vector<int> strings, int score) {
  if (strings.size() != degrees.size() || degrees.size() < 3 || degrees.size() > 4) return;
  if (!all_available(chord, degrees)) return;
  const auto equal =
      std::find_if(shapes.begin(), shapes.end(), [&](const stock_guitar_shape& shape) {
        return shape.degrees == degrees && shape.strings == strings;
      });
  if (equal != shapes.end()) {
    equal->score = std::min(equal->score, score);
  } else {
    shapes.push_back({std::move(degrees), std::move(strings), score});
  }
}

// Exact grips

std::optional<int> midi_for_string_fret(int string_number, int fret) {
  const auto open_midi = open_midi_for_string(string_number);
  if (!open_midi || fret < 0 || fret > 20) return std::nullopt;
  return *open_midi + fret;
}

std::optional<std::vector<tab_position>> exact_grip_positions(
    const std::vector<std::pair<int, int>>& pairs) {
  std::vector<tab_position> positions;
  for (const auto& [string_number, fret] : pairs) {
    const auto midi = midi_for_string_fret(string_number, fret);
    if (!midi) return std::nullopt;
    positions.push_back({string_number, fret, *midi, std::nullopt});
  }
  sort_positions_by_pitch(positions);
  return positions;
}

bool positions_only_use_formula_degrees(const parsed_chord& chord,
                                        const std::vector<tab_position>& positions) {
  return std::all_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    return position_matches_any_degree(chord, position, chord.formula.degrees);
  });
}

bool can_omit_color_for_electric_melody_shell(const parsed_chord& chord,
                                              const std::vector<tab_position>& positions) {
  return chord.formula.quality == "dominant7_b9" &&
         all_degrees_present(chord, positions, {"3", "b7", "5"});
}

void add_electric_melody_exact_grip_candidate(std::vector<grip_candidate>& candidates,
                                              const parsed_chord& chord,
                                              const std::vector<std::pair<int, int>>& pairs,
                                              int bonus) {
  const auto grip = exact_grip_positions(pairs);
  if (!grip || !positions_use_upper_melody_strings(*grip)) return;
  if (!positions_have_string_order(*grip) || !positions_playable(*grip)) return;
  if (!chord_positions_have_compact_jazz_shape(*grip)) return;
  if (!melody_chord_positions_allowed(*grip, true)) return;
  if (!positions_only_use_formula_degrees(chord, *grip)) return;
  if (missing_guide_tone_count(chord, *grip) != 0) return;
  if (missing_required_color_count(chord, *grip) != 0 &&
      !can_omit_color_for_electric_melody_shell(chord, *grip)) {
    return;
  }
  const int grip_score = chord_candidate_score(chord, *grip, false, true);
  for (auto& variant : stock_fingering_candidates(*grip)) {
    add_unique_candidate(candidates, {std::move(variant.positions), std::string{exact_grip_label},
                                      bonus + grip_score + variant.cost, -1, false, false});
  }
}

std::vector<grip_candidate> electric_melody_exact_grip_candidates(const parsed_chord& chord) {
  std::vector<grip_candidate> candidates;
  for (const auto& row : exact_grip_table) {
    if (chord.formula.quality != row.quality) continue;
    add_electric_melody_exact_grip_candidate(candidates, chord,
                                             {row.pairs.begin(), row.pairs.end()}, row.bonus);
  }
  sort_candidates_by_score(candidates);
  return candidates;
}

}  // namespace orvanta::arrangement_detail
