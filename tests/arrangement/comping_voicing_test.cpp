#include "arrangement/comping_voicing.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/melody_path.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace orvanta::arrangement_detail {

void PrintTo(const acoustic_degree_plan_candidate& plan, std::ostream* out) {
  *out << "{";
  for (const auto& degree : plan.degrees) *out << " " << degree;
  *out << " : " << plan.penalty << " }";
}

}  // namespace orvanta::arrangement_detail

namespace {

using namespace orvanta::arrangement_detail;
using grip = std::vector<tab_position>;
using degree_names = std::vector<std::string>;
using plan_list = std::vector<acoustic_degree_plan_candidate>;

using grip_fixtures::at;
using grip_fixtures::chord_anchor_of;
using grip_fixtures::quality_suffixes;
using grip_fixtures::root_names;

parsed_chord chord(const std::string& symbol) { return *parse_chord_symbol(symbol); }

grip fingered(grip positions) {
  std::sort(
      positions.begin(), positions.end(),
      [](const tab_position& left, const tab_position& right) { return left.midi < right.midi; });
  return *assign_fingering(std::move(positions));
}

// Every quality on every root, plain, over its fifth and over a note a whole tone above the root.
std::vector<parsed_chord> many_chords() {
  std::vector<parsed_chord> chords;
  for (const char* suffix : quality_suffixes) {
    for (std::size_t root = 0; root < root_names.size(); ++root) {
      const std::string symbol = std::string{root_names[root]} + suffix;
      chords.push_back(chord(symbol));
      chords.push_back(chord(symbol + "/" + root_names[(root + 7) % 12]));
      chords.push_back(chord(symbol + "/" + root_names[(root + 2) % 12]));
    }
  }
  return chords;
}

// The penalty of the plan with these degrees, in any order; nothing when the list has none.
std::optional<int> plan_penalty(const plan_list& plans, degree_names degrees) {
  const auto key = sorted_degree_key(std::move(degrees));
  for (const auto& plan : plans) {
    if (sorted_degree_key(plan.degrees) == key) return plan.penalty;
  }
  return std::nullopt;
}

// The candidate sounding the positions (fingers aside); nothing when the list has none.
std::optional<grip_candidate> candidate_at(const std::vector<grip_candidate>& candidates,
                                           const grip& positions) {
  const auto unfingered = strip_fingering(positions);
  for (const auto& candidate : candidates) {
    if (strip_fingering(candidate.positions) == unfingered) return candidate;
  }
  return std::nullopt;
}

// Degree plans

TEST(comping_voicing_test, a_plan_is_a_set_of_three_or_four_names_keeping_its_lowest_penalty) {
  EXPECT_EQ(sorted_degree_key({"b7", "1", "#11", "3", "11", "13"}),
            (degree_names{"#11", "1", "11", "13", "3", "b7"}));
  struct row {
    const char* name;
    std::vector<std::pair<degree_names, int>> added;
    plan_list expected;
  };
  const row rows[] = {
      {"two names are ignored", {{{"3", "b7"}, 5}}, {}},
      {"five names are ignored", {{{"1", "3", "5", "b7", "9"}, 5}}, {}},
      {"a lower penalty for the same set wins; the first order stays",
       {{{"1", "3", "b7"}, 40}, {{"3", "b7", "1"}, 10}},
       {{{"1", "3", "b7"}, 10}}},
      {"a higher penalty changes nothing",
       {{{"1", "3", "b7"}, 40}, {{"3", "b7", "1"}, 10}, {{"b7", "1", "3"}, 50}},
       {{{"1", "3", "b7"}, 10}}},
      {"a name twice is another set",
       {{{"1", "3", "5"}, 0}, {{"1", "3", "5", "1"}, 9}, {{"3", "1", "1", "5"}, 3}},
       {{{"1", "3", "5"}, 0}, {{"1", "3", "5", "1"}, 3}}},
  };
  for (const auto& [name, added, expected] : rows) {
    plan_list plans;
    for (const auto& [degrees, penalty] : added) add_acoustic_degree_plan(plans, degrees, penalty);
    EXPECT_EQ(plans, expected) << name;
  }
}

TEST(comping_voicing_test, identity_colour_and_triad_plans_get_their_penalties) {
  struct row {
    const char* name;
    const char* symbol;
    degree_names degrees;
    int expected;
  };
  const row rows[] = {
      {"identity over the root beats the jazz plan", "C7", {"1", "3", "b7"}, -40},
      {"identity over the fifth beats the jazz plan", "C7", {"1", "3", "5", "b7"}, 72},
      {"the triad plan beats the identity plans", "C", {"1", "3", "5"}, -140},
      {"three required degrees", "C9", {"3", "b7", "9"}, -170},
      {"three required degrees and the root", "C9", {"1", "3", "b7", "9"}, -220},
      {"four required degrees", "C13b9", {"3", "b7", "b9", "13"}, -170},
      {"first colour with the root", "C7alt", {"1", "b9", "b7", "3"}, -180},
      {"first colour without the root", "C7alt", {"b9", "b7", "3"}, -120},
      {"second colour with the root", "C7alt", {"1", "#9", "b7", "3"}, -162},
      {"second colour without the root", "C7alt", {"#9", "b7", "3"}, -102},
      {"fifth colour with the root", "C7alt", {"1", "b5", "b7", "3"}, -108},
      {"fifth colour without the root", "C7alt", {"b5", "b7", "3"}, -48},
      {"the sixth as colour and seventh", "C6", {"1", "6", "6", "3"}, -180},
      {"triad", "Csus4", {"1", "4", "5"}, -140},
      {"triad with the root twice", "Csus4", {"1", "4", "5", "1"}, -90},
      {"triad of an add9 chord", "Cadd9", {"1", "3", "5", "1"}, -90},
      {"add9 required degrees and the root", "Cadd9", {"1", "3", "9", "1"}, -220},
  };
  for (const auto& [name, symbol, degrees, expected] : rows) {
    EXPECT_EQ(plan_penalty(acoustic_degree_plans_for_chord(chord(symbol)), degrees), expected)
        << name;
  }
}

TEST(comping_voicing_test, colour_and_triad_plans_appear_only_where_the_chord_has_their_degrees) {
  const auto penalties = [](const plan_list& plans) {
    std::vector<int> result;
    for (const auto& plan : plans) result.push_back(plan.penalty);
    return result;
  };
  const auto holds = [](const std::vector<int>& values, int value) {
    return std::find(values.begin(), values.end(), value) != values.end();
  };
  // Three required degrees: the required plans, never the per-colour ones.
  const auto ninth = penalties(acoustic_degree_plans_for_chord(chord("C9")));
  EXPECT_FALSE(holds(ninth, -180) || holds(ninth, -120));
  // Four required degrees: with the root they are five names and fall out.
  const auto thirteenth = penalties(acoustic_degree_plans_for_chord(chord("C13b9")));
  EXPECT_FALSE(holds(thirteenth, -220) || holds(thirteenth, -180));
  // A seventh chord gets no triad plans.
  const auto seventh = penalties(acoustic_degree_plans_for_chord(chord("C7")));
  EXPECT_FALSE(holds(seventh, -140) || holds(seventh, -90));

  // No third: a colour but no per-colour plans, a fifth but no triad plans.
  parsed_chord thirdless;
  thirdless.formula.quality = "open_fifth_add9";
  thirdless.formula.degrees = {"1", "5", "9"};
  thirdless.formula.required_degrees = {"1", "9"};
  thirdless.formula.jazz_quality = true;
  const auto thirdless_plans = acoustic_degree_plans_for_chord(thirdless);
  EXPECT_EQ(thirdless_plans.size(), 1U);
  EXPECT_EQ(plan_penalty(thirdless_plans, {"1", "5", "9"}), 72);
}

TEST(comping_voicing_test, plan_lists_are_sorted_unique_sets_of_three_or_four_names) {
  for (const auto& subject : many_chords()) {
    const auto plans = acoustic_degree_plans_for_chord(subject);
    for (std::size_t index = 0; index < plans.size(); ++index) {
      const auto& plan = plans[index];
      EXPECT_TRUE(plan.degrees.size() == 3 || plan.degrees.size() == 4) << subject.symbol;
      if (index == 0) continue;
      const auto& before = plans[index - 1];
      const auto order = [](const acoustic_degree_plan_candidate& entry) {
        return std::tuple{entry.penalty, entry.degrees.size(), sorted_degree_key(entry.degrees)};
      };
      EXPECT_LT(order(before), order(plan)) << subject.symbol << " " << index;
    }
    if (subject.formula.jazz_quality) {
      const auto colors = required_color_degrees(subject);
      for (const auto& degree : acoustic_upper_identity_degrees(subject)) {
        const auto& required = subject.formula.required_degrees;
        EXPECT_TRUE(degree == "1" ||
                    std::find(required.begin(), required.end(), degree) != required.end() ||
                    std::find(colors.begin(), colors.end(), degree) != colors.end())
            << subject.symbol << " " << degree;
      }
    }
  }
}

TEST(comping_voicing_test, upper_and_bass_degrees_follow_the_formula) {
  EXPECT_EQ(acoustic_upper_identity_degrees(chord("C7")), (degree_names{"3", "b7", "1"}));
  EXPECT_EQ(acoustic_upper_identity_degrees(chord("C9")), (degree_names{"3", "b7", "9", "1"}));
  EXPECT_EQ(acoustic_upper_identity_degrees(chord("Csus4")), (degree_names{"1", "4", "5"}));
  EXPECT_EQ(acoustic_upper_identity_degrees(chord("Cdim7")),
            (degree_names{"b3", "b5", "bb7", "1"}));
  EXPECT_EQ(acoustic_upper_identity_degrees(chord("C7alt")),
            (degree_names{"3", "b7", "b9", "#9", "b13", "b5", "#5", "1"}));
  EXPECT_EQ(acoustic_bass_degrees(chord("C7alt")),
            (degree_names{"1", "3", "b7", "b9", "#9", "b5", "#5", "b13"}));
  EXPECT_EQ(acoustic_bass_degrees(chord("C9")), (degree_names{"1", "3", "5", "b7", "9"}));
}

// Voicing rules

TEST(comping_voicing_test, a_voicing_puts_its_bass_on_string_5_or_6_under_strings_2_to_4) {
  struct row {
    const char* name;
    grip positions;
    bool expected;
  };
  const row rows[] = {
      {"strings 2 3 4 over 5", {at(5, 3), at(4, 2), at(3, 0), at(2, 1)}, true},
      {"strings 2 3 4 over 6", {at(6, 3), at(4, 2), at(3, 0), at(2, 0)}, true},
      {"strings 2 3 over 5", {at(5, 3), at(3, 3), at(2, 5)}, true},
      {"strings 2 3 over 6", {at(6, 3), at(3, 3), at(2, 5)}, false},
      {"strings 3 4 over 6", {at(6, 3), at(4, 2), at(3, 3)}, true},
      {"strings 3 4 over 5", {at(5, 3), at(4, 2), at(3, 3)}, false},
      {"strings 2 4 over 5", {at(5, 3), at(4, 2), at(2, 5)}, false},
      {"a note on string 1", {at(5, 3), at(3, 3), at(2, 5), at(1, 3)}, false},
      {"two upper notes on one string", {at(5, 3), at(3, 3), at(3, 5), at(2, 5)}, false},
      {"one upper note", {at(5, 3), at(3, 3)}, false},
      {"the lowest note on string 4", {at(5, 7), at(4, 0), at(3, 2), at(2, 3)}, false},
      {"no positions", {}, false},
  };
  for (const auto& [name, positions, expected] : rows) {
    EXPECT_EQ(positions_use_acoustic_comping_strings(positions), expected) << name;
  }
}

TEST(comping_voicing_test, the_reach_from_bass_to_upper_notes_is_priced_and_limited) {
  struct row {
    const char* name;
    grip positions;
    int penalty;
    bool playable;
  };
  const row rows[] = {
      {"string 6 to string 2, three frets", {at(6, 3), at(2, 6)}, 2860, false},
      {"string 5 to string 2, three frets: over the limit", {at(5, 3), at(2, 6)}, 1500, false},
      {"a shell within reach", {at(5, 3), at(3, 3), at(2, 5)}, 720, true},
      {"four frets over three strings: too wide though cheap", {at(6, 3), at(3, 7)}, 1440, false},
      {"open bass: three strings away", {at(6, 0), at(3, 2)}, 55, true},
      {"open bass: fret distance is free", {at(6, 0), at(4, 9)}, 0, true},
      {"open upper note three strings away", {at(5, 3), at(2, 0)}, 55, true},
      {"no low bass", {at(4, 2), at(3, 2), at(2, 3)}, 0, false},
      {"no positions", {}, 0, false},
  };
  for (const auto& [name, positions, penalty, playable] : rows) {
    EXPECT_EQ(acoustic_bass_upper_reach_penalty(positions), penalty) << name;
    EXPECT_EQ(acoustic_bass_upper_reach_playable(positions), playable) << name;
  }
  // Positions no fretboard has still give a bounded cost, never an overflow.
  const tab_position far_away{2, 2'000'000'000, 70, std::nullopt};
  const grip absurd{at(6, 1), far_away, far_away, far_away, far_away};
  EXPECT_GT(acoustic_bass_upper_reach_penalty(absurd), 1450);
  EXPECT_FALSE(acoustic_bass_upper_reach_playable(absurd));
  EXPECT_EQ(max_fretted_fret_for_positions({at(5, 3), at(3, 0), at(2, 5)}), 5);
  EXPECT_EQ(max_fretted_fret_for_positions({}), 0);
}

TEST(comping_voicing_test, combined_positions_are_sorted_and_fingered_only_when_every_rule_holds) {
  const grip shell{at(2, 5), at(5, 3), at(3, 3)};
  EXPECT_EQ(playable_acoustic_combined_positions(shell), fingered(shell));
  struct row {
    const char* name;
    grip positions;
  };
  const row rejected[] = {
      {"string layout", {at(6, 3), at(3, 3), at(2, 5)}},
      {"an open string beside fret 4", {at(6, 0), at(4, 2), at(3, 4)}},
      {"reach", {at(5, 3), at(3, 5), at(2, 6)}},
      {"a span of four frets", {at(6, 3), at(4, 2), at(3, 6)}},
      {"no positions", {}},
  };
  for (const auto& [name, positions] : rejected) {
    EXPECT_EQ(playable_acoustic_combined_positions(positions), std::nullopt) << name;
  }
}

TEST(comping_voicing_test, the_bass_prefers_the_slash_note_then_the_root) {
  struct row {
    const char* name;
    const char* symbol;
    grip positions;
    int expected;
  };
  const row rows[] = {
      {"slash bass", "C/E", {at(2, 5), at(6, 0)}, -320},
      {"slash bass that is the root", "C/C", {at(5, 3), at(3, 0)}, -320},
      {"root", "C/E", {at(5, 3), at(3, 0)}, -180},
      {"root of a plain chord", "C", {at(3, 5), at(5, 3)}, -180},
      {"another note", "C", {at(6, 3), at(3, 0)}, 6000},
      {"no positions", "C", {}, 2000},
  };
  for (const auto& [name, symbol, positions, expected] : rows) {
    EXPECT_EQ(acoustic_bass_choice_score(chord(symbol), positions), expected) << name;
  }
  EXPECT_TRUE(position_matches_slash_bass(chord("C/E"), at(4, 2)));
  EXPECT_FALSE(position_matches_slash_bass(chord("C"), at(5, 3)));
}

TEST(comping_voicing_test, the_voicing_score_weighs_shape_tones_and_upper_notes) {
  // C7 shell C Bb E: span 2 (520), top fret 5 (90), reach 720, both guide tones (-360).
  const grip shell = fingered({at(5, 3), at(3, 3), at(2, 5)});
  EXPECT_EQ(acoustic_combined_candidate_score(chord("C7"), shell, 2), 970 - 1800);
  EXPECT_EQ(acoustic_combined_candidate_score(chord("C7"), shell, 3), 970 + 1300);
  // A colour chord missing its ninth pays for it and gets no bonus for the upper notes.
  EXPECT_EQ(acoustic_combined_candidate_score(chord("C9"), shell, 2), 970 + 520);
  // Missing a guide tone (the major seventh) costs 520, and even three upper notes then earn the
  // upper-note bonus instead of the surcharge.
  EXPECT_EQ(acoustic_combined_candidate_score(chord("Cmaj7"), shell, 3),
            520 + 90 + 720 + 520 - 180 - 2700);
  // High up the neck: height, anchor fret 10 and the region penalty.
  const grip high = fingered({at(5, 10), at(3, 10), at(2, 12)});
  const int region = high_fret_region_penalty(high);
  ASSERT_GT(region, 0);
  EXPECT_EQ(acoustic_combined_candidate_score(chord("G7"), high, 2),
            260 * 2 + 18 * 12 + region + 720 + 260 * 5 - 360 - 1800);
}

TEST(comping_voicing_test, identity_admits_bass_and_upper_degrees_and_demands_the_required_ones) {
  struct row {
    const char* name;
    const char* symbol;
    grip positions;
    bool only_identity;
    bool preserves;
  };
  const row rows[] = {
      {"shell over the root", "C7", {at(5, 3), at(3, 3), at(2, 5)}, true, true},
      {"the fifth may be the bass", "C7", {at(6, 3), at(4, 2), at(3, 3)}, true, true},
      {"a ninth above a plain seventh",
       "C7",
       {at(5, 3), at(4, 2), at(3, 3), at(2, 3)},
       false,
       false},
      {"the fifth above a plain seventh",
       "C7",
       {at(5, 3), at(4, 2), at(3, 3), at(2, 8)},
       false,
       false},
      {"the third missing", "C7", {at(5, 3), at(3, 3), at(2, 1)}, true, false},
      {"the ninth missing", "C9", {at(5, 3), at(3, 3), at(2, 5)}, true, false},
      {"a slash bass outside the chord",
       "C/D",
       {at(5, 5), at(4, 5), at(3, 5), at(2, 5)},
       true,
       true},
      {"a bass outside the chord", "C", {at(5, 5), at(4, 5), at(3, 5), at(2, 5)}, false, false},
      {"a triad may sound its fifth above",
       "C",
       {at(5, 3), at(4, 5), at(3, 5), at(2, 5)},
       true,
       true},
      {"no low bass", "C", {at(4, 2), at(3, 0), at(2, 1)}, false, false},
  };
  for (const auto& [name, symbol, positions, only_identity, preserves] : rows) {
    EXPECT_EQ(positions_only_use_acoustic_identity_degrees(chord(symbol), positions), only_identity)
        << name;
    EXPECT_EQ(acoustic_comping_preserves_chord_identity(chord(symbol), positions), preserves)
        << name;
  }
}

TEST(comping_voicing_test, a_voicing_splits_around_its_one_bass) {
  const grip shell{at(3, 3), at(5, 3), at(2, 5)};
  const grip full = fingered(shell);
  const acoustic_comping_grip expected{{full[0]}, {full[1], full[2]}, full};
  EXPECT_EQ(split_acoustic_comping_grip(shell, at(5, 3)), expected);
  EXPECT_EQ(acoustic_comping_grip_from_selected_positions(shell), expected);

  struct row {
    const char* name;
    grip positions;
    tab_position bass;
  };
  const row failures[] = {
      {"the bass twice", {at(5, 3), at(5, 3), at(3, 3), at(2, 5)}, at(5, 3)},
      {"the bass missing", shell, at(6, 8)},
      {"one upper note", {at(5, 3), at(3, 3)}, at(5, 3)},
      {"no positions", {}, at(5, 3)},
  };
  for (const auto& [name, positions, bass] : failures) {
    EXPECT_EQ(split_acoustic_comping_grip(positions, bass), std::nullopt) << name;
  }
  EXPECT_EQ(acoustic_comping_grip_from_selected_positions({at(4, 2), at(3, 0), at(2, 1)}),
            std::nullopt);
  EXPECT_EQ(acoustic_comping_grip_from_selected_positions({}), std::nullopt);
}

TEST(comping_voicing_test, a_voicing_enters_the_list_with_bass_and_fingering_terms) {
  // Fingering costs -5 (the open C) and 242 count as -1 and 80: a third, toward zero.
  const auto open_c =
      *acoustic_comping_grip_from_selected_positions({at(5, 3), at(4, 2), at(3, 0), at(2, 1)});
  const auto g_bass =
      *acoustic_comping_grip_from_selected_positions({at(6, 3), at(4, 2), at(3, 5)});
  ASSERT_EQ(fingering_local_score(open_c.full), -5);
  ASSERT_EQ(fingering_local_score(g_bass.full), 242);

  std::vector<grip_candidate> candidates;
  append_acoustic_comping_candidate(candidates, chord("C"), open_c, 100);
  append_acoustic_comping_candidate(candidates, chord("C"), g_bass, 0);
  EXPECT_EQ(candidates,
            (std::vector<grip_candidate>{
                {open_c.full, "acoustic-comping-final", 100 - 180 - 1, -1, false, false},
                {g_bass.full, "acoustic-comping-final", 6000 + 80, -1, false, false}}));

  // The same positions keep the lower score, in their place.
  append_acoustic_comping_candidate(candidates, chord("C"), open_c, 150);
  EXPECT_EQ(candidates.front().score, 100 - 180 - 1);
  append_acoustic_comping_candidate(candidates, chord("C"), open_c, -50);
  EXPECT_EQ(candidates.front().score, -50 - 180 - 1);
  EXPECT_EQ(candidates.size(), 2U);

  // A voicing that loses the chord's identity is not added.
  append_acoustic_comping_candidate(candidates, chord("C7"), open_c, -10000);
  EXPECT_EQ(candidates.size(), 2U);
}

// Candidates for a chord

TEST(comping_voicing_test, plans_of_three_and_four_degrees_have_two_string_sets) {
  using sets = std::vector<std::vector<int>>;
  EXPECT_EQ(acoustic_comping_string_sets(4), (sets{{5, 4, 3, 2}, {6, 4, 3, 2}}));
  EXPECT_EQ(acoustic_comping_string_sets(3), (sets{{5, 3, 2}, {6, 4, 3}}));
  for (const std::size_t count : {0, 1, 2, 5})
    EXPECT_EQ(acoustic_comping_string_sets(count), sets{});
}

TEST(comping_voicing_test, the_minor_shape_counts_its_penalty_whole_and_keeps_the_lower_score) {
  const auto a_minor = chord("Am");
  const grip shape_positions = fingered({at(5, 3), at(4, 2), at(3, 2), at(2, 1)});
  const int shape_score = acoustic_combined_candidate_score(a_minor, shape_positions, 3) - 2200 +
                          6000 + fingering_local_score(shape_positions) / 3;

  std::vector<grip_candidate> shapes;
  append_preferred_acoustic_comping_shapes(shapes, a_minor);
  ASSERT_EQ(shapes.size(), 1U);
  EXPECT_EQ(shapes.front(), (grip_candidate{shape_positions, "acoustic-comping-final", shape_score,
                                            -1, false, false}));
  EXPECT_EQ(candidate_at(acoustic_comping_candidates_for_chord(a_minor), shape_positions),
            shapes.front());

  // The same voicing reached by degrees at penalty 0 scores 2200 more: the shape's score stays,
  // whichever comes first; at a far lower penalty the degrees' score replaces it.
  const degree_names degrees{"b3", "5", "1", "b3"};
  const std::vector<int> strings{5, 4, 3, 2};
  std::vector<grip_candidate> degrees_first;
  append_acoustic_comping_candidates_for_degrees(degrees_first, a_minor, degrees, strings, 0);
  ASSERT_EQ(candidate_at(degrees_first, shape_positions)->score, shape_score + 2200);
  append_preferred_acoustic_comping_shapes(degrees_first, a_minor);
  EXPECT_EQ(candidate_at(degrees_first, shape_positions)->score, shape_score);
  append_acoustic_comping_candidates_for_degrees(shapes, a_minor, degrees, strings, 0);
  EXPECT_EQ(candidate_at(shapes, shape_positions)->score, shape_score);
  append_acoustic_comping_candidates_for_degrees(shapes, a_minor, degrees, strings, -40000);
  EXPECT_EQ(candidate_at(shapes, shape_positions)->score, shape_score + 2200 - 5000);
}

TEST(comping_voicing_test, exact_shapes_stay_below_fret_10_and_exist_for_three_qualities) {
  // G half-diminished has its root on string 5 only at fret 10: the shape gives nothing, while the
  // same degrees on the same strings give the voicing.
  const auto g_half_diminished = chord("Gm7b5");
  std::vector<grip_candidate> shapes;
  append_preferred_acoustic_comping_shapes(shapes, g_half_diminished);
  EXPECT_TRUE(shapes.empty());
  std::vector<grip_candidate> by_degrees;
  append_acoustic_comping_candidates_for_degrees(by_degrees, g_half_diminished,
                                                 {"1", "b5", "b7", "b3"}, {5, 4, 3, 2}, -2600);
  EXPECT_TRUE(candidate_at(by_degrees, {at(5, 10), at(4, 11), at(3, 10), at(2, 11)}));

  for (const char* symbol : {"Cm7b5", "A7b9", "Cm", "Dm"}) {
    std::vector<grip_candidate> found;
    append_preferred_acoustic_comping_shapes(found, chord(symbol));
    EXPECT_FALSE(found.empty()) << symbol;
    for (const auto& candidate : found) {
      EXPECT_LE(max_fretted_fret_for_positions(candidate.positions), 9) << symbol;
    }
  }
  for (const char* symbol : {"Cm7", "C7", "C", "Cdim7", "C7#9"}) {
    std::vector<grip_candidate> found;
    append_preferred_acoustic_comping_shapes(found, chord(symbol));
    EXPECT_TRUE(found.empty()) << symbol;
  }

  // Shapes of the wrong size or with a degree the chord lacks give nothing.
  const std::vector<acoustic_shape_voice> two{{"1", 5}, {"3", 3}};
  const std::vector<acoustic_shape_voice> five{{"1", 6}, {"5", 5}, {"b7", 4}, {"3", 3}, {"1", 2}};
  const std::vector<acoustic_shape_voice> foreign{{"1", 5}, {"b9", 4}, {"b7", 3}, {"3", 2}};
  for (const auto& shape : {two, five, foreign}) {
    std::vector<grip_candidate> found;
    append_acoustic_exact_comping_shape(found, chord("C7"), shape, 0);
    EXPECT_TRUE(found.empty());
  }
}

TEST(comping_voicing_test, a_plan_penalty_counts_one_eighth_toward_zero) {
  const auto c7 = chord("C7");
  const grip shell{at(5, 3), at(3, 3), at(2, 5)};
  const auto score_at = [&](int penalty) {
    std::vector<grip_candidate> candidates;
    append_acoustic_comping_candidates_for_degrees(candidates, c7, {"1", "b7", "3"}, {5, 3, 2},
                                                   penalty);
    return candidate_at(candidates, shell)->score;
  };
  const int base = score_at(0);
  EXPECT_EQ(score_at(-170) - base, -21);
  EXPECT_EQ(score_at(72) - base, 9);
  EXPECT_EQ(score_at(-7) - base, 0);
  EXPECT_EQ(score_at(15) - base, 1);

  std::vector<grip_candidate> mismatched;
  append_acoustic_comping_candidates_for_degrees(mismatched, c7, {"1", "b7", "3"}, {5, 3}, 0);
  EXPECT_TRUE(mismatched.empty());
}

// Every placement of degree i on string i, tried plainly: no pruning and nothing remembered, each
// finished through the public voicing rules. `highest_fret` drops placements above it.
void append_placements_plainly(std::vector<grip_candidate>& candidates, const parsed_chord& subject,
                               const std::vector<std::string>& degrees,
                               const std::vector<int>& strings, int extra, int highest_fret,
                               grip& placed) {
  if (placed.size() == degrees.size()) {
    if (max_fretted_fret_for_positions(placed) > highest_fret) return;
    const auto full = playable_acoustic_combined_positions(placed);
    if (!full) return;
    auto split = split_acoustic_comping_grip(*full, *lowest_position(*full));
    if (!split) return;
    const int base = acoustic_combined_candidate_score(subject, split->full, split->upper.size());
    append_acoustic_comping_candidate(candidates, subject, *split, base + extra);
    return;
  }
  const std::size_t voice = placed.size();
  for (const auto& place :
       positions_for_degree_on_string(subject, degrees[voice], strings[voice])) {
    if (contains_string(placed, place.string_number) || contains_midi(placed, place.midi)) continue;
    placed.push_back(place);
    append_placements_plainly(candidates, subject, degrees, strings, extra, highest_fret, placed);
    placed.pop_back();
  }
}

// The chord's candidates built plainly, one shape, plan, order and string set at a time; and the
// same through the public steps. Both sorted and cut to 48: what the chord's candidates must
// equal, however they are computed.
struct stepwise_candidates {
  std::vector<grip_candidate> plain;
  std::vector<grip_candidate> public_steps;
};

stepwise_candidates candidates_step_by_step(const parsed_chord& subject) {
  stepwise_candidates built;
  grip placed;
  const std::vector<std::pair<const char*, std::vector<std::pair<std::string, int>>>> shapes{
      {"half_diminished7", {{"1", 5}, {"b5", 4}, {"b7", 3}, {"b3", 2}}},
      {"dominant7_b9", {{"5", 5}, {"b9", 4}, {"3", 3}, {"b7", 2}}},
      {"minor", {{"b3", 5}, {"5", 4}, {"1", 3}, {"b3", 2}}}};
  const std::array<int, 3> shape_penalties{-2600, -160, -2200};
  for (std::size_t index = 0; index < shapes.size(); ++index) {
    if (subject.formula.quality != shapes[index].first) continue;
    std::vector<std::string> degrees;
    std::vector<int> strings;
    for (const auto& [degree, string_number] : shapes[index].second) {
      degrees.push_back(degree);
      strings.push_back(string_number);
    }
    append_placements_plainly(built.plain, subject, degrees, strings, shape_penalties[index], 9,
                              placed);
  }
  append_preferred_acoustic_comping_shapes(built.public_steps, subject);
  for (const auto& plan : acoustic_degree_plans_for_chord(subject)) {
    auto names = sorted_degree_key(plan.degrees);
    do {
      for (const auto& strings : acoustic_comping_string_sets(names.size())) {
        append_placements_plainly(built.plain, subject, names, strings, plan.penalty / 8, 20,
                                  placed);
        append_acoustic_comping_candidates_for_degrees(built.public_steps, subject, names, strings,
                                                       plan.penalty);
      }
    } while (std::next_permutation(names.begin(), names.end()));
  }
  for (auto* candidates : {&built.plain, &built.public_steps}) {
    sort_candidates_by_score(*candidates);
    if (candidates->size() > 48) candidates->resize(48);
  }
  return built;
}

TEST(comping_voicing_test, chord_candidates_try_every_order_of_every_plan_and_keep_the_best_48) {
  for (const char* symbol : {"C", "Am", "E7", "Bbmaj7", "F#m7b5", "Db7b9", "G13", "Ab7alt", "D6",
                             "Ebsus4", "C/E", "Gm7/F", "Badd9"}) {
    const auto subject = chord(symbol);
    const auto candidates = acoustic_comping_candidates_for_chord(subject);
    const auto built = candidates_step_by_step(subject);
    EXPECT_EQ(candidates, built.plain) << symbol;
    EXPECT_EQ(candidates, built.public_steps) << symbol;
  }
  // A three-name plan on strings 5 3 2 and 6 4 3 in all six orders: C major has its root, third
  // and fifth in the bass, on both low strings.
  const auto major = acoustic_comping_candidates_for_chord(chord("C"));
  EXPECT_TRUE(candidate_at(major, {at(6, 3), at(4, 2), at(3, 5)}));     // G E C on 6 4 3
  EXPECT_TRUE(candidate_at(major, {at(5, 7), at(3, 5), at(2, 8)}));     // E C G on 5 3 2
  EXPECT_TRUE(candidate_at(major, {at(6, 12), at(4, 10), at(3, 12)}));  // E C G on 6 4 3
}

TEST(comping_voicing_test, every_voicing_is_a_playable_fingered_bass_and_upper_chord) {
  std::size_t full_lists = 0;
  for (const auto& subject : many_chords()) {
    const auto candidates = acoustic_comping_candidates_for_chord(subject);
    EXPECT_LE(candidates.size(), 48U) << subject.symbol;
    if (candidates.size() == 48) ++full_lists;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto& candidate = candidates[index];
      const auto& positions = candidate.positions;
      const auto context = subject.symbol + " #" + std::to_string(index);
      EXPECT_EQ(candidate.label, "acoustic-comping-final") << context;
      EXPECT_EQ(candidate.note_index, -1) << context;
      if (index > 0) {
        EXPECT_LE(candidates[index - 1].score, candidate.score) << context;
      }
      ASSERT_GE(positions.size(), 3U) << context;
      EXPECT_TRUE(is_low_chord_string(positions.front())) << context;
      for (std::size_t voice = 1; voice < positions.size(); ++voice) {
        EXPECT_LT(positions[voice - 1].midi, positions[voice].midi) << context;
        EXPECT_GE(positions[voice].string_number, 2) << context;
        EXPECT_LE(positions[voice].string_number, 4) << context;
      }
      EXPECT_TRUE(positions_use_acoustic_comping_strings(positions)) << context;
      EXPECT_TRUE(positions_playable(positions)) << context;
      EXPECT_TRUE(positions_have_valid_fingering(positions)) << context;
      EXPECT_LE(fret_span(positions), 3) << context;
      EXPECT_TRUE(acoustic_comping_preserves_chord_identity(subject, positions)) << context;
      EXPECT_TRUE(acoustic_comping_grip_from_selected_positions(positions)) << context;
    }
  }
  // The cut matters: many chords have more voicings than are kept.
  EXPECT_GT(full_lists, 0U);
}

// Acoustic comping anchors

// A chord anchor over two beats with the chord's grips, as the chord sections build it.
arrangement_anchor chord_anchor(const std::string& symbol, std::int64_t start,
                                std::vector<grip_candidate> candidates) {
  return chord_anchor_of(chord(symbol), start, std::move(candidates));
}

arrangement_anchor chord_anchor(const std::string& symbol, std::int64_t start) {
  return chord_anchor(symbol, start, chord_candidates(chord(symbol), false, false, false));
}

grip_candidate grip_of(grip positions, int score) {
  return {std::move(positions), "fixture", score, -1, false, false};
}

// The same anchor with other candidates.
arrangement_anchor with_candidates(arrangement_anchor anchor,
                                   std::vector<grip_candidate> candidates) {
  anchor.candidates = std::move(candidates);
  return anchor;
}

TEST(comping_voicing_test, a_grip_offers_its_low_chord_tones_as_basses_low_frets_first) {
  // C9 with its basses on strings 5 and 6: fret 9 or lower first, then the lower fret, the more
  // important chord tone (the ninth before the fifth), string 5 before 6. F on string 6 is no
  // degree; notes on strings 1 to 4 are never basses.
  const grip positions{at(6, 10), at(5, 10), at(4, 2), at(6, 8), at(5, 7),
                       at(6, 1),  at(6, 3),  at(5, 3), at(1, 0)};
  EXPECT_EQ(acoustic_bass_candidates_for_grip(chord("C9"), positions),
            (grip{at(5, 3), at(6, 3), at(5, 7), at(6, 8), at(6, 10), at(5, 10)}));
  EXPECT_EQ(acoustic_bass_candidates_for_grip(chord("C9"), {at(4, 2), at(3, 0)}), grip{});

  // The upper pool: strings 2 to 4 without the bass, by string, then fret.
  EXPECT_EQ(acoustic_upper_pool_for_grip(
                {at(4, 2), at(2, 1), at(3, 5), at(3, 0), at(5, 3), at(1, 0), at(6, 3)}, at(5, 3)),
            (grip{at(2, 1), at(3, 0), at(3, 5), at(4, 2)}));
  EXPECT_EQ(acoustic_upper_pool_for_grip({at(6, 3), at(4, 5), at(3, 4)}, at(4, 5)),
            (grip{at(3, 4)}));
}

TEST(comping_voicing_test, a_grip_is_cut_into_three_note_then_two_note_upper_sets_per_bass) {
  const auto c_over_g = chord("C/G");
  const auto scored = [&](grip positions, const tab_position& bass) {
    auto grip = *split_acoustic_comping_grip(positions, bass);
    const int score = acoustic_combined_candidate_score(c_over_g, grip.full, grip.upper.size());
    return scored_acoustic_comping_grip{std::move(grip), score};
  };
  // Bass C on string 5 (string 5 before 6 at one fret): all three upper notes, then the pair on
  // strings 2-3; 2-4 and 3-4 are no layout over string 5. Bass G on string 6: the three upper
  // notes stretch too far, 2-3 and 2-4 are no layout, 3-4 is.
  const grip open_c{at(6, 3), at(5, 3), at(4, 2), at(3, 0), at(2, 1), at(1, 0)};
  EXPECT_EQ(acoustic_comping_grips_for_candidate(c_over_g, open_c),
            (std::vector<scored_acoustic_comping_grip>{
                scored({at(5, 3), at(4, 2), at(3, 0), at(2, 1)}, at(5, 3)),
                scored({at(5, 3), at(3, 0), at(2, 1)}, at(5, 3)),
                scored({at(6, 3), at(4, 2), at(3, 0)}, at(6, 3)),
            }));

  struct row {
    const char* name;
    grip positions;
  };
  const row nothing[] = {
      {"one note on strings 2 to 4", {at(5, 3), at(4, 2), at(1, 0)}},
      {"no low chord tone", {at(5, 2), at(4, 2), at(3, 0), at(2, 1)}},
      {"upper notes on strings 1 and 4 only", {at(5, 3), at(4, 2), at(1, 3)}},
      {"no positions", {}},
  };
  for (const auto& [name, positions] : nothing) {
    EXPECT_TRUE(acoustic_comping_grips_for_candidate(c_over_g, positions).empty()) << name;
  }
}

TEST(comping_voicing_test, comping_anchors_keep_chord_anchors_with_voicings_and_nothing_else) {
  parsed_chord no_degrees;
  no_degrees.symbol = "N.C.";
  arrangement_anchor melody;
  melody.start_ticks = 0;
  melody.duration_ticks = 4096;
  melody.candidates = {grip_of({at(5, 3), at(4, 2), at(3, 0), at(2, 1)}, 0)};

  auto tuplet_chord = chord_anchor("C", 4096, {});
  tuplet_chord.display_ticks = 2731;
  tuplet_chord.tie_to_next = true;
  tuplet_chord.tuplet_id = "t1";
  tuplet_chord.tuplet_note_count = 3;
  tuplet_chord.tuplet_space_count = 2;
  auto formless = chord_anchor("C", 8192, {grip_of({at(5, 3), at(4, 2), at(3, 0), at(2, 1)}, 0)});
  formless.chord = no_degrees;

  const auto comping = acoustic_comping_anchors_for_anchors({melody, tuplet_chord, formless});
  // Only the chord anchor without grips stays: its candidates are the chord's own voicings, and
  // every other field is kept.
  EXPECT_EQ(comping, (std::vector<arrangement_anchor>{with_candidates(
                         tuplet_chord, acoustic_comping_candidates_for_chord(chord("C")))}));
  EXPECT_TRUE(acoustic_comping_anchors_for_anchors({}).empty());
}

TEST(comping_voicing_test, voicings_cut_from_a_grip_carry_a_24th_of_its_score_toward_zero) {
  // The open C voicing from this grip is also one of the chord's own, at a far higher score than
  // the grip's share below; so the score found is that of the grip's voicing.
  const grip open_c{at(5, 3), at(4, 2), at(3, 0), at(2, 1)};
  const auto score_with = [&](int grip_score) {
    const auto comping =
        acoustic_comping_anchors_for_anchors({chord_anchor("C", 0, {grip_of(open_c, grip_score)})});
    return candidate_at(comping.at(0).candidates, open_c)->score;
  };
  const int base = score_with(-24000);
  struct row {
    int grip_score;
    int change;
  };
  // -23977 / 24 is -999 and -24047 / 24 is -1001: toward zero, not down.
  const row rows[] = {{-24000 + 100, 5}, {-24000 - 100, -4}, {-24000 - 23, 0},
                      {-24000 + 23, 1},  {-24000 - 24, -1},  {-24000 - 47, -1}};
  for (const auto& [grip_score, change] : rows) {
    EXPECT_EQ(score_with(grip_score) - base, change) << grip_score;
  }
  // At a plain score the chord's own voicing is cheaper and stays.
  const auto own = acoustic_comping_candidates_for_chord(chord("C"));
  EXPECT_EQ(score_with(0), candidate_at(own, open_c)->score);
  EXPECT_LT(candidate_at(own, open_c)->score, base + 1000);
}

// Checks that the voicing splits cleanly: one fingered bass on string 5 or 6 below two or three
// upper notes on strings 2 to 4, together the full voicing, playable.
void expect_sound_voicing(const acoustic_comping_grip& voicing, const std::string& context) {
  ASSERT_EQ(voicing.bass.size(), 1U) << context;
  EXPECT_TRUE(is_low_chord_string(voicing.bass.front())) << context;
  EXPECT_TRUE(voicing.upper.size() == 2 || voicing.upper.size() == 3) << context;
  for (const auto& position : voicing.upper) {
    EXPECT_GE(position.string_number, 2) << context;
    EXPECT_LE(position.string_number, 4) << context;
    EXPECT_GT(position.midi, voicing.bass.front().midi) << context;
  }
  grip joined = voicing.bass;
  joined.insert(joined.end(), voicing.upper.begin(), voicing.upper.end());
  EXPECT_EQ(joined, voicing.full) << context;
  EXPECT_TRUE(positions_playable(voicing.full)) << context;
  EXPECT_TRUE(positions_have_valid_fingering(voicing.full)) << context;
  EXPECT_TRUE(positions_use_acoustic_comping_strings(voicing.full)) << context;
}

TEST(comping_voicing_test, comping_anchor_candidates_are_the_best_48_sound_voicings) {
  for (const char* symbol : {"C", "Am", "F#m7b5", "Bb7", "G13", "Dm9", "Eb/G", "C7b9", "Ab6"}) {
    const auto comping = acoustic_comping_anchors_for_anchors({chord_anchor(symbol, 0)});
    ASSERT_EQ(comping.size(), 1U) << symbol;
    const auto& candidates = comping.front().candidates;
    EXPECT_LE(candidates.size(), 48U) << symbol;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto context = std::string{symbol} + " #" + std::to_string(index);
      const auto& candidate = candidates[index];
      EXPECT_EQ(candidate.label, "acoustic-comping-final") << context;
      EXPECT_EQ(candidate.note_index, -1) << context;
      if (index > 0) {
        EXPECT_LE(candidates[index - 1].score, candidate.score) << context;
      }
      EXPECT_TRUE(
          acoustic_comping_preserves_chord_identity(*comping.front().chord, candidate.positions))
          << context;
      const auto voicing = acoustic_comping_grip_from_selected_positions(candidate.positions);
      ASSERT_TRUE(voicing) << context;
      expect_sound_voicing(*voicing, context);
    }
  }
}

// The voicings cut out of a grip as plainly as they can be: every bass candidate, every subset mask
// of its upper pool from three notes down to two, each split through the public rules.
std::vector<scored_acoustic_comping_grip> grips_cut_plainly(const parsed_chord& subject,
                                                            const grip& positions) {
  std::vector<scored_acoustic_comping_grip> grips;
  for (const auto& bass : acoustic_bass_candidates_for_grip(subject, positions)) {
    const auto pool = acoustic_upper_pool_for_grip(positions, bass);
    if (pool.size() < 2) continue;
    for (std::size_t size = std::min<std::size_t>(3, pool.size()); size >= 2; --size) {
      for (unsigned mask = 0; mask < (1U << pool.size()); ++mask) {
        if (static_cast<std::size_t>(__builtin_popcount(mask)) != size) continue;
        grip voicing{bass};
        for (std::size_t index = 0; index < pool.size(); ++index) {
          if ((mask >> index) & 1U) voicing.push_back(pool[index]);
        }
        auto split = split_acoustic_comping_grip(voicing, bass);
        if (!split) continue;
        const int score = acoustic_combined_candidate_score(subject, split->full, size);
        grips.push_back({std::move(*split), score});
      }
    }
  }
  return grips;
}

// The comping anchors made one anchor at a time through the public steps.
std::vector<arrangement_anchor> comping_anchors_plainly(
    const std::vector<arrangement_anchor>& anchors) {
  std::vector<arrangement_anchor> result;
  for (const auto& anchor : anchors) {
    if (!anchor.chord) continue;
    auto candidates = acoustic_comping_candidates_for_chord(*anchor.chord);
    for (const auto& candidate : anchor.candidates) {
      for (auto& scored : grips_cut_plainly(*anchor.chord, candidate.positions)) {
        append_acoustic_comping_candidate(candidates, *anchor.chord, std::move(scored.grip),
                                          scored.score + candidate.score / 24);
      }
    }
    sort_candidates_by_score(candidates);
    if (candidates.size() > 48) candidates.resize(48);
    if (!candidates.empty()) result.push_back(with_candidates(anchor, std::move(candidates)));
  }
  return result;
}

TEST(comping_voicing_test, comping_anchors_equal_those_made_plainly_one_anchor_at_a_time) {
  // Chords that come back, one of them with other grips (two-note plans allowed), and slash
  // chords; every grip of each is cut.
  std::vector<arrangement_anchor> anchors;
  std::int64_t start = 0;
  for (const char* symbol : {"Cmaj7", "Am7", "Dm9", "G7", "C/E", "F#m7b5", "B7b9", "Em", "Cmaj7",
                             "Am7", "Dm9", "G7sus4", "Ab6", "Bb/D", "G13", "Cmaj7"}) {
    anchors.push_back(chord_anchor(symbol, start));
    start += 8192;
  }
  anchors.push_back(chord_anchor("Am7", start, chord_candidates(chord("Am7"), true, false, false)));
  for (const auto& anchor : anchors) {
    for (const auto& candidate : anchor.candidates) {
      ASSERT_EQ(acoustic_comping_grips_for_candidate(*anchor.chord, candidate.positions),
                grips_cut_plainly(*anchor.chord, candidate.positions))
          << anchor.chord_symbol;
    }
  }
  EXPECT_EQ(acoustic_comping_anchors_for_anchors(anchors), comping_anchors_plainly(anchors));

  // Position sets no hand holds at once, with several notes per string: every chord tone on
  // strings 2 to 6 in a window of frets, so the pools are large and their subsets many.
  for (const char* symbol : {"C7", "Am", "Ebmaj7/G"}) {
    const auto subject = chord(symbol);
    for (const int lowest_fret : {0, 3, 7}) {
      grip cloud;
      for (const auto& degree : subject.formula.degrees) {
        for (int string_number = 2; string_number <= 6; ++string_number) {
          for (const auto& place : positions_for_degree_on_string(subject, degree, string_number)) {
            if (place.fret >= lowest_fret && place.fret <= lowest_fret + 4) cloud.push_back(place);
          }
        }
      }
      EXPECT_EQ(acoustic_comping_grips_for_candidate(subject, cloud),
                grips_cut_plainly(subject, cloud))
          << symbol << " " << lowest_fret;
    }
  }
}

TEST(comping_voicing_test, the_voicing_choice_follows_the_acoustic_comping_weights) {
  // Over C7 C7 F7 the acoustic weights keep the hand on strings 5, 3 and 2 at the third fret,
  // where the general weights choose otherwise.
  const auto comping = acoustic_comping_anchors_for_anchors(
      {chord_anchor("C7", 0), chord_anchor("C7", 8192), chord_anchor("F7", 16384)});
  ASSERT_EQ(comping.size(), 3U);
  const auto chosen = selected_acoustic_comping_grips_for_anchors(comping, std::nullopt, 4096);
  const auto path =
      selected_path(comping, transition_profile::acoustic_comping, std::nullopt, 4096);
  ASSERT_NE(path, selected_path(comping, transition_profile::general, std::nullopt, 4096));
  ASSERT_EQ(chosen.size(), 3U);
  for (std::size_t index = 0; index < chosen.size(); ++index) {
    ASSERT_TRUE(chosen[index]) << index;
    EXPECT_EQ(chosen[index]->full, path[index]) << index;
    expect_sound_voicing(*chosen[index], comping[index].chord_symbol);
  }
  EXPECT_EQ(strip_fingering(chosen[2]->full), (grip{at(5, 3), at(3, 2), at(2, 4)}));

  // The previous grip and the gap weigh on the first choice: from a voicing up the neck the hand
  // stays there, though alone the open-position voicing wins.
  const std::vector<arrangement_anchor> one{comping.front()};
  const auto alone = selected_acoustic_comping_grips_for_anchors(one, std::nullopt, 4096);
  const auto high = std::find_if(
      one.front().candidates.begin(), one.front().candidates.end(),
      [](const grip_candidate& candidate) { return anchor_fret(candidate.positions) >= 7; });
  ASSERT_NE(high, one.front().candidates.end());
  const auto continued = selected_acoustic_comping_grips_for_anchors(one, high->positions, 4096);
  ASSERT_EQ(alone.size(), 1U);
  ASSERT_EQ(continued.size(), 1U);
  EXPECT_EQ(alone.front()->full, one.front().candidates.front().positions);
  EXPECT_EQ(continued.front()->full, high->positions);
}

TEST(comping_voicing_test, no_path_gives_no_voicings_and_an_unsplittable_choice_an_empty_one) {
  EXPECT_TRUE(selected_acoustic_comping_grips_for_anchors({}, std::nullopt, 4096).empty());
  const auto comping = acoustic_comping_anchors_for_anchors({chord_anchor("C", 0)});
  const auto no_candidates = with_candidates(chord_anchor("G", 8192), {});
  EXPECT_TRUE(selected_acoustic_comping_grips_for_anchors({comping.front(), no_candidates},
                                                          std::nullopt, 4096)
                  .empty());
  // Positions without a low bass, or breaking the voicing rules, leave their element empty.
  const auto top_strings =
      with_candidates(chord_anchor("C", 8192), {grip_of({at(3, 0), at(2, 1), at(1, 0)}, 0)});
  const auto stretched =
      with_candidates(chord_anchor("C", 16384), {grip_of({at(6, 3), at(3, 5), at(2, 8)}, 0)});
  const auto chosen = selected_acoustic_comping_grips_for_anchors(
      {comping.front(), top_strings, stretched}, std::nullopt, 4096);
  ASSERT_EQ(chosen.size(), 3U);
  EXPECT_TRUE(chosen[0]);
  EXPECT_FALSE(chosen[1]);
  EXPECT_FALSE(chosen[2]);
}

// Electric stabs

TEST(comping_voicing_test, a_grip_is_cut_to_a_four_or_three_note_stab_on_the_top_strings) {
  const auto c7 = chord("C7");
  struct row {
    const char* name;
    grip positions;
    grip expected;  // by pitch, fingers aside
  };
  const row rows[] = {
      {"strings 1 to 4",
       {at(1, 8), at(4, 8), at(2, 8), at(3, 9)},
       {at(4, 8), at(3, 9), at(2, 8), at(1, 8)}},
      {"low strings ignored",
       {at(6, 8), at(5, 7), at(4, 8), at(3, 9), at(2, 8), at(1, 8)},
       {at(4, 8), at(3, 9), at(2, 8), at(1, 8)}},
      {"string 4 out of reach: three notes",
       {at(4, 2), at(3, 9), at(2, 8), at(1, 8)},
       {at(3, 9), at(2, 8), at(1, 8)}},
      {"no string 4: three notes", {at(3, 9), at(2, 8), at(1, 8)}, {at(3, 9), at(2, 8), at(1, 8)}},
      {"a more important tone takes the string",
       {at(4, 8), at(3, 9), at(2, 8), at(1, 8), at(1, 6)},
       {at(4, 8), at(3, 9), at(2, 8), at(1, 6)}},
      {"an equal tone leaves it",
       {at(4, 8), at(3, 9), at(2, 8), at(1, 8), at(1, 3)},
       {at(4, 8), at(3, 9), at(2, 8), at(1, 8)}},
      {"a less important tone leaves it",
       {at(4, 8), at(3, 9), at(2, 8), at(1, 6), at(1, 8)},
       {at(4, 8), at(3, 9), at(2, 8), at(1, 6)}},
      {"nothing on string 1", {at(4, 8), at(3, 9), at(2, 8)}, {}},
      {"string 2 out of reach", {at(4, 8), at(3, 9), at(2, 1), at(1, 8)}, {}},
      {"no positions", {}, {}},
  };
  for (const auto& [name, positions, expected] : rows) {
    const auto stab = electric_stab_positions_for_grip(c7, positions);
    EXPECT_EQ(strip_fingering(stab), expected) << name;
    if (!stab.empty()) {
      EXPECT_EQ(stab, fingered(expected)) << name;
    }
  }
}

TEST(comping_voicing_test, a_stab_costs_its_shape_and_missing_tones_less_280_a_note) {
  const grip stab = fingered({at(4, 8), at(3, 9), at(2, 8), at(1, 8)});  // Bb E G C
  const int fingering = fingering_local_score(stab);
  // Span 1, top fret 9, region 135 x 5 + 95 + 125 x 3 + 140 x 1, both guide tones, four notes.
  const int shape = 180 + 14 * 9 + 1285 + fingering / 4;
  EXPECT_EQ(electric_stab_candidate_score(chord("C7"), stab), shape - 240 - 1120);
  // C9 misses its ninth.
  EXPECT_EQ(electric_stab_candidate_score(chord("C9"), stab), shape + 480 - 240 - 1120);
  // C7#9 with the sharp ninth on string 1 (D#) sounds its colour: no surcharge, 100 off.
  const grip colour = fingered({at(4, 8), at(3, 9), at(2, 8), at(1, 11)});
  const int colour_shape =
      180 * 3 + 14 * 11 + high_fret_region_penalty(colour) + fingering_local_score(colour) / 4;
  EXPECT_EQ(electric_stab_candidate_score(chord("C7#9"), colour), colour_shape - 240 - 100 - 1120);
  EXPECT_EQ(electric_stab_candidate_score(chord("C7"), {}),
            fingering_local_score({}) / 4 + 480 * missing_guide_tone_count(chord("C7"), {}));
}

TEST(comping_voicing_test, stab_candidates_carry_a_16th_of_the_grip_score_within_400) {
  const auto c7 = chord("C7");
  const grip grip_positions{at(4, 8), at(3, 9), at(2, 8), at(1, 8)};
  const auto stab = electric_stab_positions_for_grip(c7, grip_positions);
  const int base = electric_stab_candidate_score(c7, stab);
  struct row {
    int grip_score;
    int share;
  };
  const row rows[] = {{0, 0},
                      {15, 0},
                      {-15, 0},
                      {100, 6},
                      {-100, -6},
                      {6415, 400},
                      {6416, 400},
                      {8000, 400},
                      {-6415, -400},
                      {-6416, -400},
                      {-6400, -400},
                      {-6399, -399},
                      {2147483647, 400},
                      {-2147483647 - 1, -400}};
  for (const auto& [grip_score, share] : rows) {
    const auto anchors = electric_stab_anchors_for_anchors(
        {chord_anchor("C7", 0, {grip_of(grip_positions, grip_score)})});
    ASSERT_EQ(anchors.size(), 1U) << grip_score;
    EXPECT_EQ(anchors.front().candidates,
              (std::vector<grip_candidate>{
                  {stab, "electric-stab-final", base + share, -1, false, false}}))
        << grip_score;
  }
  // Two grips cut to the same stab give one candidate at the lower score.
  const auto merged = electric_stab_anchors_for_anchors(
      {chord_anchor("C7", 0,
                    {grip_of(grip_positions, 160),
                     grip_of({at(5, 7), at(4, 8), at(3, 9), at(2, 8), at(1, 8)}, -160)})});
  ASSERT_EQ(merged.size(), 1U);
  EXPECT_EQ(
      merged.front().candidates,
      (std::vector<grip_candidate>{{stab, "electric-stab-final", base - 10, -1, false, false}}));
}

TEST(comping_voicing_test, stab_anchors_keep_anchors_with_a_stab_and_their_best_48_stabs) {
  arrangement_anchor melody;
  melody.candidates = {grip_of({at(4, 8), at(3, 9), at(2, 8), at(1, 8)}, 0)};
  auto kept = chord_anchor("C7", 8192,
                           {grip_of({at(3, 9), at(2, 8), at(4, 8)}, 0),
                            grip_of({at(4, 8), at(3, 9), at(2, 8), at(1, 8)}, 0)});
  kept.tie_from_previous = true;
  kept.tuplet_id = "t2";
  const auto no_stab = chord_anchor("F7", 16384, {grip_of({at(4, 3), at(3, 2), at(2, 4)}, 0)});
  const auto stab_anchors = electric_stab_anchors_for_anchors({melody, kept, no_stab});
  const auto c7 = chord("C7");
  const auto stab = electric_stab_positions_for_grip(c7, kept.candidates[1].positions);
  EXPECT_EQ(stab_anchors,
            (std::vector<arrangement_anchor>{with_candidates(
                kept, {{stab, "electric-stab-final", electric_stab_candidate_score(c7, stab), -1,
                        false, false}})}));
  EXPECT_TRUE(electric_stab_anchors_for_anchors({}).empty());
  EXPECT_TRUE(selected_electric_stab_grips_for_anchors({}).empty());

  // The melody-mode grips of real chords: many stabs each, the 48 cheapest kept, best first.
  for (const char* symbol : {"C7", "Fmaj7", "Am7", "Bbm7b5", "E7#9", "G13", "Dm", "Ab6"}) {
    const auto anchors = electric_stab_anchors_for_anchors(
        {chord_anchor(symbol, 0, melody_mode_chord_candidates(chord(symbol), true, true))});
    ASSERT_EQ(anchors.size(), 1U) << symbol;
    const auto& candidates = anchors.front().candidates;
    EXPECT_LE(candidates.size(), 48U) << symbol;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto context = std::string{symbol} + " #" + std::to_string(index);
      const auto& positions = candidates[index].positions;
      EXPECT_EQ(candidates[index].label, "electric-stab-final") << context;
      if (index > 0) {
        EXPECT_LE(candidates[index - 1].score, candidates[index].score) << context;
      }
      ASSERT_TRUE(positions.size() == 3 || positions.size() == 4) << context;
      std::vector<int> strings;
      for (const auto& position : positions) strings.push_back(position.string_number);
      std::sort(strings.begin(), strings.end());
      EXPECT_EQ(strings,
                (positions.size() == 4 ? std::vector<int>{1, 2, 3, 4} : std::vector<int>{1, 2, 3}))
          << context;
      EXPECT_TRUE(positions_playable(positions)) << context;
      EXPECT_TRUE(positions_have_valid_fingering(positions)) << context;
      for (std::size_t voice = 1; voice < positions.size(); ++voice) {
        EXPECT_LT(positions[voice - 1].midi, positions[voice].midi) << context;
      }
    }
  }
}

TEST(comping_voicing_test, the_stab_choice_follows_the_electric_stab_weights) {
  // Over C7 C7 E7 the stab weights keep the hand at the fifth fret, where the general weights stay
  // in open position.
  const auto top_string_anchor = [](const char* symbol, std::int64_t start) {
    return chord_anchor(symbol, start, melody_mode_chord_candidates(chord(symbol), true, true));
  };
  const auto stab_anchors = electric_stab_anchors_for_anchors(
      {top_string_anchor("C7", 0), top_string_anchor("C7", 8192), top_string_anchor("E7", 16384)});
  ASSERT_EQ(stab_anchors.size(), 3U);
  const auto path =
      selected_path(stab_anchors, transition_profile::electric_stab_comping, std::nullopt, 4096);
  ASSERT_NE(path, selected_path(stab_anchors, transition_profile::general, std::nullopt, 4096));
  const auto chosen = selected_electric_stab_grips_for_anchors(stab_anchors);
  ASSERT_EQ(chosen.size(), 3U);
  for (std::size_t index = 0; index < chosen.size(); ++index) {
    ASSERT_TRUE(chosen[index]) << index;
    EXPECT_EQ(chosen[index]->positions, path[index]) << index;
    EXPECT_TRUE(positions_have_valid_fingering(chosen[index]->positions)) << index;
  }
  EXPECT_EQ(strip_fingering(chosen[0]->positions), (grip{at(4, 5), at(3, 5), at(2, 5), at(1, 6)}));

  // An anchor without candidates leaves no path.
  EXPECT_TRUE(selected_electric_stab_grips_for_anchors(
                  {stab_anchors[0], with_candidates(stab_anchors[1], {})})
                  .empty());
}

}  // namespace
