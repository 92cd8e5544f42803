// The source score: what the engine reads of the staff to arrange, and the pitch arithmetic the
// whole engine shares. MIDI 60 is middle C; strings are numbered 1 (highest) to 6 (lowest).
#pragma once

#include <optional>

namespace orvanta::arrangement_detail {

// Pitch class 0..11 of any integer (MIDI number or interval), C = 0.
int normalize_pc(int value);

// Open-string MIDI note of strings 1 to 6 in standard tuning; nothing for any other number.
std::optional<int> open_midi_for_string(int string_number);

}  // namespace orvanta::arrangement_detail
