// Chords and grips shared by the grip tests: one chord-symbol suffix for each of the 38 qualities,
// the twelve roots, a position built from its string and fret, and a chord anchor of two beats.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/source.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace grip_fixtures {

using namespace orvanta::arrangement_detail;

constexpr std::array<const char*, 38> quality_suffixes{
    "",        "m",     "mmaj7", "m7b5", "dim7", "dim",  "sus2",  "7sus4", "sus4", "maj9#11",
    "maj7#11", "maj13", "maj9",  "maj7", "69",   "add9", "madd9", "m13",   "m11",  "m9",
    "m7",      "m6",    "alt",   "13b9", "13#9", "9#11", "7#11",  "7#9",   "7b9",  "7b13",
    "7#5",     "7b5",   "13",    "11",   "9",    "7",    "6",     "+"};

constexpr std::array<const char*, 12> root_names{"C",  "Db", "D",  "Eb", "E",  "F",
                                                 "Gb", "G",  "Ab", "A",  "Bb", "B"};

inline parsed_chord chord_of(int root_pc, const std::string& suffix) {
  return *parse_chord_symbol(root_names[static_cast<std::size_t>(root_pc)] + suffix);
}

inline tab_position at(int string_number, int fret, std::optional<int> finger = std::nullopt) {
  return {string_number, fret, *open_midi_for_string(string_number) + fret, finger};
}

// A chord anchor over two beats from `start` with the candidate grips, as the chord sections
// build it.
inline arrangement_anchor chord_anchor_of(const parsed_chord& chord, std::int64_t start,
                                          std::vector<grip_candidate> candidates) {
  arrangement_anchor anchor;
  anchor.start_ticks = start;
  anchor.duration_ticks = 8192;
  anchor.chord = chord;
  anchor.chord_symbol = chord.symbol;
  anchor.candidates = std::move(candidates);
  return anchor;
}

}  // namespace grip_fixtures
