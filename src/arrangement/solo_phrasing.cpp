#include "arrangement/solo_phrasing.hpp"

#include "arrangement/melody_path.hpp"
#include "arrangement/solo_theory.hpp"
#include "arrangement/source.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::int64_t shortest_mini_chord_note = 8192;
constexpr int highest_option_fret = 12;
constexpr std::size_t options_per_string = 8;
constexpr std::array<std::size_t, 3> mini_chord_sizes{4, 3, 2};

// True when the shape's strings, in ascending order, are exactly 1, 2, ..., n.
bool positions_use_acoustic_solo_mini_chord_strings(const std::vector<tab_position>& positions) {
  std::vector<int> strings;
  strings.reserve(positions.size());
  for (const auto& position : positions) strings.push_back(position.string_number);
  std::ranges::sort(strings);
  for (std::size_t index = 0; index < strings.size(); ++index) {
    if (strings[index] != static_cast<int>(index) + 1) return false;
  }
  return true;
}

// Validates one complete shape and adds each of its valid fingerings, scored for the hand's
// comfort, its height on the neck and the chord tones it shows.
void add_acoustic_solo_mini_chord_candidates(std::vector<grip_candidate>& output,
                                             const parsed_chord& chord,
                                             const solo_phrase_event& note,
                                             const std::vector<tab_position>& shape) {
  if (shape.size() < 2 || shape.size() > 4 || !positions_use_upper_melody_strings(shape) ||
      !positions_use_acoustic_solo_mini_chord_strings(shape) || !contains_midi(shape, note.midi) ||
      !positions_have_string_order(shape) || !positions_playable(shape)) {
    return;
  }
  const bool melody_on_top = top_midi_matches(shape, note.midi);
  for (const auto& variant : stock_fingering_candidates(shape)) {
    const auto& fingered = variant.positions;
    if (!positions_have_valid_fingering(fingered)) continue;
    const std::int64_t score = std::int64_t{variant.cost} + stock_fingering_score(fingered) +
                               high_fret_region_penalty(fingered) +
                               compact_jazz_shape_penalty(fingered) +
                               28 * std::abs(std::int64_t{anchor_fret(fingered)} - 5) +
                               140 * std::int64_t{missing_guide_tone_count(chord, fingered)} +
                               80 * std::int64_t{missing_required_color_count(chord, fingered)} -
                               95 * std::int64_t{guide_tone_degree_count(chord, fingered)} -
                               45 * std::int64_t{required_color_degree_count(chord, fingered)} -
                               18 * static_cast<std::int64_t>(fingered.size());
    add_unique_candidate(output, {.positions = fingered,
                                  .label = "acoustic-solo-mini-chord",
                                  .score = clamp_to_int(score),
                                  .note_index = -1,
                                  .melody_on_top = melody_on_top,
                                  .contains_melody = true});
  }
}

// False when no shape completed from `shape` and the option could pass the validation: the
// pitches must fall from string 1 down and the fretted frets span less than five. Cutting such
// branches early leaves the valid shapes and their order as they are.
bool may_complete_shape(const std::vector<tab_position>& shape, const tab_position& option) {
  if (!shape.empty() && option.midi >= shape.back().midi) return false;
  if (option.fret == 0) return true;
  return std::ranges::none_of(shape, [&](const tab_position& position) {
    return position.fret > 0 && std::abs(position.fret - option.fret) >= 5;
  });
}

// Every combination of one option per string (string 1 varying slowest) whose pitches all differ,
// each complete shape handed to the validation.
void build_acoustic_solo_mini_chord_shapes(std::vector<grip_candidate>& output,
                                           const parsed_chord& chord, const solo_phrase_event& note,
                                           const std::vector<int>& strings,
                                           const std::vector<std::vector<tab_position>>& options,
                                           std::size_t depth, std::vector<tab_position>& shape) {
  if (depth >= strings.size()) {
    add_acoustic_solo_mini_chord_candidates(output, chord, note, shape);
    return;
  }
  for (const auto& option : options[depth]) {
    if (contains_string(shape, option.string_number) || contains_midi(shape, option.midi) ||
        !may_complete_shape(shape, option)) {
      continue;
    }
    shape.push_back(option);
    build_acoustic_solo_mini_chord_shapes(output, chord, note, strings, options, depth + 1, shape);
    shape.pop_back();
  }
}

// The shapes of one size; nothing when a string has no option or no option sounds the solo note.
std::vector<grip_candidate> mini_chords_of_size(const parsed_chord& chord,
                                                const solo_phrase_event& note, std::size_t size) {
  std::vector<int> strings;
  std::vector<std::vector<tab_position>> options;
  bool sounds_note = false;
  for (std::size_t string_number = 1; string_number <= size; ++string_number) {
    strings.push_back(static_cast<int>(string_number));
    options.push_back(acoustic_solo_mini_chord_position_options(chord, note, strings.back()));
    if (options.back().empty()) return {};
    sounds_note = sounds_note || contains_midi(options.back(), note.midi);
  }
  if (!sounds_note) return {};
  std::vector<grip_candidate> output;
  std::vector<tab_position> shape;
  build_acoustic_solo_mini_chord_shapes(output, chord, note, strings, options, 0, shape);
  return output;
}

}  // namespace

std::vector<grip_candidate> playable_acoustic_solo_mini_chord_candidates(
    const solo_profile_config& config, const solo_phrase_event& note, const parsed_chord* chord) {
  if (config.is_electric != 0 || chord == nullptr ||
      note.duration_ticks < shortest_mini_chord_note) {
    return {};
  }
  std::vector<grip_candidate> output;
  for (const auto size : mini_chord_sizes) {
    output = mini_chords_of_size(*chord, note, size);
    if (!output.empty()) break;
  }
  sort_candidates_by_score(output);
  return output;
}

std::vector<tab_position> acoustic_solo_mini_chord_position_options(const parsed_chord& chord,
                                                                    const solo_phrase_event& note,
                                                                    int string_number) {
  std::vector<tab_position> options;
  const auto solo_places = positions_for_midi(note.midi, {string_number});
  if (!solo_places.empty() && solo_places.front().fret <= highest_option_fret) {
    options.push_back(solo_places.front());
  }
  if (const auto open = open_midi_for_string(string_number)) {
    const auto targets = chord_target_pcs(chord);
    for (int fret = 0; fret <= highest_option_fret; ++fret) {
      const tab_position position{.string_number = string_number,
                                  .fret = fret,
                                  .midi = *open + fret,
                                  .finger = std::nullopt};
      if (std::ranges::find(targets, normalize_pc(position.midi)) == targets.end()) continue;
      const bool listed = std::ranges::any_of(
          options, [&](const tab_position& option) { return same_tab_position(option, position); });
      if (!listed) options.push_back(position);
    }
  }
  const auto guide_tones = guide_tone_degrees(chord);
  sort_by_ascending_key(options, [&](const tab_position& position) {
    int key = 12 * std::abs(position.fret - 5);
    if (position.midi == note.midi) key -= 80;
    if (position_matches_any_degree(chord, position, guide_tones)) key -= 32;
    return std::array<int, 4>{key, position.midi, position.fret, position.string_number};
  });
  if (options.size() > options_per_string) options.resize(options_per_string);
  return options;
}

}  // namespace orvanta::arrangement_detail
