#include "arrangement/improvisation_common.hpp"

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/solo_theory.hpp"

#include <gtest/gtest.h>

#include "score_fixtures.hpp"

#include <climits>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::measure_at;
using score_fixtures::note_at;
using score_fixtures::occurrence;
using score_fixtures::occurrences_of;
using score_fixtures::whole_note_song;

constexpr std::int64_t quarter = 4096;
constexpr std::int64_t whole = 16384;

// Fixtures

// One chord a measure long after another, from tick 0.
std::vector<chord_occurrence> progression(const std::vector<std::string>& symbols) {
  std::vector<chord_occurrence> chords;
  std::int64_t start = 0;
  for (const auto& symbol : symbols) {
    chords.push_back(occurrence(symbol, start, start + whole));
    start += whole;
  }
  return chords;
}

// The first occurrence in list order holding the tick, found by walking the whole list.
const chord_occurrence* holding_by_walk(const std::vector<chord_occurrence>& chords,
                                        std::int64_t tick) {
  for (const auto& chord : chords) {
    if (chord.start_tick <= tick && tick < chord.end_tick) return &chord;
  }
  return nullptr;
}

// Seeds

static_assert(mix_seed(0, 0) == 1881738165);

TEST(improvisation_common_test, mix_seed_hashes_32_bit_patterns_into_31_bits) {
  struct row {
    const char* name;
    std::uint32_t a;
    std::uint32_t b;
    int expected;
  };
  const row rows[] = {
      {"zero", 0, 0, 1881738165},
      {"one", 1, 0, 1213745373},
      {"minus one twice", static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
       1753776126},
  };
  for (const auto& [name, a, b, expected] : rows) EXPECT_EQ(mix_seed(a, b), expected) << name;

  // Signed and 64-bit values count by their low 32 bits; sums wrap.
  EXPECT_EQ(mix_seed(-1, -1), 1753776126);
  std::int64_t tick = (std::int64_t{1} << 32) + 1;
  EXPECT_EQ(mix_seed(tick, 0), mix_seed(1, 0));
  EXPECT_EQ(mix_seed(INT_MAX + std::uint32_t{1}, 7), mix_seed(INT_MIN, 7));
  for (std::uint32_t a = 0; a < 2000; ++a) {
    EXPECT_GE(mix_seed(a * 2654435761u, a), 0);
    EXPECT_GE(mix_seed(0xFFFFFFFFu - a, 0x80000000u + a), 0);
  }
}

TEST(improvisation_common_test, configuration_rows_roles_and_style_seeds) {
  struct config_row {
    const char* name;
    improvisation_role role;
    improvisation_config expected;
  };
  const config_row rows[] = {
      {"acoustic", improvisation_role::acoustic, {0, 0, 52, 72, 61, 42, 36, 41, 7}},
      {"electric", improvisation_role::electric, {1, 1, 52, 72, 61, 34, 42, 67, 8}},
      {"high electric", improvisation_role::high_electric, {1, 1, 57, 76, 64, 60, 28, 67, 7}},
      {"unknown role", static_cast<improvisation_role>(9), {1, 1, 57, 76, 64, 60, 28, 67, 7}},
      {"negative role", static_cast<improvisation_role>(-1), {1, 1, 57, 76, 64, 60, 28, 67, 7}},
  };
  for (const auto& [name, role, expected] : rows) EXPECT_EQ(profile_config(role), expected) << name;

  EXPECT_EQ(profile_role(guitar_solo_profile::acoustic), improvisation_role::acoustic);
  EXPECT_EQ(profile_role(guitar_solo_profile::electric), improvisation_role::electric);
  EXPECT_EQ(profile_role(static_cast<guitar_solo_profile>(5)), improvisation_role::electric);

  // swing 0 ... waltz 9, then families outside the enumeration.
  const int families[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1};
  const int seeds[] = {5, 3, 7, 11, 13, 17, 19, 23, 29, 31, 5, 5};
  for (std::size_t index = 0; index < std::size(families); ++index) {
    arrangement_style_profile style;
    style.family = static_cast<comping_style_family>(families[index]);
    EXPECT_EQ(style_seed(style), seeds[index]) << "family " << families[index];
  }
}

// Keys

TEST(improvisation_common_test, the_source_key_is_the_first_key_signature_naming_a_note) {
  struct row {
    const char* name;
    std::vector<std::string> keys;
    int expected;
  };
  const row rows[] = {
      {"B flat", {"Bb"}, 10},
      {"F sharp minor", {"F#m"}, 6},
      {"leading blanks", {"  Eb"}, 3},
      {"lower-case letter", {"a"}, 9},
      {"first measure without a note name", {"", "x", "D"}, 2},
      {"only the first parsing measure counts", {"G", "D"}, 7},
      {"no measure parses", {"", "H"}, 0},
      {"no measures", {}, 0},
  };
  for (const auto& [name, keys, expected] : rows) {
    source_score score;
    for (const auto& key : keys) score.measures.push_back(measure_at(0, whole, "4/4", key));
    EXPECT_EQ(key_root_pc(score), expected) << name;
  }
}

TEST(improvisation_common_test, local_keys_follow_resolutions_and_two_fives) {
  constexpr int fb = 99;  // the fallback, so that falling back shows
  struct row {
    const char* name;
    std::vector<std::string> chords;
    std::vector<int> expected;  // the local key of each chord in turn
  };
  const row rows[] = {
      {"II-V-I in C", {"Dm7", "G7", "Cmaj7"}, {0, 0, 0}},
      {"minor II-V-i in A minor", {"Bm7b5", "E7", "Am"}, {0, 0, 0}},
      {"half-diminished II-V without its i", {"Bm7b5", "E7"}, {0, fb}},
      {"minor II-V without its I", {"Dm7", "G7"}, {0, fb}},
      {"II-V followed by no resolution", {"Dm7", "G7", "E7"}, {0, fb, fb}},
      {"II-V-i in D minor", {"Em7b5", "A7", "Dm"}, {5, 5, 5}},
      {"half-diminished II-V to nowhere", {"Em7b5", "A7"}, {5, fb}},
      {"tritone substitute to major", {"Db7", "C"}, {0, 0}},
      {"tritone substitute to minor", {"Db7", "Cm"}, {3, 3}},
      {"backdoor dominant to major", {"Bb7", "C"}, {0, 0}},
      {"backdoor dominant to minor is no resolution", {"Bb7", "Cm"}, {fb, fb}},
      {"IV after V-I", {"G7", "C", "F"}, {0, 0, 0}},
      {"IV without the V-I", {"C", "F"}, {fb, fb}},
      {"IV after a V-i keeps nothing", {"G7", "Cm", "F"}, {3, 3, fb}},
      {"dominant into a dominant", {"D7", "G7", "C"}, {fb, 0, 0}},
      {"diminished, augmented and suspended fall back",
       {"Bdim7", "C", "G+", "C", "G7sus4", "C"},
       {fb, fb, fb, fb, fb, fb}},
  };
  for (const auto& [name, symbols, expected] : rows) {
    const auto chords = progression(symbols);
    for (std::size_t index = 0; index < chords.size(); ++index) {
      EXPECT_EQ(local_key_pc_for_chord(chords, &chords[index], fb), expected[index])
          << name << ", chord " << index;
    }
  }
}

TEST(improvisation_common_test, the_local_key_finds_its_chord_by_identity) {
  const auto chords = progression({"Dm7", "G7", "Cmaj7"});
  const auto copy = chords;
  EXPECT_EQ(local_key_pc_for_chord(chords, nullptr, 4), 4);
  EXPECT_EQ(local_key_pc_for_chord(chords, &copy[1], 4), 4);
  EXPECT_EQ(local_key_pc_for_chord({}, &chords[1], 4), 4);
  EXPECT_EQ(local_key_pc_for_chord(chords, &chords[1], 4), 0);
  EXPECT_EQ(next_chord_after(chords, &copy[0]), nullptr);
  EXPECT_EQ(next_chord_after(chords, nullptr), nullptr);
}

// Harmony at a tick

TEST(improvisation_common_test, the_harmony_at_a_tick_is_the_holding_chord_in_its_local_key) {
  const auto score = whole_note_song({"Dm7", "G7", "Cmaj7"}, true, "F");
  const auto chords = occurrences_of(score);
  ASSERT_EQ(chords.size(), 3u);
  const auto& dm7 = chords[0].chord;
  const auto& g7 = chords[1].chord;
  const auto& cmaj7 = chords[2].chord;
  const improvisation_config config;
  struct row {
    const char* name;
    std::int64_t tick;
    std::optional<solo_harmonic_context> expected;
  };
  const row rows[] = {
      {"first beat of the first chord", whole, solo_harmonic_context_for(dm7, &g7, 0)},
      {"last tick of the middle chord", 3 * whole - 1, solo_harmonic_context_for(g7, &cmaj7, 0)},
      {"last chord has no next chord", 3 * whole + quarter,
       solo_harmonic_context_for(cmaj7, nullptr, 0)},
      {"pickup: the last chord leads to the first", 3 * quarter,
       solo_harmonic_context_for(cmaj7, &dm7, 0)},
      {"downbeat of the pickup", 0, solo_harmonic_context_for(cmaj7, &dm7, 0)},
      {"before the pickup", -1, std::nullopt},
      {"after the last chord", 4 * whole, std::nullopt},
  };
  for (const auto& [name, tick, expected] : rows) {
    EXPECT_EQ(harmonic_context_for_tick(score, chords, config, tick), expected) << name;
  }
  EXPECT_EQ(harmonic_context_for_tick(score, {}, config, whole), std::nullopt);
}

TEST(improvisation_common_test, a_chord_without_neighbours_is_read_in_the_source_key) {
  // B flat major seventh is Lydian (E natural) in F, Ionian (E flat) in its own key.
  const auto in_f = whole_note_song({"Bbmaj7"}, false, "F");
  const auto in_b_flat = whole_note_song({"Bbmaj7"}, false, "Bb");
  const auto chord = *parse_chord_symbol("Bbmaj7");
  const improvisation_config config;
  EXPECT_EQ(harmonic_context_for_tick(in_f, occurrences_of(in_f), config, 0),
            solo_harmonic_context_for(chord, nullptr, 5));
  EXPECT_EQ(harmonic_context_for_tick(in_b_flat, occurrences_of(in_b_flat), config, 0),
            solo_harmonic_context_for(chord, nullptr, 10));
  EXPECT_NE(solo_harmonic_context_for(chord, nullptr, 5),
            solo_harmonic_context_for(chord, nullptr, 10));
}

TEST(improvisation_common_test, without_a_pickup_nothing_holds_the_ticks_before_the_first_chord) {
  // Measure 0 opens late without a chord, but the chords begin in measure 2: no pickup.
  auto score = whole_note_song({"C", "F"}, true);
  score.notes[2].chord_symbol.clear();
  const auto chords = occurrences_of(score);
  ASSERT_EQ(chords.size(), 1u);
  EXPECT_FALSE(tick_is_in_leading_pickup(score, 3 * quarter));
  EXPECT_EQ(harmonic_context_for_tick(score, chords, {}, 3 * quarter), std::nullopt);

  const auto with_pickup = whole_note_song({"C"}, true);
  const auto lone = occurrences_of(with_pickup);
  EXPECT_TRUE(tick_is_in_leading_pickup(with_pickup, 0));
  EXPECT_TRUE(tick_is_in_leading_pickup(with_pickup, whole - 1));
  EXPECT_FALSE(tick_is_in_leading_pickup(with_pickup, whole));
  EXPECT_FALSE(tick_is_in_leading_pickup(with_pickup, -1));
  // A lone chord is its own next chord inside the pickup.
  EXPECT_EQ(harmonic_context_for_tick(with_pickup, lone, {}, 0),
            solo_harmonic_context_for(lone[0].chord, &lone[0].chord, 0));
}

TEST(improvisation_common_test, overlapping_and_simultaneous_chords_take_the_first_in_list_order) {
  const std::vector<chord_occurrence> chords{
      occurrence("C", 0, 0),  // empty: starts where the next one starts
      occurrence("Dm7", 0, 4 * whole),
      occurrence("G7", whole, 2 * whole),  // inside the D minor span
      occurrence("E7", whole, 3 * whole),
      occurrence("Am", 5 * whole, 6 * whole),
  };
  EXPECT_EQ(active_chord_at(chords, 0), &chords[1]);
  EXPECT_EQ(active_chord_at(chords, whole), &chords[1]);
  EXPECT_EQ(active_chord_at(chords, 4 * whole), nullptr);
  EXPECT_EQ(active_chord_at(chords, 5 * whole), &chords[4]);
  // The next chord starts later than the current one: equal starts are skipped.
  EXPECT_EQ(next_chord_after(chords, &chords[0]), &chords[2]);
  EXPECT_EQ(next_chord_after(chords, &chords[2]), &chords[4]);
  EXPECT_EQ(next_chord_after(chords, &chords[4]), nullptr);
  EXPECT_EQ(harmonic_context_for_tick({}, chords, {}, whole),
            solo_harmonic_context_for(chords[1].chord, &chords[2].chord, 0));
}

// Occurrence lists in time order with ends that may overlap, reach back or be empty.
std::vector<chord_occurrence> scattered_occurrences(std::uint32_t seed) {
  const char* symbols[] = {"C", "Dm7", "G7", "Am", "Bm7b5", "E7", "Fmaj7", "Bb7", "Db7", "Cdim7"};
  std::vector<chord_occurrence> chords;
  std::int64_t start = -2 * quarter;
  for (int index = 0; index < 24; ++index) {
    const auto draw = mix_seed(seed, static_cast<std::uint32_t>(index));
    start += (draw % 4) * quarter;                     // equal starts now and then
    const auto length = (draw / 4 % 7 - 1) * quarter;  // occasionally empty or reaching back
    chords.push_back(occurrence(symbols[draw / 32 % 10], start, start + length));
  }
  return chords;
}

TEST(improvisation_common_test, the_context_table_agrees_with_the_lookup_on_every_tick) {
  std::vector<std::pair<source_score, std::vector<chord_occurrence>>> cases;
  for (bool pickup : {false, true}) {
    const auto score = whole_note_song({"Dm7", "G7", "Cmaj7", "A7", "Dm", "Bb7", "Ebmaj7", "Bm7b5",
                                        "E7", "Am", "Db7", "C", "G7sus4", "Caug"},
                                       pickup, "Eb");
    cases.emplace_back(score, occurrences_of(score));
    cases.emplace_back(score, std::vector<chord_occurrence>{});
    cases.emplace_back(score, std::vector<chord_occurrence>{occurrences_of(score).back()});
  }
  for (std::uint32_t seed = 0; seed < 6; ++seed) {
    cases.emplace_back(whole_note_song({"C"}, seed % 2 == 0), scattered_occurrences(seed));
  }
  const improvisation_config config;
  for (std::size_t index = 0; index < cases.size(); ++index) {
    const auto& [score, chords] = cases[index];
    const auto table = build_harmonic_context_table(score, chords);
    for (std::int64_t tick = -3 * quarter; tick < 16 * whole; tick += 256) {
      for (const auto probe : {tick, tick + 1, tick - 1}) {
        const auto expected = harmonic_context_for_tick(score, chords, config, probe);
        const auto* found = harmonic_context_at(table, probe);
        ASSERT_EQ(found != nullptr, expected.has_value()) << "case " << index << " tick " << probe;
        if (found != nullptr) {
          ASSERT_EQ(*found, *expected) << "case " << index << " tick " << probe;
        }
        ASSERT_EQ(active_chord_at(chords, probe), holding_by_walk(chords, probe))
            << "case " << index << " tick " << probe;
      }
    }
  }
}

// Measures and metre

// 4/4 from 0, an empty measure, 3/4, 6/8.
source_score mixed_metre() {
  source_score score;
  score.measures = {measure_at(0), measure_at(whole, 0), measure_at(whole, 3 * quarter, "3/4"),
                    measure_at(whole + 3 * quarter, 6 * 2048, "6/8")};
  return score;
}

TEST(improvisation_common_test, measure_lookups_find_the_holding_measure_or_fall_back) {
  const auto score = mixed_metre();
  const std::int64_t end = whole + 3 * quarter + 6 * 2048;
  struct row {
    const char* name;
    std::int64_t tick;
    std::size_t fallback;
    std::size_t index;
    std::int64_t measure_end;
  };
  const row rows[] = {
      {"first tick", 0, 3, 0, whole},
      {"last tick of the first measure", whole - 1, 3, 0, whole},
      {"the empty measure holds nothing", whole, 0, 2, whole + 3 * quarter},
      {"start of the 6/8 measure", whole + 3 * quarter, 0, 3, end},
      {"last tick", end - 1, 0, 3, end},
      {"end of the source falls back", end, 1, 1, end},
      {"fallback beyond the list is the last measure", end + whole, 9, 3, end},
      {"before the source", -1, 2, 2, end},
  };
  for (const auto& [name, tick, fallback, index, measure_end] : rows) {
    EXPECT_EQ(measure_index_for_tick(score, tick, fallback), index) << name;
    EXPECT_EQ(measure_end_for_tick(score, tick, -5), measure_end) << name;
  }
  EXPECT_EQ(measure_index_for_tick({}, whole, 4), 0u);
  EXPECT_EQ(measure_end_for_tick({}, whole, -5), -5);
}

TEST(improvisation_common_test, strong_slots_fall_on_quarters_or_dotted_quarters) {
  const auto score = mixed_metre();
  const std::int64_t six_eight = whole + 3 * quarter;
  constexpr auto huge = std::numeric_limits<std::int64_t>::max();
  constexpr auto tiny = std::numeric_limits<std::int64_t>::min();
  struct row {
    const char* name;
    std::int64_t tick;
    std::size_t fallback;
    bool expected;
  };
  const row rows[] = {
      {"4/4 downbeat", 0, 0, true},
      {"4/4 second beat", quarter, 0, true},
      {"4/4 off-beat eighth", 2048 * 3, 0, false},
      {"3/4 third beat", whole + 2 * quarter, 0, true},
      {"6/8 downbeat", six_eight, 0, true},
      {"6/8 at a quarter", six_eight + quarter, 0, false},
      {"6/8 at a dotted quarter", six_eight + 6144, 0, true},
      {"past the end in the 6/8 fallback", six_eight + 2 * 6144, 3, true},
      {"past the end off the 6/8 beat", six_eight + 4 * 4096, 3, false},
      {"past the end read in 4/4 from measure 0", six_eight + 4 * 4096, 0, true},
      {"before the fallback measure's start", -quarter - 1, 2, true},
      {"largest tick", huge, 0, false},
      {"smallest tick", tiny, 3, true},
  };
  for (const auto& [name, tick, fallback, expected] : rows) {
    EXPECT_EQ(slot_is_strong(score, tick, fallback), expected) << name;
  }
  EXPECT_TRUE(slot_is_strong({}, 2 * quarter, 0));
  EXPECT_TRUE(slot_is_strong({}, -quarter, 0));
  EXPECT_FALSE(slot_is_strong({}, quarter + 1, 0));
}

// Pitch classes, register and fretting

TEST(improvisation_common_test, pitch_classes_and_percents_of_any_64_bit_value) {
  constexpr auto largest = std::numeric_limits<std::int64_t>::max();
  constexpr auto smallest = std::numeric_limits<std::int64_t>::min();
  const std::pair<std::int64_t, std::int64_t> classes[] = {{0, 0},   {61, 1},      {-1, 11},
                                                           {-12, 0}, {largest, 7}, {smallest, 4}};
  for (const auto& [value, expected] : classes) EXPECT_EQ(pc_of(value), expected) << value;
  struct row {
    const char* name;
    std::int64_t part;
    std::int64_t whole;
    std::int64_t percent;
  };
  const row percents[] = {
      {"a third, truncated", 1, 3, 33},
      {"a negative part truncates towards zero", -1, 3, -33},
      {"past the whole", 3 * whole, whole, 300},
      {"a part too large for a 64-bit product", largest, largest, 100},
      {"the smallest part", smallest, largest, -100},
  };
  for (const auto& [name, part, total, percent] : percents) {
    EXPECT_EQ(percent_of(part, total), percent) << name;
  }
}

TEST(improvisation_common_test, pitch_class_lists_hold_each_pitch_class_once) {
  std::vector<int> pcs;
  for (const int value : {14, 2, -1, 11, 60, 0, INT_MIN, INT_MAX}) append_pc(pcs, value);
  EXPECT_EQ(pcs, (std::vector<int>{2, 11, 0, 4, 7}));
  EXPECT_TRUE(contains_pc(pcs, -10));
  EXPECT_FALSE(contains_pc(pcs, 1));
  // Stored elements are compared as they are.
  EXPECT_FALSE(contains_pc({14}, 2));
}

TEST(improvisation_common_test, scale_members_keep_the_listed_order_without_repeats) {
  // C major; the list holds E already, so only the listed members it lacks are appended.
  const std::vector<int> scale{0, 2, 4, 5, 7, 9, 11};
  std::vector<int> pcs{4};
  append_scale_members(pcs, {10, 9, 16, 1, 14, 9}, scale);
  EXPECT_EQ(pcs, (std::vector<int>{4, 9, 2}));
}

TEST(improvisation_common_test, the_midpoint_averages_first_pitches_of_notes) {
  source_score score;
  score.notes = {note_at(0, 0, quarter, 60), note_at(0, 0, quarter, 61),
                 note_at(0, 0, quarter, std::nullopt)};
  auto chord_note = note_at(0, 0, quarter, 40);
  chord_note.pitches.push_back({.midi = 90});
  auto pitchless = note_at(0, 0, quarter, 100);
  pitchless.pitches.clear();
  auto other_kind = note_at(0, 0, quarter, 100);
  other_kind.kind = "Note";
  score.notes.insert(score.notes.end(), {chord_note, pitchless, other_kind});
  EXPECT_EQ(midpoint_midi(score), 53);  // (60 + 61 + 40) / 3, truncated
  EXPECT_EQ(midpoint_midi({}), 64);
}

// fit_register as its loops read, on small values.
int fit_register_by_steps(const improvisation_config& config, int midi,
                          std::optional<int> previous) {
  while (midi < config.low_midi) midi += 12;
  while (midi > config.high_midi) midi -= 12;
  if (previous) {
    while (midi - *previous > config.max_leap && midi - 6 > config.low_midi) midi -= 12;
    while (*previous - midi > config.max_leap && midi + 6 < config.high_midi) midi += 12;
  }
  return midi;
}

std::vector<improvisation_config> register_configs() {
  auto narrow = profile_config(improvisation_role::acoustic);
  narrow.low_midi = 60;
  narrow.high_midi = 64;
  auto inverted = narrow;
  inverted.low_midi = 70;
  inverted.high_midi = 58;
  auto no_leaps = narrow;
  no_leaps.max_leap = -3;
  return {profile_config(improvisation_role::acoustic),
          profile_config(improvisation_role::electric),
          profile_config(improvisation_role::high_electric),
          narrow,
          inverted,
          no_leaps};
}

TEST(improvisation_common_test, fit_register_brings_notes_into_the_register_and_near_the_last) {
  const auto acoustic = profile_config(improvisation_role::acoustic);
  struct row {
    const char* name;
    int midi;
    std::optional<int> previous;
    int expected;
  };
  const row rows[] = {
      {"down towards a low previous note, stopping above the register", 70, 50, 58},
      {"up an octave into the register", 40, std::nullopt, 52},
      {"down an octave into the register", 80, std::nullopt, 68},
      {"register edges stay", 52, std::nullopt, 52},
      {"top edge stays", 72, std::nullopt, 72},
      {"up towards a high previous note, stopping below the top", 55, 80, 67},
      {"within the leap limit nothing moves", 60, 67, 60},
      {"extreme values", INT_MIN, INT_MAX, 76},
  };
  for (const auto& [name, midi, previous, expected] : rows) {
    EXPECT_EQ(fit_register(acoustic, midi, previous), expected) << name;
  }
  for (const auto& config : register_configs()) {
    for (int midi = 10; midi < 120; ++midi) {
      for (int previous = 20; previous < 110; previous += 7) {
        ASSERT_EQ(fit_register(config, midi, previous),
                  fit_register_by_steps(config, midi, previous))
            << config.low_midi << "-" << config.high_midi << " " << midi << " " << previous;
      }
      ASSERT_EQ(fit_register(config, midi, std::nullopt),
                fit_register_by_steps(config, midi, std::nullopt));
    }
  }
}

TEST(improvisation_common_test, a_pitch_class_is_placed_near_the_reference_and_the_last_note) {
  const auto acoustic = profile_config(improvisation_role::acoustic);
  auto wide_leaps = acoustic;
  wide_leaps.max_leap = 12;
  struct row {
    const char* name;
    improvisation_config config;
    int pitch_class;
    int reference;
    std::optional<int> previous;
    int expected;
  };
  const row rows[] = {
      {"nearest the reference", acoustic, 0, 61, std::nullopt, 60},
      {"any integer names its pitch class", acoustic, -24, 61, std::nullopt, 60},
      {"equal scores take the lower note", acoustic, 0, 66, std::nullopt, 60},
      {"a step from the last note beats the reference", acoustic, 0, 61, 71, 72},
      {"a repeated note costs more than an octave leap within the limit", wide_leaps, 0, 66, 60,
       72},
      {"a note below the register is fitted into it", acoustic, 0, 30, std::nullopt, 60},
      {"register edge", acoustic, 4, 52, std::nullopt, 52},
  };
  for (const auto& [name, config, pitch_class, reference, previous, expected] : rows) {
    EXPECT_EQ(midi_for_pc_near(config, pitch_class, reference, previous), expected) << name;
  }

  // Without a previous note a register of an octave or more is never left.
  for (const auto& config : register_configs()) {
    if (config.high_midi - config.low_midi < 11) continue;
    for (int pitch_class = 0; pitch_class < 12; ++pitch_class) {
      for (int reference = 0; reference < 128; reference += 3) {
        const int midi = midi_for_pc_near(config, pitch_class, reference, std::nullopt);
        ASSERT_GE(midi, config.low_midi);
        ASSERT_LE(midi, config.high_midi);
        ASSERT_EQ(normalize_pc(midi), pitch_class);
      }
    }
  }
  // Extreme values and an inverted register still give a note of the pitch class.
  for (const auto& config : register_configs()) {
    for (const int reference : {INT_MIN, 0, INT_MAX}) {
      for (const auto previous :
           {std::optional<int>{}, std::optional{INT_MIN}, std::optional{INT_MAX}}) {
        EXPECT_EQ(normalize_pc(midi_for_pc_near(config, 7, reference, previous)), 7);
      }
    }
  }
}

TEST(improvisation_common_test, the_top_four_penalty_is_the_cheapest_place_on_strings_1_to_4) {
  struct row {
    const char* name;
    int midi;
    int expected;
  };
  const row rows[] = {
      {"E4: fret 5 on string 2 beats the open first string", 64, 0},
      {"lowest note: open fourth string", 50, 60},
      {"below the fourth string", 49, 20000},
      {"fret 12 on the first string", 76, 84 + 450},
      {"fret 13 on the first string", 77, 96 + 600 + 420},
      {"highest note: fret 20", 84, 180 + 1650 + 3360},
      {"above fret 20", 85, 20000},
      {"negative", INT_MIN, 20000},
      {"huge", INT_MAX, 20000},
  };
  for (const auto& [name, midi, expected] : rows) {
    EXPECT_EQ(top_four_playability_penalty(midi), expected) << name;
  }
}

}  // namespace
