#include "arrangement/improvisation.hpp"

#include "arrangement/improvisation_rhythm.hpp"
#include "arrangement/solo_theory.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

namespace orvanta::arrangement_detail::improvisation_detail {
namespace {

// Costs are summed on 64 bits, so no sum can overflow.
using wide = std::int64_t;

constexpr wide quarter = 4096;
constexpr wide no_cost = std::numeric_limits<std::int32_t>::max();

// What the corrections read besides the notes: the harmony, the register, the chord starts in
// ascending order (on the written grid), the source key's major scale and the fretting penalties of
// the MIDI notes asked for so far. One setting serves every candidate of a span.
struct correction_setting {
  const source_score& score;
  const harmonic_context_table& harmony;
  const improvisation_config& config;
  std::vector<std::int64_t> chord_starts;
  std::vector<int> key_scale;
  playability_memo penalties{};
};

correction_setting setting_for(const source_score& score,
                               const std::vector<chord_occurrence>& chords,
                               const harmonic_context_table& harmony,
                               const improvisation_config& config) {
  correction_setting setting{score, harmony, config, {}, key_major_scale_pcs(key_root_pc(score))};
  setting.chord_starts.reserve(chords.size());
  // A chord that changes inside a tuplet cuts the notes at the next eighth, where a note can be
  // written.
  for (const auto& chord : chords) {
    const auto eighth = eighth_around_off_grid_tick(score, chord.start_tick);
    setting.chord_starts.push_back(eighth ? eighth->end : chord.start_tick);
  }
  std::ranges::sort(setting.chord_starts);
  return setting;
}

wide distance(wide from, wide to) { return std::abs(to - from); }

// The pitch classes of `from` that are also in `scale`, in the order of `from`.
std::vector<int> scale_members(const std::vector<int>& from, const std::vector<int>& scale) {
  std::vector<int> pcs;
  append_scale_members(pcs, from, scale);
  return pcs;
}

// The cheapest placement (`midi_for_pc_near`) of the listed pitch classes by `cost`, which may
// refuse a placement; `midi` itself when no placement costs less than 2^31 - 1. The first of
// equal costs wins.
template <class cost_function>
int cheapest_pitch(const correction_setting& setting, const std::vector<int>& pcs, int reference,
                   std::optional<int> previous, int midi, const cost_function& cost) {
  int chosen = midi;
  wide chosen_cost = no_cost;
  for (const int pc : pcs) {
    const int placed = midi_for_pc_near(setting.config, pc, reference, previous);
    const std::optional<wide> placed_cost = cost(pc, placed);
    if (placed_cost && *placed_cost < chosen_cost) {
      chosen = placed;
      chosen_cost = *placed_cost;
    }
  }
  return chosen;
}

// The pitch that carries a held note on into the chord starting at `tick`: the chord tone of the
// new chord's scale nearest to `current`, or `current` when the new chord offers none.
int pitch_after_chord_change(correction_setting& setting, std::int64_t tick, int current) {
  const auto* context = harmonic_context_at(setting.harmony, tick);
  if (context == nullptr || context->chord_tones.empty()) return current;
  const auto pcs = scale_members(context->chord_tones, context->scale_tones);
  return cheapest_pitch(
      setting, pcs, current, current, current, [&](int /*pc*/, int midi) -> std::optional<wide> {
        return 12 * distance(midi, current) + playability_penalty(setting.penalties, midi) / 9;
      });
}

// Every note cut at the chord starts strictly inside it; the first piece keeps the tie into the
// note and the phrase opening, the last the tie out and the phrase closing.
std::vector<solo_phrase_event> split_at_chord_changes(
    correction_setting& setting, const std::vector<solo_phrase_event>& events) {
  std::vector<solo_phrase_event> pieces;
  pieces.reserve(events.size());
  for (const auto& event : events) {
    const std::int64_t end = event.start_tick + event.duration_ticks;
    int pitch = event.midi;
    for (std::int64_t from = event.start_tick; from < end;) {
      const auto next_chord = std::ranges::upper_bound(setting.chord_starts, from);
      const std::int64_t to =
          next_chord == setting.chord_starts.end() ? end : std::min(end, *next_chord);
      const bool first = from == event.start_tick;
      const bool last = to == end;
      pieces.push_back(
          {.measure_index = measure_index_for_tick(setting.score, from, event.measure_index),
           .start_tick = from,
           .duration_ticks = to - from,
           .midi = pitch,
           .tie_to_next = last && event.tie_to_next,
           .tie_from_previous = first && event.tie_from_previous,
           .opens_phrase = first && event.opens_phrase,
           .closes_phrase = last && event.closes_phrase});
      if (!last) pitch = pitch_after_chord_change(setting, to, pitch);
      from = to;
    }
  }
  return pieces;
}

// Notes longer than a quarter that miss the chord move to a near chord tone of its scale.
void move_long_notes_to_chord_tones(correction_setting& setting,
                                    std::vector<solo_phrase_event>& events) {
  std::optional<int> previous;
  for (auto& event : events) {
    const auto* context = event.duration_ticks > quarter
                              ? harmonic_context_at(setting.harmony, event.start_tick)
                              : nullptr;
    if (context != nullptr && !context->chord_tones.empty() &&
        !contains_pc(context->chord_tones, event.midi)) {
      const int midi = event.midi;
      const auto pcs = scale_members(context->chord_tones, context->scale_tones);
      event.midi = cheapest_pitch(
          setting, pcs, midi, previous, midi, [&](int /*pc*/, int placed) -> std::optional<wide> {
            wide cost =
                14 * distance(placed, midi) + playability_penalty(setting.penalties, placed) / 9;
            if (previous) cost += 5 * distance(placed, *previous);
            return cost;
          });
    }
    previous = event.midi;
  }
}

// The pitch classes a note in a pitch-class turn may move to, most wanted first.
std::vector<int> turn_replacement_pcs(const correction_setting& setting,
                                      const solo_phrase_event& event) {
  const auto* context = harmonic_context_at(setting.harmony, event.start_tick);
  if (context == nullptr) return setting.key_scale;
  const auto chord_pcs = scale_members(context->chord_tones, context->scale_tones);
  if (event.duration_ticks > quarter) return chord_pcs;
  auto pcs = scale_members(context->color_tones, context->scale_tones);
  for (const int pc : chord_pcs) append_pc(pcs, pc);
  for (const int pc : context->scale_tones) append_pc(pcs, pc);
  return pcs;
}

// A note that returns to the class two notes back (A B A), or sits between two notes of one class
// (its neighbours B ? B), moves to another class near its neighbours.
void break_pitch_class_turns(correction_setting& setting, std::vector<solo_phrase_event>& events) {
  if (events.size() < 3) return;
  const wide leap = setting.config.max_leap;
  for (std::size_t index = 2; index < events.size(); ++index) {
    const int first = normalize_pc(events[index - 2].midi);
    const int second = normalize_pc(events[index - 1].midi);
    const int third = normalize_pc(events[index].midi);
    const bool has_next = index + 1 < events.size();
    const int fourth = has_next ? normalize_pc(events[index + 1].midi) : -1;
    if (!((has_next && second == fourth) || (first == third && second != third))) continue;

    const int midi = events[index].midi;
    const int previous = events[index - 1].midi;
    const int reference = index % 2 == 0 ? midi + 3 : midi - 3;
    const auto pcs = turn_replacement_pcs(setting, events[index]);
    events[index].midi = cheapest_pitch(
        setting, pcs, reference, previous, midi, [&](int pc, int placed) -> std::optional<wide> {
          if (pc == first || pc == second || pc == third) return std::nullopt;
          if (distance(placed, previous) > leap + 2) return std::nullopt;
          if (has_next && distance(placed, events[index + 1].midi) > leap + 3) return std::nullopt;
          wide cost =
              9 * distance(placed, midi) + playability_penalty(setting.penalties, placed) / 10;
          if (has_next && pc == fourth) cost += 220;
          return cost;
        });
  }
}

// Every note moved into the chord's scale, a note longer than a quarter onto a chord tone of it;
// where no chord sounds, into the source key's major scale.
void fit_notes_to_scale(correction_setting& setting, std::vector<solo_phrase_event>& events) {
  std::optional<int> previous;
  for (auto& event : events) {
    const auto* context = harmonic_context_at(setting.harmony, event.start_tick);
    const bool long_note = event.duration_ticks > quarter;
    bool keep = false;
    std::vector<int> pcs;
    if (context != nullptr) {
      keep = contains_pc(context->scale_tones, event.midi) &&
             (!long_note || contains_pc(context->chord_tones, event.midi));
      if (!keep) {
        pcs = long_note ? scale_members(context->chord_tones, context->scale_tones)
                        : context->scale_tones;
      }
    } else {
      pcs = setting.key_scale;
      keep = contains_pc(pcs, event.midi);
    }
    if (!keep) {
      const int midi = event.midi;
      event.midi = cheapest_pitch(
          setting, pcs, midi, previous, midi, [&](int /*pc*/, int placed) -> std::optional<wide> {
            wide cost =
                12 * distance(placed, midi) + playability_penalty(setting.penalties, placed) / 9;
            if (previous) cost += 3 * distance(placed, *previous);
            return cost;
          });
    }
    previous = event.midi;
  }
}

std::vector<solo_phrase_event> corrected(correction_setting& setting,
                                         const phrase_analysis& analysis,
                                         std::vector<solo_phrase_event> events, int candidate) {
  events = close_internal_phrase_gaps(setting.config, analysis, std::move(events));
  events = split_at_chord_changes(setting, events);
  move_long_notes_to_chord_tones(setting, events);
  break_pitch_class_turns(setting, events);
  fit_notes_to_scale(setting, events);
  return apply_syncopated_phrase_gaps(setting.score, setting.config, analysis, std::move(events),
                                      candidate);
}

// What the solo remembers of an accepted phrase, with everything later scores compare worked
// out once.
phrase_memory memory_of(const source_score& score, const std::vector<chord_occurrence>& chords,
                        const improvisation_config& config, const phrase_analysis& analysis,
                        const std::vector<solo_phrase_event>& events) {
  const auto [lowest, highest] = std::ranges::minmax_element(events, {}, &solo_phrase_event::midi);
  return {.harmonic_signature = harmonic_signature_for_phrase(chords, analysis.span),
          .rhythm_signature = phrase_rhythm_signature(events, analysis.span.start_tick),
          .interval_signature = interval_signature(events),
          .phrase_function = phrase_function_for(config, analysis),
          .first_pc = normalize_pc(events.front().midi),
          .last_pc = normalize_pc(events.back().midi),
          .range = static_cast<std::int32_t>(wide{highest->midi} - lowest->midi),
          .pitch_classes = distinct_pitch_classes(events),
          .events = events,
          .own_rhythm_signature = phrase_rhythm_signature(events, events.front().start_tick),
          .interval_cells = interval_cells(events),
          .measure_rhythm_cells = measure_rhythm_cells(score, events)};
}

// The best candidate phrase of the span; `melody` indexes the setting's source.
std::vector<solo_phrase_event> best_phrase_in_span(correction_setting& setting,
                                                   const melody_tick_index& melody,
                                                   const arrangement_style_profile& style,
                                                   const std::vector<chord_occurrence>& chords,
                                                   const phrase_analysis& analysis,
                                                   const std::vector<phrase_memory>& memory) {
  const auto& score = setting.score;
  const auto& harmony = setting.harmony;
  const auto& config = setting.config;
  const auto harmonic_signature = harmonic_signature_for_phrase(chords, analysis.span);
  std::int32_t best = std::numeric_limits<std::int32_t>::min();
  std::vector<solo_phrase_event> result;
  for (int candidate = 0; candidate < phrase_candidate_count; ++candidate) {
    const auto gestures =
        build_melody_gestures(score, melody, style, chords, config, analysis, candidate);
    const auto seed = static_cast<int>(static_cast<std::uint32_t>(candidate) +
                                       static_cast<std::uint32_t>(analysis.span.index));
    auto events = corrected(setting, analysis,
                            realize_gestures(score, harmony, config, gestures, seed), candidate);
    const auto value =
        phrase_score(score, harmonic_signature, harmony, config, analysis, events, memory);
    if (value > best) {
      best = value;
      result = std::move(events);
    }
  }
  return result;
}

}  // namespace

// Phrase corrections

std::vector<solo_phrase_event> corrected_phrase_events(const source_score& score,
                                                       const std::vector<chord_occurrence>& chords,
                                                       const improvisation_config& config,
                                                       const phrase_analysis& analysis,
                                                       std::vector<solo_phrase_event> events,
                                                       int candidate) {
  return corrected_phrase_events(score, chords, build_harmonic_context_table(score, chords), config,
                                 analysis, std::move(events), candidate);
}

std::vector<solo_phrase_event> corrected_phrase_events(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const harmonic_context_table& harmony, const improvisation_config& config,
    const phrase_analysis& analysis, std::vector<solo_phrase_event> events, int candidate) {
  auto setting = setting_for(score, chords, harmony, config);
  return corrected(setting, analysis, std::move(events), candidate);
}

// Best phrase selection

std::vector<solo_phrase_event> best_phrase_events(const source_score& score,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis,
                                                  const std::vector<phrase_memory>& memory) {
  return best_phrase_events(score, style, chords, build_harmonic_context_table(score, chords),
                            config, analysis, memory);
}

std::vector<solo_phrase_event> best_phrase_events(const source_score& score,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const harmonic_context_table& harmony,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis,
                                                  const std::vector<phrase_memory>& memory) {
  auto setting = setting_for(score, chords, harmony, config);
  return best_phrase_in_span(setting, build_melody_tick_index(score), style, chords, analysis,
                             memory);
}

}  // namespace orvanta::arrangement_detail::improvisation_detail

namespace orvanta::arrangement_detail {

std::vector<solo_phrase_event> improvised_solo_phrase_events_for_source(
    const source_score& score, const arrangement_style_profile& style,
    const std::vector<chord_occurrence>& chords, guitar_solo_profile profile,
    std::uint64_t section_type) {
  using namespace improvisation_detail;
  auto config = profile_config(profile_role(profile));
  config.seed = static_cast<int>(static_cast<std::uint32_t>(config.seed) +
                                 31u * static_cast<std::uint32_t>(section_type));
  const auto harmony = build_harmonic_context_table(score, chords);
  // One setting and one index of the written melody serve every span of the solo.
  auto setting = setting_for(score, chords, harmony, config);
  const auto melody = build_melody_tick_index(score);
  std::vector<solo_phrase_event> solo;
  std::vector<phrase_memory> memory;
  for (const auto& span : phrase_spans_for_source(score)) {
    const auto analysis = analyze_phrase(score, chords, config, span);
    auto events = best_phrase_in_span(setting, melody, style, chords, analysis, memory);
    if (events.empty()) continue;
    memory.push_back(memory_of(score, chords, config, analysis, events));
    solo.insert(solo.end(), events.begin(), events.end());
  }
  std::ranges::stable_sort(solo, {}, &solo_phrase_event::start_tick);
  return solo;
}

}  // namespace orvanta::arrangement_detail
