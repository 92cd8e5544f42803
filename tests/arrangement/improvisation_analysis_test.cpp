#include "arrangement/improvisation_analysis.hpp"

#include "arrangement/chords.hpp"

#include <gtest/gtest.h>

#include "score_fixtures.hpp"

#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::occurrence;
using score_fixtures::occurrences_of;

constexpr std::int64_t whole = 16384;

// Gapless measures of the given capacities from tick 0.
source_score measures_with(const std::vector<std::int64_t>& capacities) {
  source_score score;
  std::int64_t start = 0;
  for (const auto capacity : capacities) {
    source_measure measure;
    measure.start_tick = start;
    measure.capacity_ticks = capacity;
    score.measures.push_back(std::move(measure));
    start += capacity;
  }
  return score;
}

source_note pitched(std::int64_t start, std::int64_t duration, std::size_t measure_index) {
  source_note note;
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = measure_index;
  note.pitches = {{.midi = 60}};
  return note;
}

source_note rest(std::int64_t start, std::int64_t duration, std::size_t measure_index) {
  auto note = pitched(start, duration, measure_index);
  note.kind = "rest";
  note.pitches.clear();
  return note;
}

source_note chorded(source_note note) {
  note.chord_symbol = "C";
  return note;
}

source_note at_pitch(source_note note, int midi) {
  note.pitches.front().midi = midi;
  return note;
}

std::vector<int> weights_of(const phrase_analysis& analysis) {
  std::vector<int> weights;
  for (const auto& landmark : analysis.landmarks) weights.push_back(landmark.weight);
  return weights;
}

const improvisation_config config = profile_config(improvisation_role::acoustic);

source_note tied_from_previous(source_note note) {
  note.tie_from_previous = true;
  return note;
}

// 4/4 measures with a chord on every downbeat; with a pickup, measure 0 holds a rest and then
// `pickup_note` from the second eighth on, without a chord.
source_score song(std::size_t measures, bool with_pickup,
                  source_note pickup_note = pitched(2048, whole - 2048, 0)) {
  auto score = measures_with(std::vector<std::int64_t>(measures, whole));
  for (std::size_t index = 0; index < measures; ++index) {
    const auto start = static_cast<std::int64_t>(index) * whole;
    if (with_pickup && index == 0) {
      score.notes.push_back(rest(0, 2048, 0));
      score.notes.push_back(pickup_note);
    } else {
      score.notes.push_back(chorded(pitched(start, whole, index)));
    }
  }
  return score;
}

TEST(improvisation_analysis_test, first_attack_skips_rests_unpitched_and_tied_notes) {
  auto score = measures_with({whole, whole});
  auto unpitched = pitched(0, 1024, 0);
  unpitched.pitches.clear();
  score.notes = {
      tied_from_previous(pitched(0, 1024, 0)),
      rest(1024, 1024, 0),
      unpitched,
      pitched(8192, 1024, 0),
      pitched(4096, 1024, 0),  // earlier than the note before it in the list
      tied_from_previous(pitched(whole, 4096, 1)),
      rest(whole + 4096, 12288, 1),
  };
  EXPECT_EQ(first_attack_start_in_measure(score, 0), 4096);
  EXPECT_EQ(first_attack_start_in_measure(score, 1), std::nullopt);
  EXPECT_EQ(first_attack_start_in_measure(score, 7), std::nullopt);
}

TEST(improvisation_analysis_test, spans_group_four_measures_after_an_optional_pickup) {
  struct row {
    const char* name;
    source_score score;
    std::vector<phrase_span> expected;
  };
  const row rows[] = {
      {"no measures", {}, {}},
      {"nine measures without pickup",
       song(9, false),
       {{0, 4, 0, 4 * whole, 0, 3},
        {4, 8, 4 * whole, 8 * whole, 1, 3},
        {8, 9, 8 * whole, 9 * whole, 2, 3}}},
      {"four measures make one span", song(4, false), {{0, 4, 0, 4 * whole, 0, 1}}},
      {"six measures with a pickup",
       song(6, true),
       {{0, 1, 2048, whole, 0, 3},
        {1, 5, whole, 5 * whole, 1, 3},
        {5, 6, 5 * whole, 6 * whole, 2, 3}}},
      {"a pickup whose only note is tied in starts at the measure",
       song(2, true, tied_from_previous(pitched(2048, whole - 2048, 0))),
       {{0, 1, 0, whole, 0, 2}, {1, 2, whole, 2 * whole, 1, 2}}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(phrase_spans_for_source(row.score), row.expected) << row.name;
  }
}

// The group size is four measures whatever the time signature; a span ends where its last
// measure does.
TEST(improvisation_analysis_test, spans_follow_measure_capacities) {
  auto score = measures_with({12288, 12288, 12288, 12288, 6144, 16384});
  score.notes = {chorded(pitched(0, 12288, 0))};
  EXPECT_EQ(phrase_spans_for_source(score),
            (std::vector<phrase_span>{{0, 4, 0, 4 * 12288, 0, 2},
                                      {4, 6, 4 * 12288, 4 * 12288 + 6144 + 16384, 1, 2}}));
}

TEST(improvisation_analysis_test, only_the_pickup_span_counts_as_the_leading_pickup) {
  const auto with_pickup = song(6, true);
  const auto spans = phrase_spans_for_source(with_pickup);
  EXPECT_TRUE(phrase_span_is_leading_pickup(with_pickup, spans[0]));
  EXPECT_FALSE(phrase_span_is_leading_pickup(with_pickup, spans[1]));
  auto moved = spans[0];
  moved.start_tick = 0;
  EXPECT_FALSE(phrase_span_is_leading_pickup(with_pickup, moved));

  // A pickup without an attack of its own starts at the measure: not a leading pickup span.
  const auto tied_in = song(2, true, tied_from_previous(pitched(2048, whole - 2048, 0)));
  EXPECT_FALSE(phrase_span_is_leading_pickup(tied_in, phrase_spans_for_source(tied_in)[0]));
  const auto plain = song(4, false);
  EXPECT_FALSE(phrase_span_is_leading_pickup(plain, phrase_spans_for_source(plain)[0]));
}

// The written note between a low first and a high last landmark keeps its unadjusted weight:
// tone, position in the measure and length.
TEST(improvisation_analysis_test, landmark_weight_adds_tone_position_and_length) {
  struct row {
    const char* name;
    bool with_chord;
    source_note note;
    int expected;
  };
  const row rows[] = {
      {"downbeat whole chord tone", true, at_pitch(pitched(whole, whole, 1), 64), 86},
      {"sixteenth after a beat outside the scale", true,
       at_pitch(pitched(whole + 4096 + 1024, 1024, 1), 61), 8},
      {"quarter on beat two without a chord", false, at_pitch(pitched(whole + 4096, 4096, 1), 64),
       42},
      {"half on beat three without a chord", false, at_pitch(pitched(whole + 8192, 8192, 1), 64),
       56},
      {"scale tone off the eighth grid", true, at_pitch(pitched(whole + 3072, 1024, 1), 62),
       58 - 14 - 24},
  };
  for (const auto& row : rows) {
    auto score = measures_with({whole, whole, whole});
    auto first = at_pitch(pitched(0, whole, 0), 50);
    if (row.with_chord) first = chorded(first);
    score.notes = {first, row.note, at_pitch(pitched(2 * whole, whole, 2), 80)};
    const auto analysis =
        analyze_phrase(score, occurrences_of(score), config, {0, 3, 0, 3 * whole, 0, 1});
    ASSERT_EQ(analysis.landmarks.size(), 3u) << row.name;
    EXPECT_EQ(analysis.landmarks[1].weight, row.expected) << row.name;
    EXPECT_EQ(analysis.landmarks[1].note_index, 1u) << row.name;
    EXPECT_EQ(analysis.landmarks[1].measure_index, 1u) << row.name;
  }
}

// 60, 60, 72, 55 on the beats of one measure, no chords: raw weights 56, 42, 48, 42.
TEST(improvisation_analysis_test, adjustments_favour_edges_extremes_and_returns) {
  auto score = measures_with({whole});
  score.notes = {at_pitch(pitched(0, 4096, 0), 60), at_pitch(pitched(4096, 4096, 0), 60),
                 at_pitch(pitched(8192, 4096, 0), 72), at_pitch(pitched(12288, 4096, 0), 55)};
  const auto analysis = analyze_phrase(score, {}, config, {0, 1, 0, whole, 0, 1});
  EXPECT_EQ(weights_of(analysis), (std::vector<int>{56 + 18, 42 + 8, 48 + 16, 42 + 18 + 16}));
  EXPECT_EQ(analysis.contour, (std::vector<std::int32_t>{5, -5}));
  EXPECT_EQ(analysis.reference_midi, (60 + 60 + 72 + 55) / 4);
  EXPECT_EQ(analysis.first_midi, 60);
  EXPECT_EQ(analysis.last_midi, 55);
  EXPECT_EQ(analysis.highest_midi, 72);
  EXPECT_EQ(analysis.lowest_midi, 55);
  EXPECT_EQ(analysis.peak_percent, 50);

  // A return of a clearly different length earns nothing.
  score.notes[1].duration_ticks = 1024;
  score.notes[2].start_tick = 8192;
  EXPECT_EQ(analyze_phrase(score, {}, config, {0, 1, 0, whole, 0, 1}).landmarks[1].weight,
            50 + 0 - 24);
}

TEST(improvisation_analysis_test, single_landmark_and_empty_spans_have_fixed_shapes) {
  auto score = measures_with({whole, whole});
  score.notes = {rest(0, whole, 0), at_pitch(pitched(whole + 4096, 4096, 1), 67),
                 rest(whole + 8192, 8192, 1)};
  const auto single = analyze_phrase(score, {}, config, {1, 2, whole, 2 * whole, 1, 2});
  EXPECT_EQ(weights_of(single), (std::vector<int>{42 + 34}));
  EXPECT_EQ(single.contour, (std::vector<std::int32_t>{2, -1, 3, -2}));
  EXPECT_EQ(single.peak_percent, 25);
  EXPECT_EQ(single.reference_midi, 67);

  score.notes.push_back(at_pitch(pitched(2 * whole, 4096, 1), 61));
  const auto empty = analyze_phrase(score, {}, config, {0, 1, 0, whole, 0, 2});
  EXPECT_TRUE(empty.landmarks.empty());
  EXPECT_TRUE(empty.contour.empty());
  EXPECT_EQ(empty.peak_percent, 60);
  for (const auto midi : {empty.reference_midi, empty.first_midi, empty.last_midi,
                          empty.highest_midi, empty.lowest_midi}) {
    EXPECT_EQ(midi, (67 + 61) / 2);
  }
  EXPECT_EQ(analyze_phrase({}, {}, config, {}).reference_midi, 64);
}

TEST(improvisation_analysis_test, tied_notes_enter_a_span_only_when_they_overlap_it) {
  const phrase_span second{1, 2, whole, 2 * whole, 1, 2};
  auto score = measures_with({whole, whole});
  auto held = pitched(8192, 12288, 0);
  held.tie_to_next = true;
  score.notes = {held, tied_from_previous(pitched(8192 + 12288, 4096, 1)),
                 pitched(8192 + 16384, 8192, 1)};
  const auto analysis = analyze_phrase(score, {}, config, second);
  ASSERT_EQ(analysis.landmarks.size(), 2u);
  EXPECT_EQ(analysis.landmarks[0].start_tick, whole);
  EXPECT_EQ(analysis.landmarks[0].duration_ticks, 8192);
  EXPECT_EQ(analysis.landmarks[0].note_index, 0u);
  EXPECT_EQ(analysis.landmarks[1].note_index, 2u);
  EXPECT_EQ(analysis.landmarks[1].duration_ticks, 8192);

  // The tie chain stops at a different pitch, and a note ending at the span's start stays out
  // even when its tie continues into the span.
  score.notes[1].pitches.front().midi = 62;
  EXPECT_EQ(analyze_phrase(score, {}, config, {0, 1, 0, whole, 0, 2}).landmarks[0].duration_ticks,
            8192);
  score.notes[0].duration_ticks = 8192;
  score.notes[1].start_tick = whole;
  score.notes[1].pitches.front().midi = 60;
  EXPECT_EQ(analyze_phrase(score, {}, config, second).landmarks.size(), 1u);
}

TEST(improvisation_analysis_test, phrase_function_follows_the_place_in_the_solo) {
  const phrase_function ten[] = {
      phrase_function::opening, phrase_function::answer,  phrase_function::development,
      phrase_function::closing, phrase_function::opening, phrase_function::answer,
      phrase_function::peak,    phrase_function::peak,    phrase_function::opening,
      phrase_function::closing,
  };
  phrase_analysis analysis;
  for (std::int32_t index = 0; index < 10; ++index) {
    analysis.span = {0, 0, 0, 0, index, 10};
    EXPECT_EQ(phrase_function_for(config, analysis), ten[index]) << index;
  }
  struct row {
    std::int32_t index;
    std::int32_t count;
    phrase_function expected;
  };
  const row rows[] = {
      {0, 1, phrase_function::opening},  {0, 2, phrase_function::opening},
      {1, 2, phrase_function::closing},  {5, 2, phrase_function::closing},
      {-1, 5, phrase_function::opening}, {7, 3, phrase_function::closing},
      {3, 0, phrase_function::opening},
  };
  for (const auto& row : rows) {
    analysis.span = {0, 0, 0, 0, row.index, row.count};
    EXPECT_EQ(phrase_function_for(config, analysis), row.expected)
        << row.index << " of " << row.count;
  }
}

TEST(improvisation_analysis_test, nearest_landmark_trades_distance_for_weight) {
  phrase_analysis analysis;
  EXPECT_EQ(nearest_landmark(analysis, 0), std::nullopt);
  analysis.landmarks = {{.start_tick = 0, .weight = 15, .note_index = 0},
                        {.start_tick = 4096, .weight = 20, .note_index = 1},
                        {.start_tick = 4096, .weight = 20, .note_index = 2}};
  EXPECT_EQ(nearest_landmark(analysis, 1024)->note_index, 1u);
  EXPECT_EQ(nearest_landmark(analysis, -8192)->note_index, 0u);
}

TEST(improvisation_analysis_test, harmonic_signature_lists_overlapping_chords) {
  const phrase_span span{1, 2, whole, 2 * whole, 1, 3};
  const std::vector<chord_occurrence> chords = {
      occurrence("Dm7", 0, whole),  // ends where the span starts
      occurrence("Cmaj7", whole / 2, whole + 8192),
      occurrence("G7", whole + 8192, 2 * whole + 4096),
      occurrence("F#m7b5", whole + 8192 + 3000, whole + 12288),
      occurrence("Bb", 2 * whole, 3 * whole),  // starts where the span ends
  };
  EXPECT_EQ(harmonic_signature_for_phrase(chords, span),
            "0:major7@0;7:dominant7@4;6:" + chords[3].chord.formula.quality + "@5;");
  EXPECT_EQ(harmonic_signature_for_phrase({chords[1], chords[2]}, span),
            "0:major7@0;7:dominant7@4;");
  EXPECT_EQ(harmonic_signature_for_phrase({}, span), "");
}

}  // namespace
