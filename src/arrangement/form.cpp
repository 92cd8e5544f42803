#include "arrangement/form.hpp"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

bool is_chord_note(const source_note& note) { return !note.chord_symbol.empty(); }

bool in_measure_run(std::size_t measure_index, std::size_t first, std::size_t count) {
  return measure_index >= first && measure_index - first < count;
}

// Where a section of the form lies: over the whole body, or over the last edge measures.
enum class section_span { edge, body };

struct form_section {
  std::string_view label;
  arrangement_section_type type;
  section_span span;
};

constexpr std::array<form_section, 7> form_sections() {
  using enum arrangement_section_type;
  return {{
      {"Rhythm Lead-in", rhythm_lead_in, section_span::edge},
      {"Vocal Melody", vocal_melody_1, section_span::body},
      {"Guitar Melody", guitar_melody, section_span::body},
      {"Guitar Solo", guitar_solo_1, section_span::body},
      {"Guitar Solo", guitar_solo_2, section_span::body},
      {"Vocal Melody", vocal_melody_2, section_span::body},
      {"Ending", ending, section_span::edge},
  }};
}

// The roles of the parts per section type; a solo role rests when solos are off. The last row
// serves every type past the form's seven.
struct role_row {
  full_arrangement_section_role electric;
  full_arrangement_section_role acoustic;
  full_arrangement_section_role vocal;
};

constexpr std::array<role_row, 8> role_table() {
  using enum full_arrangement_section_role;
  return {{
      {rests, chords, rests},          // rhythm_lead_in
      {accompaniment, chords, vocal},  // vocal_melody_1
      {melody, chords, rests},         // guitar_melody
      {rests, acoustic_solo, rests},   // guitar_solo_1
      {electric_solo, chords, rests},  // guitar_solo_2
      {accompaniment, chords, vocal},  // vocal_melody_2
      {accompaniment, chords, vocal},  // ending
      {rests, chords, rests},          // any other type
  }};
}

}  // namespace

std::int64_t source_end_ticks(const source_score& source) {
  std::int64_t end = 0;
  for (const auto& measure : source.measures) end = std::max(end, measure_end(measure));
  for (const auto& note : source.notes) end = std::max(end, note_end(note));
  return end;
}

std::int64_t source_measure_start(const source_score& source, std::size_t measure_index) {
  if (measure_index >= source.measures.size()) return 0;
  return source.measures[measure_index].start_tick;
}

std::int64_t source_measure_end(const source_score& source, std::size_t measure_index) {
  if (measure_index >= source.measures.size()) return 0;
  return measure_end(source.measures[measure_index]);
}

bool measure_run_fits(const source_score& source, std::size_t first_measure,
                      std::size_t measure_count) {
  const auto measures = source.measures.size();
  return measure_count > 0 && first_measure < measures && measure_count <= measures - first_measure;
}

std::int64_t source_section_duration(const source_score& source, std::size_t first_measure,
                                     std::size_t measure_count) {
  if (!measure_run_fits(source, first_measure, measure_count)) return 0;
  return subtract_ticks(source_measure_end(source, first_measure + measure_count - 1),
                        source_measure_start(source, first_measure));
}

bool measure_has_chord_symbol(const source_score& source, std::size_t measure_index) {
  if (measure_index >= source.measures.size()) return false;
  return std::ranges::any_of(source.notes, [measure_index](const source_note& note) {
    return note.measure_index == measure_index && is_chord_note(note);
  });
}

std::optional<std::int64_t> first_pitched_note_start_in_measure(const source_score& source,
                                                                std::size_t measure_index) {
  if (measure_index >= source.measures.size()) return std::nullopt;
  std::optional<std::int64_t> first;
  for (const auto& note : source.notes) {
    if (note.measure_index != measure_index || !is_melody_attack(note)) continue;
    if (!first || note.start_tick < *first) first = note.start_tick;
  }
  return first;
}

std::optional<std::size_t> first_chord_measure_index(const source_score& source) {
  std::optional<std::size_t> first;
  for (const auto& note : source.notes) {
    if (!is_chord_note(note)) continue;
    if (!first || note.measure_index < *first) first = note.measure_index;
  }
  return first;
}

std::optional<std::size_t> leading_pickup_measure_index(const source_score& source) {
  if (source.measures.size() < 2) return std::nullopt;
  if (measure_has_chord_symbol(source, 0)) return std::nullopt;
  const auto first_pitched = first_pitched_note_start_in_measure(source, 0);
  if (!first_pitched || *first_pitched <= source.measures[0].start_tick) return std::nullopt;
  if (first_chord_measure_index(source) != std::optional<std::size_t>{1}) return std::nullopt;
  return 0;
}

std::size_t body_start_measure_index(const source_score& source) {
  return leading_pickup_measure_index(source) ? 1 : 0;
}

const source_note* previous_tied_source_note(const source_score& source, const source_note& note) {
  if (!note.tie_from_previous || !is_melody_attack(note)) return nullptr;
  const auto midi = note.pitches.front().midi;
  for (const auto& previous : source.notes) {
    if (is_melody_attack(previous) && previous.tie_to_next &&
        note_end(previous) == note.start_tick && previous.pitches.front().midi == midi) {
      return &previous;
    }
  }
  return nullptr;
}

bool should_preserve_leading_pickup_tie(const source_score& source, const source_note& note) {
  const auto* previous = previous_tied_source_note(source, note);
  if (previous == nullptr) return false;
  const bool starts_off_the_beat = (previous->start_tick & 0xfff) != 0;
  return starts_off_the_beat && add_ticks(previous->duration_ticks, note.duration_ticks) > 4096;
}

std::size_t phrase_aware_edge_measure_count(std::size_t body_measures) {
  if (body_measures <= 4) return body_measures;
  if (body_measures <= 7) return 4;
  return 8;
}

std::vector<full_arrangement_section> full_arrangement_sections(const source_score& source,
                                                                arrangement_part_type part_type,
                                                                bool include_solo) {
  const auto measures = source.measures.size();
  const auto body_start = body_start_measure_index(source);
  if (body_start >= measures) return {};
  const auto body_measures = measures - body_start;
  const auto edge_measures = phrase_aware_edge_measure_count(body_measures);

  std::vector<full_arrangement_section> sections;
  sections.reserve(form_sections().size());
  for (const auto& form : form_sections()) {
    const bool edge = form.span == section_span::edge;
    const auto type = static_cast<std::uint64_t>(form.type);
    sections.push_back({
        .label = std::string(form.label),
        .first_measure = edge ? measures - edge_measures : body_start,
        .measure_count = edge ? edge_measures : body_measures,
        .type = type,
        .role = section_role(part_type, type, include_solo),
    });
  }
  return sections;
}

full_arrangement_section_role section_role(arrangement_part_type part_type,
                                           std::uint64_t section_type, bool include_solo) {
  constexpr auto table = role_table();
  const auto& row = table[std::min<std::uint64_t>(section_type, table.size() - 1)];
  const auto role = part_type == arrangement_part_type::electric   ? row.electric
                    : part_type == arrangement_part_type::acoustic ? row.acoustic
                                                                   : row.vocal;
  const bool solo = role == full_arrangement_section_role::acoustic_solo ||
                    role == full_arrangement_section_role::electric_solo;
  return solo && !include_solo ? full_arrangement_section_role::rests : role;
}

bool section_starts_after_leading_pickup(const source_score& source,
                                         const full_arrangement_section& section) {
  const auto pickup = leading_pickup_measure_index(source);
  return pickup && section.first_measure == *pickup + 1;
}

bool section_receives_guitar_pickup_overlap(const source_score& source,
                                            const full_arrangement_section& section) {
  return section.role == full_arrangement_section_role::melody &&
         section_starts_after_leading_pickup(source, section);
}

bool section_receives_vocal_pickup_overlap(const source_score& source,
                                           const full_arrangement_section& section) {
  return section.role == full_arrangement_section_role::vocal &&
         section_starts_after_leading_pickup(source, section);
}

source_score source_slice(const source_score& source, const full_arrangement_section& section,
                          std::int64_t offset) {
  const auto first = section.first_measure;
  const auto count = section.measure_count;
  if (!measure_run_fits(source, first, count)) return {};
  const auto section_start = source_measure_start(source, first);
  const auto section_end = source_measure_end(source, first + count - 1);
  const bool after_pickup = section_starts_after_leading_pickup(source, section);

  source_score slice;
  slice.measures.reserve(count);
  auto running_start = offset;
  for (std::size_t index = first; index < first + count; ++index) {
    auto measure = source.measures[index];
    measure.section_label.clear();
    measure.start_tick = running_start;
    running_start = add_ticks(running_start, measure.capacity_ticks);
    slice.measures.push_back(std::move(measure));
  }

  for (const auto& tuplet : source.tuplets) {
    if (!in_measure_run(tuplet.measure_index, first, count)) continue;
    slice.tuplets.push_back(tuplet);
    slice.tuplets.back().measure_index -= first;
  }

  for (const auto& source_note : source.notes) {
    if (!in_measure_run(source_note.measure_index, first, count)) continue;
    auto note = source_note;
    note.start_tick = add_ticks(offset, subtract_ticks(source_note.start_tick, section_start));
    note.measure_index -= first;
    if (source_note.start_tick <= section_start &&
        !(after_pickup && should_preserve_leading_pickup_tie(source, source_note))) {
      note.tie_from_previous = false;
    }
    if (note_end(source_note) >= section_end) note.tie_to_next = false;
    slice.notes.push_back(std::move(note));
  }
  return slice;
}

void append_section_source(source_score& target, source_score slice, std::string_view label) {
  const auto measures_before = target.measures.size();
  if (!slice.measures.empty()) slice.measures.front().section_label = std::string(label);
  for (auto& note : slice.notes) note.measure_index += measures_before;
  for (auto& tuplet : slice.tuplets) tuplet.measure_index += measures_before;
  std::ranges::move(slice.measures, std::back_inserter(target.measures));
  std::ranges::move(slice.notes, std::back_inserter(target.notes));
  std::ranges::move(slice.tuplets, std::back_inserter(target.tuplets));
}

}  // namespace orvanta::arrangement_detail
