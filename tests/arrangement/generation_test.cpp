#include "arrangement/generation.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace {

using namespace orvanta::arrangement_detail;

TEST(generation_test, only_the_solo_roles_have_a_solo_profile) {
  struct row {
    const char* name;
    std::int32_t role;
    std::optional<guitar_solo_profile> expected;
  };
  const row rows[] = {
      {"rests", 0, std::nullopt},
      {"chords", 1, std::nullopt},
      {"melody", 2, std::nullopt},
      {"accompaniment", 3, std::nullopt},
      {"acoustic solo", 4, guitar_solo_profile::acoustic},
      {"electric solo", 5, guitar_solo_profile::electric},
      {"vocal", 6, std::nullopt},
      {"value outside the roles", 7, std::nullopt},
  };
  for (const auto& [name, role, expected] : rows) {
    EXPECT_EQ(solo_profile_for_role(static_cast<full_arrangement_section_role>(role)), expected)
        << name;
  }
}

}  // namespace
