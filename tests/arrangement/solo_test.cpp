#include "arrangement/solo.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/form.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/melody_path.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>
#include <boost/json.hpp>

#include "fixture_documents.hpp"
#include "grip_fixtures.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using fixture_documents::lead_sheet;
using grip_fixtures::at;
using orvanta::arrangement_message;

constexpr solo_profile_config acoustic{.is_electric = 0};
constexpr solo_profile_config electric{.is_electric = 1};

// Single solo notes

TEST(solo_test, single_notes_cost_the_melody_note_plus_the_solo_charges) {
  constexpr solo_profile_config wide_electric{.is_electric = 1, .high_midi = 76};
  constexpr solo_profile_config wide_acoustic{.is_electric = 0, .high_midi = 76};
  struct row {
    const char* name;
    solo_profile_config config;
    int midi;
    tab_position place;
    int extra;
  };
  const row rows[] = {
      {"the written pitch in the middle of the neck", electric, 60, at(3, 5), 0},
      {"an octave up costs 95 x 12 + 720", electric, 60, at(1, 8), 1860},
      {"an open string", electric, 64, at(1, 0), 70},
      {"the first fret", acoustic, 65, at(1, 1), 35},
      {"an octave down, open", electric, 76, at(1, 0), 1860 + 70},
      {"two octaves down", electric, 76, at(4, 2), 95 * 24 + 720},
      {"electric fret 12", electric, 62, at(4, 12), 175 * 3},
      {"acoustic fret 12", acoustic, 62, at(4, 12), 210 * 3},
      {"electric fret 16", electric, 66, at(4, 16), 175 * 7 + 320 * 4 + 540},
      {"acoustic fret 16", acoustic, 66, at(4, 16), 210 * 7 + 380 * 4 + 540},
      {"electric string 1 above fret 9", wide_electric, 74, at(1, 10), 175 + 110},
      {"acoustic string 1 above fret 9", wide_acoustic, 74, at(1, 10), 210 + 140},
  };
  for (const auto& [name, config, midi, place, extra] : rows) {
    const auto candidates = playable_single_solo_candidates_for_midi(config, midi);
    const auto fingerings = melody_candidates(place);
    ASSERT_FALSE(fingerings.empty()) << name;
    for (const auto& fingering : fingerings) {
      const auto found =
          std::ranges::find(candidates, fingering.positions, &grip_candidate::positions);
      ASSERT_NE(found, candidates.end()) << name;
      EXPECT_EQ(found->score, fingering.score + extra) << name;
    }
  }
}

TEST(solo_test, single_notes_are_moved_by_octaves_into_the_register) {
  struct row {
    const char* name;
    solo_profile_config config;
    int midi;
    std::set<int> expected_midis;
    const char* expected_label;
  };
  const row rows[] = {
      {"E5 is played an octave or two lower", electric, 76, {64, 52}, "electric-solo-note"},
      {"C4 as written or an octave up", acoustic, 60, {60, 72}, "acoustic-solo-note"},
      {"E2 rises into the register", electric, 40, {52, 64}, "electric-solo-note"},
      {"C7 comes down to the top of the register", acoustic, 96, {72}, "acoustic-solo-note"},
  };
  for (const auto& [name, config, midi, expected_midis, expected_label] : rows) {
    const auto candidates = playable_single_solo_candidates_for_midi(config, midi);
    std::set<int> midis;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto& candidate = candidates[index];
      ASSERT_EQ(candidate.positions.size(), 1u) << name;
      const auto& position = candidate.positions.front();
      midis.insert(position.midi);
      EXPECT_GE(position.string_number, 1) << name;
      EXPECT_LE(position.string_number, 4) << name;
      EXPECT_EQ(candidate.label, expected_label) << name;
      if (index > 0) {
        EXPECT_LE(candidates[index - 1].score, candidate.score) << name;
      }
    }
    EXPECT_EQ(midis, expected_midis) << name;
  }
}

// Solo section events

// The first solo section of the lead sheet's form, moved to where it plays in the arrangement.
source_score solo_slice() {
  const auto score = lead_sheet();
  const auto sections =
      full_arrangement_sections(score, orvanta::arrangement_part_type::electric, true);
  const auto& solo = sections.at(3);
  const auto start = 3 * source_section_duration(score, solo.first_measure, solo.measure_count);
  return source_slice(score, solo, start);
}

struct solo_run {
  generated_guitar_events generated;
  std::vector<arrangement_message> messages;
};

solo_run run_solo(const source_score& slice, guitar_solo_profile profile) {
  solo_run run;
  run.generated = generated_solo_events_for_source(
      slice, arrangement_style_profile_for("Med. Swing"), run.messages, profile, 3);
  return run;
}

TEST(solo_test, a_solo_section_becomes_fretted_normalised_events) {
  const auto slice = solo_slice();
  ASSERT_EQ(slice.measures.size(), 8u);
  const auto begin = slice.measures.front().start_tick;
  const auto end = slice.measures.back().start_tick + slice.measures.back().capacity_ticks;
  for (const auto profile : {guitar_solo_profile::acoustic, guitar_solo_profile::electric}) {
    const auto name = profile == guitar_solo_profile::electric ? "electric" : "acoustic";
    const auto run = run_solo(slice, profile);
    EXPECT_TRUE(run.messages.empty()) << name;
    EXPECT_TRUE(run.generated.playable) << name;
    const auto& events = run.generated.events;
    ASSERT_FALSE(events.empty()) << name;

    std::size_t sounding = 0;
    std::size_t chords = 0;
    for (std::size_t index = 0; index < events.size(); ++index) {
      const auto& event = events[index];
      EXPECT_GE(event.start_ticks, begin) << name;
      EXPECT_LE(event_end_ticks(event), end) << name;
      if (index + 1 < events.size()) {
        // In time order, one event per tick, none sounding into the next.
        EXPECT_LT(event.start_ticks, events[index + 1].start_ticks) << name;
        EXPECT_LE(event_end_ticks(event), events[index + 1].start_ticks) << name;
      }
      // Every chord label is the source's, on the tick where it is written.
      if (!event.chord_symbol.empty()) {
        EXPECT_TRUE(std::ranges::any_of(slice.notes, [&](const source_note& note) {
          return note.start_tick == event.start_ticks && note.chord_symbol == event.chord_symbol;
        })) << name;
      }
      EXPECT_FALSE(event.tie_to_next || event.tie_from_previous) << name;
      if (event.positions.empty()) continue;
      ++sounding;
      if (event.positions.size() > 1) ++chords;
      EXPECT_TRUE(positions_playable(event.positions)) << name << " " << event.start_ticks;
      EXPECT_TRUE(positions_have_valid_fingering(event.positions)) << name;
      EXPECT_TRUE(positions_use_upper_melody_strings(event.positions)) << name;
      for (const auto& position : event.positions) {
        EXPECT_TRUE(position.fret == 0 || position.finger.has_value()) << name;
        if (event.positions.size() == 1) {
          EXPECT_GE(position.midi, 52) << name;
          EXPECT_LE(position.midi, 72) << name;
        }
      }
    }
    EXPECT_GT(sounding, 8u) << name;
    // Only the acoustic solo voices its long notes as mini-chords.
    if (profile == guitar_solo_profile::electric) {
      EXPECT_EQ(chords, 0u);
    } else {
      EXPECT_GT(chords, 0u);
    }

    // The same section gives the same solo every time.
    const auto again = run_solo(slice, profile);
    EXPECT_EQ(again.generated, run.generated) << name;
  }
}

TEST(solo_test, the_section_type_seeds_the_solo) {
  const auto slice = solo_slice();
  std::vector<arrangement_message> messages;
  const auto style = arrangement_style_profile_for("Med. Swing");
  const auto first =
      generated_solo_events_for_source(slice, style, messages, guitar_solo_profile::electric, 3);
  const auto second =
      generated_solo_events_for_source(slice, style, messages, guitar_solo_profile::electric, 4);
  EXPECT_NE(first.events, second.events);
}

TEST(solo_test, a_solo_without_playable_notes_is_reported_and_still_finished) {
  struct row {
    const char* name;
    guitar_solo_profile profile;
    const char* expected_message;
  };
  const row rows[] = {
      {"electric", guitar_solo_profile::electric,
       "No playable electric guitar solo events were found."},
      {"acoustic", guitar_solo_profile::acoustic,
       "No playable acoustic guitar solo events were found."},
  };
  for (const auto& [name, profile, expected_message] : rows) {
    // No measures: the improviser has no phrase to play.
    const auto run = run_solo(source_score{}, profile);
    EXPECT_EQ(run.messages, (std::vector<arrangement_message>{{"warning", "", expected_message}}))
        << name;
    EXPECT_FALSE(run.generated.playable) << name;
    EXPECT_FALSE(has_playable_arrangement_event(run.generated.events)) << name;
  }
}

TEST(solo_test, an_unreadable_chord_symbol_is_a_warning_and_the_solo_goes_on) {
  auto slice = solo_slice();
  const auto chord_note = std::ranges::find_if(
      slice.notes, [](const source_note& note) { return !note.chord_symbol.empty(); });
  ASSERT_NE(chord_note, slice.notes.end());
  chord_note->chord_symbol = "H7";
  const auto run = run_solo(slice, guitar_solo_profile::acoustic);
  EXPECT_EQ(
      run.messages,
      (std::vector<arrangement_message>{{"warning", "", "Chord 'H7' could not be arranged."}}));
  EXPECT_TRUE(run.generated.playable);
}

}  // namespace
