#include "arrangement/improvisation_harmony.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/solo_theory.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

namespace orvanta::arrangement_detail::improvisation_detail {
namespace {

// Scores are summed on 64 bits and only then brought back to 32, so no sum can overflow.
using wide = std::int64_t;

constexpr wide eighth = 2048;
constexpr wide quarter = 4096;
constexpr std::size_t kept_candidates = 7;
constexpr wide no_total = -(wide{1} << 29);
constexpr std::int32_t empty_phrase_score = -536870912;
constexpr std::int32_t fallback_candidate_score = -1000;
constexpr int no_place_penalty = 20000;

bool same_pc(wide left, wide right) { return pc_of(left) == pc_of(right); }

// Phrasing style 1 picks the second of every pair of style constants; any other style the first.
bool style_one(const improvisation_config& config) { return config.phrasing_style == 1; }

wide by_style(const improvisation_config& config, wide style_zero_value, wide style_one_value) {
  return style_one(config) ? style_one_value : style_zero_value;
}

bool has_role(const melody_gesture& gesture, gesture_role role) { return gesture.role == role; }

bool has_function(phrase_function value, phrase_function function) { return value == function; }

bool opens_or_closes(const melody_gesture& gesture) {
  return gesture.opens_phrase || gesture.closes_phrase;
}

// A gesture that carries the phrase's structure: it must sound a chord tone to convince.
bool is_structural(const melody_gesture& gesture) {
  return gesture.on_strong_slot || opens_or_closes(gesture) || gesture.weight >= 74 ||
         has_role(gesture, gesture_role::anchor) || has_role(gesture, gesture_role::closing);
}

// How much a gesture of each role wants its target pitch: anchor, landmark, approach, fill, tail,
// closing.
constexpr std::array<wide, 6> role_points{86, 34, 12, 14, 18, 52};

wide role_points_of(const melody_gesture& gesture) {
  const auto role = static_cast<std::int32_t>(gesture.role);
  return role >= 0 && role < static_cast<std::int32_t>(role_points.size())
             ? role_points[static_cast<std::size_t>(role)]
             : 0;
}

// Gesture realisation

// What a realisation reads besides the gestures: the harmony, the register and the source key,
// with the fretting penalties of the MIDI notes asked for so far.
struct realisation_setting {
  const harmonic_context_table& harmony;
  const improvisation_config& config;
  int key_pc = 0;
  std::vector<int> key_scale;
  playability_memo penalties{};
};

realisation_setting setting_for(const source_score& score, const harmonic_context_table& harmony,
                                const improvisation_config& config) {
  const int key = key_root_pc(score);
  return {harmony, config, key, key_major_scale_pcs(key)};
}

// The pitch classes a gesture may sound, most wanted first.
std::vector<int> gesture_pitch_classes(const realisation_setting& setting,
                                       const solo_harmonic_context* context,
                                       const melody_gesture& gesture, std::uint32_t seed) {
  std::vector<int> pcs;
  if (context != nullptr && gesture.duration_ticks > quarter) {
    append_scale_members(pcs, context->chord_tones, context->scale_tones);
    if (!pcs.empty()) return pcs;
  }
  const auto& scale = context != nullptr ? context->scale_tones : setting.key_scale;
  const int target = normalize_pc(gesture.target_midi);
  const auto append_if_scale_tone = [&](int pc) {
    if (contains_pc(scale, pc)) append_pc(pcs, pc);
  };
  append_if_scale_tone(target);
  if (has_role(gesture, gesture_role::approach)) {
    append_if_scale_tone(target - 1);
    append_if_scale_tone(target + 1);
    append_if_scale_tone((seed & 1u) != 0 ? target - 2 : target + 2);
  }
  if (context != nullptr) {
    if (is_structural(gesture)) append_scale_members(pcs, context->chord_tones, scale);
    if (has_role(gesture, gesture_role::landmark) || has_role(gesture, gesture_role::fill) ||
        has_role(gesture, gesture_role::tail) || has_role(gesture, gesture_role::closing) ||
        style_one(setting.config)) {
      append_scale_members(pcs, context->color_tones, scale);
    }
  }
  for (const int pc : scale) append_pc(pcs, pc);
  return pcs;
}

// The bonus of a candidate that sounds the gesture's target pitch class.
wide target_pitch_bonus(const improvisation_config& config, const melody_gesture& gesture) {
  const bool anchor = has_role(gesture, gesture_role::anchor);
  wide bonus = 3 * role_points_of(gesture);
  if (anchor) {
    bonus /= 4;
  } else {
    bonus = style_one(config) ? bonus / 5 * 3 / 5 : bonus / 5;
  }
  if (has_function(gesture.phrase_function, phrase_function::opening) ||
      has_function(gesture.phrase_function, phrase_function::closing)) {
    bonus += 10;
  } else if (has_function(gesture.phrase_function, phrase_function::peak) && !anchor) {
    bonus = 2 * bonus / 3;
  }
  return bonus * std::max<wide>(gesture.weight, 25) / 100;
}

// How well the note fits the chord under the gesture, given what the gesture does in the phrase.
wide harmony_terms(const improvisation_config& config, const melody_gesture& gesture,
                   const solo_harmonic_context& context, int note) {
  const bool chord = contains_pc(context.chord_tones, note);
  const bool colour = contains_pc(context.color_tones, note);
  const bool scale = contains_pc(context.scale_tones, note);
  const bool match = same_pc(note, gesture.target_midi);
  const wide colour_bonus = config.color_tone_bonus;
  wide score = 0;
  if (is_structural(gesture)) {
    score += chord ? 120 : -26;
    if (colour) score += colour_bonus + 18;
    score += scale ? 20 : -120;
  } else {
    score += scale ? 44 : -160;
    if (chord) score += 18;
    if (colour) score += colour_bonus / 2;
    if (scale && !chord) score += by_style(config, 46, 74);
  }
  if (!match && !opens_or_closes(gesture)) score += by_style(config, 24, 34);
  if (has_role(gesture, gesture_role::closing)) score += chord ? 230 : colour ? 45 : -190;
  if (has_function(gesture.phrase_function, phrase_function::peak) &&
      !has_role(gesture, gesture_role::anchor)) {
    if (colour) score += 38;
    score += scale ? 10 : -45;
  }
  if ((has_function(gesture.phrase_function, phrase_function::opening) ||
       has_function(gesture.phrase_function, phrase_function::closing)) &&
      (opens_or_closes(gesture) || gesture.weight >= 74 ||
       has_role(gesture, gesture_role::anchor) || has_role(gesture, gesture_role::closing))) {
    score += chord ? 48 : -42;
  }
  if (gesture.closes_phrase) {
    score += chord ? 190 : colour ? 40 : -175;
    if (match) score += 55;
  }
  if (gesture.opens_phrase) {
    if (match) score += has_role(gesture, gesture_role::anchor) ? 80 : 24;
    score += chord ? 70 : scale ? -15 : -90;
  }
  return score;
}

wide candidate_score(const improvisation_config& config, const melody_gesture& gesture,
                     const solo_harmonic_context* context, int note, int penalty) {
  const wide distance = std::abs(wide{note} - gesture.desired_midi);
  wide score = 420 - 11 * distance - penalty / 9;
  if (same_pc(note, gesture.target_midi)) score += target_pitch_bonus(config, gesture);
  if (context != nullptr) score += harmony_terms(config, gesture, *context, note);
  if (has_role(gesture, gesture_role::approach) && distance <= 2) score += 36;
  if (has_role(gesture, gesture_role::fill) && !gesture.on_strong_slot) score += 18;
  return score;
}

// Best first; equal scores lowest pitch first; each pitch once; at most seven.
std::vector<target_candidate> ranked_candidates(std::vector<target_candidate> collected) {
  std::stable_sort(collected.begin(), collected.end(),
                   [](const target_candidate& left, const target_candidate& right) {
                     if (left.score != right.score) return left.score > right.score;
                     return left.midi < right.midi;
                   });
  std::vector<target_candidate> taken;
  for (const auto& candidate : collected) {
    if (taken.size() == kept_candidates) break;
    const bool repeat = std::ranges::any_of(
        taken, [&](const target_candidate& kept) { return kept.midi == candidate.midi; });
    if (!repeat) taken.push_back(candidate);
  }
  return taken;
}

std::vector<target_candidate> candidates_for(realisation_setting& setting,
                                             const melody_gesture& gesture, std::uint32_t seed) {
  const auto& config = setting.config;
  const auto* context = harmonic_context_at(setting.harmony, gesture.start_tick);
  const auto pcs = gesture_pitch_classes(setting, context, gesture, seed);
  const wide lowest = std::max<wide>(wide{config.low_midi} - 12, std::numeric_limits<int>::min());
  const wide highest = std::min<wide>(wide{config.high_midi} + 12, std::numeric_limits<int>::max());
  std::vector<target_candidate> collected;
  for (const int pc : pcs) {
    for (wide midi = lowest + pc_of(pc - lowest); midi <= highest; midi += 12) {
      const int note = fit_register(config, static_cast<int>(midi), std::nullopt);
      // Several register notes fold onto one pitch with one score: one entry is enough.
      if (std::ranges::any_of(collected,
                              [note](const target_candidate& kept) { return kept.midi == note; })) {
        continue;
      }
      const int penalty = playability_penalty(setting.penalties, note);
      if (penalty >= no_place_penalty) continue;
      if (context != nullptr && gesture.duration_ticks > quarter &&
          !contains_pc(context->chord_tones, note)) {
        continue;
      }
      collected.push_back(
          {note, clamp_to_int(candidate_score(config, gesture, context, note, penalty))});
    }
  }
  if (collected.empty()) {
    const int pc = pcs.empty() ? setting.key_pc : pcs.front();
    return {{midi_for_pc_near(config, pc, gesture.desired_midi, std::nullopt),
             fallback_candidate_score}};
  }
  return ranked_candidates(std::move(collected));
}

// The melodic cost or reward of moving from the note of gesture `from` to the note of `to`.
wide transition_score(const improvisation_config& config, const melody_gesture& from,
                      wide from_note, const melody_gesture& to, wide to_note) {
  const wide step = to_note - from_note;
  const wide size = std::abs(step);
  const wide leap = config.max_leap;
  wide score = 0;
  if (step == 0) {
    score += from.duration_ticks >= quarter && to.duration_ticks >= quarter ? -86 : -170;
  } else {
    if (size <= 2) score += 28;
    if (size >= 3 && size <= 5) score += 72;
    if (size >= 6 && size <= leap) score += 20;
    if (size > leap) {
      score -= 160 * (size - leap);
      if (size >= 12) score -= 260;
    }
    const wide contour = wide{to.target_midi} - from.target_midi;
    if (contour != 0 && (contour > 0) == (step > 0)) {
      score += from.from_landmark || to.from_landmark ? 14 : 8;
      if (std::abs(contour) <= 5 && std::abs(step - contour) <= 1) {
        score += has_function(to.phrase_function, phrase_function::development) ||
                         has_function(to.phrase_function, phrase_function::peak)
                     ? 22
                     : 14;
      }
    }
  }
  if (to.start_tick - from.start_tick - from.duration_ticks >= eighth) score -= 160;
  if (has_role(from, gesture_role::approach)) score += size <= 2 ? 64 : -96;
  if (has_role(to, gesture_role::approach) && size <= 2) score += 18;
  if (has_role(to, gesture_role::closing) && size <= 5) score += 26;
  if (has_function(to.phrase_function, phrase_function::peak) && size > 2 && size <= leap) {
    score += 16;
  }
  if (has_function(to.phrase_function, phrase_function::closing) && size <= 4) score += 22;
  return score;
}

// The candidate index per gesture whose scores and transitions add up highest; on equal totals
// the earlier candidate.
std::vector<std::size_t> best_path(const improvisation_config& config,
                                   const std::vector<melody_gesture>& gestures,
                                   const std::vector<std::vector<target_candidate>>& candidates) {
  std::vector<std::vector<std::size_t>> back_links(gestures.size());
  std::vector<wide> totals;
  for (const auto& candidate : candidates.front()) totals.push_back(candidate.score);
  for (std::size_t index = 1; index < gestures.size(); ++index) {
    const auto& previous = candidates[index - 1];
    const auto& current = candidates[index];
    std::vector<wide> next_totals(current.size(), no_total);
    back_links[index].assign(current.size(), 0);
    for (std::size_t k = 0; k < current.size(); ++k) {
      for (std::size_t j = 0; j < previous.size(); ++j) {
        const wide value = current[k].score + totals[j] +
                           transition_score(config, gestures[index - 1], previous[j].midi,
                                            gestures[index], current[k].midi);
        if (value > next_totals[k]) {
          next_totals[k] = value;
          back_links[index][k] = j;
        }
      }
    }
    totals = std::move(next_totals);
  }
  std::vector<std::size_t> path(gestures.size(), 0);
  std::size_t chosen = 0;
  for (std::size_t k = 1; k < totals.size(); ++k) {
    if (totals[k] > totals[chosen]) chosen = k;
  }
  for (std::size_t index = gestures.size(); index-- > 0;) {
    path[index] = chosen;
    chosen = back_links[index].empty() ? 0 : back_links[index][chosen];
  }
  return path;
}

// Phrase scoring

struct harmony_counts {
  wide long_non_chord = 0;
  wide strong = 0;
  wide strong_chord = 0;
  wide colour = 0;
  wide scale = 0;
};

harmony_counts count_harmony(const source_score& score, const harmonic_context_table& harmony,
                             const std::vector<solo_phrase_event>& events) {
  harmony_counts counts;
  for (const auto& event : events) {
    const auto* context = harmonic_context_at(harmony, event.start_tick);
    if (context == nullptr || event.measure_index >= score.measures.size()) continue;
    const bool strong = slot_is_strong(score, event.start_tick, event.measure_index);
    const bool chord = contains_pc(context->chord_tones, event.midi);
    if (event.duration_ticks > quarter && !chord) {
      ++counts.long_non_chord;
      if (strong) ++counts.strong;
    } else if (strong) {
      ++counts.strong;
      if (chord) ++counts.strong_chord;
    }
    if (contains_pc(context->color_tones, event.midi) &&
        (strong || event.duration_ticks >= quarter)) {
      ++counts.colour;
    }
    if (contains_pc(context->scale_tones, event.midi)) ++counts.scale;
  }
  return counts;
}

struct interval_counts {
  wide repeats = 0;
  wide steps = 0;
  wide skips = 0;
  wide leaps = 0;
  wide direction_changes = 0;
  wide returns = 0;
  wide scalar_runs = 0;
};

interval_counts count_intervals(const std::vector<solo_phrase_event>& events) {
  interval_counts counts;
  int direction = 0;
  for (std::size_t index = 1; index < events.size(); ++index) {
    const wide step = wide{events[index].midi} - events[index - 1].midi;
    const wide size = std::abs(step);
    if (step == 0) {
      ++counts.repeats;
    } else if (size <= 2) {
      ++counts.steps;
    } else if (size <= 5) {
      ++counts.skips;
    } else if (size >= 8) {
      ++counts.leaps;
    }
    if (step != 0) {
      const int sign = step > 0 ? 1 : -1;
      if (direction != 0 && sign != direction) ++counts.direction_changes;
      direction = sign;
    }
    if (index < 2) continue;
    const wide before = wide{events[index - 1].midi} - events[index - 2].midi;
    if (same_pc(events[index].midi, events[index - 2].midi) &&
        !same_pc(events[index].midi, events[index - 1].midi)) {
      ++counts.returns;
    }
    if (before != 0 && step != 0 && (before > 0) == (step > 0) && std::abs(before) <= 5 &&
        size <= 5) {
      ++counts.scalar_runs;
    }
  }
  return counts;
}

wide distinct_count(std::vector<std::int64_t> values) {
  std::ranges::sort(values);
  return std::unique(values.begin(), values.end()) - values.begin();
}

// How the phrase echoes the written melody: some landmark onsets and pitches, not all.
wide landmark_base(const improvisation_config& config, const phrase_analysis& analysis,
                   const std::vector<solo_phrase_event>& events) {
  const wide lm = static_cast<wide>(analysis.landmarks.size());
  if (lm == 0) return 1000;
  const wide n = static_cast<wide>(events.size());
  wide onset_hits = 0;
  wide pitch_hits = 0;
  for (const auto& event : events) {
    bool onset = false;
    bool pitch = false;
    for (const auto& landmark : analysis.landmarks) {
      if (landmark.start_tick != event.start_tick) continue;
      onset = true;
      if (same_pc(landmark.midi, event.midi)) pitch = true;
    }
    onset_hits += onset ? 1 : 0;
    pitch_hits += pitch ? 1 : 0;
  }
  const wide onset_share = by_style(config, 32, 24);
  const wide pitch_share = by_style(config, 32, 28);
  const wide slack = style_one(config) ? lm + 6 : std::max<wide>(lm / 2 + 2, 3);
  wide base = 1000;
  const wide allowance = n * onset_share < 200 ? 1 : n * onset_share / 100;
  if (onset_hits > allowance) base -= (onset_hits - allowance) * by_style(config, 480, 620);
  if (n >= 3 && onset_hits == n) base -= by_style(config, 1300, 1800);
  const wide pitch_allowance = n * pitch_share < 200 ? 1 : n * pitch_share / 100;
  if (pitch_hits > pitch_allowance) {
    base -= (pitch_hits - pitch_allowance) * by_style(config, 280, 360);
  }
  base += (n - onset_hits) * by_style(config, 70, 92);
  if (n > lm + slack) base -= (n - lm - slack) * 125;
  if (3 * n < 2 * lm) base += 165 * n - 110 * lm;
  return base;
}

wide rhythmic_variety(const std::vector<solo_phrase_event>& events) {
  std::vector<std::int64_t> durations;
  for (const auto& event : events) durations.push_back(event.duration_ticks);
  const wide distinct = distinct_count(std::move(durations));
  wide score = 26 * std::min<wide>(distinct, 4);
  if (distinct > 5) score -= 30 * distinct - 150;
  return score;
}

wide off_beat_count(const source_score& score, const std::vector<solo_phrase_event>& events) {
  wide count = 0;
  for (const auto& event : events) {
    if (event.measure_index >= score.measures.size()) continue;
    if ((event.start_tick - score.measures[event.measure_index].start_tick) % quarter != 0) ++count;
  }
  return count;
}

// How the phrase's entry, ending and syncopation suit what the phrase does in the solo.
wide function_terms(const source_score& score, const improvisation_config& config,
                    const phrase_analysis& analysis, phrase_function function,
                    const std::vector<solo_phrase_event>& events) {
  const wide n = static_cast<wide>(events.size());
  const wide lm = static_cast<wide>(analysis.landmarks.size());
  const wide entry = events.front().start_tick - analysis.span.start_tick;
  const wide last_length = events.back().duration_ticks;
  const bool long_end = last_length >= quarter;
  const wide off_beat = off_beat_count(score, events);
  wide term = 0;
  switch (function) {
    case phrase_function::opening:
      term = long_end ? (entry <= eighth ? 215 : 40) : (entry <= eighth ? 5 : -170);
      if (lm > 0 && n > lm + by_style(config, 3, 4)) term -= 36 * (n - lm);
      break;
    case phrase_function::answer:
      term = long_end ? (off_beat > 0 ? 210 : -5) : (off_beat > 0 ? 80 : -135);
      if (entry >= eighth) term += 55;
      break;
    case phrase_function::development:
      if (n >= std::max<wide>(3, lm)) {
        term = off_beat > 0 ? 175 : 40;
      } else {
        term = off_beat > 0 ? 10 : -125;
      }
      break;
    case phrase_function::peak: {
      const wide needed = by_style(config, 1, 2);
      const bool busy = lm + needed <= n;
      term = long_end ? 70 : -70;
      term += off_beat >= needed ? (busy ? 240 : 60) : (busy ? 30 : -150);
      break;
    }
    case phrase_function::closing: {
      const wide room = analysis.span.end_tick - (events.back().start_tick + last_length);
      term = long_end ? (room >= eighth ? 245 : 170) : (room >= eighth ? -45 : -120);
      if (lm > 0 && n > lm + 2) term -= 70 * (n - lm - 2);
      break;
    }
  }
  const bool has_long_note = std::ranges::any_of(
      events, [](const solo_phrase_event& event) { return event.duration_ticks >= 3072; });
  return term + (has_long_note ? 150 : -180);
}

phrase_gap_metrics gap_metrics(std::vector<solo_phrase_event> events, bool leading_pickup) {
  std::ranges::stable_sort(events, {}, &solo_phrase_event::start_tick);
  phrase_gap_metrics metrics;
  bool previous_gap = false;
  for (std::size_t index = 1; index < events.size(); ++index) {
    const auto& before = events[index - 1];
    const wide gap = events[index].start_tick - (before.start_tick + before.duration_ticks);
    const bool is_gap = gap > 0;
    if (is_gap) {
      ++metrics.gaps;
      if (gap != eighth || leading_pickup) ++metrics.odd_gaps;
      if (previous_gap) ++metrics.consecutive_gaps;
    }
    previous_gap = is_gap;
  }
  return metrics;
}

// Breathing room: a few eighth rests are welcome, odd or stacked rests are not.
wide gap_terms(const improvisation_config& config, phrase_function function, bool leading_pickup,
               const phrase_gap_metrics& metrics) {
  const wide threshold = by_style(config, 3, 4);
  const wide gaps = metrics.gaps;
  const wide heavy = metrics.odd_gaps + std::max<wide>(gaps - threshold, 0);
  wide score =
      76 * std::min(gaps, threshold) - 1800 * heavy - 1100 * wide{metrics.consecutive_gaps};
  if (gaps == 0 && function != phrase_function::closing && !leading_pickup) {
    score -= by_style(config, 55, 95);
  }
  return score;
}

// Runs of five or more short notes without a breath.
wide short_run_terms(const std::vector<solo_phrase_event>& events) {
  wide score = 0;
  wide run = 0;
  for (std::size_t index = 0; index < events.size(); ++index) {
    const bool short_note = events[index].duration_ticks <= eighth;
    if (index > 0 && events[index].start_tick - events[index - 1].start_tick > eighth) {
      run = short_note ? 1 : 0;
      continue;
    }
    run = short_note ? run + 1 : 0;
    if (run >= 5) score -= 95 * (run - 4);
  }
  return score;
}

// The same short inter-onset interval three or more times in a row.
wide repeated_onset_terms(const std::vector<solo_phrase_event>& events) {
  if (events.size() < 4) return 0;
  wide score = 0;
  wide repetitions = 0;
  std::optional<wide> previous;
  for (std::size_t index = 1; index < events.size(); ++index) {
    const wide interval = events[index].start_tick - events[index - 1].start_tick;
    if (interval <= quarter && previous == interval) {
      ++repetitions;
      if (repetitions >= 3) score -= (repetitions - 2) * (interval == eighth ? 110 : 70);
    } else {
      repetitions = 1;
    }
    previous = interval;
  }
  return score;
}

// Measures filled with more than three plain eighth notes.
wide eighth_measure_terms(const source_score& score, const improvisation_config& config,
                          const std::vector<solo_phrase_event>& events) {
  std::vector<std::size_t> measures;
  for (const auto& event : events) {
    if (event.measure_index < score.measures.size()) measures.push_back(event.measure_index);
  }
  std::ranges::sort(measures);
  measures.erase(std::unique(measures.begin(), measures.end()), measures.end());
  wide score_term = 0;
  for (const auto measure : measures) {
    wide count = 0;
    bool all_eighths = true;
    for (const auto& event : events) {
      if (event.measure_index != measure) continue;
      ++count;
      all_eighths = all_eighths && event.duration_ticks == eighth;
    }
    if (count > 3 && all_eighths) score_term -= by_style(config, 260, 210);
  }
  return score_term;
}

wide phrase_range(const std::vector<solo_phrase_event>& events) {
  const auto [lowest, highest] = std::ranges::minmax_element(events, {}, &solo_phrase_event::midi);
  return wide{highest->midi} - lowest->midi;
}

// What a phrase offers for comparison with a remembered one; its cells, pitch classes and range
// also feed the melodic terms, so each is worked out once per phrase.
struct phrase_profile {
  std::string harmonic_signature;
  std::string span_rhythm;
  std::string own_rhythm;
  std::vector<std::string> measure_cells;
  std::string intervals;
  std::vector<std::pair<std::int32_t, std::int32_t>> cells;
  std::vector<std::int32_t> pitch_classes;
  wide range = 0;
};

wide melodic_terms(const improvisation_config& config, const std::vector<solo_phrase_event>& events,
                   const phrase_profile& profile, const harmony_counts& harmony) {
  const wide n = static_cast<wide>(events.size());
  const auto intervals = count_intervals(events);
  const auto& cells = profile.cells;
  wide repeated_cells = 0;
  for (std::size_t index = 0; index < cells.size(); ++index) {
    if (std::find(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(index),
                  cells[index]) != cells.begin() + static_cast<std::ptrdiff_t>(index)) {
      ++repeated_cells;
    }
  }
  const wide distinct_pcs = static_cast<wide>(profile.pitch_classes.size());
  const wide range = profile.range;
  const std::int32_t highest = std::ranges::max(events, {}, &solo_phrase_event::midi).midi;

  wide score = 10 * intervals.steps + 46 * intervals.skips + 72 * intervals.scalar_runs -
               145 * intervals.leaps - 165 * intervals.repeats;
  const wide change_cap = n <= 7 ? 1 : n / 4;
  score += 24 * std::min(intervals.direction_changes, change_cap);
  if (3 * intervals.direction_changes > 2 * n) {
    score -= 28 * (3 * intervals.direction_changes - 2 * n);
  }
  score -= by_style(config, 410, 540) * intervals.returns;
  score -= by_style(config, 255, 330) * repeated_cells;
  const wide wanted_pcs = std::min(n, by_style(config, 3, 4));
  if (distinct_pcs < wanted_pcs) {
    score -= 360 * (wanted_pcs - distinct_pcs);
  } else {
    score += 24 * std::min<wide>(distinct_pcs, 6);
  }
  const wide wanted_range = by_style(config, 4, 5);
  if (n >= 4 && range < wanted_range) score -= 130 * (wanted_range - range);
  if (harmony.strong > 0) score += 220 * harmony.strong_chord / harmony.strong;
  if (events.back().duration_ticks >= quarter) score += 135;
  if (5 * harmony.scale < 4 * n) score += 90 * harmony.scale - 72 * n;
  score += by_style(config, 34, 36) * harmony.colour;
  const wide at_top = std::ranges::count(events, highest, &solo_phrase_event::midi);
  if (at_top == 1) score += 120;
  if (at_top >= 3) score -= 45 * at_top;
  return score;
}

// Penalties for echoing a remembered phrase: its rhythm, intervals, cells, first and last notes
// and, over the same harmony, its pitch set. The latest phrase is echoed most audibly.
wide memory_terms(const source_score& score, phrase_function function,
                  const std::vector<solo_phrase_event>& events, const phrase_profile& candidate,
                  const phrase_memory& entry, bool latest) {
  const bool same = entry.harmonic_signature == candidate.harmonic_signature;
  const bool same_function = entry.phrase_function == function;
  const auto worked_out_own_rhythm =
      entry.own_rhythm_signature.empty()
          ? phrase_rhythm_signature(entry.events, entry.events.front().start_tick)
          : std::string{};
  const auto& entry_own_rhythm =
      entry.own_rhythm_signature.empty() ? worked_out_own_rhythm : entry.own_rhythm_signature;
  const auto& entry_rhythm =
      entry.rhythm_signature.empty() ? entry_own_rhythm : entry.rhythm_signature;
  wide term = 0;
  if (entry_rhythm == candidate.own_rhythm || entry_own_rhythm == candidate.span_rhythm) {
    term -= latest ? 1240 : same ? 980 : 520;
    if (same_function) term -= 360;
  }
  const auto worked_out_intervals =
      entry.interval_signature.empty() ? interval_signature(entry.events) : std::string{};
  const auto& entry_intervals =
      entry.interval_signature.empty() ? worked_out_intervals : entry.interval_signature;
  if (entry_intervals == candidate.intervals) term -= same ? 760 : 410;

  const auto worked_out_cells = entry.interval_cells.empty()
                                    ? interval_cells(entry.events)
                                    : std::vector<std::pair<std::int32_t, std::int32_t>>{};
  const auto& entry_cells = entry.interval_cells.empty() ? worked_out_cells : entry.interval_cells;
  const wide shared_cells = std::ranges::count_if(candidate.cells, [&](const auto& cell) {
    return std::ranges::find(entry_cells, cell) != entry_cells.end();
  });
  if (shared_cells > 0) {
    term += same ? 16 : 28;
    if (!same_function) term += 12;
    if (shared_cells > 2) term -= (shared_cells - 2) * (same ? 280 : 175);
  }

  const auto worked_out_measure_cells = entry.measure_rhythm_cells.empty()
                                            ? measure_rhythm_cells(score, entry.events)
                                            : std::vector<std::string>{};
  const auto& entry_measure_cells =
      entry.measure_rhythm_cells.empty() ? worked_out_measure_cells : entry.measure_rhythm_cells;
  const wide shared_measures =
      std::ranges::count_if(candidate.measure_cells, [&](const auto& cell) {
        return std::ranges::find(entry_measure_cells, cell) != entry_measure_cells.end();
      });
  term -= shared_measures * (latest ? 280 : same ? 220 : 95);

  const auto near = [](const solo_phrase_event& left, const solo_phrase_event& right) {
    return std::abs(wide{left.midi} - right.midi) <= 1;
  };
  if (entry.first_pc >= 0 && entry.first_pc == normalize_pc(events.front().midi)) {
    term -= latest ? 240 : same ? 160 : 80;
  } else if (near(entry.events.front(), events.front())) {
    term -= latest ? 180 : 90;
  }
  if (entry.last_pc >= 0 && entry.last_pc == normalize_pc(events.back().midi)) {
    term -= latest ? 220 : same ? 140 : 70;
  } else if (near(entry.events.back(), events.back())) {
    term -= latest ? 160 : 80;
  }

  if (same) {
    const auto worked_out_pcs = entry.pitch_classes.empty() ? distinct_pitch_classes(entry.events)
                                                            : std::vector<std::int32_t>{};
    const auto& entry_pcs = entry.pitch_classes.empty() ? worked_out_pcs : entry.pitch_classes;
    const wide distinct = static_cast<wide>(candidate.pitch_classes.size());
    const wide shared_pcs = std::ranges::count_if(candidate.pitch_classes, [&](std::int32_t pc) {
      return std::ranges::find(entry_pcs, pc) != entry_pcs.end();
    });
    if (distinct > 0 && shared_pcs == distinct && wide{entry.range} + 1 >= candidate.range) {
      term -= latest ? 420 : 260;
    }
    if (entry.range > 0 && std::abs(wide{entry.range} - candidate.range) <= 1 &&
        shared_pcs >= std::min<wide>(distinct, 3)) {
      term -= latest ? 190 : 110;
    }
  }
  return term;
}

void append_number(std::string& text, wide value) { text += std::to_string(value); }

}  // namespace

// Gesture realisation

std::vector<solo_phrase_event> realize_gestures(const source_score& score,
                                                const std::vector<chord_occurrence>& chords,
                                                const improvisation_config& config,
                                                const std::vector<melody_gesture>& gestures,
                                                int seed) {
  if (gestures.empty()) return {};
  return realize_gestures(score, build_harmonic_context_table(score, chords), config, gestures,
                          seed);
}

std::vector<solo_phrase_event> realize_gestures(const source_score& score,
                                                const harmonic_context_table& harmony,
                                                const improvisation_config& config,
                                                const std::vector<melody_gesture>& gestures,
                                                int seed) {
  if (gestures.empty()) return {};
  auto setting = setting_for(score, harmony, config);
  std::vector<std::vector<target_candidate>> candidates;
  candidates.reserve(gestures.size());
  for (std::size_t index = 0; index < gestures.size(); ++index) {
    const auto gesture_seed = static_cast<std::uint32_t>(seed) + static_cast<std::uint32_t>(index);
    candidates.push_back(candidates_for(setting, gestures[index], gesture_seed));
  }
  const auto path = best_path(config, gestures, candidates);
  std::vector<solo_phrase_event> events;
  events.reserve(gestures.size());
  for (std::size_t index = 0; index < gestures.size(); ++index) {
    const auto& gesture = gestures[index];
    events.push_back({.measure_index = gesture.measure_index,
                      .start_tick = gesture.start_tick,
                      .duration_ticks = gesture.duration_ticks,
                      .midi = candidates[index][path[index]].midi,
                      .opens_phrase = gesture.opens_phrase,
                      .closes_phrase = gesture.closes_phrase});
  }
  return events;
}

std::int32_t gesture_transition_score(const improvisation_config& config,
                                      const melody_gesture& from, int from_note,
                                      const melody_gesture& to, int to_note) {
  return clamp_to_int(transition_score(config, from, from_note, to, to_note));
}

std::vector<target_candidate> target_candidates_for_gesture(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const improvisation_config& config, const melody_gesture& gesture, int seed) {
  return target_candidates_for_gesture(score, build_harmonic_context_table(score, chords), config,
                                       gesture, seed);
}

std::vector<target_candidate> target_candidates_for_gesture(const source_score& score,
                                                            const harmonic_context_table& harmony,
                                                            const improvisation_config& config,
                                                            const melody_gesture& gesture,
                                                            int seed) {
  auto setting = setting_for(score, harmony, config);
  return candidates_for(setting, gesture, static_cast<std::uint32_t>(seed));
}

// Phrase scoring

std::int32_t phrase_score(const source_score& score, const std::vector<chord_occurrence>& chords,
                          const improvisation_config& config, const phrase_analysis& analysis,
                          const std::vector<solo_phrase_event>& events,
                          const std::vector<phrase_memory>& memory) {
  if (events.empty()) return empty_phrase_score;
  return phrase_score(score, chords, build_harmonic_context_table(score, chords), config, analysis,
                      events, memory);
}

std::int32_t phrase_score(const source_score& score, const std::vector<chord_occurrence>& chords,
                          const harmonic_context_table& harmony, const improvisation_config& config,
                          const phrase_analysis& analysis,
                          const std::vector<solo_phrase_event>& events,
                          const std::vector<phrase_memory>& memory) {
  if (events.empty()) return empty_phrase_score;
  return phrase_score(score, harmonic_signature_for_phrase(chords, analysis.span), harmony, config,
                      analysis, events, memory);
}

std::int32_t phrase_score(const source_score& score, const std::string& harmonic_signature,
                          const harmonic_context_table& harmony, const improvisation_config& config,
                          const phrase_analysis& analysis,
                          const std::vector<solo_phrase_event>& events,
                          const std::vector<phrase_memory>& memory) {
  if (events.empty()) return empty_phrase_score;
  const auto function = phrase_function_for(config, analysis);
  const bool leading_pickup = phrase_span_is_leading_pickup(score, analysis.span);
  const auto harmony_count = count_harmony(score, harmony, events);

  wide total = landmark_base(config, analysis, events);
  total += rhythmic_variety(events);
  total += function_terms(score, config, analysis, function, events);
  total += gap_terms(config, function, leading_pickup, gap_metrics(events, leading_pickup));
  total -= 2400 * harmony_count.long_non_chord;
  total += short_run_terms(events);
  total += repeated_onset_terms(events);
  total += eighth_measure_terms(score, config, events);

  const phrase_profile candidate{
      .harmonic_signature = harmonic_signature,
      .span_rhythm = phrase_rhythm_signature(events, analysis.span.start_tick),
      .own_rhythm = phrase_rhythm_signature(events, events.front().start_tick),
      .measure_cells = measure_rhythm_cells(score, events),
      .intervals = interval_signature(events),
      .cells = interval_cells(events),
      .pitch_classes = distinct_pitch_classes(events),
      .range = phrase_range(events),
  };
  total += melodic_terms(config, events, candidate, harmony_count);
  for (std::size_t index = 0; index < memory.size(); ++index) {
    if (memory[index].events.empty()) continue;
    total +=
        memory_terms(score, function, events, candidate, memory[index], index + 1 == memory.size());
  }
  return clamp_to_int(total);
}

phrase_gap_metrics phrase_gap_metrics_for(const source_score& score,
                                          const improvisation_config& /*config*/,
                                          const phrase_analysis& analysis,
                                          std::vector<solo_phrase_event> events) {
  return gap_metrics(std::move(events), phrase_span_is_leading_pickup(score, analysis.span));
}

// Phrase texts and cells

std::string phrase_rhythm_signature(const std::vector<solo_phrase_event>& events,
                                    std::int64_t origin) {
  std::string text;
  for (const auto& event : events) {
    append_number(text, (event.start_tick - origin) / 1024);
    text += ':';
    append_number(text, event.duration_ticks / 1024);
    text += ';';
  }
  return text;
}

std::string interval_signature(const std::vector<solo_phrase_event>& events) {
  std::string text;
  for (std::size_t index = 1; index < events.size(); ++index) {
    append_number(text, std::clamp<wide>(wide{events[index].midi} - events[index - 1].midi, -7, 7));
    text += ';';
  }
  return text;
}

std::vector<std::string> measure_rhythm_cells(const source_score& score,
                                              const std::vector<solo_phrase_event>& events) {
  std::vector<std::pair<std::size_t, std::string>> cells;
  for (const auto& event : events) {
    if (event.measure_index >= score.measures.size()) continue;
    auto cell =
        std::ranges::find(cells, event.measure_index, &std::pair<std::size_t, std::string>::first);
    if (cell == cells.end()) {
      cells.emplace_back(event.measure_index, std::string{});
      cell = std::prev(cells.end());
    }
    append_number(cell->second,
                  (event.start_tick - score.measures[event.measure_index].start_tick) / eighth);
    cell->second += ':';
    append_number(cell->second, event.duration_ticks / eighth);
    cell->second += ';';
  }
  std::ranges::stable_sort(cells, {}, &std::pair<std::size_t, std::string>::first);
  std::vector<std::string> texts;
  texts.reserve(cells.size());
  for (auto& cell : cells) texts.push_back(std::move(cell.second));
  return texts;
}

std::vector<std::pair<std::int32_t, std::int32_t>> interval_cells(
    const std::vector<solo_phrase_event>& events) {
  std::vector<std::pair<std::int32_t, std::int32_t>> cells;
  for (std::size_t index = 2; index < events.size(); ++index) {
    const wide first = wide{events[index - 1].midi} - events[index - 2].midi;
    const wide second = wide{events[index].midi} - events[index - 1].midi;
    if (std::abs(second) > 5) continue;
    const bool from_repeat = first == 0 && second != 0;
    if (from_repeat || (first != 0 && std::abs(first) <= 5)) {
      cells.emplace_back(static_cast<std::int32_t>(first), static_cast<std::int32_t>(second));
    }
  }
  return cells;
}

std::vector<std::int32_t> distinct_pitch_classes(const std::vector<solo_phrase_event>& events) {
  std::vector<std::int32_t> pcs;
  for (const auto& event : events) pcs.push_back(normalize_pc(event.midi));
  std::ranges::sort(pcs);
  pcs.erase(std::unique(pcs.begin(), pcs.end()), pcs.end());
  return pcs;
}

// Phrase corrections

namespace {

// One note that may be shortened to open a syncopation gap; higher scores are taken first.
struct syncopation_candidate {
  std::size_t event_index = 0;
  wide score = 0;
};

// Per phrase function (opening, answer, development, peak, closing), in phrasing styles 0 and 1:
// how much a gap suits the phrase, and how many gaps it may open.
struct syncopation_rule {
  wide bonus_style_zero = 0;
  wide bonus_style_one = 0;
  std::size_t gaps_style_zero = 0;
  std::size_t gaps_style_one = 0;
};

constexpr std::array<syncopation_rule, 5> syncopation_rules{{
    {0, 8, 1, 2},
    {36, 36, 2, 3},
    {48, 48, 3, 3},
    {44, 72, 3, 4},
    {-12, -12, 1, 2},
}};

syncopation_rule syncopation_rule_for(phrase_function function) {
  const auto value = static_cast<std::size_t>(function);
  return value < syncopation_rules.size() ? syncopation_rules[value] : syncopation_rule{};
}

wide syncopation_score(const source_score& score, const improvisation_config& config,
                       const phrase_analysis& analysis, const syncopation_rule& rule,
                       std::uint32_t seed, const std::vector<solo_phrase_event>& events,
                       std::size_t index) {
  const auto& note = events[index];
  const auto& next = events[index + 1];
  const auto key = static_cast<std::uint32_t>(analysis.span.index) * 13u +
                   static_cast<std::uint32_t>(index) * 29u;
  wide value = mix_seed(seed, key) % 97;
  if (note.measure_index < score.measures.size()) {
    const wide offset = next.start_tick - score.measures[note.measure_index].start_tick;
    if (offset % quarter == eighth) {
      value += 125;
    } else if (offset % quarter != 0) {
      value += 55;
    }
  }
  if (slot_is_strong(score, note.start_tick, note.measure_index)) value += 28;
  if (note.duration_ticks >= 6144) value += 54;
  if (next.duration_ticks >= quarter) value += 22;
  return value + by_style(config, rule.bonus_style_zero, rule.bonus_style_one);
}

// A note of a quarter or more that leads straight into the next note, both inside the span, and
// that still has a writable length when an eighth shorter.
bool may_open_gap(const phrase_analysis& analysis, const solo_phrase_event& note,
                  const solo_phrase_event& next) {
  return !note.opens_phrase && !next.closes_phrase && note.duration_ticks >= quarter &&
         note.start_tick >= analysis.span.start_tick && next.start_tick < analysis.span.end_tick &&
         next.start_tick > note.start_tick &&
         note.start_tick + note.duration_ticks == next.start_tick &&
         renderable_arrangement_duration(note.duration_ticks - eighth);
}

}  // namespace

std::vector<solo_phrase_event> close_internal_phrase_gaps(const improvisation_config& /*config*/,
                                                          const phrase_analysis& analysis,
                                                          std::vector<solo_phrase_event> events) {
  if (events.size() < 2) return events;
  std::ranges::stable_sort(events, {}, &solo_phrase_event::start_tick);
  for (std::size_t index = 0; index + 1 < events.size(); ++index) {
    auto& note = events[index];
    const auto& next = events[index + 1];
    if (note.start_tick >= analysis.span.start_tick && next.start_tick < analysis.span.end_tick &&
        note.start_tick < next.start_tick &&
        note.start_tick + note.duration_ticks < next.start_tick) {
      note.duration_ticks = next.start_tick - note.start_tick;
      note.tie_to_next = false;
    }
  }
  return events;
}

std::vector<solo_phrase_event> apply_syncopated_phrase_gaps(const source_score& score,
                                                            const improvisation_config& config,
                                                            const phrase_analysis& analysis,
                                                            std::vector<solo_phrase_event> events,
                                                            int candidate) {
  if (events.size() < 4 || phrase_span_is_leading_pickup(score, analysis.span)) return events;
  const auto rule = syncopation_rule_for(phrase_function_for(config, analysis));
  const auto seed =
      static_cast<std::uint32_t>(config.seed) + 53u * static_cast<std::uint32_t>(candidate);
  std::vector<syncopation_candidate> candidates;
  for (std::size_t index = 1; index + 2 < events.size(); ++index) {
    if (!may_open_gap(analysis, events[index], events[index + 1])) continue;
    candidates.push_back(
        {index, syncopation_score(score, config, analysis, rule, seed, events, index)});
  }
  std::ranges::stable_sort(candidates, [](const auto& left, const auto& right) {
    if (left.score != right.score) return left.score > right.score;
    return left.event_index < right.event_index;
  });
  const auto allowed = std::min(by_style(config, static_cast<wide>(rule.gaps_style_zero),
                                         static_cast<wide>(rule.gaps_style_one)),
                                static_cast<wide>(candidates.size()));
  std::vector<std::size_t> taken;
  for (const auto& candidate_note : candidates) {
    if (static_cast<wide>(taken.size()) >= allowed) break;
    const bool beside_taken = std::ranges::any_of(taken, [&](std::size_t index) {
      const auto distance = index > candidate_note.event_index ? index - candidate_note.event_index
                                                               : candidate_note.event_index - index;
      return distance <= 1;
    });
    if (!beside_taken) taken.push_back(candidate_note.event_index);
  }
  for (const auto index : taken) {
    events[index].duration_ticks -= eighth;
    events[index].tie_to_next = false;
  }
  return events;
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
