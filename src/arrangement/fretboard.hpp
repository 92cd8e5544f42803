// The fretboard of a six-string guitar in standard tuning: strings 1 (highest, open MIDI 64) to 6
// (lowest, open MIDI 40), frets 0 (open) to 20, so MIDI 40 to 84. A grip is a list of positions
// that sound together; it is fingered when every fretted position (fret above 0) carries a
// left-hand finger, 1 index to 4 little. Costs are integers, lower is better.
#pragma once

#include "arrangement/source.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvanta::arrangement_detail {

// One note on the guitar; `midi` is the open pitch of the string plus the fret.
struct tab_position {
  int string_number = 0;
  int fret = 0;
  int midi = 0;
  std::optional<int> finger;

  bool operator==(const tab_position&) const = default;
};

// The index finger lying flat at `fret` from string `from_string` to `to_string` (from <= to),
// pressing `string_count` positions of the grip.
struct barre_shape {
  int fret = 0;
  int from_string = 0;
  int to_string = 0;
  int string_count = 0;

  bool operator==(const barre_shape&) const = default;
};

// One ranked fingering of a grip; `relaxed` marks the shape-only fallback cost of a grip that has
// no valid fingering.
struct fingered_position_candidate {
  std::vector<tab_position> positions;
  int cost = 0;
  bool relaxed = false;

  bool operator==(const fingered_position_candidate&) const = default;
};

// The cost of a fingering that breaks the fingering rules; above every valid fingering's cost.
inline constexpr int invalid_fingering_cost = 268435455;

// Ordering

// Orders a list by ascending key (compared with <), each key computed once. Entries with equal
// keys keep their order, so every ranked list of the engine comes out the same on every run.
template <class value_type, class key_function>
void sort_by_ascending_key(std::vector<value_type>& values, const key_function& key) {
  using key_type = std::decay_t<std::invoke_result_t<const key_function&, const value_type&>>;
  std::vector<std::pair<key_type, std::size_t>> keyed;
  keyed.reserve(values.size());
  for (std::size_t index = 0; index < values.size(); ++index) {
    keyed.emplace_back(key(values[index]), index);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& left, const auto& right) { return left.first < right.first; });
  std::vector<value_type> sorted;
  sorted.reserve(values.size());
  for (const auto& entry : keyed) sorted.push_back(std::move(values[entry.second]));
  values = std::move(sorted);
}

// Key comparing grips position by position by MIDI pitch, string, fret and finger (0 for none);
// a grip that is a prefix of another comes first.
std::vector<std::array<int, 4>> position_list_order_key(const std::vector<tab_position>& positions);

// True when `left` comes before `right` by `position_list_order_key`, without building the keys.
bool position_list_order_less(const std::vector<tab_position>& left,
                              const std::vector<tab_position>& right);

// Orders the positions by ascending MIDI pitch; positions of one pitch keep their order.
void sort_positions_by_pitch(std::vector<tab_position>& positions);

// Positions

// Every place of a MIDI pitch on the listed strings (frets 0 to 20, no finger), best first: near
// fret 5 and on string 2, then strings 3 and 4, string 1, strings 5 and 6; ties to the lower
// string.
std::vector<tab_position> positions_for_midi(int midi, const std::vector<int>& strings);

// True when some position lies on the string.
bool contains_string(const std::vector<tab_position>& positions, int string_number);

// True when some position sounds the MIDI pitch.
bool contains_midi(const std::vector<tab_position>& positions, int midi);

// The upper melody strings 1, 2, 3 and 4.
std::vector<int> upper_melody_strings();

// True when every position lies on strings 1 to 4 (true for no positions).
bool positions_use_upper_melody_strings(const std::vector<tab_position>& positions);

// True when every position lies on the chord-mode strings 2 to 6 (true for no positions).
bool positions_use_chord_mode_strings(const std::vector<tab_position>& positions);

// True when string, fret and pitch are equal; the finger is ignored.
bool same_tab_position(const tab_position& left, const tab_position& right);

// The highest-sounding position, the first of equals; nothing for no positions.
std::optional<tab_position> highest_position(const std::vector<tab_position>& positions);

// The lowest-sounding position, the first of equals; nothing for no positions.
std::optional<tab_position> lowest_position(const std::vector<tab_position>& positions);

// The assigned finger, or 0 when none is assigned.
int finger_number(const tab_position& position);

// The grip without fingers, by ascending pitch (equal pitches keep their order).
std::vector<tab_position> strip_fingering(std::vector<tab_position> positions);

// The lowest fret above 0; nothing when no position is fretted.
std::optional<int> min_fretted_fret(const std::vector<tab_position>& positions);

// The highest fret of any position; 0 for no positions.
int max_fretted_fret(const std::vector<tab_position>& positions);

// Shape and playability (fingers are ignored)

// The upper median of the fretted frets; 0 when no position is fretted.
int anchor_fret(const std::vector<tab_position>& positions);

// Highest minus lowest fretted fret; 0 with fewer than two fretted positions.
int fret_span(const std::vector<tab_position>& positions);

// True when pitches rise strictly from the lowest string to the highest.
bool positions_have_string_order(std::vector<tab_position> positions);

// True for four or more positions, none open, spanning more than 3 frets.
bool closed_four_note_stretch_too_wide(const std::vector<tab_position>& positions);

// False when an open string is mixed with a highest fret of 4 or more.
bool chord_positions_have_coherent_fret_region(const std::vector<tab_position>& positions);

// The distinct string numbers, highest number first.
std::vector<int> chord_string_numbers(const std::vector<tab_position>& positions);

// False when a grip of three or more positions skips two strings between neighbouring used ones.
bool chord_positions_have_compact_jazz_shape(const std::vector<tab_position>& positions);

// 160 per skipped string, plus 620 per fret beyond 2 between a low-string bass and the anchor fret.
int compact_jazz_shape_penalty(const std::vector<tab_position>& positions);

// True when one hand can play the grip: one to four positions on distinct strings and pitches,
// fretted span below 5, no wide closed stretch, no muddy low interval.
bool positions_playable(const std::vector<tab_position>& positions);

// Fingering rules and cost

// The barre the index finger makes: two or more index positions at one fret; nothing otherwise.
std::optional<barre_shape> fingering_barre_shape(const std::vector<tab_position>& positions);

// The barre the grip's shape invites at its lowest fret (an unbroken, clear run of two or more
// strings there), whatever the fingers; nothing otherwise.
std::optional<barre_shape> preferred_index_barre_shape(const std::vector<tab_position>& positions);

// True when all four fields are equal.
bool same_barre_shape(const barre_shape& left, const barre_shape& right);

// True when no position on the strings from `from_string` to `to_string` lies below the fret.
bool barre_span_is_clear(const std::vector<tab_position>& positions, int fret, int from_string,
                         int to_string);

// The upper median of the fretted positions' index frets (fret - finger + 1, the fret when
// unfingered); 0 when no position is fretted.
int fingering_index_fret(const std::vector<tab_position>& positions);

// True when the assigned fingers form a fingering one hand can play.
bool positions_have_valid_fingering(const std::vector<tab_position>& positions);

// Cost of the fingering; `invalid_fingering_cost` for an invalid one.
int fingering_local_score(const std::vector<tab_position>& positions);

// The fingering cost of a valid fingering, otherwise a fallback cost of the shape alone.
int relaxed_fingering_score(const std::vector<tab_position>& positions);

// Fingering assignment

// True when both grips hold, in order, positions of equal string, fret, pitch and finger.
bool same_fingered_positions(const std::vector<tab_position>& left,
                             const std::vector<tab_position>& right);

// Every valid fingering of the grip (its own fingers ignored), by pitch, best first; empty when the
// grip is empty or not playable.
std::vector<std::vector<tab_position>> fingering_variants(std::vector<tab_position> positions);

// The grip with its own fingers when they are valid, else its best fingering, by pitch; nothing
// when it has none. An empty grip comes back empty.
std::optional<std::vector<tab_position>> assign_fingering(std::vector<tab_position> positions);

// The grip's `assign_fingering`, or the grip without fingers when it has none.
std::vector<tab_position> assigned_or_original_fingering(std::vector<tab_position> positions);

// Every fingering variant with its cost, best first; with none and `allow_relaxed`, a playable
// grip gets one unfingered candidate at its relaxed cost.
std::vector<fingered_position_candidate> fingering_candidates(std::vector<tab_position> positions,
                                                              bool allow_relaxed);

// Melody attacks: the starts of source notes of kind "note" with at least one pitch
// (is_melody_attack).

// Number of melody attacks starting in [from, to).
std::size_t melody_attack_count(const source_score& score, std::int64_t from, std::int64_t to);

// True when some melody attack starts exactly at the tick.
bool melody_attack_at(const source_score& score, std::int64_t tick);

// True when a note overlapping [from, to) is a rest or lasts more than a quarter note (4096 ticks).
bool has_long_melody_or_rest_space(const source_score& score, std::int64_t from, std::int64_t to);

// The same three questions for a score asked about many ticks, answered in logarithmic time from
// an index built once; every answer is the one the score itself gives. Built for one call and
// dropped with it.
struct melody_tick_index {
  // The start ticks of the melody attacks, ascending, one entry per attack.
  std::vector<std::int64_t> attack_starts;
  // The rests and the notes longer than a quarter by ascending start: their starts, and the
  // largest exact end (start + duration, on 128 bits) among them up to each one.
  std::vector<std::int64_t> space_starts;
  __extension__ std::vector<__int128> space_reach;

  bool operator==(const melody_tick_index&) const = default;
};

// The index of the score's notes.
melody_tick_index build_melody_tick_index(const source_score& score);

// `melody_attack_count` of the indexed score.
std::size_t melody_attack_count(const melody_tick_index& index, std::int64_t from, std::int64_t to);

// `melody_attack_at` of the indexed score.
bool melody_attack_at(const melody_tick_index& index, std::int64_t tick);

// `has_long_melody_or_rest_space` of the indexed score.
bool has_long_melody_or_rest_space(const melody_tick_index& index, std::int64_t from,
                                   std::int64_t to);

}  // namespace orvanta::arrangement_detail
