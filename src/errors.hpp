// The service application's own failures: errors of the category "orvanta" whose status code is
// one of the application's error codes, which the HTTP framework names and maps to an HTTP status
// (1 "invalid_argument" is HTTP 400, 2 "not_found" is HTTP 404).
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "mendral/error.hpp"

namespace orvanta {

// The application's error codes; the value is the status code of the error.
enum class error_code : int {
  invalid_argument = 1,  // every failure of the arrangement route
  not_found = 2,         // a front-end file that cannot be read
};

// An error of the category "orvanta" with the code's value, the message and the site.
mendral::error make_error(error_code code, std::string message, mendral::source_location location);

// The expected result of T holding a new application error.
template <typename T>
std::expected<T, mendral::error> fail(error_code code, std::string message,
                                      mendral::source_location location) {
  return std::unexpected(make_error(code, std::move(message), location));
}

// The expected result without value holding a new application error.
std::expected<void, mendral::error> fail_void(error_code code, std::string message,
                                              mendral::source_location location);

}  // namespace orvanta
