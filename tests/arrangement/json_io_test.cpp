#include "arrangement/json_io.hpp"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>

namespace {

using namespace orvanta::arrangement_detail;

TEST(json_io_test, integer_value_takes_only_whole_integers_in_signed_range) {
  const std::pair<const char*, std::optional<std::int64_t>> rows[] = {
      {"7", 7},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {"18446744073709551615", std::nullopt},
      {"1.0", std::nullopt},
      {"1e2", std::nullopt},
      {"\"3\"", std::nullopt},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"[]", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(integer_value(boost::json::parse(text)), expected) << text;
  }
}

// Each row reads key "m" of an object: absent when the member text is empty.
struct member_row {
  const char* name;
  const char* member_json;
  std::string text;
  bool flag;
  std::int64_t integer;
  std::optional<std::int64_t> optional_integer;
};

boost::json::object object_with(const char* member_json) {
  if (*member_json == '\0') return {};
  return boost::json::parse(std::string("{\"m\":") + member_json + "}").as_object();
}

TEST(json_io_test, member_readers_fall_back_on_missing_or_mistyped_members) {
  const member_row rows[] = {
      {"absent", "", "fallback", false, -1, std::nullopt},
      {"null", "null", "fallback", false, -1, std::nullopt},
      {"string", "\"text\"", "text", false, -1, std::nullopt},
      {"empty string", "\"\"", "", false, -1, std::nullopt},
      {"string true", "\"true\"", "true", false, -1, std::nullopt},
      {"true", "true", "fallback", true, -1, std::nullopt},
      {"false", "false", "fallback", false, -1, std::nullopt},
      {"one", "1", "fallback", false, 1, 1},
      {"zero", "0", "fallback", false, 0, 0},
      {"whole double", "2.0", "fallback", false, -1, std::nullopt},
      {"huge unsigned", "18446744073709551615", "fallback", false, -1, std::nullopt},
      {"object", "{}", "fallback", false, -1, std::nullopt},
  };
  for (const auto& row : rows) {
    const auto object = object_with(row.member_json);
    EXPECT_EQ(string_member(object, "m", "fallback"), row.text) << row.name;
    EXPECT_EQ(bool_member(object, "m"), row.flag) << row.name;
    EXPECT_EQ(integer_member(object, "m", -1), row.integer) << row.name;
    EXPECT_EQ(optional_integer_member(object, "m"), row.optional_integer) << row.name;
  }
}

TEST(json_io_test, member_points_into_the_object_or_is_null) {
  const auto object = object_with("[1, 2]");
  ASSERT_NE(member(object, "m"), nullptr);
  EXPECT_EQ(member(object, "m"), &object.at("m"));
  EXPECT_EQ(member(object, "missing"), nullptr);
}

}  // namespace
