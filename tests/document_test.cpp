#include "document.hpp"

#include <gtest/gtest.h>

namespace {

TEST(document_test, measure_capacity_of_time_signatures) {
  const std::pair<const char*, std::int64_t> rows[] = {
      {"4/4", 16384},       {"3/4", 12288},  {"6/8", 12288},   {"12/8", 24576},  {"2/2", 16384},
      {"1/1", 16384},       {"8/1", 131072}, {"16/2", 131072}, {"32/4", 131072}, {"3/32", 1536},
      {"04/4", 16384},      {"9/1", 0},      {"17/2", 0},      {"33/32", 0},     {"4/3", 0},
      {"0/4", 0},           {"-4/4", 0},     {"+4/4", 0},      {" 4/4", 0},      {"4/4 ", 0},
      {"4 /4", 0},          {"4/4/4", 0},    {"4", 0},         {"/4", 0},        {"", 0},
      {"99999999999/4", 0}, {"4/0", 0},      {"4/-4", 0},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(orvanta::measure_capacity_ticks(text), expected) << '"' << text << '"';
  }
}

}  // namespace
