#include "arrangement/voicing.hpp"

#include "arrangement/chords.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <algorithm>
#include <array>
#include <set>
#include <string>

namespace {

using namespace orvanta::arrangement_detail;
using grip = std::vector<tab_position>;
using degree_names = std::vector<std::string>;

using grip_fixtures::at;
using grip_fixtures::chord_of;
using grip_fixtures::quality_suffixes;
using grip_fixtures::root_names;

grip_candidate candidate(grip positions, const char* label, int score, std::int64_t note_index = -1,
                         bool flags = false) {
  return {std::move(positions), label, score, note_index, flags, flags};
}

TEST(voicing_test, a_new_candidate_is_appended_with_its_positions_by_pitch) {
  std::vector<grip_candidate> candidates;
  add_unique_candidate(candidates, candidate({at(1, 5), at(4, 7), at(2, 5)}, "a", 10));
  EXPECT_EQ(candidates,
            (std::vector<grip_candidate>{candidate({at(4, 7), at(2, 5), at(1, 5)}, "a", 10)}));
}

TEST(voicing_test, duplicates_keep_one_entry_and_the_cheaper_grip) {
  const grip shell{at(4, 7), at(3, 5)};
  const grip shell_reversed{at(3, 5), at(4, 7)};
  const grip other{at(3, 5), at(2, 5)};
  struct row {
    const char* name;
    std::vector<grip_candidate> inserted;
    std::vector<grip_candidate> expected;
  };
  const row rows[] = {
      {"other order, equal score: the first stays",
       {candidate(shell, "first", 5), candidate(shell_reversed, "second", 5, -1, true)},
       {candidate(shell, "first", 5)}},
      {"higher score: the first stays",
       {candidate(shell, "first", 5), candidate(shell, "second", 6, -1, true)},
       {candidate(shell, "first", 5)}},
      {"strictly lower score replaces the entry whole, in its place",
       {candidate(shell, "first", 5), candidate(other, "other", 0),
        candidate(shell_reversed, "second", 4, -1, true)},
       {candidate(shell, "second", 4, -1, true), candidate(other, "other", 0)}},
      {"another note index is another entry",
       {candidate(shell, "first", 5, 3), candidate(shell, "second", 1, 4)},
       {candidate(shell, "first", 5, 3), candidate(shell, "second", 1, 4)}},
      {"same notes fingered differently are two grips",
       {candidate({at(4, 7, 3), at(3, 5, 1)}, "a", 5),
        candidate({at(4, 7, 4), at(3, 5, 1)}, "b", 1), candidate(shell, "c", 0)},
       {candidate({at(4, 7, 3), at(3, 5, 1)}, "a", 5),
        candidate({at(4, 7, 4), at(3, 5, 1)}, "b", 1), candidate(shell, "c", 0)}},
      {"candidates without positions are duplicates",
       {candidate({}, "first", 5, 2), candidate({}, "second", -5, 2),
        candidate({}, "third", -5, 2)},
       {candidate({}, "second", -5, 2)}},
  };
  for (const auto& [name, inserted, expected] : rows) {
    std::vector<grip_candidate> candidates;
    for (const auto& entry : inserted) add_unique_candidate(candidates, entry);
    EXPECT_EQ(candidates, expected) << name;
  }
}

TEST(voicing_test, sorting_by_score_keeps_equal_scores_in_list_order) {
  std::vector<grip_candidate> candidates{
      candidate({at(2, 5)}, "c", 30), candidate({at(2, 6)}, "a", -10),
      candidate({at(2, 7)}, "d", 30), candidate({at(2, 8)}, "b", 0),
      candidate({at(2, 9)}, "e", 30),
  };
  sort_candidates_by_score(candidates);
  std::string labels;
  for (const auto& entry : candidates) labels += entry.label;
  EXPECT_EQ(labels, "abcde");

  std::vector<grip_candidate> empty;
  sort_candidates_by_score(empty);
  EXPECT_TRUE(empty.empty());
}

}  // namespace

// Chord degrees in grips

TEST(voicing_test, degrees_have_pitch_classes_and_places_on_each_string) {
  EXPECT_EQ(degree_pc(chord_of(11, "maj7"), "9"), 1);
  EXPECT_EQ(degree_pc(chord_of(11, "maj7"), "x"), std::nullopt);
  EXPECT_EQ(degree_pc(chord_of(11, "maj7"), ""), std::nullopt);

  struct row {
    const char* name;
    parsed_chord chord;
    const char* degree;
    int string_number;
    grip expected;
  };
  const row rows[] = {
      {"a second place twelve frets higher", chord_of(0, ""), "9", 2, {at(2, 3), at(2, 15)}},
      {"the open string before fret 12", chord_of(4, ""), "1", 1, {at(1, 0), at(1, 12)}},
      {"one place when the first lies above fret 8", chord_of(0, ""), "b7", 2, {at(2, 11)}},
      {"string 7 is off the board", chord_of(0, ""), "1", 7, {}},
      {"string 0 is off the board", chord_of(0, ""), "1", 0, {}},
      {"an unknown degree has no place", chord_of(0, ""), "B3", 3, {}},
  };
  for (const auto& [name, chord, degree, string_number, expected] : rows) {
    EXPECT_EQ(positions_for_degree_on_string(chord, degree, string_number), expected) << name;
  }
}

TEST(voicing_test, grips_sound_degrees_by_pitch_class) {
  const auto c7 = chord_of(0, "7");
  const grip shell{at(5, 3), at(4, 2), at(3, 3)};  // C, E, Bb
  EXPECT_TRUE(positions_contain_degree(c7, shell, "b7"));
  EXPECT_FALSE(positions_contain_degree(c7, shell, "5"));
  EXPECT_FALSE(positions_contain_degree(c7, shell, "x"));
  EXPECT_EQ(count_present_degrees(c7, shell, {"1", "3", "3", "5", "x"}), 3);
  EXPECT_TRUE(all_degrees_present(c7, {}, {}));
  EXPECT_TRUE(all_degrees_present(c7, shell, {"1", "3"}));
  EXPECT_FALSE(all_degrees_present(c7, shell, {"1", "x"}));
  EXPECT_FALSE(all_degrees_present(c7, shell, {"1", "5"}));
  EXPECT_TRUE(position_matches_any_degree(c7, at(4, 2), {"x", "3"}));
  EXPECT_FALSE(position_matches_any_degree(c7, at(4, 2), {"x", "5"}));

  // A doubled root counts once among the degrees, twice among the positions; a note outside the
  // formula counts in neither.
  const grip doubled{at(5, 3), at(3, 5), at(2, 5), at(1, 2)};  // C, C, E, F#
  EXPECT_EQ(formula_degree_count(c7, doubled), 2);
  EXPECT_EQ(formula_position_count(c7, doubled), 3);
  // "#5" and "b13" of the altered dominant share one pitch class.
  const grip altered{at(5, 3), at(4, 2), at(3, 3), at(2, 9)};  // C, E, Bb, Ab
  EXPECT_EQ(formula_degree_count(chord_of(0, "alt"), altered), 4);
}

TEST(voicing_test, guide_tones_and_required_colours_of_the_qualities) {
  struct row {
    const char* suffix;
    degree_names guides;
    degree_names colors;
    bool basic_shell;
    bool color_shell;
  };
  const row rows[] = {
      {"maj7", {"3", "7"}, {}, true, false},
      {"m7", {"b3", "b7"}, {}, true, false},
      {"7", {"3", "b7"}, {}, true, false},
      {"7sus4", {"4", "b7"}, {}, false, false},
      {"dim7", {"b3", "bb7"}, {"b5", "bb7"}, false, false},
      {"m6", {"b3"}, {"6"}, false, true},
      {"m7b5", {"b3", "b7"}, {"b5"}, false, true},
      {"alt", {"3", "b7"}, {"b9", "#9", "b13", "b5", "#5"}, false, false},
      {"13b9", {"3", "b7"}, {"b9", "13"}, false, false},
      {"9", {"3", "b7"}, {"9"}, false, true},
      {"", {"3"}, {}, false, false},
      {"sus2", {}, {}, false, false},
  };
  for (const auto& [suffix, guides, colors, basic_shell, color_shell] : rows) {
    const auto chord = chord_of(0, suffix);
    SCOPED_TRACE(chord.formula.quality);
    EXPECT_EQ(guide_tone_degrees(chord), guides);
    EXPECT_EQ(required_color_degrees(chord), colors);
    EXPECT_EQ(basic_shell_preferred(chord), basic_shell);
    EXPECT_EQ(color_shell_preferred(chord), color_shell);
  }

  // A melody degree added to the required degrees turns a plain shell into a colour shell.
  auto c7 = chord_of(0, "7");
  c7.formula.required_degrees.push_back("9");
  EXPECT_FALSE(basic_shell_preferred(c7));
  EXPECT_TRUE(color_shell_preferred(c7));
}

TEST(voicing_test, guide_tone_and_colour_counts) {
  const auto c_minor6 = chord_of(0, "m6");
  const grip root_and_fifth{at(5, 3), at(4, 5)};
  const grip minor_third{at(4, 1)};
  EXPECT_EQ(missing_guide_tone_count(c_minor6, root_and_fifth), 0);
  EXPECT_EQ(guide_tone_degree_count(c_minor6, root_and_fifth), 0);
  EXPECT_EQ(guide_tone_degree_count(c_minor6, minor_third), 1);

  const auto c_major7 = chord_of(0, "maj7");
  EXPECT_EQ(missing_guide_tone_count(c_major7, root_and_fifth), 2);
  EXPECT_EQ(missing_guide_tone_count(c_major7, {at(4, 2), at(3, 4)}), 0);  // E, B

  const auto c_alt = chord_of(0, "alt");
  const grip two_altered{at(4, 2), at(3, 3), at(2, 2), at(1, 11)};  // E, Bb, Db, Eb
  const grip unaltered{at(5, 3), at(4, 2), at(3, 3)};               // C, E, Bb
  EXPECT_EQ(required_color_degree_count(c_alt, two_altered), 1);
  EXPECT_EQ(missing_required_color_count(c_alt, two_altered), 0);
  EXPECT_EQ(required_color_degree_count(c_alt, unaltered), 0);
  EXPECT_EQ(missing_required_color_count(c_alt, unaltered), 1);

  const auto c13b9 = chord_of(0, "13b9");
  const grip flat_nine{at(4, 2), at(3, 3), at(2, 2)};  // E, Bb, Db
  EXPECT_EQ(required_color_degree_count(c13b9, flat_nine), 1);
  EXPECT_EQ(missing_required_color_count(c13b9, flat_nine), 1);
  EXPECT_EQ(missing_required_color_count(c_major7, root_and_fifth), 0);
}

TEST(voicing_test, compact_full_melody_degrees_need_four_distinct_degrees) {
  EXPECT_EQ(compact_full_melody_degrees(chord_of(0, "maj7")), (degree_names{"1", "3", "5", "7"}));
  EXPECT_EQ(compact_full_melody_degrees(chord_of(0, "m7b5")),
            (degree_names{"1", "b3", "b5", "b7"}));
  EXPECT_EQ(compact_full_melody_degrees(chord_of(0, "maj9")), degree_names{});
  EXPECT_EQ(compact_full_melody_degrees(chord_of(0, "")), degree_names{});

  auto repeated = chord_of(0, "maj7");
  repeated.formula.degrees = {"1", "3", "x", "3", "5", "7"};
  EXPECT_EQ(compact_full_melody_degrees(repeated), (degree_names{"1", "3", "5", "7"}));
  auto five = chord_of(0, "maj7");
  five.formula.degrees = {"1", "3", "5", "7", "9"};
  EXPECT_EQ(compact_full_melody_degrees(five), degree_names{});
}

// Chord grip score and shape predicates

TEST(voicing_test, high_fret_region_penalty_charges_notes_and_hand_above_the_middle) {
  EXPECT_EQ(high_fret_region_penalty({at(4, 7), at(3, 5), at(2, 2), at(1, 0)}), 0);
  EXPECT_EQ(high_fret_region_penalty({at(3, 8), at(2, 5), at(1, 5)}), 135);
  EXPECT_EQ(high_fret_region_penalty({at(2, 12)}), 2630);
  EXPECT_EQ(high_fret_region_penalty({at(2, 13)}), 810 + 475 + 180 + 125 * 8 + 140 * 6);
  EXPECT_EQ(high_fret_region_penalty({}), 0);
}

TEST(voicing_test, gap_free_upper_cluster_sets_a_low_bass_aside) {
  struct row {
    const char* name;
    grip positions;
    bool expected;
  };
  const row rows[] = {
      {"strings 4 3 2", {at(4, 5), at(3, 5), at(2, 5)}, true},
      {"strings 4 2 leave a gap", {at(4, 5), at(2, 5)}, false},
      {"string 3 twice", {at(4, 5), at(3, 5), at(3, 7)}, false},
      {"bass on string 5 under 4 3", {at(5, 3), at(4, 2), at(3, 0)}, true},
      {"string 6 alone is not set aside", {at(6, 3)}, false},
      {"bass on string 6 under 3 2 1", {at(6, 3), at(3, 4), at(2, 3), at(1, 3)}, true},
      {"bass on string 6 under string 2", {at(2, 5), at(6, 3)}, true},
      {"string 5 above the lowest note", {at(5, 10), at(4, 0), at(3, 4)}, false},
      {"a single upper string", {at(1, 5)}, true},
      {"no positions", {}, false},
  };
  for (const auto& [name, positions, expected] : rows) {
    EXPECT_EQ(has_gap_free_upper_cluster(positions), expected) << name;
    EXPECT_EQ(melody_chord_positions_allowed(positions, true), expected) << name;
    EXPECT_TRUE(melody_chord_positions_allowed(positions, false)) << name;
  }
  EXPECT_TRUE(is_low_chord_string(at(5, 0)));
  EXPECT_TRUE(is_low_chord_string(at(6, 0)));
  EXPECT_FALSE(is_low_chord_string(at(4, 0)));
}

TEST(voicing_test, bass_distance_and_matching_positions) {
  EXPECT_EQ(bass_to_upper_string_distance({at(6, 3), at(4, 5), at(2, 5)}), 2);
  EXPECT_EQ(bass_to_upper_string_distance({at(2, 5), at(5, 3)}), 3);
  EXPECT_EQ(bass_to_upper_string_distance({at(4, 5), at(2, 5)}), std::nullopt);
  EXPECT_EQ(bass_to_upper_string_distance({at(6, 3)}), std::nullopt);
  EXPECT_EQ(bass_to_upper_string_distance({at(6, 3), at(6, 3, 2)}), std::nullopt);

  const grip fingered{at(4, 5, 2), at(3, 5, 3)};
  EXPECT_EQ(position_matching(at(3, 5), fingered), at(3, 5, 3));
  EXPECT_EQ(position_matching(at(3, 5, 1), fingered), at(3, 5, 3));
  EXPECT_EQ(position_matching(at(3, 6), fingered), std::nullopt);
}

TEST(voicing_test, compact_full_melody_chords_fill_the_top_four_strings) {
  const auto c_major7 = chord_of(0, "maj7");
  EXPECT_TRUE(
      positions_are_compact_full_melody_chord(c_major7, {at(4, 10), at(3, 9), at(2, 8), at(1, 7)}));
  EXPECT_FALSE(positions_are_compact_full_melody_chord(  // root doubled, no seventh
      c_major7, {at(4, 10), at(3, 9), at(2, 8), at(1, 8)}));
  EXPECT_FALSE(positions_are_compact_full_melody_chord(  // strings 5 to 2
      c_major7, {at(5, 3), at(4, 2), at(3, 4), at(2, 5)}));
  EXPECT_FALSE(positions_are_compact_full_melody_chord(chord_of(0, "maj9"),
                                                       {at(4, 10), at(3, 9), at(2, 8), at(1, 7)}));
}

TEST(voicing_test, chord_candidate_score_of_worked_grips) {
  struct row {
    const char* name;
    parsed_chord chord;
    grip positions;
    bool allow_two_note;
    bool melody_mode;
    int expected;
  };
  const grip top_strings_major7{at(4, 10), at(3, 9), at(2, 8), at(1, 7)};
  // C, E, G and C again over a low C: a doubled root and no seventh.
  const grip open_c{at(5, 3), at(4, 2), at(3, 0), at(2, 1)};
  const grip root_and_fifth{at(5, 3), at(4, 5)};
  const row rows[] = {
      {"Cmaj7 on the top strings", chord_of(0, "maj7"), top_strings_major7, false, false, 2516},
      {"the same under a melody note", chord_of(0, "maj7"), top_strings_major7, false, true, -4324},
      // 282 + 40, -230 + 900, -165, +2600 - 360, +620 + 620 for the missing seventh, -760 + 1450
      // - 300 + 960 for the shell, +260 (+80 when two-note grips are allowed).
      {"a doubled root without the seventh", chord_of(0, "maj7"), open_c, false, false, 5917},
      {"the same with two-note grips allowed", chord_of(0, "maj7"), open_c, true, false, 5737},
      // 210, +1800 for the missing b3 and 6, +1200 for the missing colour, -110, and as a colour
      // shell -360 + 1280; no guide-tone terms with a single guide tone; +820 for two notes.
      {"root and fifth of a minor sixth", chord_of(0, "m6"), root_and_fifth, false, false, 4840},
      {"two notes cost 700 less when allowed", chord_of(0, "m6"), root_and_fifth, true, false,
       4140},
  };
  for (const auto& [name, chord, positions, allow_two_note, melody_mode, expected] : rows) {
    EXPECT_EQ(chord_candidate_score(chord, positions, allow_two_note, melody_mode), expected)
        << name;
  }
}

// Stock fingering

TEST(voicing_test, stock_fingering_score_adds_bass_same_fret_and_barre_habits) {
  struct row {
    const char* name;
    grip positions;
    int extra;
  };
  const row rows[] = {
      {"ring finger on a bass on string 5", {at(5, 3, 3), at(4, 2, 2), at(3, 0), at(2, 1, 1)}, 320},
      {"open bass on string 6 and a missed two-string barre",
       {at(6, 0), at(4, 2, 2), at(3, 2, 3), at(2, 0)},
       160},
      {"the suggested index barre over three strings",
       {at(4, 5, 1), at(3, 5, 1), at(2, 5, 1)},
       -590},
      {"falling fingers at one fret, neighbours only, and a missed barre",
       {at(4, 5, 3), at(3, 5, 2), at(2, 5, 1)},
       420 + 420 + 520},
      {"index over a skipped string", {at(4, 5, 1), at(2, 5, 1)}, 260},
  };
  for (const auto& [name, positions, extra] : rows) {
    ASSERT_TRUE(positions_have_valid_fingering(positions)) << name;
    EXPECT_EQ(stock_fingering_score(positions) - fingering_local_score(positions), extra) << name;
  }
  const grip unfingered{at(4, 5), at(3, 5)};
  EXPECT_EQ(stock_fingering_score(unfingered), fingering_local_score(unfingered));
}

TEST(voicing_test, stock_fingering_candidates_keep_the_four_best_in_a_fixed_order) {
  // All six fingerings cost 502; each falling pair of fingers on strings 3, 2, 1 adds 420, and
  // equal costs are ordered by the finger on string 3, then on string 2.
  const auto candidates = stock_fingering_candidates({at(1, 5), at(2, 5), at(3, 5), at(4, 2)});
  const std::vector<fingered_position_candidate> expected{
      {{at(4, 2, 1), at(3, 5, 2), at(2, 5, 3), at(1, 5, 4)}, 502, false},
      {{at(4, 2, 1), at(3, 5, 2), at(2, 5, 4), at(1, 5, 3)}, 922, false},
      {{at(4, 2, 1), at(3, 5, 3), at(2, 5, 2), at(1, 5, 4)}, 922, false},
      {{at(4, 2, 1), at(3, 5, 3), at(2, 5, 4), at(1, 5, 2)}, 922, false},
  };
  EXPECT_EQ(candidates, expected);

  EXPECT_TRUE(stock_fingering_candidates({at(4, 2), at(3, 7)}).empty());
  EXPECT_EQ(stock_fingering_candidates({at(1, 0), at(2, 0)}),
            (std::vector<fingered_position_candidate>{{{at(2, 0), at(1, 0)}, -25, false}}));
}

// Chord candidates

bool holds_place(const grip& positions, const tab_position& place) {
  return position_matching(place, positions).has_value();
}

TEST(voicing_test, two_note_grips_come_only_when_allowed_and_on_two_string_sets) {
  const auto c_major7 = chord_of(0, "maj7");
  const auto without = chord_candidates(c_major7, false, false, false);
  ASSERT_FALSE(without.empty());
  for (const auto& candidate : without) EXPECT_GE(candidate.positions.size(), 3u);

  const std::set<std::vector<int>> two_string_sets{{6, 4}, {5, 3}, {4, 3}, {3, 2}};
  int two_note_grips = 0;
  for (const auto& candidate : chord_candidates(c_major7, true, false, false)) {
    if (candidate.positions.size() != 2) continue;
    ++two_note_grips;
    EXPECT_TRUE(two_string_sets.contains(chord_string_numbers(candidate.positions)));
  }
  EXPECT_GT(two_note_grips, 0);

  // A major triad has no two-degree plan at all; its only four-note grips are the stock shape of
  // root, third, fifth and root on strings 5 to 2.
  bool has_triad = false;
  for (const auto& candidate : chord_candidates(chord_of(0, ""), true, false, false)) {
    EXPECT_NE(candidate.positions.size(), 2u);
    has_triad = has_triad || candidate.positions.size() == 3;
    if (candidate.positions.size() != 4) continue;
    EXPECT_EQ(candidate.label, "stock-guitar-shape");
    EXPECT_EQ(chord_string_numbers(candidate.positions), (std::vector<int>{5, 4, 3, 2}));
  }
  EXPECT_TRUE(has_triad);
}

TEST(voicing_test, a_higher_string_never_sounds_below_a_lower_one) {
  // G7 on 1 b7 3 over strings 6 4 3: the root at fret 15 lies above the seventh at fret 3 of
  // string 4 and is discarded; the root at fret 3 passes.
  bool has_low_root_shell = false;
  for (const auto& candidate : chord_candidates(chord_of(7, "7"), false, false, false)) {
    EXPECT_FALSE(holds_place(candidate.positions, at(6, 15)) &&
                 holds_place(candidate.positions, at(4, 3)));
    has_low_root_shell = has_low_root_shell ||
                         strip_fingering(candidate.positions) == grip{at(6, 3), at(4, 3), at(3, 4)};
  }
  EXPECT_TRUE(has_low_root_shell);
}

TEST(voicing_test, melody_chords_form_an_upper_cluster_over_an_optional_bass) {
  std::set<std::vector<int>> string_sets;
  for (int root = 0; root < 12; ++root) {
    for (const auto& candidate : chord_candidates(chord_of(root, "7"), true, true, false)) {
      EXPECT_TRUE(has_gap_free_upper_cluster(candidate.positions));
      string_sets.insert(chord_string_numbers(candidate.positions));
    }
  }
  EXPECT_FALSE(string_sets.contains({4, 2, 1}));
  EXPECT_TRUE(string_sets.contains({6, 4, 3, 2}));
  EXPECT_TRUE(string_sets.contains({5, 3, 2, 1}));
}

TEST(voicing_test, duplicate_grips_keep_the_cheaper_source_and_fingerings_stay_apart) {
  // The stock shape 1 5 b7 3 on strings 5 4 3 2 is also a drop voicing plan; the far cheaper stock
  // grip keeps its label.
  const auto c7 = chord_of(0, "7");
  const auto candidates = chord_candidates(c7, false, false, false);
  int shape_grips = 0;
  for (const auto& candidate : candidates) {
    const auto& positions = candidate.positions;
    if (chord_string_numbers(positions) != std::vector<int>{5, 4, 3, 2}) continue;
    const bool root_fifth_seventh_third = positions_contain_degree(c7, {positions[0]}, "1") &&
                                          positions_contain_degree(c7, {positions[1]}, "5") &&
                                          positions_contain_degree(c7, {positions[2]}, "b7") &&
                                          positions_contain_degree(c7, {positions[3]}, "3");
    if (!root_fifth_seventh_third) continue;
    ++shape_grips;
    EXPECT_EQ(candidate.label, "stock-guitar-shape");
  }
  EXPECT_GT(shape_grips, 0);

  bool fingered_twice = false;
  for (std::size_t first = 0; first < candidates.size(); ++first) {
    for (std::size_t second = first + 1; second < candidates.size(); ++second) {
      const auto& left = candidates[first].positions;
      const auto& right = candidates[second].positions;
      EXPECT_NE(left, right);
      fingered_twice = fingered_twice || strip_fingering(left) == strip_fingering(right);
    }
  }
  EXPECT_TRUE(fingered_twice);
}

TEST(voicing_test, a_chord_without_realisable_templates_has_no_grips) {
  parsed_chord unknown{"C?", 0, std::nullopt, {"major", {"x"}, {"x"}, {}, chord_family::major}};
  EXPECT_TRUE(chord_candidates(unknown, true, false, false).empty());
  EXPECT_TRUE(melody_mode_chord_candidates(unknown, true, false).empty());
}

TEST(voicing_test, melody_mode_adds_the_exact_grip_where_it_fits) {
  const grip exact{at(4, 2), at(3, 0), at(2, 2), at(1, 0)};
  const auto exact_grips = [&](const parsed_chord& chord) {
    int count = 0;
    for (const auto& candidate : melody_mode_chord_candidates(chord, false, false)) {
      if (candidate.label != "electric-melody-exact-grip") continue;
      ++count;
      EXPECT_EQ(strip_fingering(candidate.positions), exact);
    }
    return count;
  };
  EXPECT_GT(exact_grips(chord_of(9, "7b9")), 0);
  EXPECT_EQ(exact_grips(chord_of(0, "7b9")), 0);
  for (const auto& candidate : chord_candidates(chord_of(9, "7b9"), false, false, false)) {
    EXPECT_NE(candidate.label, "electric-melody-exact-grip");
  }
}

TEST(voicing_test, the_slash_bass_changes_no_grip) {
  for (const char* symbol : {"C7/E", "Am7/G", "F/C"}) {
    const std::string text = symbol;
    const auto slashed = *parse_chord_symbol(text);
    const auto plain = *parse_chord_symbol(text.substr(0, text.find('/')));
    EXPECT_EQ(chord_candidates(slashed, true, false, false),
              chord_candidates(plain, true, false, false))
        << symbol;
    EXPECT_EQ(melody_mode_chord_candidates(slashed, false, true),
              melody_mode_chord_candidates(plain, false, true))
        << symbol;
  }
}

// The melody-mode list is the melody-mode chord list cut down to strings 1 to 4, order included.
TEST(voicing_test, melody_mode_grips_are_the_upper_string_chord_grips) {
  for (std::size_t quality = 0; quality < quality_suffixes.size(); ++quality) {
    const auto chord = chord_of(static_cast<int>(quality % 12), quality_suffixes[quality]);
    const bool allow_two_note = quality % 2 == 0;
    const bool melody_chord = quality % 4 < 2;
    std::vector<grip_candidate> expected;
    for (const auto& candidate :
         standard_jazz_chord_candidates(chord, allow_two_note, melody_chord, true)) {
      if (positions_use_upper_melody_strings(candidate.positions)) {
        add_unique_candidate(expected, candidate);
      }
    }
    sort_candidates_by_score(expected);
    EXPECT_EQ(melody_mode_chord_candidates(chord, allow_two_note, melody_chord), expected)
        << chord.symbol;
  }
}

// Every quality on every root, each with one combination of the three flags in turn.
TEST(voicing_test, every_chord_grip_is_playable_fingered_rising_and_sorted) {
  const std::set<std::string> labels{"stock-guitar-shape", "electric-melody-exact-grip",
                                     "standard-jazz"};
  const auto check_list = [&](const std::vector<grip_candidate>& candidates, bool allow_two_note,
                              bool melody_chord, bool upper_strings_only) {
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto& candidate = candidates[index];
      const auto& positions = candidate.positions;
      EXPECT_TRUE(positions_playable(positions));
      EXPECT_TRUE(positions_have_string_order(positions));
      EXPECT_TRUE(positions_have_valid_fingering(positions));
      EXPECT_TRUE(std::is_sorted(
          positions.begin(), positions.end(),
          [](const auto& left, const auto& right) { return left.midi < right.midi; }));
      EXPECT_TRUE(labels.contains(candidate.label)) << candidate.label;
      EXPECT_EQ(candidate.note_index, -1);
      EXPECT_FALSE(candidate.melody_on_top || candidate.contains_melody);
      if (!allow_two_note) {
        EXPECT_GE(positions.size(), 3u);
      }
      if (melody_chord) {
        EXPECT_TRUE(has_gap_free_upper_cluster(positions));
      }
      if (upper_strings_only) {
        EXPECT_TRUE(positions_use_upper_melody_strings(positions));
      }
      if (index > 0) {
        EXPECT_LE(candidates[index - 1].score, candidate.score);
      }
    }
  };
  std::size_t total = 0;
  for (std::size_t quality = 0; quality < quality_suffixes.size(); ++quality) {
    for (int root = 0; root < 12; ++root) {
      const auto chord = chord_of(root, quality_suffixes[quality]);
      SCOPED_TRACE(chord.symbol);
      const auto flags = (quality + static_cast<std::size_t>(root)) % 8;
      const bool allow_two_note = (flags & 1) != 0;
      const bool melody_chord = (flags & 2) != 0;
      const bool melody_mode = (flags & 4) != 0;
      const auto chord_grips = chord_candidates(chord, allow_two_note, melody_chord, melody_mode);
      const auto melody_grips = melody_mode_chord_candidates(chord, allow_two_note, melody_chord);
      check_list(chord_grips, allow_two_note, melody_chord, false);
      check_list(melody_grips, allow_two_note, melody_chord, true);
      total += chord_grips.size() + melody_grips.size();
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(total, 0u);
}
