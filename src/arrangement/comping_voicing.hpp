// Comping voicings. Acoustic: one bass note on string 5 or 6 under two or three upper notes on
// strings 2 to 4, so that the bass can be struck alone and the upper notes as a chord of their
// own. A chord becomes ranked degree plans (sets of three or four degrees, lower penalty first),
// which are placed in every order on fixed string sets; every voicing keeps the chord's identity.
// Electric: short stabs of three or four notes on the top strings, cut out of chord grips.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <cstddef>
#include <cstdint>
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

// An acoustic voicing with its cost (`acoustic_combined_candidate_score` of `full` for its number
// of upper notes), lower being better.
struct scored_acoustic_comping_grip {
  acoustic_comping_grip grip;
  int score = 0;

  bool operator==(const scored_acoustic_comping_grip&) const = default;
};

// An electric stab: three notes on strings 1 to 3 or four on strings 1 to 4, by pitch, fingered
// where a valid fingering exists.
struct electric_stab_grip {
  std::vector<tab_position> positions;

  bool operator==(const electric_stab_grip&) const = default;
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

// The preference for the voicing's bass: -320 the slash bass, -180 the root, 6000 any other note;
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

// Acoustic comping anchors

// The grip's notes on strings 2 to 4 other than the bass, by string, then fret, then pitch.
std::vector<tab_position> acoustic_upper_pool_for_grip(const std::vector<tab_position>& positions,
                                                       const tab_position& bass);

// The grip's notes on string 5 or 6 that sound a degree of the chord, best bass first: up to fret
// 9 before above it, then the lower fret, the more important chord tone, string 5 before 6.
std::vector<tab_position> acoustic_bass_candidates_for_grip(
    const parsed_chord& chord, const std::vector<tab_position>& positions);

// Every voicing cut out of the grip: for each bass candidate in order, its upper pool's sets of
// three notes, then of two, in subset order, each kept when it splits as a voicing. The same
// voicing may come more than once.
std::vector<scored_acoustic_comping_grip> acoustic_comping_grips_for_candidate(
    const parsed_chord& chord, const std::vector<tab_position>& positions);

// The chord anchors as comping anchors: each anchor with a chord keeps its fields, its candidates
// become the chord's acoustic voicings and those cut out of its own grips (at the grip's score
// / 24), the 48 lowest scores, best first; anchors without a chord or a voicing are left out.
std::vector<arrangement_anchor> acoustic_comping_anchors_for_anchors(
    const std::vector<arrangement_anchor>& anchors);

// One voicing per comping anchor, chosen by the path search with the acoustic comping weights from
// the grip sounding `gap` ticks before the first anchor (when there is one); an element is empty
// when the chosen positions do not split as a voicing. Empty when no path exists.
std::vector<std::optional<acoustic_comping_grip>> selected_acoustic_comping_grips_for_anchors(
    const std::vector<arrangement_anchor>& anchors,
    std::optional<std::vector<tab_position>> previous, std::int64_t gap);

// Electric stabs

// The grip cut to a stab: one note per string 1 to 4 (on a shared string the more important chord
// tone, the first of equals), built up from string 1 while it stays playable, four notes or else
// three, by pitch and fingered; empty when neither size can be built.
std::vector<tab_position> electric_stab_positions_for_grip(
    const parsed_chord& chord, const std::vector<tab_position>& positions);

// Cost of a stab: width, height, fingering and the guide tones and colours it sounds or misses,
// less 280 per note; lower is better.
int electric_stab_candidate_score(const parsed_chord& chord,
                                  const std::vector<tab_position>& positions);

// The anchors as stab anchors: each anchor with a chord keeps its fields, its candidates become
// the stabs of its grips ("electric-stab-final", scored with the grip's score / 16 held to ±400),
// the 48 lowest scores, best first; anchors without a chord or a stab are left out.
std::vector<arrangement_anchor> electric_stab_anchors_for_anchors(
    const std::vector<arrangement_anchor>& anchors);

// One stab per stab anchor, chosen by the path search with the electric stab weights, fingered;
// empty when no path exists.
std::vector<std::optional<electric_stab_grip>> selected_electric_stab_grips_for_anchors(
    const std::vector<arrangement_anchor>& anchors);

}  // namespace orvanta::arrangement_detail
