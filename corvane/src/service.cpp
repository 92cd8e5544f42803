#include "corvane/service.hpp"

#include <boost/json/parse.hpp>

#include <exception>

#include "corvane/detail/transport.hpp"
#include "corvane/errors.hpp"

namespace corvane {
namespace {

using response_result = std::expected<service_response, mendral::error>;

// "application/json", alone or followed by ';' and parameters; case-sensitive.
bool json_content_type(const std::string& content_type) {
  constexpr std::string_view json_type = "application/json";
  if (!content_type.starts_with(json_type)) return false;
  return content_type.size() == json_type.size() || content_type[json_type.size()] == ';';
}

// One call of a JSON route: the handler's value in the success envelope, its error unchanged. The
// handler lives in the route's shared handler object, which the caller holds for the whole call.
boost::asio::awaitable<response_result> run_json_route(const json_handler& handler,
                                                       request_context context,
                                                       boost::json::value body) {
  auto result = co_await handler(std::move(context), std::move(body));
  if (!result) co_return std::unexpected(std::move(result.error()));
  co_return json_response(std::move(*result));
}

}  // namespace

service_router::service_router(const service_router& other) {
  std::lock_guard lock(other.mutex);
  routes = other.routes;
}

service_router::service_router(service_router&& other) {
  std::lock_guard lock(other.mutex);
  routes = std::move(other.routes);
  other.routes.clear();
}

service_router& service_router::operator=(const service_router& other) {
  if (this == &other) return *this;
  std::scoped_lock lock(mutex, other.mutex);
  routes = other.routes;
  return *this;
}

service_router& service_router::operator=(service_router&& other) {
  if (this == &other) return *this;
  std::scoped_lock lock(mutex, other.mutex);
  routes = std::move(other.routes);
  other.routes.clear();
  return *this;
}

void service_router::add_route(std::string method, std::string path, json_handler handler) {
  add_response_route(
      std::move(method), std::move(path),
      [handler = std::move(handler)](request_context context, boost::json::value body) {
        return run_json_route(handler, std::move(context), std::move(body));
      });
}

void service_router::add_response_route(std::string method, std::string path,
                                        response_handler handler) {
  auto stored = std::make_shared<const response_handler>(std::move(handler));
  std::lock_guard lock(mutex);
  routes[route_key{std::move(method), std::move(path)}] = std::move(stored);
}

boost::asio::awaitable<response_result> service_router::call_response(
    request_context context, boost::json::value body) const {
  std::shared_ptr<const response_handler> handler;
  {
    std::lock_guard lock(mutex);
    const auto found = routes.find(route_key{context.method, context.path});
    if (found == routes.end()) {
      co_return detail::fail<service_response>(2, "route not found", MENDRAL_HERE);
    }
    handler = found->second;
  }
  // No lock is held while the handler runs, and no time limit applies to it.
  try {
    co_return co_await (*handler)(std::move(context), std::move(body));
  } catch (const std::exception& thrown) {
    co_return detail::fail<service_response>(5, std::string("handler failed: ") + thrown.what(),
                                             MENDRAL_HERE);
  } catch (...) {
    co_return detail::fail<service_response>(5, "handler failed", MENDRAL_HERE);
  }
}

boost::asio::awaitable<std::expected<boost::json::value, mendral::error>> service_router::call(
    request_context context, boost::json::value body) const {
  auto answer = co_await call_response(std::move(context), std::move(body));
  if (!answer) co_return std::unexpected(answer.error());
  if (!json_content_type(answer->content_type)) {
    co_return detail::fail<boost::json::value>(1, "service response is not JSON", MENDRAL_HERE);
  }
  boost::system::error_code ec;
  auto parsed = boost::json::parse(answer->body, ec);
  if (ec) co_return detail::fail<boost::json::value>(1, ec.message(), MENDRAL_HERE);
  co_return detail::unwrap_response_envelope(std::move(parsed), "service");
}

service_response text_response(std::string content_type, std::string body) {
  return service_response{std::move(content_type), std::move(body)};
}

service_response json_response(boost::json::value value) {
  return service_response{"application/json",
                          detail::serialize_response_envelope(std::move(value))};
}

}  // namespace corvane
