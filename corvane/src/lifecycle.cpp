#include "corvane/detail/lifecycle.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/ssl/stream.hpp>

namespace corvane::detail {

template struct session_registry<boost::beast::tcp_stream>;

void cancel_session_stream(boost::beast::tcp_stream& stream) {
  boost::system::error_code ignored;
  stream.socket().cancel(ignored);
  stream.socket().close(ignored);
}

stream_deadline start_stream_deadline(boost::beast::tcp_stream& stream,
                                      std::chrono::milliseconds timeout) {
  // The stream times its own operations: once the expiry passes it closes the socket and the
  // operation fails with the HTTP library's time-out error.
  stream.expires_after(timeout);
  stream_deadline deadline;
  deadline.signal = std::make_shared<boost::asio::cancellation_signal>();
  return deadline;
}

stream_deadline start_stream_deadline(boost::asio::ip::tcp::socket::lowest_layer_type& socket,
                                      std::chrono::milliseconds timeout) {
  stream_deadline deadline{
      .timer = std::make_shared<boost::asio::steady_timer>(socket.get_executor()),
      .expired = std::make_shared<bool>(false),
      .armed = std::make_shared<std::atomic<bool>>(true),
      .signal = std::make_shared<boost::asio::cancellation_signal>(),
  };
  deadline.timer->expires_after(timeout);
  // The handler runs on the connection's strand, like the session, so it never runs between the
  // start of the deadline and the start of the operation it bounds.
  deadline.timer->async_wait([deadline](const boost::system::error_code& ec) {
    if (ec || !deadline.armed->exchange(false)) return;
    *deadline.expired = true;
    if (deadline.signal->slot().has_handler()) {
      deadline.signal->emit(boost::asio::cancellation_type::terminal);
    }
  });
  return deadline;
}

void cancel_stream_deadline(stream_deadline& deadline) {
  if (deadline.armed) deadline.armed->store(false);
  if (deadline.timer) deadline.timer->cancel();
}

boost::asio::cancellation_slot deadline_token(stream_deadline& deadline) {
  return deadline.signal->slot();
}

mendral::error operation_failure(const boost::system::error_code& ec,
                                 const stream_deadline& deadline, std::string message) {
  if (deadline.expired && *deadline.expired) {
    return make_error(4, std::move(message), MENDRAL_HERE);
  }
  return operation_failure(ec, std::move(message));
}

// TLS handshakes and shutdowns --------------------------------------------------------------------

template <typename NextLayer>
boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_handshake(
    boost::asio::ssl::stream<NextLayer>& stream, boost::asio::ssl::stream_base::handshake_type type,
    std::chrono::milliseconds timeout, std::string message) {
  auto deadline = start_stream_deadline(stream, timeout);
  auto [ec] = co_await stream.async_handshake(
      type, boost::asio::bind_cancellation_slot(deadline_token(deadline),
                                                boost::asio::as_tuple(boost::asio::use_awaitable)));
  cancel_stream_deadline(deadline);
  if (ec) co_return fail_void(operation_failure(ec, deadline, std::move(message)));
  co_return std::expected<void, mendral::error>{};
}

template <typename NextLayer>
boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_shutdown(
    boost::asio::ssl::stream<NextLayer>& stream, std::chrono::milliseconds timeout,
    std::string message) {
  auto deadline = start_stream_deadline(stream, timeout);
  auto [ec] = co_await stream.async_shutdown(boost::asio::bind_cancellation_slot(
      deadline_token(deadline), boost::asio::as_tuple(boost::asio::use_awaitable)));
  cancel_stream_deadline(deadline);
  if (ec) co_return fail_void(operation_failure(ec, deadline, std::move(message)));
  co_return std::expected<void, mendral::error>{};
}

template boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_handshake(
    boost::asio::ssl::stream<boost::asio::ip::tcp::socket>&,
    boost::asio::ssl::stream_base::handshake_type, std::chrono::milliseconds, std::string);
template boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_shutdown(
    boost::asio::ssl::stream<boost::asio::ip::tcp::socket>&, std::chrono::milliseconds,
    std::string);

}  // namespace corvane::detail
