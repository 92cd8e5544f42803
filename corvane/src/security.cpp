#include "corvane/security.hpp"

#include "corvane/errors.hpp"

namespace corvane {
namespace {

// The mode as messages name it; the empty text for a value outside the enumeration.
std::string_view security_mode_text(security_mode mode) {
  switch (mode) {
    case security_mode::none: return "none";
    case security_mode::tls: return "TLS";
    case security_mode::dtls: return "DTLS";
  }
  return "";
}

}  // namespace

mendral::error unsupported_security(std::string_view name, security_mode mode) {
  std::string message(security_mode_text(mode));
  message += " is not supported by ";
  message += name;
  return detail::make_error(1, std::move(message), MENDRAL_HERE);
}

}  // namespace corvane
