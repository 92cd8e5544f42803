#include "arrangement/fretboard.hpp"

#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <string>

namespace {

using namespace orvanta::arrangement_detail;
using grip = std::vector<tab_position>;

// A place on the board with the pitch it sounds in standard tuning.
tab_position at(int string_number, int fret, std::optional<int> finger = std::nullopt) {
  return {string_number, fret, *open_midi_for_string(string_number) + fret, finger};
}

std::string describe(const grip& positions) {
  std::string text;
  for (const auto& position : positions) {
    text += "s" + std::to_string(position.string_number) + "f" + std::to_string(position.fret);
    if (position.finger) text += "x" + std::to_string(*position.finger);
    text += " ";
  }
  return text;
}

// Positions

TEST(fretboard_test, positions_for_midi_offers_the_preferred_place_first) {
  struct row {
    const char* name;
    int midi;
    std::vector<int> strings;
    grip expected;
  };
  const std::vector<int> upper{1, 2, 3, 4};
  const row rows[] = {
      {"fifth fret of string 2 first", 64, upper, {at(2, 5), at(3, 9), at(1, 0), at(4, 14)}},
      {"order of the string list does not matter",
       64,
       {4, 3, 2, 1},
       {at(2, 5), at(3, 9), at(1, 0), at(4, 14)}},
      {"low strings cost most",
       64,
       {1, 2, 3, 4, 5, 6},
       {at(2, 5), at(3, 9), at(1, 0), at(4, 14), at(5, 19)}},
      {"fret 24 is off the board", 64, {6}, {}},
      {"equal cost goes to the lower string",
       65,
       upper,
       {at(2, 6), at(1, 1), at(3, 10), at(4, 15)}},
      {"open string not preferred for itself", 59, upper, {at(3, 4), at(4, 9), at(2, 0)}},
      {"highest note", 84, upper, {at(1, 20)}},
      {"highest note needs string 1", 84, {2, 3, 4, 5, 6}, {}},
      {"lowest note", 40, {1, 2, 3, 4, 5, 6}, {at(6, 0)}},
      {"below the guitar", 39, {1, 2, 3, 4, 5, 6}, {}},
      {"above the guitar", 85, {1, 2, 3, 4, 5, 6}, {}},
      {"no strings", 64, {}, {}},
      {"no such strings", 64, {0, 7, -1}, {}},
      {"string listed twice", 64, {2, 2}, {at(2, 5), at(2, 5)}},
  };
  for (const auto& [name, midi, strings, expected] : rows) {
    EXPECT_EQ(positions_for_midi(midi, strings), expected) << name;
  }
}

// Every pitch the guitar can sound, asked on several string lists: every place offered sounds the
// pitch on an asked string, every reachable asked string is offered, best place first.
TEST(fretboard_test, positions_for_midi_property_over_the_whole_range) {
  const std::map<int, int> string_terms{{1, 14}, {2, 0}, {3, 4}, {4, 8}, {5, 36}, {6, 36}};
  const auto preference = [&](const tab_position& position) {
    return std::pair{string_terms.at(position.string_number) + 10 * std::abs(position.fret - 5),
                     position.string_number};
  };
  const std::vector<std::vector<int>> string_lists{
      {1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}, upper_melody_strings(), {2, 3, 4, 5, 6}, {6}, {5, 1},
  };
  for (int midi = 40; midi <= 84; ++midi) {
    for (const auto& strings : string_lists) {
      const auto positions = positions_for_midi(midi, strings);
      SCOPED_TRACE("midi " + std::to_string(midi) + ": " + describe(positions));
      std::size_t reachable = 0;
      for (const int string_number : strings) {
        const int fret = midi - *open_midi_for_string(string_number);
        if (fret >= 0 && fret <= 20) ++reachable;
      }
      EXPECT_EQ(positions.size(), reachable);
      for (std::size_t index = 0; index < positions.size(); ++index) {
        const auto& position = positions[index];
        EXPECT_EQ(position.midi, midi);
        EXPECT_EQ(*open_midi_for_string(position.string_number) + position.fret, midi);
        EXPECT_GE(position.fret, 0);
        EXPECT_LE(position.fret, 20);
        EXPECT_FALSE(position.finger);
        EXPECT_NE(std::find(strings.begin(), strings.end(), position.string_number), strings.end());
        if (index > 0) {
          EXPECT_LT(preference(positions[index - 1]), preference(position));
        }
      }
    }
    EXPECT_TRUE(positions_for_midi(midi, {}).empty());
  }
  for (const int midi : {0, 39, 85, 127}) {
    EXPECT_TRUE(positions_for_midi(midi, {1, 2, 3, 4, 5, 6}).empty()) << midi;
  }
}

TEST(fretboard_test, list_queries) {
  const grip chord{at(3, 5, 1), at(1, 0), at(2, 5, 2)};
  EXPECT_TRUE(contains_string(chord, 1));
  EXPECT_FALSE(contains_string(chord, 4));
  EXPECT_TRUE(contains_midi(chord, 64));
  EXPECT_FALSE(contains_midi(chord, 65));
  EXPECT_EQ(upper_melody_strings(), (std::vector<int>{1, 2, 3, 4}));

  // Strings 2 and 1 here both sound MIDI 64: the first in list order is taken.
  EXPECT_EQ(highest_position(chord), at(1, 0));
  EXPECT_EQ(highest_position(grip{at(2, 5, 2), at(1, 0)}), at(2, 5, 2));
  EXPECT_EQ(lowest_position(chord), at(3, 5, 1));
  EXPECT_EQ(lowest_position(grip{at(1, 0), at(2, 5)}), at(1, 0));
  EXPECT_FALSE(highest_position({}));
  EXPECT_FALSE(lowest_position({}));

  EXPECT_TRUE(positions_use_upper_melody_strings({}));
  EXPECT_TRUE(positions_use_upper_melody_strings(chord));
  EXPECT_FALSE(positions_use_upper_melody_strings({at(5, 3)}));
  EXPECT_TRUE(positions_use_chord_mode_strings({}));
  EXPECT_TRUE(positions_use_chord_mode_strings({at(2, 1), at(6, 3)}));
  EXPECT_FALSE(positions_use_chord_mode_strings(chord));

  EXPECT_TRUE(same_tab_position(at(2, 5, 3), at(2, 5)));
  EXPECT_FALSE(same_tab_position(at(2, 5), at(3, 9)));
  EXPECT_EQ(finger_number(at(2, 5, 3)), 3);
  EXPECT_EQ(finger_number(at(2, 5)), 0);

  EXPECT_EQ(strip_fingering({at(1, 5, 4), at(3, 5, 1), at(2, 0)}),
            (grip{at(2, 0), at(3, 5), at(1, 5)}));
  EXPECT_EQ(min_fretted_fret(chord), 5);
  EXPECT_EQ(min_fretted_fret({at(1, 0), at(2, 0)}), std::nullopt);
  EXPECT_EQ(min_fretted_fret({}), std::nullopt);
}

TEST(fretboard_test, strip_fingering_keeps_the_order_of_equal_pitches) {
  const grip unison{{2, 5, 64, 1}, {1, 0, 64, std::nullopt}, {3, 2, 57, 2}};
  EXPECT_EQ(strip_fingering(unison), (grip{at(3, 2), at(2, 5), at(1, 0)}));
}

TEST(fretboard_test, sort_by_ascending_key_keeps_ties_in_order) {
  std::vector<std::pair<int, char>> values{{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {0, 'e'}};
  sort_by_ascending_key(values, [](const auto& value) { return value.first; });
  EXPECT_EQ(values,
            (std::vector<std::pair<int, char>>{{0, 'e'}, {1, 'b'}, {1, 'd'}, {2, 'a'}, {2, 'c'}}));
}

TEST(fretboard_test, sort_positions_by_pitch_keeps_the_order_of_equal_pitches) {
  grip positions{at(2, 5, 1), at(4, 2), at(1, 0), at(3, 2)};
  sort_positions_by_pitch(positions);
  EXPECT_EQ(positions, (grip{at(4, 2), at(3, 2), at(2, 5, 1), at(1, 0)}));
  grip sorted = positions;
  sort_positions_by_pitch(sorted);
  EXPECT_EQ(sorted, positions);
}

// Shape

TEST(fretboard_test, anchor_fret_and_fret_span_read_fretted_positions_only) {
  struct row {
    const char* name;
    grip positions;
    int anchor;
    int span;
  };
  const row rows[] = {
      {"empty", {}, 0, 0},
      {"all open", {at(6, 0), at(1, 0)}, 0, 0},
      {"one fretted", {at(4, 7), at(3, 0)}, 7, 0},
      {"two frets: the upper middle", {at(4, 3), at(3, 5)}, 5, 2},
      {"three frets", {at(4, 4), at(3, 2), at(2, 3)}, 3, 2},
      {"four frets", {at(4, 8), at(3, 5), at(2, 7), at(1, 5)}, 7, 3},
      {"open string ignored", {at(5, 0), at(4, 2), at(3, 4)}, 4, 2},
  };
  for (const auto& [name, positions, anchor, span] : rows) {
    EXPECT_EQ(anchor_fret(positions), anchor) << name;
    EXPECT_EQ(fret_span(positions), span) << name;
  }
}

TEST(fretboard_test, string_order_needs_pitches_rising_towards_string_1) {
  struct row {
    const char* name;
    grip positions;
    bool ordered;
  };
  const row rows[] = {
      {"empty", {}, true},
      {"one", {at(3, 2)}, true},
      {"rising", {at(5, 3), at(4, 2), at(3, 0)}, true},
      {"given in any order", {at(3, 0), at(5, 3), at(4, 2)}, true},
      {"neighbours swapped", {{5, 7, 52, {}}, {4, -2, 48, {}}, at(3, 0)}, false},
      {"unison on two strings", {at(2, 5), at(1, 0)}, false},
      {"crossing above", {at(3, 9), at(2, 0)}, false},
      {"one string, rising in list order", {at(3, 2), at(3, 4)}, true},
      {"one string, falling in list order", {at(3, 4), at(3, 2)}, false},
  };
  for (const auto& [name, positions, ordered] : rows) {
    EXPECT_EQ(positions_have_string_order(positions), ordered) << name;
  }
}

TEST(fretboard_test, shape_rules) {
  struct row {
    const char* name;
    grip positions;
    bool too_wide;
    bool coherent;
    bool compact;
    int penalty;
  };
  const row rows[] = {
      {"empty", {}, false, true, true, 0},
      {"closed four frets 5 to 8", {at(4, 5), at(3, 6), at(2, 7), at(1, 8)}, false, true, true, 0},
      {"closed four frets 5 to 9", {at(4, 5), at(3, 6), at(2, 8), at(1, 9)}, true, true, true, 0},
      {"span 4 with an open string",
       {at(4, 5), at(3, 6), at(2, 9), at(1, 0)},
       false,
       false,
       true,
       0},
      {"three notes span 4", {at(3, 5), at(2, 6), at(1, 9)}, false, true, true, 0},
      {"open with fret 3", {at(1, 0), at(2, 3)}, false, true, true, 0},
      {"open with fret 4", {at(1, 0), at(2, 4)}, false, false, true, 0},
      {"all open", {at(6, 0), at(5, 0), at(4, 0)}, false, true, true, 0},
      {"one skipped string", {at(6, 3), at(4, 5), at(3, 5), at(2, 5)}, false, true, true, 160},
      {"two skipped strings", {at(6, 5), at(3, 5), at(2, 5)}, false, true, false, 320},
      {"two notes may skip", {at(6, 5), at(3, 5)}, false, true, true, 320},
      {"low bass far from the hand", {at(6, 3), at(4, 6), at(3, 6)}, false, true, true, 780},
      {"low bass near the hand", {at(6, 5), at(4, 6), at(3, 6)}, false, true, true, 160},
      {"bass on string 5", {at(5, 1), at(4, 5), at(3, 5)}, false, true, true, 1240},
      {"two notes draw no bass term", {at(6, 1), at(4, 7)}, false, true, true, 160},
      {"bass on string 4 draws none", {at(4, 2), at(3, 9), at(2, 9)}, false, true, true, 0},
  };
  for (const auto& [name, positions, too_wide, coherent, compact, penalty] : rows) {
    EXPECT_EQ(closed_four_note_stretch_too_wide(positions), too_wide) << name;
    EXPECT_EQ(chord_positions_have_coherent_fret_region(positions), coherent) << name;
    EXPECT_EQ(chord_positions_have_compact_jazz_shape(positions), compact) << name;
    EXPECT_EQ(compact_jazz_shape_penalty(positions), penalty) << name;
  }
  EXPECT_EQ(chord_string_numbers({at(2, 1), at(5, 3), at(2, 3), at(3, 0)}),
            (std::vector<int>{5, 3, 2}));
}

TEST(fretboard_test, playability) {
  struct row {
    const char* name;
    grip positions;
    bool playable;
  };
  const row rows[] = {
      {"empty", {}, false},
      {"one open note", {at(6, 0)}, true},
      {"one note at the top fret", {at(1, 20)}, true},
      {"four notes", {at(4, 2), at(3, 2), at(2, 3), at(1, 2)}, true},
      {"five notes", {at(5, 3), at(4, 2), at(3, 0), at(2, 1), at(1, 0)}, false},
      {"closed frets 5 to 8", {at(4, 5), at(3, 6), at(2, 7), at(1, 8)}, true},
      {"closed frets 5 to 9", {at(4, 5), at(3, 6), at(2, 8), at(1, 9)}, false},
      {"span 4 with an open string", {at(4, 5), at(3, 6), at(2, 9), at(1, 0)}, true},
      {"frets 2 and 7", {at(3, 2), at(2, 7)}, false},
      {"span 5 over three notes", {at(4, 3), at(3, 5), at(1, 8)}, false},
      {"span 5 beside an open string", {at(4, 0), at(3, 3), at(2, 8)}, false},
      {"one string twice", {at(2, 5), at(2, 7)}, false},
      {"one pitch twice", {at(2, 5), at(1, 0)}, false},
      {"low note under a minor third", {at(6, 7), at(5, 5)}, false},
      {"low note above 47", {at(6, 8), at(5, 5)}, true},
      {"low note under a major third", {at(6, 7), at(5, 7)}, true},
      {"open low strings", {at(6, 0), at(5, 0)}, true},
      {"low interval read by pitch, not list order", {at(5, 5), at(3, 0), at(6, 7)}, false},
  };
  for (const auto& [name, positions, playable] : rows) {
    EXPECT_EQ(positions_playable(positions), playable) << name;
  }
}

// Fingering rules

TEST(fretboard_test, barre_shapes) {
  struct row {
    const char* name;
    grip positions;
    std::optional<barre_shape> fingered;
    std::optional<barre_shape> preferred;
  };
  const row rows[] = {
      {"four-string index barre",
       {at(1, 5, 1), at(2, 5, 1), at(3, 5, 1), at(4, 5, 1)},
       barre_shape{5, 1, 4, 4},
       barre_shape{5, 1, 4, 4}},
      {"one index note", {at(3, 5, 1), at(2, 7, 3)}, {}, {}},
      {"index at two frets", {at(3, 3, 1), at(2, 5, 1)}, {}, {}},
      {"index over a higher note",
       {at(3, 5, 1), at(2, 7, 3), at(1, 5, 1)},
       barre_shape{5, 1, 3, 2},
       {}},
      {"fingers ignored by the preferred barre",
       {at(3, 5, 2), at(2, 5, 3), at(1, 7, 4)},
       {},
       barre_shape{5, 2, 3, 2}},
      {"open strings make no barre", {at(2, 0, 1), at(1, 0, 1)}, {}, {}},
      {"unfingered run at the lowest fret",
       {at(4, 7), at(3, 7), at(2, 8), at(1, 9)},
       {},
       barre_shape{7, 3, 4, 2}},
      {"broken run", {at(3, 5), at(2, 7), at(1, 5)}, {}, {}},
      {"run over an open string", {at(3, 5), at(2, 5), {3, 0, 55, {}}}, {}, {}},
  };
  for (const auto& [name, positions, fingered, preferred] : rows) {
    EXPECT_EQ(fingering_barre_shape(positions), fingered) << name;
    EXPECT_EQ(preferred_index_barre_shape(positions), preferred) << name;
  }
  EXPECT_TRUE(same_barre_shape({5, 1, 4, 4}, {5, 1, 4, 4}));
  EXPECT_FALSE(same_barre_shape({5, 1, 4, 4}, {5, 1, 4, 3}));
  EXPECT_FALSE(barre_span_is_clear({at(1, 3), at(2, 0), at(3, 3)}, 3, 1, 3));
  EXPECT_TRUE(barre_span_is_clear({at(1, 3), at(2, 0), at(3, 3)}, 3, 3, 4));
  EXPECT_TRUE(barre_span_is_clear({at(1, 3), at(2, 5)}, 3, 1, 2));
}

TEST(fretboard_test, fingering_index_fret) {
  EXPECT_EQ(fingering_index_fret({}), 0);
  EXPECT_EQ(fingering_index_fret({at(1, 0), at(2, 0)}), 0);
  EXPECT_EQ(fingering_index_fret({at(3, 7, 3)}), 5);
  const grip unfingered{at(3, 10), at(2, 12)};
  EXPECT_EQ(fingering_index_fret(unfingered), anchor_fret(unfingered));
  EXPECT_EQ(fingering_index_fret({at(4, 2, 1), at(3, 5, 2), at(2, 5, 3), at(1, 5, 4)}), 3);
}

TEST(fretboard_test, fingering_validity) {
  struct row {
    const char* name;
    grip positions;
    bool valid;
  };
  const row rows[] = {
      {"four-string index barre", {at(1, 5, 1), at(2, 5, 1), at(3, 5, 1), at(4, 5, 1)}, true},
      {"open grip without fingers", {at(1, 0), at(2, 0)}, true},
      {"unplayable grip", {at(3, 2, 1), at(2, 7, 4)}, false},
      {"empty grip", {}, false},
      {"middle finger twice at one fret", {at(3, 5, 2), at(2, 5, 2)}, false},
      {"middle finger twice at two frets", {at(3, 5, 2), at(2, 6, 2)}, false},
      {"index at frets 3 and 5", {at(3, 3, 1), at(2, 5, 1)}, false},
      {"index over five strings apart", {at(6, 5, 1), at(1, 5, 1)}, false},
      {"index over four strings apart", {at(5, 5, 1), at(1, 5, 1)}, true},
      {"open string under the barre", {at(1, 3, 1), at(2, 0), at(3, 3, 1)}, false},
      {"middle finger inside the barre, higher", {at(1, 3, 1), at(2, 5, 2), at(3, 3, 1)}, true},
      {"ring finger inside the barre, higher", {at(1, 3, 1), at(2, 5, 3), at(3, 3, 1)}, true},
      {"barre fret note not under the index", {at(1, 5, 1), at(2, 5, 2), at(3, 5, 1)}, false},
      {"crossed fingers", {at(3, 5, 3), at(2, 6, 2)}, false},
      {"index frets too far apart", {at(4, 2, 1), at(3, 6, 2)}, false},
      {"index frets close", {at(4, 2, 1), at(3, 6, 4)}, true},
      {"finger on an open string", {at(1, 0, 1)}, false},
      {"fretted note without finger", {at(2, 5)}, false},
      {"finger 5", {at(2, 5, 5)}, false},
      {"finger 0", {at(2, 5, 0)}, false},
      {"bass, middle, open, index", {at(5, 3, 3), at(4, 2, 2), at(3, 0), at(2, 1, 1)}, true},
  };
  for (const auto& [name, positions, valid] : rows) {
    EXPECT_EQ(positions_have_valid_fingering(positions), valid) << name;
  }
}

TEST(fretboard_test, fingering_local_score) {
  struct row {
    const char* name;
    grip positions;
    int score;
  };
  const row rows[] = {
      {"fret 5, index", {at(2, 5, 1)}, -30},
      {"fret 5, middle", {at(2, 5, 2)}, -56},
      {"fret 5, ring", {at(2, 5, 3)}, -22},
      {"fret 5, little", {at(2, 5, 4)}, 34},
      {"fret 2, index", {at(3, 2, 1)}, -56},
      {"fret 2, middle", {at(3, 2, 2)}, -90},
      {"fret 2, ring", {at(3, 2, 3)}, 39},
      {"fret 2, little", {at(3, 2, 4)}, 190},
      {"fret 12, index: hand high on the neck", {at(1, 12, 1)}, 252},
      {"four-string index barre", {at(1, 5, 1), at(2, 5, 1), at(3, 5, 1), at(4, 5, 1)}, -778},
      {"index barre on three strings, middle on string 1",
       {at(1, 5, 2), at(2, 5, 1), at(3, 5, 1), at(4, 5, 1)},
       1046},
      {"index barre with a hole", {at(3, 5, 1), at(2, 7, 3), at(1, 5, 1)}, 707},
      {"bass, middle, open, index", {at(5, 3, 3), at(4, 2, 2), at(3, 0), at(2, 1, 1)}, -5},
      {"index low, three fingers above", {at(4, 2, 1), at(3, 5, 2), at(2, 5, 3), at(1, 5, 4)}, 502},
      {"little finger low on the neck", {at(3, 2, 1), at(2, 4, 4)}, 441},
      {"open grip", {at(1, 0), at(2, 0), at(3, 0)}, -25},
      {"invalid", {at(2, 5)}, 268435455},
      {"empty", {}, 268435455},
  };
  for (const auto& [name, positions, score] : rows) {
    EXPECT_EQ(fingering_local_score(positions), score) << name;
  }
}

TEST(fretboard_test, relaxed_fingering_score_falls_back_to_the_shape) {
  struct row {
    const char* name;
    grip positions;
    int score;
  };
  const row rows[] = {
      {"valid fingering keeps its cost", {at(2, 5, 2)}, -56},
      {"high unfingered pair", {at(3, 10), at(2, 12)}, 3494},
      {"finger on an open string", {at(1, 0, 1)}, 2810},
      {"three unfingered notes", {at(4, 5), at(3, 5), at(2, 7)}, 2600 + 260 + 0 + 120},
  };
  for (const auto& [name, positions, score] : rows) {
    EXPECT_EQ(relaxed_fingering_score(positions), score) << name;
  }
}

// Fingering assignment

TEST(fretboard_test, fingering_variants_best_first) {
  struct row {
    const char* name;
    grip positions;
    std::size_t count;
    std::vector<grip> first;
    std::vector<int> first_scores;
  };
  const row rows[] = {
      {"one note at fret 5",
       {at(2, 5)},
       4,
       {{at(2, 5, 2)}, {at(2, 5, 1)}, {at(2, 5, 3)}, {at(2, 5, 4)}},
       {-56, -30, -22, 34}},
      {"one note at fret 2",
       {at(3, 2)},
       4,
       {{at(3, 2, 2)}, {at(3, 2, 1)}, {at(3, 2, 3)}, {at(3, 2, 4)}},
       {-90, -56, 39, 190}},
      {"open note", {at(1, 0, 3)}, 1, {{at(1, 0)}}, {-25}},
      {"given fingers are ignored", {at(2, 5, 4)}, 4, {{at(2, 5, 2)}}, {-56}},
      {"bass, middle, open, index",
       {at(2, 1), at(3, 0), at(4, 2), at(5, 3)},
       0,
       {{at(5, 3, 3), at(4, 2, 2), at(3, 0), at(2, 1, 1)}},
       {-5}},
      {"equal scores: lower finger on the lower note first",
       {at(1, 5), at(2, 5), at(3, 5), at(4, 2)},
       6,
       {{at(4, 2, 1), at(3, 5, 2), at(2, 5, 3), at(1, 5, 4)},
        {at(4, 2, 1), at(3, 5, 2), at(2, 5, 4), at(1, 5, 3)}},
       {502, 502}},
      {"four strings at fret 5",
       {at(1, 5), at(2, 5), at(3, 5), at(4, 5)},
       0,
       {{at(4, 5, 1), at(3, 5, 1), at(2, 5, 1), at(1, 5, 1)},
        {at(4, 5, 1), at(3, 5, 1), at(2, 5, 1), at(1, 5, 2)},
        {at(4, 5, 2), at(3, 5, 1), at(2, 5, 1), at(1, 5, 1)}},
       {-778, 1046, 1046}},
      {"empty", {}, 0, {}, {}},
      {"unplayable", {at(3, 2), at(2, 7)}, 0, {}, {}},
  };
  for (const auto& [name, positions, count, first, first_scores] : rows) {
    SCOPED_TRACE(name);
    const auto variants = fingering_variants(positions);
    if (count > 0) {
      EXPECT_EQ(variants.size(), count);
    }
    ASSERT_GE(variants.size(), first.size());
    for (std::size_t index = 0; index < first.size(); ++index) {
      EXPECT_EQ(variants[index], first[index]) << describe(variants[index]);
      EXPECT_EQ(fingering_local_score(variants[index]), first_scores[index]);
    }
    for (const auto& variant : variants) {
      EXPECT_TRUE(positions_have_valid_fingering(variant)) << describe(variant);
      EXPECT_EQ(strip_fingering(variant), strip_fingering(positions));
    }
  }
}

TEST(fretboard_test, six_variants_share_the_score_502) {
  const auto variants = fingering_variants({at(4, 2), at(3, 5), at(2, 5), at(1, 5)});
  ASSERT_EQ(variants.size(), 6u);
  for (const auto& variant : variants) {
    EXPECT_EQ(fingering_local_score(variant), 502) << describe(variant);
    EXPECT_EQ(variant.front(), at(4, 2, 1));
  }
}

// Every playable grip can be fingered, so variants are missing exactly for empty or unplayable
// grips; every variant is valid, sorted by pitch and ranked by score.
TEST(fretboard_test, every_playable_grip_has_a_fingering) {
  std::vector<tab_position> places;
  for (int string_number = 1; string_number <= 6; ++string_number) {
    for (int fret = 0; fret <= 7; ++fret) places.push_back(at(string_number, fret));
  }
  const auto check = [](const grip& positions) {
    const auto variants = fingering_variants(positions);
    ASSERT_EQ(variants.empty(), !positions_playable(positions)) << describe(positions);
    int previous = std::numeric_limits<int>::min();
    for (const auto& variant : variants) {
      const int score = fingering_local_score(variant);
      ASSERT_LE(previous, score) << describe(variant);
      ASSERT_LT(score, invalid_fingering_cost) << describe(variant);
      ASSERT_TRUE(std::is_sorted(variant.begin(), variant.end(),
                                 [](const auto& a, const auto& b) { return a.midi < b.midi; }));
      previous = score;
    }
  };
  for (std::size_t a = 0; a < places.size(); ++a) {
    check({places[a]});
    for (std::size_t b = a + 1; b < places.size(); ++b) {
      check({places[a], places[b]});
      for (std::size_t c = b + 1; c < places.size(); ++c) check({places[a], places[b], places[c]});
    }
  }
  for (int f1 = 1; f1 <= 5; ++f1) {
    for (int f2 = 1; f2 <= 5; ++f2) {
      for (int f3 = 1; f3 <= 5; ++f3) {
        for (int f4 = 1; f4 <= 5; ++f4) check({at(1, f1), at(2, f2), at(3, f3), at(4, f4)});
      }
    }
  }
}

TEST(fretboard_test, assign_fingering) {
  struct row {
    const char* name;
    grip positions;
    std::optional<grip> assigned;
    grip assigned_or_original;
  };
  const row rows[] = {
      {"best variant", {at(2, 5)}, grip{at(2, 5, 2)}, {at(2, 5, 2)}},
      {"a valid fingering is kept even when dearer",
       {at(1, 5, 1), at(3, 5, 1), at(2, 5, 1), at(4, 5, 2)},
       grip{at(4, 5, 2), at(3, 5, 1), at(2, 5, 1), at(1, 5, 1)},
       {at(4, 5, 2), at(3, 5, 1), at(2, 5, 1), at(1, 5, 1)}},
      {"an invalid fingering is replaced",
       {at(1, 5, 2), at(2, 5, 2), at(3, 5, 2), at(4, 5, 2)},
       grip{at(4, 5, 1), at(3, 5, 1), at(2, 5, 1), at(1, 5, 1)},
       {at(4, 5, 1), at(3, 5, 1), at(2, 5, 1), at(1, 5, 1)}},
      {"open grip", {at(1, 0), at(2, 0)}, grip{at(2, 0), at(1, 0)}, {at(2, 0), at(1, 0)}},
      {"empty grip", {}, grip{}, {}},
      {"unplayable grip comes back unfingered",
       {at(1, 1, 1), at(2, 2, 2), at(3, 3, 3), at(4, 4, 4), at(5, 5)},
       std::nullopt,
       {at(5, 5), at(4, 4), at(3, 3), at(2, 2), at(1, 1)}},
  };
  for (const auto& [name, positions, assigned, assigned_or_original] : rows) {
    EXPECT_EQ(assign_fingering(positions), assigned) << name;
    EXPECT_EQ(assigned_or_original_fingering(positions), assigned_or_original) << name;
  }
  EXPECT_TRUE(same_fingered_positions({at(2, 5, 1)}, {at(2, 5, 1)}));
  EXPECT_FALSE(same_fingered_positions({at(2, 5, 1)}, {at(2, 5)}));
  EXPECT_FALSE(same_fingered_positions({at(2, 5, 1)}, {at(2, 5, 1), at(1, 0)}));
}

TEST(fretboard_test, fingering_candidates) {
  const auto single = fingering_candidates({at(2, 5)}, false);
  ASSERT_EQ(single.size(), 4u);
  EXPECT_EQ(single.front(), (fingered_position_candidate{{at(2, 5, 2)}, -56, false}));
  EXPECT_EQ(single.back(), (fingered_position_candidate{{at(2, 5, 4)}, 34, false}));

  EXPECT_EQ(fingering_candidates({at(1, 0), at(2, 0)}, true),
            (std::vector<fingered_position_candidate>{{{at(2, 0), at(1, 0)}, -25, false}}));

  const grip unplayable{at(1, 1), at(2, 2), at(3, 3), at(4, 4), at(5, 5)};
  EXPECT_TRUE(fingering_candidates(unplayable, true).empty());
  EXPECT_TRUE(fingering_candidates({}, true).empty());
}

// Melody attacks

source_note melody_note(std::string kind, std::int64_t start_tick, std::int64_t duration_ticks,
                        std::vector<int> midis) {
  source_note note;
  note.kind = std::move(kind);
  note.start_tick = start_tick;
  note.duration_ticks = duration_ticks;
  for (const int midi : midis) {
    source_pitch pitch;
    pitch.midi = midi;
    note.pitches.push_back(pitch);
  }
  return note;
}

source_score melody_score(std::vector<source_note> notes) {
  source_score score;
  score.notes = std::move(notes);
  return score;
}

TEST(fretboard_test, melody_attacks) {
  const auto score = melody_score({
      melody_note("note", 0, 4096, {60}),
      melody_note("note", 4096, 4096, {}),
      melody_note("rest", 8192, 4096, {}),
      melody_note("note", 12288, 4096, {62}),
      melody_note("note", 16384, 4096, {64, 67}),
  });
  struct row {
    std::int64_t from;
    std::int64_t to;
    std::size_t count;
  };
  const row rows[] = {
      {0, 16384, 2},   {0, 16385, 3}, {12288, 12289, 1}, {4096, 12288, 0},
      {4096, 4096, 0}, {16384, 0, 0}, {-100, 100000, 3},
  };
  for (const auto& [from, to, count] : rows) {
    EXPECT_EQ(melody_attack_count(score, from, to), count) << from << ".." << to;
  }
  EXPECT_TRUE(melody_attack_at(score, 0));
  EXPECT_FALSE(melody_attack_at(score, 4096));
  EXPECT_FALSE(melody_attack_at(score, 8192));
  EXPECT_TRUE(melody_attack_at(score, 16384));
  EXPECT_FALSE(melody_attack_at(score, 100));
}

TEST(fretboard_test, long_melody_or_rest_space) {
  const auto score = melody_score({
      melody_note("note", 0, 4096, {60}),
      melody_note("rest", 4096, 1024, {}),
      melody_note("note", 5120, 3072, {62}),
      melody_note("note", 8192, 4097, {64}),
      melody_note("note", 12289, 4096, {65}),
      melody_note("note", 16385, 8192, {}),
  });
  struct row {
    const char* name;
    std::int64_t from;
    std::int64_t to;
    bool found;
  };
  const row rows[] = {
      {"a quarter note is not long", 0, 4096, false},
      {"a rest of any length", 0, 4097, true},
      {"a rest ending at from, a long note starting at to", 5120, 8192, false},
      {"a note of 4097 ticks", 12288, 12289, true},
      {"from equal to to, inside a rest", 4500, 4500, true},
      {"from equal to to, inside a short note", 6000, 6000, false},
      {"a long note without pitches counts", 20000, 20001, true},
      {"nothing there", 30000, 40000, false},
  };
  for (const auto& [name, from, to, found] : rows) {
    EXPECT_EQ(has_long_melody_or_rest_space(score, from, to), found) << name;
  }
}

TEST(fretboard_test, empty_score_has_no_melody) {
  const source_score empty;
  EXPECT_EQ(melody_attack_count(empty, 0, 100000), 0u);
  EXPECT_FALSE(melody_attack_at(empty, 0));
  EXPECT_FALSE(has_long_melody_or_rest_space(empty, 0, 100000));
}

}  // namespace
