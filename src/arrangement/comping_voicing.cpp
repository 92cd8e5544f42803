#include "arrangement/comping_voicing.hpp"

#include "arrangement/melody_path.hpp"
#include "arrangement/patterns.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing_plans.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::string_view acoustic_comping_label = "acoustic-comping-final";
constexpr std::string_view electric_stab_label = "electric-stab-final";
constexpr std::size_t most_acoustic_candidates = 48;
constexpr std::size_t most_stab_candidates = 48;

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

// The bass of a voicing: its lowest note, when that lies on string 5 or 6. Every position that is
// not that one is an upper note.
std::optional<tab_position> low_bass_of(const std::vector<tab_position>& positions) {
  auto bass = lowest_position(positions);
  if (!bass || !is_low_chord_string(*bass)) return std::nullopt;
  return bass;
}

// True when upper notes on these strings (2, 3 and 4; or 3 and 4 over string 6; or 2 and 3 over
// string 5; each once) may sound over a bass on that string.
bool is_acoustic_comping_layout(int bass_string, std::span<const int> upper_strings) {
  if (upper_strings.size() < 2 || upper_strings.size() > 3) return false;
  std::array<bool, 5> used{};
  for (const int string_number : upper_strings) {
    if (string_number < 2 || string_number > 4) return false;
    if (used[static_cast<std::size_t>(string_number)]) return false;
    used[static_cast<std::size_t>(string_number)] = true;
  }
  if (upper_strings.size() == 3) return true;
  return (bass_string == 6 && used[3] && used[4]) || (bass_string == 5 && used[2] && used[3]);
}

bool is_fretted(const tab_position& position) { return position.fret > 0; }

// The distance between two string numbers or two frets, held to a bound no grip comes near, so
// that the products of the reach penalty stay far inside 64 bits whatever a caller passes.
std::int64_t distance(int from, int to) {
  return std::min<std::int64_t>(std::abs(std::int64_t{from} - to), std::int64_t{1} << 20);
}

std::int64_t reach_penalty(const tab_position& bass, const tab_position& other) {
  const std::int64_t strings = distance(bass.string_number, other.string_number);
  if (!is_fretted(bass) || !is_fretted(other)) return 55 * std::max<std::int64_t>(strings - 2, 0);
  const std::int64_t frets = distance(bass.fret, other.fret);
  std::int64_t penalty = 180 * std::max<std::int64_t>(strings - 1, 0) * frets;
  if (other.string_number == 2) {
    if (bass.string_number == 6 && frets > 1) penalty += 620 * (frets - 1);
    if (bass.string_number == 5 && frets > 2) penalty += 420 * (frets - 2);
  }
  return penalty;
}

bool stretch_too_wide(const tab_position& bass, const tab_position& other) {
  if (!is_fretted(bass) || !is_fretted(other)) return false;
  const std::int64_t strings = distance(bass.string_number, other.string_number);
  const std::int64_t frets = distance(bass.fret, other.fret);
  return (strings > 3 && frets > 2) || (strings > 2 && frets > 3);
}

// True when positions sorted by pitch obey every rule of a voicing but fingering.
bool acoustic_rules_hold(const std::vector<tab_position>& positions) {
  return positions_use_acoustic_comping_strings(positions) &&
         chord_positions_have_coherent_fret_region(positions) &&
         acoustic_bass_upper_reach_playable(positions) && fret_span(positions) <= 3 &&
         positions_playable(positions);
}

// The pitch classes the bass and the upper notes may sound, as sets of bits (bit pc for pitch
// class pc): the identity degrees of the chord, worked out once for all its voicings.
struct identity_classes {
  std::uint16_t bass = 0;
  std::uint16_t upper = 0;
};

std::uint16_t class_bits(const parsed_chord& chord, const std::vector<std::string>& degrees) {
  std::uint16_t bits = 0;
  for (const auto& degree : degrees) {
    if (const auto pitch_class = degree_pc(chord, degree)) {
      bits = static_cast<std::uint16_t>(bits | (1U << static_cast<unsigned>(*pitch_class)));
    }
  }
  return bits;
}

identity_classes identity_classes_of(const parsed_chord& chord) {
  return {class_bits(chord, acoustic_bass_degrees(chord)),
          class_bits(chord, acoustic_upper_identity_degrees(chord))};
}

bool sounds_one_of(const tab_position& position, std::uint16_t classes) {
  return (classes & (1U << static_cast<unsigned>(normalize_pc(position.midi)))) != 0;
}

bool sounds_only_identity_classes(const parsed_chord& chord,
                                  const std::vector<tab_position>& positions,
                                  const identity_classes& classes) {
  const auto bass = low_bass_of(positions);
  if (!bass) return false;
  return std::all_of(positions.begin(), positions.end(), [&](const tab_position& position) {
    if (same_tab_position(position, *bass)) {
      return position_matches_slash_bass(chord, position) || sounds_one_of(position, classes.bass);
    }
    return sounds_one_of(position, classes.upper);
  });
}

// What a voicing's identity and score owe to the set of pitch classes it sounds, whatever the
// positions sounding them: whether every required degree and colour sounds, and the guide tones
// and colours sounded and missed.
struct sounded_class_terms {
  bool keeps_required = false;
  int guide_tones = 0;
  int missing_guide_tones = 0;
  int colors = 0;
  int missing_colors = 0;
};

sounded_class_terms sounded_class_terms_of(const parsed_chord& chord,
                                           const std::vector<tab_position>& positions) {
  const int missing_colors = missing_required_color_count(chord, positions);
  return {
      all_degrees_present(chord, positions, chord.formula.required_degrees) && missing_colors == 0,
      guide_tone_degree_count(chord, positions), missing_guide_tone_count(chord, positions),
      required_color_degree_count(chord, positions), missing_colors};
}

std::uint16_t sounded_classes(const std::vector<tab_position>& positions) {
  std::uint16_t classes = 0;
  for (const auto& position : positions) {
    classes = static_cast<std::uint16_t>(
        classes | (1U << static_cast<unsigned>(normalize_pc(position.midi))));
  }
  return classes;
}

// What the identity test and the score of a chord's voicings need of the chord, worked out once
// per chord: the identity classes, whether it has required colours, and the terms of each set of
// pitch classes met so far (voicings of one chord sound few such sets).
struct chord_voicing_terms {
  identity_classes identity;
  bool no_required_colors = false;
  std::unordered_map<std::uint16_t, sounded_class_terms> by_classes{};
};

chord_voicing_terms voicing_terms_of(const parsed_chord& chord) {
  return {identity_classes_of(chord), required_color_degrees(chord).empty()};
}

const sounded_class_terms& class_terms_for(chord_voicing_terms& terms, const parsed_chord& chord,
                                           const std::vector<tab_position>& positions) {
  auto [entry, inserted] = terms.by_classes.try_emplace(sounded_classes(positions));
  if (inserted) entry->second = sounded_class_terms_of(chord, positions);
  return entry->second;
}

// The identity test with the chord's terms; the cheap test of the classes comes first.
bool preserves_identity(const parsed_chord& chord, const std::vector<tab_position>& positions,
                        chord_voicing_terms& terms) {
  return sounds_only_identity_classes(chord, positions, terms.identity) &&
         class_terms_for(terms, chord, positions).keeps_required;
}

// The voicing's cost from its shape and the terms of the pitch classes it sounds.
int combined_score(const std::vector<tab_position>& positions, const sounded_class_terms& terms,
                   bool no_required_colors, std::size_t upper_count) {
  const std::int64_t anchor = anchor_fret(positions);
  std::int64_t score =
      std::int64_t{260} * fret_span(positions) +
      std::int64_t{18} * max_fretted_fret_for_positions(positions) +
      high_fret_region_penalty(positions) + acoustic_bass_upper_reach_penalty(positions) +
      (anchor > 5 ? 260 * (anchor - 5) : 0) + std::int64_t{520} * terms.missing_guide_tones +
      std::int64_t{520} * terms.missing_colors - std::int64_t{180} * terms.guide_tones -
      std::int64_t{130} * terms.colors;
  const auto upper = static_cast<std::int64_t>(
      std::min<std::size_t>(upper_count, std::numeric_limits<int>::max()));
  if (no_required_colors && terms.missing_guide_tones == 0 && upper > 2) {
    score += 1300;
  } else if (terms.missing_colors == 0) {
    score -= 900 * upper;
  }
  return clamp_to_int(score);
}

int combined_score(const parsed_chord& chord, chord_voicing_terms& terms,
                   const std::vector<tab_position>& positions, std::size_t upper_count) {
  return combined_score(positions, class_terms_for(terms, chord, positions),
                        terms.no_required_colors, upper_count);
}

// The key under which a search remembers what became of a placement: fret + 1 in five bits per
// string, so equal sets of positions (one per string, frets 0 to 20) have equal keys in any order.
// Placements reach the same positions through many plans, orders and string sets, and what they
// become does not depend on the way.
using placement_key = std::uint32_t;

// A voicing has a bass and two or three upper notes; placements of any other size give nothing.
constexpr std::size_t fewest_voices = 3;
constexpr std::size_t most_voices = 4;

// What a complete placement becomes, whatever plan reached it: nothing, or the fingered voicing
// with the terms of its score that no plan changes.
struct finished_placement {
  std::optional<std::vector<tab_position>> full;
  int combined = 0;
  std::int64_t bass_and_fingering = 0;
  // Where the voicing stands in an indexed candidate list, once listed.
  std::optional<std::size_t> slot;
};

// One search for voicings of a chord: the list it fills, the places of each pitch class on each
// string, what each placement became, and the placement under way.
struct voicing_search {
  const parsed_chord& chord;
  std::vector<grip_candidate>& candidates;
  // Set when the list holds this search's voicings only: each is then found at its remembered
  // slot instead of by scanning the list.
  bool indexed = false;
  chord_voicing_terms terms = voicing_terms_of(chord);
  std::array<std::array<std::optional<std::vector<tab_position>>, 7>, 12> places{};
  std::unordered_map<placement_key, finished_placement> finished{};
  std::array<tab_position, most_voices> placed{};
  std::size_t placed_count = 0;
};

// A voice's degree: its name and its pitch class over the chord's root (none for a name that is
// no degree).
struct voice_degree {
  std::string_view name;
  std::optional<int> pitch_class;
};

voice_degree voice_degree_of(const parsed_chord& chord, std::string_view name) {
  return {name, degree_pc(chord, name)};
}

// Every place of the degree on the string, as `positions_for_degree_on_string` orders them; they
// depend on the degree's pitch class only, so each is worked out once per search.
const std::vector<tab_position>& places_of(voicing_search& search, const voice_degree& degree,
                                           int string_number) {
  static const std::vector<tab_position> nowhere;
  if (!degree.pitch_class || string_number < 1 || string_number > 6) return nowhere;
  auto& places = search.places[static_cast<std::size_t>(*degree.pitch_class)]
                              [static_cast<std::size_t>(string_number)];
  if (!places) places = positions_for_degree_on_string(search.chord, degree.name, string_number);
  return *places;
}

placement_key key_of(std::span<const tab_position> placement) {
  placement_key key = 0;
  for (const auto& position : placement) {
    key |= static_cast<placement_key>(position.fret + 1) << (5 * (position.string_number - 1));
  }
  return key;
}

// The voicing of a complete placement: split around its lowest note, kept when it obeys the
// voicing rules and the chord's identity.
finished_placement& finish_placement(voicing_search& search,
                                     std::span<const tab_position> placement) {
  auto [entry, inserted] = search.finished.try_emplace(key_of(placement));
  auto& finished = entry->second;
  if (!inserted) return finished;
  // Fingers play no part in the rules or the identity, so the costly fingering comes last; an
  // accepted voicing comes back fingered and by pitch with its bass first, and splitting it again
  // would accept it unchanged: its bass is that first note, the others its upper notes.
  std::vector<tab_position> positions{placement.begin(), placement.end()};
  sort_positions_by_pitch(positions);
  if (!acoustic_rules_hold(positions) ||
      !preserves_identity(search.chord, positions, search.terms)) {
    return finished;
  }
  auto full = assign_fingering(std::move(positions));
  if (!full || full->empty()) return finished;
  finished.combined = combined_score(search.chord, search.terms, *full, full->size() - 1);
  finished.bass_and_fingering = std::int64_t{acoustic_bass_choice_score(search.chord, *full)} +
                                fingering_local_score(*full) / 3;
  finished.full = std::move(full);
  return finished;
}

// Adds the placement's voicing at its score plus `extra`; equal positions keep the lower score.
void add_placement(voicing_search& search, std::span<const tab_position> placement, int extra) {
  auto& finished = finish_placement(search, placement);
  if (!finished.full) return;
  const int penalty = clamp_to_int(std::int64_t{finished.combined} + extra);
  const int score = clamp_to_int(penalty + finished.bass_and_fingering);
  auto& candidates = search.candidates;
  if (!search.indexed) {
    add_unique_candidate(
        candidates, {*finished.full, std::string{acoustic_comping_label}, score, -1, false, false});
  } else if (!finished.slot) {
    finished.slot = candidates.size();
    candidates.push_back(
        {*finished.full, std::string{acoustic_comping_label}, score, -1, false, false});
  } else if (score < candidates[*finished.slot].score) {
    candidates[*finished.slot].score = score;
  }
}

// False when no placement grown from the placed voices can obey the voicing rules: a note above
// fret 9 where that is barred, an upper note not above the bass, a fretted span over 3 frets, an
// open string beside fret 4 or more, a stretch from the bass too wide or too costly. Growing a
// placement never mends these, so the search leaves them; complete placements still take every
// test.
bool placement_can_finish(std::span<const tab_position> placed, std::size_t bass_voice,
                          bool below_fret_10) {
  bool has_open = false;
  int lowest_fret = 0;
  int highest_fret = 0;
  for (const auto& position : placed) {
    if (below_fret_10 && position.fret > 9) return false;
    has_open = has_open || position.fret == 0;
    highest_fret = std::max(highest_fret, position.fret);
    if (is_fretted(position)) {
      lowest_fret = lowest_fret == 0 ? position.fret : std::min(lowest_fret, position.fret);
    }
  }
  if (has_open && highest_fret >= 4) return false;
  if (lowest_fret > 0 && highest_fret - lowest_fret > 3) return false;
  if (bass_voice >= placed.size()) return true;
  const auto& bass = placed[bass_voice];
  std::int64_t reach = 0;
  for (std::size_t voice = 0; voice < placed.size(); ++voice) {
    if (voice == bass_voice) continue;
    if (placed[voice].midi < bass.midi || stretch_too_wide(bass, placed[voice])) return false;
    reach += reach_penalty(bass, placed[voice]);
  }
  return reach <= 1450;
}

// Depth first over the places of each voice on its string, skipping a string or a pitch already
// placed and placements that cannot finish; every complete placement is added.
void place_voices(voicing_search& search, std::span<const std::vector<tab_position>* const> places,
                  std::size_t bass_voice, int extra, bool below_fret_10) {
  const auto placed = std::span{search.placed}.first(search.placed_count);
  if (placed.size() == places.size()) {
    add_placement(search, placed, extra);
    return;
  }
  for (const auto& place : *places[placed.size()]) {
    if (std::any_of(placed.begin(), placed.end(), [&](const tab_position& other) {
          return other.string_number == place.string_number || other.midi == place.midi;
        })) {
      continue;
    }
    search.placed[search.placed_count++] = place;
    if (placement_can_finish(std::span{search.placed}.first(search.placed_count), bass_voice,
                             below_fret_10)) {
      place_voices(search, places, bass_voice, extra, below_fret_10);
    }
    --search.placed_count;
  }
}

// The voice that must carry the bass: the only one on string 5 or 6, with the other voices' strings
// an acoustic comping layout over it. Nothing when the strings admit no voicing at all (the layout
// of a placement is that of its strings, with the bass its lowest note).
std::optional<std::size_t> bass_voice_of(std::span<const int> strings) {
  std::optional<std::size_t> bass_voice;
  std::array<int, most_voices> upper_strings{};
  std::size_t upper_count = 0;
  for (std::size_t voice = 0; voice < strings.size(); ++voice) {
    if (strings[voice] == 5 || strings[voice] == 6) {
      if (bass_voice) return std::nullopt;
      bass_voice = voice;
    } else if (upper_count < upper_strings.size()) {
      upper_strings[upper_count++] = strings[voice];
    }
  }
  if (!bass_voice || !is_acoustic_comping_layout(strings[*bass_voice],
                                                 std::span{upper_strings}.first(upper_count))) {
    return std::nullopt;
  }
  return bass_voice;
}

// Every voicing with the i-th degree on the i-th string (and no note above fret 9 when
// `below_fret_10`), at its score plus `extra`.
void search_voicings(voicing_search& search, std::span<const voice_degree> degrees,
                     std::span<const int> strings, int extra, bool below_fret_10) {
  const std::size_t voices = strings.size();
  if (voices < fewest_voices || voices > most_voices) return;
  const auto bass_voice = bass_voice_of(strings);
  if (!bass_voice) return;
  std::array<const std::vector<tab_position>*, most_voices> places{};
  for (std::size_t voice = 0; voice < voices; ++voice) {
    places[voice] = &places_of(search, degrees[voice], strings[voice]);
  }
  search.placed_count = 0;
  place_voices(search, std::span{places}.first(voices), *bass_voice, extra, below_fret_10);
}

void search_shape(voicing_search& search, std::span<const acoustic_shape_voice> shape,
                  int penalty) {
  if (shape.size() < fewest_voices || shape.size() > most_voices) return;
  std::array<voice_degree, most_voices> degrees{};
  std::array<int, most_voices> strings{};
  for (std::size_t voice = 0; voice < shape.size(); ++voice) {
    if (!degree_is_available(search.chord, shape[voice].degree)) return;
    degrees[voice] = voice_degree_of(search.chord, shape[voice].degree);
    strings[voice] = shape[voice].string_number;
  }
  search_voicings(search, std::span{degrees}.first(shape.size()),
                  std::span{strings}.first(shape.size()), penalty, true);
}

// Every voicing of the plan in every order of its degrees on the string sets of its size. The
// orders are those of the names sorted byte-wise and permuted lexicographically, taken as ranks
// (equal names, equal ranks) so that the names are compared once.
void search_plan(voicing_search& search, const acoustic_degree_plan_candidate& plan) {
  const auto names = sorted_degree_key(plan.degrees);
  const auto string_sets = acoustic_comping_string_sets(names.size());
  if (string_sets.empty()) return;
  std::array<voice_degree, most_voices> degree_of_rank{};
  std::array<std::size_t, most_voices> ranks{};
  for (std::size_t voice = 0; voice < names.size(); ++voice) {
    degree_of_rank[voice] = voice_degree_of(search.chord, names[voice]);
    ranks[voice] = static_cast<std::size_t>(std::find(names.begin(), names.end(), names[voice]) -
                                            names.begin());
  }
  const auto order = std::span{ranks}.first(names.size());
  std::array<voice_degree, most_voices> degrees{};
  do {
    for (std::size_t voice = 0; voice < order.size(); ++voice) {
      degrees[voice] = degree_of_rank[order[voice]];
    }
    for (const auto& strings : string_sets) {
      search_voicings(search, std::span{degrees}.first(order.size()), strings, plan.penalty / 8,
                      false);
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

void search_preferred_shapes(voicing_search& search) {
  for (const auto& shape : acoustic_exact_shapes) {
    if (shape.quality == search.chord.formula.quality) {
      search_shape(search, shape.voices, shape.penalty);
    }
  }
}

// Keeps the first `most` candidates of a list sorted by score.
void keep_best(std::vector<grip_candidate>& candidates, std::size_t most) {
  sort_candidates_by_score(candidates);
  if (candidates.size() > most) candidates.resize(most);
}

// The anchors that have a chord, each with the candidates `candidates_for` makes for it, and
// left out when they are none. The candidates are a function of the chord and the anchor's grips,
// so anchors alike in both (a chord that comes back in a section) share the candidates made for
// the first of them in this call.
template <class candidates_function>
std::vector<arrangement_anchor> chord_anchors_with_candidates(
    const std::vector<arrangement_anchor>& anchors, const candidates_function& candidates_for) {
  struct made_candidates {
    const arrangement_anchor* anchor = nullptr;
    std::vector<grip_candidate> candidates;
  };
  std::vector<made_candidates> made;
  std::vector<arrangement_anchor> result;
  for (const auto& anchor : anchors) {
    if (!anchor.chord) continue;
    auto same = std::find_if(made.begin(), made.end(), [&](const made_candidates& entry) {
      return *entry.anchor->chord == *anchor.chord && entry.anchor->candidates == anchor.candidates;
    });
    if (same == made.end()) {
      made.push_back({&anchor, candidates_for(anchor)});
      same = made.end() - 1;
    }
    if (same->candidates.empty()) continue;
    // Every field but the grips, which are not copied only to be replaced.
    result.push_back({anchor.start_ticks, anchor.duration_ticks, anchor.display_ticks, anchor.chord,
                      anchor.chord_symbol, anchor.tie_to_next, anchor.tie_from_previous,
                      anchor.tuplet_id, anchor.tuplet_note_count, anchor.tuplet_space_count,
                      same->candidates});
  }
  return result;
}

bool is_upper_comping_string(const tab_position& position) {
  return position.string_number >= 2 && position.string_number <= 4;
}

// What cutting voicings out of a chord's grips needs to know of the chord, worked out once: the
// pitch classes of its formula degrees and the degree priority of each pitch class.
struct chord_cut_terms {
  std::uint16_t degree_classes = 0;
  std::array<int, 12> priority{};
};

chord_cut_terms cut_terms_of(const parsed_chord& chord) {
  chord_cut_terms terms{class_bits(chord, chord.formula.degrees), {}};
  for (int pitch_class = 0; pitch_class < 12; ++pitch_class) {
    // The priority of a position is that of its pitch class.
    terms.priority[static_cast<std::size_t>(pitch_class)] =
        position_degree_priority(chord, {1, 0, pitch_class, std::nullopt});
  }
  return terms;
}

// The order of the bass candidates: up to fret 9 first, then the lower fret, the more important
// chord tone, the lower string number.
std::tuple<bool, int, int, int> bass_order_key(const tab_position& position, int priority) {
  return {position.fret > 9, position.fret, priority, position.string_number};
}

std::vector<tab_position> bass_candidates(const chord_cut_terms& terms,
                                          const std::vector<tab_position>& positions) {
  std::vector<tab_position> basses;
  for (const auto& position : positions) {
    if (is_low_chord_string(position) && sounds_one_of(position, terms.degree_classes)) {
      basses.push_back(position);
    }
  }
  sort_by_ascending_key(basses, [&](const tab_position& position) {
    return bass_order_key(position,
                          terms.priority[static_cast<std::size_t>(normalize_pc(position.midi))]);
  });
  return basses;
}

// True when a bass and upper notes could split as a voicing as far as their strings and pitches
// tell: every upper note above the bass, on a layout allowed over the bass's string. Those that
// fail would fail the voicing rules of the split.
bool could_be_voicing(const tab_position& bass, std::span<const tab_position> upper) {
  std::array<int, 3> strings{};
  for (std::size_t index = 0; index < upper.size(); ++index) {
    if (upper[index].midi <= bass.midi) return false;
    strings[index] = upper[index].string_number;
  }
  return is_acoustic_comping_layout(bass.string_number, std::span{strings}.first(upper.size()));
}

// Calls `use(bass, upper)` for every cut of the grip that could be a voicing: for each bass
// candidate in order, the upper pool's sets of three, then of two, in ascending order of their
// bit masks (bit j for the pool's j-th note), so that the highest note index decides first.
template <class use_function>
void for_each_cut(const chord_cut_terms& terms, const std::vector<tab_position>& positions,
                  const use_function& use) {
  const auto basses = bass_candidates(terms, positions);
  if (basses.empty()) return;
  // A bass lies on string 5 or 6, so no bass is ever in the pool of another.
  const auto pool = acoustic_upper_pool_for_grip(positions, basses.front());
  const std::size_t size = pool.size();
  if (size < 2) return;
  const auto offer = [&](const tab_position& bass, std::span<const tab_position> upper) {
    if (could_be_voicing(bass, upper)) use(bass, upper);
  };
  for (const auto& bass : basses) {
    for (std::size_t third = 2; third < size; ++third) {
      for (std::size_t second = 1; second < third; ++second) {
        for (std::size_t first = 0; first < second; ++first) {
          offer(bass, std::array{pool[first], pool[second], pool[third]});
        }
      }
    }
    for (std::size_t second = 1; second < size; ++second) {
      for (std::size_t first = 0; first < second; ++first) {
        offer(bass, std::array{pool[first], pool[second]});
      }
    }
  }
}

// The bass followed by the upper notes.
std::vector<tab_position> cut_positions(const tab_position& bass,
                                        std::span<const tab_position> upper) {
  std::vector<tab_position> positions;
  positions.reserve(upper.size() + 1);
  positions.push_back(bass);
  positions.insert(positions.end(), upper.begin(), upper.end());
  return positions;
}

// Adds a voicing that keeps the chord's identity at penalty + bass choice + fingering cost / 3.
void add_comping_candidate(std::vector<grip_candidate>& candidates, const parsed_chord& chord,
                           std::vector<tab_position> full, int penalty) {
  const std::int64_t score = std::int64_t{penalty} + acoustic_bass_choice_score(chord, full) +
                             fingering_local_score(full) / 3;
  add_unique_candidate(candidates, {std::move(full), std::string{acoustic_comping_label},
                                    clamp_to_int(score), -1, false, false});
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
  // Equal degree keys are the same names the same number of times, in any order.
  const auto same = std::find_if(plans.begin(), plans.end(), [&](const auto& plan) {
    return plan.degrees.size() == degrees.size() &&
           std::is_permutation(plan.degrees.begin(), plan.degrees.end(), degrees.begin());
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
  const auto bass = low_bass_of(positions);
  if (!bass) return false;
  std::array<int, 3> upper_strings{};
  std::size_t upper_count = 0;
  for (const auto& position : positions) {
    if (same_tab_position(position, *bass)) continue;
    if (upper_count == upper_strings.size()) return false;
    upper_strings[upper_count++] = position.string_number;
  }
  return is_acoustic_comping_layout(bass->string_number,
                                    std::span{upper_strings}.first(upper_count));
}

int max_fretted_fret_for_positions(const std::vector<tab_position>& positions) {
  return max_fretted_fret(positions);
}

int acoustic_bass_upper_reach_penalty(const std::vector<tab_position>& positions) {
  const auto bass = low_bass_of(positions);
  if (!bass) return 0;
  std::int64_t penalty = 0;
  for (const auto& position : positions) {
    if (same_tab_position(position, *bass)) continue;
    penalty = std::min<std::int64_t>(penalty + reach_penalty(*bass, position),
                                     std::numeric_limits<int>::max());
  }
  return clamp_to_int(penalty);
}

bool acoustic_bass_upper_reach_playable(const std::vector<tab_position>& positions) {
  const auto bass = low_bass_of(positions);
  if (!bass) return false;
  for (const auto& position : positions) {
    if (!same_tab_position(position, *bass) && stretch_too_wide(*bass, position)) return false;
  }
  return acoustic_bass_upper_reach_penalty(positions) <= 1450;
}

std::optional<std::vector<tab_position>> playable_acoustic_combined_positions(
    std::vector<tab_position> positions) {
  sort_positions_by_pitch(positions);
  if (!acoustic_rules_hold(positions)) return std::nullopt;
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
  // Any other bass turns the chord into an inversion: it must lose to a root voicing even against
  // the bonus a third upper note earns.
  return 6000;
}

int acoustic_combined_candidate_score(const parsed_chord& chord,
                                      const std::vector<tab_position>& positions,
                                      std::size_t upper_count) {
  return combined_score(positions, sounded_class_terms_of(chord, positions),
                        required_color_degrees(chord).empty(), upper_count);
}

bool positions_only_use_acoustic_identity_degrees(const parsed_chord& chord,
                                                  const std::vector<tab_position>& positions) {
  return sounds_only_identity_classes(chord, positions, identity_classes_of(chord));
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
  const auto bass = low_bass_of(positions);
  if (!bass) return std::nullopt;
  return split_acoustic_comping_grip(positions, *bass);
}

void append_acoustic_comping_candidate(std::vector<grip_candidate>& candidates,
                                       const parsed_chord& chord, acoustic_comping_grip grip,
                                       int penalty) {
  if (!acoustic_comping_preserves_chord_identity(chord, grip.full)) return;
  add_comping_candidate(candidates, chord, std::move(grip.full), penalty);
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
  voicing_search search{chord, candidates};
  search_shape(search, shape, penalty);
}

void append_preferred_acoustic_comping_shapes(std::vector<grip_candidate>& candidates,
                                              const parsed_chord& chord) {
  voicing_search search{chord, candidates};
  search_preferred_shapes(search);
}

void append_acoustic_comping_candidates_for_degrees(std::vector<grip_candidate>& candidates,
                                                    const parsed_chord& chord,
                                                    const std::vector<std::string>& degrees,
                                                    const std::vector<int>& strings, int penalty) {
  if (degrees.size() != strings.size() || degrees.size() > most_voices) return;
  std::array<voice_degree, most_voices> voices{};
  for (std::size_t voice = 0; voice < degrees.size(); ++voice) {
    voices[voice] = voice_degree_of(chord, degrees[voice]);
  }
  voicing_search search{chord, candidates};
  search_voicings(search, std::span{voices}.first(degrees.size()), strings, penalty / 8, false);
}

std::vector<grip_candidate> acoustic_comping_candidates_for_chord(const parsed_chord& chord) {
  std::vector<grip_candidate> candidates;
  voicing_search search{chord, candidates, true};
  search_preferred_shapes(search);
  for (const auto& plan : acoustic_degree_plans_for_chord(chord)) search_plan(search, plan);
  keep_best(candidates, most_acoustic_candidates);
  return candidates;
}

// Acoustic comping anchors

std::vector<tab_position> acoustic_upper_pool_for_grip(const std::vector<tab_position>& positions,
                                                       const tab_position& bass) {
  std::vector<tab_position> pool;
  for (const auto& position : positions) {
    if (is_upper_comping_string(position) && !same_tab_position(position, bass)) {
      pool.push_back(position);
    }
  }
  sort_by_ascending_key(pool, [](const tab_position& position) {
    return std::tuple{position.string_number, position.fret, position.midi};
  });
  return pool;
}

std::vector<tab_position> acoustic_bass_candidates_for_grip(
    const parsed_chord& chord, const std::vector<tab_position>& positions) {
  return bass_candidates(cut_terms_of(chord), positions);
}

std::vector<scored_acoustic_comping_grip> acoustic_comping_grips_for_candidate(
    const parsed_chord& chord, const std::vector<tab_position>& positions) {
  std::vector<scored_acoustic_comping_grip> grips;
  for_each_cut(cut_terms_of(chord), positions,
               [&](const tab_position& bass, std::span<const tab_position> upper) {
                 auto grip = split_acoustic_comping_grip(cut_positions(bass, upper), bass);
                 if (!grip) return;
                 const int score =
                     acoustic_combined_candidate_score(chord, grip->full, upper.size());
                 grips.push_back({std::move(*grip), score});
               });
  return grips;
}

std::vector<arrangement_anchor> acoustic_comping_anchors_for_anchors(
    const std::vector<arrangement_anchor>& anchors) {
  // What each chord gives whatever its grips, worked out once per chord in this call: its own
  // voicings and the terms of cutting voicings out of its grips.
  struct chord_entry {
    parsed_chord chord;
    std::vector<grip_candidate> own_voicings;
    chord_cut_terms cut;
    chord_voicing_terms voicing;
  };
  std::vector<chord_entry> chords;
  const auto entry_of = [&](const parsed_chord& chord) -> chord_entry& {
    auto same = std::find_if(chords.begin(), chords.end(),
                             [&](const chord_entry& entry) { return entry.chord == chord; });
    if (same != chords.end()) return *same;
    return chords.emplace_back(chord_entry{chord, acoustic_comping_candidates_for_chord(chord),
                                           cut_terms_of(chord), voicing_terms_of(chord)});
  };
  return chord_anchors_with_candidates(anchors, [&](const arrangement_anchor& anchor) {
    const auto& chord = *anchor.chord;
    auto& entry = entry_of(chord);
    auto candidates = entry.own_voicings;
    for (const auto& candidate : anchor.candidates) {
      const int share = candidate.score / 24;
      for_each_cut(entry.cut, candidate.positions,
                   [&](const tab_position& bass, std::span<const tab_position> upper) {
                     // The identity test reads pitches only: it comes before the costly split.
                     auto voicing = cut_positions(bass, upper);
                     if (!preserves_identity(chord, voicing, entry.voicing)) return;
                     auto grip = split_acoustic_comping_grip(std::move(voicing), bass);
                     if (!grip) return;
                     const int score =
                         combined_score(chord, entry.voicing, grip->full, upper.size());
                     add_comping_candidate(candidates, chord, std::move(grip->full),
                                           clamp_to_int(std::int64_t{score} + share));
                   });
    }
    keep_best(candidates, most_acoustic_candidates);
    return candidates;
  });
}

std::vector<std::optional<acoustic_comping_grip>> selected_acoustic_comping_grips_for_anchors(
    const std::vector<arrangement_anchor>& anchors,
    std::optional<std::vector<tab_position>> previous, std::int64_t gap) {
  const auto path =
      selected_path(anchors, transition_profile::acoustic_comping, std::move(previous), gap);
  if (path.size() != anchors.size()) return {};
  std::vector<std::optional<acoustic_comping_grip>> grips;
  grips.reserve(path.size());
  for (const auto& positions : path) {
    grips.push_back(acoustic_comping_grip_from_selected_positions(positions));
  }
  return grips;
}

// Electric stabs

std::vector<tab_position> electric_stab_positions_for_grip(
    const parsed_chord& chord, const std::vector<tab_position>& positions) {
  // One note per string 1 to 4 (index 0 is string 1).
  std::array<std::optional<tab_position>, 4> slots{};
  for (const auto& position : positions) {
    if (position.string_number < 1 || position.string_number > 4) continue;
    auto& slot = slots[static_cast<std::size_t>(position.string_number - 1)];
    if (!slot ||
        position_degree_priority(chord, position) < position_degree_priority(chord, *slot)) {
      slot = position;
    }
  }
  for (const std::size_t size : {std::size_t{4}, std::size_t{3}}) {
    std::vector<tab_position> stab;
    const bool built = std::all_of(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(size),
                                   [&](const std::optional<tab_position>& slot) {
                                     return slot && add_position_if_playable(stab, *slot);
                                   });
    if (!built || stab.size() != size) continue;
    sort_positions_by_pitch(stab);
    return assigned_or_original_fingering(std::move(stab));
  }
  return {};
}

int electric_stab_candidate_score(const parsed_chord& chord,
                                  const std::vector<tab_position>& positions) {
  const std::int64_t score = std::int64_t{180} * fret_span(positions) +
                             std::int64_t{14} * max_fretted_fret_for_positions(positions) +
                             high_fret_region_penalty(positions) +
                             fingering_local_score(positions) / 4 +
                             std::int64_t{480} * missing_guide_tone_count(chord, positions) +
                             std::int64_t{480} * missing_required_color_count(chord, positions) -
                             std::int64_t{120} * guide_tone_degree_count(chord, positions) -
                             std::int64_t{100} * required_color_degree_count(chord, positions) -
                             std::int64_t{280} * static_cast<std::int64_t>(positions.size());
  return clamp_to_int(score);
}

std::vector<arrangement_anchor> electric_stab_anchors_for_anchors(
    const std::vector<arrangement_anchor>& anchors) {
  return chord_anchors_with_candidates(anchors, [](const arrangement_anchor& anchor) {
    const auto& chord = *anchor.chord;
    std::vector<grip_candidate> candidates;
    for (const auto& candidate : anchor.candidates) {
      auto stab = electric_stab_positions_for_grip(chord, candidate.positions);
      if (stab.size() < 3) continue;
      const int share = std::clamp(candidate.score / 16, -400, 400);
      const int score =
          clamp_to_int(std::int64_t{electric_stab_candidate_score(chord, stab)} + share);
      add_unique_candidate(
          candidates, {std::move(stab), std::string{electric_stab_label}, score, -1, false, false});
    }
    keep_best(candidates, most_stab_candidates);
    return candidates;
  });
}

std::vector<std::optional<electric_stab_grip>> selected_electric_stab_grips_for_anchors(
    const std::vector<arrangement_anchor>& anchors) {
  const auto path =
      selected_path(anchors, transition_profile::electric_stab_comping, std::nullopt, 4096);
  if (path.size() != anchors.size()) return {};
  std::vector<std::optional<electric_stab_grip>> grips;
  grips.reserve(path.size());
  for (const auto& positions : path) {
    grips.push_back(electric_stab_grip{assigned_or_original_fingering(positions)});
  }
  return grips;
}

}  // namespace orvanta::arrangement_detail
