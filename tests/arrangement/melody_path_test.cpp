#include "arrangement/melody_path.hpp"

#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

using grip_fixtures::at;
using grip_fixtures::chord_of;

using grip = std::vector<tab_position>;

constexpr auto general = transition_profile::general;
constexpr auto melody_line = transition_profile::melody_line;
constexpr auto acoustic_comping = transition_profile::acoustic_comping;
constexpr auto electric_stab_comping = transition_profile::electric_stab_comping;
constexpr auto unknown_profile = static_cast<transition_profile>(7);

// Transition cost

TEST(melody_path_test, transition_costs_of_worked_moves) {
  // Every expected value was added up by hand, step by step, from the weights of the profile.
  const grip three_strings{at(4, 5, 1), at(3, 7, 3), at(2, 6, 2)};
  const grip index_barre{at(2, 5, 1), at(1, 5, 1)};
  const grip two_string_barre{at(3, 5, 1), at(2, 5, 1)};
  struct row {
    const char* name;
    grip source;
    grip target;
    transition_profile profile;
    std::int64_t gap;
    int expected;
  };
  const row rows[] = {
      {"staying on a fingered note", {at(2, 5, 1)}, {at(2, 5, 1)}, melody_line, 4096, -1545},
      {"staying on an open string", {at(1, 0)}, {at(1, 0)}, melody_line, 4096, -1375},
      {"same place, other finger", {at(2, 5, 1)}, {at(2, 5, 2)}, melody_line, 4096, -954},
      {"three frets up a string", {at(2, 5, 1)}, {at(2, 8, 4)}, melody_line, 4096, 404},
      {"three frets up a string, an eighth later",
       {at(2, 5, 1)},
       {at(2, 8, 4)},
       melody_line,
       2048,
       752},
      {"three frets up a string, a sixteenth later",
       {at(2, 5, 1)},
       {at(2, 8, 4)},
       melody_line,
       1024,
       1100},
      {"to the next string two frets down", {at(2, 5, 1)}, {at(1, 3, 1)}, melody_line, 4096, 921},
      {"acoustic shift of the anchor by 6 and the hand by 4",
       {at(3, 2, 1)},
       {at(4, 6, 1), at(3, 8, 3)},
       acoustic_comping,
       4096,
       12014},
      {"stab shift of the anchor by 4",
       {at(3, 2, 1)},
       {at(3, 6, 1)},
       electric_stab_comping,
       4096,
       1001},
      {"stab shift of the anchor by 5",
       {at(3, 2, 1)},
       {at(3, 7, 1)},
       electric_stab_comping,
       4096,
       2000},
      {"stab shift of the anchor by 7",
       {at(3, 2, 1)},
       {at(3, 9, 1)},
       electric_stab_comping,
       4096,
       5598},
      {"barre formed, general", {at(3, 7, 3)}, index_barre, general, 4096, 580},
      {"barre formed, melody line", {at(3, 7, 3)}, index_barre, melody_line, 4096, 1119},
      {"barre formed, acoustic", {at(3, 7, 3)}, index_barre, acoustic_comping, 4096, 1443},
      {"barre formed, stabs", {at(3, 7, 3)}, index_barre, electric_stab_comping, 4096, 870},
      {"barre formed, unknown profile", {at(3, 7, 3)}, index_barre, unknown_profile, 4096, 580},
      {"barre moved and widened",
       two_string_barre,
       {at(4, 7, 1), at(3, 7, 1), at(2, 7, 1)},
       general,
       4096,
       478},
      {"barre released", two_string_barre, {at(2, 5, 1)}, electric_stab_comping, 4096, -353},
      {"same three strings keeping two positions",
       three_strings,
       {at(4, 5, 1), at(3, 7, 3), at(2, 8, 4)},
       acoustic_comping,
       4096,
       -2645},
      {"three strings sharing one",
       three_strings,
       {at(6, 3, 1), at(2, 5, 3), at(1, 5, 4)},
       general,
       4096,
       834},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(transition_score(row.source, row.target, row.profile, row.gap), row.expected)
        << row.name;
  }
}

TEST(melody_path_test, an_empty_grip_costs_nothing_and_unknown_profiles_weigh_like_general) {
  const grip chord{at(4, 5, 1), at(3, 7, 3), at(2, 6, 2)};
  for (const auto profile :
       {general, melody_line, acoustic_comping, electric_stab_comping, unknown_profile}) {
    EXPECT_EQ(transition_score({}, chord, profile, 1024), 0);
    EXPECT_EQ(transition_score(chord, {}, profile, 1024), 0);
    EXPECT_EQ(transition_score({}, {}, profile, 1024), 0);
  }
  const std::vector<grip> grips{chord, {at(2, 5, 1)}, {at(1, 0)}, {at(5, 3, 2), at(3, 2, 1)}};
  for (const auto& source : grips) {
    for (const auto& target : grips) {
      EXPECT_EQ(transition_score(source, target, unknown_profile, 1024),
                transition_score(source, target, general, 1024));
    }
  }
  EXPECT_EQ(transition_fingering_weight(unknown_profile), 62);
  EXPECT_EQ(transition_anchor_weight(unknown_profile), 30);
  EXPECT_EQ(transition_hand_weight(unknown_profile), 22);
  EXPECT_FALSE(transition_uses_melody_line_scoring(unknown_profile));
}

TEST(melody_path_test, short_gaps_make_movement_dearer) {
  struct row {
    std::int64_t gap;
    bool melody_line;
    int expected;
  };
  const row rows[] = {
      {1024, true, 3}, {1025, true, 2},  {2048, true, 2},      {2049, true, 1},
      {4096, true, 1}, {1024, false, 2}, {1025, false, 1},     {2048, false, 1},
      {0, false, 2},   {-4096, true, 3}, {INT64_MAX, true, 1}, {INT64_MIN, false, 2},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(transition_speed_multiplier(row.gap, row.melody_line), row.expected)
        << row.gap << (row.melody_line ? " melody" : "");
  }
}

TEST(melody_path_test, grip_measures) {
  const grip chord{at(4, 5, 1), at(3, 7, 3), at(2, 5, 1), at(1, 0)};
  EXPECT_EQ(hand_position_fret(chord), 5);
  EXPECT_EQ(hand_position_fret({at(1, 0), at(2, 0)}), 0);
  EXPECT_EQ(max_fretted_fret(chord), 7);
  EXPECT_EQ(max_fretted_fret({}), 0);

  // Finger 1 lies on strings 4 and 2 at fret 5: mean string 3, span 2; open strings and
  // positions without a finger are no finger's.
  const auto locations =
      finger_locations({at(4, 5, 1), at(3, 7, 3), at(2, 5, 1), at(1, 0, 1), at(5, 8)});
  EXPECT_EQ(locations[0], (finger_location{5, 30, 2, 2}));
  EXPECT_EQ(locations[1], std::nullopt);
  EXPECT_EQ(locations[2], (finger_location{7, 30, 0, 1}));
  EXPECT_EQ(locations[3], std::nullopt);
  // Means truncate: frets 5 and 6 give 5, strings 1 and 2 give 15.
  EXPECT_EQ(finger_locations({at(1, 6, 2), at(2, 5, 2)})[1], (finger_location{5, 15, 1, 2}));

  EXPECT_EQ(same_string_fret_count(chord, {at(4, 5, 2), at(3, 8, 3), at(1, 0), at(6, 5)}), 2);
  EXPECT_EQ(same_string_fret_count({}, chord), 0);
}

// Grip path search

TEST(melody_path_test, a_worst_move_decides_only_beyond_1800_and_otherwise_the_total) {
  struct row {
    const char* name;
    path_score a;
    path_score b;
    bool a_better;
    bool b_better;
  };
  const row rows[] = {
      {"worst apart by 2000", {5000, 100}, {3000, 9000}, false, true},
      {"worst apart by exactly 1800", {4800, 100}, {3000, 9000}, true, false},
      {"worst apart by 1801", {4801, 100}, {3000, 9000}, false, true},
      {"equal scores", {300, 700}, {300, 700}, false, false},
      {"totals beyond 32 bits", {0, INT64_C(5000000000)}, {0, INT64_C(4000000000)}, false, true},
      {"worst at the top of the range", {INT_MAX, 0}, {INT_MAX - 1000, 5}, true, false},
      {"worst at the bottom of the range", {INT_MIN, 5}, {0, 0}, true, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(better_path_score(row.a, row.b), row.a_better) << row.name;
    EXPECT_EQ(better_path_score(row.b, row.a), row.b_better) << row.name;
  }
}

arrangement_anchor anchor_at(std::int64_t start, std::vector<grip_candidate> candidates) {
  arrangement_anchor anchor;
  anchor.start_ticks = start;
  anchor.candidates = std::move(candidates);
  return anchor;
}

grip_candidate candidate(grip positions, int score) {
  grip_candidate result;
  result.positions = std::move(positions);
  result.score = score;
  return result;
}

TEST(melody_path_test, no_path_without_anchors_or_with_an_anchor_without_candidates) {
  const auto note = candidate({at(2, 5, 1)}, 0);
  EXPECT_TRUE(selected_candidate_indexes({}, melody_line, std::nullopt, 4096).empty());
  EXPECT_TRUE(selected_path({}, melody_line, grip{at(2, 5, 1)}, 4096).empty());
  const std::vector<arrangement_anchor> gap_in_middle{anchor_at(0, {note}), anchor_at(4096, {}),
                                                      anchor_at(8192, {note})};
  EXPECT_TRUE(selected_candidate_indexes(gap_in_middle, melody_line, std::nullopt, 4096).empty());
  EXPECT_TRUE(selected_path(gap_in_middle, melody_line, std::nullopt, 4096).empty());
}

TEST(melody_path_test, a_single_anchor_without_a_previous_grip_takes_the_first_lowest_score) {
  const std::vector<arrangement_anchor> anchors{
      anchor_at(0, {candidate({at(2, 12, 1)}, 40), candidate({at(3, 5, 1)}, 10),
                    candidate({at(2, 5, 1)}, 10), candidate({at(1, 0)}, 25)})};
  EXPECT_EQ(selected_candidate_indexes(anchors, melody_line, std::nullopt, 4096),
            std::vector<std::size_t>{1});
  EXPECT_EQ(selected_path(anchors, melody_line, std::nullopt, 4096),
            std::vector<grip>{{at(3, 5, 1)}});
}

TEST(melody_path_test, the_order_of_the_candidates_decides_among_untransitive_scores) {
  // From the previous note the three candidates cost 0 (worst; -1545 in the total), 1368 and
  // 2332: the first and the last are more than 1800 apart, each neighbouring pair is not, and
  // the totals fall from one to the next. Walked in order, each one beats the one before.
  const grip previous{at(2, 5, 1)};
  const grip stay{at(2, 5, 1)};
  const grip up_five{at(2, 10, 4)};
  const grip up_seven{at(2, 12, 4)};
  ASSERT_EQ(transition_score(previous, stay, melody_line, 4096), -1545);
  ASSERT_EQ(transition_score(previous, up_five, melody_line, 4096), 1368);
  ASSERT_EQ(transition_score(previous, up_seven, melody_line, 4096), 2332);
  const auto stay_candidate = candidate(stay, 300);            // total -1245
  const auto up_five_candidate = candidate(up_five, -2700);    // total -1332
  const auto up_seven_candidate = candidate(up_seven, -3700);  // total -1368

  const std::vector<arrangement_anchor> rising{
      anchor_at(0, {stay_candidate, up_five_candidate, up_seven_candidate})};
  EXPECT_EQ(selected_path(rising, melody_line, previous, 4096), std::vector<grip>{up_seven});
  const std::vector<arrangement_anchor> falling{
      anchor_at(0, {up_seven_candidate, up_five_candidate, stay_candidate})};
  EXPECT_EQ(selected_path(falling, melody_line, previous, 4096), std::vector<grip>{stay});
}

TEST(melody_path_test, a_small_worst_move_beats_a_lower_total_only_beyond_the_band) {
  // From one note to either of two: a near one and a far one, whose move costs more than 1800
  // beyond the near one's. The far one is made cheaper in total by its own score; the near one
  // still wins. Within the band the total decides.
  const grip from{at(2, 5, 1)};
  const grip near{at(3, 5, 2)};
  const grip far{at(2, 12, 4)};
  const grip middle{at(2, 10, 4)};
  const int near_cost = transition_score(from, near, melody_line, 4096);
  const int far_cost = transition_score(from, far, melody_line, 4096);
  const int middle_cost = transition_score(from, middle, melody_line, 4096);
  ASSERT_GT(far_cost, near_cost + 1800);
  ASSERT_LE(middle_cost, near_cost + 1800);

  const auto cheaper_by = [&](int cost, int other_cost) { return other_cost - cost - 100; };
  const std::vector<arrangement_anchor> far_cheaper{
      anchor_at(0, {candidate(from, 0)}),
      anchor_at(4096, {candidate(near, 0), candidate(far, cheaper_by(far_cost, near_cost))})};
  EXPECT_EQ(selected_candidate_indexes(far_cheaper, melody_line, std::nullopt, 4096),
            (std::vector<std::size_t>{0, 0}));
  const std::vector<arrangement_anchor> middle_cheaper{
      anchor_at(0, {candidate(from, 0)}),
      anchor_at(4096, {candidate(near, 0), candidate(middle, cheaper_by(middle_cost, near_cost))})};
  EXPECT_EQ(selected_candidate_indexes(middle_cheaper, melody_line, std::nullopt, 4096),
            (std::vector<std::size_t>{0, 1}));
}

TEST(melody_path_test, equal_offers_keep_the_first_predecessor) {
  const auto note = candidate({at(2, 5, 1)}, 0);
  const std::vector<arrangement_anchor> anchors{anchor_at(0, {note, note, note}),
                                                anchor_at(4096, {note, note})};
  EXPECT_EQ(selected_candidate_indexes(anchors, melody_line, std::nullopt, 4096),
            (std::vector<std::size_t>{0, 0}));
}

TEST(melody_path_test, the_previous_grip_prices_only_the_first_anchor) {
  // Staying costs -1545 from the previous note: (worst 0, total score - 1545) beats a cheaper
  // candidate far away.
  const grip previous{at(2, 5, 1)};
  const std::vector<arrangement_anchor> single{
      anchor_at(0, {candidate({at(2, 12, 4)}, 0), candidate({at(2, 5, 1)}, 1000)})};
  EXPECT_EQ(selected_candidate_indexes(single, melody_line, previous, 4096),
            std::vector<std::size_t>{1});
  EXPECT_EQ(selected_candidate_indexes(single, melody_line, std::nullopt, 4096),
            std::vector<std::size_t>{0});
}

TEST(melody_path_test, anchors_are_priced_with_their_own_distance) {
  // Three frets up the string costs 404 a quarter note later and 752 an eighth later; the move
  // to the next string costs 233 at any distance and carries 300 of its own.
  const grip from{at(2, 5, 1)};
  const grip up{at(2, 8, 4)};
  const grip across{at(3, 5, 2)};
  ASSERT_EQ(transition_score(from, up, melody_line, 4096), 404);
  ASSERT_EQ(transition_score(from, up, melody_line, 2048), 752);
  ASSERT_EQ(transition_score(from, across, melody_line, 4096), 233);
  ASSERT_EQ(transition_score(from, across, melody_line, 2048), 233);
  const auto path_for = [&](std::int64_t distance, std::int64_t gap) {
    const std::vector<arrangement_anchor> anchors{
        anchor_at(0, {candidate(from, 0)}),
        anchor_at(distance, {candidate(up, 0), candidate(across, 300)})};
    return selected_path(anchors, melody_line, std::nullopt, gap);
  };
  EXPECT_EQ(path_for(4096, 4096), (std::vector<grip>{from, up}));
  EXPECT_EQ(path_for(2048, 4096), (std::vector<grip>{from, across}));
  EXPECT_EQ(path_for(4096, 1024), (std::vector<grip>{from, up}));
}

// The search as it reads: every pair priced with transition_score, 32-bit scores widened only in
// the totals, predecessors offered in order.
std::vector<std::size_t> reference_indexes(const std::vector<arrangement_anchor>& anchors,
                                           transition_profile profile,
                                           const std::optional<grip>& previous, std::int64_t gap) {
  if (anchors.empty()) return {};
  for (const auto& anchor : anchors) {
    if (anchor.candidates.empty()) return {};
  }
  std::vector<std::vector<path_score>> scores(anchors.size());
  std::vector<std::vector<std::size_t>> from(anchors.size());
  for (const auto& first : anchors[0].candidates) {
    const int t = previous ? transition_score(*previous, first.positions, profile, gap) : 0;
    scores[0].push_back({std::max(t, 0), std::int64_t{t} + first.score});
  }
  for (std::size_t i = 1; i < anchors.size(); ++i) {
    const auto& candidates = anchors[i].candidates;
    scores[i].assign(candidates.size(), {unreached_path_cost, unreached_path_cost});
    from[i].assign(candidates.size(), 0);
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      for (std::size_t l = 0; l < anchors[i - 1].candidates.size(); ++l) {
        const int t =
            transition_score(anchors[i - 1].candidates[l].positions, candidates[k].positions,
                             profile, anchors[i].start_ticks - anchors[i - 1].start_ticks);
        const path_score offered{std::max(scores[i - 1][l].worst, std::max(t, 0)),
                                 scores[i - 1][l].total + t + candidates[k].score};
        if (better_path_score(offered, scores[i][k])) {
          scores[i][k] = offered;
          from[i][k] = l;
        }
      }
    }
  }
  std::vector<std::size_t> chosen(anchors.size(), 0);
  for (std::size_t k = 1; k < scores.back().size(); ++k) {
    if (better_path_score(scores.back()[k], scores.back()[chosen.back()])) chosen.back() = k;
  }
  for (std::size_t i = anchors.size() - 1; i > 0; --i) chosen[i - 1] = from[i][chosen[i]];
  return chosen;
}

TEST(melody_path_test, the_search_matches_the_pairwise_reference_on_varied_anchors) {
  std::vector<grip_candidate> pool;
  for (const char* suffix : {"maj7", "m7", "7", "7b9", "m7b5", "6", ""}) {
    const auto grips = chord_candidates(chord_of(7, suffix), true, false, false);
    for (std::size_t index = 0; index < grips.size(); index += 3) pool.push_back(grips[index]);
  }
  for (int midi = 55; midi <= 76; midi += 3) {
    for (const auto& position : positions_for_midi(midi, upper_melody_strings())) {
      for (auto& single : melody_candidates(position)) pool.push_back(std::move(single));
    }
  }
  ASSERT_GT(pool.size(), 100u);

  std::uint32_t state = 2024;
  const auto draw = [&](std::uint32_t bound) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % bound;
  };
  const transition_profile profiles[] = {general, melody_line, acoustic_comping,
                                         electric_stab_comping, unknown_profile};
  for (int run = 0; run < 150; ++run) {
    std::vector<arrangement_anchor> anchors;
    std::int64_t start = 0;
    const auto anchor_count = 1 + draw(6);
    for (std::uint32_t index = 0; index < anchor_count; ++index) {
      std::vector<grip_candidate> candidates;
      const auto candidate_count = 1 + draw(9);
      for (std::uint32_t entry = 0; entry < candidate_count; ++entry) {
        auto drawn = pool[draw(static_cast<std::uint32_t>(pool.size()))];
        drawn.score = static_cast<int>(draw(1200)) - 400;
        candidates.push_back(std::move(drawn));
      }
      anchors.push_back(anchor_at(start, std::move(candidates)));
      start += 512 * (1 + draw(8));
    }
    const auto profile = profiles[run % 5];
    std::optional<grip> previous;
    if (run % 3 == 0) previous = pool[draw(static_cast<std::uint32_t>(pool.size()))].positions;
    const std::int64_t gap = 512 * (1 + draw(8));
    const auto expected = reference_indexes(anchors, profile, previous, gap);
    ASSERT_EQ(selected_candidate_indexes(anchors, profile, previous, gap), expected) << run;
    std::vector<grip> expected_path;
    for (std::size_t index = 0; index < expected.size(); ++index) {
      expected_path.push_back(anchors[index].candidates[expected[index]].positions);
    }
    ASSERT_EQ(selected_path(anchors, profile, previous, gap), expected_path) << run;
  }
}

// Melody single notes

TEST(melody_path_test, melody_candidates_score_the_place_plus_the_fingering) {
  struct row {
    const char* name;
    tab_position position;
    int place_score;
  };
  const row rows[] = {
      {"fret 5 on string 2", at(2, 5), 0},
      {"open string 1", at(1, 0), 108},
      {"fret 14 on string 3", at(3, 14), 262},
      {"fret 12 on string 2", at(2, 12), 126},
      {"fret 13 on string 2", at(2, 13), 192},
      {"fret 7 on string 4", at(4, 7), 44},
      {"string 5 is not a melody string", at(5, 3), 84},
      {"string 6 is not a melody string", at(6, 5), 48},
      {"a finger given is not kept", at(2, 6, 4), 18},
  };
  for (const auto& row : rows) {
    const auto variants = fingering_variants({row.position});
    const auto candidates = melody_candidates(row.position);
    ASSERT_EQ(candidates.size(), variants.size()) << row.name;
    ASSERT_FALSE(candidates.empty()) << row.name;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto& entry = candidates[index];
      EXPECT_EQ(entry.positions, variants[index]) << row.name;
      EXPECT_EQ(entry.score, row.place_score + fingering_local_score(variants[index])) << row.name;
      EXPECT_EQ(entry.label, "melody-only") << row.name;
      EXPECT_EQ(entry.note_index, -1) << row.name;
      EXPECT_FALSE(entry.melody_on_top) << row.name;
      EXPECT_FALSE(entry.contains_melody) << row.name;
    }
  }
  // A fretted note offers one candidate per finger; an open string one without a finger.
  EXPECT_EQ(melody_candidates(at(2, 5)).size(), 4u);
  EXPECT_EQ(
      melody_candidates(at(1, 0)),
      (std::vector<grip_candidate>{
          {{at(1, 0)}, "melody-only", 108 + fingering_local_score({at(1, 0)}), -1, false, false}}));
}

TEST(melody_path_test, top_midi_matches_only_the_highest_position) {
  struct row {
    const char* name;
    grip positions;
    int midi;
    bool expected;
  };
  const row rows[] = {
      {"no positions", {}, 64, false},
      {"the top note", {at(4, 5), at(3, 5), at(2, 5)}, 64, true},
      {"a lower note of the grip", {at(4, 5), at(3, 5), at(2, 5)}, 60, false},
      {"the top note in another octave", {at(4, 5), at(3, 5), at(2, 5)}, 76, false},
      {"two positions share the top pitch", {at(3, 4), at(2, 5), at(1, 0)}, 64, true},
      {"the top note listed first", {at(1, 3), at(3, 2), at(4, 2)}, 67, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(top_midi_matches(row.positions, row.midi), row.expected) << row.name;
  }
}

}  // namespace
