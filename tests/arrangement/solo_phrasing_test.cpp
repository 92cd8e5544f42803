#include "arrangement/solo_phrasing.hpp"

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/melody_path.hpp"
#include "arrangement/solo_theory.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"

#include <gtest/gtest.h>

#include "grip_fixtures.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using grip_fixtures::at;

constexpr solo_profile_config acoustic{.is_electric = 0};
constexpr solo_profile_config electric{.is_electric = 1};

solo_phrase_event note_of(int midi, std::int64_t duration = 16384) {
  return {.start_tick = 0, .duration_ticks = duration, .midi = midi};
}

parsed_chord chord(const std::string& symbol) { return *parse_chord_symbol(symbol); }

std::vector<int> frets_of(const std::vector<tab_position>& positions) {
  std::vector<int> frets;
  for (const auto& position : positions) frets.push_back(position.fret);
  return frets;
}

// The mini-chord score of a fingered shape, term by term.
int expected_score(const parsed_chord& chord, const std::vector<tab_position>& fingered) {
  return 2 * stock_fingering_score(fingered) + high_fret_region_penalty(fingered) +
         compact_jazz_shape_penalty(fingered) + 28 * std::abs(anchor_fret(fingered) - 5) +
         140 * missing_guide_tone_count(chord, fingered) +
         80 * missing_required_color_count(chord, fingered) -
         95 * guide_tone_degree_count(chord, fingered) -
         45 * required_color_degree_count(chord, fingered) - 18 * static_cast<int>(fingered.size());
}

// Mini-chord candidates

TEST(solo_phrasing_test, mini_chords_voice_long_acoustic_notes_over_a_chord) {
  const auto cmaj7 = chord("Cmaj7");
  const auto c_triad = chord("C");
  struct row {
    const char* name;
    solo_profile_config config;
    std::optional<parsed_chord> chord;
    solo_phrase_event note;
    std::size_t expected_size;  // 0: no mini-chord at all
  };
  const row rows[] = {
      {"a whole note over Cmaj7", acoustic, cmaj7, note_of(64), 4},
      {"a half note", acoustic, cmaj7, note_of(64, 8192), 4},
      {"a note just short of a half note", acoustic, cmaj7, note_of(64, 8191), 0},
      {"the electric solo", electric, cmaj7, note_of(64), 0},
      {"no chord sounding", acoustic, std::nullopt, note_of(64), 0},
      {"no place at fret 12 or below on the top strings", acoustic, cmaj7, note_of(77), 0},
      // E5 over C: no four-string shape works, so three-string shapes are offered.
      {"only three-string shapes", acoustic, c_triad, note_of(76), 3},
  };
  for (const auto& [name, config, sounding, note, expected_size] : rows) {
    const auto candidates =
        playable_acoustic_solo_mini_chord_candidates(config, note, sounding ? &*sounding : nullptr);
    if (expected_size == 0) {
      EXPECT_TRUE(candidates.empty()) << name;
      continue;
    }
    ASSERT_FALSE(candidates.empty()) << name;
    for (std::size_t index = 0; index < candidates.size(); ++index) {
      const auto& candidate = candidates[index];
      const auto& positions = candidate.positions;
      // One size only: a larger size that yields shapes suppresses the smaller ones.
      ASSERT_EQ(positions.size(), expected_size) << name;
      for (std::size_t string = 1; string <= expected_size; ++string) {
        EXPECT_TRUE(contains_string(positions, static_cast<int>(string))) << name;
      }
      EXPECT_EQ(candidate.label, "acoustic-solo-mini-chord") << name;
      EXPECT_EQ(candidate.note_index, -1) << name;
      EXPECT_TRUE(candidate.contains_melody) << name;
      EXPECT_TRUE(contains_midi(positions, note.midi)) << name;
      EXPECT_EQ(candidate.melody_on_top, top_midi_matches(positions, note.midi)) << name;
      EXPECT_TRUE(positions_have_string_order(positions)) << name;
      EXPECT_TRUE(positions_playable(positions)) << name;
      EXPECT_TRUE(positions_have_valid_fingering(positions)) << name;
      EXPECT_TRUE(std::ranges::all_of(positions, [](const tab_position& position) {
        return position.fret <= 12;
      })) << name;
      EXPECT_EQ(candidate.score, expected_score(*sounding, positions)) << name;
      if (index > 0) {
        EXPECT_LE(candidates[index - 1].score, candidate.score) << name;
      }
    }
  }
}

TEST(solo_phrasing_test, mini_chords_are_fingered_variants_of_shapes_without_repeated_pitches) {
  const auto dm7 = chord("Dm7");
  const auto candidates = playable_acoustic_solo_mini_chord_candidates(acoustic, note_of(65), &dm7);
  ASSERT_FALSE(candidates.empty());
  const auto targets = chord_target_pcs(dm7);
  for (std::size_t first = 0; first < candidates.size(); ++first) {
    // The shape's pitches all differ, and each is the note or one of the chord's targets.
    for (const auto& position : candidates[first].positions) {
      EXPECT_EQ(std::ranges::count(candidates[first].positions, position.midi, &tab_position::midi),
                1);
      EXPECT_TRUE(position.midi == 65 ||
                  std::ranges::find(targets, normalize_pc(position.midi)) != targets.end());
    }
    for (std::size_t second = first + 1; second < candidates.size(); ++second) {
      EXPECT_FALSE(
          same_fingered_positions(candidates[first].positions, candidates[second].positions));
    }
  }
}

// The options of one string

TEST(solo_phrasing_test, string_options_prefer_the_note_the_middle_of_the_neck_and_guide_tones) {
  struct row {
    const char* name;
    std::string chord;
    int midi;
    int string_number;
    std::vector<int> expected_frets;
  };
  const row rows[] = {
      // E (the note, a guide tone) open; B (guide tone) at 7; G at 3; C at 8; E again at 12.
      {"Cmaj7 under E on string 1", "Cmaj7", 64, 1, {0, 7, 3, 8, 12}},
      // F is no chord tone but comes first; of the nine places the ninth (Eb at 11) is cut.
      {"C7alt under F on string 1, cut to eight", "C7alt", 65, 1, {1, 6, 4, 0, 2, 8, 9, 12}},
      // G4 lies on string 4 only above fret 12: the chord tones alone.
      {"a note above fret 12 is not listed", "Cmaj7", 67, 4, {5, 2, 9, 10}},
  };
  for (const auto& [name, symbol, midi, string_number, expected_frets] : rows) {
    const auto options =
        acoustic_solo_mini_chord_position_options(chord(symbol), note_of(midi), string_number);
    EXPECT_EQ(frets_of(options), expected_frets) << name;
    for (const auto& option : options) {
      EXPECT_EQ(option.string_number, string_number) << name;
      EXPECT_EQ(option, at(string_number, option.fret)) << name;
    }
  }
}

}  // namespace
