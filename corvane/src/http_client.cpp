// The HTTP unit's JSON client, in a translation unit of its own so that it compiles beside the
// server rather than after it.
#include "corvane/http.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/this_coro.hpp>
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
#include <boost/json/serialize.hpp>

#include <memory>
#include <string>

#include "corvane/detail/lifecycle.hpp"
#include "corvane/errors.hpp"
#include "mendral/log.hpp"

namespace corvane::http {
namespace {

namespace beast_http = boost::beast::http;
using boost::asio::as_tuple;
using boost::asio::awaitable;
using boost::asio::use_awaitable;
using json_result = std::expected<boost::json::value, mendral::error>;
using request_message = beast_http::request<beast_http::string_body>;
using tls_stream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket>;

json_result call_failure(mendral::error error) {
  return detail::fail<boost::json::value>(std::move(error));
}

bool http_body_limit_exceeded(const boost::system::error_code& ec) {
  return ec == beast_http::error::body_limit;
}

mendral::error http_body_limit_status() {
  return detail::make_error(1, "HTTP body limit exceeded", MENDRAL_HERE);
}

// The protocol verb of a method; code 1 "HTTP method is invalid" outside the enumeration.
std::expected<beast_http::verb, mendral::error> http_verb(request_method method) {
  switch (method) {
    case request_method::get: return beast_http::verb::get;
    case request_method::post: return beast_http::verb::post;
    case request_method::put: return beast_http::verb::put;
    case request_method::patch: return beast_http::verb::patch;
    case request_method::delete_: return beast_http::verb::delete_;
  }
  return detail::fail<beast_http::verb>(1, "HTTP method is invalid", MENDRAL_HERE);
}

// A GET whose body is null or an empty object sends no body; every other request sends its body.
bool should_send_json_body(request_method method, const boost::json::value& body) {
  if (method != request_method::get) return true;
  if (body.is_null()) return false;
  const auto* object = body.if_object();
  return !object || !object->empty();
}

// The Host field: an IPv6 host in brackets (unless it already has them), a colon and the port.
std::string host_field(const std::string& host, unsigned short port) {
  const bool enclosed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
  const bool bracket = host.find(':') != std::string::npos && !enclosed;
  return (bracket ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// The HTTP/1.1 message of a request: Host, and for a request with a body its compact JSON with
// its content type and length; no other field.
request_message build_request_message(beast_http::verb verb, const request& call,
                                      const http::endpoint& endpoint) {
  request_message message{verb, call.target, 11};
  message.set(beast_http::field::host, host_field(endpoint.host, endpoint.port));
  if (should_send_json_body(call.method, call.body)) {
    message.set(beast_http::field::content_type, "application/json");
    message.body() = boost::json::serialize(call.body);
  }
  message.prepare_payload();
  return message;
}

// Reads one whole response within the time-out and the body limit and returns its envelope's
// payload or error. The HTTP status is not examined: only the body's envelope decides.
template <typename Stream>
awaitable<json_result> read_http_response(Stream& stream, std::chrono::milliseconds timeout,
                                          std::uint64_t body_limit) {
  beast_http::response_parser<beast_http::string_body> parser;
  parser.body_limit(body_limit);
  boost::beast::flat_buffer buffer;
  auto deadline = detail::start_stream_deadline(stream, timeout);
  auto [read_error, read] = co_await beast_http::async_read(
      stream, buffer, parser,
      boost::asio::bind_cancellation_slot(detail::deadline_token(deadline),
                                          as_tuple(use_awaitable)));
  detail::cancel_stream_deadline(deadline);
  if (read_error) {
    if (http_body_limit_exceeded(read_error)) co_return call_failure(http_body_limit_status());
    co_return call_failure(
        detail::operation_failure(read_error, deadline, "HTTP request timed out"));
  }
  boost::system::error_code parse_error;
  auto value = boost::json::parse(parser.get().body(), parse_error);
  if (parse_error) {
    co_return detail::fail<boost::json::value>(1, parse_error.message(), MENDRAL_HERE);
  }
  co_return detail::unwrap_response_envelope(std::move(value), "HTTP");
}

// Resolves the endpoint and connects a plain stream to the first address that accepts, each step
// within the time-out.
awaitable<std::expected<void, mendral::error>> connect_tcp_stream(
    boost::beast::tcp_stream& stream, const http::endpoint& endpoint,
    std::chrono::milliseconds timeout) {
  auto resolved = co_await detail::resolve_tcp_endpoints(
      stream.get_executor(), endpoint.host, endpoint.port, timeout, "HTTP request timed out");
  if (!resolved) co_return detail::fail_void(std::move(resolved.error()));
  stream.expires_after(timeout);
  auto [ec, connected] = co_await stream.async_connect(*resolved, as_tuple(use_awaitable));
  if (ec) co_return detail::fail_void(detail::operation_failure(ec, "HTTP request timed out"));
  co_return std::expected<void, mendral::error>{};
}

// One call over TLS: a fresh client context, connect, SNI and verification, handshake, write,
// read, then a TLS shutdown whose outcome does not matter.
awaitable<json_result> call_https_endpoint(http::endpoint endpoint, request_message message,
                                           client_options options) {
  auto context = make_tls_client_context(options.security);
  if (!context) co_return call_failure(std::move(context.error()));
  boost::beast::tcp_stream connection(co_await boost::asio::this_coro::executor);
  auto connected = co_await connect_tcp_stream(connection, endpoint, options.timeout);
  if (!connected) co_return call_failure(std::move(connected.error()));

  // Releasing the socket cancels the plain stream's time-out; from here on deadlines bound each
  // step.
  tls_stream stream(connection.release_socket(), **context);
  auto configured = configure_tls_client_stream(stream, endpoint.host, options.security);
  if (!configured) co_return call_failure(std::move(configured.error()));
  auto handshake =
      co_await detail::async_tls_handshake(stream, boost::asio::ssl::stream_base::client,
                                           options.timeout, "HTTP TLS handshake timed out");
  if (!handshake) co_return call_failure(std::move(handshake.error()));

  auto written = co_await detail::async_write_within(stream, message, options.timeout,
                                                     "HTTP request timed out");
  if (!written) co_return call_failure(std::move(written.error()));

  auto result = co_await read_http_response(stream, options.timeout, options.body_limit);
  co_await detail::async_tls_shutdown(stream, options.timeout, "HTTP TLS shutdown timed out");
  co_return result;
}

// One call: the checks (before any network activity), the request message, then the call over
// plain TCP or TLS. The connection is closed when its stream goes.
awaitable<json_result> call_http_endpoint(http::endpoint endpoint,
                                          std::shared_ptr<const request> call,
                                          client_options options) {
  mendral::log_debug(
      "corvane HTTP client call to " + endpoint.host + ":" + std::to_string(endpoint.port),
      MENDRAL_HERE);
  auto valid = detail::validate_positive_timeout(options.timeout, "HTTP timeout");
  if (!valid) co_return call_failure(std::move(valid.error()));
  if (endpoint.port == 0) {
    co_return detail::fail<boost::json::value>(1, "HTTP port must be non-zero", MENDRAL_HERE);
  }
  if (call->target.empty()) {
    co_return detail::fail<boost::json::value>(1, "HTTP target must not be empty", MENDRAL_HERE);
  }
  if (call->target.front() != '/') {
    co_return detail::fail<boost::json::value>(1, "HTTP target must start with /", MENDRAL_HERE);
  }
  auto verb = http_verb(call->method);
  if (!verb) co_return call_failure(std::move(verb.error()));
  if (options.security.mode == security_mode::dtls) {
    co_return call_failure(unsupported_security("HTTP client", security_mode::dtls));
  }

  auto message = build_request_message(*verb, *call, endpoint);
  if (options.security.mode == security_mode::tls) {
    co_return co_await call_https_endpoint(std::move(endpoint), std::move(message),
                                           std::move(options));
  }

  boost::beast::tcp_stream stream(co_await boost::asio::this_coro::executor);
  auto connected = co_await connect_tcp_stream(stream, endpoint, options.timeout);
  if (!connected) co_return call_failure(std::move(connected.error()));
  stream.expires_after(options.timeout);
  auto [write_error, written] =
      co_await beast_http::async_write(stream, message, as_tuple(use_awaitable));
  if (write_error) {
    co_return call_failure(detail::operation_failure(write_error, "HTTP request timed out"));
  }
  stream.expires_after(options.timeout);
  co_return co_await read_http_response(stream, options.timeout, options.body_limit);
}

}  // namespace

client::client(http::endpoint endpoint, client_options options)
    : endpoint(std::move(endpoint)), options(std::move(options)) {}

awaitable<json_result> client::call(const request& call) const {
  // The call owns copies of everything it needs, so the client may go before it completes.
  auto shared = std::make_shared<const request>(
      request{call.method, call.target, boost::json::value(call.body, call.body.storage())});
  return call_http_endpoint(endpoint, std::move(shared), options);
}

client_options client_options_from_config(const endpoint_config& config) {
  return client_options{config.timeout, config.body_limit, config.security};
}

std::expected<endpoint, mendral::error> client_endpoint_from_config(const endpoint_config& config) {
  auto parts = detail::parse_client_endpoint_text(config.connect);
  if (!parts) return mendral::fail<endpoint>(std::move(parts.error()));
  return endpoint{std::move(parts->host), parts->port};
}

}  // namespace corvane::http
