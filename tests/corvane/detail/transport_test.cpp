#include "corvane/detail/transport.hpp"

#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <cerrno>
#include <climits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "corvane/detail/lifecycle.hpp"

namespace {

using namespace corvane::detail;
using namespace std::chrono_literals;

boost::system::error_code system_error(int value) {
  return {value, boost::system::system_category()};
}

TEST(transport_test, status_table_names_and_http_statuses) {
  struct row {
    int code;
    const char* name;
    unsigned http_status;
  };
  const row rows[] = {
      {0, "ok", 200},        {1, "invalid_argument", 400},
      {2, "not_found", 404}, {3, "unavailable", 503},
      {4, "timeout", 504},   {5, "internal", 500},
      {6, "internal", 500},  {99, "internal", 500},
      {-1, "internal", 500}, {INT_MIN, "internal", 500},
  };
  for (const auto& [code, name, http_status] : rows) {
    EXPECT_EQ(status_name(code), name) << code;
    EXPECT_EQ(http_status_for(code), http_status) << code;
  }
}

TEST(transport_test, parse_status_code_takes_exactly_the_five_names) {
  const std::pair<const char*, int> rows[] = {
      {"ok", 0},       {"invalid_argument", 1}, {"not_found", 2}, {"unavailable", 3},
      {"timeout", 4},  {"internal", 5},         {"OK", 5},        {"", 5},
      {"timeout ", 5},
  };
  for (const auto& [name, code] : rows) EXPECT_EQ(parse_status_code(name), code) << name;
}

TEST(transport_test, network_failures_take_their_status_from_the_error_code) {
  struct row {
    const char* name;
    boost::system::error_code ec;
    int code;
  };
  const row rows[] = {
      {"no failure", {}, 0},
      {"beast time-out", boost::beast::error::timeout, 4},
      {"ETIMEDOUT", system_error(ETIMEDOUT), 4},
      {"EINVAL", system_error(EINVAL), 1},
      {"EAFNOSUPPORT", system_error(EAFNOSUPPORT), 1},
      {"ENOPROTOOPT", system_error(ENOPROTOOPT), 1},
      {"ENOTSOCK", system_error(ENOTSOCK), 1},
      {"ECONNREFUSED", system_error(ECONNREFUSED), 3},
      {"aborted", boost::asio::error::operation_aborted, 3},
      {"end of stream", boost::asio::error::eof, 3},
      // Same value as ETIMEDOUT, other category: compared exactly, never as an equivalence.
      {"generic ETIMEDOUT", {ETIMEDOUT, boost::system::generic_category()}, 3},
  };
  for (const auto& [name, ec, code] : rows) {
    const auto error = network_failure(ec);
    EXPECT_EQ(error.code(), code) << name;
    EXPECT_EQ(error.message(), ec.message()) << name;
    EXPECT_EQ(error.category(), "corvane") << name;
  }
}

TEST(transport_test, operation_failure_uses_the_message_only_for_time_outs) {
  const auto timed_out = operation_failure(boost::beast::error::timeout, "HTTP response timed out");
  EXPECT_EQ(timed_out.code(), 4);
  EXPECT_EQ(timed_out.message(), "HTTP response timed out");

  const auto reset = operation_failure(system_error(ECONNRESET), "HTTP response timed out");
  EXPECT_EQ(reset.code(), 3);
  EXPECT_EQ(reset.message(), system_error(ECONNRESET).message());
}

TEST(transport_test, validate_positive_timeout) {
  for (const auto timeout : {0ms, -5ms}) {
    const auto result = validate_positive_timeout(timeout, "HTTP timeout");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code(), 1);
    EXPECT_EQ(result.error().message(), "HTTP timeout must be positive");
  }
  EXPECT_TRUE(validate_positive_timeout(1ms, "HTTP timeout").has_value());
}

TEST(transport_test, report_error_delivers_drops_and_contains) {
  std::vector<std::string> received;
  const error_handler collect = [&](mendral::error error) {
    received.emplace_back(error.message());
  };
  report_error(collect, invalid_argument("first"));
  report_error(collect, std::expected<void, mendral::error>{});
  report_error(collect, fail_void(unavailable("second")));
  EXPECT_EQ(received, (std::vector<std::string>{"first", "second"}));

  EXPECT_NO_THROW(report_error(error_handler{}, invalid_argument("dropped")));
  const error_handler throwing = [](mendral::error) { throw std::runtime_error("handler broke"); };
  EXPECT_NO_THROW(report_error(throwing, invalid_argument("ignored")));
  const error_handler throwing_int = [](mendral::error) { throw 7; };
  EXPECT_NO_THROW(report_error(throwing_int, invalid_argument("ignored")));
}

TEST(transport_test, response_envelopes) {
  struct row {
    const char* name;
    std::expected<boost::json::value, mendral::error> result;
    const char* text;
  };
  const row rows[] = {
      {"object payload", boost::json::parse(R"({"b":1,"a":[true]})"),
       R"({"ok":true,"payload":{"b":1,"a":[true]}})"},
      {"null payload", boost::json::value(nullptr), R"({"ok":true,"payload":null})"},
      {"code 0 is still a failure", std::unexpected(invalid_argument("x")),
       R"({"ok":false,"code":"invalid_argument","message":"x"})"},
      {"ok code", std::unexpected(make_error(0, "fine?", MENDRAL_HERE)),
       R"({"ok":false,"code":"ok","message":"fine?"})"},
      {"negative code", std::unexpected(make_error(-1, "say \"no\"", MENDRAL_HERE)),
       R"({"ok":false,"code":"internal","message":"say \"no\""})"},
  };
  for (const auto& [name, result, text] : rows) {
    EXPECT_EQ(serialize_response_envelope(result), text) << name;
    EXPECT_EQ(boost::json::serialize(response_envelope(result)), text) << name;
  }
}

TEST(transport_test, unwrap_response_envelope) {
  struct row {
    const char* envelope;
    int code;  // -100 for a success
    const char* message_or_payload;
  };
  const row rows[] = {
      {R"({"ok":true,"payload":{"x":1}})", -100, R"({"x":1})"},
      {R"({"ok":true,"payload":null,"extra":3})", -100, "null"},
      {R"({"ok":false,"code":"not_found","message":"route not found"})", 2, "route not found"},
      {R"({"ok":false,"code":"timeout","message":""})", 4, ""},
      {R"({"ok":false})", 5, "service request failed"},
      {R"({"ok":false,"code":2,"message":7})", 5, "service request failed"},
      {R"({"ok":false,"code":"internal","message":"m"})", 5, "m"},
      {R"({"ok":true})", 1, "service response missing payload"},
      {R"({"ok":"true","payload":1})", 1, "service response missing ok flag"},
      {R"({"ok":1,"payload":1})", 1, "service response missing ok flag"},
      {R"({"payload":1})", 1, "service response missing ok flag"},
      {R"([{"ok":true}])", 1, "service response must be an object"},
  };
  for (const auto& [envelope, code, expected] : rows) {
    const auto result = unwrap_response_envelope(boost::json::parse(envelope), "service");
    if (code == -100) {
      ASSERT_TRUE(result.has_value()) << envelope;
      EXPECT_EQ(boost::json::serialize(*result), expected) << envelope;
    } else {
      ASSERT_FALSE(result.has_value()) << envelope;
      EXPECT_EQ(result.error().code(), code) << envelope;
      EXPECT_EQ(result.error().message(), expected) << envelope;
      EXPECT_EQ(result.error().category(), "corvane") << envelope;
    }
  }
}

TEST(transport_test, server_endpoint_grammar) {
  struct row {
    std::string text;
    std::string host;  // empty when the text fails
    unsigned short port;
    const char* message;  // the failure's message, or nullptr
  };
  const row rows[] = {
      {"", "127.0.0.1", 0, nullptr},
      {"0.0.0.0:8000", "0.0.0.0", 8000, nullptr},
      {"localhost", "localhost", 0, nullptr},
      {"localhost:080", "localhost", 80, nullptr},
      {"::1", "::1", 0, nullptr},
      {"fe80::1:8080", "fe80::1:8080", 0, nullptr},
      {"[::1]", "::1", 0, nullptr},
      {"[::1]:8080", "::1", 8080, nullptr},
      {"[example]:80", "example", 80, nullptr},
      {"host:65535", "host", 65535, nullptr},
      {"host:0", "host", 0, nullptr},
      {" host :1", " host ", 1, nullptr},
      {"[]", "", 0, "endpoint IPv6 host is invalid"},
      {"[]:80", "", 0, "endpoint IPv6 host is invalid"},
      {"[::1", "", 0, "endpoint IPv6 host is invalid"},
      {"[::1]8080", "", 0, "endpoint has trailing characters"},
      {"[::1]x", "", 0, "endpoint has trailing characters"},
      {"[::1]:", "", 0, "endpoint port is required"},
      {"[::1]:http", "", 0, "endpoint port is invalid"},
      {"[::1]:65536", "", 0, "endpoint port is invalid"},
      {":8080", "", 0, "endpoint host is required"},
      {":", "", 0, "endpoint port is required"},
      {":x", "", 0, "endpoint port is invalid"},
      {"host:", "", 0, "endpoint port is required"},
      {"host:65536", "", 0, "endpoint port is invalid"},
      {"host:-1", "", 0, "endpoint port is invalid"},
      {"host:+80", "", 0, "endpoint port is invalid"},
      {"host:0x50", "", 0, "endpoint port is invalid"},
      {"host:99999999999", "", 0, "endpoint port is invalid"},
      {"host: 80", "", 0, "endpoint port is invalid"},
      {"host:80 ", "", 0, "endpoint port is invalid"},
  };
  for (const auto& [text, host, port, message] : rows) {
    const auto parsed = parse_server_endpoint_text(text);
    if (message == nullptr) {
      ASSERT_TRUE(parsed.has_value()) << '"' << text << "\": " << parsed.error().message();
      EXPECT_EQ(*parsed, (endpoint_parts{host, port})) << '"' << text << '"';
    } else {
      ASSERT_FALSE(parsed.has_value()) << '"' << text << '"';
      EXPECT_EQ(parsed.error().message(), message) << '"' << text << '"';
      EXPECT_EQ(parsed.error().code(), 1) << '"' << text << '"';
      EXPECT_EQ(parsed.error().category(), "corvane") << '"' << text << '"';
    }
  }
}

TEST(transport_test, default_port_fills_only_missing_ports) {
  EXPECT_EQ(*parse_endpoint_text("", 8000), (endpoint_parts{"127.0.0.1", 8000}));
  EXPECT_EQ(*parse_endpoint_text("[::1]", 8000), (endpoint_parts{"::1", 8000}));
  EXPECT_EQ(*parse_endpoint_text("a:b:c", 8000), (endpoint_parts{"a:b:c", 8000}));
  EXPECT_EQ(*parse_endpoint_text("host:0", 8000), (endpoint_parts{"host", 0}));
}

TEST(transport_test, client_endpoint_grammar) {
  const std::pair<const char*, const char*> failures[] = {
      {"", "endpoint connect is required"},
      {"host", "endpoint connect port is required"},
      {"host:0", "endpoint connect port is required"},
      {"[::1]", "endpoint connect port is required"},
      {"host:x", "endpoint port is invalid"},
      {":443", "endpoint host is required"},
  };
  for (const auto& [text, message] : failures) {
    const auto parsed = parse_client_endpoint_text(text);
    ASSERT_FALSE(parsed.has_value()) << text;
    EXPECT_EQ(parsed.error().message(), message) << text;
    EXPECT_EQ(parsed.error().code(), 1) << text;
  }
  EXPECT_EQ(*parse_client_endpoint_text("host:443"), (endpoint_parts{"host", 443}));
}

TEST(transport_test, start_tcp_acceptor_binds_literals_and_resolved_names) {
  boost::asio::io_context context;
  boost::asio::ip::tcp::acceptor first(context);
  const auto port = start_tcp_acceptor(first, "127.0.0.1", 0);
  ASSERT_TRUE(port.has_value()) << port.error().message();
  EXPECT_NE(*port, 0);
  EXPECT_TRUE(first.is_open());

  // The same port again cannot be bound while the first acceptor listens.
  boost::asio::ip::tcp::acceptor second(context);
  const auto taken = start_tcp_acceptor(second, "127.0.0.1", *port);
  ASSERT_FALSE(taken.has_value());
  EXPECT_EQ(taken.error().code(), 3);
  EXPECT_EQ(taken.error().message(), system_error(EADDRINUSE).message());
  EXPECT_FALSE(second.is_open());

  boost::asio::ip::tcp::acceptor named(context);
  const auto resolved = start_tcp_acceptor(named, "localhost", 0);
  ASSERT_TRUE(resolved.has_value()) << resolved.error().message();
  EXPECT_TRUE(named.local_endpoint().address().is_loopback());
}

// The handle only counts references and never looks inside the state, so an owned integer stands
// in for the server state here.
std::shared_ptr<corvane::http::http_server_state> stand_in_state() {
  auto owner = std::make_shared<int>(1);
  return {owner, reinterpret_cast<corvane::http::http_server_state*>(owner.get())};
}

TEST(transport_test, state_handle_moves_and_shares_counted_references) {
  state_handle empty;
  EXPECT_FALSE(empty);
  EXPECT_EQ(empty.load(), nullptr);

  auto state = stand_in_state();
  state_handle first(state);
  EXPECT_TRUE(first);
  EXPECT_EQ(first.load(), state);

  state_handle second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.load(), state);

  state_handle third;
  third = std::move(second);
  EXPECT_FALSE(second);
  EXPECT_EQ(third.load(), state);
  auto& alias = third;
  third = std::move(alias);
  EXPECT_EQ(third.load(), state);

  third = state_handle();
  EXPECT_FALSE(third);
  EXPECT_EQ(state.use_count(), 1);
}

TEST(transport_test, state_handle_loads_survive_concurrent_replacement) {
  state_handle handle(stand_in_state());
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      // The counted reference keeps the state alive even once the handle has replaced it.
      if (auto counted = handle.load()) {
        EXPECT_EQ(*reinterpret_cast<const int*>(counted.get()), 1);
      }
    }
  });
  for (int round = 0; round < 2000; ++round) handle = state_handle(stand_in_state());
  done = true;
  reader.join();
}

int released = 0;
void count_release(void* state) {
  ++released;
  delete static_cast<int*>(state);
}

TEST(transport_test, unique_state_releases_once) {
  released = 0;
  {
    unique_state holder(&count_release, new int(3));
    EXPECT_TRUE(holder);
    unique_state moved(std::move(holder));
    EXPECT_FALSE(holder);
    EXPECT_TRUE(moved);
    unique_state target;
    EXPECT_FALSE(target);
    target = std::move(moved);
    EXPECT_EQ(released, 0);
  }
  EXPECT_EQ(released, 1);

  int borrowed = 4;
  { unique_state holder(&unique_state::ignore_state, &borrowed); }
  EXPECT_EQ(borrowed, 4);
}

}  // namespace
