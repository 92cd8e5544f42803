// Lenient readers of the score document's JSON members, shared by the source reader, the
// validator and the staff writers.
#pragma once

#include <boost/json/value.hpp>

#include <cstdint>
#include <optional>

namespace orvanta::arrangement_detail {

// A JSON signed integer, or an unsigned one not above the signed maximum; nothing for any other
// value (doubles included, even whole ones).
std::optional<std::int64_t> integer_value(const boost::json::value& value);

}  // namespace orvanta::arrangement_detail
