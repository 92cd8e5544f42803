// Fuzz target "http": any bytes as one whole HTTP request to the service's router, served by the
// framework on a loopback socket of an in-process server with the service's time-out and the
// HTTP library's header limits. The client sends the bytes, closes its sending side and reads
// until the server closes. Oracles: no fault; an answer that arrives whole is one well-formed
// HTTP response with a status the framework uses; the exchange ends within a bound far below the
// time-out (a closed sending side must end any read at once); afterwards the same server still
// answers the health probe.
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <chrono>
#include <exception>
#include <string>
#include <string_view>

#include "corvane/http.hpp"
#include "fuzz_target.hpp"
#include "server.hpp"

namespace orvanta::fuzz {
namespace {

namespace asio = boost::asio;
namespace beast_http = boost::beast::http;
using asio::ip::tcp;
using exchange_token = asio::as_tuple_t<asio::use_awaitable_t<>>;

// The service's own time-out. The body limit is far below the service's 16 MiB so that fuzzed
// inputs (at most 1 MiB) cross it with chunked bodies too, not only with a declared length.
constexpr std::chrono::milliseconds io_timeout{5000};
constexpr std::uint64_t body_limit = 4096;
// The whole run of one input: both exchanges and the stop.
constexpr std::chrono::milliseconds run_bound{4000};
constexpr std::size_t answer_limit = 1 << 20;

constexpr std::string_view health_request = "GET /api/health HTTP/1.1\r\nHost: fuzz\r\n\r\n";
constexpr std::string_view health_answer_head = "HTTP/1.1 200 OK\r\n";
constexpr std::string_view health_answer_body =
    R"({"ok":true,"payload":{"status":"ok","version":"0.1.0"}})";

struct exchange {
  std::string answer;
  // The server closed the connection after its answer, rather than resetting it.
  bool closed = false;
};

// Sends the bytes on a new connection, closes the sending side and reads until the server
// closes or resets the connection.
asio::awaitable<exchange> send_and_read(unsigned short port, std::string_view bytes) {
  constexpr exchange_token token;
  tcp::socket socket(co_await asio::this_coro::executor);
  auto [connect_error] =
      co_await socket.async_connect({asio::ip::address_v4::loopback(), port}, token);
  require(!connect_error, "the server refused a connection");
  // The server stops reading after one request, so the rest of a long input may be refused.
  co_await asio::async_write(socket, asio::buffer(bytes), token);
  boost::system::error_code ignored;
  socket.shutdown(tcp::socket::shutdown_send, ignored);

  exchange result;
  std::string chunk(4096, '\0');
  for (;;) {
    auto [read_error, count] = co_await socket.async_read_some(asio::buffer(chunk), token);
    result.answer.append(chunk.data(), count);
    require(result.answer.size() <= answer_limit, "an answer of more than 1 MiB");
    if (read_error) {
      result.closed = read_error == asio::error::eof;
      break;
    }
  }
  // A reset instead of a close leaves no port in TIME_WAIT behind millions of runs.
  socket.set_option(asio::socket_base::linger(true, 0), ignored);
  co_return result;
}

bool is_framework_status(unsigned status) {
  for (unsigned known : {200u, 400u, 404u, 500u, 503u, 504u}) {
    if (status == known) return true;
  }
  return false;
}

// An answer that arrived whole is exactly one complete response.
void check_answer(const exchange& sent) {
  if (sent.answer.empty() || !sent.closed) return;
  beast_http::response_parser<beast_http::string_body> parser;
  parser.eager(true);
  boost::system::error_code error;
  std::string_view rest = sent.answer;
  while (!rest.empty() && !error && !parser.is_done()) {
    const auto used = parser.put(asio::buffer(rest.data(), rest.size()), error);
    if (used == 0) break;
    rest.remove_prefix(used);
  }
  require(!error && parser.is_done(), "an answer that is not one complete HTTP response");
  require(rest.empty(), "bytes after the answer");
  require(is_framework_status(parser.get().result_int()), "an answer with an unexpected status");
}

void check_health(const exchange& probe) {
  require(
      probe.answer.starts_with(health_answer_head) && probe.answer.ends_with(health_answer_body),
      "the server no longer answers the health probe");
}

asio::awaitable<void> exchange_then_probe(unsigned short port, std::string_view bytes,
                                          bool& finished) {
  check_answer(co_await send_and_read(port, bytes));
  check_health(co_await send_and_read(port, health_request));
  finished = true;
}

}  // namespace

void fuzz_one_input(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  asio::io_context context;
  app_state state(app_config{"/nonexistent/orvanta/fuzz/web"});
  corvane::http::server_options options;
  options.timeout = io_timeout;
  options.body_limit = body_limit;
  corvane::http::server server(context, {"127.0.0.1", 0}, make_router(state), options);
  require(server.start().has_value(), "the server did not start");

  bool finished = false;
  asio::co_spawn(context, exchange_then_probe(server.selected_port(), bytes, finished),
                 [&server](std::exception_ptr failure) {
                   require(!failure, "the test client failed with an exception");
                   server.stop();
                 });
  context.run_for(run_bound);
  require(finished, "the exchange did not end in time");
  require(context.stopped(), "the server still had work to do after its stop");
}

}  // namespace orvanta::fuzz
