// The service's routes: the health probe, the arrangement of a posted score document, and the front
// end's static files, served by the HTTP framework's router. The arrangement runs inline on the
// event loop's thread. Every front-end file is read into memory once, while the router is built,
// and answered as a raw route with a content type chosen by its extension; without a front end
// "/" answers a small built-in page.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrangement_types.hpp"

#include "corvane/service.hpp"
#include "mendral/error.hpp"

namespace orvanta {

// The version the command line prints and the health route answers.
inline constexpr std::string_view service_version = "0.1.0";

// The start-up configuration: the front end's directory.
struct app_config {
  std::filesystem::path web_root;

  bool operator==(const app_config&) const = default;
};

// The application state the process owns for its whole life.
class app_state {
 public:
  explicit app_state(app_config config);

  // The front end's directory.
  const std::filesystem::path& web_root() const { return web_root_; }

 private:
  std::filesystem::path web_root_;
};

// The service's router: GET /api/health, POST /api/arrange, then the static routes of the web root
// (which may replace the first); file-system errors while the web root is read propagate as
// exceptions.
corvane::service_router make_router(app_state& state);

// The answer of POST /api/arrange to a request body: `document` arranged and `messages`, or code 1
// when the body is not an object with a document and an accepted `part_type`, when the document
// is invalid (its first finding) or when the engine reports an error (its first one).
std::expected<boost::json::value, mendral::error> answer_arrangement(
    const boost::json::value& body);

// The text answered for a finding or message: path, ": " and message, or the message alone when
// the path is empty.
std::string path_qualified_message(const std::string& path, const std::string& message);

// The failure text of the first engine message of level "error" ("arrangement failed" when its
// path and message are both empty); nothing when no message is an error.
std::optional<std::string> arrangement_failure_message(
    const std::vector<arrangement_message>& messages);

// Registers "/" and "/index.html" for a top-level index.html (or "/" for the built-in page when
// there is none), then one GET route per regular file under the web root; throws on file-system
// errors other than a missing file.
void register_static_routes(corvane::service_router& router, const std::filesystem::path& web_root);

// Reads the file now and registers it as a GET route under `route`; registers nothing when the
// file cannot be read.
void add_static_route(corvane::service_router& router, std::string route,
                      const std::filesystem::path& file);

// The file's whole content, or code 2 "static asset not found: " and the path when it cannot be
// opened or a read fails.
std::expected<std::string, mendral::error> read_file(const std::filesystem::path& file);

}  // namespace orvanta
