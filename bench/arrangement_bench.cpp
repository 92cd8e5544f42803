// Whole arrangements through the engine's entry point, as the arrange route runs them on the
// service's one event-loop thread: a lead sheet of 4/4 measures with two chords per measure and a
// melody of eighths and quarters, in a swing and a bossa style, for the electric and acoustic parts
// with solos and for the vocal part; 32, 64 and 128 measures show how the cost grows. The counter
// `per_measure` is the time of one arrangement divided by the source's measures, so equal values
// across lengths mean linear growth; the label is a digest of the arranged document (FNV-1a 64 of
// its JSON text), which must stay the same when the engine is made faster.
#include "arrangement.hpp"

#include <benchmark/benchmark.h>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

namespace json = boost::json;
using orvanta::arrangement_part_type;

// Two chords per measure, a ii-V-I turnaround and its relative minor, in C.
constexpr std::array<const char*, 16> chords{"Dm7",   "G7",    "Cmaj7", "A7", "Dm7", "G7",
                                             "Cmaj7", "Cmaj7", "Bm7b5", "E7", "Am7", "D7",
                                             "Dm7",   "G7",    "C6",    "C6"};

// The melody's rhythm per measure: a quarter and two eighths on each half.
constexpr std::array<std::int64_t, 6> rhythm{4096, 2048, 2048, 4096, 2048, 2048};

// A walk over the C major scale from C5 down to A4 and up again.
struct scale_step {
  const char* letter;
  int octave;
};
constexpr std::array<scale_step, 8> walk{
    {{"c", 5}, {"b", 4}, {"a", 4}, {"g", 4}, {"a", 4}, {"b", 4}, {"c", 5}, {"d", 5}}};

json::object sung_note(std::size_t number, std::int64_t ticks, const char* chord) {
  const auto& step = walk[number % walk.size()];
  json::object note{
      {"id", "note-" + std::to_string(number + 1)},
      {"kind", "note"},
      {"duration_ticks", ticks},
      {"pitches",
       json::array{{{"letter", step.letter}, {"octave", step.octave}, {"accidental", "n"}}}}};
  if (chord != nullptr) note["chord_symbol"] = chord;
  return note;
}

json::value lead_sheet(std::size_t measure_count, const char* style) {
  json::array measures;
  std::size_t note_number = 0;
  for (std::size_t index = 0; index < measure_count; ++index) {
    json::array notes;
    for (std::size_t beat = 0; beat < rhythm.size(); ++beat) {
      const char* chord = nullptr;
      if (beat == 0) chord = chords[(2 * index) % chords.size()];
      if (beat == 3) chord = chords[(2 * index + 1) % chords.size()];
      notes.push_back(sung_note(note_number++, rhythm[beat], chord));
    }
    json::object measure{
        {"id", "measure-" + std::to_string(index + 1)},
        {"time_signature", "4/4"},
        {"key_signature", "C"},
        {"voices", json::array{{{"id", "voice-1"}, {"notes", notes}, {"tuplets", json::array{}}}}}};
    if (index % 8 == 0)
      measure["section_label"] = std::string(1, static_cast<char>('A' + index / 8 % 26));
    measures.push_back(std::move(measure));
  }
  json::object staff{{"id", "staff-vocal"},
                     {"name", "Vocal"},
                     {"clef", "treble"},
                     {"role", "vocal"},
                     {"measures", measures}};
  json::object metadata{{"title", "Bench"},
                        {"composer", "Orvanta"},
                        {"key_signature", "C"},
                        {"time_signature", "4/4"},
                        {"style", style}};
  return json::object{{"version", 1}, {"metadata", metadata}, {"staves", json::array{staff}}};
}

std::string digest_of(const json::value& document) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char byte : json::serialize(document)) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

constexpr std::array<const char*, 2> styles{"Med. Swing", "Bossa Nova"};

// Arguments: part type (0 electric, 1 acoustic, 2 vocal), style (0 swing, 1 bossa), measures.
void bm_arrangement(benchmark::State& state) {
  const auto part = static_cast<arrangement_part_type>(state.range(0));
  const auto measures = static_cast<std::size_t>(state.range(2));
  const auto document = lead_sheet(measures, styles[static_cast<std::size_t>(state.range(1))]);
  const orvanta::arrangement_options options{.assist = false,
                                             .solo = part != arrangement_part_type::vocal};
  orvanta::arrangement_result result;
  for (auto _ : state) {
    result = orvanta::arrange_guitar_score(document, part, options);
    benchmark::DoNotOptimize(result);
  }
  bool failed = false;
  for (const auto& message : result.messages) failed = failed || message.level == "error";
  if (failed) state.SkipWithError("the arrangement reported an error");
  state.counters["per_measure"] = benchmark::Counter(
      static_cast<double>(measures),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.SetLabel(std::string(orvanta::to_string(part)) + " " + digest_of(result.document));
}

BENCHMARK(bm_arrangement)
    ->ArgNames({"part", "style", "measures"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {32}})
    ->Unit(benchmark::kMillisecond);

// The growth with the length of the song, swing style.
BENCHMARK(bm_arrangement)
    ->Name("bm_arrangement_growth")
    ->ArgNames({"part", "style", "measures"})
    ->ArgsProduct({{0, 1, 2}, {0}, {32, 64, 128}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
