// Fretting a sequence of time points: every anchor offers candidate grips, and the left hand must
// move from each chosen grip to the next. A transition costs the hand shift, the finger travel and
// the barres formed or released (lower is better, negative when fingers and strings stay put); the
// path search picks one grip per anchor so that no single move is awkward and the sum stays low.
// A melody note without a chord is played as a single note, one candidate per way of fingering it;
// a chord is played under a long melody note (a tied group of a half note or more).
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail {

// The weight set of a transition: single-note melody lines, acoustic comping grips, electric
// stabs, or anything else. Every value other than 1, 2 and 3 weighs like `general`.
enum class transition_profile : std::int32_t {
  general = 0,
  melody_line = 1,
  acoustic_comping = 2,
  electric_stab_comping = 3,
};

// Where one finger (1 to 4) presses a grip's fretted positions: the mean fret and the mean string
// number times ten (both truncated), the strings it covers (highest minus lowest) and how many
// positions it holds.
struct finger_location {
  int fret = 0;
  int string_x10 = 0;
  int string_span = 0;
  int count = 0;

  bool operator==(const finger_location&) const = default;
};

// The running cost of a path: its worst single transition (negative ones counting as 0) and the
// sum of its transitions and candidate scores.
struct path_score {
  int worst = 0;
  std::int64_t total = 0;

  bool operator==(const path_score&) const = default;
};

// Both fields of the score of a candidate that no path has reached yet.
inline constexpr int unreached_path_cost = 536870911;

// Transition profiles and weights

// True for `melody_line`.
bool transition_uses_melody_line_scoring(transition_profile profile);

// True for `acoustic_comping`.
bool transition_is_acoustic_comping(transition_profile profile);

// True for `electric_stab_comping`.
bool transition_is_electric_stab_comping(transition_profile profile);

// Cost per fret of index-fret change: 165, 245 and 130 for profiles 1 to 3, 62 otherwise.
int transition_fingering_weight(transition_profile profile);

// Cost per fret of anchor-fret change: 58, 185 and 92 for profiles 1 to 3, 30 otherwise.
int transition_anchor_weight(transition_profile profile);

// Cost per fret of hand-position change: 46, 120 and 62 for profiles 1 to 3, 22 otherwise.
int transition_hand_weight(transition_profile profile);

// How much dearer finger travel is in a short gap: 2 up to a sixteenth note (1024 ticks), else 1;
// one more for a melody line up to an eighth note (2048 ticks).
int transition_speed_multiplier(std::int64_t gap, bool melody_line);

// Grip measures

// The lowest fret above 0, where the hand sits; 0 when no position is fretted.
int hand_position_fret(const std::vector<tab_position>& positions);

// Where each finger 1 to 4 presses the grip (index 0 is finger 1); nothing for a finger that holds
// no fretted position.
std::array<std::optional<finger_location>, 4> finger_locations(
    const std::vector<tab_position>& positions);

// Number of target positions whose string and fret some source position shares.
int same_string_fret_count(const std::vector<tab_position>& source,
                           const std::vector<tab_position>& target);

// Transition cost

// Cost of moving the left hand from the source grip to the target grip, `gap` ticks later; 0 when
// either grip is empty. Grips hold positions on strings 1 to 6, frets 0 to 20, fingers 1 to 4.
int transition_score(const std::vector<tab_position>& source,
                     const std::vector<tab_position>& target, transition_profile profile,
                     std::int64_t gap);

// Grip path search

// True when `a` is the better path: a worst transition lower by more than 1800 decides, and
// otherwise the lower total. Not transitive, so the order in which paths are offered matters.
bool better_path_score(const path_score& a, const path_score& b);

// The index of the chosen candidate of each anchor, in anchor order; empty when there is no anchor
// or some anchor has no candidate. `previous` is the grip sounding `gap` ticks before the first
// anchor, when there is one.
std::vector<std::size_t> selected_candidate_indexes(
    const std::vector<arrangement_anchor>& anchors, transition_profile profile,
    const std::optional<std::vector<tab_position>>& previous, std::int64_t gap);

// The positions of the chosen candidate of each anchor (see selected_candidate_indexes); empty
// when no path exists.
std::vector<std::vector<tab_position>> selected_path(
    const std::vector<arrangement_anchor>& anchors, transition_profile profile,
    std::optional<std::vector<tab_position>> previous, std::int64_t gap);

// Melody single notes

// One "melody-only" candidate per fingering of the single position, in the order of the
// fingerings, scored by the place on the neck (near fret 5, on string 2, below fret 13) plus the
// fingering cost; empty when the position cannot be fingered.
std::vector<grip_candidate> melody_candidates(tab_position position);

// True when the grip's highest position (the first of equals) sounds the MIDI pitch; false for no
// positions.
bool top_midi_matches(const std::vector<tab_position>& positions, int midi);

// Tied notes and long melody notes. Note i ties into note i + 1 when both are pitched notes
// (kind "note" with a pitch), note i is marked `tie_to_next`, ends exactly where note i + 1 starts
// and both have the same first MIDI pitch; the `tie_from_previous` flag plays no part. A note index
// outside the note list has no ties and lasts 0 ticks.

// True when both notes have a pitch and their first pitches have the same MIDI number.
bool same_written_melody_pitch(const source_note& left, const source_note& right);

// i - 1 when that note ties into note i; nothing otherwise.
std::optional<std::size_t> previous_tied_note_index(const source_score& score,
                                                    std::size_t note_index);

// i + 1 when note i ties into it; nothing otherwise.
std::optional<std::size_t> next_tied_note_index(const source_score& score, std::size_t note_index);

// The summed durations of the notes tied into note i, note i excluded.
std::int64_t tied_duration_before(const source_score& score, std::size_t note_index);

// Note i's duration plus the durations of the notes it ties into.
std::int64_t tied_duration_from(const source_score& score, std::size_t note_index);

// The duration of the whole tied group of note i.
std::int64_t tied_group_duration(const source_score& score, std::size_t note_index);

// True when the note starts a whole number of quarter notes after the start of its measure (after
// the absolute tick 0 when its measure index lies outside the measure list), so that beats stay
// beats after measures of odd eighths such as 9/8.
bool note_starts_on_quarter_beat(const source_score& score, const source_note& note);

// Note i, or the note tied into it when that note was struck off the beat, ends on the chord's
// start and begins a long group: a chord written on the held part of a syncopated tie sounds with
// the melody attack.
std::size_t adjusted_long_note_chord_target(const source_score& score,
                                            const chord_occurrence& occurrence,
                                            std::size_t note_index);

// The long melody note (tied group of 8192 ticks or more) that carries the chord's grip: the note
// carrying the symbol when it is long, else the earliest long note starting a group inside the
// chord's span; moved to a syncopated attack as above. Nothing when no long note qualifies.
std::optional<std::size_t> long_melody_note_for_chord(const source_score& score,
                                                      const chord_occurrence& occurrence);

}  // namespace orvanta::arrangement_detail
