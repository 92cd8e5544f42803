// Chord grips: one way of playing a chord, a chord fragment or a single note (its tab positions)
// with its cost, lower being better. A grip sounds a chord degree when one of its positions has the
// degree's pitch class (octaves never matter). Producers collect candidates into a list through one
// insertion rule that keeps no two entries for the same note and the same fingered positions, then
// order the list by score once it is complete.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// One grip with its cost; `note_index` is the source note it serves (-1 for none), and the flags
// tell whether that note's melody pitch is the grip's top note and whether the grip sounds it.
struct grip_candidate {
  std::vector<tab_position> positions;
  std::string label;
  int score = 0;
  std::int64_t note_index = -1;
  bool melody_on_top = false;
  bool contains_melody = false;

  bool operator==(const grip_candidate&) const = default;
};

// Candidate lists

// Adds the candidate, its positions ordered by pitch, unless an entry serves the same note with
// the same positions (fingers included); such an entry is replaced whole, in its place, only by a
// strictly cheaper candidate.
void add_unique_candidate(std::vector<grip_candidate>& candidates, grip_candidate candidate);

// Orders the list by ascending score; candidates of equal score keep their order.
void sort_candidates_by_score(std::vector<grip_candidate>& candidates);

// Chord degrees in grips

// Pitch class of the degree over the chord's root; nothing for a name that is not a degree.
std::optional<int> degree_pc(const parsed_chord& chord, std::string_view degree);

// Every place on the string (frets 0 to 20, no finger) sounding the degree, nearest to fret 5
// first, the lower fret first on equal distance; empty for an unknown degree or string.
std::vector<tab_position> positions_for_degree_on_string(const parsed_chord& chord,
                                                         std::string_view degree,
                                                         int string_number);

// True when the degree is known and some position sounds its pitch class.
bool positions_contain_degree(const parsed_chord& chord, const std::vector<tab_position>& positions,
                              std::string_view degree);

// Number of entries of `degrees` the grip sounds (an entry listed twice counts twice).
int count_present_degrees(const parsed_chord& chord, const std::vector<tab_position>& positions,
                          const std::vector<std::string>& degrees);

// True when the grip sounds every entry of `degrees` (true for no entries).
bool all_degrees_present(const parsed_chord& chord, const std::vector<tab_position>& positions,
                         const std::vector<std::string>& degrees);

// True when the position sounds the pitch class of some known entry of `degrees`.
bool position_matches_any_degree(const parsed_chord& chord, const tab_position& position,
                                 const std::vector<std::string>& degrees);

// Number of positions that sound some degree of the chord's formula.
int formula_position_count(const parsed_chord& chord, const std::vector<tab_position>& positions);

// Number of distinct pitch classes of the formula's degrees that the grip sounds.
int formula_degree_count(const parsed_chord& chord, const std::vector<tab_position>& positions);

// True for the written colour degrees 6, 9, b9, #9, 11, #11, 13, b13 and bb7.
bool is_written_color_degree(std::string_view degree);

// True for a written colour degree, b5 or #5.
bool is_required_color_degree(std::string_view degree);

// True for the third-type degrees 3, b3 and 4.
bool is_third_guide_degree(std::string_view degree);

// True for the seventh-type degrees 7, b7 and bb7.
bool is_seventh_guide_degree(std::string_view degree);

// The chord's guide tones: its third-type and seventh-type degrees, required ones first, each once.
std::vector<std::string> guide_tone_degrees(const parsed_chord& chord);

// Number of the chord's guide tones the grip sounds.
int guide_tone_degree_count(const parsed_chord& chord, const std::vector<tab_position>& positions);

// Number of guide tones the grip leaves out; 0 for a chord with fewer than two guide tones.
int missing_guide_tone_count(const parsed_chord& chord, const std::vector<tab_position>& positions);

// The chord's required colour degrees in the order of its required degrees (of its optional degrees
// for "dominant7_alt").
std::vector<std::string> required_color_degrees(const parsed_chord& chord);

// Number of required colour degrees the grip sounds; at most 1 for "dominant7_alt".
int required_color_degree_count(const parsed_chord& chord,
                                const std::vector<tab_position>& positions);

// Number of required colour degrees the grip leaves out; "dominant7_alt" misses at most 1, and
// only when it sounds none of its altered tones.
int missing_required_color_count(const parsed_chord& chord,
                                 const std::vector<tab_position>& positions);

// True for a "major7", "minor7" or "dominant7" chord without required colour degrees.
bool basic_shell_preferred(const parsed_chord& chord);

// True when the chord has exactly one required colour degree.
bool color_shell_preferred(const parsed_chord& chord);

// The four distinct degrees of a "major7", "minor7", "dominant7" or "half_diminished7" formula in
// its order; empty for other qualities or when the formula does not hold exactly four.
std::vector<std::string> compact_full_melody_degrees(const parsed_chord& chord);

// Chord grip score and shape predicates

// Cost of one grip for one chord (height, width, the degrees it shows, its size and its fit under a
// melody note when `melody_mode` is set); lower is better.
int chord_candidate_score(const parsed_chord& chord, const std::vector<tab_position>& positions,
                          bool allow_two_note, bool melody_mode);

// Penalty for notes above fret 7 and a hand anchored above fret 5.
int high_fret_region_penalty(const std::vector<tab_position>& positions);

// True for a position on string 5 or 6.
bool is_low_chord_string(const tab_position& position);

// True when the grip, a bass on string 5 or 6 set aside, lies on adjacent strings within strings 1
// to 4, each string once; false for no positions.
bool has_gap_free_upper_cluster(const std::vector<tab_position>& positions);

// True when `melody_chord` is false, else `has_gap_free_upper_cluster`.
bool melody_chord_positions_allowed(const std::vector<tab_position>& positions, bool melody_chord);

// Smallest string distance from a bass on string 5 or 6 to the grip's other notes; nothing without
// such a bass and other notes.
std::optional<int> bass_to_upper_string_distance(const std::vector<tab_position>& positions);

// The first position of the list at the position's string, fret and pitch, with the list's own
// finger; nothing when there is none.
std::optional<tab_position> position_matching(const tab_position& position,
                                              const std::vector<tab_position>& positions);

// True for a grip on strings 1 to 4 that sounds exactly the chord's compact full-melody degrees.
bool positions_are_compact_full_melody_chord(const parsed_chord& chord,
                                             const std::vector<tab_position>& positions);

// Stock fingering

// Fingering cost plus the habits of chord fingering: the finger on a low bass, fingers on notes
// sharing a fret, and whether the index barre is the one the grip suggests.
int stock_fingering_score(const std::vector<tab_position>& positions);

// The grip's four best valid fingerings (fewer when it has fewer) by stock fingering score, each
// with that score as its cost.
std::vector<fingered_position_candidate> stock_fingering_candidates(
    const std::vector<tab_position>& positions);

// Chord candidates

// Every stock-shape, exact and degree-plan grip of the chord, fingered, deduplicated and sorted by
// score. `allow_two_note` admits two-note grips, `melody_chord` demands an upper cluster over an
// optional low bass, `melody_mode` adds the melody grips and scores for a melody on top.
std::vector<grip_candidate> standard_jazz_chord_candidates(const parsed_chord& chord,
                                                           bool allow_two_note, bool melody_chord,
                                                           bool melody_mode);

// The grips of the chord's stock shapes, in generation order, not sorted.
std::vector<grip_candidate> stock_guitar_shape_candidates(const parsed_chord& chord,
                                                          bool allow_two_note, bool melody_chord,
                                                          bool melody_mode);

// The chord grips from which chord anchors choose: `standard_jazz_chord_candidates`.
std::vector<grip_candidate> chord_candidates(const parsed_chord& chord, bool allow_two_note,
                                             bool melody_chord, bool melody_mode);

// The melody-mode chord grips that lie wholly on strings 1 to 4, sorted by score.
std::vector<grip_candidate> melody_mode_chord_candidates(const parsed_chord& chord,
                                                         bool allow_two_note, bool melody_chord);

}  // namespace orvanta::arrangement_detail
