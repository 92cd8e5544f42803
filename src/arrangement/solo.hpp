// A solo section on the guitar: the improviser's notes are fretted one by one, each offered as
// single notes on strings 1 to 4 in the register MIDI 52 to 72 (a note outside it moves by
// octaves, at a cost) or, for long acoustic notes over a chord, as mini-chords; the path search
// then picks the places the hand moves least between. Ticks: 4096 to the quarter note.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/generation.hpp"
#include "arrangement/improvisation_harmony.hpp"
#include "arrangement/solo_phrasing.hpp"
#include "arrangement/source.hpp"
#include "arrangement/voicing.hpp"
#include "arrangement_types.hpp"

#include <cstdint>
#include <vector>

namespace orvanta::arrangement_detail {

// Solo section events

// The section's solo as fretted, normalised events relabelled with the source's chord symbols,
// and whether any sounds. Chord symbols that do not parse are reported at level "warning"; a solo
// of which nothing could be fretted adds the warning "No playable electric guitar solo events were
// found." (or "acoustic") and still goes through normalisation. `section_type` seeds the solo.
generated_guitar_events generated_solo_events_for_source(const source_score& score,
                                                         const arrangement_style_profile& style,
                                                         std::vector<arrangement_message>& messages,
                                                         guitar_solo_profile profile,
                                                         std::uint64_t section_type);

// The improvised solo notes of the section (see improvised_solo_phrase_events_for_source).
std::vector<solo_phrase_event> solo_phrase_events_for_source(
    const source_score& score, const arrangement_style_profile& style,
    const std::vector<chord_occurrence>& chords, guitar_solo_profile profile,
    std::uint64_t section_type);

// Single solo notes

// The places of the MIDI note, or of the note moved by octaves into the register, on strings 1 to
// 4, one candidate per fingering, best first: the melody note's own cost plus charges for open
// strings, high frets (steeper for the acoustic sound), the octave move and string 1 above fret 9.
std::vector<grip_candidate> playable_single_solo_candidates_for_midi(
    const solo_profile_config& config, int midi);

}  // namespace orvanta::arrangement_detail
