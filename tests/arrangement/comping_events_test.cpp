#include "arrangement/comping_events.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/comping_voicing.hpp"
#include "arrangement/form.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/patterns.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"
#include "section_fixtures.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using grip_fixtures::at;
using score_fixtures::event_of;
using score_fixtures::measure_at;
using score_fixtures::med_swing;
using score_fixtures::score_of;
using score_fixtures::starts_of;
using section_fixtures::first_planned_section;
using section_fixtures::part_plan_of;
using section_fixtures::section_trace_of;

using grip = std::vector<tab_position>;

// Events and scores built by hand.

arrangement_event rest_event(std::int64_t start, std::int64_t duration, std::string symbol = "") {
  auto event = event_of(start, duration, {}, std::move(symbol));
  event.filler = true;
  return event;
}

arrangement_event slash_event(std::int64_t start, std::int64_t duration, grip positions = {},
                              std::string symbol = "") {
  auto event = event_of(start, duration, std::move(positions), std::move(symbol));
  event.filler = true;
  event.slash = true;
  return event;
}

grip fingered(grip positions) { return assigned_or_original_fingering(std::move(positions)); }

// `events` with every grip fingered as the normaliser fingers kept grips.
std::vector<arrangement_event> with_fingers(std::vector<arrangement_event> events) {
  for (auto& event : events) event.positions = fingered(std::move(event.positions));
  return events;
}

source_note melody(std::int64_t start, std::int64_t duration, std::string symbol = "",
                   std::size_t measure = 0) {
  source_note note;
  note.id = "n" + std::to_string(start);
  note.chord_symbol = std::move(symbol);
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = measure;
  note.pitches = {source_pitch{"c", 4, "n", 60}};
  return note;
}

source_note rest_note(std::int64_t start, std::int64_t duration, std::string symbol = "") {
  auto note = melody(start, duration, std::move(symbol));
  note.kind = "rest";
  note.pitches.clear();
  return note;
}

arrangement_anchor anchor_of(std::int64_t start, std::int64_t duration) {
  arrangement_anchor anchor;
  anchor.start_ticks = start;
  anchor.duration_ticks = duration;
  return anchor;
}

comping_hit hit_of(std::int64_t offset, bool avoid = false, bool skip_busy = false,
                   bool needs_space = false) {
  return {offset, 2048, 0, avoid, skip_busy, needs_space, 0};
}

phrase_instance_plan phrase_of(std::int64_t start, std::int64_t end,
                               std::vector<tick_range> windows = {}) {
  phrase_instance_plan phrase;
  phrase.range = {start, end};
  phrase.response_windows = std::move(windows);
  return phrase;
}

// Event list normalisation

// What every normalised list must satisfy: time order with one event per tick, no event past the
// next start, and every grip (slashes apart) playable and fingered.
void expect_writable(const std::vector<arrangement_event>& events, const char* name) {
  for (std::size_t index = 0; index < events.size(); ++index) {
    const auto& event = events[index];
    EXPECT_GT(event.duration_ticks, 0) << name;
    if (index + 1 < events.size()) {
      EXPECT_LT(event.start_ticks, events[index + 1].start_ticks) << name;
      EXPECT_LE(event_end_ticks(event), events[index + 1].start_ticks) << name;
    }
    if (event.slash) continue;
    if (event.positions.empty()) {
      EXPECT_TRUE(event.filler) << name << ": a positionless event that is no filler";
    } else {
      EXPECT_TRUE(positions_playable(event.positions)) << name;
      EXPECT_TRUE(positions_have_valid_fingering(event.positions)) << name;
    }
  }
}

TEST(comping_events_test, normalisation_merges_clips_and_drops) {
  const grip c_shape{at(3, 0), at(2, 1)};  // G and C on strings 3 and 2
  const grip bass_c{at(5, 3)};             // C on string 5
  auto tied_pair = event_of(0, 2048, c_shape, "C");
  tied_pair.tie_from_previous = true;
  tied_pair.tie_to_next = true;
  auto untied_bass = event_of(0, 4096, bass_c, "C");
  auto tied_bass = untied_bass;
  tied_bass.tie_from_previous = true;
  auto tuplet_note = event_of(0, 1365, bass_c);
  tuplet_note.display_ticks = 2048;
  tuplet_note.tuplet_id = "t1";
  tuplet_note.tuplet_note_count = 3;
  tuplet_note.tuplet_space_count = 2;
  auto other_tuplet = event_of(0, 1365, c_shape);
  other_tuplet.display_ticks = 4096;
  other_tuplet.tuplet_id = "t2";
  other_tuplet.tuplet_note_count = 5;
  other_tuplet.tuplet_space_count = 4;
  auto merged_tuplet = tuplet_note;
  merged_tuplet.positions = {at(5, 3), at(3, 0), at(2, 1)};
  auto adopted_tuplet = other_tuplet;
  adopted_tuplet.positions = {at(5, 3), at(3, 0), at(2, 1)};
  const grip five_notes{at(6, 3), at(5, 2), at(4, 0), at(3, 0), at(2, 1)};
  const grip two_on_one_string{at(2, 1), at(2, 3)};

  struct row {
    const char* name;
    std::vector<arrangement_event> input;
    std::vector<arrangement_event> expected;
  };
  const row rows[] = {
      {"empty", {}, {}},
      {"unsorted events come out in time order",
       {event_of(8192, 4096, bass_c), event_of(0, 4096, c_shape)},
       with_fingers({event_of(0, 4096, c_shape), event_of(8192, 4096, bass_c)})},
      {"equal start and symbol merge into the event with fewer positions",
       {tied_pair, untied_bass},
       [&] {
         auto merged = event_of(0, 4096, {at(5, 3), at(3, 0), at(2, 1)}, "C");
         merged.tie_to_next = true;
         return with_fingers({merged});
       }()},
      {"a tie from the previous survives only when both carry it",
       {tied_pair, tied_bass},
       [&] {
         auto merged = event_of(0, 4096, {at(5, 3), at(3, 0), at(2, 1)}, "C");
         merged.tie_from_previous = true;
         merged.tie_to_next = true;
         return with_fingers({merged});
       }()},
      {"the merge keeps the base's display and tuplet",
       {other_tuplet, tuplet_note},
       with_fingers({merged_tuplet})},
      {"a base without display or tuplet takes the other's",
       {other_tuplet, event_of(0, 1365, bass_c)},
       with_fingers({adopted_tuplet})},
      {"a merged event is a filler only when both are",
       {rest_event(0, 4096, "C"), event_of(0, 2048, bass_c, "C")},
       with_fingers({event_of(0, 4096, bass_c, "C")})},
      {"notes that would make the grip unplayable stay out of the merge",
       {event_of(0, 4096, {at(2, 1)}), event_of(0, 4096, {at(2, 3), at(3, 0)})},
       with_fingers({event_of(0, 4096, {at(3, 0), at(2, 1)})})},
      {"of two symbols on one tick the later one survives",
       {event_of(4096, 4096, c_shape, "F7"), event_of(4096, 4096, bass_c, "C7")},
       with_fingers({event_of(4096, 4096, c_shape, "F7")})},
      {"symbols compare bytewise, the empty one first",
       {event_of(0, 4096, c_shape, "a"), event_of(0, 4096, bass_c, "B"),
        event_of(0, 4096, bass_c, "")},
       with_fingers({event_of(0, 4096, c_shape, "a")})},
      {"bytes above 127 sort after ASCII",
       {event_of(0, 4096, c_shape, "\xc3\x89"), event_of(0, 4096, bass_c, "z")},
       with_fingers({event_of(0, 4096, c_shape, "\xc3\x89")})},
      {"a slash never merges with a plain event and outlives it",
       {slash_event(0, 4096, {}, "C"), event_of(0, 4096, c_shape, "C")},
       {slash_event(0, 4096, {}, "C")}},
      {"clipped to the next start although that event is dropped",
       {event_of(0, 4096, c_shape), event_of(1024, 4096)},
       with_fingers({event_of(0, 1024, c_shape)})},
      {"a last event of no duration is dropped",
       {event_of(0, 4096, c_shape), event_of(4096, 0, bass_c)},
       with_fingers({event_of(0, 4096, c_shape)})},
      {"a positionless filler stays, a positionless plain event does not",
       {rest_event(0, 4096), event_of(4096, 4096), rest_event(8192, 4096, "G7")},
       {rest_event(0, 4096), rest_event(8192, 4096, "G7")}},
      {"a slash with an unplayable grip stays, fingered as far as possible",
       {slash_event(0, 4096, five_notes)},
       {slash_event(0, 4096, fingered(five_notes))}},
      {"five positions are dropped", {event_of(0, 4096, five_notes)}, {}},
      {"two positions on one string are dropped, even as a filler",
       {[&] {
         auto event = event_of(0, 4096, two_on_one_string);
         event.filler = true;
         return event;
       }()},
       {}},
  };
  for (const auto& row : rows) {
    const auto normalized = normalize_events(row.input);
    EXPECT_EQ(normalized, row.expected) << row.name;
    expect_writable(normalized, row.name);
  }
}

TEST(comping_events_test, a_rest_laid_under_a_tied_tuplet_note_keeps_the_tie) {
  // A held C tied into the first note of a triplet; the melody generator adds the source rests of
  // the triplet beside its note events.
  auto held = melody(0, 4096);
  held.tie_to_next = true;
  auto first = melody(4096, 1365);
  first.tie_from_previous = true;
  first.tie_to_next = true;
  auto second = melody(5461, 1365);
  second.tie_from_previous = true;
  auto third = melody(6826, 1366);
  for (auto* note : {&first, &second, &third}) {
    note->display_ticks = 2048;
    note->tuplet_id = "t1";
  }
  source_score score = score_of({held, first, second, third, rest_note(8192, 8192)}, 1);
  score.tuplets = {{"t1", 3, 2, 0}};

  const grip c{at(2, 1)};
  auto events = source_rest_events(score);
  ASSERT_EQ(events.size(), 4u);
  auto played = [&](const source_note& note) {
    auto event = event_of(note.start_tick, note.duration_ticks, c);
    event.tie_to_next = note.tie_to_next;
    event.tie_from_previous = note.tie_from_previous;
    event.display_ticks = note.display_ticks;
    event.tuplet_id = note.tuplet_id;
    return event;
  };
  for (const auto* note : {&held, &first, &second, &third}) events.push_back(played(*note));

  const auto normalized = normalize_events(events);
  ASSERT_EQ(normalized.size(), 5u);
  EXPECT_TRUE(normalized[0].tie_to_next);
  EXPECT_FALSE(normalized[0].tie_from_previous);
  const bool tie_from_previous[] = {true, true, false};
  const bool tie_to_next[] = {true, false, false};
  for (std::size_t index = 1; index <= 3; ++index) {
    const auto& note = normalized[index];
    EXPECT_EQ(note.positions, fingered(c)) << index;
    EXPECT_FALSE(note.filler) << index;
    EXPECT_EQ(note.tie_from_previous, tie_from_previous[index - 1]) << index;
    EXPECT_EQ(note.tie_to_next, tie_to_next[index - 1]) << index;
    EXPECT_EQ(note.tuplet_id, "t1") << index;
    EXPECT_EQ(note.tuplet_note_count, 3) << index;
    EXPECT_EQ(note.tuplet_space_count, 2) << index;
    EXPECT_EQ(note.display_ticks, 2048) << index;
  }
  EXPECT_EQ(normalized[4], rest_event(8192, 8192));
  expect_writable(normalized, "tied triplet");

  // Two played events still merge their ties by the usual rule.
  auto untied = played(first);
  untied.tie_from_previous = false;
  untied.positions = {at(5, 3)};
  const auto merged = normalize_events({played(first), untied});
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_FALSE(merged[0].tie_from_previous);
  EXPECT_TRUE(merged[0].tie_to_next);
}

// Source chord labels

TEST(comping_events_test, a_label_marks_splits_or_adds_an_event_at_its_tick) {
  const grip c_shape{at(3, 0), at(2, 1)};
  auto tied_tail = event_of(8192, 8192, c_shape, "F");
  tied_tail.tie_from_previous = true;
  auto tied_head = event_of(4096, 4096, c_shape, "C");
  tied_head.tie_to_next = true;

  struct row {
    const char* name;
    std::vector<arrangement_event> events;
    chord_label_marker marker;
    std::vector<arrangement_event> expected;
  };
  const row rows[] = {
      {"an event starting at the tick takes the label (the first of them)",
       {event_of(0, 4096, c_shape, "x"), event_of(4096, 4096, c_shape, "y"),
        event_of(4096, 2048, {}, "z")},
       {4096, 4096, "G7"},
       {event_of(0, 4096, c_shape, "x"), event_of(4096, 4096, c_shape, "G7"),
        event_of(4096, 2048, {}, "z")}},
      {"a sounding grip is split and tied",
       {event_of(4096, 12288, c_shape, "C")},
       {8192, 4096, "F"},
       {tied_head, tied_tail}},
      {"a rest is split without ties",
       {rest_event(4096, 12288, "C")},
       {8192, 4096, "F"},
       {rest_event(4096, 4096, "C"), rest_event(8192, 8192, "F")}},
      {"a label on an event's end does not split it",
       {event_of(0, 4096, c_shape)},
       {4096, 2048, "D"},
       {event_of(0, 4096, c_shape), rest_event(4096, 2048, "D")}},
      {"a label of no duration where nothing sounds lasts one tick",
       {},
       {4096, 0, "D"},
       {rest_event(4096, 1, "D")}},
      {"a label of a triplet note where nothing sounds lasts an eighth",
       {},
       {0, 1365, "C"},
       {rest_event(0, 2048, "C")}},
      {"a length no note holds is rounded up to whole eighths",
       {},
       {4096, 6827, "C"},
       {rest_event(4096, 8192, "C")}},
  };
  for (const auto& row : rows) {
    auto events = row.events;
    add_source_chord_label_marker(events, row.marker);
    EXPECT_EQ(events, row.expected) << row.name;
  }
}

TEST(comping_events_test, source_labels_replace_every_generated_symbol) {
  const auto score =
      score_of({melody(0, 4096, "C"), melody(4096, 4096), rest_note(8192, 2048, "Am"),
                melody(10240, 6144, "Dm7"), melody(16384, 16384, "G7", 1)});
  EXPECT_EQ(with_source_chord_symbols(score, {}),
            (std::vector{rest_event(0, 4096, "C"), rest_event(8192, 2048, "Am"),
                         rest_event(10240, 6144, "Dm7"), rest_event(16384, 16384, "G7")}));

  // A grip over the first two labels is split at Am; the generator's own symbol is gone.
  const grip c_shape{at(3, 0), at(2, 1)};
  const auto relabelled = with_source_chord_symbols(
      score, {event_of(0, 4096, c_shape, "Cmaj7"), event_of(4096, 8192, c_shape, "Cmaj7"),
              event_of(20480, 4096, c_shape, "G13")});
  auto before_am = event_of(4096, 4096, c_shape);
  before_am.tie_to_next = true;
  // The part split off at Am is split again at Dm7; the G7 label fills the gap up to the grip.
  auto from_am = event_of(8192, 2048, c_shape, "Am");
  from_am.tie_from_previous = true;
  from_am.tie_to_next = true;
  auto from_dm7 = event_of(10240, 2048, c_shape, "Dm7");
  from_dm7.tie_from_previous = true;
  EXPECT_EQ(relabelled,
            with_fingers({event_of(0, 4096, c_shape, "C"), before_am, from_am, from_dm7,
                          rest_event(16384, 4096, "G7"), event_of(20480, 4096, c_shape)}));
}

// A measure of C, a triplet on beat 2 whose second note carries Dm7, a quarter, and a triplet on
// beat 4 whose second and third notes carry G7 and C7.
source_score labelled_triplets() {
  auto score = score_of({melody(0, 4096, "C")}, 1);
  const auto add_triplet = [&score](std::int64_t start, const char* second, const char* third) {
    const std::int64_t durations[] = {1365, 1365, 1366};
    const char* symbols[] = {"", second, third};
    for (std::size_t index = 0; index < 3; ++index) {
      auto note = melody(start, durations[index], symbols[index]);
      note.tuplet_id = "t" + std::to_string(start);
      note.display_ticks = 2048;
      score.notes.push_back(note);
      start += durations[index];
    }
  };
  add_triplet(4096, "Dm7", "");
  score.notes.push_back(melody(8192, 4096));
  add_triplet(12288, "G7", "C7");
  return score;
}

TEST(comping_events_test, labels_inside_a_triplet_move_to_an_eighth_of_their_measure) {
  const auto score = labelled_triplets();
  const grip c_shape{at(3, 0), at(2, 1)};

  // Dm7 moves to the next eighth and splits the grip there; G7 moves to the next eighth, where
  // nothing sounds, and C7, in the measure's last eighth, moves back to the same eighth and takes
  // its place.
  auto head = event_of(4096, 2048, c_shape);
  head.tie_to_next = true;
  auto tail = event_of(6144, 2048, c_shape, "Dm7");
  tail.tie_from_previous = true;
  const auto relabelled = with_source_chord_symbols(score, {event_of(4096, 4096, c_shape)});
  EXPECT_EQ(relabelled,
            with_fingers({rest_event(0, 4096, "C"), head, tail, rest_event(14336, 2048, "C7")}));
  expect_writable(relabelled, "labels inside triplets");

  // A triplet note played at the label's own tick keeps the label there.
  auto member = event_of(5461, 1365, c_shape);
  member.tuplet_id = "t4096";
  auto labelled = member;
  labelled.chord_symbol = "Dm7";
  EXPECT_EQ(with_source_chord_symbols(score, {member}),
            with_fingers({rest_event(0, 4096, "C"), labelled, rest_event(14336, 2048, "C7")}));

  // Of two labels inside one eighth (a sixteenth-note triplet), the first is left out: the second
  // is what sounds at the next eighth.
  auto sixteenths = score_of({melody(0, 4096, "C"), melody(4096, 683), melody(4779, 683, "Am"),
                              melody(5462, 682, "Dm7"), melody(6144, 10240)},
                             1);
  for (std::size_t index = 1; index <= 3; ++index) {
    sixteenths.notes[index].tuplet_id = "t";
    sixteenths.notes[index].display_ticks = 1024;
  }
  EXPECT_EQ(with_source_chord_symbols(sixteenths, {}),
            (std::vector{rest_event(0, 4096, "C"), rest_event(6144, 2048, "Dm7")}));
}

TEST(comping_events_test, a_hit_on_a_chord_that_ends_inside_a_triplet_sounds_to_the_next_eighth) {
  const auto score = labelled_triplets();
  const grip c_shape{at(3, 0), at(2, 1)};
  struct row {
    const char* name;
    std::int64_t anchor_end;
    std::int64_t expected;
  };
  const row rows[] = {
      {"an anchor ending on the grid", 4096, 2048},
      {"an anchor ending inside the triplet", 5461, 4096},
  };
  for (const auto& [name, anchor_end, expected] : rows) {
    std::vector<arrangement_event> events;
    push_comping_event(events, score, 2048, 0, anchor_end, c_shape, "", false, 4096);
    ASSERT_EQ(events.size(), 1u) << name;
    EXPECT_EQ(events[0].duration_ticks, expected) << name;
  }
}

// Melody context and hit filters

TEST(comping_events_test, the_context_counts_attacks_room_and_anchor_length) {
  // Four attacks in [0, 8192), then a rest; a half note in the second measure.
  const auto score =
      score_of({melody(0, 2048), melody(2048, 2048), melody(4096, 2048), melody(6144, 2048),
                rest_note(8192, 8192), melody(16384, 8192, "", 1), melody(24576, 8192, "", 1)});
  struct row {
    const char* name;
    arrangement_anchor anchor;
    comping_context expected;
  };
  const row rows[] = {
      {"four attacks are busy, no room", anchor_of(0, 8192), {true, false, false}},
      {"three attacks are not busy", anchor_of(2048, 6144), {false, false, false}},
      {"a rest in the span gives room", anchor_of(0, 16384), {true, true, false}},
      {"a long note gives room", anchor_of(16384, 4097), {false, true, false}},
      {"a quarter is short", anchor_of(16384, 4096), {false, true, true}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(comping_context_for(score, row.anchor), row.expected) << row.name;
}

TEST(comping_events_test, the_hit_filters_follow_the_melody) {
  // Measure 0: a whole-measure anchor over four eighths then a rest. Measure 1: a held note.
  const auto score =
      score_of({melody(0, 2048), melody(2048, 2048), melody(4096, 2048), melody(6144, 2048),
                rest_note(8192, 8192), melody(16384, 16384, "", 1)});
  const auto whole = anchor_of(0, 16384);
  const auto held = anchor_of(16384, 16384);
  const auto quarter = anchor_of(24576, 4096);
  const auto attacked_quarter = anchor_of(16384, 4096);
  struct row {
    const char* name;
    arrangement_anchor anchor;
    comping_hit hit;
    std::int64_t tick;
    bool acoustic;
    bool electric;
  };
  const row rows[] = {
      {"start of a short anchor", quarter, hit_of(0), 24576, true, false},
      {"start of a short anchor under an attack", attacked_quarter, hit_of(0, true), 16384, true,
       false},
      {"inside a short anchor", quarter, hit_of(2048), 26624, false, false},
      {"start under an attack avoiding attacks", whole, hit_of(0, true), 0, true, false},
      {"attack without avoiding", whole, hit_of(2048), 2048, true, false},
      {"attack avoided", whole, hit_of(2048, true), 2048, false, false},
      {"free tick avoiding attacks", whole, hit_of(10240, true), 10240, true, true},
      {"busy melody skipped", whole, hit_of(10240, false, true), 10240, false, false},
      {"busy melody not minded", whole, hit_of(10240), 10240, true, true},
      {"room needed and found", whole, hit_of(10240, false, false, true), 10240, true, true},
      {"room needed under a held note", held, hit_of(4096, false, false, true), 20480, true, true},
  };
  for (const auto& row : rows) {
    const auto context = comping_context_for(score, row.anchor);
    EXPECT_EQ(should_emit_comping_hit(score, row.anchor, row.hit, row.tick, context), row.acoustic)
        << row.name;
    EXPECT_EQ(should_emit_accompaniment_hit(score, row.anchor, row.hit, row.tick, context),
              row.electric)
        << row.name;
  }
  // Room is missing only where every note is short and sounding: a busy anchor without a rest.
  const auto busy = anchor_of(0, 8192);
  const auto no_room = comping_context_for(score, busy);
  EXPECT_FALSE(
      should_emit_comping_hit(score, busy, hit_of(2048, false, false, true), 5000, no_room));
  EXPECT_TRUE(should_emit_comping_hit(score, busy, hit_of(2048, false, false, true), 0, no_room));
  // Outside its span an acoustic hit is judged by the melody alone; an electric one never sounds.
  EXPECT_TRUE(
      should_emit_comping_hit(score, whole, hit_of(0), 20480, comping_context_for(score, whole)));
  EXPECT_FALSE(should_emit_accompaniment_hit(score, whole, hit_of(0), 20480,
                                             comping_context_for(score, whole)));
}

// Anchor and measure lookups

TEST(comping_events_test, the_active_anchor_is_the_one_sounding_at_the_tick) {
  const std::vector<arrangement_anchor> anchors = {anchor_of(0, 4096), anchor_of(8192, 8192),
                                                   anchor_of(16384, 4096)};
  struct row {
    std::int64_t tick;
    std::optional<std::size_t> expected;
  };
  const row rows[] = {{-1, std::nullopt},
                      {0, 0},
                      {4095, 0},
                      {4096, std::nullopt},
                      {8192, 1},
                      {16383, 1},
                      {16384, 2},
                      {20480, std::nullopt},
                      {99999, std::nullopt}};
  for (const auto& row : rows)
    EXPECT_EQ(active_anchor_index(anchors, row.tick), row.expected) << row.tick;
  EXPECT_EQ(active_anchor_index({}, 0), std::nullopt);
  // The walk stops at the first anchor after the tick, even if a later one would hold it.
  EXPECT_EQ(active_anchor_index({anchor_of(8192, 4096), anchor_of(0, 16384)}, 4096), std::nullopt);
}

TEST(comping_events_test, measure_lookups_find_the_measure_holding_the_tick) {
  const auto score = score_of({}, 3);
  EXPECT_EQ(comping_grid_measure_index(score, 0), 0u);
  EXPECT_EQ(comping_grid_measure_index(score, 16384), 1u);
  EXPECT_EQ(comping_grid_measure_index(score, 49151), 2u);
  EXPECT_EQ(comping_grid_measure_index(score, 49152), 0u);
  EXPECT_EQ(comping_grid_measure_index(score, -1), 0u);
  EXPECT_EQ(comping_grid_measure_index(source_score{}, 4096), 0u);

  source_measure three_four;
  three_four.capacity_ticks = 12288;
  EXPECT_TRUE(pattern_hit_fits_measure(three_four, hit_of(0)));
  EXPECT_TRUE(pattern_hit_fits_measure(three_four, hit_of(10240)));
  EXPECT_FALSE(pattern_hit_fits_measure(three_four, hit_of(12288)));
  EXPECT_FALSE(pattern_hit_fits_measure(three_four, hit_of(-2048)));
}

TEST(comping_events_test, spans_ranges_and_tick_sets) {
  const auto event = event_of(4096, 4096);
  EXPECT_TRUE(event_overlaps_span(event, 0, 4097));
  EXPECT_FALSE(event_overlaps_span(event, 0, 4096));
  EXPECT_TRUE(event_overlaps_span(event, 8191, 9000));
  EXPECT_FALSE(event_overlaps_span(event, 8192, 9000));
  EXPECT_TRUE(event_overlaps_phrase(event, phrase_of(6000, 7000)));
  EXPECT_FALSE(event_overlaps_phrase(event, phrase_of(8192, 16384)));

  EXPECT_TRUE(tick_in_range({0, 4096}, 0));
  EXPECT_FALSE(tick_in_range({0, 4096}, 4096));
  EXPECT_FALSE(tick_in_ranges({}, 0));
  EXPECT_TRUE(tick_in_ranges({{0, 10}, {20, 30}}, 25));
  EXPECT_FALSE(tick_in_ranges({{0, 10}, {20, 30}}, 15));

  std::vector<std::int64_t> ticks;
  for (const std::int64_t tick : {8192, 0, 8192, 4096, 0}) add_unique_tick(ticks, tick);
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{8192, 0, 4096}));
  EXPECT_TRUE(tick_list_contains(ticks, 4096));
  EXPECT_FALSE(tick_list_contains(ticks, 2048));

  EXPECT_EQ(position_count_at_start(
                {event_of(0, 2048, {at(5, 3)}), event_of(0, 2048, {at(3, 0), at(2, 1)}),
                 event_of(2048, 2048, {at(4, 2)})},
                0),
            3u);
  EXPECT_EQ(position_count_at_start({event_of(0, 2048, {at(5, 3)})}, 2048), 0u);
}

// The comping event push

TEST(comping_events_test, the_push_adds_or_merges_only_inside_its_anchor_on_the_grid) {
  // A melody attack at 8192.
  const auto score = score_of({rest_note(0, 8192), melody(8192, 8192)});
  const grip bass{at(5, 3)};
  const grip upper{at(3, 0), at(2, 1)};
  struct push {
    std::int64_t tick;
    std::int64_t anchor_start;
    std::int64_t anchor_end;
    grip positions;
    std::string symbol;
    bool avoid;
    std::int64_t duration;
  };
  struct row {
    const char* name;
    std::vector<arrangement_event> before;
    push request;
    std::vector<arrangement_event> expected;
  };
  const std::vector<arrangement_event> c7_bass{event_of(4096, 2048, bass, "C7")};
  const row rows[] = {
      {"an eighth left in the anchor",
       {},
       {14336, 0, 16384, upper, "C", false, 4096},
       {event_of(14336, 2048, upper, "C")}},
      {"the anchor's start",
       {},
       {0, 0, 16384, upper, "C", false, 4096},
       {event_of(0, 4096, upper, "C")}},
      {"off the eighth grid", {}, {15360, 0, 16384, upper, "C", false, 4096}, {}},
      {"less than an eighth left", {}, {14336, 0, 16000, upper, "C", false, 4096}, {}},
      {"a duration under an eighth", {}, {0, 0, 16384, upper, "C", false, 1024}, {}},
      {"no positions", {}, {0, 0, 16384, {}, "C", false, 4096}, {}},
      {"before the anchor", {}, {2048, 4096, 16384, upper, "C", false, 4096}, {}},
      {"on the anchor's end", {}, {16384, 0, 16384, upper, "C", false, 4096}, {}},
      {"a melody attack avoided", {}, {8192, 0, 16384, upper, "C", true, 4096}, {}},
      {"a melody attack not avoided",
       {},
       {8192, 0, 16384, upper, "C", false, 4096},
       {event_of(8192, 4096, upper, "C")}},
      {"a free tick when avoiding attacks",
       {},
       {6144, 0, 16384, upper, "C", true, 2048},
       {event_of(6144, 2048, upper, "C")}},
      {"merged into the event at the tick, which keeps its symbol and grows",
       c7_bass,
       {4096, 0, 16384, upper, "F", false, 4096},
       {event_of(4096, 4096, merge_playable_positions(bass, upper), "C7")}},
      {"a shorter push leaves the length",
       {event_of(4096, 8192, bass, "C7")},
       {4096, 0, 16384, upper, "", false, 2048},
       {event_of(4096, 8192, merge_playable_positions(bass, upper), "C7")}},
      {"an event without symbol takes the push's",
       {event_of(4096, 2048, bass)},
       {4096, 0, 16384, upper, "F", false, 2048},
       {event_of(4096, 2048, merge_playable_positions(bass, upper), "F")}},
      {"only notes that keep the grip playable join",
       {event_of(4096, 2048, {at(2, 1)})},
       {4096, 0, 16384, {at(2, 3), at(3, 0)}, "", false, 2048},
       {event_of(4096, 2048, fingered({at(3, 0), at(2, 1)}))}},
      {"other events are left alone",
       {event_of(0, 4096, bass, "C")},
       {2048, 0, 16384, upper, "", false, 2048},
       {event_of(0, 4096, bass, "C"), event_of(2048, 2048, upper)}},
  };
  for (const auto& row : rows) {
    auto events = row.before;
    const auto& request = row.request;
    push_comping_event(events, score, request.tick, request.anchor_start, request.anchor_end,
                       request.positions, request.symbol, request.avoid, request.duration);
    EXPECT_EQ(events, row.expected) << row.name;
  }
}

TEST(comping_events_test, measures_of_sixteenths_do_not_push_later_measures_off_the_grid) {
  // A 7/16 measure (7168 ticks) and then 4/4 measures: the 4/4 measures start off the absolute
  // eighth grid, their eighths counted from their own starts.
  source_score score;
  source_measure seven_sixteen;
  seven_sixteen.time_signature = "7/16";
  seven_sixteen.capacity_ticks = 7168;
  score.measures.push_back(seven_sixteen);
  for (const std::int64_t start : {7168, 23552}) {
    source_measure four_four;
    four_four.start_tick = start;
    score.measures.push_back(four_four);
  }
  struct row {
    std::int64_t tick;
    bool on_grid;
  };
  const row rows[] = {
      {0, true},      {2048, true},  {6144, true},   {7167, false},  {7168, true},
      {8192, false},  {9216, true},  {23552, true},  {24576, false}, {25600, true},
      {39936, false}, {40960, true}, {41984, false}, {-2048, true},  {-1024, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(on_measure_eighth_grid(score, row.tick), row.on_grid) << row.tick;

  // A chord over both 4/4 measures still gets its hits.
  const grip upper{at(3, 0), at(2, 1)};
  std::vector<arrangement_event> events;
  for (std::int64_t tick = 7168; tick < 39936; tick += 1024) {
    push_comping_event(events, score, tick, 7168, 39936, upper, "", false, 2048);
  }
  std::vector<std::int64_t> starts;
  for (const auto& event : events) starts.push_back(event.start_ticks);
  std::vector<std::int64_t> eighths;
  for (std::int64_t tick = 7168; tick < 39936; tick += 2048) eighths.push_back(tick);
  EXPECT_EQ(starts, eighths);
}

// Phrase-plan hit rules and pattern choice

TEST(comping_events_test, cell_ids_name_the_style_the_intent_and_the_pattern) {
  using family = comping_style_family;
  struct acoustic_row {
    family style;
    phrase_rhythm_intent intent;
    std::int32_t source_phrase;
    std::int32_t index;
    const char* expected;
  };
  const acoustic_row acoustic_rows[] = {
      {family::swing, phrase_rhythm_intent::variation, 3, 0, "swing_upper_variation_2"},
      {family::swing, phrase_rhythm_intent::variation, 3, 1, "swing_upper_variation_1"},
      {family::swing, phrase_rhythm_intent::variation, -1, 0, "swing_upper_variation_2"},
      {family::bossa, phrase_rhythm_intent::variation, 2, 2, "bossa_upper_variation_1"},
      {family::ballad, phrase_rhythm_intent::base, 3, 1, "ballad_upper_base_0"},
      {family::samba, phrase_rhythm_intent::sparse, 0, 0, "samba_upper_sparse_0"},
      {family::latin, phrase_rhythm_intent::response, 0, 0, "latin_upper_response_2"},
      {family::even8ths, phrase_rhythm_intent::build, 0, 0, "even8ths_upper_build_3"},
      {family::rock, phrase_rhythm_intent::cadence, 0, 0, "rock_upper_cadence_3"},
      {family::funk, static_cast<phrase_rhythm_intent>(6), 0, 0, "funk_upper_base_0"},
      {static_cast<family>(10), phrase_rhythm_intent::build, 0, 0, "swing_upper_build_3"},
      {static_cast<family>(-1), phrase_rhythm_intent::base, 0, 0, "swing_upper_base_0"},
  };
  for (const auto& row : acoustic_rows) {
    auto phrase = phrase_of(0, 16384);
    phrase.source_phrase = row.source_phrase;
    phrase.index = row.index;
    const arrangement_style_profile profile{row.style, false, false, 120};
    EXPECT_EQ(resolve_acoustic_cell_id(profile, row.intent, phrase), row.expected) << row.expected;
  }

  struct electric_row {
    family style;
    electric_stab_intent intent;
    std::int32_t index;
    const char* expected;
  };
  const electric_row electric_rows[] = {
      {family::waltz, electric_stab_intent::cadence, 0, "waltz_stab_cadence_3"},
      {family::waltz, electric_stab_intent::intentional_silence, 6,
       "waltz_stab_intentional_silence_2"},
      {family::blues, electric_stab_intent::intentional_silence, -7,
       "blues_stab_intentional_silence_3"},
      {family::blues, electric_stab_intent::intentional_silence, INT32_MIN,
       "blues_stab_intentional_silence_0"},
      {family::swing, electric_stab_intent::establish, 5, "swing_stab_establish_0"},
      {family::swing, electric_stab_intent::sparse_support, 5, "swing_stab_sparse_support_1"},
      {family::swing, electric_stab_intent::late_answer, 5, "swing_stab_late_answer_2"},
      {family::swing, electric_stab_intent::anticipation, 5, "swing_stab_anticipation_3"},
      {family::swing, static_cast<electric_stab_intent>(17), 5, "swing_stab_establish_0"},
  };
  for (const auto& row : electric_rows) {
    auto phrase = phrase_of(0, 16384);
    phrase.index = row.index;
    const arrangement_style_profile profile{row.style, false, false, 120};
    EXPECT_EQ(resolve_electric_stab_cell_id(profile, row.intent, phrase), row.expected)
        << row.expected;
  }
  EXPECT_EQ(style_family_name(comping_style_family::even8ths), "even8ths");
  EXPECT_EQ(style_family_name(static_cast<comping_style_family>(42)), "swing");
}

TEST(comping_events_test, the_rhythm_intent_decides_which_acoustic_hits_the_plan_allows) {
  using intent = phrase_rhythm_intent;
  const auto plan = [](intent rhythm, std::vector<tick_range> windows = {}) {
    auto phrase = phrase_of(16384, 81920, std::move(windows));  // four measures, mid 49152
    phrase.rhythm_intent = rhythm;
    return phrase;
  };
  struct row {
    const char* name;
    phrase_instance_plan phrase;
    comping_hit hit;
    std::int64_t tick;
    bool expected;
  };
  const row rows[] = {
      {"base", plan(intent::base), hit_of(2048), 18432, true},
      {"base before the phrase", plan(intent::base), hit_of(2048), 14336, false},
      {"base at the phrase's end", plan(intent::base), hit_of(2048), 81920, false},
      {"a downbeat, whatever the intent", plan(intent::base), hit_of(0), 32768, false},
      {"a downbeat in a build", plan(intent::build), hit_of(0), 16384, false},
      {"sparse first half", plan(intent::sparse), hit_of(6144), 22528, false},
      {"sparse second half", plan(intent::sparse), hit_of(8192), 24576, true},
      {"sparse with room wanted", plan(intent::sparse), hit_of(6144, false, false, true), 22528,
       true},
      {"response without windows, first half", plan(intent::response), hit_of(2048), 47104, false},
      {"response without windows, from mid", plan(intent::response), hit_of(2048), 49152, true},
      {"response in a window", plan(intent::response, {{18432, 20480}}), hit_of(2048), 18432, true},
      {"response after mid outside every window", plan(intent::response, {{18432, 20480}}),
       hit_of(2048), 51200, false},
      {"variation", plan(intent::variation), hit_of(14336), 30720, true},
      {"cadence", plan(intent::cadence), hit_of(14336), 30720, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(planned_acoustic_hit_allowed(row.phrase, row.hit, row.tick), row.expected)
        << row.name;
  }
}

TEST(comping_events_test, the_stab_intent_decides_which_electric_hits_the_plan_allows) {
  using intent = electric_stab_intent;
  const auto plan = [](intent stab, std::int64_t start, std::int64_t end,
                       std::vector<tick_range> windows = {}) {
    auto phrase = phrase_of(start, end, std::move(windows));
    phrase.electric_intent = stab;
    return phrase;
  };
  struct row {
    const char* name;
    phrase_instance_plan phrase;
    comping_hit hit;
    std::int64_t tick;
    bool expected;
  };
  const row rows[] = {
      {"outside the phrase", plan(intent::establish, 0, 65536), hit_of(0), 65536, false},
      {"establish, four measures, first half", plan(intent::establish, 0, 65536), hit_of(0), 32767,
       true},
      {"establish, four measures, second half", plan(intent::establish, 0, 65536), hit_of(0), 32768,
       false},
      {"establish, one measure, all of it", plan(intent::establish, 0, 16384), hit_of(14336), 16383,
       true},
      {"establish, two measures, first only", plan(intent::establish, 0, 32768), hit_of(0), 16384,
       false},
      {"establish, two measures, end of the first", plan(intent::establish, 0, 32768),
       hit_of(14336), 16383, true},
      {"sparse support in the first measure", plan(intent::sparse_support, 0, 65536), hit_of(6144),
       6144, false},
      {"sparse support after the first half measure", plan(intent::sparse_support, 0, 65536),
       hit_of(0), 8192, true},
      {"sparse support with room wanted", plan(intent::sparse_support, 0, 65536),
       hit_of(2048, false, false, true), 2048, true},
      {"late answer in a window of the first half",
       plan(intent::late_answer, 0, 65536, {{4096, 8192}}), hit_of(4096), 4096, true},
      {"late answer outside the windows, first half",
       plan(intent::late_answer, 0, 65536, {{4096, 8192}}), hit_of(0), 16384, false},
      {"late answer outside the windows from mid",
       plan(intent::late_answer, 0, 65536, {{4096, 8192}}), hit_of(0), 32768, true},
      {"late answer without windows before mid", plan(intent::late_answer, 0, 65536), hit_of(0),
       32766, false},
      {"anticipation, second half of a measure", plan(intent::anticipation, 0, 65536), hit_of(8192),
       8192, true},
      {"anticipation, first half of a measure before mid", plan(intent::anticipation, 0, 65536),
       hit_of(6144), 22528, false},
      {"anticipation from mid", plan(intent::anticipation, 0, 65536), hit_of(0), 32768, true},
      {"cadence before the last two measures", plan(intent::cadence, 0, 65536), hit_of(14336),
       30720, false},
      {"cadence in the last two measures", plan(intent::cadence, 0, 65536), hit_of(0), 32768, true},
      {"cadence, one measure, all of it", plan(intent::cadence, 0, 16384), hit_of(0), 0, true},
      {"intentional silence", plan(intent::intentional_silence, 0, 65536), hit_of(8192), 40960,
       false},
      {"an intent outside the table", plan(static_cast<intent>(9), 0, 65536), hit_of(0), 0, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(planned_electric_hit_allowed(row.phrase, row.hit, row.tick), row.expected)
        << row.name;
  }
}

// Acoustic chord-mode comping and planned acoustic activity

arrangement_style_profile waltz_profile() {
  return {comping_style_family::waltz, false, false, 150};
}

// A section plan of one phrase of base intent over [start, end).
section_plan plan_over(std::int64_t start, std::int64_t end, std::vector<tick_range> windows = {}) {
  section_plan plan;
  plan.phrases.push_back(phrase_of(start, end, std::move(windows)));
  return plan;
}

std::vector<arrangement_anchor> chord_anchors_of(const source_score& score,
                                                 const arrangement_style_profile& profile) {
  std::vector<orvanta::arrangement_message> messages;
  return build_chord_anchors(score, profile, messages);
}

// The voicings the comping chooses for the chord anchors, from no earlier grip.
std::vector<std::optional<acoustic_comping_grip>> chosen_grips(
    const std::vector<arrangement_anchor>& anchors) {
  return selected_acoustic_comping_grips_for_anchors(acoustic_comping_anchors_for_anchors(anchors),
                                                     std::nullopt, 4096);
}

std::vector<arrangement_event> comped(const source_score& score,
                                      const arrangement_style_profile& profile,
                                      const std::vector<arrangement_anchor>& anchors,
                                      const section_plan& plan,
                                      section_debug_trace* trace = nullptr) {
  return chord_mode_comping_events(score, profile, anchors, 1, std::nullopt, 4096, plan, trace);
}

TEST(comping_events_test, bass_pulses_fall_on_the_downbeat_and_the_middle_of_the_measure) {
  struct row {
    const char* name;
    source_measure measure;
    arrangement_style_profile profile;
    std::vector<std::int64_t> expected;
  };
  const row rows[] = {
      {"4/4", measure_at(0, 16384, "4/4"), med_swing(), {0, 8192}},
      {"4/4 waltz", measure_at(0, 16384, "4/4"), waltz_profile(), {0, 8192}},
      {"3/4 waltz", measure_at(0, 12288, "3/4"), waltz_profile(), {0, 8192}},
      {"3/4 swing", measure_at(0, 12288, "3/4"), med_swing(), {0}},
      {"6/8", measure_at(0, 12288, "6/8"), med_swing(), {0, 6144}},
      {"6/8 waltz", measure_at(0, 12288, "6/8"), waltz_profile(), {0, 6144}},
      {"12/8", measure_at(0, 24576, "12/8"), med_swing(), {0, 8192}},
      {"5/4", measure_at(0, 20480, "5/4"), med_swing(), {0, 8192}},
      {"2/4", measure_at(0, 8192, "2/4"), waltz_profile(), {0}},
      {"no capacity", measure_at(0, 0, "4/4"), med_swing(), {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(acoustic_bass_pulse_offsets(row.measure, row.profile), row.expected) << row.name;
  }

  std::vector<std::int64_t> offsets;
  for (const std::int64_t offset : {8192, -1, 0, 16384, 8192, 16383}) {
    append_unique_pulse_offset(offsets, offset, 16384);
  }
  EXPECT_EQ(offsets, (std::vector<std::int64_t>{8192, 0, 16383}));
}

TEST(comping_events_test, one_chord_sounds_bass_and_voicing_then_the_pattern_hits) {
  // A whole note under one chord: no attack after the downbeat and room for every hit.
  const auto score = score_of({melody(0, 16384, "C")}, 1);
  const auto anchors = chord_anchors_of(score, med_swing());
  ASSERT_EQ(anchors.size(), 1u);
  const auto grips = chosen_grips(anchors);
  ASSERT_EQ(grips.size(), 1u);
  ASSERT_TRUE(grips[0]);
  const auto& chosen = *grips[0];

  // Without a phrase no pattern hit sounds: bass and voicing on the chord, bass on beat 3.
  const auto pulses = comped(score, med_swing(), anchors, section_plan{});
  EXPECT_EQ(pulses, (std::vector<arrangement_event>{event_of(0, 2048, chosen.full, "C"),
                                                    event_of(8192, 2048, chosen.bass)}));

  // The base pattern adds the upper notes on its off-beats (never on the downbeat); the response
  // window holds the hit at 10240.
  const auto plan = plan_over(0, 16384, {{8192, 12288}});
  auto trace = section_trace_of(plan);
  const auto events = comped(score, med_swing(), anchors, plan, &trace);
  const auto upper = fingered(chosen.upper);
  const std::vector<arrangement_event> expected{pulses[0],
                                                event_of(6144, 2048, upper),
                                                pulses[1],
                                                event_of(10240, 2048, upper),
                                                event_of(12288, 2048, upper),
                                                event_of(14336, 2048, upper)};
  EXPECT_EQ(events, expected);
  expect_writable(events, "one chord");
  ASSERT_EQ(trace.phrases.size(), 1u);
  EXPECT_EQ(trace.phrases[0].resolved_cell, "swing_upper_base_0");
  EXPECT_EQ(trace.phrases[0].optional_events, 4u);
  EXPECT_EQ(trace.phrases[0].response_window_hits, 1u);
  EXPECT_EQ(trace.phrases[0].events, 6u);

  // The trace changes nothing; a cell already written stays.
  EXPECT_EQ(comped(score, med_swing(), anchors, plan), events);
  auto written = section_trace_of(plan);
  written.phrases[0].resolved_cell = "earlier_cell";
  EXPECT_EQ(comped(score, med_swing(), anchors, plan, &written), events);
  EXPECT_EQ(written.phrases[0].resolved_cell, "earlier_cell");
  EXPECT_EQ(written.phrases[0].optional_events, 4u);
}

TEST(comping_events_test, every_chord_comps_over_its_root_or_its_slash_bass) {
  // A bar of each chord: the voicing's bass, and so every bass pulse, is the root where a root
  // voicing exists (D on string 5, open E, G on string 6, open A, C on string 5), and the slash
  // bass or the root of a slash chord; a third or a fifth in the bass never wins.
  struct row {
    const char* symbol;
    std::vector<tab_position> basses;
  };
  const row rows[] = {
      {"D", {at(5, 5)}},
      {"Em", {at(6, 0)}},
      {"G", {at(6, 3)}},
      {"E", {at(6, 0)}},
      {"A", {at(5, 0)}},
      {"C", {at(5, 3)}},
      {"D/F#", {at(6, 2), at(5, 5)}},
      {"G/B", {at(5, 2), at(6, 3)}},
      {"C/E", {at(6, 0), at(5, 7), at(5, 3)}},
  };
  std::vector<std::string> chords;
  for (const auto& row : rows) chords.emplace_back(row.symbol);
  const auto score = score_fixtures::whole_note_song(chords, false, "D");
  const auto anchors = chord_anchors_of(score, med_swing());
  const auto grips = chosen_grips(anchors);
  ASSERT_EQ(grips.size(), std::size(rows));
  const auto events = comped(score, med_swing(), anchors, section_plan{});
  ASSERT_EQ(events.size(), 2 * std::size(rows));
  for (std::size_t index = 0; index < std::size(rows); ++index) {
    const auto& [symbol, basses] = rows[index];
    const auto one_of_the_basses = [&basses](const tab_position& position) {
      return std::ranges::any_of(basses, [&position](const tab_position& bass) {
        return same_tab_position(position, bass);
      });
    };
    ASSERT_TRUE(grips[index]) << symbol;
    ASSERT_EQ(grips[index]->bass.size(), 1u) << symbol;
    EXPECT_TRUE(one_of_the_basses(grips[index]->bass[0])) << symbol;
    for (const auto& pulse : {events[2 * index], events[2 * index + 1]}) {
      ASSERT_FALSE(pulse.positions.empty()) << symbol;
      EXPECT_TRUE(same_tab_position(*lowest_position(pulse.positions), grips[index]->bass[0]))
          << symbol << " at " << pulse.start_ticks;
    }
  }
}

TEST(comping_events_test, comping_sounds_only_inside_chords_that_have_a_voicing) {
  const auto profile = med_swing();
  const auto plan = plan_over(0, 32768);

  // Nothing to comp: no anchor, or an anchor without a chord.
  const auto score = score_of({melody(0, 16384, "C"), melody(16384, 16384, "G7")});
  EXPECT_TRUE(comped(score, profile, {}, plan).empty());
  EXPECT_TRUE(comped(score, profile, {anchor_of(0, 16384)}, plan).empty());

  // A gap from 8192 to 10240 between the chords: its bass pulse and hits sound nothing.
  auto anchors =
      chord_anchors_of(score_of({melody(0, 8192, "C"), melody(8192, 8192, "G7")}, 1), profile);
  ASSERT_EQ(anchors.size(), 2u);
  anchors[1].start_ticks = 10240;
  anchors[1].duration_ticks = 6144;
  const auto gapped = score_of({melody(0, 16384)}, 1);
  const auto starts = starts_of(comped(gapped, profile, anchors, section_plan{}));
  EXPECT_EQ(starts, (std::vector<std::int64_t>{0, 10240}));
  const auto planned = starts_of(comped(gapped, profile, anchors, plan_over(0, 16384)));
  EXPECT_EQ(planned, (std::vector<std::int64_t>{0, 6144, 10240, 12288, 14336}));

  // Chords of a quarter note: the hits between the chords are refused and the hit on a chord's
  // start adds nothing to its voicing, so each chord sounds only its start.
  const auto quarters = score_of({melody(0, 4096, "C"), melody(4096, 4096, "Am"),
                                  melody(8192, 4096, "Dm"), melody(12288, 4096, "G")},
                                 1);
  const auto short_events =
      comped(quarters, profile, chord_anchors_of(quarters, profile), plan_over(0, 16384));
  EXPECT_EQ(starts_of(short_events), (std::vector<std::int64_t>{0, 4096, 8192, 12288}));
  for (const auto& event : short_events) EXPECT_FALSE(event.chord_symbol.empty());
  expect_writable(short_events, "quarter-note chords");
}

TEST(comping_events_test, planned_activity_is_the_plan_without_melody_or_grips) {
  // Two measures; the second chord (without a chord record) starts at 24576, leaving a gap from
  // 16384 to 24576 where only the bass pulses are planned.
  const auto score = score_of({melody(0, 32768)});
  auto first = anchor_of(0, 16384);
  first.chord = parse_chord_symbol("C");
  const std::vector<arrangement_anchor> anchors{first, anchor_of(24576, 8192)};
  const auto activity =
      planned_acoustic_activity_for(score, med_swing(), anchors, plan_over(0, 32768));
  EXPECT_EQ(activity.bass_pulse_ticks, (std::vector<std::int64_t>{0, 8192, 16384, 24576}));
  EXPECT_EQ(activity.chord_start_ticks, (std::vector<std::int64_t>{0}));
  EXPECT_EQ(activity.pattern_hit_ticks,
            (std::vector<std::int64_t>{6144, 10240, 12288, 14336, 26624, 28672, 30720}));

  // Without a phrase plan only pulses and chord starts are planned.
  const auto unplanned = planned_acoustic_activity_for(score, med_swing(), anchors, {});
  EXPECT_EQ(unplanned.bass_pulse_ticks, activity.bass_pulse_ticks);
  EXPECT_TRUE(unplanned.pattern_hit_ticks.empty());
}

TEST(comping_events_test, acoustic_activity_ranks_the_ticks_around_it) {
  using ticks = std::vector<std::int64_t>;
  struct row {
    const char* name;
    planned_acoustic_activity activity;
    bool before_4096;
  };
  const row rows[] = {
      {"bass pulse an eighth before", {ticks{2048}, {}, {}}, true},
      {"chord start an eighth before", {{}, ticks{2048}, {}}, true},
      {"hit an eighth before", {{}, {}, ticks{2048}}, true},
      {"hit a quarter before", {{}, {}, ticks{0}}, true},
      {"bass pulse a quarter before", {ticks{0}, {}, {}}, false},
      {"chord start a quarter before", {{}, ticks{0}, {}}, false},
      {"activity on the tick", {ticks{4096}, ticks{4096}, ticks{4096}}, false},
      {"nothing", {}, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(acoustic_activity_before(row.activity, 4096), row.before_4096) << row.name;
  }

  // Bass on the half notes, the chord at 0, pattern hits at 6144 and 8192.
  const planned_acoustic_activity activity{ticks{0, 8192}, ticks{0}, ticks{6144, 8192}};
  EXPECT_TRUE(acoustic_upper_activity_at(activity, 0));
  EXPECT_TRUE(acoustic_upper_activity_at(activity, 8192));
  EXPECT_FALSE(acoustic_upper_activity_at(activity, 10240));
  struct rank_row {
    std::int64_t tick;
    bool avoid_upper;
    int expected;
  };
  const rank_row ranks[] = {
      {8192, true, 75},    // on a hit, an eighth after another
      {6144, true, 120},   // on a hit, nothing before
      {8192, false, -45},  // the caller does not avoid upper chords
      {6144, false, 0},    //
      {10240, true, -45},  // an eighth after the pulse and the hit at 8192
      {12288, true, -45},  // a quarter after the hit at 8192
      {4096, true, 0},     // a quarter after the bass and the chord only
      {2048, false, -45},  // an eighth after the chord
  };
  for (const auto& row : ranks) {
    EXPECT_EQ(acoustic_complement_rank(activity, row.tick, row.avoid_upper), row.expected)
        << row.tick << (row.avoid_upper ? " avoiding" : "");
  }
}

// A song of `measures` measures of one time signature, a chord on every downbeat: each measure a
// long note then a short one (a half and a quarter note in 3/4).
source_score planned_song(std::size_t measures, const char* time_signature, std::int64_t capacity,
                          const std::vector<const char*>& chords) {
  source_score score;
  for (std::size_t index = 0; index < measures; ++index) {
    const auto start = static_cast<std::int64_t>(index) * capacity;
    auto measure = measure_at(start, capacity, time_signature);
    measure.id = "m" + std::to_string(index);
    score.measures.push_back(measure);
    const std::int64_t long_note = capacity - 4096;
    auto first = melody(start, long_note, chords[index % chords.size()], index);
    first.id = measure.id + "a";
    auto second = melody(start + long_note, 4096, "", index);
    second.id = measure.id + "b";
    second.pitches = {source_pitch{"e", 4, "n", 64}};
    score.notes.push_back(first);
    score.notes.push_back(second);
  }
  return score;
}

// One section of the acoustic part as the section driver sees it: its slice of the source in
// arrangement ticks, its plan and the trace record handed to its generation.
struct planned_section {
  source_score slice;
  section_plan plan;
  section_debug_trace trace;
};

// The first chords section of the acoustic part that holds two phrases or more.
std::optional<planned_section> acoustic_chord_section(const source_score& source,
                                                      const arrangement_style_profile& profile) {
  const auto part = part_plan_of(source, profile, orvanta::arrangement_part_type::electric,
                                 orvanta::arrangement_part_type::acoustic);
  const auto found = first_planned_section(source, part, [](const section_plan& section) {
    return section.section.role == full_arrangement_section_role::chords &&
           section.phrases.size() >= 2;
  });
  if (!found) return std::nullopt;
  return planned_section{found->slice, found->plan, section_trace_of(found->plan)};
}

TEST(comping_events_test, a_planned_chord_section_comps_by_its_phrase_plans) {
  struct row {
    const char* name;
    source_score source;
    arrangement_style_profile profile;
    std::vector<std::string> expected_cells;
  };
  const row rows[] = {
      {"swing",
       planned_song(16, "4/4", 16384, {"Fmaj7", "Gm7", "C7", "Am7"}),
       med_swing(),
       {"swing_upper_base_0", "swing_upper_cadence_3"}},
      {"waltz",
       planned_song(16, "3/4", 12288, {"C", "Am7", "Dm7", "G7"}),
       waltz_profile(),
       {"waltz_upper_base_0", "waltz_upper_cadence_3"}},
  };
  for (const auto& row : rows) {
    auto section = acoustic_chord_section(row.source, row.profile);
    ASSERT_TRUE(section) << row.name;
    const auto& slice = section->slice;
    const auto anchors = chord_anchors_of(slice, row.profile);
    ASSERT_FALSE(anchors.empty()) << row.name;
    const auto events =
        chord_mode_comping_events(slice, row.profile, anchors, section->plan.section.type,
                                  std::nullopt, 4096, section->plan, &section->trace);
    ASSERT_FALSE(events.empty()) << row.name;
    expect_writable(events, row.name);
    for (const auto& event : events) EXPECT_FALSE(event.positions.empty()) << row.name;

    // Every event is a bass pulse, a chord start or a hit the plan allows inside a chord.
    const auto activity = planned_acoustic_activity_for(slice, row.profile, anchors, section->plan);
    std::size_t pattern_hits = 0;
    for (const auto& event : events) {
      const auto tick = event.start_ticks;
      const bool pulse_or_chord = tick_list_contains(activity.bass_pulse_ticks, tick) ||
                                  tick_list_contains(activity.chord_start_ticks, tick);
      if (!pulse_or_chord) {
        EXPECT_TRUE(tick_list_contains(activity.pattern_hit_ticks, tick))
            << row.name << " " << tick;
        EXPECT_TRUE(event.chord_symbol.empty()) << row.name << " " << tick;
        ++pattern_hits;
      }
    }
    EXPECT_GT(pattern_hits, 0u) << row.name;

    std::vector<std::string> cells;
    std::uint64_t optional_events = 0;
    for (std::size_t index = 0; index < section->plan.phrases.size(); ++index) {
      const auto& phrase = section->plan.phrases[index];
      const auto& record = section->trace.phrases[index];
      cells.push_back(record.resolved_cell);
      EXPECT_EQ(record.resolved_cell,
                resolve_acoustic_cell_id(row.profile, phrase.rhythm_intent, phrase));
      const auto sounding = std::count_if(events.begin(), events.end(), [&](const auto& event) {
        return event_overlaps_phrase(event, phrase);
      });
      EXPECT_EQ(record.events, static_cast<std::uint64_t>(sounding)) << row.name << " " << index;
      optional_events += record.optional_events;
    }
    // Hits that add upper notes to a bass pulse count too.
    EXPECT_GE(optional_events, pattern_hits) << row.name;
    EXPECT_EQ(cells, row.expected_cells) << row.name;

    EXPECT_EQ(chord_mode_comping_events(slice, row.profile, anchors, section->plan.section.type,
                                        std::nullopt, 4096, section->plan, nullptr),
              events)
        << row.name;
  }
}

TEST(comping_events_test, a_phrase_finds_its_trace_record_by_index) {
  section_debug_trace section;
  section.phrases.resize(3);
  section.phrases[0].phrase_index = 0;
  section.phrases[1].phrase_index = 2;
  section.phrases[2].phrase_index = 2;
  auto phrase = phrase_of(0, 16384);
  phrase.index = 2;
  EXPECT_EQ(phrase_trace_for(&section, &phrase), &section.phrases[1]);
  EXPECT_EQ(phrase_trace_for(nullptr, &phrase), nullptr);
  EXPECT_EQ(phrase_trace_for(&section, nullptr), nullptr);
  phrase.index = 1;
  EXPECT_EQ(phrase_trace_for(&section, &phrase), nullptr);
}

}  // namespace
