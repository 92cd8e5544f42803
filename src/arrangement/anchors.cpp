#include "arrangement/anchors.hpp"

#include "arrangement/comping_events.hpp"
#include "arrangement/melody_path.hpp"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

arrangement_message warning_message(std::string text) { return {"warning", "", std::move(text)}; }

arrangement_message error_message(std::string text) { return {"error", "", std::move(text)}; }

// The tension a melody pitch adds over the chord's root, by interval in semitones; empty for the
// root, the major third, the fifth and the two sevenths.
constexpr std::array<std::string_view, 12> tension_by_interval() {
  return {"", "b9", "9", "#9", "", "11", "#11", "", "b13", "13", "", ""};
}

// The placed chord's grips that sound the melody pitch (all of them for a note without pitch),
// labelled as long-note chords of note `note_index`.
std::vector<grip_candidate> long_note_chord_candidates(const melody_chord_placement& placement,
                                                       std::optional<int> melody,
                                                       std::size_t note_index) {
  auto chord = placement.chord;
  if (melody) chord = chord_requiring_melody_pitch(std::move(chord), *melody);
  auto grips = melody_mode_chord_candidates(chord, false, true);
  // Two-note grips only when no larger grip exists at all, whatever pitches those sound.
  if (grips.empty()) grips = melody_mode_chord_candidates(chord, true, true);
  std::vector<grip_candidate> candidates;
  for (auto& grip : grips) {
    if (melody && !contains_midi(grip.positions, *melody)) continue;
    grip.label = "long-note-chord";
    grip.note_index = static_cast<std::int64_t>(note_index);
    grip.melody_on_top = melody && top_midi_matches(grip.positions, *melody);
    grip.contains_melody = melody && contains_midi(grip.positions, *melody);
    add_unique_candidate(candidates, std::move(grip));
  }
  return candidates;
}

// Every single-note fingering of the pitch on strings 1 to 4.
std::vector<grip_candidate> single_note_candidates(int melody) {
  std::vector<grip_candidate> candidates;
  for (const auto& position : positions_for_midi(melody, upper_melody_strings())) {
    for (auto& candidate : melody_candidates(position)) {
      add_unique_candidate(candidates, std::move(candidate));
    }
  }
  return candidates;
}

// The anchor of a melody note; `long_note_chord` is the symbol of the chord its grips play, none
// when they are single notes.
arrangement_anchor melody_anchor(const source_score& score, const source_note& note,
                                 std::vector<grip_candidate> candidates,
                                 std::optional<std::string> long_note_chord) {
  arrangement_anchor anchor;
  anchor.start_ticks = note.start_tick;
  anchor.duration_ticks = note.duration_ticks;
  anchor.display_ticks = note.display_ticks;
  anchor.tie_to_next = note.tie_to_next;
  // A long-note chord is struck anew, so it never continues a tie.
  anchor.tie_from_previous = !long_note_chord && note.tie_from_previous;
  anchor.chord_symbol = std::move(long_note_chord).value_or("");
  anchor.tuplet_id = note.tuplet_id;
  if (const auto tuplet = tuplet_for_note(score, note)) {
    anchor.tuplet_note_count = tuplet->note_count;
    anchor.tuplet_space_count = tuplet->space_count;
  }
  anchor.candidates = std::move(candidates);
  return anchor;
}

bool lies_on_upper_strings(const tab_position& position) {
  return position.string_number >= 1 && position.string_number <= 4;
}

// The lowest position when it lies on string 5 or 6 and every other position on strings 1 to 4.
std::optional<tab_position> low_bass_under_upper_strings(
    const std::vector<tab_position>& positions) {
  const auto lowest = lowest_position(positions);
  if (!lowest || !is_low_chord_string(*lowest)) return std::nullopt;
  const bool rest_on_upper_strings =
      std::all_of(positions.begin(), positions.end(), [&](const tab_position& position) {
        return same_tab_position(position, *lowest) || lies_on_upper_strings(position);
      });
  if (!rest_on_upper_strings) return std::nullopt;
  return lowest;
}

// The charge for a fret above 7 (rate `per_fret`), with 1150 more per fret above 9.
std::int64_t high_position_charge(std::int64_t fret, std::int64_t per_fret) {
  if (fret <= 7) return 0;
  return per_fret * (fret - 7) + (fret > 9 ? 1150 * (fret - 9) : 0);
}

// The numerator of a time signature such as "6/8": the text before the first "/" read as a
// whole signed decimal number (leading blanks and one sign allowed); nothing when it is not one.
std::optional<std::int64_t> time_signature_numerator(std::string_view signature) {
  const auto slash = signature.find('/');
  if (slash == std::string_view::npos || slash == 0) return std::nullopt;
  auto text = signature.substr(0, slash);
  const auto digits_from = text.find_first_not_of(" \t\n\v\f\r");
  if (digits_from == std::string_view::npos) return std::nullopt;
  text.remove_prefix(digits_from);
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // Numbers too large for 64 bits fail here too: no measure divides into such a slash.
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return negative ? -value : value;
}

bool note_belongs_to_measure(const source_score& score, const source_note& note,
                             const source_measure& measure) {
  return note.measure_index < score.measures.size() &&
         score.measures[note.measure_index].start_tick == measure.start_tick;
}

// A positionless filler from `start` lasting `duration`.
arrangement_event filler_event(std::int64_t start, std::int64_t duration) {
  arrangement_event event;
  event.start_ticks = start;
  event.duration_ticks = duration;
  event.filler = true;
  return event;
}

// A rest standing for the note: its times and its tuplet with the tuplet's counts.
arrangement_event rest_for_note(const source_score& score, const source_note& note) {
  auto event = filler_event(note.start_tick, note.duration_ticks);
  event.display_ticks = note.display_ticks;
  event.tuplet_id = note.tuplet_id;
  if (const auto tuplet = tuplet_for_note(score, note)) {
    event.tuplet_note_count = tuplet->note_count;
    event.tuplet_space_count = tuplet->space_count;
  }
  return event;
}

// The labels of the notes carrying a chord symbol (rests included) that `keep` accepts, by start,
// one per start tick: the later note's label wins.
template <class note_filter>
std::vector<chord_label_marker> one_label_per_tick(const source_score& score,
                                                   const note_filter& keep) {
  std::vector<chord_label_marker> labels;
  for (const auto& note : score.notes) {
    if (!note.chord_symbol.empty() && keep(note)) {
      labels.push_back({note.start_tick, note.duration_ticks, note.chord_symbol});
    }
  }
  // Stable: labels on one tick stay in note order, so the later note's label is the one kept.
  sort_by_ascending_key(labels, [](const chord_label_marker& label) { return label.start_ticks; });
  std::vector<chord_label_marker> markers;
  for (auto& label : labels) {
    if (!markers.empty() && markers.back().start_ticks == label.start_ticks) {
      markers.back() = std::move(label);
    } else {
      markers.push_back(std::move(label));
    }
  }
  return markers;
}

// The chord labels of the measure's notes by start, one per start tick.
std::vector<chord_label_marker> measure_chord_labels(const source_score& score,
                                                     const source_measure& measure) {
  return one_label_per_tick(score, [&](const source_note& note) {
    return note_belongs_to_measure(score, note, measure);
  });
}

// Every measure's events from the first builder that can write it, else its rest skeleton, in
// measure order and normalised.
using measure_builder = std::optional<std::vector<arrangement_event>> (*)(const source_score&,
                                                                          const source_measure&);

std::vector<arrangement_event> first_writable_events(const source_score& score,
                                                     const std::vector<measure_builder>& builders) {
  std::vector<arrangement_event> events;
  for (const auto& measure : score.measures) {
    auto measure_events = [&] {
      for (const auto builder : builders) {
        if (auto built = builder(score, measure)) return std::move(*built);
      }
      return source_rest_skeleton_events_for_measure(score, measure);
    }();
    events.insert(events.end(), std::make_move_iterator(measure_events.begin()),
                  std::make_move_iterator(measure_events.end()));
  }
  return normalize_events(std::move(events));
}

}  // namespace

bool messages_have_error(const std::vector<arrangement_message>& messages) {
  return std::any_of(messages.begin(), messages.end(),
                     [](const arrangement_message& message) { return message.level == "error"; });
}

bool renderable_arrangement_duration(std::int64_t ticks) {
  constexpr auto durations = renderable_durations();
  return std::find(durations.begin(), durations.end(), ticks) != durations.end();
}

std::optional<std::size_t> measure_index_holding(const source_score& score, std::int64_t tick) {
  for (std::size_t index = 0; index < score.measures.size(); ++index) {
    const auto& measure = score.measures[index];
    if (measure.start_tick <= tick && tick < measure_end(measure)) return index;
  }
  return std::nullopt;
}

std::optional<measure_eighth> eighth_around_off_grid_tick(const source_score& score,
                                                          std::int64_t tick) {
  constexpr std::int64_t written_grid = 512;
  constexpr std::int64_t eighth = 2048;
  const auto index = measure_index_holding(score, tick);
  if (!index) return std::nullopt;
  const auto& holding = score.measures[*index];
  const auto offset = tick - holding.start_tick;
  if (offset % written_grid == 0) return std::nullopt;
  const auto start = holding.start_tick + offset / eighth * eighth;
  const auto end = std::min(add_ticks(start, eighth), measure_end(holding));
  return measure_eighth{start, end, end == measure_end(holding)};
}

std::optional<source_tuplet> tuplet_for_note(const source_score& score, const source_note& note) {
  if (note.tuplet_id.empty()) return std::nullopt;
  for (const auto& tuplet : score.tuplets) {
    if (tuplet.id == note.tuplet_id && tuplet.measure_index == note.measure_index) return tuplet;
  }
  return std::nullopt;
}

std::int64_t event_end_ticks(const arrangement_event& event) {
  return add_ticks(event.start_ticks, event.duration_ticks);
}

bool event_covers_tick(const arrangement_event& event, std::int64_t tick) {
  return event.start_ticks < tick && tick < event_end_ticks(event);
}

bool has_playable_arrangement_event(const std::vector<arrangement_event>& events) {
  return std::any_of(events.begin(), events.end(),
                     [](const arrangement_event& event) { return !event.positions.empty(); });
}

// Chord occurrences and chord labels

std::vector<chord_occurrence> chord_occurrences(const source_score& score,
                                                std::vector<arrangement_message>& messages,
                                                bool report_as_error) {
  auto timeline = build_harmonic_timeline(score);
  for (const auto& issue : timeline.parse_issues) {
    auto text = "Chord '" + issue.symbol + "' could not be arranged.";
    messages.push_back(report_as_error ? error_message(std::move(text))
                                       : warning_message(std::move(text)));
  }
  std::vector<chord_occurrence> occurrences;
  occurrences.reserve(timeline.spans.size());
  for (auto& span : timeline.spans) occurrences.push_back(std::move(span.occurrence));
  return occurrences;
}

std::vector<chord_label_marker> source_chord_label_markers(const source_score& score) {
  return one_label_per_tick(score, [](const source_note&) { return true; });
}

std::vector<std::int64_t> chord_marker_starts_in_measure(const source_score& score,
                                                         const source_measure& measure) {
  const auto end = measure_end(measure);
  // The markers are in time order, one per tick, so the starts come out ascending and unique.
  std::vector<std::int64_t> starts;
  for (const auto& marker : source_chord_label_markers(score)) {
    if (measure.start_tick < marker.start_ticks && marker.start_ticks < end) {
      starts.push_back(marker.start_ticks);
    }
  }
  return starts;
}

// Source rest, slash and compact rest events

std::int64_t slash_unit_ticks(const source_measure& measure) {
  constexpr std::int64_t quarter = 4096;
  const auto numerator = time_signature_numerator(measure.time_signature);
  if (!numerator || *numerator <= 0 || measure.capacity_ticks % *numerator != 0) return quarter;
  const auto unit = measure.capacity_ticks / *numerator;
  return renderable_arrangement_duration(unit) ? unit : quarter;
}

std::optional<std::vector<arrangement_event>> source_slash_events_for_measure(
    const source_score& score, const source_measure& measure) {
  const auto start = measure.start_tick;
  const auto end = add_ticks(start, measure.capacity_ticks);
  std::vector<std::int64_t> boundaries{start, end};
  const auto unit = slash_unit_ticks(measure);
  if (unit > 0 && measure.capacity_ticks % unit == 0) {
    for (auto tick = add_ticks(start, unit); tick < end; tick = add_ticks(tick, unit)) {
      boundaries.push_back(tick);
    }
  }
  const auto labels = chord_marker_starts_in_measure(score, measure);
  boundaries.insert(boundaries.end(), labels.begin(), labels.end());
  std::sort(boundaries.begin(), boundaries.end());
  boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());
  std::vector<arrangement_event> slashes;
  for (std::size_t index = 0; index + 1 < boundaries.size(); ++index) {
    const auto length = subtract_ticks(boundaries[index + 1], boundaries[index]);
    if (!renderable_arrangement_duration(length)) return std::nullopt;
    auto slash = filler_event(boundaries[index], length);
    slash.slash = true;
    slashes.push_back(std::move(slash));
  }
  return slashes;
}

std::optional<std::vector<arrangement_event>> source_compact_rest_events_for_measure(
    const source_score& score, const source_measure& measure) {
  const auto start = measure.start_tick;
  const auto end = add_ticks(start, measure.capacity_ticks);
  const auto labels = measure_chord_labels(score, measure);
  if (labels.empty()) {
    if (!renderable_arrangement_duration(measure.capacity_ticks)) return std::nullopt;
    return std::vector{filler_event(start, measure.capacity_ticks)};
  }
  std::vector<arrangement_event> rests;
  if (labels.front().start_ticks > start) {
    const auto gap = subtract_ticks(labels.front().start_ticks, start);
    if (!renderable_arrangement_duration(gap)) return std::nullopt;
    rests.push_back(filler_event(start, gap));
  }
  for (std::size_t index = 0; index < labels.size(); ++index) {
    const auto label_end = index + 1 < labels.size() ? labels[index + 1].start_ticks : end;
    const auto length = subtract_ticks(label_end, labels[index].start_ticks);
    if (!renderable_arrangement_duration(length)) return std::nullopt;
    auto rest = filler_event(labels[index].start_ticks, length);
    rest.chord_symbol = labels[index].symbol;
    rests.push_back(std::move(rest));
  }
  return rests;
}

std::vector<arrangement_event> source_rest_skeleton_events_for_measure(
    const source_score& score, const source_measure& measure) {
  std::vector<arrangement_event> rests;
  for (const auto& note : score.notes) {
    if (!note_belongs_to_measure(score, note, measure)) continue;
    auto rest = rest_for_note(score, note);
    rest.chord_symbol = note.chord_symbol;
    rests.push_back(std::move(rest));
  }
  return rests;
}

std::vector<arrangement_event> source_slash_events(const source_score& score) {
  return first_writable_events(
      score, {source_slash_events_for_measure, source_compact_rest_events_for_measure});
}

std::vector<arrangement_event> source_compact_rest_events(const source_score& score) {
  return first_writable_events(score, {source_compact_rest_events_for_measure});
}

std::vector<arrangement_event> source_rest_events(const source_score& score) {
  std::vector<arrangement_event> rests;
  for (const auto& note : score.notes) {
    if (is_melody_attack(note) && note.tuplet_id.empty()) continue;
    rests.push_back(rest_for_note(score, note));
  }
  return rests;
}

// Long-note chord placements and melody anchors

std::vector<melody_chord_placement> build_long_note_chord_placements(
    const source_score& score, std::vector<arrangement_message>& messages) {
  std::vector<melody_chord_placement> placements;
  for (auto& occurrence : chord_occurrences(score, messages, true)) {
    if (occurrence.end_tick <= occurrence.start_tick) {
      messages.push_back(error_message("Chord '" + occurrence.symbol +
                                       "' does not have enough duration to be arranged."));
      continue;
    }
    const auto note_index = long_melody_note_for_chord(score, occurrence);
    if (!note_index) continue;
    const auto placed =
        std::find_if(placements.begin(), placements.end(),
                     [&](const melody_chord_placement& p) { return p.note_index == *note_index; });
    if (placed == placements.end()) {
      placements.push_back(
          {*note_index, std::move(occurrence.chord), std::move(occurrence.symbol)});
    } else if (score.notes[*note_index].start_tick < occurrence.start_tick) {
      // A later chord inside the held note takes the note over.
      placed->chord = std::move(occurrence.chord);
      placed->chord_symbol = std::move(occurrence.symbol);
    }
  }
  sort_by_ascending_key(placements, [&](const melody_chord_placement& placement) {
    return std::pair{score.notes[placement.note_index].start_tick, placement.note_index};
  });
  return placements;
}

std::optional<melody_chord_placement> chord_placement_for_note(
    const std::vector<melody_chord_placement>& placements, std::size_t note_index) {
  const auto placement =
      std::find_if(placements.begin(), placements.end(),
                   [&](const melody_chord_placement& p) { return p.note_index == note_index; });
  if (placement == placements.end()) return std::nullopt;
  return *placement;
}

std::optional<std::string> melody_degree_for_midi(const parsed_chord& chord, int midi) {
  const int pitch_class = normalize_pc(midi);
  const auto& formula = chord.formula;
  for (const auto* degrees :
       {&formula.required_degrees, &formula.degrees, &formula.optional_degrees}) {
    for (const auto& degree : *degrees) {
      if (degree_pc(chord, degree) == pitch_class) return degree;
    }
  }
  const auto interval = normalize_pc(pitch_class - normalize_pc(chord.root_pc));
  const auto tension = tension_by_interval()[static_cast<std::size_t>(interval)];
  if (tension.empty()) return std::nullopt;
  return std::string(tension);
}

parsed_chord chord_requiring_melody_pitch(parsed_chord chord, int midi) {
  if (const auto degree = melody_degree_for_midi(chord, midi)) {
    append_unique_degree(chord.formula.degrees, *degree);
    append_unique_degree(chord.formula.required_degrees, *degree);
  }
  return chord;
}

std::vector<arrangement_anchor> build_melody_anchors(
    const source_score& score, std::vector<arrangement_message>& messages,
    const std::vector<melody_chord_placement>& placements) {
  std::vector<arrangement_anchor> anchors;
  for (std::size_t index = 0; index < score.notes.size(); ++index) {
    const auto& note = score.notes[index];
    const auto melody =
        note.pitches.empty() ? std::nullopt : std::optional{note.pitches.front().midi};
    const auto placement = chord_placement_for_note(placements, index);
    std::vector<grip_candidate> candidates;
    if (placement) {
      candidates = long_note_chord_candidates(*placement, melody, index);
      if (candidates.empty()) {
        messages.push_back(warning_message(
            "No standard jazz guitar grip containing the written melody note was found for '" +
            placement->chord_symbol + "'."));
      }
    }
    const bool chord_grips_found = !candidates.empty();
    if (!chord_grips_found) {
      if (!is_melody_attack(note)) continue;
      candidates = single_note_candidates(*melody);
    }
    sort_candidates_by_score(candidates);
    if (candidates.empty()) {
      messages.push_back(
          warning_message("Melody note '" + note.id +
                          "' could not be placed on guitar strings 1-4 at the written "
                          "pitch."));
      continue;
    }
    anchors.push_back(
        melody_anchor(score, note, std::move(candidates),
                      chord_grips_found ? std::optional{placement->chord_symbol} : std::nullopt));
  }
  return anchors;
}

// Events from a selected path

std::vector<arrangement_event> events_from_path(const std::vector<arrangement_anchor>& anchors,
                                                const std::vector<std::vector<tab_position>>& path,
                                                arrangement_part_type part_type) {
  const auto count = std::min(anchors.size(), path.size());
  const bool electric = part_type == arrangement_part_type::electric;
  const auto ties =
      electric ? chord_melody_tie_to_next_flags(anchors, path) : std::vector<bool>(count, false);
  std::vector<arrangement_event> events;
  events.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    const auto& anchor = anchors[index];
    arrangement_event event;
    event.start_ticks = anchor.start_ticks;
    event.duration_ticks = anchor.duration_ticks;
    event.display_ticks = anchor.display_ticks;
    event.positions = path[index];
    if (!electric && anchor.chord) event.chord_symbol = anchor.chord->symbol;
    event.tie_to_next = ties[index];
    // The first event ends a tie begun before the list unchecked.
    event.tie_from_previous =
        electric && anchor.tie_from_previous && (index == 0 || ties[index - 1]);
    event.tuplet_id = anchor.tuplet_id;
    event.tuplet_note_count = anchor.tuplet_note_count;
    event.tuplet_space_count = anchor.tuplet_space_count;
    events.push_back(std::move(event));
  }
  return events;
}

std::vector<bool> chord_melody_tie_to_next_flags(
    const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::vector<tab_position>>& path) {
  const auto count = std::min(anchors.size(), path.size());
  std::vector<bool> flags(count, false);
  for (std::size_t index = 0; index + 1 < count; ++index) {
    flags[index] = anchors[index].tie_to_next && anchors[index + 1].tie_from_previous &&
                   selected_events_share_midi(path, index);
  }
  return flags;
}

bool selected_events_share_midi(const std::vector<std::vector<tab_position>>& path,
                                std::size_t index) {
  if (path.size() < 2 || index >= path.size() - 1) return false;
  const auto& next = path[index + 1];
  return std::any_of(path[index].begin(), path[index].end(), [&](const tab_position& position) {
    return contains_midi(next, position.midi);
  });
}

// Chord anchors and the acoustic low-bass preference

arrangement_anchor chord_occurrence_anchor(chord_occurrence occurrence, std::int64_t duration,
                                           std::vector<grip_candidate> candidates) {
  arrangement_anchor anchor;
  anchor.start_ticks = occurrence.start_tick;
  anchor.duration_ticks = duration;
  anchor.chord = std::move(occurrence.chord);
  anchor.chord_symbol = std::move(occurrence.symbol);
  anchor.candidates = std::move(candidates);
  return anchor;
}

std::vector<arrangement_anchor> build_chord_anchors(const source_score& score,
                                                    const arrangement_style_profile& profile,
                                                    std::vector<arrangement_message>& messages) {
  std::vector<arrangement_anchor> anchors;
  // The grips of each chord are generated once per call: songs repeat their chords.
  std::vector<std::tuple<parsed_chord, bool, std::vector<grip_candidate>>> generated;
  const auto grips_of = [&](const parsed_chord& chord, bool allow_two_note) {
    for (const auto& [known, two_note, grips] : generated) {
      if (two_note == allow_two_note && known == chord) return grips;
    }
    generated.emplace_back(chord, allow_two_note,
                           chord_candidates(chord, allow_two_note, false, false));
    return std::get<2>(generated.back());
  };
  for (auto& occurrence : chord_occurrences(score, messages, false)) {
    if (occurrence.end_tick <= occurrence.start_tick) continue;
    const auto duration = subtract_ticks(occurrence.end_tick, occurrence.start_tick);
    const auto& chord = occurrence.chord;
    // A quick style, or a chord of at most a quarter note, may sound as two notes.
    const bool allow_two_note = profile.fast || duration < 4097;
    auto grips =
        prefer_acoustic_low_bass_candidates(chord, grips_of(chord, allow_two_note), messages);
    if (grips.empty()) {
      grips = chord_candidates(chord, true, false, false);
      std::erase_if(grips, [](const grip_candidate& grip) {
        return !positions_use_chord_mode_strings(grip.positions);
      });
    }
    if (grips.empty()) {
      messages.push_back(
          warning_message("No playable chord grip was found for '" + chord.symbol + "'."));
      continue;
    }
    anchors.push_back(chord_occurrence_anchor(std::move(occurrence), duration, std::move(grips)));
  }
  return anchors;
}

std::vector<grip_candidate> prefer_acoustic_low_bass_candidates(
    const parsed_chord& chord, std::vector<grip_candidate> candidates,
    std::vector<arrangement_message>& messages) {
  std::vector<grip_candidate> root_bass;
  std::vector<grip_candidate> other_low_bass;
  for (auto& candidate : candidates) {
    const std::int64_t charged =
        std::int64_t{candidate.score} + acoustic_low_bass_position_penalty(candidate.positions);
    if (positions_have_acoustic_low_bass(chord, candidate.positions)) {
      candidate.score = clamp_to_int(charged - 12000);
      root_bass.push_back(std::move(candidate));
    } else if (positions_have_any_low_bass_with_upper_strings(candidate.positions)) {
      candidate.score = clamp_to_int(charged - 4000);
      other_low_bass.push_back(std::move(candidate));
    }
  }
  if (root_bass.empty() && other_low_bass.empty()) {
    messages.push_back(
        warning_message("No low-bass acoustic grip was found for '" + chord.symbol + "'."));
    return {};
  }
  if (root_bass.empty()) {
    messages.push_back(warning_message("No root-position low-bass grip was found for '" +
                                       chord.symbol +
                                       "'; using the closest playable low-bass voicing."));
  }
  root_bass.insert(root_bass.end(), std::make_move_iterator(other_low_bass.begin()),
                   std::make_move_iterator(other_low_bass.end()));
  sort_candidates_by_score(root_bass);
  return root_bass;
}

bool positions_have_acoustic_low_bass(const parsed_chord& chord,
                                      const std::vector<tab_position>& positions) {
  const auto bass = low_bass_under_upper_strings(positions);
  return bass && normalize_pc(bass->midi) == normalize_pc(acoustic_rhythm_bass_pc(chord));
}

bool positions_have_any_low_bass_with_upper_strings(const std::vector<tab_position>& positions) {
  return low_bass_under_upper_strings(positions).has_value();
}

int acoustic_low_bass_position_penalty(const std::vector<tab_position>& positions) {
  std::int64_t penalty = 0;
  const auto lowest = lowest_position(positions);
  if (lowest && is_low_chord_string(*lowest)) penalty += high_position_charge(lowest->fret, 760);
  penalty += high_position_charge(anchor_fret(positions), 720);
  return clamp_to_int(penalty);
}

int acoustic_rhythm_bass_pc(const parsed_chord& chord) {
  return chord.bass_pc.value_or(chord.root_pc);
}

}  // namespace orvanta::arrangement_detail
