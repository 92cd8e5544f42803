#include "arrangement/anchors.hpp"

#include "arrangement/melody_path.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include "fixture_documents.hpp"
#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"

#include <boost/json/parse.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <optional>
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
using score_fixtures::score_of;

using grip = std::vector<tab_position>;

TEST(anchors_test, only_the_exact_level_error_counts_as_an_error) {
  const arrangement_message warning{"warning", "", "worked around"};
  const arrangement_message error{"error", "", "failed"};
  struct row {
    const char* name;
    std::vector<arrangement_message> messages;
    bool expected;
  };
  const row rows[] = {
      {"no messages", {}, false},
      {"warnings only", {warning, warning}, false},
      {"plural level", {{"errors", "", "x"}}, false},
      {"capitalised level", {{"Error", "", "x"}}, false},
      {"level with a blank", {{"error ", "", "x"}}, false},
      {"error in a path or text", {{"warning", "error", "error"}}, false},
      {"error alone", {error}, true},
      {"error after warnings", {warning, warning, error}, true},
      {"error before warnings", {error, warning}, true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(messages_have_error(row.messages), row.expected) << row.name;
}

TEST(anchors_test, renderable_durations_are_exactly_the_eleven_written_values) {
  for (const std::int64_t ticks :
       {512, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288, 16384, 24576}) {
    EXPECT_TRUE(renderable_arrangement_duration(ticks)) << ticks;
  }
  for (const std::int64_t ticks :
       {std::int64_t{0}, std::int64_t{1}, std::int64_t{511}, std::int64_t{513}, std::int64_t{2560},
        std::int64_t{4100}, std::int64_t{32768}, std::int64_t{-512}, std::int64_t{-4096}, INT64_MIN,
        INT64_MAX}) {
    EXPECT_FALSE(renderable_arrangement_duration(ticks)) << ticks;
  }
}

source_note tuplet_member(std::string tuplet_id, std::size_t measure_index) {
  source_note note;
  note.tuplet_id = std::move(tuplet_id);
  note.measure_index = measure_index;
  return note;
}

TEST(anchors_test, a_note_finds_the_first_tuplet_of_its_id_in_its_own_measure) {
  source_score score;
  score.tuplets = {
      {"t1", 3, 2, 0},
      {"t2", 5, 4, 1},
      {"t1", 3, 2, 1},
      {"t1", 6, 4, 1},
  };
  struct row {
    const char* name;
    source_note note;
    std::optional<source_tuplet> expected;
  };
  const row rows[] = {
      {"no tuplet id", tuplet_member("", 1), std::nullopt},
      {"own measure", tuplet_member("t1", 0), source_tuplet{"t1", 3, 2, 0}},
      {"first of two with the id in the measure", tuplet_member("t1", 1),
       source_tuplet{"t1", 3, 2, 1}},
      {"id only in another measure", tuplet_member("t2", 0), std::nullopt},
      {"unknown id", tuplet_member("t9", 1), std::nullopt},
      {"measure without tuplets", tuplet_member("t1", 2), std::nullopt},
  };
  for (const auto& row : rows)
    EXPECT_EQ(tuplet_for_note(score, row.note), row.expected) << row.name;
}

TEST(anchors_test, an_event_covers_only_the_ticks_strictly_inside_it) {
  constexpr auto max_tick = std::numeric_limits<std::int64_t>::max();
  struct row {
    std::int64_t start;
    std::int64_t duration;
    std::int64_t tick;
    bool expected;
  };
  const row rows[] = {
      {0, 4096, 1, true},         {0, 4096, 4095, true}, {0, 4096, 0, false},
      {0, 4096, 4096, false},     {0, 4096, -1, false},  {8192, 2048, 9000, true},
      {8192, 2048, 10240, false}, {100, 0, 100, false},  {100, -50, 75, false},
      {100, -50, 100, false},     {100, 1, 100, false},  {100, 2, 101, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(event_covers_tick(event_of(row.start, row.duration), row.tick), row.expected)
        << row.start << "+" << row.duration << " at " << row.tick;
  }
  EXPECT_EQ(event_end_ticks(event_of(8192, 2048)), 10240);
  EXPECT_EQ(event_end_ticks(event_of(100, -50)), 50);
  // The end saturates at the top of the range instead of wrapping below the start.
  EXPECT_EQ(event_end_ticks(event_of(max_tick - 8, 100)), max_tick);
  EXPECT_TRUE(event_covers_tick(event_of(max_tick - 8, 100), max_tick - 1));
}

TEST(anchors_test, only_an_event_with_positions_is_playable) {
  auto rest = event_of(0, 4096);
  rest.filler = true;
  auto slash = event_of(4096, 4096);
  slash.filler = true;
  slash.slash = true;
  auto label = event_of(8192, 4096);
  label.filler = true;
  label.chord_symbol = "C7";
  auto note = event_of(12288, 4096);
  note.positions = {{2, 1, 60, std::nullopt}};

  EXPECT_FALSE(has_playable_arrangement_event({}));
  EXPECT_FALSE(has_playable_arrangement_event({rest, slash, label}));
  EXPECT_TRUE(has_playable_arrangement_event({rest, slash, label, note}));
  EXPECT_TRUE(has_playable_arrangement_event({note}));
}

// Source scores built by hand: 4/4 measures from tick 0 and notes placed where a test needs them.

source_note melody_note(std::string id, std::int64_t start, std::int64_t duration, int midi,
                        std::string chord_symbol = "") {
  source_note note;
  note.id = std::move(id);
  note.chord_symbol = std::move(chord_symbol);
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = static_cast<std::size_t>(start / 16384);
  note.pitches = {source_pitch{"c", 4, "n", midi}};
  return note;
}

source_note rest_note(std::string id, std::int64_t start, std::int64_t duration,
                      std::string chord_symbol = "") {
  auto note = melody_note(std::move(id), start, duration, 60, std::move(chord_symbol));
  note.kind = "rest";
  note.pitches.clear();
  return note;
}

arrangement_message warning_of(std::string text) { return {"warning", "", std::move(text)}; }

arrangement_message error_of(std::string text) { return {"error", "", std::move(text)}; }

// Chord occurrences and chord labels

TEST(anchors_test, unparsable_chords_are_reported_at_the_level_the_caller_asks_for) {
  const auto score =
      score_of({melody_note("a", 0, 4096, 60, "C"), melody_note("b", 4096, 4096, 60, "H7"),
                melody_note("c", 8192, 4096, 60, "G7"), melody_note("d", 12288, 4096, 60, "7")});
  for (const bool report_as_error : {false, true}) {
    std::vector<arrangement_message> messages{warning_of("earlier")};
    const auto occurrences = chord_occurrences(score, messages, report_as_error);
    const auto level = report_as_error ? error_of("") : warning_of("");
    EXPECT_EQ(messages, (std::vector<arrangement_message>{
                            warning_of("earlier"),
                            {level.level, "", "Chord 'H7' could not be arranged."},
                            {level.level, "", "Chord '7' could not be arranged."}}));
    ASSERT_EQ(occurrences.size(), 2u);
    EXPECT_EQ(occurrences[0].symbol, "C");
    EXPECT_EQ(occurrences[0].end_tick, 8192);
    EXPECT_EQ(occurrences[1].symbol, "G7");
    EXPECT_EQ(occurrences[1].note_index, 2u);
    EXPECT_EQ(occurrences[1].end_tick, 32768);
  }

  // Chords that all parse give no message at either level; a chord spanning no time is kept.
  const auto same_start =
      score_of({rest_note("a", 0, 4096, "F"), melody_note("b", 0, 4096, 60, "C")});
  for (const bool report_as_error : {false, true}) {
    std::vector<arrangement_message> messages;
    const auto occurrences = chord_occurrences(same_start, messages, report_as_error);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(occurrences.size(), 2u);
    EXPECT_EQ(occurrences[0].end_tick, occurrences[0].start_tick);
  }
}

TEST(anchors_test, chord_label_markers_keep_one_label_per_tick_as_written) {
  struct row {
    const char* name;
    std::vector<source_note> notes;
    std::vector<chord_label_marker> expected;
  };
  const row rows[] = {
      {"no chord symbols", {melody_note("a", 0, 4096, 60)}, {}},
      {"labels in time order, unparsable ones too",
       {melody_note("a", 0, 4096, 60, "C"), melody_note("b", 4096, 4096, 60),
        rest_note("c", 8192, 8192, "H7")},
       {{0, 4096, "C"}, {8192, 8192, "H7"}}},
      {"the later note's label wins on one tick",
       {rest_note("a", 0, 2048, "F"), melody_note("b", 0, 4096, 60, "C")},
       {{0, 4096, "C"}}},
      {"notes out of time order",
       {melody_note("a", 8192, 4096, 60, "G7"), melody_note("b", 0, 8192, 60, "Dm7")},
       {{0, 8192, "Dm7"}, {8192, 4096, "G7"}}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(source_chord_label_markers(score_of(row.notes)), row.expected) << row.name;
  }
}

TEST(anchors_test, marker_starts_are_the_chord_changes_strictly_inside_a_measure) {
  const auto score =
      score_of({melody_note("a", 16384, 8192, 60, "C"), melody_note("b", 24576, 4096, 60, "F"),
                rest_note("c", 28672, 4096, "H7"), melody_note("d", 32768, 16384, 60, "G")},
               3);
  EXPECT_EQ(chord_marker_starts_in_measure(score, score.measures[1]),
            (std::vector<std::int64_t>{24576, 28672}));
  EXPECT_TRUE(chord_marker_starts_in_measure(score, score.measures[0]).empty());
  EXPECT_TRUE(chord_marker_starts_in_measure(score, score.measures[2]).empty());
  EXPECT_TRUE(
      chord_marker_starts_in_measure(score_of({melody_note("a", 4096, 4096, 60)}), {}).empty());
}

// Long-note chord placements

TEST(anchors_test, long_note_placements_report_errors_and_keep_one_chord_per_note) {
  struct row {
    const char* name;
    std::vector<source_note> notes;
    std::vector<std::pair<std::size_t, std::string>> expected;  // note index, chord symbol
    std::vector<arrangement_message> messages;
  };
  const row rows[] = {
      {"a chord on a whole note", {melody_note("a", 0, 16384, 67, "C")}, {{0, "C"}}, {}},
      {"a chord on a short note with no long note in its span",
       {melody_note("a", 0, 4096, 67, "C"), melody_note("b", 4096, 4096, 69, "F")},
       {},
       {}},
      {"two chords on one tick: the first has no duration",
       {rest_note("a", 0, 4096, "F"), melody_note("b", 0, 16384, 67, "C")},
       {{1, "C"}},
       {error_of("Chord 'F' does not have enough duration to be arranged.")}},
      {"an unparsable chord",
       {melody_note("a", 0, 16384, 67, "H7"), melody_note("b", 16384, 16384, 67, "G7")},
       {{1, "G7"}},
       {error_of("Chord 'H7' could not be arranged.")}},
      {"a later chord moved to a syncopated attack takes the note over",
       {rest_note("a", 0, 1024, "C"),
        [] {
          auto note = melody_note("b", 1024, 3072, 67);
          note.tie_to_next = true;
          return note;
        }(),
        [] {
          auto note = melody_note("c", 4096, 8192, 67, "G7");
          note.tie_from_previous = true;
          return note;
        }()},
       {{1, "G7"}},
       {}},
  };
  for (const auto& row : rows) {
    std::vector<arrangement_message> messages;
    const auto placements = build_long_note_chord_placements(score_of(row.notes), messages);
    std::vector<std::pair<std::size_t, std::string>> placed;
    for (const auto& placement : placements) {
      placed.emplace_back(placement.note_index, placement.chord_symbol);
      EXPECT_EQ(placement.chord.symbol, placement.chord_symbol) << row.name;
    }
    EXPECT_EQ(placed, row.expected) << row.name;
    EXPECT_EQ(messages, row.messages) << row.name;
  }
}

TEST(anchors_test, placements_are_ordered_by_note_start_and_looked_up_by_note) {
  std::vector<arrangement_message> messages;
  const auto placements = build_long_note_chord_placements(
      score_of({melody_note("a", 0, 8192, 67, "C"), melody_note("b", 8192, 8192, 69, "Am7"),
                melody_note("c", 16384, 16384, 65, "Dm7")}),
      messages);
  ASSERT_EQ(placements.size(), 3u);
  EXPECT_EQ(placements[0].note_index, 0u);
  EXPECT_EQ(placements[1].note_index, 1u);
  EXPECT_EQ(placements[2].note_index, 2u);
  EXPECT_EQ(chord_placement_for_note(placements, 1), placements[1]);
  EXPECT_EQ(chord_placement_for_note(placements, 3), std::nullopt);
  EXPECT_EQ(chord_placement_for_note({}, 0), std::nullopt);
}

// Melody degrees

TEST(anchors_test, the_melody_degree_comes_from_the_formula_then_from_the_tension_table) {
  struct row {
    const char* symbol;
    int midi;
    std::optional<std::string> expected;
  };
  const row rows[] = {
      {"C7", 60, "1"},
      {"C7", 64, "3"},
      {"C7", 70, "b7"},
      {"C7", 62, "9"},
      {"C7", 61, "b9"},
      {"C7", 63, "#9"},
      {"C7", 65, "11"},
      {"C7", 66, "#11"},
      {"C7", 68, "b13"},
      {"C7", 69, "13"},
      {"C7", 71, std::nullopt},
      {"Cm", 64, std::nullopt},
      {"Cm", 70, std::nullopt},
      {"Cm", 62, "9"},
      {"C7b5", 66, "b5"},
      {"C/E", 62, "9"},
      {"C/E", 40, "3"},
      {"Eb7", 53, "9"},
      {"C7", 38, "9"},
      // The written degrees come before the optional ones, in their stored order: #5 before b13.
      {"C7alt", 68, "#5"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(melody_degree_for_midi(*parse_chord_symbol(row.symbol), row.midi), row.expected)
        << row.symbol << " " << row.midi;
  }
}

TEST(anchors_test, the_melody_degree_becomes_a_required_degree) {
  const auto c7 = *parse_chord_symbol("C7");
  auto expected = c7;
  expected.formula.degrees.push_back("9");
  expected.formula.required_degrees.push_back("9");
  EXPECT_EQ(chord_requiring_melody_pitch(c7, 62), expected);
  // A degree the formula holds already, or no degree at all, leaves the chord as it is.
  auto with_third = c7;
  with_third.formula.required_degrees = {"b7", "3"};
  EXPECT_EQ(chord_requiring_melody_pitch(with_third, 64), with_third);
  const auto minor = *parse_chord_symbol("Cm");
  EXPECT_EQ(chord_requiring_melody_pitch(minor, 64), minor);
  // Only the required list lacks the degree: it is added there alone.
  auto fifth_optional = c7;
  expected = c7;
  expected.formula.required_degrees.push_back("5");
  EXPECT_EQ(chord_requiring_melody_pitch(fifth_optional, 67), expected);
}

// Melody anchors

TEST(anchors_test, a_placed_long_note_offers_only_chord_grips_sounding_its_own_pitch) {
  auto note = melody_note("held", 0, 16384, 62, "C7");
  note.tie_from_previous = true;
  note.tie_to_next = true;
  const auto score = score_of({note});
  const std::vector<melody_chord_placement> placements{{0, *parse_chord_symbol("C7"), "C7"}};
  std::vector<arrangement_message> messages;
  const auto anchors = build_melody_anchors(score, messages, placements);
  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(anchors.size(), 1u);
  const auto& anchor = anchors.front();
  EXPECT_EQ(anchor.chord_symbol, "C7");
  EXPECT_EQ(anchor.chord, std::nullopt);
  EXPECT_TRUE(anchor.tie_to_next);
  EXPECT_FALSE(anchor.tie_from_previous);
  ASSERT_FALSE(anchor.candidates.empty());
  EXPECT_TRUE(std::is_sorted(
      anchor.candidates.begin(), anchor.candidates.end(),
      [](const grip_candidate& a, const grip_candidate& b) { return a.score < b.score; }));
  for (const auto& candidate : anchor.candidates) {
    EXPECT_EQ(candidate.label, "long-note-chord");
    EXPECT_EQ(candidate.note_index, 0);
    EXPECT_TRUE(contains_midi(candidate.positions, 62));
    EXPECT_TRUE(candidate.contains_melody);
    EXPECT_EQ(candidate.melody_on_top, top_midi_matches(candidate.positions, 62));
    EXPECT_TRUE(positions_use_upper_melody_strings(candidate.positions));
  }
  // The chord's grips include D in other octaves; those are not offered.
  const auto all_grips = melody_mode_chord_candidates(
      chord_requiring_melody_pitch(placements[0].chord, 62), false, true);
  EXPECT_TRUE(std::any_of(all_grips.begin(), all_grips.end(), [](const grip_candidate& grip) {
    return !contains_midi(grip.positions, 62) &&
           std::any_of(grip.positions.begin(), grip.positions.end(),
                       [](const tab_position& p) { return normalize_pc(p.midi) == 2; });
  }));
}

TEST(anchors_test, an_unplaced_note_offers_single_notes_on_the_upper_strings) {
  auto note = melody_note("n1", 0, 1365, 67);
  note.display_ticks = 2048;
  note.tuplet_id = "t1";
  note.tie_from_previous = true;
  auto score = score_of({note, rest_note("r1", 1365, 2731)});
  score.tuplets = {{"t1", 3, 2, 0}};
  std::vector<arrangement_message> messages;
  const auto anchors = build_melody_anchors(score, messages, {});
  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(anchors.size(), 1u);
  const auto& anchor = anchors.front();
  EXPECT_EQ(anchor.start_ticks, 0);
  EXPECT_EQ(anchor.duration_ticks, 1365);
  EXPECT_EQ(anchor.display_ticks, 2048);
  EXPECT_EQ(anchor.chord_symbol, "");
  EXPECT_TRUE(anchor.tie_from_previous);
  EXPECT_FALSE(anchor.tie_to_next);
  EXPECT_EQ(anchor.tuplet_id, "t1");
  EXPECT_EQ(anchor.tuplet_note_count, 3);
  EXPECT_EQ(anchor.tuplet_space_count, 2);

  // Every fingering of every place of G4 on strings 1 to 4, once each, cheapest first.
  std::vector<grip_candidate> expected;
  for (const auto& position : positions_for_midi(67, {1, 2, 3, 4})) {
    for (auto& candidate : melody_candidates(position)) expected.push_back(candidate);
  }
  EXPECT_EQ(anchor.candidates.size(), expected.size());
  for (const auto& candidate : expected) {
    EXPECT_EQ(std::count(anchor.candidates.begin(), anchor.candidates.end(), candidate), 1);
  }
  EXPECT_TRUE(std::is_sorted(
      anchor.candidates.begin(), anchor.candidates.end(),
      [](const grip_candidate& a, const grip_candidate& b) { return a.score < b.score; }));
}

TEST(anchors_test, notes_that_cannot_be_played_are_reported_and_get_no_anchor) {
  const std::vector<melody_chord_placement> placed_c7{{0, *parse_chord_symbol("C7"), "C7"}};
  const std::string no_grip =
      "No standard jazz guitar grip containing the written melody note was found for 'C7'.";
  const auto unplaceable = [](const char* id) {
    return "Melody note '" + std::string(id) +
           "' could not be placed on guitar strings 1-4 at the written pitch.";
  };
  struct row {
    const char* name;
    source_note note;
    std::vector<melody_chord_placement> placements;
    std::size_t anchors;
    std::vector<arrangement_message> messages;
  };
  const row rows[] = {
      {"a rest", rest_note("r", 0, 4096), {}, 0, {}},
      {"a note without pitches",
       [] {
         auto note = melody_note("np", 0, 4096, 60);
         note.pitches.clear();
         return note;
       }(),
       {},
       0,
       {}},
      {"a pitch in capitals' kind",
       [] {
         auto note = melody_note("k", 0, 4096, 60);
         note.kind = "Note";
         return note;
       }(),
       {},
       0,
       {}},
      {"the lowest pitch of string 4", melody_note("d3", 0, 4096, 50), {}, 1, {}},
      {"the highest pitch of string 1", melody_note("e6", 0, 4096, 84), {}, 1, {}},
      {"below string 4", melody_note("c3", 0, 4096, 48), {}, 0, {warning_of(unplaceable("c3"))}},
      {"above string 1", melody_note("f6", 0, 4096, 85), {}, 0, {warning_of(unplaceable("f6"))}},
      {"a placed chord without a grip sounding the melody falls back to single notes",
       melody_note("top", 0, 16384, 84),
       placed_c7,
       1,
       {warning_of(no_grip)}},
      {"a placed chord under a pitch no upper string reaches",
       melody_note("low", 0, 16384, 40),
       placed_c7,
       0,
       {warning_of(no_grip), warning_of(unplaceable("low"))}},
  };
  for (const auto& row : rows) {
    std::vector<arrangement_message> messages;
    const auto anchors = build_melody_anchors(score_of({row.note}), messages, row.placements);
    EXPECT_EQ(anchors.size(), row.anchors) << row.name;
    EXPECT_EQ(messages, row.messages) << row.name;
    for (const auto& anchor : anchors) {
      EXPECT_EQ(anchor.chord_symbol, "") << row.name;
      for (const auto& candidate : anchor.candidates) {
        EXPECT_EQ(candidate.label, "melody-only") << row.name;
        EXPECT_EQ(candidate.positions.front().midi, row.note.pitches.front().midi) << row.name;
      }
    }
  }
}

// Events from a selected path

arrangement_anchor anchor_of(std::int64_t start, bool tie_to_next, bool tie_from_previous) {
  arrangement_anchor anchor;
  anchor.start_ticks = start;
  anchor.duration_ticks = 4096;
  anchor.tie_to_next = tie_to_next;
  anchor.tie_from_previous = tie_from_previous;
  return anchor;
}

TEST(anchors_test, electric_events_tie_only_where_the_held_pitch_sounds_on) {
  // A C major grip on strings 4 to 2 with G4 (67) in it, then single notes.
  const grip chord{at(4, 5, 1), at(3, 5, 1), at(2, 8, 4)};
  const grip same_pitch{at(2, 8, 3)};
  const grip same_pitch_elsewhere{at(1, 3, 1)};
  const grip octave_up{at(1, 15, 1)};
  struct row {
    const char* name;
    bool first_tied_on;
    bool second_tied_from;
    grip second;
    bool tied;
  };
  const row rows[] = {
      {"a chord then its melody pitch", true, true, same_pitch, true},
      {"the same pitch on another string", true, true, same_pitch_elsewhere, true},
      {"the pitch an octave up", true, true, octave_up, false},
      {"the next note does not continue the tie", true, false, same_pitch, false},
      {"the first note is not tied on", false, true, same_pitch, false},
  };
  for (const auto& row : rows) {
    const std::vector<arrangement_anchor> anchors{anchor_of(0, row.first_tied_on, false),
                                                  anchor_of(4096, false, row.second_tied_from)};
    const std::vector<grip> path{chord, row.second};
    const auto events = events_from_path(anchors, path, arrangement_part_type::electric);
    ASSERT_EQ(events.size(), 2u) << row.name;
    EXPECT_EQ(events[0].tie_to_next, row.tied) << row.name;
    EXPECT_EQ(events[1].tie_from_previous, row.tied) << row.name;
    EXPECT_FALSE(events[1].tie_to_next) << row.name;
    EXPECT_EQ(chord_melody_tie_to_next_flags(anchors, path), (std::vector<bool>{row.tied, false}))
        << row.name;
  }
}

TEST(anchors_test, events_copy_their_anchor_and_grip_and_tie_only_for_the_electric_part) {
  auto first = anchor_of(0, true, true);
  first.display_ticks = 2048;
  first.tuplet_id = "t1";
  first.tuplet_note_count = 3;
  first.tuplet_space_count = 2;
  first.chord = parse_chord_symbol("C6");
  first.chord_symbol = "written";
  auto second = anchor_of(1365, true, true);
  auto third = anchor_of(4096, false, true);
  third.chord = parse_chord_symbol("G7");
  const std::vector<arrangement_anchor> anchors{first, second, third};
  const std::vector<grip> path{{at(2, 5, 1)}, {at(2, 5, 1)}, {at(2, 5, 1)}};

  const auto electric = events_from_path(anchors, path, arrangement_part_type::electric);
  ASSERT_EQ(electric.size(), 3u);
  arrangement_event expected_first{0,    4096,  2048,  path[0], "", true,
                                   true, false, false, "t1",    3,  2};
  EXPECT_EQ(electric[0], expected_first);
  EXPECT_TRUE(electric[1].tie_from_previous);
  EXPECT_TRUE(electric[1].tie_to_next);
  EXPECT_TRUE(electric[2].tie_from_previous);
  EXPECT_FALSE(electric[2].tie_to_next);
  EXPECT_EQ(electric[2].chord_symbol, "");

  for (const auto part : {arrangement_part_type::acoustic, arrangement_part_type::vocal,
                          static_cast<arrangement_part_type>(9)}) {
    const auto events = events_from_path(anchors, path, part);
    ASSERT_EQ(events.size(), 3u);
    auto expected = expected_first;
    expected.chord_symbol = "C6";
    expected.tie_to_next = false;
    expected.tie_from_previous = false;
    EXPECT_EQ(events[0], expected);
    EXPECT_EQ(events[1].chord_symbol, "");
    EXPECT_EQ(events[2].chord_symbol, "G7");
    for (const auto& event : events) {
      EXPECT_FALSE(event.tie_to_next || event.tie_from_previous || event.filler || event.slash);
    }
  }
}

TEST(anchors_test, the_shorter_of_anchors_and_path_decides_the_events) {
  const std::vector<arrangement_anchor> anchors{
      anchor_of(0, true, false), anchor_of(4096, true, true), anchor_of(8192, false, true)};
  const std::vector<grip> two{{at(2, 5, 1)}, {at(2, 5, 1)}};
  const auto events = events_from_path(anchors, two, arrangement_part_type::electric);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].tie_to_next);
  // The last event is never tied on, though its anchor is tied to a note past the list.
  EXPECT_FALSE(events[1].tie_to_next);
  EXPECT_EQ(chord_melody_tie_to_next_flags(anchors, two), (std::vector<bool>{true, false}));

  const std::vector<grip> four{{at(2, 5, 1)}, {at(2, 5, 1)}, {at(2, 5, 1)}, {at(2, 5, 1)}};
  EXPECT_EQ(events_from_path(anchors, four, arrangement_part_type::electric).size(), 3u);
  EXPECT_TRUE(events_from_path({}, four, arrangement_part_type::electric).empty());
  EXPECT_TRUE(events_from_path(anchors, {}, arrangement_part_type::acoustic).empty());
  EXPECT_TRUE(chord_melody_tie_to_next_flags(anchors, {}).empty());

  EXPECT_TRUE(selected_events_share_midi(four, 2));
  EXPECT_FALSE(selected_events_share_midi(four, 3));
  EXPECT_FALSE(selected_events_share_midi(four, 4));
  EXPECT_FALSE(selected_events_share_midi(four, SIZE_MAX));
  EXPECT_FALSE(selected_events_share_midi({}, 0));
  EXPECT_FALSE(selected_events_share_midi({{}, {at(2, 5)}}, 0));
}

// The acoustic low-bass preference

TEST(anchors_test, a_low_bass_lies_alone_on_the_low_strings_under_upper_string_notes) {
  const auto c_over_e = *parse_chord_symbol("C/E");
  const auto c = *parse_chord_symbol("C");
  struct row {
    const char* name;
    grip positions;
    bool over_e;  // the chord's bass is E (C/E)
    bool over_c;  // the chord's bass is C (C)
    bool any_low_bass;
  };
  const row rows[] = {
      {"open E on string 6 under upper strings",
       {at(6, 0), at(3, 0), at(2, 1), at(1, 0)},
       true,
       false,
       true},
      {"E on string 5 under upper strings",
       {at(5, 7, 1), at(4, 5, 1), at(3, 5, 1)},
       true,
       false,
       true},
      {"C on string 5 under upper strings",
       {at(5, 3, 3), at(4, 2, 2), at(3, 0), at(2, 1, 1)},
       false,
       true,
       true},
      {"C on string 6 alone", {at(6, 8, 1)}, false, true, true},
      {"lowest note on string 4", {at(4, 2, 2), at(3, 0), at(2, 1, 1)}, false, false, false},
      {"a second note on the low strings",
       {at(6, 0), at(5, 3, 3), at(4, 2, 2)},
       false,
       false,
       false},
      {"a low note above the upper notes",
       {at(5, 10, 4), at(4, 2, 1), at(3, 5, 1)},
       false,
       false,
       false},
      {"no positions", {}, false, false, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(positions_have_acoustic_low_bass(c_over_e, row.positions), row.over_e) << row.name;
    EXPECT_EQ(positions_have_acoustic_low_bass(c, row.positions), row.over_c) << row.name;
    EXPECT_EQ(positions_have_any_low_bass_with_upper_strings(row.positions), row.any_low_bass)
        << row.name;
  }
  EXPECT_EQ(acoustic_rhythm_bass_pc(c_over_e), 4);
  EXPECT_EQ(acoustic_rhythm_bass_pc(c), 0);
  EXPECT_EQ(acoustic_rhythm_bass_pc(*parse_chord_symbol("Bb7")), 10);
}

TEST(anchors_test, high_basses_and_high_hands_are_charged) {
  struct row {
    const char* name;
    grip positions;
    int expected;
  };
  const row rows[] = {
      {"bass and hand at fret 7", {at(6, 7, 1)}, 0},
      {"bass and hand at fret 8", {at(6, 8, 1)}, 760 + 720},
      {"bass and hand at fret 9", {at(6, 9, 1)}, 1520 + 1440},
      {"bass and hand at fret 10", {at(6, 10, 1)}, 3430 + 3310},
      {"bass and hand at fret 11", {at(5, 11, 1)}, 5340 + 5180},
      {"bass and hand at fret 12", {at(5, 12, 1)}, 7250 + 7050},
      {"bass at 10 with the hand at 10", {at(6, 10, 1), at(3, 9, 1), at(2, 10, 2)}, 6740},
      {"bass at 10 under a low hand", {at(6, 10, 4), at(4, 7, 1), at(3, 7, 1)}, 3430},
      {"an open bass under a high hand", {at(6, 0), at(2, 10, 1), at(1, 10, 1)}, 3310},
      {"a high note on an upper string only", {at(2, 10, 1)}, 3310},
      {"no positions", {}, 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(acoustic_low_bass_position_penalty(row.positions), row.expected) << row.name;
  }
}

grip_candidate grip_scored(grip positions, int score) {
  return {std::move(positions), "test", score, -1, false, false};
}

TEST(anchors_test, root_bass_grips_come_first_then_other_low_bass_grips) {
  const auto c_over_e = *parse_chord_symbol("C/E");
  const auto e_bass = grip_scored({at(6, 0), at(3, 0), at(2, 1, 1), at(1, 0)}, 500);
  const auto high_e_bass = grip_scored({at(5, 7, 1), at(4, 5, 1), at(3, 5, 1)}, 100);
  const auto c_bass = grip_scored({at(5, 3, 3), at(4, 2, 2), at(3, 0), at(2, 1, 1)}, 0);
  const auto upper = grip_scored({at(4, 2, 2), at(3, 0), at(2, 1, 1)}, -9000);
  const auto two_low = grip_scored({at(6, 0), at(5, 3, 3), at(4, 2, 2)}, -9000);

  std::vector<arrangement_message> messages;
  auto ranked = prefer_acoustic_low_bass_candidates(
      c_over_e, {c_bass, upper, e_bass, two_low, high_e_bass}, messages);
  EXPECT_TRUE(messages.empty());
  auto charged = [](grip_candidate candidate, int bonus) {
    candidate.score += acoustic_low_bass_position_penalty(candidate.positions) - bonus;
    return candidate;
  };
  EXPECT_EQ(ranked, (std::vector<grip_candidate>{charged(high_e_bass, 12000),
                                                 charged(e_bass, 12000), charged(c_bass, 4000)}));

  // Only other low-bass grips: one warning, and those grips.
  messages.clear();
  ranked = prefer_acoustic_low_bass_candidates(c_over_e, {upper, c_bass}, messages);
  EXPECT_EQ(ranked, (std::vector<grip_candidate>{charged(c_bass, 4000)}));
  EXPECT_EQ(messages, (std::vector<arrangement_message>{
                          warning_of("No root-position low-bass grip was found for 'C/E'; using "
                                     "the closest playable low-bass voicing.")}));

  // No low-bass grip at all, or no grip: one warning and nothing.
  for (const auto& candidates :
       {std::vector<grip_candidate>{upper, two_low}, std::vector<grip_candidate>{}}) {
    messages.clear();
    EXPECT_TRUE(prefer_acoustic_low_bass_candidates(c_over_e, candidates, messages).empty());
    EXPECT_EQ(messages, (std::vector<arrangement_message>{
                            warning_of("No low-bass acoustic grip was found for 'C/E'.")}));
  }

  // Scores at the ends of the range are held there instead of overflowing.
  messages.clear();
  ranked = prefer_acoustic_low_bass_candidates(
      c_over_e,
      {grip_scored({at(6, 0)}, INT_MIN + 5), grip_scored({at(6, 12, 1), at(2, 9, 1)}, INT_MAX)},
      messages);
  ASSERT_EQ(ranked.size(), 2u);
  EXPECT_EQ(ranked[0].score, INT_MIN);
  EXPECT_EQ(ranked[1].score, INT_MAX);
}

// Chord anchors

TEST(anchors_test, chord_anchors_take_low_bass_grips_for_each_chord_with_duration) {
  const auto score =
      score_of({rest_note("a", 0, 4096, "F"), melody_note("b", 0, 8192, 60, "Cmaj7"),
                melody_note("c", 8192, 8192, 60, "H7"), melody_note("d", 16384, 16384, 62, "G7")});
  std::vector<arrangement_message> messages;
  const auto anchors = build_chord_anchors(score, {}, messages);
  // The F spans no time and is skipped silently; H7 is only a warning; it leaves Cmaj7 sounding
  // until G7.
  EXPECT_EQ(messages,
            (std::vector<arrangement_message>{warning_of("Chord 'H7' could not be arranged.")}));
  ASSERT_EQ(anchors.size(), 2u);
  const auto cmaj7 = *parse_chord_symbol("Cmaj7");
  arrangement_anchor expected;
  expected.start_ticks = 0;
  expected.duration_ticks = 16384;
  expected.chord = cmaj7;
  expected.chord_symbol = "Cmaj7";
  std::vector<arrangement_message> ignored;
  expected.candidates = prefer_acoustic_low_bass_candidates(
      cmaj7, chord_candidates(cmaj7, false, false, false), ignored);
  EXPECT_EQ(anchors[0], expected);
  EXPECT_TRUE(positions_have_acoustic_low_bass(cmaj7, anchors[0].candidates.front().positions));
  EXPECT_EQ(anchors[1].start_ticks, 16384);
  EXPECT_EQ(anchors[1].duration_ticks, 16384);
  EXPECT_EQ(anchors[1].chord_symbol, "G7");
}

TEST(anchors_test, short_chords_and_fast_styles_admit_two_note_grips) {
  const auto c7 = *parse_chord_symbol("C7");
  ASSERT_NE(chord_candidates(c7, true, false, false), chord_candidates(c7, false, false, false));
  const arrangement_style_profile fast{comping_style_family::swing, true, false, 220};
  struct row {
    const char* name;
    std::int64_t duration;
    arrangement_style_profile profile;
    bool two_note;
  };
  const row rows[] = {
      {"a quarter note", 4096, {}, true},
      {"one tick more", 4097, {}, false},
      {"one tick more in a fast style", 4097, fast, true},
      {"a whole note in a fast style", 16384, fast, true},
  };
  for (const auto& row : rows) {
    const auto score = score_of({melody_note("a", 0, row.duration, 60, "C7"),
                                 melody_note("b", row.duration, 4096, 60, "F")});
    std::vector<arrangement_message> messages;
    const auto anchors = build_chord_anchors(score, row.profile, messages);
    ASSERT_EQ(anchors.size(), 2u) << row.name;
    EXPECT_EQ(anchors[0].duration_ticks, row.duration) << row.name;
    std::vector<arrangement_message> ignored;
    EXPECT_EQ(anchors[0].candidates,
              prefer_acoustic_low_bass_candidates(
                  c7, chord_candidates(c7, row.two_note, false, false), ignored))
        << row.name;
  }
}

TEST(anchors_test, a_slash_chord_without_its_bass_on_the_low_strings_warns_once) {
  const auto score = score_of({melody_note("a", 0, 16384, 60, "C/F#")});
  std::vector<arrangement_message> messages;
  const auto anchors = build_chord_anchors(score, {}, messages);
  EXPECT_EQ(messages, (std::vector<arrangement_message>{warning_of(
                          "No root-position low-bass grip was found for 'C/F#'; using the closest "
                          "playable low-bass voicing.")}));
  ASSERT_EQ(anchors.size(), 1u);
  ASSERT_FALSE(anchors[0].candidates.empty());
  for (const auto& candidate : anchors[0].candidates) {
    EXPECT_TRUE(positions_have_any_low_bass_with_upper_strings(candidate.positions));
  }
}

// From the lead sheet to playable melody events

TEST(anchors_test, a_lead_sheet_melody_becomes_one_playable_event_per_pitched_note) {
  const auto document = read_fixture("lead_sheet_8_bars.json");
  const auto* staff = source_staff(document);
  ASSERT_NE(staff, nullptr);
  const auto score = extract_source_score(*staff);

  std::vector<arrangement_message> messages;
  const auto placements = build_long_note_chord_placements(score, messages);
  const auto anchors = build_melody_anchors(score, messages, placements);
  EXPECT_FALSE(messages_have_error(messages));
  EXPECT_FALSE(placements.empty());
  const auto path = selected_path(anchors, transition_profile::melody_line, std::nullopt, 4096);
  const auto events = events_from_path(anchors, path, arrangement_part_type::electric);

  // The long notes carry chords under the melody.
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const arrangement_event& event) {
    return event.positions.size() > 1;
  }));
  std::vector<const source_note*> pitched;
  for (const auto& note : score.notes) {
    if (is_melody_attack(note)) pitched.push_back(&note);
  }
  ASSERT_EQ(events.size(), pitched.size());
  for (std::size_t index = 0; index < events.size(); ++index) {
    const auto& event = events[index];
    const auto& note = *pitched[index];
    EXPECT_EQ(event.start_ticks, note.start_tick) << note.id;
    EXPECT_EQ(event.duration_ticks, note.duration_ticks) << note.id;
    EXPECT_EQ(event.display_ticks, note.display_ticks) << note.id;
    EXPECT_TRUE(positions_playable(event.positions)) << note.id;
    EXPECT_TRUE(contains_midi(event.positions, note.pitches.front().midi)) << note.id;
    EXPECT_TRUE(positions_use_upper_melody_strings(event.positions)) << note.id;
    EXPECT_EQ(event.chord_symbol, "") << note.id;
  }
}

// Source rest, slash and compact rest events

// A score of measures given by time signature and capacity, laid end to end from tick 0.
source_score score_of_measures(const std::vector<std::pair<std::string, std::int64_t>>& measures,
                               std::vector<source_note> notes,
                               std::vector<source_tuplet> tuplets = {}) {
  source_score score;
  std::int64_t start = 0;
  for (const auto& [signature, capacity] : measures) {
    source_measure measure;
    measure.id = "m" + std::to_string(score.measures.size());
    measure.time_signature = signature;
    measure.start_tick = start;
    measure.capacity_ticks = capacity;
    score.measures.push_back(std::move(measure));
    start += capacity;
  }
  score.notes = std::move(notes);
  score.tuplets = std::move(tuplets);
  return score;
}

// A pitched note of measure `measure`.
source_note note_of(std::size_t measure, std::int64_t start, std::int64_t duration,
                    std::string chord_symbol = "") {
  auto note =
      melody_note("n" + std::to_string(start), start, duration, 60, std::move(chord_symbol));
  note.measure_index = measure;
  return note;
}

source_note rest_of(std::size_t measure, std::int64_t start, std::int64_t duration,
                    std::string chord_symbol = "") {
  auto note = note_of(measure, start, duration, std::move(chord_symbol));
  note.kind = "rest";
  note.pitches.clear();
  return note;
}

source_note tuplet_note_of(std::size_t measure, std::int64_t start, std::int64_t duration,
                           std::int64_t display, std::string tuplet_id) {
  auto note = note_of(measure, start, duration);
  note.display_ticks = display;
  note.tuplet_id = std::move(tuplet_id);
  return note;
}

arrangement_event filler_rest(std::int64_t start, std::int64_t duration, std::string symbol = "") {
  auto event = event_of(start, duration);
  event.filler = true;
  event.chord_symbol = std::move(symbol);
  return event;
}

arrangement_event slash_at(std::int64_t start, std::int64_t duration) {
  auto event = filler_rest(start, duration);
  event.slash = true;
  return event;
}

arrangement_event tuplet_rest(std::int64_t start, std::int64_t duration, std::int64_t display,
                              std::string tuplet_id, std::optional<std::int64_t> note_count,
                              std::optional<std::int64_t> space_count) {
  auto event = filler_rest(start, duration);
  event.display_ticks = display;
  event.tuplet_id = std::move(tuplet_id);
  event.tuplet_note_count = note_count;
  event.tuplet_space_count = space_count;
  return event;
}

std::vector<arrangement_event> rests_of(const source_score& score) {
  std::vector<arrangement_event> rests;
  for (const auto& note : score.notes) {
    rests.push_back(filler_rest(note.start_tick, note.duration_ticks, note.chord_symbol));
  }
  return rests;
}

TEST(anchors_test, the_slash_unit_divides_the_measure_by_the_numerator_when_written) {
  struct row {
    const char* signature;
    std::int64_t capacity;
    std::int64_t expected;
  };
  const row rows[] = {
      {"4/4", 16384, 4096},
      {"6/8", 12288, 2048},
      {"12/8", 24576, 2048},
      {"2/2", 16384, 8192},
      {"3/2", 24576, 8192},
      {"7/16", 7168, 1024},
      {"5/32", 2560, 512},
      {"4/4", 0, 4096},
      {"3/4", 16384, 4096},  // the numerator does not divide the capacity
      {" +6/8", 12288, 2048},
      {"\t6/8", 12288, 2048},
      {"6 /8", 12288, 4096},
      {"-6/8", 12288, 4096},
      {"0/8", 12288, 4096},
      {"+/8", 12288, 4096},
      {"+-6/8", 12288, 4096},
      {"/8", 12288, 4096},
      {"x/8", 12288, 4096},
      {"6x/8", 12288, 4096},
      {"68", 12288, 4096},
      {"", 12288, 4096},
      {"99999999999999999999/8", 12288, 4096},
      {"6/8/2", 12288, 2048},
      {"5/4", 20480, 4096},
      {"9/8", 18432, 2048},
  };
  for (const auto& row : rows) {
    source_measure measure;
    measure.time_signature = row.signature;
    measure.capacity_ticks = row.capacity;
    EXPECT_EQ(slash_unit_ticks(measure), row.expected)
        << "'" << row.signature << "' " << row.capacity;
  }
}

TEST(anchors_test, each_measure_builder_writes_its_measure_or_gives_up) {
  using builder =
      std::optional<std::vector<arrangement_event>> (*)(const source_score&, const source_measure&);
  const builder slashes = source_slash_events_for_measure;
  const builder compact = source_compact_rest_events_for_measure;
  const builder skeleton = [](const source_score& score, const source_measure& measure) {
    return std::optional{source_rest_skeleton_events_for_measure(score, measure)};
  };
  const source_score beat_three =
      score_of_measures({{"4/4", 16384}}, {note_of(0, 0, 8192, "C"), note_of(0, 8192, 8192, "F")});
  const source_score second_half_of_beat_two = score_of_measures(
      {{"4/4", 16384}},
      {note_of(0, 0, 6144, "C"), note_of(0, 6144, 2048, "F"), note_of(0, 8192, 8192)});
  const source_score after_the_beat = score_of_measures(
      {{"4/4", 16384}}, {note_of(0, 0, 4096), note_of(0, 4096, 512), note_of(0, 4608, 512, "F"),
                         note_of(0, 5120, 3072), note_of(0, 8192, 8192)});
  const source_score six_eight = score_of_measures(
      {{"4/4", 16384}, {"6/8", 12288}}, {note_of(0, 0, 16384, "C"), note_of(1, 16384, 12288, "F")});
  const source_score waltz_one_three =
      score_of_measures({{"3/4", 12288}}, {note_of(0, 0, 8192, "C"), rest_of(0, 8192, 4096, "G7")});
  const source_score waltz_two =
      score_of_measures({{"3/4", 12288}}, {rest_of(0, 0, 4096), note_of(0, 4096, 8192, "F")});
  // Notes of other measures, or naming no measure at all, lend the measure no label.
  const source_score whole = score_of_measures(
      {{"4/4", 16384}, {"4/4", 16384}},
      {note_of(0, 0, 16384), note_of(1, 16384, 16384, "G"), note_of(9, 0, 4096, "X")});
  const source_score five_four =
      score_of_measures({{"5/4", 20480}}, {note_of(0, 0, 16384), note_of(0, 16384, 4096)});
  const source_score triplet = score_of_measures(
      {{"4/4", 16384}},
      {tuplet_note_of(0, 0, 2731, 4096, "t1"), tuplet_note_of(0, 2731, 2731, 4096, "t1"),
       tuplet_note_of(0, 5462, 2730, 4096, "t1"), note_of(0, 8192, 8192, "C"), note_of(3, 0, 4096)},
      {{"t1", 3, 2, 0}});
  const source_score nothing_to_divide = score_of_measures({{"4/4", 0}}, {});

  struct row {
    const char* name;
    const source_score& score;
    std::size_t measure;
    builder build;
    std::optional<std::vector<arrangement_event>> expected;
  };
  const row rows[] = {
      {"slashes: label on beat 3",
       beat_three,
       0,
       slashes,
       {{slash_at(0, 4096), slash_at(4096, 4096), slash_at(8192, 4096), slash_at(12288, 4096)}}},
      {"slashes: label on the second half of beat 2",
       second_half_of_beat_two,
       0,
       slashes,
       {{slash_at(0, 4096), slash_at(4096, 2048), slash_at(6144, 2048), slash_at(8192, 4096),
         slash_at(12288, 4096)}}},
      {"slashes: label 512 after beat 2 leaves 3584", after_the_beat, 0, slashes, std::nullopt},
      {"slashes: a 6/8 measure after a 4/4 one",
       six_eight,
       1,
       slashes,
       {{slash_at(16384, 2048), slash_at(18432, 2048), slash_at(20480, 2048), slash_at(22528, 2048),
         slash_at(24576, 2048), slash_at(26624, 2048)}}},
      {"slashes: a measure of no capacity", nothing_to_divide, 0, slashes, {{}}},
      {"compact: label 512 after beat 2 needs a leading 4608", after_the_beat, 0, compact,
       std::nullopt},
      {"compact: 3/4 with labels on beats 1 and 3",
       waltz_one_three,
       0,
       compact,
       {{filler_rest(0, 8192, "C"), filler_rest(8192, 4096, "G7")}}},
      {"compact: 3/4 with its only label on beat 2",
       waltz_two,
       0,
       compact,
       {{filler_rest(0, 4096), filler_rest(4096, 8192, "F")}}},
      {"compact: 4/4 without labels", whole, 0, compact, {{filler_rest(0, 16384)}}},
      {"compact: a label on the downbeat", whole, 1, compact, {{filler_rest(16384, 16384, "G")}}},
      {"compact: 5/4 without labels is not writable", five_four, 0, compact, std::nullopt},
      {"skeleton: label 512 after beat 2", after_the_beat, 0, skeleton, {rests_of(after_the_beat)}},
      {"skeleton: 5/4", five_four, 0, skeleton, {rests_of(five_four)}},
      {"skeleton: a triplet keeps its durations and its tuplet",
       triplet,
       0,
       skeleton,
       {{tuplet_rest(0, 2731, 4096, "t1", 3, 2), tuplet_rest(2731, 2731, 4096, "t1", 3, 2),
         tuplet_rest(5462, 2730, 4096, "t1", 3, 2), filler_rest(8192, 8192, "C")}}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.build(row.score, row.score.measures[row.measure]), row.expected) << row.name;
  }
}

TEST(anchors_test, whole_scores_fall_back_measure_by_measure) {
  // Measure 0 cannot be slashed (512 + 3584) but its labels can be written as compact rests;
  // measure 1 is slashed; measure 2 (a leading 4608) falls to its rest skeleton.
  const auto score = score_of_measures(
      {{"4/4", 16384}, {"4/4", 16384}, {"4/4", 16384}},
      {rest_of(0, 0, 512), note_of(0, 512, 6144, "C"), note_of(0, 6656, 1536, "F"),
       note_of(0, 8192, 8192, "G"), note_of(1, 16384, 8192, "C"), note_of(1, 24576, 8192, "A7"),
       note_of(2, 32768, 4096), note_of(2, 36864, 512), note_of(2, 37376, 512, "Dm"),
       note_of(2, 37888, 3072), note_of(2, 40960, 8192)});
  const std::vector<arrangement_event> slashed = {
      filler_rest(0, 512),          filler_rest(512, 6144, "C"),   filler_rest(6656, 1536, "F"),
      filler_rest(8192, 8192, "G"), slash_at(16384, 4096),         slash_at(20480, 4096),
      slash_at(24576, 4096),        slash_at(28672, 4096),         filler_rest(32768, 4096),
      filler_rest(36864, 512),      filler_rest(37376, 512, "Dm"), filler_rest(37888, 3072),
      filler_rest(40960, 8192)};
  EXPECT_EQ(source_slash_events(score), slashed);

  const std::vector<arrangement_event> compact = {
      filler_rest(0, 512),          filler_rest(512, 6144, "C"),   filler_rest(6656, 1536, "F"),
      filler_rest(8192, 8192, "G"), filler_rest(16384, 8192, "C"), filler_rest(24576, 8192, "A7"),
      filler_rest(32768, 4096),     filler_rest(36864, 512),       filler_rest(37376, 512, "Dm"),
      filler_rest(37888, 3072),     filler_rest(40960, 8192)};
  EXPECT_EQ(source_compact_rest_events(score), compact);

  const auto five_four =
      score_of_measures({{"5/4", 20480}, {"4/4", 16384}},
                        {note_of(0, 0, 16384), note_of(0, 16384, 4096), note_of(1, 20480, 16384)});
  EXPECT_EQ(
      source_compact_rest_events(five_four),
      (std::vector{filler_rest(0, 16384), filler_rest(16384, 4096), filler_rest(20480, 16384)}));
  EXPECT_EQ(source_slash_events(score_of_measures({}, {})), std::vector<arrangement_event>{});
}

TEST(anchors_test, source_rests_stand_for_rests_unpitched_notes_and_every_tuplet_member) {
  auto unpitched = note_of(0, 12288, 4096);
  unpitched.pitches.clear();
  const auto score = score_of_measures(
      {{"4/4", 16384}},
      {note_of(0, 0, 4096, "C"), rest_of(0, 4096, 4096, "F"),
       tuplet_note_of(0, 8192, 1365, 2048, "t1"), tuplet_note_of(0, 9557, 1365, 2048, "t1"),
       tuplet_note_of(0, 10922, 1366, 2048, "t1"), unpitched,
       tuplet_note_of(0, 16384, 4096, 4096, "t9")},
      {{"t1", 3, 2, 0}});
  // The rest's chord symbol stays behind: labels come from the source markers later.
  const std::vector<arrangement_event> expected = {
      filler_rest(4096, 4096),
      tuplet_rest(8192, 1365, 2048, "t1", 3, 2),
      tuplet_rest(9557, 1365, 2048, "t1", 3, 2),
      tuplet_rest(10922, 1366, 2048, "t1", 3, 2),
      filler_rest(12288, 4096),
      tuplet_rest(16384, 4096, 4096, "t9", std::nullopt, std::nullopt),
  };
  EXPECT_EQ(source_rest_events(score), expected);
}

}  // namespace
