#include "arrangement/comping_voicing.hpp"

#include "arrangement/source.hpp"
#include "arrangement/voicing_plans.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::string_view acoustic_comping_label = "acoustic-comping-final";
constexpr std::size_t most_acoustic_candidates = 48;

// Scores add terms of any size that callers pass in; they are summed in 64 bits and held to the
// range of int, so no input overflows them.
int saturated(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

// A fixed voicing for one chord quality, lowest voice first.
struct acoustic_exact_shape {
  std::string_view quality;
  std::array<acoustic_shape_voice, 4> voices;
  int penalty = 0;
};

constexpr std::array<acoustic_exact_shape, 3> acoustic_exact_shapes{{
    {"half_diminished7", {{{"1", 5}, {"b5", 4}, {"b7", 3}, {"b3", 2}}}, -2600},
    {"dominant7_b9", {{{"5", 5}, {"b9", 4}, {"3", 3}, {"b7", 2}}}, -160},
    {"minor", {{{"b3", 5}, {"5", 4}, {"1", 3}, {"b3", 2}}}, -2200},
}};

// The bass and the other notes of a voicing: its lowest note, and every note that is not that
// position.
struct bass_and_others {
  tab_position bass;
  std::vector<tab_position> others;
};

std::optional<bass_and_others> split_at_low_bass(const std::vector<tab_position>& positions) {
  const auto bass = lowest_position(positions);
  if (!bass || !is_low_chord_string(*bass)) return std::nullopt;
  bass_and_others split{*bass, {}};
  for (const auto& position : positions) {
    if (!same_tab_position(position, *bass)) split.others.push_back(position);
  }
  return split;
}

bool is_fretted(const tab_position& position) { return position.fret > 0; }

std::int64_t reach_penalty(const tab_position& bass, const tab_position& other) {
  const std::int64_t strings = std::abs(std::int64_t{bass.string_number} - other.string_number);
  if (!is_fretted(bass) || !is_fretted(other)) return 55 * std::max<std::int64_t>(strings - 2, 0);
  const std::int64_t frets = std::abs(std::int64_t{bass.fret} - other.fret);
  std::int64_t penalty = 180 * std::max<std::int64_t>(strings - 1, 0) * frets;
  if (other.string_number == 2) {
    if (bass.string_number == 6 && frets > 1) penalty += 620 * (frets - 1);
    if (bass.string_number == 5 && frets > 2) penalty += 420 * (frets - 2);
  }
  return penalty;
}

bool stretch_too_wide(const tab_position& bass, const tab_position& other) {
  if (!is_fretted(bass) || !is_fretted(other)) return false;
  const std::int64_t strings = std::abs(std::int64_t{bass.string_number} - other.string_number);
  const std::int64_t frets = std::abs(std::int64_t{bass.fret} - other.fret);
  return (strings > 3 && frets > 2) || (strings > 2 && frets > 3);
}

// Depth first over the places of each voice on its string, skipping a string or a pitch already
// placed; every complete placement goes to `finish`.
template <class finisher>
void place_voices(const std::vector<std::vector<tab_position>>& places,
                  std::vector<tab_position>& placed, const finisher& finish) {
  if (placed.size() == places.size()) {
    finish(placed);
    return;
  }
  for (const auto& place : places[placed.size()]) {
    if (contains_string(placed, place.string_number) || contains_midi(placed, place.midi)) {
      continue;
    }
    placed.push_back(place);
    place_voices(places, placed, finish);
    placed.pop_back();
  }
}

template <class finisher>
void search_placements(const std::vector<std::vector<tab_position>>& places,
                       const finisher& finish) {
  std::vector<tab_position> placed;
  placed.reserve(places.size());
  place_voices(places, placed, finish);
}

// A complete placement as a candidate: split around its lowest note, scored for its upper notes
// plus `extra`, and added when it keeps the chord's identity.
void finish_placement(std::vector<grip_candidate>& candidates, const parsed_chord& chord,
                      const std::vector<tab_position>& placement, int extra) {
  const auto full = playable_acoustic_combined_positions(placement);
  if (!full || full->empty()) return;
  auto grip = split_acoustic_comping_grip(*full, *lowest_position(*full));
  if (!grip) return;
  const int base = acoustic_combined_candidate_score(chord, grip->full, grip->upper.size());
  append_acoustic_comping_candidate(candidates, chord, std::move(*grip),
                                    saturated(std::int64_t{base} + extra));
}

}  // namespace

// Degree plans

std::vector<std::string> sorted_degree_key(std::vector<std::string> degrees) {
  std::sort(degrees.begin(), degrees.end());
  return degrees;
}

void add_acoustic_degree_plan(std::vector<acoustic_degree_plan_candidate>& plans,
                              std::vector<std::string> degrees, int penalty) {
  if (degrees.size() < 3 || degrees.size() > 4) return;
  const auto key = sorted_degree_key(degrees);
  const auto same = std::find_if(plans.begin(), plans.end(), [&](const auto& plan) {
    return sorted_degree_key(plan.degrees) == key;
  });
  if (same != plans.end()) {
    same->penalty = std::min(same->penalty, penalty);
    return;
  }
  plans.push_back({std::move(degrees), penalty});
}

std::vector<std::string> acoustic_upper_identity_degrees(const parsed_chord& chord) {
  auto degrees = chord.formula.required_degrees;
  for (const auto& color : required_color_degrees(chord)) append_unique_degree(degrees, color);
  if (degree_is_available(chord, "1")) append_unique_degree(degrees, "1");
  if (!chord.formula.jazz_quality) {
    for (const auto& degree : chord.formula.degrees) append_unique_degree(degrees, degree);
  }
  return degrees;
}

std::vector<std::string> acoustic_bass_degrees(const parsed_chord& chord) {
  auto degrees = chord.formula.degrees;
  for (const auto& color : required_color_degrees(chord)) append_unique_degree(degrees, color);
  return degrees;
}

std::vector<acoustic_degree_plan_candidate> acoustic_degree_plans_for_chord(
    const parsed_chord& chord) {
  std::vector<acoustic_degree_plan_candidate> plans;
  for (const auto& plan : standard_jazz_degree_plans(chord)) {
    add_acoustic_degree_plan(plans, plan.degrees, plan.penalty);
  }

  const auto upper = acoustic_upper_identity_degrees(chord);
  for (const auto& bass : acoustic_bass_degrees(chord)) {
    auto degrees = upper;
    append_unique_degree(degrees, bass);
    add_acoustic_degree_plan(plans, std::move(degrees), bass == "1" ? -40 : 72);
  }

  const auto third = preferred_third_degree(chord);
  const auto fifth = preferred_fifth_degree(chord);
  const auto seventh = preferred_seventh_degree(chord);
  const auto colors = preferred_required_color_degrees(chord);
  if (!colors.empty()) {
    const auto& required = chord.formula.required_degrees;
    if (required.size() == 3 || required.size() == 4) {
      add_acoustic_degree_plan(plans, required, -170);
      if (degree_is_available(chord, "1")) {
        auto with_root = required;
        with_root.emplace_back("1");
        add_acoustic_degree_plan(plans, std::move(with_root), -220);
      }
    } else if (third && seventh) {
      for (std::size_t index = 0; index < colors.size(); ++index) {
        const int step = 18 * static_cast<int>(index);
        add_acoustic_degree_plan(plans, {"1", colors[index], *seventh, *third}, -180 + step);
        add_acoustic_degree_plan(plans, {colors[index], *seventh, *third}, -120 + step);
      }
    }
  }
  if (!seventh && third && fifth) {
    add_acoustic_degree_plan(plans, {"1", *third, *fifth}, -140);
    add_acoustic_degree_plan(plans, {"1", *third, *fifth, "1"}, -90);
  }

  sort_by_ascending_key(plans, [](const acoustic_degree_plan_candidate& plan) {
    return std::tuple{plan.penalty, plan.degrees.size(), sorted_degree_key(plan.degrees)};
  });
  return plans;
}

// Voicing rules

bool positions_use_acoustic_comping_strings(const std::vector<tab_position>& positions) {
  const auto split = split_at_low_bass(positions);
  if (!split) return false;
  std::vector<int> strings;
  for (const auto& other : split->others) {
    if (other.string_number < 2 || other.string_number > 4) return false;
    if (std::find(strings.begin(), strings.end(), other.string_number) != strings.end()) {
      return false;
    }
    strings.push_back(other.string_number);
  }
  std::sort(strings.begin(), strings.end());
  if (strings.size() == 3) return strings == std::vector<int>{2, 3, 4};
  if (strings.size() == 2) {
    return (split->bass.string_number == 6 && strings == std::vector<int>{3, 4}) ||
           (split->bass.string_number == 5 && strings == std::vector<int>{2, 3});
  }
  return false;
}

int max_fretted_fret_for_positions(const std::vector<tab_position>& positions) {
  int highest = 0;
  for (const auto& position : positions) highest = std::max(highest, position.fret);
  return highest;
}

int acoustic_bass_upper_reach_penalty(const std::vector<tab_position>& positions) {
  const auto split = split_at_low_bass(positions);
  if (!split) return 0;
  std::int64_t penalty = 0;
  for (const auto& other : split->others) penalty += reach_penalty(split->bass, other);
  return saturated(penalty);
}

bool acoustic_bass_upper_reach_playable(const std::vector<tab_position>& positions) {
  const auto split = split_at_low_bass(positions);
  if (!split) return false;
  for (const auto& other : split->others) {
    if (stretch_too_wide(split->bass, other)) return false;
  }
  return acoustic_bass_upper_reach_penalty(positions) <= 1450;
}

std::optional<std::vector<tab_position>> playable_acoustic_combined_positions(
    std::vector<tab_position> positions) {
  sort_by_ascending_key(positions, [](const tab_position& position) { return position.midi; });
  if (!positions_use_acoustic_comping_strings(positions) ||
      !chord_positions_have_coherent_fret_region(positions) ||
      !acoustic_bass_upper_reach_playable(positions) || fret_span(positions) > 3 ||
      !positions_playable(positions)) {
    return std::nullopt;
  }
  return assign_fingering(std::move(positions));
}

bool position_matches_slash_bass(const parsed_chord& chord, const tab_position& position) {
  return chord.bass_pc && normalize_pc(position.midi) == normalize_pc(*chord.bass_pc);
}

int acoustic_bass_choice_score(const parsed_chord& chord,
                               const std::vector<tab_position>& positions) {
  const auto bass = lowest_position(positions);
  if (!bass) return 2000;
  if (position_matches_slash_bass(chord, *bass)) return -320;
  if (normalize_pc(bass->midi) == normalize_pc(chord.root_pc)) return -180;
  return 90;
}

int acoustic_combined_candidate_score(const parsed_chord& chord,
                                      const std::vector<tab_position>& positions,
                                      std::size_t upper_count) {
  const std::int64_t anchor = anchor_fret(positions);
  const std::int64_t missing_guides = missing_guide_tone_count(chord, positions);
  const std::int64_t missing_colors = missing_required_color_count(chord, positions);
  std::int64_t score =
      std::int64_t{260} * fret_span(positions) +
      std::int64_t{18} * max_fretted_fret_for_positions(positions) +
      high_fret_region_penalty(positions) + acoustic_bass_upper_reach_penalty(positions) +
      (anchor > 5 ? 260 * (anchor - 5) : 0) + 520 * missing_guides + 520 * missing_colors -
      std::int64_t{180} * guide_tone_degree_count(chord, positions) -
      std::int64_t{130} * required_color_degree_count(chord, positions);
  const auto upper = static_cast<std::int64_t>(
      std::min<std::size_t>(upper_count, std::numeric_limits<int>::max()));
  if (required_color_degrees(chord).empty() && missing_guides == 0 && upper > 2) {
    score += 1300;
  } else if (missing_colors == 0) {
    score -= 900 * upper;
  }
  return saturated(score);
}

bool positions_only_use_acoustic_identity_degrees(const parsed_chord& chord,
                                                  const std::vector<tab_position>& positions) {
  const auto split = split_at_low_bass(positions);
  if (!split) return false;
  const auto upper = acoustic_upper_identity_degrees(chord);
  const auto bass = acoustic_bass_degrees(chord);
  return std::all_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    if (same_tab_position(position, split->bass)) {
      return position_matches_slash_bass(chord, position) ||
             position_matches_any_degree(chord, position, bass);
    }
    return position_matches_any_degree(chord, position, upper);
  });
}

bool acoustic_comping_preserves_chord_identity(const parsed_chord& chord,
                                               const std::vector<tab_position>& positions) {
  return all_degrees_present(chord, positions, chord.formula.required_degrees) &&
         missing_required_color_count(chord, positions) == 0 &&
         positions_only_use_acoustic_identity_degrees(chord, positions);
}

std::optional<acoustic_comping_grip> split_acoustic_comping_grip(
    std::vector<tab_position> positions, const tab_position& bass) {
  if (positions.empty()) return std::nullopt;
  auto full = playable_acoustic_combined_positions(std::move(positions));
  if (!full || full->empty()) return std::nullopt;
  acoustic_comping_grip grip;
  for (const auto& position : *full) {
    (same_tab_position(position, bass) ? grip.bass : grip.upper).push_back(position);
  }
  if (grip.bass.size() != 1 || grip.upper.size() < 2) return std::nullopt;
  grip.full = std::move(*full);
  return grip;
}

std::optional<acoustic_comping_grip> acoustic_comping_grip_from_selected_positions(
    const std::vector<tab_position>& positions) {
  const auto bass = lowest_position(positions);
  if (!bass || !is_low_chord_string(*bass)) return std::nullopt;
  return split_acoustic_comping_grip(positions, *bass);
}

void append_acoustic_comping_candidate(std::vector<grip_candidate>& candidates,
                                       const parsed_chord& chord, acoustic_comping_grip grip,
                                       int penalty) {
  if (!acoustic_comping_preserves_chord_identity(chord, grip.full)) return;
  const std::int64_t score = std::int64_t{penalty} + acoustic_bass_choice_score(chord, grip.full) +
                             fingering_local_score(grip.full) / 3;
  add_unique_candidate(candidates, {std::move(grip.full), std::string{acoustic_comping_label},
                                    saturated(score), -1, false, false});
}

// Candidates for a chord

std::vector<std::vector<int>> acoustic_comping_string_sets(std::size_t degree_count) {
  switch (degree_count) {
    case 4: return {{5, 4, 3, 2}, {6, 4, 3, 2}};
    case 3: return {{5, 3, 2}, {6, 4, 3}};
    default: return {};
  }
}

void append_acoustic_exact_comping_shape(std::vector<grip_candidate>& candidates,
                                         const parsed_chord& chord,
                                         std::span<const acoustic_shape_voice> shape, int penalty) {
  if (shape.size() < 3 || shape.size() > 4) return;
  std::vector<std::vector<tab_position>> places;
  for (const auto& voice : shape) {
    if (!degree_is_available(chord, voice.degree)) return;
    places.push_back(positions_for_degree_on_string(chord, voice.degree, voice.string_number));
  }
  search_placements(places, [&](const std::vector<tab_position>& placement) {
    if (max_fretted_fret_for_positions(placement) > 9) return;
    finish_placement(candidates, chord, placement, penalty);
  });
}

void append_preferred_acoustic_comping_shapes(std::vector<grip_candidate>& candidates,
                                              const parsed_chord& chord) {
  for (const auto& shape : acoustic_exact_shapes) {
    if (shape.quality == chord.formula.quality) {
      append_acoustic_exact_comping_shape(candidates, chord, shape.voices, shape.penalty);
    }
  }
}

void append_acoustic_comping_candidates_for_degrees(std::vector<grip_candidate>& candidates,
                                                    const parsed_chord& chord,
                                                    const std::vector<std::string>& degrees,
                                                    const std::vector<int>& strings, int penalty) {
  if (degrees.size() != strings.size()) return;
  std::vector<std::vector<tab_position>> places;
  for (std::size_t voice = 0; voice < degrees.size(); ++voice) {
    places.push_back(positions_for_degree_on_string(chord, degrees[voice], strings[voice]));
  }
  search_placements(places, [&](const std::vector<tab_position>& placement) {
    finish_placement(candidates, chord, placement, penalty / 8);
  });
}

std::vector<grip_candidate> acoustic_comping_candidates_for_chord(const parsed_chord& chord) {
  std::vector<grip_candidate> candidates;
  append_preferred_acoustic_comping_shapes(candidates, chord);
  for (const auto& plan : acoustic_degree_plans_for_chord(chord)) {
    auto names = sorted_degree_key(plan.degrees);
    const auto string_sets = acoustic_comping_string_sets(names.size());
    do {
      for (const auto& strings : string_sets) {
        append_acoustic_comping_candidates_for_degrees(candidates, chord, names, strings,
                                                       plan.penalty);
      }
    } while (std::next_permutation(names.begin(), names.end()));
  }
  sort_candidates_by_score(candidates);
  if (candidates.size() > most_acoustic_candidates) candidates.resize(most_acoustic_candidates);
  return candidates;
}

}  // namespace orvanta::arrangement_detail
