// Source scores and chords shared by the engine's tests and benchmarks: hand-built measures and
// notes, the songs several suites play, arrangement events, and the chord occurrences of a score.
// Ticks: 4096 a quarter note, 16384 a 4/4 measure.
#pragma once

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/source.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace score_fixtures {

using namespace orvanta::arrangement_detail;

// Source scores

// Empty 4/4 measures "m0", "m1", ... gapless from tick 0.
inline source_score empty_measures(std::size_t count) {
  source_score score;
  for (std::size_t index = 0; index < count; ++index) {
    source_measure measure;
    measure.id = "m" + std::to_string(index);
    measure.start_tick = static_cast<std::int64_t>(index) * 16384;
    score.measures.push_back(std::move(measure));
  }
  return score;
}

// The notes over `measures` empty 4/4 measures from tick 0.
inline source_score score_of(std::vector<source_note> notes, std::size_t measures = 2) {
  auto score = empty_measures(measures);
  score.notes = std::move(notes);
  return score;
}

// A measure of the given start, capacity, time signature and key signature.
inline source_measure measure_at(std::int64_t start, std::int64_t capacity = 16384,
                                 std::string time_signature = "4/4", std::string key = "C") {
  source_measure measure;
  measure.start_tick = start;
  measure.capacity_ticks = capacity;
  measure.time_signature = std::move(time_signature);
  measure.key_signature = std::move(key);
  return measure;
}

// A pitched note of the measure, or a rest when `midi` is none.
inline source_note note_at(std::size_t measure_index, std::int64_t start, std::int64_t duration,
                           std::optional<int> midi, std::string chord = "") {
  source_note note;
  note.measure_index = measure_index;
  note.start_tick = start;
  note.duration_ticks = duration;
  note.chord_symbol = std::move(chord);
  if (midi) {
    note.pitches = {{.midi = *midi}};
  } else {
    note.kind = "rest";
  }
  return note;
}

// Whole-note 4/4 measures in the key from tick 0, each holding one E4 with its chord symbol. With
// `pickup`, a chordless measure whose melody enters on beat 4 comes first.
inline source_score whole_note_song(const std::vector<std::string>& chords, bool pickup = false,
                                    const std::string& key = "C") {
  constexpr std::int64_t quarter = 4096;
  constexpr std::int64_t whole = 16384;
  source_score score;
  std::size_t index = 0;
  if (pickup) {
    score.measures.push_back(measure_at(0, whole, "4/4", key));
    score.notes.push_back(note_at(0, 0, 3 * quarter, std::nullopt));
    score.notes.push_back(note_at(0, 3 * quarter, quarter, 67));
    index = 1;
  }
  for (const auto& chord : chords) {
    const auto start = static_cast<std::int64_t>(index) * whole;
    score.measures.push_back(measure_at(start, whole, "4/4", key));
    score.notes.push_back(note_at(index, start, whole, 64, chord));
    ++index;
  }
  return score;
}

// A 4/4 song in C: a chordless pickup measure of a rest and then G4 from `entry` on, and
// `measures` measures of a chord cycle with a melody of a half note and two quarter notes.
inline source_score song_with_pickup(std::size_t measures, std::int64_t entry) {
  constexpr std::int64_t quarter = 4096;
  constexpr std::int64_t whole = 16384;
  constexpr std::array<const char*, 4> chords{"Dm7", "G7", "Cmaj7", "A7"};
  constexpr std::array<int, 6> melody{62, 65, 69, 67, 64, 60};
  source_score score;
  for (std::size_t index = 0; index <= measures; ++index) {
    score.measures.push_back(measure_at(static_cast<std::int64_t>(index) * whole));
  }
  score.notes.push_back(note_at(0, 0, entry, std::nullopt));
  score.notes.push_back(note_at(0, entry, whole - entry, 67));
  for (std::size_t index = 1; index <= measures; ++index) {
    const auto start = static_cast<std::int64_t>(index) * whole;
    const int pitch = melody[index % melody.size()];
    score.notes.push_back(note_at(index, start, 2 * quarter, pitch, chords[index % chords.size()]));
    score.notes.push_back(note_at(index, start + 2 * quarter, quarter, pitch + 2));
    score.notes.push_back(note_at(index, start + 3 * quarter, quarter, pitch - 3));
  }
  return score;
}

// The note with the chord symbol written on it.
inline source_note with_chord(source_note note, std::string symbol) {
  note.chord_symbol = std::move(symbol);
  return note;
}

// Appends a pitched note to the score, in the 4/4 measure its start falls in.
inline void add_note(source_score& score, std::int64_t start, std::int64_t duration, int midi,
                     const std::string& chord = "") {
  source_note note;
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = static_cast<std::size_t>(start / 16384);
  note.pitches = {{.midi = midi}};
  note.chord_symbol = chord;
  score.notes.push_back(note);
}

// The cycle of eight chords the long benchmark songs play, two chords a measure.
constexpr std::array<const char*, 8> chord_cycle{"Dm7",   "G7", "Cmaj7", "A7",
                                                 "Bm7b5", "E7", "Am7",   "D7"};

// `measures` 4/4 measures in C from tick 0, each of two half notes E4 carrying the next two chords
// of the cycle.
inline source_score chord_cycle_song(std::size_t measures) {
  constexpr std::int64_t whole = 16384;
  source_score score;
  for (std::size_t index = 0; index < measures; ++index) {
    const auto start = static_cast<std::int64_t>(index) * whole;
    score.measures.push_back(measure_at(start));
    for (std::size_t half = 0; half < 2; ++half) {
      score.notes.push_back(note_at(index, start + static_cast<std::int64_t>(half) * whole / 2,
                                    whole / 2, 64,
                                    chord_cycle[(2 * index + half) % chord_cycle.size()]));
    }
  }
  return score;
}

// Arrangement events

// An event over [start, start + duration) sounding the positions, with the chord symbol.
inline arrangement_event event_of(std::int64_t start, std::int64_t duration,
                                  std::vector<tab_position> positions = {},
                                  std::string symbol = "") {
  arrangement_event event;
  event.start_ticks = start;
  event.duration_ticks = duration;
  event.positions = std::move(positions);
  event.chord_symbol = std::move(symbol);
  return event;
}

// The start of each event, in order.
inline std::vector<std::int64_t> starts_of(const std::vector<arrangement_event>& events) {
  std::vector<std::int64_t> starts;
  for (const auto& event : events) starts.push_back(event.start_ticks);
  return starts;
}

// Style

// The profile of "Med. Swing": swing at a medium 132 beats a minute.
inline arrangement_style_profile med_swing() {
  return {comping_style_family::swing, false, false, 132};
}

// Chords

// The chord occurrences of the score's harmonic timeline, in time order.
inline std::vector<chord_occurrence> occurrences_of(const source_score& score) {
  std::vector<chord_occurrence> chords;
  for (const auto& span : build_harmonic_timeline(score).spans) chords.push_back(span.occurrence);
  return chords;
}

// An occurrence of the chord symbol, which must parse, over [start, end).
inline chord_occurrence occurrence(const std::string& symbol, std::int64_t start,
                                   std::int64_t end) {
  chord_occurrence result;
  result.chord = *parse_chord_symbol(symbol);
  result.symbol = symbol;
  result.start_tick = start;
  result.end_tick = end;
  return result;
}

}  // namespace score_fixtures
