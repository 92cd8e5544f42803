#include "arrangement/patterns.hpp"

#include "arrangement/voicing.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::int64_t eighth_ticks = 2048;
constexpr std::int64_t pattern_length = 16384;

// Patterns are written hit by hit, separated by commas. A hit is its start eighth (0 to 7); ":"
// and its length in eighths when that is not one; "a" when it avoids melody attacks and "n" when
// it needs space ("an" for both); "w" and its weight class; "/" and its variant when not 0. So
// "4:2 a w1/2" is a quarter-note hit on beat 3 that avoids melody attacks, weight 1, variant 2.
// The text is read at compile time: a malformed pattern does not build.
constexpr std::size_t most_hits = 8;

struct written_pattern {
  std::array<comping_hit, most_hits> hits{};
  std::size_t count = 0;
};

struct pattern_reader {
  std::string_view text;
  std::size_t at = 0;

  constexpr bool done() const { return at == text.size(); }

  constexpr bool next_is(char character) const { return !done() && text[at] == character; }

  constexpr bool take(char character) {
    if (!next_is(character)) return false;
    ++at;
    return true;
  }

  constexpr void skip_blanks() {
    while (take(' ')) {
    }
  }

  constexpr void expect(char character) {
    if (!take(character)) throw "malformed comping pattern";
  }

  constexpr int number() {
    if (done() || text[at] < '0' || text[at] > '9') throw "malformed comping pattern";
    int value = 0;
    while (!done() && text[at] >= '0' && text[at] <= '9') value = value * 10 + (text[at++] - '0');
    return value;
  }

  constexpr comping_hit hit() {
    comping_hit hit;
    hit.offset = number() * eighth_ticks;
    hit.duration = (take(':') ? number() : 1) * eighth_ticks;
    skip_blanks();
    hit.avoid_melody_attack = take('a');
    hit.needs_space = take('n');
    skip_blanks();
    expect('w');
    hit.weight_class = number();
    if (take('/')) hit.variant = number();
    return hit;
  }
};

constexpr written_pattern read_pattern(std::string_view text) {
  written_pattern pattern;
  pattern_reader reader{text};
  reader.skip_blanks();
  while (!reader.done()) {
    if (pattern.count == most_hits) throw "too many hits in a comping pattern";
    pattern.hits[pattern.count++] = reader.hit();
    reader.skip_blanks();
    if (!reader.done()) reader.expect(',');
    reader.skip_blanks();
  }
  return pattern;
}

// One style's four patterns, in table order.
using pattern_set = std::array<written_pattern, 4>;

consteval pattern_set read_set(std::string_view p0, std::string_view p1, std::string_view p2,
                               std::string_view p3) {
  return {read_pattern(p0), read_pattern(p1), read_pattern(p2), read_pattern(p3)};
}

// Acoustic chord-mode comping: swing not fast, swing fast, then ballad to waltz in family order.
constexpr std::array<pattern_set, 11> acoustic_sets{{
    read_set("0 w0, 3 a w1/1, 5 a w1, 6 a w1, 7 an w0", "0 w0, 2 a w2/1, 4 a w1, 7 a w1",
             "0 w1, 1 a w2/1, 3 a w1, 5 a w1/2", "0 w0, 3 a w1/2, 4 a w2/1, 6 a w1, 7 an w1"),
    read_set("0 w1, 3 a w1/1, 5 a w1, 6 a w1", "0 w1, 1 a w2/1, 4 a w1, 7 a w1",
             "0 w1, 2 a w2/1, 3 a w1, 5 a w1/2", "0 w1, 3 a w2/1, 4 a w1, 6 a w1, 7 a w1"),
    read_set("0:2 w0, 3 a w1/1, 4:2 a w1, 7 an w1", "0:4 w0, 5 a w2/1, 6:2 an w1",
             "0:2 w0, 1 an w2/2, 5 a w1", "0:2 w1, 2:2 an w0, 7 a w2/1"),
    read_set("0 w0, 1 w1/1, 3 w1, 5 w1/2, 6 w1", "1 w1, 3 w1, 4 w1, 7 w1",
             "0 w0, 2 w1, 3 w2/1, 4 w1, 7 w1/2", "0 w0, 3 w1, 5 w2/1, 6 w1"),
    read_set("0 w0, 1 w1/1, 3 w1, 4 w1, 5 w1, 7 w1", "0 w0, 2 w1, 3 w2/1, 5 w1, 6 w1/2",
             "0 w1, 1 w2/1, 4 w0, 5 w1, 7 w1", "0 w0, 1 w1/2, 3 w1, 5 w2/1, 6 w1"),
    read_set("0 w0, 2 w1, 3 w1/1, 5 w1, 6 w1, 7 w1", "0 w0, 1 w2/1, 3 w1, 4 w1, 7 w1/2",
             "0 w1, 2 w0, 5 w1, 6 w2/1", "0 w0, 1 w1/2, 4 w1, 5 w1, 7 w1"),
    read_set("0 w0, 1 a w1/1, 2 a w1, 3 a w1, 4 a w0, 5 a w1, 6 a w1, 7 a w1",
             "0 w0, 2 a w1, 3 a w2/1, 4 a w1, 7 a w1/2", "0 w1, 1 a w2/1, 3 a w1, 5 a w0, 6 a w1",
             "0 w0, 1 a w1/2, 4 a w1, 5 a w1, 7 a w2/1"),
    read_set("0 w0, 1 a w1/1, 2 a w1, 3 a w1, 4 a w0, 5 a w1, 6 a w1, 7 a w1",
             "0 w0, 2 a w1, 4 a w0, 5 a w2/1, 7 a w1", "0 w1, 1 a w2/1, 3 a w1, 4 a w0, 6 a w1/2",
             "0 w0, 1 a w1/2, 2 a w1, 5 a w0, 7 a w1"),
    read_set("1 a w1/1, 2 a w1, 3 a w1, 5 a w0, 6 a w1, 7 a w1",
             "0 w1, 1 a w2/1, 3 a w1, 4 a w1/2, 7 a w0",
             "1 a w1/2, 2 a w1, 4 a w2/1, 5 a w1, 6 a w0",
             "0 w2/1, 2 a w1, 3 a w1/2, 5 a w0, 7 a w1"),
    read_set("0 w0, 3 a w1/1, 4 a w0, 5 a w1, 6 a w1, 7 a w1",
             "0 w0, 2 a w1, 3 a w2/1, 5 a w1, 6 a w0", "0 w1, 1 a w2/1, 4 a w0, 5 a w1/2, 7 a w1",
             "0 w0, 3 a w1/2, 4 a w1, 6 a w2/1, 7 a w1"),
    read_set("0:2 w0, 2 a w1/1, 4 a w1", "0:2 w0, 2 a w1, 4 a w2/1", "0:2 w1, 2 a w2/1, 4 a w1/2",
             "0:2 w0, 2 an w1, 4 a w1"),
}};

// Electric stabs: swing and blues, ballad, bossa samba and latin, even8ths rock and funk, waltz.
constexpr std::array<pattern_set, 5> electric_sets{{
    read_set("3 a w2/1, 5 a w1, 7 an w1", "1 a w2/1, 4 a w1, 7 a w1/2",
             "2 a w2/1, 3 a w1/2, 6 a w1", "0 w1, 3 a w1, 5 a w2/1, 7 an w1"),
    read_set("3 a w2/1, 6 an w1", "1 an w2/2, 5 a w1", "4 a w1, 7 a w2/1",
             "0 w1, 3 an w2/1, 6 an w1"),
    read_set("1 a w2/1, 3 a w1, 7 an w2/2", "2 a w1, 5 a w2/1, 6 an w1/2",
             "1 a w1/2, 4 a w2/1, 7 a w1", "2 a w1, 5 a w1, 6 an w2/1"),
    read_set("1 a w2/1, 3 a w1, 6 an w1/2", "2 a w1, 5 a w2/1, 7 a w1",
             "1 a w1/2, 4 a w1, 7 a w2/1", "0 w1, 3 a w1, 5 a w1, 6 an w2/1"),
    read_set("2 a w2/1, 4 a w1", "2 a w1, 4 an w2/2", "2 a w2/1, 4 an w1",
             "0 w1, 2 a w2/1, 4 a w1"),
}};

// The electric set of each family, swing to waltz.
constexpr std::array<std::size_t, 10> electric_set_of_family{0, 1, 2, 2, 2, 3, 3, 3, 0, 4};

std::vector<comping_pattern> patterns_of(const pattern_set& set) {
  std::vector<comping_pattern> patterns;
  patterns.reserve(set.size());
  for (const auto& written : set) {
    const auto hits = std::span{written.hits}.first(written.count);
    patterns.push_back(
        make_comping_pattern(pattern_length, std::vector<comping_hit>{hits.begin(), hits.end()}));
  }
  return patterns;
}

template <std::size_t count>
std::array<std::vector<comping_pattern>, count> tables_of(
    const std::array<pattern_set, count>& sets) {
  std::array<std::vector<comping_pattern>, count> tables;
  for (std::size_t index = 0; index < count; ++index) tables[index] = patterns_of(sets[index]);
  return tables;
}

const std::vector<comping_pattern>& table_without_hits() {
  static const std::vector<comping_pattern> table{make_comping_pattern(pattern_length, {})};
  return table;
}

// The family's index 0 to 9; nothing for any other value.
std::optional<std::size_t> family_index(comping_style_family family) {
  const int value = static_cast<int>(family);
  if (value < 0 || value > 9) return std::nullopt;
  return static_cast<std::size_t>(value);
}

void sort_by_pitch(std::vector<tab_position>& positions) {
  std::stable_sort(
      positions.begin(), positions.end(),
      [](const tab_position& left, const tab_position& right) { return left.midi < right.midi; });
}

}  // namespace

// Pattern tables

comping_pattern make_comping_pattern(std::int64_t length, std::vector<comping_hit> hits) {
  return {length, std::move(hits)};
}

const std::vector<comping_pattern>& comping_patterns_for(const arrangement_style_profile& profile) {
  static const auto tables = tables_of(acoustic_sets);
  const auto family = family_index(profile.family);
  if (!family) return table_without_hits();
  if (profile.family == comping_style_family::swing) return tables[profile.fast ? 1 : 0];
  return tables[*family + 1];
}

const std::vector<comping_pattern>& accompaniment_patterns_for(
    const arrangement_style_profile& profile) {
  static const auto tables = tables_of(electric_sets);
  const auto family = family_index(profile.family);
  if (!family) return table_without_hits();
  return tables[electric_set_of_family[*family]];
}

// Growing grips

bool add_position_if_playable(std::vector<tab_position>& grip, tab_position position) {
  if (contains_string(grip, position.string_number) || contains_midi(grip, position.midi)) {
    return false;
  }
  auto grown = grip;
  grown.push_back(std::move(position));
  sort_by_pitch(grown);
  if (!positions_playable(grown)) return false;
  auto fingered = assign_fingering(std::move(grown));
  if (!fingered) return false;
  grip = std::move(*fingered);
  return true;
}

std::vector<tab_position> merge_playable_positions(std::vector<tab_position> base,
                                                   const std::vector<tab_position>& extra) {
  sort_by_pitch(base);
  for (const auto& position : extra) add_position_if_playable(base, position);
  return base;
}

// Degree priority

int position_degree_priority(const parsed_chord& chord, const tab_position& position) {
  const int pitch_class = normalize_pc(position.midi);
  const auto sounds = [&](const std::string& degree) {
    const auto degree_class = degree_pc(chord, degree);
    return degree_class && *degree_class == pitch_class;
  };
  const auto is_root_or_fifth = [](const std::string& degree) {
    return degree == "1" || degree == "5";
  };
  const auto& formula = chord.formula;
  if (std::any_of(formula.required_degrees.begin(), formula.required_degrees.end(), sounds)) {
    return 0;
  }
  if (std::any_of(
          formula.optional_degrees.begin(), formula.optional_degrees.end(),
          [&](const std::string& degree) { return !is_root_or_fifth(degree) && sounds(degree); })) {
    return 1;
  }
  const auto first = std::find_if(formula.degrees.begin(), formula.degrees.end(), sounds);
  if (first == formula.degrees.end()) return 4;
  return is_root_or_fifth(*first) ? 3 : 2;
}

}  // namespace orvanta::arrangement_detail
