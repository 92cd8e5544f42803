// The HTTP server: built from an event loop, an endpoint, a router and options, it binds and
// listens on start, serves one request per connection on coroutines, and stops in three ways
// (`stop`, the immediate stop of the destructor, and `async_stop`, which waits for the sessions to
// drain). Also the endpoint configuration an application writes and its conversions.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>

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

}  // namespace corvane::http
