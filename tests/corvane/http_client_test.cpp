#include "corvane/http.hpp"

#include <gtest/gtest.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/completion_condition.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/asio/write.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log_capture.hpp"
#include "mendral/log.hpp"
#include "test_pki.hpp"

namespace {

using namespace std::chrono_literals;
using boost::asio::as_tuple;
using boost::asio::awaitable;
using boost::asio::use_awaitable;
using boost::asio::ip::tcp;
using corvane::request_context;
using corvane::security_config;
using corvane::security_mode;
using corvane::verify_mode;
using corvane::http::request_method;
using json_result = std::expected<boost::json::value, mendral::error>;

// A scripted peer ---------------------------------------------------------------------------------

// A peer that accepts connections and, by its behaviour, answers each request with fixed bytes,
// reads the request and never answers, or never reads or writes anything at all. It records the
// requests it read.
class canned_peer : public std::enable_shared_from_this<canned_peer> {
 public:
  enum class behaviour { answer, read_only, silent };

  canned_peer(boost::asio::io_context& context, const tcp::endpoint& at, std::string reply,
              behaviour act)
      : acceptor(context, at), reply(std::move(reply)), act(act) {}

  void start() {
    boost::asio::co_spawn(acceptor.get_executor(), serve(shared_from_this()),
                          boost::asio::detached);
  }
  unsigned short port() const { return acceptor.local_endpoint().port(); }
  int accepted() {
    std::lock_guard lock(mutex);
    return accepted_count;
  }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex);
    return read_requests;
  }
  // Closes the listener and every connection kept open; runs on the event loop.
  void close() {
    boost::system::error_code ignored;
    acceptor.close(ignored);
    for (auto& socket : held) socket->close(ignored);
  }

 private:
  static std::size_t content_length(const std::string& head) {
    const auto at = head.find("Content-Length: ");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 16));
  }

  static awaitable<void> serve(std::shared_ptr<canned_peer> self) {
    for (;;) {
      auto socket = std::make_shared<tcp::socket>(self->acceptor.get_executor());
      auto [ec] = co_await self->acceptor.async_accept(*socket, as_tuple(use_awaitable));
      if (ec) co_return;
      {
        std::lock_guard lock(self->mutex);
        ++self->accepted_count;
      }
      if (self->act == behaviour::silent) {
        self->held.push_back(std::move(socket));
        continue;
      }
      std::string data;
      auto [head_error, head] = co_await boost::asio::async_read_until(
          *socket, boost::asio::dynamic_buffer(data), "\r\n\r\n", as_tuple(use_awaitable));
      if (head_error) continue;
      const auto whole = head + content_length(data.substr(0, head));
      if (data.size() < whole) {
        co_await boost::asio::async_read(*socket, boost::asio::dynamic_buffer(data),
                                         boost::asio::transfer_exactly(whole - data.size()),
                                         as_tuple(use_awaitable));
      }
      {
        std::lock_guard lock(self->mutex);
        self->read_requests.push_back(data);
      }
      if (self->act == behaviour::read_only) {
        self->held.push_back(std::move(socket));
        continue;
      }
      co_await boost::asio::async_write(*socket, boost::asio::buffer(self->reply),
                                        as_tuple(use_awaitable));
      boost::system::error_code ignored;
      socket->shutdown(tcp::socket::shutdown_send, ignored);
    }
  }

  tcp::acceptor acceptor;
  std::string reply;
  behaviour act;
  std::vector<std::shared_ptr<tcp::socket>> held;
  std::mutex mutex;
  int accepted_count = 0;
  std::vector<std::string> read_requests;
};

// An HTTP/1.1 answer with the status line's code and text and a body of its own length.
std::string http_answer(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         body;
}

const std::string success_answer = http_answer("200 OK", R"({"ok":true,"payload":1})");

using corvane_test::log_capture;

// Client fixture ----------------------------------------------------------------------------------

// Framework servers (plain, TLS for localhost, TLS for other.test) and scripted peers on
// 127.0.0.1, with the event loop on a thread of its own.
class client_test : public testing::Test {
 protected:
  boost::asio::io_context context;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work =
      boost::asio::make_work_guard(context);
  std::thread runner;
  std::list<corvane::http::server> servers;
  std::vector<std::shared_ptr<canned_peer>> peers;
  unsigned short plain_port = 0;
  unsigned short localhost_port = 0;
  unsigned short other_port = 0;

  static corvane::service_router routes() {
    corvane::service_router router;
    for (const char* method : {"GET", "POST", "PUT", "PATCH", "DELETE"}) {
      router.add_route(
          method, "/api/echo",
          [](request_context context, boost::json::value body) -> awaitable<json_result> {
            co_return boost::json::object{
                {"method", context.method}, {"path", context.path}, {"body", body}};
          });
    }
    router.add_route(
        "GET", "/gone", [](request_context, boost::json::value) -> awaitable<json_result> {
          co_return std::unexpected(mendral::make_error("test", 2, "gone", MENDRAL_HERE));
        });
    router.add_route(
        "GET", "/slow", [](request_context, boost::json::value) -> awaitable<json_result> {
          boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, 2s);
          co_await timer.async_wait(use_awaitable);
          co_return "late";
        });
    return router;
  }

  unsigned short start_server(const std::string& chain, const std::string& key) {
    corvane::http::server_options options;
    options.timeout = 3s;
    if (!chain.empty()) {
      options.security.mode = security_mode::tls;
      options.security.certificate_chain_file = chain;
      options.security.private_key_file = key;
    }
    auto& server =
        servers.emplace_back(context, corvane::http::endpoint{"127.0.0.1", 0}, routes(), options);
    const auto started = server.start();
    EXPECT_TRUE(started.has_value()) << started.error().message();
    return server.selected_port();
  }

  void SetUp() override {
    const auto& files = corvane_test::pki();
    plain_port = start_server("", "");
    localhost_port = start_server(files.localhost_chain, files.localhost_key);
    other_port = start_server(files.other_chain, files.other_key);
    runner = std::thread([this] { context.run(); });
  }

  void TearDown() override {
    on_loop([this] {
      servers.clear();
      for (auto& peer : peers) peer->close();
    });
    work.reset();
    context.stop();
    runner.join();
  }

  void on_loop(const std::function<void()>& function) {
    std::promise<void> done;
    boost::asio::post(context, [&] {
      function();
      done.set_value();
    });
    ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
  }

  std::shared_ptr<canned_peer> add_peer(std::string reply,
                                        canned_peer::behaviour act = canned_peer::behaviour::answer,
                                        const tcp::endpoint& at = {
                                            boost::asio::ip::address_v4::loopback(), 0}) {
    std::shared_ptr<canned_peer> peer;
    on_loop([&] {
      peer = std::make_shared<canned_peer>(context, at, std::move(reply), act);
      peer->start();
      peers.push_back(peer);
    });
    return peer;
  }

  static corvane::http::client client_of(unsigned short port, security_config security = {},
                                         std::string host = "127.0.0.1",
                                         std::chrono::milliseconds timeout = 3s,
                                         std::uint64_t body_limit = 1 << 20) {
    return corvane::http::client({std::move(host), port},
                                 {timeout, body_limit, std::move(security)});
  }

  // TLS settings that trust the test CA and expect the name localhost.
  static security_config trusting(std::string server_name = "localhost",
                                  verify_mode verify = verify_mode::standard) {
    security_config security;
    security.mode = security_mode::tls;
    security.verify = verify;
    security.server_name = std::move(server_name);
    security.ca_file = corvane_test::pki().ca_file;
    return security;
  }

  json_result call(const corvane::http::client& client, corvane::http::request request) {
    auto future = boost::asio::co_spawn(context, client.call(request), boost::asio::use_future);
    if (future.wait_for(10s) != std::future_status::ready) {
      return std::unexpected(mendral::make_error("test", -1, "call did not end", MENDRAL_HERE));
    }
    return future.get();
  }
};

void expect_failure(const json_result& result, int code, const std::string& message,
                    const std::string& name) {
  ASSERT_FALSE(result.has_value()) << name << ": " << boost::json::serialize(*result);
  EXPECT_EQ(result.error().code(), code) << name;
  EXPECT_EQ(result.error().message(), message) << name;
  EXPECT_EQ(result.error().category(), code < 0 ? "test" : "corvane") << name;
}

std::string system_message(int value) {
  return boost::system::error_code(value, boost::system::system_category()).message();
}

// Calls -------------------------------------------------------------------------------------------

TEST_F(client_test, json_round_trips_over_http_and_tls) {
  const std::tuple<const char*, corvane::http::client> transports[] = {
      {"plain", client_of(plain_port)},
      {"TLS with a server name", client_of(localhost_port, trusting())},
      {"TLS named by its host", client_of(localhost_port, trusting(""), "localhost")},
  };
  const std::tuple<request_method, boost::json::value, const char*, boost::json::value> rows[] = {
      {request_method::post, boost::json::parse(R"({"n":[1,2.5,"x"]})"), "POST",
       boost::json::parse(R"({"n":[1,2.5,"x"]})")},
      // The server reads a missing body as an empty object.
      {request_method::get, nullptr, "GET", boost::json::object()},
      {request_method::get, boost::json::parse(R"({"q":true})"), "GET",
       boost::json::parse(R"({"q":true})")},
      {request_method::put, "text", "PUT", "text"},
      {request_method::patch, 3, "PATCH", 3},
      {request_method::delete_, nullptr, "DELETE", nullptr},
  };
  for (const auto& [transport, client] : transports) {
    for (const auto& [method, body, method_name, received] : rows) {
      const auto result = call(client, {method, "/api/echo", body});
      ASSERT_TRUE(result.has_value())
          << transport << ' ' << method_name << ": " << result.error().message();
      const boost::json::value expected =
          boost::json::object{{"method", method_name}, {"path", "/api/echo"}, {"body", received}};
      EXPECT_EQ(*result, expected) << transport << ' ' << method_name;
    }
  }
}

TEST_F(client_test, failure_envelopes_come_back_as_their_errors) {
  for (const auto& client : {client_of(plain_port), client_of(localhost_port, trusting())}) {
    const auto mode = client.options.security.mode == security_mode::tls ? "TLS" : "plain";
    expect_failure(call(client, {request_method::get, "/gone", nullptr}), 2, "gone", mode);
    expect_failure(call(client, {request_method::get, "/missing", nullptr}), 2, "route not found",
                   mode);
  }
}

TEST_F(client_test, invalid_calls_fail_before_connecting_after_the_debug_line) {
  const auto peer = add_peer(success_answer);
  auto with = [&](std::chrono::milliseconds timeout, security_mode mode, unsigned short port) {
    security_config security;
    security.mode = mode;
    return client_of(port, security, "127.0.0.1", timeout);
  };
  const auto valid = with(1s, security_mode::none, peer->port());
  const std::tuple<const char*, corvane::http::client, corvane::http::request, const char*> rows[] =
      {
          {"zero time-out",
           with(0ms, security_mode::none, peer->port()),
           {request_method::get, "/x", nullptr},
           "HTTP timeout must be positive"},
          {"negative time-out",
           with(-1ms, security_mode::none, peer->port()),
           {request_method::get, "/x", nullptr},
           "HTTP timeout must be positive"},
          {"port 0",
           with(1s, security_mode::none, 0),
           {request_method::get, "/x", nullptr},
           "HTTP port must be non-zero"},
          {"empty target",
           valid,
           {request_method::get, "", nullptr},
           "HTTP target must not be empty"},
          {"relative target",
           valid,
           {request_method::get, "api/health", nullptr},
           "HTTP target must start with /"},
          {"unknown method",
           valid,
           {static_cast<request_method>(5), "/x", nullptr},
           "HTTP method is invalid"},
          {"dtls",
           with(1s, security_mode::dtls, peer->port()),
           {request_method::get, "/x", nullptr},
           "DTLS is not supported by HTTP client"},
      };
  for (const auto& [name, client, request, message] : rows) {
    log_capture log;
    expect_failure(call(client, request), 1, message, name);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"corvane HTTP client call to 127.0.0.1:" +
                                                     std::to_string(client.endpoint.port)}))
        << name;
  }
  EXPECT_EQ(peer->accepted(), 0);
}

TEST_F(client_test, requests_carry_host_and_a_json_body_only_where_one_is_due) {
  const auto peer = add_peer(success_answer);
  const auto host = "Host: 127.0.0.1:" + std::to_string(peer->port()) + "\r\n";
  auto with_body = [&](const std::string& head, const std::string& body) {
    return head + host +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
  };
  const std::tuple<const char*, corvane::http::request, std::string> rows[] = {
      {"GET with a null body",
       {request_method::get, "/api/x?y=1", nullptr},
       "GET /api/x?y=1 HTTP/1.1\r\n" + host + "\r\n"},
      {"GET with an empty object",
       {request_method::get, "/api/x", boost::json::object()},
       "GET /api/x HTTP/1.1\r\n" + host + "\r\n"},
      {"GET with a body",
       {request_method::get, "/api/x", boost::json::parse(R"({"a":1})")},
       with_body("GET /api/x HTTP/1.1\r\n", R"({"a":1})")},
      {"POST with a null body",
       {request_method::post, "/api/x", nullptr},
       with_body("POST /api/x HTTP/1.1\r\n", "null")},
      {"PUT with an empty object",
       {request_method::put, "/", boost::json::object()},
       with_body("PUT / HTTP/1.1\r\n", "{}")},
      {"DELETE with an array",
       {request_method::delete_, "/api/x", boost::json::parse(R"([1,"b"])")},
       with_body("DELETE /api/x HTTP/1.1\r\n", R"([1,"b"])")},
  };
  const auto client = client_of(peer->port());
  for (const auto& [name, request, sent] : rows) {
    const auto result = call(client, request);
    ASSERT_TRUE(result.has_value()) << name << ": " << result.error().message();
    EXPECT_EQ(*result, boost::json::value(1)) << name;
    ASSERT_FALSE(peer->requests().empty()) << name;
    EXPECT_EQ(peer->requests().back(), sent) << name;
  }

  // A host name is written as it is, whichever of its addresses accepted the connection.
  const auto named =
      call(client_of(peer->port(), {}, "localhost"), {request_method::get, "/", nullptr});
  ASSERT_TRUE(named.has_value()) << named.error().message();
  EXPECT_EQ(peer->requests().back(),
            "GET / HTTP/1.1\r\nHost: localhost:" + std::to_string(peer->port()) + "\r\n\r\n");
}

TEST_F(client_test, ipv6_hosts_are_bracketed_in_the_host_field) {
  const tcp::endpoint loopback_v6{boost::asio::ip::address_v6::loopback(), 0};
  {
    boost::asio::io_context scratch;
    tcp::acceptor probe(scratch);
    boost::system::error_code ec;
    probe.open(tcp::v6(), ec);
    if (!ec) probe.bind(loopback_v6, ec);
    if (ec) GTEST_SKIP() << "no IPv6 loopback: " << ec.message();
  }
  const auto peer = add_peer(success_answer, canned_peer::behaviour::answer, loopback_v6);
  const auto result = call(client_of(peer->port(), {}, "::1"), {request_method::get, "/", nullptr});
  ASSERT_TRUE(result.has_value()) << result.error().message();
  EXPECT_EQ(peer->requests().back(),
            "GET / HTTP/1.1\r\nHost: [::1]:" + std::to_string(peer->port()) + "\r\n\r\n");
}

TEST_F(client_test, only_the_answers_envelope_decides_the_result) {
  boost::system::error_code empty_error;
  boost::json::parse("", empty_error);
  boost::system::error_code broken_error;
  boost::json::parse("{x", broken_error);
  const std::tuple<const char*, std::string, json_result> rows[] = {
      {"success envelope with status 500",
       http_answer("500 Internal Server Error", R"({"ok":true,"payload":1})"), 1},
      {"failure envelope with status 404",
       http_answer("404 Not Found", R"({"ok":false,"code":"not_found","message":"nope"})"),
       std::unexpected(corvane::detail::make_error(2, "nope", MENDRAL_HERE))},
      {"failure envelope with status 200", http_answer("200 OK", R"({"ok":false})"),
       std::unexpected(corvane::detail::make_error(5, "HTTP request failed", MENDRAL_HERE))},
      {"empty body", http_answer("200 OK", ""),
       std::unexpected(corvane::detail::make_error(1, empty_error.message(), MENDRAL_HERE))},
      {"body not JSON", http_answer("200 OK", "{x"),
       std::unexpected(corvane::detail::make_error(1, broken_error.message(), MENDRAL_HERE))},
      {"not an object", http_answer("200 OK", "[1]"),
       std::unexpected(
           corvane::detail::make_error(1, "HTTP response must be an object", MENDRAL_HERE))},
      {"no ok flag", http_answer("200 OK", R"({"payload":1})"),
       std::unexpected(
           corvane::detail::make_error(1, "HTTP response missing ok flag", MENDRAL_HERE))},
      {"no payload", http_answer("200 OK", R"({"ok":true})"),
       std::unexpected(
           corvane::detail::make_error(1, "HTTP response missing payload", MENDRAL_HERE))},
  };
  for (const auto& [name, answer, expected] : rows) {
    const auto peer = add_peer(answer);
    const auto result = call(client_of(peer->port()), {request_method::get, "/", nullptr});
    if (expected) {
      ASSERT_TRUE(result.has_value()) << name << ": " << result.error().message();
      EXPECT_EQ(*result, *expected) << name;
    } else {
      expect_failure(result, expected.error().code(), std::string(expected.error().message()),
                     name);
    }
  }
}

TEST_F(client_test, answers_over_the_body_limit_are_refused) {
  const std::string payload(100, 'a');
  const auto body = R"({"ok":true,"payload":")" + payload + "\"}";
  const auto peer = add_peer(http_answer("200 OK", body));
  const corvane::http::request request{request_method::get, "/", nullptr};
  const auto at_limit = call(client_of(peer->port(), {}, "127.0.0.1", 3s, body.size()), request);
  ASSERT_TRUE(at_limit.has_value()) << at_limit.error().message();
  EXPECT_EQ(*at_limit, boost::json::value(payload));
  expect_failure(call(client_of(peer->port(), {}, "127.0.0.1", 3s, body.size() - 1), request), 1,
                 "HTTP body limit exceeded", "one byte over");
}

// Time-outs and network failures ------------------------------------------------------------------

TEST_F(client_test, every_phase_is_bounded_by_the_time_out) {
  const auto reading = add_peer("", canned_peer::behaviour::read_only);
  const auto silent = add_peer("", canned_peer::behaviour::silent);
  const corvane::http::request slow{request_method::get, "/slow", nullptr};
  const std::tuple<const char*, corvane::http::client, corvane::http::request, const char*> rows[] =
      {
          {"peer never answers",
           client_of(reading->port(), {}, "127.0.0.1", 200ms),
           {request_method::post, "/", nullptr},
           "HTTP request timed out"},
          {"route answers late", client_of(plain_port, {}, "127.0.0.1", 200ms), slow,
           "HTTP request timed out"},
          {"peer never speaks TLS",
           client_of(silent->port(), trusting(), "127.0.0.1", 200ms),
           {request_method::get, "/", nullptr},
           "HTTP TLS handshake timed out"},
          {"TLS route answers late", client_of(localhost_port, trusting(), "127.0.0.1", 200ms),
           slow, "HTTP request timed out"},
      };
  for (const auto& [name, client, request, message] : rows) {
    expect_failure(call(client, request), 4, message, name);
  }
}

TEST_F(client_test, network_and_tls_context_failures_are_returned) {
  unsigned short closed_port = 0;
  {
    boost::asio::io_context scratch;
    tcp::acceptor acceptor(scratch, {boost::asio::ip::address_v4::loopback(), 0});
    closed_port = acceptor.local_endpoint().port();
  }
  const corvane::http::request request{request_method::get, "/", nullptr};
  expect_failure(call(client_of(closed_port), request), 3, system_message(ECONNREFUSED), "refused");

  auto missing_ca = trusting();
  missing_ca.ca_file = corvane_test::fresh_path("absent");
  expect_failure(call(client_of(localhost_port, missing_ca), request), 3, system_message(ENOENT),
                 "missing CA file");
}

// Verification
// --------------------------------------------------------------------------------------

TEST_F(client_test, tls_peers_are_verified_against_the_ca_and_the_name) {
  auto with = [](std::string server_name, verify_mode verify, std::string ca_file) {
    auto security = trusting(std::move(server_name), verify);
    security.ca_file = std::move(ca_file);
    return security;
  };
  const auto& files = corvane_test::pki();
  const std::tuple<const char*, corvane::http::client, bool> rows[] = {
      {"trusted CA, server name", client_of(localhost_port, trusting()), true},
      {"trusted CA, host name", client_of(localhost_port, trusting(""), "localhost"), true},
      {"other name asked for", client_of(other_port, trusting("other.test")), true},
      {"required is standard",
       client_of(localhost_port, trusting("localhost", verify_mode::required)), true},
      {"address is not the certificate's name", client_of(localhost_port, trusting("")), false},
      {"certificate for another name", client_of(other_port, trusting()), false},
      {"unknown CA",
       client_of(localhost_port, with("localhost", verify_mode::standard, files.unknown_ca_file)),
       false},
      {"unknown CA, required",
       client_of(localhost_port, with("localhost", verify_mode::required, files.unknown_ca_file)),
       false},
      {"default verify paths",
       client_of(localhost_port, with("localhost", verify_mode::standard, "")), false},
      {"no verification, wrong name",
       client_of(other_port, with("", verify_mode::none, files.unknown_ca_file)), true},
  };
  const corvane::http::request request{request_method::post, "/api/echo", 7};
  for (const auto& [name, client, succeeds] : rows) {
    const auto result = call(client, request);
    if (succeeds) {
      ASSERT_TRUE(result.has_value()) << name << ": " << result.error().message();
      EXPECT_EQ(result->at("body"), boost::json::value(7)) << name;
      continue;
    }
    ASSERT_FALSE(result.has_value()) << name;
    EXPECT_EQ(result.error().code(), 3) << name;
    EXPECT_NE(result.error().message().find("certificate verify failed"), std::string::npos)
        << name << ": " << result.error().message();
  }
}

// The client value
// ----------------------------------------------------------------------------------

TEST_F(client_test, calls_own_what_they_need_and_run_side_by_side) {
  std::vector<std::future<json_result>> calls;
  {
    auto security = trusting();
    const corvane::http::client temporary = client_of(localhost_port, security);
    for (int index = 0; index < 3; ++index) {
      corvane::http::request request{request_method::post, "/api/echo", index};
      calls.push_back(
          boost::asio::co_spawn(context, temporary.call(request), boost::asio::use_future));
    }
  }  // the client and the requests are gone before the calls end
  for (int index = 0; index < 3; ++index) {
    ASSERT_EQ(calls[index].wait_for(10s), std::future_status::ready);
    const auto result = calls[index].get();
    ASSERT_TRUE(result.has_value()) << result.error().message();
    EXPECT_EQ(result->at("body"), boost::json::value(index));
  }
}

TEST(client_config_test, client_options_from_config_copy_and_share_without_checking) {
  corvane::endpoint_config config;
  config.timeout = 0ms;
  config.body_limit = 12;
  config.security.mode = security_mode::dtls;
  config.security.context =
      std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_client);
  const auto options = corvane::http::client_options_from_config(config);
  EXPECT_EQ(options.timeout, 0ms);
  EXPECT_EQ(options.body_limit, 12u);
  EXPECT_EQ(options.security, config.security);
  EXPECT_EQ(options.security.context.get(), config.security.context.get());

  const corvane::http::client client({"host", 1}, options);
  const auto copy = client;
  EXPECT_EQ(copy, client);
  EXPECT_EQ(copy.options.security.context.get(), config.security.context.get());
}

TEST(client_config_test, client_endpoint_from_config_needs_a_host_and_a_port) {
  const std::tuple<const char*, std::expected<corvane::http::endpoint, std::string>> rows[] = {
      {"host:443", corvane::http::endpoint{"host", 443}},
      {"[::1]:8080", corvane::http::endpoint{"::1", 8080}},
      {"", std::unexpected("endpoint connect is required")},
      {"host", std::unexpected("endpoint connect port is required")},
      {"host:0", std::unexpected("endpoint connect port is required")},
      {"[::1]x", std::unexpected("endpoint has trailing characters")},
      {"host:http", std::unexpected("endpoint port is invalid")},
  };
  for (const auto& [text, expected] : rows) {
    corvane::endpoint_config config;
    config.connect = text;
    const auto parsed = corvane::http::client_endpoint_from_config(config);
    if (expected) {
      ASSERT_TRUE(parsed.has_value()) << text;
      EXPECT_EQ(*parsed, *expected) << text;
    } else {
      ASSERT_FALSE(parsed.has_value()) << text;
      EXPECT_EQ(parsed.error().code(), 1) << text;
      EXPECT_EQ(parsed.error().message(), expected.error()) << text;
    }
  }
}

}  // namespace
