#include "corvane/security.hpp"

#include <gtest/gtest.h>

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>

#include <cerrno>
#include <cstdint>
#include <string>
#include <tuple>

#include "test_pki.hpp"

namespace {

using corvane::security_config;
using corvane::security_mode;

TEST(security_test, unsupported_security_names_the_mode_and_the_user) {
  const std::tuple<const char*, security_mode, const char*> rows[] = {
      {"HTTP server", security_mode::dtls, "DTLS is not supported by HTTP server"},
      {"HTTP client", security_mode::dtls, "DTLS is not supported by HTTP client"},
      {"HTTP server", security_mode::tls, "TLS is not supported by HTTP server"},
      {"x", security_mode::none, "none is not supported by x"},
      {"x", static_cast<security_mode>(9), " is not supported by x"},
  };
  for (const auto& [name, mode, message] : rows) {
    const auto error = corvane::unsupported_security(name, mode);
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.category(), "corvane");
    EXPECT_EQ(error.message(), message);
  }
}

TEST(security_test, settings_default_to_plain_and_copies_share_the_context) {
  const security_config defaults;
  EXPECT_EQ(defaults.mode, security_mode::none);
  EXPECT_EQ(defaults.verify, corvane::verify_mode::standard);
  EXPECT_TRUE(defaults.server_name.empty() && defaults.ca_file.empty() &&
              defaults.certificate_chain_file.empty() && defaults.private_key_file.empty());
  EXPECT_EQ(defaults.context, nullptr);

  security_config supplied;
  supplied.mode = security_mode::tls;
  supplied.context =
      std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  const security_config copy = supplied;
  EXPECT_EQ(copy.context.get(), supplied.context.get());
  EXPECT_EQ(copy, supplied);
}

// Contexts ----------------------------------------------------------------------------------------

using context_pointer = std::shared_ptr<boost::asio::ssl::context>;
using corvane::verify_mode;
using corvane_test::pki;

constexpr std::uint64_t fixed_options =
    SSL_OP_ALL | SSL_OP_NO_SSLv3 | SSL_OP_NO_TLSv1 | SSL_OP_NO_TLSv1_1 | SSL_OP_NO_COMPRESSION;

security_config server_files(std::string chain, std::string key) {
  security_config config;
  config.mode = security_mode::tls;
  config.certificate_chain_file = std::move(chain);
  config.private_key_file = std::move(key);
  return config;
}

int verify_mode_of(const context_pointer& context) {
  return SSL_CTX_get_verify_mode(context->native_handle());
}

// The certificates and CRLs held in the context's trust store.
int trusted_objects(const context_pointer& context) {
  return sk_X509_OBJECT_num(
      X509_STORE_get0_objects(SSL_CTX_get_cert_store(context->native_handle())));
}

std::string system_message(int value) {
  return boost::system::error_code(value, boost::system::system_category()).message();
}

TEST(security_test, new_contexts_allow_only_tls_1_2_and_1_3_without_compression) {
  for (const auto mode : {security_mode::tls, security_mode::none}) {
    auto server_config = server_files(pki().localhost_chain, pki().localhost_key);
    server_config.mode = mode;
    security_config client_config;
    client_config.mode = mode;
    client_config.ca_file = pki().ca_file;
    for (const auto& made : {corvane::make_tls_server_context(server_config),
                             corvane::make_tls_client_context(client_config)}) {
      ASSERT_TRUE(made.has_value()) << made.error().message();
      ASSERT_NE(*made, nullptr);
      EXPECT_EQ(SSL_CTX_get_options((*made)->native_handle()) & fixed_options, fixed_options);
    }
  }
}

TEST(security_test, server_identity_is_loaded_and_checked) {
  const auto& files = pki();
  const std::string missing = corvane_test::fresh_path("missing");
  struct row {
    const char* name;
    security_config config;
    int code;
    std::string message;  // exact, or the start of it when `prefix` is set
    bool prefix = false;
  };
  const row rows[] = {
      {"chain without key", server_files(files.localhost_chain, ""), 1,
       "TLS server certificate chain and private key must both be configured"},
      {"key without chain", server_files("", files.localhost_key), 1,
       "TLS server certificate chain and private key must both be configured"},
      {"missing chain file", server_files(missing, files.localhost_key), 3, system_message(ENOENT)},
      {"missing key file", server_files(files.localhost_chain, missing), 3, system_message(ENOENT)},
      // OpenSSL refuses a key of the certificate's own kind that does not match it while loading.
      {"mismatched key", server_files(files.localhost_chain, files.mismatched_key), 3,
       "key values mismatch", true},
      // A key of another kind loads beside the certificate and fails the final check.
      {"key of another kind", server_files(files.localhost_chain, files.foreign_key), 1,
       "TLS server private key does not match certificate: error:", true},
      {"key file as chain", server_files(files.localhost_key, files.localhost_key), 3, "", true},
  };
  for (const auto& [name, config, code, message, prefix] : rows) {
    const auto made = corvane::make_tls_server_context(config);
    ASSERT_FALSE(made.has_value()) << name;
    EXPECT_EQ(made.error().code(), code) << name;
    EXPECT_EQ(made.error().category(), "corvane") << name;
    if (prefix) {
      EXPECT_TRUE(made.error().message().starts_with(message))
          << name << ": " << made.error().message();
    } else {
      EXPECT_EQ(made.error().message(), message) << name;
    }
  }

  const auto made =
      corvane::make_tls_server_context(server_files(files.localhost_chain, files.localhost_key));
  ASSERT_TRUE(made.has_value()) << made.error().message();
  EXPECT_EQ(verify_mode_of(*made), SSL_VERIFY_NONE);
  EXPECT_TRUE(corvane::validate_tls_server_context(*made).has_value());
}

TEST(security_test, dtls_settings_make_no_context) {
  security_config config = server_files(pki().localhost_chain, pki().localhost_key);
  config.mode = security_mode::dtls;
  for (const auto& made :
       {corvane::make_tls_server_context(config), corvane::make_tls_client_context(config)}) {
    ASSERT_FALSE(made.has_value());
    EXPECT_EQ(made.error().code(), 1);
    EXPECT_EQ(made.error().message(), "DTLS config cannot create a TLS context");
  }
}

TEST(security_test, tls_server_settings_need_both_files_or_a_context) {
  auto with = [](security_mode mode, std::string chain, std::string key, bool context) {
    auto config = server_files(std::move(chain), std::move(key));
    config.mode = mode;
    if (context) {
      config.context =
          std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
    }
    return config;
  };
  const std::tuple<const char*, security_config, const char*> rows[] = {
      {"both files", with(security_mode::tls, "c.pem", "k.pem", false), ""},
      {"a context alone", with(security_mode::tls, "", "", true), ""},
      {"a context and one file", with(security_mode::tls, "c.pem", "", true), ""},
      {"plain mode", with(security_mode::none, "", "", false), ""},
      {"dtls mode", with(security_mode::dtls, "c.pem", "", false), ""},
      {"nothing", with(security_mode::tls, "", "", false),
       "Web TLS server requires certificate chain/private key files or an SSL context"},
      {"chain alone", with(security_mode::tls, "c.pem", "", false),
       "Web TLS server certificate chain and private key must both be configured"},
      {"key alone", with(security_mode::tls, "", "k.pem", false),
       "Web TLS server certificate chain and private key must both be configured"},
  };
  for (const auto& [name, config, message] : rows) {
    const auto valid = corvane::validate_tls_server_config("Web", config);
    if (std::string_view(message).empty()) {
      EXPECT_TRUE(valid.has_value()) << name;
      continue;
    }
    ASSERT_FALSE(valid.has_value()) << name;
    EXPECT_EQ(valid.error().code(), 1) << name;
    EXPECT_EQ(valid.error().message(), message) << name;
  }
}

TEST(security_test, a_server_context_must_hold_a_matching_certificate_and_key) {
  const auto absent = corvane::validate_tls_server_context(nullptr);
  ASSERT_FALSE(absent.has_value());
  EXPECT_EQ(absent.error().code(), 1);
  EXPECT_EQ(absent.error().message(), "TLS server requires an SSL context");

  // A supplied context without files passes the settings check and the identity load, and is
  // refused only here.
  security_config supplied;
  supplied.mode = security_mode::tls;
  supplied.context =
      std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  ASSERT_TRUE(corvane::validate_tls_server_config("HTTP", supplied).has_value());
  const auto made = corvane::make_tls_server_context(supplied);
  ASSERT_TRUE(made.has_value());
  EXPECT_EQ(made->get(), supplied.context.get());
  const auto empty = corvane::validate_tls_server_context(*made);
  ASSERT_FALSE(empty.has_value());
  EXPECT_EQ(empty.error().code(), 1);
  EXPECT_TRUE(empty.error().message().starts_with(
      "TLS server context requires matching certificate/private key material: error:"))
      << empty.error().message();

  supplied.context->use_certificate_chain_file(pki().localhost_chain);
  supplied.context->use_private_key_file(pki().localhost_key, boost::asio::ssl::context::pem);
  EXPECT_TRUE(corvane::validate_tls_server_context(supplied.context).has_value());
}

TEST(security_test, supplied_contexts_are_adjusted_in_place) {
  auto supplied = [](boost::asio::ssl::context::method method, int mode) {
    auto context = std::make_shared<boost::asio::ssl::context>(method);
    SSL_CTX_set_verify(context->native_handle(), mode, nullptr);
    return context;
  };
  constexpr int peer = SSL_VERIFY_PEER;
  constexpr int required = SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
  // {name, verify, verify mode before, verify mode after}
  const std::tuple<const char*, verify_mode, int, int> server_rows[] = {
      {"standard keeps the context's mode", verify_mode::standard, peer, peer},
      {"none asks for no certificate", verify_mode::none, peer, SSL_VERIFY_NONE},
      {"required demands one", verify_mode::required, SSL_VERIFY_NONE, required},
  };
  for (const auto& [name, verify, before, after] : server_rows) {
    auto config = server_files(pki().localhost_chain, pki().localhost_key);
    config.verify = verify;
    config.context = supplied(boost::asio::ssl::context::tls_server, before);
    const auto made = corvane::make_tls_server_context(config);
    ASSERT_TRUE(made.has_value()) << name;
    EXPECT_EQ(made->get(), config.context.get()) << name;
    EXPECT_EQ(verify_mode_of(*made), after) << name;
    EXPECT_TRUE(corvane::validate_tls_server_context(*made).has_value()) << name;
  }

  // {name, verify, CA file, verify mode before, verify mode after, trusted objects after}
  const std::tuple<const char*, verify_mode, std::string, int, int, int> client_rows[] = {
      {"standard keeps the context's mode", verify_mode::standard, "", SSL_VERIFY_NONE,
       SSL_VERIFY_NONE, 0},
      {"standard loads a given CA file", verify_mode::standard, pki().ca_file, SSL_VERIFY_NONE,
       SSL_VERIFY_NONE, 1},
      {"none switches verification off", verify_mode::none, pki().ca_file, peer, SSL_VERIFY_NONE,
       0},
      {"required verifies the peer", verify_mode::required, "", SSL_VERIFY_NONE, peer, 0},
  };
  for (const auto& [name, verify, ca_file, before, after, objects] : client_rows) {
    security_config config;
    config.mode = security_mode::tls;
    config.verify = verify;
    config.ca_file = ca_file;
    config.context = supplied(boost::asio::ssl::context::tls_client, before);
    const auto made = corvane::make_tls_client_context(config);
    ASSERT_TRUE(made.has_value()) << name;
    EXPECT_EQ(made->get(), config.context.get()) << name;
    EXPECT_EQ(verify_mode_of(*made), after) << name;
    EXPECT_EQ(trusted_objects(*made), objects) << name;
  }
}

TEST(security_test, new_client_contexts_load_trust_only_when_they_verify) {
  // {name, verify, CA file, verify mode, trusted objects (-1: whatever the system provides)}
  const std::tuple<const char*, verify_mode, std::string, int, int> rows[] = {
      {"standard", verify_mode::standard, pki().ca_file, SSL_VERIFY_PEER, 1},
      {"required is standard", verify_mode::required, pki().ca_file, SSL_VERIFY_PEER, 1},
      {"none loads nothing", verify_mode::none, pki().ca_file, SSL_VERIFY_NONE, 0},
      {"none ignores a missing CA file", verify_mode::none, corvane_test::fresh_path("absent"),
       SSL_VERIFY_NONE, 0},
      {"default verify paths", verify_mode::standard, "", SSL_VERIFY_PEER, -1},
  };
  for (const auto& [name, verify, ca_file, mode, objects] : rows) {
    security_config config;
    config.mode = security_mode::tls;
    config.verify = verify;
    config.ca_file = ca_file;
    const auto made = corvane::make_tls_client_context(config);
    ASSERT_TRUE(made.has_value()) << name << ": " << made.error().message();
    EXPECT_EQ(verify_mode_of(*made), mode) << name;
    if (objects >= 0) {
      EXPECT_EQ(trusted_objects(*made), objects) << name;
    }
  }

  security_config missing;
  missing.mode = security_mode::tls;
  missing.ca_file = corvane_test::fresh_path("absent");
  const auto refused = corvane::make_tls_client_context(missing);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code(), 3);
  EXPECT_EQ(refused.error().message(), system_message(ENOENT));
}

TEST(security_test, client_streams_send_sni_and_check_the_peer_name) {
  boost::asio::io_context loop;
  boost::asio::ssl::context context(boost::asio::ssl::context::tls_client);
  // {name, server name, host, verify, SNI sent (null for none), verify mode, name checked}
  const std::tuple<const char*, const char*, const char*, verify_mode, const char*, int, bool>
      rows[] = {
          {"the host by default", "", "localhost", verify_mode::standard, "localhost",
           SSL_VERIFY_PEER, true},
          {"the server name first", "other.test", "127.0.0.1", verify_mode::standard, "other.test",
           SSL_VERIFY_PEER, true},
          {"required is standard", "", "localhost", verify_mode::required, "localhost",
           SSL_VERIFY_PEER, true},
          {"no name: the chain alone", "", "", verify_mode::standard, nullptr, SSL_VERIFY_PEER,
           false},
          {"verification off", "", "localhost", verify_mode::none, "localhost", SSL_VERIFY_NONE,
           false},
      };
  for (const auto& [name, server_name, host, verify, sni, mode, checked] : rows) {
    for (const bool forwarded : {false, true}) {
      boost::asio::ssl::stream<boost::asio::ip::tcp::socket> stream(loop, context);
      security_config config;
      config.mode = security_mode::tls;
      config.verify = verify;
      config.server_name = server_name;
      const auto configured = forwarded
                                  ? corvane::apply_tls_client_verification(stream, host, config)
                                  : corvane::configure_tls_client_stream(stream, host, config);
      ASSERT_TRUE(configured.has_value()) << name;
      const char* sent = SSL_get_servername(stream.native_handle(), TLSEXT_NAMETYPE_host_name);
      EXPECT_EQ(sent ? std::string(sent) : "(none)", sni ? std::string(sni) : "(none)") << name;
      EXPECT_EQ(SSL_get_verify_mode(stream.native_handle()), mode) << name;
      EXPECT_EQ(SSL_get_verify_callback(stream.native_handle()) != nullptr, checked) << name;
    }
  }

  boost::asio::ssl::stream<boost::asio::ip::tcp::socket> stream(loop, context);
  security_config config;
  config.mode = security_mode::tls;
  config.server_name = std::string(300, 'a');  // longer than a host name may be
  const auto refused = corvane::configure_tls_client_stream(stream, "localhost", config);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code(), 3);
  EXPECT_TRUE(refused.error().message().starts_with("failed to configure TLS SNI: error:"))
      << refused.error().message();
}

}  // namespace
