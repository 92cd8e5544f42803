#include "arrangement/solo.hpp"

#include "arrangement/comping_events.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/improvisation.hpp"
#include "arrangement/melody_path.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::int64_t gap_before_solo = 4096;

// What one solo sound charges for a place on the neck: per fret above 9, above 12 and above 15,
// for string 1 above fret 9, and the label of its single notes.
struct solo_fret_charges {
  std::int64_t above_nine = 0;
  std::int64_t above_twelve = 0;
  std::int64_t above_fifteen = 0;
  std::int64_t high_first_string = 0;
  const char* label = "";
};

constexpr std::array<solo_fret_charges, 2> fret_charges{{
    {210, 380, 540, 140, "acoustic-solo-note"},
    {175, 320, 540, 110, "electric-solo-note"},
}};

const solo_fret_charges& charges_for(const solo_profile_config& config) {
  return fret_charges[config.is_electric != 0 ? 1 : 0];
}

// The written pitch and its octaves, each moved into the register, each once.
std::vector<std::int64_t> target_pitches(const solo_profile_config& config, std::int64_t midi) {
  std::vector<std::int64_t> targets;
  for (const std::int64_t shift : {0, -12, 12, -24, 24}) {
    std::int64_t target = midi + shift;
    if (target < config.low_midi) target += 12 * ((config.low_midi - target + 11) / 12);
    if (target > config.high_midi) target -= 12 * ((target - config.high_midi + 11) / 12);
    if (std::ranges::find(targets, target) == targets.end()) targets.push_back(target);
  }
  return targets;
}

std::int64_t open_string_charge(int fret) {
  if (fret == 0) return 70;
  if (fret == 1) return 35;
  return 0;
}

std::int64_t high_fret_charge(const solo_fret_charges& charges, std::int64_t fret) {
  std::int64_t charge = 0;
  if (fret > 9) charge += charges.above_nine * (fret - 9);
  if (fret > 12) charge += charges.above_twelve * (fret - 12);
  if (fret > 15) charge += charges.above_fifteen * (fret - 15);
  return charge;
}

// The chord sounding at the tick: of the occurrences started by then, the last still sounding.
const parsed_chord* chord_at(const std::vector<chord_occurrence>& chords, std::int64_t tick) {
  const parsed_chord* chord = nullptr;
  for (const auto& occurrence : chords) {
    if (occurrence.start_tick > tick) break;
    if (occurrence.end_tick > tick) chord = &occurrence.chord;
  }
  return chord;
}

// The single-note candidates of the MIDI notes asked for so far in one section.
using single_note_table = std::vector<std::pair<int, std::vector<grip_candidate>>>;

// The note's single-note candidates, worked out the first time the section asks for its pitch.
const std::vector<grip_candidate>& single_note_candidates(single_note_table& table,
                                                          const solo_profile_config& config,
                                                          int midi) {
  const auto known = std::ranges::find(table, midi, &single_note_table::value_type::first);
  if (known != table.end()) return known->second;
  table.emplace_back(midi, playable_single_solo_candidates_for_midi(config, midi));
  return table.back().second;
}

std::string no_playable_solo_message(guitar_solo_profile profile) {
  return std::string{"No playable "} +
         (profile == guitar_solo_profile::electric ? "electric" : "acoustic") +
         " guitar solo events were found.";
}

}  // namespace

// Solo section events

generated_guitar_events generated_solo_events_for_source(const source_score& score,
                                                         const arrangement_style_profile& style,
                                                         std::vector<arrangement_message>& messages,
                                                         guitar_solo_profile profile,
                                                         std::uint64_t section_type) {
  const auto chords = chord_occurrences(score, messages, false);
  const bool electric = profile == guitar_solo_profile::electric;
  const solo_profile_config config{.is_electric = electric ? 1 : 0};
  single_note_table single_notes;
  std::vector<arrangement_anchor> anchors;
  for (const auto& note :
       solo_phrase_events_for_source(score, style, chords, profile, section_type)) {
    if (note.measure_index >= score.measures.size()) continue;
    auto candidates = playable_acoustic_solo_mini_chord_candidates(
        config, note, chord_at(chords, note.start_tick));
    if (candidates.empty()) candidates = single_note_candidates(single_notes, config, note.midi);
    if (candidates.empty()) continue;
    arrangement_anchor anchor;
    anchor.start_ticks = note.start_tick;
    anchor.duration_ticks = note.duration_ticks;
    anchor.tie_to_next = note.tie_to_next;
    anchor.tie_from_previous = note.tie_from_previous;
    anchor.candidates = std::move(candidates);
    anchors.push_back(std::move(anchor));
  }
  const auto path =
      selected_path(anchors, transition_profile::melody_line, std::nullopt, gap_before_solo);
  auto events = events_from_path(
      anchors, path, electric ? arrangement_part_type::electric : arrangement_part_type::acoustic);
  if (!has_playable_arrangement_event(events)) {
    messages.push_back(
        {.level = "warning", .path = "", .message = no_playable_solo_message(profile)});
  }
  return finalize_generated_events(score, normalize_events(std::move(events)));
}

std::vector<solo_phrase_event> solo_phrase_events_for_source(
    const source_score& score, const arrangement_style_profile& style,
    const std::vector<chord_occurrence>& chords, guitar_solo_profile profile,
    std::uint64_t section_type) {
  return improvised_solo_phrase_events_for_source(score, style, chords, profile, section_type);
}

// Single solo notes

std::vector<grip_candidate> playable_single_solo_candidates_for_midi(
    const solo_profile_config& config, int midi) {
  const auto& charges = charges_for(config);
  std::vector<grip_candidate> result;
  for (const auto target : target_pitches(config, midi)) {
    if (target < std::numeric_limits<int>::min() || target > std::numeric_limits<int>::max()) {
      continue;
    }
    const std::int64_t distance = std::abs(std::int64_t{midi} - target);
    const std::int64_t move = 95 * distance + (target != midi ? 720 : 0);
    for (const auto& position :
         positions_for_midi(static_cast<int>(target), upper_melody_strings())) {
      for (auto candidate : melody_candidates(position)) {
        if (candidate.positions.size() != 1) continue;
        const auto& place = candidate.positions.front();
        std::int64_t score = std::int64_t{candidate.score} + open_string_charge(place.fret) +
                             high_fret_charge(charges, place.fret) + move;
        if (place.string_number == 1 && place.fret > 9) score += charges.high_first_string;
        candidate.label = charges.label;
        candidate.score = clamp_to_int(score);
        add_unique_candidate(result, std::move(candidate));
      }
    }
  }
  sort_candidates_by_score(result);
  return result;
}

}  // namespace orvanta::arrangement_detail
