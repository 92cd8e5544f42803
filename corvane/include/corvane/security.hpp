// Transport-security settings of a server or client endpoint: the mode (plain, TLS, or DTLS, which
// is refused everywhere), how the peer's certificate is verified, the certificate and key files,
// and an optional caller-supplied TLS context that is shared, never copied. Also the making of TLS
// contexts from these settings, the checks a TLS server runs before it listens, and the per-stream
// set-up of a TLS client (SNI and peer verification). Only TLS 1.2 and 1.3 are ever negotiated.
#pragma once

#include <boost/asio/ts/netfwd.hpp>

#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "mendral/error.hpp"

namespace boost::asio::ssl {
class context;
template <typename Stream>
class stream;
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

// TLS contexts ------------------------------------------------------------------------------------

// A server context: the supplied one adjusted in place, or a new one with the certificate chain and
// key loaded; code 1 for DTLS, one file missing or a key that does not match, code 3 with
// OpenSSL's text when a file cannot be loaded.
std::expected<std::shared_ptr<boost::asio::ssl::context>, mendral::error> make_tls_server_context(
    const security_config& config);
// A client context: the supplied one adjusted in place, or a new one with peer verification and
// the CA file (or OpenSSL's default verify paths) loaded; code 1 for DTLS, code 3 with OpenSSL's
// text when the CA certificates cannot be loaded.
std::expected<std::shared_ptr<boost::asio::ssl::context>, mendral::error> make_tls_client_context(
    const security_config& config);

// TLS servers -------------------------------------------------------------------------------------

// Code 1 when a TLS server has neither both files nor a supplied context, or only one of the files;
// the name starts the message. Other modes pass.
std::expected<void, mendral::error> validate_tls_server_config(std::string_view name,
                                                               const security_config& config);
// Code 1 unless the context exists and holds a certificate with its matching private key.
std::expected<void, mendral::error> validate_tls_server_context(
    const std::shared_ptr<boost::asio::ssl::context>& context);

// TLS clients -------------------------------------------------------------------------------------

// Sets the SNI name (the configured server name, else the host) and the peer verification of a new
// client stream, with a host-name check whenever a name is known; code 3 when SNI cannot be set.
std::expected<void, mendral::error> configure_tls_client_stream(
    boost::asio::ssl::stream<boost::asio::basic_stream_socket<boost::asio::ip::tcp>>& stream,
    std::string_view host, const security_config& config);
// The same as `configure_tls_client_stream`.
std::expected<void, mendral::error> apply_tls_client_verification(
    boost::asio::ssl::stream<boost::asio::basic_stream_socket<boost::asio::ip::tcp>>& stream,
    std::string_view host, const security_config& config);

}  // namespace corvane
