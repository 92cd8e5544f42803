#include "server.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <utility>

#include "arrangement.hpp"
#include "arrangement/json_io.hpp"
#include "document.hpp"
#include "errors.hpp"

namespace orvanta {
namespace {

using json_result = std::expected<boost::json::value, mendral::error>;
using response_result = std::expected<corvane::service_response, mendral::error>;

struct content_type_row {
  std::string_view extension;
  std::string_view content_type;
};

constexpr std::string_view html_content_type = "text/html; charset=utf-8";
constexpr std::string_view fallback_content_type = "application/octet-stream";

constexpr std::array<content_type_row, 10> content_types{{
    {".html", html_content_type},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".mjs", "text/javascript; charset=utf-8"},
    {".json", "application/json"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".woff2", "font/woff2"},
}};

constexpr std::string_view builtin_page =
    "<!doctype html><title>Orvanta</title><main>Orvanta frontend has not been built.</main>";

// The content type for the file's extension, compared exactly (".PNG" is not ".png").
std::string_view content_type_for(const std::filesystem::path& file) {
  const auto extension = file.extension().string();
  for (const auto& row : content_types) {
    if (row.extension == extension) return row.content_type;
  }
  return fallback_content_type;
}

boost::asio::awaitable<json_result> answer_health(corvane::request_context, boost::json::value) {
  co_return boost::json::object{{"status", "ok"}, {"version", service_version}};
}

boost::asio::awaitable<json_result> answer_arrange(corvane::request_context,
                                                   boost::json::value body) {
  co_return answer_arrangement(body);
}

json_result invalid_request(std::string message, mendral::source_location location) {
  return fail<boost::json::value>(error_code::invalid_argument, std::move(message), location);
}

boost::json::array messages_json(const std::vector<arrangement_message>& messages) {
  boost::json::array array;
  array.reserve(messages.size());
  for (const auto& message : messages) {
    array.push_back(boost::json::object{
        {"level", message.level}, {"path", message.path}, {"message", message.message}});
  }
  return array;
}

// Each answer gets a copy of the shared content, since a response owns its body.
boost::asio::awaitable<response_result> answer_content(std::string_view content_type,
                                                       std::shared_ptr<const std::string> content) {
  co_return corvane::text_response(std::string(content_type), *content);
}

boost::asio::awaitable<response_result> answer_builtin_page(corvane::request_context,
                                                            boost::json::value) {
  co_return corvane::text_response(std::string(html_content_type), std::string(builtin_page));
}

std::expected<std::string, mendral::error> unreadable(const std::filesystem::path& file) {
  return fail<std::string>(error_code::not_found, "static asset not found: " + file.string(),
                           MENDRAL_HERE);
}

// "/" and the relative path's components joined with "/".
std::string route_for(const std::filesystem::path& relative) {
  std::string route;
  for (const auto& component : relative) {
    route += '/';
    route += component.string();
  }
  return route;
}

}  // namespace

app_state::app_state(app_config config) : web_root_(std::move(config.web_root)) {}

corvane::service_router make_router(app_state& state) {
  corvane::service_router router;
  router.add_route("GET", "/api/health", answer_health);
  router.add_route("POST", "/api/arrange", answer_arrange);
  register_static_routes(router, state.web_root());
  return router;
}

json_result answer_arrangement(const boost::json::value& body) {
  const auto* request = body.if_object();
  if (request == nullptr) {
    return invalid_request("arrangement request must be an object", MENDRAL_HERE);
  }
  const auto* document = request->if_contains("document");
  if (document == nullptr) {
    return invalid_request("arrangement request missing document", MENDRAL_HERE);
  }
  const auto part_type = parse_arrangement_part_type(
      arrangement_detail::string_member(*request, "part_type", "electric"));
  if (!part_type) {
    return invalid_request("arrangement part_type must be electric, acoustic, or vocal",
                           MENDRAL_HERE);
  }
  const auto validation = validate_score_document(*document);
  if (!validation.messages.empty()) {
    const auto& first = validation.messages.front();
    return invalid_request(path_qualified_message(first.path, first.message), MENDRAL_HERE);
  }
  const arrangement_options options{.assist = arrangement_detail::bool_member(*request, "assist"),
                                    .solo = arrangement_detail::bool_member(*request, "solo")};

  auto result = arrange_guitar_score(*document, *part_type, options);
  if (auto failure = arrangement_failure_message(result.messages)) {
    return invalid_request(std::move(*failure), MENDRAL_HERE);
  }
  boost::json::object answer;
  answer["document"] = std::move(result.document);
  answer["messages"] = messages_json(result.messages);
  return answer;
}

std::string path_qualified_message(const std::string& path, const std::string& message) {
  return path.empty() ? message : path + ": " + message;
}

std::optional<std::string> arrangement_failure_message(
    const std::vector<arrangement_message>& messages) {
  const auto error = std::ranges::find(messages, "error", &arrangement_message::level);
  if (error == messages.end()) return std::nullopt;
  if (error->path.empty() && error->message.empty()) return "arrangement failed";
  return path_qualified_message(error->path, error->message);
}

void register_static_routes(corvane::service_router& router,
                            const std::filesystem::path& web_root) {
  const auto index = web_root / "index.html";
  if (std::filesystem::is_regular_file(index)) {
    add_static_route(router, "/", index);
    add_static_route(router, "/index.html", index);
  } else {
    router.add_response_route("GET", "/", answer_builtin_page);
  }
  if (!std::filesystem::is_directory(web_root)) return;

  for (const auto& entry : std::filesystem::recursive_directory_iterator(web_root)) {
    // A symbolic link counts by its target; one that leads nowhere is passed over.
    if (!entry.is_regular_file()) continue;
    const auto relative = entry.path().lexically_relative(web_root);
    if (relative == "index.html") continue;
    add_static_route(router, route_for(relative), entry.path());
  }
}

void add_static_route(corvane::service_router& router, std::string route,
                      const std::filesystem::path& file) {
  auto content = read_file(file);
  if (!content) return;
  auto shared = std::make_shared<const std::string>(std::move(*content));
  const auto content_type = content_type_for(file);
  router.add_response_route("GET", std::move(route),
                            [shared, content_type](corvane::request_context, boost::json::value) {
                              return answer_content(content_type, shared);
                            });
}

std::expected<std::string, mendral::error> read_file(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream.is_open()) return unreadable(file);
  std::string content;
  std::array<char, 65536> chunk{};
  while (stream.read(chunk.data(), chunk.size()) || stream.gcount() > 0) {
    content.append(chunk.data(), static_cast<std::size_t>(stream.gcount()));
  }
  // A read that fails after the open (an I/O error, a directory) would leave a truncated
  // content; it counts as unreadable like a file that cannot be opened.
  if (stream.bad()) return unreadable(file);
  return content;
}

}  // namespace orvanta
