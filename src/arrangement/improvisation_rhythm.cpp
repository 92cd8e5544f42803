#include "arrangement/improvisation_rhythm.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/solo_theory.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <span>

namespace orvanta::arrangement_detail::improvisation_detail {
namespace {

constexpr std::int64_t eighth = 2048;
constexpr std::int64_t quarter = 4096;

// Arithmetic

// Seed sums wrap around on 32 bits; the result is the wrapped pattern read as an int.
int seed_sum(std::uint32_t a, std::uint32_t b) { return static_cast<int>(a + b); }

std::uint32_t pattern(std::size_t value) { return static_cast<std::uint32_t>(value); }

// A percent draw: true when the hash modulo 100 is below the threshold.
bool draw_below(int seed, std::uint32_t key, int threshold) {
  return mix_seed(static_cast<std::uint32_t>(seed), key) % 100 < threshold;
}

bool is_odd(int value) { return value % 2 != 0; }

// Non-negative remainder, for table lookups by a seed.
std::size_t table_slot(int value, int size) {
  const int remainder = value % size;
  return static_cast<std::size_t>(remainder < 0 ? remainder + size : remainder);
}

// Style 0 reads the first column of a style table, every other style the second.
bool style_one(const improvisation_config& config) { return config.phrasing_style != 0; }

// The span

const phrase_span& span_of(const phrase_analysis& analysis) { return analysis.span; }

std::int64_t span_length(const phrase_analysis& analysis) {
  return subtract_ticks(analysis.span.end_tick, analysis.span.start_tick);
}

// The end of the tick's measure (or the last measure), never past the span.
std::int64_t measure_or_span_end(const source_score& score, const phrase_analysis& analysis,
                                 std::int64_t tick) {
  const auto span_end = analysis.span.end_tick;
  return std::min(span_end, measure_end_for_tick(score, tick, span_end));
}

// The register moves of a span by its place in the solo; 0 in a solo of one span.
int position_adjustment(const improvisation_config& config, const phrase_analysis& analysis) {
  const auto& span = span_of(analysis);
  if (span.count <= 1) return 0;
  const auto place = std::int64_t{span.index} * 100 / (std::int64_t{span.count} - 1);
  if (!style_one(config)) {
    if (place <= 24) return -3;
    if (place <= 59) return -1;
    if (place <= 84) return 1;
    return -4;
  }
  if (place <= 24) return -1;
  if (place <= 54) return 2;
  if (place <= 84) return 5;
  return 0;
}

// Durations

constexpr std::array<std::int64_t, 6> duration_ladder{16384, 12288, 8192, 6144, 4096, 2048};

// The duration a landmark keeps when a fill or a tail follows it.
std::int64_t shortened_duration(const improvisation_config& config, phrase_function function,
                                std::int64_t duration) {
  if (duration >= 16384) return style_one(config) ? 8192 : 12288;
  if (duration >= 8192) {
    if (!style_one(config)) return 6144;
    return function == phrase_function::peak ? 2048 : 4096;
  }
  return std::max(duration - eighth, eighth);
}

// Cell tables

struct fill_cell_row {
  phrase_function function;
  std::array<std::span<const fill_cell_note>, 2> style_zero;  // even or divisible, odd or not
  std::array<std::span<const fill_cell_note>, 2> style_one;
  bool style_zero_by_three;
  bool style_one_by_three;
};

constexpr fill_cell_note fill_opening_0_even[]{{4096, -2}};
constexpr fill_cell_note fill_opening_0_odd[]{{6144, 2}};
constexpr fill_cell_note fill_opening_1_even[]{{2048, 2}, {6144, -1}};
constexpr fill_cell_note fill_opening_1_odd[]{{4096, -2}};
constexpr fill_cell_note fill_answer_0_even[]{{2048, -2}, {6144, 1}};
constexpr fill_cell_note fill_answer_0_odd[]{{4096, 2}};
constexpr fill_cell_note fill_answer_1_even[]{{2048, -1}, {4096, 2}, {6144, -2}};
constexpr fill_cell_note fill_answer_1_odd[]{{4096, 2}, {6144, 4}};
constexpr fill_cell_note fill_development_0_three[]{{2048, 2}, {4096, 4}};
constexpr fill_cell_note fill_development_0_other[]{{4096, -1}, {6144, 2}};
constexpr fill_cell_note fill_development_1_even[]{{2048, 2}, {4096, 4}, {6144, 3}};
constexpr fill_cell_note fill_development_1_odd[]{{2048, -2}, {6144, 1}};
constexpr fill_cell_note fill_peak_0_even[]{{2048, 2}, {4096, 4}, {6144, 1}};
constexpr fill_cell_note fill_peak_0_odd[]{{2048, -1}, {6144, 3}};
constexpr fill_cell_note fill_peak_1_three[]{{2048, 2}, {4096, 4}, {6144, 5}};
constexpr fill_cell_note fill_peak_1_other[]{{2048, -1}, {4096, 2}, {6144, 4}};
constexpr fill_cell_note fill_closing_0_even[]{{6144, -2}};
constexpr fill_cell_note fill_closing_0_odd[]{{6144, 2}};
constexpr fill_cell_note fill_closing_1_even[]{{4096, -2}};
constexpr fill_cell_note fill_closing_1_odd[]{{6144, -1}};

constexpr std::array<fill_cell_row, 5> fill_cell_rows{{
    {phrase_function::opening,
     {fill_opening_0_even, fill_opening_0_odd},
     {fill_opening_1_even, fill_opening_1_odd},
     false,
     false},
    {phrase_function::answer,
     {fill_answer_0_even, fill_answer_0_odd},
     {fill_answer_1_even, fill_answer_1_odd},
     false,
     false},
    {phrase_function::development,
     {fill_development_0_three, fill_development_0_other},
     {fill_development_1_even, fill_development_1_odd},
     true,
     false},
    {phrase_function::peak,
     {fill_peak_0_even, fill_peak_0_odd},
     {fill_peak_1_three, fill_peak_1_other},
     false,
     true},
    {phrase_function::closing,
     {fill_closing_0_even, fill_closing_0_odd},
     {fill_closing_1_even, fill_closing_1_odd},
     false,
     false},
}};

struct continuation_cell_row {
  phrase_function function;
  // Odd seed (development: not divisible by 3), then even (divisible by 3).
  std::array<std::span<const continuation_cell_note>, 2> style_zero;
  std::array<std::span<const continuation_cell_note>, 2> style_one;
};

constexpr continuation_cell_note tail_opening_0_odd[]{{4096, 6144, 2}};
constexpr continuation_cell_note tail_opening_0_even[]{{2048, 4096, -2}, {8192, 4096, 1}};
constexpr continuation_cell_note tail_opening_1_odd[]{{0, 4096, -2}, {6144, 4096, 2}};
constexpr continuation_cell_note tail_opening_1_even[]{{2048, 4096, 2}, {8192, 4096, -1}};
constexpr continuation_cell_note tail_answer_0_odd[]{
    {2048, 2048, 2}, {4096, 4096, 4}, {10240, 4096, 1}};
constexpr continuation_cell_note tail_answer_0_even[]{
    {0, 4096, -2}, {6144, 4096, 2}, {12288, 4096, -1}};
constexpr continuation_cell_note tail_answer_1_odd[]{
    {2048, 4096, 2}, {8192, 2048, 4}, {10240, 4096, 1}};
constexpr continuation_cell_note tail_answer_1_even[]{
    {0, 2048, -1}, {2048, 2048, 2}, {6144, 4096, -2}, {12288, 4096, 1}};
constexpr continuation_cell_note tail_development_0_other[]{
    {4096, 2048, -1}, {6144, 2048, 2}, {10240, 4096, 4}};
constexpr continuation_cell_note tail_development_0_three[]{
    {0, 2048, 2}, {2048, 4096, 4}, {8192, 4096, -1}};
constexpr continuation_cell_note tail_development_1_other[]{
    {2048, 2048, -2}, {4096, 2048, 1}, {6144, 4096, 3}, {12288, 4096, 5}};
constexpr continuation_cell_note tail_development_1_three[]{
    {0, 4096, 2}, {6144, 2048, 4}, {8192, 4096, 1}, {12288, 4096, -2}};
constexpr continuation_cell_note tail_peak_0_odd[]{
    {2048, 4096, -2}, {6144, 2048, 1}, {8192, 4096, 4}};
constexpr continuation_cell_note tail_peak_0_even[]{
    {0, 2048, 2}, {2048, 2048, 4}, {4096, 4096, 5}, {10240, 4096, 2}};
constexpr continuation_cell_note tail_peak_1_odd[]{
    {2048, 2048, -1}, {4096, 2048, 2}, {6144, 4096, 4}, {10240, 2048, 5}, {12288, 4096, 2}};
constexpr continuation_cell_note tail_peak_1_even[]{
    {0, 2048, 2}, {2048, 2048, 4}, {4096, 4096, 5}, {8192, 2048, 3}, {10240, 4096, 1}};
constexpr continuation_cell_note tail_closing_0_odd[]{{4096, 4096, 2}, {10240, 4096, -1}};
constexpr continuation_cell_note tail_closing_0_even[]{{2048, 6144, -2}};
constexpr continuation_cell_note tail_closing_1_odd[]{{4096, 6144, -1}};
constexpr continuation_cell_note tail_closing_1_even[]{{2048, 4096, -2}, {10240, 4096, 1}};

constexpr std::array<continuation_cell_row, 5> continuation_cell_rows{{
    {phrase_function::opening,
     {tail_opening_0_odd, tail_opening_0_even},
     {tail_opening_1_odd, tail_opening_1_even}},
    {phrase_function::answer,
     {tail_answer_0_odd, tail_answer_0_even},
     {tail_answer_1_odd, tail_answer_1_even}},
    {phrase_function::development,
     {tail_development_0_other, tail_development_0_three},
     {tail_development_1_other, tail_development_1_three}},
    {phrase_function::peak,
     {tail_peak_0_odd, tail_peak_0_even},
     {tail_peak_1_odd, tail_peak_1_even}},
    {phrase_function::closing,
     {tail_closing_0_odd, tail_closing_0_even},
     {tail_closing_1_odd, tail_closing_1_even}},
}};

constexpr auto anchor = gesture_role::anchor;
constexpr auto tail = gesture_role::tail;
constexpr auto closing = gesture_role::closing;

struct fallback_cell_row {
  phrase_function function;
  // Even draw, then odd draw (the same cell twice where parity does not matter).
  std::array<std::span<const fallback_cell_note>, 2> style_zero;
  std::array<std::span<const fallback_cell_note>, 2> style_one;
};

constexpr fallback_cell_note fallback_final_0[]{{0, 6144, 0, anchor, 76},
                                                {12288, 4096, -2, closing, 82}};
constexpr fallback_cell_note fallback_final_1[]{
    {0, 6144, 0, anchor, 76}, {10240, 2048, -1, tail, 52}, {12288, 4096, -3, closing, 82}};
constexpr fallback_cell_note fallback_opening_0_even[]{
    {0, 6144, 0, anchor, 74}, {8192, 4096, 2, tail, 54}, {12288, 4096, 4, tail, 50}};
constexpr fallback_cell_note fallback_opening_0_odd[]{{2048, 6144, 1, anchor, 70},
                                                      {10240, 6144, 3, tail, 52}};
constexpr fallback_cell_note fallback_opening_1_even[]{
    {0, 6144, 0, anchor, 74}, {8192, 4096, 2, tail, 54}, {12288, 4096, 4, tail, 52}};
constexpr fallback_cell_note fallback_opening_1_odd[]{
    {2048, 4096, 1, anchor, 70}, {6144, 6144, 3, tail, 54}, {12288, 4096, 5, tail, 52}};
constexpr fallback_cell_note fallback_answer_0[]{
    {2048, 4096, 2, anchor, 70}, {6144, 6144, -1, tail, 52}, {12288, 4096, -3, tail, 50}};
constexpr fallback_cell_note fallback_answer_1[]{
    {2048, 4096, 3, anchor, 70}, {8192, 4096, 1, tail, 54}, {12288, 4096, -2, tail, 52}};
constexpr fallback_cell_note fallback_development_0_even[]{
    {0, 4096, 1, anchor, 72}, {6144, 4096, 4, tail, 54}, {10240, 6144, 2, tail, 52}};
constexpr fallback_cell_note fallback_development_0_odd[]{
    {2048, 4096, -1, anchor, 68}, {8192, 4096, 3, tail, 54}, {12288, 4096, 5, tail, 52}};
constexpr fallback_cell_note fallback_development_1_even[]{{0, 4096, 2, anchor, 72},
                                                           {6144, 4096, 5, tail, 56},
                                                           {10240, 2048, 4, tail, 52},
                                                           {12288, 4096, 1, tail, 52}};
constexpr fallback_cell_note fallback_development_1_odd[]{
    {2048, 4096, -1, anchor, 68}, {8192, 4096, 3, tail, 54}, {12288, 4096, 6, tail, 52}};
constexpr fallback_cell_note fallback_peak_0[]{{0, 4096, 3, anchor, 74},
                                               {6144, 4096, 6, tail, 58},
                                               {10240, 2048, 4, tail, 54},
                                               {12288, 4096, 1, tail, 52}};
constexpr fallback_cell_note fallback_peak_1[]{{0, 4096, 4, anchor, 74},
                                               {6144, 4096, 7, tail, 58},
                                               {10240, 2048, 5, tail, 54},
                                               {12288, 4096, 2, tail, 52}};
constexpr fallback_cell_note fallback_closing_0[]{{0, 6144, 0, anchor, 74},
                                                  {10240, 6144, -2, tail, 56}};
constexpr fallback_cell_note fallback_closing_1[]{{0, 6144, 1, anchor, 74},
                                                  {10240, 6144, -2, tail, 56}};

constexpr std::array<fallback_cell_row, 5> fallback_cell_rows{{
    {phrase_function::opening,
     {fallback_opening_0_even, fallback_opening_0_odd},
     {fallback_opening_1_even, fallback_opening_1_odd}},
    {phrase_function::answer,
     {fallback_answer_0, fallback_answer_0},
     {fallback_answer_1, fallback_answer_1}},
    {phrase_function::development,
     {fallback_development_0_even, fallback_development_0_odd},
     {fallback_development_1_even, fallback_development_1_odd}},
    {phrase_function::peak, {fallback_peak_0, fallback_peak_0}, {fallback_peak_1, fallback_peak_1}},
    {phrase_function::closing,
     {fallback_closing_0, fallback_closing_0},
     {fallback_closing_1, fallback_closing_1}},
}};

template <typename row>
const row* row_for(const std::array<row, 5>& rows, phrase_function function) {
  const auto found = std::ranges::find(rows, function, &row::function);
  return found == rows.end() ? nullptr : &*found;
}

// Planning state

// The gesture seeds of one candidate: `gesture` drives the landmark draws, contour picks and
// cells, `pickup` the pitches of leading-pickup landmarks.
struct planner_seeds {
  int transform_hash = 0;
  int gesture = 0;
  int pickup = 0;
};

planner_seeds seeds_for(const arrangement_style_profile& style, const improvisation_config& config,
                        const phrase_analysis& analysis, int candidate) {
  const auto span_index = static_cast<std::uint32_t>(analysis.span.index);
  const auto number = static_cast<std::uint32_t>(candidate);
  const auto seed = static_cast<std::uint32_t>(config.seed);
  planner_seeds seeds;
  seeds.transform_hash = static_cast<int>(span_index * 19u + seed + number * 31u);
  seeds.gesture = static_cast<int>(seed + static_cast<std::uint32_t>(style_seed(style)) +
                                   span_index * 37u + number * 43u);
  seeds.pickup = seed_sum(number * 17u, static_cast<std::uint32_t>(seeds.gesture));
  return seeds;
}

struct planner {
  const source_score& score;
  const melody_tick_index& melody;
  const arrangement_style_profile& style;
  const std::vector<chord_occurrence>& chords;
  const improvisation_config& config;
  const phrase_analysis& analysis;
  phrase_function function = phrase_function::opening;
  phrase_transform transform = phrase_transform::literal;
  planner_seeds seeds;
  bool leading_pickup = false;
  bool may_continue = false;
  bool edge_phrase = false;
  std::vector<melody_gesture> gestures;
  int previous_target = 0;
  bool have_previous = false;
};

melody_gesture gesture_for(const planner& plan, std::int64_t start, std::int64_t duration,
                           int target, int weight, gesture_role role, std::size_t note_index) {
  melody_gesture gesture;
  gesture.start_tick = start;
  gesture.duration_ticks = duration;
  gesture.target_midi = target;
  gesture.desired_midi = desired_midi_for_gesture(plan.config, plan.analysis, target, start, role);
  gesture.weight = weight;
  gesture.note_index = note_index;
  gesture.role = role;
  gesture.phrase_function = plan.function;
  return gesture;
}

void add(planner& plan, const melody_gesture& gesture) {
  add_gesture(plan.gestures, plan.score, plan.analysis, gesture);
}

// The pitch of a short landmark of the leading pickup: a scale step or two away from its written
// pitch, never the written pitch class itself when the scale offers another.
int pickup_pitch(const planner& plan, const source_landmark& landmark, std::size_t position) {
  const auto key = pattern(position + 1);
  const int draw = mix_seed(static_cast<std::uint32_t>(plan.seeds.pickup), key * 19u + 4u) % 4;
  static constexpr std::array<int, 4> style_zero_steps{1, 2, -1, 3};
  static constexpr std::array<int, 4> style_one_steps{2, 1, 3, -2};
  const int step =
      (style_one(plan.config) ? style_one_steps : style_zero_steps)[static_cast<std::size_t>(draw)];
  const auto previous = plan.have_previous ? std::optional(plan.previous_target) : std::nullopt;
  const auto context =
      harmonic_context_for_tick(plan.score, plan.chords, plan.config, landmark.start_tick);
  if (!context || context->scale_tones.empty()) {
    return fit_register(plan.config,
                        clamp_to_int(std::int64_t{landmark.midi} + (step > 0 ? 2 : -2)), previous);
  }
  const auto& scale = context->scale_tones;
  const auto size = static_cast<std::int64_t>(scale.size());
  const int written_pc = normalize_pc(landmark.midi);
  const auto found = std::ranges::find(scale, written_pc);
  const std::int64_t written =
      found != scale.end()
          ? found - scale.begin()
          : mix_seed(static_cast<std::uint32_t>(plan.seeds.pickup), key + 4u) % size;
  auto slot = ((written + step) % size + size) % size;
  if (scale[static_cast<std::size_t>(slot)] == written_pc && size > 1) slot = (slot + 1) % size;
  const std::int64_t reference = plan.have_previous
                                     ? std::int64_t{plan.previous_target} + (step >= 0 ? 2 : -2)
                                     : std::int64_t{landmark.midi} + 2 * step;
  return midi_for_pc_near(plan.config, scale[static_cast<std::size_t>(slot)],
                          clamp_to_int(reference), previous);
}

void plan_pickup_landmark(planner& plan, const source_landmark& landmark, std::size_t position) {
  const bool first = position == 0;
  const bool last = position + 1 == plan.analysis.landmarks.size();
  const int target = pickup_pitch(plan, landmark, position);
  auto gesture = gesture_for(
      plan, landmark.start_tick, landmark.duration_ticks, target, std::min(landmark.weight, 76),
      last ? gesture_role::closing : gesture_role::landmark, landmark.note_index);
  gesture.opens_phrase = first;
  gesture.closes_phrase = last;
  gesture.from_landmark = true;
  add(plan, gesture);
  plan.have_previous = true;
  plan.previous_target = target;
}

int skip_threshold(const planner& plan, const source_landmark& landmark) {
  static constexpr std::array<int, 5> style_zero_base{22, 40, 46, 36, 30};
  static constexpr std::array<int, 5> style_one_base{34, 52, 58, 54, 42};
  int threshold =
      (style_one(plan.config) ? style_one_base
                              : style_zero_base)[static_cast<std::size_t>(plan.function)];
  if (plan.transform == phrase_transform::thinned) threshold += 18;
  if (plan.transform == phrase_transform::contoured || plan.transform == phrase_transform::zigzag) {
    threshold += 8;
  }
  if (landmark.duration_ticks <= eighth) threshold += 10;
  if (landmark.weight >= 70) threshold -= 12;
  return std::min(threshold, 72);
}

int merge_threshold(const planner& plan) {
  // Columns: style 0 thinned, style 0 other, style 1 thinned, style 1 other.
  static constexpr std::array<int, 4> peak{14, 9, 11, 6};
  static constexpr std::array<int, 4> closing{34, 24, 28, 18};
  static constexpr std::array<int, 4> other{28, 18, 22, 12};
  const auto& row = plan.function == phrase_function::peak      ? peak
                    : plan.function == phrase_function::closing ? closing
                                                                : other;
  const auto column =
      (style_one(plan.config) ? 2u : 0u) + (plan.transform == phrase_transform::thinned ? 0u : 1u);
  return row[column];
}

// Lengthens the last gesture over the landmark when a draw lets it; true when the landmark is
// thereby consumed.
bool merge_into_previous(planner& plan, const source_landmark& landmark) {
  if (!draw_below(seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), 59u),
                  pattern(landmark.note_index), merge_threshold(plan)) ||
      plan.gestures.empty()) {
    return false;
  }
  auto& previous = plan.gestures.back();
  if (previous.role == gesture_role::approach || previous.role == gesture_role::closing ||
      previous.measure_index != landmark.measure_index ||
      previous.start_tick > landmark.start_tick ||
      add_ticks(add_ticks(previous.start_tick, previous.duration_ticks), eighth) <
          landmark.start_tick) {
    return false;
  }
  const auto end = std::min(
      {measure_end_for_tick(plan.score, previous.start_tick, plan.analysis.span.end_tick),
       plan.analysis.span.end_tick, add_ticks(landmark.start_tick, landmark.duration_ticks)});
  const auto merged = quantized_gesture_duration(subtract_ticks(end, previous.start_tick));
  if (!merged || *merged <= previous.duration_ticks) return false;
  previous.duration_ticks = *merged;
  previous.weight = std::max(previous.weight, landmark.weight);
  return true;
}

// True when one of the draws that thin out the melody removes the landmark.
bool landmark_removed(planner& plan, const source_landmark& landmark, std::size_t position) {
  const bool first = position == 0;
  const bool last = position + 1 == plan.analysis.landmarks.size();
  if (first || last || landmark.weight > 83) return false;
  if (landmark.duration_ticks <= 8191 &&
      draw_below(seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), 97u),
                 pattern(position) * 23u + pattern(landmark.note_index),
                 skip_threshold(plan, landmark))) {
    return true;
  }
  return landmark.duration_ticks <= quarter && merge_into_previous(plan, landmark);
}

void plan_approach(planner& plan, const source_landmark& landmark) {
  if (landmark.start_tick <= 0) return;
  const bool light = landmark.weight <= 85;
  int threshold = 0;
  if (!style_one(plan.config)) {
    threshold = plan.transform == phrase_transform::literal     ? 42
                : plan.transform == phrase_transform::contoured ? 40
                                                                : 30;
  } else {
    threshold = plan.transform == phrase_transform::zigzag      ? 52
                : plan.transform == phrase_transform::contoured ? 50
                                                                : 40;
  }
  if (!light) threshold /= 2;
  const auto key = pattern(landmark.note_index);
  const auto start = subtract_ticks(landmark.start_tick, eighth);
  if (!draw_below(seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), 7u), key, threshold) ||
      start < plan.analysis.span.start_tick) {
    return;
  }
  const int direction =
      is_odd(mix_seed(
          static_cast<std::uint32_t>(seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), 23u)),
          key))
          ? 1
          : -1;
  add(plan,
      gesture_for(plan, start, eighth, clamp_to_int(std::int64_t{landmark.midi} + direction),
                  std::max(landmark.weight - 35, 10), gesture_role::approach, landmark.note_index));
}

// The continuation threshold of a landmark held by the draw.
int continuation_threshold(const planner& plan, const source_landmark& landmark) {
  const bool long_note = landmark.duration_ticks > 8191;
  const bool thinned = !plan.may_continue && plan.transform == phrase_transform::thinned;
  if (landmark.duration_ticks == quarter) {
    if (!style_one(plan.config)) return thinned ? 24 : 56;
    return thinned ? 40 : 76;
  }
  if (!style_one(plan.config)) {
    if (thinned) return long_note ? 38 : 24;
    return long_note ? 70 : 56;
  }
  if (thinned) return long_note ? 58 : 40;
  return std::min(long_note ? 94 : 76, 92);
}

// True when a fill follows the landmark (or, for the last one, a long phrase end).
bool landmark_continues(const planner& plan, const source_landmark& landmark,
                        std::size_t position) {
  const bool first = position == 0;
  const bool last = position + 1 == plan.analysis.landmarks.size();
  bool continues = false;
  if (landmark.duration_ticks > quarter) {
    if (!first && !last && landmark.weight <= 83) {
      continues = true;
    } else if (plan.may_continue && landmark.weight <= 89) {
      continues = true;
    } else {
      continues = draw_below(seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), 13u),
                             pattern(landmark.note_index), continuation_threshold(plan, landmark));
    }
  } else if (landmark.duration_ticks == quarter) {
    continues = draw_below(seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), 13u),
                           pattern(landmark.note_index), continuation_threshold(plan, landmark));
  }
  if (!continues && last && plan.analysis.landmarks.size() <= 3 &&
      landmark.duration_ticks >= 8192 && span_length(plan.analysis) >= 16384) {
    continues = true;
  }
  return continues;
}

// The landmark's target moved by the phrase function or the transform; `keep` is cleared by
// every move rule that applies.
int moved_target(const planner& plan, const source_landmark& landmark, int contour_seed) {
  const auto& contour = plan.analysis.contour;
  const int contour_step =
      contour.empty()
          ? 2
          : contour[static_cast<std::size_t>(std::abs(std::int64_t{contour_seed}) %
                                             static_cast<std::int64_t>(contour.size()))];
  const bool odd = is_odd(contour_seed);
  const int weight = landmark.weight;
  std::int64_t move = 0;
  if (plan.function == phrase_function::answer && weight <= 81) {
    static constexpr std::array<int, 4> answer_moves{-2, 2, -3, 4};
    move = answer_moves[table_slot(contour_seed, 4)];
  } else if (plan.function == phrase_function::development && weight <= 81) {
    move = std::clamp(contour_step + contour_seed % 3 - 1, -4, 5);
  } else if (plan.function == phrase_function::peak && weight <= 83) {
    move = odd ? std::clamp(contour_step - 2, -5, 4) : std::clamp(contour_step + 2, -3, 6);
  } else {
    switch (plan.transform) {
      case phrase_transform::contoured: move = std::clamp(contour_step, -4, 4); break;
      case phrase_transform::zigzag:
        if (weight <= 69) move = odd ? -2 : 3;
        break;
      case phrase_transform::late_shift:
        if (landmark.start_tick >=
            add_ticks(plan.analysis.span.start_tick, span_length(plan.analysis) / 2)) {
          static constexpr std::array<int, 3> late_moves{2, -3, 4};
          move = late_moves[table_slot(contour_seed, 3)];
        }
        break;
      default: break;
    }
  }
  return clamp_to_int(std::int64_t{landmark.midi} + move);
}

// The landmark's length when a fill follows it.
std::int64_t continued_duration(const planner& plan, std::int64_t duration) {
  if (duration >= 16384) {
    if (plan.edge_phrase) return 12288;
    return style_one(plan.config) ? 8192 : 12288;
  }
  if (duration >= 8192) {
    if (plan.function == phrase_function::closing) {
      return style_one(plan.config) ? 4096 : duration;
    }
    if (!style_one(plan.config)) return 6144;
    return plan.function == phrase_function::peak ? 2048 : 4096;
  }
  return std::max(duration - eighth, eighth);
}

void plan_fill(planner& plan, const source_landmark& landmark, std::int64_t duration,
               int contour_seed) {
  const auto cell = fill_cell_for(plan.config, plan.function, contour_seed);
  const auto base = add_ticks(landmark.start_tick, duration);
  const auto cell_end = std::min(add_ticks(landmark.start_tick, landmark.duration_ticks),
                                 plan.analysis.span.end_tick);
  auto previous_end = base;
  for (std::size_t index = 0; index < cell.size(); ++index) {
    const auto position = std::max(add_ticks(base, cell[index].offset_ticks), previous_end);
    if (position >= cell_end) continue;
    const auto limit = index + 1 < cell.size()
                           ? std::min(add_ticks(base, cell[index + 1].offset_ticks), cell_end)
                           : cell_end;
    const auto available = subtract_ticks(
        std::min({limit, measure_end_for_tick(plan.score, position, cell_end), cell_end}),
        position);
    auto length = quantized_gesture_duration(available);
    if (!length) {
      const auto room = subtract_ticks(cell_end, position);
      if (!style_one(plan.config) && room >= quarter) {
        length = quarter;
      } else if (room >= eighth) {
        length = eighth;
      } else {
        continue;
      }
    }
    add(plan,
        gesture_for(plan, position, *length,
                    clamp_to_int(std::int64_t{landmark.midi} + cell[index].step),
                    std::max(landmark.weight - 28, 15), gesture_role::fill, landmark.note_index));
    previous_end = add_ticks(position, *length);
  }
}

void plan_landmark(planner& plan, const source_landmark& landmark, std::size_t position) {
  const bool first = position == 0;
  const bool last = position + 1 == plan.analysis.landmarks.size();
  const bool continues = landmark_continues(plan, landmark, position);
  const int contour_seed =
      seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), pattern(position));
  bool keep = false;
  int target = landmark.midi;
  if (last && landmark.weight >= 84) keep = true;
  if (!(keep && plan.edge_phrase)) {
    target = moved_target(plan, landmark, contour_seed);
    keep = false;
  }
  const auto duration =
      continues ? continued_duration(plan, landmark.duration_ticks) : landmark.duration_ticks;
  const auto start = displaced_landmark_start(
      plan.score, plan.melody, plan.config, plan.analysis, landmark, plan.function, duration,
      position, seed_sum(pattern(position) * 11u, static_cast<std::uint32_t>(plan.seeds.gesture)));
  const auto role = keep || (target == landmark.midi && landmark.weight > 87)
                        ? gesture_role::anchor
                        : gesture_role::landmark;
  auto gesture =
      gesture_for(plan, start, duration, target, landmark.weight, role, landmark.note_index);
  gesture.opens_phrase = first;
  gesture.closes_phrase = last && !continues;
  gesture.from_landmark = true;
  add(plan, gesture);
  plan.have_previous = true;
  plan.previous_target = target;
  if (continues) plan_fill(plan, landmark, duration, contour_seed);
}

void plan_tail(planner& plan) {
  if (plan.leading_pickup) return;
  const auto& span = plan.analysis.span;
  const auto& last = plan.analysis.landmarks.back();
  auto end = add_ticks(last.start_tick, last.duration_ticks);
  if (end >= span.end_tick) {
    const bool developing = plan.function == phrase_function::answer ||
                            plan.function == phrase_function::development ||
                            plan.function == phrase_function::peak;
    const bool moving = plan.transform == phrase_transform::late_shift ||
                        plan.transform == phrase_transform::zigzag;
    if (!developing || !moving) return;
    end = std::max(add_ticks(last.start_tick,
                             shortened_duration(plan.config, plan.function, last.duration_ticks)),
                   subtract_ticks(span.end_tick, quarter));
  }
  const auto room = subtract_ticks(span.end_tick, end);
  if (room <= 4095) return;
  auto cell = continuation_cell_for(plan.config, plan.function, plan.transform, room,
                                    seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture),
                                             static_cast<std::uint32_t>(style_seed(plan.style))));
  if (style_one(plan.config) && plan.style.slow && cell.size() > 3) cell.resize(3);
  const auto& contour = plan.analysis.contour;
  const auto count = cell.size();
  for (std::size_t index = 1; index <= count; ++index) {
    const auto& note = cell[index - 1];
    const auto position =
        snap_to_eighth(plan.score, add_ticks(end, note.offset_ticks), span.end_tick);
    if (position >= span.end_tick) break;
    const auto length = quantized_gesture_duration(
        std::min(subtract_ticks(measure_or_span_end(plan.score, plan.analysis, position), position),
                 note.duration_ticks));
    if (!length) continue;
    int step = note.step;
    if (!contour.empty()) {
      const auto seed =
          seed_sum(static_cast<std::uint32_t>(plan.seeds.gesture), pattern(index - 1));
      const auto contour_step = contour[static_cast<std::size_t>(
          std::abs(std::int64_t{seed}) % static_cast<std::int64_t>(contour.size()))];
      if (contour_step <= 0) step -= 1;
    }
    step = std::clamp(step, -5, 6);
    const bool final_note = index == count;
    const int direction = final_note && plan.transform == phrase_transform::zigzag ? -1 : 1;
    auto gesture =
        gesture_for(plan, position, *length,
                    clamp_to_int(std::int64_t{last.midi} + direction * step), final_note ? 72 : 44,
                    final_note ? gesture_role::closing : gesture_role::tail, last.note_index);
    gesture.closes_phrase = final_note;
    add(plan, gesture);
  }
}

}  // namespace

// Durations and the eighth grid

std::optional<std::int64_t> quantized_gesture_duration(std::int64_t ticks) {
  for (const auto rung : duration_ladder) {
    if (rung <= ticks && renderable_arrangement_duration(rung)) return rung;
  }
  return std::nullopt;
}

std::int64_t snap_to_eighth(const source_score& score, std::int64_t tick, std::int64_t limit) {
  if (score.measures.empty()) return tick - tick % eighth;
  // A tick before the first measure belongs to the first one, not to the fallback at the end.
  const auto index = tick < score.measures.front().start_tick
                         ? std::size_t{0}
                         : measure_index_for_tick(score, tick, score.measures.size() - 1);
  const auto& measure = score.measures[index];
  auto offset = std::max<std::int64_t>(subtract_ticks(tick, measure.start_tick), 0);
  offset = std::min(offset, subtract_ticks(measure.capacity_ticks, eighth));
  offset = add_ticks(offset, eighth / 2);
  offset -= offset % eighth;
  return std::min(add_ticks(measure.start_tick, offset), subtract_ticks(limit, eighth));
}

// Gestures

int gesture_priority(const melody_gesture& gesture) {
  std::int64_t priority = gesture.weight;
  if (gesture.opens_phrase || gesture.closes_phrase) priority += 90;
  if (gesture.role == gesture_role::closing) {
    priority += 80;
  } else if (gesture.role == gesture_role::anchor || gesture.role == gesture_role::landmark) {
    priority += 40;
  }
  if (gesture.on_strong_slot) priority += 18;
  return clamp_to_int(priority);
}

void add_gesture(std::vector<melody_gesture>& gestures, const source_score& score,
                 const phrase_analysis& analysis, melody_gesture gesture) {
  const auto& span = analysis.span;
  if (gesture.start_tick < span.start_tick || gesture.start_tick >= span.end_tick) return;
  const auto start = snap_to_eighth(score, gesture.start_tick, span.end_tick);
  if (start < span.start_tick || start >= span.end_tick) return;
  const auto available = subtract_ticks(measure_or_span_end(score, analysis, start), start);
  const auto duration = quantized_gesture_duration(std::min(gesture.duration_ticks, available));
  if (!duration) return;
  gesture.start_tick = start;
  gesture.duration_ticks = *duration;
  gesture.on_strong_slot = slot_is_strong(score, start, span.first_measure);
  gesture.measure_index = measure_index_for_tick(score, start, span.first_measure);
  gestures.push_back(gesture);
}

int phrase_arch_offset(const improvisation_config& config, const phrase_analysis& analysis,
                       std::int64_t tick) {
  const auto length = std::max<std::int64_t>(span_length(analysis), 1);
  const auto position = std::clamp<std::int64_t>(
      percent_of(subtract_ticks(tick, analysis.span.start_tick), length), 0, 100);
  const std::int64_t peak = std::clamp(analysis.peak_percent, 35, 78);
  const auto arch =
      position <= peak ? position * 100 / peak : (100 - position) * 100 / (100 - peak);
  switch (config.phrasing_style) {
    case 1: return static_cast<int>(arch * 4 / 100);
    case 0: return static_cast<int>(arch * 2 / 100);
    default: return static_cast<int>(arch / 100);
  }
}

int desired_midi_for_gesture(const improvisation_config& config, const phrase_analysis& analysis,
                             int target_midi, std::int64_t tick, gesture_role role) {
  const std::int64_t contour = config.contour_percent;
  const std::int64_t reference = analysis.reference_midi;
  const std::int64_t value =
      std::int64_t{config.center_midi} + position_adjustment(config, analysis) +
      phrase_arch_offset(config, analysis, tick) + (target_midi - reference) * contour / 100;
  const std::int64_t ending = (std::int64_t{analysis.last_midi} - reference) * contour / 140;
  const bool one = style_one(config);
  const auto function = phrase_function_for(config, analysis);
  std::int64_t moved = value;
  if (role == gesture_role::closing) {
    switch (function) {
      case phrase_function::peak: moved = value + ending + (one ? 0 : -2); break;
      case phrase_function::closing: moved = value + ending + (one ? -4 : -5); break;
      case phrase_function::answer: moved = value + ending + (one ? -1 : -3); break;
      default: moved = value + ending + (one ? -2 : -3); break;
    }
  } else if (role == gesture_role::tail) {
    switch (function) {
      case phrase_function::peak: moved = value + (one ? 4 : 0); break;
      case phrase_function::closing: moved = value + (one ? 0 : -3); break;
      case phrase_function::answer: moved = value + (one ? 3 : -1); break;
      default: moved = value + (one ? 2 : -1); break;
    }
  } else {
    switch (function) {
      case phrase_function::peak: moved = value + (one ? 2 : 1); break;
      case phrase_function::closing: moved = value - 2; break;
      case phrase_function::answer:
        moved = value + (one && role != gesture_role::anchor ? 1 : 0);
        break;
      default: break;
    }
  }
  return fit_register(config, clamp_to_int(moved), std::nullopt);
}

std::int64_t displaced_landmark_start(const source_score& score, const improvisation_config& config,
                                      const phrase_analysis& analysis,
                                      const source_landmark& landmark, phrase_function function,
                                      std::int64_t duration_ticks, std::size_t position, int seed) {
  return displaced_landmark_start(score, build_melody_tick_index(score), config, analysis, landmark,
                                  function, duration_ticks, position, seed);
}

std::int64_t displaced_landmark_start(const source_score& score, const melody_tick_index& melody,
                                      const improvisation_config& config,
                                      const phrase_analysis& analysis,
                                      const source_landmark& landmark, phrase_function function,
                                      std::int64_t duration_ticks, std::size_t position, int seed) {
  const bool last = position + 1 == analysis.landmarks.size();
  if (last && (duration_ticks > quarter || landmark.weight > 73)) return landmark.start_tick;
  const bool held_long =
      duration_ticks <= 6144 && landmark.duration_ticks > quarter && landmark.weight <= 83;
  if (duration_ticks > quarter && !held_long) return landmark.start_tick;

  int threshold = 84;
  if (function == phrase_function::development || function == phrase_function::peak) {
    threshold = 96;
  } else if (function == phrase_function::closing) {
    threshold = 66;
  }
  if (style_one(config)) threshold += 10;
  if (landmark.weight >= 84) threshold -= 28;
  if (!draw_below(seed_sum(static_cast<std::uint32_t>(seed), 31u), pattern(landmark.note_index),
                  threshold)) {
    return landmark.start_tick;
  }

  static constexpr std::array<std::int64_t, 6> style_zero_offsets{2048,  -2048, 6144,
                                                                  -6144, 4096,  -4096};
  static constexpr std::array<std::int64_t, 6> style_one_offsets{2048,  -2048, 4096,
                                                                 -4096, 6144,  -6144};
  const auto& offsets = style_one(config) ? style_one_offsets : style_zero_offsets;
  const auto rotation = static_cast<std::size_t>(std::abs(std::int64_t{seed}) % 6);
  const auto length = std::max(std::min(duration_ticks, quarter), eighth);
  const auto& span = analysis.span;
  std::optional<std::int64_t> occupied;
  for (std::size_t index = 0; index < offsets.size(); ++index) {
    const auto offset = offsets[(index + rotation) % offsets.size()];
    const auto start = snap_to_eighth(score, add_ticks(landmark.start_tick, offset), span.end_tick);
    if (start == landmark.start_tick || start < span.start_tick ||
        add_ticks(start, length) > span.end_tick) {
      continue;
    }
    if (!melody_attack_at(melody, start)) return start;
    if (!occupied) occupied = start;
  }
  return occupied.value_or(landmark.start_tick);
}

std::vector<melody_gesture> normalize_gestures(const source_score& score,
                                               const phrase_analysis& analysis,
                                               std::vector<melody_gesture> gestures) {
  std::ranges::stable_sort(gestures, [](const melody_gesture& a, const melody_gesture& b) {
    if (a.start_tick != b.start_tick) return a.start_tick < b.start_tick;
    return gesture_priority(a) > gesture_priority(b);
  });

  std::vector<melody_gesture> kept;
  for (const auto& gesture : gestures) {
    if (!kept.empty() && kept.back().start_tick == gesture.start_tick) {
      if (gesture_priority(gesture) > gesture_priority(kept.back())) kept.back() = gesture;
      continue;
    }
    kept.push_back(gesture);
  }

  std::vector<melody_gesture> result;
  for (auto gesture : kept) {
    const auto available = subtract_ticks(measure_or_span_end(score, analysis, gesture.start_tick),
                                          gesture.start_tick);
    const auto duration = quantized_gesture_duration(std::min(gesture.duration_ticks, available));
    if (!duration) continue;
    gesture.duration_ticks = *duration;
    if (!result.empty()) {
      auto& previous = result.back();
      if (add_ticks(previous.start_tick, previous.duration_ticks) > gesture.start_tick) {
        const auto cut = quantized_gesture_duration(std::min(
            subtract_ticks(gesture.start_tick, previous.start_tick), previous.duration_ticks));
        if (cut) {
          previous.duration_ticks = *cut;
        } else if (gesture_priority(previous) >= gesture_priority(gesture)) {
          continue;
        } else {
          result.pop_back();
        }
      }
    }
    result.push_back(gesture);
  }

  if (!result.empty()) {
    auto& first = result.front();
    first.opens_phrase = true;
    if (first.role == gesture_role::approach) first.role = gesture_role::landmark;
    auto& last = result.back();
    last.closes_phrase = true;
    last.role = gesture_role::closing;
  }
  return result;
}

// Cells

std::vector<fill_cell_note> fill_cell_for(const improvisation_config& config,
                                          phrase_function function, int contour_seed) {
  const auto* row = row_for(fill_cell_rows, function);
  if (row == nullptr) return {};
  const bool one = style_one(config);
  const bool by_three = one ? row->style_one_by_three : row->style_zero_by_three;
  const bool first_variant = by_three ? contour_seed % 3 == 0 : !is_odd(contour_seed);
  const auto& variants = one ? row->style_one : row->style_zero;
  const auto cell = variants[first_variant ? 0 : 1];
  return {cell.begin(), cell.end()};
}

std::vector<continuation_cell_note> continuation_cell_for(const improvisation_config& config,
                                                          phrase_function function,
                                                          phrase_transform transform,
                                                          std::int64_t room, int seed) {
  const auto* row = row_for(continuation_cell_rows, function);
  if (row == nullptr) return {};
  const bool first_variant =
      function == phrase_function::development ? seed % 3 != 0 : is_odd(seed);
  const auto& variants = style_one(config) ? row->style_one : row->style_zero;
  const auto cell = variants[first_variant ? 0 : 1];
  std::vector<continuation_cell_note> notes(cell.begin(), cell.end());
  if (transform == phrase_transform::thinned && notes.size() > 2) notes.resize(2);
  while (!notes.empty() && notes.back().offset_ticks + notes.back().duration_ticks > room) {
    notes.pop_back();
  }
  return notes;
}

std::vector<fallback_cell_note> fallback_cell_for(const improvisation_config& config,
                                                  phrase_function function, bool final_measure,
                                                  int measure_draw) {
  const bool one = style_one(config);
  if (final_measure && function == phrase_function::closing) {
    const auto cell = one ? std::span<const fallback_cell_note>(fallback_final_1)
                          : std::span<const fallback_cell_note>(fallback_final_0);
    return {cell.begin(), cell.end()};
  }
  const auto* row = row_for(fallback_cell_rows, function);
  if (row == nullptr) return {};
  const auto cell = (one ? row->style_one : row->style_zero)[is_odd(measure_draw) ? 1 : 0];
  return {cell.begin(), cell.end()};
}

// Planning

phrase_transform phrase_transform_for(const improvisation_config& config, phrase_function function,
                                      int transform_hash) {
  const bool quarter_draw = (transform_hash & 3) == 0;
  const bool third_draw = transform_hash % 3 == 0;
  switch (function) {
    case phrase_function::opening:
      return quarter_draw ? phrase_transform::thinned : phrase_transform::literal;
    case phrase_function::answer:
      return third_draw ? phrase_transform::zigzag : phrase_transform::late_shift;
    case phrase_function::development:
      return third_draw ? phrase_transform::late_shift : phrase_transform::contoured;
    case phrase_function::peak:
      if (style_one(config)) {
        return quarter_draw ? phrase_transform::contoured : phrase_transform::zigzag;
      }
      return third_draw ? phrase_transform::contoured : phrase_transform::late_shift;
    case phrase_function::closing:
      return quarter_draw ? phrase_transform::zigzag : phrase_transform::thinned;
  }
  return phrase_transform::literal;
}

std::vector<melody_gesture> fallback_gestures(const source_score& score,
                                              const arrangement_style_profile& style,
                                              const std::vector<chord_occurrence>& chords,
                                              const improvisation_config& config,
                                              const phrase_analysis& analysis, int candidate) {
  const auto function = phrase_function_for(config, analysis);
  const auto& span = analysis.span;
  const int seed = static_cast<int>(
      static_cast<std::uint32_t>(config.seed) + static_cast<std::uint32_t>(style_seed(style)) +
      static_cast<std::uint32_t>(span.index) * 41u + static_cast<std::uint32_t>(candidate) * 67u);
  if (span.end_measure < span.first_measure) return {};
  const auto count = std::max<std::size_t>(span.end_measure - span.first_measure, 1);

  std::vector<melody_gesture> gestures;
  std::uint32_t made = 0;
  std::optional<int> previous;
  for (std::size_t offset = 0; offset < count; ++offset) {
    const auto measure = span.first_measure + offset;
    std::int64_t measure_start = 0;
    std::int64_t capacity = 16384;
    if (measure < score.measures.size()) {
      measure_start = score.measures[measure].start_tick;
      capacity = score.measures[measure].capacity_ticks;
    } else {
      measure_start = add_ticks(span.start_tick,
                                static_cast<std::int64_t>(std::min<std::size_t>(
                                    offset, std::numeric_limits<std::int64_t>::max() / 16384)) *
                                    16384);
    }
    if (measure_start >= span.end_tick) break;
    const auto draw =
        (std::int64_t{mix_seed(static_cast<std::uint32_t>(seed), pattern(offset) + 113u)} +
         3 * static_cast<std::int64_t>(offset % 4)) %
        4;
    const bool final_measure = offset + 1 == count;
    for (const auto& note :
         fallback_cell_for(config, function, final_measure, static_cast<int>(draw))) {
      if (note.offset_ticks >= capacity) continue;
      const auto position = add_ticks(measure_start, note.offset_ticks);
      if (position < span.start_tick || position >= span.end_tick) continue;
      auto role = note.role;
      auto weight = note.weight;
      if (made == 0) {
        role = gesture_role::anchor;
        weight = std::max(weight, 76);
      }
      std::vector<int> pcs;
      const auto context = harmonic_context_for_tick(score, chords, config, position);
      if (context) {
        if (slot_is_strong(score, position, span.first_measure) || role == gesture_role::closing ||
            role == gesture_role::anchor || weight > 69) {
          append_scale_members(pcs, context->chord_tones, context->scale_tones);
        } else if (((static_cast<std::uint32_t>(seed) + made) & 3u) == 0) {
          append_scale_members(pcs, context->color_tones, context->scale_tones);
        }
        for (const int pc : context->scale_tones) append_pc(pcs, pc);
      }
      if (pcs.empty()) pcs = key_major_scale_pcs(key_root_pc(score));
      const auto base = std::int64_t{config.center_midi} + position_adjustment(config, analysis) +
                        phrase_arch_offset(config, analysis, position) + note.step;
      const auto pick = mix_seed(made * 17u + static_cast<std::uint32_t>(seed),
                                 static_cast<std::uint32_t>(note.step) + 31u) %
                        static_cast<std::int64_t>(pcs.size());
      const int pitch = midi_for_pc_near(config, pcs[static_cast<std::size_t>(pick)],
                                         clamp_to_int(base), previous);
      melody_gesture gesture;
      gesture.start_tick = position;
      gesture.duration_ticks = note.duration_ticks;
      gesture.target_midi = pitch;
      gesture.desired_midi = desired_midi_for_gesture(config, analysis, pitch, position, role);
      gesture.weight = weight;
      gesture.note_index = made;
      gesture.role = role;
      gesture.phrase_function = function;
      gesture.opens_phrase = made == 0;
      add_gesture(gestures, score, analysis, gesture);
      ++made;
      previous = pitch;
    }
  }
  if (!gestures.empty()) {
    auto& last = gestures.back();
    last.closes_phrase = true;
    last.role = gesture_role::closing;
    last.weight = std::max(last.weight, 80);
  }
  return normalize_gestures(score, analysis, std::move(gestures));
}

std::vector<melody_gesture> build_melody_gestures(const source_score& score,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis, int candidate) {
  return build_melody_gestures(score, build_melody_tick_index(score), style, chords, config,
                               analysis, candidate);
}

std::vector<melody_gesture> build_melody_gestures(const source_score& score,
                                                  const melody_tick_index& melody,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis, int candidate) {
  const auto& landmarks = analysis.landmarks;
  if (landmarks.empty() || (span_length(analysis) > 32767 && landmarks.size() == 1 &&
                            landmarks.front().duration_ticks <= quarter)) {
    return fallback_gestures(score, style, chords, config, analysis, candidate);
  }

  const auto function = phrase_function_for(config, analysis);
  const auto seeds = seeds_for(style, config, analysis, candidate);
  const auto transform = phrase_transform_for(config, function, seeds.transform_hash);
  planner plan{
      .score = score,
      .melody = melody,
      .style = style,
      .chords = chords,
      .config = config,
      .analysis = analysis,
      .function = function,
      .transform = transform,
      .seeds = seeds,
      .leading_pickup = phrase_span_is_leading_pickup(score, analysis.span),
      .may_continue =
          function != phrase_function::closing && transform != phrase_transform::thinned,
      .edge_phrase = function == phrase_function::opening || function == phrase_function::closing,
      .gestures = {},
      .previous_target = 0,
      .have_previous = false};

  for (std::size_t position = 0; position < landmarks.size(); ++position) {
    const auto& landmark = landmarks[position];
    if (plan.leading_pickup && landmark.duration_ticks <= quarter) {
      plan_pickup_landmark(plan, landmark, position);
      continue;
    }
    if (landmark_removed(plan, landmark, position)) continue;
    plan_approach(plan, landmark);
    plan_landmark(plan, landmark, position);
  }
  plan_tail(plan);

  auto gestures = normalize_gestures(score, analysis, std::move(plan.gestures));
  if (gestures.empty()) return fallback_gestures(score, style, chords, config, analysis, candidate);
  return gestures;
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
