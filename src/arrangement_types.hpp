// The words the service and the arrangement engine share: which guitar part to arrange, the
// request's flags, the engine's messages and its answer. Nothing here depends on the engine, so
// every unit may include it.
#pragma once

#include <boost/json/value.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

// The part to arrange; its enumerators' names are its texts.
enum class arrangement_part_type : std::int32_t {
  electric = 0,
  acoustic = 1,
  vocal = 2,
};

// The request's flags: `assist` writes finger numbers into the tablature, `solo` lets the solo
// sections play generated solos.
struct arrangement_options {
  bool assist = false;
  bool solo = false;

  bool operator==(const arrangement_options&) const = default;
};

// One message of the engine: `level` "error" (the arrangement failed) or "warning" (something was
// worked around), a dotted path into the document (empty for the whole arrangement) and the text.
struct arrangement_message {
  std::string level;
  std::string path;
  std::string message;

  bool operator==(const arrangement_message&) const = default;
};

// The engine's answer: the document, arranged or unchanged, and its messages in order of arising.
struct arrangement_result {
  boost::json::value document;
  std::vector<arrangement_message> messages;

  bool operator==(const arrangement_result&) const = default;
};

// The part type a whole, case-sensitive text names; nothing for any other text.
std::optional<arrangement_part_type> parse_arrangement_part_type(std::string_view text);

// The text of a part type; "electric" for every value outside the enumeration.
std::string_view to_string(arrangement_part_type type);

}  // namespace orvanta
