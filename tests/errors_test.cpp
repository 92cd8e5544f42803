#include "errors.hpp"

#include <gtest/gtest.h>

#include <boost/json/value.hpp>

#include <string>

#include "corvane/detail/transport.hpp"

namespace {

constexpr mendral::source_location site{"server.cpp", 42, "check"};

void expect_error(const mendral::error& error, int code, std::string_view message) {
  EXPECT_EQ(error.category(), "orvanta");
  EXPECT_EQ(error.code(), code);
  EXPECT_EQ(error.message(), message);
  EXPECT_STREQ(error.location().file, "server.cpp");
  EXPECT_EQ(error.location().line, 42u);
  EXPECT_STREQ(error.location().function, "check");
}

TEST(errors_test, make_error_carries_the_application_category_and_code) {
  expect_error(orvanta::make_error(orvanta::error_code::invalid_argument, "bad request", site), 1,
               "bad request");
  expect_error(orvanta::make_error(orvanta::error_code::not_found, "no file", site), 2, "no file");
}

TEST(errors_test, fail_and_fail_void_hold_the_error) {
  const auto value =
      orvanta::fail<boost::json::value>(orvanta::error_code::invalid_argument, "bad request", site);
  ASSERT_FALSE(value.has_value());
  expect_error(value.error(), 1, "bad request");

  const auto done = orvanta::fail_void(orvanta::error_code::not_found, "no file", site);
  ASSERT_FALSE(done.has_value());
  expect_error(done.error(), 2, "no file");
}

TEST(errors_test, the_framework_names_and_maps_the_codes) {
  struct row {
    orvanta::error_code code;
    const char* name;
    unsigned http_status;
  };
  for (const auto& item : {row{orvanta::error_code::invalid_argument, "invalid_argument", 400},
                           row{orvanta::error_code::not_found, "not_found", 404}}) {
    const auto error = orvanta::make_error(item.code, "why", site);
    EXPECT_EQ(corvane::detail::status_name(error.code()), item.name);
    EXPECT_EQ(corvane::detail::http_status_for(error.code()), item.http_status);
    EXPECT_EQ(corvane::detail::serialize_response_envelope(std::unexpected(error)),
              std::string(R"({"ok":false,"code":")") + item.name + R"(","message":"why"})");
  }
}

}  // namespace
