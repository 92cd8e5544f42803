// What a server's graceful stop and its time-outs rest on: the registry of live connection streams
// (one per stream kind and server) that a stop cancels and waits to drain, the guard that removes a
// stream once its session ends, the deadline that bounds one I/O operation (TLS handshakes and
// shutdowns among them), name resolution under a time-out, and the binding of the listening
// socket. The registry is a template over the stream type: Beast's TCP stream for plain
// HTTP, Asio's TLS stream over a TCP socket for TLS.
#pragma once

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl/stream_base.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/write.hpp>

#include <atomic>
#include <chrono>
#include <expected>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "corvane/detail/transport.hpp"
#include "corvane/errors.hpp"
#include "mendral/error.hpp"

namespace boost::asio::ssl {
template <typename Stream>
class stream;
}  // namespace boost::asio::ssl

namespace corvane::detail {

// Stream cancellation ---------------------------------------------------------------------------

// Cancels the plain stream's pending operations and closes its socket, ignoring errors.
void cancel_session_stream(boost::beast::tcp_stream& stream);

// The same for a stream layered over a socket (the TLS stream): acts on its lowest layer and
// sends no TLS close message.
template <typename Stream>
requires requires(Stream& stream) { stream.lowest_layer(); }
void cancel_session_stream(Stream& stream) {
  boost::system::error_code ignored;
  stream.lowest_layer().cancel(ignored);
  stream.lowest_layer().close(ignored);
}

// Session registries ------------------------------------------------------------------------------

// The live streams of one server and one stream kind, and the drain waits in progress.
template <typename Stream>
struct session_registry {
  // Guards both containers; never held while a stream or timer is cancelled.
  std::mutex mutex;
  std::set<std::shared_ptr<Stream>> streams;
  std::vector<std::weak_ptr<boost::asio::steady_timer>> waiters;

  // Registers the stream (once, however often it is added).
  void add(const std::shared_ptr<Stream>& stream) {
    std::lock_guard lock(mutex);
    streams.insert(stream);
  }

  // Unregisters the stream and wakes every drain waiter.
  void remove(const std::shared_ptr<Stream>& stream) {
    std::vector<std::shared_ptr<boost::asio::steady_timer>> woken;
    {
      std::lock_guard lock(mutex);
      streams.erase(stream);
      woken = live_waiters_locked();
    }
    for (const auto& waiter : woken) waiter->cancel();
  }

  // Posts a cancel-and-close of every registered stream to the stream's own strand; the streams
  // stay registered until their sessions remove them.
  void cancel_all() {
    std::vector<std::shared_ptr<Stream>> copied;
    {
      std::lock_guard lock(mutex);
      copied.assign(streams.begin(), streams.end());
    }
    for (auto& stream : copied) {
      auto executor = stream->get_executor();
      boost::asio::post(executor, [stream = std::move(stream)] { cancel_session_stream(*stream); });
    }
  }

  // Completes when no stream is registered; code 4 "timed out waiting for sessions to drain"
  // once the time-out has passed with streams still registered.
  boost::asio::awaitable<std::expected<void, mendral::error>> wait_empty(
      std::chrono::milliseconds timeout);

  // The drain waiters whose timers still exist, pruning the others; the caller holds `mutex`.
  std::vector<std::shared_ptr<boost::asio::steady_timer>> live_waiters_locked() {
    std::vector<std::shared_ptr<boost::asio::steady_timer>> live;
    std::vector<std::weak_ptr<boost::asio::steady_timer>> kept;
    for (auto& entry : waiters) {
      if (auto timer = entry.lock()) {
        live.push_back(std::move(timer));
        kept.push_back(std::move(entry));
      }
    }
    waiters = std::move(kept);
    return live;
  }

 private:
  std::size_t size() {
    std::lock_guard lock(mutex);
    return streams.size();
  }
};

template <typename Stream>
boost::asio::awaitable<std::expected<void, mendral::error>> session_registry<Stream>::wait_empty(
    std::chrono::milliseconds timeout) {
  if (auto valid = validate_positive_timeout(timeout, "shutdown timeout"); !valid) co_return valid;
  if (size() == 0) co_return std::expected<void, mendral::error>{};

  auto executor = co_await boost::asio::this_coro::executor;
  // The wake-up timer never fires by itself: a removal or the deadline cancels its wait.
  auto waiter = std::make_shared<boost::asio::steady_timer>(executor);
  auto deadline = std::make_shared<boost::asio::steady_timer>(executor);
  auto timed_out = std::make_shared<bool>(false);
  {
    std::lock_guard lock(mutex);
    waiters.push_back(waiter);
  }
  deadline->expires_after(timeout);
  deadline->async_wait([waiter, timed_out](const boost::system::error_code& ec) {
    if (ec) return;
    *timed_out = true;
    waiter->cancel();
  });

  for (;;) {
    // Emptiness is tested before the time-out flag, so a registry that empties as the time-out
    // passes still drains successfully.
    if (size() == 0) {
      deadline->cancel();
      co_return std::expected<void, mendral::error>{};
    }
    if (*timed_out) {
      co_return fail_void(4, "timed out waiting for sessions to drain", MENDRAL_HERE);
    }
    waiter->expires_at(boost::asio::steady_timer::time_point::max());
    boost::system::error_code ec;
    co_await waiter->async_wait(boost::asio::redirect_error(boost::asio::use_awaitable, ec));
    if (ec && ec != boost::asio::error::operation_aborted) co_return fail_void(network_failure(ec));
  }
}

extern template struct session_registry<boost::beast::tcp_stream>;

// Removes its stream from its registry exactly once: on `release` or when destroyed.
template <typename Stream>
struct session_guard {
  std::shared_ptr<session_registry<Stream>> registry;
  std::shared_ptr<Stream> stream;

  session_guard(std::shared_ptr<session_registry<Stream>> registry, std::shared_ptr<Stream> stream)
      : registry(std::move(registry)), stream(std::move(stream)) {}
  session_guard(const session_guard&) = delete;
  session_guard& operator=(const session_guard&) = delete;
  ~session_guard() { release(); }

  // Removes the stream from the registry, then forgets both.
  void release() {
    if (registry && stream) registry->remove(stream);
    registry.reset();
    stream.reset();
  }
};

// Stream deadlines --------------------------------------------------------------------------------

// Bounds one I/O operation. Timer-based deadlines (bare sockets, TLS streams) emit `signal` when
// the time-out passes while armed; the plain Beast stream's deadline only sets the stream's own
// expiry, so its other members are empty.
struct stream_deadline {
  std::shared_ptr<boost::asio::steady_timer> timer;
  std::shared_ptr<bool> expired;
  std::shared_ptr<std::atomic<bool>> armed;
  std::shared_ptr<boost::asio::cancellation_signal> signal;
};

// Sets the stream's read and write expiry (where no operation of that kind is pending).
stream_deadline start_stream_deadline(boost::beast::tcp_stream& stream,
                                      std::chrono::milliseconds timeout);
// Arms a timer on the socket's executor that cancels the bound operation when it fires. Takes the
// socket as the lowest layer that a TCP socket and every stream over one expose.
stream_deadline start_stream_deadline(boost::asio::ip::tcp::socket::lowest_layer_type& socket,
                                      std::chrono::milliseconds timeout);
// The socket deadline on the lowest layer of a stream layered over a socket (the TLS stream).
template <typename Stream>
requires requires(Stream& stream) { stream.lowest_layer(); }
stream_deadline start_stream_deadline(Stream& stream, std::chrono::milliseconds timeout) {
  return start_stream_deadline(stream.lowest_layer(), timeout);
}

// Disarms the deadline and cancels its timer; does nothing for the plain Beast stream's deadline.
void cancel_stream_deadline(stream_deadline& deadline);
// The cancellation slot to bind to the bounded operation.
boost::asio::cancellation_slot deadline_token(stream_deadline& deadline);
// Code 4 with the message when the deadline fired, otherwise the two-argument `operation_failure`.
mendral::error operation_failure(const boost::system::error_code& ec,
                                 const stream_deadline& deadline, std::string message);

// Writes the whole HTTP message under a deadline of the time-out: code 4 with the message when the
// deadline fires, otherwise the network failure of the error.
template <typename Stream, typename Message>
boost::asio::awaitable<std::expected<void, mendral::error>> async_write_within(
    Stream& stream, Message& message, std::chrono::milliseconds timeout, std::string timed_out) {
  auto deadline = start_stream_deadline(stream, timeout);
  auto [ec, written] = co_await boost::beast::http::async_write(
      stream, message,
      boost::asio::bind_cancellation_slot(deadline_token(deadline),
                                          boost::asio::as_tuple(boost::asio::use_awaitable)));
  cancel_stream_deadline(deadline);
  if (ec) co_return fail_void(operation_failure(ec, deadline, std::move(timed_out)));
  co_return std::expected<void, mendral::error>{};
}

// TLS handshakes and shutdowns --------------------------------------------------------------------

// The stream's TLS handshake of the given type under a deadline: code 4 with the message when the
// deadline fires or the error is a time-out, otherwise the network failure of the error.
template <typename NextLayer>
boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_handshake(
    boost::asio::ssl::stream<NextLayer>& stream, boost::asio::ssl::stream_base::handshake_type type,
    std::chrono::milliseconds timeout, std::string message);
// The stream's TLS shutdown (close_notify) under a deadline, failing like `async_tls_handshake`.
template <typename NextLayer>
boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_shutdown(
    boost::asio::ssl::stream<NextLayer>& stream, std::chrono::milliseconds timeout,
    std::string message);

extern template boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_handshake(
    boost::asio::ssl::stream<boost::asio::ip::tcp::socket>&,
    boost::asio::ssl::stream_base::handshake_type, std::chrono::milliseconds, std::string);
extern template boost::asio::awaitable<std::expected<void, mendral::error>> async_tls_shutdown(
    boost::asio::ssl::stream<boost::asio::ip::tcp::socket>&, std::chrono::milliseconds,
    std::string);

// Name resolution ---------------------------------------------------------------------------------

// The host's TCP endpoints for the port, in the resolver's order; code 4 with the message when the
// time-out passes first, otherwise the network failure of a resolver error.
boost::asio::awaitable<std::expected<boost::asio::ip::tcp::resolver::results_type, mendral::error>>
resolve_tcp_endpoints(boost::asio::any_io_executor executor, std::string host, unsigned short port,
                      std::chrono::milliseconds timeout, std::string message);

// Listening sockets ---------------------------------------------------------------------------

// Binds and listens on the host (an IP literal as is, anything else resolved passively, the empty
// text as the wildcard addresses) and port, and returns the bound port; code 3 with the system's
// or resolver's message on failure.
std::expected<unsigned short, mendral::error> start_tcp_acceptor(
    boost::asio::ip::tcp::acceptor& acceptor, const std::string& host, unsigned short port);

}  // namespace corvane::detail
