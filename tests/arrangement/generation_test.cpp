#include "arrangement/generation.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using grip_fixtures::at;

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

}  // namespace
