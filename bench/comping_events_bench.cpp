// Acoustic chord-mode comping of one chords section: sixteen 4/4 measures of two chords each
// under a melody of two quarter notes and a half note, with four four-measure phrases (base,
// variation, response, cadence), in every key. One call per iteration, key after key: the chord
// anchors of the section and their comping events, with a debug trace. The label is a digest of
// the events and the trace records over all keys: an optimisation must leave it unchanged.
#include "arrangement/comping_events.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/source.hpp"

#include <benchmark/benchmark.h>

#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"
#include "section_fixtures.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using score_fixtures::measure_at;
using score_fixtures::note_at;

using grip_fixtures::root_names;
using score_fixtures::med_swing;
using section_fixtures::section_trace_of;

constexpr std::int64_t whole = 16384;
constexpr std::size_t measure_count = 16;

// The chords of the section: each its root's interval above the key, its suffix and its slash
// bass's interval above the key (-1 for none), two to a measure.
struct progression_chord {
  int root = 0;
  const char* suffix = "";
  int bass = -1;
};

constexpr std::array<progression_chord, 32> section_progression{{
    {0, "maj7", -1}, {9, "m7", -1},    {2, "m9", -1},    {7, "7", -1},   {0, "", 4},
    {5, "maj7", -1}, {11, "m7b5", -1}, {4, "7b9", -1},   {9, "m", -1},   {9, "m7", 7},
    {2, "7", -1},    {2, "m7", -1},    {7, "7sus4", -1}, {7, "9", -1},   {0, "6", -1},
    {0, "7", -1},    {0, "maj7", -1},  {9, "m7", -1},    {2, "m9", -1},  {7, "7", -1},
    {0, "", 4},      {5, "maj7", -1},  {11, "m7b5", -1}, {4, "7b9", -1}, {9, "m", -1},
    {9, "m7", 7},    {2, "7", -1},     {2, "m7", -1},    {2, "m7", -1},  {7, "7", -1},
    {0, "", 7},      {0, "add9", -1},
}};

std::string symbol_in_key(const progression_chord& chord, int key) {
  std::string symbol = root_names[static_cast<std::size_t>((key + chord.root) % 12)];
  symbol += chord.suffix;
  if (chord.bass >= 0) {
    symbol += "/";
    symbol += root_names[static_cast<std::size_t>((key + chord.bass) % 12)];
  }
  return symbol;
}

source_score section_score(int key) {
  source_score score;
  for (std::size_t measure = 0; measure < measure_count; ++measure) {
    const auto start = static_cast<std::int64_t>(measure) * whole;
    score.measures.push_back(measure_at(start));
    const int tonic = 60 + key % 12;
    score.notes.push_back(note_at(measure, start, 4096, tonic + 4,
                                  symbol_in_key(section_progression[2 * measure], key)));
    score.notes.push_back(note_at(measure, start + 4096, 4096, tonic + 2));
    score.notes.push_back(note_at(measure, start + 8192, 8192, tonic + 7,
                                  symbol_in_key(section_progression[2 * measure + 1], key)));
  }
  return score;
}

// Four phrases of four measures: base, variation, response (its last measure a response
// window) and cadence.
section_plan four_phrase_plan() {
  section_plan plan;
  plan.section.role = full_arrangement_section_role::chords;
  const std::array<phrase_rhythm_intent, 4> intents{
      phrase_rhythm_intent::base, phrase_rhythm_intent::variation, phrase_rhythm_intent::response,
      phrase_rhythm_intent::cadence};
  for (std::int32_t index = 0; index < 4; ++index) {
    phrase_instance_plan phrase;
    phrase.source_phrase = index;
    phrase.index = index;
    phrase.range = {index * 4 * whole, (index + 1) * 4 * whole};
    phrase.rhythm_intent = intents[static_cast<std::size_t>(index)];
    if (phrase.rhythm_intent == phrase_rhythm_intent::response) {
      phrase.response_windows = {{phrase.range.end - whole, phrase.range.end}};
    }
    plan.phrases.push_back(std::move(phrase));
  }
  return plan;
}

const std::vector<source_score>& section_scores() {
  static const std::vector<source_score> scores = [] {
    std::vector<source_score> result;
    for (int key = 0; key < 12; ++key) result.push_back(section_score(key));
    return result;
  }();
  return scores;
}

struct comped_section {
  std::vector<arrangement_event> events;
  section_debug_trace trace;
};

std::vector<arrangement_anchor> chord_anchors(const source_score& score) {
  std::vector<orvanta::arrangement_message> messages;
  return build_chord_anchors(score, med_swing(), messages);
}

// The section's grips continue from a C chord an eighth before it.
comped_section comp_anchors(const source_score& score,
                            const std::vector<arrangement_anchor>& anchors,
                            const section_plan& plan) {
  auto trace = section_trace_of(plan);
  const auto previous = std::vector<tab_position>{
      {5, 3, 48, 3}, {4, 2, 52, 2}, {3, 0, 55, std::nullopt}, {2, 1, 60, 1}};
  auto events =
      chord_mode_comping_events(score, med_swing(), anchors, 1, previous, 2048, plan, &trace);
  return {std::move(events), std::move(trace)};
}

comped_section comp_section(const source_score& score, const section_plan& plan) {
  return comp_anchors(score, chord_anchors(score), plan);
}

// FNV-1a over the fields of events and trace records, in order.
struct digest {
  std::uint64_t hash = 0xcbf29ce484222325ull;

  void mix(std::int64_t value) {
    hash = (hash ^ static_cast<std::uint64_t>(value)) * 0x100000001b3ull;
  }

  void mix(const std::string& text) {
    mix(static_cast<std::int64_t>(text.size()));
    for (const char character : text) mix(character);
  }

  void mix(const comped_section& section) {
    mix(static_cast<std::int64_t>(section.events.size()));
    for (const auto& event : section.events) {
      mix(event.start_ticks);
      mix(event.duration_ticks);
      mix(event.chord_symbol);
      mix(static_cast<std::int64_t>(event.positions.size()));
      for (const auto& position : event.positions) {
        mix(position.string_number);
        mix(position.fret);
        mix(position.midi);
        mix(position.finger.value_or(-1));
      }
    }
    for (const auto& record : section.trace.phrases) {
      mix(record.resolved_cell);
      mix(static_cast<std::int64_t>(record.events));
      mix(static_cast<std::int64_t>(record.optional_events));
      mix(static_cast<std::int64_t>(record.response_window_hits));
    }
  }
};

// Chord anchors and comping events of one 32-chord section per call, key after key.
void acoustic_chord_section_bench(benchmark::State& state) {
  const auto& scores = section_scores();
  const auto plan = four_phrase_plan();
  std::size_t next = 0;
  for (auto _ : state) {
    auto section = comp_section(scores[next], plan);
    benchmark::DoNotOptimize(section);
    next = (next + 1) % scores.size();
  }
  digest result;
  std::size_t events = 0;
  for (const auto& score : scores) {
    const auto section = comp_section(score, plan);
    result.mix(section);
    events += section.events.size();
  }
  std::array<char, 64> label{};
  std::snprintf(label.data(), label.size(), "digest %016llx, %zu events",
                static_cast<unsigned long long>(result.hash), events);
  state.SetLabel(label.data());
}
BENCHMARK(acoustic_chord_section_bench)->Iterations(2 * 12)->Unit(benchmark::kMillisecond);

// The two halves of the call above: the chord anchors alone, and the comping of anchors built
// beforehand.
void acoustic_chord_anchors_section_bench(benchmark::State& state) {
  const auto& scores = section_scores();
  std::size_t next = 0;
  for (auto _ : state) {
    auto anchors = chord_anchors(scores[next]);
    benchmark::DoNotOptimize(anchors);
    next = (next + 1) % scores.size();
  }
}
BENCHMARK(acoustic_chord_anchors_section_bench)->Iterations(2 * 12)->Unit(benchmark::kMillisecond);

void acoustic_chord_comping_section_bench(benchmark::State& state) {
  const auto& scores = section_scores();
  std::vector<std::vector<arrangement_anchor>> anchors;
  for (const auto& score : scores) anchors.push_back(chord_anchors(score));
  const auto plan = four_phrase_plan();
  std::size_t next = 0;
  for (auto _ : state) {
    auto section = comp_anchors(scores[next], anchors[next], plan);
    benchmark::DoNotOptimize(section);
    next = (next + 1) % scores.size();
  }
}
BENCHMARK(acoustic_chord_comping_section_bench)->Iterations(2 * 12)->Unit(benchmark::kMillisecond);

}  // namespace
