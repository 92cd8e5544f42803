// How the solo reads the written song: the source is cut into phrase spans, an optional leading
// pickup span and then groups of four measures whatever the time signature, the last group holding
// what remains. Inside a span the written melody becomes weighted landmarks (weights 0 to 100) to
// echo or aim at, and the chords under it a signature text. Ticks are 4096 to the quarter note.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/improvisation_common.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::arrangement_detail::improvisation_detail {

// Phrase spans

// One phrase of the source: measures [first_measure, end_measure) and ticks [start_tick,
// end_tick); a leading pickup span starts at its first attack. `index` is the span's position in
// its list, `count` the length of that list.
struct phrase_span {
  std::size_t first_measure = 0;
  std::size_t end_measure = 0;
  std::int64_t start_tick = 0;
  std::int64_t end_tick = 0;
  std::int32_t index = 0;
  std::int32_t count = 0;

  bool operator==(const phrase_span&) const = default;
};

// The earliest start tick of the measure's attacks (pitched notes of kind "note" not tied from a
// previous note); nothing when the measure holds none.
std::optional<std::int64_t> first_attack_start_in_measure(const source_score& source,
                                                          std::size_t measure_index);

// The source's phrase spans in time order: the leading pickup measure alone, from its first attack
// to the body start, then four measures at a time from the body start; none without measures.
std::vector<phrase_span> phrase_spans_for_source(const source_score& source);

// True when the span is exactly the leading pickup span of the source: the pickup measure from its
// first attack (after the measure's start) to the start of the measure after it.
bool phrase_span_is_leading_pickup(const source_score& source, const phrase_span& span);

// Phrase analysis

// One attack of the written melody inside a span: its start (raised to the span's start), its
// length over its tie chain (cut at the span's end), its first pitch, its importance (0 to 100),
// the index of the note in the source's note list and the measure holding `start_tick`.
struct source_landmark {
  std::int64_t start_tick = 0;
  std::int64_t duration_ticks = 0;
  std::int32_t midi = 0;
  std::int32_t weight = 0;
  std::size_t note_index = 0;
  std::size_t measure_index = 0;

  bool operator==(const source_landmark&) const = default;
};

// What the solo knows of one span: its landmarks in the order of the source's notes, their
// truncated average, first, last, highest and lowest MIDI, where the first highest one starts (in
// percent of the span) and up to five non-zero pitch steps between successive landmarks (clamped
// to -5..5). Without landmarks the five pitches are the source's midpoint and the contour is empty.
struct phrase_analysis {
  phrase_span span;
  std::vector<source_landmark> landmarks;
  std::int32_t reference_midi = 64;
  std::int32_t first_midi = 64;
  std::int32_t last_midi = 64;
  std::int32_t highest_midi = 64;
  std::int32_t lowest_midi = 64;
  std::int32_t peak_percent = 60;
  std::vector<std::int32_t> contour;

  bool operator==(const phrase_analysis&) const = default;
};

// The analysis of the written melody inside the span. The configuration is only passed on to the
// harmonic context lookup; no result depends on it.
phrase_analysis analyze_phrase(const source_score& score,
                               const std::vector<chord_occurrence>& chords,
                               const improvisation_config& config, phrase_span span);

// The improviser's function of the analysed span, from its index and the span count: opening
// first, closing last, peak from 68 to 85 percent of the way, else a cycle of eight. The
// configuration is not read.
phrase_function phrase_function_for(const improvisation_config& config,
                                    const phrase_analysis& analysis);

// The landmark with the smallest |start - tick| - 512 x weight, the first of equals; nothing
// without landmarks.
std::optional<source_landmark> nearest_landmark(const phrase_analysis& analysis, std::int64_t tick);

// Harmonic signature

// The chords overlapping the span as text, one "root:quality@eighths;" entry per occurrence in
// list order, the eighths counted from the span's start (0 for a chord begun before it); empty
// without chords. Equal texts mean a repeated progression.
std::string harmonic_signature_for_phrase(const std::vector<chord_occurrence>& chords,
                                          const phrase_span& span);

}  // namespace orvanta::arrangement_detail::improvisation_detail
