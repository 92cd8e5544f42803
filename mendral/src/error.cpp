#include "mendral/error.hpp"

#include <mutex>
#include <sstream>

namespace mendral {
namespace {

std::mutex& config_mutex() {
  static std::mutex mutex;
  return mutex;
}

error_config& config_storage() {
  static error_config config;
  return config;
}

}  // namespace

error::error(std::string category, int code, std::string message, source_location location)
    : category_(std::move(category)),
      code_(code),
      message_(std::move(message)),
      location_(location) {}

std::string error::describe(const error_config& config) const {
  std::ostringstream text;
  if (config.include_category) text << category_;
  if (config.include_code) {
    if (config.include_category) text << ':';
    text << code_;
  }
  if (config.include_message) {
    if (config.include_category || config.include_code) text << ": ";
    text << message_;
  }
  if (config.include_location) {
    if (config.include_category || config.include_code || config.include_message) text << ' ';
    text << '(' << location_.file << ':' << location_.line << ')';
  }
  return text.str();
}

std::string error::describe() const { return describe(default_error_config()); }

error make_error(std::string category, int code, std::string message, source_location location) {
  return error(std::move(category), code, std::move(message), location);
}

void set_default_error_config(error_config config) {
  std::lock_guard lock(config_mutex());
  config_storage() = config;
}

error_config default_error_config() {
  std::lock_guard lock(config_mutex());
  return config_storage();
}

}  // namespace mendral
