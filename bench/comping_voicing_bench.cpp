// Acoustic comping voicings of common chords (triads, sevenths, ninths, half-diminished and slash
// chords) on every root: one call per iteration, walking through all the chords a whole number of
// times, so the time per iteration is the mean cost of one call. The label is a digest of every
// candidate list over those chords: an optimisation must leave it unchanged.
#include "arrangement/comping_voicing.hpp"

#include "arrangement/chords.hpp"

#include <benchmark/benchmark.h>

#include "grip_fixtures.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

using grip_fixtures::root_names;

constexpr std::array<const char*, 22> common_suffixes{
    "",  "m",  "dim",   "+",     "sus4", "sus2", "7",  "maj7", "m7",  "m7b5", "dim7",
    "6", "m6", "mmaj7", "7sus4", "9",    "maj9", "m9", "7b9",  "7#9", "add9", "69"};

// A chord over a slash bass that many interval above its root.
constexpr std::array<std::pair<const char*, int>, 6> slash_chords{
    {{"", 4}, {"", 7}, {"m", 7}, {"7", 4}, {"m7", 10}, {"maj7", 7}}};

constexpr std::size_t chord_count = (common_suffixes.size() + slash_chords.size()) * 12;
constexpr std::size_t sweeps = 2;

const std::vector<parsed_chord>& common_chords() {
  static const std::vector<parsed_chord> chords = [] {
    std::vector<parsed_chord> result;
    for (std::size_t root = 0; root < root_names.size(); ++root) {
      for (const char* suffix : common_suffixes) {
        result.push_back(*parse_chord_symbol(std::string{root_names[root]} + suffix));
      }
      for (const auto& [suffix, interval] : slash_chords) {
        const auto bass = root_names[(root + static_cast<std::size_t>(interval)) % 12];
        result.push_back(*parse_chord_symbol(std::string{root_names[root]} + suffix + "/" + bass));
      }
    }
    return result;
  }();
  return chords;
}

// FNV-1a over every field of every candidate of every chord, in order.
std::uint64_t candidates_digest(const std::vector<parsed_chord>& chords) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  const auto mix = [&hash](std::int64_t value) {
    hash = (hash ^ static_cast<std::uint64_t>(value)) * 0x100000001b3ull;
  };
  for (const auto& chord : chords) {
    const auto candidates = acoustic_comping_candidates_for_chord(chord);
    mix(static_cast<std::int64_t>(candidates.size()));
    for (const auto& candidate : candidates) {
      for (const char character : candidate.label) mix(character);
      mix(candidate.score);
      mix(candidate.note_index);
      mix(candidate.melody_on_top);
      mix(candidate.contains_melody);
      for (const auto& position : candidate.positions) {
        mix(position.string_number);
        mix(position.fret);
        mix(position.midi);
        mix(position.finger.value_or(-1));
      }
    }
  }
  return hash;
}

void acoustic_comping_candidates_bench(benchmark::State& state) {
  const auto& chords = common_chords();
  std::size_t next = 0;
  for (auto _ : state) {
    auto candidates = acoustic_comping_candidates_for_chord(chords[next]);
    benchmark::DoNotOptimize(candidates);
    next = (next + 1) % chords.size();
  }
  std::array<char, 32> digest{};
  std::snprintf(digest.data(), digest.size(), "digest %016llx",
                static_cast<unsigned long long>(candidates_digest(chords)));
  state.SetLabel(digest.data());
}
BENCHMARK(acoustic_comping_candidates_bench)
    ->Iterations(sweeps* chord_count)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
