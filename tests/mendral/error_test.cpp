#include "mendral/error.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

using mendral::error;
using mendral::error_config;

error sample_error() { return mendral::make_error("corvane", 4, "M", {"F", 158, "f"}); }

bool same_error(const error& left, const error& right) {
  return left.category() == right.category() && left.code() == right.code() &&
         left.message() == right.message() && left.location().file == right.location().file &&
         left.location().line == right.location().line &&
         left.location().function == right.location().function;
}

// Restores the process default after each test that changes it.
class default_config_test : public testing::Test {
 protected:
  void TearDown() override { mendral::set_default_error_config({}); }
};

TEST(error_test, describe_follows_the_flags) {
  struct row {
    const char* name;
    error_config config;
    const char* expected;
  };
  const row rows[] = {
      {"all four", {true, true, true, true}, "corvane:4: M (F:158)"},
      {"category and code", {true, true, false, false}, "corvane:4"},
      {"category and message", {true, false, true, false}, "corvane: M"},
      {"code and message", {false, true, true, false}, "4: M"},
      {"message only", {false, false, true, false}, "M"},
      {"location only", {false, false, false, true}, "(F:158)"},
      {"code and location", {false, true, false, true}, "4 (F:158)"},
      {"none", {false, false, false, false}, ""},
  };
  for (const auto& [name, config, expected] : rows) {
    EXPECT_EQ(sample_error().describe(config), expected) << name;
  }
}

TEST(error_test, separators_follow_flags_not_texts) {
  const auto empty_category = mendral::make_error("", 1, "M", {"F", 1, "f"});
  EXPECT_EQ(empty_category.describe({true, false, true, false}), ": M");
}

TEST(error_test, extreme_numbers_print_in_full) {
  const auto failure =
      mendral::make_error("c", -1, "m", {"F", std::numeric_limits<std::uint32_t>::max(), "f"});
  EXPECT_EQ(failure.describe(), "c:-1: m (F:4294967295)");
}

TEST_F(default_config_test, describe_without_arguments_uses_the_process_default) {
  EXPECT_EQ(sample_error().describe(), "corvane:4: M (F:158)");
  mendral::set_default_error_config({false, false, true, false});
  EXPECT_EQ(sample_error().describe(), "M");
  const auto stored = mendral::default_error_config();
  EXPECT_FALSE(stored.include_category);
  EXPECT_FALSE(stored.include_code);
  EXPECT_TRUE(stored.include_message);
  EXPECT_FALSE(stored.include_location);
}

TEST(error_test, copies_and_failures_keep_every_field) {
  const auto original = sample_error();
  const error copy = original;
  EXPECT_TRUE(same_error(copy, original));

  const auto result = mendral::fail<int>(original);
  ASSERT_FALSE(result.has_value());
  EXPECT_TRUE(same_error(result.error(), original));
}

TEST(error_test, here_names_the_bare_function) {
  const auto site = [] { return MENDRAL_HERE; }();
  EXPECT_STREQ(site.function, "operator()");
  EXPECT_STREQ(site.file, __FILE__);
  EXPECT_GT(site.line, 0u);
}

}  // namespace
