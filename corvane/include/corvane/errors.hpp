// How the framework builds its failures: every error carries the category "corvane", a status code
// (0 "ok" to 4 "timeout", anything else "internal") and the framework site that detected it.
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "mendral/error.hpp"

namespace corvane::detail {

// A framework error: category "corvane" with the given code, message and site.
mendral::error make_error(int code, std::string message, mendral::source_location location);

// The expected result of T holding the given error unchanged.
template <typename T>
std::expected<T, mendral::error> fail(mendral::error error) {
  return std::unexpected(std::move(error));
}

// The expected result of T holding a new framework error built from a code, a message and a site.
template <typename T, typename Message>
std::expected<T, mendral::error> fail(int code, Message&& message,
                                      mendral::source_location location) {
  return std::unexpected(make_error(code, std::string(std::forward<Message>(message)), location));
}

// The expected result without value holding the given error unchanged.
std::expected<void, mendral::error> fail_void(mendral::error error);

// The expected result without value holding a new framework error.
template <typename Message>
std::expected<void, mendral::error> fail_void(int code, Message&& message,
                                              mendral::source_location location) {
  return std::unexpected(make_error(code, std::string(std::forward<Message>(message)), location));
}

}  // namespace corvane::detail
