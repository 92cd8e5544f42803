#include "arrangement/generation.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/comping_events.hpp"
#include "arrangement/form.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"
#include "section_fixtures.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using grip_fixtures::at;
using orvanta::arrangement_message;
using orvanta::arrangement_options;
using orvanta::arrangement_part_type;
using score_fixtures::starts_of;
using role = full_arrangement_section_role;

TEST(generation_test, only_the_solo_roles_have_a_solo_profile) {
  struct row {
    const char* name;
    std::int32_t role;
    std::optional<guitar_solo_profile> expected;
  };
  const row rows[] = {
      {"rests", 0, std::nullopt},
      {"chords", 1, std::nullopt},
      {"melody", 2, std::nullopt},
      {"accompaniment", 3, std::nullopt},
      {"acoustic solo", 4, guitar_solo_profile::acoustic},
      {"electric solo", 5, guitar_solo_profile::electric},
      {"vocal", 6, std::nullopt},
      {"value outside the roles", 7, std::nullopt},
  };
  for (const auto& [name, role, expected] : rows) {
    EXPECT_EQ(solo_profile_for_role(static_cast<full_arrangement_section_role>(role)), expected)
        << name;
  }
}

// A 4/4 measure with the labels C on beat 1 and G7 on beat 3.
source_score two_chord_measure() {
  source_score score;
  score.measures.push_back({});
  for (const auto& [start, symbol] : {std::pair{0, "C"}, std::pair{8192, "G7"}}) {
    source_note note;
    note.start_tick = start;
    note.duration_ticks = 8192;
    note.chord_symbol = symbol;
    note.pitches = {source_pitch{}};
    score.notes.push_back(std::move(note));
  }
  return score;
}

arrangement_event event_of(std::int64_t start, std::int64_t duration,
                           std::vector<tab_position> positions, std::string symbol, bool filler) {
  arrangement_event event;
  event.start_ticks = start;
  event.duration_ticks = duration;
  event.positions = std::move(positions);
  event.chord_symbol = std::move(symbol);
  event.filler = filler;
  return event;
}

TEST(generation_test, finishing_relabels_and_normalises_but_labels_never_make_it_playable) {
  const auto score = two_chord_measure();

  const auto rests = finalize_generated_events(score, {event_of(4096, 4096, {}, "Dm", true)});
  EXPECT_FALSE(rests.playable);
  EXPECT_EQ(rests.events,
            (std::vector{event_of(0, 4096, {}, "C", true), event_of(4096, 4096, {}, "", true),
                         event_of(8192, 8192, {}, "G7", true)}));
  EXPECT_FALSE(has_playable_arrangement_event(rests.events));

  EXPECT_EQ(finalize_generated_events(score, {}),
            (generated_guitar_events{
                {event_of(0, 8192, {}, "C", true), event_of(8192, 8192, {}, "G7", true)}, false}));

  // A played chord keeps no symbol of its own and is split at the source's chord change.
  const std::vector<tab_position> c_shape{at(3, 0), at(2, 1)};
  const auto played =
      finalize_generated_events(score, {event_of(0, 16384, c_shape, "Cmaj7", false)});
  EXPECT_TRUE(played.playable);
  auto head = event_of(0, 8192, assigned_or_original_fingering(c_shape), "C", false);
  head.tie_to_next = true;
  auto tail = event_of(8192, 8192, assigned_or_original_fingering(c_shape), "G7", false);
  tail.tie_from_previous = true;
  EXPECT_EQ(played.events, (std::vector{head, tail}));

  // Playability is judged on the events as handed in, before unplayable grips are dropped.
  const std::vector<tab_position> five_notes{at(6, 3), at(5, 2), at(4, 0), at(3, 0), at(2, 1)};
  const auto dropped = finalize_generated_events(score, {event_of(0, 4096, five_notes, "", false)});
  EXPECT_TRUE(dropped.playable);
  EXPECT_FALSE(has_playable_arrangement_event(dropped.events));
}

// Sources ----------------------------------------------------------------------------------------

// A source built measure by measure: each measure from the end of the one before, each note from
// the end of the one before in its measure.
struct source_builder {
  source_score score;

  source_builder& measure(std::int64_t capacity, std::string time_signature = "4/4") {
    source_measure written;
    written.id = "m" + std::to_string(score.measures.size());
    written.time_signature = std::move(time_signature);
    written.capacity_ticks = capacity;
    written.start_tick = score.measures.empty() ? 0
                                                : score.measures.back().start_tick +
                                                      score.measures.back().capacity_ticks;
    score.measures.push_back(std::move(written));
    return *this;
  }

  source_builder& note(std::int64_t duration, std::optional<int> midi, std::string chord = "",
                       bool tie_to_next = false, bool tie_from_previous = false) {
    source_note written;
    written.id = "n" + std::to_string(score.notes.size());
    written.kind = midi ? "note" : "rest";
    written.chord_symbol = std::move(chord);
    written.measure_index = score.measures.size() - 1;
    written.start_tick = score.measures.back().start_tick;
    for (const auto& earlier : score.notes) {
      if (earlier.measure_index == written.measure_index) {
        written.start_tick = earlier.start_tick + earlier.duration_ticks;
      }
    }
    written.duration_ticks = duration;
    if (midi) written.pitches = {source_pitch{.midi = *midi}};
    written.tie_to_next = tie_to_next;
    written.tie_from_previous = tie_from_previous;
    score.notes.push_back(std::move(written));
    return *this;
  }

  source_builder& rest(std::int64_t duration) { return note(duration, std::nullopt); }
};

// A 1/4 pickup (an eighth rest, then G4) before `body` 4/4 measures of E5 D5 C5 A4 over a chord.
source_score short_pickup_song(std::size_t body, const char* first_chord = "C") {
  source_builder song;
  song.measure(4096, "1/4").rest(2048).note(2048, 67);
  const char* chords[] = {"Am7", "Dm7", "G7"};
  for (std::size_t index = 0; index < body; ++index) {
    song.measure(16384)
        .note(4096, 76, index == 0 ? first_chord : chords[index % 3])
        .note(2048, 74)
        .note(2048, 72)
        .note(8192, 69);
  }
  return song.score;
}

// Four 4/4 measures without a pickup: C, F, G7, C under quarters and a half note.
source_score plain_song() {
  source_builder song;
  for (const char* chord : {"C", "F", "G7", "C"}) {
    song.measure(16384).note(4096, 72, chord).note(4096, 71).note(8192, 67);
  }
  return song.score;
}

// The part's plan as the driver builds it, in the default style.
part_realization_plan part_plan_of(const source_score& source, arrangement_part_type part,
                                   bool include_solo) {
  return section_fixtures::part_plan_of(source, {}, arrangement_part_type::electric, part,
                                        include_solo);
}

// An event's start and duration.
using span = std::pair<std::int64_t, std::int64_t>;
span span_of(const arrangement_event& event) { return {event.start_ticks, event.duration_ticks}; }

arrangement_event sounding(std::int64_t start, std::int64_t duration, std::string symbol = "") {
  return event_of(start, duration, {at(2, 1)}, std::move(symbol), false);
}

std::vector<arrangement_event> events_in(const std::vector<arrangement_event>& events,
                                         std::int64_t start, std::int64_t end) {
  std::vector<arrangement_event> inside;
  std::ranges::copy_if(events, std::back_inserter(inside), [&](const arrangement_event& event) {
    return event.start_ticks >= start && event.start_ticks < end;
  });
  return inside;
}

// Section generators -----------------------------------------------------------------------------

TEST(generation_test, rests_vocal_and_unknown_roles_give_the_compact_rests_never_playable) {
  const auto slice = plain_song();
  const section_plan plan;
  for (const std::int32_t value : {0, 6, 7, 100}) {
    std::vector<arrangement_message> messages;
    const auto generated =
        generated_guitar_events_for_source(slice, static_cast<role>(value), {}, messages, 1,
                                           std::vector{at(1, 0)}, 2048, plan, nullptr);
    EXPECT_EQ(generated, (generated_guitar_events{source_compact_rest_events(slice), false}))
        << value;
    EXPECT_TRUE(messages.empty()) << value;
  }
}

TEST(generation_test, the_melody_is_played_with_its_ties_and_rests_and_relabelled) {
  source_builder song;
  song.measure(16384).note(8192, 72, "C", true).note(4096, 72, "", false, true).rest(4096);
  std::vector<arrangement_message> messages;
  const auto generated = generated_melody_events_for_source(song.score, messages);
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(generated.playable);
  ASSERT_EQ(generated.events.size(), 3u);
  const auto& held = generated.events[0];
  EXPECT_EQ(span_of(held), span(0, 8192));
  EXPECT_EQ(held.chord_symbol, "C");
  EXPECT_TRUE(held.tie_to_next);
  EXPECT_TRUE(
      std::ranges::any_of(held.positions, [](const tab_position& p) { return p.midi == 72; }));
  const auto& continued = generated.events[1];
  EXPECT_TRUE(continued.tie_from_previous);
  EXPECT_TRUE(continued.chord_symbol.empty());
  const auto& rest = generated.events[2];
  EXPECT_EQ(span_of(rest), span(12288, 4096));
  EXPECT_TRUE(rest.positions.empty());
}

TEST(generation_test, the_melody_gives_up_when_a_chord_cannot_be_placed) {
  source_builder song;
  song.measure(16384).note(16384, 72, "H7");
  std::vector<arrangement_message> messages;
  EXPECT_EQ(generated_melody_events_for_source(song.score, messages), generated_guitar_events{});
  EXPECT_EQ(messages,
            (std::vector<arrangement_message>{{"error", "", "Chord 'H7' could not be arranged."}}));
}

TEST(generation_test, no_accompaniment_over_tuplets) {
  auto slice = plain_song();
  slice.tuplets.push_back({"t1", 3, 2, 1});
  std::vector<arrangement_message> messages;
  EXPECT_EQ(generated_accompaniment_events_for_source(slice, {}, messages, 1, {}, nullptr),
            (generated_guitar_events{source_compact_rest_events(slice), false}));
  EXPECT_TRUE(messages.empty());
}

TEST(generation_test, a_traced_accompaniment_counts_its_stabs_per_phrase) {
  const auto song = plain_song();
  const auto plan = part_plan_of(song, arrangement_part_type::electric, false);
  const auto& section = plan.sections[1];
  ASSERT_EQ(section.section.role, role::accompaniment);
  const auto slice = source_slice(song, section.section, 4 * 16384);

  const auto phrase_trace = [](std::int32_t index, std::uint64_t count) {
    phrase_debug_trace record;
    record.phrase_index = index;
    record.events = count;
    record.stabs = count;
    return record;
  };
  section_debug_trace trace;
  for (const auto& phrase : section.phrases)
    trace.phrases.push_back(phrase_trace(phrase.index, 50));
  trace.phrases.push_back(phrase_trace(99, 7));
  std::vector<arrangement_message> messages;
  const auto generated =
      generated_accompaniment_events_for_source(slice, {}, messages, 1, section, &trace);
  ASSERT_TRUE(generated.playable);

  std::vector<arrangement_message> ignored;
  const auto stabs = melody_accompaniment_comping_events(
      slice, {}, build_accompaniment_anchors(slice, {}, ignored), 1, section, nullptr);
  for (std::size_t index = 0; index < section.phrases.size(); ++index) {
    const auto& phrase = section.phrases[index];
    const auto overlapping = [&](std::size_t least_positions) {
      return static_cast<std::uint64_t>(std::ranges::count_if(stabs, [&](const auto& stab) {
        return stab.positions.size() >= least_positions && event_overlaps_phrase(stab, phrase);
      }));
    };
    EXPECT_EQ(trace.phrases[index].events, overlapping(1)) << index;
    EXPECT_EQ(trace.phrases[index].stabs, overlapping(2)) << index;
  }
  EXPECT_GT(trace.phrases.front().events, 0u);
  EXPECT_EQ(trace.phrases.back().events, 7u);
  EXPECT_EQ(trace.phrases.back().stabs, 7u);
}

// Pickup overlaps --------------------------------------------------------------------------------

full_arrangement_section run_of(std::size_t first, std::size_t count, role section_role,
                                std::uint64_t type = 2) {
  return {.label = "S",
          .first_measure = first,
          .measure_count = count,
          .type = type,
          .role = section_role};
}

TEST(generation_test, only_a_solo_right_after_the_pickup_overlaps_it) {
  const auto with_pickup = short_pickup_song(2);
  const auto without_pickup = plain_song();
  struct row {
    const char* name;
    const source_score& source;
    full_arrangement_section section;
    bool expected;
  };
  const row rows[] = {
      {"electric solo after the pickup", with_pickup, run_of(1, 2, role::electric_solo), true},
      {"acoustic solo after the pickup", with_pickup, run_of(1, 2, role::acoustic_solo), true},
      {"melody after the pickup", with_pickup, run_of(1, 2, role::melody), false},
      {"solo on the pickup itself", with_pickup, run_of(0, 3, role::electric_solo), false},
      {"solo later on", with_pickup, run_of(2, 1, role::electric_solo), false},
      {"no pickup", without_pickup, run_of(1, 2, role::electric_solo), false},
  };
  for (const auto& [name, source, section, expected] : rows) {
    EXPECT_EQ(section_receives_solo_pickup_overlap(source, section), expected) << name;
    EXPECT_EQ(solo_source_for_pickup_overlap(source, section, 0).has_value(),
              section_starts_after_leading_pickup(source, section))
        << name;
  }
  EXPECT_FALSE(pickup_source_for_overlap(without_pickup, 0));
}

TEST(generation_test, pickup_sources_hold_the_pickup_and_never_run_past_the_source) {
  const auto two_measures = short_pickup_song(1);
  const auto melody = pickup_source_for_overlap(two_measures, 100);
  ASSERT_TRUE(melody);
  EXPECT_EQ(*melody, source_slice(two_measures, run_of(0, 2, role::rests, 0), 100));
  EXPECT_EQ(melody->measures.size(), 2u);
  EXPECT_EQ(melody->measures.front().start_tick, 100);

  const auto solo =
      solo_source_for_pickup_overlap(two_measures, run_of(1, 1, role::electric_solo), 100);
  ASSERT_TRUE(solo);
  EXPECT_EQ(solo->measures.size(), 2u);
  EXPECT_EQ(solo->notes, melody->notes);

  const auto longer = short_pickup_song(4);
  EXPECT_EQ(pickup_source_for_overlap(longer, 0)->measures.size(), 2u);
  EXPECT_EQ(
      solo_source_for_pickup_overlap(longer, run_of(1, 2, role::electric_solo), 0)->measures.size(),
      3u);
}

TEST(generation_test, trimming_makes_room_for_the_pickup_between_the_cut_and_the_section) {
  auto tied_on = sounding(8192, 8192);
  tied_on.tie_to_next = true;
  auto cut_back = sounding(8192, 4096);
  const std::vector events{sounding(0, 4096), tied_on, sounding(12288, 4096),
                           sounding(16384, 4096)};
  EXPECT_EQ(trim_events_for_pickup_overlap(events, 12288, 16384),
            (std::vector{sounding(0, 4096), cut_back, sounding(16384, 4096)}));
  EXPECT_TRUE(trim_events_for_pickup_overlap({}, 0, 16384).empty());

  // A cut inside a triplet moves back to its start: no tuplet is left half written.
  std::vector<arrangement_event> triplet{sounding(0, 4096)};
  for (const std::int64_t start : {4096, 5461, 6826}) {
    triplet.push_back(sounding(start, start == 6826 ? 1366 : 1365));
    triplet.back().tuplet_id = "t";
  }
  triplet.push_back(sounding(16384, 4096));
  EXPECT_EQ(trim_events_for_pickup_overlap(triplet, 6144, 16384),
            (std::vector{sounding(0, 4096), sounding(16384, 4096)}));
  EXPECT_EQ(trim_events_for_pickup_overlap(triplet, 8192, 16384), triplet);
}

// A 1/4 pickup laid over a 4/4 measure ends at the section start: its melody note sounds in the
// last eighth before it, and the section's own opening is not played early.
TEST(generation_test, a_short_pickup_melody_ends_at_the_section_start) {
  const auto song = short_pickup_song(2);
  constexpr std::int64_t section_start = 5 * 16384;
  constexpr std::int64_t overlap_start = section_start - 16384;
  std::vector<arrangement_message> messages;
  const auto pickup =
      playable_pickup_events_for_overlap(song, overlap_start, section_start, messages);
  EXPECT_TRUE(messages.empty());
  ASSERT_EQ(pickup.size(), 1u);
  EXPECT_EQ(pickup[0].start_ticks, section_start - 2048);
  EXPECT_EQ(pickup[0].duration_ticks, 2048);
  EXPECT_EQ(pickup[0].positions.front().midi, 67);
  EXPECT_TRUE(pickup[0].chord_symbol.empty());

  // Laid over a measure shorter than itself, the pickup keeps nothing before that measure.
  source_builder long_pickup;
  long_pickup.measure(16384).rest(8192).note(4096, 64).note(4096, 65);
  long_pickup.measure(16384).note(16384, 67, "C");
  const auto kept =
      playable_pickup_events_for_overlap(long_pickup.score, 40000 - 4096, 40000, messages);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].start_ticks, 40000 - 4096);
  EXPECT_EQ(kept[0].positions.front().midi, 65);

  source_builder resting;
  resting.measure(16384).rest(8192).note(8192, std::nullopt);
  resting.measure(16384).note(16384, 67, "C");
  EXPECT_TRUE(playable_pickup_events_for_overlap(resting.score, 0, 16384, messages).empty());

  // A triplet that opens with a rest keeps the rest, so the triplet is written whole.
  source_builder triplet;
  triplet.measure(16384).rest(12288).rest(1365).note(1365, 67).note(1366, 69);
  triplet.measure(16384).note(16384, 72, "C");
  for (std::size_t index = 1; index <= 3; ++index) {
    triplet.score.notes[index].tuplet_id = "t";
    triplet.score.notes[index].display_ticks = 2048;
  }
  triplet.score.tuplets.push_back({"t", 3, 2, 0});
  const auto members = playable_pickup_events_for_overlap(triplet.score, 0, 16384, messages);
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(starts_of(members), (std::vector<std::int64_t>{12288, 13653, 15018}));
  for (const auto& member : members) EXPECT_EQ(member.tuplet_id, "t");
  EXPECT_TRUE(members[0].positions.empty());
}

// The realisation loop ---------------------------------------------------------------------------

TEST(generation_test, no_sections_give_nothing_but_the_warning) {
  std::vector<arrangement_message> messages;
  const auto arranged = full_guitar_arrangement_for(plain_song(), {}, {}, {}, messages, nullptr);
  EXPECT_EQ(arranged, full_guitar_arrangement{});
  EXPECT_EQ(messages, (std::vector<arrangement_message>{
                          {"warning", "", "No playable arranged guitar events were found."}}));
}

TEST(generation_test, the_disabled_solo_slot_of_the_part_shows_slashes) {
  struct row {
    const char* name;
    arrangement_part_type part;
    bool include_solo;
    role section_role;
    std::uint64_t type;
    bool expected;
  };
  const row rows[] = {
      {"acoustic, first solo slot", arrangement_part_type::acoustic, false, role::rests, 3, true},
      {"acoustic, second solo slot", arrangement_part_type::acoustic, false, role::rests, 4, false},
      {"electric, second solo slot", arrangement_part_type::electric, false, role::rests, 4, true},
      {"electric, first solo slot", arrangement_part_type::electric, false, role::rests, 3, false},
      {"vocal", arrangement_part_type::vocal, false, role::rests, 4, false},
      {"solos on", arrangement_part_type::electric, true, role::rests, 4, false},
      {"a playing role", arrangement_part_type::electric, false, role::chords, 4, false},
      {"the lead-in", arrangement_part_type::electric, false, role::rests, 0, false},
  };
  for (const auto& [name, part, include_solo, section_role, type, expected] : rows) {
    part_realization_plan plan;
    plan.part = part;
    plan.plan.include_solo = include_solo;
    EXPECT_EQ(disabled_solo_slot_receives_slashes(plan, run_of(0, 1, section_role, type)), expected)
        << name;
  }
}

TEST(generation_test, a_section_follows_the_grip_that_sounded_last_before_it) {
  const std::vector<tab_position> low{at(5, 3), at(4, 2)};
  const std::vector<tab_position> high{at(1, 3), at(2, 1)};
  const std::vector<tab_position> other{at(3, 2)};
  const auto grip_at = [](std::int64_t start, std::int64_t duration,
                          const std::vector<tab_position>& positions) {
    return event_of(start, duration, positions, "", false);
  };
  constexpr std::int64_t section_start = 32768;
  constexpr auto min_tick = std::numeric_limits<std::int64_t>::min();
  constexpr auto max_tick = std::numeric_limits<std::int64_t>::max();
  struct row {
    const char* name;
    std::vector<arrangement_event> events;
    previous_grip_context expected;
    std::int64_t offset = section_start;
  };
  const row rows[] = {
      {"nothing before", {}, {std::nullopt, 4096}},
      {"only rests and later grips",
       {event_of(0, 16384, {}, "C", true), grip_at(section_start, 4096, low)},
       {std::nullopt, 4096}},
      {"a short gap is an eighth",
       {grip_at(0, 4096, low), grip_at(16384, 15384, high)},
       {high, 2048}},
      {"a long gap as it is", {grip_at(20480, 6144, low), grip_at(4096, 4096, high)}, {low, 6144}},
      {"equal starts: the first in the list",
       {grip_at(24576, 2048, other), grip_at(24576, 4096, low)},
       {other, 6144}},
      {"a gap wider than the range saturates",
       {grip_at(min_tick, 10, low)},
       {low, max_tick},
       max_tick},
  };
  for (const auto& [name, events, expected, offset] : rows) {
    EXPECT_EQ(previous_grip_before(events, offset), expected) << name;
  }
}

// A solo laid out at the top of the tick range: its window ends at the largest tick instead of
// wrapping below the section's start, so what the solo plays there is kept.
TEST(generation_test, a_solo_window_at_the_top_of_the_range_keeps_its_notes) {
  const auto song = short_pickup_song(4);
  const auto plan = part_plan_of(song, arrangement_part_type::electric, true);
  const auto& section = plan.sections[4].section;
  ASSERT_EQ(section.role, role::electric_solo);
  constexpr auto solo_start = std::numeric_limits<std::int64_t>::max() - 2 * 16384;
  std::vector<arrangement_message> messages;
  const auto solo = generated_solo_events_for_pickup_overlap(song, section, {}, messages,
                                                             solo_start - 16384, solo_start);
  ASSERT_TRUE(solo);
  EXPECT_TRUE(solo->playable);
  for (const auto& event : solo->events) {
    EXPECT_GE(event.start_ticks, solo_start - 4096);
    EXPECT_GT(event.duration_ticks, 0);
  }
}

TEST(generation_test, first_event_starts) {
  const std::vector events{sounding(8192, 10), sounding(4096, 10), sounding(12288, 10)};
  EXPECT_EQ(first_event_start(events), 4096);
  EXPECT_EQ(first_event_start({}), std::nullopt);
  EXPECT_EQ(first_event_start_before(events, 8192), 4096);
  EXPECT_EQ(first_event_start_before(events, 4096), std::nullopt);
  EXPECT_EQ(first_event_start_before({}, 4096), std::nullopt);
}

TEST(generation_test, the_sections_are_laid_end_to_end_with_their_labels) {
  const auto song = plain_song();
  const auto plan = part_plan_of(song, arrangement_part_type::electric, false);
  std::vector<arrangement_message> messages;
  arrangement_debug_trace trace;
  trace.sections.resize(3);
  const auto arranged =
      full_guitar_arrangement_for(song, plan, {}, arrangement_options{}, messages, &trace);
  ASSERT_EQ(arranged.source.measures.size(), 4u * 7u);
  for (std::size_t index = 0; index < arranged.source.measures.size(); ++index) {
    const auto& measure = arranged.source.measures[index];
    EXPECT_EQ(measure.start_tick, static_cast<std::int64_t>(index) * 16384);
    EXPECT_EQ(measure.section_label.empty(), index % 4 != 0) << index;
  }
  EXPECT_EQ(arranged.source.measures[8].section_label, "Guitar Melody");
  EXPECT_EQ(arranged.events, normalize_events(arranged.events));
  EXPECT_TRUE(std::ranges::all_of(
      messages, [](const arrangement_message& message) { return message.level == "warning"; }));

  // The trace holds one record per section, built from the plan.
  EXPECT_EQ(trace.plan_key, plan.plan.plan_key);
  EXPECT_EQ(trace.source_fingerprint, plan.plan.source_fingerprint);
  ASSERT_EQ(trace.sections.size(), plan.sections.size());
  for (std::size_t index = 0; index < plan.sections.size(); ++index) {
    EXPECT_EQ(trace.sections[index].type, plan.sections[index].type);
    EXPECT_EQ(trace.sections[index].role,
              static_cast<std::int32_t>(plan.sections[index].section.role));
    EXPECT_EQ(trace.sections[index].phrases.size(), plan.sections[index].phrases.size());
  }
}

TEST(generation_test, an_error_stops_the_loop_with_the_slices_so_far_and_no_events) {
  // The guitar melody, the third section of the electric part, cannot place an unknown chord.
  auto song = plain_song();
  song.notes[4].chord_symbol = "H7";
  const auto plan = part_plan_of(song, arrangement_part_type::electric, false);
  ASSERT_EQ(plan.sections[2].section.role, role::melody);
  std::vector<arrangement_message> messages;
  const auto arranged = full_guitar_arrangement_for(song, plan, {}, {}, messages, nullptr);
  EXPECT_EQ(arranged.source.measures.size(), 3u * 4u);
  EXPECT_TRUE(arranged.events.empty());
  EXPECT_TRUE(messages_have_error(messages));
  EXPECT_TRUE(std::ranges::none_of(messages, [](const arrangement_message& message) {
    return message.message == "No playable arranged guitar events were found.";
  }));
}

// The electric part without solos plays the guitar melody after the pickup: the pickup's note
// sounds in the last eighth of the section before, and nothing of the melody's opening before.
TEST(generation_test, the_guitar_melody_after_a_short_pickup_takes_it_over_the_section_before) {
  const auto song = short_pickup_song(2);
  const auto plan = part_plan_of(song, arrangement_part_type::electric, false);
  ASSERT_EQ(plan.sections[2].section.role, role::melody);
  ASSERT_EQ(plan.sections[2].section.first_measure, 1u);
  std::vector<arrangement_message> messages;
  const auto arranged = full_guitar_arrangement_for(song, plan, {}, {}, messages, nullptr);
  // Lead-in and sung melody hold two measures each before the guitar melody.
  constexpr std::int64_t melody_start = 4 * 16384;
  const auto before = events_in(arranged.events, melody_start - 16384, melody_start);
  ASSERT_FALSE(before.empty());
  const auto& pickup = before.back();
  EXPECT_EQ(pickup.start_ticks, melody_start - 2048);
  EXPECT_EQ(event_end_ticks(pickup), melody_start);
  ASSERT_EQ(pickup.positions.size(), 1u);
  EXPECT_EQ(pickup.positions.front().midi, 67);
  for (const auto& event : before) {
    if (event.start_ticks < melody_start - 2048) {
      EXPECT_LE(event_end_ticks(event), melody_start - 2048);
    }
  }
  const auto opening = events_in(arranged.events, melody_start, melody_start + 1);
  ASSERT_EQ(opening.size(), 1u);
  EXPECT_TRUE(std::ranges::any_of(opening.front().positions,
                                  [](const tab_position& p) { return p.midi == 76; }));
}

// The electric part with solos plays its solo from the pickup on: what the solo plays in the
// pickup lies in the last quarter before the section, the sections before are cut back to make
// room, and nothing of the solo runs past the section's end.
TEST(generation_test, the_solo_after_a_short_pickup_starts_in_the_section_before) {
  const auto song = short_pickup_song(4);
  const auto plan = part_plan_of(song, arrangement_part_type::electric, true);
  ASSERT_EQ(plan.sections[4].section.role, role::electric_solo);
  ASSERT_EQ(plan.sections[4].section.first_measure, 1u);
  std::vector<arrangement_message> messages;
  const auto arranged = full_guitar_arrangement_for(song, plan, {}, {}, messages, nullptr);
  EXPECT_FALSE(messages_have_error(messages));
  // Lead-in, sung melody, guitar melody and the first solo slot hold four measures each.
  constexpr std::int64_t solo_start = 16 * 16384;
  constexpr std::int64_t solo_end = solo_start + 4 * 16384;
  constexpr std::int64_t pickup_start = solo_start - 4096;

  std::vector<arrangement_message> solo_messages;
  const auto solo = generated_solo_events_for_pickup_overlap(
      song, plan.sections[4].section, {}, solo_messages, solo_start - 16384, solo_start);
  ASSERT_TRUE(solo);
  EXPECT_TRUE(solo->playable);
  for (const auto& event : solo->events) {
    EXPECT_GE(event.start_ticks, pickup_start);
    EXPECT_LE(event_end_ticks(event), solo_end);
    if (event.start_ticks < solo_start) {
      EXPECT_TRUE(event.chord_symbol.empty());
    }
  }

  const auto cut = first_event_start_before(solo->events, solo_start);
  ASSERT_TRUE(cut);
  for (const auto& event : events_in(arranged.events, 0, *cut)) {
    EXPECT_LE(event_end_ticks(event), *cut) << event.start_ticks;
  }
  EXPECT_EQ(events_in(arranged.events, *cut, solo_end), solo->events);
}

}  // namespace
