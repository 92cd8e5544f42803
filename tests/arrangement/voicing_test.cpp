#include "arrangement/voicing.hpp"

#include "arrangement/source.hpp"

#include <gtest/gtest.h>

namespace {

using namespace orvanta::arrangement_detail;
using grip = std::vector<tab_position>;

tab_position at(int string_number, int fret, std::optional<int> finger = std::nullopt) {
  return {string_number, fret, *open_midi_for_string(string_number) + fret, finger};
}

grip_candidate candidate(grip positions, const char* label, int score, std::int64_t note_index = -1,
                         bool flags = false) {
  return {std::move(positions), label, score, note_index, flags, flags};
}

TEST(voicing_test, a_new_candidate_is_appended_with_its_positions_by_pitch) {
  std::vector<grip_candidate> candidates;
  add_unique_candidate(candidates, candidate({at(1, 5), at(4, 7), at(2, 5)}, "a", 10));
  EXPECT_EQ(candidates,
            (std::vector<grip_candidate>{candidate({at(4, 7), at(2, 5), at(1, 5)}, "a", 10)}));
}

TEST(voicing_test, duplicates_keep_one_entry_and_the_cheaper_grip) {
  const grip shell{at(4, 7), at(3, 5)};
  const grip shell_reversed{at(3, 5), at(4, 7)};
  const grip other{at(3, 5), at(2, 5)};
  struct row {
    const char* name;
    std::vector<grip_candidate> inserted;
    std::vector<grip_candidate> expected;
  };
  const row rows[] = {
      {"other order, equal score: the first stays",
       {candidate(shell, "first", 5), candidate(shell_reversed, "second", 5, -1, true)},
       {candidate(shell, "first", 5)}},
      {"higher score: the first stays",
       {candidate(shell, "first", 5), candidate(shell, "second", 6, -1, true)},
       {candidate(shell, "first", 5)}},
      {"strictly lower score replaces the entry whole, in its place",
       {candidate(shell, "first", 5), candidate(other, "other", 0),
        candidate(shell_reversed, "second", 4, -1, true)},
       {candidate(shell, "second", 4, -1, true), candidate(other, "other", 0)}},
      {"another note index is another entry",
       {candidate(shell, "first", 5, 3), candidate(shell, "second", 1, 4)},
       {candidate(shell, "first", 5, 3), candidate(shell, "second", 1, 4)}},
      {"same notes fingered differently are two grips",
       {candidate({at(4, 7, 3), at(3, 5, 1)}, "a", 5),
        candidate({at(4, 7, 4), at(3, 5, 1)}, "b", 1), candidate(shell, "c", 0)},
       {candidate({at(4, 7, 3), at(3, 5, 1)}, "a", 5),
        candidate({at(4, 7, 4), at(3, 5, 1)}, "b", 1), candidate(shell, "c", 0)}},
      {"candidates without positions are duplicates",
       {candidate({}, "first", 5, 2), candidate({}, "second", -5, 2),
        candidate({}, "third", -5, 2)},
       {candidate({}, "second", -5, 2)}},
  };
  for (const auto& [name, inserted, expected] : rows) {
    std::vector<grip_candidate> candidates;
    for (const auto& entry : inserted) add_unique_candidate(candidates, entry);
    EXPECT_EQ(candidates, expected) << name;
  }
}

TEST(voicing_test, sorting_by_score_keeps_equal_scores_in_list_order) {
  std::vector<grip_candidate> candidates{
      candidate({at(2, 5)}, "c", 30), candidate({at(2, 6)}, "a", -10),
      candidate({at(2, 7)}, "d", 30), candidate({at(2, 8)}, "b", 0),
      candidate({at(2, 9)}, "e", 30),
  };
  sort_candidates_by_score(candidates);
  std::string labels;
  for (const auto& entry : candidates) labels += entry.label;
  EXPECT_EQ(labels, "abcde");

  std::vector<grip_candidate> empty;
  sort_candidates_by_score(empty);
  EXPECT_TRUE(empty.empty());
}

}  // namespace
