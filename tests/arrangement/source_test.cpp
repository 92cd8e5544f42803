#include "arrangement/source.hpp"

#include <gtest/gtest.h>

namespace {

using namespace orvanta::arrangement_detail;

TEST(source_test, normalize_pc_wraps_any_integer) {
  const std::pair<int, int> rows[] = {{0, 0},   {11, 11}, {12, 0},  {25, 1},
                                      {-1, 11}, {-12, 0}, {-13, 11}};
  for (const auto& [value, expected] : rows) EXPECT_EQ(normalize_pc(value), expected) << value;
}

TEST(source_test, open_strings_in_standard_tuning) {
  const int expected[] = {64, 59, 55, 50, 45, 40};
  for (int string = 1; string <= 6; ++string)
    EXPECT_EQ(open_midi_for_string(string), expected[string - 1]);
  EXPECT_FALSE(open_midi_for_string(0));
  EXPECT_FALSE(open_midi_for_string(7));
}

}  // namespace
