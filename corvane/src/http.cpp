#include "corvane/http.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/json/parse.hpp>

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>

#include "corvane/detail/lifecycle.hpp"
#include "corvane/errors.hpp"
#include "mendral/log.hpp"

namespace corvane::http {

using plain_stream = boost::beast::tcp_stream;
using tls_stream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket>;

// The shared state of one server: created once by the constructor and shared by the handle, the
// accept loop, every session and every posted stop task.
struct http_server_state {
  http_server_state(boost::asio::any_io_executor executor, endpoint bind, service_router router,
                    server_options options)
      : executor(std::move(executor)),
        acceptor_strand(boost::asio::make_strand(this->executor)),
        acceptor(std::make_shared<boost::asio::ip::tcp::acceptor>(acceptor_strand)),
        host(std::move(bind.host)),
        port(bind.port),
        options(std::move(options)),
        router(std::make_shared<const service_router>(std::move(router))) {}

  boost::asio::any_io_executor executor;
  boost::asio::strand<boost::asio::any_io_executor> acceptor_strand;
  std::shared_ptr<boost::asio::ip::tcp::acceptor> acceptor;
  std::string host;
  unsigned short port = 0;
  server_options options;
  std::shared_ptr<const service_router> router;
  std::shared_ptr<detail::session_registry<plain_stream>> sessions =
      std::make_shared<detail::session_registry<plain_stream>>();
  std::shared_ptr<detail::session_registry<tls_stream>> tls_sessions =
      std::make_shared<detail::session_registry<tls_stream>>();
  std::shared_ptr<boost::asio::ssl::context> tls_context;
  std::atomic<unsigned short> bound_port{0};
  std::atomic<bool> started{false};
  std::atomic<bool> stopping{false};
  // Serialises start, stop, the immediate stop and the flag section of `async_stop`.
  std::mutex mutex;
};

namespace {

namespace beast_http = boost::beast::http;
using boost::asio::as_tuple;
using boost::asio::awaitable;
using boost::asio::use_awaitable;
using state_pointer = std::shared_ptr<http_server_state>;
using router_pointer = std::shared_ptr<const service_router>;
using http_response = beast_http::response<beast_http::string_body>;

// Sessions ----------------------------------------------------------------------------------------

bool http_body_limit_exceeded(const boost::system::error_code& ec) {
  return ec == beast_http::error::body_limit;
}

mendral::error http_body_limit_status() {
  return detail::make_error(1, "HTTP body limit exceeded", MENDRAL_HERE);
}

// Boost.JSON reads a number beyond a double's range as infinity and writes it back as the bare
// token Infinity, which is not JSON; a body holding one is refused like any other that is not
// JSON, so no answer can echo it.
bool holds_non_finite_number(const boost::json::value& value) {
  switch (value.kind()) {
    case boost::json::kind::double_: return !std::isfinite(value.get_double());
    case boost::json::kind::array:
      for (const auto& item : value.get_array()) {
        if (holds_non_finite_number(item)) return true;
      }
      return false;
    case boost::json::kind::object:
      for (const auto& member : value.get_object()) {
        if (holds_non_finite_number(member.value())) return true;
      }
      return false;
    default: return false;
  }
}

// The TCP socket under a connection's stream.
boost::asio::ip::tcp::socket& stream_socket(plain_stream& stream) { return stream.socket(); }

template <typename Stream>
auto& stream_socket(Stream& stream) {
  return stream.lowest_layer();
}

// The peer's IP address (with its scope for a scoped IPv6 address), or the empty text.
template <typename Stream>
std::string remote_peer(Stream& stream) {
  boost::system::error_code ec;
  const auto peer = stream_socket(stream).remote_endpoint(ec);
  if (ec) return {};
  return peer.address().to_string();
}

// Ends a plain connection: the sending direction is shut down; the socket closes when the stream
// is released. The time-out is for the TLS close, which has a shutdown exchange to bound.
awaitable<void> close_http_session(plain_stream& stream, std::chrono::milliseconds /*timeout*/) {
  boost::system::error_code ignored;
  stream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
  co_return;
}

// Ends a TLS connection with a TLS shutdown bounded by the time-out; its failure is not reported.
awaitable<void> close_http_session(tls_stream& stream, std::chrono::milliseconds timeout) {
  co_await detail::async_tls_shutdown(stream, timeout, "HTTP TLS shutdown timed out");
}

// Writes the whole response within the time-out; a failed write goes to the error handler.
template <typename Stream>
awaitable<void> write_response(Stream& stream, http_response& response,
                               std::chrono::milliseconds timeout,
                               const detail::error_handler& error_handler) {
  auto written =
      co_await detail::async_write_within(stream, response, timeout, "HTTP response timed out");
  if (!written) detail::report_error(error_handler, std::move(written.error()));
}

// Answers the error in the failure envelope, always as HTTP/1.1, then closes.
template <typename Stream>
awaitable<void> write_http_failure_response(Stream& stream, mendral::error error,
                                            std::chrono::milliseconds timeout,
                                            const detail::error_handler& error_handler) {
  http_response response{beast_http::status::ok, 11};
  response.set(beast_http::field::content_type, "application/json");
  response.keep_alive(false);
  response.result(detail::http_status_for(error.code()));
  response.body() = detail::serialize_response_envelope(std::unexpected(std::move(error)));
  response.prepare_payload();
  co_await write_response(stream, response, timeout, error_handler);
  co_await close_http_session(stream, timeout);
}

// The one request of a connection: read it within the time-out and body limit, parse its JSON
// body, run the route, write the answer within the time-out, close.
template <typename Stream>
awaitable<void> handle_session(Stream& stream, router_pointer router, server_options options) {
  boost::beast::flat_buffer buffer;
  beast_http::request_parser<beast_http::string_body> parser;
  parser.body_limit(options.body_limit);

  auto deadline = detail::start_stream_deadline(stream, options.timeout);
  auto [read_error, read] = co_await beast_http::async_read(
      stream, buffer, parser,
      boost::asio::bind_cancellation_slot(detail::deadline_token(deadline),
                                          as_tuple(use_awaitable)));
  detail::cancel_stream_deadline(deadline);
  if (read_error) {
    // Only a body over the limit is answered; a time-out, a closed or reset connection or a
    // malformed request ends the connection silently.
    if (http_body_limit_exceeded(read_error)) {
      co_await write_http_failure_response(stream, http_body_limit_status(), options.timeout,
                                           options.error_handler);
    }
    co_return;
  }

  auto request = parser.release();
  http_response response{beast_http::status::ok, request.version()};
  response.set(beast_http::field::content_type, "application/json");
  response.keep_alive(false);

  auto body = parse_json_body(request.body());
  if (!body) {
    co_await write_http_failure_response(stream, std::move(body.error()), options.timeout,
                                         options.error_handler);
    co_return;
  }

  request_context context{remote_peer(stream), std::string(request.method_string()),
                          std::string(request.target())};
  auto result =
      co_await detail::call_response_handler(*router, std::move(context), std::move(*body));
  if (result) {
    response.set(beast_http::field::content_type, result->content_type);
    response.body() = std::move(result->body);
  } else {
    response.result(detail::http_status_for(result.error().code()));
    response.body() =
        detail::serialize_response_envelope(std::unexpected(std::move(result.error())));
  }
  response.prepare_payload();

  co_await write_response(stream, response, options.timeout, options.error_handler);
  co_await close_http_session(stream, options.timeout);
}

// One plain connection, from its registration to its removal.
awaitable<void> serve_session(std::shared_ptr<plain_stream> stream, router_pointer router,
                              server_options options,
                              std::shared_ptr<detail::session_registry<plain_stream>> registry) {
  detail::session_guard<plain_stream> guard(std::move(registry), stream);
  co_await handle_session(*stream, std::move(router), std::move(options));
  guard.release();
}

// Decides on a failed accept: the loop ends once the acceptor is closed or the server stops; any
// other failure goes to the error handler and the loop goes on.
bool accept_failure_ends_loop(const state_pointer& state, const boost::system::error_code& ec) {
  if (ec == boost::asio::error::operation_aborted || ec == boost::asio::error::bad_descriptor) {
    return true;
  }
  if (state->stopping) return true;
  detail::report_error(state->options.error_handler, detail::network_failure(ec));
  return false;
}

// Accepts plain connections until the acceptor is closed, each on a strand of its own.
awaitable<void> accept_loop(state_pointer state) {
  for (;;) {
    auto stream = std::make_shared<plain_stream>(boost::asio::make_strand(state->executor));
    auto [ec] = co_await state->acceptor->async_accept(stream->socket(), as_tuple(use_awaitable));
    if (ec) {
      if (accept_failure_ends_loop(state, ec)) co_return;
      continue;
    }
    state->sessions->add(stream);
    auto executor = stream->get_executor();
    boost::asio::co_spawn(
        executor, serve_session(std::move(stream), state->router, state->options, state->sessions),
        boost::asio::detached);
  }
}

// One TLS connection, from its registration to its removal: the handshake, then the one request.
// A failed handshake is reported and ends the connection without any HTTP exchange or TLS
// shutdown.
awaitable<void> serve_tls_session(std::shared_ptr<tls_stream> stream, router_pointer router,
                                  server_options options,
                                  std::shared_ptr<detail::session_registry<tls_stream>> registry) {
  detail::session_guard<tls_stream> guard(std::move(registry), stream);
  auto handshake =
      co_await detail::async_tls_handshake(*stream, boost::asio::ssl::stream_base::server,
                                           options.timeout, "HTTP TLS handshake timed out");
  if (!handshake) {
    detail::report_error(options.error_handler, std::move(handshake.error()));
    guard.release();
    co_return;
  }
  co_await handle_session(*stream, std::move(router), std::move(options));
  guard.release();
}

// Accepts TLS connections until the acceptor is closed, each on a strand of its own and with a TLS
// stream made from the server's context.
awaitable<void> accept_tls_loop(state_pointer state) {
  for (;;) {
    boost::asio::ip::tcp::socket socket(boost::asio::make_strand(state->executor));
    auto [ec] = co_await state->acceptor->async_accept(socket, as_tuple(use_awaitable));
    if (ec) {
      if (accept_failure_ends_loop(state, ec)) co_return;
      continue;
    }
    auto stream = std::make_shared<tls_stream>(std::move(socket), *state->tls_context);
    state->tls_sessions->add(stream);
    auto executor = stream->get_executor();
    boost::asio::co_spawn(
        executor,
        serve_tls_session(std::move(stream), state->router, state->options, state->tls_sessions),
        boost::asio::detached);
  }
}

// Lifecycle ---------------------------------------------------------------------------------------

mendral::error uninitialized_http_server() {
  return detail::unavailable("HTTP server is not initialized");
}

void close_acceptor(const state_pointer& state) {
  boost::system::error_code ignored;
  state->acceptor->close(ignored);
}

void cancel_sessions(const state_pointer& state) {
  state->sessions->cancel_all();
  state->tls_sessions->cancel_all();
}

// The checked server context of a TLS start: the settings, then the context made from them, then
// its certificate and key.
std::expected<std::shared_ptr<boost::asio::ssl::context>, mendral::error> prepare_tls_context(
    const security_config& security) {
  auto valid = validate_tls_server_config("HTTP", security);
  if (!valid) return detail::fail<std::shared_ptr<boost::asio::ssl::context>>(valid.error());
  auto context = make_tls_server_context(security);
  if (!context) return context;
  valid = validate_tls_server_context(*context);
  if (!valid) return detail::fail<std::shared_ptr<boost::asio::ssl::context>>(valid.error());
  return context;
}

// Clears the started flag again unless the start went through, so that a start that fails, by an
// error or by an exception, can be corrected and repeated.
struct start_attempt {
  std::atomic<bool>& started;
  bool succeeded = false;

  ~start_attempt() {
    if (!succeeded) started = false;
  }
};

std::expected<void, mendral::error> start_http_server(const state_pointer& state) {
  if (!state) return detail::fail_void(uninitialized_http_server());
  std::lock_guard lock(state->mutex);
  auto valid = detail::validate_positive_timeout(state->options.timeout, "HTTP server timeout");
  if (!valid) return valid;
  if (state->options.security.mode == security_mode::dtls) {
    return detail::fail_void(unsupported_security("HTTP server", security_mode::dtls));
  }
  if (state->started.exchange(true)) {
    return detail::fail_void(detail::unavailable("HTTP server has already been started"));
  }
  start_attempt attempt{state->started};
  const bool serves_tls = state->options.security.mode == security_mode::tls;
  if (serves_tls) {
    auto prepared = prepare_tls_context(state->options.security);
    if (!prepared) return detail::fail_void(std::move(prepared.error()));
    state->tls_context = std::move(*prepared);
  }
  auto bound = detail::start_tcp_acceptor(*state->acceptor, state->host, state->port);
  if (!bound) return detail::fail_void(std::move(bound.error()));
  attempt.succeeded = true;
  state->bound_port = *bound;
  state->stopping = false;
  mendral::log_debug("corvane HTTP server started on port " + std::to_string(*bound), MENDRAL_HERE);
  if (serves_tls) {
    boost::asio::co_spawn(state->acceptor_strand, accept_tls_loop(state), boost::asio::detached);
  } else {
    boost::asio::co_spawn(state->acceptor_strand, accept_loop(state), boost::asio::detached);
  }
  return {};
}

void stop_http_server(state_pointer state) {
  std::lock_guard lock(state->mutex);
  if (state->stopping.exchange(true)) return;
  mendral::log_debug("corvane HTTP server stopping", MENDRAL_HERE);
  cancel_sessions(state);
  // Closing on the acceptor's strand never races with an accept in progress; the pending accept
  // completes with the aborted-operation error, which ends the accept loop.
  boost::asio::post(state->acceptor_strand, [state] { close_acceptor(state); });
}

// The destructor cannot wait for the event loop, so the acceptor is closed right here.
void stop_http_server_now(const state_pointer& state) {
  std::lock_guard lock(state->mutex);
  if (state->stopping.exchange(true)) return;
  cancel_sessions(state);
  close_acceptor(state);
}

awaitable<std::expected<void, mendral::error>> async_stop_http_server(
    state_pointer state, std::chrono::milliseconds timeout) {
  if (!state) co_return detail::fail_void(uninitialized_http_server());
  auto valid = detail::validate_positive_timeout(timeout, "shutdown timeout");
  if (!valid) co_return valid;
  bool first_stop = false;
  {
    std::lock_guard lock(state->mutex);
    first_stop = !state->stopping.exchange(true);
    if (first_stop) cancel_sessions(state);
  }
  if (first_stop) {
    co_await boost::asio::post(state->acceptor_strand,
                               boost::asio::bind_executor(state->acceptor_strand, use_awaitable));
    close_acceptor(state);
  }
  auto drained = co_await state->sessions->wait_empty(timeout);
  if (!drained) co_return drained;
  co_return co_await state->tls_sessions->wait_empty(timeout);
}

}  // namespace

std::expected<boost::json::value, mendral::error> parse_json_body(const std::string& body) {
  if (body.empty()) return boost::json::object();
  boost::system::error_code ec;
  auto parsed = boost::json::parse(body, ec);
  if (ec) return detail::fail<boost::json::value>(1, ec.message(), MENDRAL_HERE);
  if (holds_non_finite_number(parsed)) {
    return detail::fail<boost::json::value>(1, "JSON number is out of range", MENDRAL_HERE);
  }
  return parsed;
}

// Endpoints and options ---------------------------------------------------------------------------

std::expected<endpoint, mendral::error> server_endpoint_from_config(const endpoint_config& config) {
  auto parts = detail::parse_server_endpoint_text(config.bind);
  if (!parts) return mendral::fail<endpoint>(std::move(parts.error()));
  return endpoint{std::move(parts->host), parts->port};
}

server_options server_options_from_config(const endpoint_config& config) {
  server_options options;
  options.timeout = config.timeout;
  options.body_limit = config.body_limit;
  options.security = config.security;
  return options;
}

// The server --------------------------------------------------------------------------------------

server::server(boost::asio::io_context& context, endpoint bind, service_router router,
               server_options options)
    : server(context.get_executor(), std::move(bind), std::move(router), std::move(options)) {}

server::server(boost::asio::any_io_executor executor, endpoint bind, service_router router,
               server_options options)
    : handle(std::make_shared<http_server_state>(std::move(executor), std::move(bind),
                                                 std::move(router), std::move(options))) {}

server& server::operator=(server&& other) noexcept {
  if (this == &other) return *this;
  if (auto state = handle.load()) stop_http_server_now(state);
  handle = std::move(other.handle);
  return *this;
}

server::~server() {
  if (auto state = handle.load()) stop_http_server_now(state);
}

std::expected<void, mendral::error> server::start() { return start_http_server(handle.load()); }

void server::stop() {
  if (auto state = handle.load()) stop_http_server(std::move(state));
}

boost::asio::awaitable<std::expected<void, mendral::error>> server::async_stop(
    std::chrono::milliseconds timeout) {
  return async_stop_http_server(handle.load(), timeout);
}

unsigned short server::selected_port() const {
  auto state = handle.load();
  return state ? state->bound_port.load() : 0;
}

}  // namespace corvane::http
