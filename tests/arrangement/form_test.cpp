#include "arrangement/form.hpp"

#include <gtest/gtest.h>

#include "score_fixtures.hpp"

#include <array>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace orvanta::arrangement_detail;
using orvanta::arrangement_part_type;
using role = full_arrangement_section_role;
using score_fixtures::empty_measures;
using score_fixtures::with_chord;

constexpr std::int64_t whole = 16384;

full_arrangement_section measures_from(std::size_t first, std::size_t count) {
  full_arrangement_section section;
  section.first_measure = first;
  section.measure_count = count;
  return section;
}

source_note pitched(std::string id, std::int64_t start, std::int64_t duration,
                    std::size_t measure_index, int midi = 60) {
  source_note note;
  note.id = std::move(id);
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = measure_index;
  note.pitches = {{.midi = midi}};
  return note;
}

source_note rest(std::string id, std::int64_t start, std::int64_t duration,
                 std::size_t measure_index) {
  source_note note;
  note.id = std::move(id);
  note.kind = "rest";
  note.start_tick = start;
  note.duration_ticks = duration;
  note.measure_index = measure_index;
  return note;
}

// A song of 4/4 measures with a chord on every whole note; with a pickup, measure 0 is a rest and
// a melody note entering on the second eighth, without a chord.
source_score song(std::size_t measures, bool pickup) {
  auto score = empty_measures(measures);
  for (std::size_t index = 0; index < measures; ++index) {
    const auto start = static_cast<std::int64_t>(index) * whole;
    if (pickup && index == 0) {
      score.notes.push_back(rest("r0", 0, 2048, 0));
      score.notes.push_back(pitched("n0", 2048, whole - 2048, 0));
    } else {
      score.notes.push_back(
          with_chord(pitched("n" + std::to_string(index), start, whole, index), "C"));
    }
  }
  return score;
}

// Measure queries

TEST(form_test, measure_queries_read_ticks_and_refuse_indexes_outside_the_measures) {
  auto score = empty_measures(3);
  score.measures[1].capacity_ticks = 12288;  // 3/4
  score.measures[2].start_tick = whole + 12288;
  score.notes = {pitched("a", 0, 4096, 0), with_chord(rest("b", whole, 4096, 1), "F"),
                 pitched("c", whole + 8192, 4096, 1), pitched("d", 20480, 8192, 1)};

  EXPECT_EQ(source_measure_start(score, 1), whole);
  EXPECT_EQ(source_measure_end(score, 1), whole + 12288);
  EXPECT_EQ(source_section_duration(score, 0, 3), 3 * whole - 4096);
  EXPECT_EQ(source_section_duration(score, 1, 1), 12288);
  EXPECT_EQ(source_section_duration(score, 1, 0), 0);
  EXPECT_TRUE(measure_has_chord_symbol(score, 1));
  EXPECT_FALSE(measure_has_chord_symbol(score, 0));
  EXPECT_EQ(first_pitched_note_start_in_measure(score, 1), 20480);
  EXPECT_EQ(first_pitched_note_start_in_measure(score, 2), std::nullopt);

  // Outside the measure list: the safe empty answer, even where a stray note names the index.
  score.notes.push_back(with_chord(pitched("stray", 0, 4096, 7), "G"));
  EXPECT_EQ(source_measure_start(score, 3), 0);
  EXPECT_EQ(source_measure_end(score, 3), 0);
  EXPECT_EQ(source_section_duration(score, 2, 2), 0);
  EXPECT_EQ(source_section_duration(score, 1, std::numeric_limits<std::size_t>::max()), 0);
  EXPECT_FALSE(measure_has_chord_symbol(score, 7));
  EXPECT_EQ(first_pitched_note_start_in_measure(score, 7), std::nullopt);
}

TEST(form_test, the_source_ends_at_its_latest_measure_or_note_end) {
  EXPECT_EQ(source_end_ticks({}), 0);
  auto score = empty_measures(2);
  EXPECT_EQ(source_end_ticks(score), 2 * whole);
  score.notes = {pitched("short", whole, 4096, 1)};
  EXPECT_EQ(source_end_ticks(score), 2 * whole);
  score.notes.push_back(pitched("past the last measure", whole + 8192, whole, 1));
  EXPECT_EQ(source_end_ticks(score), 2 * whole + 8192);
  score.notes.push_back(pitched("absurd", std::numeric_limits<std::int64_t>::max() - 10, 4096, 1));
  EXPECT_EQ(source_end_ticks(score), std::numeric_limits<std::int64_t>::max());
}

TEST(form_test, the_first_chord_measure_is_the_smallest_index_of_any_chord_note) {
  auto score = empty_measures(4);
  EXPECT_EQ(first_chord_measure_index(score), std::nullopt);
  score.notes = {with_chord(pitched("late", 3 * whole, 4096, 3), "G"), pitched("plain", 0, 4096, 0),
                 with_chord(rest("rest", 2 * whole, 4096, 2), "F")};
  EXPECT_EQ(first_chord_measure_index(score), 2u);
}

// The leading pickup

TEST(form_test, the_leading_pickup_needs_a_late_melody_entry_and_chords_from_measure_1) {
  const auto chord_in_measure_1 = with_chord(pitched("b", whole, whole, 1), "C");
  auto capitalised = pitched("cap", 0, 2048, 0);
  capitalised.kind = "Note";
  auto pitchless = pitched("bare", 0, 2048, 0);
  pitchless.pitches.clear();
  struct row {
    const char* name;
    std::size_t measures;
    std::vector<source_note> notes;
    bool pickup;
  };
  const row rows[] = {
      {"rest then a note at 2048, first chord in measure 1",
       3,
       {rest("r", 0, 2048, 0), pitched("p", 2048, 14336, 0), chord_in_measure_1},
       true},
      {"a chord symbol on the opening rest",
       3,
       {with_chord(rest("r", 0, 2048, 0), "C"), pitched("p", 2048, 14336, 0), chord_in_measure_1},
       false},
      {"only rests in measure 0", 3, {rest("r", 0, whole, 0), chord_in_measure_1}, false},
      {"a note on the downbeat, rests after",
       3,
       {pitched("p", 0, 2048, 0), rest("r", 2048, 14336, 0), chord_in_measure_1},
       false},
      {"first chord in measure 2",
       3,
       {rest("r", 0, 2048, 0), pitched("p", 2048, 14336, 0), pitched("b", whole, whole, 1),
        with_chord(pitched("c", 2 * whole, whole, 2), "C")},
       false},
      {"no chord symbol at all", 3, {rest("r", 0, 2048, 0), pitched("p", 2048, 14336, 0)}, false},
      {"one measure", 1, {rest("r", 0, 2048, 0), pitched("p", 2048, 14336, 0)}, false},
      {"no measures", 0, {}, false},
      {"a capitalised kind on the downbeat is not a pitched note",
       3,
       {capitalised, pitched("p", 2048, 14336, 0), chord_in_measure_1},
       true},
      {"a note without pitches on the downbeat is not a pitched note",
       3,
       {pitchless, pitched("p", 2048, 14336, 0), chord_in_measure_1},
       true},
      {"the earliest pitched note counts, not the first listed",
       3,
       {pitched("late", 8192, 8192, 0), pitched("early", 0, 2048, 0), chord_in_measure_1},
       false},
  };
  for (const auto& row : rows) {
    auto score = empty_measures(row.measures);
    score.notes = row.notes;
    EXPECT_EQ(leading_pickup_measure_index(score),
              row.pickup ? std::optional<std::size_t>{0} : std::nullopt)
        << row.name;
    EXPECT_EQ(body_start_measure_index(score), row.pickup ? 1u : 0u) << row.name;
  }
}

TEST(form_test, a_tie_from_the_pickup_survives_from_off_the_beat_and_beyond_a_quarter) {
  struct tie {
    std::int64_t start;
    std::int64_t duration;
    int midi = 62;
    bool tied = true;
  };
  struct row {
    const char* name;
    tie previous;
    tie note;
    bool has_predecessor;
    bool preserved;
  };
  const row rows[] = {
      {"an eighth before the barline into a quarter", {14336, 2048}, {16384, 4096}, true, true},
      {"off the beat, exactly a quarter together", {2048, 2048}, {4096, 2048}, true, false},
      {"off the beat, more than a quarter together", {2048, 2048}, {4096, 4096}, true, true},
      {"on the fourth beat", {12288, 4096}, {16384, 4096}, true, false},
      {"on a beat, however long", {4096, 8192}, {12288, 16384}, true, false},
      {"a different first pitch", {14336, 2048, 64}, {16384, 4096}, false, false},
      {"predecessor without a tie to the next note",
       {14336, 2048, 62, false},
       {16384, 4096},
       false,
       false},
      {"note without a tie from the previous note",
       {14336, 2048},
       {16384, 4096, 62, false},
       false,
       false},
      {"predecessor ending before the note", {12288, 2048}, {16384, 4096}, false, false},
  };
  for (const auto& row : rows) {
    auto score = empty_measures(2);
    auto previous = pitched("p", row.previous.start, row.previous.duration, 0, row.previous.midi);
    previous.tie_to_next = row.previous.tied;
    auto note = pitched("n", row.note.start, row.note.duration, 1, row.note.midi);
    note.tie_from_previous = row.note.tied;
    score.notes = {previous, note};
    const auto* found = previous_tied_source_note(score, score.notes[1]);
    EXPECT_EQ(found, row.has_predecessor ? &score.notes[0] : nullptr) << row.name;
    EXPECT_EQ(should_preserve_leading_pickup_tie(score, score.notes[1]), row.preserved) << row.name;
  }
}

TEST(form_test, the_tied_predecessor_is_the_first_match_in_the_whole_note_list) {
  auto score = empty_measures(2);
  auto note = pitched("n", 16384, 4096, 1, 62);
  note.tie_from_previous = true;
  auto rest_before = rest("r", 14336, 2048, 0);
  rest_before.tie_to_next = true;
  auto listed_after = pitched("after", 14336, 2048, 0, 62);
  listed_after.tie_to_next = true;
  auto second = listed_after;
  second.id = "second";
  score.notes = {rest_before, note, listed_after, second};
  EXPECT_EQ(previous_tied_source_note(score, score.notes[1]), &score.notes[2]);

  auto rest_note = rest("tied rest", 16384, 4096, 1);
  rest_note.tie_from_previous = true;
  EXPECT_EQ(previous_tied_source_note(score, rest_note), nullptr);
}

// Sections and roles

TEST(form_test, edge_sections_cover_the_whole_body_up_to_4_then_4_then_8_measures) {
  const std::array<std::pair<std::size_t, std::size_t>, 9> rows{
      {{0, 0}, {1, 1}, {3, 3}, {4, 4}, {5, 4}, {7, 4}, {8, 8}, {15, 8}, {1000, 8}}};
  for (const auto& [body, edge] : rows)
    EXPECT_EQ(phrase_aware_edge_measure_count(body), edge) << body;
}

TEST(form_test, roles_follow_the_part_the_section_type_and_the_solo_flag) {
  constexpr auto electric = arrangement_part_type::electric;
  constexpr auto acoustic = arrangement_part_type::acoustic;
  constexpr auto vocal = arrangement_part_type::vocal;
  struct row {
    arrangement_part_type part;
    std::uint64_t type;
    bool solo;
    role expected;
  };
  const row rows[] = {
      {electric, 3, true, role::rests},
      {electric, 4, true, role::electric_solo},
      {electric, 4, false, role::rests},
      {acoustic, 3, true, role::acoustic_solo},
      {acoustic, 3, false, role::rests},
      {acoustic, 4, false, role::chords},
      {vocal, 6, true, role::vocal},
      {electric, 6, false, role::accompaniment},
      {electric, 7, false, role::rests},
      {acoustic, 99, true, role::chords},
      {vocal, std::numeric_limits<std::uint64_t>::max(), true, role::rests},
      {static_cast<arrangement_part_type>(9), 1, true, role::vocal},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(section_role(row.part, row.type, row.solo), row.expected)
        << static_cast<int>(row.part) << " type " << row.type << " solo " << row.solo;
  }
}

TEST(form_test, a_source_gives_seven_sections_over_its_body_and_its_last_measures) {
  using enum full_arrangement_section_role;
  constexpr auto electric = arrangement_part_type::electric;
  constexpr auto acoustic = arrangement_part_type::acoustic;
  constexpr auto vocal_part = arrangement_part_type::vocal;
  using roles = std::array<role, 7>;
  using flags = std::array<bool, 7>;
  constexpr flags none{};
  constexpr flags third{false, false, true, false, false, false, false};
  constexpr flags sung_body{false, true, false, false, false, true, false};
  constexpr flags all_sung{false, true, false, false, false, true, true};
  const roles electric_roles{rests, accompaniment, melody,       rests,
                             rests, accompaniment, accompaniment};
  const roles electric_solo_roles{rests,         accompaniment, melody,       rests,
                                  electric_solo, accompaniment, accompaniment};
  const roles acoustic_roles{chords, chords, chords, rests, chords, chords, chords};
  const roles acoustic_solo_roles{chords, chords, chords, acoustic_solo, chords, chords, chords};
  const roles vocal_roles{rests, vocal, rests, rests, rests, vocal, vocal};
  struct row {
    const char* name;
    std::size_t measures;
    bool pickup;
    arrangement_part_type part;
    bool solo;
    std::size_t edge_first, edge_count, body_first, body_count;
    roles expected_roles;
    flags guitar_overlap;
    flags vocal_overlap;
  };
  const row rows[] = {
      {"one measure", 1, false, electric, false, 0, 1, 0, 1, electric_roles, none, none},
      {"two measures with a pickup", 2, true, electric, true, 1, 1, 1, 1, electric_solo_roles,
       third, none},
      {"four measures", 4, false, acoustic, true, 0, 4, 0, 4, acoustic_solo_roles, none, none},
      {"five measures with a pickup", 5, true, electric, false, 1, 4, 1, 4, electric_roles, third,
       none},
      {"five measures with a pickup, sung", 5, true, vocal_part, true, 1, 4, 1, 4, vocal_roles,
       none, all_sung},
      {"five measures without a pickup", 5, false, vocal_part, false, 1, 4, 0, 5, vocal_roles, none,
       none},
      {"six measures", 6, false, electric, true, 2, 4, 0, 6, electric_solo_roles, none, none},
      {"nine measures with a pickup", 9, true, acoustic, false, 1, 8, 1, 8, acoustic_roles, none,
       none},
      {"sixteen measures", 16, false, electric, false, 8, 8, 0, 16, electric_roles, none, none},
      {"sixteen measures with a pickup", 16, true, vocal_part, false, 8, 8, 1, 15, vocal_roles,
       none, sung_body},
      {"thirty-three measures", 33, false, acoustic, true, 25, 8, 0, 33, acoustic_solo_roles, none,
       none},
      {"sixty-five measures", 65, false, electric, true, 57, 8, 0, 65, electric_solo_roles, none,
       none},
      {"sixty-five measures with a pickup", 65, true, electric, false, 57, 8, 1, 64, electric_roles,
       third, none},
  };
  const std::array<const char*, 7> labels{"Rhythm Lead-in", "Vocal Melody", "Guitar Melody",
                                          "Guitar Solo",    "Guitar Solo",  "Vocal Melody",
                                          "Ending"};
  for (const auto& row : rows) {
    const auto score = song(row.measures, row.pickup);
    ASSERT_EQ(leading_pickup_measure_index(score).has_value(), row.pickup) << row.name;
    const auto sections = full_arrangement_sections(score, row.part, row.solo);
    ASSERT_EQ(sections.size(), 7u) << row.name;
    for (std::size_t index = 0; index < sections.size(); ++index) {
      const auto& section = sections[index];
      const bool edge = index == 0 || index == 6;
      const full_arrangement_section expected{
          .label = labels[index],
          .first_measure = edge ? row.edge_first : row.body_first,
          .measure_count = edge ? row.edge_count : row.body_count,
          .type = index,
          .role = row.expected_roles[index]};
      EXPECT_EQ(section, expected) << row.name << ", section " << index;
      EXPECT_EQ(section.first_measure + section.measure_count, row.measures) << row.name;
      EXPECT_EQ(section_receives_guitar_pickup_overlap(score, section), row.guitar_overlap[index])
          << row.name << ", section " << index;
      EXPECT_EQ(section_receives_vocal_pickup_overlap(score, section), row.vocal_overlap[index])
          << row.name << ", section " << index;
    }
  }
  EXPECT_TRUE(full_arrangement_sections({}, electric, true).empty());
}

TEST(form_test, only_a_section_at_measure_1_after_a_pickup_starts_after_it) {
  const auto with_pickup = song(5, true);
  const auto without_pickup = song(5, false);
  auto section = measures_from(1, 4);
  section.role = role::accompaniment;
  EXPECT_TRUE(section_starts_after_leading_pickup(with_pickup, section));
  EXPECT_FALSE(section_starts_after_leading_pickup(without_pickup, section));
  EXPECT_FALSE(section_receives_guitar_pickup_overlap(with_pickup, section));
  EXPECT_FALSE(section_receives_vocal_pickup_overlap(with_pickup, section));
  section.first_measure = 2;
  EXPECT_FALSE(section_starts_after_leading_pickup(with_pickup, section));
  section.role = role::melody;
  EXPECT_FALSE(section_receives_guitar_pickup_overlap(with_pickup, section));
}

// Slicing and concatenation

// Five 4/4 measures with a pickup: its last note, an eighth before the barline, ties into
// measure 1; measure 1 ties into measure 2, measure 2 ties within itself and measure 3 into 4.
source_score tied_song(std::int64_t pickup_tie_start = 14336) {
  auto score = empty_measures(5);
  score.measures[1].section_label = "A";
  score.measures[3].section_label = "B";
  auto pickup_tie = pitched("p2", pickup_tie_start, whole - pickup_tie_start, 0, 62);
  pickup_tie.tie_to_next = true;
  auto body = with_chord(pitched("b1", whole, 4096, 1, 62), "C");
  body.tie_from_previous = true;
  auto into_measure_2 = pitched("b2", whole + 4096, 12288, 1, 64);
  into_measure_2.tie_to_next = true;
  auto from_measure_1 = with_chord(pitched("c1", 2 * whole, 4096, 2, 64), "F");
  from_measure_1.tie_from_previous = true;
  from_measure_1.tie_to_next = true;
  auto within_measure_2 = pitched("c2", 2 * whole + 4096, 12288, 2, 64);
  within_measure_2.tie_from_previous = true;
  auto into_measure_4 = with_chord(pitched("d1", 3 * whole, whole, 3, 67), "G");
  into_measure_4.tie_to_next = true;
  auto from_measure_3 = with_chord(pitched("e1", 4 * whole, whole, 4, 67), "C");
  from_measure_3.tie_from_previous = true;
  score.notes = {rest("r0", 0, 2048, 0),
                 pitched("p1", 2048, pickup_tie_start - 2048, 0),
                 pickup_tie,
                 body,
                 into_measure_2,
                 from_measure_1,
                 within_measure_2,
                 into_measure_4,
                 from_measure_3};
  score.tuplets = {{"t0", 3, 2, 0}, {"t3", 3, 2, 3}};
  return score;
}

const source_note& note_with_id(const source_score& score, const std::string& id) {
  for (const auto& note : score.notes) {
    if (note.id == id) return note;
  }
  throw std::runtime_error("no note " + id);
}

TEST(form_test, a_slice_moves_its_measures_to_the_offset_and_cuts_ties_at_both_edges) {
  const auto score = tied_song();
  const auto measures_2_and_3 = measures_from(2, 2);

  source_score expected;
  expected.measures = {score.measures[2], score.measures[3]};
  expected.measures[0].start_tick = 98304;
  expected.measures[1].start_tick = 98304 + whole;
  expected.measures[1].section_label = "";
  auto c1 = score.notes[5];
  c1.start_tick = 98304;
  c1.measure_index = 0;
  c1.tie_from_previous = false;  // the tie from measure 1 enters from outside
  auto c2 = score.notes[6];      // tied within the section: both flags stay
  c2.start_tick = 98304 + 4096;
  c2.measure_index = 0;
  auto d1 = score.notes[7];
  d1.start_tick = 98304 + whole;
  d1.measure_index = 1;
  d1.tie_to_next = false;  // reaches the section's end
  expected.notes = {c1, c2, d1};
  expected.tuplets = {{"t3", 3, 2, 1}};
  EXPECT_EQ(source_slice(score, measures_2_and_3, 98304), expected);

  const auto at_zero = source_slice(score, measures_2_and_3, 0);
  EXPECT_EQ(at_zero.measures[0].start_tick, 0);
  EXPECT_EQ(at_zero.measures[1].start_tick, whole);
  EXPECT_EQ(at_zero.notes[0].start_tick, 0);
  EXPECT_EQ(at_zero.notes[2].start_tick, whole);
}

TEST(form_test, the_section_after_the_pickup_keeps_a_long_off_beat_tie_from_it) {
  struct row {
    const char* name;
    source_score score;
    std::size_t measure_count;
    bool kept;
  };
  auto chord_on_pickup_rest = tied_song();
  chord_on_pickup_rest.notes[0].chord_symbol = "C";
  const row rows[] = {
      {"an eighth before the barline, the body", tied_song(), 4, true},
      {"an eighth before the barline, one measure", tied_song(), 1, true},
      {"on the fourth beat", tied_song(12288), 4, false},
      {"no pickup: a chord in measure 0", chord_on_pickup_rest, 4, false},
  };
  for (const auto& row : rows) {
    const auto section = measures_from(1, row.measure_count);
    const auto slice = source_slice(row.score, section, 0);
    EXPECT_EQ(note_with_id(slice, "b1").tie_from_previous, row.kept) << row.name;
    // A tie out of the section is cut whether or not it follows the pickup.
    EXPECT_EQ(slice.notes.back().tie_to_next, false) << row.name;
  }
  // A section after a pickup cuts ties other than the pickup's: measure 2 opens a section here.
  const auto from_measure_2 = source_slice(tied_song(), measures_from(2, 3), 0);
  EXPECT_FALSE(note_with_id(from_measure_2, "c1").tie_from_previous);
  EXPECT_TRUE(note_with_id(from_measure_2, "e1").tie_from_previous);
}

TEST(form_test, a_section_that_is_empty_or_leaves_the_measures_gives_no_slice) {
  const auto score = tied_song();
  struct row {
    const char* name;
    std::size_t first;
    std::size_t count;
  };
  const row rows[] = {
      {"no measures", 2, 0},
      {"first measure past the end", 5, 1},
      {"run past the end", 3, 3},
      {"huge count", 1, std::numeric_limits<std::size_t>::max()},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(source_slice(score, measures_from(row.first, row.count), 0), source_score{})
        << row.name;
  }
}

TEST(form_test, appending_labels_the_first_measure_and_moves_the_measure_indexes) {
  const auto score = tied_song();
  const auto body = measures_from(1, 4);
  auto target = empty_measures(9);
  append_section_source(target, source_slice(score, body, 9 * whole), "Vocal Melody");
  ASSERT_EQ(target.measures.size(), 13u);
  EXPECT_EQ(target.measures[9].section_label, "Vocal Melody");
  for (std::size_t index = 10; index < 13; ++index)
    EXPECT_EQ(target.measures[index].section_label, "");
  std::vector<std::size_t> note_measures;
  for (const auto& note : target.notes) note_measures.push_back(note.measure_index);
  EXPECT_EQ(note_measures, (std::vector<std::size_t>{9, 9, 10, 10, 11, 12}));
  ASSERT_EQ(target.tuplets.size(), 1u);
  EXPECT_EQ(target.tuplets[0].measure_index, 11u);

  append_section_source(target, source_slice(score, body, 13 * whole), "Guitar Melody");
  ASSERT_EQ(target.measures.size(), 17u);
  EXPECT_EQ(target.measures[13].id, target.measures[9].id);
  EXPECT_EQ(target.measures[13].section_label, "Guitar Melody");
  EXPECT_EQ(target.notes.back().measure_index, 16u);

  append_section_source(target, source_score{}, "Nothing");
  EXPECT_EQ(target.measures.size(), 17u);
}

// The arranged source: every section sliced at the running offset and appended in form order.
TEST(form_test, joined_sections_run_gapless_with_one_label_per_section) {
  struct row {
    const char* name;
    std::size_t measures;
    bool pickup;
    std::size_t arranged_measures;
    std::array<std::size_t, 7> labelled;  // 1-based positions in the arranged source
  };
  const row rows[] = {
      {"six measures", 6, false, 38, {1, 5, 11, 17, 23, 29, 35}},
      {"five measures with a pickup", 5, true, 28, {1, 5, 9, 13, 17, 21, 25}},
      {"sixteen measures", 16, false, 96, {1, 9, 25, 41, 57, 73, 89}},
      {"sixteen measures with a pickup", 16, true, 91, {1, 9, 24, 39, 54, 69, 84}},
      {"thirty-three measures", 33, false, 181, {1, 9, 42, 75, 108, 141, 174}},
      {"sixty-five measures", 65, false, 341, {1, 9, 74, 139, 204, 269, 334}},
  };
  for (const auto& row : rows) {
    const auto score = song(row.measures, row.pickup);
    const auto sections = full_arrangement_sections(score, arrangement_part_type::electric, false);
    source_score arranged;
    std::int64_t offset = 0;
    for (const auto& section : sections) {
      append_section_source(arranged, source_slice(score, section, offset), section.label);
      offset += source_section_duration(score, section.first_measure, section.measure_count);
    }
    ASSERT_EQ(arranged.measures.size(), row.arranged_measures) << row.name;
    EXPECT_EQ(source_end_ticks(arranged), offset) << row.name;
    std::int64_t expected_start = 0;
    std::size_t section_index = 0;
    for (std::size_t index = 0; index < arranged.measures.size(); ++index) {
      const auto& measure = arranged.measures[index];
      EXPECT_EQ(measure.start_tick, expected_start) << row.name << ", measure " << index + 1;
      expected_start += measure.capacity_ticks;
      const bool labelled = section_index < 7 && row.labelled[section_index] == index + 1;
      EXPECT_EQ(measure.section_label, labelled ? sections[section_index].label : "")
          << row.name << ", measure " << index + 1;
      if (labelled) ++section_index;
    }
    EXPECT_EQ(section_index, 7u) << row.name;
    for (const auto& note : arranged.notes) {
      ASSERT_LT(note.measure_index, arranged.measures.size()) << row.name;
      EXPECT_EQ(note.start_tick, arranged.measures[note.measure_index].start_tick) << row.name;
    }
  }
}

}  // namespace
