#include "arrangement/melody_path.hpp"

#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using score_fixtures::measure_at;

using grip_fixtures::at;
using grip_fixtures::chord_of;
using score_fixtures::with_chord;

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

// Tied notes and long melody notes

// A 4/4 measure, and a 9/8 measure followed by a 4/4 one (beats of the second measure fall on
// ticks 18432 + k * 4096, none of them a multiple of 4096).
const std::vector<source_measure> four_four{measure_at(0, 16384), measure_at(16384, 16384)};
const std::vector<source_measure> nine_eight_then_four_four{measure_at(0, 18432),
                                                            measure_at(18432, 16384)};

source_note melody(std::int64_t start, std::int64_t duration, int midi, std::size_t measure = 0) {
  source_note note;
  note.id = "n" + std::to_string(start);
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = measure;
  note.pitches = {source_pitch{"c", 4, "n", midi}};
  return note;
}

source_note rest(std::int64_t start, std::int64_t duration, std::size_t measure = 0) {
  source_note note;
  note.id = "r" + std::to_string(start);
  note.kind = "rest";
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = measure;
  return note;
}

source_note tied_on(source_note note) {
  note.tie_to_next = true;
  return note;
}

source_note tied_from(source_note note) {
  note.tie_from_previous = true;
  return note;
}

source_score score_of(std::vector<source_measure> measures, std::vector<source_note> notes) {
  return {std::move(measures), std::move(notes), {}};
}

// The first chord occurrence of the score, laid out in time by the harmonic timeline.
chord_occurrence first_occurrence(const source_score& score) {
  return build_harmonic_timeline(score).spans.front().occurrence;
}

TEST(melody_path_test, the_long_note_that_carries_a_chord) {
  struct row {
    const char* name;
    source_score score;
    std::optional<std::size_t> expected;
  };
  const row rows[] = {
      {"a tie struck on the beat leaves the chord on the held note",
       score_of(four_four, {tied_on(melody(0, 2048, 67)),
                            with_chord(tied_from(melody(2048, 8192, 67)), "C"), rest(10240, 6144)}),
       1},
      {"a tie struck off the beat moves the chord to the attack",
       score_of(four_four, {rest(0, 1024), tied_on(melody(1024, 1024, 67)),
                            with_chord(tied_from(melody(2048, 8192, 67)), "C"), rest(10240, 6144)}),
       1},
      {"after a 9/8 measure the next measure's downbeat is a beat",
       score_of(nine_eight_then_four_four,
                {rest(0, 18432), tied_on(melody(18432, 2048, 67, 1)),
                 with_chord(tied_from(melody(20480, 8192, 67, 1)), "C"), rest(28672, 6144, 1)}),
       2},
      {"after a 9/8 measure an eighth past the downbeat is off the beat",
       score_of(nine_eight_then_four_four,
                {rest(0, 18432), rest(18432, 2048, 1), tied_on(melody(20480, 2048, 67, 1)),
                 with_chord(tied_from(melody(22528, 8192, 67, 1)), "C"), rest(30720, 4096, 1)}),
       2},
      {"a group of 8191 ticks is not long",
       score_of(four_four, {with_chord(melody(0, 8191, 67), "C"), rest(8191, 8193)}), std::nullopt},
      {"a group of 8192 ticks is long",
       score_of(four_four, {with_chord(melody(0, 8192, 67), "C"), rest(8192, 8192)}), 0},
      {"two short tied notes make a long group",
       score_of(four_four, {with_chord(tied_on(melody(0, 4096, 67)), "C"),
                            tied_from(melody(4096, 4096, 67)), rest(8192, 8192)}),
       0},
      {"a chord on a rest goes to the half note tied into the next bar",
       score_of(four_four,
                {with_chord(rest(0, 8192), "C"), tied_on(melody(8192, 8192, 67)),
                 tied_from(melody(16384, 4096, 67, 1)), with_chord(rest(20480, 12288, 1), "F")}),
       1},
      {"the earlier of two long notes in the span carries the chord",
       score_of(four_four, {with_chord(melody(0, 4096, 67), "C"), melody(4096, 8192, 69),
                            melody(12288, 8192, 71, 1)}),
       1},
      {"no long note starts inside the span",
       score_of(four_four, {with_chord(melody(0, 4096, 67), "C"), melody(4096, 4096, 69),
                            with_chord(melody(8192, 8192, 71), "F")}),
       std::nullopt},
      {"a tie flag without a tie behind it counts for neither step",
       score_of(four_four, {melody(0, 4096, 67), with_chord(tied_from(melody(4096, 8192, 67)), "C"),
                            rest(12288, 4096)}),
       std::nullopt},
      {"a false tie is passed over for a later long note",
       score_of(four_four, {melody(0, 4096, 67), with_chord(tied_from(melody(4096, 4096, 69)), "C"),
                            melody(8192, 8192, 71)}),
       2},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(long_melody_note_for_chord(row.score, first_occurrence(row.score)), row.expected)
        << row.name;
  }
}

TEST(melody_path_test, a_chord_moves_to_a_syncopated_attack_only_for_a_long_group) {
  // Struck off the beat and tied over the chord's beat, but only 1024 + 6144 ticks long.
  const auto short_group =
      score_of(four_four, {rest(0, 1024), tied_on(melody(1024, 1024, 67)),
                           with_chord(tied_from(melody(2048, 6144, 67)), "C"), rest(8192, 8192)});
  const auto occurrence = first_occurrence(short_group);
  EXPECT_EQ(adjusted_long_note_chord_target(short_group, occurrence, 2), 2u);

  const auto long_group =
      score_of(four_four, {rest(0, 1024), tied_on(melody(1024, 1024, 67)),
                           with_chord(tied_from(melody(2048, 8192, 67)), "C"), rest(10240, 6144)});
  const auto long_occurrence = first_occurrence(long_group);
  EXPECT_EQ(adjusted_long_note_chord_target(long_group, long_occurrence, 2), 1u);
  // Only a note starting with the chord moves; other and unknown indexes come back unchanged.
  EXPECT_EQ(adjusted_long_note_chord_target(long_group, long_occurrence, 1), 1u);
  EXPECT_EQ(adjusted_long_note_chord_target(long_group, long_occurrence, 3), 3u);
  EXPECT_EQ(adjusted_long_note_chord_target(long_group, long_occurrence, 99), 99u);
  EXPECT_EQ(long_melody_note_for_chord(score_of(four_four, {}), long_occurrence), std::nullopt);
}

TEST(melody_path_test, only_a_gapless_tie_between_pitched_notes_of_one_pitch_links) {
  const auto first = tied_on(melody(0, 2048, 67));
  auto kind = [](std::string text) {
    auto note = melody(2048, 2048, 67);
    note.kind = std::move(text);
    return note;
  };
  auto without_pitch = melody(2048, 2048, 67);
  without_pitch.pitches.clear();
  struct row {
    const char* name;
    source_note first;
    source_note second;
    bool linked;
  };
  const row rows[] = {
      {"tied without a tie_from_previous flag", first, melody(2048, 2048, 67), true},
      {"tied with the flag", first, tied_from(melody(2048, 2048, 67)), true},
      {"no tie_to_next", melody(0, 2048, 67), tied_from(melody(2048, 2048, 67)), false},
      {"a gap", first, tied_from(melody(3072, 2048, 67)), false},
      {"an overlap", first, tied_from(melody(1024, 2048, 67)), false},
      {"another pitch", first, tied_from(melody(2048, 2048, 68)), false},
      {"the same pitch name an octave up", first, tied_from(melody(2048, 2048, 79)), false},
      {"a rest", first, tied_from(rest(2048, 2048)), false},
      {"kind in capitals", first, kind("Note"), false},
      {"kind with an extra letter", first, kind("notes"), false},
      {"a note without pitches", first, without_pitch, false},
  };
  for (const auto& row : rows) {
    const auto score = score_of(four_four, {row.first, row.second});
    EXPECT_EQ(next_tied_note_index(score, 0).has_value(), row.linked) << row.name;
    EXPECT_EQ(previous_tied_note_index(score, 1).has_value(), row.linked) << row.name;
    EXPECT_EQ(tied_group_duration(score, 0), row.linked ? 4096 : 2048) << row.name;
  }
}

TEST(melody_path_test, tied_durations_walk_the_group_both_ways) {
  // 1024 + 2048 tied, then 4096 tied on, then an untied note of the same pitch.
  const auto score =
      score_of(four_four, {tied_on(melody(0, 1024, 67)), tied_on(melody(1024, 2048, 67)),
                           melody(3072, 4096, 67), melody(7168, 4096, 67)});
  struct row {
    std::size_t index;
    std::int64_t before;
    std::int64_t from;
    std::int64_t group;
  };
  const row rows[] = {
      {0, 0, 7168, 7168}, {1, 1024, 6144, 7168}, {2, 3072, 4096, 7168},
      {3, 0, 4096, 4096}, {4, 0, 0, 0},          {std::size_t(-1), 0, 0, 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(tied_duration_before(score, row.index), row.before) << row.index;
    EXPECT_EQ(tied_duration_from(score, row.index), row.from) << row.index;
    EXPECT_EQ(tied_group_duration(score, row.index), row.group) << row.index;
  }
  EXPECT_EQ(previous_tied_note_index(score, 0), std::nullopt);
  EXPECT_EQ(previous_tied_note_index(score, 2), 1u);
  EXPECT_EQ(next_tied_note_index(score, 2), std::nullopt);
  EXPECT_EQ(next_tied_note_index(score, std::size_t(-1)), std::nullopt);

  // Absurd durations saturate instead of overflowing.
  const auto huge =
      score_of(four_four, {tied_on(melody(0, INT64_MAX, 67)), melody(INT64_MAX, INT64_MAX, 67)});
  EXPECT_EQ(tied_group_duration(huge, 1), INT64_MAX);
}

TEST(melody_path_test, quarter_beats_count_from_the_start_of_the_note_s_measure) {
  struct row {
    const char* name;
    std::vector<source_measure> measures;
    source_note note;
    bool expected;
  };
  const row rows[] = {
      {"4/4 downbeat", four_four, melody(0, 4096, 60), true},
      {"4/4 second beat", four_four, melody(4096, 4096, 60), true},
      {"4/4 off beat", four_four, melody(2048, 4096, 60), false},
      {"second 4/4 measure off beat", four_four, melody(16384 + 1024, 4096, 60, 1), false},
      {"an eighth into the 9/8 measure", nine_eight_then_four_four, melody(2048, 2048, 60), false},
      {"last eighth of the 9/8 measure", nine_eight_then_four_four, melody(16384, 2048, 60), true},
      {"downbeat after 9/8", nine_eight_then_four_four, melody(18432, 4096, 60, 1), true},
      {"second beat after 9/8", nine_eight_then_four_four, melody(22528, 4096, 60, 1), true},
      {"an eighth after the downbeat after 9/8", nine_eight_then_four_four,
       melody(20480, 4096, 60, 1), false},
      {"measure outside the list: absolute tick, on", nine_eight_then_four_four,
       melody(20480, 4096, 60, 7), true},
      {"measure outside the list: absolute tick, off", nine_eight_then_four_four,
       melody(18432, 4096, 60, 7), false},
      {"negative measure start", {measure_at(-4096, 16384)}, melody(-2048, 2048, 60), false},
      {"negative measure start, on the beat",
       {measure_at(-6144, 16384)},
       melody(-2048, 2048, 60),
       true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(note_starts_on_quarter_beat(score_of(row.measures, {}), row.note), row.expected)
        << row.name;
  }
}

TEST(melody_path_test, same_written_melody_pitch_compares_first_pitches) {
  auto chord = melody(0, 4096, 60);
  chord.pitches.push_back({"e", 4, "n", 64});
  auto other_chord = melody(0, 4096, 60);
  other_chord.pitches.push_back({"g", 4, "n", 67});
  EXPECT_TRUE(same_written_melody_pitch(chord, other_chord));
  EXPECT_FALSE(same_written_melody_pitch(melody(0, 4096, 60), rest(0, 4096)));
  EXPECT_FALSE(same_written_melody_pitch(melody(0, 4096, 60), melody(0, 4096, 72)));
  EXPECT_FALSE(same_written_melody_pitch(rest(0, 4096), rest(0, 4096)));
}

}  // namespace
