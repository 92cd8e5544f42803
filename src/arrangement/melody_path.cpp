#include "arrangement/melody_path.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

// The weights of one transition profile; `keep` is 0 for `general`, which has no bonus for kept
// positions.
struct transition_weights {
  int index;             // per fret of index-fret change
  int anchor;            // per fret of anchor-fret change
  int hand;              // per fret of hand-position change
  int common;            // bonus per target string the source already uses
  int same_strings;      // bonus for the same string set
  int few_common;        // penalty for one or no common string between larger grips
  int keep;              // bonus per position kept at its string and fret
  int finger_fret;       // per fret of a finger's move, times speed
  int finger_string;     // per tenth of a string of a finger's move, times speed
  int finger_span;       // per string of a finger's span change
  int finger_stay;       // bonus for a finger that stays at its fret
  int finger_count;      // per position of a finger's count change
  int finger_lift;       // a finger lifted
  int finger_put;        // a finger put down
  int index_barre_put;   // an index finger put down across several strings
  int barre_move;        // per fret of barre move
  int barre_width;       // per string of barre width change
  int barre_form;        // a barre formed
  int barre_release;     // a barre released
  int near_fret;         // nearest source position, per fret, times speed
  int near_string;       // nearest source position, per string
  int near_midi;         // nearest source position, per semitone
  int near_finger;       // nearest source position, per finger number
  int near_same;         // nearest source position at the same string and fret
  int near_same_finger;  // further, with the same finger too
};

// general, melody_line, acoustic_comping, electric_stab_comping.
constexpr std::array<transition_weights, 4> weight_table{{
    {62, 30,  22, 85, 280, 260, 0,  30, 2, 12, 75,  42, 8,
     16, 111, 38, 35, 130, 35,  22, 18, 5, 10, 100, 35},
    {165, 58,  46, 145, 560, 520, 180, 74, 3, 24, 170, 42, 16,
     34,  214, 90, 35,  260, 70,  58,  24, 5, 18, 240, 80},
    {245, 185, 120, 85, 820, 780, 260, 96, 4, 34, 250, 42, 8,
     34,  164, 120, 35, 170, 50,  82,  26, 5, 10, 340, 120},
    {130, 92,  62, 85, 430, 420, 220, 48, 3, 20, 140, 42, 8,
     16,  111, 62, 35, 130, 35,  42,  20, 5, 10, 180, 60},
}};

const transition_weights& weights_for(transition_profile profile) {
  const auto value = static_cast<std::int32_t>(profile);
  return weight_table[value >= 1 && value <= 3 ? static_cast<std::size_t>(value) : 0];
}

// Single melody notes: the distance between the two notes and whether they stay on one string.
int single_note_cost(const tab_position& from, const tab_position& to, int speed) {
  const int fret_move = std::abs(from.fret - to.fret);
  const int string_move = std::abs(from.string_number - to.string_number);
  const int finger_move = std::abs(finger_number(from) - finger_number(to));
  int cost = speed * 58 * fret_move + 4 * std::abs(from.midi - to.midi) + 12 * string_move +
             18 * finger_move;
  if (string_move == 0) {
    if (fret_move > 2) cost += 88 * fret_move;
    if (fret_move == 0) cost -= finger_move == 0 ? 350 : 260;
  } else if (fret_move <= 2) {
    cost -= 90;
  }
  return cost;
}

int common_string_count(const std::vector<tab_position>& source,
                        const std::vector<tab_position>& target) {
  return static_cast<int>(
      std::count_if(target.begin(), target.end(), [&](const tab_position& position) {
        return contains_string(source, position.string_number);
      }));
}

int shape_continuity_cost(const std::vector<tab_position>& source,
                          const std::vector<tab_position>& target, int common,
                          const transition_weights& weights) {
  const int kept = same_string_fret_count(source, target);
  const bool both_large = source.size() >= 3 && target.size() >= 3;
  if (source.size() == target.size() && common == static_cast<int>(target.size())) {
    return -weights.same_strings - (both_large ? weights.keep * kept : 0);
  }
  if (!both_large) return 0;
  if (common <= 1) return weights.few_common - weights.keep * kept;
  return -weights.keep * kept;
}

int finger_cost(const std::array<std::optional<finger_location>, 4>& source,
                const std::array<std::optional<finger_location>, 4>& target, int speed,
                const transition_weights& weights) {
  int cost = 0;
  for (std::size_t finger = 0; finger < 4; ++finger) {
    const auto& from = source[finger];
    const auto& to = target[finger];
    if (from && to) {
      const int string_move = std::abs(from->string_x10 - to->string_x10);
      cost += speed * (weights.finger_fret * std::abs(from->fret - to->fret) +
                       weights.finger_string * string_move) +
              weights.finger_span * std::abs(from->string_span - to->string_span);
      if (from->fret == to->fret && string_move <= 10) cost -= weights.finger_stay;
      if (from->count > 1 || to->count > 1) {
        cost += weights.finger_count * std::abs(from->count - to->count);
      }
    } else if (from) {
      cost += weights.finger_lift;
    } else if (to) {
      cost += finger == 0 && to->count > 1 ? weights.index_barre_put : weights.finger_put;
    }
  }
  return cost;
}

int barre_cost(const std::optional<barre_shape>& source, const std::optional<barre_shape>& target,
               const transition_weights& weights) {
  if (source && target) {
    const int source_width = source->to_string - source->from_string;
    const int target_width = target->to_string - target->from_string;
    return weights.barre_move * std::abs(source->fret - target->fret) +
           weights.barre_width * std::abs(target_width - source_width);
  }
  if (target) return weights.barre_form;
  if (source) return weights.barre_release;
  return 0;
}

int nearest_position_cost(const std::vector<tab_position>& source,
                          const std::vector<tab_position>& target, int speed,
                          const transition_weights& weights) {
  int cost = 0;
  for (const auto& to : target) {
    int best = std::numeric_limits<int>::max();
    for (const auto& from : source) {
      const int finger_move = std::abs(finger_number(from) - finger_number(to));
      const int distance = speed * weights.near_fret * std::abs(from.fret - to.fret) +
                           weights.near_string * std::abs(from.string_number - to.string_number) +
                           weights.near_midi * std::abs(from.midi - to.midi) +
                           weights.near_finger * finger_move;
      best = std::min(best, distance);
      if (from.string_number == to.string_number && from.fret == to.fret) {
        best -= weights.near_same;
        if (finger_move == 0) best -= weights.near_same_finger;
      }
    }
    cost += best;
  }
  return cost;
}

}  // namespace

bool transition_uses_melody_line_scoring(transition_profile profile) {
  return profile == transition_profile::melody_line;
}

bool transition_is_acoustic_comping(transition_profile profile) {
  return profile == transition_profile::acoustic_comping;
}

bool transition_is_electric_stab_comping(transition_profile profile) {
  return profile == transition_profile::electric_stab_comping;
}

int transition_fingering_weight(transition_profile profile) { return weights_for(profile).index; }

int transition_anchor_weight(transition_profile profile) { return weights_for(profile).anchor; }

int transition_hand_weight(transition_profile profile) { return weights_for(profile).hand; }

int transition_speed_multiplier(std::int64_t gap, bool melody_line) {
  return (gap <= 1024 ? 2 : 1) + (melody_line && gap <= 2048 ? 1 : 0);
}

int hand_position_fret(const std::vector<tab_position>& positions) {
  return min_fretted_fret(positions).value_or(0);
}

std::array<std::optional<finger_location>, 4> finger_locations(
    const std::vector<tab_position>& positions) {
  std::array<std::optional<finger_location>, 4> locations;
  for (int finger = 1; finger <= 4; ++finger) {
    int fret_sum = 0;
    int string_sum = 0;
    int lowest_string = 0;
    int highest_string = 0;
    int count = 0;
    for (const auto& position : positions) {
      if (position.fret == 0 || finger_number(position) != finger) continue;
      fret_sum += position.fret;
      string_sum += position.string_number * 10;
      lowest_string =
          count == 0 ? position.string_number : std::min(lowest_string, position.string_number);
      highest_string =
          count == 0 ? position.string_number : std::max(highest_string, position.string_number);
      ++count;
    }
    if (count > 0) {
      locations[static_cast<std::size_t>(finger - 1)] = finger_location{
          fret_sum / count, string_sum / count, highest_string - lowest_string, count};
    }
  }
  return locations;
}

int same_string_fret_count(const std::vector<tab_position>& source,
                           const std::vector<tab_position>& target) {
  return static_cast<int>(std::count_if(target.begin(), target.end(), [&](const tab_position& to) {
    return std::any_of(source.begin(), source.end(), [&](const tab_position& from) {
      return from.string_number == to.string_number && from.fret == to.fret;
    });
  }));
}

int transition_score(const std::vector<tab_position>& source,
                     const std::vector<tab_position>& target, transition_profile profile,
                     std::int64_t gap) {
  if (source.empty() || target.empty()) return 0;
  const auto& weights = weights_for(profile);
  const bool melody_line = transition_uses_melody_line_scoring(profile);
  const int speed = transition_speed_multiplier(gap, melody_line);

  const int anchor_move = std::abs(anchor_fret(source) - anchor_fret(target));
  const int hand_move = std::abs(hand_position_fret(source) - hand_position_fret(target));
  const int index_move = std::abs(fingering_index_fret(source) - fingering_index_fret(target));
  int cost = weights.index * index_move + weights.anchor * anchor_move + weights.hand * hand_move;

  if (transition_is_acoustic_comping(profile)) {
    if (anchor_move > 3) cost += 1150 * (anchor_move - 3);
    if (anchor_move > 5) cost += 3800 * (anchor_move - 5);
    if (hand_move > 3) cost += 920 * (hand_move - 3);
    const int target_anchor = anchor_fret(target);
    if (target_anchor > 9) cost += 1550 * (target_anchor - 9);
    const int target_highest = max_fretted_fret(target);
    if (target_highest > 10) cost += 760 * (target_highest - 10);
  }
  if (transition_is_electric_stab_comping(profile)) {
    if (anchor_move > 4) cost += 620 * (anchor_move - 4);
    if (anchor_move > 6) cost += 1600 * (anchor_move - 6);
  }
  if (melody_line && source.size() == 1 && target.size() == 1) {
    cost += single_note_cost(source.front(), target.front(), speed);
  }

  const int common = common_string_count(source, target);
  cost -= weights.common * common;
  cost += shape_continuity_cost(source, target, common, weights);
  cost += finger_cost(finger_locations(source), finger_locations(target), speed, weights);
  cost += barre_cost(fingering_barre_shape(source), fingering_barre_shape(target), weights);
  cost += nearest_position_cost(source, target, speed, weights);
  return cost;
}

bool better_path_score(const path_score& a, const path_score& b) {
  const std::int64_t a_worst = a.worst;
  const std::int64_t b_worst = b.worst;
  if (a_worst + 1800 < b_worst) return true;
  if (a_worst > b_worst + 1800) return false;
  return a.total < b.total;
}

std::vector<std::size_t> selected_candidate_indexes(
    const std::vector<arrangement_anchor>& anchors, transition_profile profile,
    const std::optional<std::vector<tab_position>>& previous, std::int64_t gap) {
  if (anchors.empty()) return {};
  const bool some_anchor_is_empty =
      std::any_of(anchors.begin(), anchors.end(),
                  [](const arrangement_anchor& anchor) { return anchor.candidates.empty(); });
  if (some_anchor_is_empty) return {};

  std::vector<path_score> scores;
  for (const auto& candidate : anchors.front().candidates) {
    const int transition =
        previous ? transition_score(*previous, candidate.positions, profile, gap) : 0;
    scores.push_back({std::max(transition, 0), std::int64_t{transition} + candidate.score});
  }

  std::vector<std::vector<std::size_t>> predecessors(anchors.size());
  for (std::size_t anchor = 1; anchor < anchors.size(); ++anchor) {
    const auto& from = anchors[anchor - 1];
    const auto& to = anchors[anchor];
    const std::int64_t step_gap = to.start_ticks - from.start_ticks;
    std::vector<path_score> next(to.candidates.size(),
                                 path_score{unreached_path_cost, unreached_path_cost});
    predecessors[anchor].assign(to.candidates.size(), 0);
    for (std::size_t target = 0; target < to.candidates.size(); ++target) {
      for (std::size_t source = 0; source < from.candidates.size(); ++source) {
        const int transition = transition_score(from.candidates[source].positions,
                                                to.candidates[target].positions, profile, step_gap);
        const path_score offered{std::max(scores[source].worst, std::max(transition, 0)),
                                 scores[source].total + transition + to.candidates[target].score};
        if (better_path_score(offered, next[target])) {
          next[target] = offered;
          predecessors[anchor][target] = source;
        }
      }
    }
    scores = std::move(next);
  }

  std::size_t choice = 0;
  for (std::size_t candidate = 1; candidate < scores.size(); ++candidate) {
    if (better_path_score(scores[candidate], scores[choice])) choice = candidate;
  }
  std::vector<std::size_t> chosen(anchors.size());
  chosen.back() = choice;
  for (std::size_t anchor = anchors.size() - 1; anchor > 0; --anchor) {
    chosen[anchor - 1] = predecessors[anchor][chosen[anchor]];
  }
  return chosen;
}

std::vector<std::vector<tab_position>> selected_path(
    const std::vector<arrangement_anchor>& anchors, transition_profile profile,
    std::optional<std::vector<tab_position>> previous, std::int64_t gap) {
  const auto chosen = selected_candidate_indexes(anchors, profile, previous, gap);
  std::vector<std::vector<tab_position>> path;
  path.reserve(chosen.size());
  for (std::size_t anchor = 0; anchor < chosen.size(); ++anchor) {
    path.push_back(anchors[anchor].candidates[chosen[anchor]].positions);
  }
  return path;
}

std::vector<grip_candidate> melody_candidates(tab_position position) {
  constexpr std::array<int, 5> string_terms{48, 18, 0, 4, 8};
  const int string_term = position.string_number >= 1 && position.string_number <= 4
                              ? string_terms[static_cast<std::size_t>(position.string_number)]
                              : string_terms[0];
  const int place_score = 18 * std::abs(position.fret - 5) + string_term +
                          (position.fret > 12 ? 48 * (position.fret - 12) : 0);
  std::vector<grip_candidate> candidates;
  for (auto& variant : fingering_variants({position})) {
    const int score = place_score + fingering_local_score(variant);
    candidates.push_back({std::move(variant), "melody-only", score, -1, false, false});
  }
  return candidates;
}

bool top_midi_matches(const std::vector<tab_position>& positions, int midi) {
  const auto highest = highest_position(positions);
  return highest && highest->midi == midi;
}

}  // namespace orvanta::arrangement_detail
