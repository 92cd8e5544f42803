// Transport-security settings of a server or client endpoint: the mode (plain, TLS, or DTLS, which
// is refused everywhere), how the peer's certificate is verified, the certificate and key files,
// and an optional caller-supplied TLS context that is shared, never copied.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mendral/error.hpp"

namespace boost::asio::ssl {
class context;
}  // namespace boost::asio::ssl

namespace corvane {

enum class security_mode : std::int32_t { none = 0, tls = 1, dtls = 2 };

enum class verify_mode : std::int32_t { standard = 0, none = 1, required = 2 };

struct security_config {
  security_mode mode = security_mode::none;
  verify_mode verify = verify_mode::standard;
  // Client: the SNI name and the name checked against the certificate; empty means the host.
  std::string server_name;
  // Trusted CA certificates; empty means OpenSSL's default verify paths.
  std::string ca_file;
  std::string certificate_chain_file;
  std::string private_key_file;
  // A caller-supplied TLS context, shared by every copy of the settings.
  std::shared_ptr<boost::asio::ssl::context> context;

  bool operator==(const security_config&) const = default;
};

// Code 1: the mode's text, " is not supported by " and the name ("DTLS is not supported by HTTP
// server").
mendral::error unsupported_security(std::string_view name, security_mode mode);

}  // namespace corvane
