// Acoustic comping voicings: one bass note on string 5 or 6 under two or three upper notes on
// strings 2 to 4, so that the bass can be struck alone and the upper notes as a chord of their
// own. A chord becomes ranked degree plans (sets of three or four degrees, lower penalty first),
// which are placed in every order on fixed string sets; every voicing keeps the chord's identity.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// Three or four degree names (a name may occur twice) with the plan's cost, lower being better.
// The names form a set: their order carries no meaning.
struct acoustic_degree_plan_candidate {
  std::vector<std::string> degrees;
  int penalty = 0;

  bool operator==(const acoustic_degree_plan_candidate&) const = default;
};

// One voicing split in two: the bass (one position on string 5 or 6), the upper notes (two or
// three, on strings 2 to 4, in the order of `full`) and the whole voicing, fingered, by pitch.
struct acoustic_comping_grip {
  std::vector<tab_position> bass;
  std::vector<tab_position> upper;
  std::vector<tab_position> full;

  bool operator==(const acoustic_comping_grip&) const = default;
};

// One voice of a fixed voicing shape: a degree on a string.
struct acoustic_shape_voice {
  std::string_view degree;
  int string_number = 0;

  bool operator==(const acoustic_shape_voice&) const = default;
};

// Degree plans

// The names sorted ascending, byte by byte: two plans with equal keys are one plan.
std::vector<std::string> sorted_degree_key(std::vector<std::string> degrees);

// Adds a plan of three or four names, or lowers the penalty of the plan with the same key (which
// keeps its names as first added); any other number of names changes nothing.
void add_acoustic_degree_plan(std::vector<acoustic_degree_plan_candidate>& plans,
                              std::vector<std::string> degrees, int penalty);

// The degrees the upper notes may sound: the required degrees, the required colours, the root
// when available, and for chords that are not jazz qualities every formula degree.
std::vector<std::string> acoustic_upper_identity_degrees(const parsed_chord& chord);

// The degrees the bass may sound: the formula's degrees and the required colours.
std::vector<std::string> acoustic_bass_degrees(const parsed_chord& chord);

// The chord's plans (its jazz plans, identity, colour and triad plans), one per degree set, by
// ascending penalty, then fewer degrees, then degree key.
std::vector<acoustic_degree_plan_candidate> acoustic_degree_plans_for_chord(
    const parsed_chord& chord);

// Voicing rules

// True when the lowest note lies on string 5 or 6 and the others on strings 2, 3 and 4, or, with
// two of them, on 3 and 4 over string 6 or on 2 and 3 over string 5, each string once.
bool positions_use_acoustic_comping_strings(const std::vector<tab_position>& positions);

// The highest fret of the positions; 0 for none.
int max_fretted_fret_for_positions(const std::vector<tab_position>& positions);

// The stretch cost between a bass on string 5 or 6 and the other notes; 0 without such a bass.
int acoustic_bass_upper_reach_penalty(const std::vector<tab_position>& positions);

// True when the hand can reach from a bass on string 5 or 6 to every other note.
bool acoustic_bass_upper_reach_playable(const std::vector<tab_position>& positions);

// The positions by pitch, fingered, when they pass every acoustic voicing rule (string layout,
// fret region, reach, a span of at most 3 frets, playability); nothing otherwise.
std::optional<std::vector<tab_position>> playable_acoustic_combined_positions(
    std::vector<tab_position> positions);

// True when the chord has a slash bass and the position sounds its pitch class.
bool position_matches_slash_bass(const parsed_chord& chord, const tab_position& position);

// The preference for the voicing's bass: -320 the slash bass, -180 the root, 90 any other note;
// 2000 for no positions.
int acoustic_bass_choice_score(const parsed_chord& chord,
                               const std::vector<tab_position>& positions);

// Cost of a voicing with `upper_count` upper notes: width, height, reach and the guide tones and
// colours it sounds or misses; lower is better.
int acoustic_combined_candidate_score(const parsed_chord& chord,
                                      const std::vector<tab_position>& positions,
                                      std::size_t upper_count);

// True when a bass on string 5 or 6 sounds the slash bass or a bass degree and every other note
// an upper identity degree.
bool positions_only_use_acoustic_identity_degrees(const parsed_chord& chord,
                                                  const std::vector<tab_position>& positions);

// True when the voicing sounds every required degree and colour and only identity degrees.
bool acoustic_comping_preserves_chord_identity(const parsed_chord& chord,
                                               const std::vector<tab_position>& positions);

// The voicing split around the given bass (the positions' only note on string 5 or 6) when the
// positions pass the voicing rules, hold the bass once and two or more other notes; else nothing.
std::optional<acoustic_comping_grip> split_acoustic_comping_grip(
    std::vector<tab_position> positions, const tab_position& bass);

// The positions split around their lowest note when it lies on string 5 or 6; else nothing.
std::optional<acoustic_comping_grip> acoustic_comping_grip_from_selected_positions(
    const std::vector<tab_position>& positions);

// Adds the voicing as an "acoustic-comping-final" candidate scored penalty + bass choice +
// fingering cost / 3, when it keeps the chord's identity; equal positions keep the lower score.
void append_acoustic_comping_candidate(std::vector<grip_candidate>& candidates,
                                       const parsed_chord& chord, acoustic_comping_grip grip,
                                       int penalty);

// Candidates for a chord

// The string sets, lowest voice first, for plans of that many degrees: two for three and four
// degrees, none otherwise.
std::vector<std::vector<int>> acoustic_comping_string_sets(std::size_t degree_count);

// Adds every voicing of the shape (three or four voices, every degree available in the chord) with
// no note above fret 9, at the shape's whole penalty.
void append_acoustic_exact_comping_shape(std::vector<grip_candidate>& candidates,
                                         const parsed_chord& chord,
                                         std::span<const acoustic_shape_voice> shape, int penalty);

// Adds the fixed shapes of "half_diminished7", "dominant7_b9" and "minor" chords.
void append_preferred_acoustic_comping_shapes(std::vector<grip_candidate>& candidates,
                                              const parsed_chord& chord);

// Adds every voicing with degree i on string i, at penalty / 8 (rounded toward zero); nothing
// when the lists differ in length.
void append_acoustic_comping_candidates_for_degrees(std::vector<grip_candidate>& candidates,
                                                    const parsed_chord& chord,
                                                    const std::vector<std::string>& degrees,
                                                    const std::vector<int>& strings, int penalty);

// The chord's acoustic comping voicings from its fixed shapes and every order of every plan on its
// string sets: the 48 lowest scores, best first.
std::vector<grip_candidate> acoustic_comping_candidates_for_chord(const parsed_chord& chord);

}  // namespace orvanta::arrangement_detail
