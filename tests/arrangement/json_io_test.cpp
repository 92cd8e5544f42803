#include "arrangement/json_io.hpp"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>

namespace {

using orvanta::arrangement_detail::integer_value;

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

}  // namespace
