// The arrangement form: every arrangement plays the source's measures again in seven fixed
// sections (lead-in, sung melody, guitar melody, two solo slots, sung melody, ending). A source may
// open with a leading pickup, a measure whose melody enters after the downbeat before the chords
// begin; its body then starts at measure 1. Ticks are 4096 to the quarter note.
#pragma once

#include "arrangement/source.hpp"
#include "arrangement_types.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// Which of the seven sections of the form a section is; the value is its position in the form.
enum class arrangement_section_type : std::int32_t {
  rhythm_lead_in = 0,
  vocal_melody_1 = 1,
  guitar_melody = 2,
  guitar_solo_1 = 3,
  guitar_solo_2 = 4,
  vocal_melody_2 = 5,
  ending = 6,
};

// What the arranged staff plays in a section.
enum class full_arrangement_section_role : std::int32_t {
  rests = 0,          // compact rests (slashes in the part's own solo slot without solos)
  chords = 1,         // acoustic chord-mode comping
  melody = 2,         // the written melody on the guitar
  accompaniment = 3,  // electric stabs under the sung melody
  acoustic_solo = 4,
  electric_solo = 5,
  vocal = 6,  // the vocal staff sings; a guitar part rests
};

// One section of the form: a run of source measures with its label, type (an
// arrangement_section_type value, 0 to 6) and role.
struct full_arrangement_section {
  std::string label;
  std::size_t first_measure = 0;
  std::size_t measure_count = 0;
  std::uint64_t type = 0;
  full_arrangement_section_role role = full_arrangement_section_role::rests;

  bool operator==(const full_arrangement_section&) const = default;
};

// Source measure queries. An index outside the measure list gives 0 ticks, false or nothing.

// The largest end tick of any measure or note; 0 for an empty source.
std::int64_t source_end_ticks(const source_score& source);

// The start tick of the measure.
std::int64_t source_measure_start(const source_score& source, std::size_t measure_index);

// The end tick (start plus capacity) of the measure.
std::int64_t source_measure_end(const source_score& source, std::size_t measure_index);

// True when the run of `measure_count` measures from `first_measure` is not empty and lies inside
// the measure list.
bool measure_run_fits(const source_score& source, std::size_t first_measure,
                      std::size_t measure_count);

// Ticks from the start of the first measure to the end of the last of `measure_count` measures;
// 0 for a count of 0 or a run that leaves the measure list.
std::int64_t source_section_duration(const source_score& source, std::size_t first_measure,
                                     std::size_t measure_count);

// True when some note of the measure, rests included, carries a chord symbol.
bool measure_has_chord_symbol(const source_score& source, std::size_t measure_index);

// The earliest start tick of the measure's pitched notes (kind "note" with a pitch); nothing
// when it has none.
std::optional<std::int64_t> first_pitched_note_start_in_measure(const source_score& source,
                                                                std::size_t measure_index);

// The smallest measure index of a note carrying a chord symbol; nothing when no note carries one.
std::optional<std::size_t> first_chord_measure_index(const source_score& source);

// The leading pickup

// 0 when measure 0 is a leading pickup: the source has two measures or more, measure 0 holds no
// chord symbol, its melody enters after its downbeat and the first chord symbol is in measure 1;
// else nothing. The one definition of the pickup for the whole engine.
std::optional<std::size_t> leading_pickup_measure_index(const source_score& source);

// The first measure of the song's body: 1 after a leading pickup, else 0.
std::size_t body_start_measure_index(const source_score& source);

// The first pitched note of the source tied into the pitched `note` (same first MIDI pitch,
// ending where `note` starts); null when `note` is not tied from a previous note or none
// matches. The pointer points into `source`.
const source_note* previous_tied_source_note(const source_score& source, const source_note& note);
const source_note* previous_tied_source_note(const source_score&& source,
                                             const source_note& note) = delete;

// True when the tie into `note` survives at the start of the section after the pickup: its
// predecessor starts off the beat and both notes last more than a quarter note together.
bool should_preserve_leading_pickup_tie(const source_score& source, const source_note& note);

// Sections and roles

// The number of measures of the lead-in and of the ending for a body of `body_measures`
// measures: the whole body up to 4, then 4 up to 7, then 8.
std::size_t phrase_aware_edge_measure_count(std::size_t body_measures);

// The seven sections of the form in order, with roles for the part type; none for a source
// without measures.
std::vector<full_arrangement_section> full_arrangement_sections(const source_score& source,
                                                                arrangement_part_type part_type,
                                                                bool include_solo);

// What the part type plays in a section of the given type; a type above 6 rests (chords for the
// acoustic part), a part type other than electric or acoustic reads as vocal.
full_arrangement_section_role section_role(arrangement_part_type part_type,
                                           std::uint64_t section_type, bool include_solo);

// True when the source has a leading pickup and the section starts right after it.
bool section_starts_after_leading_pickup(const source_score& source,
                                         const full_arrangement_section& section);

// True when the section plays the guitar melody right after the pickup, so the pickup's guitar
// events are laid over the end of the section before it.
bool section_receives_guitar_pickup_overlap(const source_score& source,
                                            const full_arrangement_section& section);

// True when the section is sung right after the pickup, so the pickup's notes are sung at the end
// of the section before it.
bool section_receives_vocal_pickup_overlap(const source_score& source,
                                           const full_arrangement_section& section);

// Slicing and concatenation

// The section's measures, tuplets and notes as a source of their own starting at `offset`:
// measure indexes from 0, measures gapless and unlabelled, ties leading out of the section cut
// (except a tie from the pickup into the section after it that the pickup rule keeps). An empty
// source for a section that is empty or leaves the measure list.
source_score source_slice(const source_score& source, const full_arrangement_section& section,
                          std::int64_t offset);

// Appends the slice's measures, notes and tuplets to `target`, labelling the slice's first measure
// and moving its measure indexes past the target's measures.
void append_section_source(source_score& target, source_score slice, std::string_view label);

}  // namespace orvanta::arrangement_detail
