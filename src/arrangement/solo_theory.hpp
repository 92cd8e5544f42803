// Solo harmony: the chord under a solo note, read in its local major key and with the chord that
// follows it, gives three sets of pitch classes (0..11, C = 0): the chord scale to move in, the
// chord tones to land on and the colour tones (extensions) that earn a bonus. Every pitch-class
// list here keeps the order in which its values were added and holds no value twice.
#pragma once

#include "arrangement/chords.hpp"

#include <optional>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// The pitch classes a solo line uses over one chord. Every colour tone is also a chord tone.
struct solo_harmonic_context {
  std::vector<int> scale_tones;
  std::vector<int> chord_tones;
  std::vector<int> color_tones;

  bool operator==(const solo_harmonic_context&) const = default;
};

// Harmonic context

// The chord's scale (then its own degrees), chord tones and colour tones, the chord seen in the
// major key whose tonic is `key_pc` (any integer) and followed by `next_chord` (null for none).
solo_harmonic_context solo_harmonic_context_for(const parsed_chord& chord,
                                                const parsed_chord* next_chord, int key_pc);

// The pitch classes a mini-chord aims at: third, seventh, required colours by preference, root,
// fifth, then the formula's required degrees and its degree list.
std::vector<int> chord_target_pcs(const parsed_chord& chord);

// Pitch-class lists

// The major scale of the key (any integer, reduced to its pitch class), tonic first.
std::vector<int> key_major_scale_pcs(int key_pc);

// Appends the value's pitch class unless the value is absent or the list already holds it.
void append_unique_pc(std::vector<int>& pcs, std::optional<int> value);

// Appends the degree's pitch class over the chord's root unless the name is not a degree or the
// list already holds it.
void append_degree_pc(std::vector<int>& pcs, const parsed_chord& chord, std::string_view degree);

}  // namespace orvanta::arrangement_detail
