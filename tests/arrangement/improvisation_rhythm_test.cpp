#include "arrangement/improvisation_rhythm.hpp"

#include "arrangement/solo_theory.hpp"

#include <gtest/gtest.h>

#include "score_fixtures.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using score_fixtures::add_note;
using score_fixtures::occurrences_of;

constexpr std::int64_t whole = 16384;

const improvisation_config acoustic = profile_config(improvisation_role::acoustic);
const improvisation_config electric = profile_config(improvisation_role::electric);

source_score measures_with(std::size_t count, const std::string& key = "C") {
  source_score score;
  for (std::size_t index = 0; index < count; ++index) {
    source_measure measure;
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    measure.key_signature = key;
    score.measures.push_back(measure);
  }
  return score;
}

void add_rest(source_score& score, std::int64_t start, std::int64_t duration,
              const std::string& chord = "") {
  add_note(score, start, duration, 60, chord);
  score.notes.back().kind = "rest";
  score.notes.back().pitches.clear();
}

// A sung melody over a four-measure progression, repeated: quarters, a held half, eighths, a
// dotted half, a whole note and a closing half with a rest. With a pickup, measure 0 holds a rest
// and two eighths leading into the first downbeat.
source_score melody_song(std::size_t measures, bool with_pickup) {
  auto score = measures_with(measures);
  std::size_t first = 0;
  if (with_pickup) {
    add_rest(score, 0, 12288);
    add_note(score, 12288, 2048, 62);
    add_note(score, 14336, 2048, 64);
    first = 1;
  }
  for (auto measure = first; measure < measures; ++measure) {
    const auto start = static_cast<std::int64_t>(measure) * whole;
    const auto shift = static_cast<int>((measure - first) / 4) * 2;
    switch ((measure - first) % 4) {
      case 0:
        add_note(score, start, 4096, 64 + shift, "C");
        add_note(score, start + 4096, 4096, 67 + shift);
        add_note(score, start + 8192, 8192, 69 + shift, "Am7");
        break;
      case 1:
        add_note(score, start, 12288, 69 + shift, "Dm7");
        add_note(score, start + 12288, 2048, 67 + shift);
        add_note(score, start + 14336, 2048, 65 + shift);
        break;
      case 2: add_note(score, start, whole, 62 + shift, "G7"); break;
      default:
        add_note(score, start, 8192, 60 + shift, "Cmaj7");
        add_rest(score, start + 8192, 8192);
        break;
    }
  }
  return score;
}

bool on_ladder(std::int64_t duration) {
  constexpr std::array<std::int64_t, 6> ladder{2048, 4096, 6144, 8192, 12288, 16384};
  return std::ranges::find(ladder, duration) != ladder.end();
}

// Checks the gesture list of one candidate: on the measure's eighth grid, ladder durations
// inside the measure and the span, in time order without overlaps, opened and closed properly.
void expect_well_formed(const source_score& score, const phrase_analysis& analysis,
                        const improvisation_config& config,
                        const std::vector<melody_gesture>& gestures, const std::string& label) {
  ASSERT_FALSE(gestures.empty()) << label;
  const auto& span = analysis.span;
  const auto function = phrase_function_for(config, analysis);
  for (std::size_t index = 0; index < gestures.size(); ++index) {
    const auto& gesture = gestures[index];
    const auto where = label + " gesture " + std::to_string(index);
    ASSERT_LT(gesture.measure_index, score.measures.size()) << where;
    const auto& measure = score.measures[gesture.measure_index];
    EXPECT_GE(gesture.start_tick, measure.start_tick) << where;
    EXPECT_EQ((gesture.start_tick - measure.start_tick) % 2048, 0) << where;
    EXPECT_TRUE(on_ladder(gesture.duration_ticks)) << where << " " << gesture.duration_ticks;
    EXPECT_GE(gesture.start_tick, span.start_tick) << where;
    EXPECT_LE(gesture.start_tick + gesture.duration_ticks,
              std::min(span.end_tick, measure.start_tick + measure.capacity_ticks))
        << where;
    EXPECT_EQ(gesture.phrase_function, function) << where;
    if (index > 0) {
      const auto& previous = gestures[index - 1];
      EXPECT_LE(previous.start_tick + previous.duration_ticks, gesture.start_tick) << where;
    }
  }
  EXPECT_TRUE(gestures.front().opens_phrase) << label;
  EXPECT_NE(gestures.front().role, gesture_role::approach) << label;
  EXPECT_TRUE(gestures.back().closes_phrase) << label;
  EXPECT_EQ(gestures.back().role, gesture_role::closing) << label;
}

phrase_analysis one_measure_analysis(std::int64_t end_tick = whole) {
  phrase_analysis analysis;
  analysis.span = {0, 1, 0, end_tick, 0, 1};
  return analysis;
}

melody_gesture gesture_at(std::int64_t start, std::int64_t duration, int weight,
                          gesture_role role = gesture_role::landmark) {
  melody_gesture gesture;
  gesture.start_tick = start;
  gesture.duration_ticks = duration;
  gesture.weight = weight;
  gesture.role = role;
  return gesture;
}

std::vector<std::int64_t> starts_of(const std::vector<melody_gesture>& gestures) {
  std::vector<std::int64_t> starts;
  for (const auto& gesture : gestures) starts.push_back(gesture.start_tick);
  return starts;
}

TEST(improvisation_rhythm_test, durations_fall_down_the_ladder) {
  struct row {
    std::int64_t ticks;
    std::optional<std::int64_t> expected;
  };
  const row rows[] = {{3000, 2048}, {1500, std::nullopt}, {2048, 2048},      {10000, 8192},
                      {6144, 6144}, {40000, 16384},       {-5, std::nullopt}};
  for (const auto& row : rows) {
    EXPECT_EQ(quantized_gesture_duration(row.ticks), row.expected) << row.ticks;
  }
}

TEST(improvisation_rhythm_test, snapping_takes_the_nearest_eighth_of_the_measure) {
  const auto score = measures_with(2);
  struct row {
    const char* name;
    std::int64_t tick;
    std::int64_t limit;
    std::int64_t expected;
  };
  const row rows[] = {
      {"half an eighth goes up", whole + 1024, 4 * whole, whole + 2048},
      {"less stays", whole + 1023, 4 * whole, whole},
      {"never past the measure's last eighth", whole + 16000, 4 * whole, whole + 14336},
      {"an eighth before the limit", whole + 8192, whole + 6144, whole + 4096},
      {"before the first measure the first one counts", -3000, 4 * whole, 0},
      {"after the last measure the last one counts", 3 * whole, 4 * whole, whole + 14336},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(snap_to_eighth(score, row.tick, row.limit), row.expected) << row.name;
  }
  EXPECT_EQ(snap_to_eighth(source_score{}, 5000, 0), 4096);
  EXPECT_EQ(snap_to_eighth(source_score{}, -5000, 0), -4096);
}

TEST(improvisation_rhythm_test, adding_snaps_cuts_and_drops) {
  const auto score = measures_with(2);
  phrase_analysis analysis;
  analysis.span = {0, 2, 2048, 2 * whole - 5000, 0, 1};
  std::vector<melody_gesture> gestures;
  add_gesture(gestures, score, analysis, gesture_at(whole - 3000, 8192, 50));
  add_gesture(gestures, score, analysis, gesture_at(4096 + 1024, 4096, 50));
  add_gesture(gestures, score, analysis, gesture_at(1024, 4096, 50));              // before
  add_gesture(gestures, score, analysis, gesture_at(2 * whole - 5000, 4096, 50));  // at the end
  add_gesture(gestures, score, analysis, gesture_at(whole + 8192, 1500, 50));      // too short
  ASSERT_EQ(gestures.size(), 2u);
  EXPECT_EQ(gestures[0].start_tick, whole - 2048);
  EXPECT_EQ(gestures[0].duration_ticks, 2048);  // cut at the barline
  EXPECT_EQ(gestures[0].measure_index, 0u);
  EXPECT_FALSE(gestures[0].on_strong_slot);
  EXPECT_EQ(gestures[1].start_tick, 6144);
  EXPECT_EQ(gestures[1].duration_ticks, 4096);
}

TEST(improvisation_rhythm_test, normalising_keeps_one_gesture_per_start_without_overlaps) {
  const auto score = measures_with(1);
  const auto analysis = one_measure_analysis();
  {
    // Same start: the higher priority survives; of equals, the one made first.
    auto approach = gesture_at(4096, 2048, 90, gesture_role::approach);
    auto landmark = gesture_at(4096, 2048, 60);
    auto first_fill = gesture_at(8192, 2048, 30, gesture_role::fill);
    first_fill.target_midi = 1;
    auto second_fill = gesture_at(8192, 2048, 30, gesture_role::fill);
    second_fill.target_midi = 2;
    const auto result = normalize_gestures(score, analysis, {second_fill, approach, landmark});
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].role, gesture_role::landmark);  // 60 + 40 + 90 (opens) beats 90 + 90
    EXPECT_EQ(result[0].weight, 60);
    const auto equals = normalize_gestures(score, analysis, {first_fill, second_fill});
    ASSERT_EQ(equals.size(), 1u);
    EXPECT_EQ(equals[0].target_midi, 1);
  }
  {
    // Overlaps shorten the earlier gesture; when nothing is left of it, priority decides.
    const auto result = normalize_gestures(
        score, analysis,
        {gesture_at(0, 8192, 50), gesture_at(4096, 4096, 50), gesture_at(5120, 2048, 10),
         gesture_at(12288, 2048, 10), gesture_at(13312, 2048, 90)});
    EXPECT_EQ(starts_of(result), (std::vector<std::int64_t>{0, 4096, 13312}));
    EXPECT_EQ(result[0].duration_ticks, 4096);
    EXPECT_EQ(result[1].duration_ticks, 4096);
  }
  {
    // Room of 3000 ticks gives an eighth; 1500 ticks drops the gesture.
    EXPECT_EQ(
        normalize_gestures(score, one_measure_analysis(2048 + 3000), {gesture_at(2048, 4096, 50)})
            .front()
            .duration_ticks,
        2048);
    EXPECT_TRUE(
        normalize_gestures(score, one_measure_analysis(2048 + 1500), {gesture_at(2048, 4096, 50)})
            .empty());
  }
  {
    // The first is never an approach; one gesture both opens and closes.
    const auto result = normalize_gestures(
        score, analysis,
        {gesture_at(0, 2048, 50, gesture_role::approach), gesture_at(4096, 2048, 50)});
    EXPECT_EQ(result[0].role, gesture_role::landmark);
    EXPECT_TRUE(result[0].opens_phrase);
    EXPECT_EQ(result[1].role, gesture_role::closing);
    EXPECT_TRUE(result[1].closes_phrase);
    const auto alone =
        normalize_gestures(score, analysis, {gesture_at(0, 2048, 50, gesture_role::approach)});
    EXPECT_TRUE(alone[0].opens_phrase);
    EXPECT_TRUE(alone[0].closes_phrase);
    EXPECT_EQ(alone[0].role, gesture_role::closing);
  }
}

TEST(improvisation_rhythm_test, the_arch_rises_to_the_written_peak) {
  auto analysis = one_measure_analysis(4 * whole);
  analysis.peak_percent = 50;
  for (const auto& [config, top] : {std::pair{acoustic, 2}, std::pair{electric, 4}}) {
    EXPECT_EQ(phrase_arch_offset(config, analysis, 0), 0);
    EXPECT_EQ(phrase_arch_offset(config, analysis, 4 * whole), 0);
    EXPECT_EQ(phrase_arch_offset(config, analysis, 2 * whole), top);
    EXPECT_EQ(phrase_arch_offset(config, analysis, -whole), 0);
  }
  analysis.peak_percent = 95;  // clamped to 78
  EXPECT_EQ(phrase_arch_offset(electric, analysis, 4 * whole * 78 / 100 + 1), 4);
  auto odd_style = acoustic;
  odd_style.phrasing_style = 7;
  EXPECT_EQ(phrase_arch_offset(odd_style, analysis, 4 * whole * 78 / 100 + 1), 1);
}

TEST(improvisation_rhythm_test, desired_pitch_follows_register_place_and_role) {
  auto analysis = one_measure_analysis(4 * whole);
  analysis.reference_midi = 60;
  analysis.last_midi = 74;
  // Span 2 of 5 (50 percent, development), style 0 place adjustment -1; at the span start the
  // arch is 0; target 10 above the reference keeps 42 percent of it: 61 - 1 + 4 = 64.
  analysis.span.index = 2;
  analysis.span.count = 5;
  EXPECT_EQ(desired_midi_for_gesture(acoustic, analysis, 70, 0, gesture_role::landmark), 64);
  EXPECT_EQ(desired_midi_for_gesture(acoustic, analysis, 70, 0, gesture_role::tail), 63);
  // Closing role adds 14 x 42 / 140 = 4 and then -3.
  EXPECT_EQ(desired_midi_for_gesture(acoustic, analysis, 70, 0, gesture_role::closing), 65);
  // Far targets are folded into the register.
  EXPECT_EQ(desired_midi_for_gesture(acoustic, analysis, 160, 0, gesture_role::landmark),
            fit_register(acoustic, 61 - 1 + 42, std::nullopt));
}

// Written notes on every eighth of two measures; the landmark at 8192 can move.
TEST(improvisation_rhythm_test, displaced_start_prefers_free_slots) {
  auto score = measures_with(4);
  for (std::int64_t tick = 0; tick < 2 * whole; tick += 2048) add_note(score, tick, 2048, 60);
  phrase_analysis analysis;
  analysis.span = {0, 4, 0, 4 * whole, 0, 1};
  const source_landmark landmark{8192, 2048, 60, 50, 0, 0};
  analysis.landmarks = {landmark, {whole, 4096, 62, 50, 1, 1}};

  // A seed whose draw lets the landmark move (threshold 84 for an opening in style 0).
  int seed = 0;
  while (mix_seed(static_cast<std::uint32_t>(seed + 31), 0) % 100 >= 84) ++seed;
  const std::int64_t offsets[] = {2048, -2048, 6144, -6144, 4096, -4096};
  const auto first = offsets[seed % 6];
  EXPECT_EQ(displaced_landmark_start(score, acoustic, analysis, landmark, phrase_function::opening,
                                     2048, 0, seed),
            8192 + first);

  // A free slot later in the order wins over an occupied earlier one.
  const auto free = 8192 + offsets[(seed + 3) % 6];
  std::erase_if(score.notes, [free](const source_note& note) { return note.start_tick == free; });
  EXPECT_EQ(displaced_landmark_start(score, acoustic, analysis, landmark, phrase_function::opening,
                                     2048, 0, seed),
            free);

  // No valid candidate inside a tight span, a failed draw and a long last landmark keep the start.
  auto tight = analysis;
  tight.span = {0, 1, 8192, 10240, 0, 1};
  EXPECT_EQ(displaced_landmark_start(score, acoustic, tight, landmark, phrase_function::opening,
                                     2048, 0, seed),
            8192);
  int failing = 0;
  while (mix_seed(static_cast<std::uint32_t>(failing + 31), 0) % 100 < 84) ++failing;
  EXPECT_EQ(displaced_landmark_start(score, acoustic, analysis, landmark, phrase_function::opening,
                                     2048, 0, failing),
            8192);
  EXPECT_EQ(displaced_landmark_start(score, acoustic, analysis, landmark, phrase_function::opening,
                                     6144, 1, seed),
            8192);
}

TEST(improvisation_rhythm_test, transform_follows_function_and_hash) {
  struct row {
    const char* name;
    const improvisation_config& config;
    phrase_function function;
    int hash;
    phrase_transform expected;
  };
  const row rows[] = {
      {"opening h=8", acoustic, phrase_function::opening, 8, phrase_transform::thinned},
      {"opening h=9", acoustic, phrase_function::opening, 9, phrase_transform::literal},
      {"answer h=9", acoustic, phrase_function::answer, 9, phrase_transform::zigzag},
      {"answer h=10", acoustic, phrase_function::answer, 10, phrase_transform::late_shift},
      {"development h=9", acoustic, phrase_function::development, 9, phrase_transform::late_shift},
      {"development h=10", acoustic, phrase_function::development, 10, phrase_transform::contoured},
      {"peak style 0 h=9", acoustic, phrase_function::peak, 9, phrase_transform::contoured},
      {"peak style 0 h=8", acoustic, phrase_function::peak, 8, phrase_transform::late_shift},
      {"peak style 1 h=8", electric, phrase_function::peak, 8, phrase_transform::contoured},
      {"peak style 1 h=9", electric, phrase_function::peak, 9, phrase_transform::zigzag},
      {"closing h=12", acoustic, phrase_function::closing, 12, phrase_transform::zigzag},
      {"closing h=13", acoustic, phrase_function::closing, 13, phrase_transform::thinned},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(phrase_transform_for(row.config, row.function, row.hash), row.expected) << row.name;
  }
}

TEST(improvisation_rhythm_test, tail_cells_are_thinned_and_trimmed_to_the_room) {
  const std::vector<continuation_cell_note> peak_odd = {
      {2048, 2048, -1}, {4096, 2048, 2}, {6144, 4096, 4}, {10240, 2048, 5}, {12288, 4096, 2}};
  EXPECT_EQ(
      continuation_cell_for(electric, phrase_function::peak, phrase_transform::literal, whole, 7),
      peak_odd);
  const std::vector<continuation_cell_note> first_two(peak_odd.begin(), peak_odd.begin() + 2);
  EXPECT_EQ(
      continuation_cell_for(electric, phrase_function::peak, phrase_transform::thinned, whole, 7),
      first_two);
  EXPECT_EQ(
      continuation_cell_for(electric, phrase_function::peak, phrase_transform::literal, 8192, 7),
      first_two);
  EXPECT_TRUE(
      continuation_cell_for(electric, phrase_function::peak, phrase_transform::literal, 4095, 7)
          .empty());
  // Development picks its variant by divisibility by 3; style 0 by its own column.
  EXPECT_EQ(continuation_cell_for(acoustic, phrase_function::development, phrase_transform::literal,
                                  whole, 9)
                .front(),
            (continuation_cell_note{0, 2048, 2}));
  EXPECT_EQ(continuation_cell_for(acoustic, phrase_function::development, phrase_transform::literal,
                                  whole, 10)
                .front(),
            (continuation_cell_note{4096, 2048, -1}));
  EXPECT_EQ(fill_cell_for(acoustic, phrase_function::development, 9),
            (std::vector<fill_cell_note>{{2048, 2}, {4096, 4}}));
  EXPECT_EQ(fill_cell_for(electric, phrase_function::answer, 3),
            (std::vector<fill_cell_note>{{4096, 2}, {6144, 4}}));
}

struct expected_gesture {
  std::int64_t start;
  std::int64_t duration;
  gesture_role role;
  int weight;
};

void expect_gestures(const std::vector<melody_gesture>& gestures,
                     const std::vector<expected_gesture>& expected, const std::string& label) {
  ASSERT_EQ(gestures.size(), expected.size()) << label;
  for (std::size_t index = 0; index < expected.size(); ++index) {
    EXPECT_EQ(gestures[index].start_tick, expected[index].start) << label << " " << index;
    EXPECT_EQ(gestures[index].duration_ticks, expected[index].duration) << label << " " << index;
    EXPECT_EQ(gestures[index].role, expected[index].role) << label << " " << index;
    EXPECT_EQ(gestures[index].weight, expected[index].weight) << label << " " << index;
    EXPECT_EQ(gestures[index].note_index, index) << label;
    EXPECT_FALSE(gestures[index].from_landmark) << label;
  }
}

// A one-measure solo of rests under a C chord: the planner has no landmark and plays the
// opening fallback cell chosen by the parity of the measure draw.
TEST(improvisation_rhythm_test, fallback_plays_the_opening_cell_of_the_measure_draw) {
  auto score = measures_with(1);
  add_rest(score, 0, whole, "C");
  const auto chords = occurrences_of(score);
  const arrangement_style_profile style;
  const auto analysis = analyze_phrase(score, chords, acoustic, phrase_spans_for_source(score)[0]);
  ASSERT_TRUE(analysis.landmarks.empty());
  const auto context = harmonic_context_for_tick(score, chords, acoustic, 0).value();

  bool seen[2] = {false, false};
  for (int candidate = 0; candidate < 32; ++candidate) {
    const auto seed = static_cast<std::uint32_t>(41 + style_seed(style) + candidate * 67);
    const bool odd = mix_seed(seed, 113) % 2 != 0;
    seen[odd] = true;
    const auto gestures =
        build_melody_gestures(score, style, chords, acoustic, analysis, candidate);
    EXPECT_EQ(gestures, fallback_gestures(score, style, chords, acoustic, analysis, candidate));
    const auto label = "candidate " + std::to_string(candidate);
    if (odd) {
      expect_gestures(
          gestures,
          {{2048, 6144, gesture_role::anchor, 76}, {10240, 6144, gesture_role::closing, 80}},
          label);
    } else {
      expect_gestures(gestures,
                      {{0, 6144, gesture_role::anchor, 76},
                       {8192, 4096, gesture_role::tail, 54},
                       {12288, 4096, gesture_role::closing, 80}},
                      label);
    }
    expect_well_formed(score, analysis, acoustic, gestures, label);
    // Chord tones are listed first, but every pitch stays in the chord scale.
    for (const auto& gesture : gestures) {
      EXPECT_TRUE(contains_pc(context.scale_tones, gesture.target_midi)) << label;
    }
  }
  EXPECT_TRUE(seen[0] && seen[1]);
}

// The last span of two measures closes: the closing cell, then the final cell.
TEST(improvisation_rhythm_test, fallback_closes_with_the_final_cell) {
  auto score = measures_with(6, "G");
  for (std::size_t measure = 0; measure < 4; ++measure) {
    add_note(score, static_cast<std::int64_t>(measure) * whole, whole, 67);
  }
  add_rest(score, 4 * whole, 2 * whole);
  const auto spans = phrase_spans_for_source(score);
  ASSERT_EQ(spans.size(), 2u);
  const arrangement_style_profile style;
  const auto analysis = analyze_phrase(score, {}, acoustic, spans[1]);
  ASSERT_EQ(phrase_function_for(acoustic, analysis), phrase_function::closing);
  const auto g_major = key_major_scale_pcs(7);
  for (int candidate = 0; candidate < 32; ++candidate) {
    const auto gestures = build_melody_gestures(score, style, {}, acoustic, analysis, candidate);
    const auto label = "candidate " + std::to_string(candidate);
    expect_gestures(gestures,
                    {{4 * whole, 6144, gesture_role::anchor, 76},
                     {4 * whole + 10240, 6144, gesture_role::tail, 56},
                     {5 * whole, 6144, gesture_role::anchor, 76},
                     {5 * whole + 12288, 4096, gesture_role::closing, 82}},
                    label);
    // Without chord symbols every pitch comes from the key's major scale.
    for (const auto& gesture : gestures) {
      EXPECT_TRUE(contains_pc(g_major, gesture.target_midi)) << label;
    }
  }
}

TEST(improvisation_rhythm_test, fallback_past_the_measures_steps_by_whole_notes) {
  phrase_analysis analysis;
  analysis.span = {4, 6, 4 * whole, 6 * whole, 1, 2};
  const auto gestures = fallback_gestures({}, {}, {}, electric, analysis, 3);
  EXPECT_EQ(starts_of(gestures), (std::vector<std::int64_t>{4 * whole, 4 * whole + 10240, 5 * whole,
                                                            5 * whole + 10240, 5 * whole + 12288}));
}

TEST(improvisation_rhythm_test, a_lone_short_landmark_in_a_long_span_falls_back) {
  auto score = measures_with(4);
  add_note(score, 0, 4096, 64, "C");
  add_rest(score, 4096, 4 * whole - 4096);
  const auto chords = occurrences_of(score);
  const auto analysis = analyze_phrase(score, chords, electric, phrase_spans_for_source(score)[0]);
  ASSERT_EQ(analysis.landmarks.size(), 1u);
  const arrangement_style_profile style;
  for (int candidate = 0; candidate < 4; ++candidate) {
    EXPECT_EQ(build_melody_gestures(score, style, chords, electric, analysis, candidate),
              fallback_gestures(score, style, chords, electric, analysis, candidate));
  }
  // A half note is enough to plan from.
  score.notes[0].duration_ticks = 8192;
  score.notes[1].start_tick = 8192;
  const auto longer = analyze_phrase(score, chords, electric, phrase_spans_for_source(score)[0]);
  EXPECT_TRUE(
      build_melody_gestures(score, style, chords, electric, longer, 0).front().from_landmark);
}

// Every candidate of every span of two songs, in both phrasing styles, fast and slow.
TEST(improvisation_rhythm_test, every_candidate_plans_a_well_formed_phrase) {
  struct row {
    const char* name;
    source_score score;
  };
  const row rows[] = {
      {"seventeen measures", melody_song(17, false)},
      {"pickup and ten measures", melody_song(11, true)},
  };
  arrangement_style_profile slow_ballad;
  slow_ballad.family = comping_style_family::ballad;
  slow_ballad.slow = true;
  const arrangement_style_profile styles[] = {{}, slow_ballad};
  for (const auto& row : rows) {
    const auto chords = occurrences_of(row.score);
    for (const auto& config : {acoustic, electric}) {
      for (const auto& style : styles) {
        for (const auto& span : phrase_spans_for_source(row.score)) {
          const auto analysis = analyze_phrase(row.score, chords, config, span);
          ASSERT_FALSE(analysis.landmarks.empty());
          const auto& first = analysis.landmarks.front();
          const auto& last = analysis.landmarks.back();
          for (int candidate = 0; candidate < 32; ++candidate) {
            const auto label =
                std::string(row.name) + " style " + std::to_string(config.phrasing_style) +
                " span " + std::to_string(span.index) + " candidate " + std::to_string(candidate);
            const auto gestures =
                build_melody_gestures(row.score, style, chords, config, analysis, candidate);
            expect_well_formed(row.score, analysis, config, gestures, label);
            // The first and the last landmark are never skipped or merged away.
            const auto serves = [&gestures](const source_landmark& landmark) {
              return std::ranges::any_of(gestures, [&landmark](const melody_gesture& gesture) {
                return gesture.from_landmark && gesture.note_index == landmark.note_index;
              });
            };
            EXPECT_TRUE(serves(first)) << label;
            EXPECT_TRUE(serves(last)) << label;
          }
        }
      }
    }
  }
}

// A landmark on the first downbeat may be displaced an eighth or more earlier: that lands before
// the first measure and must stay in the first bar, not jump to the last one.
TEST(improvisation_rhythm_test, a_landmark_at_the_start_stays_in_the_first_bar) {
  // Four chordless measures; the last one opens with a rest, so its downbeat is free.
  auto score = measures_with(4);
  for (const int pitch : {64, 67, 65, 64}) {
    add_note(score, static_cast<std::int64_t>(score.notes.size()) * 4096, 4096, pitch);
  }
  add_note(score, whole, 8192, 62);
  add_note(score, whole + 8192, 8192, 64);
  add_note(score, 2 * whole, whole, 65);
  add_rest(score, 3 * whole, 8192);
  add_note(score, 3 * whole + 8192, 8192, 60);
  const auto spans = phrase_spans_for_source(score);
  ASSERT_FALSE(spans.empty());
  const auto& span = spans.back();
  ASSERT_EQ(span.start_tick, 0);
  ASSERT_EQ(span.end_tick, 4 * whole);
  const auto analysis = analyze_phrase(score, {}, electric, span);
  ASSERT_FALSE(analysis.landmarks.empty());
  const auto& first = analysis.landmarks.front();
  ASSERT_EQ(first.start_tick, 0);
  for (int candidate = 0; candidate < 32; ++candidate) {
    const auto label = "candidate " + std::to_string(candidate);
    const auto gestures = build_melody_gestures(score, {}, {}, electric, analysis, candidate);
    expect_well_formed(score, analysis, electric, gestures, label);
    const auto served = std::ranges::find_if(gestures, [&first](const melody_gesture& gesture) {
      return gesture.from_landmark && gesture.note_index == first.note_index;
    });
    ASSERT_NE(served, gestures.end()) << label;
    EXPECT_LT(served->start_tick, whole) << label;
  }
}

// Candidates differ: over 32 candidates a span gets more than one plan.
TEST(improvisation_rhythm_test, candidates_vary_the_plan) {
  const auto score = melody_song(8, false);
  const auto chords = occurrences_of(score);
  const auto analysis = analyze_phrase(score, chords, electric, phrase_spans_for_source(score)[1]);
  std::vector<std::vector<melody_gesture>> plans;
  for (int candidate = 0; candidate < 32; ++candidate) {
    const auto plan = build_melody_gestures(score, {}, chords, electric, analysis, candidate);
    if (std::ranges::find(plans, plan) == plans.end()) plans.push_back(plan);
  }
  EXPECT_GT(plans.size(), 8u);
}

}  // namespace
