// Improvised phrases against the harmony. Every planned gesture gets a real pitch, chosen from the
// chord sounding at its start (candidates scored alone, then joined into the best-sounding line),
// and a finished phrase gets one score for how it echoes the written melody, sits on the harmony,
// breathes and keeps clear of the phrases already played. Ticks: 4096 to the quarter note.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/improvisation_analysis.hpp"
#include "arrangement/improvisation_common.hpp"
#include "arrangement/improvisation_rhythm.hpp"
#include "arrangement/source.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvanta::arrangement_detail {

// One note of an improvised phrase: where it sounds (the source measure holding its start), its
// MIDI pitch, its ties and whether it opens or closes its phrase.
struct solo_phrase_event {
  std::size_t measure_index = 0;
  std::int64_t start_tick = 0;
  std::int64_t duration_ticks = 0;
  std::int32_t midi = 0;
  bool tie_to_next = false;
  bool tie_from_previous = false;
  bool opens_phrase = false;
  bool closes_phrase = false;

  bool operator==(const solo_phrase_event&) const = default;
};

}  // namespace orvanta::arrangement_detail

namespace orvanta::arrangement_detail::improvisation_detail {

// One pitch a gesture may take, with its stand-alone score (higher is better).
struct target_candidate {
  std::int32_t midi = 0;
  std::int32_t score = 0;

  bool operator==(const target_candidate&) const = default;
};

// What the improviser keeps of one accepted phrase so that later phrases avoid repeating it: the
// span's harmonic signature, the rhythm signature from the span start, the interval signature, the
// phrase function, the first and last pitch classes (negative for none), the range in semitones,
// the distinct pitch classes (ascending), the notes themselves, and the rhythm signature from its
// first note, its interval cells and its measure rhythm cells (read in the source it was played
// over). Empty texts and lists are worked out from the notes when the score reads them.
struct phrase_memory {
  std::string harmonic_signature;
  std::string rhythm_signature;
  std::string interval_signature;
  improvisation_detail::phrase_function phrase_function =
      improvisation_detail::phrase_function::opening;
  std::int32_t first_pc = -1;
  std::int32_t last_pc = -1;
  std::int32_t range = 0;
  std::vector<std::int32_t> pitch_classes;
  std::vector<solo_phrase_event> events;
  std::string own_rhythm_signature{};
  std::vector<std::pair<std::int32_t, std::int32_t>> interval_cells{};
  std::vector<std::string> measure_rhythm_cells{};

  bool operator==(const phrase_memory&) const = default;
};

// The rests inside a phrase: every positive gap between neighbouring notes (in start order), the
// odd ones (not exactly an eighth, or any gap of a leading pickup span) and the gaps that follow
// a gap directly.
struct phrase_gap_metrics {
  std::int32_t gaps = 0;
  std::int32_t odd_gaps = 0;
  std::int32_t consecutive_gaps = 0;

  bool operator==(const phrase_gap_metrics&) const = default;
};

// Gesture realisation. Each overload taking a `harmonic_context_table` gives exactly the result of
// the one taking the chord list the table was built from (with the same source); a caller that
// realises or scores many phrases builds the table once.

// The phrase as notes, one per gesture in gesture order: gesture i's candidates drawn with seed
// `seed` + i, then one candidate per gesture chosen for the best sum of candidate scores and
// transitions. Tie flags are clear; the phrase flags are the gestures'.
std::vector<solo_phrase_event> realize_gestures(const source_score& score,
                                                const std::vector<chord_occurrence>& chords,
                                                const improvisation_config& config,
                                                const std::vector<melody_gesture>& gestures,
                                                int seed);
std::vector<solo_phrase_event> realize_gestures(const source_score& score,
                                                const harmonic_context_table& harmony,
                                                const improvisation_config& config,
                                                const std::vector<melody_gesture>& gestures,
                                                int seed);

// The gesture's 1 to 7 candidate pitches from the harmony at its start, best first (equal scores
// lowest pitch first), each pitch once; a single -1000 fallback near the desired pitch when no
// listed pitch class has a place on strings 1 to 4.
std::vector<target_candidate> target_candidates_for_gesture(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const improvisation_config& config, const melody_gesture& gesture, int seed);
std::vector<target_candidate> target_candidates_for_gesture(const source_score& score,
                                                            const harmonic_context_table& harmony,
                                                            const improvisation_config& config,
                                                            const melody_gesture& gesture,
                                                            int seed);

// What moving from `from_note` (the note of gesture `from`) to `to_note` (of the next gesture
// `to`) adds to a realised line: interval size and leap cost, contour agreement with the targets,
// a rest between them, approach resolution and the pull of closing and peak phrases.
std::int32_t gesture_transition_score(const improvisation_config& config,
                                      const melody_gesture& from, int from_note,
                                      const melody_gesture& to, int to_note);

// Phrase scoring

// The phrase's score (higher is better) against the span's written melody, the harmony, its phrase
// function and the remembered phrases (oldest first); -536870912 for an empty phrase.
std::int32_t phrase_score(const source_score& score, const std::vector<chord_occurrence>& chords,
                          const improvisation_config& config, const phrase_analysis& analysis,
                          const std::vector<solo_phrase_event>& events,
                          const std::vector<phrase_memory>& memory);
// The same score, the harmony read from the table built from `score` and `chords`.
std::int32_t phrase_score(const source_score& score, const std::vector<chord_occurrence>& chords,
                          const harmonic_context_table& harmony, const improvisation_config& config,
                          const phrase_analysis& analysis,
                          const std::vector<solo_phrase_event>& events,
                          const std::vector<phrase_memory>& memory);
// The same score given the span's `harmonic_signature_for_phrase` of those chords, which every
// candidate of one span shares.
std::int32_t phrase_score(const source_score& score, const std::string& harmonic_signature,
                          const harmonic_context_table& harmony, const improvisation_config& config,
                          const phrase_analysis& analysis,
                          const std::vector<solo_phrase_event>& events,
                          const std::vector<phrase_memory>& memory);

// The gap counts of the phrase's notes taken in start order (equal starts keep their order).
phrase_gap_metrics phrase_gap_metrics_for(const source_score& score,
                                          const improvisation_config& config,
                                          const phrase_analysis& analysis,
                                          std::vector<solo_phrase_event> events);

// Phrase texts and cells, built from the notes in list order

// "start:length;" per note in units of 1024 ticks, the start counted from `origin`; empty for no
// notes.
std::string phrase_rhythm_signature(const std::vector<solo_phrase_event>& events,
                                    std::int64_t origin);

// "interval;" per note after the first, the semitones from the note before clamped to -7..7.
std::string interval_signature(const std::vector<solo_phrase_event>& events);

// One "start:length;" text in eighths per measure holding a note, in measure order, the start
// counted from the measure's start; notes of measures the source does not have are left out.
std::vector<std::string> measure_rhythm_cells(const source_score& score,
                                              const std::vector<solo_phrase_event>& events);

// The pairs of neighbouring intervals that make a small melodic cell, in note order: both at most
// 5 semitones and not both repeats.
std::vector<std::pair<std::int32_t, std::int32_t>> interval_cells(
    const std::vector<solo_phrase_event>& events);

// The pitch classes of the notes, each once, ascending.
std::vector<std::int32_t> distinct_pitch_classes(const std::vector<solo_phrase_event>& events);

// Phrase corrections: steps a candidate phrase goes through before it is scored

// The notes in start order (equal starts keep their order), each note that starts inside the span
// and is followed, still inside the span, by a later note after a rest lengthened to reach that
// note, losing its tie out: inside its span a phrase is legato.
std::vector<solo_phrase_event> close_internal_phrase_gaps(const improvisation_config& config,
                                                          const phrase_analysis& analysis,
                                                          std::vector<solo_phrase_event> events);

// The notes with a few seeded syncopation gaps: notes of a quarter or more that lead straight
// into the next note inside the span, chosen by a seeded score favouring off-beat arrivals, are
// shortened by an eighth (never the first or the last two notes, never two neighbours), at most
// one to four by phrasing style and phrase function. The leading pickup span and phrases of fewer
// than four notes come back unchanged.
std::vector<solo_phrase_event> apply_syncopated_phrase_gaps(const source_score& score,
                                                            const improvisation_config& config,
                                                            const phrase_analysis& analysis,
                                                            std::vector<solo_phrase_event> events,
                                                            int candidate);

}  // namespace orvanta::arrangement_detail::improvisation_detail
