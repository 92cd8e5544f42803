#include "arrangement/source.hpp"

#include <array>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::array<std::pair<int, int>, 6> tuning{
    {{1, 64}, {2, 59}, {3, 55}, {4, 50}, {5, 45}, {6, 40}}};

}  // namespace

int normalize_pc(int value) {
  const int remainder = value % 12;
  return remainder < 0 ? remainder + 12 : remainder;
}

std::optional<int> open_midi_for_string(int string_number) {
  for (const auto& [number, midi] : tuning) {
    if (number == string_number) return midi;
  }
  return std::nullopt;
}

}  // namespace orvanta::arrangement_detail
