#include "arrangement/arrangement_analysis.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;

constexpr std::int64_t whole = 16384;

// 4/4 measures, gapless from tick 0.
source_score measures_of(std::size_t count) {
  source_score score;
  for (std::size_t index = 0; index < count; ++index) {
    source_measure measure;
    measure.start_tick = static_cast<std::int64_t>(index) * whole;
    score.measures.push_back(std::move(measure));
  }
  return score;
}

source_note chord_note(std::string symbol, std::int64_t start, std::size_t measure_index,
                       std::string kind = "note") {
  source_note note;
  note.kind = std::move(kind);
  note.chord_symbol = std::move(symbol);
  note.start_tick = start;
  note.duration_ticks = 1024;
  note.measure_index = measure_index;
  if (note.kind == "note") note.pitches = {{.midi = 60}};
  return note;
}

TEST(arrangement_analysis_test, no_chord_symbols_give_an_empty_timeline) {
  EXPECT_EQ(build_harmonic_timeline({}), harmonic_timeline{});
  auto score = measures_of(2);
  score.notes = {chord_note("", 0, 0), chord_note("", 4096, 0, "rest")};
  EXPECT_EQ(build_harmonic_timeline(score), harmonic_timeline{});
}

// Chords listed out of time order, on a rest and beside symbols that do not parse.
TEST(arrangement_analysis_test, spans_run_in_time_order_and_parse_issues_stay_in_note_order) {
  auto score = measures_of(3);
  score.notes = {
      chord_note("F", whole, 1),           // 0
      chord_note("C", 0, 0, "rest"),       // 1: a rest may carry the chord
      chord_note("H7", whole + 4096, 1),   // 2: no root letter
      chord_note("   ", 4096, 0),          // 3: blanks are a symbol, not none
      chord_note("7", 8192, 0),            // 4
      chord_note("C/X", whole + 8192, 1),  // 5: unreadable bass, still a chord
      chord_note("", 12288, 0),            // 6
  };
  const auto timeline = build_harmonic_timeline(score);

  ASSERT_EQ(timeline.spans.size(), 3u);
  const auto expect_span = [&](std::size_t k, std::size_t note_index, std::int64_t start,
                               std::int64_t end, std::size_t measure_index) {
    const auto& span = timeline.spans[k];
    const auto& note = score.notes[note_index];
    EXPECT_EQ(span.start_tick, start) << k;
    EXPECT_EQ(span.end_tick, end) << k;
    EXPECT_EQ(span.measure_index, measure_index) << k;
    EXPECT_EQ(span.occurrence,
              (chord_occurrence{note_index, start, end, *parse_chord_symbol(note.chord_symbol),
                                note.chord_symbol}))
        << k;
  };
  expect_span(0, 1, 0, whole, 0);
  expect_span(1, 0, whole, whole + 8192, 1);
  expect_span(2, 5, whole + 8192, 3 * whole, 1);
  EXPECT_EQ(timeline.spans[2].occurrence.chord.root_pc, 0);
  EXPECT_EQ(timeline.spans[2].occurrence.chord.bass_pc, std::nullopt);

  EXPECT_EQ(timeline.parse_issues, (std::vector<harmonic_parse_issue>{
                                       {whole + 4096, 2, "H7"}, {4096, 3, "   "}, {8192, 4, "7"}}));
}

TEST(arrangement_analysis_test, span_lengths_decide_sustain_cadence_and_harmonic_rhythm) {
  struct expected_span {
    std::int64_t start;
    std::int64_t end;
    bool sustained;
    double cadence_weight;
    double harmonic_rhythm;
  };
  struct row {
    const char* name;
    std::size_t measures;
    std::vector<std::int64_t> chord_starts;
    std::vector<expected_span> spans;
  };
  const row rows[] = {
      {"one chord over a measure", 1, {0}, {{0, whole, true, 1.0, 1.0}}},
      {"chords on beats 1 and 3",
       1,
       {0, 8192},
       {{0, 8192, true, 0.0, 1.0}, {8192, whole, true, 1.0, 1.0}}},
      {"a quarter is sustained, a tick less is not",
       1,
       {0, 4096, 8191},
       {{0, 4096, true, 0.0, 1.0}, {4096, 8191, false, 0.0, 1.0}, {8191, whole, true, 1.0, 1.0}}},
      {"held over two measures to the source end", 2, {0}, {{0, 2 * whole, true, 1.0, 0.5}}},
      {"held for a dotted whole note",
       2,
       {0, 24576},
       {{0, 24576, true, 0.0, 16384.0 / 24576.0}, {24576, 2 * whole, true, 1.0, 1.0}}},
      {"two chords at one tick, by note index",
       1,
       {0, 0},
       {{0, 0, false, 0.0, 1.0}, {0, whole, true, 1.0, 1.0}}},
  };
  for (const auto& row : rows) {
    auto score = measures_of(row.measures);
    for (const auto start : row.chord_starts) {
      score.notes.push_back(chord_note("C", start, static_cast<std::size_t>(start / whole)));
    }
    const auto timeline = build_harmonic_timeline(score);
    ASSERT_EQ(timeline.spans.size(), row.spans.size()) << row.name;
    for (std::size_t k = 0; k < row.spans.size(); ++k) {
      const auto& span = timeline.spans[k];
      const auto& expected = row.spans[k];
      EXPECT_EQ(span.occurrence.note_index, k) << row.name << ", span " << k;
      EXPECT_EQ(span.start_tick, expected.start) << row.name << ", span " << k;
      EXPECT_EQ(span.end_tick, expected.end) << row.name << ", span " << k;
      EXPECT_EQ(span.occurrence.end_tick, expected.end) << row.name << ", span " << k;
      EXPECT_EQ(span.sustained, expected.sustained) << row.name << ", span " << k;
      EXPECT_EQ(span.cadence_weight, expected.cadence_weight) << row.name << ", span " << k;
      EXPECT_DOUBLE_EQ(span.harmonic_rhythm, expected.harmonic_rhythm)
          << row.name << ", span " << k;
    }
  }
}

// Identity hashing and the source fingerprint

TEST(arrangement_analysis_test, fnv1a_64_matches_the_published_vectors) {
  EXPECT_EQ(fnv1a_64_bytes(fnv1a_64_offset_basis, ""), 0xcbf29ce484222325u);
  EXPECT_EQ(fnv1a_64_bytes(fnv1a_64_offset_basis, "a"), 0xaf63dc4c8601ec8cu);
  EXPECT_EQ(fnv1a_64_bytes(fnv1a_64_offset_basis, "foobar"), 0x85944171f73967e8u);
  EXPECT_EQ(fnv1a_64_text(fnv1a_64_offset_basis, "a"),
            fnv1a_64_byte(fnv1a_64_bytes(fnv1a_64_offset_basis, "a"), 0xff));
  // -2 is 0xfe and seven bytes 0xff, least significant first.
  auto expected = fnv1a_64_byte(fnv1a_64_offset_basis, 0xfe);
  for (int k = 0; k < 7; ++k) expected = fnv1a_64_byte(expected, 0xff);
  EXPECT_EQ(fnv1a_64_int64(fnv1a_64_offset_basis, -2), expected);
}

// The byte stream of a one-measure, one-note source written out by hand, hashed with a plain
// FNV-1a loop.
TEST(arrangement_analysis_test, fingerprint_hashes_the_documented_byte_stream) {
  std::vector<std::uint8_t> bytes;
  const auto text = [&](std::string_view value) {
    bytes.insert(bytes.end(), value.begin(), value.end());
    bytes.push_back(0xff);
  };
  const auto int64 = [&](std::uint64_t value) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
  };
  text("orvanta-arrangement-source-v1");
  int64(5);                  // even8ths
  bytes.push_back(1);        // fast
  bytes.push_back(0);        // slow
  int64(~std::uint64_t{0});  // tempo -1, sign-extended
  text("measure");
  text("4/4");
  text("C");
  int64(16384);
  text("note");
  text("note");
  text("");
  text("");
  int64(0);
  int64(4096);
  int64(~std::uint64_t{0});  // no display ticks
  int64(0);
  bytes.push_back(0);
  bytes.push_back(0);
  text("");
  text("pitch");
  text("c");
  text("");
  int64(4);
  int64(60);
  std::uint64_t expected = 0xcbf29ce484222325u;
  for (const auto byte : bytes) expected = (expected ^ byte) * 0x100000001b3u;

  auto score = measures_of(1);
  source_note note;
  note.pitches = {{.letter = "c", .octave = 4, .accidental = "", .midi = 60}};
  score.notes = {note};
  const arrangement_style_profile profile{comping_style_family::even8ths, true, false, -1};
  EXPECT_EQ(normalized_source_fingerprint(score, profile), expected);
}

// What enters the fingerprint: the music and its notation, not ids, labels or measure positions.
TEST(arrangement_analysis_test, fingerprint_follows_the_music_not_its_names) {
  source_score base = measures_of(2);
  base.measures[0].id = "m0";
  base.measures[1].id = "m1";
  base.measures[1].section_label = "A";
  base.tuplets = {{"t1", 3, 2, 1}};
  source_note first;
  first.id = "n0";
  first.chord_symbol = "C";
  first.lyric = "la";
  first.duration_ticks = whole;
  first.pitches = {{.letter = "c", .octave = 4, .accidental = "n", .midi = 60}};
  first.tie_to_next = true;
  source_note second = first;
  second.id = "n1";
  second.chord_symbol = "";
  second.lyric = "";
  second.start_tick = whole;
  second.measure_index = 1;
  second.tie_to_next = false;
  second.tie_from_previous = true;
  second.tuplet_id = "t1";
  second.display_ticks = 4096;
  base.notes = {first, second};
  const arrangement_style_profile base_profile;

  using change = std::function<void(source_score&, arrangement_style_profile&)>;
  struct row {
    const char* name;
    change apply;
    bool same;
  };
  const row rows[] = {
      {"measure ids", [](auto& s, auto&) { s.measures[0].id = "x"; }, true},
      {"note ids", [](auto& s, auto&) { s.notes[1].id = "x"; }, true},
      {"section labels", [](auto& s, auto&) { s.measures[1].section_label = "B"; }, true},
      {"measure start ticks", [](auto& s, auto&) { s.measures[1].start_tick = 99; }, true},
      {"a family outside the table hashes as swing",
       [](auto&, auto& p) { p.family = static_cast<comping_style_family>(42); }, true},
      {"display ticks of -1 hash as absent", [](auto& s, auto&) { s.notes[0].display_ticks = -1; },
       true},
      {"a pitch", [](auto& s, auto&) { s.notes[0].pitches[0].midi = 61; }, false},
      {"a pitch letter", [](auto& s, auto&) { s.notes[0].pitches[0].letter = "b"; }, false},
      {"an accidental", [](auto& s, auto&) { s.notes[0].pitches[0].accidental = "#"; }, false},
      {"an octave", [](auto& s, auto&) { s.notes[0].pitches[0].octave = 3; }, false},
      {"a second pitch", [](auto& s, auto&) { s.notes[0].pitches.push_back({}); }, false},
      {"a duration", [](auto& s, auto&) { s.notes[1].duration_ticks = 8192; }, false},
      {"a note start", [](auto& s, auto&) { s.notes[1].start_tick = whole + 1; }, false},
      {"a note's measure", [](auto& s, auto&) { s.notes[1].measure_index = 0; }, false},
      {"a kind", [](auto& s, auto&) { s.notes[1].kind = "rest"; }, false},
      {"a lyric", [](auto& s, auto&) { s.notes[0].lyric = "lo"; }, false},
      {"a chord symbol", [](auto& s, auto&) { s.notes[0].chord_symbol = "C6"; }, false},
      {"a tie to the next note", [](auto& s, auto&) { s.notes[0].tie_to_next = false; }, false},
      {"a tie from the previous note", [](auto& s, auto&) { s.notes[1].tie_from_previous = false; },
       false},
      {"display ticks", [](auto& s, auto&) { s.notes[1].display_ticks.reset(); }, false},
      {"a tuplet id on a note", [](auto& s, auto&) { s.notes[1].tuplet_id = ""; }, false},
      {"a tuplet", [](auto& s, auto&) { s.tuplets[0].space_count = 4; }, false},
      {"a time signature", [](auto& s, auto&) { s.measures[0].time_signature = "3/4"; }, false},
      {"a key signature", [](auto& s, auto&) { s.measures[0].key_signature = "G"; }, false},
      {"a capacity", [](auto& s, auto&) { s.measures[1].capacity_ticks = 12288; }, false},
      {"a character moved into the next text",
       [](auto& s, auto&) {
         s.notes[0].chord_symbol = "";
         s.notes[0].lyric = "Cla";
       },
       false},
      {"the style", [](auto&, auto& p) { p.family = comping_style_family::bossa; }, false},
      {"the fast flag", [](auto&, auto& p) { p.fast = true; }, false},
      {"the slow flag", [](auto&, auto& p) { p.slow = true; }, false},
      {"the tempo", [](auto&, auto& p) { p.tempo = 125; }, false},
  };
  const auto base_fingerprint = normalized_source_fingerprint(base, base_profile);
  for (const auto& row : rows) {
    auto score = base;
    auto profile = base_profile;
    row.apply(score, profile);
    EXPECT_EQ(normalized_source_fingerprint(score, profile) == base_fingerprint, row.same)
        << row.name;
  }
  auto slower = base_profile;
  slower.tempo = 60;
  EXPECT_NE(normalized_source_fingerprint({}, base_profile),
            normalized_source_fingerprint({}, slower))
      << "an empty source still hashes the profile";
}

// Arrangement analysis

source_note melody(std::int64_t start, std::int64_t duration, int midi = 60) {
  source_note note;
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = static_cast<std::size_t>(start / whole);
  note.pitches = {{.midi = midi}};
  return note;
}

source_note silent(std::int64_t start, std::int64_t duration) {
  auto note = melody(start, duration);
  note.kind = "rest";
  note.pitches.clear();
  return note;
}

source_note with_symbol(source_note note, std::string symbol = "C") {
  note.chord_symbol = std::move(symbol);
  return note;
}

arrangement_analysis analyze(const source_score& score) {
  return analyze_for_arrangement(score, build_harmonic_timeline(score), {});
}

// Eight body measures, a whole note per measure, a chord on every downbeat and another on the last
// half note of each four-measure phrase; the melody steps up by a tone each measure.
source_score eight_bar_song() {
  auto score = measures_of(8);
  for (std::int64_t m = 0; m < 8; ++m) {
    auto note = melody(m * whole, whole, 60 + 2 * static_cast<int>(m));
    score.notes.push_back(with_symbol(note, "C"));
  }
  score.notes[3] = melody(3 * whole, 8192, 66);
  score.notes.insert(score.notes.begin() + 4,
                     with_symbol(melody(3 * whole + 8192, 8192, 67), "G7"));
  score.notes[8] = melody(7 * whole, 8192, 74);
  score.notes.push_back(with_symbol(melody(7 * whole + 8192, 8192, 72), "G7"));
  return score;
}

TEST(arrangement_analysis_test, body_phrases_close_on_late_chord_changes_and_share_the_themes) {
  const auto score = eight_bar_song();
  const auto timeline = build_harmonic_timeline(score);
  const arrangement_style_profile profile{comping_style_family::bossa, false, false, 140};
  const auto analysis = analyze_for_arrangement(score, timeline, profile);

  ASSERT_EQ(analysis.phrases.size(), 2u);
  const auto& first = analysis.phrases[0];
  const auto& second = analysis.phrases[1];
  EXPECT_EQ(first.id, 0);
  EXPECT_EQ(second.id, 1);
  EXPECT_EQ(first.range, (tick_range{0, 4 * whole}));
  EXPECT_EQ(second.range, (tick_range{4 * whole, 8 * whole}));
  EXPECT_EQ(first.measures, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_FALSE(first.pickup);
  EXPECT_TRUE(first.cadential);
  EXPECT_EQ(first.cadence_weight, 0.75);
  EXPECT_TRUE(second.cadential);
  EXPECT_EQ(second.cadence_weight, 1.0);
  // Five onsets over the four measures, sounding throughout.
  EXPECT_DOUBLE_EQ(first.activity, 0.5 * (5 * 0.125 + 1.0));

  ASSERT_EQ(analysis.themes.size(), 2u);
  const auto& main = analysis.themes[0];
  EXPECT_EQ(main.id, 0);
  EXPECT_EQ(main.kind, theme_kind::main);
  EXPECT_EQ(main.range, first.range);
  EXPECT_EQ(main.intervals, (std::vector<std::int32_t>{2, 2, 2, 1}));
  EXPECT_EQ(main.durations, (std::vector<std::int64_t>{whole, whole, whole, 8192, 8192}));
  EXPECT_EQ(main.weight, 1.0);
  EXPECT_FALSE(main.pickup);
  EXPECT_FALSE(main.cadential);
  const auto& cadence = analysis.themes[1];
  EXPECT_EQ(cadence.id, 1);
  EXPECT_EQ(cadence.kind, theme_kind::cadence);
  EXPECT_EQ(cadence.range, second.range);
  EXPECT_EQ(cadence.intervals, (std::vector<std::int32_t>{2, 2, 2, -2}));
  EXPECT_EQ(cadence.weight, 0.8);
  EXPECT_TRUE(cadence.cadential);
  EXPECT_EQ(first.theme_ids, (std::vector<theme_id>{0, 1}));
  EXPECT_EQ(second.theme_ids, (std::vector<theme_id>{0, 1}));

  EXPECT_EQ(analysis.cadences,
            (std::vector<cadence_point>{{4 * whole - 4096, 3, 0.75}, {8 * whole - 4096, 7, 1.0}}));
  EXPECT_EQ(analysis.timeline, timeline);
  EXPECT_EQ(analysis.windows.size(), 16u);
  EXPECT_EQ(analysis.source_fingerprint, normalized_source_fingerprint(score, profile));
}

TEST(arrangement_analysis_test, a_leading_pickup_gets_its_own_phrase_and_theme) {
  auto score = measures_of(5);
  score.notes = {silent(0, 8192), melody(8192, 4096, 55), melody(12288, 4096, 59)};
  for (std::int64_t m = 1; m < 5; ++m) {
    score.notes.push_back(with_symbol(melody(m * whole, whole, 60)));
  }
  const auto analysis = analyze(score);

  ASSERT_EQ(analysis.phrases.size(), 2u);
  const auto& pickup = analysis.phrases[0];
  EXPECT_EQ(pickup.id, -1);
  EXPECT_TRUE(pickup.pickup);
  EXPECT_EQ(pickup.range, (tick_range{8192, whole}));
  EXPECT_EQ(pickup.measures, (std::vector<std::size_t>{0}));
  EXPECT_FALSE(pickup.cadential);
  EXPECT_EQ(pickup.theme_ids, (std::vector<theme_id>{0}));
  EXPECT_DOUBLE_EQ(pickup.activity, 0.5 * (0.25 + 1.0));
  const auto& body = analysis.phrases[1];
  EXPECT_EQ(body.id, 0);
  EXPECT_FALSE(body.pickup);
  EXPECT_EQ(body.theme_ids, (std::vector<theme_id>{1, 2}));

  ASSERT_EQ(analysis.themes.size(), 3u);
  EXPECT_EQ(analysis.themes[0].id, 0);
  EXPECT_EQ(analysis.themes[0].kind, theme_kind::pickup);
  EXPECT_TRUE(analysis.themes[0].pickup);
  EXPECT_EQ(analysis.themes[0].weight, 0.65);
  EXPECT_EQ(analysis.themes[0].intervals, (std::vector<std::int32_t>{4}));
  EXPECT_EQ(analysis.themes[0].durations, (std::vector<std::int64_t>{4096, 4096}));
  EXPECT_EQ(analysis.themes[1].id, 1);
  EXPECT_EQ(analysis.themes[1].kind, theme_kind::main);
  EXPECT_EQ(analysis.themes[2].id, 2);
  EXPECT_EQ(analysis.themes[2].kind, theme_kind::cadence);
}

// The first of two phrases, by where its last chord change lies; the second reaches the end.
TEST(arrangement_analysis_test, the_last_chord_change_decides_how_a_phrase_closes) {
  struct row {
    const char* name;
    std::vector<std::int64_t> chord_starts;
    bool cadential;
    double weight;
  };
  const row rows[] = {
      {"a half note before the end", {0, 4 * whole - 8192}, true, 0.75},
      {"a tick more than a half note before", {4 * whole - 8193}, false, 0.45},
      {"a dotted half before the end", {0, 4 * whole - 12288}, false, 0.45},
      {"a whole note before the end", {4 * whole - whole}, false, 0.45},
      {"five quarters before the end", {0, 4 * whole - 20480}, false, 0.2},
      {"no chord change inside it", {4 * whole}, false, 0.0},
  };
  for (const auto& row : rows) {
    auto score = measures_of(8);
    for (const auto start : row.chord_starts) score.notes.push_back(with_symbol(silent(start, 1)));
    const auto analysis = analyze(score);
    ASSERT_EQ(analysis.phrases.size(), 2u) << row.name;
    EXPECT_EQ(analysis.phrases[0].cadential, row.cadential) << row.name;
    EXPECT_EQ(analysis.phrases[0].cadence_weight, row.weight) << row.name;
    EXPECT_TRUE(analysis.phrases[1].cadential) << row.name;
    EXPECT_EQ(analysis.cadences.size(), row.cadential ? 2u : 1u) << row.name;
  }
}

TEST(arrangement_analysis_test, activity_weighs_onsets_and_sounding_melody) {
  struct row {
    const char* name;
    std::vector<source_note> notes;
    double activity;
  };
  const row rows[] = {
      {"eight half notes throughout",
       {melody(0, 8192), melody(8192, 8192), melody(whole, 8192), melody(whole + 8192, 8192),
        melody(2 * whole, 8192), melody(2 * whole + 8192, 8192), melody(3 * whole, 8192),
        melody(3 * whole + 8192, 8192)},
       1.0},
      {"four half notes over the first two measures",
       {melody(0, 8192), melody(8192, 8192), melody(whole, 8192), melody(whole + 8192, 8192)},
       0.5},
      {"rests and notes without pitches count nowhere",
       [] {
         auto unpitched = melody(0, whole);
         unpitched.pitches.clear();
         return std::vector<source_note>{unpitched, silent(whole, whole)};
       }(),
       0.0},
      {"a note held in from before counts its sounding part only",
       {melody(-8192, 16384)},
       0.5 * (0.0 + 8192.0 / (4 * whole))},
  };
  for (const auto& row : rows) {
    auto score = measures_of(4);
    score.notes = row.notes;
    const auto analysis = analyze(score);
    ASSERT_EQ(analysis.phrases.size(), 1u) << row.name;
    EXPECT_DOUBLE_EQ(analysis.phrases[0].activity, row.activity) << row.name;
  }
}

TEST(arrangement_analysis_test, a_theme_without_melody_notes_is_dropped_and_keeps_its_id) {
  // The closing phrase holds only rests under its chords: it closes, but yields no theme.
  auto score = measures_of(8);
  for (std::int64_t m = 0; m < 4; ++m) score.notes.push_back(melody(m * whole, whole));
  for (std::int64_t m = 4; m < 8; ++m) score.notes.push_back(with_symbol(silent(m * whole, whole)));
  auto analysis = analyze(score);
  ASSERT_EQ(analysis.themes.size(), 1u);
  EXPECT_EQ(analysis.themes[0].kind, theme_kind::main);
  EXPECT_EQ(analysis.themes[0].id, 0);
  EXPECT_EQ(analysis.phrases[0].theme_ids, (std::vector<theme_id>{0}));
  EXPECT_EQ(analysis.phrases[1].theme_ids, (std::vector<theme_id>{0}));
  EXPECT_EQ(analysis.cadences, (std::vector<cadence_point>{{8 * whole - 4096, 7, 1.0}}));

  // Without any melody there is no main theme, and the cadence theme is dropped too.
  for (auto& note : score.notes) note = with_symbol(silent(note.start_tick, whole));
  analysis = analyze(score);
  EXPECT_TRUE(analysis.themes.empty());
  for (const auto& phrase : analysis.phrases) {
    EXPECT_EQ(phrase.activity, 0.0);
    EXPECT_TRUE(phrase.theme_ids.empty());
  }
}

// With no melody in the first phrase, the main theme comes from the second, which is also the
// closing phrase; the silent first phrase still refers to the main theme.
TEST(arrangement_analysis_test, theme_ids_are_given_by_position) {
  auto score = measures_of(8);
  score.notes = {with_symbol(silent(0, 4 * whole)), melody(4 * whole, whole, 62),
                 melody(5 * whole, whole, 65)};
  auto analysis = analyze(score);
  ASSERT_EQ(analysis.themes.size(), 2u);
  EXPECT_EQ(analysis.themes[0].range, analysis.phrases[1].range);
  EXPECT_EQ(analysis.themes[0].intervals, (std::vector<std::int32_t>{3}));
  EXPECT_EQ(analysis.themes[1].id, 1);
  EXPECT_EQ(analysis.themes[1].range, analysis.phrases[1].range);
  EXPECT_EQ(analysis.phrases[0].theme_ids, (std::vector<theme_id>{0}));
  EXPECT_EQ(analysis.phrases[1].theme_ids, (std::vector<theme_id>{0, 1}));
}

TEST(arrangement_analysis_test, windows_split_measures_into_halves_or_quarters) {
  struct window_row {
    std::int64_t start;
    std::int64_t end;
    double onset_density;
    double fill;
    double presence;
  };
  struct row {
    const char* name;
    std::int64_t capacity;
    std::vector<source_note> notes;
    std::vector<window_row> windows;
  };
  const row rows[] = {
      {"a whole note on the downbeat",
       whole,
       {melody(0, whole)},
       {{0, 8192, 0.25, 1.0, 0.75}, {8192, whole, 0.0, 1.0, 0.45}}},
      {"an empty 4/4 measure",
       whole,
       {},
       {{0, 8192, 0.0, 0.0, 0.15}, {8192, whole, 0.0, 0.0, 0.15}}},
      {"five onsets and a rest",
       whole,
       {melody(0, 1024), melody(1024, 1024), melody(2048, 1024), melody(3072, 1024),
        melody(4096, 1024), silent(8192, 8192)},
       {{0, 8192, 1.0, 5.0 / 8.0, 0.75}, {8192, whole, 0.0, 0.0, 0.15}}},
      {"3/4 in halves", 12288, {}, {{0, 6144, 0, 0, 0.15}, {6144, 12288, 0, 0, 0.15}}},
      {"2/4 in quarters", 8192, {}, {{0, 4096, 0, 0, 0.15}, {4096, 8192, 0, 0, 0.15}}},
      {"3/8 in a quarter and an eighth",
       6144,
       {melody(4096, 2048)},
       {{0, 4096, 0, 0, 0.15}, {4096, 6144, 0.25, 1.0, 0.75}}},
      {"a measure without capacity", 0, {}, {}},
  };
  for (const auto& row : rows) {
    auto score = measures_of(1);
    score.measures[0].capacity_ticks = row.capacity;
    score.notes = row.notes;
    const auto analysis = analyze(score);
    ASSERT_EQ(analysis.windows.size(), row.windows.size()) << row.name;
    for (std::size_t k = 0; k < row.windows.size(); ++k) {
      const auto& window = analysis.windows[k];
      const auto& expected = row.windows[k];
      EXPECT_EQ(window.range, (tick_range{expected.start, expected.end})) << row.name << " " << k;
      EXPECT_DOUBLE_EQ(window.onset_density, expected.onset_density) << row.name << " " << k;
      EXPECT_DOUBLE_EQ(window.fill, expected.fill) << row.name << " " << k;
      EXPECT_EQ(window.presence, expected.presence) << row.name << " " << k;
      EXPECT_FALSE(window.response_window) << row.name << " " << k;
    }
  }
}

// A closing phrase shorter than a quarter note puts its cadence point at its own start.
TEST(arrangement_analysis_test, a_short_closing_phrase_closes_at_its_start) {
  auto score = measures_of(5);
  score.measures[4].capacity_ticks = 2048;
  score.notes = {with_symbol(melody(0, whole))};
  const auto analysis = analyze(score);
  ASSERT_EQ(analysis.phrases.size(), 2u);
  EXPECT_EQ(analysis.phrases[1].range, (tick_range{4 * whole, 4 * whole + 2048}));
  EXPECT_EQ(analysis.cadences, (std::vector<cadence_point>{{4 * whole, 4, 1.0}}));
}

TEST(arrangement_analysis_test, an_empty_source_keeps_only_its_timeline_and_fingerprint) {
  source_score score;
  score.notes = {with_symbol(melody(0, whole))};
  const auto timeline = build_harmonic_timeline(score);
  arrangement_style_profile profile;
  profile.tempo = 90;
  const auto analysis = analyze_for_arrangement(score, timeline, profile);
  arrangement_analysis expected;
  expected.timeline = timeline;
  expected.source_fingerprint = normalized_source_fingerprint(score, profile);
  EXPECT_EQ(analysis, expected);
}

}  // namespace
