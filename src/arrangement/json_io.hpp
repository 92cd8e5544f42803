// Lenient readers of the score document's JSON members, shared by the source reader, the
// validator and the staff writers. A missing member or one of the wrong JSON kind gives a fixed
// default; none of them fails or throws.
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace orvanta::arrangement_detail {

// The member stored under key, or null when the key is absent.
const boost::json::value* member(const boost::json::object& object, const char* key);

// The member's text when it is a JSON string; otherwise fallback.
std::string string_member(const boost::json::object& object, const char* key, std::string fallback);

// The member's value when it is a JSON boolean; otherwise false.
bool bool_member(const boost::json::object& object, const char* key);

// A JSON signed integer, or an unsigned one not above the signed maximum; nothing for any other
// value (doubles included, even whole ones).
std::optional<std::int64_t> integer_value(const boost::json::value& value);

// integer_value of the member when the key is present and gives a value; otherwise fallback.
std::int64_t integer_member(const boost::json::object& object, const char* key,
                            std::int64_t fallback);

// Nothing when the key is absent or holds null; otherwise integer_value of the member.
std::optional<std::int64_t> optional_integer_member(const boost::json::object& object,
                                                    const char* key);

}  // namespace orvanta::arrangement_detail
