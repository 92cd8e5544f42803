// Comping voicings of common chords (triads, sevenths, ninths, half-diminished and slash chords)
// on every root. Per chord: the acoustic candidates of a chord, and the comping anchor of one
// chord anchor, one call per iteration walking through all the chords a whole number of times, so
// the time per iteration is the mean cost of one call. Per section: the comping anchors of a
// 16-measure section of two chords a measure, and the choice of one voicing per anchor, in every
// key; the same for electric stabs. Each label is a digest of the results over all chords or all
// keys: an optimisation must leave it unchanged.
#include "arrangement/comping_voicing.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/chords.hpp"
#include "arrangement/fretboard.hpp"
#include "arrangement/voicing.hpp"

#include <benchmark/benchmark.h>

#include "grip_fixtures.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

using grip_fixtures::chord_anchor_of;
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

// FNV-1a over the fields of candidates, anchors and grips, in order.
struct digest {
  std::uint64_t hash = 0xcbf29ce484222325ull;

  void mix(std::int64_t value) {
    hash = (hash ^ static_cast<std::uint64_t>(value)) * 0x100000001b3ull;
  }

  void mix(const std::vector<tab_position>& positions) {
    mix(static_cast<std::int64_t>(positions.size()));
    for (const auto& position : positions) {
      mix(position.string_number);
      mix(position.fret);
      mix(position.midi);
      mix(position.finger.value_or(-1));
    }
  }

  void mix(const std::vector<grip_candidate>& candidates) {
    mix(static_cast<std::int64_t>(candidates.size()));
    for (const auto& candidate : candidates) {
      for (const char character : candidate.label) mix(character);
      mix(candidate.score);
      mix(candidate.note_index);
      mix(candidate.melody_on_top);
      mix(candidate.contains_melody);
      mix(candidate.positions);
    }
  }

  void mix(const std::vector<arrangement_anchor>& anchors) {
    mix(static_cast<std::int64_t>(anchors.size()));
    for (const auto& anchor : anchors) {
      mix(anchor.start_ticks);
      mix(anchor.duration_ticks);
      for (const char character : anchor.chord_symbol) mix(character);
      mix(anchor.candidates);
    }
  }

  void mix(const std::vector<std::optional<acoustic_comping_grip>>& grips) {
    mix(static_cast<std::int64_t>(grips.size()));
    for (const auto& grip : grips) {
      mix(grip.has_value());
      if (!grip) continue;
      mix(grip->bass);
      mix(grip->upper);
      mix(grip->full);
    }
  }

  void mix(const std::vector<std::optional<electric_stab_grip>>& grips) {
    mix(static_cast<std::int64_t>(grips.size()));
    for (const auto& grip : grips) {
      mix(grip.has_value());
      if (grip) mix(grip->positions);
    }
  }

  void label(benchmark::State& state) const {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "digest %016llx",
                  static_cast<unsigned long long>(hash));
    state.SetLabel(text.data());
  }
};

std::uint64_t candidates_digest(const std::vector<parsed_chord>& chords) {
  digest result;
  for (const auto& chord : chords) result.mix(acoustic_comping_candidates_for_chord(chord));
  return result.hash;
}

// The grips of a chord anchor as the acoustic chord sections offer them: grips with a low bass
// under notes on strings 1 to 4, those over the chord's own bass first; else the grips on strings
// 2 to 6.
std::vector<grip_candidate> low_bass_grips(const parsed_chord& chord) {
  const int bass_pc = normalize_pc(chord.bass_pc.value_or(chord.root_pc));
  std::vector<grip_candidate> grips;
  for (auto candidate : chord_candidates(chord, false, false, false)) {
    const auto bass = lowest_position(candidate.positions);
    if (!bass || !is_low_chord_string(*bass)) continue;
    const bool upper_rest = std::all_of(
        candidate.positions.begin(), candidate.positions.end(),
        [&](const auto& p) { return same_tab_position(p, *bass) || p.string_number <= 4; });
    if (!upper_rest) continue;
    candidate.score -= normalize_pc(bass->midi) == bass_pc ? 12000 : 4000;
    grips.push_back(std::move(candidate));
  }
  if (grips.empty()) {
    for (auto& candidate : chord_candidates(chord, true, false, false)) {
      if (positions_use_chord_mode_strings(candidate.positions)) grips.push_back(candidate);
    }
  }
  sort_candidates_by_score(grips);
  return grips;
}

arrangement_anchor chord_anchor(const parsed_chord& chord, std::int64_t start) {
  return chord_anchor_of(chord, start, low_bass_grips(chord));
}

// The grips of an accompaniment anchor: the melody-mode grips on strings 1 to 4.
arrangement_anchor accompaniment_anchor(const parsed_chord& chord, std::int64_t start) {
  auto candidates = melody_mode_chord_candidates(chord, true, true);
  if (candidates.empty()) candidates = melody_mode_chord_candidates(chord, true, false);
  return chord_anchor_of(chord, start, std::move(candidates));
}

const std::vector<arrangement_anchor>& single_chord_anchors() {
  static const std::vector<arrangement_anchor> anchors = [] {
    std::vector<arrangement_anchor> result;
    for (const auto& chord : common_chords()) result.push_back(chord_anchor(chord, 0));
    return result;
  }();
  return anchors;
}

// Sixteen measures of two chords in a key, as a song's section has them: an eight-measure phrase
// played twice, the second time with its own last two measures. Each chord is its root's interval
// above the key, its suffix and its slash bass's interval above the key (-1 for none).
struct progression_chord {
  int root = 0;
  const char* suffix = "";
  int bass = -1;
};

constexpr std::array<progression_chord, 16> section_phrase{{
    {0, "maj7", -1},
    {9, "m7", -1},
    {2, "m9", -1},
    {7, "7", -1},
    {0, "", 4},
    {5, "maj7", -1},
    {11, "m7b5", -1},
    {4, "7b9", -1},
    {9, "m", -1},
    {9, "m7", 7},
    {2, "7", -1},
    {2, "m7", -1},
    {7, "7sus4", -1},
    {7, "9", -1},
    {0, "6", -1},
    {0, "7", -1},
}};

constexpr std::array<progression_chord, 4> section_ending{{
    {2, "m7", -1},
    {7, "7", -1},
    {0, "", 7},
    {0, "add9", -1},
}};

std::vector<progression_chord> section_progression() {
  std::vector<progression_chord> chords{section_phrase.begin(), section_phrase.end()};
  chords.insert(chords.end(), section_phrase.begin(), section_phrase.end() - 4);
  chords.insert(chords.end(), section_ending.begin(), section_ending.end());
  return chords;
}

std::vector<parsed_chord> section_chords(int key) {
  std::vector<parsed_chord> chords;
  for (const auto& entry : section_progression()) {
    auto symbol =
        std::string{root_names[static_cast<std::size_t>((key + entry.root) % 12)]} + entry.suffix;
    if (entry.bass >= 0) {
      symbol += std::string{"/"} + root_names[static_cast<std::size_t>((key + entry.bass) % 12)];
    }
    chords.push_back(*parse_chord_symbol(symbol));
  }
  return chords;
}

// The anchors `anchor_of` makes of the section's chords, two beats apart, in every key.
template <class anchor_function>
std::vector<std::vector<arrangement_anchor>> sections_in_every_key(
    const anchor_function& anchor_of) {
  std::vector<std::vector<arrangement_anchor>> result;
  for (int key = 0; key < 12; ++key) {
    std::vector<arrangement_anchor> anchors;
    std::int64_t start = 0;
    for (const auto& chord : section_chords(key)) {
      anchors.push_back(anchor_of(chord, start));
      start += 8192;
    }
    result.push_back(std::move(anchors));
  }
  return result;
}

// The chord anchors of the section in every key.
const std::vector<std::vector<arrangement_anchor>>& acoustic_sections() {
  static const auto sections = sections_in_every_key(chord_anchor);
  return sections;
}

const std::vector<std::vector<arrangement_anchor>>& accompaniment_sections() {
  static const auto sections = sections_in_every_key(accompaniment_anchor);
  return sections;
}

// The comping anchors of every section, made once for the selection alone.
const std::vector<std::vector<arrangement_anchor>>& acoustic_comping_sections() {
  static const std::vector<std::vector<arrangement_anchor>> sections = [] {
    std::vector<std::vector<arrangement_anchor>> result;
    for (const auto& anchors : acoustic_sections()) {
      result.push_back(acoustic_comping_anchors_for_anchors(anchors));
    }
    return result;
  }();
  return sections;
}

// The section's voicings continue from a grip an eighth before it.
std::vector<std::optional<acoustic_comping_grip>> select_section(
    const std::vector<arrangement_anchor>& comping_anchors) {
  const auto previous = std::vector<tab_position>{
      {5, 3, 48, 3}, {4, 2, 52, 2}, {3, 0, 55, std::nullopt}, {2, 1, 60, 1}};
  return selected_acoustic_comping_grips_for_anchors(comping_anchors, previous, 2048);
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

// One chord anchor per call.
void acoustic_comping_anchors_per_chord_bench(benchmark::State& state) {
  const auto& anchors = single_chord_anchors();
  std::size_t next = 0;
  for (auto _ : state) {
    auto comping = acoustic_comping_anchors_for_anchors({anchors[next]});
    benchmark::DoNotOptimize(comping);
    next = (next + 1) % anchors.size();
  }
  digest result;
  for (const auto& anchor : anchors) result.mix(acoustic_comping_anchors_for_anchors({anchor}));
  result.label(state);
}
BENCHMARK(acoustic_comping_anchors_per_chord_bench)
    ->Iterations(sweeps* chord_count)
    ->Unit(benchmark::kMicrosecond);

// The comping anchors of one 32-chord section per call, key after key.
void acoustic_comping_anchors_section_bench(benchmark::State& state) {
  const auto& sections = acoustic_sections();
  std::size_t next = 0;
  for (auto _ : state) {
    auto comping = acoustic_comping_anchors_for_anchors(sections[next]);
    benchmark::DoNotOptimize(comping);
    next = (next + 1) % sections.size();
  }
  digest result;
  for (const auto& anchors : sections) result.mix(acoustic_comping_anchors_for_anchors(anchors));
  result.label(state);
}
BENCHMARK(acoustic_comping_anchors_section_bench)
    ->Iterations(2 * 12)
    ->Unit(benchmark::kMillisecond);

// The voicing choice over one section's comping anchors per call.
void acoustic_comping_selection_section_bench(benchmark::State& state) {
  const auto& sections = acoustic_comping_sections();
  std::size_t next = 0;
  for (auto _ : state) {
    auto grips = select_section(sections[next]);
    benchmark::DoNotOptimize(grips);
    next = (next + 1) % sections.size();
  }
  digest result;
  for (const auto& anchors : sections) result.mix(select_section(anchors));
  result.label(state);
}
BENCHMARK(acoustic_comping_selection_section_bench)
    ->Iterations(4 * 12)
    ->Unit(benchmark::kMillisecond);

// Stab anchors and the stab choice of one section per call.
void electric_stab_section_bench(benchmark::State& state) {
  const auto& sections = accompaniment_sections();
  std::size_t next = 0;
  for (auto _ : state) {
    auto grips =
        selected_electric_stab_grips_for_anchors(electric_stab_anchors_for_anchors(sections[next]));
    benchmark::DoNotOptimize(grips);
    next = (next + 1) % sections.size();
  }
  digest result;
  for (const auto& anchors : sections) {
    const auto stab_anchors = electric_stab_anchors_for_anchors(anchors);
    result.mix(stab_anchors);
    result.mix(selected_electric_stab_grips_for_anchors(stab_anchors));
  }
  result.label(state);
}
BENCHMARK(electric_stab_section_bench)->Iterations(4 * 12)->Unit(benchmark::kMillisecond);

}  // namespace
