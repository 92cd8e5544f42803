#include "arrangement_types.hpp"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>

namespace {

using orvanta::arrangement_part_type;

TEST(arrangement_types_test, part_types_parse_only_from_their_exact_words) {
  const std::pair<std::string_view, std::optional<arrangement_part_type>> rows[] = {
      {"electric", arrangement_part_type::electric},
      {"acoustic", arrangement_part_type::acoustic},
      {"vocal", arrangement_part_type::vocal},
      {"Electric", std::nullopt},
      {"ELECTRIC", std::nullopt},
      {" electric", std::nullopt},
      {"electric ", std::nullopt},
      {"electri", std::nullopt},
      {std::string_view("electric\0", 9), std::nullopt},
      {"", std::nullopt},
      {"0", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(orvanta::parse_arrangement_part_type(text), expected) << "'" << text << "'";
  }
}

TEST(arrangement_types_test, part_types_print_as_their_words_and_unknown_values_as_electric) {
  const std::pair<arrangement_part_type, std::string_view> rows[] = {
      {arrangement_part_type::electric, "electric"},
      {arrangement_part_type::acoustic, "acoustic"},
      {arrangement_part_type::vocal, "vocal"},
      {static_cast<arrangement_part_type>(7), "electric"},
      {static_cast<arrangement_part_type>(-1), "electric"},
  };
  for (const auto& [type, text] : rows) {
    EXPECT_EQ(orvanta::to_string(type), text) << static_cast<int>(type);
  }
  for (const auto type : {arrangement_part_type::electric, arrangement_part_type::acoustic,
                          arrangement_part_type::vocal}) {
    EXPECT_EQ(orvanta::parse_arrangement_part_type(orvanta::to_string(type)), type);
  }
}

TEST(arrangement_types_test, results_compare_documents_by_value) {
  const orvanta::arrangement_result result{boost::json::parse(R"({"staves":[]})"),
                                           {{"warning", "", "worked around"}}};
  auto copy = result;
  EXPECT_EQ(copy, result);
  copy.document.as_object()["staves"].as_array().push_back(1);
  EXPECT_NE(copy, result);
}

}  // namespace
