#include "arrangement/anchors.hpp"

#include <gtest/gtest.h>

namespace {

using namespace orvanta::arrangement_detail;
using orvanta::arrangement_message;

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

arrangement_event event_at(std::int64_t start, std::int64_t duration) {
  arrangement_event event;
  event.start_ticks = start;
  event.duration_ticks = duration;
  return event;
}

TEST(anchors_test, an_event_covers_only_the_ticks_strictly_inside_it) {
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
    EXPECT_EQ(event_covers_tick(event_at(row.start, row.duration), row.tick), row.expected)
        << row.start << "+" << row.duration << " at " << row.tick;
  }
  EXPECT_EQ(event_end_ticks(event_at(8192, 2048)), 10240);
  EXPECT_EQ(event_end_ticks(event_at(100, -50)), 50);
}

TEST(anchors_test, only_an_event_with_positions_is_playable) {
  auto rest = event_at(0, 4096);
  rest.filler = true;
  auto slash = event_at(4096, 4096);
  slash.filler = true;
  slash.slash = true;
  auto label = event_at(8192, 4096);
  label.filler = true;
  label.chord_symbol = "C7";
  auto note = event_at(12288, 4096);
  note.positions = {{2, 1, 60, std::nullopt}};

  EXPECT_FALSE(has_playable_arrangement_event({}));
  EXPECT_FALSE(has_playable_arrangement_event({rest, slash, label}));
  EXPECT_TRUE(has_playable_arrangement_event({rest, slash, label, note}));
  EXPECT_TRUE(has_playable_arrangement_event({note}));
}

}  // namespace
