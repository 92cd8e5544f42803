// The JSON documents under tests/fixtures, and the source score of the eight-bar lead sheet there.
// Only the test executables know where the folder is (ORVANTA_TEST_FIXTURES_DIR).
#pragma once

#include "arrangement/source.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include <fstream>
#include <sstream>
#include <string>

namespace fixture_documents {

using namespace orvanta::arrangement_detail;

// The document of the fixture file `name`, parsed.
inline boost::json::value read_fixture(const char* name) {
  std::ifstream file(std::string(ORVANTA_TEST_FIXTURES_DIR) + "/" + name);
  std::stringstream text;
  text << file.rdbuf();
  return boost::json::parse(text.str());
}

// The source score of lead_sheet_8_bars.json; empty when it holds no staff to arrange.
inline source_score lead_sheet() {
  const auto document = read_fixture("lead_sheet_8_bars.json");
  const auto* staff = source_staff(document);
  return staff == nullptr ? source_score{} : extract_source_score(*staff);
}

}  // namespace fixture_documents
