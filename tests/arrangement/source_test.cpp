#include "arrangement/source.hpp"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using namespace orvanta::arrangement_detail;

boost::json::object parse_object(const std::string& text) {
  return boost::json::parse(text).as_object();
}

std::vector<std::int64_t> start_ticks(const source_score& score) {
  std::vector<std::int64_t> ticks;
  for (const auto& note : score.notes) ticks.push_back(note.start_tick);
  return ticks;
}

std::vector<std::string> note_ids(const source_score& score) {
  std::vector<std::string> ids;
  for (const auto& note : score.notes) ids.push_back(note.id);
  return ids;
}

TEST(source_test, normalize_pc_wraps_any_integer) {
  const std::pair<int, int> rows[] = {{0, 0},   {11, 11},  {12, 0},      {25, 1},     {-1, 11},
                                      {-12, 0}, {-13, 11}, {INT_MAX, 7}, {INT_MIN, 4}};
  for (const auto& [value, expected] : rows) EXPECT_EQ(normalize_pc(value), expected) << value;
}

TEST(source_test, tick_arithmetic_holds_at_the_64_bit_limits) {
  constexpr auto largest = std::numeric_limits<std::int64_t>::max();
  constexpr auto smallest = std::numeric_limits<std::int64_t>::min();
  struct row {
    const char* name;
    std::int64_t tick;
    std::int64_t ticks;
    std::int64_t sum;
    std::int64_t difference;
  };
  const row rows[] = {
      {"plain", 16384, 4096, 20480, 12288},
      {"negative", -4096, -4096, -8192, 0},
      {"at the top", largest, 1, largest, largest - 1},
      {"at the bottom", smallest, -1, smallest, smallest + 1},
      {"sum over the top", largest - 1, 2, largest, largest - 3},
      {"difference under the bottom", smallest, largest, -1, smallest},
      {"difference just under the bottom", -2, largest, largest - 2, smallest},
      {"difference over the top", largest, smallest, -1, largest},
  };
  for (const auto& [name, tick, ticks, sum, difference] : rows) {
    EXPECT_EQ(add_ticks(tick, ticks), sum) << name;
    EXPECT_EQ(subtract_ticks(tick, ticks), difference) << name;
  }
}

TEST(source_test, clamp_to_int_holds_64_bit_values_within_int) {
  constexpr auto largest = std::numeric_limits<std::int64_t>::max();
  constexpr auto smallest = std::numeric_limits<std::int64_t>::min();
  const std::pair<std::int64_t, int> rows[] = {{0, 0},
                                               {-5, -5},
                                               {INT_MAX, INT_MAX},
                                               {std::int64_t{INT_MAX} + 1, INT_MAX},
                                               {INT_MIN, INT_MIN},
                                               {std::int64_t{INT_MIN} - 1, INT_MIN},
                                               {largest, INT_MAX},
                                               {smallest, INT_MIN}};
  for (const auto& [value, expected] : rows) EXPECT_EQ(clamp_to_int(value), expected) << value;
}

TEST(source_test, open_strings_in_standard_tuning) {
  const int expected[] = {64, 59, 55, 50, 45, 40};
  for (int string = 1; string <= 6; ++string)
    EXPECT_EQ(open_midi_for_string(string), expected[string - 1]);
  EXPECT_FALSE(open_midi_for_string(0));
  EXPECT_FALSE(open_midi_for_string(7));
  EXPECT_FALSE(open_midi_for_string(-1));
}

TEST(source_test, pitch_midi_of_written_pitches) {
  struct row {
    source_pitch pitch;
    int midi;
  };
  const row rows[] = {
      {{"c", 4, "n"}, 60},
      {{"b", 3, "#"}, 60},
      {{"c", 0, "b"}, 11},
      {{"d", 4, "b"}, 61},
      {{"g", 2, ""}, 43},
      {{"a", 8, "x"}, 117},
      {{"D", 4, "n"}, 60},   // upper case is no letter: pitch class 0
      {{"dd", 4, "n"}, 60},  // neither is a longer text
      {{"e", -1, "#"}, 5},
      // Absurd octaves are computed without overflow and keep the low 32 bits.
      {{"c", INT_MAX, "n"}, 0},
      {{"c", INT_MIN, "n"}, 12},
  };
  for (const auto& [pitch, midi] : rows) {
    EXPECT_EQ(pitch_midi(pitch), midi) << pitch.letter << pitch.octave << pitch.accidental;
  }
}

TEST(source_test, parse_pitch_defaults_every_member) {
  EXPECT_EQ(parse_pitch(boost::json::parse("{}")), (source_pitch{"c", 4, "n", 60}));
  EXPECT_EQ(parse_pitch(boost::json::parse(R"({"letter":"f","octave":3,"accidental":"#"})")),
            (source_pitch{"f", 3, "#", 54}));
  EXPECT_EQ(parse_pitch(boost::json::parse(R"({"letter":7,"octave":"5","accidental":null})")),
            (source_pitch{"c", 4, "n", 60}));
  EXPECT_EQ(parse_pitch(boost::json::parse(R"({"octave":5.0})")), (source_pitch{"c", 4, "n", 60}));
  // An octave beyond int keeps its low 32 bits: 2^32 + 5 reads as 5.
  EXPECT_EQ(parse_pitch(boost::json::parse(R"({"octave":4294967301})")),
            (source_pitch{"c", 5, "n", 72}));
  EXPECT_FALSE(parse_pitch(boost::json::parse(R"("c4")")));
  EXPECT_FALSE(parse_pitch(boost::json::parse("null")));
}

TEST(source_test, parse_note_pitches_keeps_object_elements_in_order) {
  const auto pitches =
      parse_note_pitches(parse_object(R"({"pitches":[{"letter":"e"},"g",3,{"letter":"b"}]})"));
  ASSERT_EQ(pitches.size(), 2u);
  EXPECT_EQ(pitches[0].midi, 64);
  EXPECT_EQ(pitches[1].midi, 71);
  EXPECT_TRUE(parse_note_pitches(parse_object(R"({"pitches":{"letter":"e"}})")).empty());
  EXPECT_TRUE(parse_note_pitches(parse_object("{}")).empty());
}

TEST(source_test, source_staff_prefers_the_first_input_staff) {
  struct row {
    const char* name;
    const char* document;
    int expected;  // index into staves, -1 for null
  };
  const row rows[] = {
      {"document not an object", R"([{"id":"a"}])", -1},
      {"no staves", R"({})", -1},
      {"staves not an array", R"({"staves":{"id":"a"}})", -1},
      {"staves without objects", R"({"staves":[1,"x",null]})", -1},
      {"plain input staff", R"({"staves":[{"id":"a"}]})", 0},
      {"only an arranged staff", R"({"staves":[{"arranged":true}]})", 0},
      {"only the arranged guitar id", R"({"staves":[{"id":"staff-arranged-guitar"}]})", 0},
      {"only a guitar role", R"({"staves":[{"role":"guitar"}]})", 0},
      {"arranged before input", R"({"staves":[{"arranged":true},{"id":"a"}]})", 1},
      {"guitar id before input", R"({"staves":[{"id":"staff-arranged-guitar"},{"id":"a"}]})", 1},
      {"vocal id before input", R"({"staves":[{"id":"staff-arranged-vocal"},{"id":"a"}]})", 1},
      {"guitar role before input", R"({"staves":[{"role":"guitar"},{"role":"voice"}]})", 1},
      {"fallback skips non-objects", R"({"staves":[7,{"role":"guitar"},{"arranged":true}]})", 1},
      {"arranged as a string is not arranged", R"({"staves":[{"arranged":"true"},{}]})", 0},
      {"role compared case-sensitively", R"({"staves":[{"role":"Guitar"},{}]})", 0},
  };
  for (const auto& [name, text, expected] : rows) {
    const auto document = boost::json::parse(text);
    const auto* staff = source_staff(document);
    if (expected < 0) {
      EXPECT_EQ(staff, nullptr) << name;
    } else {
      EXPECT_EQ(staff, &document.at("staves").at(expected).as_object()) << name;
    }
  }
}

TEST(source_test, staff_without_measures_array_gives_empty_score) {
  EXPECT_EQ(extract_source_score(parse_object("{}")), source_score{});
  EXPECT_EQ(extract_source_score(parse_object(R"({"measures":{}})")), source_score{});
  EXPECT_EQ(extract_source_score(parse_object(R"({"measures":[]})")), source_score{});
}

TEST(source_test, reads_measures_notes_and_tuplets) {
  const auto score = extract_source_score(parse_object(R"({"measures":[
    {"id":"m1","time_signature":"3/4","key_signature":"F","section_label":"A",
     "voices":[{"tuplets":[{"id":"t1","note_count":3,"space_count":2}],
                "notes":[{"id":"n1","kind":"note","duration_ticks":4096,"chord_symbol":"F",
                          "lyric":"la","tie_to_next":true,
                          "pitches":[{"letter":"f","octave":4},{"letter":"a","octave":4}]},
                         {"duration_ticks":1365,"display_ticks":2048,"tuplet_id":"t1"},
                         {"duration_ticks":1365,"display_ticks":2048,"tuplet_id":"t1"},
                         {"duration_ticks":1366,"display_ticks":2048,"tuplet_id":"t1"},
                         {"kind":"rest","duration_ticks":4096,"display_ticks":null}]},
               {"notes":[{"id":"second voice","duration_ticks":12288}]}]},
    {"voices":[{"notes":[{"duration_ticks":16384}]}]}
  ]})"));

  ASSERT_EQ(score.measures.size(), 2u);
  EXPECT_EQ(score.measures[0], (source_measure{"m1", "3/4", "F", "A", 0, 12288}));
  EXPECT_EQ(score.measures[1], (source_measure{"measure-2", "4/4", "C", "", 12288, 16384}));

  ASSERT_EQ(score.tuplets.size(), 1u);
  EXPECT_EQ(score.tuplets[0], (source_tuplet{"t1", 3, 2, 0}));

  // Positions follow the durations, never the written display ticks of the triplet.
  EXPECT_EQ(start_ticks(score), (std::vector<std::int64_t>{0, 4096, 5461, 6826, 8192, 12288}));
  EXPECT_EQ(note_ids(score),
            (std::vector<std::string>{"n1", "note-2", "note-3", "note-4", "note-5", "note-6"}));

  source_note first;
  first.id = "n1";
  first.chord_symbol = "F";
  first.lyric = "la";
  first.pitches = {{"f", 4, "n", 65}, {"a", 4, "n", 69}};
  first.tie_to_next = true;
  EXPECT_EQ(score.notes[0], first);

  EXPECT_EQ(score.notes[1].display_ticks, 2048);
  EXPECT_EQ(score.notes[1].tuplet_id, "t1");
  EXPECT_EQ(score.notes[1].pitches, std::vector<source_pitch>{});
  EXPECT_EQ(score.notes[4].kind, "rest");
  EXPECT_EQ(score.notes[4].display_ticks, std::nullopt);
  EXPECT_EQ(score.notes[5].measure_index, 1u);
}

TEST(source_test, skipped_measures_still_use_up_their_position) {
  const auto score = extract_source_score(parse_object(R"({"measures":[
    {"voices":[{"notes":[{},{},{}]}]},
    5,
    {"voices":[{"tuplets":[{"id":"t","note_count":3,"space_count":2}],"notes":[{},"x",{},{},{}]}]}
  ]})"));
  ASSERT_EQ(score.measures.size(), 2u);
  EXPECT_EQ(score.measures[0].id, "measure-1");
  EXPECT_EQ(score.measures[1].id, "measure-3");
  EXPECT_EQ(score.measures[1].start_tick, 16384);
  EXPECT_EQ(note_ids(score), (std::vector<std::string>{"note-1", "note-2", "note-3", "note-4",
                                                       "note-5", "note-6", "note-7"}));
  EXPECT_EQ(score.notes[3].measure_index, 2u);
  EXPECT_EQ(score.notes[6].measure_index, 2u);
  EXPECT_EQ(score.tuplets.at(0).measure_index, 2u);
  // The string element is skipped and does not advance the next note's start.
  EXPECT_EQ(start_ticks(score),
            (std::vector<std::int64_t>{0, 4096, 8192, 16384, 20480, 24576, 28672}));
}

TEST(source_test, measures_without_a_capacity_or_a_readable_voice) {
  const auto score = extract_source_score(parse_object(R"({"measures":[
    {"time_signature":"5/7","voices":[{"notes":[{}]}]},
    {"time_signature":"2/4","voices":[]},
    {"voices":["not a voice",{"notes":[{}]}]},
    {"voices":{"notes":[{}]}},
    {"time_signature":7,"voices":[{"notes":[{}]}]}
  ]})"));
  ASSERT_EQ(score.measures.size(), 5u);
  const std::pair<const char*, std::int64_t> capacities[] = {
      {"5/7", 0}, {"2/4", 8192}, {"4/4", 16384}, {"4/4", 16384}, {"4/4", 16384}};
  const std::int64_t starts[] = {0, 0, 8192, 24576, 40960};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(score.measures[i].time_signature, capacities[i].first) << i;
    EXPECT_EQ(score.measures[i].capacity_ticks, capacities[i].second) << i;
    EXPECT_EQ(score.measures[i].start_tick, starts[i]) << i;
  }
  ASSERT_EQ(score.notes.size(), 2u);
  EXPECT_EQ(score.notes[0].measure_index, 0u);
  EXPECT_EQ(score.notes[1].measure_index, 4u);
  EXPECT_EQ(score.notes[1].start_tick, 40960);
}

TEST(source_test, note_durations_are_read_leniently) {
  const std::pair<const char*, std::int64_t> rows[] = {
      {"4096", 4096},     {"2048", 2048}, {"0", 1},         {"-5", 1},
      {"\"4096\"", 4096}, {"1.5", 4096},  {"2048.0", 4096}, {"18446744073709551615", 4096},
      {"null", 4096},
  };
  for (const auto& [duration, expected] : rows) {
    const auto score = extract_source_score(
        parse_object(std::string(R"({"measures":[{"voices":[{"notes":[{"duration_ticks":)") +
                     duration + "},{}]}]}]}"));
    ASSERT_EQ(score.notes.size(), 2u) << duration;
    EXPECT_EQ(score.notes[0].duration_ticks, expected) << duration;
    EXPECT_EQ(score.notes[1].start_tick, expected) << duration;
  }
}

TEST(source_test, absurd_durations_do_not_overflow_start_ticks) {
  const auto score = extract_source_score(parse_object(R"({"measures":[{"voices":[{"notes":[
    {"duration_ticks":9223372036854775807},{"duration_ticks":9223372036854775807},{}]}]},
    {"voices":[{"notes":[{}]}]}]})"));
  EXPECT_EQ(start_ticks(score), (std::vector<std::int64_t>{0, INT64_MAX, INT64_MAX, 16384}));
}

TEST(source_test, tuplets_need_an_id_and_both_counts) {
  const auto score = extract_source_score(parse_object(R"({"measures":[{"voices":[{"tuplets":[
    {"note_count":3,"space_count":2},
    {"id":"","note_count":3,"space_count":2},
    {"id":"fraction","note_count":1.5,"space_count":2},
    {"id":"no space","note_count":3},
    {"id":"null space","note_count":3,"space_count":null},
    "t",
    {"id":"zero","note_count":0,"space_count":2},
    {"id":"large","note_count":99,"space_count":-1}
  ]}]}]})"));
  EXPECT_EQ(score.tuplets, (std::vector<source_tuplet>{{"zero", 0, 2, 0}, {"large", 99, -1, 0}}));
}

TEST(source_test, ties_are_inferred_only_for_a_matching_tied_note) {
  const std::string tied_e = R"({"duration_ticks":16384,"tie_to_next":true,
                                 "pitches":[{"letter":"e"},{"letter":"c"}]})";
  struct row {
    const char* name;
    std::string first;
    std::string second;
    bool expected;
  };
  const row rows[] = {
      {"across the bar line", tied_e, R"({"pitches":[{"letter":"e"}]})", true},
      {"different first pitch", tied_e, R"({"pitches":[{"letter":"c"},{"letter":"e"}]})", false},
      {"second is a rest", tied_e, R"({"kind":"rest","pitches":[{"letter":"e"}]})", false},
      {"first is a rest",
       R"({"kind":"rest","duration_ticks":16384,"tie_to_next":true,"pitches":[{"letter":"e"}]})",
       R"({"pitches":[{"letter":"e"}]})", false},
      {"gap between them",
       R"({"duration_ticks":8192,"tie_to_next":true,"pitches":[{"letter":"e"}]})",
       R"({"pitches":[{"letter":"e"}]})", false},
      {"first not tied on", R"({"duration_ticks":16384,"pitches":[{"letter":"e"}]})",
       R"({"pitches":[{"letter":"e"}]})", false},
      {"second without pitches", tied_e, R"({})", false},
      {"given tie stays", R"({"kind":"rest","duration_ticks":16384})",
       R"({"kind":"rest","tie_from_previous":true})", true},
  };
  for (const auto& [name, first, second, expected] : rows) {
    const auto score =
        extract_source_score(parse_object(R"({"measures":[{"voices":[{"notes":[)" + first +
                                          R"(]}]},{"voices":[{"notes":[)" + second + "]}]}]}"));
    ASSERT_EQ(score.notes.size(), 2u) << name;
    EXPECT_EQ(score.notes[1].tie_from_previous, expected) << name;
  }
}

TEST(source_test, first_note_keeps_its_given_tie) {
  const auto score = extract_source_score(
      parse_object(R"({"measures":[{"voices":[{"notes":[{"tie_from_previous":true},{}]}]}]})"));
  EXPECT_TRUE(score.notes[0].tie_from_previous);
  EXPECT_FALSE(score.notes[1].tie_from_previous);
}

TEST(source_test, style_label_of_the_document) {
  const std::pair<const char*, const char*> rows[] = {
      {R"({"metadata":{"style":"Bossa Nova"}})", "Bossa Nova"},
      {R"({"metadata":{"style":" "}})", " "},
      {R"({"metadata":{"style":""}})", "Med. Swing"},
      {R"({"metadata":{"style":7}})", "Med. Swing"},
      {R"({"metadata":{}})", "Med. Swing"},
      {R"({"metadata":"Rock"})", "Med. Swing"},
      {R"({})", "Med. Swing"},
      {R"(["Rock"])", "Med. Swing"},
  };
  for (const auto& [document, label] : rows) {
    EXPECT_EQ(arrangement_style_label(boost::json::parse(document)), label) << document;
  }
}

TEST(source_test, style_profiles_of_labels) {
  using enum comping_style_family;
  struct row {
    const char* label;
    arrangement_style_profile profile;
  };
  const row rows[] = {
      {"Med. Swing", {swing, false, false, 124}},
      {"", {swing, false, false, 124}},
      {"Up Tempo Swing", {swing, true, false, 176}},
      {"Fast Swing", {swing, true, false, 220}},
      {"Slow Swing", {swing, false, true, 88}},
      {"Slow", {ballad, false, true, 72}},
      {"Slow Jazz", {swing, false, true, 88}},
      {"Jazz Ballad", {ballad, false, true, 72}},
      {"Fast Ballad", {ballad, true, true, 72}},
      {"Bossa Nova", {bossa, false, false, 132}},
      {"BOSSA NOVA", {bossa, false, false, 132}},
      {"Bossa Samba", {samba, false, false, 156}},
      {"Samba Funk", {funk, false, false, 104}},
      {"Latin Rock", {even8ths, false, false, 112}},
      {"Latin", {latin, false, false, 128}},
      {"Latin Jazz Up", {latin, true, false, 144}},
      {"Rock", {rock, false, false, 118}},
      {"Blues Shuffle", {blues, false, false, 112}},
      {"Rock Waltz", {waltz, false, false, 144}},
      {"Group Funk", {funk, true, false, 120}},
      {"Slow Up Blues", {blues, true, true, 88}},
      {"Even 8ths Fast", {even8ths, true, false, 144}},
      {"Up Samba", {samba, true, false, 168}},
      {"Bossa Lenta Slow", {bossa, false, true, 116}},
      {"Fast Waltz", {waltz, true, false, 180}},
      {"\xC3\x84 Rock", {rock, false, false, 118}},
  };
  for (const auto& [label, profile] : rows) {
    EXPECT_EQ(arrangement_style_profile_for(label), profile) << label;
  }
}

TEST(source_test, text_helpers) {
  EXPECT_EQ(lowercase("Med. SWING \xC3\x84 [@Z]"), "med. swing \xC3\x84 [@z]");
  EXPECT_EQ(lowercase(""), "");

  EXPECT_TRUE(starts_with_text("", ""));
  EXPECT_TRUE(starts_with_text("maj7", ""));
  EXPECT_TRUE(starts_with_text("maj7", "maj"));
  EXPECT_FALSE(starts_with_text("ma", "maj"));
  EXPECT_FALSE(starts_with_text("Maj7", "maj"));

  EXPECT_TRUE(contains_text("", ""));
  EXPECT_TRUE(contains_text("m7b5", "b5"));
  EXPECT_FALSE(contains_text("SWING", "swing"));
  EXPECT_FALSE(contains_text("b", "b5"));
}

}  // namespace
