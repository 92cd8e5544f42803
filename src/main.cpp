// The orvanta process: answers the informational switches of the command line, or reads its
// configuration from the environment, serves the health probe and the front end over HTTP on the
// main thread, and stops on SIGINT or SIGTERM.
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <expected>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>

#include "corvane/http.hpp"
#include "server.hpp"

namespace orvanta {
namespace {

constexpr std::string_view usage_line = "usage: orvanta [--version] [--health-check]";
constexpr std::chrono::milliseconds io_timeout{5000};
constexpr std::uint64_t body_limit = 16 * 1024 * 1024;
constexpr unsigned short default_port = 8000;

// The variable's value when it is set and not empty; the fallback otherwise.
std::string env_or(std::string_view name, std::string fallback) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr || *value == '\0') return fallback;
  return value;
}

// Answers an informational switch (only the first argument counts); the exit status.
int answer_command_line(std::string_view argument) {
  if (argument == "--version") {
    std::cout << service_version << '\n';
    return 0;
  }
  if (argument == "--health-check") {
    std::cout << "ok\n";
    return 0;
  }
  std::cout << usage_line << '\n';
  return argument == "--help" || argument == "-h" ? 0 : 2;
}

// The framework's bind variable wins over the service's own.
std::string bind_text() {
  auto bind = env_or("CORVANE_HTTP_BIND_ADDRESS", "");
  if (!bind.empty()) return bind;
  return env_or("ORVANTA_BIND_ADDRESS", "0.0.0.0:8000");
}

corvane::endpoint_config endpoint_config_for(std::string bind) {
  corvane::endpoint_config config;
  config.service_name = "orvanta";
  config.service_instance = 0;
  config.bind = std::move(bind);
  config.timeout = io_timeout;
  config.body_limit = body_limit;
  config.retry_interval_ms = 50;
  config.max_pending = 64;
  config.idle_timeout_ms = 5000;
  return config;
}

corvane::http::server_options plain_server_options() {
  corvane::http::server_options options;
  options.timeout = io_timeout;
  options.body_limit = body_limit;
  return options;
}

// The endpoint to listen on; a port of 0, given or missing, becomes 8000.
std::expected<corvane::http::endpoint, mendral::error> listening_endpoint() {
  auto endpoint = corvane::http::server_endpoint_from_config(endpoint_config_for(bind_text()));
  if (endpoint && endpoint->port == 0) endpoint->port = default_port;
  return endpoint;
}

// Every connection holds a descriptor until its deadline cuts it; with the common soft limit of
// 1024 a few hundred slow clients would exhaust it and leave the acceptor failing in a tight loop
// while nobody else can connect. The hard limit is the most an unprivileged process may ask for.
void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

int report_failure(const mendral::error& failure) {
  std::cerr << failure.message() << '\n';
  return 1;
}

// Serves until a signal stops the event loop; the exit status.
int serve() {
  auto endpoint = listening_endpoint();
  if (!endpoint) return report_failure(endpoint.error());
  raise_descriptor_limit();
  app_state state(app_config{env_or("ORVANTA_WEB_ROOT", "web/dist")});
  boost::asio::io_context context;
  auto router = make_router(state);
  corvane::http::server server(context, *endpoint, std::move(router), plain_server_options());
  auto started = server.start();
  if (!started) return report_failure(started.error());

  // Requests in flight get no answer: the loop stops right after the server.
  boost::asio::signal_set signals(context, SIGINT, SIGTERM);
  signals.async_wait([&server, &context](const boost::system::error_code&, int) {
    server.stop();
    context.stop();
  });
  // Flushed so that a supervisor reading a pipe sees the port at once.
  std::cout << "orvanta listening on " << server.selected_port() << std::endl;
  context.run();
  return 0;
}

}  // namespace
}  // namespace orvanta

int main(int argc, char** argv) {
  if (argc > 1) return orvanta::answer_command_line(argv[1]);
  try {
    return orvanta::serve();
  } catch (const std::exception& failure) {
    std::cerr << failure.what() << '\n';
    return 1;
  }
}
