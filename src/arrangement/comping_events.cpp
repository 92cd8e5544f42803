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

std::vector<std::int64_t> acoustic_bass_pulse_offsets(const source_measure&,
                                                      const arrangement_style_profile&) {
  return {};
}

void push_acoustic_upper_chord_event(std::vector<arrangement_event>&, const source_score&,
                                     const arrangement_anchor&, const acoustic_comping_grip&,
                                     std::int64_t, bool, std::int64_t) {}

void push_traced_acoustic_optional_event(std::vector<arrangement_event>&, const source_score&,
                                         const arrangement_anchor&, const acoustic_comping_grip&,
                                         const comping_hit&, std::int64_t,
                                         const phrase_instance_plan*, phrase_debug_trace*) {}

std::vector<arrangement_event> chord_mode_comping_events(
    const source_score&, const arrangement_style_profile&, const std::vector<arrangement_anchor>&,
    std::uint64_t, std::optional<std::vector<tab_position>>, std::int64_t, const section_plan&,
    section_debug_trace*) {
  return {};
}

planned_acoustic_activity planned_acoustic_activity_for(const source_score&,
                                                        const arrangement_style_profile&,
                                                        const std::vector<arrangement_anchor>&,
                                                        const section_plan&) {
  return {};
}

bool acoustic_upper_activity_at(const planned_acoustic_activity&, std::int64_t) { return false; }

bool acoustic_activity_before(const planned_acoustic_activity&, std::int64_t) { return false; }

int acoustic_complement_rank(const planned_acoustic_activity&, std::int64_t, bool) { return 0; }

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
