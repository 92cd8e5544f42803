// The service router: a table from (method, path) to an asynchronous handler. JSON routes answer a
// JSON value that goes out in the success envelope; raw routes answer a content type and a body
// that go out unchanged. A failure of either goes out as the failure envelope.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/json/value.hpp>

#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "mendral/error.hpp"

namespace corvane {

// What a handler learns of the request being served.
struct request_context {
  std::string remote_peer;  // the peer's IP address, empty when it cannot be read
  std::string method;       // "GET", "POST", or the method text as received
  std::string path;         // the request target exactly as received, query string included

  bool operator==(const request_context&) const = default;
};

// A raw route's answer.
struct service_response {
  std::string content_type;
  std::string body;

  bool operator==(const service_response&) const = default;
};

using json_handler =
    std::function<boost::asio::awaitable<std::expected<boost::json::value, mendral::error>,
                                         boost::asio::any_io_executor>(request_context,
                                                                       boost::json::value)>;

using response_handler =
    std::function<boost::asio::awaitable<std::expected<service_response, mendral::error>,
                                         boost::asio::any_io_executor>(request_context,
                                                                       boost::json::value)>;

// The route table. Registering under a key that is taken replaces the earlier handler; a call in
// flight keeps the handler it started with alive. Copies share the handler objects.
struct service_router {
  using route_key = std::pair<std::string, std::string>;

  // Guards `routes`; held for lookups and updates, never while a handler runs.
  mutable std::mutex mutex;
  std::map<route_key, std::shared_ptr<const response_handler>> routes;

  service_router() = default;
  service_router(const service_router& other);
  service_router(service_router&& other);
  service_router& operator=(const service_router& other);
  service_router& operator=(service_router&& other);

  // Registers a JSON route: the handler's value is answered in the success envelope.
  void add_route(std::string method, std::string path, json_handler handler);
  // Registers a raw route: the handler's content type and body are answered unchanged.
  void add_response_route(std::string method, std::string path, response_handler handler);

  // Runs the route for the context's method and path; code 2 "route not found" without one, code
  // 5 "handler failed: " and the text when the handler throws.
  boost::asio::awaitable<std::expected<service_response, mendral::error>,
                         boost::asio::any_io_executor>
  call_response(request_context context, boost::json::value body) const;

  // Runs the route and reads its answer back from the envelope: the payload, or the error that a
  // failure envelope carries; code 1 when the answer is not a JSON envelope.
  boost::asio::awaitable<std::expected<boost::json::value, mendral::error>,
                         boost::asio::any_io_executor>
  call(request_context context, boost::json::value body) const;
};

// A raw answer of the given content type and body.
service_response text_response(std::string content_type, std::string body);

// An "application/json" answer whose body is the success envelope holding the value.
service_response json_response(boost::json::value value);

}  // namespace corvane
