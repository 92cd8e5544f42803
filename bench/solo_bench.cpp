// One solo section from start to finish: the improvised solo over a 32-measure 4/4 song with two
// chords a measure, fretted and turned into events, for the acoustic and the electric sound. The
// digest counter is a hash of every event, to compare results across changes.
#include "arrangement/solo.hpp"

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/generation.hpp"
#include "arrangement/source.hpp"

#include <benchmark/benchmark.h>

#include "score_fixtures.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using score_fixtures::chord_cycle;

constexpr std::int64_t quarter = 4096;
constexpr std::int64_t whole = 16384;
constexpr std::size_t measure_count = 32;

// Each measure: a half note and two quarter notes (every fourth measure a quarter and a dotted
// half), the melody walking around E4; two chords a measure.
source_score song() {
  source_score score;
  constexpr std::array<int, 7> melody{64, 67, 65, 62, 60, 64, 69};
  std::size_t pitch = 0;
  for (std::size_t index = 0; index < measure_count; ++index) {
    source_measure measure;
    measure.time_signature = "4/4";
    measure.key_signature = "C";
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    measure.capacity_ticks = whole;
    score.measures.push_back(measure);
    const std::vector<std::int64_t> lengths =
        index % 4 == 3 ? std::vector<std::int64_t>{quarter, 3 * quarter}
                       : std::vector<std::int64_t>{2 * quarter, quarter, quarter};
    std::int64_t offset = 0;
    for (const auto length : lengths) {
      source_note note;
      note.kind = "note";
      note.measure_index = index;
      note.start_tick = measure.start_tick + offset;
      note.duration_ticks = length;
      note.pitches = {{.midi = melody[pitch++ % melody.size()]}};
      // The second chord sounds from beat 3, or from beat 2 on a dotted half note.
      if (offset == 0 || offset == 2 * quarter || length == 3 * quarter) {
        note.chord_symbol = chord_cycle[(2 * index + (offset == 0 ? 0 : 1)) % chord_cycle.size()];
      }
      score.notes.push_back(note);
      offset += length;
    }
  }
  return score;
}

std::uint32_t mix_digest(std::uint32_t digest, std::int64_t value) {
  return (digest ^ static_cast<std::uint32_t>(value)) * 16777619u;
}

std::uint32_t digest_of(const generated_guitar_events& generated) {
  std::uint32_t digest = 2166136261u;
  for (const auto& event : generated.events) {
    digest = mix_digest(digest, event.start_ticks);
    digest = mix_digest(digest, event.duration_ticks);
    for (const auto& position : event.positions) {
      digest = mix_digest(
          digest, position.string_number * 1000 + position.fret * 10 + position.finger.value_or(0));
    }
    digest = mix_digest(digest, static_cast<std::int64_t>(event.chord_symbol.size()));
  }
  return mix_digest(digest, generated.playable ? 1 : 0);
}

void solo_section(benchmark::State& state, guitar_solo_profile profile) {
  const auto score = song();
  const auto style = arrangement_style_profile_for("Med. Swing");
  std::uint32_t digest = 0;
  std::size_t events = 0;
  for (auto _ : state) {
    std::vector<orvanta::arrangement_message> messages;
    const auto generated = generated_solo_events_for_source(score, style, messages, profile, 3);
    digest = digest_of(generated);
    events = generated.events.size();
    benchmark::DoNotOptimize(digest);
  }
  state.counters["digest"] = digest;
  state.counters["events"] = static_cast<double>(events);
}

void bm_acoustic_solo_section(benchmark::State& state) {
  solo_section(state, guitar_solo_profile::acoustic);
}
BENCHMARK(bm_acoustic_solo_section)->Unit(benchmark::kMillisecond);

void bm_electric_solo_section(benchmark::State& state) {
  solo_section(state, guitar_solo_profile::electric);
}
BENCHMARK(bm_electric_solo_section)->Unit(benchmark::kMillisecond);

}  // namespace
