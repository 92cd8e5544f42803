#include "arrangement/comping_events.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::int64_t eighth_ticks = 2048;
constexpr std::int64_t quarter_ticks = 4096;
constexpr std::int64_t half_measure_ticks = 8192;
constexpr std::int64_t measure_ticks = 16384;

std::int64_t end_of(const arrangement_event& event) {
  return add_ticks(event.start_ticks, event.duration_ticks);
}

// Half the length of a range that holds at least one tick (end > start), exact for any range.
std::int64_t half_length(const tick_range& range) {
  const auto length =
      static_cast<std::uint64_t>(range.end) - static_cast<std::uint64_t>(range.start);
  return static_cast<std::int64_t>(length / 2);
}

// The middle of a range that holds at least one tick: start + floor(length / 2).
std::int64_t middle_of(const tick_range& range) { return range.start + half_length(range); }

// The order of normalisation: start, symbol (bytewise, the empty one first), plain before slash,
// fewer positions first.
bool normalization_order_less(const arrangement_event& left, const arrangement_event& right) {
  if (left.start_ticks != right.start_ticks) return left.start_ticks < right.start_ticks;
  if (const int order = left.chord_symbol.compare(right.chord_symbol); order != 0) return order < 0;
  if (left.slash != right.slash) return !left.slash;
  return left.positions.size() < right.positions.size();
}

bool is_positionless_filler(const arrangement_event& event) {
  return event.filler && event.positions.empty();
}

// Folds `other` into `base`, two events with the same start, symbol and slash flag.
void merge_event_into(arrangement_event& base, const arrangement_event& other) {
  if (is_positionless_filler(base) && !other.positions.empty()) {
    // A rest laid under a played note (a tuplet member, say) must not cut the note's ties.
    base.tie_to_next = other.tie_to_next;
    base.tie_from_previous = other.tie_from_previous;
  } else if (!(is_positionless_filler(other) && !base.positions.empty())) {
    base.tie_to_next = base.tie_to_next || other.tie_to_next;
    base.tie_from_previous = base.tie_from_previous && other.tie_from_previous;
  }
  base.positions = merge_playable_positions(std::move(base.positions), other.positions);
  base.duration_ticks = std::max(base.duration_ticks, other.duration_ticks);
  base.filler = base.filler && other.filler;
  base.slash = base.slash || other.slash;
  if (!base.display_ticks) base.display_ticks = other.display_ticks;
  if (base.tuplet_id.empty()) {
    base.tuplet_id = other.tuplet_id;
    base.tuplet_note_count = other.tuplet_note_count;
    base.tuplet_space_count = other.tuplet_space_count;
  }
}

// Events are written only when one hand can play them, or when they only fill or label time.
bool survives_normalization(const arrangement_event& event) {
  if (positions_playable(event.positions)) return true;
  return event.slash || is_positionless_filler(event);
}

// True when the melody leaves the hit no room: a busy melody or no long note or rest, where the
// hit cares.
bool melody_refuses_hit(const comping_hit& hit, const comping_context& context) {
  return (hit.skip_when_melody_busy && context.busy) || (hit.needs_space && !context.long_space);
}

// What the comping of one section asks of its source again and again, worked out once: the
// melody by tick, the starts of the attacks of a quarter or less (ascending), and whether the
// measures follow each other without overlapping, so that the measure holding a tick can be
// searched for.
struct section_source {
  const source_score& score;
  melody_tick_index melody;
  std::vector<std::int64_t> short_attack_starts;
  bool measures_in_order = false;
};

bool measures_follow_in_order(const source_score& score) {
  for (std::size_t index = 1; index < score.measures.size(); ++index) {
    const auto& before = score.measures[index - 1];
    const auto start = score.measures[index].start_tick;
    if (before.start_tick > start || measure_end(before) > start) return false;
  }
  return true;
}

section_source section_source_of(const source_score& score) {
  section_source source{score, build_melody_tick_index(score), {}, measures_follow_in_order(score)};
  for (const auto& note : score.notes) {
    if (is_melody_attack(note) && note.duration_ticks <= quarter_ticks) {
      source.short_attack_starts.push_back(note.start_tick);
    }
  }
  std::ranges::sort(source.short_attack_starts);
  return source;
}

// `measure_index_holding`, searched for when the measures are in order (then at most one holds
// the tick).
std::optional<std::size_t> measure_index_holding(const section_source& source, std::int64_t tick) {
  const auto& measures = source.score.measures;
  if (!source.measures_in_order) {
    return arrangement_detail::measure_index_holding(source.score, tick);
  }
  const auto after = std::ranges::upper_bound(measures, tick, {}, &source_measure::start_tick);
  if (after == measures.begin()) return std::nullopt;
  const auto index = static_cast<std::size_t>(after - measures.begin()) - 1;
  if (tick < measure_end(measures[index])) return index;
  return std::nullopt;
}

bool on_measure_eighth_grid(const section_source& source, std::int64_t tick) {
  const auto index = measure_index_holding(source, tick);
  const std::int64_t origin = index ? source.score.measures[*index].start_tick : 0;
  return subtract_ticks(tick, origin) % eighth_ticks == 0;
}

comping_context comping_context_for(const section_source& source,
                                    const arrangement_anchor& anchor) {
  const auto start = anchor.start_ticks;
  const auto end = add_ticks(start, anchor.duration_ticks);
  return {
      .busy = melody_attack_count(source.melody, start, end) > 3,
      .long_space = has_long_melody_or_rest_space(source.melody, start, end),
      .short_anchor = anchor.duration_ticks < quarter_ticks + 1,
  };
}

bool should_emit_comping_hit(const section_source& source, const arrangement_anchor& anchor,
                             const comping_hit& hit, std::int64_t tick,
                             const comping_context& context) {
  if (tick == anchor.start_ticks) return true;
  if (context.short_anchor || melody_refuses_hit(hit, context)) return false;
  if (hit.avoid_melody_attack) return !melody_attack_at(source.melody, tick);
  return true;
}

bool should_emit_accompaniment_hit(const section_source& source, const arrangement_anchor& anchor,
                                   const comping_hit& hit, std::int64_t tick,
                                   const comping_context& context) {
  if (melody_attack_at(source.melody, tick)) return false;
  if (context.short_anchor || melody_refuses_hit(hit, context)) return false;
  return anchor.start_ticks <= tick && tick < add_ticks(anchor.start_ticks, anchor.duration_ticks);
}

void push_comping_event(std::vector<arrangement_event>& events, const section_source& source,
                        std::int64_t tick, std::int64_t anchor_start, std::int64_t anchor_end,
                        std::vector<tab_position> positions, const std::string& symbol,
                        bool avoid_melody_attack, std::int64_t duration) {
  if (positions.empty() || tick < anchor_start || tick >= anchor_end) return;
  if (!on_measure_eighth_grid(source, tick) || duration < eighth_ticks) return;
  const auto left_in_anchor = subtract_ticks(anchor_end, tick);
  if (left_in_anchor < eighth_ticks) return;
  if (avoid_melody_attack && melody_attack_at(source.melody, tick)) return;
  // An anchor ending inside a tuplet lets the hit sound on to the next eighth, where the writer
  // can end it.
  const auto anchor_eighth = eighth_around_off_grid_tick(source.score, anchor_end);
  duration =
      std::min(duration, anchor_eighth ? subtract_ticks(anchor_eighth->end, tick) : left_in_anchor);
  const auto existing = std::find_if(events.begin(), events.end(),
                                     [&](const auto& event) { return event.start_ticks == tick; });
  if (existing != events.end()) {
    existing->positions = merge_playable_positions(std::move(existing->positions), positions);
    existing->duration_ticks = std::max(existing->duration_ticks, duration);
    if (existing->chord_symbol.empty()) existing->chord_symbol = symbol;
    return;
  }
  arrangement_event event;
  event.start_ticks = tick;
  event.duration_ticks = duration;
  event.positions = std::move(positions);
  event.chord_symbol = symbol;
  events.push_back(std::move(event));
}

void push_acoustic_upper_chord_event(std::vector<arrangement_event>& events,
                                     const section_source& source, const arrangement_anchor& anchor,
                                     const acoustic_comping_grip& grip, std::int64_t tick,
                                     bool avoid_melody_attack, std::int64_t duration) {
  const bool chord_start = tick == anchor.start_ticks;
  const std::string symbol = chord_start && anchor.chord ? anchor.chord->symbol : std::string{};
  push_comping_event(events, source, tick, anchor.start_ticks,
                     add_ticks(anchor.start_ticks, anchor.duration_ticks),
                     chord_start ? grip.full : grip.upper, symbol, avoid_melody_attack, duration);
}

void push_traced_acoustic_optional_event(std::vector<arrangement_event>& events,
                                         const section_source& source,
                                         const arrangement_anchor& anchor,
                                         const acoustic_comping_grip& grip, const comping_hit& hit,
                                         std::int64_t tick, const phrase_instance_plan* phrase,
                                         phrase_debug_trace* phrase_trace) {
  const auto count_before = events.size();
  const auto positions_before = position_count_at_start(events, tick);
  push_acoustic_upper_chord_event(events, source, anchor, grip, tick, hit.avoid_melody_attack,
                                  hit.duration);
  if (phrase_trace == nullptr) return;
  if (events.size() == count_before && position_count_at_start(events, tick) == positions_before) {
    return;
  }
  ++phrase_trace->optional_events;
  if (phrase != nullptr && tick_in_ranges(phrase->response_windows, tick)) {
    ++phrase_trace->response_window_hits;
  }
}

}  // namespace

// Event list normalisation

bool same_start_and_symbol(const arrangement_event& left, const arrangement_event& right) {
  return left.start_ticks == right.start_ticks && left.chord_symbol == right.chord_symbol &&
         left.slash == right.slash;
}

std::vector<arrangement_event> normalize_events(std::vector<arrangement_event> events) {
  std::stable_sort(events.begin(), events.end(), normalization_order_less);
  std::vector<arrangement_event> merged;
  merged.reserve(events.size());
  for (auto& event : events) {
    sort_positions_by_pitch(event.positions);
    if (!merged.empty() && same_start_and_symbol(merged.back(), event)) {
      merge_event_into(merged.back(), event);
    } else {
      merged.push_back(std::move(event));
    }
  }
  std::vector<arrangement_event> kept;
  kept.reserve(merged.size());
  for (std::size_t index = 0; index < merged.size(); ++index) {
    auto& event = merged[index];
    // Clipped to the next start even when that event is dropped afterwards.
    if (index + 1 < merged.size()) {
      event.duration_ticks = std::min(
          event.duration_ticks, subtract_ticks(merged[index + 1].start_ticks, event.start_ticks));
    }
    if (event.duration_ticks <= 0 || !survives_normalization(event)) continue;
    event.positions = assigned_or_original_fingering(std::move(event.positions));
    kept.push_back(std::move(event));
  }
  return kept;
}

// Source chord labels

namespace {

// A label-only event lasts the marker's length, at least 1 tick; a length no written note holds
// (a tuplet member's) becomes whole eighths, so the rest under the label can be written.
std::int64_t written_label_duration(std::int64_t marker_duration) {
  if (marker_duration <= 0) return 1;
  if (renderable_arrangement_duration(marker_duration)) return marker_duration;
  const auto remainder = marker_duration % eighth_ticks;
  return remainder == 0 ? marker_duration : add_ticks(marker_duration, eighth_ticks - remainder);
}

bool some_event_starts_at(const std::vector<arrangement_event>& events, std::int64_t tick) {
  return std::ranges::any_of(
      events, [tick](const arrangement_event& event) { return event.start_ticks == tick; });
}

// The marker as it can be written. A label on a later member of a tuplet lies off the written
// grid; unless an event (a tuplet member) starts there, splitting an event or standing alone at
// that tick would give lengths no note holds. Such a label moves to the next eighth, where its
// chord is sounding, or, in the measure's last eighth, to that eighth's start, so that it stays in
// its measure (and its section). When the next label comes by the next eighth, that one is what
// sounds there and this one is left out.
std::optional<chord_label_marker> writable_label_marker(
    const source_score& score, const std::vector<arrangement_event>& events,
    chord_label_marker marker, std::int64_t next_label) {
  const auto eighth = eighth_around_off_grid_tick(score, marker.start_ticks);
  if (!eighth || some_event_starts_at(events, marker.start_ticks)) return marker;
  if (eighth->last_in_measure) {
    marker.start_ticks = eighth->start;
    return marker;
  }
  if (next_label <= eighth->end) return std::nullopt;
  marker.start_ticks = eighth->end;
  return marker;
}

}  // namespace

void add_source_chord_label_marker(std::vector<arrangement_event>& events,
                                   const chord_label_marker& marker) {
  const auto tick = marker.start_ticks;
  const auto starting = std::find_if(events.begin(), events.end(),
                                     [&](const auto& event) { return event.start_ticks == tick; });
  if (starting != events.end()) {
    starting->chord_symbol = marker.symbol;
    return;
  }
  const auto sounding = std::find_if(events.begin(), events.end(), [&](const auto& event) {
    return event.start_ticks < tick && tick < end_of(event);
  });
  if (sounding != events.end()) {
    auto later = *sounding;
    later.start_ticks = tick;
    later.duration_ticks = subtract_ticks(end_of(*sounding), tick);
    later.chord_symbol = marker.symbol;
    const bool sounds = !sounding->positions.empty();
    if (sounds) later.tie_from_previous = true;
    sounding->duration_ticks = subtract_ticks(tick, sounding->start_ticks);
    if (sounds) sounding->tie_to_next = true;
    events.push_back(std::move(later));
    return;
  }
  arrangement_event label;
  label.start_ticks = tick;
  label.duration_ticks = written_label_duration(marker.duration_ticks);
  label.chord_symbol = marker.symbol;
  label.filler = true;
  events.push_back(std::move(label));
}

std::vector<arrangement_event> with_source_chord_symbols(const source_score& score,
                                                         std::vector<arrangement_event> events) {
  for (auto& event : events) event.chord_symbol.clear();
  const auto markers = source_chord_label_markers(score);
  for (std::size_t index = 0; index < markers.size(); ++index) {
    // Past the last label nothing takes over.
    const auto next_label = index + 1 < markers.size() ? markers[index + 1].start_ticks
                                                       : std::numeric_limits<std::int64_t>::max();
    if (const auto marker = writable_label_marker(score, events, markers[index], next_label)) {
      add_source_chord_label_marker(events, *marker);
    }
  }
  return normalize_events(std::move(events));
}

// Melody context and hit filters

comping_context comping_context_for(const source_score& score, const arrangement_anchor& anchor) {
  return comping_context_for(section_source_of(score), anchor);
}

bool should_emit_comping_hit(const source_score& score, const arrangement_anchor& anchor,
                             const comping_hit& hit, std::int64_t tick,
                             const comping_context& context) {
  return should_emit_comping_hit(section_source_of(score), anchor, hit, tick, context);
}

bool should_emit_accompaniment_hit(const source_score& score, const arrangement_anchor& anchor,
                                   const comping_hit& hit, std::int64_t tick,
                                   const comping_context& context) {
  return should_emit_accompaniment_hit(section_source_of(score), anchor, hit, tick, context);
}

// Anchor and measure lookups

std::optional<std::size_t> active_anchor_index(const std::vector<arrangement_anchor>& anchors,
                                               std::int64_t tick) {
  for (std::size_t index = 0; index < anchors.size(); ++index) {
    const auto& anchor = anchors[index];
    if (anchor.start_ticks > tick) return std::nullopt;
    if (tick < add_ticks(anchor.start_ticks, anchor.duration_ticks)) return index;
  }
  return std::nullopt;
}

std::size_t comping_grid_measure_index(const source_score& score, std::int64_t tick) {
  return measure_index_holding(score, tick).value_or(0);
}

bool on_measure_eighth_grid(const source_score& score, std::int64_t tick) {
  const auto index = measure_index_holding(score, tick);
  const std::int64_t origin = index ? score.measures[*index].start_tick : 0;
  return subtract_ticks(tick, origin) % eighth_ticks == 0;
}

bool pattern_hit_fits_measure(const source_measure& measure, const comping_hit& hit) {
  return 0 <= hit.offset && hit.offset < measure.capacity_ticks;
}

// Spans and tick sets

bool event_overlaps_span(const arrangement_event& event, std::int64_t start, std::int64_t end) {
  return event.start_ticks < end && start < end_of(event);
}

bool event_overlaps_phrase(const arrangement_event& event, const phrase_instance_plan& phrase) {
  return event_overlaps_span(event, phrase.range.start, phrase.range.end);
}

void add_unique_tick(std::vector<std::int64_t>& ticks, std::int64_t tick) {
  if (!tick_list_contains(ticks, tick)) ticks.push_back(tick);
}

bool tick_list_contains(const std::vector<std::int64_t>& ticks, std::int64_t tick) {
  return std::find(ticks.begin(), ticks.end(), tick) != ticks.end();
}

bool tick_in_ranges(const std::vector<tick_range>& ranges, std::int64_t tick) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [&](const tick_range& range) { return tick_in_range(range, tick); });
}

// The comping event push

std::size_t position_count_at_start(const std::vector<arrangement_event>& events,
                                    std::int64_t tick) {
  std::size_t count = 0;
  for (const auto& event : events) {
    if (event.start_ticks == tick) count += event.positions.size();
  }
  return count;
}

void push_comping_event(std::vector<arrangement_event>& events, const source_score& score,
                        std::int64_t tick, std::int64_t anchor_start, std::int64_t anchor_end,
                        std::vector<tab_position> positions, const std::string& symbol,
                        bool avoid_melody_attack, std::int64_t duration) {
  push_comping_event(events, section_source_of(score), tick, anchor_start, anchor_end,
                     std::move(positions), symbol, avoid_melody_attack, duration);
}

// Phrase-plan hit rules and pattern choice

std::size_t pattern_index_for_acoustic_intent(phrase_rhythm_intent intent,
                                              const phrase_instance_plan& phrase) {
  switch (intent) {
    case phrase_rhythm_intent::variation: {
      const std::int64_t parity = (std::int64_t{phrase.source_phrase} + phrase.index) % 2;
      return parity == 0 ? 1 : 2;
    }
    case phrase_rhythm_intent::response: return 2;
    case phrase_rhythm_intent::build:
    case phrase_rhythm_intent::cadence: return 3;
    default: return 0;
  }
}

std::size_t pattern_index_for_electric_intent(electric_stab_intent intent,
                                              const phrase_instance_plan& phrase) {
  switch (intent) {
    case electric_stab_intent::sparse_support: return 1;
    case electric_stab_intent::late_answer: return 2;
    case electric_stab_intent::anticipation:
    case electric_stab_intent::cadence: return 3;
    case electric_stab_intent::intentional_silence:
      return static_cast<std::size_t>(std::abs(std::int64_t{phrase.index}) % 4);
    default: return 0;
  }
}

bool planned_acoustic_hit_allowed(const phrase_instance_plan& phrase, const comping_hit& hit,
                                  std::int64_t tick) {
  const auto& range = phrase.range;
  if (!tick_in_range(range, tick) || hit.offset == 0) return false;
  switch (phrase.rhythm_intent) {
    case phrase_rhythm_intent::sparse: return hit.offset >= half_measure_ticks || hit.needs_space;
    case phrase_rhythm_intent::response:
      if (phrase.response_windows.empty()) return tick >= middle_of(range);
      return tick_in_ranges(phrase.response_windows, tick);
    default: return true;
  }
}

bool planned_electric_hit_allowed(const phrase_instance_plan& phrase, const comping_hit& hit,
                                  std::int64_t tick) {
  const auto& range = phrase.range;
  if (!tick_in_range(range, tick)) return false;
  switch (phrase.electric_intent) {
    case electric_stab_intent::establish:
      return tick < add_ticks(range.start, std::max(measure_ticks, half_length(range)));
    case electric_stab_intent::sparse_support:
      return hit.needs_space || tick >= add_ticks(range.start, half_measure_ticks);
    case electric_stab_intent::late_answer:
      return tick_in_ranges(phrase.response_windows, tick) || tick >= middle_of(range);
    case electric_stab_intent::anticipation:
      return hit.offset >= half_measure_ticks || tick >= middle_of(range);
    case electric_stab_intent::cadence: return tick >= add_ticks(range.end, -2 * measure_ticks);
    case electric_stab_intent::intentional_silence: return false;
    default: return true;
  }
}

// Acoustic chord-mode comping and planned acoustic activity

void append_unique_pulse_offset(std::vector<std::int64_t>& offsets, std::int64_t offset,
                                std::int64_t capacity) {
  if (0 <= offset && offset < capacity) add_unique_tick(offsets, offset);
}

std::vector<std::int64_t> acoustic_bass_pulse_offsets(const source_measure& measure,
                                                      const arrangement_style_profile& profile) {
  const auto capacity = measure.capacity_ticks;
  std::vector<std::int64_t> offsets;
  append_unique_pulse_offset(offsets, 0, capacity);
  if (measure.time_signature == "6/8") {
    append_unique_pulse_offset(offsets, capacity / 2, capacity);
  } else if (capacity >= measure_ticks ||
             (profile.family == comping_style_family::waltz && capacity >= 12288)) {
    append_unique_pulse_offset(offsets, half_measure_ticks, capacity);
  }
  std::sort(offsets.begin(), offsets.end());
  return offsets;
}

void push_acoustic_upper_chord_event(std::vector<arrangement_event>& events,
                                     const source_score& score, const arrangement_anchor& anchor,
                                     const acoustic_comping_grip& grip, std::int64_t tick,
                                     bool avoid_melody_attack, std::int64_t duration) {
  push_acoustic_upper_chord_event(events, section_source_of(score), anchor, grip, tick,
                                  avoid_melody_attack, duration);
}

void push_traced_acoustic_optional_event(std::vector<arrangement_event>& events,
                                         const source_score& score,
                                         const arrangement_anchor& anchor,
                                         const acoustic_comping_grip& grip, const comping_hit& hit,
                                         std::int64_t tick, const phrase_instance_plan* phrase,
                                         phrase_debug_trace* phrase_trace) {
  push_traced_acoustic_optional_event(events, section_source_of(score), anchor, grip, hit, tick,
                                      phrase, phrase_trace);
}

namespace {

// The comping anchors of a section and the voicing chosen for each (an element may be empty).
struct chosen_voicings {
  std::vector<arrangement_anchor> anchors;
  std::vector<std::optional<acoustic_comping_grip>> grips;
};

// The voicing of the anchor at the index when the anchor can be comped: it has a chord and the
// path chose a voicing for it; null otherwise.
const acoustic_comping_grip* usable_voicing(const chosen_voicings& chosen, std::size_t index) {
  if (index >= chosen.grips.size() || !chosen.grips[index] || !chosen.anchors[index].chord) {
    return nullptr;
  }
  return &*chosen.grips[index];
}

// The index of the anchor sounding at the tick when it can be comped.
std::optional<std::size_t> usable_anchor_at(const chosen_voicings& chosen, std::int64_t tick) {
  const auto index = active_anchor_index(chosen.anchors, tick);
  if (!index || usable_voicing(chosen, *index) == nullptr) return std::nullopt;
  return index;
}

// The pattern a phrase's rhythm intent chooses out of a non-empty pattern list.
const comping_pattern& acoustic_pattern_for(const std::vector<comping_pattern>& patterns,
                                            const phrase_instance_plan& phrase) {
  return patterns[pattern_index_for_acoustic_intent(phrase.rhythm_intent, phrase) %
                  patterns.size()];
}

void resolve_acoustic_cell(phrase_debug_trace* trace, const arrangement_style_profile& profile,
                           const phrase_instance_plan& phrase) {
  if (trace != nullptr && trace->resolved_cell.empty()) {
    trace->resolved_cell = resolve_acoustic_cell_id(profile, phrase.rhythm_intent, phrase);
  }
}

std::uint64_t sounding_events_in_phrase(const std::vector<arrangement_event>& events,
                                        const phrase_instance_plan& phrase) {
  return static_cast<std::uint64_t>(
      std::count_if(events.begin(), events.end(), [&](const arrangement_event& event) {
        return !event.positions.empty() && event_overlaps_phrase(event, phrase);
      }));
}

// The bass alone on every pulse of every measure that falls inside a comped chord.
void push_bass_pulses(std::vector<arrangement_event>& events, const section_source& source,
                      const arrangement_style_profile& profile, const chosen_voicings& chosen) {
  for (const auto& measure : source.score.measures) {
    for (const auto offset : acoustic_bass_pulse_offsets(measure, profile)) {
      const auto tick = add_ticks(measure.start_tick, offset);
      const auto index = usable_anchor_at(chosen, tick);
      if (!index) continue;
      const auto& anchor = chosen.anchors[*index];
      push_comping_event(events, source, tick, anchor.start_ticks,
                         add_ticks(anchor.start_ticks, anchor.duration_ticks),
                         usable_voicing(chosen, *index)->bass, "", false, eighth_ticks);
    }
  }
}

// The full voicing with the chord's symbol on every chord start, merged into a bass pulse there.
void push_chord_starts(std::vector<arrangement_event>& events, const section_source& source,
                       const chosen_voicings& chosen) {
  for (std::size_t index = 0; index < chosen.anchors.size(); ++index) {
    const auto* voicing = usable_voicing(chosen, index);
    if (voicing == nullptr) continue;
    const auto& anchor = chosen.anchors[index];
    push_acoustic_upper_chord_event(events, source, anchor, *voicing, anchor.start_ticks, false,
                                    eighth_ticks);
  }
}

// The upper notes on the hits of each measure's pattern that the phrase plan and the melody
// allow, from the measure of the first chord on; names each phrase's cell in the trace.
void push_pattern_hits(std::vector<arrangement_event>& events, const section_source& source,
                       const arrangement_style_profile& profile,
                       const std::vector<comping_pattern>& patterns, const chosen_voicings& chosen,
                       const section_plan& plan, section_debug_trace* section_trace) {
  const auto& score = source.score;
  const auto first = comping_grid_measure_index(score, chosen.anchors.front().start_ticks);
  for (std::size_t measure_index = first; measure_index < score.measures.size(); ++measure_index) {
    const auto& measure = score.measures[measure_index];
    const auto* phrase = phrase_plan_for_tick(plan, measure.start_tick);
    if (phrase == nullptr) continue;
    auto* trace = phrase_trace_for(section_trace, phrase);
    resolve_acoustic_cell(trace, profile, *phrase);
    for (const auto& hit : acoustic_pattern_for(patterns, *phrase).hits) {
      if (!pattern_hit_fits_measure(measure, hit)) continue;
      const auto tick = add_ticks(measure.start_tick, hit.offset);
      if (!planned_acoustic_hit_allowed(*phrase, hit, tick)) continue;
      const auto index = usable_anchor_at(chosen, tick);
      if (!index) continue;
      const auto& anchor = chosen.anchors[*index];
      if (!should_emit_comping_hit(source, anchor, hit, tick,
                                   comping_context_for(source, anchor))) {
        continue;
      }
      push_traced_acoustic_optional_event(events, source, anchor, *usable_voicing(chosen, *index),
                                          hit, tick, phrase, trace);
    }
  }
}

// Names the cell of every traced phrase not named yet and counts its sounding events.
void trace_phrase_events(const std::vector<arrangement_event>& events,
                         const arrangement_style_profile& profile, const section_plan& plan,
                         section_debug_trace* section_trace) {
  for (const auto& phrase : plan.phrases) {
    auto* trace = phrase_trace_for(section_trace, &phrase);
    if (trace == nullptr) continue;
    resolve_acoustic_cell(trace, profile, phrase);
    trace->events = sounding_events_in_phrase(events, phrase);
  }
}

}  // namespace

std::vector<arrangement_event> chord_mode_comping_events(
    const source_score& score, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, std::uint64_t /*section_type*/,
    std::optional<std::vector<tab_position>> start_grip, std::int64_t gap, const section_plan& plan,
    section_debug_trace* section_trace) {
  chosen_voicings chosen;
  chosen.anchors = acoustic_comping_anchors_for_anchors(anchors);
  if (chosen.anchors.empty()) return {};
  chosen.grips =
      selected_acoustic_comping_grips_for_anchors(chosen.anchors, std::move(start_grip), gap);
  if (chosen.grips.empty()) return {};

  const auto source = section_source_of(score);
  std::vector<arrangement_event> events;
  push_bass_pulses(events, source, profile, chosen);
  push_chord_starts(events, source, chosen);
  const auto& patterns = comping_patterns_for(profile);
  if (!patterns.empty()) {
    push_pattern_hits(events, source, profile, patterns, chosen, plan, section_trace);
    // Counted on the events as pushed, before normalisation.
    trace_phrase_events(events, profile, plan, section_trace);
  }
  return normalize_events(std::move(events));
}

planned_acoustic_activity planned_acoustic_activity_for(
    const source_score& score, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, const section_plan& plan) {
  planned_acoustic_activity activity;
  for (const auto& measure : score.measures) {
    for (const auto offset : acoustic_bass_pulse_offsets(measure, profile)) {
      add_unique_tick(activity.bass_pulse_ticks, add_ticks(measure.start_tick, offset));
    }
  }
  for (const auto& anchor : anchors) {
    if (anchor.chord) add_unique_tick(activity.chord_start_ticks, anchor.start_ticks);
  }
  const auto& patterns = comping_patterns_for(profile);
  if (patterns.empty()) return activity;
  for (const auto& measure : score.measures) {
    const auto* phrase = phrase_plan_for_tick(plan, measure.start_tick);
    if (phrase == nullptr) continue;
    for (const auto& hit : acoustic_pattern_for(patterns, *phrase).hits) {
      if (!pattern_hit_fits_measure(measure, hit)) continue;
      const auto tick = add_ticks(measure.start_tick, hit.offset);
      if (planned_acoustic_hit_allowed(*phrase, hit, tick) && active_anchor_index(anchors, tick)) {
        add_unique_tick(activity.pattern_hit_ticks, tick);
      }
    }
  }
  return activity;
}

bool acoustic_upper_activity_at(const planned_acoustic_activity& activity, std::int64_t tick) {
  return tick_list_contains(activity.chord_start_ticks, tick) ||
         tick_list_contains(activity.pattern_hit_ticks, tick);
}

bool acoustic_activity_before(const planned_acoustic_activity& activity, std::int64_t tick) {
  const auto eighth_before = add_ticks(tick, -eighth_ticks);
  return tick_list_contains(activity.bass_pulse_ticks, eighth_before) ||
         tick_list_contains(activity.chord_start_ticks, eighth_before) ||
         tick_list_contains(activity.pattern_hit_ticks, eighth_before) ||
         tick_list_contains(activity.pattern_hit_ticks, add_ticks(tick, -quarter_ticks));
}

int acoustic_complement_rank(const planned_acoustic_activity& activity, std::int64_t tick,
                             bool avoid_acoustic_upper) {
  const bool before = acoustic_activity_before(activity, tick);
  if (avoid_acoustic_upper && acoustic_upper_activity_at(activity, tick)) return before ? 75 : 120;
  return before ? -45 : 0;
}

// Cell ids

std::string_view style_family_name(comping_style_family family) {
  constexpr auto names = style_family_names();
  const auto value = static_cast<int>(family);
  if (value < 0 || value >= static_cast<int>(names.size())) return names.front();
  return names[static_cast<std::size_t>(value)];
}

std::string resolve_acoustic_cell_id(const arrangement_style_profile& profile,
                                     phrase_rhythm_intent intent,
                                     const phrase_instance_plan& phrase) {
  return std::string(style_family_name(profile.family)) + "_upper_" +
         std::string(to_string(intent)) + "_" +
         std::to_string(pattern_index_for_acoustic_intent(intent, phrase));
}

std::string resolve_electric_stab_cell_id(const arrangement_style_profile& profile,
                                          electric_stab_intent intent,
                                          const phrase_instance_plan& phrase) {
  return std::string(style_family_name(profile.family)) + "_stab_" +
         std::string(to_string(intent)) + "_" +
         std::to_string(pattern_index_for_electric_intent(intent, phrase));
}

phrase_debug_trace* phrase_trace_for(section_debug_trace* section_trace,
                                     const phrase_instance_plan* phrase) {
  if (section_trace == nullptr || phrase == nullptr) return nullptr;
  for (auto& record : section_trace->phrases) {
    if (record.phrase_index == phrase->index) return &record;
  }
  return nullptr;
}

// Electric stabs and coverage stabs

namespace {

// The hit of every coverage stab: an eighth, away from melody attacks.
constexpr comping_hit coverage_hit() {
  return {.offset = 0, .duration = eighth_ticks, .avoid_melody_attack = true};
}

// The measure's off-beat eighths, then beats 2, 3 and 4 of a 4/4 measure.
constexpr std::array<std::int64_t, 7> coverage_stab_offsets() {
  return {2048, 6144, 10240, 14336, 4096, 8192, 12288};
}

bool is_electric_stab(const arrangement_event& event) { return event.positions.size() >= 2; }

// The chosen grip of the anchor at `index` when the anchor can sound a stab; null otherwise.
const electric_stab_grip* usable_stab_grip(
    const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::optional<electric_stab_grip>>& grips, std::size_t index) {
  if (index >= anchors.size() || index >= grips.size() || !grips[index]) return nullptr;
  if (!anchors[index].chord) return nullptr;
  return &*grips[index];
}

// The usable stab anchor sounding at the tick and its grip; a null grip when there is none.
std::pair<const arrangement_anchor*, const electric_stab_grip*> usable_stab_at(
    const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::optional<electric_stab_grip>>& grips, std::int64_t tick) {
  const auto index = active_anchor_index(anchors, tick);
  if (!index) return {nullptr, nullptr};
  const auto* grip = usable_stab_grip(anchors, grips, *index);
  if (grip == nullptr) return {nullptr, nullptr};
  return {&anchors[*index], grip};
}

std::size_t stab_count_in_span(const std::vector<arrangement_event>& events, std::int64_t start,
                               std::int64_t end) {
  return static_cast<std::size_t>(
      std::count_if(events.begin(), events.end(), [&](const arrangement_event& event) {
        return is_electric_stab(event) && event_overlaps_span(event, start, end);
      }));
}

void push_electric_stab_event(std::vector<arrangement_event>& events, const section_source& source,
                              const arrangement_anchor& anchor, const electric_stab_grip& grip,
                              const comping_hit& hit, std::int64_t tick) {
  const bool on_start = anchor.chord && tick == anchor.start_ticks;
  push_comping_event(events, source, tick, anchor.start_ticks,
                     add_ticks(anchor.start_ticks, anchor.duration_ticks), grip.positions,
                     on_start ? anchor.chord->symbol : std::string{}, hit.avoid_melody_attack,
                     hit.duration);
}

bool push_traced_electric_stab_event(std::vector<arrangement_event>& events,
                                     const section_source& source, const arrangement_anchor& anchor,
                                     const electric_stab_grip& grip, const comping_hit& hit,
                                     std::int64_t tick, const phrase_instance_plan* phrase,
                                     phrase_debug_trace* phrase_trace, bool optional_event) {
  const auto event_count = events.size();
  const auto position_count = position_count_at_start(events, tick);
  push_electric_stab_event(events, source, anchor, grip, hit, tick);
  if (events.size() == event_count && position_count_at_start(events, tick) == position_count) {
    return false;
  }
  if (phrase_trace != nullptr) {
    if (optional_event) ++phrase_trace->optional_events;
    if (phrase != nullptr && tick_in_ranges(phrase->response_windows, tick)) {
      ++phrase_trace->response_window_hits;
    }
  }
  return true;
}

std::vector<std::int64_t> candidate_coverage_starts(
    const section_source& source, const phrase_instance_plan& phrase, electric_stab_intent intent,
    const std::vector<arrangement_anchor>& anchors) {
  std::vector<std::int64_t> ticks;
  const auto offer = [&](std::int64_t tick) {
    if (tick_in_range(phrase.range, tick) && on_measure_eighth_grid(source, tick)) {
      add_unique_tick(ticks, tick);
    }
  };
  if (intent == electric_stab_intent::cadence) {
    offer(add_ticks(phrase.range.end, -eighth_ticks));
    offer(add_ticks(phrase.range.end, -quarter_ticks));
  }
  for (const auto& window : phrase.response_windows) {
    offer(window.start);
    offer(add_ticks(window.end, -eighth_ticks));
  }
  for (const auto& anchor : anchors) {
    if (tick_in_range(phrase.range, anchor.start_ticks)) offer(anchor.start_ticks);
  }
  for (const auto& anchor : anchors) {
    offer(add_ticks(std::max(anchor.start_ticks, phrase.range.start), eighth_ticks));
  }
  return ticks;
}

void push_phrase_coverage_stab(std::vector<arrangement_event>& events, const section_source& source,
                               const phrase_instance_plan& phrase,
                               const std::vector<arrangement_anchor>& anchors,
                               const std::vector<std::optional<electric_stab_grip>>& grips,
                               phrase_debug_trace* phrase_trace) {
  const auto record = [&](phrase_fallback_result result) {
    if (phrase_trace != nullptr) phrase_trace->fallback = result;
  };
  if (phrase.electric_intent == electric_stab_intent::intentional_silence) {
    record(phrase_fallback_result::intentional_silence);
    return;
  }
  if (phrase_has_electric_stab(events, phrase)) {
    record(phrase_fallback_result::not_needed);
    return;
  }
  for (const auto tick :
       candidate_coverage_starts(source, phrase, phrase.electric_intent, anchors)) {
    if (melody_attack_at(source.melody, tick)) continue;
    const auto [anchor, grip] = usable_stab_at(anchors, grips, tick);
    if (grip == nullptr) continue;
    if (push_traced_electric_stab_event(events, source, *anchor, *grip, coverage_hit(), tick,
                                        &phrase, phrase_trace, false)) {
      record(phrase_fallback_result::coverage_stab_inserted);
      return;
    }
  }
  record(phrase_fallback_result::no_legal_candidate);
  if (phrase_trace != nullptr) phrase_trace->fallback_reason = "no_legal_coverage_candidate";
}

}  // namespace

bool measure_has_electric_stab(const std::vector<arrangement_event>& events,
                               const source_measure& measure) {
  return measure_electric_stab_count(events, measure) > 0;
}

std::size_t measure_electric_stab_count(const std::vector<arrangement_event>& events,
                                        const source_measure& measure) {
  return stab_count_in_span(events, measure.start_tick, measure_end(measure));
}

bool electric_stab_starts_at(const std::vector<arrangement_event>& events, std::int64_t tick) {
  return std::any_of(events.begin(), events.end(), [&](const arrangement_event& event) {
    return is_electric_stab(event) && event.start_ticks == tick;
  });
}

bool phrase_has_electric_stab(const std::vector<arrangement_event>& events,
                              const phrase_instance_plan& phrase) {
  return stab_count_in_span(events, phrase.range.start, phrase.range.end) > 0;
}

void push_electric_stab_event(std::vector<arrangement_event>& events, const source_score& score,
                              const arrangement_anchor& anchor, const electric_stab_grip& grip,
                              const comping_hit& hit, std::int64_t tick) {
  push_electric_stab_event(events, section_source_of(score), anchor, grip, hit, tick);
}

bool push_traced_electric_stab_event(std::vector<arrangement_event>& events,
                                     const source_score& score, const arrangement_anchor& anchor,
                                     const electric_stab_grip& grip, const comping_hit& hit,
                                     std::int64_t tick, const phrase_instance_plan* phrase,
                                     phrase_debug_trace* phrase_trace, bool optional_event) {
  return push_traced_electric_stab_event(events, section_source_of(score), anchor, grip, hit, tick,
                                         phrase, phrase_trace, optional_event);
}

std::vector<std::int64_t> candidate_coverage_starts(
    const source_score& score, const phrase_instance_plan& phrase, electric_stab_intent intent,
    const std::vector<arrangement_anchor>& anchors) {
  return candidate_coverage_starts(section_source_of(score), phrase, intent, anchors);
}

void push_phrase_coverage_stab(std::vector<arrangement_event>& events, const source_score& score,
                               const phrase_instance_plan& phrase,
                               const std::vector<arrangement_anchor>& anchors,
                               const std::vector<std::optional<electric_stab_grip>>& grips,
                               phrase_debug_trace* phrase_trace) {
  push_phrase_coverage_stab(events, section_source_of(score), phrase, anchors, grips, phrase_trace);
}

std::vector<std::int64_t> electric_coverage_stab_offsets(const source_measure& measure,
                                                         const planned_acoustic_activity& activity,
                                                         bool avoid_acoustic_upper) {
  struct ranked_offset {
    int rank = 0;
    std::int64_t offset = 0;
  };
  std::vector<ranked_offset> ranked;
  for (const auto offset : coverage_stab_offsets()) {
    if (offset >= measure.capacity_ticks) continue;
    const auto tick = add_ticks(measure.start_tick, offset);
    ranked.push_back({acoustic_complement_rank(activity, tick, avoid_acoustic_upper), offset});
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const ranked_offset& left, const ranked_offset& right) {
                     if (left.rank != right.rank) return left.rank < right.rank;
                     return left.offset < right.offset;
                   });
  std::vector<std::int64_t> offsets;
  offsets.reserve(ranked.size());
  for (const auto& entry : ranked) offsets.push_back(entry.offset);
  return offsets;
}

namespace {

bool push_coverage_electric_stab_for_measure(
    std::vector<arrangement_event>& events, const section_source& source,
    const source_measure& measure, const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::optional<electric_stab_grip>>& grips,
    const planned_acoustic_activity& activity, bool avoid_acoustic_upper) {
  for (const auto offset :
       electric_coverage_stab_offsets(measure, activity, avoid_acoustic_upper)) {
    const auto tick = add_ticks(measure.start_tick, offset);
    if (melody_attack_at(source.melody, tick) || electric_stab_starts_at(events, tick)) continue;
    if (avoid_acoustic_upper && acoustic_upper_activity_at(activity, tick)) continue;
    const auto [anchor, grip] = usable_stab_at(anchors, grips, tick);
    if (grip == nullptr) continue;
    const auto event_count = events.size();
    push_electric_stab_event(events, source, *anchor, *grip, coverage_hit(), tick);
    return events.size() > event_count;
  }
  return false;
}

}  // namespace

bool push_coverage_electric_stab_for_measure(
    std::vector<arrangement_event>& events, const source_score& score,
    const source_measure& measure, const std::vector<arrangement_anchor>& anchors,
    const std::vector<std::optional<electric_stab_grip>>& grips,
    const planned_acoustic_activity& activity, bool avoid_acoustic_upper) {
  return push_coverage_electric_stab_for_measure(events, section_source_of(score), measure, anchors,
                                                 grips, activity, avoid_acoustic_upper);
}

// Electric accompaniment

namespace {

struct stab_targets {
  std::size_t moving = 0;
  std::size_t space = 0;
};

// How many stabs a measure of the phrase should hold: with moving melody, with space.
stab_targets stab_targets_for(const phrase_instance_plan* phrase) {
  if (phrase == nullptr) return {};
  switch (phrase->electric_intent) {
    case electric_stab_intent::establish:
    case electric_stab_intent::sparse_support:
    case electric_stab_intent::late_answer: return {1, 1};
    case electric_stab_intent::anticipation: return {2, 1};
    case electric_stab_intent::cadence: return {2, 2};
    default: return {};
  }
}

bool measure_has_moving_melody(const section_source& source, const source_measure& measure) {
  const auto& starts = source.short_attack_starts;
  const auto first = std::ranges::lower_bound(starts, measure.start_tick);
  return first != starts.end() && *first < measure_end(measure);
}

bool measure_has_long_melody_or_rest_space(const section_source& source,
                                           const source_measure& measure) {
  return has_long_melody_or_rest_space(source.melody, measure.start_tick, measure_end(measure));
}

std::size_t target_electric_stab_count_for_measure(const section_source& source,
                                                   const source_measure& measure,
                                                   const phrase_instance_plan* phrase) {
  if (measure_has_moving_melody(source, measure)) {
    return target_electric_stab_count_for_moving_measure(phrase);
  }
  if (measure_has_long_melody_or_rest_space(source, measure)) return stab_targets_for(phrase).space;
  return 0;
}

// The accompaniment grips of a chord: two-note voicings first when the chord is short or the
// style fast, then with two-note voicings, then without the melody-position rule.
std::vector<grip_candidate> accompaniment_candidates(const parsed_chord& chord,
                                                     bool short_or_fast) {
  auto candidates = melody_mode_chord_candidates(chord, short_or_fast, true);
  if (candidates.empty()) candidates = melody_mode_chord_candidates(chord, true, true);
  if (candidates.empty()) candidates = melody_mode_chord_candidates(chord, true, false);
  return candidates;
}

// Pattern stabs of every measure from `first`, as the phrase plans and the melody allow.
void push_pattern_stabs(std::vector<arrangement_event>& events, const section_source& source,
                        const arrangement_style_profile& profile,
                        const std::vector<comping_pattern>& patterns,
                        const std::vector<arrangement_anchor>& anchors,
                        const std::vector<std::optional<electric_stab_grip>>& grips,
                        const planned_acoustic_activity& activity, const section_plan& plan,
                        section_debug_trace* section_trace, std::size_t first) {
  const auto& measures = source.score.measures;
  for (std::size_t index = first; index < measures.size(); ++index) {
    const auto& measure = measures[index];
    const auto* phrase = phrase_plan_for_tick(plan, measure.start_tick);
    if (phrase == nullptr) continue;
    auto* trace = phrase_trace_for(section_trace, phrase);
    if (trace != nullptr && trace->resolved_cell.empty()) {
      trace->resolved_cell =
          resolve_electric_stab_cell_id(profile, phrase->electric_intent, *phrase);
    }
    const auto& pattern =
        patterns[pattern_index_for_electric_intent(phrase->electric_intent, *phrase) %
                 patterns.size()];
    for (const auto& hit : pattern.hits) {
      if (!pattern_hit_fits_measure(measure, hit)) continue;
      const auto tick = add_ticks(measure.start_tick, hit.offset);
      if (!planned_electric_hit_allowed(*phrase, hit, tick)) continue;
      const auto [anchor, grip] = usable_stab_at(anchors, grips, tick);
      if (grip == nullptr) continue;
      const bool upper_allowed =
          tick == anchor->start_ticks || phrase->electric_intent == electric_stab_intent::cadence;
      if (!upper_allowed && acoustic_upper_activity_at(activity, tick)) continue;
      if (!should_emit_accompaniment_hit(source, *anchor, hit, tick,
                                         comping_context_for(source, *anchor))) {
        continue;
      }
      push_traced_electric_stab_event(events, source, *anchor, *grip, hit, tick, phrase, trace,
                                      true);
    }
  }
}

// Coverage stabs until every measure from `first` with moving melody or space holds its target.
void push_measure_coverage_stabs(std::vector<arrangement_event>& events,
                                 const section_source& source,
                                 const std::vector<arrangement_anchor>& anchors,
                                 const std::vector<std::optional<electric_stab_grip>>& grips,
                                 const planned_acoustic_activity& activity,
                                 const section_plan& plan, std::size_t first) {
  const auto& measures = source.score.measures;
  for (std::size_t index = first; index < measures.size(); ++index) {
    const auto& measure = measures[index];
    if (!measure_has_moving_melody(source, measure) &&
        !measure_has_long_melody_or_rest_space(source, measure)) {
      continue;
    }
    const auto target = target_electric_stab_count_for_measure(
        source, measure, phrase_plan_for_tick(plan, measure.start_tick));
    // Every added stab starts on an offset that then holds a stab, so the loop ends.
    while (measure_electric_stab_count(events, measure) < target) {
      if (push_coverage_electric_stab_for_measure(events, source, measure, anchors, grips, activity,
                                                  true)) {
        continue;
      }
      if (!measure_has_electric_stab(events, measure)) {
        push_coverage_electric_stab_for_measure(events, source, measure, anchors, grips, activity,
                                                false);
      }
      break;
    }
  }
}

// The phrase's counts of played events and of stabs against the planned acoustic activity.
void record_acoustic_counts(phrase_debug_trace& trace, const std::vector<arrangement_event>& events,
                            const phrase_instance_plan& phrase,
                            const planned_acoustic_activity& activity) {
  trace.events = 0;
  trace.acoustic_overlaps = 0;
  trace.acoustic_responses = 0;
  for (const auto& event : events) {
    if (event.positions.empty() || !event_overlaps_phrase(event, phrase)) continue;
    ++trace.events;
    if (!is_electric_stab(event)) continue;
    if (acoustic_upper_activity_at(activity, event.start_ticks)) ++trace.acoustic_overlaps;
    if (acoustic_activity_before(activity, event.start_ticks)) ++trace.acoustic_responses;
  }
}

}  // namespace

std::vector<arrangement_anchor> build_accompaniment_anchors(
    const source_score& score, const arrangement_style_profile& profile,
    std::vector<arrangement_message>& messages) {
  std::vector<arrangement_anchor> anchors;
  // The grips of each chord are generated once per call: songs repeat their chords.
  std::vector<std::tuple<parsed_chord, bool, std::vector<grip_candidate>>> generated;
  const auto candidates_of = [&](const parsed_chord& chord, bool short_or_fast) {
    for (const auto& [known, short_chord, candidates] : generated) {
      if (short_chord == short_or_fast && known == chord) return candidates;
    }
    generated.emplace_back(chord, short_or_fast, accompaniment_candidates(chord, short_or_fast));
    return std::get<2>(generated.back());
  };
  for (auto& occurrence : chord_occurrences(score, messages, false)) {
    if (occurrence.start_tick >= occurrence.end_tick) continue;
    const auto duration = subtract_ticks(occurrence.end_tick, occurrence.start_tick);
    auto candidates =
        candidates_of(occurrence.chord, profile.fast || duration <= half_measure_ticks);
    if (candidates.empty()) continue;
    anchors.push_back(
        chord_occurrence_anchor(std::move(occurrence), duration, std::move(candidates)));
  }
  return anchors;
}

bool measure_has_moving_melody(const source_score& score, const source_measure& measure) {
  return measure_has_moving_melody(section_source_of(score), measure);
}

bool measure_has_long_melody_or_rest_space(const source_score& score,
                                           const source_measure& measure) {
  return measure_has_long_melody_or_rest_space(section_source_of(score), measure);
}

std::size_t target_electric_stab_count_for_measure(const source_score& score,
                                                   const source_measure& measure,
                                                   const phrase_instance_plan* phrase) {
  return target_electric_stab_count_for_measure(section_source_of(score), measure, phrase);
}

std::size_t target_electric_stab_count_for_moving_measure(const phrase_instance_plan* phrase) {
  return stab_targets_for(phrase).moving;
}

std::vector<arrangement_event> melody_accompaniment_comping_events(
    const source_score& score, const arrangement_style_profile& profile,
    const std::vector<arrangement_anchor>& anchors, std::uint64_t /*section_type*/,
    const section_plan& plan, section_debug_trace* section_trace) {
  const auto stab_anchors = electric_stab_anchors_for_anchors(anchors);
  if (stab_anchors.empty()) return {};
  const auto grips = selected_electric_stab_grips_for_anchors(stab_anchors);
  if (grips.empty()) return {};
  const auto& patterns = accompaniment_patterns_for(profile);
  if (patterns.empty()) return {};
  const auto activity = planned_acoustic_activity_for(score, profile, stab_anchors, plan);
  const auto first = comping_grid_measure_index(score, stab_anchors.front().start_ticks);

  const auto source = section_source_of(score);
  std::vector<arrangement_event> events;
  push_pattern_stabs(events, source, profile, patterns, stab_anchors, grips, activity, plan,
                     section_trace, first);
  push_measure_coverage_stabs(events, source, stab_anchors, grips, activity, plan, first);
  for (const auto& phrase : plan.phrases) {
    auto* trace = phrase_trace_for(section_trace, &phrase);
    if (trace != nullptr) {
      if (trace->resolved_cell.empty()) {
        trace->resolved_cell =
            resolve_electric_stab_cell_id(profile, phrase.electric_intent, phrase);
      }
      if (trace->acoustic_reference_cell.empty()) {
        trace->acoustic_reference_cell =
            resolve_acoustic_cell_id(profile, phrase.rhythm_intent, phrase);
      }
    }
    push_phrase_coverage_stab(events, source, phrase, stab_anchors, grips, trace);
    if (trace != nullptr) record_acoustic_counts(*trace, events, phrase, activity);
  }
  return normalize_events(std::move(events));
}

}  // namespace orvanta::arrangement_detail
