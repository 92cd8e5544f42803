#include "arrangement/patterns.hpp"

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using grip = std::vector<tab_position>;
using family = comping_style_family;

using grip_fixtures::at;

constexpr std::array<family, 10> all_families{
    family::swing,    family::ballad, family::bossa, family::samba, family::latin,
    family::even8ths, family::rock,   family::funk,  family::blues, family::waltz};

arrangement_style_profile profile(family style, bool fast = false) { return {style, fast}; }

// A hit by its eighth, its length in eighths, its flags, weight class and variant.
comping_hit hit(int eighth, int eighths, bool avoid, bool space, int weight, int variant) {
  return {eighth * 2048, eighths * 2048, weight, avoid, false, space, variant};
}

std::vector<std::size_t> hit_counts(const std::vector<comping_pattern>& patterns) {
  std::vector<std::size_t> counts;
  for (const auto& pattern : patterns) counts.push_back(pattern.hits.size());
  return counts;
}

TEST(patterns_test, every_set_has_four_patterns_with_the_written_number_of_hits) {
  struct row {
    const char* name;
    arrangement_style_profile profile;
    std::vector<std::size_t> acoustic;
    std::vector<std::size_t> electric;
  };
  const row rows[] = {
      {"swing", profile(family::swing), {5, 4, 4, 5}, {3, 3, 3, 4}},
      {"swing fast", profile(family::swing, true), {4, 4, 4, 5}, {3, 3, 3, 4}},
      {"ballad", profile(family::ballad), {4, 3, 3, 3}, {2, 2, 2, 3}},
      {"bossa", profile(family::bossa), {5, 4, 5, 4}, {3, 3, 3, 3}},
      {"samba", profile(family::samba), {6, 5, 5, 5}, {3, 3, 3, 3}},
      {"latin", profile(family::latin), {6, 5, 4, 5}, {3, 3, 3, 3}},
      {"even8ths", profile(family::even8ths), {8, 5, 5, 5}, {3, 3, 3, 4}},
      {"rock", profile(family::rock), {8, 5, 5, 5}, {3, 3, 3, 4}},
      {"funk", profile(family::funk), {6, 5, 5, 5}, {3, 3, 3, 4}},
      {"blues", profile(family::blues), {6, 5, 5, 5}, {3, 3, 3, 4}},
      {"waltz", profile(family::waltz), {3, 3, 3, 3}, {2, 2, 2, 3}},
  };
  for (const auto& [name, style, acoustic, electric] : rows) {
    EXPECT_EQ(hit_counts(comping_patterns_for(style)), acoustic) << name;
    EXPECT_EQ(hit_counts(accompaniment_patterns_for(style)), electric) << name;
  }
}

TEST(patterns_test, hits_carry_their_written_offsets_lengths_and_flags) {
  struct row {
    const char* name;
    bool electric;
    arrangement_style_profile profile;
    std::size_t pattern;
    std::size_t index;
    comping_hit expected;
  };
  const row rows[] = {
      {"swing 0: 7 an w0", false, profile(family::swing), 0, 4, hit(7, 1, true, true, 0, 0)},
      {"swing 2: 5 a w1/2", false, profile(family::swing), 2, 3, hit(5, 1, true, false, 1, 2)},
      {"swing fast 0: 0 w1", false, profile(family::swing, true), 0, 0,
       hit(0, 1, false, false, 1, 0)},
      {"swing fast 3: 7 a w1", false, profile(family::swing, true), 3, 4,
       hit(7, 1, true, false, 1, 0)},
      {"ballad 1: 0:4 w0", false, profile(family::ballad), 1, 0, hit(0, 4, false, false, 0, 0)},
      {"ballad 1: 6:2 an w1", false, profile(family::ballad), 1, 2, hit(6, 2, true, true, 1, 0)},
      {"ballad 3: 2:2 an w0", false, profile(family::ballad), 3, 1, hit(2, 2, true, true, 0, 0)},
      {"bossa 1: 1 w1", false, profile(family::bossa), 1, 0, hit(1, 1, false, false, 1, 0)},
      {"bossa 2: 7 w1/2", false, profile(family::bossa), 2, 4, hit(7, 1, false, false, 1, 2)},
      {"samba 2: 4 w0", false, profile(family::samba), 2, 2, hit(4, 1, false, false, 0, 0)},
      {"latin 2: 6 w2/1", false, profile(family::latin), 2, 3, hit(6, 1, false, false, 2, 1)},
      {"even8ths 3: 7 a w2/1", false, profile(family::even8ths), 3, 4,
       hit(7, 1, true, false, 2, 1)},
      {"rock 1: 4 a w0", false, profile(family::rock), 1, 2, hit(4, 1, true, false, 0, 0)},
      {"funk 0: 1 a w1/1", false, profile(family::funk), 0, 0, hit(1, 1, true, false, 1, 1)},
      {"funk 3: 0 w2/1", false, profile(family::funk), 3, 0, hit(0, 1, false, false, 2, 1)},
      {"blues 3: 6 a w2/1", false, profile(family::blues), 3, 3, hit(6, 1, true, false, 2, 1)},
      {"waltz 0: 0:2 w0", false, profile(family::waltz), 0, 0, hit(0, 2, false, false, 0, 0)},
      {"waltz 3: 2 an w1", false, profile(family::waltz), 3, 1, hit(2, 1, true, true, 1, 0)},
      {"electric swing 0: 7 an w1", true, profile(family::swing), 0, 2,
       hit(7, 1, true, true, 1, 0)},
      {"electric blues 3: 0 w1", true, profile(family::blues), 3, 0, hit(0, 1, false, false, 1, 0)},
      {"electric ballad 1: 1 an w2/2", true, profile(family::ballad), 1, 0,
       hit(1, 1, true, true, 2, 2)},
      {"electric latin 0: 7 an w2/2", true, profile(family::latin), 0, 2,
       hit(7, 1, true, true, 2, 2)},
      {"electric funk 2: 1 a w1/2", true, profile(family::funk), 2, 0,
       hit(1, 1, true, false, 1, 2)},
      {"electric waltz 1: 4 an w2/2", true, profile(family::waltz), 1, 1,
       hit(4, 1, true, true, 2, 2)},
  };
  for (const auto& [name, electric, style, pattern, index, expected] : rows) {
    const auto& patterns =
        electric ? accompaniment_patterns_for(style) : comping_patterns_for(style);
    ASSERT_LT(pattern, patterns.size()) << name;
    ASSERT_LT(index, patterns[pattern].hits.size()) << name;
    EXPECT_EQ(patterns[pattern].hits[index], expected) << name;
  }
}

TEST(patterns_test, an_unknown_family_gets_one_empty_measure_from_both_tables) {
  const std::vector<comping_pattern> expected{{16384, {}}};
  for (const int value : {10, -1, 1000}) {
    const auto style = profile(static_cast<family>(value));
    EXPECT_EQ(comping_patterns_for(style), expected) << value;
    EXPECT_EQ(accompaniment_patterns_for(style), expected) << value;
  }
}

TEST(patterns_test, the_fast_flag_changes_only_the_acoustic_swing_set) {
  const auto& slow = comping_patterns_for(profile(family::swing));
  const auto& fast = comping_patterns_for(profile(family::swing, true));
  for (std::size_t index = 0; index < 4; ++index) {
    EXPECT_NE(slow[index], fast[index]) << index;
    EXPECT_EQ(fast[index].hits.front().weight_class, 1) << index;
  }
  for (const auto style : all_families) {
    EXPECT_EQ(accompaniment_patterns_for(profile(style)),
              accompaniment_patterns_for(profile(style, true)));
    if (style != family::swing) {
      EXPECT_EQ(comping_patterns_for(profile(style)), comping_patterns_for(profile(style, true)));
    }
  }
}

TEST(patterns_test, electric_families_share_sets_and_acoustic_sets_are_all_different) {
  const auto electric = [](family style) { return accompaniment_patterns_for(profile(style)); };
  EXPECT_EQ(electric(family::blues), electric(family::swing));
  EXPECT_EQ(electric(family::samba), electric(family::bossa));
  EXPECT_EQ(electric(family::latin), electric(family::bossa));
  EXPECT_EQ(electric(family::rock), electric(family::even8ths));
  EXPECT_EQ(electric(family::funk), electric(family::even8ths));
  const std::vector<std::vector<comping_pattern>> electric_sets{
      electric(family::swing), electric(family::ballad), electric(family::bossa),
      electric(family::even8ths), electric(family::waltz)};
  for (std::size_t left = 0; left < electric_sets.size(); ++left) {
    for (std::size_t right = left + 1; right < electric_sets.size(); ++right) {
      EXPECT_NE(electric_sets[left], electric_sets[right]) << left << " " << right;
    }
  }

  std::vector<std::vector<comping_pattern>> acoustic{
      comping_patterns_for(profile(family::swing, true))};
  for (const auto style : all_families) acoustic.push_back(comping_patterns_for(profile(style)));
  for (std::size_t left = 0; left < acoustic.size(); ++left) {
    for (std::size_t right = left + 1; right < acoustic.size(); ++right) {
      EXPECT_NE(acoustic[left], acoustic[right]) << left << " " << right;
    }
  }
  const auto& even = comping_patterns_for(profile(family::even8ths));
  const auto& rock = comping_patterns_for(profile(family::rock));
  EXPECT_EQ(even[0], rock[0]);
  for (std::size_t index = 1; index < 4; ++index) EXPECT_NE(even[index], rock[index]) << index;
}

TEST(patterns_test, every_hit_lies_on_the_eighth_grid_inside_one_measure) {
  std::vector<std::vector<comping_pattern>> tables{
      comping_patterns_for(profile(family::swing, true))};
  for (const auto style : all_families) {
    tables.push_back(comping_patterns_for(profile(style)));
    tables.push_back(accompaniment_patterns_for(profile(style)));
  }
  for (const auto& table : tables) {
    ASSERT_EQ(table.size(), 4U);
    for (const auto& pattern : table) {
      EXPECT_EQ(pattern.length, 16384);
      std::int64_t previous = -1;
      for (const auto& entry : pattern.hits) {
        EXPECT_EQ(entry.offset % 2048, 0);
        EXPECT_GT(entry.offset, previous);
        EXPECT_LE(entry.offset, 14336);
        EXPECT_TRUE(entry.duration == 2048 || entry.duration == 4096 || entry.duration == 8192);
        EXPECT_FALSE(entry.skip_when_melody_busy);
        if (entry.offset == 0) {
          EXPECT_FALSE(entry.avoid_melody_attack || entry.needs_space);
        }
        previous = entry.offset;
      }
    }
  }
}

TEST(patterns_test, downbeats_and_flags_fall_where_the_styles_put_them) {
  const auto without_downbeat = [](const std::vector<comping_pattern>& patterns) {
    std::vector<std::size_t> indexes;
    for (std::size_t index = 0; index < patterns.size(); ++index) {
      if (patterns[index].hits.front().offset != 0) indexes.push_back(index);
    }
    return indexes;
  };
  const std::vector<std::size_t> none;
  const std::vector<std::size_t> all_but_three{0, 1, 2};
  const std::vector<std::size_t> all_four{0, 1, 2, 3};
  for (const auto style : all_families) {
    const auto name = std::to_string(static_cast<int>(style));
    const auto& acoustic = comping_patterns_for(profile(style));
    if (style == family::bossa) {
      EXPECT_EQ(without_downbeat(acoustic), std::vector<std::size_t>{1});
    } else if (style == family::funk) {
      EXPECT_EQ(without_downbeat(acoustic), (std::vector<std::size_t>{0, 2}));
    } else {
      EXPECT_EQ(without_downbeat(acoustic), none) << name;
    }
    const bool latin_set =
        style == family::bossa || style == family::samba || style == family::latin;
    EXPECT_EQ(without_downbeat(accompaniment_patterns_for(profile(style))),
              latin_set ? all_four : all_but_three)
        << name;
    if (latin_set) {
      for (const auto& pattern : acoustic) {
        for (const auto& entry : pattern.hits) {
          EXPECT_FALSE(entry.avoid_melody_attack || entry.needs_space) << name;
        }
      }
    }
  }
  EXPECT_EQ(without_downbeat(comping_patterns_for(profile(family::swing, true))), none);
}

TEST(patterns_test, tables_are_one_immutable_copy_and_a_made_pattern_keeps_its_hits_as_given) {
  EXPECT_EQ(&comping_patterns_for(profile(family::rock)),
            &comping_patterns_for(profile(family::rock)));
  EXPECT_EQ(&accompaniment_patterns_for(profile(family::rock)),
            &accompaniment_patterns_for(profile(family::funk)));
  const std::vector<comping_hit> hits{hit(5, 1, true, false, 1, 0), hit(0, 2, false, false, 0, 0),
                                      hit(5, 1, false, false, 2, 1)};
  EXPECT_EQ(make_comping_pattern(12288, hits), (comping_pattern{12288, hits}));
  EXPECT_EQ(make_comping_pattern(-5, {}), (comping_pattern{-5, {}}));
}

// Growing grips

grip fingered(grip positions) { return *assign_fingering(std::move(positions)); }

TEST(patterns_test, a_position_joins_a_grip_only_when_it_stays_playable_and_fingered) {
  const grip shell = fingered({at(5, 3), at(4, 2)});
  const grip full = fingered({at(5, 3), at(4, 2), at(3, 0), at(2, 1)});
  struct row {
    const char* name;
    grip grip_before;
    tab_position position;
    bool added;
    grip grip_after;
  };
  const row rows[] = {
      {"a new string and pitch joins; the grip is fingered by pitch", shell, at(2, 1), true,
       fingered({at(5, 3), at(4, 2), at(2, 1)})},
      {"a string in use is refused though the pitch is new", shell, at(4, 5), false, shell},
      {"a pitch in use on another string is refused", shell, at(6, 8), false, shell},
      {"a fifth note is refused", full, at(1, 0), false, full},
      {"a stretch of five frets is refused", shell, at(2, 8), false, shell},
      {"a muddy low interval is refused", grip{at(6, 3, 1)}, at(5, 0), false, grip{at(6, 3, 1)}},
      {"an empty grip takes any position", grip{}, at(3, 2), true, fingered({at(3, 2)})},
  };
  for (const auto& [name, before, position, added, after] : rows) {
    auto grown = before;
    EXPECT_EQ(add_position_if_playable(grown, position), added) << name;
    EXPECT_EQ(grown, after) << name;
  }
}

TEST(patterns_test, a_refused_position_leaves_order_and_fingers_untouched) {
  // Out of pitch order and with fingers no rule would choose.
  const grip odd{at(2, 5, 4), at(4, 5, 4), at(3, 6, 2)};
  auto grown = odd;
  EXPECT_FALSE(add_position_if_playable(grown, at(5, 12)));
  EXPECT_EQ(grown, odd);
}

TEST(patterns_test, merging_adds_each_extra_position_that_fits_greedily) {
  const grip base{at(2, 5, 3), at(4, 5, 1), at(3, 5, 2)};
  struct row {
    const char* name;
    grip extra;
    grip expected;
  };
  const row rows[] = {
      {"no extra: the base by pitch, its own fingers", {}, {at(4, 5, 1), at(3, 5, 2), at(2, 5, 3)}},
      {"a rejected first position does not stop the next",
       {at(4, 9), at(1, 9), at(5, 5)},
       fingered({at(5, 5), at(4, 5), at(3, 5), at(2, 5)})},
      {"each position is tried against the grown grip",
       {at(5, 5), at(6, 5)},
       fingered({at(5, 5), at(4, 5), at(3, 5), at(2, 5)})},
      {"nothing fits: the base by pitch",
       {at(3, 9), at(2, 5)},
       {at(4, 5, 1), at(3, 5, 2), at(2, 5, 3)}},
  };
  for (const auto& [name, extra, expected] : rows) {
    EXPECT_EQ(merge_playable_positions(base, extra), expected) << name;
  }
}

// Degree priority

TEST(patterns_test, degree_priority_ranks_required_optional_other_root_fifth_and_outside) {
  parsed_chord chord;
  chord.root_pc = 0;
  chord.formula.degrees = {"1", "3", "5", "b7", "9", "13"};
  chord.formula.required_degrees = {"3", "b7"};
  chord.formula.optional_degrees = {"9"};
  struct row {
    const char* name;
    tab_position position;
    int expected;
  };
  const row rows[] = {
      {"third", at(4, 2), 0},
      {"seventh", at(3, 3), 0},
      {"ninth", at(2, 3), 1},
      {"thirteenth", at(1, 5), 2},
      {"root", at(5, 3), 3},
      {"fifth", at(6, 3), 3},
      {"outside the chord", at(2, 2), 4},
  };
  for (const auto& [name, position, expected] : rows) {
    EXPECT_EQ(position_degree_priority(chord, position), expected) << name;
  }
}

TEST(patterns_test, root_and_fifth_are_matched_as_whole_names) {
  // Required root and fifth rank 0; optional root and fifth rank like plain degrees of their own
  // kind, while other optional names such as "11" or "b5" rank 1.
  parsed_chord chord;
  chord.root_pc = 0;
  chord.formula.degrees = {"1", "3", "5", "b7", "11", "b5"};
  chord.formula.required_degrees = {"1", "b7"};
  chord.formula.optional_degrees = {"5", "11", "b5", "x"};
  EXPECT_EQ(position_degree_priority(chord, at(5, 3)), 0);  // C, required root
  EXPECT_EQ(position_degree_priority(chord, at(6, 3)), 3);  // G, optional fifth
  EXPECT_EQ(position_degree_priority(chord, at(4, 3)), 1);  // F, optional 11
  EXPECT_EQ(position_degree_priority(chord, at(5, 9)), 1);  // F#, optional b5
  EXPECT_EQ(position_degree_priority(chord, at(4, 2)), 2);  // E, a plain third
}

}  // namespace
