// The electric accompaniment of one sung section: sixteen 4/4 measures of two chords each under a
// melody of mixed note lengths, cut from the electric plan of the song as the section driver cuts
// it, in every key. Per iteration one section, key after key: the accompaniment anchors and the
// stab comping together, and the stab comping alone from ready anchors. Each label is a digest of
// the events of all keys: an optimisation must leave it unchanged.
#include "arrangement/comping_events.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/form.hpp"
#include "arrangement/source.hpp"

#include <benchmark/benchmark.h>

#include "grip_fixtures.hpp"
#include "score_fixtures.hpp"
#include "section_fixtures.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

using grip_fixtures::root_names;
using score_fixtures::med_swing;
using section_fixtures::first_planned_section;
using section_fixtures::part_plan_of;

constexpr std::int64_t measure_ticks = 16384;
constexpr std::size_t measure_count = 16;

// A chord of the progression: its root's interval above the key and its suffix.
struct progression_chord {
  int root = 0;
  const char* suffix = "";
};

// Two chords a measure, on beats 1 and 3.
constexpr std::array<progression_chord, 32> progression{{
    {0, "maj7"}, {9, "m7"},    {2, "m7"},   {7, "7"},    {4, "m7"}, {9, "7"},    {2, "m7"},
    {7, "7"},    {0, "6"},     {0, "7"},    {5, "maj7"}, {10, "7"}, {4, "m7b5"}, {9, "7b9"},
    {2, "m9"},   {7, "13"},    {0, "maj7"}, {9, "m7"},   {2, "m7"}, {7, "7"},    {4, "m7"},
    {9, "7"},    {2, "m7"},    {7, "7"},    {5, "maj7"}, {5, "m6"}, {4, "m7"},   {9, "7"},
    {2, "m7"},   {7, "7sus4"}, {0, "6"},    {0, "add9"},
}};

// The melody of each measure, note lengths in ticks, cycling.
const std::vector<std::vector<std::int64_t>>& rhythms() {
  static const std::vector<std::vector<std::int64_t>> table{
      {4096, 4096, 8192},
      {8192, 2048, 2048, 4096},
      {16384},
      {6144, 2048, 8192},
      {2048, 2048, 2048, 2048, 8192},
      {12288, 4096},
      {4096, 2048, 2048, 8192},
      {8192, 8192},
  };
  return table;
}

// The song in a key: a chord symbol on the melody note starting on beats 1 and 3.
source_score song_in(int key) {
  source_score score;
  for (std::size_t index = 0; index < measure_count; ++index) {
    source_measure measure;
    measure.id = "m" + std::to_string(index);
    measure.start_tick = static_cast<std::int64_t>(index) * measure_ticks;
    std::int64_t tick = measure.start_tick;
    int pitch = 65;
    for (const auto length : rhythms()[index % rhythms().size()]) {
      source_note note;
      note.id = measure.id;
      note.id.append(std::to_string(tick));
      note.start_tick = tick;
      note.duration_ticks = length;
      note.measure_index = index;
      note.pitches = {{.midi = pitch}};
      pitch = pitch == 72 ? 65 : pitch + 2;
      const auto offset = tick - measure.start_tick;
      if (offset == 0 || offset == measure_ticks / 2) {
        const auto& chord = progression[2 * index + (offset == 0 ? 0 : 1)];
        note.chord_symbol = root_names[static_cast<std::size_t>((key + chord.root) % 12)];
        note.chord_symbol.append(chord.suffix);
      }
      score.notes.push_back(std::move(note));
      tick += length;
    }
    score.measures.push_back(std::move(measure));
  }
  return score;
}

// The first sung section of the song's electric plan, cut as the section driver cuts it.
struct accompaniment_section {
  source_score slice;
  section_plan plan;
  std::vector<arrangement_anchor> anchors;
};

accompaniment_section section_in(int key) {
  const auto source = song_in(key);
  const auto profile = med_swing();
  const auto part = part_plan_of(source, profile, orvanta::arrangement_part_type::electric,
                                 orvanta::arrangement_part_type::electric);
  accompaniment_section section;
  if (const auto found = first_planned_section(source, part, [](const section_plan& plan) {
        return plan.type == arrangement_section_type::vocal_melody_1;
      })) {
    section.plan = found->plan;
    section.slice = found->slice;
  }
  std::vector<orvanta::arrangement_message> messages;
  section.anchors = build_accompaniment_anchors(section.slice, profile, messages);
  return section;
}

const std::vector<accompaniment_section>& sections() {
  static const std::vector<accompaniment_section> result = [] {
    std::vector<accompaniment_section> all;
    for (int key = 0; key < 12; ++key) all.push_back(section_in(key));
    return all;
  }();
  return result;
}

std::vector<arrangement_event> stabs_of(const accompaniment_section& section,
                                        const std::vector<arrangement_anchor>& anchors) {
  return melody_accompaniment_comping_events(section.slice, med_swing(), anchors, 1, section.plan,
                                             nullptr);
}

std::vector<arrangement_event> anchors_and_stabs_of(const accompaniment_section& section) {
  std::vector<orvanta::arrangement_message> messages;
  return stabs_of(section, build_accompaniment_anchors(section.slice, med_swing(), messages));
}

// FNV-1a over the events of every key, in order, and their number.
void label_with_digest(benchmark::State& state) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  const auto mix = [&](std::int64_t value) {
    hash = (hash ^ static_cast<std::uint64_t>(value)) * 0x100000001b3ull;
  };
  std::size_t count = 0;
  for (const auto& section : sections()) {
    const auto events = anchors_and_stabs_of(section);
    count += events.size();
    mix(static_cast<std::int64_t>(events.size()));
    for (const auto& event : events) {
      mix(event.start_ticks);
      mix(event.duration_ticks);
      for (const char character : event.chord_symbol) mix(character);
      for (const auto& position : event.positions) {
        mix(position.string_number);
        mix(position.fret);
        mix(position.finger.value_or(-1));
      }
    }
  }
  std::array<char, 48> text{};
  std::snprintf(text.data(), text.size(), "digest %016llx, %zu events",
                static_cast<unsigned long long>(hash), count);
  state.SetLabel(text.data());
}

// Anchors and stabs of one section per call.
void electric_accompaniment_section_bench(benchmark::State& state) {
  const auto& all = sections();
  std::size_t next = 0;
  for (auto _ : state) {
    auto events = anchors_and_stabs_of(all[next]);
    benchmark::DoNotOptimize(events);
    next = (next + 1) % all.size();
  }
  label_with_digest(state);
}
BENCHMARK(electric_accompaniment_section_bench)->Iterations(2 * 12)->Unit(benchmark::kMillisecond);

// The stabs of one section per call, from its ready anchors.
void electric_stab_comping_section_bench(benchmark::State& state) {
  const auto& all = sections();
  std::size_t next = 0;
  for (auto _ : state) {
    auto events = stabs_of(all[next], all[next].anchors);
    benchmark::DoNotOptimize(events);
    next = (next + 1) % all.size();
  }
  label_with_digest(state);
}
BENCHMARK(electric_stab_comping_section_bench)->Iterations(2 * 12)->Unit(benchmark::kMillisecond);

}  // namespace
