#include "arrangement/solo_theory.hpp"

#include "arrangement/chords.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using grip_fixtures::chord_of;
using grip_fixtures::quality_suffixes;
using pcs = std::vector<int>;

enum note : int { C, Db, D, Eb, E, F, Gb, G, Ab, A, Bb, B };

bool holds(const pcs& list, int pc) {
  return std::find(list.begin(), list.end(), pc) != list.end();
}

bool free_of_repeats(const pcs& list) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (std::find(list.begin(), it, *it) != it) return false;
  }
  return true;
}

// Harmonic context

parsed_chord unknown_family_chord() {
  auto chord = chord_of(C, "maj7");
  chord.formula.family = static_cast<chord_family>(9);
  chord.formula.degrees = {"1", "3", "x", "5", "7"};
  return chord;
}

TEST(solo_theory_test, context_of_each_family_and_resolution) {
  struct row {
    const char* name;
    parsed_chord chord;
    std::optional<parsed_chord> next;
    int key;
    solo_harmonic_context expected;
  };
  const auto c_major = chord_of(C, "");
  const auto c_minor = chord_of(C, "m");
  const row rows[] = {
      {"major seventh on the fourth degree is lydian",
       chord_of(F, "maj7"),
       std::nullopt,
       C,
       {{F, G, A, B, C, D, E}, {A, E, B, F, C}, {B}}},
      {"major seventh on the tonic without #11 is ionian",
       chord_of(C, "maj7"),
       std::nullopt,
       C,
       {{C, D, E, F, G, A, B}, {E, B, C, G}, {}}},
      {"major seventh on the flat sixth is lydian",
       chord_of(Ab, "maj7"),
       std::nullopt,
       C,
       {{Ab, Bb, C, D, Eb, F, G}, {C, G, D, Ab, Eb}, {D}}},
      {"a written #11 makes the tonic lydian",
       chord_of(C, "maj7#11"),
       std::nullopt,
       C,
       {{C, D, E, Gb, G, A, B}, {E, B, Gb, C, G}, {Gb}}},
      {"major colours are 13 then 9 when written",
       chord_of(C, "maj13"),
       std::nullopt,
       C,
       {{C, D, E, F, G, A, B}, {E, B, A, D, C, G}, {A, D}}},
      {"minor on the sixth degree is aeolian without a sixth",
       chord_of(A, "m7"),
       std::nullopt,
       C,
       {{A, B, C, D, E, F, G}, {C, G, A, E}, {}}},
      {"minor elsewhere is dorian with its sixth",
       chord_of(D, "m7"),
       std::nullopt,
       C,
       {{D, E, F, G, A, B, C}, {F, C, B, D, A}, {B}}},
      {"minor ninth adds its ninth after the sixth",
       chord_of(D, "m9"),
       std::nullopt,
       C,
       {{D, E, F, G, A, B, C}, {F, C, B, E, D, A}, {B, E}}},
      {"dominant to a minor chord a fourth up",
       chord_of(G, "7"),
       c_minor,
       C,
       {{G, Ab, B, C, D, Eb, F}, {B, F, Ab, Eb, G, D}, {Ab, Eb}}},
      {"dominant to a major chord is mixolydian",
       chord_of(G, "7"),
       c_major,
       C,
       {{G, A, B, C, D, E, F}, {B, F, G, D}, {}}},
      {"dominant to a minor chord elsewhere is mixolydian",
       chord_of(G, "7"),
       chord_of(F, "m7"),
       C,
       {{G, A, B, C, D, E, F}, {B, F, G, D}, {}}},
      {"a required #9 gives the altered scale",
       chord_of(G, "7#9"),
       c_major,
       C,
       {{G, Ab, Bb, B, Db, Eb, F, D}, {B, F, Bb, G, D}, {Bb}}},
      {"a minor chord a fourth up overrides the #9",
       chord_of(G, "7#9"),
       c_minor,
       C,
       {{G, Ab, B, C, D, Eb, F, Bb}, {B, F, Ab, Eb, Bb, G, D}, {Ab, Eb, Bb}}},
      {"a required b9 resolves to minor by itself",
       chord_of(G, "7b9"),
       c_major,
       C,
       {{G, Ab, B, C, D, Eb, F}, {B, F, Ab, Eb, G, D}, {Ab, Eb}}},
      {"dominant colours are 13 then 9 when written",
       chord_of(G, "13"),
       c_major,
       C,
       {{G, A, B, C, D, E, F}, {B, F, E, A, G, D}, {E, A}}},
      {"the altered dominant resolves to minor by its b9",
       chord_of(G, "alt"),
       std::nullopt,
       C,
       {{G, Ab, B, C, D, Eb, F, Bb, Db}, {B, F, Ab, Eb, Bb, Db, G}, {Ab, Eb, Bb, Db}}},
      {"a required b5 gives the altered scale",
       chord_of(G, "7b5"),
       c_major,
       C,
       {{G, Ab, Bb, B, Db, Eb, F}, {B, F, Db, G}, {Db}}},
      {"diminished seventh",
       chord_of(B, "dim7"),
       std::nullopt,
       C,
       {{B, Db, D, E, F, G, Ab, Bb}, {D, Ab, B, F}, {Ab}}},
      {"half-diminished is locrian",
       chord_of(B, "m7b5"),
       std::nullopt,
       C,
       {{B, C, D, E, F, G, A}, {D, A, F, B}, {F}}},
      {"augmented is lydian augmented",
       chord_of(C, "+"),
       std::nullopt,
       C,
       {{C, D, E, Gb, Ab, A, B}, {E, Ab, C}, {Ab}}},
      {"suspended colours with an unwritten 9",
       chord_of(C, "7sus4"),
       std::nullopt,
       C,
       {{C, D, F, G, A, Bb}, {F, Bb, D, C, G}, {D}}},
      {"the key counts by its pitch class (INT_MIN is E)",
       chord_of(C, "maj7"),
       std::nullopt,
       INT_MIN,
       {{C, D, E, Gb, G, A, B}, {E, B, Gb, C, G}, {Gb}}},
      {"an unknown family keeps its own known degrees only",
       unknown_family_chord(),
       std::nullopt,
       C,
       {{C, E, G, B}, {E, B, C, G}, {}}},
  };
  for (const auto& [name, chord, next, key, expected] : rows) {
    SCOPED_TRACE(name);
    const auto context = solo_harmonic_context_for(chord, next ? &*next : nullptr, key);
    EXPECT_EQ(context.scale_tones, expected.scale_tones);
    EXPECT_EQ(context.chord_tones, expected.chord_tones);
    EXPECT_EQ(context.color_tones, expected.color_tones);
  }
}

TEST(solo_theory_test, every_context_is_a_set_of_pitch_classes_with_colours_among_chord_tones) {
  for (int root = 0; root < 12; ++root) {
    const auto minor_a_fourth_up = chord_of((root + 5) % 12, "m7");
    for (const char* suffix : quality_suffixes) {
      const auto chord = chord_of(root, suffix);
      for (int key = 0; key < 12; ++key) {
        for (const parsed_chord* next :
             {static_cast<const parsed_chord*>(nullptr), &minor_a_fourth_up}) {
          const auto context = solo_harmonic_context_for(chord, next, key);
          SCOPED_TRACE(chord.symbol + " in key " + std::to_string(key));
          for (const auto* list :
               {&context.scale_tones, &context.chord_tones, &context.color_tones}) {
            EXPECT_TRUE(free_of_repeats(*list));
            EXPECT_TRUE(
                std::all_of(list->begin(), list->end(), [](int pc) { return pc >= 0 && pc < 12; }));
          }
          for (const int pc : context.color_tones) EXPECT_TRUE(holds(context.chord_tones, pc));
          for (const auto& degree : chord.formula.degrees) {
            EXPECT_TRUE(holds(context.scale_tones, *degree_pc(chord, degree)));
            EXPECT_TRUE(holds(context.chord_tones, *degree_pc(chord, degree)));
          }
        }
      }
    }
  }
}

TEST(solo_theory_test, chord_targets_use_the_chords_own_required_colours) {
  struct row {
    parsed_chord chord;
    pcs expected;
  };
  const row rows[] = {
      {chord_of(F, "maj7"), {A, E, F, C}},
      {chord_of(C, "maj13"), {E, B, A, C, G, D}},
      {chord_of(G, "alt"), {B, F, Ab, Bb, Eb, Db, G}},
      {chord_of(B, "dim7"), {D, Ab, F, B}},
      {chord_of(C, "7sus4"), {F, Bb, C, G}},
      {chord_of(C, ""), {E, C, G}},
  };
  for (const auto& [chord, expected] : rows) {
    SCOPED_TRACE(chord.symbol);
    EXPECT_EQ(chord_target_pcs(chord), expected);
  }
}

// Pitch-class lists

TEST(solo_theory_test, major_scale_of_any_key) {
  struct row {
    int key;
    pcs expected;
  };
  const row rows[] = {
      {C, {C, D, E, F, G, A, B}},           {14, {D, E, Gb, G, A, B, Db}},
      {-1, {B, Db, Eb, E, Gb, Ab, Bb}},     {INT_MAX, {G, A, B, C, D, E, Gb}},
      {INT_MIN, {E, Gb, Ab, A, B, Db, Eb}},
  };
  for (const auto& [key, expected] : rows) {
    SCOPED_TRACE(key);
    EXPECT_EQ(key_major_scale_pcs(key), expected);
  }
}

TEST(solo_theory_test, appended_pitch_classes_are_reduced_and_kept_once_in_order) {
  pcs list;
  for (const std::optional<int> value :
       {std::optional<int>{14}, std::optional<int>{2}, std::optional<int>{}, std::optional<int>{-1},
        std::optional<int>{11}, std::optional<int>{INT_MIN}}) {
    append_unique_pc(list, value);
  }
  EXPECT_EQ(list, (pcs{D, B, E}));

  const auto g7 = chord_of(G, "7");
  pcs degrees;
  for (const char* degree : {"b9", "x", "", "#9", "b3", "1"}) append_degree_pc(degrees, g7, degree);
  EXPECT_EQ(degrees, (pcs{Ab, Bb, G}));
}

}  // namespace
