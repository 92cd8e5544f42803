#include "arrangement.hpp"

#include "document.hpp"

#include <gtest/gtest.h>

#include "arrangement/fixture_documents.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

namespace {

using fixture_documents::read_fixture;
using orvanta::arrange_guitar_score;
using orvanta::arrangement_message;
using orvanta::arrangement_options;
using orvanta::arrangement_part_type;
namespace json = boost::json;

// Lead sheets ------------------------------------------------------------------------------------

// A sung note: the pitch as letter, optional accidental and octave ("c5", "f#4", "bb3").
json::object sung(std::string pitch, std::int64_t ticks, const char* chord = "") {
  const std::string accidental = pitch.size() == 3 ? std::string(1, pitch[1]) : std::string("n");
  json::object note{{"kind", "note"},
                    {"duration_ticks", ticks},
                    {"pitches", json::array{{{"letter", pitch.substr(0, 1)},
                                             {"octave", pitch.back() - '0'},
                                             {"accidental", accidental}}}}};
  if (*chord != '\0') note["chord_symbol"] = chord;
  return note;
}

json::object rest(std::int64_t ticks, const char* chord = "") {
  auto note = sung("b4", ticks, chord);
  note["kind"] = "rest";
  return note;
}

json::object tied(json::object note) {
  note["tie_to_next"] = true;
  return note;
}

json::object tied_from(json::object note) {
  note["tie_from_previous"] = true;
  return note;
}

// A note of an eighth-note triplet "t" of the measure.
json::object triplet_note(json::object note) {
  note["tuplet_id"] = "t";
  note["display_ticks"] = 2048;
  return note;
}

json::object measure(const char* time_signature, const char* key_signature,
                     std::initializer_list<json::object> notes, const char* label = "") {
  json::array written;
  json::array tuplets;
  for (auto note : notes) {
    note["id"] = "n" + std::to_string(written.size() + 1);
    if (note.contains("tuplet_id") && tuplets.empty()) {
      tuplets.push_back({{"id", "t"}, {"note_count", 3}, {"space_count", 2}});
    }
    written.push_back(std::move(note));
  }
  json::object result{
      {"time_signature", time_signature},
      {"key_signature", key_signature},
      {"voices", json::array{{{"id", "voice-1"}, {"notes", written}, {"tuplets", tuplets}}}}};
  if (*label != '\0') result["section_label"] = label;
  return result;
}

json::value lead_sheet(const char* style, std::vector<json::object> measures) {
  json::array written;
  for (auto& item : measures) {
    item["id"] = "measure-" + std::to_string(written.size() + 1);
    written.push_back(std::move(item));
  }
  json::object staff{{"id", "staff-vocal"},
                     {"name", "Vocal"},
                     {"clef", "treble"},
                     {"role", "vocal"},
                     {"measures", written}};
  json::object metadata{{"title", "Test"},         {"composer", "Orvanta"}, {"key_signature", "F"},
                        {"time_signature", "4/4"}, {"style", style},        {"tempo", 200}};
  return json::object{{"version", 1}, {"metadata", metadata}, {"staves", json::array{staff}}};
}

json::value one_measure() {
  return lead_sheet(
      "Med. Swing",
      {measure("4/4", "F", {sung("c5", 4096, "Fmaj7"), sung("a4", 4096), sung("g4", 8192)})});
}

// Four measures without a pickup, a key change in the last.
json::value four_measures() {
  return lead_sheet(
      "Bossa Nova",
      {measure("4/4", "F", {sung("a4", 8192, "Fmaj7"), sung("g4", 4096), sung("f4", 4096)}, "A"),
       measure("4/4", "F",
               {sung("d5", 4096, "Gm7"), rest(4096), sung("c5", 4096, "C7"), sung("bb4", 4096)}),
       measure(
           "4/4", "F",
           {sung("a4", 2048, "Am7"), sung("g4", 2048), sung("f4", 4096), sung("d5", 8192, "D7")}),
       measure("4/4", "G", {sung("g4", 16384, "G6")})});
}

// A 4/4 pickup measure before five body measures, one of them in 2/4.
json::value six_measures_with_pickup() {
  return lead_sheet(
      "Med. Swing",
      {measure("4/4", "F", {rest(8192), sung("c5", 4096), sung("d5", 4096)}),
       measure("4/4", "F", {sung("f5", 8192, "Fmaj7"), sung("e5", 4096), sung("d5", 4096)}, "A"),
       measure(
           "4/4", "F",
           {tied(sung("c5", 8192, "Gm7")), tied_from(sung("c5", 4096)), sung("bb4", 4096, "C7")}),
       measure("2/4", "F", {sung("a4", 4096, "Am7"), sung("g4", 4096, "D7")}),
       measure(
           "4/4", "F",
           {sung("g4", 4096, "Gm7"), sung("a4", 4096), sung("bb4", 4096, "C7"), sung("e4", 4096)}),
       measure("4/4", "F", {sung("f4", 12288, "F6"), rest(4096)})});
}

// A 1/4 pickup (an eighth rest and an eighth) before eight 4/4 body measures.
json::value nine_measures_with_short_pickup() {
  std::vector<json::object> measures{measure("1/4", "C", {rest(2048), sung("g4", 2048)})};
  const char* chords[] = {"C", "Am7", "Dm7", "G7", "Em7", "A7", "Dm7", "G7"};
  for (int index = 0; index < 8; ++index) {
    measures.push_back(measure(
        "4/4", "C",
        {sung("e5", 4096, chords[index]), sung("d5", 2048), sung("c5", 2048), sung("a4", 8192)},
        index == 0 ? "A" : ""));
  }
  return lead_sheet("Med. Swing", std::move(measures));
}

// Eighth-note triplets carrying chord symbols: on the first note, at the start of a measure,
// and on the second and the third note, inside a measure.
json::value labelled_triplets() {
  const auto opening = [](const char* chord, const char* second_chord = "") {
    return measure(
        "4/4", "F",
        {triplet_note(sung("c5", 1365, chord)), triplet_note(sung("d5", 1365)),
         triplet_note(sung("e5", 1366, second_chord)), sung("f5", 4096), sung("c5", 8192)});
  };
  const auto inside = [](const char* chord, const char* second_chord) {
    return measure(
        "4/4", "F",
        {sung("a4", 4096, chord), triplet_note(sung("g4", 1365)),
         triplet_note(sung("f4", 1365, second_chord)), triplet_note(rest(1366)), sung("d5", 8192)});
  };
  return lead_sheet("Med. Swing", {opening("Fmaj7"), inside("Gm7", "C7"), opening("Am7", "D7"),
                                   inside("Gm7", "C7"), opening("F")});
}

struct lead_sheet_case {
  const char* name;
  json::value document;
  std::size_t pickup_measures;  // 1 when measure 1 follows a leading pickup
};

std::vector<lead_sheet_case> lead_sheet_cases() {
  return {
      {"one measure", one_measure(), 0},
      {"four measures", four_measures(), 0},
      {"six measures with a pickup", six_measures_with_pickup(), 1},
      {"nine measures with a 1/4 pickup", nine_measures_with_short_pickup(), 1},
      {"the eight-bar fixture (a triplet)", read_fixture("lead_sheet_8_bars.json"), 0},
      {"chord symbols on triplet notes", labelled_triplets(), 0},
  };
}

struct part_case {
  const char* name;
  arrangement_part_type part;
  arrangement_options options;
};

constexpr part_case part_cases[] = {
    {"electric", arrangement_part_type::electric, {}},
    {"electric with solos and fingers", arrangement_part_type::electric, {true, true}},
    {"acoustic", arrangement_part_type::acoustic, {}},
    {"acoustic with solos and fingers", arrangement_part_type::acoustic, {true, true}},
    {"vocal", arrangement_part_type::vocal, {}},
};

// Invariants of an arranged staff ----------------------------------------------------------------

const json::array& staves_of(const json::value& document) {
  return document.at("staves").as_array();
}

const json::array& notes_of(const json::value& measure) {
  return measure.at("voices").as_array().at(0).at("notes").as_array();
}

std::vector<std::string> member_names(const json::object& object) {
  std::vector<std::string> names;
  for (const auto& member : object) names.emplace_back(member.key());
  return names;
}

// The source measure each arranged measure plays: the last e measures (lead-in), five times the
// body, the last e measures again (ending), e being the whole body up to 4, then 4 up to 7, then 8.
std::vector<std::size_t> played_source_measures(std::size_t measures, std::size_t body_start) {
  const auto body = measures - body_start;
  const auto edge = body <= 4 ? body : body <= 7 ? 4 : 8;
  std::vector<std::size_t> played;
  for (auto index = measures - edge; index < measures; ++index) played.push_back(index);
  for (int pass = 0; pass < 5; ++pass) {
    for (auto index = body_start; index < measures; ++index) played.push_back(index);
  }
  for (auto index = measures - edge; index < measures; ++index) played.push_back(index);
  return played;
}

// The first arranged measure of each of the seven sections, by its label.
std::vector<std::pair<std::size_t, std::string>> section_starts(std::size_t edge,
                                                                std::size_t body) {
  return {{0, "Rhythm Lead-in"},
          {edge, "Vocal Melody"},
          {edge + body, "Guitar Melody"},
          {edge + 2 * body, "Guitar Solo"},
          {edge + 3 * body, "Guitar Solo"},
          {edge + 4 * body, "Vocal Melody"},
          {edge + 5 * body, "Ending"}};
}

std::int64_t capacity_of(const json::value& measure) {
  return orvanta::measure_capacity_ticks(std::string(measure.at("time_signature").as_string()));
}

void expect_guitar_notes(const json::array& measures, bool assist) {
  std::int64_t next_id = 1;
  for (const auto& measure : measures) {
    std::int64_t filled = 0;
    for (const auto& value : notes_of(measure)) {
      const auto& note = value.as_object();
      const std::string id(note.at("id").as_string());
      // Notes and rests count on one counter; a rest written from an event is an "arr-note".
      const auto number = std::to_string(next_id++);
      EXPECT_TRUE(id == "arr-note-" + number || id == "arr-rest-" + number) << id;
      filled += note.at("duration_ticks").as_int64();
      const auto* tabs = note.if_contains("tab_positions");
      if (tabs == nullptr) continue;
      std::set<std::int64_t> strings;
      for (const auto& tab : tabs->as_array()) {
        const auto string_number = tab.at("string_number").as_int64();
        const auto fret = tab.at("fret").as_int64();
        constexpr std::int64_t open_strings[] = {64, 59, 55, 50, 45, 40};
        ASSERT_GE(string_number, 1) << id;
        ASSERT_LE(string_number, 6) << id;
        EXPECT_EQ(tab.at("midi").as_int64(), open_strings[string_number - 1] + fret) << id;
        EXPECT_TRUE(strings.insert(string_number).second) << id << ": string twice";
        if (!assist) {
          EXPECT_FALSE(tab.as_object().contains("finger")) << id;
        }
      }
    }
    EXPECT_EQ(filled, capacity_of(measure)) << measure.at("id");
  }
}

// Checks every invariant of an arranged document against its source document.
void expect_arranged(const json::value& source_document, const orvanta::arrangement_result& result,
                     const part_case& part, std::size_t body_start) {
  const bool vocal = part.part == arrangement_part_type::vocal;
  for (const auto& finding : orvanta::validate_score_document(result.document).messages) {
    ADD_FAILURE() << "invalid arranged document: " << finding.path << ": " << finding.message;
  }
  for (const auto& message : result.messages)
    EXPECT_EQ(message.level, "warning") << message.message;

  const auto& source_staves = staves_of(source_document);
  const auto& staves = staves_of(result.document);
  ASSERT_EQ(staves.size(), source_staves.size() + 1);
  for (std::size_t index = 0; index < source_staves.size(); ++index) {
    EXPECT_EQ(staves[index], source_staves[index]);
  }
  const auto& staff = staves.back().as_object();
  EXPECT_EQ(staff.at("arranged"), true);
  EXPECT_EQ(staff.at("arrangement_part_type").as_string(), orvanta::to_string(part.part));
  if (!vocal) {
    EXPECT_EQ(member_names(staff),
              (std::vector<std::string>{"id", "name", "clef", "role", "arranged",
                                        "arrangement_part_type", "measures"}));
    EXPECT_EQ(staff.at("id"), "staff-arranged-guitar");
  } else {
    EXPECT_EQ(staff.at("id"), "staff-arranged-vocal");
  }

  const auto& source_measures = source_staves.front().at("measures").as_array();
  const auto played = played_source_measures(source_measures.size(), body_start);
  const auto& measures = staff.at("measures").as_array();
  ASSERT_EQ(measures.size(), played.size());
  const auto body = source_measures.size() - body_start;
  const auto edge = (played.size() - 5 * body) / 2;
  std::vector<std::pair<std::size_t, std::string>> labels;
  for (std::size_t index = 0; index < measures.size(); ++index) {
    const auto& written = measures[index].as_object();
    const auto& source = source_measures[played[index]].as_object();
    const auto number = std::to_string(index + 1);
    EXPECT_EQ(written.at("id").as_string(),
              (vocal ? "arr-vocal-measure-" : "arr-measure-") + number);
    EXPECT_EQ(written.at("time_signature"), source.at("time_signature")) << number;
    EXPECT_EQ(written.at("key_signature"), source.at("key_signature")) << number;
    if (const auto* label = written.if_contains("section_label")) {
      labels.emplace_back(index, std::string(label->as_string()));
    }
  }
  EXPECT_EQ(labels, section_starts(edge, body));

  const auto& metadata = result.document.at("metadata").as_object();
  const auto style = std::string(source_document.at("metadata").at("style").as_string());
  EXPECT_EQ(metadata.at("tempo"), style == "Bossa Nova" ? 132 : 124);
  if (!vocal) expect_guitar_notes(measures, part.options.assist);
}

TEST(arrangement_test, every_part_of_every_lead_sheet_keeps_the_staff_invariants) {
  for (const auto& sheet : lead_sheet_cases()) {
    ASSERT_TRUE(orvanta::validate_score_document(sheet.document).messages.empty()) << sheet.name;
    for (const auto& part : part_cases) {
      SCOPED_TRACE(std::string(sheet.name) + ", " + part.name);
      const auto result = arrange_guitar_score(sheet.document, part.part, part.options);
      expect_arranged(sheet.document, result, part, sheet.pickup_measures);
      if (part.part == arrangement_part_type::vocal) {
        EXPECT_TRUE(result.messages.empty());
      }
    }
  }
}

// Where the solo leaves a labelled triplet at the start of a solo measure silent, the label rests
// for an eighth, a written value, and the solo goes on from there.
TEST(arrangement_test, a_silent_labelled_triplet_opens_a_solo_measure_with_an_eighth_rest) {
  const auto result = arrange_guitar_score(labelled_triplets(), arrangement_part_type::electric,
                                           arrangement_options{.solo = true});
  EXPECT_TRUE(orvanta::validate_score_document(result.document).messages.empty());
  const auto& measures = staves_of(result.document).back().at("measures").as_array();
  std::size_t opened_with_rest = 0;
  std::string section;
  for (const auto& measure : measures) {
    if (const auto* label = measure.as_object().if_contains("section_label")) {
      section = label->as_string();
    }
    const auto& notes = notes_of(measure);
    const bool played = std::ranges::any_of(
        notes, [](const json::value& note) { return note.as_object().contains("tab_positions"); });
    // The first solo slot of the electric part rests; the second plays the solo.
    if (section != "Guitar Solo" || !played) continue;
    const auto& first = notes.at(0).as_object();
    if (first.at("kind") == "rest" && first.contains("chord_symbol") &&
        first.at("chord_symbol") == "F") {
      EXPECT_EQ(first.at("duration_ticks"), 2048);
      ++opened_with_rest;
    }
  }
  EXPECT_GT(opened_with_rest, 0u);
}

TEST(arrangement_test, the_same_request_gives_the_same_document_and_messages) {
  const auto document = nine_measures_with_short_pickup();
  for (const auto& part : part_cases) {
    SCOPED_TRACE(part.name);
    const auto first = arrange_guitar_score(document, part.part, part.options);
    const auto second = arrange_guitar_score(document, part.part, part.options);
    EXPECT_EQ(json::serialize(first.document), json::serialize(second.document));
    EXPECT_EQ(first.messages, second.messages);
  }
}

}  // namespace
