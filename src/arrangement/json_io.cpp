#include "arrangement/json_io.hpp"

#include <limits>

namespace orvanta::arrangement_detail {

std::optional<std::int64_t> integer_value(const boost::json::value& value) {
  if (value.is_int64()) return value.get_int64();
  if (value.is_uint64() &&
      value.get_uint64() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<std::int64_t>(value.get_uint64());
  }
  return std::nullopt;
}

}  // namespace orvanta::arrangement_detail
