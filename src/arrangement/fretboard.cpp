#include "arrangement/fretboard.hpp"

#include "arrangement/source.hpp"

#include <cstdlib>
#include <functional>

namespace orvanta::arrangement_detail {
namespace {

constexpr int highest_fret = 20;

bool is_fretted(const tab_position& position) { return position.fret > 0; }

int fretted_count(const std::vector<tab_position>& positions) {
  return static_cast<int>(std::count_if(positions.begin(), positions.end(), is_fretted));
}

// Of the values of the fretted positions, the element at index count / 2 in ascending order (the
// upper of the two middle ones); 0 when no position is fretted. Grips are scored many thousand
// times per request, so the value is found by counting rather than by sorting a copy.
template <class value_function>
int fretted_upper_median(const std::vector<tab_position>& positions, const value_function& value) {
  const auto middle = static_cast<std::size_t>(fretted_count(positions)) / 2;
  for (const auto& candidate : positions) {
    if (!is_fretted(candidate)) continue;
    const int candidate_value = value(candidate);
    std::size_t below = 0;
    std::size_t not_above = 0;
    for (const auto& other : positions) {
      if (!is_fretted(other)) continue;
      const int other_value = value(other);
      if (other_value < candidate_value) ++below;
      if (other_value <= candidate_value) ++not_above;
    }
    if (below <= middle && middle < not_above) return candidate_value;
  }
  return 0;
}

// Calls step(upper, lower) for each pair of neighbouring distinct string numbers, upper > lower.
template <class step_function>
void for_each_string_step(const std::vector<tab_position>& positions, const step_function& step) {
  for (auto upper = positions.begin(); upper != positions.end(); ++upper) {
    const int string_number = upper->string_number;
    const bool seen = std::any_of(positions.begin(), upper, [&](const tab_position& earlier) {
      return earlier.string_number == string_number;
    });
    if (seen) continue;
    std::optional<int> next_lower;
    for (const auto& other : positions) {
      if (other.string_number < string_number &&
          (!next_lower || other.string_number > *next_lower)) {
        next_lower = other.string_number;
      }
    }
    if (next_lower) step(string_number, *next_lower);
  }
}

bool all_on_strings(const std::vector<tab_position>& positions, int lowest, int highest) {
  return std::all_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    return position.string_number >= lowest && position.string_number <= highest;
  });
}

// The place a pitch is offered first: near fret 5, on string 2, then strings 3 and 4.
int position_preference_cost(const tab_position& position) {
  constexpr std::array<int, 5> string_terms{0, 14, 0, 4, 8};
  const int string_term = position.string_number >= 1 && position.string_number <= 4
                              ? string_terms[static_cast<std::size_t>(position.string_number)]
                              : 36;
  return string_term + 10 * std::abs(position.fret - 5);
}

int barre_width(const barre_shape& barre) { return barre.to_string - barre.from_string; }

int barre_holes(const barre_shape& barre) { return barre_width(barre) + 1 - barre.string_count; }

int index_fret_of(const tab_position& position) {
  return position.finger ? position.fret - *position.finger + 1 : position.fret;
}

bool fingers_are_assigned_where_needed(const std::vector<tab_position>& positions) {
  return std::all_of(positions.begin(), positions.end(), [](const tab_position& position) {
    if (!is_fretted(position)) return !position.finger;
    return position.finger && *position.finger >= 1 && *position.finger <= 4;
  });
}

bool pressed_by(const tab_position& position, int finger) {
  return is_fretted(position) && finger_number(position) == finger;
}

bool fingers_two_to_four_press_once(const std::vector<tab_position>& positions) {
  for (int finger = 2; finger <= 4; ++finger) {
    const auto pressed =
        std::count_if(positions.begin(), positions.end(),
                      [&](const tab_position& p) { return pressed_by(p, finger); });
    if (pressed > 1) return false;
  }
  return true;
}

bool index_presses_one_fret_within_reach(const std::vector<tab_position>& positions,
                                         const std::optional<barre_shape>& barre) {
  if (barre) return barre->to_string - barre->from_string <= 4;
  // Fewer than two index positions, or index positions at different frets.
  return std::count_if(positions.begin(), positions.end(),
                       [](const tab_position& p) { return pressed_by(p, 1); }) < 2;
}

// Under a barre nothing may sound below its fret, and every note at its fret is the index's.
bool barre_is_sound(const std::vector<tab_position>& positions,
                    const std::optional<barre_shape>& barre) {
  if (!barre) return true;
  if (!barre_span_is_clear(positions, barre->fret, barre->from_string, barre->to_string)) {
    return false;
  }
  return std::all_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    const bool under =
        position.string_number >= barre->from_string && position.string_number <= barre->to_string;
    return !under || position.fret != barre->fret || finger_number(position) == 1;
  });
}

bool fingers_do_not_cross(const std::vector<tab_position>& positions) {
  for (const auto& low : positions) {
    for (const auto& high : positions) {
      if (!is_fretted(low) || !is_fretted(high) || low.fret >= high.fret) continue;
      if (low.finger != high.finger && finger_number(low) > finger_number(high)) return false;
    }
  }
  return true;
}

bool index_frets_stay_close(const std::vector<tab_position>& positions) {
  std::optional<int> lowest;
  std::optional<int> highest;
  for (const auto& position : positions) {
    if (!is_fretted(position)) continue;
    const int index_fret = index_fret_of(position);
    lowest = std::min(lowest.value_or(index_fret), index_fret);
    highest = std::max(highest.value_or(index_fret), index_fret);
  }
  return !lowest || *highest - *lowest < 3;
}

int hand_position_cost(int lowest_fret, int index_fret) {
  const int reference = lowest_fret <= 4 ? 1 : std::min(lowest_fret, 9);
  int cost = 34 * std::abs(index_fret - reference);
  if (index_fret <= 0) cost += 95 * (1 - index_fret);
  if (index_fret > 9) cost += 60 * (index_fret - 9);
  return cost;
}

int span_class_cost(int span) {
  if (span == 4) return 260;
  if (span <= 2) return -90;
  return 0;
}

int preferred_barre_missed_cost(const std::optional<barre_shape>& preferred) {
  if (!preferred) return 0;
  return preferred->string_count >= 3 ? 720 : 180;
}

int barre_cost(const std::optional<barre_shape>& barre, const std::optional<barre_shape>& preferred,
               int lowest_fret, std::size_t position_count) {
  if (barre && preferred && same_barre_shape(*barre, *preferred)) {
    return 55 * barre_holes(*barre) - 90 * barre->string_count - 360;
  }
  if (barre) {
    int cost = 62 * barre_width(*barre) + 190 * barre_holes(*barre) + 165;
    if (barre->fret != lowest_fret) cost += 180;
    return cost + preferred_barre_missed_cost(preferred);
  }
  return (position_count > 2 ? -45 : 0) + preferred_barre_missed_cost(preferred);
}

// A fret that carries several notes of a grip: the spread of their strings and the breaks in their
// run of strings.
struct shared_fret {
  int fret = 0;
  int spread = 0;
  int gaps = 0;
};

// What the fingering cost reads of a playable grip's places, which its fingers never change.
struct fret_layout {
  int lowest_fret = 0;  // 0 when no position is fretted
  int highest_fret = 0;
  int fretted = 0;
  // Four notes at most fill two shared frets.
  std::array<shared_fret, 2> shared{};
  std::size_t shared_count = 0;
  std::optional<barre_shape> preferred;
};

// The frets from `lowest_fret` to `highest_fret` that carry several notes.
void find_shared_frets(const std::vector<tab_position>& positions, fret_layout& layout) {
  for (auto head = positions.begin(); head != positions.end(); ++head) {
    // Each fret once, at the first position that lies on it.
    const int fret = head->fret;
    if (fret < layout.lowest_fret || fret > layout.highest_fret) continue;
    const bool seen = std::any_of(
        positions.begin(), head, [&](const tab_position& earlier) { return earlier.fret == fret; });
    if (seen) continue;
    // The strings at this fret, walked in ascending order without a sorted copy.
    int count = 0;
    int lowest_string = 0;
    int highest_string = 0;
    int gaps = 0;
    for (auto position = head; position != positions.end(); ++position) {
      if (position->fret != fret) continue;
      const int string_number = position->string_number;
      lowest_string = count == 0 ? string_number : std::min(lowest_string, string_number);
      highest_string = count == 0 ? string_number : std::max(highest_string, string_number);
      ++count;
      std::optional<int> next_higher;
      for (auto other = head; other != positions.end(); ++other) {
        if (other->fret == fret && other->string_number > string_number &&
            (!next_higher || other->string_number < *next_higher)) {
          next_higher = other->string_number;
        }
      }
      const bool repeated = std::any_of(head, position, [&](const tab_position& earlier) {
        return earlier.fret == fret && earlier.string_number == string_number;
      });
      if (!repeated && next_higher && *next_higher - string_number > 1) ++gaps;
    }
    if (count < 2 || layout.shared_count == layout.shared.size()) continue;
    layout.shared[layout.shared_count++] = {fret, highest_string - lowest_string, gaps};
  }
}

fret_layout layout_of(const std::vector<tab_position>& positions) {
  fret_layout layout;
  layout.fretted = fretted_count(positions);
  if (layout.fretted == 0) return layout;
  layout.lowest_fret = *min_fretted_fret(positions);
  layout.highest_fret = max_fretted_fret(positions);
  find_shared_frets(positions, layout);
  layout.preferred = preferred_index_barre_shape(positions);
  return layout;
}

// Several notes at one fret cost by their spread and breaks, more under the barre.
int shared_fret_cost(const fret_layout& layout, const std::optional<barre_shape>& barre) {
  int cost = 0;
  for (std::size_t index = 0; index < layout.shared_count; ++index) {
    const auto& [fret, spread, gaps] = layout.shared[index];
    if (barre && fret == barre->fret) {
      cost += 24 * spread + 150 * gaps + (fret != layout.lowest_fret ? 120 : 0);
    } else {
      cost += 16 * spread + 60 * gaps;
    }
  }
  return cost;
}

int finger_cost(const std::vector<tab_position>& positions, int lowest_fret, int index_fret) {
  const std::size_t count = positions.size();
  int cost = 0;
  for (const auto& position : positions) {
    if (!is_fretted(position) || !position.finger) continue;
    const int finger = *position.finger;
    const int expected = std::clamp(position.fret - index_fret + 1, 1, 4);
    cost += 85 * std::abs(finger - expected);
    if (finger == 4) {
      cost += 22;
      if (position.fret - lowest_fret > 2) cost += 55;
      if (position.fret <= 4 && count > 1) cost += 260;
    }
    if (finger == 1) {
      if (count == 1 && position.fret > 2) {
        cost += 60;
      } else if (position.fret == lowest_fret && count > 1) {
        cost -= 10;
      }
    }
  }
  return cost;
}

// The fingering rules beyond playability, which fingers never change.
bool fingers_obey_fingering_rules(const std::vector<tab_position>& positions) {
  const auto barre = fingering_barre_shape(positions);
  return fingers_are_assigned_where_needed(positions) &&
         fingers_two_to_four_press_once(positions) &&
         index_presses_one_fret_within_reach(positions, barre) &&
         barre_is_sound(positions, barre) && fingers_do_not_cross(positions) &&
         index_frets_stay_close(positions);
}

// The cost of a fingering already known to be valid; `layout` is the `layout_of` its places and
// `barre` its `fingering_barre_shape`.
int valid_fingering_cost(const std::vector<tab_position>& positions, const fret_layout& layout,
                         const std::optional<barre_shape>& barre) {
  if (layout.fretted == 0) return -25;

  const int lowest_fret = layout.lowest_fret;
  const int span = layout.highest_fret - lowest_fret;
  const int index_fret = fingering_index_fret(positions);

  int score = layout.fretted >= 2 ? 70 * span : 0;
  score += hand_position_cost(lowest_fret, index_fret);
  score += span_class_cost(span);
  score += barre_cost(barre, layout.preferred, lowest_fret, positions.size());
  score += shared_fret_cost(layout, barre);
  score += finger_cost(positions, lowest_fret, index_fret);
  return score;
}

// False when the finger just given to the position at `depth` already breaks a rule that no
// finger given to the positions after it can mend: a finger other than the index pressing twice,
// the index at two frets or beyond reach, crossed fingers, index frets 3 or more apart.
bool partial_fingering_can_stay_valid(const std::vector<tab_position>& grip,
                                      const std::vector<std::size_t>& fretted, std::size_t depth) {
  const auto& added = grip[fretted[depth]];
  for (std::size_t earlier = 0; earlier < depth; ++earlier) {
    const auto& other = grip[fretted[earlier]];
    if (other.finger == added.finger) {
      if (*added.finger != 1 || other.fret != added.fret ||
          std::abs(other.string_number - added.string_number) > 4) {
        return false;
      }
    } else if (other.fret != added.fret) {
      const auto& lower = other.fret < added.fret ? other : added;
      const auto& higher = other.fret < added.fret ? added : other;
      if (*lower.finger > *higher.finger) return false;
    }
    if (std::abs(index_fret_of(other) - index_fret_of(added)) >= 3) return false;
  }
  return true;
}

// Depth-first over the fretted positions: every assignment of fingers 1 to 4, the valid ones kept
// with their cost. Branches that already break a rule for good are cut.
void collect_variants(std::vector<tab_position>& grip, const std::vector<std::size_t>& fretted,
                      const fret_layout& layout, std::size_t depth,
                      std::vector<fingered_position_candidate>& variants) {
  if (depth == fretted.size()) {
    // The grip is playable and kept in pitch order, and the search has kept every pair of its
    // fretted positions within the finger, crossing and index-fret rules; only the barre can still
    // break the fingering rules. Each complete assignment is a fingering of its own, so none
    // repeats an earlier one.
    const auto barre = fingering_barre_shape(grip);
    if (!barre_is_sound(grip, barre)) return;
    variants.push_back({grip, valid_fingering_cost(grip, layout, barre), false});
    return;
  }
  auto& position = grip[fretted[depth]];
  for (int finger = 1; finger <= 4; ++finger) {
    position.finger = finger;
    if (partial_fingering_can_stay_valid(grip, fretted, depth)) {
      collect_variants(grip, fretted, layout, depth + 1, variants);
    }
  }
  position.finger.reset();
}

std::array<int, 4> position_order_key(const tab_position& position) {
  return {position.midi, position.string_number, position.fret, finger_number(position)};
}

// Every valid fingering of the grip (its own fingers ignored) with its cost, by pitch, cheapest
// first; equal costs are ordered by the fingered positions themselves.
std::vector<fingered_position_candidate> ranked_fingering_variants(
    std::vector<tab_position> positions) {
  if (positions.empty() || !positions_playable(positions)) return {};
  auto grip = strip_fingering(std::move(positions));

  std::vector<std::size_t> fretted;
  fretted.reserve(grip.size());
  for (std::size_t index = 0; index < grip.size(); ++index) {
    if (is_fretted(grip[index])) fretted.push_back(index);
  }
  const auto layout = layout_of(grip);
  if (fretted.empty()) {
    const int cost = valid_fingering_cost(grip, layout, std::nullopt);
    return {{std::move(grip), cost, false}};
  }
  // A playable grip has one position per string, so (fret, string) orders them totally.
  std::sort(fretted.begin(), fretted.end(), [&](std::size_t left, std::size_t right) {
    return std::pair{grip[left].fret, grip[left].string_number} <
           std::pair{grip[right].fret, grip[right].string_number};
  });

  std::vector<fingered_position_candidate> ranked;
  ranked.reserve(8);
  collect_variants(grip, fretted, layout, 0, ranked);
  // The variants differ from one another, so this order is total.
  std::sort(ranked.begin(), ranked.end(),
            [](const fingered_position_candidate& left, const fingered_position_candidate& right) {
              if (left.cost != right.cost) return left.cost < right.cost;
              return position_list_order_less(left.positions, right.positions);
            });
  return ranked;
}

}  // namespace

std::vector<std::array<int, 4>> position_list_order_key(
    const std::vector<tab_position>& positions) {
  std::vector<std::array<int, 4>> key;
  key.reserve(positions.size());
  for (const auto& position : positions) key.push_back(position_order_key(position));
  return key;
}

bool position_list_order_less(const std::vector<tab_position>& left,
                              const std::vector<tab_position>& right) {
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                      [](const tab_position& first, const tab_position& second) {
                                        return position_order_key(first) <
                                               position_order_key(second);
                                      });
}

void sort_positions_by_pitch(std::vector<tab_position>& positions) {
  const auto by_pitch = [](const tab_position& left, const tab_position& right) {
    return left.midi < right.midi;
  };
  if (!std::is_sorted(positions.begin(), positions.end(), by_pitch)) {
    sort_by_ascending_key(positions, [](const tab_position& position) { return position.midi; });
  }
}

std::vector<tab_position> positions_for_midi(int midi, const std::vector<int>& strings) {
  std::vector<tab_position> positions;
  for (const int string_number : strings) {
    const auto open_midi = open_midi_for_string(string_number);
    if (!open_midi) continue;
    const int fret = midi - *open_midi;
    if (fret < 0 || fret > highest_fret) continue;
    positions.push_back({string_number, fret, midi, std::nullopt});
  }
  sort_by_ascending_key(positions, [](const tab_position& position) {
    return std::pair{position_preference_cost(position), position.string_number};
  });
  return positions;
}

bool contains_string(const std::vector<tab_position>& positions, int string_number) {
  return std::any_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    return position.string_number == string_number;
  });
}

bool contains_midi(const std::vector<tab_position>& positions, int midi) {
  return std::any_of(positions.begin(), positions.end(),
                     [&](const tab_position& position) { return position.midi == midi; });
}

std::vector<int> upper_melody_strings() { return {1, 2, 3, 4}; }

bool positions_use_upper_melody_strings(const std::vector<tab_position>& positions) {
  return all_on_strings(positions, 1, 4);
}

bool positions_use_chord_mode_strings(const std::vector<tab_position>& positions) {
  return all_on_strings(positions, 2, 6);
}

bool same_tab_position(const tab_position& left, const tab_position& right) {
  return left.string_number == right.string_number && left.fret == right.fret &&
         left.midi == right.midi;
}

std::optional<tab_position> highest_position(const std::vector<tab_position>& positions) {
  if (positions.empty()) return std::nullopt;
  // max_element would return the last of equals; the first is wanted.
  auto highest = positions.begin();
  for (auto it = positions.begin(); it != positions.end(); ++it) {
    if (it->midi > highest->midi) highest = it;
  }
  return *highest;
}

std::optional<tab_position> lowest_position(const std::vector<tab_position>& positions) {
  if (positions.empty()) return std::nullopt;
  return *std::min_element(
      positions.begin(), positions.end(),
      [](const tab_position& left, const tab_position& right) { return left.midi < right.midi; });
}

int finger_number(const tab_position& position) { return position.finger.value_or(0); }

std::vector<tab_position> strip_fingering(std::vector<tab_position> positions) {
  for (auto& position : positions) position.finger.reset();
  const bool in_pitch_order = std::is_sorted(
      positions.begin(), positions.end(),
      [](const tab_position& left, const tab_position& right) { return left.midi < right.midi; });
  if (!in_pitch_order) {
    sort_by_ascending_key(positions, [](const tab_position& position) { return position.midi; });
  }
  return positions;
}

std::optional<int> min_fretted_fret(const std::vector<tab_position>& positions) {
  std::optional<int> lowest;
  for (const auto& position : positions) {
    if (is_fretted(position)) lowest = std::min(lowest.value_or(position.fret), position.fret);
  }
  return lowest;
}

int max_fretted_fret(const std::vector<tab_position>& positions) {
  int highest = 0;
  for (const auto& position : positions) highest = std::max(highest, position.fret);
  return highest;
}

int anchor_fret(const std::vector<tab_position>& positions) {
  return fretted_upper_median(positions,
                              [](const tab_position& position) { return position.fret; });
}

int fret_span(const std::vector<tab_position>& positions) {
  if (fretted_count(positions) < 2) return 0;
  return max_fretted_fret(positions) - *min_fretted_fret(positions);
}

bool positions_have_string_order(std::vector<tab_position> positions) {
  // Taken from the lowest string up (equal strings in list order) the pitches rise strictly
  // exactly when every pair of positions is in rising order.
  for (auto first = positions.begin(); first != positions.end(); ++first) {
    for (auto second = std::next(first); second != positions.end(); ++second) {
      const bool first_is_lower = first->string_number >= second->string_number;
      const auto& lower = first_is_lower ? *first : *second;
      const auto& upper = first_is_lower ? *second : *first;
      if (lower.midi >= upper.midi) return false;
    }
  }
  return true;
}

bool closed_four_note_stretch_too_wide(const std::vector<tab_position>& positions) {
  if (positions.size() < 4) return false;
  if (!std::all_of(positions.begin(), positions.end(), is_fretted)) return false;
  return fret_span(positions) > 3;
}

bool chord_positions_have_coherent_fret_region(const std::vector<tab_position>& positions) {
  const bool has_open =
      std::any_of(positions.begin(), positions.end(),
                  [](const tab_position& position) { return position.fret == 0; });
  return !has_open || max_fretted_fret(positions) < 4;
}

std::vector<int> chord_string_numbers(const std::vector<tab_position>& positions) {
  std::vector<int> strings;
  for (const auto& position : positions) strings.push_back(position.string_number);
  std::sort(strings.begin(), strings.end(), std::greater<>());
  strings.erase(std::unique(strings.begin(), strings.end()), strings.end());
  return strings;
}

bool chord_positions_have_compact_jazz_shape(const std::vector<tab_position>& positions) {
  if (positions.size() <= 2) return true;
  bool compact = true;
  for_each_string_step(positions, [&](int upper, int lower) { compact &= upper - lower <= 2; });
  return compact;
}

int compact_jazz_shape_penalty(const std::vector<tab_position>& positions) {
  int penalty = 0;
  for_each_string_step(positions,
                       [&](int upper, int lower) { penalty += 160 * (upper - lower - 1); });
  if (positions.size() >= 3) {
    const auto bass = *lowest_position(positions);
    if (bass.string_number == 5 || bass.string_number == 6) {
      const int distance = std::abs(anchor_fret(positions) - bass.fret);
      if (distance > 2) penalty += 620 * (distance - 2);
    }
  }
  return penalty;
}

bool positions_playable(const std::vector<tab_position>& positions) {
  if (positions.empty() || positions.size() > 4) return false;
  if (fretted_count(positions) >= 2 && fret_span(positions) >= 5) return false;
  if (closed_four_note_stretch_too_wide(positions)) return false;
  for (std::size_t first = 0; first < positions.size(); ++first) {
    for (std::size_t second = first + 1; second < positions.size(); ++second) {
      if (positions[first].string_number == positions[second].string_number) return false;
      if (positions[first].midi == positions[second].midi) return false;
    }
  }
  if (positions.size() == 1) return true;
  // The pitches are distinct here: find the lowest two.
  int lowest = positions[0].midi;
  int second = positions[1].midi;
  if (second < lowest) std::swap(lowest, second);
  for (std::size_t index = 2; index < positions.size(); ++index) {
    const int midi = positions[index].midi;
    if (midi < lowest) {
      second = lowest;
      lowest = midi;
    } else if (midi < second) {
      second = midi;
    }
  }
  // A low note under a close interval sounds muddy.
  return lowest > 47 || second - lowest >= 4;
}

std::optional<barre_shape> fingering_barre_shape(const std::vector<tab_position>& positions) {
  std::optional<barre_shape> barre;
  for (const auto& position : positions) {
    if (!pressed_by(position, 1)) continue;
    if (!barre) {
      barre = barre_shape{position.fret, position.string_number, position.string_number, 1};
      continue;
    }
    if (position.fret != barre->fret) return std::nullopt;
    barre->from_string = std::min(barre->from_string, position.string_number);
    barre->to_string = std::max(barre->to_string, position.string_number);
    ++barre->string_count;
  }
  if (!barre || barre->string_count < 2) return std::nullopt;
  return barre;
}

std::optional<barre_shape> preferred_index_barre_shape(const std::vector<tab_position>& positions) {
  const auto lowest_fret = min_fretted_fret(positions);
  if (!lowest_fret) return std::nullopt;
  int count = 0;
  int from = 0;
  int to = 0;
  for (const auto& position : positions) {
    if (position.fret != *lowest_fret) continue;
    from = count == 0 ? position.string_number : std::min(from, position.string_number);
    to = count == 0 ? position.string_number : std::max(to, position.string_number);
    ++count;
  }
  if (count < 2 || count != to - from + 1) return std::nullopt;
  if (!barre_span_is_clear(positions, *lowest_fret, from, to)) return std::nullopt;
  return barre_shape{*lowest_fret, from, to, count};
}

bool same_barre_shape(const barre_shape& left, const barre_shape& right) { return left == right; }

bool barre_span_is_clear(const std::vector<tab_position>& positions, int fret, int from_string,
                         int to_string) {
  return std::none_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    return position.string_number >= from_string && position.string_number <= to_string &&
           position.fret < fret;
  });
}

int fingering_index_fret(const std::vector<tab_position>& positions) {
  return fretted_upper_median(positions,
                              [](const tab_position& position) { return index_fret_of(position); });
}

bool positions_have_valid_fingering(const std::vector<tab_position>& positions) {
  return positions_playable(positions) && fingers_obey_fingering_rules(positions);
}

int fingering_local_score(const std::vector<tab_position>& positions) {
  if (!positions_have_valid_fingering(positions)) return invalid_fingering_cost;
  return valid_fingering_cost(positions, layout_of(positions), fingering_barre_shape(positions));
}

int relaxed_fingering_score(const std::vector<tab_position>& positions) {
  if (positions_have_valid_fingering(positions)) return fingering_local_score(positions);
  const int count = fretted_count(positions);
  int score = 2600;
  if (count >= 2) score += 130 * fret_span(positions);
  score += 42 * std::abs(anchor_fret(positions) - 5);
  for (const auto& position : positions) {
    if (position.fret > 9) score += 85 * (position.fret - 9);
  }
  if (count > 2) score += 120 * (count - 2);
  return score;
}

bool same_fingered_positions(const std::vector<tab_position>& left,
                             const std::vector<tab_position>& right) {
  return left == right;
}

std::vector<std::vector<tab_position>> fingering_variants(std::vector<tab_position> positions) {
  std::vector<std::vector<tab_position>> variants;
  for (auto& ranked : ranked_fingering_variants(std::move(positions))) {
    variants.push_back(std::move(ranked.positions));
  }
  return variants;
}

std::optional<std::vector<tab_position>> assign_fingering(std::vector<tab_position> positions) {
  if (positions.empty()) return positions;
  if (positions_have_valid_fingering(positions)) {
    sort_by_ascending_key(positions, [](const tab_position& position) { return position.midi; });
    return positions;
  }
  auto variants = fingering_variants(std::move(positions));
  if (variants.empty()) return std::nullopt;
  return std::move(variants.front());
}

std::vector<tab_position> assigned_or_original_fingering(std::vector<tab_position> positions) {
  if (auto fingered = assign_fingering(positions)) return std::move(*fingered);
  return strip_fingering(std::move(positions));
}

std::vector<fingered_position_candidate> fingering_candidates(std::vector<tab_position> positions,
                                                              bool allow_relaxed) {
  auto candidates = ranked_fingering_variants(positions);
  if (candidates.empty() && allow_relaxed && positions_playable(positions)) {
    auto stripped = strip_fingering(std::move(positions));
    const int cost = relaxed_fingering_score(stripped);
    candidates.push_back({std::move(stripped), cost, true});
  }
  return candidates;
}

std::size_t melody_attack_count(const source_score& score, std::int64_t from, std::int64_t to) {
  return static_cast<std::size_t>(
      std::count_if(score.notes.begin(), score.notes.end(), [&](const source_note& note) {
        return is_melody_attack(note) && note.start_tick >= from && note.start_tick < to;
      }));
}

bool melody_attack_at(const source_score& score, std::int64_t tick) {
  return std::any_of(score.notes.begin(), score.notes.end(), [&](const source_note& note) {
    return is_melody_attack(note) && note.start_tick == tick;
  });
}

bool has_long_melody_or_rest_space(const source_score& score, std::int64_t from, std::int64_t to) {
  constexpr std::int64_t quarter_note_ticks = 4096;
  return std::any_of(score.notes.begin(), score.notes.end(), [&](const source_note& note) {
    // Compared as a difference so that absurd durations cannot overflow the end tick.
    const bool overlaps = note.start_tick < to && note.duration_ticks > from - note.start_tick;
    return overlaps && (note.kind == "rest" || note.duration_ticks > quarter_note_ticks);
  });
}

melody_tick_index build_melody_tick_index(const source_score& score) {
  constexpr std::int64_t quarter_note_ticks = 4096;
  __extension__ using wide = __int128;
  melody_tick_index index;
  std::vector<std::pair<std::int64_t, wide>> spaces;
  for (const auto& note : score.notes) {
    if (is_melody_attack(note)) index.attack_starts.push_back(note.start_tick);
    if (note.kind == "rest" || note.duration_ticks > quarter_note_ticks) {
      spaces.emplace_back(note.start_tick, wide{note.start_tick} + note.duration_ticks);
    }
  }
  std::ranges::sort(index.attack_starts);
  std::ranges::sort(spaces);
  index.space_starts.reserve(spaces.size());
  index.space_reach.reserve(spaces.size());
  for (const auto& [start, end] : spaces) {
    index.space_starts.push_back(start);
    index.space_reach.push_back(
        index.space_reach.empty() ? end : std::max(index.space_reach.back(), end));
  }
  return index;
}

std::size_t melody_attack_count(const melody_tick_index& index, std::int64_t from,
                                std::int64_t to) {
  if (from >= to) return 0;
  const auto& starts = index.attack_starts;
  return static_cast<std::size_t>(std::ranges::lower_bound(starts, to) -
                                  std::ranges::lower_bound(starts, from));
}

bool melody_attack_at(const melody_tick_index& index, std::int64_t tick) {
  return std::ranges::binary_search(index.attack_starts, tick);
}

bool has_long_melody_or_rest_space(const melody_tick_index& index, std::int64_t from,
                                   std::int64_t to) {
  // Among the spaces starting before `to`, one overlaps when the largest end passes `from`.
  const auto started =
      std::ranges::lower_bound(index.space_starts, to) - index.space_starts.begin();
  return started > 0 && index.space_reach[static_cast<std::size_t>(started - 1)] > from;
}

}  // namespace orvanta::arrangement_detail
