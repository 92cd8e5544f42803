// Solo notes on the fretboard. A solo is fretted in the register MIDI 52 to 72 on strings 1 to 4;
// on the acoustic guitar a long solo note (a half note, 8192 ticks, or more) over a chord is voiced
// as a mini-chord: two to four notes on the top strings, 1 up to n, holding the solo note among
// the chord's target pitch classes.
#pragma once

#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/improvisation_harmony.hpp"
#include "arrangement/voicing.hpp"

#include <cstdint>
#include <vector>

namespace orvanta::arrangement_detail {

// The fretting settings of one solo: 1 for the electric sound, 0 for the acoustic one, and the
// register the solo notes are moved into.
struct solo_profile_config {
  std::int32_t is_electric = 0;
  std::int32_t low_midi = 52;
  std::int32_t high_midi = 72;

  bool operator==(const solo_profile_config&) const = default;
};

// Acoustic solo mini-chords

// The fingered mini-chords ("acoustic-solo-mini-chord", note index -1, holding the solo note) of
// the largest size, four strings then three then two, that yields any, best first; empty unless
// the solo is acoustic, a chord is given (null for none) and the note lasts 8192 ticks or more.
std::vector<grip_candidate> playable_acoustic_solo_mini_chord_candidates(
    const solo_profile_config& config, const solo_phrase_event& note, const parsed_chord* chord);

// The up to eight places string `string_number` may give a mini-chord: the solo note at fret 12
// or below and the chord's target pitch classes at frets 0 to 12, nearest fret 5 first, the solo
// note and the guide tones preferred (then by pitch, fret and string).
std::vector<tab_position> acoustic_solo_mini_chord_position_options(const parsed_chord& chord,
                                                                    const solo_phrase_event& note,
                                                                    int string_number);

}  // namespace orvanta::arrangement_detail
