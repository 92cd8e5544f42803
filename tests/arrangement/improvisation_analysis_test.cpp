#include "arrangement/improvisation_analysis.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using namespace orvanta::arrangement_detail::improvisation_detail;

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

}  // namespace
