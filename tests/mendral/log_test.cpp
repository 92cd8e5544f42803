#include "mendral/log.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using mendral::log_level;

class default_logger_test : public testing::Test {
 protected:
  void TearDown() override { mendral::set_default_log_level(log_level::info); }
};

TEST(log_test, level_names) {
  EXPECT_EQ(mendral::to_string(log_level::trace), "trace");
  EXPECT_EQ(mendral::to_string(log_level::critical), "critical");
  EXPECT_EQ(mendral::to_string(log_level::off), "off");
  EXPECT_EQ(mendral::to_string(static_cast<log_level>(7)), "unknown");
}

TEST(log_test, enabled_follows_the_minimum_level_and_the_sink) {
  mendral::logger logger;
  EXPECT_FALSE(logger.enabled(log_level::debug));
  EXPECT_TRUE(logger.enabled(log_level::info));
  EXPECT_TRUE(logger.enabled(log_level::critical));

  logger.set_level(log_level::off);
  EXPECT_FALSE(logger.enabled(log_level::critical));
  EXPECT_FALSE(logger.enabled(log_level::off));

  logger.set_level(log_level::trace);
  EXPECT_TRUE(logger.enabled(log_level::trace));
  EXPECT_EQ(logger.level(), log_level::trace);

  logger.set_sink({});
  EXPECT_FALSE(logger.enabled(log_level::critical));
  logger.log(log_level::critical, "dropped", MENDRAL_HERE);  // must not call an empty sink
}

TEST(log_test, records_reach_the_sink_with_their_fields) {
  mendral::logger logger;
  std::vector<mendral::log_record> seen;
  logger.set_sink([&](const mendral::log_record& record) { seen.push_back(record); });

  logger.log(log_level::debug, "filtered", {"F", 1, "f"});
  logger.log(log_level::off, "kept", {"F", 2, "f"});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].level, log_level::off);
  EXPECT_EQ(seen[0].message, "kept");
  EXPECT_EQ(seen[0].location.line, 2u);
}

TEST_F(default_logger_test, debug_record_writes_one_stderr_line) {
  mendral::log_debug("M", {"F", 356, "f"});
  mendral::set_default_log_level(log_level::debug);
  EXPECT_TRUE(mendral::is_log_enabled(log_level::debug));
  testing::internal::CaptureStderr();
  mendral::log_debug("M", {"F", 356, "f"});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[debug] M (F:356)\n");
}

TEST_F(default_logger_test, nothing_is_written_below_the_default_level) {
  testing::internal::CaptureStderr();
  mendral::log_debug("hidden", MENDRAL_HERE);
  mendral::log_trace("hidden", MENDRAL_HERE);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(default_logger_test, concurrent_lines_never_interleave) {
  constexpr int per_thread = 200;
  const std::string first(300, 'a');
  const std::string second(300, 'b');
  testing::internal::CaptureStderr();
  std::thread writer_a([&] {
    for (int i = 0; i < per_thread; ++i) mendral::log_info(first, {"F", 1, "f"});
  });
  std::thread writer_b([&] {
    for (int i = 0; i < per_thread; ++i) mendral::log_warn(second, {"F", 2, "f"});
  });
  writer_a.join();
  writer_b.join();
  const auto output = testing::internal::GetCapturedStderr();

  const std::string line_a = "[info] " + first + " (F:1)";
  const std::string line_b = "[warn] " + second + " (F:2)";
  int count_a = 0;
  int count_b = 0;
  std::size_t start = 0;
  while (start < output.size()) {
    const auto end = output.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const auto line = output.substr(start, end - start);
    if (line == line_a)
      ++count_a;
    else if (line == line_b)
      ++count_b;
    else
      FAIL() << "interleaved line: " << line.substr(0, 80);
    start = end + 1;
  }
  EXPECT_EQ(count_a, per_thread);
  EXPECT_EQ(count_b, per_thread);
}

TEST(log_test, a_write_during_sink_replacement_goes_to_one_sink_whole) {
  mendral::logger logger;
  std::atomic<int> old_count = 0;
  std::atomic<int> new_count = 0;
  logger.set_sink([&](const mendral::log_record&) { ++old_count; });
  std::thread replacer([&] { logger.set_sink([&](const mendral::log_record&) { ++new_count; }); });
  for (int i = 0; i < 100; ++i) logger.log(log_level::info, "x", MENDRAL_HERE);
  replacer.join();
  EXPECT_EQ(old_count + new_count, 100);
}

}  // namespace
