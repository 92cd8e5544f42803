#include "arrangement/arrangement_analysis.hpp"

#include "arrangement/form.hpp"
#include "arrangement/improvisation_analysis.hpp"
#include "arrangement/improvisation_common.hpp"

#include <algorithm>
#include <optional>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

// A chord occurrence with the measure of its note, the element the timeline sorts.
struct indexed_occurrence {
  chord_occurrence occurrence;
  std::size_t measure_index = 0;
};

harmonic_span make_span(indexed_occurrence indexed, std::int64_t end_tick,
                        std::int64_t source_end) {
  harmonic_span span;
  span.start_tick = indexed.occurrence.start_tick;
  span.end_tick = end_tick;
  span.occurrence = std::move(indexed.occurrence);
  span.occurrence.end_tick = end_tick;
  span.measure_index = indexed.measure_index;
  const auto length = subtract_ticks(end_tick, span.start_tick);
  span.sustained = length > 4095;
  span.cadence_weight = end_tick >= source_end ? 1.0 : 0.0;
  span.harmonic_rhythm =
      std::min(16384.0 / static_cast<double>(std::max<std::int64_t>(length, 1)), 1.0);
  return span;
}

}  // namespace

harmonic_timeline build_harmonic_timeline(const source_score& source) {
  harmonic_timeline timeline;
  std::vector<indexed_occurrence> occurrences;
  for (std::size_t index = 0; index < source.notes.size(); ++index) {
    const auto& note = source.notes[index];
    if (note.chord_symbol.empty()) continue;
    auto chord = parse_chord_symbol(note.chord_symbol);
    if (!chord) {
      timeline.parse_issues.push_back({note.start_tick, index, note.chord_symbol});
      continue;
    }
    occurrences.push_back(
        {{index, note.start_tick, 0, std::move(*chord), note.chord_symbol}, note.measure_index});
  }

  // Every note gives at most one occurrence, so start and note index order them fully.
  std::ranges::sort(occurrences,
                    [](const indexed_occurrence& left, const indexed_occurrence& right) {
                      return std::pair(left.occurrence.start_tick, left.occurrence.note_index) <
                             std::pair(right.occurrence.start_tick, right.occurrence.note_index);
                    });

  const auto source_end = source_end_ticks(source);
  timeline.spans.reserve(occurrences.size());
  for (std::size_t k = 0; k < occurrences.size(); ++k) {
    const auto end_tick =
        k + 1 < occurrences.size() ? occurrences[k + 1].occurrence.start_tick : source_end;
    timeline.spans.push_back(make_span(std::move(occurrences[k]), end_tick, source_end));
  }
  return timeline;
}

// Identity hashing

std::uint64_t fnv1a_64_byte(std::uint64_t state, std::uint8_t byte) {
  return (state ^ byte) * fnv1a_64_prime;
}

std::uint64_t fnv1a_64_int64(std::uint64_t state, std::int64_t value) {
  const auto bits = static_cast<std::uint64_t>(value);
  for (int shift = 0; shift < 64; shift += 8) {
    state = fnv1a_64_byte(state, static_cast<std::uint8_t>(bits >> shift));
  }
  return state;
}

std::uint64_t fnv1a_64_bytes(std::uint64_t state, std::string_view text) {
  for (const char c : text) state = fnv1a_64_byte(state, static_cast<std::uint8_t>(c));
  return state;
}

std::uint64_t fnv1a_64_text(std::uint64_t state, std::string_view text) {
  return fnv1a_64_byte(fnv1a_64_bytes(state, text), 0xff);
}

// Source fingerprint

namespace {

std::uint64_t fold_flag(std::uint64_t state, bool flag) {
  return fnv1a_64_byte(state, flag ? 1 : 0);
}

// Family 0 (swing) and every value outside the table hash alike.
std::int64_t hashed_family(comping_style_family family) {
  const auto value = static_cast<std::int64_t>(family);
  return value >= 1 && value <= 9 ? value : 0;
}

std::uint64_t fold_note(std::uint64_t state, const source_note& note) {
  state = fnv1a_64_text(state, "note");
  state = fnv1a_64_text(state, note.kind);
  state = fnv1a_64_text(state, note.chord_symbol);
  state = fnv1a_64_text(state, note.lyric);
  state = fnv1a_64_int64(state, note.start_tick);
  state = fnv1a_64_int64(state, note.duration_ticks);
  // Absent display ticks are eight bytes 0xff, the bytes of -1.
  state = fnv1a_64_int64(state, note.display_ticks.value_or(-1));
  state = fnv1a_64_int64(state, static_cast<std::int64_t>(note.measure_index));
  state = fold_flag(state, note.tie_to_next);
  state = fold_flag(state, note.tie_from_previous);
  state = fnv1a_64_text(state, note.tuplet_id);
  for (const auto& pitch : note.pitches) {
    state = fnv1a_64_text(state, "pitch");
    state = fnv1a_64_text(state, pitch.letter);
    state = fnv1a_64_text(state, pitch.accidental);
    state = fnv1a_64_int64(state, pitch.octave);
    state = fnv1a_64_int64(state, pitch.midi);
  }
  return state;
}

}  // namespace

std::uint64_t normalized_source_fingerprint(const source_score& source,
                                            const arrangement_style_profile& profile) {
  auto state = fnv1a_64_text(fnv1a_64_offset_basis, "orvanta-arrangement-source-v1");
  state = fnv1a_64_int64(state, hashed_family(profile.family));
  state = fold_flag(state, profile.fast);
  state = fold_flag(state, profile.slow);
  state = fnv1a_64_int64(state, profile.tempo);
  for (const auto& measure : source.measures) {
    state = fnv1a_64_text(state, "measure");
    state = fnv1a_64_text(state, measure.time_signature);
    state = fnv1a_64_text(state, measure.key_signature);
    state = fnv1a_64_int64(state, measure.capacity_ticks);
  }
  for (const auto& tuplet : source.tuplets) {
    state = fnv1a_64_text(state, "tuplet");
    state = fnv1a_64_text(state, tuplet.id);
    state = fnv1a_64_int64(state, tuplet.note_count);
    state = fnv1a_64_int64(state, tuplet.space_count);
    state = fnv1a_64_int64(state, static_cast<std::int64_t>(tuplet.measure_index));
  }
  for (const auto& note : source.notes) state = fold_note(state, note);
  return state;
}

// Arrangement analysis: source phrases and themes

namespace {

// The melody's attacks in a range and the ticks it sounds there.
struct melody_presence {
  std::int64_t onsets = 0;
  std::int64_t sounding = 0;
};

melody_presence melody_presence_in(const source_score& source, tick_range range) {
  melody_presence presence;
  for (const auto& note : source.notes) {
    if (!is_melody_attack(note)) continue;
    const auto end = note_end(note);
    if (end <= range.start || note.start_tick >= range.end) continue;
    if (tick_in_range(range, note.start_tick)) ++presence.onsets;
    const auto overlap =
        subtract_ticks(std::min(end, range.end), std::max(note.start_tick, range.start));
    presence.sounding = add_ticks(presence.sounding, overlap);
  }
  return presence;
}

// The share of the range the melody sounds, at most 1.
double sounding_fraction(std::int64_t sounding, tick_range range) {
  const auto length = std::max<std::int64_t>(subtract_ticks(range.end, range.start), 1);
  return std::min(static_cast<double>(sounding) / static_cast<double>(length), 1.0);
}

struct closing {
  bool cadential = false;
  double weight = 0.0;
};

// How strongly a phrase closes: at the source end, or by the distance from its last chord change
// to its end.
closing phrase_closing(const harmonic_timeline& timeline, tick_range range,
                       std::int64_t source_end) {
  if (range.end >= source_end) return {true, 1.0};
  std::optional<std::int64_t> last_change;
  for (const auto& span : timeline.spans) {
    if (tick_in_range(range, span.start_tick)) last_change = span.start_tick;
  }
  if (!last_change) return {false, 0.0};
  const auto distance = subtract_ticks(range.end, *last_change);
  if (distance <= 8192) return {true, 0.75};
  if (distance <= 16384) return {false, 0.45};
  return {false, 0.2};
}

source_phrase phrase_for_span(const source_score& source, const harmonic_timeline& timeline,
                              const improvisation_detail::phrase_span& span, std::size_t body_start,
                              std::int64_t source_end) {
  source_phrase phrase;
  phrase.pickup = span.first_measure < body_start;
  phrase.id = source_phrase_id_at(span.first_measure, body_start);
  phrase.range = {span.start_tick, span.end_tick};
  const auto end_measure = std::min(span.end_measure, source.measures.size());
  for (auto measure = span.first_measure; measure < end_measure; ++measure) {
    phrase.measures.push_back(measure);
  }
  const auto close = phrase_closing(timeline, phrase.range, source_end);
  phrase.cadential = close.cadential;
  phrase.cadence_weight = close.weight;
  const auto presence = melody_presence_in(source, phrase.range);
  phrase.activity = 0.5 * (std::min(0.125 * static_cast<double>(presence.onsets), 1.0) +
                           sounding_fraction(presence.sounding, phrase.range));
  return phrase;
}

theme theme_for_range(theme_id id, theme_kind kind, const source_score& source, tick_range range,
                      double weight) {
  theme built;
  built.id = id;
  built.kind = kind;
  built.range = range;
  built.pickup = kind == theme_kind::pickup;
  built.cadential = kind == theme_kind::cadence;
  built.weight = weight;
  const source_note* previous = nullptr;
  for (const auto& note : source.notes) {
    if (!is_melody_attack(note) || !tick_in_range(range, note.start_tick)) continue;
    if (previous != nullptr) {
      built.intervals.push_back(clamp_to_int(static_cast<std::int64_t>(note.pitches[0].midi) -
                                             previous->pitches[0].midi));
    }
    built.durations.push_back(note.duration_ticks);
    previous = &note;
  }
  return built;
}

// The pickup, main and cadence themes, each kept only when a melody note starts in its range; ids
// are given by position whether or not a theme is kept.
std::vector<theme> themes_for_phrases(const source_score& source,
                                      const std::vector<source_phrase>& phrases) {
  std::vector<theme> built;
  const auto keep = [&](theme candidate) {
    if (!candidate.intervals.empty() || !candidate.durations.empty()) {
      built.push_back(std::move(candidate));
    }
  };

  theme_id main_id = 0;
  const auto pickup = std::ranges::find_if(phrases, &source_phrase::pickup);
  if (pickup != phrases.end()) {
    keep(theme_for_range(0, theme_kind::pickup, source, pickup->range, 0.65));
    main_id = 1;
  }
  theme_id cadence_id = main_id + 1;
  const auto main = std::ranges::find_if(
      phrases, [](const source_phrase& phrase) { return !phrase.pickup && phrase.activity > 0.0; });
  if (main != phrases.end()) {
    keep(theme_for_range(main_id, theme_kind::main, source, main->range, 1.0));
  } else {
    cadence_id = main_id;
  }
  const auto cadence = std::ranges::find_if(
      phrases.rbegin(), phrases.rend(),
      [](const source_phrase& phrase) { return !phrase.pickup && phrase.cadential; });
  if (cadence != phrases.rend()) {
    keep(theme_for_range(cadence_id, theme_kind::cadence, source, cadence->range, 0.8));
  }
  return built;
}

bool theme_applies(const theme& candidate, const source_phrase& phrase) {
  switch (candidate.kind) {
    case theme_kind::pickup: return phrase.pickup;
    case theme_kind::cadence: return phrase.cadential;
    case theme_kind::main: return !phrase.pickup;
  }
  return false;
}

cadence_point cadence_point_for(const source_score& source, const source_phrase& phrase) {
  const auto tick = std::max(add_ticks(phrase.range.end, -4096), phrase.range.start);
  // The measure holding the tick, else the last one.
  const auto measure =
      improvisation_detail::measure_index_for_tick(source, tick, source.measures.size());
  return {tick, measure, phrase.cadence_weight};
}

melody_window window_for(const source_score& source, tick_range range) {
  const auto presence = melody_presence_in(source, range);
  melody_window window;
  window.range = range;
  window.onset_density = std::min(0.25 * static_cast<double>(presence.onsets), 1.0);
  window.fill = sounding_fraction(presence.sounding, range);
  window.presence = presence.onsets > 0 ? 0.75 : presence.sounding > 0 ? 0.45 : 0.15;
  return window;
}

// Half measures, or quarter notes in measures of at most a half note and a tick.
void append_measure_windows(const source_score& source, const source_measure& measure,
                            std::vector<melody_window>& windows) {
  const auto capacity = measure.capacity_ticks;
  if (capacity <= 0) return;
  const auto step = capacity > 8193 ? capacity / 2 : std::int64_t{4096};
  const auto end = measure_end(measure);
  for (auto start = measure.start_tick; start < end;) {
    const auto window_end = std::min(add_ticks(start, step), end);
    windows.push_back(window_for(source, {start, window_end}));
    start = window_end;
  }
}

}  // namespace

source_phrase_id source_phrase_id_at(std::size_t measure, std::size_t body_start) {
  if (measure < body_start) return -1;
  return static_cast<source_phrase_id>((measure - body_start) / 4);
}

arrangement_analysis analyze_for_arrangement(const source_score& source,
                                             const harmonic_timeline& timeline,
                                             const arrangement_style_profile& profile) {
  arrangement_analysis analysis;
  const auto source_end = source_end_ticks(source);
  const auto body_start = body_start_measure_index(source);
  for (const auto& span : improvisation_detail::phrase_spans_for_source(source)) {
    analysis.phrases.push_back(phrase_for_span(source, timeline, span, body_start, source_end));
  }
  analysis.themes = themes_for_phrases(source, analysis.phrases);
  for (auto& phrase : analysis.phrases) {
    for (const auto& kept : analysis.themes) {
      if (theme_applies(kept, phrase)) phrase.theme_ids.push_back(kept.id);
    }
  }
  for (const auto& phrase : analysis.phrases) {
    if (phrase.cadential) analysis.cadences.push_back(cadence_point_for(source, phrase));
  }
  analysis.timeline = timeline;
  for (const auto& measure : source.measures) {
    append_measure_windows(source, measure, analysis.windows);
  }
  analysis.source_fingerprint = normalized_source_fingerprint(source, profile);
  return analysis;
}

}  // namespace orvanta::arrangement_detail
