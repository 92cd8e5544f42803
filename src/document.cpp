#include "document.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

namespace orvanta {
namespace {

std::optional<int> whole_int(std::string_view text) {
  int value = 0;
  const auto* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, value);
  if (status != std::errc{} || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::int64_t measure_capacity_ticks(const std::string& time_signature) {
  constexpr std::int64_t whole_note_ticks = 16384;
  constexpr std::int64_t largest_capacity = 131072;
  constexpr std::array valid_denominators{1, 2, 4, 8, 16, 32};

  const auto slash = time_signature.find('/');
  if (slash == std::string::npos) return 0;
  const std::string_view text = time_signature;
  const auto numerator = whole_int(text.substr(0, slash));
  const auto denominator = whole_int(text.substr(slash + 1));
  if (!numerator || !denominator || *numerator < 1 || *numerator > 32) return 0;
  if (std::find(valid_denominators.begin(), valid_denominators.end(), *denominator) ==
      valid_denominators.end()) {
    return 0;
  }
  const auto capacity = *numerator * (whole_note_ticks / *denominator);
  return capacity > largest_capacity ? 0 : capacity;
}

}  // namespace orvanta
