// Replays every saved input of one fuzz target under the sanitizers: the seeds of its corpus
// folder and the findings of its found folder (inputs that once made it fault). One test per
// file, named after the target and the file, so a failing test names the input that broke.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "fuzz_target.hpp"

bool orvanta::fuzz::replaying() { return true; }

namespace {

namespace fs = std::filesystem;

struct saved_input {
  std::string name;
  fs::path path;
};

void PrintTo(const saved_input& input, std::ostream* out) { *out << input.path; }

// A test name made of the target's and the file's names: letters, digits and underscores only,
// unique in the folder.
std::string test_name(const fs::path& file, std::set<std::string>& taken) {
  std::string name = std::string(ORVANTA_FUZZ_TARGET) + "_" + file.filename().string();
  for (auto& character : name) {
    if (!std::isalnum(static_cast<unsigned char>(character))) character = '_';
  }
  const std::string stem = name;
  for (int suffix = 2; !taken.insert(name).second; ++suffix) {
    name = stem + "_" + std::to_string(suffix);
  }
  return name;
}

// The regular files of the target's folder, by file name; none when the folder does not exist.
std::vector<saved_input> saved_inputs(const char* folder) {
  const fs::path directory = fs::path(ORVANTA_FUZZ_INPUTS_DIR) / ORVANTA_FUZZ_TARGET / folder;
  std::vector<fs::path> files;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(directory, missing)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::set<std::string> taken;
  std::vector<saved_input> inputs;
  for (const auto& file : files) inputs.push_back({test_name(file, taken), file});
  return inputs;
}

class fuzz_replay : public testing::TestWithParam<saved_input> {};

TEST_P(fuzz_replay, runs_without_a_fault) {
  std::ifstream file(GetParam().path, std::ios::binary);
  ASSERT_TRUE(file) << "cannot read " << GetParam().path;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
  orvanta::fuzz::fuzz_one_input(bytes.data(), bytes.size());
}

std::string name_of(const testing::TestParamInfo<saved_input>& info) { return info.param.name; }

// A target without findings has no found folder.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(fuzz_replay);
INSTANTIATE_TEST_SUITE_P(corpus, fuzz_replay, testing::ValuesIn(saved_inputs("corpus")), name_of);
INSTANTIATE_TEST_SUITE_P(found, fuzz_replay, testing::ValuesIn(saved_inputs("found")), name_of);

}  // namespace
