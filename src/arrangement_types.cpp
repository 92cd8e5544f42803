#include "arrangement_types.hpp"

namespace orvanta {

std::optional<arrangement_part_type> parse_arrangement_part_type(std::string_view text) {
  if (text == "electric") return arrangement_part_type::electric;
  if (text == "acoustic") return arrangement_part_type::acoustic;
  if (text == "vocal") return arrangement_part_type::vocal;
  return std::nullopt;
}

std::string_view to_string(arrangement_part_type type) {
  switch (type) {
    case arrangement_part_type::acoustic: return "acoustic";
    case arrangement_part_type::vocal: return "vocal";
    default: return "electric";
  }
}

}  // namespace orvanta
