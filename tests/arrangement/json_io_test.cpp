#include "arrangement/json_io.hpp"

#include "document.hpp"

#include <gtest/gtest.h>

#include "fixture_documents.hpp"
#include "section_fixtures.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

namespace {

using namespace orvanta::arrangement_detail;
using boost::json::serialize;
using fixture_documents::read_fixture;
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

// Arranged vocal staff.

boost::json::object json_object(const char* text) { return boost::json::parse(text).as_object(); }

// The text of a vocal rest with the placeholder pitch.
std::string vocal_rest(int number, std::int64_t duration, const std::string& chord = "") {
  auto text = R"({"id":"arr-vocal-rest-)" + std::to_string(number) +
              R"(","kind":"rest","duration_ticks":)" + std::to_string(duration) +
              R"(,"pitches":[{"letter":"b","accidental":"n","octave":4}])";
  if (!chord.empty()) text += R"(,"chord_symbol":")" + chord + "\"";
  return text + "}";
}

std::string rest_voice(const std::vector<std::string>& rests, const char* tuplets = "[]") {
  std::string text = R"({"id":"voice-arranged-vocal","notes":[)";
  for (std::size_t index = 0; index < rests.size(); ++index) {
    if (index > 0) text += ",";
    text += rests[index];
  }
  return text + "],\"tuplets\":" + tuplets + "}";
}

TEST(json_io_test, compact_rest_voices_hold_one_rest_per_chord_span) {
  struct row {
    const char* name;
    const char* notes;
    std::int64_t capacity;
    std::optional<std::string> expected;
    std::int64_t rest_number_after;  // counting from 4
  };
  const row rows[] = {
      {"chords on beats 1 and 3",
       R"([{"duration_ticks":4096,"chord_symbol":"C"},{"duration_ticks":4096},
           {"duration_ticks":8192,"chord_symbol":"G7"}])",
       16384, rest_voice({vocal_rest(5, 8192, "C"), vocal_rest(6, 8192, "G7")}), 6},
      {"chord on beat 2",
       R"([{"duration_ticks":4096},{"duration_ticks":12288,"chord_symbol":"F"}])", 16384,
       rest_voice({vocal_rest(5, 4096), vocal_rest(6, 12288, "F")}), 6},
      {"a rest carries its chord too",
       R"([{"kind":"rest","duration_ticks":8192,"chord_symbol":"Am"},{"duration_ticks":8192}])",
       16384, rest_voice({vocal_rest(5, 16384, "Am")}), 5},
      {"3/4 without chords",
       R"([{"duration_ticks":4096},{"duration_ticks":4096},{"duration_ticks":4096}])", 12288,
       rest_voice({vocal_rest(5, 12288)}), 5},
      {"a span that is no written duration, numbers stay taken",
       R"([{"duration_ticks":2048},{"duration_ticks":4096,"chord_symbol":"C"},
           {"duration_ticks":10240,"chord_symbol":"G"}])",
       16384, std::nullopt, 6},
      {"5/4 without chords", R"([{"duration_ticks":16384},{"duration_ticks":4096}])", 20480,
       std::nullopt, 4},
      {"short of the capacity", R"([{"duration_ticks":4096}])", 16384, std::nullopt, 4},
      {"over the capacity", R"([{"duration_ticks":16384},{"duration_ticks":512}])", 16384,
       std::nullopt, 4},
      {"a note of no duration", R"([{"duration_ticks":0},{"duration_ticks":16384}])", 16384,
       std::nullopt, 4},
      {"a note without duration", R"([{"kind":"rest"},{"duration_ticks":16384}])", 16384,
       std::nullopt, 4},
      {"durations that overflow",
       R"([{"duration_ticks":9223372036854775807},{"duration_ticks":9223372036854775807}])", 16384,
       std::nullopt, 4},
      {"an element that is no object", R"([16384])", 16384, std::nullopt, 4},
      {"notes that are no array", R"({})", 16384, std::nullopt, 4},
  };
  for (const auto& row : rows) {
    const auto voice = json_object(
        (std::string(R"({"id":"v","tuplets":[{"id":"t"}],"notes":)") + row.notes + "}").c_str());
    std::int64_t rest_number = 4;
    const auto written = make_compact_rest_voice(voice, row.capacity, rest_number);
    EXPECT_EQ(written ? std::optional(serialize(*written)) : std::nullopt, row.expected)
        << row.name;
    EXPECT_EQ(rest_number, row.rest_number_after) << row.name;
  }
}

TEST(json_io_test, rest_skeletons_mirror_the_source_rhythm) {
  const auto voice = json_object(R"({"id":"v","notes":[
      {"id":"n1","kind":"note","duration_ticks":1365,"display_ticks":2048,"tuplet_id":"t1",
       "chord_symbol":"C7","lyric":"la","pitches":[{"letter":"a","octave":4,"accidental":"n"}]},
      {"id":"n2","kind":"note","chord_symbol":""},
      {"duration_ticks":0,"display_ticks":null,"tuplet_id":""},
      7,
      {"duration_ticks":2.0,"chord_symbol":5,"display_ticks":"2048","tuplet_id":3}],
      "tuplets":[{"id":"t1","note_count":3,"space_count":2}]})");
  std::int64_t rest_number = 10;
  auto tuplet_rest = vocal_rest(11, 1365, "C7");
  tuplet_rest.insert(tuplet_rest.size() - 1, R"(,"display_ticks":2048,"tuplet_id":"t1")");
  EXPECT_EQ(serialize(make_rest_skeleton_voice(voice, rest_number)),
            rest_voice({tuplet_rest, vocal_rest(12, 4096), vocal_rest(13, 0), vocal_rest(14, 4096)},
                       R"([{"id":"t1","note_count":3,"space_count":2}])"));
  EXPECT_EQ(rest_number, 14);

  EXPECT_EQ(
      serialize(make_rest_skeleton_voice(json_object(R"({"notes":{},"tuplets":5})"), rest_number)),
      rest_voice({}));
  EXPECT_EQ(rest_number, 14);
}

TEST(json_io_test, rest_measures_hold_one_rest_voice_per_source_voice_or_one_whole_rest) {
  struct row {
    const char* name;
    const char* measure;
    std::string expected_voices;
    std::int64_t rest_number_after;
  };
  const row rows[] = {
      {"chords on the off-beats become a skeleton after two abandoned rests",
       R"({"id":"m","time_signature":"4/4","key_signature":"F","section_label":"A",
           "voices":[{"id":"v","notes":[{"kind":"rest","duration_ticks":2048},
                                        {"duration_ticks":4096,"chord_symbol":"C"},
                                        {"duration_ticks":10240,"chord_symbol":"G"}]}]})",
       "[" +
           rest_voice({vocal_rest(3, 2048), vocal_rest(4, 4096, "C"), vocal_rest(5, 10240, "G")}) +
           "]",
       5},
      {"two voices",
       R"({"time_signature":"4/4","key_signature":"F","voices":[
           {"notes":[{"duration_ticks":16384}]},
           {"notes":[{"duration_ticks":8192,"chord_symbol":"C"},{"duration_ticks":8192}]},
           3]})",
       "[" + rest_voice({vocal_rest(1, 16384)}) + "," + rest_voice({vocal_rest(2, 16384, "C")}) +
           "]",
       2},
      {"5/4 without chords mirrors the source",
       R"({"time_signature":"5/4","key_signature":"F","voices":[
           {"notes":[{"duration_ticks":16384},{"duration_ticks":4096}]}]})",
       "[" + rest_voice({vocal_rest(1, 16384), vocal_rest(2, 4096)}) + "]", 2},
      {"no voices: one whole rest", R"({"time_signature":"6/8","key_signature":"F"})",
       "[" + rest_voice({vocal_rest(1, 12288)}) + "]", 1},
      {"no voice objects: one whole rest",
       R"({"time_signature":"4/4","key_signature":"F","voices":[1,"x"]})",
       "[" + rest_voice({vocal_rest(1, 16384)}) + "]", 1},
      {"no capacity and no voices", R"({"time_signature":"5/3","key_signature":"F","voices":[]})",
       "[]", 0},
  };
  for (const auto& row : rows) {
    std::int64_t rest_number = 0;
    EXPECT_EQ(serialize(make_inactive_vocal_measure(json_object(row.measure), 3, rest_number)),
              R"({"id":"arr-vocal-measure-3","time_signature":")" +
                  std::string(json_object(row.measure).at("time_signature").as_string()) +
                  R"(","key_signature":"F","voices":)" + row.expected_voices + "}")
        << row.name;
    EXPECT_EQ(rest_number, row.rest_number_after) << row.name;
  }
  std::int64_t rest_number = 0;
  EXPECT_EQ(
      serialize(make_inactive_vocal_measure(
          json_object(R"({"id":"m","time_signature":4,"key_signature":null})"), 7, rest_number)),
      R"({"id":"arr-vocal-measure-7","time_signature":"4/4","key_signature":"C","voices":[)" +
          rest_voice({vocal_rest(1, 16384)}) + "]}");
}

TEST(json_io_test, sung_measures_keep_the_source_but_tab_positions_and_rest_lyrics) {
  const auto measure = json_object(R"({"id":"m","time_signature":"4/4","section_label":"A",
      "voices":[{"id":"v","notes":[
          {"id":"a","kind":"note","duration_ticks":4096,"tab_positions":[],"chord_symbol":"C",
           "lyric":"la"},
          {"id":"b","kind":"rest","duration_ticks":4096,"lyric":"x","pitches":[]},
          {"id":"c","duration_ticks":8192,"lyric":"y"},
          7],"tuplets":[]}, "w"],
      "extra":1})");
  // Removing a member moves the object's last member into its place.
  EXPECT_EQ(serialize(make_active_vocal_measure(measure, 12)),
            R"({"id":"arr-vocal-measure-12","time_signature":"4/4","extra":1,"voices":[)"
            R"({"id":"v","notes":[)"
            R"({"id":"a","kind":"note","duration_ticks":4096,"lyric":"la","chord_symbol":"C"},)"
            R"({"id":"b","kind":"rest","duration_ticks":4096,"pitches":[]},)"
            R"({"id":"c","duration_ticks":8192},7],"tuplets":[]},"w"]})");
  EXPECT_EQ(serialize(make_active_vocal_measure(json_object(R"({"voices":{"notes":[]}})"), 1)),
            R"({"voices":{"notes":[]},"id":"arr-vocal-measure-1"})");
}

TEST(json_io_test, the_pickup_overlay_replaces_the_target_voices_without_chord_symbols) {
  const auto pickup = json_object(R"({"id":"p","section_label":"Intro","voices":[
      {"id":"v","notes":[{"id":"r","kind":"rest","duration_ticks":4096,"lyric":"x"},
                         {"id":"n","kind":"note","duration_ticks":12288,"lyric":"Oh",
                          "chord_symbol":"C","tab_positions":[]}]},
      {"id":"v2","notes":[{"id":"s","kind":"rest","duration_ticks":16384,"chord_symbol":"Z"}]}]})");
  const auto target_text =
      R"({"id":"arr-vocal-measure-2","time_signature":"4/4","key_signature":"C","voices":[],)"
      R"("section_label":"Lead-in"})";
  auto target = json_object(target_text);
  std::int64_t rest_number = 3;
  apply_vocal_pickup_overlap(target, pickup, rest_number);
  EXPECT_EQ(rest_number, 3);
  EXPECT_EQ(serialize(target),
            R"({"id":"arr-vocal-measure-2","time_signature":"4/4","key_signature":"C","voices":[)"
            R"({"id":"v","notes":[{"id":"r","kind":"rest","duration_ticks":4096},)"
            R"({"id":"n","kind":"note","duration_ticks":12288,"lyric":"Oh"}]},)"
            R"({"id":"v2","notes":[{"id":"s","kind":"rest","duration_ticks":16384}]}],)"
            R"("section_label":"Lead-in"})");

  for (const char* empty_pickup : {R"({"voices":[]})", R"({"voices":5})", R"({})"}) {
    auto unchanged = json_object(target_text);
    apply_vocal_pickup_overlap(unchanged, json_object(empty_pickup), rest_number);
    EXPECT_EQ(serialize(unchanged), target_text) << empty_pickup;
  }
}

TEST(json_io_test, a_pickup_shorter_than_its_target_ends_with_it_and_a_longer_one_is_not_sung) {
  const auto target_text =
      R"({"id":"arr-vocal-measure-4","time_signature":"4/4","key_signature":"C","voices":[]})";
  const auto short_pickup = json_object(R"({"time_signature":"3/8","voices":[
      {"id":"v","notes":[{"id":"r","kind":"rest","duration_ticks":2048},
                         {"id":"n","kind":"note","duration_ticks":4096,"chord_symbol":"C"}]}]})");
  auto target = json_object(target_text);
  std::int64_t rest_number = 5;
  apply_vocal_pickup_overlap(target, short_pickup, rest_number);
  EXPECT_EQ(rest_number, 7);
  EXPECT_EQ(serialize(target),
            R"({"id":"arr-vocal-measure-4","time_signature":"4/4","key_signature":"C","voices":[)"
            R"({"id":"v","notes":[)"
            R"({"id":"arr-vocal-rest-6","kind":"rest","duration_ticks":8192,)"
            R"("pitches":[{"letter":"b","accidental":"n","octave":4}]},)"
            R"({"id":"arr-vocal-rest-7","kind":"rest","duration_ticks":2048,)"
            R"("pitches":[{"letter":"b","accidental":"n","octave":4}]},)"
            R"({"id":"r","kind":"rest","duration_ticks":2048},)"
            R"({"id":"n","kind":"note","duration_ticks":4096}]}]})");

  auto short_target = json_object(
      R"({"id":"arr-vocal-measure-4","time_signature":"2/4","key_signature":"C","voices":[]})");
  const auto before = serialize(short_target);
  apply_vocal_pickup_overlap(short_target, json_object(R"({"time_signature":"4/4","voices":[
      {"id":"v","notes":[{"id":"n","kind":"note","duration_ticks":16384}]}]})"),
                             rest_number);
  EXPECT_EQ(serialize(short_target), before);
  EXPECT_EQ(rest_number, 7);
}

full_arrangement_section planned_section(std::string label, std::size_t first, std::size_t count,
                                         full_arrangement_section_role role) {
  full_arrangement_section section;
  section.label = std::move(label);
  section.first_measure = first;
  section.measure_count = count;
  section.role = role;
  return section;
}

part_realization_plan vocal_plan(const std::vector<full_arrangement_section>& sections) {
  part_realization_plan plan;
  plan.part = arrangement_part_type::vocal;
  for (const auto& section : sections) {
    section_plan planned;
    planned.section = section;
    plan.sections.push_back(planned);
  }
  return plan;
}

// One line per written measure: its id, its section label when it has one, and the ids and lyrics
// of the notes of its voices.
lines describe_measures(const boost::json::object& staff) {
  lines result;
  for (const auto& measure_value : staff.at("measures").as_array()) {
    const auto& measure = measure_value.as_object();
    auto line = std::string(measure.at("id").as_string());
    if (const auto* label = measure.if_contains("section_label")) {
      line += " [" + std::string(label->as_string()) + "]";
    }
    for (const auto& voice : measure.at("voices").as_array()) {
      for (const auto& note : voice.at("notes").as_array()) {
        line += " " + std::string(note.at("id").as_string());
        if (const auto* lyric = note.as_object().if_contains("lyric")) {
          line += "=" + std::string(lyric->as_string());
        }
      }
    }
    result.push_back(line);
  }
  return result;
}

constexpr const char* sung_measures = R"([
    {"id":"m0","time_signature":"4/4","key_signature":"C","section_label":"A","voices":[
        {"id":"v","notes":[{"id":"a","kind":"note","duration_ticks":16384,"chord_symbol":"C",
                            "lyric":"la","pitches":[{"letter":"c","octave":5,"accidental":"n"}]}],
         "tuplets":[]}]},
    {"id":"m1","time_signature":"4/4","key_signature":"C","voices":[
        {"id":"v","notes":[{"id":"b","kind":"note","duration_ticks":16384,"chord_symbol":"G",
                            "lyric":"lo","pitches":[{"letter":"d","octave":5,"accidental":"n"}]}],
         "tuplets":[]}]},
    5])";

TEST(json_io_test, vocal_staff_lays_the_planned_sections_out_with_running_numbers) {
  const auto staff =
      json_object((std::string(R"({"id":"staff-vocal","name":"Voice","role":"vocal","measures":)") +
                   sung_measures + "}")
                      .c_str());
  const auto source = extract_source_score(staff);
  using role = full_arrangement_section_role;
  const auto plan = vocal_plan({
      planned_section("Rhythm Lead-in", 1, 1, role::rests),
      planned_section("Vocal Melody", 0, 2, role::vocal),
      planned_section("Skipped", 2, 1, role::rests),
      planned_section("Tail", 1, 5, role::vocal),
      planned_section("End", 0, 1, role::accompaniment),
  });
  const auto written = make_full_arranged_vocal_staff(staff, source, plan);
  EXPECT_EQ(describe_measures(written), (lines{
                                            "arr-vocal-measure-1 [Rhythm Lead-in] arr-vocal-rest-1",
                                            "arr-vocal-measure-2 [Vocal Melody] a=la",
                                            "arr-vocal-measure-3 b=lo",
                                            "arr-vocal-measure-4 [Tail] b=lo",
                                            "arr-vocal-measure-5 [End] arr-vocal-rest-2",
                                        }));
  // The first measure of a section gets its label as its last member.
  const auto& first_sung = written.at("measures").as_array()[1].as_object();
  lines keys;
  for (const auto& member : first_sung) keys.emplace_back(member.key());
  EXPECT_EQ(keys, (lines{"id", "time_signature", "key_signature", "voices", "section_label"}));

  EXPECT_EQ(describe_measures(make_full_arranged_vocal_staff(staff, source, vocal_plan({}))),
            lines{});
}

TEST(json_io_test, vocal_staff_header_copies_the_source_staff) {
  const source_score source;
  const auto plan = vocal_plan({planned_section("A", 0, 1, full_arrangement_section_role::vocal)});
  EXPECT_EQ(
      serialize(make_full_arranged_vocal_staff(
          json_object(
              R"({"id":"s","name":"Voice","clef":"bass","role":"lead","measures":[],"extra":1})"),
          source, plan)),
      R"({"id":"staff-arranged-vocal","name":"Vocal","clef":"bass","role":"vocal","measures":[],)"
      R"("extra":1,"arranged":true,"arrangement_part_type":"vocal"})");
  EXPECT_EQ(serialize(make_full_arranged_vocal_staff(json_object(R"({"id":"s","measures":"x"})"),
                                                     source, plan)),
            R"({"id":"staff-arranged-vocal","measures":[],"name":"Vocal","clef":"treble",)"
            R"("role":"vocal","arranged":true,"arrangement_part_type":"vocal"})");
  EXPECT_EQ(serialize(make_full_arranged_vocal_staff(json_object(R"({"clef":3})"), source, plan)),
            R"({"clef":"treble","id":"staff-arranged-vocal","name":"Vocal","role":"vocal",)"
            R"("arranged":true,"arrangement_part_type":"vocal","measures":[]})");
}

// Measure 0 is a pickup: it opens with a rest, its melody enters on beat 2 and the chords begin in
// measure 1. Its second voice carries a chord symbol that the source model never reads.
constexpr const char* pickup_measures = R"([
    {"id":"m0","time_signature":"4/4","key_signature":"C","voices":[
        {"id":"v","notes":[{"id":"r","kind":"rest","duration_ticks":4096,
                            "pitches":[{"letter":"b","octave":4,"accidental":"n"}]},
                           {"id":"p","kind":"note","duration_ticks":12288,"lyric":"Oh",
                            "pitches":[{"letter":"g","octave":4,"accidental":"n"}]}],
         "tuplets":[]},
        {"id":"v2","notes":[{"id":"q","kind":"rest","duration_ticks":16384,"chord_symbol":"Z",
                             "pitches":[{"letter":"b","octave":4,"accidental":"n"}]}],
         "tuplets":[]}]},
    {"id":"m1","time_signature":"4/4","key_signature":"C","voices":[
        {"id":"v","notes":[{"id":"a","kind":"note","duration_ticks":16384,"chord_symbol":"C",
                            "lyric":"day","pitches":[{"letter":"c","octave":5,"accidental":"n"}]}],
         "tuplets":[]}]},
    {"id":"m2","time_signature":"4/4","key_signature":"C","voices":[
        {"id":"v","notes":[{"id":"b","kind":"note","duration_ticks":16384,"chord_symbol":"G",
                            "lyric":"long","pitches":[{"letter":"d","octave":5,"accidental":"n"}]}],
         "tuplets":[]}]}])";

TEST(json_io_test, the_pickup_is_sung_before_a_sung_section_starting_after_it) {
  const auto staff = json_object(
      (std::string(R"({"id":"staff-vocal","measures":)") + pickup_measures + "}").c_str());
  const auto source = extract_source_score(staff);
  ASSERT_EQ(leading_pickup_measure_index(source), std::optional<std::size_t>(0));
  using role = full_arrangement_section_role;
  const auto written =
      make_full_arranged_vocal_staff(staff, source,
                                     vocal_plan({
                                         planned_section("Rhythm Lead-in", 1, 2, role::rests),
                                         planned_section("Vocal Melody", 1, 2, role::vocal),
                                         planned_section("Guitar Solo", 2, 1, role::rests),
                                         planned_section("Late", 2, 1, role::vocal),
                                         planned_section("Guitar Melody", 1, 1, role::rests),
                                         planned_section("Vocal Melody", 1, 1, role::vocal),
                                     }));
  EXPECT_EQ(describe_measures(written), (lines{
                                            "arr-vocal-measure-1 [Rhythm Lead-in] arr-vocal-rest-1",
                                            "arr-vocal-measure-2 r p=Oh q",
                                            "arr-vocal-measure-3 [Vocal Melody] a=day",
                                            "arr-vocal-measure-4 b=long",
                                            "arr-vocal-measure-5 [Guitar Solo] arr-vocal-rest-3",
                                            "arr-vocal-measure-6 [Late] b=long",
                                            "arr-vocal-measure-7 [Guitar Melody] r p=Oh q",
                                            "arr-vocal-measure-8 [Vocal Melody] a=day",
                                        }));
  // The overlaid voices carry no chord symbol.
  EXPECT_EQ(serialize(written.at("measures").as_array()[1].at("voices")).find("chord_symbol"),
            std::string::npos);

  // With nothing written before it, a sung section after the pickup gets no overlay.
  const auto first = make_full_arranged_vocal_staff(
      staff, source, vocal_plan({planned_section("Vocal Melody", 1, 1, role::vocal)}));
  EXPECT_EQ(describe_measures(first), lines{"arr-vocal-measure-1 [Vocal Melody] a=day"});
}

TEST(json_io_test, a_vocal_staff_written_for_the_lead_sheet_passes_validation) {
  const auto fixture = read_fixture("lead_sheet_8_bars.json");
  // The same song opening with a pickup: its first beat a rest without chord symbol.
  auto with_pickup = fixture;
  auto& first_note = with_pickup.at("staves")
                         .at(0)
                         .at("measures")
                         .at(0)
                         .at("voices")
                         .at(0)
                         .at("notes")
                         .at(0)
                         .as_object();
  first_note["kind"] = "rest";
  first_note.erase("chord_symbol");
  first_note.erase("lyric");

  for (const boost::json::value* document :
       {&fixture, static_cast<const boost::json::value*>(&with_pickup)}) {
    const auto* staff = source_staff(*document);
    ASSERT_NE(staff, nullptr);
    const auto source = extract_source_score(*staff);
    const bool pickup = document == &with_pickup;
    ASSERT_EQ(leading_pickup_measure_index(source).has_value(), pickup);
    const auto vocal = section_fixtures::part_plan_of(source, {}, arrangement_part_type::electric,
                                                      arrangement_part_type::vocal, true);
    const auto written_staff = make_full_arranged_vocal_staff(*staff, source, vocal);

    auto written = *document;
    auto& staves = written.as_object()["staves"].as_array();
    remove_existing_arranged_staff(staves);
    staves.push_back(written_staff);
    EXPECT_EQ(orvanta::validate_score_document(written).messages,
              std::vector<orvanta::validation_message>{})
        << pickup;
    // Lead-in and ending of the last 8 body measures around five sections of the body; after the
    // pickup the body has 7 measures and the lead-in and the ending 4.
    const auto& measures = written_staff.at("measures").as_array();
    EXPECT_EQ(measures.size(), pickup ? 4 + 5 * 7 + 4 : 8 + 5 * 8 + 8);
    // The pickup is sung in the last lead-in measure, in the source's own voice.
    EXPECT_EQ(measures.at(pickup ? 3 : 7).at("voices").at(0).at("id"),
              pickup ? "voice-1" : "voice-arranged-vocal");
  }
}

}  // namespace
