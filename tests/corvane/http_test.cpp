#include "corvane/http.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/asio/write.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <future>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.hpp"
#include "mendral/log.hpp"
#include "test_pki.hpp"

namespace {

using namespace std::chrono_literals;
using boost::asio::awaitable;
using corvane::request_context;
using corvane::service_response;
using corvane::service_router;
using corvane::http::server_options;
using json_result = std::expected<boost::json::value, mendral::error>;
using response_result = std::expected<service_response, mendral::error>;

// Test client ------------------------------------------------------------------------------------

// How a connection ended from the client's side.
enum class ending { closed, reset, still_open };

struct received {
  std::string bytes;
  ending end = ending::still_open;
};

// A blocking TCP client of 127.0.0.1 whose every wait is bounded by a few seconds.
class loopback_client {
 public:
  explicit loopback_client(unsigned short port, int receive_buffer = 0) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval bound{.tv_sec = 10, .tv_usec = 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    if (receive_buffer > 0) {
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect_error =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
  }
  loopback_client(const loopback_client&) = delete;
  loopback_client& operator=(const loopback_client&) = delete;
  ~loopback_client() { ::close(fd); }

  bool connected() const { return connect_error == 0; }
  int connect_errno() const { return connect_error; }

  // Sends all bytes; false once the connection refuses them.
  bool send(std::string_view bytes) {
    while (!bytes.empty()) {
      const auto sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // Everything received until the server closes or resets the connection.
  received receive_all() {
    received result;
    char chunk[4096];
    for (;;) {
      const auto count = ::recv(fd, chunk, sizeof chunk, 0);
      if (count > 0) {
        result.bytes.append(chunk, static_cast<std::size_t>(count));
        continue;
      }
      if (count == 0) {
        result.end = ending::closed;
      } else {
        result.end = errno == ECONNRESET ? ending::reset : ending::still_open;
      }
      return result;
    }
  }

 private:
  int fd = -1;
  int connect_error = 0;
};

struct http_reply {
  std::string status_line;
  std::vector<std::string> headers;
  std::string body;
};

http_reply parse_reply(const std::string& raw) {
  http_reply reply;
  const auto head_end = raw.find("\r\n\r\n");
  if (head_end == std::string::npos) return reply;
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < head_end;) {
    auto stop = raw.find("\r\n", start);
    lines.push_back(raw.substr(start, stop - start));
    start = stop + 2;
  }
  reply.status_line = lines.front();
  // Header order carries no meaning in HTTP: compared sorted.
  reply.headers.assign(lines.begin() + 1, lines.end());
  std::sort(reply.headers.begin(), reply.headers.end());
  reply.body = raw.substr(head_end + 4);
  return reply;
}

std::string request(std::string_view method, std::string_view target, std::string_view body = {},
                    std::string_view version = "HTTP/1.1") {
  std::string text = std::string(method) + " " + std::string(target) + " " + std::string(version) +
                     "\r\nHost: 127.0.0.1\r\n";
  if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return text + "\r\n" + std::string(body);
}

// One whole exchange on a new connection.
received exchange(unsigned short port, const std::string& bytes) {
  loopback_client client(port);
  EXPECT_TRUE(client.connected()) << client.connect_errno();
  client.send(bytes);
  return client.receive_all();
}

// The headers a JSON answer carries, for a body of the given size.
std::vector<std::string> json_headers(const std::string& body, bool with_connection = true) {
  std::vector<std::string> headers{"Content-Length: " + std::to_string(body.size()),
                                   "Content-Type: application/json"};
  if (with_connection) headers.insert(headers.begin(), "Connection: close");
  return headers;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds bound = 10s) {
  const auto give_up = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// True once a connection to the port is refused (the listener has gone).
bool refuses_connections(unsigned short port) {
  return wait_until([port] {
    loopback_client client(port);
    if (!client.connected()) return client.connect_errno() == ECONNREFUSED;
    return false;
  });
}

// TLS test client --------------------------------------------------------------------------------

struct tls_received {
  bool handshaken = false;
  std::string bytes;
  // The server ended the session with close_notify rather than just closing the connection.
  bool close_notify = false;
  // After its close_notify, the server closed the connection without waiting for the client's.
  bool closed_after_notify = false;
};

// One exchange over TLS, without verifying the server, on an event loop of its own that runs for a
// few seconds at most: handshake, send the bytes, read until the server ends the session. The
// client never answers the server's close_notify; with `await_close` it then waits for the server
// to close the connection.
tls_received tls_exchange(unsigned short port, const std::string& bytes, bool await_close = false) {
  using boost::asio::as_tuple;
  using boost::asio::use_awaitable;
  boost::asio::io_context loop;
  boost::asio::ssl::context context(boost::asio::ssl::context::tls_client);
  context.set_verify_mode(boost::asio::ssl::verify_none);
  boost::asio::ssl::stream<boost::asio::ip::tcp::socket> stream(loop, context);
  tls_received result;
  auto exchange = [&]() -> awaitable<void> {
    const boost::asio::ip::tcp::endpoint server{boost::asio::ip::address_v4::loopback(), port};
    auto [connect_error] =
        co_await stream.next_layer().async_connect(server, as_tuple(use_awaitable));
    if (connect_error) co_return;
    auto [handshake_error] = co_await stream.async_handshake(boost::asio::ssl::stream_base::client,
                                                             as_tuple(use_awaitable));
    if (handshake_error) co_return;
    result.handshaken = true;
    if (!bytes.empty()) {
      co_await boost::asio::async_write(stream, boost::asio::buffer(bytes),
                                        as_tuple(use_awaitable));
    }
    char chunk[4096];
    for (;;) {
      auto [ec, count] =
          co_await stream.async_read_some(boost::asio::buffer(chunk), as_tuple(use_awaitable));
      result.bytes.append(chunk, count);
      if (!ec) continue;
      result.close_notify = ec == boost::asio::error::eof;
      break;
    }
    if (!await_close || !result.close_notify) co_return;
    auto [ec, count] = co_await stream.next_layer().async_read_some(boost::asio::buffer(chunk),
                                                                    as_tuple(use_awaitable));
    result.closed_after_notify = ec == boost::asio::error::eof;
  };
  boost::asio::co_spawn(loop, exchange, boost::asio::detached);
  loop.run_for(10s);
  return result;
}

// Routes --------------------------------------------------------------------------------------

corvane::json_handler echo(std::atomic<int>* calls) {
  return [calls](request_context context, boost::json::value body) -> awaitable<json_result> {
    ++*calls;
    co_return boost::json::object{{"peer", context.remote_peer},
                                  {"method", context.method},
                                  {"path", context.path},
                                  {"body", body}};
  };
}

// A route that marks itself started, then takes `delay` before answering.
corvane::json_handler slow(std::atomic<bool>* started, std::chrono::milliseconds delay) {
  return [started, delay](request_context, boost::json::value) -> awaitable<json_result> {
    *started = true;
    boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, delay);
    co_await timer.async_wait(boost::asio::use_awaitable);
    co_return "slow";
  };
}

constexpr int failure_codes[] = {0, 1, 2, 3, 4, 5, 7, -1};

// Server fixture
// -----------------------------------------------------------------------------------

// A server on 127.0.0.1 with an ephemeral port, its event loop on a thread of its own.
class server_test : public testing::Test {
 protected:
  boost::asio::io_context context;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work =
      boost::asio::make_work_guard(context);
  std::optional<corvane::http::server> server;
  std::list<corvane::http::server> tls_servers;
  std::thread runner;

  std::atomic<int> calls{0};
  std::atomic<bool> slow_started{false};
  std::mutex reported_mutex;
  std::vector<mendral::error> reported;

  service_router routes() {
    service_router router;
    router.add_route("GET", "/api/echo", echo(&calls));
    router.add_route("POST", "/api/echo", echo(&calls));
    router.add_route("BREW", "/api/echo", echo(&calls));
    router.add_response_route(
        "GET", "/page", [](request_context, boost::json::value) -> awaitable<response_result> {
          co_return corvane::text_response("text/html; charset=utf-8", "<h1>page</h1>");
        });
    for (const int code : failure_codes) {
      router.add_route("GET", "/fail/" + std::to_string(code),
                       [code](request_context, boost::json::value) -> awaitable<json_result> {
                         co_return std::unexpected(mendral::make_error(
                             "orvanta", code, "failed with " + std::to_string(code), MENDRAL_HERE));
                       });
    }
    router.add_route("GET", "/throw",
                     [](request_context, boost::json::value) -> awaitable<json_result> {
                       throw std::runtime_error("engine broke");
                       co_return nullptr;
                     });
    router.add_route("GET", "/slow", slow(&slow_started, 300ms));
    router.add_route("GET", "/stuck", slow(&slow_started, 5s));
    router.add_response_route(
        "GET", "/big", [](request_context, boost::json::value) -> awaitable<response_result> {
          co_return corvane::text_response("text/plain", std::string(32 << 20, 'x'));
        });
    return router;
  }

  server_options options(std::chrono::milliseconds timeout = 3s,
                         std::uint64_t body_limit = 1 << 20) {
    server_options result;
    result.timeout = timeout;
    result.body_limit = body_limit;
    result.error_handler = [this](mendral::error error) {
      std::lock_guard lock(reported_mutex);
      reported.push_back(std::move(error));
    };
    return result;
  }

  // Server options for TLS with the certificate for localhost.
  server_options tls_options(std::chrono::milliseconds timeout = 3s,
                             std::uint64_t body_limit = 1 << 20) {
    auto result = options(timeout, body_limit);
    result.security.mode = corvane::security_mode::tls;
    result.security.certificate_chain_file = corvane_test::pki().localhost_chain;
    result.security.private_key_file = corvane_test::pki().localhost_key;
    return result;
  }

  // A further server on 127.0.0.1 with an ephemeral port; not started.
  corvane::http::server& add_tls_server(server_options settings) {
    return tls_servers.emplace_back(context, corvane::http::endpoint{"127.0.0.1", 0}, routes(),
                                    std::move(settings));
  }

  // A started TLS server; the loop is not started here.
  unsigned short start_tls_server(server_options settings) {
    auto& started = add_tls_server(std::move(settings));
    const auto result = started.start();
    EXPECT_TRUE(result.has_value()) << result.error().message();
    return started.selected_port();
  }

  std::vector<mendral::error> reported_errors() {
    std::lock_guard lock(reported_mutex);
    return reported;
  }

  void make_server(server_options settings, std::string host = "127.0.0.1",
                   unsigned short port = 0) {
    server.emplace(context, corvane::http::endpoint{std::move(host), port}, routes(),
                   std::move(settings));
  }

  void run_loop() {
    runner = std::thread([this] { context.run(); });
  }

  // A started server with its loop running.
  void serve(server_options settings) {
    make_server(std::move(settings));
    const auto started = server->start();
    ASSERT_TRUE(started.has_value()) << started.error().message();
    run_loop();
  }

  unsigned short port() const { return server->selected_port(); }

  // Runs the function on the event loop's thread and waits for it.
  void on_loop(const std::function<void()>& function) {
    std::promise<void> done;
    boost::asio::post(context, [&] {
      function();
      done.set_value();
    });
    ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
  }

  template <typename T>
  T await_on_loop(awaitable<T> task) {
    auto future = boost::asio::co_spawn(context, std::move(task), boost::asio::use_future);
    EXPECT_EQ(future.wait_for(10s), std::future_status::ready);
    return future.get();
  }

  void TearDown() override {
    if (!runner.joinable()) return;
    on_loop([this] {
      server.reset();
      tls_servers.clear();
    });
    work.reset();
    context.stop();
    runner.join();
  }
};

// Requests and answers ------------------------------------------------------------------------

TEST_F(server_test, json_route_answers_the_success_envelope) {
  serve(options());
  const auto reply =
      parse_reply(exchange(port(), request("POST", "/api/echo", R"({"n":[1,2]})")).bytes);
  const std::string body =
      R"({"ok":true,"payload":{"peer":"127.0.0.1","method":"POST","path":"/api/echo",)"
      R"("body":{"n":[1,2]}}})";
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(reply.headers, json_headers(body));
  EXPECT_EQ(reply.body, body);
}

TEST_F(server_test, empty_body_reaches_the_handler_as_an_empty_object) {
  serve(options());
  const auto reply = parse_reply(exchange(port(), request("GET", "/api/echo")).bytes);
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(boost::json::parse(reply.body).at("payload").at("body"), boost::json::object());
}

TEST_F(server_test, raw_route_answers_its_content_type_and_body) {
  serve(options());
  const auto reply = parse_reply(exchange(port(), request("GET", "/page")).bytes);
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(reply.headers, (std::vector<std::string>{"Connection: close", "Content-Length: 13",
                                                     "Content-Type: text/html; charset=utf-8"}));
  EXPECT_EQ(reply.body, "<h1>page</h1>");
}

TEST_F(server_test, failures_answer_the_envelope_with_the_status_of_their_code) {
  serve(options());
  const std::tuple<int, const char*, const char*> rows[] = {
      {0, "200 OK", "ok"},
      {1, "400 Bad Request", "invalid_argument"},
      {2, "404 Not Found", "not_found"},
      {3, "503 Service Unavailable", "unavailable"},
      {4, "504 Gateway Timeout", "timeout"},
      {5, "500 Internal Server Error", "internal"},
      {7, "500 Internal Server Error", "internal"},
      {-1, "500 Internal Server Error", "internal"},
  };
  for (const auto& [code, status, name] : rows) {
    const auto reply =
        parse_reply(exchange(port(), request("GET", "/fail/" + std::to_string(code))).bytes);
    const std::string body = std::string(R"({"ok":false,"code":")") + name +
                             R"(","message":"failed with )" + std::to_string(code) + R"("})";
    EXPECT_EQ(reply.status_line, std::string("HTTP/1.1 ") + status) << code;
    EXPECT_EQ(reply.headers, json_headers(body)) << code;
    EXPECT_EQ(reply.body, body) << code;
  }
}

TEST_F(server_test, requests_without_a_route_are_not_found) {
  serve(options());
  const std::string not_found = R"({"ok":false,"code":"not_found","message":"route not found"})";
  const std::pair<const char*, const char*> rows[] = {
      {"DELETE", "/api/echo"},   // another method
      {"get", "/api/echo"},      // methods are case-sensitive
      {"COFFEE", "/api/echo"},   // a method the HTTP library does not know
      {"GET", "/api/echo?x=1"},  // the query string is part of the route key
      {"GET", "/api/echo/"},    {"GET", "/missing"},
  };
  for (const auto& [method, target] : rows) {
    const auto reply = parse_reply(exchange(port(), request(method, target)).bytes);
    EXPECT_EQ(reply.status_line, "HTTP/1.1 404 Not Found") << method << ' ' << target;
    EXPECT_EQ(reply.body, not_found) << method << ' ' << target;
  }
  EXPECT_EQ(calls, 0);
}

TEST_F(server_test, methods_unknown_to_the_http_library_reach_the_router_as_received) {
  serve(options());
  const auto reply = parse_reply(exchange(port(), request("BREW", "/api/echo")).bytes);
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(boost::json::parse(reply.body).at("payload").at("method"), "BREW");
}

TEST_F(server_test, handler_exception_is_answered_as_an_internal_failure) {
  serve(options());
  const auto reply = parse_reply(exchange(port(), request("GET", "/throw")).bytes);
  EXPECT_EQ(reply.status_line, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(reply.body,
            R"({"ok":false,"code":"internal","message":"handler failed: engine broke"})");
}

TEST_F(server_test, body_limit_reads_exactly_the_limit_and_refuses_one_byte_more) {
  constexpr std::size_t limit = 64;
  serve(options(3s, limit));
  const std::string at_limit = '"' + std::string(limit - 2, 'a') + '"';
  const std::string over_limit = '"' + std::string(limit - 1, 'a') + '"';
  const std::string refusal =
      R"({"ok":false,"code":"invalid_argument","message":"HTTP body limit exceeded"})";

  const auto accepted = parse_reply(exchange(port(), request("POST", "/api/echo", at_limit)).bytes);
  EXPECT_EQ(accepted.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(boost::json::parse(accepted.body).at("payload").at("body"),
            boost::json::value(std::string(limit - 2, 'a')));

  // Refused before any handler runs, and always as HTTP/1.1, whatever the request's version.
  for (const char* version : {"HTTP/1.1", "HTTP/1.0"}) {
    const auto refused =
        parse_reply(exchange(port(), request("POST", "/api/echo", over_limit, version)).bytes);
    EXPECT_EQ(refused.status_line, "HTTP/1.1 400 Bad Request") << version;
    EXPECT_EQ(refused.headers, json_headers(refusal)) << version;
    EXPECT_EQ(refused.body, refusal) << version;
  }
  EXPECT_EQ(calls, 1);
}

TEST_F(server_test, bodies_that_are_not_json_are_refused_with_the_parsers_message) {
  serve(options());
  const std::string depth_32 = std::string(32, '[') + std::string(32, ']');
  const std::string depth_33 = std::string(33, '[') + std::string(33, ']');
  const std::tuple<const char*, std::string, const char*> rows[] = {
      {"whitespace only", " ", "incomplete JSON"},
      {"trailing data", "{} x", "extra data"},
      {"trailing comma", "[1,]", "syntax error"},
      {"nested 33 deep", depth_33, "too deep"},
      // Boost.JSON reads these as infinities; they are refused rather than echoed as Infinity.
      {"overflowing number", "1e999", "JSON number is out of range"},
      {"nested negative overflow", R"({"a":[1,-1e999]})", "JSON number is out of range"},
      {"overflow in a member", R"({"tempo":123456789012345678901234567890e300})",
       "JSON number is out of range"},
  };
  for (const auto& [name, body, message] : rows) {
    for (const char* version : {"HTTP/1.1", "HTTP/1.0"}) {
      const auto reply =
          parse_reply(exchange(port(), request("POST", "/api/echo", body, version)).bytes);
      const std::string envelope =
          std::string(R"({"ok":false,"code":"invalid_argument","message":")") + message + "\"}";
      EXPECT_EQ(reply.status_line, "HTTP/1.1 400 Bad Request") << name << ' ' << version;
      EXPECT_EQ(reply.headers, json_headers(envelope)) << name << ' ' << version;
      EXPECT_EQ(reply.body, envelope) << name << ' ' << version;
    }
  }
  EXPECT_EQ(calls, 0);

  const auto deep = parse_reply(exchange(port(), request("POST", "/api/echo", depth_32)).bytes);
  EXPECT_EQ(deep.status_line, "HTTP/1.1 200 OK");
  const auto large = parse_reply(exchange(port(), request("POST", "/api/echo", "1e308")).bytes);
  EXPECT_EQ(large.body, R"({"ok":true,"payload":{"peer":"127.0.0.1","method":"POST",)"
                        R"("path":"/api/echo","body":1E308}})");
}

TEST_F(server_test, http_1_0_request_is_answered_in_http_1_0_without_a_connection_field) {
  serve(options());
  const auto reply =
      parse_reply(exchange(port(), request("GET", "/api/echo", {}, "HTTP/1.0")).bytes);
  EXPECT_EQ(reply.status_line, "HTTP/1.0 200 OK");
  EXPECT_EQ(reply.headers, json_headers(reply.body, false));
}

TEST_F(server_test, second_pipelined_request_is_never_answered) {
  serve(options());
  loopback_client client(port());
  ASSERT_TRUE(client.connected());
  client.send(request("GET", "/api/echo") + request("GET", "/page"));
  const auto answer = client.receive_all();
  EXPECT_NE(answer.end, ending::still_open);
  EXPECT_EQ(answer.bytes.find("HTTP/1.1 "), 0u);
  EXPECT_EQ(answer.bytes.find("HTTP/1.1 ", 1), std::string::npos);
  EXPECT_EQ(parse_reply(answer.bytes).status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(calls, 1);
}

// Time-outs ---------------------------------------------------------------------------------------

TEST_F(server_test, silent_and_trickling_clients_are_closed_without_an_answer) {
  serve(options(300ms));
  loopback_client silent(port());
  loopback_client trickling(port());
  ASSERT_TRUE(silent.connected() && trickling.connected());
  std::atomic<bool> stop_trickling{false};
  std::thread trickle([&] {
    const std::string head =
        "GET /api/echo HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(100, 'a');
    for (const char byte : head) {
      if (stop_trickling || !trickling.send(std::string_view(&byte, 1))) return;
      std::this_thread::sleep_for(20ms);
    }
  });

  // Other connections are served meanwhile.
  const auto served = parse_reply(exchange(port(), request("GET", "/api/echo")).bytes);
  EXPECT_EQ(served.status_line, "HTTP/1.1 200 OK");

  const auto silent_end = silent.receive_all();
  EXPECT_EQ(silent_end.bytes, "");
  EXPECT_EQ(silent_end.end, ending::closed);
  const auto trickling_end = trickling.receive_all();
  EXPECT_EQ(trickling_end.bytes, "");
  EXPECT_NE(trickling_end.end, ending::still_open);
  stop_trickling = true;
  trickle.join();
  EXPECT_TRUE(reported_errors().empty());
}

TEST_F(server_test, response_write_time_out_goes_to_the_error_handler) {
  serve(options(300ms));
  loopback_client reader_that_never_reads(port(), 4096);
  ASSERT_TRUE(reader_that_never_reads.connected());
  reader_that_never_reads.send(request("GET", "/big"));
  ASSERT_TRUE(wait_until([this] { return !reported_errors().empty(); }));
  const auto errors = reported_errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code(), 4);
  EXPECT_EQ(errors[0].message(), "HTTP response timed out");
}

// Start -------------------------------------------------------------------------------------------

TEST_F(server_test, second_start_fails_and_the_first_keeps_listening) {
  serve(options());
  EXPECT_NE(port(), 0);
  auto expect_refused = [this] {
    const auto again = server->start();
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().code(), 3);
    EXPECT_EQ(again.error().message(), "HTTP server has already been started");
  };
  expect_refused();
  EXPECT_EQ(parse_reply(exchange(port(), request("GET", "/page")).bytes).status_line,
            "HTTP/1.1 200 OK");
  server->stop();
  expect_refused();  // a stopped server cannot be started again either
}

TEST_F(server_test, start_refuses_bad_options_before_binding) {
  auto with = [this](std::chrono::milliseconds timeout, corvane::security_mode mode) {
    auto settings = options(timeout);
    settings.security.mode = mode;
    return settings;
  };
  const std::pair<server_options, const char*> rows[] = {
      {with(0ms, corvane::security_mode::dtls), "HTTP server timeout must be positive"},
      {with(-5ms, corvane::security_mode::none), "HTTP server timeout must be positive"},
      {with(1s, corvane::security_mode::dtls), "DTLS is not supported by HTTP server"},
  };
  for (const auto& [settings, message] : rows) {
    make_server(settings);
    // Repeated: a refused start leaves the server startable, so the same check fails again.
    for (int attempt = 0; attempt < 2; ++attempt) {
      const auto started = server->start();
      ASSERT_FALSE(started.has_value()) << message;
      EXPECT_EQ(started.error().code(), 1) << message;
      EXPECT_EQ(started.error().message(), message);
    }
    EXPECT_EQ(port(), 0) << message;
  }
}

TEST_F(server_test, bind_failure_leaves_the_server_startable) {
  make_server(options());
  ASSERT_TRUE(server->start().has_value());
  const auto taken = port();

  corvane::http::server second(context, {"127.0.0.1", taken}, routes(), options());
  const auto refused = second.start();
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code(), 3);
  EXPECT_EQ(refused.error().message(),
            boost::system::error_code(EADDRINUSE, boost::system::system_category()).message());
  EXPECT_EQ(second.selected_port(), 0);

  server.reset();  // frees the port at once: the loop is not running
  const auto retried = second.start();
  ASSERT_TRUE(retried.has_value()) << retried.error().message();
  EXPECT_EQ(second.selected_port(), taken);
}

TEST_F(server_test, host_names_are_resolved_before_binding) {
  make_server(options(), "localhost");
  ASSERT_TRUE(server->start().has_value());
  run_loop();
  EXPECT_EQ(parse_reply(exchange(port(), request("GET", "/page")).bytes).status_line,
            "HTTP/1.1 200 OK");
}

using corvane_test::log_capture;

TEST_F(server_test, start_and_the_first_stop_are_logged_at_debug_level) {
  log_capture log;
  make_server(options());
  EXPECT_EQ(port(), 0);
  ASSERT_TRUE(server->start().has_value());
  EXPECT_NE(port(), 0);
  server->stop();
  server->stop();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "corvane HTTP server started on port " + std::to_string(port()),
                             "corvane HTTP server stopping"}));
}

// Stop --------------------------------------------------------------------------------------------

TEST_F(server_test, stop_cancels_sessions_and_closes_the_listener) {
  serve(options());
  loopback_client waiting(port());
  ASSERT_TRUE(waiting.connected());
  std::this_thread::sleep_for(50ms);  // let the session start reading
  server->stop();
  const auto end = waiting.receive_all();
  EXPECT_EQ(end.bytes, "");
  EXPECT_NE(end.end, ending::still_open);
  EXPECT_TRUE(refuses_connections(port()));
}

TEST_F(server_test, stop_before_start_closes_the_new_listener_when_the_loop_runs) {
  make_server(options());
  server->stop();
  ASSERT_TRUE(server->start().has_value());
  EXPECT_NE(port(), 0);
  run_loop();
  EXPECT_TRUE(refuses_connections(port()));
}

TEST_F(server_test, destroying_the_server_stops_it_at_once) {
  serve(options());
  const auto bound = port();
  loopback_client waiting(bound);
  ASSERT_TRUE(waiting.connected());
  std::this_thread::sleep_for(50ms);
  on_loop([this] { server.reset(); });
  const auto end = waiting.receive_all();
  EXPECT_EQ(end.bytes, "");
  EXPECT_NE(end.end, ending::still_open);
  EXPECT_TRUE(refuses_connections(bound));
}

TEST_F(server_test, moved_from_server_is_empty_and_the_target_serves) {
  make_server(options());
  corvane::http::server moved(std::move(*server));
  const auto refused = server->start();
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code(), 3);
  EXPECT_EQ(refused.error().message(), "HTTP server is not initialized");
  EXPECT_EQ(server->selected_port(), 0);
  server->stop();

  ASSERT_TRUE(moved.start().has_value());
  run_loop();
  const auto stopped = await_on_loop(server->async_stop(1s));
  ASSERT_FALSE(stopped.has_value());
  EXPECT_EQ(stopped.error().message(), "HTTP server is not initialized");
  EXPECT_EQ(parse_reply(exchange(moved.selected_port(), request("GET", "/page")).bytes).status_line,
            "HTTP/1.1 200 OK");
  on_loop([&] { moved = corvane::http::server(std::move(*server)); });
}

TEST_F(server_test, move_assignment_stops_the_replaced_server_at_once) {
  serve(options());
  const auto replaced_port = port();
  on_loop([this] {
    *server = corvane::http::server(context, {"127.0.0.1", 0}, routes(), options());
  });
  EXPECT_TRUE(refuses_connections(replaced_port));
  EXPECT_EQ(port(), 0);
}

TEST_F(server_test, async_stop_without_sessions_succeeds_once_the_listener_is_closed) {
  serve(options());
  const auto stopped = await_on_loop(server->async_stop(1s));
  EXPECT_TRUE(stopped.has_value()) << stopped.error().message();
  loopback_client late(port());
  EXPECT_FALSE(late.connected());
  EXPECT_EQ(late.connect_errno(), ECONNREFUSED);
}

TEST_F(server_test, async_stop_drains_a_session_whose_handler_finishes_in_time) {
  serve(options());
  loopback_client client(port());
  ASSERT_TRUE(client.send(request("GET", "/slow")));
  ASSERT_TRUE(wait_until([this] { return slow_started.load(); }));
  const auto stopped = await_on_loop(server->async_stop(5s));
  EXPECT_TRUE(stopped.has_value()) << stopped.error().message();
  // The handler ran to its end, but its connection had been cancelled: no answer, and the failed
  // write went to the error handler.
  EXPECT_EQ(client.receive_all().bytes, "");
  const auto errors = reported_errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code(), 3);
}

TEST_F(server_test, async_stop_reports_a_drain_that_times_out) {
  serve(options());
  loopback_client client(port());
  ASSERT_TRUE(client.send(request("GET", "/stuck")));
  ASSERT_TRUE(wait_until([this] { return slow_started.load(); }));
  const auto stopped = await_on_loop(server->async_stop(100ms));
  ASSERT_FALSE(stopped.has_value());
  EXPECT_EQ(stopped.error().code(), 4);
  EXPECT_EQ(stopped.error().message(), "timed out waiting for sessions to drain");
  EXPECT_TRUE(refuses_connections(port()));
}

TEST_F(server_test, async_stop_checks_its_time_out_and_leaves_the_server_untouched) {
  serve(options());
  const auto refused = await_on_loop(server->async_stop(0ms));
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().code(), 1);
  EXPECT_EQ(refused.error().message(), "shutdown timeout must be positive");
  EXPECT_EQ(parse_reply(exchange(port(), request("GET", "/page")).bytes).status_line,
            "HTTP/1.1 200 OK");
}

TEST_F(server_test, async_stop_after_stop_only_waits) {
  serve(options());
  server->stop();
  EXPECT_TRUE(await_on_loop(server->async_stop(1s)).has_value());
  EXPECT_TRUE(refuses_connections(port()));
}

// TLS sessions ------------------------------------------------------------------------------------

std::string system_message(int value) {
  return boost::system::error_code(value, boost::system::system_category()).message();
}

TEST_F(server_test, tls_sessions_answer_exactly_as_plain_ones_then_send_close_notify) {
  constexpr std::size_t limit = 64;
  const auto tls_port = start_tls_server(tls_options(3s, limit));
  serve(options(3s, limit));
  const std::pair<const char*, std::string> rows[] = {
      {"json route", request("POST", "/api/echo", R"({"n":[1,2]})")},
      {"raw route", request("GET", "/page")},
      {"route failure", request("GET", "/fail/4")},
      {"no route", request("GET", "/missing")},
      {"handler exception", request("GET", "/throw")},
      {"body over the limit", request("POST", "/api/echo", '"' + std::string(limit, 'a') + '"')},
      {"body not JSON", request("POST", "/api/echo", "[1,]")},
      {"HTTP/1.0", request("GET", "/api/echo", {}, "HTTP/1.0")},
  };
  for (const auto& [name, bytes] : rows) {
    const auto plain = exchange(port(), bytes).bytes;
    const auto secure = tls_exchange(tls_port, bytes);
    EXPECT_TRUE(secure.handshaken) << name;
    EXPECT_FALSE(plain.empty()) << name;
    EXPECT_EQ(secure.bytes, plain) << name;
    EXPECT_TRUE(secure.close_notify) << name;
  }
  EXPECT_TRUE(reported_errors().empty());
}

TEST_F(server_test, silent_tls_client_is_closed_after_the_handshake_time_out) {
  const auto tls_port = start_tls_server(tls_options(300ms));
  run_loop();
  loopback_client silent(tls_port);
  ASSERT_TRUE(silent.connected());
  const auto end = silent.receive_all();
  EXPECT_EQ(end.bytes, "");
  EXPECT_EQ(end.end, ending::closed);
  ASSERT_TRUE(wait_until([this] { return !reported_errors().empty(); }));
  const auto errors = reported_errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code(), 4);
  EXPECT_EQ(errors[0].message(), "HTTP TLS handshake timed out");
}

TEST_F(server_test, plain_http_to_a_tls_port_fails_the_handshake_without_an_answer) {
  const auto tls_port = start_tls_server(tls_options());
  run_loop();
  loopback_client client(tls_port);
  ASSERT_TRUE(client.connected());
  client.send(request("POST", "/api/echo", "{}"));
  const auto end = client.receive_all();
  EXPECT_EQ(end.bytes.find("HTTP/"), std::string::npos);
  EXPECT_NE(end.end, ending::still_open);
  ASSERT_TRUE(wait_until([this] { return !reported_errors().empty(); }));
  const auto errors = reported_errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code(), 3);  // the TLS library's error, as a network failure
  EXPECT_FALSE(errors[0].message().empty());
  EXPECT_EQ(calls, 0);
}

TEST_F(server_test, tls_client_without_a_certificate_is_refused_when_one_is_required) {
  auto settings = tls_options();
  settings.security.verify = corvane::verify_mode::required;
  const auto tls_port = start_tls_server(settings);
  run_loop();
  const auto end = tls_exchange(tls_port, request("GET", "/api/echo"));
  EXPECT_EQ(end.bytes.find("HTTP/"), std::string::npos);
  ASSERT_TRUE(wait_until([this] { return !reported_errors().empty(); }));
  const auto errors = reported_errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].code(), 3);
  EXPECT_EQ(calls, 0);
}

TEST_F(server_test, tls_session_without_a_request_ends_silently_after_the_time_out) {
  const auto tls_port = start_tls_server(tls_options(300ms));
  run_loop();
  const auto end = tls_exchange(tls_port, "");
  EXPECT_TRUE(end.handshaken);
  EXPECT_EQ(end.bytes, "");
  // A failed read gets neither an answer nor a TLS shutdown.
  EXPECT_FALSE(end.close_notify);
  EXPECT_TRUE(reported_errors().empty());
}

TEST_F(server_test, tls_close_waits_no_longer_than_the_time_out_for_the_clients_close_notify) {
  const auto tls_port = start_tls_server(tls_options(300ms));
  run_loop();
  const auto end = tls_exchange(tls_port, request("GET", "/page"), true);
  EXPECT_EQ(parse_reply(end.bytes).status_line, "HTTP/1.1 200 OK");
  EXPECT_TRUE(end.close_notify);
  EXPECT_TRUE(end.closed_after_notify);
  EXPECT_TRUE(reported_errors().empty());
}

TEST_F(server_test, stopping_cancels_tls_sessions_and_drains_them) {
  auto& tls = add_tls_server(tls_options(5s));
  ASSERT_TRUE(tls.start().has_value());
  const auto tls_port = tls.selected_port();
  run_loop();
  loopback_client in_handshake(tls_port);
  ASSERT_TRUE(in_handshake.connected());
  std::this_thread::sleep_for(50ms);  // let the session start its handshake
  const auto stopped = await_on_loop(tls.async_stop(2s));
  EXPECT_TRUE(stopped.has_value()) << stopped.error().message();
  const auto end = in_handshake.receive_all();
  EXPECT_EQ(end.bytes, "");
  EXPECT_NE(end.end, ending::still_open);
  EXPECT_TRUE(refuses_connections(tls_port));
}

TEST_F(server_test, tls_start_checks_its_settings_before_binding) {
  const auto& files = corvane_test::pki();
  auto with = [this](std::string chain, std::string key) {
    auto settings = tls_options();
    settings.security.certificate_chain_file = std::move(chain);
    settings.security.private_key_file = std::move(key);
    return settings;
  };
  auto supplied_empty_context = with("", "");
  supplied_empty_context.security.context =
      std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  auto dtls = with(files.localhost_chain, files.localhost_key);
  dtls.security.mode = corvane::security_mode::dtls;
  struct row {
    const char* name;
    server_options settings;
    int code;
    std::string message;  // exact, or the start of it when `prefix` is set
    bool prefix = false;
  };
  const row rows[] = {
      {"no files and no context", with("", ""), 1,
       "HTTP TLS server requires certificate chain/private key files or an SSL context"},
      {"chain alone", with(files.localhost_chain, ""), 1,
       "HTTP TLS server certificate chain and private key must both be configured"},
      {"key alone", with("", files.localhost_key), 1,
       "HTTP TLS server certificate chain and private key must both be configured"},
      {"missing chain file", with(corvane_test::fresh_path("missing"), files.localhost_key), 3,
       system_message(ENOENT)},
      {"mismatched key", with(files.localhost_chain, files.mismatched_key), 3,
       "key values mismatch", true},
      {"key of another kind", with(files.localhost_chain, files.foreign_key), 1,
       "TLS server private key does not match certificate: error:", true},
      {"context without certificate", supplied_empty_context, 1,
       "TLS server context requires matching certificate/private key material: error:", true},
      {"dtls", dtls, 1, "DTLS is not supported by HTTP server"},
  };
  for (const auto& [name, settings, code, message, prefix] : rows) {
    make_server(settings);
    // Repeated: a refused start leaves the server startable, so the same check fails again.
    for (int attempt = 0; attempt < 2; ++attempt) {
      const auto started = server->start();
      ASSERT_FALSE(started.has_value()) << name;
      EXPECT_EQ(started.error().code(), code) << name;
      if (prefix) {
        EXPECT_TRUE(started.error().message().starts_with(message))
            << name << ": " << started.error().message();
      } else {
        EXPECT_EQ(started.error().message(), message) << name;
      }
    }
    EXPECT_EQ(port(), 0) << name;
  }
}

TEST_F(server_test, tls_start_succeeds_once_the_cause_of_a_failed_start_is_gone) {
  const auto& files = corvane_test::pki();
  auto expect_refused = [](corvane::http::server& refused, int code) {
    const auto started = refused.start();
    ASSERT_FALSE(started.has_value());
    EXPECT_EQ(started.error().code(), code) << started.error().message();
  };

  auto missing = tls_options();
  missing.security.certificate_chain_file = corvane_test::fresh_path("chain");
  missing.security.private_key_file = corvane_test::fresh_path("key");
  auto& late_files = add_tls_server(missing);
  expect_refused(late_files, 3);
  std::filesystem::copy_file(files.localhost_chain, missing.security.certificate_chain_file);
  std::filesystem::copy_file(files.localhost_key, missing.security.private_key_file);

  auto mismatched = tls_options();
  mismatched.security.private_key_file = corvane_test::fresh_path("key");
  std::filesystem::copy_file(files.mismatched_key, mismatched.security.private_key_file);
  auto& replaced_key = add_tls_server(mismatched);
  expect_refused(replaced_key, 3);
  std::filesystem::copy_file(files.localhost_key, mismatched.security.private_key_file,
                             std::filesystem::copy_options::overwrite_existing);

  auto supplied = tls_options();
  supplied.security.certificate_chain_file.clear();
  supplied.security.private_key_file.clear();
  supplied.security.context =
      std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  auto& filled_context = add_tls_server(supplied);
  expect_refused(filled_context, 1);
  supplied.security.context->use_certificate_chain_file(files.localhost_chain);
  supplied.security.context->use_private_key_file(files.localhost_key,
                                                  boost::asio::ssl::context::pem);

  for (auto* corrected : {&late_files, &replaced_key, &filled_context}) {
    const auto started = corrected->start();
    ASSERT_TRUE(started.has_value()) << started.error().message();
  }
  run_loop();
  for (auto* corrected : {&late_files, &replaced_key, &filled_context}) {
    const auto end = tls_exchange(corrected->selected_port(), request("GET", "/page"));
    EXPECT_EQ(parse_reply(end.bytes).status_line, "HTTP/1.1 200 OK");
  }
}

// Endpoints and options -------------------------------------------------------------------------

TEST(http_config_test, server_endpoint_from_config_parses_the_bind_text) {
  corvane::endpoint_config config;
  config.bind = "0.0.0.0:8000";
  EXPECT_EQ(*corvane::http::server_endpoint_from_config(config),
            (corvane::http::endpoint{"0.0.0.0", 8000}));
  config.bind = "";
  EXPECT_EQ(*corvane::http::server_endpoint_from_config(config),
            (corvane::http::endpoint{"127.0.0.1", 0}));
  config.bind = "host:http";
  const auto invalid = corvane::http::server_endpoint_from_config(config);
  ASSERT_FALSE(invalid.has_value());
  EXPECT_EQ(invalid.error().code(), 1);
  EXPECT_EQ(invalid.error().message(), "endpoint port is invalid");
}

TEST(http_config_test, server_options_from_config_copies_and_shares_without_checking) {
  corvane::endpoint_config config;
  config.timeout = 0ms;
  config.body_limit = 12;
  config.security.context =
      std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  const auto derived = corvane::http::server_options_from_config(config);
  EXPECT_EQ(derived.timeout, 0ms);
  EXPECT_EQ(derived.body_limit, 12u);
  EXPECT_FALSE(derived.error_handler);
  EXPECT_EQ(derived.security.context.get(), config.security.context.get());

  auto with_handler = derived;
  int handled = 0;
  with_handler.error_handler = [&handled](mendral::error) { ++handled; };
  const auto copy = with_handler;
  copy.error_handler(corvane::detail::invalid_argument("x"));
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(copy.security.context.get(), config.security.context.get());
}

}  // namespace
