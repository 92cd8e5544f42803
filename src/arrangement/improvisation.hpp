// The improviser at work on one solo section: the source is cut into phrase spans and, span by
// span, 32 candidate phrases are planned, realised, corrected (legato inside the span, re-pitched
// at chord changes, long notes on chord tones, no pitch-class turns, every note in the chord's
// scale, a few syncopation gaps) and scored against the phrases already played; the best of each
// span is kept and remembered. Ticks: 4096 to the quarter note.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/generation.hpp"
#include "arrangement/improvisation_analysis.hpp"
#include "arrangement/improvisation_common.hpp"
#include "arrangement/improvisation_harmony.hpp"
#include "arrangement/source.hpp"

#include <cstdint>
#include <vector>

namespace orvanta::arrangement_detail::improvisation_detail {

// The number of candidate phrases tried for every span.
inline constexpr int phrase_candidate_count = 32;

// Phrase corrections. Each overload taking a `harmonic_context_table` gives exactly the result of
// the one without it; the table must be built from `score` and `chords`.

// The candidate's realised notes after the whole correction chain: gaps inside the span closed,
// notes split where a chord starts inside them (the later pieces moved to a near chord tone of the
// new chord), long notes moved to chord tones, pitch-class turns (A B A, or a note between two of
// the same class) broken, notes moved into the chord's scale (the source key's major scale where
// no chord sounds), then the candidate's syncopation gaps opened. A note without an acceptable
// replacement keeps its pitch.
std::vector<solo_phrase_event> corrected_phrase_events(const source_score& score,
                                                       const std::vector<chord_occurrence>& chords,
                                                       const improvisation_config& config,
                                                       const phrase_analysis& analysis,
                                                       std::vector<solo_phrase_event> events,
                                                       int candidate);
std::vector<solo_phrase_event> corrected_phrase_events(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const harmonic_context_table& harmony, const improvisation_config& config,
    const phrase_analysis& analysis, std::vector<solo_phrase_event> events, int candidate);

// Best phrase selection

// The best of the span's candidate phrases 0 to 31, each planned, realised (seed: candidate plus
// span index), corrected and scored against the remembered phrases (oldest first); of equal best
// scores the lowest candidate number wins. Empty when every candidate is empty.
std::vector<solo_phrase_event> best_phrase_events(const source_score& score,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis,
                                                  const std::vector<phrase_memory>& memory);
std::vector<solo_phrase_event> best_phrase_events(const source_score& score,
                                                  const arrangement_style_profile& style,
                                                  const std::vector<chord_occurrence>& chords,
                                                  const harmonic_context_table& harmony,
                                                  const improvisation_config& config,
                                                  const phrase_analysis& analysis,
                                                  const std::vector<phrase_memory>& memory);

}  // namespace orvanta::arrangement_detail::improvisation_detail

namespace orvanta::arrangement_detail {

// Improvised solo driver

// The improvised solo over the source and its chord occurrences: the best phrase of every phrase
// span, each chosen against the phrases accepted in the spans before it, all notes sorted by start
// (equal starts in phrase order). The profile picks the configuration row; the section type moves
// its seed by 31 per unit, on 32 bits with wrap-around. Empty for a source without measures.
std::vector<solo_phrase_event> improvised_solo_phrase_events_for_source(
    const source_score& score, const arrangement_style_profile& style,
    const std::vector<chord_occurrence>& chords, guitar_solo_profile profile,
    std::uint64_t section_type);

}  // namespace orvanta::arrangement_detail
