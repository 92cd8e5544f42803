// A small levelled logger: records with a level, a message and the logging site go to a
// replaceable sink, by default one line per record on standard error.
#pragma once

#include <pthread.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "mendral/error.hpp"

namespace mendral {

enum class log_level : int { trace, debug, info, warn, error, critical, off };

// "trace" to "off"; "unknown" for any other value.
std::string_view to_string(log_level level);

struct log_record {
  log_level level = log_level::info;
  std::string message;
  source_location location;
  std::chrono::system_clock::time_point time;
  pthread_t thread{};
};

using log_sink = std::function<void(const log_record&)>;

class logger {
 public:
  logger();
  logger(const logger&) = delete;
  logger& operator=(const logger&) = delete;

  void set_level(log_level level);
  log_level level() const;
  // True when a record of this level would reach a sink.
  bool enabled(log_level level) const;
  // Replaces the sink; an empty function disables the logger.
  void set_sink(log_sink sink);
  // Hands the record to a copy of the sink, one record at a time, unless it is filtered out.
  void write(log_record record) const;
  void log(log_level level, std::string message, source_location location) const;

 private:
  mutable std::mutex state_mutex;
  mutable std::mutex sink_mutex;
  log_level minimum_level = log_level::info;
  log_sink sink;
};

// The process-wide logger, built on first use.
logger& default_logger();
void set_default_log_level(log_level level);
bool is_log_enabled(log_level level);

void log(log_level level, std::string message, source_location location);
void log_trace(std::string message, source_location location);
void log_debug(std::string message, source_location location);
void log_info(std::string message, source_location location);
void log_warn(std::string message, source_location location);
void log_error(std::string message, source_location location);
void log_critical(std::string message, source_location location);

}  // namespace mendral
