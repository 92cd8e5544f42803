// The improviser's common ground: fixed configuration rows, `mix_seed` (the integer hash behind
// every choice that looks random) and the questions every phrase asks: key and chord at a tick,
// the solo register, fretting on the top four strings, metric strength. Ticks: 4096 a quarter.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/generation.hpp"
#include "arrangement/solo_theory.hpp"
#include "arrangement/source.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvanta::arrangement_detail::improvisation_detail {

// Which configuration row a solo is improvised with.
enum class improvisation_role : std::int32_t {
  acoustic = 0,
  electric = 1,
  high_electric = 2,
};

// The shape of an improvised solo: its phrasing style (0 or 1), solo profile, register (MIDI
// `low_midi` to `high_midi`), the base pitch of a gesture's desired note, the percent of the
// written melody's contour a gesture keeps, the bonus of a colour tone, the base seed and the
// largest interval free of leap cost.
struct improvisation_config {
  int phrasing_style = 0;
  int solo_profile = 0;
  int low_midi = 52;
  int high_midi = 72;
  int center_midi = 61;
  int contour_percent = 42;
  int color_tone_bonus = 36;
  int seed = 41;
  int max_leap = 7;

  bool operator==(const improvisation_config&) const = default;
};

// What a phrase does in the solo's story; the improviser's own, worked out from the phrase span.
enum class phrase_function : std::int32_t {
  opening = 0,
  answer = 1,
  development = 2,
  peak = 3,
  closing = 4,
};

// The harmonic context of every tick of one source, worked out once per chord occurrence, so that
// a solo asks for it many times without rebuilding it. Built by `build_harmonic_context_table`
// for one request and dropped with it.
struct harmonic_context_table {
  // Start ticks of the occurrences in list order.
  std::vector<std::int64_t> starts;
  // The largest end tick of the occurrences up to each one.
  std::vector<std::int64_t> reach;
  // Per occurrence: its context with its next chord and its local key.
  std::vector<solo_harmonic_context> contexts;
  // The leading pickup measure, when the source has one in its measure list.
  std::int64_t pickup_start = 0;
  std::int64_t pickup_end = 0;
  // The context inside the pickup before the first chord: the last chord leading to the first.
  std::optional<solo_harmonic_context> pickup_context;

  bool operator==(const harmonic_context_table&) const = default;
};

// The fretting penalties (`top_four_playability_penalty`) of MIDI notes 0 to 127, each worked out
// the first time one call asks for it. The call owns the memo; nothing is kept between calls.
struct playability_memo {
  std::array<std::optional<int>, 128> penalties{};

  bool operator==(const playability_memo&) const = default;
};

// Configuration

// The role of a solo profile: acoustic for the acoustic profile, electric for every other value.
improvisation_role profile_role(guitar_solo_profile profile);

// The fixed configuration row of a role; any value other than acoustic and electric gives the
// high electric row.
improvisation_config profile_config(improvisation_role role);

// The style's seed: a small prime per style family, 5 for swing and any unknown family.
int style_seed(const arrangement_style_profile& style);

// Seeds

// The 31-bit hash (0 to 2^31 - 1) of two values. Arguments are taken as 32-bit patterns, so any
// signed or 64-bit value, and any seed sum computed with wrap-around, can be passed as it is.
constexpr int mix_seed(std::uint32_t a, std::uint32_t b) {
  std::uint32_t x = a * 0x41C64E6Du + b * 0x9E3779B1u + 0x3039u;
  x ^= x >> 16;
  x *= 0x85EBCA77u;
  x ^= x >> 13;
  x *= 0xC2B2AE3Du;
  x ^= x >> 16;
  return static_cast<int>(x & 0x7FFFFFFFu);
}

// Keys and harmony. Chord lists are in time order: start ticks never decrease.

// The key of the source: the note name leading the first measure key signature that begins with
// one (a minor suffix or anything after the name is ignored); 0 when none does.
int key_root_pc(const source_score& score);

// The tonic of the major key the neighbours of `current` imply (a resolving dominant, a II-V, a
// IV after a V-I); `fallback` as given when they imply none, or when `current` is null or does not
// point into `chords`.
int local_key_pc_for_chord(const std::vector<chord_occurrence>& chords,
                           const chord_occurrence* current, int fallback);

// The solo harmonic context at the tick: the first occurrence holding it, read with the next
// later-starting occurrence in its local key (the source key as fallback); inside a leading pickup
// before any chord, the last occurrence leading to the first. Nothing without chords or when no
// occurrence and no pickup holds the tick. The configuration is not read.
std::optional<solo_harmonic_context> harmonic_context_for_tick(
    const source_score& score, const std::vector<chord_occurrence>& chords,
    const improvisation_config& config, std::int64_t tick);

// The table that answers `harmonic_context_for_tick` for the source and chords in logarithmic
// time. It holds copies: later changes to the source or the chords do not reach it.
harmonic_context_table build_harmonic_context_table(const source_score& score,
                                                    const std::vector<chord_occurrence>& chords);

// The same context as `harmonic_context_for_tick` for the table's source and chords; null where
// that gives nothing. The pointer points into the table.
const solo_harmonic_context* harmonic_context_at(const harmonic_context_table& table,
                                                 std::int64_t tick);
const solo_harmonic_context* harmonic_context_at(const harmonic_context_table&& table,
                                                 std::int64_t tick) = delete;

// The first occurrence in list order holding the tick (start <= tick < end); null for none. The
// pointer points into `chords`.
const chord_occurrence* active_chord_at(const std::vector<chord_occurrence>& chords,
                                        std::int64_t tick);
const chord_occurrence* active_chord_at(const std::vector<chord_occurrence>&& chords,
                                        std::int64_t tick) = delete;

// The first occurrence after `occurrence` in list order that starts later than it; null for none
// and when `occurrence` is null or does not point into `chords`.
const chord_occurrence* next_chord_after(const std::vector<chord_occurrence>& chords,
                                         const chord_occurrence* occurrence);
const chord_occurrence* next_chord_after(const std::vector<chord_occurrence>&& chords,
                                         const chord_occurrence* occurrence) = delete;

// True when the source has a leading pickup measure and the tick lies inside it.
bool tick_is_in_leading_pickup(const source_score& score, std::int64_t tick);

// Measures. Measure lists are sorted by start tick and do not overlap.

// The index of the measure holding the tick; else min(fallback, last index); 0 without measures.
std::size_t measure_index_for_tick(const source_score& score, std::int64_t tick,
                                   std::size_t fallback);

// The end tick of the measure holding the tick; else the last measure's end; `fallback_end`
// without measures.
std::int64_t measure_end_for_tick(const source_score& score, std::int64_t tick,
                                  std::int64_t fallback_end);

// True on a beat of the tick's measure (the measure holding it, else the fallback measure): every
// quarter, in "6/8" every dotted quarter; at or before the measure's start always. Without
// measures, on every quarter of the timeline.
bool slot_is_strong(const source_score& score, std::int64_t tick, std::size_t fallback);

// Arithmetic on 64-bit pitches and ticks

// The pitch class 0 to 11 of any 64-bit value, C = 0.
constexpr std::int64_t pc_of(std::int64_t value) {
  const std::int64_t remainder = value % 12;
  return remainder < 0 ? remainder + 12 : remainder;
}

// (part x 100) / whole, truncated towards zero, for any ticks; whole > 0.
constexpr std::int64_t percent_of(std::int64_t part, std::int64_t whole) {
  __extension__ using wide_product = __int128;
  return static_cast<std::int64_t>(static_cast<wide_product>(part) * 100 / whole);
}

// Pitch-class lists, kept in insertion order without repeats

// True when the value's pitch class is in the list.
bool contains_pc(const std::vector<int>& pcs, int value);

// Appends the value's pitch class unless the list holds it.
void append_pc(std::vector<int>& pcs, int value);

// Appends the pitch classes of `listed` that are also in `scale`, in the order of `listed`,
// unless the list holds them.
void append_scale_members(std::vector<int>& pcs, const std::vector<int>& listed,
                          const std::vector<int>& scale);

// Register and fretting

// The truncated average first-pitch MIDI of the source's pitched notes; 64 when there is none.
int midpoint_midi(const source_score& score);

// The MIDI note moved by octaves into the register, then towards `previous` while it leaps
// further than `max_leap` (ending at most five semitones outside the register).
int fit_register(const improvisation_config& config, int midi, std::optional<int> previous);

// The note of the pitch class (any integer) within an octave of the register that lies best near
// `reference` and `previous` and inside the register, the lower of equals, fitted to the register.
int midi_for_pc_near(const improvisation_config& config, int pitch_class, int reference,
                     std::optional<int> previous);

// The cost of the note's cheapest place on strings 1 to 4, near fret 5 and low on the neck; 20000
// when it has none there.
int top_four_playability_penalty(int midi);

// `top_four_playability_penalty(midi)`, kept in the memo for MIDI 0 to 127.
inline int playability_penalty(playability_memo& memo, int midi) {
  if (midi < 0 || midi >= static_cast<int>(memo.penalties.size())) {
    return top_four_playability_penalty(midi);
  }
  auto& penalty = memo.penalties[static_cast<std::size_t>(midi)];
  if (!penalty) penalty = top_four_playability_penalty(midi);
  return *penalty;
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
