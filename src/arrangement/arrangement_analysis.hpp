// Harmonic analysis of the source: the harmonic timeline lays every chord symbol written on a
// source note out in time, as a span lasting until the next chord symbol or the end of the source.
// Ticks are 4096 to the quarter note; a 4/4 measure is 16384.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
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

}  // namespace orvanta::arrangement_detail
