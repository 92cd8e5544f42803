#include "arrangement/comping_events.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/comping_voicing.hpp"
#include "arrangement/form.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/melody_path.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "fixture_documents.hpp"
#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"
#include "section_fixtures.hpp"

#include <boost/json/parse.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using fixture_documents::read_fixture;
using grip_fixtures::at;
using orvanta::arrangement_message;
using orvanta::arrangement_part_type;
using score_fixtures::event_of;
using score_fixtures::med_swing;
using score_fixtures::score_of;
using score_fixtures::starts_of;
using section_fixtures::first_planned_section;
using section_fixtures::part_plan_of;
using section_fixtures::section_trace_of;

using grip = std::vector<tab_position>;
using stab_grips = std::vector<std::optional<electric_stab_grip>>;

constexpr std::int64_t eighth = 2048;
constexpr std::int64_t quarter = 4096;
constexpr std::int64_t half = 8192;
constexpr std::int64_t whole = 16384;

// Records built by hand

source_note melody(std::int64_t start, std::int64_t duration, std::string symbol = "") {
  source_note note;
  note.id = "n" + std::to_string(start);
  note.chord_symbol = std::move(symbol);
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = static_cast<std::size_t>(start / whole);
  note.pitches = {source_pitch{"c", 5, "n", 72}};
  return note;
}

source_note rest_note(std::int64_t start, std::int64_t duration, std::string symbol = "") {
  auto note = melody(start, duration, std::move(symbol));
  note.kind = "rest";
  note.pitches.clear();
  return note;
}

// A C major chord anchor over [start, start + duration).
arrangement_anchor c_anchor(std::int64_t start, std::int64_t duration) {
  arrangement_anchor anchor;
  anchor.start_ticks = start;
  anchor.duration_ticks = duration;
  anchor.chord = parse_chord_symbol("C");
  anchor.chord_symbol = "C";
  return anchor;
}

// G, C and E on strings 3, 2 and 1.
electric_stab_grip c_stab() {
  return {assigned_or_original_fingering({at(3, 0), at(2, 1), at(1, 0)})};
}

comping_hit hit_of(std::int64_t offset, bool avoid = true) {
  return {.offset = offset, .duration = eighth, .avoid_melody_attack = avoid};
}

phrase_instance_plan phrase_of(std::int64_t start, std::int64_t end,
                               electric_stab_intent intent = electric_stab_intent::establish,
                               std::vector<tick_range> windows = {}) {
  phrase_instance_plan phrase;
  phrase.range = {start, end};
  phrase.electric_intent = intent;
  phrase.response_windows = std::move(windows);
  return phrase;
}

// What every normalised list must satisfy: time order with one event per tick, no event past the
// next start, and every grip (slashes apart) playable and fingered.
void expect_normalised(const std::vector<arrangement_event>& events, const std::string& name) {
  for (std::size_t index = 0; index < events.size(); ++index) {
    const auto& event = events[index];
    EXPECT_GT(event.duration_ticks, 0) << name;
    if (index + 1 < events.size()) {
      EXPECT_LT(event.start_ticks, events[index + 1].start_ticks) << name;
      EXPECT_LE(event_end_ticks(event), events[index + 1].start_ticks) << name;
    }
    if (event.slash || event.positions.empty()) continue;
    EXPECT_TRUE(positions_playable(event.positions)) << name << " at " << event.start_ticks;
    EXPECT_TRUE(positions_have_valid_fingering(event.positions))
        << name << " at " << event.start_ticks;
  }
}

// Stab counts

TEST(comping_events_electric_test, only_events_of_two_or_more_positions_count_as_stabs) {
  const std::vector<arrangement_event> events{
      event_of(0, half, {at(1, 0)}),                            // one note: no stab
      event_of(half, eighth),                                   // a rest: no stab
      event_of(whole - eighth, quarter, {at(1, 0), at(2, 1)}),  // into the next measure
      event_of(whole + half, eighth, {at(1, 0), at(2, 1), at(3, 0)}),
  };
  source_measure first;
  source_measure second;
  second.start_tick = whole;
  EXPECT_EQ(measure_electric_stab_count(events, first), 1u);
  EXPECT_EQ(measure_electric_stab_count(events, second), 2u);
  source_measure third;
  third.start_tick = 2 * whole;
  EXPECT_FALSE(measure_has_electric_stab(events, third));
  EXPECT_FALSE(electric_stab_starts_at(events, 0));
  EXPECT_TRUE(electric_stab_starts_at(events, whole + half));
  EXPECT_FALSE(electric_stab_starts_at(events, whole));
  EXPECT_FALSE(phrase_has_electric_stab(events, phrase_of(0, whole - eighth)));
  EXPECT_TRUE(phrase_has_electric_stab(events, phrase_of(whole + quarter, 2 * whole)));
}

// The stab push

TEST(comping_events_electric_test, a_traced_stab_push_counts_what_it_changed) {
  const auto score = score_of({rest_note(0, whole, "C"), melody(whole, whole)});
  const auto anchor = c_anchor(0, 2 * whole);
  const auto phrase = phrase_of(0, 2 * whole, electric_stab_intent::late_answer, {{quarter, half}});
  phrase_debug_trace trace;
  std::vector<arrangement_event> events;

  // On the anchor's start the stab carries the chord symbol.
  EXPECT_TRUE(push_traced_electric_stab_event(events, score, anchor, c_stab(), hit_of(0), 0,
                                              &phrase, &trace, true));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].chord_symbol, "C");
  EXPECT_EQ(events[0].duration_ticks, eighth);
  EXPECT_EQ(trace.optional_events, 1u);
  EXPECT_EQ(trace.response_window_hits, 0u);

  // Inside a response window, later in the anchor: no symbol, one window hit.
  EXPECT_TRUE(push_traced_electric_stab_event(events, score, anchor, c_stab(), hit_of(0), 6144,
                                              &phrase, &trace, true));
  EXPECT_EQ(events.back().chord_symbol, "");
  EXPECT_EQ(trace.optional_events, 2u);
  EXPECT_EQ(trace.response_window_hits, 1u);

  // The same stab again changes nothing and counts nothing; so does a melody attack.
  EXPECT_FALSE(push_traced_electric_stab_event(events, score, anchor, c_stab(), hit_of(0), 6144,
                                               &phrase, &trace, true));
  EXPECT_FALSE(push_traced_electric_stab_event(events, score, anchor, c_stab(), hit_of(0), whole,
                                               &phrase, &trace, true));
  EXPECT_EQ(events.size(), 2u);
  EXPECT_EQ(trace.optional_events, 2u);

  // Notes merged into a one-note event change the list; a coverage push is no optional event.
  events.push_back(event_of(half + quarter, eighth, {at(4, 2)}));
  EXPECT_TRUE(push_traced_electric_stab_event(events, score, anchor, c_stab(), hit_of(0),
                                              half + quarter, &phrase, &trace, false));
  EXPECT_EQ(events.size(), 3u);
  EXPECT_EQ(events.back().positions.size(), 4u);
  EXPECT_EQ(trace.optional_events, 2u);

  // Without a trace nothing is recorded, and the phrase alone is not needed either.
  EXPECT_TRUE(push_traced_electric_stab_event(events, score, anchor, c_stab(), hit_of(0), 2048,
                                              nullptr, nullptr, true));
}

// Phrase coverage candidates

TEST(comping_events_electric_test, coverage_candidates_come_in_order_inside_the_phrase) {
  const auto score = score_of({}, 5);
  struct row {
    const char* name;
    phrase_instance_plan phrase;
    std::vector<arrangement_anchor> anchors;
    std::vector<std::int64_t> expected;
  };
  const std::vector<row> rows{
      {"cadence: the last two eighths first",
       phrase_of(0, 65536, electric_stab_intent::cadence),
       {c_anchor(0, 65536)},
       {63488, 61440, 0, 2048}},
      {"a cadence phrase of one eighth keeps the one that fits",
       phrase_of(0, eighth, electric_stab_intent::cadence),
       {},
       {0}},
      {"windows, then anchor starts, then an eighth into each anchor",
       phrase_of(whole, 3 * whole, electric_stab_intent::late_answer,
                 {{whole + quarter, whole + half}, {2 * whole, 2 * whole + quarter}}),
       {c_anchor(0, whole + half), c_anchor(whole + half, whole),
        c_anchor(2 * whole + half, whole)},
       {whole + quarter, whole + 6144, 2 * whole, 2 * whole + eighth, whole + half,
        2 * whole + half, whole + eighth, whole + half + eighth, 2 * whole + half + eighth}},
      {"anchors off the grid offer nothing", phrase_of(0, whole), {c_anchor(6000, 4000)}, {}},
      {"nothing outside the phrase",
       phrase_of(whole, 2 * whole, electric_stab_intent::establish, {{0, whole}}),
       {c_anchor(0, whole), c_anchor(2 * whole, whole)},
       {whole + eighth}},
  };
  for (const auto& [name, phrase, anchors, expected] : rows) {
    EXPECT_EQ(candidate_coverage_starts(score, phrase, phrase.electric_intent, anchors), expected)
        << name;
  }
}

TEST(comping_events_electric_test, coverage_candidates_follow_the_grid_of_each_measure) {
  // A 7/16 measure (7168 ticks) moves the eighth grid of the measure after it.
  source_score score;
  source_measure short_measure;
  short_measure.time_signature = "7/16";
  short_measure.capacity_ticks = 7168;
  source_measure next;
  next.start_tick = 7168;
  score.measures = {short_measure, next};
  const auto phrase = phrase_of(0, 7168 + whole);
  EXPECT_EQ(candidate_coverage_starts(score, phrase, phrase.electric_intent,
                                      {c_anchor(0, 7168), c_anchor(7168, whole)}),
            (std::vector<std::int64_t>{0, 7168, 2048, 7168 + 2048}));
}

// Measure coverage stabs

TEST(comping_events_electric_test, coverage_offsets_answer_the_acoustic_activity) {
  source_measure four_four;
  four_four.start_tick = whole;
  source_measure three_four;
  three_four.time_signature = "3/4";
  three_four.capacity_ticks = 12288;
  planned_acoustic_activity pulses;
  pulses.bass_pulse_ticks = {whole, whole + half};
  planned_acoustic_activity upper = pulses;
  upper.chord_start_ticks = {whole};
  upper.pattern_hit_ticks = {whole + 6144, whole + 10240};
  struct row {
    const char* name;
    source_measure measure;
    planned_acoustic_activity activity;
    bool avoid_upper;
    std::vector<std::int64_t> expected;
  };
  const std::vector<row> rows{
      {"no activity: ascending",
       four_four,
       {},
       true,
       {2048, 4096, 6144, 8192, 10240, 12288, 14336}},
      {"3/4 keeps the offsets inside the measure",
       three_four,
       {},
       true,
       {2048, 4096, 6144, 8192, 10240}},
      {"after the bass pulses first",
       four_four,
       pulses,
       true,
       {2048, 10240, 4096, 6144, 8192, 12288, 14336}},
      // 2048 follows the chord start, 8192 the hit at 6144, 12288 the hit at 10240 and 14336
      // two eighths after it; 6144 and 10240 collide with upper chords (10240 after the pulse at
      // 8192, so less badly).
      {"upper chords last when avoided",
       four_four,
       upper,
       true,
       {2048, 8192, 12288, 14336, 4096, 10240, 6144}},
      {"upper chords count for nothing otherwise",
       four_four,
       upper,
       false,
       {2048, 8192, 10240, 12288, 14336, 4096, 6144}},
  };
  for (const auto& [name, measure, activity, avoid_upper, expected] : rows) {
    EXPECT_EQ(electric_coverage_stab_offsets(measure, activity, avoid_upper), expected) << name;
  }
}

TEST(comping_events_electric_test, a_measure_coverage_stab_takes_the_first_free_offset) {
  source_measure measure;
  const std::vector<arrangement_anchor> anchors{c_anchor(0, whole)};
  const stab_grips grips{c_stab()};
  const planned_acoustic_activity quiet;
  struct row {
    const char* name;
    std::vector<source_note> notes;
    std::vector<arrangement_event> events;
    planned_acoustic_activity activity;
    bool avoid_upper;
    bool added;
    std::vector<std::int64_t> starts;
  };
  planned_acoustic_activity upper;
  upper.pattern_hit_ticks = {2048};
  // Only 2048 is free of melody attacks.
  std::vector<source_note> busy{melody(0, 2048, "C"), rest_note(2048, 2048)};
  for (std::int64_t tick = 4096; tick < whole; tick += eighth) busy.push_back(melody(tick, eighth));
  const std::vector<row> rows{
      {"the first offset", {melody(0, whole, "C")}, {}, quiet, true, true, {2048}},
      {"past a melody attack",
       {melody(0, 2048, "C"), melody(2048, 14336)},
       {},
       quiet,
       true,
       true,
       {4096}},
      {"past a stab",
       {melody(0, whole, "C")},
       {event_of(2048, eighth, {at(1, 0), at(2, 1)})},
       quiet,
       true,
       true,
       {2048, 4096}},
      {"upper chords are ranked last when avoided",
       {melody(0, whole, "C")},
       {},
       upper,
       true,
       true,
       {4096}},
      {"and skipped", busy, {}, upper, true, false, {}},
      {"taken otherwise", busy, {}, upper, false, true, {2048}},
      {"a one-note event takes the notes: no event added",
       {melody(0, whole, "C")},
       {event_of(2048, eighth, {at(4, 2)})},
       quiet,
       true,
       false,
       {2048}},
  };
  for (const auto& [name, notes, given, activity, avoid_upper, added, starts] : rows) {
    auto events = given;
    const auto score = score_of(notes, 1);
    EXPECT_EQ(push_coverage_electric_stab_for_measure(events, score, measure, anchors, grips,
                                                      activity, avoid_upper),
              added)
        << name;
    EXPECT_EQ(starts_of(events), starts) << name;
  }
}

TEST(comping_events_electric_test, a_measure_coverage_stab_needs_a_usable_anchor) {
  source_measure measure;
  const auto score = score_of({rest_note(0, whole)}, 1);
  std::vector<arrangement_event> events;
  const planned_acoustic_activity quiet;

  // Only the first usable offset is tried: 2048 leaves less than an eighth of the anchor.
  EXPECT_FALSE(push_coverage_electric_stab_for_measure(events, score, measure,
                                                       {c_anchor(0, 3000), c_anchor(4096, 4096)},
                                                       {c_stab(), c_stab()}, quiet, true));
  EXPECT_TRUE(events.empty());

  // An anchor without a chosen grip or a chord is passed over.
  auto chordless = c_anchor(0, 4096);
  chordless.chord.reset();
  EXPECT_TRUE(push_coverage_electric_stab_for_measure(
      events, score, measure, {chordless, c_anchor(4096, 4096), c_anchor(8192, 8192)},
      {c_stab(), std::nullopt, c_stab()}, quiet, true));
  EXPECT_EQ(starts_of(events), (std::vector<std::int64_t>{8192}));

  // A grip list shorter than the anchors counts as no grip.
  EXPECT_FALSE(push_coverage_electric_stab_for_measure(events, score, measure, {c_anchor(0, whole)},
                                                       {}, quiet, true));
}

// Phrase coverage stabs

TEST(comping_events_electric_test, a_phrase_coverage_stab_records_its_outcome) {
  const std::vector<arrangement_anchor> anchors{c_anchor(0, 2 * whole)};
  const stab_grips grips{c_stab()};
  const auto quiet_score = score_of({rest_note(0, whole, "C"), melody(whole, whole)});
  std::vector<source_note> eighths;
  for (std::int64_t tick = 0; tick < 2 * whole; tick += eighth)
    eighths.push_back(melody(tick, eighth));
  const auto busy_score = score_of(eighths);
  const auto stab = event_of(whole + 4096, eighth, {at(1, 0), at(2, 1)});
  struct row {
    const char* name;
    source_score score;
    electric_stab_intent intent;
    std::vector<arrangement_event> events;
    phrase_fallback_result fallback;
    std::string reason;
    std::vector<std::int64_t> starts;
  };
  const std::vector<row> rows{
      {"silence stays silent",
       quiet_score,
       electric_stab_intent::intentional_silence,
       {},
       phrase_fallback_result::intentional_silence,
       "",
       {}},
      {"a stab is there already",
       quiet_score,
       electric_stab_intent::establish,
       {stab},
       phrase_fallback_result::not_needed,
       "",
       {whole + 4096}},
      {"a one-note event is no stab",
       quiet_score,
       electric_stab_intent::establish,
       {event_of(0, eighth, {at(1, 0)})},
       phrase_fallback_result::coverage_stab_inserted,
       "",
       {0}},
      {"the anchor start is taken",
       quiet_score,
       electric_stab_intent::establish,
       {},
       phrase_fallback_result::coverage_stab_inserted,
       "",
       {0}},
      {"cadence: the last eighth first",
       quiet_score,
       electric_stab_intent::cadence,
       {},
       phrase_fallback_result::coverage_stab_inserted,
       "",
       {2 * whole - eighth}},
      {"every candidate on a melody attack",
       busy_score,
       electric_stab_intent::cadence,
       {},
       phrase_fallback_result::no_legal_candidate,
       "no_legal_coverage_candidate",
       {}},
  };
  for (const auto& [name, score, intent, given, fallback, reason, starts] : rows) {
    const auto phrase = phrase_of(0, 2 * whole, intent);
    auto traced = given;
    phrase_debug_trace trace;
    trace.fallback = phrase_fallback_result::coverage_stab_inserted;
    if (fallback == phrase_fallback_result::coverage_stab_inserted) {
      trace.fallback = phrase_fallback_result::not_needed;
    }
    push_phrase_coverage_stab(traced, score, phrase, anchors, grips, &trace);
    EXPECT_EQ(trace.fallback, fallback) << name;
    EXPECT_EQ(trace.fallback_reason, reason) << name;
    EXPECT_EQ(trace.optional_events, 0u) << name;
    std::vector<std::int64_t> traced_starts;
    for (const auto& event : traced) traced_starts.push_back(event.start_ticks);
    EXPECT_EQ(traced_starts, starts) << name;

    auto untraced = given;
    push_phrase_coverage_stab(untraced, score, phrase, anchors, grips, nullptr);
    EXPECT_EQ(untraced, traced) << name;
  }
}

// Stab targets

TEST(comping_events_electric_test, stab_targets_follow_the_intent_and_the_melody) {
  const auto moving = score_of({melody(0, quarter, "C"), melody(quarter, quarter),
                                melody(half, quarter), melody(half + quarter, quarter)},
                               1);
  const auto spacious = score_of({melody(0, whole, "C")}, 1);
  // Unpitched quarter notes: neither moving nor spacious.
  auto unpitched = melody(0, quarter, "C");
  unpitched.pitches.clear();
  auto later_unpitched = unpitched;
  later_unpitched.start_tick = quarter;
  const auto still = score_of({unpitched, later_unpitched}, 1);
  const source_measure measure;
  struct row {
    std::optional<electric_stab_intent> intent;
    std::size_t moving;
    std::size_t space;
  };
  const std::vector<row> rows{
      {electric_stab_intent::establish, 1, 1},
      {electric_stab_intent::sparse_support, 1, 1},
      {electric_stab_intent::late_answer, 1, 1},
      {electric_stab_intent::anticipation, 2, 1},
      {electric_stab_intent::cadence, 2, 2},
      {electric_stab_intent::intentional_silence, 0, 0},
      {std::nullopt, 0, 0},
  };
  for (const auto& [intent, moving_count, space_count] : rows) {
    std::optional<phrase_instance_plan> phrase;
    if (intent) phrase = phrase_of(0, whole, *intent);
    const auto* plan = phrase ? &*phrase : nullptr;
    const auto name = intent ? std::string(to_string(*intent)) : std::string("no phrase");
    EXPECT_EQ(target_electric_stab_count_for_moving_measure(plan), moving_count) << name;
    EXPECT_EQ(target_electric_stab_count_for_measure(moving, measure, plan), moving_count) << name;
    EXPECT_EQ(target_electric_stab_count_for_measure(spacious, measure, plan), space_count) << name;
    EXPECT_EQ(target_electric_stab_count_for_measure(still, measure, plan), 0u) << name;
  }
  EXPECT_TRUE(measure_has_moving_melody(moving, measure));
  EXPECT_FALSE(measure_has_long_melody_or_rest_space(moving, measure));
  EXPECT_FALSE(measure_has_moving_melody(spacious, measure));
  EXPECT_TRUE(measure_has_long_melody_or_rest_space(spacious, measure));
  // A quarter note starting in the next measure moves that measure only.
  const auto late = score_of({melody(0, whole, "C"), melody(whole, quarter)}, 2);
  EXPECT_FALSE(measure_has_moving_melody(late, measure));
}

// Accompaniment anchors

TEST(comping_events_electric_test, accompaniment_anchors_ask_for_two_note_voicings_by_length) {
  // C7 for a half note, G7 for a whole note, then F over two bars; H7 does not parse.
  const auto score = score_of({melody(0, half, "C7"), melody(half, half, "H7"),
                               melody(whole, whole, "G7"), melody(2 * whole, 2 * whole, "Fmaj7")},
                              4);
  std::vector<arrangement_message> messages;
  const auto anchors = build_accompaniment_anchors(score, med_swing(), messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].level, "warning");
  EXPECT_EQ(messages[0].message, "Chord 'H7' could not be arranged.");
  ASSERT_EQ(anchors.size(), 3u);

  const auto expect_anchor = [](const arrangement_anchor& anchor, std::int64_t start,
                                std::int64_t duration, const std::string& symbol,
                                bool two_note_first) {
    EXPECT_EQ(anchor.start_ticks, start) << symbol;
    EXPECT_EQ(anchor.duration_ticks, duration) << symbol;
    ASSERT_TRUE(anchor.chord) << symbol;
    EXPECT_EQ(anchor.chord_symbol, symbol);
    EXPECT_FALSE(anchor.display_ticks || anchor.tie_to_next || anchor.tie_from_previous);
    auto expected = melody_mode_chord_candidates(*anchor.chord, two_note_first, true);
    if (expected.empty()) expected = melody_mode_chord_candidates(*anchor.chord, true, true);
    EXPECT_FALSE(expected.empty()) << symbol;
    EXPECT_EQ(anchor.candidates, expected) << symbol;
  };
  // The unparsable H7 leaves C7 sounding for the whole measure.
  expect_anchor(anchors[0], 0, whole, "C7", false);
  expect_anchor(anchors[1], whole, whole, "G7", false);
  expect_anchor(anchors[2], 2 * whole, 2 * whole, "Fmaj7", false);

  // Short chords, or a fast style, ask for two-note voicings first.
  const auto short_chords = score_of({melody(0, half, "C7"), melody(half, half, "G7")}, 1);
  const auto short_anchors = build_accompaniment_anchors(short_chords, med_swing(), messages);
  ASSERT_EQ(short_anchors.size(), 2u);
  expect_anchor(short_anchors[0], 0, half, "C7", true);
  auto fast = med_swing();
  fast.fast = true;
  const auto fast_anchors = build_accompaniment_anchors(score, fast, messages);
  ASSERT_EQ(fast_anchors.size(), 3u);
  expect_anchor(fast_anchors[2], 2 * whole, 2 * whole, "Fmaj7", true);
}

TEST(comping_events_electric_test, a_chord_without_length_gets_no_accompaniment_anchor) {
  // Two symbols on one note start: the first lasts nothing.
  auto first = melody(0, whole, "C");
  auto second = rest_note(0, whole, "G");
  const auto score = score_of({first, second}, 1);
  std::vector<arrangement_message> messages;
  const auto anchors = build_accompaniment_anchors(score, med_swing(), messages);
  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(anchors.size(), 1u);
  EXPECT_EQ(anchors[0].chord_symbol, "G");
}

// Electric accompaniment sections from the plan

// 4/4 measures of one rhythm (a negative length is a rest), a chord on each downbeat.
source_score song(std::size_t measures, const std::vector<std::int64_t>& rhythm) {
  const char* chords[] = {"Fmaj7", "Gm7", "C7", "Am7"};
  source_score score;
  for (std::size_t index = 0; index < measures; ++index) {
    source_measure measure;
    measure.id = "m" + std::to_string(index);
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    std::int64_t tick = measure.start_tick;
    for (const auto length : rhythm) {
      auto note = length < 0 ? rest_note(tick, -length) : melody(tick, length);
      note.id = measure.id + "n" + std::to_string(tick);
      note.measure_index = index;
      if (tick == measure.start_tick) note.chord_symbol = chords[index % 4];
      score.notes.push_back(std::move(note));
      tick += length < 0 ? -length : length;
    }
    score.measures.push_back(std::move(measure));
  }
  return score;
}

// One section of the electric part's plan of a source, generated as the section driver does it,
// with a trace and without.
struct generated_section {
  section_plan plan;
  source_score slice;
  std::vector<arrangement_event> events;
  std::vector<arrangement_event> untraced_events;
  section_debug_trace trace;
};

generated_section accompany(const source_score& source, arrangement_section_type type) {
  const auto profile = med_swing();
  const auto part = part_plan_of(source, profile, arrangement_part_type::electric,
                                 arrangement_part_type::electric);
  generated_section result;
  if (const auto found = first_planned_section(
          source, part, [&](const section_plan& section) { return section.type == type; })) {
    result.plan = found->plan;
    result.slice = found->slice;
  }
  std::vector<arrangement_message> messages;
  const auto anchors = build_accompaniment_anchors(result.slice, profile, messages);
  EXPECT_TRUE(messages.empty());
  const auto type_value = static_cast<std::uint64_t>(type);
  result.trace = section_trace_of(result.plan);
  result.events = melody_accompaniment_comping_events(result.slice, profile, anchors, type_value,
                                                      result.plan, &result.trace);
  result.untraced_events = melody_accompaniment_comping_events(result.slice, profile, anchors,
                                                               type_value, result.plan, nullptr);
  // The section's generation counts the events and stabs of each phrase afterwards.
  for (auto& record : result.trace.phrases) {
    for (const auto& phrase : result.plan.phrases) {
      if (phrase.index != record.phrase_index) continue;
      record.events = 0;
      record.stabs = 0;
      for (const auto& event : result.events) {
        if (event.positions.empty() || !event_overlaps_phrase(event, phrase)) continue;
        ++record.events;
        if (event.positions.size() >= 2) ++record.stabs;
      }
      break;
    }
  }
  return result;
}

// The stabs' starts as offsets from the start of the slice's measure they start in, per measure.
std::vector<std::vector<std::int64_t>> stab_offsets_per_measure(const generated_section& section) {
  std::vector<std::vector<std::int64_t>> offsets(section.slice.measures.size());
  for (const auto& event : section.events) {
    if (event.positions.size() < 2) continue;
    for (std::size_t index = 0; index < section.slice.measures.size(); ++index) {
      const auto& measure = section.slice.measures[index];
      if (measure.start_tick <= event.start_ticks &&
          event.start_ticks < measure.start_tick + measure.capacity_ticks) {
        offsets[index].push_back(event.start_ticks - measure.start_tick);
      }
    }
  }
  return offsets;
}

// A phrase record's outcome: cells, counters and fallback.
struct phrase_outcome {
  std::string resolved_cell;
  std::string acoustic_reference_cell;
  std::uint64_t events = 0;
  std::uint64_t stabs = 0;
  std::uint64_t optional_events = 0;
  std::uint64_t acoustic_overlaps = 0;
  std::uint64_t acoustic_responses = 0;
  phrase_fallback_result fallback = phrase_fallback_result::not_needed;
  std::string fallback_reason;

  bool operator==(const phrase_outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const phrase_outcome& outcome) {
  return out << outcome.resolved_cell << " / " << outcome.acoustic_reference_cell << ": events "
             << outcome.events << ", stabs " << outcome.stabs << ", optional "
             << outcome.optional_events << ", overlaps " << outcome.acoustic_overlaps
             << ", responses " << outcome.acoustic_responses << ", " << to_string(outcome.fallback)
             << " " << outcome.fallback_reason;
}

std::vector<phrase_outcome> outcomes_of(const section_debug_trace& trace) {
  std::vector<phrase_outcome> outcomes;
  for (const auto& phrase : trace.phrases) {
    EXPECT_EQ(phrase.response_window_hits, 0u);
    outcomes.push_back({phrase.resolved_cell, phrase.acoustic_reference_cell, phrase.events,
                        phrase.stabs, phrase.optional_events, phrase.acoustic_overlaps,
                        phrase.acoustic_responses, phrase.fallback, phrase.fallback_reason});
  }
  return outcomes;
}

// Every event of an accompaniment is a stab of three or four notes on the top strings.
void expect_top_string_stabs(const generated_section& section, const std::string& name) {
  expect_normalised(section.events, name);
  EXPECT_EQ(section.events, section.untraced_events) << name << ": the trace changes nothing";
  for (const auto& event : section.events) {
    EXPECT_GE(event.positions.size(), 3u) << name;
    EXPECT_LE(event.positions.size(), 4u) << name;
    for (const auto& position : event.positions) EXPECT_LE(position.string_number, 4) << name;
  }
}

// The electric plan of an eight-measure song gives the sung section two phrases of four measures:
// a statement (acoustic base, stabs establish) and a cadence.

TEST(comping_events_electric_test, whole_notes_get_pattern_stabs_and_measure_coverage) {
  const auto section = accompany(song(8, {whole}), arrangement_section_type::vocal_melody_1);
  expect_top_string_stabs(section, "whole notes");
  // The statement's pattern stabs (offsets 6144, 10240, 14336) would all sound with acoustic
  // upper chords, so each measure gets one coverage stab, an eighth after the bass and chord; the
  // cadence fills its first two measures to two stabs and plays its pattern in the last two (its
  // downbeat hit falls on the melody).
  using offsets = std::vector<std::int64_t>;
  EXPECT_EQ(stab_offsets_per_measure(section), (std::vector<offsets>{{2048},
                                                                     {2048},
                                                                     {2048},
                                                                     {2048},
                                                                     {2048, 10240},
                                                                     {2048, 10240},
                                                                     {6144, 10240, 14336},
                                                                     {6144, 10240, 14336}}));
  EXPECT_EQ(outcomes_of(section.trace), (std::vector<phrase_outcome>{
                                            {"swing_stab_establish_0", "swing_upper_base_0", 4, 4,
                                             0, 0, 4, phrase_fallback_result::not_needed, ""},
                                            {"swing_stab_cadence_3", "swing_upper_cadence_3", 10,
                                             10, 6, 4, 8, phrase_fallback_result::not_needed, ""},
                                        }));
}

TEST(comping_events_electric_test, a_pattern_stab_gives_way_to_planned_acoustic_chords) {
  const auto source = song(8, {whole});
  auto section = accompany(source, arrangement_section_type::vocal_melody_1);
  // With a sparse acoustic plan the statement's first stab hit (6144) is free: it sounds in the
  // two measures the establishing stabs may use, and coverage adds nothing there.
  section.plan.phrases[0].rhythm_intent = phrase_rhythm_intent::sparse;
  std::vector<arrangement_message> messages;
  const auto anchors = build_accompaniment_anchors(section.slice, med_swing(), messages);
  auto trace = section_trace_of(section.plan);
  section.events = melody_accompaniment_comping_events(section.slice, med_swing(), anchors, 1,
                                                       section.plan, &trace);
  const auto offsets = stab_offsets_per_measure(section);
  EXPECT_EQ(offsets[0], (std::vector<std::int64_t>{6144}));
  EXPECT_EQ(offsets[1], (std::vector<std::int64_t>{6144}));
  EXPECT_EQ(offsets[2], (std::vector<std::int64_t>{2048}));
  EXPECT_EQ(trace.phrases[0].optional_events, 2u);
  EXPECT_EQ(trace.phrases[0].resolved_cell, "swing_stab_establish_0");
  EXPECT_EQ(trace.phrases[0].acoustic_reference_cell, "swing_upper_sparse_0");
}

TEST(comping_events_electric_test, a_measure_without_stabs_may_sound_with_acoustic_chords) {
  // Melody attacks on 0, 2048, 4096 and 8192 leave only the statement's planned acoustic hits
  // (6144, 10240, 12288, 14336) free: coverage that avoids them finds nothing, so each measure
  // takes one stab on them after all, the first just after the bass pulse on beat 3.
  const auto section =
      accompany(song(8, {eighth, eighth, quarter, half}), arrangement_section_type::vocal_melody_1);
  expect_top_string_stabs(section, "acoustic chords only");
  const auto offsets = stab_offsets_per_measure(section);
  for (std::size_t index = 0; index < 4; ++index) {
    EXPECT_EQ(offsets[index], (std::vector<std::int64_t>{10240})) << index;
  }
  const auto outcomes = outcomes_of(section.trace);
  EXPECT_EQ(outcomes[0], (phrase_outcome{"swing_stab_establish_0", "swing_upper_base_0", 4, 4, 0, 4,
                                         4, phrase_fallback_result::not_needed, ""}));
}

TEST(comping_events_electric_test, a_phrase_without_stabs_gets_a_coverage_stab) {
  // An eighth rest on each downbeat under the chord, eighth notes after it: only the downbeats are
  // free of melody attacks. The measures get no coverage stab (their offsets all fall on the
  // melody); the statement's phrase coverage takes its first anchor's start, and the cadence's
  // downbeat pattern hit sounds in its last two measures.
  const auto section =
      accompany(song(8, {-eighth, eighth, eighth, eighth, eighth, eighth, eighth, eighth}),
                arrangement_section_type::vocal_melody_1);
  expect_top_string_stabs(section, "downbeat rests");
  const auto offset = section.slice.measures[0].start_tick;
  EXPECT_EQ(starts_of(section.events),
            (std::vector<std::int64_t>{offset, offset + 6 * whole, offset + 7 * whole}));
  std::vector<std::string> symbols;
  for (const auto& event : section.events) symbols.push_back(event.chord_symbol);
  EXPECT_EQ(symbols, (std::vector<std::string>{"Fmaj7", "C7", "Am7"}));
  EXPECT_EQ(outcomes_of(section.trace),
            (std::vector<phrase_outcome>{
                {"swing_stab_establish_0", "swing_upper_base_0", 1, 1, 0, 1, 0,
                 phrase_fallback_result::coverage_stab_inserted, ""},
                {"swing_stab_cadence_3", "swing_upper_cadence_3", 2, 2, 2, 2, 2,
                 phrase_fallback_result::not_needed, ""},
            }));
}

TEST(comping_events_electric_test, a_melody_on_every_eighth_leaves_no_legal_candidate) {
  const auto section =
      accompany(song(8, {eighth, eighth, eighth, eighth, eighth, eighth, eighth, eighth}),
                arrangement_section_type::vocal_melody_1);
  EXPECT_TRUE(section.events.empty());
  EXPECT_TRUE(section.untraced_events.empty());
  EXPECT_EQ(outcomes_of(section.trace),
            (std::vector<phrase_outcome>{
                {"swing_stab_establish_0", "swing_upper_base_0", 0, 0, 0, 0, 0,
                 phrase_fallback_result::no_legal_candidate, "no_legal_coverage_candidate"},
                {"swing_stab_cadence_3", "swing_upper_cadence_3", 0, 0, 0, 0, 0,
                 phrase_fallback_result::no_legal_candidate, "no_legal_coverage_candidate"},
            }));
}

TEST(comping_events_electric_test, an_intentionally_silent_phrase_stays_silent) {
  // The plan keeps the stabs silent only in a sparse interlude without foreground: the first solo
  // slot of a part without solos, which the electric part rests through. Comped all the same, its
  // first phrase gets no stab, not even in measures of long notes; its cadence plays.
  const auto section = accompany(song(8, {whole}), arrangement_section_type::guitar_solo_1);
  ASSERT_EQ(section.plan.phrases.size(), 2u);
  EXPECT_EQ(section.plan.phrases[0].electric_intent, electric_stab_intent::intentional_silence);
  expect_top_string_stabs(section, "silence");
  const auto offsets = stab_offsets_per_measure(section);
  for (std::size_t index = 0; index < 4; ++index) EXPECT_TRUE(offsets[index].empty()) << index;
  EXPECT_EQ(offsets[4], (std::vector<std::int64_t>{2048, 10240}));
  const auto outcomes = outcomes_of(section.trace);
  EXPECT_EQ(outcomes[0],
            (phrase_outcome{"swing_stab_intentional_silence_0", "swing_upper_sparse_0", 0, 0, 0, 0,
                            0, phrase_fallback_result::intentional_silence, ""}));
  EXPECT_EQ(outcomes[1].fallback, phrase_fallback_result::not_needed);
}

TEST(comping_events_electric_test, a_section_without_top_string_stabs_yields_nothing) {
  const auto section = accompany(song(8, {whole}), arrangement_section_type::vocal_melody_1);
  // Grips on strings 2 to 4 give no stab; an anchor without a chord is no stab anchor.
  auto low = c_anchor(0, whole);
  grip_candidate low_grip;
  low_grip.positions = {at(4, 2), at(3, 0), at(2, 1)};
  low.candidates = {low_grip};
  auto chordless = c_anchor(whole, whole);
  chordless.chord.reset();
  grip_candidate stab_grip;
  stab_grip.positions = c_stab().positions;
  chordless.candidates = {stab_grip};
  auto trace = section_trace_of(section.plan);
  EXPECT_TRUE(melody_accompaniment_comping_events(section.slice, med_swing(), {low, chordless}, 1,
                                                  section.plan, &trace)
                  .empty());
  EXPECT_EQ(trace, section_trace_of(section.plan));
}

// The generators of a lead sheet

TEST(comping_events_electric_test, every_generator_gives_a_normalised_list_for_a_lead_sheet) {
  const auto document = read_fixture("lead_sheet_8_bars.json");
  const auto* staff = source_staff(document);
  ASSERT_NE(staff, nullptr);
  const auto source = extract_source_score(*staff);
  const auto profile = arrangement_style_profile_for("Med. Swing");
  const auto analysis = analyze_for_arrangement(source, build_harmonic_timeline(source), profile);
  const auto sections = full_arrangement_sections(source, arrangement_part_type::electric, false);
  const auto plan = build_arrangement_plan(source, analysis, sections, profile, false);
  // The first sung section, placed after the lead-in as the section driver places it.
  const auto& section = plan.sections[1];
  ASSERT_EQ(section.type, arrangement_section_type::vocal_melody_1);
  const auto score =
      source_slice(source, section.section,
                   source_section_duration(source, plan.sections[0].section.first_measure,
                                           plan.sections[0].section.measure_count));
  ASSERT_FALSE(score.measures.empty());
  std::vector<arrangement_message> messages;

  const auto placements = build_long_note_chord_placements(score, messages);
  const auto melody_anchors = build_melody_anchors(score, messages, placements);
  auto melody_events = events_from_path(
      melody_anchors,
      selected_path(melody_anchors, transition_profile::melody_line, std::nullopt, 4096),
      arrangement_part_type::electric);
  const auto rests = source_rest_events(score);
  melody_events.insert(melody_events.end(), rests.begin(), rests.end());

  const auto chord_anchors = build_chord_anchors(score, profile, messages);
  const auto accompaniment_anchors = build_accompaniment_anchors(score, profile, messages);
  EXPECT_FALSE(messages_have_error(messages));

  const std::vector<std::pair<std::string, std::vector<arrangement_event>>> generated{
      {"melody", normalize_events(std::move(melody_events))},
      {"chord-mode comping", chord_mode_comping_events(score, profile, chord_anchors, 1,
                                                       std::nullopt, 4096, section, nullptr)},
      {"accompaniment stabs", melody_accompaniment_comping_events(
                                  score, profile, accompaniment_anchors, 1, section, nullptr)},
      {"slashes", source_slash_events(score)},
      {"compact rests", source_compact_rest_events(score)},
  };
  for (const auto& [name, events] : generated) {
    EXPECT_FALSE(events.empty()) << name;
    expect_normalised(events, name);
    expect_normalised(with_source_chord_symbols(score, events), name + " relabelled");
  }
  EXPECT_TRUE(has_playable_arrangement_event(generated[0].second));
  EXPECT_TRUE(has_playable_arrangement_event(generated[1].second));
  EXPECT_TRUE(has_playable_arrangement_event(generated[2].second));
}

}  // namespace
