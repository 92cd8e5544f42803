#include "errors.hpp"

namespace orvanta {

mendral::error make_error(error_code code, std::string message, mendral::source_location location) {
  return mendral::make_error("orvanta", static_cast<int>(code), std::move(message), location);
}

std::expected<void, mendral::error> fail_void(error_code code, std::string message,
                                              mendral::source_location location) {
  return std::unexpected(make_error(code, std::move(message), location));
}

}  // namespace orvanta
