#include "mendral/log.hpp"

#include <iostream>
#include <sstream>
#include <utility>

namespace mendral {
namespace {

void stderr_sink(const log_record& record) {
  static std::mutex mutex;
  std::ostringstream line;
  line << '[' << to_string(record.level) << "] " << record.message << " (" << record.location.file
       << ':' << record.location.line << ")\n";
  std::lock_guard lock(mutex);
  std::cerr << line.str();
}

}  // namespace

std::string_view to_string(log_level level) {
  switch (level) {
    case log_level::trace: return "trace";
    case log_level::debug: return "debug";
    case log_level::info: return "info";
    case log_level::warn: return "warn";
    case log_level::error: return "error";
    case log_level::critical: return "critical";
    case log_level::off: return "off";
  }
  return "unknown";
}

logger::logger() : sink(stderr_sink) {}

void logger::set_level(log_level level) {
  std::lock_guard lock(state_mutex);
  minimum_level = level;
}

log_level logger::level() const {
  std::lock_guard lock(state_mutex);
  return minimum_level;
}

bool logger::enabled(log_level level) const {
  std::lock_guard lock(state_mutex);
  return level >= minimum_level && minimum_level != log_level::off && sink;
}

void logger::set_sink(log_sink new_sink) {
  std::lock_guard lock(state_mutex);
  sink = std::move(new_sink);
}

void logger::write(log_record record) const {
  log_sink current;
  {
    std::lock_guard lock(state_mutex);
    if (record.level < minimum_level || minimum_level == log_level::off || !sink) return;
    current = sink;
  }
  std::lock_guard lock(sink_mutex);
  current(record);
}

void logger::log(log_level level, std::string message, source_location location) const {
  write(log_record{level, std::move(message), location, std::chrono::system_clock::now(),
                   pthread_self()});
}

logger& default_logger() {
  static logger instance;
  return instance;
}

void set_default_log_level(log_level level) { default_logger().set_level(level); }

bool is_log_enabled(log_level level) { return default_logger().enabled(level); }

void log(log_level level, std::string message, source_location location) {
  default_logger().log(level, std::move(message), location);
}

void log_trace(std::string message, source_location location) {
  log(log_level::trace, std::move(message), location);
}
void log_debug(std::string message, source_location location) {
  log(log_level::debug, std::move(message), location);
}
void log_info(std::string message, source_location location) {
  log(log_level::info, std::move(message), location);
}
void log_warn(std::string message, source_location location) {
  log(log_level::warn, std::move(message), location);
}
void log_error(std::string message, source_location location) {
  log(log_level::error, std::move(message), location);
}
void log_critical(std::string message, source_location location) {
  log(log_level::critical, std::move(message), location);
}

}  // namespace mendral
