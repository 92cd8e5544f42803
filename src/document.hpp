// The score document's validation rules. Times are integer ticks, 4096 to the quarter note.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

// Ticks one measure of an "N/D" time signature holds (N 1..32, D 1, 2, 4, 8, 16 or 32, at most
// 131072); 0 for any text that is not such a time signature.
std::int64_t measure_capacity_ticks(const std::string& time_signature);

}  // namespace orvanta
