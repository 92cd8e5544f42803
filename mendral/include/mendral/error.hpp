// The error record shared by every layer: who raised a failure (its category), a status code,
// a message and the source site. Fallible operations return std::expected<T, mendral::error>.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace mendral {

// A site in the source code. The texts are string literals with static lifetime.
struct source_location {
  const char* file = "";
  std::uint32_t line = 0;
  const char* function = "";
};

// Which parts `error::describe` prints.
struct error_config {
  bool include_category = true;
  bool include_code = true;
  bool include_message = true;
  bool include_location = true;
};

class error {
 public:
  error(std::string category, int code, std::string message, source_location location);

  std::string_view category() const { return category_; }
  int code() const { return code_; }
  std::string_view message() const { return message_; }
  const source_location& location() const { return location_; }

  // One line such as "corvane:4: M (F:158)"; separators follow the flags, not the texts.
  std::string describe(const error_config& config) const;
  // Describes with the process default configuration.
  std::string describe() const;

 private:
  std::string category_;
  int code_ = 0;
  std::string message_;
  source_location location_;
};

// Builds an error from its four parts.
error make_error(std::string category, int code, std::string message, source_location location);

// The expected result of T in its error state.
template <typename T>
std::expected<T, error> fail(error failure) {
  return std::unexpected(std::move(failure));
}

// Replaces the process-wide printing options used by `error::describe()`.
void set_default_error_config(error_config config);
// A copy of the process-wide printing options (initially all true).
error_config default_error_config();

}  // namespace mendral

// The calling site, with the bare function name (std::source_location gives full signatures on g++
// 12).
#define MENDRAL_HERE \
  (::mendral::source_location{__FILE__, static_cast<std::uint32_t>(__LINE__), __func__})
