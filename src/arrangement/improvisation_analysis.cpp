#include "arrangement/improvisation_analysis.hpp"

#include "arrangement/form.hpp"

#include <algorithm>
#include <cstdlib>

namespace orvanta::arrangement_detail::improvisation_detail {
namespace {

bool is_attack(const source_note& note) {
  return is_melody_attack(note) && !note.tie_from_previous;
}

// The leading pickup span's start: the pickup's first attack, else the measure's start.
std::int64_t pickup_span_start(const source_score& source, std::size_t pickup) {
  return first_attack_start_in_measure(source, pickup)
      .value_or(source_measure_start(source, pickup));
}

// The end of the note extended over the notes tied on from it at the same first pitch.
std::int64_t tied_end(const source_score& score, std::size_t note_index) {
  auto end = note_end(score.notes[note_index]);
  for (auto current = note_index; current + 1 < score.notes.size(); ++current) {
    const auto& note = score.notes[current];
    const auto& next = score.notes[current + 1];
    if (next.kind != "note" || !next.tie_from_previous || !note.tie_to_next ||
        next.start_tick != end || next.pitches.empty() ||
        next.pitches.front().midi != note.pitches.front().midi) {
      break;
    }
    end = add_ticks(end, next.duration_ticks);
  }
  return end;
}

// How well the pitch sits on the harmony at the tick: chord tone 72, scale tone 58, other 46; 50
// where no chord sounds.
int tone_weight(const source_score& score, const std::vector<chord_occurrence>& chords,
                const improvisation_config& config, std::int64_t tick, int midi) {
  const auto context = harmonic_context_for_tick(score, chords, config, tick);
  if (!context) return 50;
  if (contains_pc(context->chord_tones, midi)) return 72;
  if (contains_pc(context->scale_tones, midi)) return 58;
  return 46;
}

// Downbeats weigh most, then the middle of the measure; off-eighth attacks least.
int position_weight(std::int64_t offset) {
  if (offset == 0) return 14;
  if (offset == 8192) return 6;
  if (offset % 4096 == 0) return 0;
  if (offset % 2048 == 0) return -8;
  return -14;
}

// Short notes are weak landmarks.
int length_weight(std::int64_t duration) {
  if (duration >= 8192) return 0;
  if (duration >= 4096) return -8;
  if (duration >= 2048) return -16;
  return -24;
}

// Offset of the tick in the measure holding it; without measures, in the whole timeline.
std::int64_t offset_in_measure(const source_score& score, std::int64_t tick, std::size_t fallback) {
  if (score.measures.empty()) return tick;
  const auto measure = measure_index_for_tick(score, tick, fallback);
  return subtract_ticks(tick, score.measures[measure].start_tick);
}

// First position of the highest (or lowest) pitch.
std::size_t first_extreme(const std::vector<source_landmark>& landmarks, bool highest) {
  std::size_t best = 0;
  for (std::size_t index = 1; index < landmarks.size(); ++index) {
    const auto midi = landmarks[index].midi;
    if (highest ? midi > landmarks[best].midi : midi < landmarks[best].midi) best = index;
  }
  return best;
}

// Opening, closing and extreme landmarks, and returns to an earlier pitch of like length, matter
// more; weights end up in 0..100.
void adjust_weights(std::vector<source_landmark>& landmarks) {
  const auto highest = first_extreme(landmarks, true);
  const auto lowest = first_extreme(landmarks, false);
  const auto last = landmarks.size() - 1;
  for (std::size_t index = 0; index < landmarks.size(); ++index) {
    auto& landmark = landmarks[index];
    const bool extreme = index == highest || index == lowest;
    if (index == 0) {
      landmark.weight += extreme ? 34 : 18;
    } else {
      if (index == last) landmark.weight += 18;
      if (extreme) landmark.weight += 16;
      const bool repeats = std::any_of(
          landmarks.begin(), landmarks.begin() + static_cast<std::ptrdiff_t>(index),
          [&landmark](const source_landmark& earlier) {
            return earlier.midi == landmark.midi &&
                   std::abs(subtract_ticks(earlier.duration_ticks, landmark.duration_ticks)) <=
                       2048;
          });
      if (repeats) landmark.weight += 8;
    }
    landmark.weight = std::clamp(landmark.weight, 0, 100);
  }
}

void summarise(phrase_analysis& analysis) {
  const auto& landmarks = analysis.landmarks;
  std::int64_t sum = 0;
  for (const auto& landmark : landmarks) sum += landmark.midi;
  const auto& highest = landmarks[first_extreme(landmarks, true)];
  analysis.reference_midi =
      static_cast<std::int32_t>(sum / static_cast<std::int64_t>(landmarks.size()));
  analysis.first_midi = landmarks.front().midi;
  analysis.last_midi = landmarks.back().midi;
  analysis.highest_midi = highest.midi;
  analysis.lowest_midi = landmarks[first_extreme(landmarks, false)].midi;
  const auto& span = analysis.span;
  const auto length = std::max<std::int64_t>(subtract_ticks(span.end_tick, span.start_tick), 1);
  analysis.peak_percent =
      clamp_to_int(percent_of(subtract_ticks(highest.start_tick, span.start_tick), length));
  for (std::size_t index = 1; index < landmarks.size() && analysis.contour.size() <= 4; ++index) {
    const auto step = std::int64_t{landmarks[index].midi} - landmarks[index - 1].midi;
    if (step != 0)
      analysis.contour.push_back(static_cast<std::int32_t>(std::clamp<std::int64_t>(step, -5, 5)));
  }
  // A flat or single-note melody still gets a shape to follow.
  if (analysis.contour.empty()) analysis.contour = {2, -1, 3, -2};
}

}  // namespace

std::optional<std::int64_t> first_attack_start_in_measure(const source_score& source,
                                                          std::size_t measure_index) {
  std::optional<std::int64_t> first;
  for (const auto& note : source.notes) {
    if (note.measure_index != measure_index || !is_attack(note)) continue;
    if (!first || note.start_tick < *first) first = note.start_tick;
  }
  return first;
}

std::vector<phrase_span> phrase_spans_for_source(const source_score& source) {
  const auto measure_count = source.measures.size();
  if (measure_count == 0) return {};

  std::vector<phrase_span> spans;
  const auto pickup = leading_pickup_measure_index(source);
  const auto body_start = body_start_measure_index(source);
  if (pickup && *pickup < body_start) {
    if (body_start >= measure_count) return {};
    const auto pickup_start = pickup_span_start(source, *pickup);
    spans.push_back({*pickup, body_start, pickup_start, source_measure_start(source, body_start)});
  }
  for (auto first = body_start; first < measure_count; first += 4) {
    const auto end = std::min(first + 4, measure_count);
    spans.push_back(
        {first, end, source_measure_start(source, first), source_measure_end(source, end - 1)});
  }

  const auto count = static_cast<std::int32_t>(spans.size());
  for (std::int32_t index = 0; index < count; ++index) {
    spans[static_cast<std::size_t>(index)].index = index;
    spans[static_cast<std::size_t>(index)].count = count;
  }
  return spans;
}

bool phrase_span_is_leading_pickup(const source_score& source, const phrase_span& span) {
  // A leading pickup is always measure 0: every other span is answered without reading the notes.
  if (span.first_measure != 0) return false;
  const auto measure_count = source.measures.size();
  const auto pickup = leading_pickup_measure_index(source);
  if (!pickup || *pickup >= measure_count) return false;
  const auto body_start = body_start_measure_index(source);
  if (body_start != *pickup + 1 || body_start >= measure_count) return false;
  const auto first_attack = pickup_span_start(source, *pickup);
  return span.first_measure == *pickup && span.end_measure == body_start &&
         span.start_tick == first_attack &&
         span.end_tick == source_measure_start(source, body_start) &&
         source_measure_start(source, *pickup) < first_attack;
}

// Phrase analysis

phrase_analysis analyze_phrase(const source_score& score,
                               const std::vector<chord_occurrence>& chords,
                               const improvisation_config& config, phrase_span span) {
  phrase_analysis analysis;
  analysis.span = span;
  for (std::size_t index = 0; index < score.notes.size(); ++index) {
    const auto& note = score.notes[index];
    if (!is_attack(note) || note.start_tick >= span.end_tick || note_end(note) <= span.start_tick) {
      continue;
    }
    const auto start = std::max(note.start_tick, span.start_tick);
    const auto end = std::min(tied_end(score, index), span.end_tick);
    if (end <= start) continue;
    const auto duration = subtract_ticks(end, start);
    const int midi = note.pitches.front().midi;
    const int weight = tone_weight(score, chords, config, note.start_tick, midi) +
                       position_weight(offset_in_measure(score, start, span.first_measure)) +
                       length_weight(duration);
    analysis.landmarks.push_back({start, duration, midi, weight, index,
                                  measure_index_for_tick(score, start, span.first_measure)});
  }

  if (analysis.landmarks.empty()) {
    const auto midpoint = midpoint_midi(score);
    analysis.reference_midi = analysis.first_midi = analysis.last_midi = analysis.highest_midi =
        analysis.lowest_midi = midpoint;
    return analysis;
  }
  adjust_weights(analysis.landmarks);
  summarise(analysis);
  return analysis;
}

phrase_function phrase_function_for(const improvisation_config& /*config*/,
                                    const phrase_analysis& analysis) {
  const std::int64_t count = analysis.span.count;
  std::int64_t index = analysis.span.index;
  if (index < 0) return phrase_function::opening;
  const auto clamped_count = std::max<std::int64_t>(count, 1);
  index = std::min(index, clamped_count - 1);
  if (count <= 2) return index == 0 ? phrase_function::opening : phrase_function::closing;
  if (index + 1 >= clamped_count) return phrase_function::closing;
  const auto percent = index * 100 / (clamped_count - 1);
  if (percent >= 68 && percent <= 85) return phrase_function::peak;
  static constexpr phrase_function cycle[8] = {
      phrase_function::opening, phrase_function::answer,  phrase_function::development,
      phrase_function::closing, phrase_function::opening, phrase_function::answer,
      phrase_function::peak,    phrase_function::closing,
  };
  return cycle[index % 8];
}

std::optional<source_landmark> nearest_landmark(const phrase_analysis& analysis,
                                                std::int64_t tick) {
  __extension__ using wide = __int128;
  std::optional<source_landmark> best;
  wide best_key = 0;
  for (const auto& landmark : analysis.landmarks) {
    const wide distance = static_cast<wide>(landmark.start_tick) - tick;
    const wide key = (distance < 0 ? -distance : distance) - wide{512} * landmark.weight;
    if (!best || key < best_key) {
      best = landmark;
      best_key = key;
    }
  }
  return best;
}

// Harmonic signature

std::string harmonic_signature_for_phrase(const std::vector<chord_occurrence>& chords,
                                          const phrase_span& span) {
  std::string signature;
  for (const auto& occurrence : chords) {
    if (occurrence.start_tick >= span.end_tick || occurrence.end_tick <= span.start_tick) continue;
    const auto eighths = occurrence.start_tick <= span.start_tick
                             ? 0
                             : subtract_ticks(occurrence.start_tick, span.start_tick) / 2048;
    signature += std::to_string(normalize_pc(occurrence.chord.root_pc));
    signature += ':';
    signature += occurrence.chord.formula.quality;
    signature += '@';
    signature += std::to_string(eighths);
    signature += ';';
  }
  return signature;
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
