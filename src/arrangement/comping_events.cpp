#include "arrangement/comping_events.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::int64_t eighth_ticks = 2048;
constexpr std::int64_t quarter_ticks = 4096;
constexpr std::int64_t half_measure_ticks = 8192;
constexpr std::int64_t measure_ticks = 16384;

// Tick arithmetic saturates instead of overflowing on absurd ticks.
std::int64_t add_ticks(std::int64_t tick, std::int64_t ticks) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(tick, ticks, &sum)) return sum;
  return ticks > 0 ? std::numeric_limits<std::int64_t>::max()
                   : std::numeric_limits<std::int64_t>::min();
}

std::int64_t ticks_between(std::int64_t start, std::int64_t end) {
  std::int64_t difference = 0;
  if (!__builtin_sub_overflow(end, start, &difference)) return difference;
  return start < 0 ? std::numeric_limits<std::int64_t>::max()
                   : std::numeric_limits<std::int64_t>::min();
}

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

void sort_positions_by_pitch(std::vector<tab_position>& positions) {
  std::stable_sort(
      positions.begin(), positions.end(),
      [](const tab_position& left, const tab_position& right) { return left.midi < right.midi; });
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

// The first measure whose span holds the tick.
std::optional<std::size_t> measure_index_holding(const source_score& score, std::int64_t tick) {
  for (std::size_t index = 0; index < score.measures.size(); ++index) {
    const auto& measure = score.measures[index];
    if (measure.start_tick <= tick &&
        tick < add_ticks(measure.start_tick, measure.capacity_ticks)) {
      return index;
    }
  }
  return std::nullopt;
}

// True when the melody leaves the hit no room: a busy melody or no long note or rest, where the
// hit cares.
bool melody_refuses_hit(const comping_hit& hit, const comping_context& context) {
  return (hit.skip_when_melody_busy && context.busy) || (hit.needs_space && !context.long_space);
}

constexpr std::array<std::string_view, 10> style_family_names() {
  return {"swing",    "ballad", "bossa", "samba", "latin",
          "even8ths", "rock",   "funk",  "blues", "waltz"};
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
          event.duration_ticks, ticks_between(event.start_ticks, merged[index + 1].start_ticks));
    }
    if (event.duration_ticks <= 0 || !survives_normalization(event)) continue;
    event.positions = assigned_or_original_fingering(std::move(event.positions));
    kept.push_back(std::move(event));
  }
  return kept;
}

// Source chord labels

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
    later.duration_ticks = ticks_between(tick, end_of(*sounding));
    later.chord_symbol = marker.symbol;
    const bool sounds = !sounding->positions.empty();
    if (sounds) later.tie_from_previous = true;
    sounding->duration_ticks = ticks_between(sounding->start_ticks, tick);
    if (sounds) sounding->tie_to_next = true;
    events.push_back(std::move(later));
    return;
  }
  arrangement_event label;
  label.start_ticks = tick;
  label.duration_ticks = std::max<std::int64_t>(marker.duration_ticks, 1);
  label.chord_symbol = marker.symbol;
  label.filler = true;
  events.push_back(std::move(label));
}

std::vector<arrangement_event> with_source_chord_symbols(const source_score& score,
                                                         std::vector<arrangement_event> events) {
  for (auto& event : events) event.chord_symbol.clear();
  for (const auto& marker : source_chord_label_markers(score)) {
    add_source_chord_label_marker(events, marker);
  }
  return normalize_events(std::move(events));
}

// Melody context and hit filters

comping_context comping_context_for(const source_score& score, const arrangement_anchor& anchor) {
  const auto start = anchor.start_ticks;
  const auto end = add_ticks(start, anchor.duration_ticks);
  return {
      .busy = melody_attack_count(score, start, end) > 3,
      .long_space = has_long_melody_or_rest_space(score, start, end),
      .short_anchor = anchor.duration_ticks < quarter_ticks + 1,
  };
}

bool should_emit_comping_hit(const source_score& score, const arrangement_anchor& anchor,
                             const comping_hit& hit, std::int64_t tick,
                             const comping_context& context) {
  if (tick == anchor.start_ticks) return true;
  if (context.short_anchor || melody_refuses_hit(hit, context)) return false;
  if (hit.avoid_melody_attack) return !melody_attack_at(score, tick);
  return true;
}

bool should_emit_accompaniment_hit(const source_score& score, const arrangement_anchor& anchor,
                                   const comping_hit& hit, std::int64_t tick,
                                   const comping_context& context) {
  if (melody_attack_at(score, tick)) return false;
  if (context.short_anchor || melody_refuses_hit(hit, context)) return false;
  return anchor.start_ticks <= tick && tick < add_ticks(anchor.start_ticks, anchor.duration_ticks);
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
  return ticks_between(origin, tick) % eighth_ticks == 0;
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

bool tick_in_range(const tick_range& range, std::int64_t tick) {
  return range.start <= tick && tick < range.end;
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
  if (positions.empty() || tick < anchor_start || tick >= anchor_end) return;
  if (!on_measure_eighth_grid(score, tick) || duration < eighth_ticks) return;
  const auto left_in_anchor = ticks_between(tick, anchor_end);
  if (left_in_anchor < eighth_ticks) return;
  if (avoid_melody_attack && melody_attack_at(score, tick)) return;
  duration = std::min(duration, left_in_anchor);
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
  if (offset < 0 || offset >= capacity) return;
  if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end()) offsets.push_back(offset);
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
  const bool chord_start = tick == anchor.start_ticks;
  const std::string symbol = chord_start && anchor.chord ? anchor.chord->symbol : std::string{};
  push_comping_event(events, score, tick, anchor.start_ticks,
                     add_ticks(anchor.start_ticks, anchor.duration_ticks),
                     chord_start ? grip.full : grip.upper, symbol, avoid_melody_attack, duration);
}

void push_traced_acoustic_optional_event(std::vector<arrangement_event>& events,
                                         const source_score& score,
                                         const arrangement_anchor& anchor,
                                         const acoustic_comping_grip& grip, const comping_hit& hit,
                                         std::int64_t tick, const phrase_instance_plan* phrase,
                                         phrase_debug_trace* phrase_trace) {
  const auto count_before = events.size();
  const auto positions_before = position_count_at_start(events, tick);
  push_acoustic_upper_chord_event(events, score, anchor, grip, tick, hit.avoid_melody_attack,
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
void push_bass_pulses(std::vector<arrangement_event>& events, const source_score& score,
                      const arrangement_style_profile& profile, const chosen_voicings& chosen) {
  for (const auto& measure : score.measures) {
    for (const auto offset : acoustic_bass_pulse_offsets(measure, profile)) {
      const auto tick = add_ticks(measure.start_tick, offset);
      const auto index = usable_anchor_at(chosen, tick);
      if (!index) continue;
      const auto& anchor = chosen.anchors[*index];
      push_comping_event(events, score, tick, anchor.start_ticks,
                         add_ticks(anchor.start_ticks, anchor.duration_ticks),
                         usable_voicing(chosen, *index)->bass, "", false, eighth_ticks);
    }
  }
}

// The full voicing with the chord's symbol on every chord start, merged into a bass pulse there.
void push_chord_starts(std::vector<arrangement_event>& events, const source_score& score,
                       const chosen_voicings& chosen) {
  for (std::size_t index = 0; index < chosen.anchors.size(); ++index) {
    const auto* voicing = usable_voicing(chosen, index);
    if (voicing == nullptr) continue;
    const auto& anchor = chosen.anchors[index];
    push_acoustic_upper_chord_event(events, score, anchor, *voicing, anchor.start_ticks, false,
                                    eighth_ticks);
  }
}

// The upper notes on the hits of each measure's pattern that the phrase plan and the melody
// allow, from the measure of the first chord on; names each phrase's cell in the trace.
void push_pattern_hits(std::vector<arrangement_event>& events, const source_score& score,
                       const arrangement_style_profile& profile,
                       const std::vector<comping_pattern>& patterns, const chosen_voicings& chosen,
                       const section_plan& plan, section_debug_trace* section_trace) {
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
      if (!should_emit_comping_hit(score, anchor, hit, tick, comping_context_for(score, anchor))) {
        continue;
      }
      push_traced_acoustic_optional_event(events, score, anchor, *usable_voicing(chosen, *index),
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

  std::vector<arrangement_event> events;
  push_bass_pulses(events, score, profile, chosen);
  push_chord_starts(events, score, chosen);
  const auto& patterns = comping_patterns_for(profile);
  if (!patterns.empty()) {
    push_pattern_hits(events, score, profile, patterns, chosen, plan, section_trace);
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

}  // namespace orvanta::arrangement_detail
