#include "arrangement/json_io.hpp"

#include "document.hpp"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <fstream>
#include <sstream>

namespace {

using namespace orvanta::arrangement_detail;
using boost::json::serialize;
using orvanta::arrangement_options;
using orvanta::arrangement_part_type;

TEST(json_io_test, integer_value_takes_only_whole_integers_in_signed_range) {
  const std::pair<const char*, std::optional<std::int64_t>> rows[] = {
      {"7", 7},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {"18446744073709551615", std::nullopt},
      {"1.0", std::nullopt},
      {"1e2", std::nullopt},
      {"\"3\"", std::nullopt},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"[]", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(integer_value(boost::json::parse(text)), expected) << text;
  }
}

// Each row reads key "m" of an object: absent when the member text is empty.
struct member_row {
  const char* name;
  const char* member_json;
  std::string text;
  bool flag;
  std::int64_t integer;
  std::optional<std::int64_t> optional_integer;
};

boost::json::object object_with(const char* member_json) {
  if (*member_json == '\0') return {};
  return boost::json::parse(std::string("{\"m\":") + member_json + "}").as_object();
}

TEST(json_io_test, member_readers_fall_back_on_missing_or_mistyped_members) {
  const member_row rows[] = {
      {"absent", "", "fallback", false, -1, std::nullopt},
      {"null", "null", "fallback", false, -1, std::nullopt},
      {"string", "\"text\"", "text", false, -1, std::nullopt},
      {"empty string", "\"\"", "", false, -1, std::nullopt},
      {"string true", "\"true\"", "true", false, -1, std::nullopt},
      {"true", "true", "fallback", true, -1, std::nullopt},
      {"false", "false", "fallback", false, -1, std::nullopt},
      {"one", "1", "fallback", false, 1, 1},
      {"zero", "0", "fallback", false, 0, 0},
      {"whole double", "2.0", "fallback", false, -1, std::nullopt},
      {"huge unsigned", "18446744073709551615", "fallback", false, -1, std::nullopt},
      {"object", "{}", "fallback", false, -1, std::nullopt},
  };
  for (const auto& row : rows) {
    const auto object = object_with(row.member_json);
    EXPECT_EQ(string_member(object, "m", "fallback"), row.text) << row.name;
    EXPECT_EQ(bool_member(object, "m"), row.flag) << row.name;
    EXPECT_EQ(integer_member(object, "m", -1), row.integer) << row.name;
    EXPECT_EQ(optional_integer_member(object, "m"), row.optional_integer) << row.name;
  }
}

TEST(json_io_test, member_points_into_the_object_or_is_null) {
  const auto object = object_with("[1, 2]");
  ASSERT_NE(member(object, "m"), nullptr);
  EXPECT_EQ(member(object, "m"), &object.at("m"));
  EXPECT_EQ(member(object, "missing"), nullptr);
}

// Written notes, rests and voices.

tab_position at(int string_number, int fret, std::optional<int> finger = std::nullopt) {
  return {string_number, fret, *open_midi_for_string(string_number) + fret, finger};
}

arrangement_event event_of(std::int64_t start, std::int64_t duration,
                           std::vector<tab_position> positions = {at(2, 1)},
                           std::string chord_symbol = "C") {
  arrangement_event event;
  event.start_ticks = start;
  event.duration_ticks = duration;
  event.positions = std::move(positions);
  event.chord_symbol = std::move(chord_symbol);
  return event;
}

TEST(json_io_test, pitches_are_spelled_from_the_fixed_table) {
  const std::pair<int, const char*> rows[] = {
      {61, R"({"letter":"c","accidental":"#","octave":4})"},
      {63, R"({"letter":"e","accidental":"b","octave":4})"},
      {66, R"({"letter":"f","accidental":"#","octave":4})"},
      {68, R"({"letter":"a","accidental":"b","octave":4})"},
      {70, R"({"letter":"b","accidental":"b","octave":4})"},
      {71, R"({"letter":"b","accidental":"n","octave":4})"},
      {72, R"({"letter":"c","accidental":"n","octave":5})"},
      {60, R"({"letter":"c","accidental":"n","octave":4})"},
      {59, R"({"letter":"b","accidental":"n","octave":3})"},
      {0, R"({"letter":"c","accidental":"n","octave":-1})"},
  };
  for (const auto& [midi, expected] : rows) EXPECT_EQ(serialize(pitch_from_midi(midi)), expected);
}

TEST(json_io_test, fingers_are_written_only_when_asked_for_on_fretted_fingered_positions) {
  struct row {
    const char* name;
    tab_position position;
    bool include_finger;
    const char* expected;
  };
  const row rows[] = {
      {"fretted with finger", at(2, 1, 1), true,
       R"({"string_number":2,"fret":1,"midi":60,"finger":1})"},
      {"fingers not asked for", at(2, 1, 1), false, R"({"string_number":2,"fret":1,"midi":60})"},
      {"open string with finger", at(1, 0, 2), true, R"({"string_number":1,"fret":0,"midi":64})"},
      {"fretted without finger", at(6, 3), true, R"({"string_number":6,"fret":3,"midi":43})"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(serialize(tab_position_json(row.position, row.include_finger)), row.expected)
        << row.name;
  }
}

TEST(json_io_test, rests_carry_the_placeholder_pitch_and_a_chord_symbol_only_when_given) {
  EXPECT_EQ(serialize(make_rest_note("r", 4096, "")),
            R"({"id":"r","kind":"rest","duration_ticks":4096,)"
            R"("pitches":[{"letter":"b","accidental":"n","octave":4}]})");
  EXPECT_EQ(serialize(make_rest_note("r", 300, "Dm7")),
            R"({"id":"r","kind":"rest","duration_ticks":300,)"
            R"("pitches":[{"letter":"b","accidental":"n","octave":4}],"chord_symbol":"Dm7"})");
}

TEST(json_io_test, arranged_notes_write_their_members_in_order) {
  auto plain = event_of(0, 4096, {});
  auto slash = plain;
  slash.slash = true;
  auto noted = plain;
  noted.display_ticks = 2048;
  auto tuplet = noted;
  tuplet.tuplet_id = "t1";
  const std::vector<tab_position> chord{at(1, 0), at(5, 7, 3), at(2, 0)};
  auto slashed_chord = event_of(0, 4096, chord);
  slashed_chord.slash = true;
  struct row {
    const char* name;
    std::vector<tab_position> positions;
    std::string chord_symbol;
    bool ties;
    bool include_tab_positions;
    arrangement_event event;
    std::string expected;
  };
  const std::string placeholder = R"("pitches":[{"letter":"b","accidental":"n","octave":4}])";
  const std::string chord_pitches =
      R"("pitches":[{"letter":"e","accidental":"n","octave":4},)"
      R"({"letter":"b","accidental":"n","octave":4},{"letter":"e","accidental":"n","octave":5}])";
  const std::string chord_tabs =
      R"("tab_positions":[{"string_number":5,"fret":7,"midi":52,"finger":3},)"
      R"({"string_number":2,"fret":0,"midi":59},{"string_number":1,"fret":0,"midi":64}])";
  const row rows[] = {
      {"no positions: a rest without ties",
       {},
       "C",
       true,
       true,
       plain,
       R"({"id":"n","kind":"rest","duration_ticks":4096,)" + placeholder +
           R"(,"chord_symbol":"C"})"},
      {"no positions, slash: a slash note",
       {},
       "",
       true,
       true,
       slash,
       R"({"id":"n","kind":"note","duration_ticks":4096,)" + placeholder +
           R"(,"notehead":"slash"})"},
      {"positions by pitch, an octave up", chord, "Em", true, true, plain,
       R"({"id":"n","kind":"note","duration_ticks":4096,)" + chord_pitches + "," + chord_tabs +
           R"(,"chord_symbol":"Em","tie_to_next":true,"tie_from_previous":true})"},
      {"every optional member", chord, "Em", true, true, slashed_chord,
       R"({"id":"n","kind":"note","duration_ticks":4096,)" + chord_pitches +
           R"(,"notehead":"slash",)" + chord_tabs +
           R"(,"chord_symbol":"Em","tie_to_next":true,"tie_from_previous":true})"},
      {"tab positions not asked for", chord, "", false, false, plain,
       R"({"id":"n","kind":"note","duration_ticks":4096,)" + chord_pitches + "}"},
      {"display ticks alone", chord, "", false, false, noted,
       R"({"id":"n","kind":"note","duration_ticks":4096,)" + chord_pitches +
           R"(,"display_ticks":2048})"},
      {"display ticks and tuplet id",
       {},
       "",
       false,
       false,
       tuplet,
       R"({"id":"n","kind":"rest","duration_ticks":4096,)" + placeholder +
           R"(,"display_ticks":2048,"tuplet_id":"t1"})"},
  };
  for (const auto& row : rows) {
    const auto note = make_arranged_note("n", 4096, row.positions, row.chord_symbol, row.ties,
                                         row.ties, row.include_tab_positions, true, row.event);
    EXPECT_EQ(serialize(note), row.expected) << row.name;
  }
}

TEST(json_io_test, durations_split_into_written_values_unless_a_remainder_is_left) {
  const std::pair<std::int64_t, std::vector<std::int64_t>> rows[] = {
      {5120, {4096, 1024}},
      {20480, {16384, 4096}},
      {14336, {12288, 2048}},
      {32768, {24576, 8192}},
      {4608, {4096, 512}},
      {53248, {24576, 24576, 4096}},
      {24576, {24576}},
      {512, {512}},
      {4100, {4100}},
      {300, {300}},
      {511, {511}},
      {0, {}},
      {-4096, {}},
  };
  for (const auto& [duration, expected] : rows) {
    EXPECT_EQ(renderable_duration_parts(duration), expected) << duration;
  }
}

TEST(json_io_test, rest_runs_number_their_rests_from_the_callers_counter) {
  boost::json::array notes;
  std::int64_t counter = 7;
  append_renderable_rest_notes(notes, counter, 5120, "C7");
  EXPECT_EQ(counter, 9);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].as_object(), make_rest_note("arr-rest-8", 4096, "C7"));
  EXPECT_EQ(notes[1].as_object(), make_rest_note("arr-rest-9", 1024, ""));

  append_renderable_rest_notes(notes, counter, 0, "C7");
  append_renderable_rest_notes(notes, counter, -512, "C7");
  EXPECT_EQ(counter, 9);
  EXPECT_EQ(notes.size(), 2u);
}

TEST(json_io_test, voices_write_empty_arrays) {
  EXPECT_EQ(serialize(make_voice("v", {})), R"({"id":"v","notes":[],"tuplets":[]})");
}

// Arranged guitar staff.

source_measure measure_of(const std::string& time_signature, std::int64_t start,
                          std::string section_label = "") {
  source_measure measure;
  measure.time_signature = time_signature;
  measure.key_signature = "F";
  measure.section_label = std::move(section_label);
  measure.start_tick = start;
  measure.capacity_ticks = orvanta::measure_capacity_ticks(time_signature);
  return measure;
}

// Measures of one time signature laid end to end from tick 0.
source_score score_of(std::size_t count, const std::string& time_signature = "4/4") {
  source_score score;
  std::int64_t start = 0;
  for (std::size_t index = 0; index < count; ++index) {
    score.measures.push_back(measure_of(time_signature, start));
    start += score.measures.back().capacity_ticks;
  }
  return score;
}

const boost::json::object& voice_of(const boost::json::object& staff, std::size_t measure) {
  return staff.at("measures").as_array()[measure].at("voices").as_array()[0].as_object();
}

// One line per written note: id, kind and duration, then every other member but the pitches by
// name, with its value when it is a text or an integer.
std::vector<std::string> describe(const boost::json::object& staff, std::size_t measure) {
  std::vector<std::string> lines;
  for (const auto& note : voice_of(staff, measure).at("notes").as_array()) {
    const auto& object = note.as_object();
    std::string line = std::string(object.at("id").as_string()) + " " +
                       std::string(object.at("kind").as_string()) + " " +
                       std::to_string(object.at("duration_ticks").as_int64());
    for (const auto& [key, value] : object) {
      if (key == "id" || key == "kind" || key == "duration_ticks" || key == "pitches") continue;
      line += " " + std::string(key);
      if (value.is_string()) line += "=" + std::string(value.as_string());
      if (value.is_int64()) line += "=" + std::to_string(value.as_int64());
    }
    lines.push_back(line);
  }
  return lines;
}

using lines = std::vector<std::string>;

TEST(json_io_test, measures_without_events_hold_one_rest_run_over_their_capacity) {
  const std::pair<const char*, lines> rows[] = {
      {"4/4", {"arr-rest-1 rest 16384"}},
      {"3/4", {"arr-rest-1 rest 12288"}},
      {"5/4", {"arr-rest-1 rest 16384", "arr-rest-2 rest 4096"}},
      {"7/8", {"arr-rest-1 rest 12288", "arr-rest-2 rest 2048"}},
      {"6/8", {"arr-rest-1 rest 12288"}},
  };
  for (const auto& [time_signature, expected] : rows) {
    const auto staff =
        make_arranged_staff(score_of(1, time_signature), {}, arrangement_part_type::electric, {});
    EXPECT_EQ(describe(staff, 0), expected) << time_signature;
  }
}

TEST(json_io_test, events_become_tied_chains_and_rests_fill_the_gaps) {
  auto own_tie = event_of(0, 5120);
  own_tie.tie_from_previous = true;
  struct row {
    const char* name;
    std::vector<arrangement_event> events;
    std::vector<lines> expected;
  };
  const row rows[] = {
      {"a quarter, then the counter runs on into the next measure",
       {event_of(0, 4096)},
       {{"arr-note-1 note 4096 tab_positions chord_symbol=C", "arr-rest-2 rest 12288"},
        {"arr-rest-3 rest 16384"}}},
      {"a dotted whole tied across the barline",
       {event_of(0, 24576, {at(2, 1)}, "C7")},
       {{"arr-note-1 note 16384 tab_positions chord_symbol=C7 tie_to_next"},
        {"arr-note-2 note 8192 tie_from_previous", "arr-rest-3 rest 8192"}}},
      {"a long note cut into a tied chain",
       {event_of(0, 5120)},
       {{"arr-note-1 note 4096 tab_positions chord_symbol=C tie_to_next",
         "arr-note-2 note 1024 tie_from_previous", "arr-rest-3 rest 8192", "arr-rest-4 rest 3072"},
        {"arr-rest-5 rest 16384"}}},
      {"a duration that no written values add up to stays whole",
       {event_of(0, 4100)},
       {{"arr-note-1 note 4100 tab_positions chord_symbol=C", "arr-rest-2 rest 12284"},
        {"arr-rest-3 rest 16384"}}},
      {"a rest before a late event",
       {event_of(2048, 4096)},
       {{"arr-rest-1 rest 2048", "arr-note-2 note 4096 tab_positions chord_symbol=C",
         "arr-rest-3 rest 8192", "arr-rest-4 rest 2048"},
        {"arr-rest-5 rest 16384"}}},
      {"an event continuing a tie shows no tab positions",
       {own_tie},
       {{"arr-note-1 note 4096 chord_symbol=C tie_to_next tie_from_previous",
         "arr-note-2 note 1024 tie_from_previous", "arr-rest-3 rest 8192", "arr-rest-4 rest 3072"},
        {"arr-rest-5 rest 16384"}}},
      {"an event of no duration splits the rest run",
       {event_of(4096, 0)},
       {{"arr-rest-1 rest 4096", "arr-rest-2 rest 12288"}, {"arr-rest-3 rest 16384"}}},
      {"an overlapping event is shortened, one behind the cursor dropped",
       {event_of(0, 8192, {at(2, 1)}, "C"), event_of(4096, 8192, {at(2, 3)}, "D"),
        event_of(8192, 2048, {at(2, 5)}, "E")},
       {{"arr-note-1 note 8192 tab_positions chord_symbol=C",
         "arr-note-2 note 4096 tab_positions chord_symbol=D", "arr-rest-3 rest 4096"},
        {"arr-rest-4 rest 16384"}}},
      {"an event from before the first measure continues into it",
       {event_of(-4096, 8192)},
       {{"arr-note-1 note 4096 tie_from_previous", "arr-rest-2 rest 12288"},
        {"arr-rest-3 rest 16384"}}},
      {"an event beyond the last measure is left out",
       {event_of(32768, 4096)},
       {{"arr-rest-1 rest 16384"}, {"arr-rest-2 rest 16384"}}},
  };
  for (const auto& row : rows) {
    const auto staff = make_arranged_staff(score_of(2), row.events, arrangement_part_type::electric,
                                           arrangement_options{true, false});
    EXPECT_EQ(describe(staff, 0), row.expected[0]) << row.name;
    EXPECT_EQ(describe(staff, 1), row.expected[1]) << row.name;
  }
}

TEST(json_io_test, rests_and_slashes_without_positions_are_written_with_note_ids_and_no_ties) {
  auto rest = event_of(0, 5120, {}, "C7");
  rest.tie_to_next = true;
  rest.tie_from_previous = true;
  rest.filler = true;
  auto slash = event_of(8192, 8192, {}, "F");
  slash.slash = true;
  slash.filler = true;
  const auto staff =
      make_arranged_staff(score_of(1), {rest, slash}, arrangement_part_type::electric, {});
  EXPECT_EQ(describe(staff, 0),
            (lines{"arr-note-1 rest 4096 chord_symbol=C7", "arr-note-2 rest 1024",
                   "arr-rest-3 rest 3072", "arr-note-4 note 8192 notehead=slash chord_symbol=F"}));
}

arrangement_event tuplet_member(std::int64_t start, std::int64_t duration, std::string id,
                                std::optional<std::int64_t> note_count = 3,
                                std::optional<std::int64_t> space_count = 2) {
  auto event = event_of(start, duration, {at(1, 1)}, "");
  event.display_ticks = 2048;
  event.tuplet_id = std::move(id);
  event.tuplet_note_count = note_count;
  event.tuplet_space_count = space_count;
  return event;
}

TEST(json_io_test, tuplet_members_stay_whole_and_declare_their_tuplet_once_per_voice) {
  const std::vector<arrangement_event> events{
      tuplet_member(0, 1365, "t1"), tuplet_member(1365, 1365, "t1"),
      tuplet_member(2730, 1366, "t1"),
      // A tuplet across the barline is declared in both measures.
      tuplet_member(14336, 1365, "t2"), tuplet_member(15701, 1365, "t2"),
      tuplet_member(17066, 1366, "t2")};
  const auto staff = make_arranged_staff(score_of(2), events, arrangement_part_type::electric, {});
  EXPECT_EQ(
      describe(staff, 0),
      (lines{"arr-note-1 note 1365 tab_positions display_ticks=2048 tuplet_id=t1",
             "arr-note-2 note 1365 tab_positions display_ticks=2048 tuplet_id=t1",
             "arr-note-3 note 1366 tab_positions display_ticks=2048 tuplet_id=t1",
             "arr-rest-4 rest 8192", "arr-rest-5 rest 2048",
             "arr-note-6 note 1365 tab_positions display_ticks=2048 tuplet_id=t2",
             "arr-note-7 note 683 tab_positions tie_to_next display_ticks=2048 tuplet_id=t2"}));
  EXPECT_EQ(describe(staff, 1),
            (lines{"arr-note-8 note 682 tie_from_previous display_ticks=2048 tuplet_id=t2",
                   "arr-note-9 note 1366 tab_positions display_ticks=2048 tuplet_id=t2",
                   "arr-rest-10 rest 12288", "arr-rest-11 rest 2048"}));
  EXPECT_EQ(serialize(voice_of(staff, 0).at("tuplets")),
            R"([{"id":"t1","note_count":3,"space_count":2},)"
            R"({"id":"t2","note_count":3,"space_count":2}])");
  EXPECT_EQ(serialize(voice_of(staff, 1).at("tuplets")),
            R"([{"id":"t2","note_count":3,"space_count":2}])");
}

TEST(json_io_test, a_tuplet_is_declared_only_with_both_counts_and_a_new_id) {
  struct row {
    const char* name;
    const char* tuplets;
    arrangement_event event;
    const char* expected;
  };
  const row rows[] = {
      {"new tuplet", "[]", tuplet_member(0, 1365, "t1"),
       R"([{"id":"t1","note_count":3,"space_count":2}])"},
      {"no tuplet id", "[]", event_of(0, 1365), "[]"},
      {"no note count", "[]", tuplet_member(0, 1365, "t1", std::nullopt, 2), "[]"},
      {"no space count", "[]", tuplet_member(0, 1365, "t1", 3, std::nullopt), "[]"},
      {"already declared", R"([{"id":"t1","note_count":5,"space_count":4}])",
       tuplet_member(0, 1365, "t1"), R"([{"id":"t1","note_count":5,"space_count":4}])"},
      {"non-objects and non-text ids never match", R"(["t1",{"id":1}])",
       tuplet_member(0, 1365, "t1"),
       R"(["t1",{"id":1},{"id":"t1","note_count":3,"space_count":2}])"},
  };
  for (const auto& row : rows) {
    auto tuplets = boost::json::parse(row.tuplets).as_array();
    append_event_tuplet(tuplets, row.event);
    EXPECT_EQ(serialize(tuplets), row.expected) << row.name;
  }
}

TEST(json_io_test, a_measure_without_capacity_gets_an_empty_voice) {
  auto score = score_of(2);
  score.measures.insert(score.measures.begin() + 1, measure_of("0/4", 16384));
  const auto staff =
      make_arranged_staff(score, {event_of(12288, 8192), tuplet_member(16384, 1365, "t1")},
                          arrangement_part_type::electric, {});
  EXPECT_EQ(serialize(voice_of(staff, 1)),
            R"({"id":"voice-arranged-guitar","notes":[],"tuplets":[]})");
  EXPECT_EQ(describe(staff, 2).front(), "arr-note-3 note 4096 tie_from_previous");
}

TEST(json_io_test, staves_and_measures_write_their_members_in_order) {
  source_score score;
  score.measures = {measure_of("2/4", 0, "A"), measure_of("2/4", 8192)};
  const auto staff = make_arranged_staff(score, {}, arrangement_part_type::electric, {});
  const std::string rest_pitch = R"("pitches":[{"letter":"b","accidental":"n","octave":4}])";
  EXPECT_EQ(serialize(staff),
            R"({"id":"staff-arranged-guitar","name":"Guitar","clef":"treble","role":"guitar",)"
            R"("arranged":true,"arrangement_part_type":"electric","measures":[)"
            R"({"id":"arr-measure-1","time_signature":"2/4","key_signature":"F",)"
            R"("section_label":"A","voices":[{"id":"voice-arranged-guitar","notes":[)"
            R"({"id":"arr-rest-1","kind":"rest","duration_ticks":8192,)" +
                rest_pitch +
                R"(}],"tuplets":[]}]},)"
                R"({"id":"arr-measure-2","time_signature":"2/4","key_signature":"F",)"
                R"("voices":[{"id":"voice-arranged-guitar","notes":[)"
                R"({"id":"arr-rest-2","kind":"rest","duration_ticks":8192,)" +
                rest_pitch + R"(}],"tuplets":[]}]}]})");
  EXPECT_EQ(
      serialize(make_arranged_staff({}, {event_of(0, 4096)}, arrangement_part_type::vocal, {})),
      R"({"id":"staff-arranged-guitar","name":"Guitar","clef":"treble","role":"guitar",)"
      R"("arranged":true,"arrangement_part_type":"vocal","measures":[]})");
}

TEST(json_io_test, assist_writes_fingers_and_the_part_type_changes_only_its_text) {
  const std::vector<arrangement_event> events{
      event_of(0, 24576, {at(5, 3, 3), at(4, 2, 2), at(3, 0, 1), at(2, 1, 1), at(1, 0)}),
      event_of(24576, 8192, {at(6, 3)})};
  const auto assisted =
      make_arranged_staff(score_of(2), events, arrangement_part_type::electric, {true, false});
  EXPECT_EQ(serialize(voice_of(assisted, 0).at("notes").as_array()[0].at("tab_positions")),
            R"([{"string_number":5,"fret":3,"midi":48,"finger":3},)"
            R"({"string_number":4,"fret":2,"midi":52,"finger":2},)"
            R"({"string_number":3,"fret":0,"midi":55},)"
            R"({"string_number":2,"fret":1,"midi":60,"finger":1},)"
            R"({"string_number":1,"fret":0,"midi":64}])");
  EXPECT_EQ(serialize(voice_of(assisted, 1).at("notes").as_array()[1].at("tab_positions")),
            R"([{"string_number":6,"fret":3,"midi":43}])");

  const auto plain =
      make_arranged_staff(score_of(2), events, arrangement_part_type::electric, {false, true});
  EXPECT_EQ(serialize(plain).find("finger"), std::string::npos);
  auto without_fingers = serialize(assisted);
  for (auto at = without_fingers.find(R"(,"finger":)"); at != std::string::npos;
       at = without_fingers.find(R"(,"finger":)")) {
    without_fingers.erase(at, std::string(R"(,"finger":1)").size());
  }
  EXPECT_EQ(without_fingers, serialize(plain));

  auto acoustic =
      make_arranged_staff(score_of(2), events, arrangement_part_type::acoustic, {false, false});
  EXPECT_EQ(acoustic.at("arrangement_part_type"), "acoustic");
  acoustic["arrangement_part_type"] = "electric";
  EXPECT_EQ(acoustic, plain);
}

TEST(json_io_test, removal_takes_only_arranged_staves_and_keeps_the_order_of_the_rest) {
  struct row {
    const char* name;
    const char* staves;
    const char* expected;
  };
  const row rows[] = {
      {"marked arranged", R"([{"id":"a"},{"id":"x","arranged":true},{"id":"b"}])",
       R"([{"id":"a"},{"id":"b"}])"},
      {"guitar id", R"([{"id":"staff-arranged-guitar","arranged":false},{"id":"a"}])",
       R"([{"id":"a"}])"},
      {"vocal id, arranged false", R"([{"id":"a"},{"id":"staff-arranged-vocal","arranged":false}])",
       R"([{"id":"a"}])"},
      {"several in a row", R"([{"arranged":true},{"arranged":true},{"id":"a"},{"arranged":true}])",
       R"([{"id":"a"}])"},
      {"kept: text true, guitar role, other ids, non-objects",
       R"([{"arranged":"true"},{"role":"guitar"},{"id":"staff-arranged"},1,"staff-arranged-guitar",null,[]])",
       R"([{"arranged":"true"},{"role":"guitar"},{"id":"staff-arranged"},1,"staff-arranged-guitar",null,[]])"},
      {"empty", "[]", "[]"},
  };
  for (const auto& row : rows) {
    auto staves = boost::json::parse(row.staves).as_array();
    remove_existing_arranged_staff(staves);
    EXPECT_EQ(serialize(staves), row.expected) << row.name;
  }
}

boost::json::value read_fixture(const char* name) {
  std::ifstream file(std::string(ORVANTA_TEST_FIXTURES_DIR) + "/" + name);
  std::stringstream text;
  text << file.rdbuf();
  return boost::json::parse(text.str());
}

// Each melody note played an octave down on the top strings, fretted notes with finger 1; rests
// become filler events.
std::vector<arrangement_event> melody_events(const source_score& score) {
  std::vector<arrangement_event> events;
  for (const auto& note : score.notes) {
    auto event = event_of(note.start_tick, note.duration_ticks, {}, note.chord_symbol);
    event.display_ticks = note.display_ticks;
    event.tie_to_next = note.tie_to_next;
    event.tie_from_previous = note.tie_from_previous;
    event.tuplet_id = note.tuplet_id;
    if (const auto tuplet = tuplet_for_note(score, note)) {
      event.tuplet_note_count = tuplet->note_count;
      event.tuplet_space_count = tuplet->space_count;
    }
    if (note.kind == "note" && !note.pitches.empty()) {
      auto position = positions_for_midi(note.pitches[0].midi - 12, upper_melody_strings()).at(0);
      if (position.fret > 0) position.finger = 1;
      event.positions = {position};
    } else {
      event.filler = true;
    }
    events.push_back(std::move(event));
  }
  return events;
}

TEST(json_io_test, a_staff_written_for_the_lead_sheet_passes_validation) {
  auto document = read_fixture("lead_sheet_8_bars.json");
  const auto* staff = source_staff(document);
  ASSERT_NE(staff, nullptr);
  const auto score = extract_source_score(*staff);
  ASSERT_EQ(score.measures.size(), 8u);
  const auto events = melody_events(score);

  for (const auto part_type : {arrangement_part_type::electric, arrangement_part_type::acoustic}) {
    auto written = document;
    auto& staves = written.as_object()["staves"].as_array();
    staves.push_back(make_arranged_staff(score, {event_of(0, 4096)}, part_type, {}));
    remove_existing_arranged_staff(staves);
    ASSERT_EQ(staves.size(), 1u);
    staves.push_back(make_arranged_staff(score, events, part_type, {true, false}));
    EXPECT_EQ(orvanta::validate_score_document(written).messages,
              std::vector<orvanta::validation_message>{});

    const auto& arranged = staves.back().as_object();
    EXPECT_EQ(serialize(voice_of(arranged, 1).at("tuplets")),
              R"([{"id":"tuplet-1","note_count":3,"space_count":2}])");
    EXPECT_EQ(describe(arranged, 0).front(),
              "arr-note-1 note 4096 tab_positions chord_symbol=Fmaj7");
  }
}

}  // namespace
