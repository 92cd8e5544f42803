#include "corvane/errors.hpp"

namespace corvane::detail {

mendral::error make_error(int code, std::string message, mendral::source_location location) {
  return mendral::make_error("corvane", code, std::move(message), location);
}

std::expected<void, mendral::error> fail_void(mendral::error error) {
  return std::unexpected(std::move(error));
}

}  // namespace corvane::detail
