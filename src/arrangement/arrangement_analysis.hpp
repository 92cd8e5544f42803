// Harmonic analysis of the source: the harmonic timeline lays every chord symbol written on a
// source note out in time, as a span lasting until the next chord symbol or the end of the source;
// the analysis reads the melody's phrases, themes and presence and fingerprints the music itself.
// Ticks are 4096 to the quarter note; a 4/4 measure is 16384.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// Harmonic timeline

// One parsed chord symbol on one source note; `end_tick` is where the chord gives way (the next
// occurrence's start or the source end), 0 until the timeline is built.
struct chord_occurrence {
  std::size_t note_index = 0;
  std::int64_t start_tick = 0;
  std::int64_t end_tick = 0;
  parsed_chord chord;
  std::string symbol;

  bool operator==(const chord_occurrence&) const = default;
};

// One chord occurrence laid out in time. `sustained`: it lasts a quarter note or more;
// `cadence_weight`: 1 when it reaches the source end, else 0; `harmonic_rhythm`: 1 for a chord of
// at most one 4/4 measure, falling as 16384 / length for longer ones.
struct harmonic_span {
  std::int64_t start_tick = 0;
  std::int64_t end_tick = 0;
  chord_occurrence occurrence;
  std::size_t measure_index = 0;
  bool sustained = false;
  double cadence_weight = 0.0;
  double harmonic_rhythm = 0.0;

  bool operator==(const harmonic_span&) const = default;
};

// A chord symbol that does not parse, kept so that the caller can report it.
struct harmonic_parse_issue {
  std::int64_t start_tick = 0;
  std::size_t note_index = 0;
  std::string symbol;

  bool operator==(const harmonic_parse_issue&) const = default;
};

// The spans in time order (ties by note index) and the parse issues in note order.
struct harmonic_timeline {
  std::vector<harmonic_span> spans;
  std::vector<harmonic_parse_issue> parse_issues;

  bool operator==(const harmonic_timeline&) const = default;
};

// The harmonic timeline of every chord symbol on the source's notes, rests included. Never fails.
harmonic_timeline build_harmonic_timeline(const source_score& source);

// Identity hashing: FNV-1a 64, one byte at a time; integers enter as eight little-endian bytes,
// signed values widened with their sign.

inline constexpr std::uint64_t fnv1a_64_offset_basis = 0xcbf29ce484222325;
inline constexpr std::uint64_t fnv1a_64_prime = 0x100000001b3;

// The state after folding one byte.
std::uint64_t fnv1a_64_byte(std::uint64_t state, std::uint8_t byte);

// The state after folding the value's eight bytes, least significant first.
std::uint64_t fnv1a_64_int64(std::uint64_t state, std::int64_t value);

// The state after folding the text's bytes, with no terminator.
std::uint64_t fnv1a_64_bytes(std::uint64_t state, std::string_view text);

// The state after folding the text's bytes closed by one byte 0xff.
std::uint64_t fnv1a_64_text(std::uint64_t state, std::string_view text);

// Source fingerprint

// The identity of the music of a request: an FNV-1a 64 hash of the style profile and of every
// measure's signatures and capacity, every tuplet and every note with its pitches, leaving out ids,
// section labels and measure start ticks. Never fails.
std::uint64_t normalized_source_fingerprint(const source_score& source,
                                            const arrangement_style_profile& profile);

// Arrangement analysis: source phrases and themes

// A half-open interval of ticks; a tick t lies in it when start <= t < end.
struct tick_range {
  std::int64_t start = 0;
  std::int64_t end = 0;

  bool operator==(const tick_range&) const = default;
};

// -1 for the leading pickup phrase, else (first measure - body start) / 4.
using source_phrase_id = std::int32_t;

// A theme's position among the themes built: 0, 1, 2.
using theme_id = std::int32_t;

enum class theme_kind : std::int32_t {
  main = 0,
  pickup = 1,
  cadence = 2,
};

// One phrase of the source melody: the leading pickup or a group of four measures. `cadential`:
// it reaches the source end or its last chord change lies within a half note of its end;
// `cadence_weight` 1.0, 0.75, 0.45, 0.2 or 0.0; `activity` 0 to 1, half onset density and half
// sounding fraction of the melody; `theme_ids` the themes that apply, in theme order.
struct source_phrase {
  source_phrase_id id = 0;
  tick_range range;
  std::vector<std::size_t> measures;
  bool pickup = false;
  bool cadential = false;
  double cadence_weight = 0.0;
  double activity = 0.0;
  std::vector<theme_id> theme_ids;

  bool operator==(const source_phrase&) const = default;
};

// A melodic theme taken from one phrase: the steps between its successive melody notes and every
// note's duration. `weight` 1.0 for the main theme, 0.65 for the pickup, 0.8 for the cadence.
struct theme {
  theme_id id = 0;
  theme_kind kind = theme_kind::main;
  std::vector<std::int32_t> intervals;
  std::vector<std::int64_t> durations;
  tick_range range;
  bool pickup = false;
  bool cadential = false;
  double weight = 0.0;

  bool operator==(const theme&) const = default;
};

// The melody's presence in a half measure (a quarter note in short measures): onset density and
// fill 0 to 1, presence 0.75 (an onset), 0.45 (sounding only) or 0.15 (silent).
// `response_window` marks a window where the guitar may answer the melody.
struct melody_window {
  tick_range range;
  double onset_density = 0.0;
  double fill = 0.0;
  double presence = 0.0;
  bool response_window = false;

  bool operator==(const melody_window&) const = default;
};

// Where a cadential phrase closes: a quarter note before its end.
struct cadence_point {
  std::int64_t tick = 0;
  std::size_t measure_index = 0;
  double weight = 0.0;

  bool operator==(const cadence_point&) const = default;
};

// The form of the source melody before anything is arranged.
struct arrangement_analysis {
  harmonic_timeline timeline;
  std::vector<source_phrase> phrases;
  std::vector<theme> themes;
  std::vector<melody_window> windows;
  std::vector<cadence_point> cadences;
  std::uint64_t source_fingerprint = 0;

  bool operator==(const arrangement_analysis&) const = default;
};

// The phrases, themes, melody windows and cadence points of the source, a copy of its timeline and
// its fingerprint; the profile counts only for the fingerprint. Never fails.
arrangement_analysis analyze_for_arrangement(const source_score& source,
                                             const harmonic_timeline& timeline,
                                             const arrangement_style_profile& profile);

// The id of the source phrase starting at the measure: -1 before the body start (the leading
// pickup), else the count of whole four-measure groups from the body start.
source_phrase_id source_phrase_id_at(std::size_t measure, std::size_t body_start);

// True when the tick lies in the range: start <= tick < end.
constexpr bool tick_in_range(const tick_range& range, std::int64_t tick) {
  return range.start <= tick && tick < range.end;
}

}  // namespace orvanta::arrangement_detail
