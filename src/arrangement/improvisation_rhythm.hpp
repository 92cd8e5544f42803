// The rhythm of an improvised phrase, planned before any pitch: melody gestures, timed target
// notes on the eighth grid (2048 ticks, 4096 to the quarter) with a role, a target and a desired
// pitch and a weight, made from the written melody's landmarks, small fixed cells of fills and
// tails, and one-measure fallback cells for spans without usable landmarks.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/improvisation_analysis.hpp"
#include "arrangement/improvisation_common.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail::improvisation_detail {

// What a gesture does in its phrase.
enum class gesture_role : std::int32_t {
  anchor = 0,    // a landmark at its written pitch
  landmark = 1,  // a gesture serving a landmark, its pitch possibly moved
  approach = 2,  // an eighth before a landmark, a semitone off it
  fill = 3,      // a fill-cell note inside a long landmark
  tail = 4,      // a tail-cell note after the last landmark
  closing = 5,   // the note that closes the phrase
};

// How one candidate treats the landmarks of a span.
enum class phrase_transform : std::int32_t {
  literal = 0,
  thinned = 1,     // skips and merges more, continues less, tails of two notes
  late_shift = 2,  // moves pitches in the span's second half; tails after a span-long landmark
  contoured = 3,   // moves pitches along the written contour
  zigzag = 4,      // alternating moves; tails after a span-long landmark, turning down at the end
};

// One planned note of a phrase. Once added: `start_tick` on the eighth grid, `duration_ticks` one
// of 2048, 4096, 6144, 8192, 12288, 16384, `measure_index` the measure holding the start and
// `on_strong_slot` set on a beat. `note_index` is the source note of the landmark served (the
// running number of the gesture in fallback phrases).
struct melody_gesture {
  std::int64_t start_tick = 0;
  std::int64_t duration_ticks = 0;
  std::int32_t desired_midi = 0;
  std::int32_t target_midi = 0;
  std::int32_t weight = 0;
  std::size_t note_index = 0;
  std::size_t measure_index = 0;
  gesture_role role = gesture_role::anchor;
  improvisation_detail::phrase_function phrase_function =
      improvisation_detail::phrase_function::opening;
  bool on_strong_slot = false;
  bool opens_phrase = false;
  bool closes_phrase = false;
  bool from_landmark = false;

  bool operator==(const melody_gesture&) const = default;
};

// One pair of a fill cell: where the note starts after the shortened landmark, and its pitch step.
struct fill_cell_note {
  std::int64_t offset_ticks = 0;
  std::int32_t step = 0;

  bool operator==(const fill_cell_note&) const = default;
};

// One note of a tail cell, its offset counted from the tail's start.
struct continuation_cell_note {
  std::int64_t offset_ticks = 0;
  std::int64_t duration_ticks = 0;
  std::int32_t step = 0;

  bool operator==(const continuation_cell_note&) const = default;
};

// One note of a one-measure fallback cell, its offset counted from the measure's start; the role
// is `anchor`, `tail` or `closing`.
struct fallback_cell_note {
  std::int64_t offset_ticks = 0;
  std::int64_t duration_ticks = 0;
  std::int32_t step = 0;
  gesture_role role = gesture_role::anchor;
  std::int32_t weight = 0;

  bool operator==(const fallback_cell_note&) const = default;
};

// Durations and the eighth grid

// The largest gesture duration (16384, 12288, 8192, 6144, 4096, 2048 that can be written) not
// above the ticks; nothing below an eighth.
std::optional<std::int64_t> quantized_gesture_duration(std::int64_t ticks);

// The nearest eighth of the tick's measure (halves rounding up), never past the measure's last
// eighth nor later than one eighth before `limit`; without measures the eighth at or before the
// tick (towards zero), the limit not applied.
std::int64_t snap_to_eighth(const source_score& score, std::int64_t tick, std::int64_t limit);

// Gestures

// The gesture's weight, raised for opening or closing the phrase, for the closing, anchor and
// landmark roles and for a start on a beat: which gesture wins a start or an overlap.
int gesture_priority(const melody_gesture& gesture);

// Appends the gesture snapped to the eighth grid, its duration cut to its measure and the span and
// quantised, its measure and metric strength filled in; drops it when it leaves the span or gets
// shorter than an eighth.
void add_gesture(std::vector<melody_gesture>& gestures, const source_score& score,
                 const phrase_analysis& analysis, melody_gesture gesture);

// The arch of the phrase at the tick: 0 at both ends of the span, rising to 4 (style 1) or 2
// (style 0) where the written melody peaks. Only the phrasing style is read from the config.
int phrase_arch_offset(const improvisation_config& config, const phrase_analysis& analysis,
                       std::int64_t tick);

// The pitch the realisation steers towards: the register's centre moved by the span's place in
// the solo, the arch and a share of the target's distance from the written melody's reference,
// then by the phrase function and role, fitted into the register.
int desired_midi_for_gesture(const improvisation_config& config, const phrase_analysis& analysis,
                             int target_midi, std::int64_t tick, gesture_role role);

// The landmark's start, or, after a seeded draw, a start displaced by one to three eighths that
// stays inside the span, preferably where no written note starts.
std::int64_t displaced_landmark_start(const source_score& score, const improvisation_config& config,
                                      const phrase_analysis& analysis,
                                      const source_landmark& landmark, phrase_function function,
                                      std::int64_t duration_ticks, std::size_t position, int seed);
// The same start, the written notes read from `melody`, the index of `score`.
std::int64_t displaced_landmark_start(const source_score& score, const melody_tick_index& melody,
                                      const improvisation_config& config,
                                      const phrase_analysis& analysis,
                                      const source_landmark& landmark, phrase_function function,
                                      std::int64_t duration_ticks, std::size_t position, int seed);

// The gestures in time order, one per start tick (the highest priority, the first made of
// equals), without overlaps, every duration on the ladder inside its measure and the span; the
// first opens the phrase and is never an approach, the last closes it with the role `closing`.
std::vector<melody_gesture> normalize_gestures(const source_score& score,
                                               const phrase_analysis& analysis,
                                               std::vector<melody_gesture> gestures);

// Cells

// The fill cell laid inside a long landmark, by phrasing style, function and contour seed.
std::vector<fill_cell_note> fill_cell_for(const improvisation_config& config,
                                          phrase_function function, int contour_seed);

// The tail cell after the last landmark, by phrasing style, function and seed, cut to two notes
// when thinned and then to the notes that end within `room` ticks; possibly empty.
std::vector<continuation_cell_note> continuation_cell_for(const improvisation_config& config,
                                                          phrase_function function,
                                                          phrase_transform transform,
                                                          std::int64_t room, int seed);

// The one-measure fallback cell by phrasing style, function and the parity of the measure draw;
// the final cell in the last measure of a closing span.
std::vector<fallback_cell_note> fallback_cell_for(const improvisation_config& config,
                                                  phrase_function function, bool final_measure,
                                                  int measure_draw);

// Planning

// The transform of one candidate from the span's function and the transform hash.
phrase_transform phrase_transform_for(const improvisation_config& config, phrase_function function,
                                      int transform_hash);

// The phrase planned from one-measure fallback cells over the span's measures (16384-tick measures
// past the source's end), pitched from the harmony and seeded by the candidate; normalised.
std::vector<melody_gesture> fallback_gestures(const source_score& score,
                                              const arrangement_style_profile& style,
                                              const std::vector<chord_occurrence>& chords,
                                              const improvisation_config& config,
                                              const phrase_analysis& analysis, int candidate);

// The gestures of one candidate phrase (0 to 31) over the span: landmarks (some skipped, merged,
// displaced or moved), approaches, fills and a tail; the fallback gestures when the span has no
// usable landmark or the plan leaves nothing. Normalised.
std::vector<melody_gesture> build_melody_gestures(const source_score& score,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis, int candidate);
// The same gestures, the written notes read from `melody`, the index of `score`; a caller that
// plans many phrases over one source builds the index once.
std::vector<melody_gesture> build_melody_gestures(const source_score& score,
                                                  const melody_tick_index& melody,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis, int candidate);

}  // namespace orvanta::arrangement_detail::improvisation_detail
