#include "arrangement/json_io.hpp"

#include <limits>

namespace orvanta::arrangement_detail {

const boost::json::value* member(const boost::json::object& object, const char* key) {
  return object.if_contains(key);
}

std::string string_member(const boost::json::object& object, const char* key,
                          std::string fallback) {
  const auto* value = member(object, key);
  if (value == nullptr || !value->is_string()) return fallback;
  return std::string(value->get_string());
}

bool bool_member(const boost::json::object& object, const char* key) {
  const auto* value = member(object, key);
  return value != nullptr && value->is_bool() && value->get_bool();
}

std::optional<std::int64_t> integer_value(const boost::json::value& value) {
  if (value.is_int64()) return value.get_int64();
  if (value.is_uint64() &&
      value.get_uint64() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<std::int64_t>(value.get_uint64());
  }
  return std::nullopt;
}

std::int64_t integer_member(const boost::json::object& object, const char* key,
                            std::int64_t fallback) {
  const auto* value = member(object, key);
  if (value == nullptr) return fallback;
  return integer_value(*value).value_or(fallback);
}

std::optional<std::int64_t> optional_integer_member(const boost::json::object& object,
                                                    const char* key) {
  const auto* value = member(object, key);
  if (value == nullptr || value->is_null()) return std::nullopt;
  return integer_value(*value);
}

}  // namespace orvanta::arrangement_detail
