#include "arrangement/improvisation_common.hpp"

#include "arrangement/chords.hpp"
#include "arrangement/form.hpp"
#include "arrangement/fretboard.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <limits>

namespace orvanta::arrangement_detail::improvisation_detail {
namespace {

// Register arithmetic runs on 64 bits, so that no configuration or MIDI value can overflow.
using wide = std::int64_t;

constexpr std::array<improvisation_config, 3> config_rows{{
    // style, profile, low, high, center, contour %, colour bonus, seed, max leap
    {0, 0, 52, 72, 61, 42, 36, 41, 7},  // acoustic
    {1, 1, 52, 72, 61, 34, 42, 67, 8},  // electric
    {1, 1, 57, 76, 64, 60, 28, 67, 7},  // high electric
}};

// Seeds of the style families swing (0) to waltz (9).
constexpr std::array<int, 10> style_seeds{5, 3, 7, 11, 13, 17, 19, 23, 29, 31};

// Keys and harmony

bool has_family(const chord_occurrence& occurrence, chord_family family) {
  return occurrence.chord.formula.family == family;
}

bool is_major_or_minor(const chord_occurrence& occurrence) {
  return has_family(occurrence, chord_family::major) || has_family(occurrence, chord_family::minor);
}

int root_of(const chord_occurrence& occurrence) { return normalize_pc(occurrence.chord.root_pc); }

// Semitones from the root of `from` up to the root of `to`, 0..11.
int interval_up(const chord_occurrence& from, const chord_occurrence& to) {
  return normalize_pc(root_of(to) - root_of(from));
}

// True when the dominant resolves to the major or minor target: a fourth up, from a semitone
// above (tritone substitute), or to a major chord from a whole tone below (backdoor).
bool resolves(const chord_occurrence& dominant, const chord_occurrence& target) {
  if (!has_family(dominant, chord_family::dominant) || !is_major_or_minor(target)) return false;
  return interval_up(dominant, target) == 5 || interval_up(target, dominant) == 1 ||
         (has_family(target, chord_family::major) && interval_up(target, dominant) == 10);
}

// The major key a tonic chord stands for: a minor chord's relative major.
int key_of(const chord_occurrence& tonic) {
  return has_family(tonic, chord_family::minor) ? normalize_pc(root_of(tonic) - 9) : root_of(tonic);
}

const chord_occurrence* occurrence_at(const std::vector<chord_occurrence>& chords,
                                      std::size_t index, std::ptrdiff_t offset) {
  if (offset < 0 && index < static_cast<std::size_t>(-offset)) return nullptr;
  const auto position = index + static_cast<std::size_t>(offset);
  return position < chords.size() ? &chords[position] : nullptr;
}

// The key of a minor or half-diminished chord that is the II of a II-V: the key the V resolves
// to, else the key the V belongs to, seen from the II (a half-diminished II is the II of the
// relative minor).
int two_five_key(const chord_occurrence& two, const chord_occurrence* five,
                 const chord_occurrence* after_five, int fallback) {
  if (five == nullptr || !has_family(*five, chord_family::dominant) ||
      interval_up(two, *five) != 5) {
    return fallback;
  }
  if (after_five != nullptr && resolves(*five, *after_five)) return key_of(*after_five);
  const int five_key = normalize_pc(root_of(*five) + 5);
  return has_family(two, chord_family::half_diminished) ? normalize_pc(five_key - 9) : five_key;
}

int local_key_at(const std::vector<chord_occurrence>& chords, std::size_t index, int fallback) {
  const auto& current = chords[index];
  const auto* previous = occurrence_at(chords, index, -1);
  const auto* before_previous = occurrence_at(chords, index, -2);
  const auto* next = occurrence_at(chords, index, 1);
  const auto* after_next = occurrence_at(chords, index, 2);
  switch (current.chord.formula.family) {
    case chord_family::major:
    case chord_family::minor:
      if (previous != nullptr && resolves(*previous, current)) return key_of(current);
      if (has_family(current, chord_family::minor)) {
        return two_five_key(current, next, after_next, fallback);
      }
      // A IV after a V-I keeps the key of the I.
      if (previous != nullptr && before_previous != nullptr &&
          has_family(*previous, chord_family::major) && resolves(*before_previous, *previous) &&
          interval_up(*previous, current) == 5) {
        return root_of(*previous);
      }
      return fallback;
    case chord_family::dominant:
      return next != nullptr && resolves(current, *next) ? key_of(*next) : fallback;
    case chord_family::half_diminished: return two_five_key(current, next, after_next, fallback);
    default: return fallback;
  }
}

// The position of the occurrence in the list by address; nothing when it is not an element.
std::optional<std::size_t> position_in(const std::vector<chord_occurrence>& chords,
                                       const chord_occurrence* occurrence) {
  const std::less<const chord_occurrence*> before;
  if (occurrence == nullptr || chords.empty() || before(occurrence, chords.data()) ||
      !before(occurrence, chords.data() + chords.size())) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(occurrence - chords.data());
}

// The number of occurrences starting at or before the tick.
std::size_t started_count(const std::vector<chord_occurrence>& chords, std::int64_t tick) {
  const auto after = std::ranges::upper_bound(chords, tick, {}, &chord_occurrence::start_tick);
  return static_cast<std::size_t>(after - chords.begin());
}

std::optional<std::size_t> active_index(const std::vector<chord_occurrence>& chords,
                                        std::int64_t tick) {
  const auto started = started_count(chords, tick);
  for (std::size_t index = 0; index < started; ++index) {
    if (tick < chords[index].end_tick) return index;
  }
  return std::nullopt;
}

std::optional<std::size_t> next_later_index(const std::vector<chord_occurrence>& chords,
                                            std::size_t index) {
  const auto later = started_count(chords, chords[index].start_tick);
  return later < chords.size() ? std::optional(later) : std::nullopt;
}

solo_harmonic_context context_of(const std::vector<chord_occurrence>& chords, std::size_t index,
                                 std::optional<std::size_t> next, int fallback_key) {
  return solo_harmonic_context_for(chords[index].chord, next ? &chords[*next].chord : nullptr,
                                   local_key_at(chords, index, fallback_key));
}

// Measures

bool measure_holds(const source_score& score, std::size_t index, std::int64_t tick) {
  return tick >= score.measures[index].start_tick && tick < source_measure_end(score, index);
}

std::optional<std::size_t> holding_measure(const source_score& score, std::int64_t tick) {
  const auto after =
      std::ranges::upper_bound(score.measures, tick, {}, &source_measure::start_tick);
  if (after == score.measures.begin()) return std::nullopt;
  const auto index = static_cast<std::size_t>(after - score.measures.begin()) - 1;
  return measure_holds(score, index, tick) ? std::optional(index) : std::nullopt;
}

std::optional<std::size_t> leading_pickup_in_list(const source_score& score) {
  const auto pickup = leading_pickup_measure_index(score);
  return pickup && *pickup < score.measures.size() ? pickup : std::nullopt;
}

// Register

// The number of steps of 12 that cover a positive distance; 0 for none.
wide octaves_to_cover(wide distance) { return distance > 0 ? (distance + 11) / 12 : 0; }

// The register fitting with each loop of octave steps counted at once.
wide fit_register_wide(const improvisation_config& config, wide midi, std::optional<int> previous) {
  const wide low = config.low_midi;
  const wide high = config.high_midi;
  const wide leap = config.max_leap;
  midi += 12 * octaves_to_cover(low - midi);
  midi -= 12 * octaves_to_cover(midi - high);
  if (previous) {
    const wide near = *previous;
    midi -= 12 * std::min(octaves_to_cover(midi - near - leap), octaves_to_cover(midi - 6 - low));
    midi += 12 * std::min(octaves_to_cover(near - midi - leap), octaves_to_cover(high - midi - 6));
  }
  return midi;
}

wide placement_score(const improvisation_config& config, wide candidate, wide reference,
                     std::optional<int> previous) {
  wide score = 10 * std::abs(candidate - reference);
  if (previous) {
    const wide distance = std::abs(candidate - *previous);
    score += 4 * distance;
    if (distance == 0) {
      score += 55;
    } else if (distance <= 4) {
      score -= 18;
    } else if (distance > config.max_leap) {
      score += 70 * (distance - config.max_leap);
    }
  }
  if (candidate < config.low_midi) score += 22 * (config.low_midi - candidate);
  if (candidate > config.high_midi) score += 22 * (candidate - config.high_midi);
  return score;
}

}  // namespace

// Configuration

improvisation_role profile_role(guitar_solo_profile profile) {
  return profile == guitar_solo_profile::acoustic ? improvisation_role::acoustic
                                                  : improvisation_role::electric;
}

improvisation_config profile_config(improvisation_role role) {
  switch (role) {
    case improvisation_role::acoustic: return config_rows[0];
    case improvisation_role::electric: return config_rows[1];
    default: return config_rows[2];
  }
}

int style_seed(const arrangement_style_profile& style) {
  const auto family = static_cast<std::int32_t>(style.family);
  return family >= 0 && family < static_cast<std::int32_t>(style_seeds.size())
             ? style_seeds[static_cast<std::size_t>(family)]
             : style_seeds[0];
}

// Keys and harmony

int key_root_pc(const source_score& score) {
  for (const auto& measure : score.measures) {
    std::size_t position = 0;
    if (const auto pc = parse_note_name(measure.key_signature, position)) return *pc;
  }
  return 0;
}

int local_key_pc_for_chord(const std::vector<chord_occurrence>& chords,
                           const chord_occurrence* current, int fallback) {
  const auto index = position_in(chords, current);
  return index ? local_key_at(chords, *index, fallback) : fallback;
}

std::optional<solo_harmonic_context> harmonic_context_for_tick(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const improvisation_config& /*config*/, std::int64_t tick) {
  const int fallback_key = key_root_pc(score);
  if (chords.empty()) return std::nullopt;
  if (const auto current = active_index(chords, tick)) {
    return context_of(chords, *current, next_later_index(chords, *current), fallback_key);
  }
  if (tick_is_in_leading_pickup(score, tick)) {
    return context_of(chords, chords.size() - 1, 0, fallback_key);
  }
  return std::nullopt;
}

harmonic_context_table build_harmonic_context_table(const source_score& score,
                                                    const std::vector<chord_occurrence>& chords) {
  harmonic_context_table table;
  const int fallback_key = key_root_pc(score);
  table.starts.reserve(chords.size());
  table.reach.reserve(chords.size());
  table.contexts.reserve(chords.size());
  for (std::size_t index = 0; index < chords.size(); ++index) {
    table.starts.push_back(chords[index].start_tick);
    table.reach.push_back(index == 0 ? chords[index].end_tick
                                     : std::max(table.reach.back(), chords[index].end_tick));
    table.contexts.push_back(
        context_of(chords, index, next_later_index(chords, index), fallback_key));
  }
  const auto pickup = leading_pickup_in_list(score);
  if (pickup && !chords.empty()) {
    table.pickup_start = score.measures[*pickup].start_tick;
    table.pickup_end = source_measure_end(score, *pickup);
    table.pickup_context = context_of(chords, chords.size() - 1, 0, fallback_key);
  }
  return table;
}

const solo_harmonic_context* harmonic_context_at(const harmonic_context_table& table,
                                                 std::int64_t tick) {
  // Among the occurrences started by the tick, the first holding it is the first whose running
  // largest end passes the tick.
  const auto started = std::ranges::upper_bound(table.starts, tick) - table.starts.begin();
  const auto holding = std::partition_point(table.reach.begin(), table.reach.begin() + started,
                                            [tick](std::int64_t reach) { return reach <= tick; });
  if (holding != table.reach.begin() + started) {
    return &table.contexts[static_cast<std::size_t>(holding - table.reach.begin())];
  }
  if (table.pickup_context && tick >= table.pickup_start && tick < table.pickup_end) {
    return &*table.pickup_context;
  }
  return nullptr;
}

const chord_occurrence* active_chord_at(const std::vector<chord_occurrence>& chords,
                                        std::int64_t tick) {
  const auto index = active_index(chords, tick);
  return index ? &chords[*index] : nullptr;
}

const chord_occurrence* next_chord_after(const std::vector<chord_occurrence>& chords,
                                         const chord_occurrence* occurrence) {
  const auto index = position_in(chords, occurrence);
  const auto next = index ? next_later_index(chords, *index) : std::nullopt;
  return next ? &chords[*next] : nullptr;
}

bool tick_is_in_leading_pickup(const source_score& score, std::int64_t tick) {
  const auto pickup = leading_pickup_in_list(score);
  return pickup && measure_holds(score, *pickup, tick);
}

// Measures

std::size_t measure_index_for_tick(const source_score& score, std::int64_t tick,
                                   std::size_t fallback) {
  if (const auto index = holding_measure(score, tick)) return *index;
  return score.measures.empty() ? 0 : std::min(fallback, score.measures.size() - 1);
}

std::int64_t measure_end_for_tick(const source_score& score, std::int64_t tick,
                                  std::int64_t fallback_end) {
  if (score.measures.empty()) return fallback_end;
  const auto index = holding_measure(score, tick).value_or(score.measures.size() - 1);
  return source_measure_end(score, index);
}

bool slot_is_strong(const source_score& score, std::int64_t tick, std::size_t fallback) {
  if (score.measures.empty()) return tick % 4096 == 0;
  const auto& measure = score.measures[measure_index_for_tick(score, tick, fallback)];
  if (tick <= measure.start_tick) return true;
  // Exact in unsigned arithmetic because the tick lies after the start.
  const auto offset =
      static_cast<std::uint64_t>(tick) - static_cast<std::uint64_t>(measure.start_tick);
  return offset % (measure.time_signature == "6/8" ? 6144u : 4096u) == 0;
}

// Pitch-class lists

bool contains_pc(const std::vector<int>& pcs, int value) {
  return std::ranges::find(pcs, normalize_pc(value)) != pcs.end();
}

void append_pc(std::vector<int>& pcs, int value) { append_unique_pc(pcs, value); }

void append_scale_members(std::vector<int>& pcs, const std::vector<int>& listed,
                          const std::vector<int>& scale) {
  for (const int pc : listed) {
    if (contains_pc(scale, pc)) append_pc(pcs, pc);
  }
}

// Register and fretting

int midpoint_midi(const source_score& score) {
  wide sum = 0;
  wide count = 0;
  for (const auto& note : score.notes) {
    if (note.kind != "note" || note.pitches.empty()) continue;
    sum += note.pitches.front().midi;
    ++count;
  }
  return count == 0 ? 64 : clamp_to_int(sum / count);
}

int fit_register(const improvisation_config& config, int midi, std::optional<int> previous) {
  return clamp_to_int(fit_register_wide(config, midi, previous));
}

int midi_for_pc_near(const improvisation_config& config, int pitch_class, int reference,
                     std::optional<int> previous) {
  const wide lowest = wide{config.low_midi} - 12;
  const wide highest = wide{config.high_midi} + 12;
  const wide first = lowest + pc_of(wide{pitch_class} - lowest);
  // A register too narrow to hold the pitch class keeps its lowest note of it.
  wide best = first;
  wide best_score = std::numeric_limits<wide>::max();
  for (wide candidate = first; candidate <= highest; candidate += 12) {
    const wide score = placement_score(config, candidate, reference, previous);
    if (score < best_score) {
      best = candidate;
      best_score = score;
    }
  }
  return clamp_to_int(fit_register_wide(config, best, previous));
}

int top_four_playability_penalty(int midi) {
  constexpr int no_place = 20000;
  // Outside MIDI 0 to 127 no string has a place; checked first so no fret arithmetic overflows.
  if (midi < 0 || midi > 127) return no_place;
  int best = no_place;
  for (const auto& position : positions_for_midi(midi, upper_melody_strings())) {
    const int fret = position.fret;
    int cost = 12 * std::abs(fret - 5);
    if (fret > 9) cost += 150 * (fret - 9);
    if (fret > 12) cost += 420 * (fret - 12);
    best = std::min(best, cost);
  }
  return best;
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
