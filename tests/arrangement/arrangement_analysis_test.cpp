#include "arrangement/arrangement_analysis.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

constexpr std::int64_t whole = 16384;

// 4/4 measures, gapless from tick 0.
source_score measures_of(std::size_t count) {
  source_score score;
  for (std::size_t index = 0; index < count; ++index) {
    source_measure measure;
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    score.measures.push_back(std::move(measure));
  }
  return score;
}

source_note chord_note(std::string symbol, std::int64_t start, std::size_t measure_index,
                       std::string kind = "note") {
  source_note note;
  note.kind = std::move(kind);
  note.chord_symbol = std::move(symbol);
  note.start_tick = start;
  note.duration_ticks = 1024;
  note.measure_index = measure_index;
  if (note.kind == "note") note.pitches = {{.midi = 60}};
  return note;
}

TEST(arrangement_analysis_test, no_chord_symbols_give_an_empty_timeline) {
  EXPECT_EQ(build_harmonic_timeline({}), harmonic_timeline{});
  auto score = measures_of(2);
  score.notes = {chord_note("", 0, 0), chord_note("", 4096, 0, "rest")};
  EXPECT_EQ(build_harmonic_timeline(score), harmonic_timeline{});
}

// Chords listed out of time order, on a rest and beside symbols that do not parse.
TEST(arrangement_analysis_test, spans_run_in_time_order_and_parse_issues_stay_in_note_order) {
  auto score = measures_of(3);
  score.notes = {
      chord_note("F", whole, 1),           // 0
      chord_note("C", 0, 0, "rest"),       // 1: a rest may carry the chord
      chord_note("H7", whole + 4096, 1),   // 2: no root letter
      chord_note("   ", 4096, 0),          // 3: blanks are a symbol, not none
      chord_note("7", 8192, 0),            // 4
      chord_note("C/X", whole + 8192, 1),  // 5: unreadable bass, still a chord
      chord_note("", 12288, 0),            // 6
  };
  const auto timeline = build_harmonic_timeline(score);

  ASSERT_EQ(timeline.spans.size(), 3u);
  const auto expect_span = [&](std::size_t k, std::size_t note_index, std::int64_t start,
                               std::int64_t end, std::size_t measure_index) {
    const auto& span = timeline.spans[k];
    const auto& note = score.notes[note_index];
    EXPECT_EQ(span.start_tick, start) << k;
    EXPECT_EQ(span.end_tick, end) << k;
    EXPECT_EQ(span.measure_index, measure_index) << k;
    EXPECT_EQ(span.occurrence,
              (chord_occurrence{note_index, start, end, *parse_chord_symbol(note.chord_symbol),
                                note.chord_symbol}))
        << k;
  };
  expect_span(0, 1, 0, whole, 0);
  expect_span(1, 0, whole, whole + 8192, 1);
  expect_span(2, 5, whole + 8192, 3 * whole, 1);
  EXPECT_EQ(timeline.spans[2].occurrence.chord.root_pc, 0);
  EXPECT_EQ(timeline.spans[2].occurrence.chord.bass_pc, std::nullopt);

  EXPECT_EQ(timeline.parse_issues, (std::vector<harmonic_parse_issue>{
                                       {whole + 4096, 2, "H7"}, {4096, 3, "   "}, {8192, 4, "7"}}));
}

TEST(arrangement_analysis_test, span_lengths_decide_sustain_cadence_and_harmonic_rhythm) {
  struct expected_span {
    std::int64_t start;
    std::int64_t end;
    bool sustained;
    double cadence_weight;
    double harmonic_rhythm;
  };
  struct row {
    const char* name;
    std::size_t measures;
    std::vector<std::int64_t> chord_starts;
    std::vector<expected_span> spans;
  };
  const row rows[] = {
      {"one chord over a measure", 1, {0}, {{0, whole, true, 1.0, 1.0}}},
      {"chords on beats 1 and 3",
       1,
       {0, 8192},
       {{0, 8192, true, 0.0, 1.0}, {8192, whole, true, 1.0, 1.0}}},
      {"a quarter is sustained, a tick less is not",
       1,
       {0, 4096, 8191},
       {{0, 4096, true, 0.0, 1.0}, {4096, 8191, false, 0.0, 1.0}, {8191, whole, true, 1.0, 1.0}}},
      {"held over two measures to the source end", 2, {0}, {{0, 2 * whole, true, 1.0, 0.5}}},
      {"held for a dotted whole note",
       2,
       {0, 24576},
       {{0, 24576, true, 0.0, 16384.0 / 24576.0}, {24576, 2 * whole, true, 1.0, 1.0}}},
      {"two chords at one tick, by note index",
       1,
       {0, 0},
       {{0, 0, false, 0.0, 1.0}, {0, whole, true, 1.0, 1.0}}},
  };
  for (const auto& row : rows) {
    auto score = measures_of(row.measures);
    for (const auto start : row.chord_starts) {
      score.notes.push_back(chord_note("C", start, static_cast<std::size_t>(start / whole)));
    }
    const auto timeline = build_harmonic_timeline(score);
    ASSERT_EQ(timeline.spans.size(), row.spans.size()) << row.name;
    for (std::size_t k = 0; k < row.spans.size(); ++k) {
      const auto& span = timeline.spans[k];
      const auto& expected = row.spans[k];
      EXPECT_EQ(span.occurrence.note_index, k) << row.name << ", span " << k;
      EXPECT_EQ(span.start_tick, expected.start) << row.name << ", span " << k;
      EXPECT_EQ(span.end_tick, expected.end) << row.name << ", span " << k;
      EXPECT_EQ(span.occurrence.end_tick, expected.end) << row.name << ", span " << k;
      EXPECT_EQ(span.sustained, expected.sustained) << row.name << ", span " << k;
      EXPECT_EQ(span.cadence_weight, expected.cadence_weight) << row.name << ", span " << k;
      EXPECT_DOUBLE_EQ(span.harmonic_rhythm, expected.harmonic_rhythm)
          << row.name << ", span " << k;
    }
  }
}

}  // namespace
