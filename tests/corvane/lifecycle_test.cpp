#include "corvane/detail/lifecycle.hpp"

#include <gtest/gtest.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>

#include <array>
#include <future>
#include <memory>

namespace {

using namespace corvane::detail;
using namespace std::chrono_literals;
using boost::asio::ip::tcp;
using plain_stream = boost::beast::tcp_stream;
using registry_type = session_registry<plain_stream>;
using drain_result = std::expected<void, mendral::error>;

// A registry, plain streams and an event loop run on the test's thread, in bounded slices.
class registry_test : public testing::Test {
 protected:
  boost::asio::io_context context;
  std::shared_ptr<registry_type> registry = std::make_shared<registry_type>();

  std::shared_ptr<plain_stream> make_stream() { return std::make_shared<plain_stream>(context); }

  std::future<drain_result> start_drain(std::chrono::milliseconds timeout) {
    return boost::asio::co_spawn(context, registry->wait_empty(timeout), boost::asio::use_future);
  }

  // Runs the loop until the future is ready, for at most a few seconds.
  template <typename T>
  T finish(std::future<T>& future) {
    for (int slice = 0; slice < 100 && future.wait_for(0s) != std::future_status::ready; ++slice) {
      context.run_for(50ms);
    }
    EXPECT_EQ(future.wait_for(0s), std::future_status::ready);
    return future.get();
  }

  void remove_after(std::shared_ptr<plain_stream> stream, std::chrono::milliseconds delay) {
    auto timer = std::make_shared<boost::asio::steady_timer>(context, delay);
    timer->async_wait(
        [this, timer, stream](const boost::system::error_code&) { registry->remove(stream); });
  }
};

TEST_F(registry_test, drain_of_an_empty_registry_succeeds_at_once) {
  auto drained = start_drain(10ms);
  context.poll();
  ASSERT_EQ(drained.wait_for(0s), std::future_status::ready);
  EXPECT_TRUE(drained.get().has_value());
  EXPECT_TRUE(registry->waiters.empty());
}

TEST_F(registry_test, drain_time_out_must_be_positive) {
  auto drained = start_drain(0ms);
  const auto result = finish(drained);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().code(), 1);
  EXPECT_EQ(result.error().message(), "shutdown timeout must be positive");
}

TEST_F(registry_test, removal_wakes_the_drain_before_its_time_out) {
  auto stream = make_stream();
  registry->add(stream);
  // A time-out far beyond the slices `finish` runs: only the removal can end the wait in time.
  auto drained = start_drain(60s);
  remove_after(stream, 20ms);
  EXPECT_TRUE(finish(drained).has_value());
}

TEST_F(registry_test, one_removal_wakes_every_drain) {
  auto stream = make_stream();
  registry->add(stream);
  auto first = start_drain(60s);
  auto second = start_drain(60s);
  context.poll();
  EXPECT_EQ(registry->waiters.size(), 2u);
  remove_after(stream, 20ms);
  EXPECT_TRUE(finish(first).has_value());
  EXPECT_TRUE(finish(second).has_value());
}

TEST_F(registry_test, drain_times_out_while_a_stream_stays) {
  auto stream = make_stream();
  registry->add(stream);
  auto drained = start_drain(30ms);
  const auto result = finish(drained);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().code(), 4);
  EXPECT_EQ(result.error().message(), "timed out waiting for sessions to drain");
  EXPECT_EQ(registry->streams.size(), 1u);
}

TEST_F(registry_test, removals_of_other_streams_keep_the_drain_waiting) {
  auto stays = make_stream();
  auto leaves = make_stream();
  registry->add(stays);
  registry->add(leaves);
  auto drained = start_drain(60s);
  remove_after(leaves, 10ms);
  remove_after(make_stream(), 20ms);  // never registered: changes nothing, still wakes the drain
  remove_after(stays, 60ms);
  EXPECT_TRUE(finish(drained).has_value());
  EXPECT_TRUE(registry->streams.empty());
}

TEST_F(registry_test, streams_are_registered_once) {
  auto stream = make_stream();
  registry->add(stream);
  registry->add(stream);
  EXPECT_EQ(registry->streams.size(), 1u);
  registry->remove(make_stream());
  EXPECT_EQ(registry->streams.size(), 1u);
  registry->remove(stream);
  EXPECT_TRUE(registry->streams.empty());
}

TEST_F(registry_test, guard_removes_its_stream_exactly_once) {
  auto stream = make_stream();
  registry->add(stream);
  {
    session_guard<plain_stream> guard(registry, stream);
    guard.release();
    EXPECT_TRUE(registry->streams.empty());
    registry->add(stream);  // registered again: the released guard must leave it alone
  }
  EXPECT_EQ(registry->streams.size(), 1u);
  { session_guard<plain_stream> guard(registry, stream); }
  EXPECT_TRUE(registry->streams.empty());
}

// A connected pair of TCP sockets on the loopback interface.
struct socket_pair {
  tcp::socket client;
  tcp::socket server;
};

socket_pair connect_pair(boost::asio::io_context& context) {
  tcp::acceptor acceptor(context, {boost::asio::ip::address_v4::loopback(), 0});
  socket_pair pair{tcp::socket(context), tcp::socket(context)};
  pair.client.connect(acceptor.local_endpoint());
  acceptor.accept(pair.server);
  return pair;
}

TEST_F(registry_test, cancel_all_closes_every_stream_on_its_strand_and_keeps_them_registered) {
  std::vector<socket_pair> pairs;
  std::vector<std::shared_ptr<plain_stream>> streams;
  for (int index = 0; index < 3; ++index) {
    pairs.push_back(connect_pair(context));
    streams.push_back(std::make_shared<plain_stream>(std::move(pairs.back().server)));
    registry->add(streams.back());
  }
  std::array<char, 16> byte{};
  int aborted = 0;
  for (const auto& stream : streams) {
    stream->async_read_some(boost::asio::buffer(byte), [&](boost::system::error_code ec, auto) {
      if (ec == boost::asio::error::operation_aborted) ++aborted;
    });
  }
  registry->cancel_all();
  // Posted, never run inline.
  for (const auto& stream : streams) EXPECT_TRUE(stream->socket().is_open());
  context.run_for(1s);
  EXPECT_EQ(aborted, 3);
  for (const auto& stream : streams) EXPECT_FALSE(stream->socket().is_open());
  EXPECT_EQ(registry->streams.size(), 3u);

  std::make_shared<registry_type>()->cancel_all();  // nothing registered: nothing happens
}

using read_outcome = std::pair<boost::system::error_code, stream_deadline>;

// One read from the socket, bounded by a deadline of the given time-out.
boost::asio::awaitable<read_outcome> bounded_read(tcp::socket& socket,
                                                  std::chrono::milliseconds timeout) {
  std::array<char, 16> buffer{};
  auto deadline = start_stream_deadline(socket, timeout);
  auto [ec, read] = co_await socket.async_read_some(
      boost::asio::buffer(buffer),
      boost::asio::bind_cancellation_slot(deadline_token(deadline),
                                          boost::asio::as_tuple(boost::asio::use_awaitable)));
  cancel_stream_deadline(deadline);
  co_return read_outcome{ec, deadline};
}

TEST_F(registry_test, socket_deadline_cancels_the_bound_read_when_it_fires) {
  auto pair = connect_pair(context);
  auto future =
      boost::asio::co_spawn(context, bounded_read(pair.server, 30ms), boost::asio::use_future);
  auto [ec, deadline] = finish(future);
  EXPECT_EQ(ec, boost::asio::error::operation_aborted);
  ASSERT_TRUE(deadline.expired);
  EXPECT_TRUE(*deadline.expired);
  EXPECT_FALSE(*deadline.armed);
  const auto failure = operation_failure(ec, deadline, "HTTP response timed out");
  EXPECT_EQ(failure.code(), 4);
  EXPECT_EQ(failure.message(), "HTTP response timed out");
}

TEST_F(registry_test, socket_deadline_cancelled_in_time_never_fires) {
  auto pair = connect_pair(context);
  auto future =
      boost::asio::co_spawn(context, bounded_read(pair.server, 60s), boost::asio::use_future);
  context.poll();
  const std::string byte = "x";
  boost::asio::write(pair.client, boost::asio::buffer(byte));
  auto [ec, deadline] = finish(future);
  EXPECT_FALSE(ec);
  context.run_for(20ms);
  EXPECT_FALSE(*deadline.expired);

  // Not expired: an aborted operation is a plain network failure.
  const auto failure =
      operation_failure(boost::asio::error::operation_aborted, deadline, "HTTP response timed out");
  EXPECT_EQ(failure.code(), 3);
  EXPECT_EQ(failure.message(),
            boost::system::error_code(boost::asio::error::operation_aborted).message());
}

TEST_F(registry_test, plain_stream_deadline_times_out_through_the_stream_itself) {
  auto pair = connect_pair(context);
  plain_stream stream(std::move(pair.server));
  auto read = [&]() -> boost::asio::awaitable<read_outcome> {
    std::array<char, 16> buffer{};
    auto deadline = start_stream_deadline(stream, 30ms);
    auto [ec, count] = co_await stream.async_read_some(
        boost::asio::buffer(buffer),
        boost::asio::bind_cancellation_slot(deadline_token(deadline),
                                            boost::asio::as_tuple(boost::asio::use_awaitable)));
    cancel_stream_deadline(deadline);
    co_return read_outcome{ec, deadline};
  };
  auto future = boost::asio::co_spawn(context, read(), boost::asio::use_future);
  auto [ec, deadline] = finish(future);
  EXPECT_EQ(ec, boost::beast::error::timeout);
  EXPECT_FALSE(deadline.timer);
  EXPECT_FALSE(deadline.expired);
  EXPECT_FALSE(deadline.armed);
  const auto failure = operation_failure(ec, deadline, "HTTP response timed out");
  EXPECT_EQ(failure.code(), 4);
  EXPECT_EQ(failure.message(), "HTTP response timed out");
}

}  // namespace
