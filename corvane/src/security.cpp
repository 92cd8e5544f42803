#include "corvane/security.hpp"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/system/error_code.hpp>

#include <cstdint>

#include "corvane/errors.hpp"

namespace corvane {
namespace {

namespace ssl = boost::asio::ssl;
using context_pointer = std::shared_ptr<ssl::context>;
using client_stream = ssl::stream<boost::asio::ip::tcp::socket>;

// OpenSSL's compatibility workarounds, no compression, and nothing older than TLS 1.2.
constexpr std::uint64_t fixed_context_options =
    SSL_OP_ALL | SSL_OP_NO_SSLv3 | SSL_OP_NO_TLSv1 | SSL_OP_NO_TLSv1_1 | SSL_OP_NO_COMPRESSION;
static_assert(fixed_context_options == 0x96020850);

// The mode as messages name it; the empty text for a value outside the enumeration.
std::string_view security_mode_text(security_mode mode) {
  switch (mode) {
    case security_mode::none: return "none";
    case security_mode::tls: return "TLS";
    case security_mode::dtls: return "DTLS";
  }
  return "";
}

// An OpenSSL error code as text: a system error as the operating system words it, anything else
// as Asio's SSL error category renders it.
std::string openssl_error_text(unsigned long error) {
  if (ERR_SYSTEM_ERROR(error)) {
    return boost::system::error_code(static_cast<int>(error & ERR_SYSTEM_MASK),
                                     boost::system::system_category())
        .message();
  }
  return boost::system::error_code(static_cast<int>(error), boost::asio::error::get_ssl_category())
      .message();
}

// The outcome of an OpenSSL load call that returns 1 on success: code 3 with the first queued
// error's text; a failure that queued nothing counts as success.
std::expected<void, mendral::error> load_result(int result) {
  if (result == 1) return {};
  const auto error = ERR_get_error();
  if (error == 0) return {};
  return detail::fail_void(3, openssl_error_text(error), MENDRAL_HERE);
}

// The message followed by ": " and OpenSSL's text for the earliest queued error, when there is
// one.
mendral::error ssl_failure(int code, std::string message) {
  if (const auto error = ERR_get_error(); error != 0) {
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    message += ": ";
    message += text;
  }
  return detail::make_error(code, std::move(message), MENDRAL_HERE);
}

// A server asks for a client certificate only when one is required.
void apply_server_verify_mode(ssl::context& context, verify_mode verify) {
  boost::system::error_code ignored;
  context.set_verify_mode(verify == verify_mode::required
                              ? ssl::verify_peer | ssl::verify_fail_if_no_peer_cert
                              : ssl::verify_none,
                          ignored);
}

// A client verifies its peer unless verification is switched off.
void apply_verify_mode(ssl::context& context, verify_mode verify) {
  boost::system::error_code ignored;
  context.set_verify_mode(verify == verify_mode::none ? ssl::verify_none : ssl::verify_peer,
                          ignored);
}

// The trusted CA certificates: the CA file, or OpenSSL's default paths; none without verification.
std::expected<void, mendral::error> load_verify_paths(ssl::context& context,
                                                      const security_config& config) {
  if (config.verify == verify_mode::none) return {};
  ERR_clear_error();
  if (config.ca_file.empty()) {
    return load_result(SSL_CTX_set_default_verify_paths(context.native_handle()));
  }
  return load_result(
      SSL_CTX_load_verify_locations(context.native_handle(), config.ca_file.c_str(), nullptr));
}

// The server's certificate chain and private key, when configured, and their match.
std::expected<void, mendral::error> load_server_identity(ssl::context& context,
                                                         const security_config& config) {
  const bool has_chain = !config.certificate_chain_file.empty();
  const bool has_key = !config.private_key_file.empty();
  if (!has_chain && !has_key) return {};
  if (!has_chain || !has_key) {
    return detail::fail_void(
        1, "TLS server certificate chain and private key must both be configured", MENDRAL_HERE);
  }
  auto* handle = context.native_handle();
  ERR_clear_error();
  auto loaded = load_result(
      SSL_CTX_use_certificate_chain_file(handle, config.certificate_chain_file.c_str()));
  if (!loaded) return loaded;
  ERR_clear_error();
  loaded = load_result(
      SSL_CTX_use_PrivateKey_file(handle, config.private_key_file.c_str(), SSL_FILETYPE_PEM));
  if (!loaded) return loaded;
  if (SSL_CTX_check_private_key(handle) != 1) {
    return detail::fail_void(ssl_failure(1, "TLS server private key does not match certificate"));
  }
  return {};
}

// A supplied context is adjusted in place and returned itself; otherwise a new one is made.
std::expected<context_pointer, mendral::error> make_context(ssl::context::method method,
                                                            const security_config& config,
                                                            bool is_server) {
  if (config.mode == security_mode::dtls) {
    return detail::fail<context_pointer>(1, "DTLS config cannot create a TLS context",
                                         MENDRAL_HERE);
  }
  std::expected<void, mendral::error> prepared;
  if (config.context) {
    // A supplied context keeps its own verify mode unless the settings ask for another.
    auto& context = *config.context;
    if (is_server) {
      if (config.verify != verify_mode::standard) apply_server_verify_mode(context, config.verify);
      prepared = load_server_identity(context, config);
    } else {
      if (config.verify != verify_mode::standard) apply_verify_mode(context, config.verify);
      if (!config.ca_file.empty()) prepared = load_verify_paths(context, config);
    }
    if (!prepared) return detail::fail<context_pointer>(std::move(prepared.error()));
    return config.context;
  }

  auto context = std::make_shared<ssl::context>(method);
  SSL_CTX_set_options(context->native_handle(), fixed_context_options);
  if (is_server) {
    apply_server_verify_mode(*context, config.verify);
    prepared = load_server_identity(*context, config);
  } else {
    apply_verify_mode(*context, config.verify);
    prepared = load_verify_paths(*context, config);
  }
  if (!prepared) return detail::fail<context_pointer>(std::move(prepared.error()));
  return context;
}

}  // namespace

mendral::error unsupported_security(std::string_view name, security_mode mode) {
  std::string message(security_mode_text(mode));
  message += " is not supported by ";
  message += name;
  return detail::make_error(1, std::move(message), MENDRAL_HERE);
}

// TLS contexts ------------------------------------------------------------------------------------

std::expected<context_pointer, mendral::error> make_tls_server_context(
    const security_config& config) {
  return make_context(ssl::context::tls_server, config, true);
}

std::expected<context_pointer, mendral::error> make_tls_client_context(
    const security_config& config) {
  return make_context(ssl::context::tls_client, config, false);
}

// TLS servers -------------------------------------------------------------------------------------

std::expected<void, mendral::error> validate_tls_server_config(std::string_view name,
                                                               const security_config& config) {
  if (config.mode != security_mode::tls || config.context) return {};
  const bool has_chain = !config.certificate_chain_file.empty();
  const bool has_key = !config.private_key_file.empty();
  if (has_chain && has_key) return {};
  std::string message(name);
  message += has_chain || has_key
                 ? " TLS server certificate chain and private key must both be configured"
                 : " TLS server requires certificate chain/private key files or an SSL context";
  return detail::fail_void(1, std::move(message), MENDRAL_HERE);
}

std::expected<void, mendral::error> validate_tls_server_context(const context_pointer& context) {
  if (!context) return detail::fail_void(1, "TLS server requires an SSL context", MENDRAL_HERE);
  // Cleared so that the text appended to the failure is this check's own.
  ERR_clear_error();
  if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
    return detail::fail_void(
        ssl_failure(1, "TLS server context requires matching certificate/private key material"));
  }
  return {};
}

// TLS clients -------------------------------------------------------------------------------------

std::expected<void, mendral::error> configure_tls_client_stream(client_stream& stream,
                                                                std::string_view host,
                                                                const security_config& config) {
  const std::string peer(config.server_name.empty() ? host : config.server_name);
  if (!peer.empty()) {
    ERR_clear_error();
    if (SSL_set_tlsext_host_name(stream.native_handle(), peer.c_str()) != 1) {
      return detail::fail_void(ssl_failure(3, "failed to configure TLS SNI"));
    }
  }
  boost::system::error_code ignored;
  if (config.verify == verify_mode::none) {
    stream.set_verify_mode(ssl::verify_none, ignored);
    return {};
  }
  stream.set_verify_mode(ssl::verify_peer, ignored);
  // Without a name the chain is still verified, but no name is checked.
  if (!peer.empty()) stream.set_verify_callback(ssl::host_name_verification(peer), ignored);
  return {};
}

std::expected<void, mendral::error> apply_tls_client_verification(client_stream& stream,
                                                                  std::string_view host,
                                                                  const security_config& config) {
  return configure_tls_client_stream(stream, host, config);
}

}  // namespace corvane
