#include "corvane/errors.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace detail = corvane::detail;

TEST(errors_test, make_error_uses_the_framework_category) {
  const auto error = detail::make_error(4, "late", MENDRAL_HERE);
  EXPECT_EQ(error.category(), "corvane");
  EXPECT_EQ(error.code(), 4);
  EXPECT_EQ(error.message(), "late");
  EXPECT_STREQ(error.location().function, "TestBody");
}

TEST(errors_test, builders_from_a_code_and_message_build_the_error_at_the_given_site) {
  const mendral::source_location site{"unit.cpp", 7, "parse"};
  const auto value = detail::fail<int>(1, std::string("built ") + "text", site);
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().category(), "corvane");
  EXPECT_EQ(value.error().code(), 1);
  EXPECT_EQ(value.error().message(), "built text");
  EXPECT_EQ(value.error().location().line, 7u);
  EXPECT_STREQ(value.error().location().function, "parse");

  const auto nothing = detail::fail_void(4, "timed out waiting for sessions to drain", site);
  ASSERT_FALSE(nothing.has_value());
  EXPECT_EQ(nothing.error().code(), 4);
  EXPECT_EQ(nothing.error().message(), "timed out waiting for sessions to drain");
}

TEST(errors_test, builders_from_an_error_keep_it_whole) {
  const auto original = mendral::make_error("other", -3, "kept", {"f.cpp", 2, "g"});
  // Called qualified: unqualified, argument-dependent lookup also finds `mendral::fail`.
  const auto value = detail::fail<std::string>(original);
  const auto nothing = detail::fail_void(original);
  for (const auto* error : {&value.error(), &nothing.error()}) {
    EXPECT_EQ(error->category(), "other");
    EXPECT_EQ(error->code(), -3);
    EXPECT_EQ(error->message(), "kept");
    EXPECT_STREQ(error->location().file, "f.cpp");
  }
}

}  // namespace
