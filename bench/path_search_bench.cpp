// The grip path search over long runs of anchors: chord anchors of 48 four-note fingered grips
// each, under the melody-line, acoustic comping and electric stab profiles, and melody anchors of
// 16 single-note candidates each under the melody-line profile. The counter `per_transition` is
// the time of one search divided by the transitions it prices.
#include "arrangement/melody_path.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <benchmark/benchmark.h>

#include "grip_fixtures.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

using grip_fixtures::chord_of;
using grip_fixtures::quality_suffixes;
using grip_fixtures::root_names;

constexpr std::size_t chord_anchor_count = 200;
constexpr std::size_t grips_per_chord_anchor = 48;
constexpr std::size_t melody_anchor_count = 400;

// Gaps between neighbouring anchors, from a sixteenth note to a half note, taken in turn.
constexpr std::array<std::int64_t, 5> gaps{4096, 2048, 1024, 8192, 3072};

// Gaps between melody notes: sixteenth, eighth and quarter notes, drawn with the pitches.
constexpr std::array<std::int64_t, 3> melody_gaps{1024, 2048, 4096};

// The four-note grips of a chord, continued with those of the next chords (in steps of seven
// roots and five qualities) until the anchor holds 48.
std::vector<grip_candidate> four_note_grips(std::size_t first_chord) {
  std::vector<grip_candidate> grips;
  for (std::size_t chord = first_chord; grips.size() < grips_per_chord_anchor; ++chord) {
    const auto root = static_cast<int>((chord * 7) % root_names.size());
    const char* suffix = quality_suffixes[(chord * 5) % quality_suffixes.size()];
    for (auto& candidate : chord_candidates(chord_of(root, suffix), false, false, false)) {
      if (candidate.positions.size() != 4) continue;
      if (grips.size() == grips_per_chord_anchor) break;
      grips.push_back(std::move(candidate));
    }
  }
  return grips;
}

const std::vector<arrangement_anchor>& chord_anchors() {
  static const std::vector<arrangement_anchor> anchors = [] {
    std::vector<arrangement_anchor> result;
    std::int64_t start = 0;
    for (std::size_t index = 0; index < chord_anchor_count; ++index) {
      arrangement_anchor anchor;
      anchor.start_ticks = start;
      anchor.candidates = four_note_grips(index);
      result.push_back(std::move(anchor));
      start += gaps[index % gaps.size()];
    }
    return result;
  }();
  return anchors;
}

// A melody wandering over F4 to Bb4 (MIDI 65 to 70), the pitches that strings 1 to 4 all reach
// with a fretted note: four places with four fingerings each.
const std::vector<arrangement_anchor>& melody_anchors() {
  static const std::vector<arrangement_anchor> anchors = [] {
    std::vector<arrangement_anchor> result;
    std::int64_t start = 0;
    std::uint32_t state = 12345;
    for (std::size_t index = 0; index < melody_anchor_count; ++index) {
      state = state * 1103515245u + 12345u;
      const int midi = 65 + static_cast<int>((state >> 16) % 6);
      arrangement_anchor anchor;
      anchor.start_ticks = start;
      for (const auto& position : positions_for_midi(midi, upper_melody_strings())) {
        for (auto& candidate : melody_candidates(position)) {
          add_unique_candidate(anchor.candidates, std::move(candidate));
        }
      }
      sort_candidates_by_score(anchor.candidates);
      result.push_back(std::move(anchor));
      start += melody_gaps[(state >> 8) % melody_gaps.size()];
    }
    return result;
  }();
  return anchors;
}

std::int64_t transition_count(const std::vector<arrangement_anchor>& anchors) {
  std::int64_t count = 0;
  for (std::size_t index = 1; index < anchors.size(); ++index) {
    count += static_cast<std::int64_t>(anchors[index - 1].candidates.size() *
                                       anchors[index].candidates.size());
  }
  return count;
}

void run_path_search(benchmark::State& state, const std::vector<arrangement_anchor>& anchors,
                     transition_profile profile) {
  for (auto _ : state) {
    auto path = selected_path(anchors, profile, std::nullopt, 4096);
    benchmark::DoNotOptimize(path);
  }
  state.counters["per_transition"] = benchmark::Counter(
      static_cast<double>(transition_count(anchors)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Argument: the transition profile (1 melody line, 2 acoustic comping, 3 electric stabs).
void chord_grip_path_bench(benchmark::State& state) {
  run_path_search(state, chord_anchors(), static_cast<transition_profile>(state.range(0)));
}
BENCHMARK(chord_grip_path_bench)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

void melody_path_bench(benchmark::State& state) {
  run_path_search(state, melody_anchors(), transition_profile::melody_line);
}
BENCHMARK(melody_path_bench)->Unit(benchmark::kMillisecond);

}  // namespace
