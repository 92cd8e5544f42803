#include "arrangement/voicing.hpp"

#include "arrangement/source.hpp"
#include "arrangement/voicing_plans.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::array<std::string_view, 9> color_degrees{"6",   "9",  "b9",  "#9", "11",
                                                        "#11", "13", "b13", "bb7"};

constexpr std::string_view stock_shape_label = "stock-guitar-shape";
constexpr std::string_view standard_jazz_label = "standard-jazz";

bool sounds_pitch_class(const std::vector<tab_position>& positions, int pitch_class) {
  return std::any_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    return normalize_pc(position.midi) == pitch_class;
  });
}

bool is_altered_dominant(const parsed_chord& chord) {
  return chord.formula.quality == "dominant7_alt";
}

bool quality_is_one_of(const parsed_chord& chord, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), chord.formula.quality) != names.end();
}

// The first entry of the list that passes the test; the empty name when none does.
template <class predicate>
std::string_view first_degree_where(const std::vector<std::string>& degrees, predicate test) {
  const auto found = std::find_if(degrees.begin(), degrees.end(),
                                  [&](const std::string& degree) { return test(degree); });
  return found == degrees.end() ? std::string_view{} : std::string_view{*found};
}

bool contains_any_degree(const parsed_chord& chord, const std::vector<tab_position>& positions,
                         const std::vector<std::string>& degrees) {
  return std::any_of(degrees.begin(), degrees.end(), [&](const std::string& degree) {
    return positions_contain_degree(chord, positions, degree);
  });
}

int fret_height_penalty(int fret) {
  int penalty = 0;
  if (fret > 7) penalty += 135 * (fret - 7);
  if (fret > 8) penalty += 95 * (fret - 8);
  if (fret > 12) penalty += 180 * (fret - 12);
  return penalty;
}

int per_position_score(const std::vector<tab_position>& positions) {
  int score = 0;
  for (const auto& position : positions) {
    if (position.string_number == 1) score += 180;
    if (position.fret == 1) score += 40;
    if (position.fret > 9) score += 70 * (position.fret - 9);
  }
  return score;
}

// The melody-mode terms: a narrow hand, and a full four-note cluster on the top strings.
int melody_mode_score(const std::vector<tab_position>& positions, bool allow_two_note,
                      std::size_t guide_count, int missing_guides, int missing_colors) {
  const std::size_t count = positions.size();
  const int span = fret_span(positions);
  int score = 0;
  if (span > 2) {
    score += 560 * (span - 2);
  } else if (count >= 2) {
    score -= 140;
  }
  if (count < 2) return score;
  if (allow_two_note && count == 2) {
    if (guide_count >= 2 && missing_guides == 0) score -= 2200;
  } else if (count == 4 && positions_use_upper_melody_strings(positions) &&
             has_gap_free_upper_cluster(positions)) {
    score -= 260;
    if (missing_colors == 0) score -= 1440;
    if (missing_guides == 0) score -= 520;
  }
  return score;
}

// How well the grip shows the chord's shell: the formula pitch classes it sounds against the
// number of its notes.
int shell_score(const parsed_chord& chord, const std::vector<tab_position>& positions,
                std::size_t color_count, int missing_colors) {
  const int count = static_cast<int>(positions.size());
  const int sounded = formula_degree_count(chord, positions);
  const bool sounds_root = positions_contain_degree(chord, positions, "1");
  const bool sounds_fifth = positions_contain_degree(chord, positions, "5");
  int score = 0;
  if (basic_shell_preferred(chord)) {
    if (sounded == 3) score -= 760;
    if (sounded > 3) score += 1120 * (sounded - 3);
    const auto& required = chord.formula.required_degrees;
    const int missing_required =
        static_cast<int>(required.size()) - count_present_degrees(chord, positions, required);
    if (missing_required > 0 && sounds_fifth) score += 1450 * missing_required;
    if (count > sounded) {
      score += sounds_root ? -300 : 2200;
      if (sounds_fifth) score += 960;
    }
  } else if (color_count == 1) {
    if (sounded == 3) score -= 380;
    if (sounded == 4) score -= 120;
    score += sounds_root ? -360 : 2400;
    if (sounds_fifth) score += 1280;
    if (sounded > 4 && missing_colors == 0) score += 900 * (sounded - 4);
  }
  return score;
}

int grip_size_score(std::size_t count, bool colorless, bool allow_two_note, bool melody_mode) {
  switch (count) {
    case 4:
      if (melody_mode) return colorless ? -620 : -260;
      if (colorless) return allow_two_note ? 80 : 260;
      return allow_two_note ? -40 : -150;
    case 3:
      if (melody_mode) return colorless ? 180 : 80;
      return colorless ? -330 : -60;
    case 2: return allow_two_note ? 120 : 820;
    default: return 0;
  }
}

int register_score(const std::vector<tab_position>& positions) {
  int score = 0;
  if (const auto lowest = lowest_position(positions); lowest && lowest->midi <= 44) score += 240;
  if (const auto highest = highest_position(positions);
      highest && (highest->midi < 55 || highest->midi > 79)) {
    score += 120;
  }
  return score;
}

int bass_finger_score(const std::vector<tab_position>& positions) {
  const auto bass = lowest_position(positions);
  if (!bass || !is_low_chord_string(*bass)) return 0;
  switch (finger_number(*position_matching(*bass, positions))) {
    case 1: return -180;
    case 2: return -140;
    case 3: return 320;
    case 4: return 1200;
    default: return 0;
  }
}

// Neighbouring notes at one fret, taken from string 6 towards string 1.
int same_fret_neighbour_score(std::vector<tab_position> positions) {
  sort_by_ascending_key(positions,
                        [](const tab_position& position) { return -position.string_number; });
  int score = 0;
  for (std::size_t index = 1; index < positions.size(); ++index) {
    const auto& lower = positions[index - 1];
    const auto& upper = positions[index];
    if (!lower.finger || !upper.finger || lower.fret == 0 || lower.fret != upper.fret) continue;
    if (*lower.finger > *upper.finger) score += 420;
    if (*lower.finger == 1 && lower.string_number - upper.string_number > 1) score += 260;
  }
  return score;
}

int suggested_barre_missed_score(const barre_shape& preferred) {
  return preferred.string_count >= 3 ? 520 : 160;
}

int stock_barre_score(const std::vector<tab_position>& positions) {
  const auto barre = fingering_barre_shape(positions);
  const auto preferred = preferred_index_barre_shape(positions);
  if (barre && preferred) {
    if (same_barre_shape(*barre, *preferred)) return -(110 * barre->string_count + 260);
    return suggested_barre_missed_score(*preferred);
  }
  if (preferred) return suggested_barre_missed_score(*preferred);
  if (barre) {
    if (barre->string_count > 2) return 360;
    if (barre->string_count == 2 && barre->to_string - barre->from_string < 2) return -80;
  }
  return 0;
}

struct generation_flags {
  bool allow_two_note = false;
  bool melody_chord = false;
  bool melody_mode = false;
};

// A voicing template: the i-th degree on the i-th string, the lowest voice first.
struct voicing_template {
  const std::vector<std::string>& degrees;
  const std::vector<int>& strings;
  int cost = 0;
  std::string_view label;
};

bool grip_passes_chord_tests(const std::vector<tab_position>& grip, bool melody_chord) {
  return positions_have_string_order(grip) && positions_playable(grip) &&
         chord_positions_have_coherent_fret_region(grip) &&
         chord_positions_have_compact_jazz_shape(grip) &&
         melody_chord_positions_allowed(grip, melody_chord);
}

void add_realised_grip(const parsed_chord& chord, const std::vector<tab_position>& placed,
                       const voicing_template& voicing, const generation_flags& flags,
                       std::vector<grip_candidate>& candidates) {
  auto grip = placed;
  sort_by_ascending_key(grip, [](const tab_position& position) { return position.midi; });
  if (!grip_passes_chord_tests(grip, flags.melody_chord)) return;
  const int grip_score =
      chord_candidate_score(chord, grip, flags.allow_two_note, flags.melody_mode);
  for (auto& variant : stock_fingering_candidates(grip)) {
    add_unique_candidate(candidates, {std::move(variant.positions), std::string{voicing.label},
                                      grip_score + variant.cost + voicing.cost, -1, false, false});
  }
}

// Depth first over the places of each voice on its string, one partial grip reused throughout.
void place_voices(const parsed_chord& chord, const std::vector<std::vector<tab_position>>& places,
                  std::vector<tab_position>& placed, const voicing_template& voicing,
                  const generation_flags& flags, std::vector<grip_candidate>& candidates) {
  const std::size_t voice = placed.size();
  if (voice == places.size()) {
    add_realised_grip(chord, placed, voicing, flags, candidates);
    return;
  }
  for (const auto& place : places[voice]) {
    if (contains_string(placed, place.string_number) || contains_midi(placed, place.midi)) {
      continue;
    }
    placed.push_back(place);
    place_voices(chord, places, placed, voicing, flags, candidates);
    placed.pop_back();
  }
}

void realise_template(const parsed_chord& chord, const voicing_template& voicing,
                      const generation_flags& flags, std::vector<grip_candidate>& candidates) {
  if (voicing.degrees.size() != voicing.strings.size()) return;
  std::vector<std::vector<tab_position>> places;
  places.reserve(voicing.degrees.size());
  for (std::size_t voice = 0; voice < voicing.degrees.size(); ++voice) {
    places.push_back(
        positions_for_degree_on_string(chord, voicing.degrees[voice], voicing.strings[voice]));
  }
  std::vector<tab_position> placed;
  placed.reserve(places.size());
  place_voices(chord, places, placed, voicing, flags, candidates);
}

}  // namespace

// Candidate lists

void add_unique_candidate(std::vector<grip_candidate>& candidates, grip_candidate candidate) {
  sort_by_ascending_key(candidate.positions,
                        [](const tab_position& position) { return position.midi; });
  const auto duplicate =
      std::find_if(candidates.begin(), candidates.end(), [&](const grip_candidate& entry) {
        return entry.note_index == candidate.note_index &&
               same_fingered_positions(entry.positions, candidate.positions);
      });
  if (duplicate == candidates.end()) {
    candidates.push_back(std::move(candidate));
  } else if (candidate.score < duplicate->score) {
    *duplicate = std::move(candidate);
  }
}

void sort_candidates_by_score(std::vector<grip_candidate>& candidates) {
  sort_by_ascending_key(candidates,
                        [](const grip_candidate& candidate) { return candidate.score; });
}

// Chord degrees in grips

std::optional<int> degree_pc(const parsed_chord& chord, std::string_view degree) {
  const auto interval = degree_interval(degree);
  if (!interval) return std::nullopt;
  return normalize_pc(chord.root_pc + *interval);
}

std::vector<tab_position> positions_for_degree_on_string(const parsed_chord& chord,
                                                         std::string_view degree,
                                                         int string_number) {
  const auto pitch_class = degree_pc(chord, degree);
  const auto open_midi = open_midi_for_string(string_number);
  if (!pitch_class || !open_midi) return {};
  std::vector<tab_position> positions;
  for (int fret = 0; fret <= 20; ++fret) {
    const int midi = *open_midi + fret;
    if (normalize_pc(midi) == *pitch_class) {
      positions.push_back({string_number, fret, midi, std::nullopt});
    }
  }
  sort_by_ascending_key(positions, [](const tab_position& position) {
    return std::pair{std::abs(position.fret - 5), position.fret};
  });
  return positions;
}

bool positions_contain_degree(const parsed_chord& chord, const std::vector<tab_position>& positions,
                              std::string_view degree) {
  const auto pitch_class = degree_pc(chord, degree);
  return pitch_class && sounds_pitch_class(positions, *pitch_class);
}

int count_present_degrees(const parsed_chord& chord, const std::vector<tab_position>& positions,
                          const std::vector<std::string>& degrees) {
  return static_cast<int>(
      std::count_if(degrees.begin(), degrees.end(), [&](const std::string& degree) {
        return positions_contain_degree(chord, positions, degree);
      }));
}

bool all_degrees_present(const parsed_chord& chord, const std::vector<tab_position>& positions,
                         const std::vector<std::string>& degrees) {
  return std::all_of(degrees.begin(), degrees.end(), [&](const std::string& degree) {
    return positions_contain_degree(chord, positions, degree);
  });
}

bool position_matches_any_degree(const parsed_chord& chord, const tab_position& position,
                                 const std::vector<std::string>& degrees) {
  const int pitch_class = normalize_pc(position.midi);
  return std::any_of(degrees.begin(), degrees.end(), [&](const std::string& degree) {
    const auto degree_class = degree_pc(chord, degree);
    return degree_class && *degree_class == pitch_class;
  });
}

int formula_position_count(const parsed_chord& chord, const std::vector<tab_position>& positions) {
  return static_cast<int>(
      std::count_if(positions.begin(), positions.end(), [&](const tab_position& position) {
        return position_matches_any_degree(chord, position, chord.formula.degrees);
      }));
}

int formula_degree_count(const parsed_chord& chord, const std::vector<tab_position>& positions) {
  std::array<bool, 12> counted{};
  int count = 0;
  for (const auto& degree : chord.formula.degrees) {
    const auto pitch_class = degree_pc(chord, degree);
    if (!pitch_class || counted[static_cast<std::size_t>(*pitch_class)]) continue;
    if (sounds_pitch_class(positions, *pitch_class)) {
      counted[static_cast<std::size_t>(*pitch_class)] = true;
      ++count;
    }
  }
  return count;
}

bool is_written_color_degree(std::string_view degree) {
  return std::find(color_degrees.begin(), color_degrees.end(), degree) != color_degrees.end();
}

bool is_required_color_degree(std::string_view degree) {
  return is_written_color_degree(degree) || degree == "b5" || degree == "#5";
}

bool is_third_guide_degree(std::string_view degree) {
  return degree == "3" || degree == "b3" || degree == "4";
}

bool is_seventh_guide_degree(std::string_view degree) {
  return degree == "7" || degree == "b7" || degree == "bb7";
}

std::vector<std::string> guide_tone_degrees(const parsed_chord& chord) {
  const auto& required = chord.formula.required_degrees;
  const auto& degrees = chord.formula.degrees;
  const auto third = [](std::string_view degree) { return is_third_guide_degree(degree); };
  const auto seventh = [](std::string_view degree) { return is_seventh_guide_degree(degree); };
  std::vector<std::string> guides;
  append_unique_degree(guides, first_degree_where(required, third));
  append_unique_degree(guides, first_degree_where(required, seventh));
  append_unique_degree(guides, first_degree_where(degrees, third));
  append_unique_degree(guides, first_degree_where(degrees, seventh));
  return guides;
}

int guide_tone_degree_count(const parsed_chord& chord, const std::vector<tab_position>& positions) {
  return count_present_degrees(chord, positions, guide_tone_degrees(chord));
}

int missing_guide_tone_count(const parsed_chord& chord,
                             const std::vector<tab_position>& positions) {
  const auto guides = guide_tone_degrees(chord);
  if (guides.size() < 2) return 0;
  return static_cast<int>(guides.size()) - count_present_degrees(chord, positions, guides);
}

std::vector<std::string> required_color_degrees(const parsed_chord& chord) {
  const auto& source =
      is_altered_dominant(chord) ? chord.formula.optional_degrees : chord.formula.required_degrees;
  std::vector<std::string> colors;
  for (const auto& degree : source) {
    if (is_required_color_degree(degree)) append_unique_degree(colors, degree);
  }
  return colors;
}

int required_color_degree_count(const parsed_chord& chord,
                                const std::vector<tab_position>& positions) {
  const auto colors = required_color_degrees(chord);
  if (is_altered_dominant(chord)) return contains_any_degree(chord, positions, colors) ? 1 : 0;
  return count_present_degrees(chord, positions, colors);
}

int missing_required_color_count(const parsed_chord& chord,
                                 const std::vector<tab_position>& positions) {
  const auto colors = required_color_degrees(chord);
  if (colors.empty()) return 0;
  if (is_altered_dominant(chord)) return contains_any_degree(chord, positions, colors) ? 0 : 1;
  return static_cast<int>(colors.size()) - count_present_degrees(chord, positions, colors);
}

bool basic_shell_preferred(const parsed_chord& chord) {
  return required_color_degrees(chord).empty() &&
         quality_is_one_of(chord, {"major7", "minor7", "dominant7"});
}

bool color_shell_preferred(const parsed_chord& chord) {
  return required_color_degrees(chord).size() == 1;
}

std::vector<std::string> compact_full_melody_degrees(const parsed_chord& chord) {
  if (!quality_is_one_of(chord, {"major7", "minor7", "dominant7", "half_diminished7"})) return {};
  std::vector<std::string> degrees;
  for (const auto& degree : chord.formula.degrees) append_unique_degree(degrees, degree);
  if (degrees.size() != 4) return {};
  return degrees;
}

// Chord grip score and shape predicates

int chord_candidate_score(const parsed_chord& chord, const std::vector<tab_position>& positions,
                          bool allow_two_note, bool melody_mode) {
  const auto& required = chord.formula.required_degrees;
  const auto colors = required_color_degrees(chord);
  const auto guides = guide_tone_degrees(chord);
  const int missing_colors = missing_required_color_count(chord, positions);
  const int missing_guides = missing_guide_tone_count(chord, positions);

  int score = 105 * fret_span(positions) + 24 * std::abs(anchor_fret(positions) - 5) +
              high_fret_region_penalty(positions) + compact_jazz_shape_penalty(positions);
  score += per_position_score(positions);

  const int sounded_required = count_present_degrees(chord, positions, required);
  score += -230 * sounded_required + 900 * (static_cast<int>(required.size()) - sounded_required);
  score += 1200 * missing_colors - 180 * required_color_degree_count(chord, positions);
  score -= 55 * count_present_degrees(chord, positions, chord.formula.degrees);
  score += 2600 * missing_guides - 360 * count_present_degrees(chord, positions, guides);
  if (missing_guides > 0) {
    if (positions_contain_degree(chord, positions, "1")) score += 620;
    if (contains_any_degree(chord, positions, {"5", "b5", "#5"})) score += 620;
  }

  bool compact = false;
  if (melody_mode) {
    score +=
        melody_mode_score(positions, allow_two_note, guides.size(), missing_guides, missing_colors);
    compact = positions_are_compact_full_melody_chord(chord, positions);
  }
  score += shell_score(chord, positions, colors.size(), missing_colors);
  score += grip_size_score(positions.size(), colors.empty(), allow_two_note, melody_mode);
  if (compact) score -= 4300;
  score += register_score(positions);
  return score;
}

int high_fret_region_penalty(const std::vector<tab_position>& positions) {
  int penalty = 0;
  for (const auto& position : positions) penalty += fret_height_penalty(position.fret);
  const int anchor = anchor_fret(positions);
  if (anchor > 5) penalty += 125 * (anchor - 5);
  if (anchor > 7) penalty += 140 * (anchor - 7);
  return penalty;
}

bool is_low_chord_string(const tab_position& position) {
  return position.string_number == 5 || position.string_number == 6;
}

bool has_gap_free_upper_cluster(const std::vector<tab_position>& positions) {
  if (positions.empty()) return false;
  auto upper = positions;
  if (upper.size() >= 2) {
    const auto bass = *lowest_position(upper);
    if (is_low_chord_string(bass)) {
      std::erase_if(
          upper, [&](const tab_position& position) { return same_tab_position(position, bass); });
      if (upper.empty()) return true;
    }
  }
  if (!positions_use_upper_melody_strings(upper)) return false;
  const auto strings = chord_string_numbers(upper);
  if (strings.size() != upper.size()) return false;
  return strings.front() - strings.back() + 1 == static_cast<int>(strings.size());
}

bool melody_chord_positions_allowed(const std::vector<tab_position>& positions, bool melody_chord) {
  return !melody_chord || has_gap_free_upper_cluster(positions);
}

std::optional<int> bass_to_upper_string_distance(const std::vector<tab_position>& positions) {
  if (positions.size() < 2) return std::nullopt;
  const auto bass = *lowest_position(positions);
  if (!is_low_chord_string(bass)) return std::nullopt;
  std::optional<int> distance;
  for (const auto& position : positions) {
    if (same_tab_position(position, bass)) continue;
    const int strings_apart = std::abs(bass.string_number - position.string_number);
    if (!distance || strings_apart < *distance) distance = strings_apart;
  }
  return distance;
}

std::optional<tab_position> position_matching(const tab_position& position,
                                              const std::vector<tab_position>& positions) {
  const auto found =
      std::find_if(positions.begin(), positions.end(),
                   [&](const tab_position& entry) { return same_tab_position(entry, position); });
  if (found == positions.end()) return std::nullopt;
  return *found;
}

bool positions_are_compact_full_melody_chord(const parsed_chord& chord,
                                             const std::vector<tab_position>& positions) {
  const auto degrees = compact_full_melody_degrees(chord);
  return !degrees.empty() && positions.size() == degrees.size() &&
         positions_use_upper_melody_strings(positions) && has_gap_free_upper_cluster(positions) &&
         all_degrees_present(chord, positions, degrees) &&
         formula_degree_count(chord, positions) == static_cast<int>(degrees.size());
}

// Stock fingering

int stock_fingering_score(const std::vector<tab_position>& positions) {
  int score = fingering_local_score(positions);
  if (!positions_have_valid_fingering(positions)) return score;
  score += bass_finger_score(positions);
  score += same_fret_neighbour_score(positions);
  score += stock_barre_score(positions);
  return score;
}

std::vector<fingered_position_candidate> stock_fingering_candidates(
    const std::vector<tab_position>& positions) {
  auto variants = fingering_variants(positions);
  sort_by_ascending_key(variants, [](const std::vector<tab_position>& variant) {
    return std::pair{stock_fingering_score(variant), position_list_order_key(variant)};
  });
  std::vector<fingered_position_candidate> candidates;
  for (auto& variant : variants) {
    if (candidates.size() == 4) break;
    const int cost = stock_fingering_score(variant);
    candidates.push_back({std::move(variant), cost, false});
  }
  return candidates;
}

// Chord candidates

std::vector<grip_candidate> stock_guitar_shape_candidates(const parsed_chord& chord,
                                                          bool allow_two_note, bool melody_chord,
                                                          bool melody_mode) {
  const generation_flags flags{allow_two_note, melody_chord, melody_mode};
  std::vector<grip_candidate> candidates;
  for (const auto& shape : stock_guitar_shapes(chord)) {
    if (shape.degrees.size() == 2 && !allow_two_note) continue;
    realise_template(chord, {shape.degrees, shape.strings, shape.score, stock_shape_label}, flags,
                     candidates);
  }
  return candidates;
}

std::vector<grip_candidate> standard_jazz_chord_candidates(const parsed_chord& chord,
                                                           bool allow_two_note, bool melody_chord,
                                                           bool melody_mode) {
  const generation_flags flags{allow_two_note, melody_chord, melody_mode};
  auto candidates = stock_guitar_shape_candidates(chord, allow_two_note, melody_chord, melody_mode);
  if (melody_mode) {
    for (auto& exact : electric_melody_exact_grip_candidates(chord)) {
      add_unique_candidate(candidates, std::move(exact));
    }
  }
  auto plans = standard_jazz_degree_plans(chord);
  if (melody_mode) {
    add_electric_full_melody_chord_plans(chord, plans);
    sort_jazz_degree_plans(plans);
  }
  for (const auto& plan : plans) {
    if (plan.degrees.size() == 2 && !allow_two_note) continue;
    for (const auto& set : standard_jazz_string_sets(plan.degrees.size())) {
      realise_template(chord,
                       {plan.degrees, set.strings, plan.penalty + set.penalty, standard_jazz_label},
                       flags, candidates);
    }
  }
  sort_candidates_by_score(candidates);
  return candidates;
}

std::vector<grip_candidate> chord_candidates(const parsed_chord& chord, bool allow_two_note,
                                             bool melody_chord, bool melody_mode) {
  return standard_jazz_chord_candidates(chord, allow_two_note, melody_chord, melody_mode);
}

std::vector<grip_candidate> melody_mode_chord_candidates(const parsed_chord& chord,
                                                         bool allow_two_note, bool melody_chord) {
  std::vector<grip_candidate> upper;
  for (const auto& candidate :
       standard_jazz_chord_candidates(chord, allow_two_note, melody_chord, true)) {
    if (positions_use_upper_melody_strings(candidate.positions)) {
      add_unique_candidate(upper, candidate);
    }
  }
  sort_candidates_by_score(upper);
  return upper;
}

}  // namespace orvanta::arrangement_detail
