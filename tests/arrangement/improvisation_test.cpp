#include "arrangement/improvisation.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/improvisation_analysis.hpp"
#include "arrangement/improvisation_common.hpp"
#include "arrangement/improvisation_harmony.hpp"
#include "arrangement/improvisation_rhythm.hpp"
#include "arrangement/source.hpp"

#include <gtest/gtest.h>
#include <boost/json.hpp>

#include "fixture_documents.hpp"
#include "score_fixtures.hpp"
#include "solo_fixtures.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;
using fixture_documents::lead_sheet;
using score_fixtures::occurrences_of;
using score_fixtures::song_with_pickup;
using solo_fixtures::acoustic;
using solo_fixtures::analysis_of;
using solo_fixtures::electric;
using solo_fixtures::midis_of;
using solo_fixtures::phrase_of;
using solo_fixtures::timed_note;

constexpr std::int64_t eighth = 2048;
constexpr std::int64_t quarter = 4096;
constexpr std::int64_t whole = 16384;

// Fixtures

// A chord written on a note of a 4/4 song in C: the measure, the offset in it and the symbol.
struct chord_mark {
  std::size_t measure = 0;
  std::int64_t offset = 0;
  std::string symbol;
};

// `measures` 4/4 measures in `key` from tick 0, each filled by rests except where a chord is
// marked: there a quarter note E4 carries it (the harmony is all the corrections read).
source_score song(std::size_t measures, const std::vector<chord_mark>& chords,
                  const std::string& key = "C") {
  source_score score;
  for (std::size_t index = 0; index < measures; ++index) {
    source_measure measure;
    measure.key_signature = key;
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    score.measures.push_back(measure);
  }
  for (const auto& chord : chords) {
    source_note note;
    note.measure_index = chord.measure;
    note.start_tick = static_cast<std::int64_t>(chord.measure) * whole + chord.offset;
    note.duration_ticks = quarter;
    note.chord_symbol = chord.symbol;
    note.pitches = {{.midi = 64}};
    score.notes.push_back(note);
  }
  return score;
}

// The correction chain

TEST(improvisation_test, corrections_fit_the_notes_to_the_harmony) {
  struct row {
    const char* name;
    source_score score;
    improvisation_config config;
    std::vector<timed_note> notes;
    std::vector<int> expected_midis;
  };
  const auto c_major = song(4, {{0, 0, "Cmaj7"}});
  auto no_leap = electric();
  no_leap.max_leap = -3;
  const std::vector<row> rows = {
      // E over Cmaj7 is a chord tone of the scale: nothing to do.
      {"chord tones stay", c_major, electric(), {{0, whole, 64}}, {64}},
      // D held for a half note moves to the nearer chord tone, E (C is as near but listed later).
      {"a long note moves to a chord tone", c_major, electric(), {{0, 2 * quarter, 62}}, {64}},
      // F# is outside the C major scale; F costs 12 + 12 / 9, G 12 + 24 / 9.
      {"a short note moves into the scale", c_major, electric(), {{0, quarter, 66}}, {65}},
      // Without chords the key signature's major scale rules: in D, F becomes E.
      {"without chords the key's scale", song(4, {}, "D"), electric(), {{0, quarter, 65}}, {64}},
      // C D C: the second C turns; B (59) is near the D and on the top strings at fret 4.
      {"a pitch-class turn is broken",
       c_major,
       electric(),
       {{0, quarter, 60}, {quarter, quarter, 62}, {2 * quarter, quarter, 60}},
       {60, 62, 59}},
      // With no pitch near enough to the D, the turn stays.
      {"a turn without a near replacement stays",
       c_major,
       no_leap,
       {{0, quarter, 60}, {quarter, quarter, 62}, {2 * quarter, quarter, 60}},
       {60, 62, 60}},
  };
  for (const auto& [name, score, config, notes, expected_midis] : rows) {
    const auto chords = occurrences_of(score);
    const auto corrected =
        corrected_phrase_events(score, chords, config, analysis_of(), phrase_of(notes), 0);
    EXPECT_EQ(midis_of(corrected), expected_midis) << name;
  }
}

TEST(improvisation_test, a_note_across_a_chord_change_is_split_and_moved_to_the_new_chord) {
  const auto score = song(4, {{0, 0, "Cmaj7"}, {0, quarter, "F7"}});
  const auto chords = occurrences_of(score);
  auto events = phrase_of({{0, 2 * quarter, 64}});
  auto& note = events.front();
  note.tie_from_previous = note.tie_to_next = note.opens_phrase = note.closes_phrase = true;

  const auto corrected =
      corrected_phrase_events(score, chords, electric(), analysis_of(), events, 0);
  // F7's chord tones A, Eb, F, C: Eb and F both cost 12 + 12 / 9 near E, and Eb is listed first.
  const std::vector<solo_phrase_event> expected = {
      {.measure_index = 0,
       .start_tick = 0,
       .duration_ticks = quarter,
       .midi = 64,
       .tie_from_previous = true,
       .opens_phrase = true},
      {.measure_index = 0,
       .start_tick = quarter,
       .duration_ticks = quarter,
       .midi = 63,
       .tie_to_next = true,
       .closes_phrase = true},
  };
  EXPECT_EQ(corrected, expected);
  // The table overload reads the same harmony.
  EXPECT_EQ(corrected_phrase_events(score, chords, build_harmonic_context_table(score, chords),
                                    electric(), analysis_of(), events, 0),
            expected);
}

// Best phrase selection

// Every candidate phrase of the span as the selection builds it, with its score.
std::vector<std::pair<std::int32_t, std::vector<solo_phrase_event>>> scored_candidates(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const improvisation_config& config, const phrase_analysis& analysis,
    const std::vector<phrase_memory>& memory) {
  const auto style = arrangement_style_profile_for("Med. Swing");
  std::vector<std::pair<std::int32_t, std::vector<solo_phrase_event>>> scored;
  for (int candidate = 0; candidate < phrase_candidate_count; ++candidate) {
    const auto gestures = build_melody_gestures(score, style, chords, config, analysis, candidate);
    auto events = corrected_phrase_events(
        score, chords, config, analysis,
        realize_gestures(score, chords, config, gestures, candidate + analysis.span.index),
        candidate);
    const auto value = phrase_score(score, chords, config, analysis, events, memory);
    scored.emplace_back(value, std::move(events));
  }
  return scored;
}

TEST(improvisation_test, of_equal_best_phrases_the_lower_candidate_number_wins) {
  const auto score = lead_sheet();
  const auto chords = occurrences_of(score);
  auto config = acoustic();
  config.seed = 1672;
  const auto analysis = analyze_phrase(score, chords, config, phrase_spans_for_source(score)[1]);
  const auto scored = scored_candidates(score, chords, config, analysis, {});

  // Candidates 2 and 7 are different phrases with the same best score.
  const auto best =
      std::ranges::max(scored, {}, &std::pair<std::int32_t, std::vector<solo_phrase_event>>::first)
          .first;
  ASSERT_EQ(scored[2].first, best);
  ASSERT_EQ(scored[7].first, best);
  ASSERT_NE(scored[2].second, scored[7].second);
  for (std::size_t candidate = 0; candidate < 2; ++candidate) {
    ASSERT_LT(scored[candidate].first, best);
  }

  const auto style = arrangement_style_profile_for("Med. Swing");
  EXPECT_EQ(best_phrase_events(score, style, chords, config, analysis, {}), scored[2].second);
}

TEST(improvisation_test, the_best_phrase_is_the_first_highest_scored_against_the_memory) {
  const auto score = lead_sheet();
  const auto chords = occurrences_of(score);
  const auto style = arrangement_style_profile_for("Med. Swing");
  const auto config = electric();
  const auto spans = phrase_spans_for_source(score);
  const auto first = analyze_phrase(score, chords, config, spans[0]);
  const auto second = analyze_phrase(score, chords, config, spans[1]);
  const auto opening = best_phrase_events(score, style, chords, config, first, {});
  ASSERT_FALSE(opening.empty());
  const std::vector<phrase_memory> memory = {
      {.harmonic_signature = harmonic_signature_for_phrase(chords, spans[0]),
       .rhythm_signature = phrase_rhythm_signature(opening, spans[0].start_tick),
       .interval_signature = interval_signature(opening),
       .phrase_function = phrase_function_for(config, first),
       .first_pc = normalize_pc(opening.front().midi),
       .last_pc = normalize_pc(opening.back().midi),
       .range = 0,
       .pitch_classes = distinct_pitch_classes(opening),
       .events = opening}};

  const auto scored = scored_candidates(score, chords, config, second, memory);
  const auto best = std::ranges::max_element(
      scored, {}, &std::pair<std::int32_t, std::vector<solo_phrase_event>>::first);
  EXPECT_EQ(best_phrase_events(score, style, chords, config, second, memory), best->second);
  EXPECT_EQ(best_phrase_events(score, style, chords, build_harmonic_context_table(score, chords),
                               config, second, memory),
            best->second);
}

// The driver

// The driver's loop written out: seed as given, the memory of every accepted phrase.
std::vector<solo_phrase_event> solo_with_seed(const source_score& score,
                                              const std::vector<chord_occurrence>& chords,
                                              improvisation_config config, int seed) {
  const auto style = arrangement_style_profile_for("Med. Swing");
  config.seed = seed;
  std::vector<solo_phrase_event> solo;
  std::vector<phrase_memory> memory;
  for (const auto& span : phrase_spans_for_source(score)) {
    const auto analysis = analyze_phrase(score, chords, config, span);
    const auto events = best_phrase_events(score, style, chords, config, analysis, memory);
    if (events.empty()) continue;
    const auto [low, high] = std::ranges::minmax_element(events, {}, &solo_phrase_event::midi);
    memory.push_back({.harmonic_signature = harmonic_signature_for_phrase(chords, span),
                      .rhythm_signature = phrase_rhythm_signature(events, span.start_tick),
                      .interval_signature = interval_signature(events),
                      .phrase_function = phrase_function_for(config, analysis),
                      .first_pc = normalize_pc(events.front().midi),
                      .last_pc = normalize_pc(events.back().midi),
                      .range = high->midi - low->midi,
                      .pitch_classes = distinct_pitch_classes(events),
                      .events = events});
    solo.insert(solo.end(), events.begin(), events.end());
  }
  std::ranges::stable_sort(solo, {}, &solo_phrase_event::start_tick);
  return solo;
}

TEST(improvisation_test, the_solo_is_the_best_phrase_of_every_span_seeded_by_profile_and_section) {
  const auto score = song_with_pickup(8, quarter);
  const auto chords = occurrences_of(score);
  ASSERT_EQ(phrase_spans_for_source(score).size(), 3u);
  const auto style = arrangement_style_profile_for("Med. Swing");
  struct row {
    const char* name;
    guitar_solo_profile profile;
    std::uint64_t section_type;
    improvisation_config config;
    int seed;
  };
  const row rows[] = {
      {"acoustic, first solo", guitar_solo_profile::acoustic, 3, acoustic(), 134},
      {"electric, first solo", guitar_solo_profile::electric, 3, electric(), 160},
      {"acoustic, second solo", guitar_solo_profile::acoustic, 4, acoustic(), 165},
      {"electric, second solo", guitar_solo_profile::electric, 4, electric(), 191},
  };
  for (const auto& [name, profile, section_type, config, seed] : rows) {
    const auto solo =
        improvised_solo_phrase_events_for_source(score, style, chords, profile, section_type);
    EXPECT_EQ(solo, solo_with_seed(score, chords, config, seed)) << name;
    EXPECT_TRUE(std::ranges::is_sorted(solo, {}, &solo_phrase_event::start_tick)) << name;
  }
}

TEST(improvisation_test, only_the_low_32_bits_of_the_section_type_move_the_seed) {
  const auto score = song_with_pickup(4, quarter);
  const auto chords = occurrences_of(score);
  const auto style = arrangement_style_profile_for("Med. Swing");
  const auto solo = improvised_solo_phrase_events_for_source(score, style, chords,
                                                             guitar_solo_profile::electric, 3);
  EXPECT_EQ(improvised_solo_phrase_events_for_source(
                score, style, chords, guitar_solo_profile::electric, (std::uint64_t{1} << 32) + 3),
            solo);
  // A section type whose seed sum wraps around still gives a solo.
  EXPECT_FALSE(improvised_solo_phrase_events_for_source(score, style, chords,
                                                        guitar_solo_profile::electric,
                                                        std::numeric_limits<std::uint64_t>::max())
                   .empty());
}

TEST(improvisation_test, a_source_without_measures_has_no_solo) {
  EXPECT_TRUE(improvised_solo_phrase_events_for_source(source_score{},
                                                       arrangement_style_profile_for(""), {},
                                                       guitar_solo_profile::acoustic, 3)
                  .empty());
}

}  // namespace
