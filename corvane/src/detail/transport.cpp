#include "corvane/detail/transport.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/json/serialize.hpp>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "corvane/detail/lifecycle.hpp"

namespace corvane::detail {
namespace {

// Exact comparison of value and category, never an equivalence.
bool is_system_error(const boost::system::error_code& ec, int value) {
  return ec.value() == value && ec.category() == boost::system::system_category();
}

// The status code of a system, network or HTTP-library error code.
int error_status_code(const boost::system::error_code& ec) {
  if (ec.value() == 0) return 0;
  if (ec == boost::beast::error::timeout) return 4;
  if (is_system_error(ec, ETIMEDOUT)) return 4;
  for (int value : {EINVAL, EAFNOSUPPORT, ENOPROTOOPT, ENOTSOCK}) {
    if (is_system_error(ec, value)) return 1;
  }
  return 3;
}

}  // namespace

// Status codes ------------------------------------------------------------------------------------

std::string status_name(int code) {
  static constexpr std::array<const char*, 5> names{"ok", "invalid_argument", "not_found",
                                                    "unavailable", "timeout"};
  if (code < 0 || code >= static_cast<int>(names.size())) return "internal";
  return names[static_cast<std::size_t>(code)];
}

int parse_status_code(std::string_view name) {
  for (int code = 0; code <= 4; ++code) {
    if (name == status_name(code)) return code;
  }
  return 5;
}

unsigned http_status_for(int code) {
  static constexpr std::array<unsigned, 5> statuses{200, 400, 404, 503, 504};
  const auto index = static_cast<unsigned>(code);
  return index < statuses.size() ? statuses[index] : 500;
}

// Framework errors --------------------------------------------------------------------------------

mendral::error invalid_argument(std::string message) {
  return make_error(1, std::move(message), MENDRAL_HERE);
}

mendral::error unavailable(std::string message) {
  return make_error(3, std::move(message), MENDRAL_HERE);
}

mendral::error network_failure(const boost::system::error_code& ec) {
  return make_error(error_status_code(ec), ec.message(), MENDRAL_HERE);
}

mendral::error operation_failure(const boost::system::error_code& ec, std::string message) {
  if (error_status_code(ec) == 4) return make_error(4, std::move(message), MENDRAL_HERE);
  return network_failure(ec);
}

std::expected<void, mendral::error> validate_positive_timeout(std::chrono::milliseconds timeout,
                                                              std::string_view name) {
  if (timeout.count() > 0) return {};
  return fail_void(invalid_argument(std::string(name) + " must be positive"));
}

void report_error(const error_handler& handler, mendral::error error) {
  if (!handler) return;
  // An error handler must never disturb the session or accept loop that reports to it.
  try {
    handler(std::move(error));
  } catch (...) {
  }
}

void report_error(const error_handler& handler, std::expected<void, mendral::error> result) {
  if (!result) report_error(handler, std::move(result.error()));
}

// The response envelope -------------------------------------------------------------------------

boost::json::object response_envelope(std::expected<boost::json::value, mendral::error> result) {
  boost::json::object envelope;
  envelope["ok"] = result.has_value();
  if (result) {
    envelope["payload"] = std::move(*result);
  } else {
    envelope["code"] = status_name(result.error().code());
    envelope["message"] = result.error().message();
  }
  return envelope;
}

std::string serialize_response_envelope(std::expected<boost::json::value, mendral::error> result) {
  return boost::json::serialize(response_envelope(std::move(result)));
}

std::expected<boost::json::value, mendral::error> unwrap_response_envelope(
    boost::json::value envelope, std::string_view name) {
  const std::string label(name);
  const auto* object = envelope.if_object();
  if (!object)
    return fail<boost::json::value>(1, label + " response must be an object", MENDRAL_HERE);
  const auto* ok = object->if_contains("ok");
  if (!ok || !ok->is_bool()) {
    return fail<boost::json::value>(1, label + " response missing ok flag", MENDRAL_HERE);
  }
  if (ok->get_bool()) {
    const auto* payload = object->if_contains("payload");
    if (!payload)
      return fail<boost::json::value>(1, label + " response missing payload", MENDRAL_HERE);
    return *payload;
  }
  const auto* message = object->if_contains("message");
  const auto* code = object->if_contains("code");
  return fail<boost::json::value>(
      code && code->is_string() ? parse_status_code(code->get_string()) : 5,
      message && message->is_string() ? std::string(message->get_string())
                                      : label + " request failed",
      MENDRAL_HERE);
}

// Endpoint texts --------------------------------------------------------------------------------

std::expected<unsigned short, mendral::error> parse_port(std::string_view text) {
  if (text.empty()) return fail<unsigned short>(1, "endpoint port is required", MENDRAL_HERE);
  std::uint32_t value = 0;
  const auto* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (status != std::errc{} || stop != end || value > 65535) {
    return fail<unsigned short>(1, "endpoint port is invalid", MENDRAL_HERE);
  }
  return static_cast<unsigned short>(value);
}

std::expected<endpoint_parts, mendral::error> parse_endpoint_text(std::string_view text,
                                                                  unsigned short default_port) {
  if (text.empty()) return endpoint_parts{"127.0.0.1", default_port};
  endpoint_parts parts;
  parts.port = default_port;
  if (text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos || close == 1) {
      return fail<endpoint_parts>(1, "endpoint IPv6 host is invalid", MENDRAL_HERE);
    }
    parts.host = text.substr(1, close - 1);
    const auto rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        return fail<endpoint_parts>(1, "endpoint has trailing characters", MENDRAL_HERE);
      }
      auto port = parse_port(rest.substr(1));
      if (!port) return mendral::fail<endpoint_parts>(std::move(port.error()));
      parts.port = *port;
    }
  } else if (const auto colon = text.find(':');
             colon != std::string_view::npos &&
             text.find(':', colon + 1) == std::string_view::npos) {
    auto port = parse_port(text.substr(colon + 1));
    if (!port) return mendral::fail<endpoint_parts>(std::move(port.error()));
    parts.host = text.substr(0, colon);
    parts.port = *port;
  } else {
    // No colon, or an IPv6 address without brackets: all of it is the host.
    parts.host = text;
  }
  if (parts.host.empty()) {
    return fail<endpoint_parts>(1, "endpoint host is required", MENDRAL_HERE);
  }
  return parts;
}

std::expected<endpoint_parts, mendral::error> parse_server_endpoint_text(std::string_view text) {
  return parse_endpoint_text(text, 0);
}

std::expected<endpoint_parts, mendral::error> parse_client_endpoint_text(std::string_view text) {
  if (text.empty()) return fail<endpoint_parts>(1, "endpoint connect is required", MENDRAL_HERE);
  auto parts = parse_endpoint_text(text, 0);
  if (!parts) return parts;
  if (parts->port == 0) {
    return fail<endpoint_parts>(1, "endpoint connect port is required", MENDRAL_HERE);
  }
  return parts;
}

// Router entries for the sessions ---------------------------------------------------------------

boost::asio::awaitable<std::expected<service_response, mendral::error>,
                       boost::asio::any_io_executor>
call_response_handler(const service_router& router, request_context context,
                      boost::json::value body) {
  co_return co_await router.call_response(std::move(context), std::move(body));
}

boost::asio::awaitable<std::expected<boost::json::value, mendral::error>,
                       boost::asio::any_io_executor>
call_handler(const service_router& router, request_context context, boost::json::value body) {
  co_return co_await router.call(std::move(context), std::move(body));
}

// Name resolution ---------------------------------------------------------------------------------

boost::asio::awaitable<std::expected<boost::asio::ip::tcp::resolver::results_type, mendral::error>>
resolve_tcp_endpoints(boost::asio::any_io_executor executor, std::string host, unsigned short port,
                      std::chrono::milliseconds timeout, std::string message) {
  using results = boost::asio::ip::tcp::resolver::results_type;
  auto resolver = std::make_shared<boost::asio::ip::tcp::resolver>(executor);
  auto timer = std::make_shared<boost::asio::steady_timer>(executor);
  auto expired = std::make_shared<bool>(false);
  timer->expires_after(timeout);
  timer->async_wait([resolver, timer, expired](const boost::system::error_code& ec) {
    if (ec) return;  // cancelled: the resolution finished first
    *expired = true;
    resolver->cancel();
  });
  auto [ec, resolved] = co_await resolver->async_resolve(
      host, std::to_string(port), boost::asio::as_tuple(boost::asio::use_awaitable));
  timer->cancel();
  if (ec == boost::asio::error::operation_aborted && *expired) {
    co_return fail<results>(4, std::move(message), MENDRAL_HERE);
  }
  if (ec) co_return detail::fail<results>(network_failure(ec));
  co_return resolved;
}

// Listening sockets -------------------------------------------------------------------------------

namespace {

// One bind attempt from a closed acceptor: open, reuse-address, bind, listen, read the port.
std::expected<unsigned short, mendral::error> bind_acceptor(
    boost::asio::ip::tcp::acceptor& acceptor, const boost::asio::ip::tcp::endpoint& endpoint) {
  boost::system::error_code ec;
  acceptor.close(ec);
  acceptor.open(endpoint.protocol(), ec);
  if (ec) return fail<unsigned short>(3, ec.message(), MENDRAL_HERE);
  auto failed = [&acceptor](const boost::system::error_code& cause) {
    boost::system::error_code ignored;
    acceptor.close(ignored);
    return fail<unsigned short>(3, cause.message(), MENDRAL_HERE);
  };
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ec);
  if (ec) return failed(ec);
  acceptor.bind(endpoint, ec);
  if (ec) return failed(ec);
  acceptor.listen(boost::asio::socket_base::max_listen_connections, ec);
  if (ec) return failed(ec);
  const auto local = acceptor.local_endpoint(ec);
  if (ec) return failed(ec);
  return local.port();
}

}  // namespace

std::expected<unsigned short, mendral::error> start_tcp_acceptor(
    boost::asio::ip::tcp::acceptor& acceptor, const std::string& host, unsigned short port) {
  boost::system::error_code ec;
  const auto address = boost::asio::ip::make_address(host, ec);
  if (!ec) return bind_acceptor(acceptor, {address, port});

  boost::asio::ip::tcp::resolver resolver(acceptor.get_executor());
  // The empty host reaches the resolver as no host at all: the passive wildcard addresses.
  const auto results =
      resolver.resolve(host, std::to_string(port), boost::asio::ip::tcp::resolver::passive, ec);
  if (ec) return fail<unsigned short>(3, ec.message(), MENDRAL_HERE);
  std::expected<unsigned short, mendral::error> outcome =
      mendral::fail<unsigned short>(unavailable("no TCP bind endpoint resolved"));
  for (const auto& entry : results) {
    outcome = bind_acceptor(acceptor, entry.endpoint());
    if (outcome) return outcome;
  }
  return outcome;
}

// Server state handles --------------------------------------------------------------------------

state_handle::state_handle(std::shared_ptr<http::http_server_state> state)
    : state(std::move(state)) {}

state_handle::state_handle(state_handle&& other) noexcept : state(other.exchange(nullptr)) {}

state_handle& state_handle::operator=(state_handle&& other) noexcept {
  if (this == &other) return *this;
  // The pointer held before is released here, outside the spin lock.
  auto previous = exchange(other.exchange(nullptr));
  return *this;
}

state_handle::operator bool() const { return load() != nullptr; }

std::shared_ptr<http::http_server_state> state_handle::load() const {
  lock();
  auto counted = state;
  unlock();
  return counted;
}

std::shared_ptr<http::http_server_state> state_handle::exchange(
    std::shared_ptr<http::http_server_state> replacement) {
  lock();
  state.swap(replacement);
  unlock();
  return replacement;
}

void state_handle::lock() const {
  while (busy.test_and_set(std::memory_order_acquire)) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
  }
}

void state_handle::unlock() const { busy.clear(std::memory_order_release); }

unique_state::unique_state(deleter_type deleter, void* state) : deleter(deleter), state(state) {}

unique_state::unique_state(unique_state&& other) noexcept
    : deleter(std::exchange(other.deleter, &ignore_state)),
      state(std::exchange(other.state, nullptr)) {}

unique_state& unique_state::operator=(unique_state&& other) noexcept {
  if (this == &other) return *this;
  if (state && deleter) deleter(state);
  deleter = std::exchange(other.deleter, &ignore_state);
  state = std::exchange(other.state, nullptr);
  return *this;
}

unique_state::~unique_state() {
  if (state && deleter) deleter(state);
}

}  // namespace corvane::detail
