// The HTTP server: built from an event loop, an endpoint, a router and options, it binds and
// listens on start, serves one request per connection on coroutines, over plain TCP or TLS, and
// stops in three ways (`stop`, the immediate stop of the destructor, and `async_stop`, which waits
// for the sessions to drain). The JSON client: one call sends one request over a new plain or TLS
// connection and returns the payload of the framework's response envelope. Also the endpoint
// configuration an application writes and its conversions.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/json/value.hpp>

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>

#include "corvane/detail/transport.hpp"
#include "corvane/security.hpp"
#include "corvane/service.hpp"
#include "mendral/error.hpp"

namespace boost::asio {
class io_context;
}  // namespace boost::asio

namespace corvane {

// The settings of one service endpoint, as an application writes them.
struct endpoint_config {
  std::string service_name;
  // Carried for the application; no framework operation reads it.
  std::uint64_t service_instance = 0;
  // Server endpoint text: "host:port", "[ipv6]:port", a host alone, or empty for 127.0.0.1.
  std::string bind;
  // Client endpoint text: a host and a non-zero port.
  std::string connect;
  // Time allowed for each read, write, handshake and shutdown.
  std::chrono::milliseconds timeout{5000};
  security_config security;
  // Largest request (or response) body accepted, in bytes.
  std::uint64_t body_limit = 16 * 1024 * 1024;
  // Carried for the application; no framework operation reads them.
  std::int64_t retry_interval_ms = 50;
  std::int32_t max_pending = 64;
  std::int64_t idle_timeout_ms = 5000;

  bool operator==(const endpoint_config&) const = default;
};

}  // namespace corvane

namespace corvane::http {

// A parsed endpoint; for a server, port 0 means the text named none.
struct endpoint {
  std::string host;
  unsigned short port = 0;

  bool operator==(const endpoint&) const = default;
};

// A server's settings.
struct server_options {
  // Time allowed for each read, write, handshake and shutdown of a session; must be positive.
  std::chrono::milliseconds timeout{5000};
  // Largest request body accepted, in bytes.
  std::uint64_t body_limit = 16 * 1024 * 1024;
  // Receives accept failures and failed response writes; empty drops them.
  std::function<void(mendral::error)> error_handler;
  // Mode none serves plain HTTP; dtls is refused.
  security_config security;
};

// The configuration's bind text parsed as a server endpoint (default port 0), or the parser's
// error (code 1).
std::expected<endpoint, mendral::error> server_endpoint_from_config(const endpoint_config& config);

// Server options with the configuration's time-out, body limit and security settings and no error
// handler; nothing is checked here.
server_options server_options_from_config(const endpoint_config& config);

// A request body as the server reads it: an empty object for an empty body, otherwise the
// strictly parsed body (at most 32 levels deep, every number finite); code 1 with the parser's
// message, or "JSON number is out of range", when it is not such JSON.
std::expected<boost::json::value, mendral::error> parse_json_body(const std::string& body);

class server {
 public:
  // A server on the event loop's executor; nothing is bound until `start`.
  server(boost::asio::io_context& context, endpoint bind, service_router router,
         server_options options);
  // A server on the executor; nothing is bound until `start`.
  server(boost::asio::any_io_executor executor, endpoint bind, service_router router,
         server_options options);
  server(server&& other) noexcept = default;
  // Stops this server at once (if it holds one), then takes the other's.
  server& operator=(server&& other) noexcept;
  server(const server&) = delete;
  server& operator=(const server&) = delete;
  // Stops at once, without waiting for the event loop: sessions are cancelled and the acceptor
  // is closed on the calling thread.
  ~server();

  // Validates the options, binds, listens and spawns the accept loop. Fails with code 3 "HTTP
  // server has already been started" on a second start, code 1 for a time-out that is not
  // positive or an unsupported security mode, code 3 when binding fails.
  std::expected<void, mendral::error> start();
  // Marks the server stopping, cancels every session and queues the acceptor's close on its
  // strand; later stops do nothing.
  void stop();
  // Stops like `stop`, then waits up to the time-out for each session registry to drain; code 4
  // "timed out waiting for sessions to drain" when sessions outlive it.
  boost::asio::awaitable<std::expected<void, mendral::error>> async_stop(
      std::chrono::milliseconds timeout);
  // The bound port after a successful start; 0 before it or for a moved-from server.
  unsigned short selected_port() const;

 private:
  detail::state_handle handle;
};

// The client ----------------------------------------------------------------------------------

// The methods the client sends; any other value is refused.
enum class request_method : std::int32_t { get = 0, post = 1, put = 2, patch = 3, delete_ = 4 };

// One client request: the target must start with "/" (a query string may follow the path); a GET
// whose body is null or an empty object sends no body.
struct request {
  request_method method = request_method::get;
  std::string target;
  boost::json::value body;

  bool operator==(const request&) const = default;
};

// A client's settings.
struct client_options {
  // The limit of each phase of a call (resolve, connect, TLS handshake, write, read, TLS shutdown).
  std::chrono::milliseconds timeout{5000};
  // Largest response body accepted, in bytes.
  std::uint64_t body_limit = 16 * 1024 * 1024;
  // Mode none calls over plain TCP, tls over TLS; dtls is refused.
  security_config security;

  bool operator==(const client_options&) const = default;
};

// A JSON client of one endpoint. Every call opens its own connection and shares nothing with the
// client once started, so the client may go while its calls run.
struct client {
  http::endpoint endpoint;
  client_options options;

  client(http::endpoint endpoint, client_options options);

  // Sends the request and returns the payload of the answer's success envelope, or the error of a
  // failure envelope. Fails with code 1 for invalid settings or requests, a body over the limit or
  // an answer that is not an envelope, code 4 "HTTP request timed out" or "HTTP TLS handshake timed
  // out" when a phase outlasts the time-out, and the network failure of any other I/O error.
  // Nothing happens until the result is awaited.
  boost::asio::awaitable<std::expected<boost::json::value, mendral::error>> call(
      const request& request) const;

  bool operator==(const client&) const = default;
};

// Client options with the configuration's time-out, body limit and security settings, unchecked.
client_options client_options_from_config(const endpoint_config& config);

// The configuration's connect text parsed as a client endpoint (a host and a non-zero port), or the
// parser's error (code 1).
std::expected<endpoint, mendral::error> client_endpoint_from_config(const endpoint_config& config);

}  // namespace corvane::http
