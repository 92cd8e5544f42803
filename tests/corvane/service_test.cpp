#include "corvane/service.hpp"

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <stdexcept>
#include <string>

#include "corvane/detail/transport.hpp"

namespace {

using boost::asio::awaitable;
using corvane::request_context;
using corvane::service_response;
using corvane::service_router;
using json_result = std::expected<boost::json::value, mendral::error>;
using response_result = std::expected<service_response, mendral::error>;

template <typename T>
T run(awaitable<T> task) {
  boost::asio::io_context context;
  auto future = boost::asio::co_spawn(context, std::move(task), boost::asio::use_future);
  context.run();
  return future.get();
}

response_result call_response(const service_router& router, std::string method, std::string path,
                              boost::json::value body = boost::json::object()) {
  return run(router.call_response(request_context{"127.0.0.1", method, path}, std::move(body)));
}

json_result call(const service_router& router, std::string method, std::string path) {
  return run(router.call(request_context{"", method, path}, boost::json::object()));
}

void expect_value(const json_result& result, const boost::json::value& expected) {
  ASSERT_TRUE(result.has_value()) << result.error().message();
  EXPECT_EQ(*result, expected);
}

void expect_response(const response_result& result, const service_response& expected) {
  ASSERT_TRUE(result.has_value()) << result.error().message();
  EXPECT_EQ(*result, expected);
}

// A raw route answering a fixed content type and body.
corvane::response_handler fixed(std::string content_type, std::string body) {
  return [content_type, body](request_context, boost::json::value) -> awaitable<response_result> {
    co_return corvane::text_response(content_type, body);
  };
}

// A JSON route answering a fixed value.
corvane::json_handler answer(boost::json::value value) {
  return
      [value](request_context, boost::json::value) -> awaitable<json_result> { co_return value; };
}

TEST(service_test, json_route_answers_its_value_in_the_success_envelope) {
  service_router router;
  router.add_route("POST", "/echo",
                   [](request_context context, boost::json::value body) -> awaitable<json_result> {
                     co_return boost::json::object{{"peer", context.remote_peer},
                                                   {"method", context.method},
                                                   {"path", context.path},
                                                   {"body", body}};
                   });
  const auto answer = call_response(router, "POST", "/echo", boost::json::parse(R"({"n":[1]})"));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->content_type, "application/json");
  EXPECT_EQ(answer->body,
            R"({"ok":true,"payload":{"peer":"127.0.0.1","method":"POST","path":"/echo",)"
            R"("body":{"n":[1]}}})");
}

TEST(service_test, raw_route_answers_unchanged) {
  service_router router;
  router.add_response_route("GET", "/", fixed("text/html; charset=utf-8", "<p>page</p>"));
  expect_response(call_response(router, "GET", "/"),
                  service_response{"text/html; charset=utf-8", "<p>page</p>"});
}

TEST(service_test, handler_failure_passes_through_unchanged) {
  service_router router;
  router.add_route("GET", "/bad",
                   [](request_context, boost::json::value) -> awaitable<json_result> {
                     co_return std::unexpected(mendral::make_error(
                         "orvanta", 1, "document is missing", {"server.cpp", 12, "arrange"}));
                   });
  const auto answer = call_response(router, "GET", "/bad");
  ASSERT_FALSE(answer.has_value());
  EXPECT_EQ(answer.error().category(), "orvanta");
  EXPECT_EQ(answer.error().code(), 1);
  EXPECT_EQ(answer.error().message(), "document is missing");
  EXPECT_EQ(answer.error().location().line, 12u);
}

TEST(service_test, thrown_exceptions_become_internal_failures) {
  service_router router;
  router.add_route("GET", "/runtime",
                   [](request_context, boost::json::value) -> awaitable<json_result> {
                     throw std::runtime_error("engine broke");
                     co_return nullptr;
                   });
  router.add_response_route("GET", "/int",
                            [](request_context, boost::json::value) -> awaitable<response_result> {
                              throw 42;
                              co_return service_response{};
                            });
  router.add_route("GET", "/empty-json", corvane::json_handler{});
  router.add_response_route("GET", "/empty-raw", corvane::response_handler{});
  const std::string empty_call = std::string("handler failed: ") + std::bad_function_call().what();
  const std::pair<const char*, std::string> rows[] = {
      {"/runtime", "handler failed: engine broke"},
      {"/int", "handler failed"},
      {"/empty-json", empty_call},
      {"/empty-raw", empty_call},
  };
  for (const auto& [path, message] : rows) {
    const auto answer = call_response(router, "GET", path);
    ASSERT_FALSE(answer.has_value()) << path;
    EXPECT_EQ(answer.error().code(), 5) << path;
    EXPECT_EQ(answer.error().message(), message) << path;
    EXPECT_EQ(answer.error().category(), "corvane") << path;
    EXPECT_STREQ(answer.error().location().function, "call_response") << path;
  }
}

TEST(service_test, routes_match_method_and_path_exactly) {
  service_router router;
  router.add_route("GET", "/a", answer("a"));
  const std::pair<const char*, const char*> misses[] = {
      {"get", "/a"}, {"POST", "/a"}, {"GET", "/a/"}, {"GET", "/a?x=1"}, {"GET", "/A"}, {"", ""},
  };
  for (const auto& [method, path] : misses) {
    const auto answer = call_response(router, method, path);
    ASSERT_FALSE(answer.has_value()) << method << ' ' << path;
    EXPECT_EQ(answer.error().code(), 2);
    EXPECT_EQ(answer.error().message(), "route not found");
  }
  EXPECT_TRUE(call_response(router, "GET", "/a").has_value());
}

TEST(service_test, replacing_a_route_keeps_a_running_call_on_its_handler) {
  service_router router;
  // The first handler replaces its own route while it runs: the table is not locked during the
  // call, and the replaced handler lives until the call ends.
  router.add_route("GET", "/r",
                   [&router, text = std::string("first")](
                       request_context, boost::json::value) -> awaitable<json_result> {
                     router.add_route("GET", "/r", answer("second"));
                     co_return boost::json::value(text);
                   });
  expect_value(call(router, "GET", "/r"), boost::json::value("first"));
  expect_value(call(router, "GET", "/r"), boost::json::value("second"));
  EXPECT_EQ(router.routes.size(), 1u);
}

TEST(service_test, call_reads_the_envelope_back) {
  service_router router;
  router.add_route("GET", "/json", answer(boost::json::parse(R"({"status":"ok"})")));
  router.add_route("GET", "/null", answer(nullptr));
  router.add_response_route("GET", "/typed",
                            fixed("application/json; charset=utf-8", R"({"ok":true,"payload":3})"));
  router.add_response_route("GET", "/failure",
                            fixed("application/json", R"({"ok":false,"code":"unavailable",)"
                                                      R"("message":"busy"})"));
  expect_value(call(router, "GET", "/json"), boost::json::parse(R"({"status":"ok"})"));
  expect_value(call(router, "GET", "/null"), boost::json::value(nullptr));
  expect_value(call(router, "GET", "/typed"), boost::json::value(3));

  const auto failure = call(router, "GET", "/failure");
  ASSERT_FALSE(failure.has_value());
  EXPECT_EQ(failure.error().code(), 3);
  EXPECT_EQ(failure.error().message(), "busy");
}

TEST(service_test, call_refuses_answers_that_are_not_json_envelopes) {
  service_router router;
  router.add_response_route("GET", "/html", fixed("text/html", "<p>x</p>"));
  router.add_response_route("GET", "/letter", fixed("application/jsonx", "{}"));
  router.add_response_route("GET", "/capitals", fixed("APPLICATION/JSON", "{}"));
  router.add_response_route("GET", "/empty-type", fixed("", "{}"));
  router.add_response_route("GET", "/broken", fixed("application/json", "{"));
  router.add_response_route("GET", "/array", fixed("application/json", "[]"));
  struct row {
    const char* path;
    int code;
    const char* message;
  };
  const row rows[] = {
      {"/html", 1, "service response is not JSON"},
      {"/letter", 1, "service response is not JSON"},
      {"/capitals", 1, "service response is not JSON"},
      {"/empty-type", 1, "service response is not JSON"},
      {"/broken", 1, "incomplete JSON"},
      {"/array", 1, "service response must be an object"},
      {"/missing", 2, "route not found"},
  };
  for (const auto& [path, code, message] : rows) {
    const auto result = call(router, "GET", path);
    ASSERT_FALSE(result.has_value()) << path;
    EXPECT_EQ(result.error().code(), code) << path;
    EXPECT_EQ(result.error().message(), message) << path;
  }
}

TEST(service_test, session_entries_forward_to_the_router) {
  service_router router;
  router.add_route("GET", "/x", answer(1));
  const auto raw = run(corvane::detail::call_response_handler(router, {"", "GET", "/x"}, nullptr));
  expect_response(raw, service_response{"application/json", R"({"ok":true,"payload":1})"});
  expect_value(run(corvane::detail::call_handler(router, {"", "GET", "/x"}, nullptr)), 1);
}

TEST(service_test, copies_share_handlers_and_moves_empty_the_source) {
  service_router router;
  router.add_route("GET", "/a", answer("a"));

  service_router copy(router);
  router.add_route("GET", "/b", answer("b"));
  EXPECT_EQ(copy.routes.size(), 1u);
  EXPECT_EQ(copy.routes.begin()->second, router.routes.begin()->second);

  service_router assigned;
  assigned = copy;
  EXPECT_EQ(assigned.routes.size(), 1u);
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.routes.size(), 1u);

  service_router moved(std::move(router));
  EXPECT_EQ(moved.routes.size(), 2u);
  EXPECT_FALSE(call_response(router, "GET", "/a").has_value());

  service_router move_assigned;
  move_assigned = std::move(moved);
  EXPECT_TRUE(moved.routes.empty());
  expect_value(call(move_assigned, "GET", "/b"), boost::json::value("b"));
}

TEST(service_test, response_builders) {
  EXPECT_EQ(corvane::text_response("text/plain", "hi"), (service_response{"text/plain", "hi"}));
  EXPECT_EQ(corvane::json_response(boost::json::parse("[1,null]")),
            (service_response{"application/json", R"({"ok":true,"payload":[1,null]})"}));
}

}  // namespace
