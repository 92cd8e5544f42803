#include "server.hpp"

#include <boost/json/object.hpp>

#include <array>
#include <fstream>
#include <memory>
#include <utility>

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
  register_static_routes(router, state.web_root());
  return router;
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
