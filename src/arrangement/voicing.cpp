#include "arrangement/voicing.hpp"

#include "arrangement/source.hpp"
#include "arrangement/voicing_plans.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <unordered_map>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::array<std::string_view, 9> color_degrees{"6",   "9",  "b9",  "#9", "11",
                                                        "#11", "13", "b13", "bb7"};

constexpr std::string_view stock_shape_label = "stock-guitar-shape";
constexpr std::string_view standard_jazz_label = "standard-jazz";

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

// Degree questions are asked of every grip of every chord, so a grip's pitch classes are taken
// once as a set of bits (bit pc for pitch class pc), and a degree list once as the pitch class of
// each entry (nothing for a name that is not a degree).
using pitch_class_set = std::uint16_t;
using degree_classes = std::vector<std::optional<int>>;

pitch_class_set pitch_class_bit(int pitch_class) {
  return static_cast<pitch_class_set>(1U << static_cast<unsigned>(pitch_class));
}

pitch_class_set sounded_pitch_classes(const std::vector<tab_position>& positions) {
  pitch_class_set sounded = 0;
  for (const auto& position : positions) sounded |= pitch_class_bit(normalize_pc(position.midi));
  return sounded;
}

degree_classes classes_of(const parsed_chord& chord, const std::vector<std::string>& degrees) {
  degree_classes classes;
  classes.reserve(degrees.size());
  for (const auto& degree : degrees) classes.push_back(degree_pc(chord, degree));
  return classes;
}

pitch_class_set class_set_of(const degree_classes& classes) {
  pitch_class_set set = 0;
  for (const auto& pitch_class : classes) {
    if (pitch_class) set |= pitch_class_bit(*pitch_class);
  }
  return set;
}

bool is_sounded(const std::optional<int>& pitch_class, pitch_class_set sounded) {
  return pitch_class && (sounded & pitch_class_bit(*pitch_class)) != 0;
}

int sounded_count(const degree_classes& classes, pitch_class_set sounded) {
  return static_cast<int>(std::count_if(classes.begin(), classes.end(), [&](const auto& entry) {
    return is_sounded(entry, sounded);
  }));
}

bool all_sounded(const degree_classes& classes, pitch_class_set sounded) {
  return sounded_count(classes, sounded) == static_cast<int>(classes.size());
}

int distinct_sounded_count(pitch_class_set classes, pitch_class_set sounded) {
  return std::popcount(static_cast<unsigned>(classes & sounded));
}

// An altered dominant counts as showing its colour with any one altered tone.
int sounded_color_count(const degree_classes& colors, pitch_class_set sounded, bool altered) {
  const int count = sounded_count(colors, sounded);
  return altered ? std::min(count, 1) : count;
}

int missing_color_count(const degree_classes& colors, pitch_class_set sounded, bool altered) {
  if (colors.empty()) return 0;
  const int count = sounded_count(colors, sounded);
  if (altered) return count == 0 ? 1 : 0;
  return static_cast<int>(colors.size()) - count;
}

int missing_guide_count(const degree_classes& guides, pitch_class_set sounded) {
  if (guides.size() < 2) return 0;
  return static_cast<int>(guides.size()) - sounded_count(guides, sounded);
}

bool is_compact_full_melody(const degree_classes& compact_degrees, pitch_class_set formula_set,
                            const std::vector<tab_position>& positions, pitch_class_set sounded) {
  return !compact_degrees.empty() && positions.size() == compact_degrees.size() &&
         positions_use_upper_melody_strings(positions) && has_gap_free_upper_cluster(positions) &&
         all_sounded(compact_degrees, sounded) &&
         distinct_sounded_count(formula_set, sounded) == static_cast<int>(compact_degrees.size());
}

// What the grip score asks of a chord, worked out once for all the grips of the chord.
struct chord_score_terms {
  degree_classes required;
  degree_classes colors;
  degree_classes guides;
  degree_classes formula;
  degree_classes compact_melody;
  pitch_class_set formula_set = 0;
  pitch_class_set root = 0;
  pitch_class_set fifth = 0;
  pitch_class_set any_fifth = 0;
  bool altered = false;
  bool basic_shell = false;
};

pitch_class_set degree_bit(const parsed_chord& chord, std::string_view degree) {
  const auto pitch_class = degree_pc(chord, degree);
  return pitch_class ? pitch_class_bit(*pitch_class) : pitch_class_set{0};
}

chord_score_terms score_terms_of(const parsed_chord& chord) {
  chord_score_terms terms;
  terms.required = classes_of(chord, chord.formula.required_degrees);
  terms.colors = classes_of(chord, required_color_degrees(chord));
  terms.guides = classes_of(chord, guide_tone_degrees(chord));
  terms.formula = classes_of(chord, chord.formula.degrees);
  terms.compact_melody = classes_of(chord, compact_full_melody_degrees(chord));
  terms.formula_set = class_set_of(terms.formula);
  terms.root = degree_bit(chord, "1");
  terms.fifth = degree_bit(chord, "5");
  terms.any_fifth = terms.fifth | degree_bit(chord, "b5") | degree_bit(chord, "#5");
  terms.altered = is_altered_dominant(chord);
  terms.basic_shell = basic_shell_preferred(chord);
  return terms;
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
int shell_score(const chord_score_terms& terms, std::size_t position_count, pitch_class_set sounded,
                int missing_colors) {
  const int count = static_cast<int>(position_count);
  const int distinct = distinct_sounded_count(terms.formula_set, sounded);
  const bool sounds_root = (sounded & terms.root) != 0;
  const bool sounds_fifth = (sounded & terms.fifth) != 0;
  int score = 0;
  if (terms.basic_shell) {
    if (distinct == 3) score -= 760;
    if (distinct > 3) score += 1120 * (distinct - 3);
    const int missing_required =
        static_cast<int>(terms.required.size()) - sounded_count(terms.required, sounded);
    if (missing_required > 0 && sounds_fifth) score += 1450 * missing_required;
    if (count > distinct) {
      score += sounds_root ? -300 : 2200;
      if (sounds_fifth) score += 960;
    }
  } else if (terms.colors.size() == 1) {
    if (distinct == 3) score -= 380;
    if (distinct == 4) score -= 120;
    score += sounds_root ? -360 : 2400;
    if (sounds_fifth) score += 1280;
    if (distinct > 4 && missing_colors == 0) score += 900 * (distinct - 4);
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

int grip_score(const chord_score_terms& terms, const std::vector<tab_position>& positions,
               bool allow_two_note, bool melody_mode) {
  const auto sounded = sounded_pitch_classes(positions);
  const int missing_colors = missing_color_count(terms.colors, sounded, terms.altered);
  const int missing_guides = missing_guide_count(terms.guides, sounded);

  int score = 105 * fret_span(positions) + 24 * std::abs(anchor_fret(positions) - 5) +
              high_fret_region_penalty(positions) + compact_jazz_shape_penalty(positions);
  score += per_position_score(positions);

  const int sounded_required = sounded_count(terms.required, sounded);
  score +=
      -230 * sounded_required + 900 * (static_cast<int>(terms.required.size()) - sounded_required);
  score += 1200 * missing_colors - 180 * sounded_color_count(terms.colors, sounded, terms.altered);
  score -= 55 * sounded_count(terms.formula, sounded);
  score += 2600 * missing_guides - 360 * sounded_count(terms.guides, sounded);
  if (missing_guides > 0) {
    if ((sounded & terms.root) != 0) score += 620;
    if ((sounded & terms.any_fifth) != 0) score += 620;
  }

  bool compact = false;
  if (melody_mode) {
    score += melody_mode_score(positions, allow_two_note, terms.guides.size(), missing_guides,
                               missing_colors);
    compact = is_compact_full_melody(terms.compact_melody, terms.formula_set, positions, sounded);
  }
  score += shell_score(terms, positions.size(), sounded, missing_colors);
  score += grip_size_score(positions.size(), terms.colors.empty(), allow_two_note, melody_mode);
  if (compact) score -= 4300;
  score += register_score(positions);
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

// Neighbouring notes at one fret, taken from string 6 towards string 1. Only valid fingerings get
// here, so no two positions share a string: each position's neighbour is the position on the
// nearest higher string.
int same_fret_neighbour_score(const std::vector<tab_position>& positions) {
  int score = 0;
  for (const auto& lower : positions) {
    const tab_position* upper = nullptr;
    for (const auto& other : positions) {
      if (other.string_number < lower.string_number &&
          (!upper || other.string_number > upper->string_number)) {
        upper = &other;
      }
    }
    if (!upper || !lower.finger || !upper->finger || lower.fret == 0 || lower.fret != upper->fret) {
      continue;
    }
    if (*lower.finger > *upper->finger) score += 420;
    if (*lower.finger == 1 && lower.string_number - upper->string_number > 1) score += 260;
  }
  return score;
}

int suggested_barre_missed_score(const barre_shape& preferred) {
  return preferred.string_count >= 3 ? 520 : 160;
}

int stock_barre_score(const std::vector<tab_position>& positions,
                      const std::optional<barre_shape>& preferred) {
  const auto barre = fingering_barre_shape(positions);
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

// What a valid fingering costs beyond its fingering cost in a stock chord grip; `preferred` is the
// grip's `preferred_index_barre_shape`, which its fingers do not change.
int stock_fingering_habits_score(const std::vector<tab_position>& positions,
                                 const std::optional<barre_shape>& preferred) {
  return bass_finger_score(positions) + same_fret_neighbour_score(positions) +
         stock_barre_score(positions, preferred);
}

// The places of one degree on each string (index 1 to 6), asked for by many templates of a chord.
struct degree_places {
  std::string degree;
  std::array<std::vector<tab_position>, 7> on_string;
};

std::vector<degree_places> places_of_chord_degrees(const parsed_chord& chord) {
  std::vector<std::string> degrees;
  for (const auto* list :
       {&chord.formula.degrees, &chord.formula.required_degrees, &chord.formula.optional_degrees}) {
    for (const auto& degree : *list) append_unique_degree(degrees, degree);
  }
  std::vector<degree_places> places;
  places.reserve(degrees.size());
  for (auto& degree : degrees) {
    degree_places entry{std::move(degree), {}};
    for (int string_number = 1; string_number <= 6; ++string_number) {
      entry.on_string[static_cast<std::size_t>(string_number)] =
          positions_for_degree_on_string(chord, entry.degree, string_number);
    }
    places.push_back(std::move(entry));
  }
  return places;
}

// Two candidates are one grip when they serve the same note with the same fingered positions.
bool same_grip(const grip_candidate& entry, const grip_candidate& candidate) {
  // Size and lowest note first: most entries differ there, and cheaply.
  return entry.note_index == candidate.note_index &&
         entry.positions.size() == candidate.positions.size() &&
         (candidate.positions.empty() || entry.positions.front() == candidate.positions.front()) &&
         same_fingered_positions(entry.positions, candidate.positions);
}

std::size_t grip_hash(const grip_candidate& candidate) {
  std::uint64_t hash = static_cast<std::uint64_t>(candidate.note_index);
  const auto mix = [&hash](std::int64_t value) {
    hash = (hash ^ static_cast<std::uint64_t>(value)) * 0x100000001b3ull;
  };
  for (const auto& position : candidate.positions) {
    mix(position.string_number);
    mix(position.fret);
    mix(position.midi);
    mix(position.finger.value_or(-1));
  }
  return static_cast<std::size_t>(hash);
}

// A grip has at most four notes, so a template of more voices yields none.
constexpr std::size_t most_voices = 4;

// What one call for a chord's grips shares among all its templates.
struct grip_generation {
  const parsed_chord& chord;
  chord_score_terms score_terms;
  std::vector<degree_places> places;
  // The string sets of two-, three- and four-degree plans.
  std::array<std::vector<jazz_string_set>, 3> string_sets;
  bool allow_two_note = false;
  bool melody_chord = false;
  bool melody_mode = false;
  // Only grips wholly on strings 1 to 4 are wanted.
  bool upper_strings_only = false;
  std::vector<grip_candidate> candidates;
  // Where each grip of `candidates` stands, by `grip_hash`: a generation stores thousands of
  // candidates, and a linear search for duplicates would dominate its time.
  std::unordered_multimap<std::size_t, std::size_t> candidate_slots;
  // The partial grip of the template being realised.
  std::vector<tab_position> placed;
};

// The insertion rule of `add_unique_candidate`, found through the generation's index.
void add_generated_candidate(grip_generation& generation, grip_candidate candidate) {
  sort_positions_by_pitch(candidate.positions);
  const auto hash = grip_hash(candidate);
  auto& candidates = generation.candidates;
  const auto [first, last] = generation.candidate_slots.equal_range(hash);
  for (auto slot = first; slot != last; ++slot) {
    auto& entry = candidates[slot->second];
    if (!same_grip(entry, candidate)) continue;
    if (candidate.score < entry.score) entry = std::move(candidate);
    return;
  }
  generation.candidate_slots.emplace(hash, candidates.size());
  candidates.push_back(std::move(candidate));
}

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

// False when no grip grown from the partial grip plus this place (on a string of its own) can pass
// the chord tests: a pitch that does not rise from the lowest string, a fretted span of 5 frets or
// more, or an open string beside a fret of 4 or more. Growing a grip never mends these, so the
// search skips them; the complete grips still take every test.
bool place_can_complete_a_grip(const std::vector<tab_position>& placed, const tab_position& place) {
  bool has_open = place.fret == 0;
  int lowest_fret = place.fret > 0 ? place.fret : 0;
  int highest_fret = place.fret;
  for (const auto& other : placed) {
    const bool other_is_lower = other.string_number > place.string_number;
    if (other_is_lower ? other.midi >= place.midi : other.midi <= place.midi) return false;
    has_open = has_open || other.fret == 0;
    highest_fret = std::max(highest_fret, other.fret);
    if (other.fret > 0) {
      lowest_fret = lowest_fret == 0 ? other.fret : std::min(lowest_fret, other.fret);
    }
  }
  if (lowest_fret > 0 && highest_fret - lowest_fret >= 5) return false;
  return !(has_open && highest_fret >= 4);
}

void add_realised_grip(grip_generation& generation, const std::vector<tab_position>& placed,
                       const voicing_template& voicing) {
  // No two places of a grip share a pitch, so the order by pitch is total.
  auto grip = placed;
  std::sort(grip.begin(), grip.end(), [](const tab_position& left, const tab_position& right) {
    return left.midi < right.midi;
  });
  if (!grip_passes_chord_tests(grip, generation.melody_chord)) return;
  const int grip_cost =
      grip_score(generation.score_terms, grip, generation.allow_two_note, generation.melody_mode);
  for (auto& variant : stock_fingering_candidates(grip)) {
    add_generated_candidate(generation,
                            {std::move(variant.positions), std::string{voicing.label},
                             grip_cost + variant.cost + voicing.cost, -1, false, false});
  }
}

// Depth first over the places of each voice on its string, one partial grip reused throughout.
void place_voices(grip_generation& generation,
                  std::span<const std::vector<tab_position>* const> places,
                  const voicing_template& voicing) {
  auto& placed = generation.placed;
  const std::size_t voice = placed.size();
  if (voice == places.size()) {
    add_realised_grip(generation, placed, voicing);
    return;
  }
  for (const auto& place : *places[voice]) {
    if (contains_string(placed, place.string_number) || contains_midi(placed, place.midi)) {
      continue;
    }
    if (!place_can_complete_a_grip(placed, place)) continue;
    placed.push_back(place);
    place_voices(generation, places, voicing);
    placed.pop_back();
  }
}

void realise_template(grip_generation& generation, const voicing_template& voicing) {
  const std::size_t voices = voicing.degrees.size();
  if (voices != voicing.strings.size() || voices > most_voices) return;
  if (generation.upper_strings_only &&
      std::any_of(voicing.strings.begin(), voicing.strings.end(),
                  [](int string_number) { return string_number > 4; })) {
    return;
  }
  // Templates name available degrees on strings 1 to 6, all in the chord's table of places; any
  // other voice has its places worked out here.
  std::array<std::vector<tab_position>, most_voices> other_places;
  std::array<const std::vector<tab_position>*, most_voices> places{};
  for (std::size_t voice = 0; voice < voices; ++voice) {
    const auto& degree = voicing.degrees[voice];
    const int string_number = voicing.strings[voice];
    const auto known =
        std::find_if(generation.places.begin(), generation.places.end(),
                     [&](const degree_places& entry) { return entry.degree == degree; });
    if (known != generation.places.end() && string_number >= 1 && string_number <= 6) {
      places[voice] = &known->on_string[static_cast<std::size_t>(string_number)];
    } else {
      other_places[voice] = positions_for_degree_on_string(generation.chord, degree, string_number);
      places[voice] = &other_places[voice];
    }
  }
  generation.placed.clear();
  place_voices(generation, std::span{places.data(), voices}, voicing);
}

void add_stock_shape_grips(grip_generation& generation) {
  for (const auto& shape : stock_guitar_shapes(generation.chord)) {
    if (shape.degrees.size() == 2 && !generation.allow_two_note) continue;
    realise_template(generation, {shape.degrees, shape.strings, shape.score, stock_shape_label});
  }
}

// The stock shapes, the exact grips in melody mode and the degree plans on their string sets, in
// that order, sorted by score.
std::vector<grip_candidate> generate_chord_grips(grip_generation generation) {
  add_stock_shape_grips(generation);
  if (generation.melody_mode) {
    for (auto& exact : electric_melody_exact_grip_candidates(generation.chord)) {
      add_generated_candidate(generation, std::move(exact));
    }
  }
  auto plans = standard_jazz_degree_plans(generation.chord);
  if (generation.melody_mode) {
    add_electric_full_melody_chord_plans(generation.chord, plans);
    sort_jazz_degree_plans(plans);
  }
  for (const auto& plan : plans) {
    if (plan.degrees.size() == 2 && !generation.allow_two_note) continue;
    const std::size_t size = plan.degrees.size();
    for (const auto& set : generation.string_sets[size == 3 || size == 4 ? size - 2 : 0]) {
      realise_template(
          generation, {plan.degrees, set.strings, plan.penalty + set.penalty, standard_jazz_label});
    }
  }
  sort_candidates_by_score(generation.candidates);
  return std::move(generation.candidates);
}

grip_generation generation_for(const parsed_chord& chord, bool allow_two_note, bool melody_chord,
                               bool melody_mode, bool upper_strings_only) {
  grip_generation generation{
      chord,
      score_terms_of(chord),
      places_of_chord_degrees(chord),
      {standard_jazz_string_sets(2), standard_jazz_string_sets(3), standard_jazz_string_sets(4)},
      allow_two_note,
      melody_chord,
      melody_mode,
      upper_strings_only,
      {},
      {},
      {}};
  generation.placed.reserve(most_voices);
  return generation;
}

}  // namespace

// Candidate lists

void add_unique_candidate(std::vector<grip_candidate>& candidates, grip_candidate candidate) {
  sort_positions_by_pitch(candidate.positions);
  const auto duplicate =
      std::find_if(candidates.begin(), candidates.end(),
                   [&](const grip_candidate& entry) { return same_grip(entry, candidate); });
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
  positions.reserve(2);
  for (int fret = normalize_pc(*pitch_class - *open_midi); fret <= 20; fret += 12) {
    positions.push_back({string_number, fret, *open_midi + fret, std::nullopt});
  }
  // The frets differ, so this order is total.
  std::sort(positions.begin(), positions.end(),
            [](const tab_position& left, const tab_position& right) {
              return std::pair{std::abs(left.fret - 5), left.fret} <
                     std::pair{std::abs(right.fret - 5), right.fret};
            });
  return positions;
}

bool positions_contain_degree(const parsed_chord& chord, const std::vector<tab_position>& positions,
                              std::string_view degree) {
  return is_sounded(degree_pc(chord, degree), sounded_pitch_classes(positions));
}

int count_present_degrees(const parsed_chord& chord, const std::vector<tab_position>& positions,
                          const std::vector<std::string>& degrees) {
  return sounded_count(classes_of(chord, degrees), sounded_pitch_classes(positions));
}

bool all_degrees_present(const parsed_chord& chord, const std::vector<tab_position>& positions,
                         const std::vector<std::string>& degrees) {
  return all_sounded(classes_of(chord, degrees), sounded_pitch_classes(positions));
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
  return distinct_sounded_count(class_set_of(classes_of(chord, chord.formula.degrees)),
                                sounded_pitch_classes(positions));
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
  return missing_guide_count(classes_of(chord, guide_tone_degrees(chord)),
                             sounded_pitch_classes(positions));
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
  return sounded_color_count(classes_of(chord, required_color_degrees(chord)),
                             sounded_pitch_classes(positions), is_altered_dominant(chord));
}

int missing_required_color_count(const parsed_chord& chord,
                                 const std::vector<tab_position>& positions) {
  return missing_color_count(classes_of(chord, required_color_degrees(chord)),
                             sounded_pitch_classes(positions), is_altered_dominant(chord));
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
  return grip_score(score_terms_of(chord), positions, allow_two_note, melody_mode);
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
  std::optional<tab_position> bass;
  if (positions.size() >= 2) {
    const auto lowest = *lowest_position(positions);
    if (is_low_chord_string(lowest)) bass = lowest;
  }
  const auto is_upper = [&](const tab_position& position) {
    return !bass || !same_tab_position(position, *bass);
  };
  int count = 0;
  int lowest_string = 0;
  int highest_string = 0;
  for (auto position = positions.begin(); position != positions.end(); ++position) {
    if (!is_upper(*position)) continue;
    const int string_number = position->string_number;
    if (string_number < 1 || string_number > 4) return false;
    const bool repeated = std::any_of(positions.begin(), position, [&](const tab_position& other) {
      return is_upper(other) && other.string_number == string_number;
    });
    if (repeated) return false;
    lowest_string = count == 0 ? string_number : std::min(lowest_string, string_number);
    highest_string = count == 0 ? string_number : std::max(highest_string, string_number);
    ++count;
  }
  // A bass set aside with nothing above it passes; otherwise the upper strings must be adjacent.
  return count == 0 || highest_string - lowest_string + 1 == count;
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
  return is_compact_full_melody(classes_of(chord, compact_full_melody_degrees(chord)),
                                class_set_of(classes_of(chord, chord.formula.degrees)), positions,
                                sounded_pitch_classes(positions));
}

// Stock fingering

int stock_fingering_score(const std::vector<tab_position>& positions) {
  const int score = fingering_local_score(positions);
  // Only an invalid fingering costs this much.
  if (score == invalid_fingering_cost) return score;
  return score + stock_fingering_habits_score(positions, preferred_index_barre_shape(positions));
}

std::vector<fingered_position_candidate> stock_fingering_candidates(
    const std::vector<tab_position>& positions) {
  // Each valid fingering with its fingering cost; the stock cost adds the chord-fingering habits.
  auto candidates = fingering_candidates(positions, false);
  const auto preferred = preferred_index_barre_shape(positions);
  for (auto& candidate : candidates) {
    candidate.cost += stock_fingering_habits_score(candidate.positions, preferred);
  }
  // Fingerings of one grip differ from one another, so this order is total.
  std::sort(candidates.begin(), candidates.end(),
            [](const fingered_position_candidate& left, const fingered_position_candidate& right) {
              if (left.cost != right.cost) return left.cost < right.cost;
              return position_list_order_less(left.positions, right.positions);
            });
  if (candidates.size() > 4) candidates.resize(4);
  return candidates;
}

// Chord candidates

std::vector<grip_candidate> stock_guitar_shape_candidates(const parsed_chord& chord,
                                                          bool allow_two_note, bool melody_chord,
                                                          bool melody_mode) {
  auto generation = generation_for(chord, allow_two_note, melody_chord, melody_mode, false);
  add_stock_shape_grips(generation);
  return std::move(generation.candidates);
}

std::vector<grip_candidate> standard_jazz_chord_candidates(const parsed_chord& chord,
                                                           bool allow_two_note, bool melody_chord,
                                                           bool melody_mode) {
  return generate_chord_grips(
      generation_for(chord, allow_two_note, melody_chord, melody_mode, false));
}

std::vector<grip_candidate> chord_candidates(const parsed_chord& chord, bool allow_two_note,
                                             bool melody_chord, bool melody_mode) {
  return standard_jazz_chord_candidates(chord, allow_two_note, melody_chord, melody_mode);
}

// A grip on strings 1 to 4 is never a duplicate of one reaching string 5 or 6, so leaving out the
// templates that reach those strings changes neither the grips kept nor their order.
std::vector<grip_candidate> melody_mode_chord_candidates(const parsed_chord& chord,
                                                         bool allow_two_note, bool melody_chord) {
  return generate_chord_grips(generation_for(chord, allow_two_note, melody_chord, true, true));
}

}  // namespace orvanta::arrangement_detail
