#include "arrangement/melody_path.hpp"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

// A tied group is long from a half note on.
constexpr std::int64_t shortest_long_group_ticks = 8192;

// True when note i ties into note i + 1 (see the header).
bool tie_link_holds(const source_score& score, std::size_t note_index) {
  const auto& notes = score.notes;
  if (note_index >= notes.size() || note_index + 1 >= notes.size()) return false;
  const auto& note = notes[note_index];
  const auto& next = notes[note_index + 1];
  return is_melody_attack(note) && is_melody_attack(next) && note.tie_to_next &&
         note_end(note) == next.start_tick && same_written_melody_pitch(note, next);
}

bool tied_group_is_long(const source_score& score, std::size_t note_index) {
  return tied_group_duration(score, note_index) >= shortest_long_group_ticks;
}

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

// One row per profile, in the order of the fields: hand, strings, fingers, barre, nearest position.
// clang-format off
constexpr std::array<transition_weights, 4> weight_table{{
    // general
    {62, 30, 22,     85, 280, 260, 0,      30, 2, 12, 75, 42, 8, 16, 111,
     38, 35, 130, 35,     22, 18, 5, 10, 100, 35},
    // melody_line
    {165, 58, 46,    145, 560, 520, 180,   74, 3, 24, 170, 42, 16, 34, 214,
     90, 35, 260, 70,     58, 24, 5, 18, 240, 80},
    // acoustic_comping
    {245, 185, 120,  85, 820, 780, 260,    96, 4, 34, 250, 42, 8, 34, 164,
     120, 35, 170, 50,    82, 26, 5, 10, 340, 120},
    // electric_stab_comping
    {130, 92, 62,    85, 430, 420, 220,    48, 3, 20, 140, 42, 8, 16, 111,
     62, 35, 130, 35,     42, 20, 5, 10, 180, 60},
}};
// clang-format on

const transition_weights& weights_for(transition_profile profile) {
  const auto value = static_cast<std::int32_t>(profile);
  return weight_table[value >= 1 && value <= 3 ? static_cast<std::size_t>(value) : 0];
}

// What a transition needs of one grip, measured once however many moves it takes part in.
struct grip_shape {
  const std::vector<tab_position>* positions = nullptr;
  int anchor = 0;
  int hand = 0;
  int index = 0;
  int highest = 0;
  std::array<std::optional<finger_location>, 4> fingers;
  std::optional<barre_shape> barre;
};

grip_shape shape_of(const std::vector<tab_position>& positions) {
  return {&positions,
          anchor_fret(positions),
          hand_position_fret(positions),
          fingering_index_fret(positions),
          max_fretted_fret(positions),
          finger_locations(positions),
          fingering_barre_shape(positions)};
}

// The weights and the speed of every move between two neighbouring time points.
struct transition_context {
  const transition_weights& weights;
  transition_profile profile;
  int speed = 1;
};

transition_context context_for(transition_profile profile, std::int64_t gap) {
  return {weights_for(profile), profile,
          transition_speed_multiplier(gap, transition_uses_melody_line_scoring(profile))};
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

// The hand shift, and the limits of acoustic comping and electric stabs on it.
int hand_move_cost(const grip_shape& source, const grip_shape& target,
                   const transition_context& context) {
  const auto& weights = context.weights;
  const int anchor_move = std::abs(source.anchor - target.anchor);
  const int hand_move = std::abs(source.hand - target.hand);
  const int index_move = std::abs(source.index - target.index);
  int cost = weights.index * index_move + weights.anchor * anchor_move + weights.hand * hand_move;
  if (transition_is_acoustic_comping(context.profile)) {
    if (anchor_move > 3) cost += 1150 * (anchor_move - 3);
    if (anchor_move > 5) cost += 3800 * (anchor_move - 5);
    if (hand_move > 3) cost += 920 * (hand_move - 3);
    if (target.anchor > 9) cost += 1550 * (target.anchor - 9);
    if (target.highest > 10) cost += 760 * (target.highest - 10);
  }
  if (transition_is_electric_stab_comping(context.profile)) {
    if (anchor_move > 4) cost += 620 * (anchor_move - 4);
    if (anchor_move > 6) cost += 1600 * (anchor_move - 6);
  }
  return cost;
}

// How far each target position lies from its nearest source position, with the number of target
// positions on a string the source uses (`common`) and at a string and fret it holds (`kept`).
struct position_match {
  int nearest = 0;
  int common = 0;
  int kept = 0;
};

position_match match_positions(const std::vector<tab_position>& source,
                               const std::vector<tab_position>& target,
                               const transition_context& context) {
  const auto& weights = context.weights;
  const int fret_weight = context.speed * weights.near_fret;
  position_match match;
  for (const auto& to : target) {
    const int to_finger = finger_number(to);
    int best = std::numeric_limits<int>::max();
    bool same_string = false;
    bool same_place = false;
    for (const auto& from : source) {
      const int finger_move = std::abs(finger_number(from) - to_finger);
      const int distance = fret_weight * std::abs(from.fret - to.fret) +
                           weights.near_string * std::abs(from.string_number - to.string_number) +
                           weights.near_midi * std::abs(from.midi - to.midi) +
                           weights.near_finger * finger_move;
      best = std::min(best, distance);
      if (from.string_number != to.string_number) continue;
      same_string = true;
      if (from.fret != to.fret) continue;
      same_place = true;
      // A later source position is measured against the reduced best.
      best -= weights.near_same;
      if (finger_move == 0) best -= weights.near_same_finger;
    }
    match.nearest += best;
    match.common += same_string ? 1 : 0;
    match.kept += same_place ? 1 : 0;
  }
  return match;
}

int shape_continuity_cost(std::size_t source_size, std::size_t target_size,
                          const position_match& match, const transition_weights& weights) {
  const bool both_large = source_size >= 3 && target_size >= 3;
  if (source_size == target_size && match.common == static_cast<int>(target_size)) {
    return -weights.same_strings - (both_large ? weights.keep * match.kept : 0);
  }
  if (!both_large) return 0;
  if (match.common <= 1) return weights.few_common - weights.keep * match.kept;
  return -weights.keep * match.kept;
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

int shape_transition_score(const grip_shape& source, const grip_shape& target,
                           const transition_context& context) {
  const auto& from = *source.positions;
  const auto& to = *target.positions;
  if (from.empty() || to.empty()) return 0;
  const auto& weights = context.weights;
  int cost = hand_move_cost(source, target, context);
  if (transition_uses_melody_line_scoring(context.profile) && from.size() == 1 && to.size() == 1) {
    cost += single_note_cost(from.front(), to.front(), context.speed);
  }
  const auto match = match_positions(from, to, context);
  cost -= weights.common * match.common;
  cost += shape_continuity_cost(from.size(), to.size(), match, weights);
  cost += finger_cost(source.fingers, target.fingers, context.speed, weights);
  cost += barre_cost(source.barre, target.barre, weights);
  cost += match.nearest;
  return cost;
}

std::vector<grip_shape> candidate_shapes(const arrangement_anchor& anchor) {
  std::vector<grip_shape> shapes;
  shapes.reserve(anchor.candidates.size());
  for (const auto& candidate : anchor.candidates) shapes.push_back(shape_of(candidate.positions));
  return shapes;
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
  struct finger_sums {
    int fret = 0;
    int string_x10 = 0;
    int lowest_string = 0;
    int highest_string = 0;
    int count = 0;
  };
  std::array<finger_sums, 4> sums{};
  for (const auto& position : positions) {
    const int finger = finger_number(position);
    if (position.fret == 0 || finger < 1 || finger > 4) continue;
    auto& sum = sums[static_cast<std::size_t>(finger - 1)];
    sum.fret += position.fret;
    sum.string_x10 += position.string_number * 10;
    sum.lowest_string = sum.count == 0 ? position.string_number
                                       : std::min(sum.lowest_string, position.string_number);
    sum.highest_string = sum.count == 0 ? position.string_number
                                        : std::max(sum.highest_string, position.string_number);
    ++sum.count;
  }
  std::array<std::optional<finger_location>, 4> locations;
  for (std::size_t finger = 0; finger < 4; ++finger) {
    const auto& sum = sums[finger];
    if (sum.count == 0) continue;
    locations[finger] = finger_location{sum.fret / sum.count, sum.string_x10 / sum.count,
                                        sum.highest_string - sum.lowest_string, sum.count};
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
  return shape_transition_score(shape_of(source), shape_of(target), context_for(profile, gap));
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

  // Songs repeat their chords, so anchors often offer the same grips as an earlier one: the
  // shapes of each distinct candidate list are made once, and each distinct move between two
  // lists is priced once per search.
  std::vector<std::size_t> distinct_anchors;
  std::vector<std::vector<grip_shape>> distinct_shapes;
  std::vector<std::size_t> list_of(anchors.size());
  for (std::size_t anchor = 0; anchor < anchors.size(); ++anchor) {
    const auto& candidates = anchors[anchor].candidates;
    const auto known = std::find_if(
        distinct_anchors.begin(), distinct_anchors.end(),
        [&](std::size_t earlier) { return anchors[earlier].candidates == candidates; });
    list_of[anchor] = static_cast<std::size_t>(known - distinct_anchors.begin());
    if (known == distinct_anchors.end()) {
      distinct_anchors.push_back(anchor);
      distinct_shapes.push_back(candidate_shapes(anchors[anchor]));
    }
  }
  struct move_table {
    std::size_t from = 0;
    std::size_t to = 0;
    int speed = 0;
    std::vector<int> transitions;  // [target * source count + source]
  };
  std::vector<move_table> tables;
  const auto transitions_between =
      [&](std::size_t from, std::size_t to,
          const transition_context& context) -> const std::vector<int>& {
    for (const auto& table : tables) {
      if (table.from == from && table.to == to && table.speed == context.speed) {
        return table.transitions;
      }
    }
    const auto& sources = distinct_shapes[from];
    const auto& targets = distinct_shapes[to];
    std::vector<int> transitions;
    transitions.reserve(sources.size() * targets.size());
    for (const auto& target : targets) {
      for (const auto& source : sources) {
        transitions.push_back(shape_transition_score(source, target, context));
      }
    }
    tables.push_back({from, to, context.speed, std::move(transitions)});
    return tables.back().transitions;
  };

  const auto& first_shapes = distinct_shapes[list_of.front()];
  std::vector<path_score> scores;
  scores.reserve(first_shapes.size());
  const auto previous_shape = previous ? std::optional{shape_of(*previous)} : std::nullopt;
  const auto first_context = context_for(profile, gap);
  for (std::size_t candidate = 0; candidate < first_shapes.size(); ++candidate) {
    const int transition =
        previous_shape
            ? shape_transition_score(*previous_shape, first_shapes[candidate], first_context)
            : 0;
    scores.push_back({std::max(transition, 0),
                      std::int64_t{transition} + anchors.front().candidates[candidate].score});
  }

  std::vector<std::vector<std::size_t>> predecessors(anchors.size());
  for (std::size_t anchor = 1; anchor < anchors.size(); ++anchor) {
    const auto& from = anchors[anchor - 1];
    const auto& to = anchors[anchor];
    const auto context = context_for(profile, to.start_ticks - from.start_ticks);
    const auto& transitions = transitions_between(list_of[anchor - 1], list_of[anchor], context);
    const auto sources = from.candidates.size();
    std::vector<path_score> next(to.candidates.size(),
                                 path_score{unreached_path_cost, unreached_path_cost});
    predecessors[anchor].assign(to.candidates.size(), 0);
    for (std::size_t target = 0; target < to.candidates.size(); ++target) {
      for (std::size_t source = 0; source < sources; ++source) {
        const int transition = transitions[target * sources + source];
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

bool same_written_melody_pitch(const source_note& left, const source_note& right) {
  return !left.pitches.empty() && !right.pitches.empty() &&
         left.pitches.front().midi == right.pitches.front().midi;
}

std::optional<std::size_t> previous_tied_note_index(const source_score& score,
                                                    std::size_t note_index) {
  if (note_index == 0 || !tie_link_holds(score, note_index - 1)) return std::nullopt;
  return note_index - 1;
}

std::optional<std::size_t> next_tied_note_index(const source_score& score, std::size_t note_index) {
  if (!tie_link_holds(score, note_index)) return std::nullopt;
  return note_index + 1;
}

std::int64_t tied_duration_before(const source_score& score, std::size_t note_index) {
  std::int64_t duration = 0;
  for (auto index = previous_tied_note_index(score, note_index); index;
       index = previous_tied_note_index(score, *index)) {
    duration = add_ticks(duration, score.notes[*index].duration_ticks);
  }
  return duration;
}

std::int64_t tied_duration_from(const source_score& score, std::size_t note_index) {
  if (note_index >= score.notes.size()) return 0;
  std::int64_t duration = score.notes[note_index].duration_ticks;
  for (auto index = next_tied_note_index(score, note_index); index;
       index = next_tied_note_index(score, *index)) {
    duration = add_ticks(duration, score.notes[*index].duration_ticks);
  }
  return duration;
}

std::int64_t tied_group_duration(const source_score& score, std::size_t note_index) {
  return add_ticks(tied_duration_before(score, note_index), tied_duration_from(score, note_index));
}

bool note_starts_on_quarter_beat(const source_score& score, const source_note& note) {
  const std::int64_t measure_start = note.measure_index < score.measures.size()
                                         ? score.measures[note.measure_index].start_tick
                                         : 0;
  // Equal remainders modulo 4096, compared without subtracting the ticks.
  return (note.start_tick & 0xfff) == (measure_start & 0xfff);
}

std::size_t adjusted_long_note_chord_target(const source_score& score,
                                            const chord_occurrence& occurrence,
                                            std::size_t note_index) {
  if (note_index >= score.notes.size()) return note_index;
  if (score.notes[note_index].start_tick != occurrence.start_tick) return note_index;
  const auto previous = previous_tied_note_index(score, note_index);
  if (!previous) return note_index;
  const auto& struck = score.notes[*previous];
  const bool ends_on_the_chord =
      struck.start_tick < occurrence.start_tick && note_end(struck) == occurrence.start_tick;
  if (is_melody_attack(struck) && ends_on_the_chord &&
      !note_starts_on_quarter_beat(score, struck) && tied_group_is_long(score, *previous)) {
    return *previous;
  }
  return note_index;
}

std::optional<std::size_t> long_melody_note_for_chord(const source_score& score,
                                                      const chord_occurrence& occurrence) {
  const auto direct = occurrence.note_index;
  if (direct < score.notes.size() && is_melody_attack(score.notes[direct])) {
    // A `tie_from_previous` flag without a real tie behind it disqualifies the written note.
    const bool false_tie =
        score.notes[direct].tie_from_previous && !previous_tied_note_index(score, direct);
    if (!false_tie && tied_group_is_long(score, direct)) {
      return adjusted_long_note_chord_target(score, occurrence, direct);
    }
  }
  std::optional<std::size_t> earliest;
  for (std::size_t index = 0; index < score.notes.size(); ++index) {
    const auto& note = score.notes[index];
    if (!is_melody_attack(note) || note.tie_from_previous) continue;
    if (note.start_tick < occurrence.start_tick || note.start_tick >= occurrence.end_tick) continue;
    if (earliest && score.notes[*earliest].start_tick <= note.start_tick) continue;
    if (tied_group_is_long(score, index)) earliest = index;
  }
  if (!earliest) return std::nullopt;
  return adjusted_long_note_chord_target(score, occurrence, *earliest);
}

}  // namespace orvanta::arrangement_detail
