#include "arrangement/arrangement_plan.hpp"

#include <gtest/gtest.h>

#include "score_fixtures.hpp"
#include "section_fixtures.hpp"

#include <cstdint>
#include <locale>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using orvanta::arrangement_part_type;
using role = full_arrangement_section_role;
using section_type = arrangement_section_type;
using score_fixtures::med_swing;
using section_fixtures::section_trace_of;

constexpr std::int64_t whole = 16384;

// A song of 4/4 measures without pickup: a half note and two quarter notes per measure, a chord on
// the downbeat of every measure.
source_score song(std::size_t measures) {
  const char* chords[] = {"Fmaj7", "Gm7", "C7", "Am7"};
  source_score score;
  for (std::size_t index = 0; index < measures; ++index) {
    const auto start = static_cast<std::int64_t>(index) * whole;
    source_measure measure;
    measure.id = "m" + std::to_string(index);
    measure.start_tick = start;
    score.measures.push_back(measure);
    const std::int64_t offsets[] = {0, 8192, 12288};
    const std::int64_t durations[] = {8192, 4096, 4096};
    for (int note_index = 0; note_index < 3; ++note_index) {
      source_note note;
      note.id = measure.id + "n" + std::to_string(note_index);
      note.start_tick = start + offsets[note_index];
      note.duration_ticks = durations[note_index];
      note.measure_index = index;
      note.pitches = {{.midi = 65 + 2 * note_index}};
      if (note_index == 0) note.chord_symbol = chords[index % 4];
      score.notes.push_back(note);
    }
  }
  return score;
}

arrangement_analysis analysis_of(const source_score& source) {
  return analyze_for_arrangement(source, build_harmonic_timeline(source), med_swing());
}

arrangement_plan plan_of(const source_score& source, bool include_solo) {
  return build_arrangement_plan(
      source, analysis_of(source),
      full_arrangement_sections(source, arrangement_part_type::electric, include_solo), med_swing(),
      include_solo);
}

// A source phrase of whole 4/4 measures.
source_phrase phrase_over(source_phrase_id id, std::int64_t first_measure,
                          std::int64_t measure_count, std::vector<theme_id> themes = {}) {
  source_phrase phrase;
  phrase.id = id;
  phrase.range = {first_measure * whole, (first_measure + measure_count) * whole};
  phrase.theme_ids = std::move(themes);
  return phrase;
}

full_arrangement_section section_over(section_type type, std::size_t first, std::size_t count) {
  full_arrangement_section section;
  section.label = "S";
  section.first_measure = first;
  section.measure_count = count;
  section.type = static_cast<std::uint64_t>(type);
  return section;
}

std::string describe(const phrase_instance_plan& phrase) {
  auto text = std::string(to_string(phrase.function)) + " " +
              std::string(to_string(phrase.rhythm_intent)) + " " +
              std::string(to_string(phrase.electric_intent));
  if (phrase.climax) text += " +climax";
  return text;
}

std::vector<std::string> describe(const section_plan& section) {
  std::vector<std::string> phrases;
  for (const auto& phrase : section.phrases) phrases.push_back(describe(phrase));
  return phrases;
}

// The trace the section driver records before any comping writes into it.
arrangement_debug_trace trace_of(const part_realization_plan& part) {
  arrangement_debug_trace trace;
  trace.plan_key = part.plan.plan_key;
  trace.source_fingerprint = part.plan.source_fingerprint;
  trace.include_solo = part.plan.include_solo;
  for (const auto& section : part.sections) trace.sections.push_back(section_trace_of(section));
  return trace;
}

// FNV-1a 64 over the bytes, from the given state.
std::uint64_t fnv_over(std::uint64_t state, const std::vector<std::uint8_t>& bytes) {
  for (const auto byte : bytes) state = (state ^ byte) * 0x100000001b3;
  return state;
}

void append_text(std::vector<std::uint8_t>& bytes, std::string_view text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

void append_le64(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8) bytes.push_back((value >> shift) & 0xff);
}

// Vocabulary

TEST(arrangement_plan_test, vocabulary_texts_follow_the_tables_and_fall_back_to_the_first_row) {
  struct row {
    const char* name;
    std::vector<std::string_view> texts;  // in value order
    std::vector<std::string_view> actual;
    std::string_view outside;
    std::string_view expected_outside;
  };
  auto texts_of = [](auto first, int count) {
    std::vector<std::string_view> texts;
    for (int value = 0; value < count; ++value) {
      texts.push_back(to_string(static_cast<decltype(first)>(value)));
    }
    return texts;
  };
  const row rows[] = {
      {"section_function",
       {"introduction", "exposition", "instrumental_restatement", "first_development",
        "main_climax", "recapitulation", "coda", "restatement_local_climax", "sparse_interlude",
        "retransition"},
       texts_of(section_function{}, 10),
       to_string(static_cast<section_function>(10)),
       "introduction"},
      {"phrase_function",
       {"statement", "answer", "restatement", "development", "contrast", "build", "climax",
        "release", "cadence"},
       texts_of(phrase_function{}, 9),
       to_string(static_cast<phrase_function>(-1)),
       "statement"},
      {"phrase_rhythm_intent",
       {"base", "variation", "sparse", "response", "build", "cadence"},
       texts_of(phrase_rhythm_intent{}, 6),
       to_string(static_cast<phrase_rhythm_intent>(6)),
       "base"},
      {"electric_stab_intent",
       {"establish", "sparse_support", "late_answer", "anticipation", "cadence",
        "intentional_silence"},
       texts_of(electric_stab_intent{}, 6),
       to_string(static_cast<electric_stab_intent>(99)),
       "establish"},
      {"foreground_model",
       {"none", "exact_source", "planned_but_not_enforced", "plan_constrained"},
       texts_of(foreground_model{}, 4),
       to_string(static_cast<foreground_model>(4)),
       "none"},
      {"phrase_fallback_result",
       {"not_needed", "coverage_stab_inserted", "intentional_silence", "no_legal_candidate"},
       texts_of(phrase_fallback_result{}, 4),
       to_string(static_cast<phrase_fallback_result>(4)),
       "not_needed"},
      {"arrangement_section_type",
       {"rhythm_lead_in", "vocal_melody_1", "guitar_melody", "guitar_solo_1", "guitar_solo_2",
        "vocal_melody_2", "ending"},
       texts_of(section_type{}, 7),
       to_string(static_cast<section_type>(7)),
       "ending"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.actual, row.texts) << row.name;
    EXPECT_EQ(row.outside, row.expected_outside) << row.name;
  }
  EXPECT_EQ(to_string(static_cast<section_type>(-1)), "ending");
}

TEST(arrangement_plan_test, stable_section_type_reads_every_number_above_six_as_ending) {
  const std::pair<std::uint64_t, section_type> rows[] = {
      {0, section_type::rhythm_lead_in},  {2, section_type::guitar_melody},
      {6, section_type::ending},          {7, section_type::ending},
      {UINT64_MAX, section_type::ending},
  };
  for (const auto& [number, expected] : rows) {
    full_arrangement_section section;
    section.type = number;
    EXPECT_EQ(stable_section_type(section), expected) << number;
  }
}

TEST(arrangement_plan_test, style_profile_id_names_family_feel_and_tempo) {
  struct row {
    const char* name;
    arrangement_style_profile profile;
    std::string expected;
  };
  const row rows[] = {
      {"fast swing", {comping_style_family::swing, true, false, 220}, "swing:fast:220"},
      {"slow ballad", {comping_style_family::ballad, false, true, 60}, "ballad:medium:slow:60"},
      {"fast and slow", {comping_style_family::swing, true, true, 140}, "swing:fast:slow:140"},
      {"last family", {comping_style_family::waltz, false, false, 96}, "waltz:medium:96"},
      {"unknown family", {static_cast<comping_style_family>(10), false, false, 120}, ":medium:120"},
      {"tempo 0", {comping_style_family::rock, false, false, 0}, "rock:medium:0"},
      {"negative tempo", {comping_style_family::funk, false, false, -5}, "funk:medium:-5"},
  };
  for (const auto& row : rows) EXPECT_EQ(style_profile_id(row.profile), row.expected) << row.name;
}

// Keys

TEST(arrangement_plan_test, decision_key_hashes_type_phrase_value_and_text_from_the_plan_key) {
  arrangement_plan plan;
  plan.plan_key = 0x0123456789abcdef;

  std::vector<std::uint8_t> bytes;
  append_text(bytes, "rhythm_lead_in");
  bytes.push_back(0xff);
  // -2 widened with its sign: 0xfe then seven bytes 0xff.
  bytes.insert(bytes.end(), {0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
  append_le64(bytes, 7);
  bytes.push_back(0xff);  // the empty text still closes with 0xff
  EXPECT_EQ(arrangement_decision_key(plan, section_type::rhythm_lead_in, -2, 7, ""),
            fnv_over(plan.plan_key, bytes));

  bytes.clear();
  append_text(bytes, "ending");
  bytes.push_back(0xff);
  append_le64(bytes, 3);
  append_le64(bytes, static_cast<std::uint64_t>(std::int64_t{-1}));
  append_text(bytes, "stab");
  bytes.push_back(0xff);
  EXPECT_EQ(arrangement_decision_key(plan, static_cast<section_type>(9), 3, -1, "stab"),
            fnv_over(plan.plan_key, bytes));

  auto other = plan;
  other.plan_key += 1;
  EXPECT_NE(arrangement_decision_key(other, section_type::ending, 3, -1, "stab"),
            arrangement_decision_key(plan, section_type::ending, 3, -1, "stab"));
}

TEST(arrangement_plan_test, plan_key_hashes_fingerprint_style_and_solo_flag) {
  const auto source = song(4);
  arrangement_analysis analysis;
  analysis.source_fingerprint = 0x1122334455667788;
  const auto profile = med_swing();
  const auto plan = build_arrangement_plan(source, analysis, {}, profile, true);

  std::vector<std::uint8_t> bytes;
  append_le64(bytes, analysis.source_fingerprint);
  append_text(bytes, "swing:medium:132");
  bytes.push_back(0xff);
  bytes.push_back(1);
  EXPECT_EQ(plan.plan_key, fnv_over(0x3c7a19e4b5d28f06, bytes));
  EXPECT_EQ(plan.source_fingerprint, analysis.source_fingerprint);
  EXPECT_EQ(plan.version, 1);
  EXPECT_TRUE(plan.include_solo);
  EXPECT_TRUE(plan.sections.empty());

  EXPECT_EQ(build_arrangement_plan(source, analysis, {}, profile, true).plan_key, plan.plan_key);
  auto tempo = profile;
  tempo.tempo += 1;
  auto fast = profile;
  fast.fast = true;
  auto slow = profile;
  slow.slow = true;
  for (const auto& [name, key] : {
           std::pair{"solo flag", build_arrangement_plan(source, analysis, {}, profile, false)},
           std::pair{"tempo", build_arrangement_plan(source, analysis, {}, tempo, true)},
           std::pair{"fast", build_arrangement_plan(source, analysis, {}, fast, true)},
           std::pair{"slow", build_arrangement_plan(source, analysis, {}, slow, true)},
       }) {
    EXPECT_NE(key.plan_key, plan.plan_key) << name;
  }
}

// Lookups

TEST(arrangement_plan_test, tick_lookups_take_the_first_range_holding_the_tick) {
  arrangement_analysis analysis;
  analysis.phrases = {phrase_over(0, 0, 1), phrase_over(1, 1, 1), phrase_over(7, 1, 2)};
  section_plan section;
  for (const auto& phrase : analysis.phrases) {
    phrase_instance_plan plan;
    plan.index = phrase.id;
    plan.range = phrase.range;
    section.phrases.push_back(plan);
  }
  struct row {
    const char* name;
    std::int64_t tick;
    int expected;  // id of the phrase found, -100 for none
  };
  const row rows[] = {
      {"start of the first", 0, 0},
      {"end of the first is the start of the second", whole, 1},
      {"overlapping ranges give the earliest stored", whole + 1, 1},
      {"only the later range", 2 * whole, 7},
      {"the end of the last", 3 * whole, -100},
      {"before every range", -1, -100},
  };
  for (const auto& row : rows) {
    const auto* phrase = source_phrase_for_tick(analysis, row.tick);
    const auto* plan = phrase_plan_for_tick(section, row.tick);
    EXPECT_EQ(phrase == nullptr ? -100 : phrase->id, row.expected) << row.name;
    EXPECT_EQ(plan == nullptr ? -100 : plan->index, row.expected) << row.name;
  }
}

// Plan building

// The phrase decisions of a song of 16 body measures (four body phrases) without pickup, with
// and without solos. The lead-in and the ending cover the last 8 measures (phrases 2 and 3).
TEST(arrangement_plan_test, sixteen_measure_song_decides_every_section_and_phrase) {
  struct row {
    section_type type;
    bool climax_with_solos;
    std::vector<std::string> with_solos;
    bool climax_without_solos;
    std::vector<std::string> without_solos;
  };
  const row rows[] = {
      {section_type::rhythm_lead_in,
       false,
       {"statement base establish", "cadence cadence cadence"},
       false,
       {"statement base establish", "cadence cadence cadence"}},
      {section_type::vocal_melody_1,
       false,
       {"statement base establish", "answer response late_answer",
        "restatement variation sparse_support", "cadence cadence cadence"},
       false,
       {"statement base establish", "answer response late_answer",
        "restatement variation sparse_support", "cadence cadence cadence"}},
      {section_type::guitar_melody,
       false,
       {"restatement base establish", "answer response late_answer", "build build anticipation",
        "cadence cadence cadence"},
       true,
       {"restatement base establish", "build build anticipation", "climax build anticipation",
        "climax build anticipation +climax"}},
      {section_type::guitar_solo_1,
       false,
       {"statement base establish", "answer response late_answer",
        "development variation sparse_support", "cadence cadence cadence"},
       false,
       {"contrast sparse intentional_silence", "contrast sparse intentional_silence",
        "contrast sparse intentional_silence", "cadence cadence cadence"}},
      {section_type::guitar_solo_2,
       true,
       {"restatement base establish", "development response late_answer",
        "build build anticipation", "climax build anticipation +climax"},
       false,
       {"build build anticipation", "cadence cadence cadence", "cadence cadence cadence",
        "cadence cadence cadence"}},
      {section_type::vocal_melody_2,
       false,
       {"restatement base establish", "answer response late_answer", "release cadence cadence",
        "cadence cadence cadence"},
       false,
       {"restatement base establish", "answer response late_answer", "release cadence cadence",
        "cadence cadence cadence"}},
      {section_type::ending,
       false,
       {"release cadence cadence", "cadence cadence cadence"},
       false,
       {"release cadence cadence", "cadence cadence cadence"}},
  };
  const auto source = song(16);
  const auto with_solos = plan_of(source, true);
  const auto without_solos = plan_of(source, false);
  ASSERT_EQ(with_solos.sections.size(), std::size(rows));
  ASSERT_EQ(without_solos.sections.size(), std::size(rows));
  for (std::size_t index = 0; index < std::size(rows); ++index) {
    const auto& row = rows[index];
    const auto name = to_string(row.type);
    EXPECT_EQ(with_solos.sections[index].type, row.type) << name;
    EXPECT_EQ(describe(with_solos.sections[index]), row.with_solos) << name;
    EXPECT_EQ(with_solos.sections[index].main_climax, row.climax_with_solos) << name;
    EXPECT_EQ(describe(without_solos.sections[index]), row.without_solos) << name;
    EXPECT_EQ(without_solos.sections[index].main_climax, row.climax_without_solos) << name;
  }
}

TEST(arrangement_plan_test, phrase_ranges_tile_the_arrangement_section_after_section) {
  const auto source = song(16);
  const auto plan = plan_of(source, true);
  const std::vector<source_phrase_id> expected_ids[] = {
      {2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {2, 3}};
  std::int64_t offset = 0;
  for (std::size_t index = 0; index < plan.sections.size(); ++index) {
    const auto& section = plan.sections[index];
    std::vector<source_phrase_id> ids;
    auto tick = offset;
    for (std::size_t phrase = 0; phrase < section.phrases.size(); ++phrase) {
      const auto& planned = section.phrases[phrase];
      ids.push_back(planned.source_phrase);
      EXPECT_EQ(planned.index, static_cast<std::int32_t>(phrase));
      EXPECT_EQ(planned.section_type, section.type);
      EXPECT_EQ(planned.range, (tick_range{tick, tick + 4 * whole}))
          << to_string(section.type) << " phrase " << phrase;
      tick = planned.range.end;
    }
    EXPECT_EQ(ids, expected_ids[index]) << to_string(section.type);
    offset += static_cast<std::int64_t>(section.section.measure_count) * whole;
    EXPECT_EQ(tick, offset) << to_string(section.type);
  }
  EXPECT_EQ(offset, (8 + 5 * 16 + 8) * whole);
}

TEST(arrangement_plan_test, sections_carry_contours_foreground_and_the_form_section) {
  const auto source = song(16);
  const auto sections = full_arrangement_sections(source, arrangement_part_type::electric, true);
  const auto plan =
      build_arrangement_plan(source, analysis_of(source), sections, med_swing(), true);
  ASSERT_EQ(plan.sections.size(), 7u);
  for (std::size_t index = 0; index < 7; ++index) {
    EXPECT_EQ(plan.sections[index].section, sections[index]);
  }

  const auto& lead_in = plan.sections[0];
  EXPECT_EQ(lead_in.function, section_function::introduction);
  EXPECT_EQ(lead_in.energy, (level_contour{0.30, 0.38, 0.45}));
  EXPECT_DOUBLE_EQ(lead_in.intensity.start, 0.30 * 0.9);
  EXPECT_DOUBLE_EQ(lead_in.intensity.end, 0.45 * 0.9);
  EXPECT_DOUBLE_EQ(lead_in.density.start, 0.30 * 0.82);
  EXPECT_DOUBLE_EQ(lead_in.density.middle, 0.38 * 0.82);
  EXPECT_DOUBLE_EQ(lead_in.density.end, 0.45 * 0.82);

  const auto& climax = plan.sections[4];
  EXPECT_EQ(climax.function, section_function::main_climax);
  EXPECT_DOUBLE_EQ(climax.intensity.middle, 0.90 * 1.05);

  const foreground_model expected_foreground[] = {foreground_model::none,
                                                  foreground_model::exact_source,
                                                  foreground_model::exact_source,
                                                  foreground_model::planned_but_not_enforced,
                                                  foreground_model::planned_but_not_enforced,
                                                  foreground_model::exact_source,
                                                  foreground_model::exact_source};
  for (std::size_t index = 0; index < 7; ++index) {
    for (const auto& phrase : plan.sections[index].phrases) {
      EXPECT_EQ(phrase.foreground, expected_foreground[index]) << index;
      EXPECT_TRUE(phrase.response_windows.empty());
    }
  }
  const auto without_solos = plan_of(source, false);
  EXPECT_EQ(without_solos.sections[3].phrases[0].foreground, foreground_model::none);
  EXPECT_EQ(without_solos.sections[4].function, section_function::retransition);
  EXPECT_DOUBLE_EQ(without_solos.sections[4].intensity.end, 0.48 * 1.05);
}

TEST(arrangement_plan_test, phrase_targets_follow_the_section_density) {
  const auto source = song(16);
  arrangement_analysis analysis;
  analysis.phrases = {phrase_over(0, 0, 4, {0}), phrase_over(1, 4, 4), phrase_over(2, 8, 4, {0}),
                      phrase_over(3, 12, 4, {0, 1})};
  const auto sections = full_arrangement_sections(source, arrangement_part_type::electric, false);
  const auto plan = build_arrangement_plan(source, analysis, sections, med_swing(), false);

  // guitar_melody without solos: the local climax section, energy 0.50, 0.68, 0.58.
  const auto& section = plan.sections[2];
  const double mean = (0.50 + 0.68 + 0.58) * 0.82 / 3.0;
  struct row {
    std::optional<theme_id> theme;
    const char* transform;
    double intensity;
    double density;
    int register_low;
    int register_high;
  };
  const row rows[] = {
      {0, "restate", mean, mean, 52, 72},
      {std::nullopt, "build", mean + 0.02, mean, 52, 72},
      {0, "climax", mean + 0.04, mean, 57, 76},
      {0, "climax", mean + 0.06, mean, 57, 76},
  };
  ASSERT_EQ(section.phrases.size(), std::size(rows));
  for (std::size_t index = 0; index < std::size(rows); ++index) {
    const auto& phrase = section.phrases[index];
    EXPECT_EQ(phrase.theme, rows[index].theme) << index;
    EXPECT_EQ(phrase.theme_transform, rows[index].transform) << index;
    EXPECT_NEAR(phrase.intensity, rows[index].intensity, 1e-12) << index;
    EXPECT_NEAR(phrase.density, rows[index].density, 1e-12) << index;
    EXPECT_EQ(phrase.register_low, rows[index].register_low) << index;
    EXPECT_EQ(phrase.register_high, rows[index].register_high) << index;
    EXPECT_EQ(phrase.climax, index == 3) << index;
  }

  // A cadence phrase sits 0.15 above the section mean.
  const auto& cadence = plan.sections[1].phrases[3];
  EXPECT_EQ(cadence.function, phrase_function::cadence);
  EXPECT_NEAR(cadence.density, (0.40 + 0.46 + 0.50) * 0.82 / 3.0 + 0.15, 1e-12);
  EXPECT_EQ(cadence.theme_transform, "cadence");
}

TEST(arrangement_plan_test, intensity_rises_per_phrase_and_saturates) {
  // Forty one-measure phrases in one exposition section.
  const auto source = song(40);
  arrangement_analysis analysis;
  for (int index = 0; index < 40; ++index) analysis.phrases.push_back(phrase_over(index, index, 1));
  const auto plan = build_arrangement_plan(
      source, analysis, {section_over(section_type::vocal_melody_1, 0, 40)}, med_swing(), true);
  const auto& phrases = plan.sections.at(0).phrases;
  ASSERT_EQ(phrases.size(), 40u);
  const double mean = (0.40 + 0.46 + 0.50) * 0.82 / 3.0;
  EXPECT_NEAR(phrases[10].intensity, mean + 0.2, 1e-12);
  EXPECT_DOUBLE_EQ(phrases[39].intensity, 1.0);
  // The generic rule repeats every four phrases past the first three.
  EXPECT_EQ(describe(phrases[4]), "restatement base establish");
  EXPECT_EQ(describe(phrases[5]), "restatement response late_answer");
  EXPECT_EQ(describe(phrases[6]), "restatement variation sparse_support");
}

TEST(arrangement_plan_test, decision_edge_rows_of_the_section_functions) {
  const auto source = song(28);
  arrangement_analysis analysis;
  for (int index = 0; index < 7; ++index) {
    analysis.phrases.push_back(phrase_over(index, 4 * index, 4));
  }
  const auto plan = build_arrangement_plan(source, analysis,
                                           {section_over(section_type::guitar_solo_1, 0, 28),
                                            section_over(section_type::guitar_solo_2, 0, 28),
                                            section_over(section_type::rhythm_lead_in, 0, 28)},
                                           med_swing(), true);
  ASSERT_EQ(plan.sections.size(), 3u);
  EXPECT_EQ(describe(plan.sections[0]),  // first_development
            (std::vector<std::string>{
                "statement base establish", "answer response late_answer",
                "development variation sparse_support", "development variation sparse_support",
                "development variation sparse_support", "development response late_answer",
                "cadence cadence cadence"}));
  EXPECT_EQ(describe(plan.sections[1]),  // main_climax
            (std::vector<std::string>{
                "restatement base establish", "development response late_answer",
                "build build anticipation", "build build anticipation", "build build anticipation",
                "build build anticipation", "climax build anticipation +climax"}));
  EXPECT_EQ(describe(plan.sections[2]),  // introduction
            (std::vector<std::string>{"statement base establish", "build build anticipation",
                                      "build build anticipation", "build build anticipation",
                                      "build build anticipation", "build build anticipation",
                                      "cadence cadence cadence"}));

  // A single phrase is decided as the last.
  const auto single = build_arrangement_plan(source, analysis,
                                             {section_over(section_type::vocal_melody_1, 0, 4),
                                              section_over(section_type::guitar_solo_2, 0, 4)},
                                             med_swing(), true);
  EXPECT_EQ(describe(single.sections[0]), std::vector<std::string>{"cadence cadence cadence"});
  EXPECT_EQ(describe(single.sections[1]),
            std::vector<std::string>{"climax build anticipation +climax"});
}

TEST(arrangement_plan_test, exactly_one_phrase_carries_the_main_climax) {
  const auto source = song(16);
  for (const bool include_solo : {true, false}) {
    const auto plan = plan_of(source, include_solo);
    int climax_sections = 0;
    int climax_phrases = 0;
    for (const auto& section : plan.sections) {
      climax_sections += section.main_climax ? 1 : 0;
      for (const auto& phrase : section.phrases) {
        if (!phrase.climax) continue;
        ++climax_phrases;
        EXPECT_TRUE(section.main_climax);
        EXPECT_EQ(&phrase, &section.phrases.back());
      }
    }
    EXPECT_EQ(climax_sections, 1) << include_solo;
    EXPECT_EQ(climax_phrases, 1) << include_solo;
  }
}

TEST(arrangement_plan_test, lead_in_clips_a_phrase_that_begins_before_it) {
  // Body of 6 measures: the lead-in covers measures 2 to 5, phrase 0 (0 to 3) only in part.
  const auto source = song(6);
  arrangement_analysis analysis;
  analysis.phrases = {phrase_over(0, 0, 4, {0}), phrase_over(1, 4, 2, {0, 1})};
  const auto plan = build_arrangement_plan(
      source, analysis, full_arrangement_sections(source, arrangement_part_type::electric, true),
      med_swing(), true);
  const auto& lead_in = plan.sections.at(0);
  ASSERT_EQ(lead_in.phrases.size(), 2u);
  EXPECT_EQ(lead_in.phrases[0].source_phrase, 0);
  EXPECT_EQ(lead_in.phrases[0].range, (tick_range{0, 2 * whole}));
  EXPECT_EQ(lead_in.phrases[1].source_phrase, 1);
  EXPECT_EQ(lead_in.phrases[1].range, (tick_range{2 * whole, 4 * whole}));
  // The vocal melody follows at the lead-in's 4 measures.
  EXPECT_EQ(plan.sections.at(1).phrases.at(0).range, (tick_range{4 * whole, 8 * whole}));
}

TEST(arrangement_plan_test, response_windows_come_from_marked_windows_in_exact_source_sections) {
  const auto source = song(8);
  arrangement_analysis analysis;
  analysis.phrases = {phrase_over(0, 0, 4), phrase_over(1, 4, 4)};
  auto window = [](std::int64_t start, std::int64_t end, bool marked) {
    melody_window result;
    result.range = {start, end};
    result.response_window = marked;
    return result;
  };
  analysis.windows = {window(8192, 16384, true), window(16384, 24576, false),
                      window(57344, 73728, true), window(114688, 131072, true)};
  const auto plan = build_arrangement_plan(source, analysis,
                                           {section_over(section_type::rhythm_lead_in, 4, 4),
                                            section_over(section_type::vocal_melody_1, 4, 4),
                                            section_over(section_type::vocal_melody_2, 0, 8)},
                                           med_swing(), true);
  ASSERT_EQ(plan.sections.size(), 3u);
  // No response windows without an exact-source foreground.
  EXPECT_TRUE(plan.sections[0].phrases.at(0).response_windows.empty());
  // Measures 4 to 7 at offset 65536: the window across the section start is clipped to it.
  EXPECT_EQ(plan.sections[1].phrases.at(0).response_windows,
            (std::vector<tick_range>{{65536, 73728}, {114688, 131072}}));
  // The whole song at offset 131072: the window across the phrase boundary is split by phrase.
  const auto& whole_song = plan.sections[2].phrases;
  ASSERT_EQ(whole_song.size(), 2u);
  EXPECT_EQ(whole_song[0].response_windows,
            (std::vector<tick_range>{{139264, 147456}, {188416, 196608}}));
  EXPECT_EQ(whole_song[1].response_windows,
            (std::vector<tick_range>{{196608, 204800}, {245760, 262144}}));
}

TEST(arrangement_plan_test, a_section_without_source_phrases_gets_one_whole_section_phrase) {
  const auto source = song(16);
  const arrangement_analysis analysis;  // no phrases at all
  for (const bool include_solo : {true, false}) {
    const auto plan = build_arrangement_plan(
        source, analysis,
        full_arrangement_sections(source, arrangement_part_type::electric, include_solo),
        med_swing(), include_solo);
    ASSERT_EQ(plan.sections.size(), 7u);
    std::int64_t offset = 0;
    for (const auto& section : plan.sections) {
      ASSERT_EQ(section.phrases.size(), 1u);
      const auto& phrase = section.phrases[0];
      const auto length = static_cast<std::int64_t>(section.section.measure_count) * whole;
      EXPECT_EQ(phrase.range, (tick_range{offset, offset + length}));
      EXPECT_EQ(phrase.source_phrase,
                section.type == section_type::rhythm_lead_in || section.type == section_type::ending
                    ? 2
                    : 0);
      const double mean =
          (section.density.start + section.density.middle + section.density.end) / 3.0;
      EXPECT_DOUBLE_EQ(phrase.intensity, mean);
      EXPECT_DOUBLE_EQ(phrase.density, mean);
      EXPECT_EQ(phrase.register_low, 52);
      EXPECT_EQ(phrase.register_high, 72);
      EXPECT_FALSE(phrase.theme.has_value());
      const char* expected = "statement base establish";
      if (section.main_climax) {
        expected = "climax build anticipation +climax";
      } else if (section.function == section_function::sparse_interlude) {
        expected = "statement sparse intentional_silence";
      }
      EXPECT_EQ(describe(phrase), expected) << to_string(section.type) << include_solo;
      EXPECT_EQ(phrase.theme_transform, section.main_climax ? "climax" : "state");
      offset += length;
    }
  }
}

TEST(arrangement_plan_test, lone_phrase_ids_count_from_the_body_start) {
  // A pickup source: measure 0 opens with a rest, the melody enters late, chords from measure 1.
  auto source = song(9);
  source.notes[0].kind = "rest";
  source.notes[0].pitches.clear();
  source.notes[0].chord_symbol.clear();
  const arrangement_analysis analysis;
  const auto plan = build_arrangement_plan(source, analysis,
                                           {section_over(section_type::vocal_melody_1, 0, 9),
                                            section_over(section_type::vocal_melody_1, 1, 8),
                                            section_over(section_type::vocal_melody_1, 5, 4)},
                                           med_swing(), true);
  ASSERT_EQ(plan.sections.size(), 3u);
  EXPECT_EQ(plan.sections[0].phrases.at(0).source_phrase, -1);
  EXPECT_EQ(plan.sections[1].phrases.at(0).source_phrase, 0);
  EXPECT_EQ(plan.sections[2].phrases.at(0).source_phrase, 1);
}

TEST(arrangement_plan_test, sections_without_source_measures_are_skipped) {
  const auto source = song(4);
  arrangement_analysis analysis;
  analysis.phrases = {phrase_over(0, 0, 4)};
  const auto plan = build_arrangement_plan(source, analysis,
                                           {section_over(section_type::rhythm_lead_in, 0, 0),
                                            section_over(section_type::vocal_melody_1, 2, 5),
                                            section_over(section_type::guitar_melody, 4, 1),
                                            section_over(section_type::guitar_solo_1, 1, 2)},
                                           med_swing(), true);
  ASSERT_EQ(plan.sections.size(), 1u);
  EXPECT_EQ(plan.sections[0].type, section_type::guitar_solo_1);
  EXPECT_EQ(plan.sections[0].phrases.at(0).range, (tick_range{0, 2 * whole}));
}

// Specialisation

TEST(arrangement_plan_test, specialisation_sets_the_part_roles_in_the_second_section_list) {
  const auto source = song(16);
  const auto plan = plan_of(source, true);
  struct row {
    arrangement_part_type part;
    std::vector<role> roles;
  };
  const row rows[] = {
      {arrangement_part_type::electric,
       {role::rests, role::accompaniment, role::melody, role::rests, role::electric_solo,
        role::accompaniment, role::accompaniment}},
      {arrangement_part_type::acoustic,
       {role::chords, role::chords, role::chords, role::acoustic_solo, role::chords, role::chords,
        role::chords}},
      {arrangement_part_type::vocal,
       {role::rests, role::vocal, role::rests, role::rests, role::rests, role::vocal, role::vocal}},
  };
  for (const auto& row : rows) {
    const auto part = specialize_for_part(plan, row.part);
    EXPECT_EQ(part.part, row.part);
    EXPECT_EQ(part.plan, plan);
    ASSERT_EQ(part.sections.size(), plan.sections.size());
    std::vector<role> roles;
    for (std::size_t index = 0; index < part.sections.size(); ++index) {
      roles.push_back(part.sections[index].section.role);
      auto unchanged = part.sections[index];
      unchanged.section.role = plan.sections[index].section.role;
      EXPECT_EQ(unchanged, plan.sections[index]);
    }
    EXPECT_EQ(roles, row.roles) << orvanta::to_string(row.part);
  }
  // The acoustic guitar melody comps while the copied plan keeps the electric melody role.
  const auto acoustic = specialize_for_part(plan, arrangement_part_type::acoustic);
  EXPECT_EQ(acoustic.sections[2].section.role, role::chords);
  EXPECT_EQ(acoustic.plan.sections[2].section.role, role::melody);
  // Without solos the acoustic solo slot rests.
  EXPECT_EQ(specialize_for_part(plan_of(source, false), arrangement_part_type::acoustic)
                .sections[3]
                .section.role,
            role::rests);
}

// Debug trace text

TEST(arrangement_plan_test, trace_without_sections_is_three_lines) {
  arrangement_debug_trace trace;
  trace.plan_key = 18446744073709551615u;
  trace.source_fingerprint = 42;
  trace.include_solo = true;
  EXPECT_EQ(format_arrangement_debug_trace(trace),
            "plan_key: 18446744073709551615\n"
            "source_fingerprint: 42\n"
            "include_solo: true\n");
}

// A comma as decimal mark in the global C++ locale.
struct comma_decimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(arrangement_plan_test, trace_sections_print_contours_with_two_decimals) {
  section_debug_trace section;
  section.type = section_type::rhythm_lead_in;
  section.function = section_function::introduction;
  section.role = 3;
  section.energy = {0.30, 0.38, 0.45};
  section.density = {0.246, 0.3116, 0.369};
  arrangement_debug_trace trace;
  trace.sections = {section};

  section.type = static_cast<section_type>(6);
  section.function = static_cast<section_function>(12);
  section.role = -1;
  section.energy = {0.40, 0.50, 0.50};
  // A middle that differs from the end only beyond the second decimal is still printed; the start
  // always is.
  section.density = {0.5, 0.5, 0.501};
  section.main_climax = true;
  trace.sections.push_back(section);
  section.energy = {0.7, 0.7, 0.7};
  section.density = {1.0, 0.0051, 0.9999};
  trace.sections.push_back(section);

  const auto previous = std::locale::global(std::locale(std::locale::classic(), new comma_decimal));
  const auto text = format_arrangement_debug_trace(trace);
  std::locale::global(previous);
  EXPECT_EQ(text,
            "plan_key: 0\n"
            "source_fingerprint: 0\n"
            "include_solo: false\n"
            "SECTION: rhythm_lead_in\n"
            "function: introduction\n"
            "role: 3\n"
            "energy: 0.30 -> 0.38 -> 0.45\n"
            "density: 0.25 -> 0.31 -> 0.37\n"
            "main_climax: false\n"
            "SECTION: ending\n"
            "function: introduction\n"
            "role: -1\n"
            "energy: 0.40 -> 0.50\n"
            "density: 0.50 -> 0.50 -> 0.50\n"
            "main_climax: true\n"
            "SECTION: ending\n"
            "function: introduction\n"
            "role: -1\n"
            "energy: 0.70 -> 0.70\n"
            "density: 1.00 -> 0.01 -> 1.00\n"
            "main_climax: true\n");
}

TEST(arrangement_plan_test, trace_phrases_print_optional_lines_only_when_set) {
  phrase_debug_trace phrase;
  phrase.source_phrase = -1;
  phrase.phrase_index = 0;
  section_debug_trace section;
  section.phrases = {phrase};

  phrase.source_phrase = 3;
  phrase.phrase_index = 1;
  phrase.function = phrase_function::climax;
  phrase.planned_intent = phrase_rhythm_intent::build;
  phrase.electric_intent = electric_stab_intent::anticipation;
  phrase.foreground = foreground_model::plan_constrained;
  phrase.resolved_cell = "swing_stab_anticipation_1";
  phrase.acoustic_reference_cell = "swing_upper_build_0";
  phrase.events = 5;
  phrase.stabs = 4;
  phrase.optional_events = 3;
  phrase.response_window_hits = 2;
  phrase.acoustic_overlaps = 1;
  phrase.acoustic_responses = 18446744073709551615u;
  phrase.fallback = phrase_fallback_result::no_legal_candidate;
  phrase.fallback_reason = "no_legal_coverage_candidate";
  section.phrases.push_back(phrase);
  phrase.fallback = static_cast<phrase_fallback_result>(7);
  phrase.fallback_reason.clear();
  phrase.acoustic_reference_cell.clear();
  phrase.phrase_index = -4;
  section.phrases.push_back(phrase);

  arrangement_debug_trace trace;
  trace.sections = {section};
  EXPECT_EQ(format_arrangement_debug_trace(trace),
            "plan_key: 0\n"
            "source_fingerprint: 0\n"
            "include_solo: false\n"
            "SECTION: rhythm_lead_in\n"
            "function: introduction\n"
            "role: 0\n"
            "energy: 0.00 -> 0.00\n"
            "density: 0.00 -> 0.00\n"
            "main_climax: false\n"
            "  PHRASE 0\n"
            "  source_phrase: -1\n"
            "  function: statement\n"
            "  foreground: none\n"
            "  planned_intent: base\n"
            "  electric_intent: establish\n"
            "  resolved_cell: \n"
            "  events: 0\n"
            "  stabs: 0\n"
            "  optional_events: 0\n"
            "  response_window_hits: 0\n"
            "  acoustic_overlaps: 0\n"
            "  acoustic_responses: 0\n"
            "  fallback: not_needed\n"
            "  PHRASE 1\n"
            "  source_phrase: 3\n"
            "  function: climax\n"
            "  foreground: plan_constrained\n"
            "  planned_intent: build\n"
            "  electric_intent: anticipation\n"
            "  resolved_cell: swing_stab_anticipation_1\n"
            "  acoustic_reference_cell: swing_upper_build_0\n"
            "  events: 5\n"
            "  stabs: 4\n"
            "  optional_events: 3\n"
            "  response_window_hits: 2\n"
            "  acoustic_overlaps: 1\n"
            "  acoustic_responses: 18446744073709551615\n"
            "  fallback: no_legal_candidate\n"
            "  fallback_reason: no_legal_coverage_candidate\n"
            "  PHRASE -4\n"
            "  source_phrase: 3\n"
            "  function: climax\n"
            "  foreground: plan_constrained\n"
            "  planned_intent: build\n"
            "  electric_intent: anticipation\n"
            "  resolved_cell: swing_stab_anticipation_1\n"
            "  events: 5\n"
            "  stabs: 4\n"
            "  optional_events: 3\n"
            "  response_window_hits: 2\n"
            "  acoustic_overlaps: 1\n"
            "  acoustic_responses: 18446744073709551615\n"
            "  fallback: not_needed\n");
}

std::string golden_trace() {
  return R"(plan_key: 8930098239095356616
source_fingerprint: 7983275950982693380
include_solo: true
SECTION: rhythm_lead_in
function: introduction
role: 0
energy: 0.30 -> 0.38 -> 0.45
density: 0.25 -> 0.31 -> 0.37
main_climax: false
  PHRASE 0
  source_phrase: 2
  function: statement
  foreground: none
  planned_intent: base
  electric_intent: establish
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 3
  function: cadence
  foreground: none
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
SECTION: vocal_melody_1
function: exposition
role: 3
energy: 0.40 -> 0.46 -> 0.50
density: 0.33 -> 0.38 -> 0.41
main_climax: false
  PHRASE 0
  source_phrase: 0
  function: statement
  foreground: exact_source
  planned_intent: base
  electric_intent: establish
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 1
  function: answer
  foreground: exact_source
  planned_intent: response
  electric_intent: late_answer
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 2
  source_phrase: 2
  function: restatement
  foreground: exact_source
  planned_intent: variation
  electric_intent: sparse_support
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 3
  source_phrase: 3
  function: cadence
  foreground: exact_source
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
SECTION: guitar_melody
function: instrumental_restatement
role: 2
energy: 0.50 -> 0.56 -> 0.60
density: 0.41 -> 0.46 -> 0.49
main_climax: false
  PHRASE 0
  source_phrase: 0
  function: restatement
  foreground: exact_source
  planned_intent: base
  electric_intent: establish
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 1
  function: answer
  foreground: exact_source
  planned_intent: response
  electric_intent: late_answer
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 2
  source_phrase: 2
  function: build
  foreground: exact_source
  planned_intent: build
  electric_intent: anticipation
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 3
  source_phrase: 3
  function: cadence
  foreground: exact_source
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
SECTION: guitar_solo_1
function: first_development
role: 0
energy: 0.55 -> 0.64 -> 0.70
density: 0.45 -> 0.52 -> 0.57
main_climax: false
  PHRASE 0
  source_phrase: 0
  function: statement
  foreground: planned_but_not_enforced
  planned_intent: base
  electric_intent: establish
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 1
  function: answer
  foreground: planned_but_not_enforced
  planned_intent: response
  electric_intent: late_answer
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 2
  source_phrase: 2
  function: development
  foreground: planned_but_not_enforced
  planned_intent: variation
  electric_intent: sparse_support
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 3
  source_phrase: 3
  function: cadence
  foreground: planned_but_not_enforced
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
SECTION: guitar_solo_2
function: main_climax
role: 5
energy: 0.65 -> 0.90 -> 0.72
density: 0.53 -> 0.74 -> 0.59
main_climax: true
  PHRASE 0
  source_phrase: 0
  function: restatement
  foreground: planned_but_not_enforced
  planned_intent: base
  electric_intent: establish
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 1
  function: development
  foreground: planned_but_not_enforced
  planned_intent: response
  electric_intent: late_answer
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 2
  source_phrase: 2
  function: build
  foreground: planned_but_not_enforced
  planned_intent: build
  electric_intent: anticipation
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 3
  source_phrase: 3
  function: climax
  foreground: planned_but_not_enforced
  planned_intent: build
  electric_intent: anticipation
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
SECTION: vocal_melody_2
function: recapitulation
role: 3
energy: 0.52 -> 0.47 -> 0.42
density: 0.43 -> 0.39 -> 0.34
main_climax: false
  PHRASE 0
  source_phrase: 0
  function: restatement
  foreground: exact_source
  planned_intent: base
  electric_intent: establish
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 1
  function: answer
  foreground: exact_source
  planned_intent: response
  electric_intent: late_answer
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 2
  source_phrase: 2
  function: release
  foreground: exact_source
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 3
  source_phrase: 3
  function: cadence
  foreground: exact_source
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
SECTION: ending
function: coda
role: 3
energy: 0.40 -> 0.48 -> 0.35
density: 0.33 -> 0.39 -> 0.29
main_climax: false
  PHRASE 0
  source_phrase: 2
  function: release
  foreground: exact_source
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
  PHRASE 1
  source_phrase: 3
  function: cadence
  foreground: exact_source
  planned_intent: cadence
  electric_intent: cadence
  resolved_cell: 
  events: 0
  stabs: 0
  optional_events: 0
  response_window_hits: 0
  acoustic_overlaps: 0
  acoustic_responses: 0
  fallback: not_needed
)";
}

// The trace of the sixteen-measure song's electric plan with solos, as the section driver records
// it before any comping writes into it.
TEST(arrangement_plan_test, electric_trace_of_the_sixteen_measure_song) {
  const auto source = song(16);
  const auto part = specialize_for_part(plan_of(source, true), arrangement_part_type::electric);
  ASSERT_EQ(part.plan.source_fingerprint, normalized_source_fingerprint(source, med_swing()));
  EXPECT_EQ(format_arrangement_debug_trace(trace_of(part)), golden_trace());
}

}  // namespace
