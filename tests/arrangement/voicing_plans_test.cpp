#include "arrangement/voicing_plans.hpp"

#include "arrangement/chords.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <array>
#include <set>
#include <string>
#include <utility>

namespace {

using namespace orvanta::arrangement_detail;
using grip = std::vector<tab_position>;
using degree_names = std::vector<std::string>;
using plans = std::vector<jazz_degree_plan>;

using grip_fixtures::at;
using grip_fixtures::chord_of;
using grip_fixtures::quality_suffixes;
using grip_fixtures::root_names;

// Degree choice

TEST(voicing_plans_test, preferred_third_fifth_and_seventh) {
  struct row {
    const char* suffix;
    std::optional<std::string> third;
    std::optional<std::string> fifth;
    std::optional<std::string> seventh;
  };
  const row rows[] = {
      {"7sus4", "4", "5", "b7"},  {"sus2", "2", "5", std::nullopt}, {"m7", "b3", "5", "b7"},
      {"m7b5", "b3", "b5", "b7"}, {"7#5", "3", "#5", "b7"},         {"alt", "3", "b5", "b7"},
      {"6", "3", "5", "6"},       {"dim7", "b3", "b5", "bb7"},      {"m", "b3", "5", std::nullopt},
  };
  for (const auto& [suffix, third, fifth, seventh] : rows) {
    const auto chord = chord_of(0, suffix);
    SCOPED_TRACE(chord.formula.quality);
    EXPECT_EQ(preferred_third_degree(chord), third);
    EXPECT_EQ(preferred_fifth_degree(chord), fifth);
    EXPECT_EQ(preferred_seventh_degree(chord), seventh);
  }
}

TEST(voicing_plans_test, availability_and_colour_preferences) {
  const auto c7 = chord_of(0, "7");
  EXPECT_TRUE(degree_is_available(c7, "b7"));
  EXPECT_FALSE(degree_is_available(c7, "9"));
  EXPECT_FALSE(degree_is_available(c7, ""));
  auto odd = c7;
  odd.formula.optional_degrees.push_back("x");
  odd.formula.required_degrees.push_back("13");
  EXPECT_FALSE(degree_is_available(odd, "x"));
  EXPECT_TRUE(degree_is_available(odd, "13"));
  EXPECT_EQ(first_available_degree(c7, {"9", "x", "5", "1"}), "5");
  EXPECT_EQ(first_available_degree(c7, {"9", "x"}), std::nullopt);

  EXPECT_EQ(preferred_color_degrees(chord_of(0, "13")), (degree_names{"9", "13"}));
  EXPECT_EQ(preferred_required_color_degrees(chord_of(0, "alt")),
            (degree_names{"b9", "#9", "b13", "#5", "b5"}));
  EXPECT_EQ(preferred_required_color_degrees(chord_of(0, "dim7")), (degree_names{"b5", "bb7"}));
  EXPECT_EQ(preferred_required_color_degrees(chord_of(0, "13b9")), (degree_names{"b9", "13"}));
  EXPECT_EQ(preferred_required_color_degrees(chord_of(0, "maj7")), degree_names{});
}

// Degree plans

TEST(voicing_plans_test, standard_degree_plans_of_worked_qualities) {
  EXPECT_EQ(
      standard_jazz_degree_plans(chord_of(0, "maj7")),
      (plans{{{"1", "7", "3"}, 0},        {{"7", "3", "1"}, 16},       {{"1", "3", "7"}, 28},
             {{"7", "3", "5"}, 42},       {{"3", "7", "1"}, 54},       {{"3", "7", "5"}, 74},
             {{"1", "5", "3"}, 80},       {{"1", "3", "5"}, 96},       {{"3", "5", "1"}, 112},
             {{"7", "3"}, 126},           {{"3", "7"}, 144},           {{"1", "3", "5", "7"}, 160},
             {{"5", "1", "3", "7"}, 260}, {{"7", "3", "5", "1"}, 268}, {{"1", "5", "7", "3"}, 276},
             {{"3", "7", "1", "5"}, 284}, {{"3", "1", "5", "7"}, 296}, {{"5", "3", "7", "1"}, 304},
             {{"7", "5", "1", "3"}, 312}, {{"1", "7", "3", "5"}, 320}}));
  EXPECT_EQ(standard_jazz_degree_plans(chord_of(0, "")),
            (plans{{{"1", "5", "3"}, 80}, {{"1", "3", "5"}, 96}, {{"3", "5", "1"}, 112}}));
  EXPECT_EQ(standard_jazz_degree_plans(chord_of(0, "dim")),
            (plans{{{"1", "b3", "b5"}, 0}, {{"1", "b5", "b3"}, 72}}));
  // Without a third only the formula's own plan remains.
  EXPECT_EQ(standard_jazz_degree_plans(chord_of(0, "sus2")).size(), 3u);
  auto thirdless = chord_of(0, "7");
  thirdless.formula.degrees = {"1", "5", "b7", "9", "13"};
  thirdless.formula.required_degrees = {"b7"};
  thirdless.formula.optional_degrees = {};
  EXPECT_EQ(standard_jazz_degree_plans(thirdless), (plans{{{"1", "5", "b7", "9"}, 160}}));
}

TEST(voicing_plans_test, a_flat_nine_dominant_gets_colour_and_triad_plans) {
  const auto plans_of_chord = standard_jazz_degree_plans(chord_of(0, "7b9"));
  ASSERT_GE(plans_of_chord.size(), 3u);
  EXPECT_EQ(plans(plans_of_chord.begin(), plans_of_chord.begin() + 3),
            (plans{{{"1", "b7", "3", "b9"}, 4},
                   {{"1", "3", "b7", "b9"}, 24},
                   {{"1", "b9", "b7", "3"}, 44}}));
  const auto find = [&](const degree_names& degrees) {
    for (const auto& plan : plans_of_chord) {
      if (plan.degrees == degrees) return std::optional{plan.penalty};
    }
    return std::optional<int>{};
  };
  EXPECT_EQ(find({"1", "5", "3"}), 80);
  EXPECT_EQ(find({"1", "3", "5"}), 96);
  EXPECT_EQ(find({"3", "5", "1"}), 112);
  for (const degree_names& colourless :
       {degree_names{"1", "b7", "3"}, {"b7", "3", "1"}, {"b7", "3", "5"}, {"3", "b7", "5"}}) {
    EXPECT_EQ(find(colourless), std::nullopt);
  }
}

TEST(voicing_plans_test, adding_plans_collapses_repeats_and_keeps_the_lower_penalty) {
  struct row {
    const char* name;
    std::vector<std::pair<degree_names, int>> added;
    plans expected;
  };
  const row rows[] = {
      {"a repeated degree collapses", {{{"1", "3", "3"}, 5}}, {{{"1", "3"}, 5}}},
      {"one degree left is no plan", {{{"3", "3"}, 5}}, {}},
      {"five degrees are too many", {{{"1", "3", "5", "b7", "9"}, 5}}, {}},
      {"unknown names are dropped", {{{"x", "1", "3"}, 5}}, {{{"1", "3"}, 5}}},
      {"no degrees", {{{}, 5}}, {}},
      {"the lower penalty stays",
       {{{"1", "3"}, 40}, {{"3", "1"}, 20}, {{"1", "3"}, 10}, {{"1", "3"}, 70}},
       {{{"1", "3"}, 10}, {{"3", "1"}, 20}}},
  };
  for (const auto& [name, added, expected] : rows) {
    plans result;
    for (const auto& [degrees, penalty] : added) add_jazz_degree_plan(result, degrees, penalty);
    EXPECT_EQ(result, expected) << name;
  }

  plans result;
  add_available_jazz_degree_plan(chord_of(0, "7"), result, {"1", "9"}, 5);
  EXPECT_TRUE(result.empty());
  add_available_jazz_degree_plan(chord_of(0, "7"), result, {"1", "b7"}, 5);
  EXPECT_EQ(result, (plans{{{"1", "b7"}, 5}}));
}

TEST(voicing_plans_test, drop_voicings_of_a_close_voicing) {
  const auto c7 = chord_of(0, "7");
  plans result;
  add_drop_voicing_plans(c7, result, {"1", "3", "5", "b7"}, 148);
  EXPECT_EQ(result, (plans{{{"5", "1", "3", "b7"}, 148},
                           {{"3", "1", "5", "b7"}, 184},
                           {{"b7", "3", "5", "1"}, 156},
                           {{"5", "3", "b7", "1"}, 192},
                           {{"1", "5", "b7", "3"}, 164},
                           {{"b7", "5", "1", "3"}, 200},
                           {{"3", "b7", "1", "5"}, 172},
                           {{"1", "b7", "3", "5"}, 208}}));

  plans untouched;
  add_drop_voicing_plans(c7, untouched, {"1", "3", "5", "9"}, 0);
  add_drop_voicing_plans(c7, untouched, {"1", "3", "5"}, 0);
  EXPECT_TRUE(untouched.empty());

  // Melody mode lowers the drop plans a major seventh chord already has from 260 to 148.
  const auto c_major7 = chord_of(0, "maj7");
  auto melody_plans = standard_jazz_degree_plans(c_major7);
  add_electric_full_melody_chord_plans(c_major7, melody_plans);
  sort_jazz_degree_plans(melody_plans);
  EXPECT_EQ(melody_plans.size(), 20u);
  EXPECT_EQ(melody_plans[9], (jazz_degree_plan{{"7", "3"}, 126}));
  EXPECT_EQ(melody_plans[10], (jazz_degree_plan{{"3", "7"}, 144}));
  EXPECT_EQ(melody_plans[11], (jazz_degree_plan{{"5", "1", "3", "7"}, 148}));
  EXPECT_EQ(melody_plans.back(), (jazz_degree_plan{{"1", "7", "3", "5"}, 208}));

  plans triad_plans;
  add_electric_full_melody_chord_plans(chord_of(0, ""), triad_plans);
  EXPECT_TRUE(triad_plans.empty());
}

TEST(voicing_plans_test, plans_sort_by_penalty_then_size) {
  plans result{
      {{"1", "3", "5", "7"}, 10}, {{"1", "3", "5"}, 10}, {{"3", "7"}, 20}, {{"1", "3"}, 0}};
  sort_jazz_degree_plans(result);
  EXPECT_EQ(
      result,
      (plans{
          {{"1", "3"}, 0}, {{"1", "3", "5"}, 10}, {{"1", "3", "5", "7"}, 10}, {{"3", "7"}, 20}}));
}

TEST(voicing_plans_test, string_sets_by_plan_size) {
  using sets = std::vector<jazz_string_set>;
  EXPECT_EQ(standard_jazz_string_sets(4),
            (sets{{{5, 4, 3, 2}, 0}, {{6, 4, 3, 2}, 18}, {{4, 3, 2, 1}, 34}, {{5, 3, 2, 1}, 62}}));
  EXPECT_EQ(standard_jazz_string_sets(3), (sets{{{6, 4, 3}, 0},
                                                {{5, 4, 3}, 6},
                                                {{5, 3, 2}, 18},
                                                {{4, 3, 2}, 36},
                                                {{4, 2, 1}, 72},
                                                {{3, 2, 1}, 92}}));
  const sets two{{{6, 4}, 8}, {{5, 3}, 14}, {{4, 3}, 36}, {{3, 2}, 56}};
  for (const std::size_t count : {0u, 1u, 2u, 5u}) {
    EXPECT_EQ(standard_jazz_string_sets(count), two) << count;
  }
}

// Stock shapes

TEST(voicing_plans_test, stock_shapes_by_quality) {
  using shapes = std::vector<stock_guitar_shape>;
  struct row {
    const char* suffix;
    shapes expected;
  };
  const row rows[] = {
      {"7",
       {{{"1", "5", "b7", "3"}, {5, 4, 3, 2}, -6200},
        {{"1", "b7", "3", "5"}, {6, 4, 3, 2}, -3200},
        {{"1", "3", "5", "b7"}, {4, 3, 2, 1}, -940}}},
      {"m7",
       {{{"1", "5", "b7", "b3"}, {5, 4, 3, 2}, -1900},
        {{"1", "b7", "b3", "5"}, {6, 4, 3, 2}, -6200},
        {{"1", "b3", "5", "b7"}, {4, 3, 2, 1}, -940}}},
      {"maj7",
       {{{"1", "5", "7", "3"}, {5, 4, 3, 2}, -2700},
        {{"1", "7", "3", "5"}, {6, 4, 3, 2}, -900},
        {{"1", "3", "5", "7"}, {4, 3, 2, 1}, -1250}}},
      {"7sus4",
       {{{"1", "5", "b7", "4"}, {5, 4, 3, 2}, -1900},
        {{"1", "b7", "4", "5"}, {6, 4, 3, 2}, -900},
        {{"1", "4", "5", "b7"}, {4, 3, 2, 1}, -940}}},
      {"m",
       {{{"1", "5", "1", "b3"}, {4, 3, 2, 1}, -16000},
        {{"b3", "5", "1"}, {4, 3, 2}, -820},
        {{"1", "b3", "5", "1"}, {5, 4, 3, 2}, -5200}}},
      {"", {{{"1", "3", "5", "1"}, {5, 4, 3, 2}, -5200}}},
      {"sus4", {{{"1", "4", "5", "1"}, {5, 4, 3, 2}, -5200}}},
      {"6", {}},
      {"m6", {}},
      {"9", {}},
      {"m7b5", {}},
      {"dim", {}},
      {"dim7", {}},
      {"+", {}},
  };
  for (const auto& [suffix, expected] : rows) {
    const auto chord = chord_of(0, suffix);
    EXPECT_EQ(stock_guitar_shapes(chord), expected) << chord.formula.quality;
  }

  // A required ninth keeps the minor triad shapes but not the one with a doubled root.
  auto minor_add = chord_of(0, "m");
  minor_add.formula.required_degrees.push_back("9");
  EXPECT_EQ(stock_guitar_shapes(minor_add), (shapes{{{"1", "5", "1", "b3"}, {4, 3, 2, 1}, -16000},
                                                    {{"b3", "5", "1"}, {4, 3, 2}, -820}}));
}

TEST(voicing_plans_test, adding_stock_shapes_checks_sizes_and_keeps_the_lower_score) {
  const auto c7 = chord_of(0, "7");
  std::vector<stock_guitar_shape> shapes;
  add_stock_guitar_shape(c7, shapes, {"1", "3"}, {3, 2}, -100);
  add_stock_guitar_shape(c7, shapes, {"1", "3", "5", "b7", "1"}, {6, 5, 4, 3, 2}, -100);
  add_stock_guitar_shape(c7, shapes, {"1", "3", "5"}, {5, 4, 3, 2}, -100);
  add_stock_guitar_shape(c7, shapes, {"1", "3", "9"}, {4, 3, 2}, -100);
  EXPECT_TRUE(shapes.empty());
  add_stock_guitar_shape(c7, shapes, {"1", "3", "1"}, {4, 3, 2}, -100);
  add_stock_guitar_shape(c7, shapes, {"1", "3", "1"}, {4, 3, 2}, -300);
  add_stock_guitar_shape(c7, shapes, {"1", "3", "1"}, {4, 3, 2}, -50);
  add_stock_guitar_shape(c7, shapes, {"1", "3", "1"}, {5, 3, 2}, -50);
  EXPECT_EQ(shapes, (std::vector<stock_guitar_shape>{{{"1", "3", "1"}, {4, 3, 2}, -300},
                                                     {{"1", "3", "1"}, {5, 3, 2}, -50}}));
}

// Exact grips

TEST(voicing_plans_test, exact_grip_positions_lie_on_the_board) {
  EXPECT_EQ(midi_for_string_fret(1, 0), 64);
  EXPECT_EQ(midi_for_string_fret(6, 20), 60);
  for (const auto& [string_number, fret] :
       std::vector<std::pair<int, int>>{{0, 5}, {7, 5}, {1, -1}, {6, 21}}) {
    EXPECT_EQ(midi_for_string_fret(string_number, fret), std::nullopt);
  }
  EXPECT_EQ(exact_grip_positions({{1, 0}, {4, 2}}), (grip{at(4, 2), at(1, 0)}));
  EXPECT_EQ(exact_grip_positions({{1, 0}, {2, 25}}), std::nullopt);
  EXPECT_EQ(exact_grip_positions({}), grip{});
}

TEST(voicing_plans_test, exact_grip_tests_of_degrees) {
  const auto a7b9 = chord_of(9, "7b9");
  const grip shell{at(4, 2), at(3, 0), at(2, 2)};  // E, G, C#: 5, b7, 3
  EXPECT_TRUE(positions_only_use_formula_degrees(a7b9, shell));
  EXPECT_TRUE(positions_only_use_formula_degrees(a7b9, {}));
  EXPECT_FALSE(positions_only_use_formula_degrees(a7b9, {at(4, 2), at(3, 1)}));
  EXPECT_TRUE(can_omit_color_for_electric_melody_shell(a7b9, shell));
  EXPECT_FALSE(can_omit_color_for_electric_melody_shell(a7b9, {at(3, 0), at(2, 2)}));
  EXPECT_FALSE(can_omit_color_for_electric_melody_shell(chord_of(9, "7#9"), shell));
  EXPECT_FALSE(can_omit_color_for_electric_melody_shell(chord_of(9, "7"), shell));
}

TEST(voicing_plans_test, electric_melody_exact_grips_fit_only_a_few_chords) {
  std::set<std::pair<std::string, int>> fitting;
  for (const char* suffix : quality_suffixes) {
    for (int root = 0; root < 12; ++root) {
      const auto chord = chord_of(root, suffix);
      const auto candidates = electric_melody_exact_grip_candidates(chord);
      if (candidates.empty()) continue;
      fitting.insert({chord.formula.quality, root});
      for (std::size_t index = 0; index < candidates.size(); ++index) {
        EXPECT_EQ(candidates[index].label, "electric-melody-exact-grip");
        EXPECT_EQ(candidates[index].note_index, -1);
        EXPECT_TRUE(positions_have_valid_fingering(candidates[index].positions));
        if (index > 0) {
          EXPECT_LE(candidates[index - 1].score, candidates[index].score);
        }
      }
    }
  }
  EXPECT_EQ(fitting, (std::set<std::pair<std::string, int>>{
                         {"dominant7_b9", 3}, {"dominant7_b9", 9}, {"minor7", 2}}));

  // Dm7 on D, C, F, A: the open string with fret 6 is no reason to reject it. Each fingering
  // scores the bonus, the melody-mode grip score and its stock fingering cost.
  const auto d_minor7 = chord_of(2, "m7");
  const grip exact{at(4, 0), at(3, 5), at(2, 6), at(1, 5)};
  const auto candidates = electric_melody_exact_grip_candidates(d_minor7);
  const auto fingerings = stock_fingering_candidates(exact);
  ASSERT_EQ(candidates.size(), fingerings.size());
  const int grip_score = chord_candidate_score(d_minor7, exact, false, true);
  for (std::size_t index = 0; index < candidates.size(); ++index) {
    EXPECT_EQ(candidates[index].positions, fingerings[index].positions);
    EXPECT_EQ(candidates[index].score, -11000 + grip_score + fingerings[index].cost);
  }

  std::vector<grip_candidate> untouched;
  add_electric_melody_exact_grip_candidate(untouched, d_minor7, {{5, 5}, {4, 7}, {3, 7}}, 0);
  add_electric_melody_exact_grip_candidate(untouched, d_minor7, {{4, 0}, {3, 25}}, 0);
  EXPECT_TRUE(untouched.empty());
}

}  // namespace
