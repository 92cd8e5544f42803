#include "corvane/security.hpp"

#include <gtest/gtest.h>

#include <boost/asio/ssl/context.hpp>

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

}  // namespace
