// Comping rhythms and the small grip operations the comping code shares. A comping pattern is one
// 4/4 measure (16384 ticks) of chord hits on the eighth-note grid (2048 ticks an eighth), laid
// once from each measure's start; flags on a hit tell the comping code when to leave it out.
// Grips grow note by note only while one hand can still play and finger them.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"

#include <cstdint>
#include <vector>

namespace orvanta::arrangement_detail {

// One hit of a pattern: start and length in ticks from the measure's start. The hit is left out on
// a melody attack when `avoid_melody_attack` is set, in a busy melody when `skip_when_melody_busy`
// is set, and kept only where the melody leaves room when `needs_space` is set. `weight_class` and
// `variant` (0 to 2) describe the hit and steer nothing.
struct comping_hit {
  std::int64_t offset = 0;
  std::int64_t duration = 0;
  int weight_class = 0;
  bool avoid_melody_attack = false;
  bool skip_when_melody_busy = false;
  bool needs_space = false;
  int variant = 0;

  bool operator==(const comping_hit&) const = default;
};

// A one-measure rhythm: its hits in the order written.
struct comping_pattern {
  std::int64_t length = 0;
  std::vector<comping_hit> hits;

  bool operator==(const comping_pattern&) const = default;
};

// Pattern tables

// The pattern of that length with the hits as given: neither sorted, checked nor clipped.
comping_pattern make_comping_pattern(std::int64_t length, std::vector<comping_hit> hits);

// The four acoustic chord-mode patterns of the profile's family (swing has a fast set of its own);
// one pattern without hits for a family outside the known ones. Immutable data, never rebuilt.
const std::vector<comping_pattern>& comping_patterns_for(const arrangement_style_profile& profile);

// The four electric stab patterns of the profile's family (several families share a set; tempo
// plays no part); one pattern without hits for a family outside the known ones. Immutable data,
// never rebuilt.
const std::vector<comping_pattern>& accompaniment_patterns_for(
    const arrangement_style_profile& profile);

// Growing grips

// True when the position joined the grip: on a string and a pitch of its own, with the grip still
// playable and fingerable; the grip then holds the fingered result by pitch. On false the grip is
// left exactly as it was.
bool add_position_if_playable(std::vector<tab_position>& grip, tab_position position);

// The base grip by pitch, grown greedily by every extra position that can join it, in the extra
// grip's order; fingered as the last successful addition left it.
std::vector<tab_position> merge_playable_positions(std::vector<tab_position> base,
                                                   const std::vector<tab_position>& extra);

// Degree priority

// How much the chord needs the note the position sounds: 0 a required degree, 1 an optional degree
// other than the root and the fifth, 2 any other chord degree, 3 the root or the fifth when not
// required, 4 no degree of the chord.
int position_degree_priority(const parsed_chord& chord, const tab_position& position);

}  // namespace orvanta::arrangement_detail
