// Captures the messages of the default logger at debug level while it lives, then puts the
// standard-error sink back.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "mendral/log.hpp"

namespace corvane_test {

class log_capture {
 public:
  log_capture() {
    mendral::default_logger().set_sink([this](const mendral::log_record& record) {
      std::lock_guard lock(mutex);
      messages.push_back(record.message);
    });
    mendral::set_default_log_level(mendral::log_level::debug);
  }
  ~log_capture() {
    mendral::set_default_log_level(mendral::log_level::info);
    mendral::default_logger().set_sink([](const mendral::log_record& record) {
      std::fprintf(stderr, "[%s] %s (%s:%u)\n", std::string(to_string(record.level)).c_str(),
                   record.message.c_str(), record.location.file, record.location.line);
    });
  }
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex);
    return messages;
  }

 private:
  std::mutex mutex;
  std::vector<std::string> messages;
};

}  // namespace corvane_test
