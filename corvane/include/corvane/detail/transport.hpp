// The framework's shared transport vocabulary: status codes and their names and HTTP statuses,
// the errors built from system error codes, the JSON response envelope, the endpoint text grammar,
// the session-facing router entries and the atomic handle through which a server reaches its state.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/json/object.hpp>
#include <boost/json/value.hpp>
#include <boost/system/error_code.hpp>

#include <atomic>
#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "corvane/errors.hpp"
#include "corvane/service.hpp"
#include "mendral/error.hpp"

namespace corvane::http {
struct http_server_state;
}  // namespace corvane::http

namespace corvane::detail {

// Status codes --------------------------------------------------------------------------------

// "ok", "invalid_argument", "not_found", "unavailable", "timeout" for 0 to 4; "internal" otherwise.
std::string status_name(int code);
// The code of one of the five names above (exact, case-sensitive); 5 for any other text.
int parse_status_code(std::string_view name);
// 200, 400, 404, 503, 504 for codes 0 to 4; 500 for any other code, negative ones included.
unsigned http_status_for(int code);

// Framework errors ----------------------------------------------------------------------------

// Code 1 with the message.
mendral::error invalid_argument(std::string message);
// Code 3 with the message.
mendral::error unavailable(std::string message);
// The status code of a system or network error code (4 for time-outs, 1 for invalid arguments
// and unsupported protocols, 3 otherwise) and the error code's own message.
mendral::error network_failure(const boost::system::error_code& ec);
// Code 4 with the message when the error code is a time-out, otherwise `network_failure`.
mendral::error operation_failure(const boost::system::error_code& ec, std::string message);
// Fails with code 1 and the name followed by " must be positive" unless the time-out is above 0.
std::expected<void, mendral::error> validate_positive_timeout(std::chrono::milliseconds timeout,
                                                              std::string_view name);

using error_handler = std::function<void(mendral::error)>;

// Gives the error to the handler; an empty handler drops it and a throwing one is ignored.
void report_error(const error_handler& handler, mendral::error error);
// Reports the result's error, if it holds one.
void report_error(const error_handler& handler, std::expected<void, mendral::error> result);

// The response envelope ----------------------------------------------------------------------

// {"ok":true,"payload":value} for a success; {"ok":false,"code":name,"message":text} for a failure.
boost::json::object response_envelope(std::expected<boost::json::value, mendral::error> result);
// The serialised `response_envelope`.
std::string serialize_response_envelope(std::expected<boost::json::value, mendral::error> result);
// The payload of a success envelope or the error of a failure envelope; code 1 with messages
// beginning with `name` when the value is not an envelope.
std::expected<boost::json::value, mendral::error> unwrap_response_envelope(
    boost::json::value envelope, std::string_view name);

// Endpoint texts ------------------------------------------------------------------------------

// A parsed endpoint text: the host (IPv6 without brackets) and the port.
struct endpoint_parts {
  std::string host;
  unsigned short port = 0;

  bool operator==(const endpoint_parts&) const = default;
};

// Decimal digits only, 0 to 65535; "endpoint port is required" or "endpoint port is invalid".
std::expected<unsigned short, mendral::error> parse_port(std::string_view text);
// "host:port", "[ipv6]:port", a host alone or the empty text (127.0.0.1), with the default port
// where none is written; every failure is code 1 with the grammar's message.
std::expected<endpoint_parts, mendral::error> parse_endpoint_text(std::string_view text,
                                                                  unsigned short default_port);
// `parse_endpoint_text` with the default port 0.
std::expected<endpoint_parts, mendral::error> parse_server_endpoint_text(std::string_view text);
// A client endpoint, which must be given and must name a non-zero port.
std::expected<endpoint_parts, mendral::error> parse_client_endpoint_text(std::string_view text);

// Router entries for the sessions --------------------------------------------------------------

// Awaits the router's `call_response` and returns its result unchanged.
boost::asio::awaitable<std::expected<service_response, mendral::error>,
                       boost::asio::any_io_executor>
call_response_handler(const service_router& router, request_context context,
                      boost::json::value body);
// Awaits the router's `call` and returns its result unchanged.
boost::asio::awaitable<std::expected<boost::json::value, mendral::error>,
                       boost::asio::any_io_executor>
call_handler(const service_router& router, request_context context, boost::json::value body);

// Server state handles -------------------------------------------------------------------------

// An atomic shared pointer to a server's state: loads, stores and exchanges are atomic with
// respect to each other, and a load yields a counted reference that keeps the state alive for the
// caller even while another thread moves or destroys the handle.
class state_handle {
 public:
  state_handle() = default;
  explicit state_handle(std::shared_ptr<http::http_server_state> state);
  state_handle(state_handle&& other) noexcept;
  state_handle& operator=(state_handle&& other) noexcept;
  state_handle(const state_handle&) = delete;
  state_handle& operator=(const state_handle&) = delete;
  ~state_handle() = default;

  // True when a state is held.
  explicit operator bool() const;
  // A counted reference to the state, or an empty pointer.
  std::shared_ptr<http::http_server_state> load() const;

 private:
  std::shared_ptr<http::http_server_state> exchange(
      std::shared_ptr<http::http_server_state> replacement);
  void lock() const;
  void unlock() const;

  mutable std::atomic_flag busy;
  std::shared_ptr<http::http_server_state> state;
};

// An owning holder of an opaque state and the function that releases it.
struct unique_state {
  using deleter_type = void (*)(void*);

  deleter_type deleter = &ignore_state;
  void* state = nullptr;

  unique_state() = default;
  unique_state(deleter_type deleter, void* state);
  unique_state(unique_state&& other) noexcept;
  unique_state& operator=(unique_state&& other) noexcept;
  unique_state(const unique_state&) = delete;
  unique_state& operator=(const unique_state&) = delete;
  // Releases the state through the deleter.
  ~unique_state();

  // True when a state is held.
  explicit operator bool() const { return state != nullptr; }
  // The deleter of a state that the holder does not own: does nothing.
  static void ignore_state(void*) {}
};

}  // namespace corvane::detail
