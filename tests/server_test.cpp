#include "server.hpp"

#include "arrangement/fixture_documents.hpp"
#include "document.hpp"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/json/object.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using response_result = std::expected<corvane::service_response, mendral::error>;

constexpr std::string_view html_type = "text/html; charset=utf-8";
constexpr std::string_view builtin_page =
    "<!doctype html><title>Orvanta</title><main>Orvanta frontend has not been built.</main>";

// Runs the router's route for the method and path on the body to completion.
response_result call(const corvane::service_router& router, std::string path,
                     std::string method = "GET", boost::json::value body = boost::json::object()) {
  boost::asio::io_context context;
  auto answer = boost::asio::co_spawn(
      context,
      router.call_response({"127.0.0.1", std::move(method), std::move(path)}, std::move(body)),
      boost::asio::use_future);
  context.run();
  return answer.get();
}

void expect_served(const corvane::service_router& router, const std::string& path,
                   std::string_view content_type, std::string_view body) {
  SCOPED_TRACE(path);
  const auto answer = call(router, path);
  ASSERT_TRUE(answer.has_value()) << answer.error().message();
  EXPECT_EQ(answer->content_type, content_type);
  EXPECT_EQ(answer->body, body);
}

void expect_no_route(const corvane::service_router& router, const std::string& path,
                     const std::string& method = "GET") {
  SCOPED_TRACE(method + " " + path);
  const auto answer = call(router, path, method);
  ASSERT_FALSE(answer.has_value());
  EXPECT_EQ(answer.error().code(), 2);
  EXPECT_EQ(answer.error().message(), "route not found");
}

// Within its scope the permission bits bind this thread even when it runs as root: the
// capabilities that let root open, read and search any file are taken out of the thread's
// effective set, and put back when the scope ends. A thread that does not hold them is bound by
// the bits already, and nothing changes.
class permission_bits_bind {
 public:
  permission_bits_bind() {
    if (::syscall(SYS_capget, &header, held.data()) != 0) return;
    auto lowered = held;
    lowered[0].effective &= ~(CAP_TO_MASK(CAP_DAC_OVERRIDE) | CAP_TO_MASK(CAP_DAC_READ_SEARCH));
    changed = lowered[0].effective != held[0].effective &&
              ::syscall(SYS_capset, &header, lowered.data()) == 0;
  }
  permission_bits_bind(const permission_bits_bind&) = delete;
  permission_bits_bind& operator=(const permission_bits_bind&) = delete;
  ~permission_bits_bind() {
    if (changed) ::syscall(SYS_capset, &header, held.data());
  }

 private:
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> held{};
  bool changed = false;
};

// A fresh, empty directory per test, removed afterwards.
class web_root_test : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    base = fs::temp_directory_path() /
           ("orvanta_server_test_" + std::to_string(::getpid()) + "_" + info->name());
    fs::remove_all(base);
    root = base / "web";
    fs::create_directories(root);
  }

  void TearDown() override {
    // Restore permissions a test took away so that everything can be removed.
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(base, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, ignored);
    }
    fs::remove_all(base, ignored);
  }

  void write(const fs::path& relative, std::string_view content) const {
    const auto path = root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
  }

  corvane::service_router static_routes() const {
    corvane::service_router router;
    orvanta::register_static_routes(router, root);
    return router;
  }

  // The static routes, registered while the permission bits bind the test, root or not; fails
  // the test when a path that was made unreadable can still be opened.
  corvane::service_router static_routes_bound_by_permissions(const fs::path& unreadable) const {
    permission_bits_bind bound;
    EXPECT_FALSE(std::ifstream(unreadable).is_open())
        << unreadable << " can still be opened: the permission bits do not bind this process";
    return static_routes();
  }

  fs::path base;
  fs::path root;
};

TEST(health_route_test, answers_status_and_version_in_the_success_envelope) {
  orvanta::app_state state(orvanta::app_config{"/nonexistent/orvanta/web/root"});
  const auto router = orvanta::make_router(state);
  expect_served(router, "/api/health", "application/json",
                R"({"ok":true,"payload":{"status":"ok","version":"0.1.0"}})");
}

TEST(health_route_test, only_the_exact_method_and_target_are_routed) {
  orvanta::app_state state(orvanta::app_config{"/nonexistent/orvanta/web/root"});
  const auto router = orvanta::make_router(state);
  expect_no_route(router, "/api/health", "POST");
  expect_no_route(router, "/api/health?probe=1");
  expect_no_route(router, "/api/health/");
  expect_no_route(router, "/api/arrange");
  expect_no_route(router, "/api/arrange?part_type=vocal", "POST");
}

TEST(app_state_test, keeps_the_configured_web_root) {
  orvanta::app_state state(orvanta::app_config{"web/dist"});
  EXPECT_EQ(state.web_root(), fs::path("web/dist"));
}

TEST_F(web_root_test, a_missing_web_root_serves_the_builtin_page_only) {
  root = base / "missing";
  const auto router = static_routes();
  expect_served(router, "/", html_type, builtin_page);
  expect_no_route(router, "/index.html");
  EXPECT_EQ(router.routes.size(), 1u);
}

TEST_F(web_root_test, a_plain_file_as_web_root_is_not_walked) {
  root = base / "file";
  std::ofstream(root) << "not a directory";
  const auto router = static_routes();
  expect_served(router, "/", html_type, builtin_page);
  EXPECT_EQ(router.routes.size(), 1u);
}

TEST_F(web_root_test, serves_each_file_with_the_content_type_of_its_extension) {
  struct row {
    const char* file;
    std::string_view content_type;
  };
  const row rows[] = {
      {"assets/app.js", "text/javascript; charset=utf-8"},
      {"assets/module.mjs", "text/javascript; charset=utf-8"},
      {"assets/site.css", "text/css; charset=utf-8"},
      {"data/tunes.json", "application/json"},
      {"img/logo.svg", "image/svg+xml"},
      {"img/logo.png", "image/png"},
      {"img/photo.jpg", "image/jpeg"},
      {"img/photo.jpeg", "image/jpeg"},
      {"fonts/text.woff2", "font/woff2"},
      {"docs/index.html", html_type},
      {"img/LOGO.PNG", "application/octet-stream"},
      {"assets/bundle.js.map", "application/octet-stream"},
      {"LICENSE", "application/octet-stream"},
      {".env", "application/octet-stream"},
      {"notes.txt", "application/octet-stream"},
  };
  for (const auto& item : rows) write(item.file, std::string("content of ") + item.file);
  const auto router = static_routes();
  for (const auto& item : rows) {
    expect_served(router, std::string("/") + item.file, item.content_type,
                  std::string("content of ") + item.file);
  }
}

TEST_F(web_root_test, serves_the_top_level_index_under_both_routes) {
  write("index.html", "<h1>front end</h1>");
  write("docs/index.html", "<h1>docs</h1>");
  const auto router = static_routes();
  expect_served(router, "/", html_type, "<h1>front end</h1>");
  expect_served(router, "/index.html", html_type, "<h1>front end</h1>");
  expect_served(router, "/docs/index.html", html_type, "<h1>docs</h1>");
  // Targets are matched exactly as received: no directory index, no normalisation, no query.
  for (const char* target : {"/docs", "/docs/", "/../index.html", "/%2e%2e/index.html",
                             "/./index.html", "//index.html", "/index.html?v=1", "/?v=1"}) {
    expect_no_route(router, target);
  }
  expect_no_route(router, "/index.html", "POST");
}

TEST_F(web_root_test, contents_are_served_byte_for_byte) {
  const std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff", 17);
  write("img/logo.png", binary);
  write("empty.css", "");
  const auto router = static_routes();
  expect_served(router, "/img/logo.png", "image/png", binary);
  expect_served(router, "/empty.css", "text/css; charset=utf-8", "");
}

TEST_F(web_root_test, contents_are_read_once_at_registration) {
  write("app.js", "first");
  const auto router = static_routes();
  write("app.js", "second");
  write("late.js", "late");
  expect_served(router, "/app.js", "text/javascript; charset=utf-8", "first");
  expect_no_route(router, "/late.js");
}

TEST_F(web_root_test, an_index_that_is_a_directory_leaves_the_builtin_page) {
  write("index.html/readme.txt", "inside");
  const auto router = static_routes();
  expect_served(router, "/", html_type, builtin_page);
  expect_served(router, "/index.html/readme.txt", "application/octet-stream", "inside");
  expect_no_route(router, "/index.html");
}

TEST_F(web_root_test, links_to_files_are_served_and_links_to_directories_are_not_walked) {
  const auto outside = base / "outside";
  fs::create_directories(outside / "dir");
  std::ofstream(outside / "target.js") << "linked";
  std::ofstream(outside / "dir" / "inner.js") << "inner";
  fs::create_symlink(outside / "target.js", root / "link.js");
  fs::create_directory_symlink(outside / "dir", root / "linked_dir");
  fs::create_symlink(outside / "nowhere.css", root / "dangling.css");
  const auto router = static_routes();
  expect_served(router, "/link.js", "text/javascript; charset=utf-8", "linked");
  expect_no_route(router, "/linked_dir/inner.js");
  expect_no_route(router, "/dangling.css");
}

// /proc/self/mem is a regular file that opens but fails on its first read.
TEST_F(web_root_test, an_index_whose_read_fails_gets_no_route_at_all) {
  if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem";
  fs::create_symlink("/proc/self/mem", root / "index.html");
  fs::create_symlink("/proc/self/mem", root / "broken.js");
  write("app.js", "still served");
  const auto router = static_routes();
  expect_no_route(router, "/");
  expect_no_route(router, "/index.html");
  expect_no_route(router, "/broken.js");
  expect_served(router, "/app.js", "text/javascript; charset=utf-8", "still served");
}

TEST_F(web_root_test, files_that_cannot_be_opened_get_no_route) {
  write("index.html", "secret");
  write("app.js", "still served");
  fs::permissions(root / "index.html", fs::perms::none);
  const auto router = static_routes_bound_by_permissions(root / "index.html");
  expect_no_route(router, "/");
  expect_no_route(router, "/index.html");
  expect_served(router, "/app.js", "text/javascript; charset=utf-8", "still served");
}

TEST_F(web_root_test, file_system_errors_propagate_as_exceptions) {
  // A link to itself cannot be resolved: not a missing file but an error, at the index check and
  // during the walk alike.
  for (const char* name : {"index.html", "assets/loop.js"}) {
    SCOPED_TRACE(name);
    fs::remove_all(root);
    fs::create_directories((root / name).parent_path());
    fs::create_symlink((root / name).filename(), root / name);
    corvane::service_router router;
    EXPECT_THROW(orvanta::register_static_routes(router, root), fs::filesystem_error);
  }
}

TEST_F(web_root_test, a_directory_that_cannot_be_opened_ends_the_walk_with_an_exception) {
  write("private/key.json", "{}");
  fs::permissions(root / "private", fs::perms::none);
  EXPECT_THROW(static_routes_bound_by_permissions(root / "private" / "key.json"),
               fs::filesystem_error);
}

TEST_F(web_root_test, a_file_at_api_health_replaces_the_health_route) {
  write("api/health", "static health");
  orvanta::app_state state(orvanta::app_config{root});
  const auto router = orvanta::make_router(state);
  expect_served(router, "/api/health", "application/octet-stream", "static health");
}

TEST_F(web_root_test, read_file_returns_the_whole_content_or_not_found) {
  std::string large(200000, 'x');
  large[123456] = '\0';
  write("large.bin", large);
  const auto read = orvanta::read_file(root / "large.bin");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, large);

  std::vector<fs::path> unreadable{root / "missing.js", root};
  if (fs::exists("/proc/self/mem")) unreadable.emplace_back("/proc/self/mem");
  for (const auto& path : unreadable) {
    SCOPED_TRACE(path.string());
    const auto failed = orvanta::read_file(path);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().category(), "orvanta");
    EXPECT_EQ(failed.error().code(), 2);
    EXPECT_EQ(failed.error().message(), "static asset not found: " + path.string());
  }
}

// The arrangement route ---------------------------------------------------------------------------

namespace json = boost::json;
using json_result = std::expected<json::value, mendral::error>;

json::value lead_sheet() { return fixture_documents::read_fixture("lead_sheet_8_bars.json"); }

// The lead sheet with its first chord symbol replaced.
json::value lead_sheet_with_first_chord(const char* symbol) {
  auto document = lead_sheet();
  document.at("staves")
      .at(0)
      .at("measures")
      .at(0)
      .at("voices")
      .at(0)
      .at("notes")
      .at(0)
      .as_object()["chord_symbol"] = symbol;
  return document;
}

json::object request_of(json::value document, const char* part_type) {
  return {{"document", std::move(document)}, {"part_type", part_type}};
}

// Runs POST /api/arrange through the router: the payload or the failure.
json_result arrange(const corvane::service_router& router, json::value body) {
  boost::asio::io_context context;
  auto answer = boost::asio::co_spawn(
      context, router.call({"127.0.0.1", "POST", "/api/arrange"}, std::move(body)),
      boost::asio::use_future);
  context.run();
  return answer.get();
}

// The raw answer of POST /api/arrange, envelope included.
std::string arrange_raw(const corvane::service_router& router, json::value body) {
  return call(router, "/api/arrange", "POST", std::move(body)).value().body;
}

// The payload of a successful answer; null, after a test failure, for a failed one.
json::value payload_of(const json_result& answer) {
  if (answer.has_value()) return *answer;
  ADD_FAILURE() << "arrangement failed: " << answer.error().message();
  return nullptr;
}

corvane::service_router service_router() {
  orvanta::app_state state(orvanta::app_config{"/nonexistent/orvanta/web/root"});
  return orvanta::make_router(state);
}

const json::object& arranged_staff(const json::value& payload) {
  return payload.at("document").at("staves").as_array().back().as_object();
}

// True when some tab position of the arranged staff names a finger.
bool writes_fingers(const json::value& payload) {
  return json::serialize(arranged_staff(payload)).find("\"finger\"") != std::string::npos;
}

TEST(arrange_route_test, requests_that_cannot_be_arranged_fail_with_the_first_reason) {
  const auto router = service_router();
  const auto invalid = json::parse(R"({"version":1,"metadata":{"key_signature":5},"staves":[]})");
  struct row {
    const char* name;
    json::value body;
    const char* message;
  };
  const row rows[] = {
      {"an array", json::array{1, 2}, "arrangement request must be an object"},
      {"a string", "{}", "arrangement request must be an object"},
      {"a number", 7, "arrangement request must be an object"},
      {"an empty body", json::object{}, "arrangement request missing document"},
      {"a misspelt document", json::object{{"documents", lead_sheet()}},
       "arrangement request missing document"},
      {"a null document", json::object{{"document", nullptr}}, "document: must be an object"},
      {"a part type in capitals", request_of(lead_sheet(), "Electric"),
       "arrangement part_type must be electric, acoustic, or vocal"},
      {"an unknown part type before an invalid document", request_of(nullptr, "guitar"),
       "arrangement part_type must be electric, acoustic, or vocal"},
      {"an empty part type", request_of(lead_sheet(), ""),
       "arrangement part_type must be electric, acoustic, or vocal"},
      {"several findings", json::object{{"document", invalid}},
       "metadata.key_signature: must be a string"},
      {"an engine error", request_of(lead_sheet_with_first_chord("H7"), "electric"),
       "Chord 'H7' could not be arranged."},
  };
  for (const auto& item : rows) {
    SCOPED_TRACE(item.name);
    const auto answer = arrange(router, item.body);
    ASSERT_FALSE(answer.has_value());
    EXPECT_EQ(answer.error().code(), 1);
    EXPECT_EQ(answer.error().message(), item.message);
  }
}

TEST(arrange_route_test, an_engine_error_is_answered_by_its_path_and_message) {
  using orvanta::arrangement_message;
  struct row {
    const char* name;
    std::vector<arrangement_message> messages;
    std::optional<std::string> expected;
  };
  const row rows[] = {
      {"no messages", {}, std::nullopt},
      {"warnings only", {{"warning", "", "w"}, {"Error", "", "e"}}, std::nullopt},
      {"path and message", {{"warning", "", "w"}, {"error", "staves.0", "bad"}}, "staves.0: bad"},
      {"message alone",
       {{"error", "", "Chord 'H7' could not be arranged."}},
       "Chord 'H7' could not be arranged."},
      {"path alone", {{"error", "staves.0", ""}}, "staves.0: "},
      {"neither", {{"error", "", ""}, {"error", "", "later"}}, "arrangement failed"},
  };
  for (const auto& [name, messages, expected] : rows) {
    EXPECT_EQ(orvanta::arrangement_failure_message(messages), expected) << name;
  }
}

TEST(arrange_route_test, answers_the_arranged_document_and_its_messages) {
  const auto router = service_router();

  const auto electric = arrange(router, request_of(lead_sheet(), "electric"));
  ASSERT_TRUE(electric.has_value()) << electric.error().message();
  const auto& answer = electric->as_object();
  ASSERT_EQ(answer.size(), 2u);
  EXPECT_EQ(answer.begin()->key(), "document");
  EXPECT_EQ(std::next(answer.begin())->key(), "messages");
  EXPECT_EQ(arranged_staff(*electric).at("arrangement_part_type"), "electric");
  EXPECT_TRUE(orvanta::validate_score_document(answer.at("document")).messages.empty());
  EXPECT_EQ(answer.at("document").at("metadata").at("tempo"), 124);

  // A part type that is not a string arranges the electric part.
  json::object numbered{{"document", lead_sheet()}, {"part_type", 3}};
  EXPECT_EQ(payload_of(arrange(router, numbered)), *electric);

  const auto vocal = arrange(router, request_of(lead_sheet(), "vocal"));
  ASSERT_TRUE(vocal.has_value());
  EXPECT_EQ(vocal->at("messages"), json::array{});
  EXPECT_EQ(arranged_staff(*vocal).at("id"), "staff-arranged-vocal");

  // The acoustic part works the unknown chord around and says so.
  const auto acoustic = arrange(router, request_of(lead_sheet_with_first_chord("H7"), "acoustic"));
  ASSERT_TRUE(acoustic.has_value()) << acoustic.error().message();
  EXPECT_EQ(arranged_staff(*acoustic).at("arrangement_part_type"), "acoustic");
  const json::value warning{
      {"level", "warning"}, {"path", ""}, {"message", "Chord 'H7' could not be arranged."}};
  const auto& messages = acoustic->at("messages").as_array();
  EXPECT_NE(std::find(messages.begin(), messages.end(), warning), messages.end());
  for (const auto& message : messages) EXPECT_EQ(message.at("level"), "warning");
}

TEST(arrange_route_test, the_flags_count_only_as_json_booleans) {
  const auto router = service_router();
  auto with = [](json::value assist, json::value solo) {
    auto request = request_of(lead_sheet(), "electric");
    request["assist"] = std::move(assist);
    request["solo"] = std::move(solo);
    return request;
  };
  const auto plain = payload_of(arrange(router, request_of(lead_sheet(), "electric")));
  EXPECT_FALSE(writes_fingers(plain));
  EXPECT_EQ(payload_of(arrange(router, with("true", 1))), plain);
  EXPECT_EQ(payload_of(arrange(router, with(nullptr, "yes"))), plain);

  EXPECT_TRUE(writes_fingers(payload_of(arrange(router, with(true, false)))));
  EXPECT_NE(payload_of(arrange(router, with(false, true))), plain);
}

TEST(arrange_route_test, the_same_request_gets_the_same_bytes) {
  const auto router = service_router();
  for (const char* part : {"electric", "acoustic", "vocal"}) {
    auto request = request_of(lead_sheet(), part);
    request["solo"] = true;
    EXPECT_EQ(arrange_raw(router, request), arrange_raw(router, request)) << part;
  }
}

}  // namespace
