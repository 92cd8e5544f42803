#include "document.hpp"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using findings = std::vector<std::string>;

// One document and every finding it must yield, as "path: message", in walk order.
struct row {
  std::string name;
  std::string document;
  findings expected;
};

findings findings_of(const boost::json::value& document) {
  findings out;
  for (const auto& message : orvanta::validate_score_document(document).messages) {
    EXPECT_EQ(message.level, "error") << message.path;
    out.push_back(message.path + ": " + message.message);
  }
  return out;
}

void expect_rows(const std::vector<row>& rows) {
  for (const auto& [name, text, expected] : rows) {
    boost::system::error_code error;
    const auto document = boost::json::parse(text, error);
    ASSERT_FALSE(error) << name << ": " << text;
    EXPECT_EQ(findings_of(document), expected) << name << ": " << text;
  }
}

// --- Document builders: members are raw JSON texts, an empty text leaves a member out ----------

std::string members_of(std::initializer_list<std::string> members) {
  std::string out;
  for (const auto& member : members) {
    if (member.empty()) continue;
    if (!out.empty()) out += ',';
    out += member;
  }
  return out;
}

std::string object_of(std::initializer_list<std::string> members) {
  return '{' + members_of(members) + '}';
}

std::string member(const std::string& key, const std::string& value) {
  return value.empty() ? std::string() : '"' + key + "\":" + value;
}

// `count` copies of an element, comma-separated, without brackets.
std::string joined(const std::string& element, int count) {
  std::string out;
  for (int index = 0; index < count; ++index) out += (index > 0 ? "," : "") + element;
  return out;
}

std::string repeated(const std::string& element, int count) {
  return '[' + joined(element, count) + ']';
}

const std::string metadata_ok = R"({"key_signature":"C","time_signature":"4/4"})";
const std::string c4 = R"({"letter":"c","octave":4})";

std::string note(const std::string& ticks, const std::string& extra = "") {
  return object_of({R"("kind":"note")", member("duration_ticks", ticks),
                    member("pitches", '[' + c4 + ']'), extra});
}
std::string rest(const std::string& ticks, const std::string& extra = "") {
  return object_of({R"("kind":"rest")", member("duration_ticks", ticks),
                    member("pitches", '[' + c4 + ']'), extra});
}
const std::string quarter = note("4096");
const std::string three_quarters = quarter + ',' + quarter + ',' + quarter;
// A 4/4 measure of four quarter notes, valid throughout.
const std::string measure_ok =
    R"({"time_signature":"4/4","key_signature":"C","voices":[{"notes":[)" + three_quarters + ',' +
    quarter + R"(],"tuplets":[]}]})";

std::string document_of(const std::string& version, const std::string& metadata,
                        const std::string& staves) {
  return object_of(
      {member("version", version), member("metadata", metadata), member("staves", staves)});
}
std::string staves_document(const std::string& staves) {
  return document_of("1", metadata_ok, staves);
}
std::string staff_of(const std::string& measures, const std::string& clef = R"("treble")") {
  return object_of({member("clef", clef), member("measures", measures)});
}
std::string measure_of(const std::string& voices, const std::string& time_signature = R"("4/4")") {
  return object_of({member("time_signature", time_signature), R"("key_signature":"C")",
                    member("voices", voices)});
}
std::string voice_of(const std::string& notes, const std::string& tuplets = "[]") {
  return object_of({member("notes", notes), member("tuplets", tuplets)});
}
std::string measure_document(const std::string& measure) {
  return staves_document('[' + staff_of('[' + measure + ']') + ']');
}
// One staff, one measure, one voice; notes and tuplets are JSON array texts.
std::string voice_document(const std::string& notes, const std::string& tuplets = "[]",
                           const std::string& time_signature = R"("4/4")") {
  return measure_document(measure_of('[' + voice_of(notes, tuplets) + ']', time_signature));
}
// A 4/4 voice whose first element is `first`, followed by three quarter notes.
std::string first_note_document(const std::string& first) {
  return voice_document('[' + first + ',' + three_quarters + ']');
}

const std::string M = "staves.0.measures.0";
const std::string V = M + ".voices.0";
std::string note_path(int index) { return V + ".notes." + std::to_string(index); }
std::string tuplet_path(int index) { return V + ".tuplets." + std::to_string(index); }
const std::string N0 = note_path(0);
const std::string Q0 = N0 + ".tab_positions.0";
const std::string P0 = N0 + ".pitches.0";

TEST(document_test, measure_capacity_of_time_signatures) {
  const std::pair<const char*, std::int64_t> rows[] = {
      {"4/4", 16384},       {"3/4", 12288},  {"6/8", 12288},   {"12/8", 24576},  {"2/2", 16384},
      {"1/1", 16384},       {"8/1", 131072}, {"16/2", 131072}, {"32/4", 131072}, {"3/32", 1536},
      {"04/4", 16384},      {"9/1", 0},      {"17/2", 0},      {"33/32", 0},     {"4/3", 0},
      {"0/4", 0},           {"-4/4", 0},     {"+4/4", 0},      {" 4/4", 0},      {"4/4 ", 0},
      {"4 /4", 0},          {"4/4/4", 0},    {"4", 0},         {"/4", 0},        {"", 0},
      {"99999999999/4", 0}, {"4/0", 0},      {"4/-4", 0},
  };
  for (const auto& [text, expected] : rows) {
    EXPECT_EQ(orvanta::measure_capacity_ticks(text), expected) << '"' << text << '"';
  }
}

TEST(document_test, default_document_is_valid_and_keeps_its_member_order) {
  const auto document = orvanta::default_score_document();
  EXPECT_EQ(findings_of(document), findings{});
  const std::string rest_json =
      R"("kind":"rest","duration_ticks":4096,"pitches":[{"letter":"b","octave":4,"accidental":"n"}]})";
  EXPECT_EQ(boost::json::serialize(document),
            R"({"version":1,"metadata":{"title":"","composer":"","key_signature":"C",)"
            R"("time_signature":"4/4","style":"Med. Swing"},"staves":[{"id":"staff-vocal",)"
            R"("name":"Vocal","clef":"treble","role":"vocal","measures":[{"id":"measure-1",)"
            R"("time_signature":"4/4","key_signature":"C","voices":[{"id":"voice-1","notes":[)"
            R"({"id":"note-1",)" +
                rest_json + R"(,{"id":"note-2",)" + rest_json + R"(,{"id":"note-3",)" + rest_json +
                R"(,{"id":"note-4",)" + rest_json + R"(],"tuplets":[]}]}]}]})");
}

TEST(document_test, document_and_metadata) {
  const std::string staves_ok = '[' + staff_of('[' + measure_ok + ']') + ']';
  const auto with_version = [&](const std::string& version) {
    return document_of(version, metadata_ok, staves_ok);
  };
  const auto with_metadata = [&](const std::string& metadata) {
    return document_of("1", metadata, staves_ok);
  };
  const auto with_tempo = [&](const std::string& tempo) {
    return with_metadata(
        object_of({member("tempo", tempo), R"("key_signature":"C")", R"("time_signature":"4/4")"}));
  };
  expect_rows({
      {"array document", "[]", {"document: must be an object"}},
      {"string document", R"("score")", {"document: must be an object"}},
      {"number document", "3", {"document: must be an object"}},
      {"null document", "null", {"document: must be an object"}},
      {"empty object",
       "{}",
       {"version: must be positive", "metadata: is required", "staves: is required"}},
      {"valid document", with_version("1"), {}},
      {"version 2", with_version("2"), {}},
      {"version absent", document_of("", metadata_ok, staves_ok), {"version: must be positive"}},
      {"version null", with_version("null"), {"version: must be positive"}},
      {"version 0", with_version("0"), {"version: must be positive"}},
      {"version -3", with_version("-3"), {"version: must be positive"}},
      {"version 1.0", with_version("1.0"), {"version: must be an integer"}},
      {"version text", with_version(R"("1")"), {"version: must be an integer"}},
      {"version above the signed range",
       with_version("18446744073709551615"),
       {"version: must be an integer"}},
      {"metadata absent", document_of("1", "", staves_ok), {"metadata: is required"}},
      {"metadata null", with_metadata("null"), {"metadata: must be an object"}},
      {"metadata array", with_metadata("[]"), {"metadata: must be an object"}},
      {"optional metadata texts null",
       with_metadata(
           R"({"title":null,"composer":null,"style":null,"key_signature":"C","time_signature":"4/4"})"),
       {}},
      {"metadata texts of other kinds",
       with_metadata(
           R"({"title":1,"composer":[],"style":false,"key_signature":"C","time_signature":"4/4"})"),
       {"metadata.title: must be a string", "metadata.composer: must be a string",
        "metadata.style: must be a string"}},
      {"tempo 20", with_tempo("20"), {}},
      {"tempo 320", with_tempo("320"), {}},
      {"tempo 19", with_tempo("19"), {"metadata.tempo: must be between 20 and 320"}},
      {"tempo 321", with_tempo("321"), {"metadata.tempo: must be between 20 and 320"}},
      {"tempo null", with_tempo("null"), {"metadata.tempo: must be between 20 and 320"}},
      {"tempo as text", with_tempo(R"("120")"), {"metadata.tempo: must be an integer"}},
      {"tempo with a fraction", with_tempo("120.5"), {"metadata.tempo: must be an integer"}},
      {"empty key signature", with_metadata(R"({"key_signature":"","time_signature":"4/4"})"), {}},
      {"key signature number",
       with_metadata(R"({"key_signature":5,"time_signature":"4/4"})"),
       {"metadata.key_signature: must be a string"}},
      {"key signature absent",
       with_metadata(R"({"time_signature":"4/4"})"),
       {"metadata.key_signature: is required"}},
      {"time signature differs from the measures",
       with_metadata(R"({"key_signature":"C","time_signature":"3/4"})"),
       {}},
      {"time signature absent",
       with_metadata(R"({"key_signature":"C"})"),
       {"metadata.time_signature: is required"}},
      {"time signature null",
       with_metadata(R"({"key_signature":"C","time_signature":null})"),
       {"metadata.time_signature: must be a string"}},
      {"time signature 4/3",
       with_metadata(R"({"key_signature":"C","time_signature":"4/3"})"),
       {"metadata.time_signature: must look like 4/4"}},
      {"metadata fault before staves fault",
       document_of("1", "null", "[]"),
       {"metadata: must be an object", "staves: must include at least one staff"}},
  });
}

TEST(document_test, staves) {
  const std::string staff_ok = staff_of('[' + measure_ok + ']');
  expect_rows({
      {"staves absent", document_of("1", metadata_ok, ""), {"staves: is required"}},
      {"staves empty, nothing after it",
       document_of("0", metadata_ok, "[]"),
       {"version: must be positive", "staves: must include at least one staff"}},
      {"staves object", staves_document("{}"), {"staves: must be an array"}},
      {"staves null", staves_document("null"), {"staves: must be an array"}},
      {"staff number, walk continues",
       staves_document("[3," + staff_of('[' + measure_ok + ']', R"("alto")") + ']'),
       {"staves.0: must be an object", "staves.1.clef: must be treble or bass"}},
      {"clef bass", staves_document('[' + staff_of('[' + measure_ok + ']', R"("bass")") + ']'), {}},
      {"clef Treble",
       staves_document('[' + staff_of('[' + measure_ok + ']', R"("Treble")") + ']'),
       {"staves.0.clef: must be treble or bass"}},
      {"clef null",
       staves_document('[' + staff_of('[' + measure_ok + ']', "null") + ']'),
       {"staves.0.clef: must be a string"}},
      {"clef absent",
       staves_document('[' + staff_of('[' + measure_ok + ']', "") + ']'),
       {"staves.0.clef: is required"}},
      {"staff id and name of other kinds",
       staves_document(R"([{"id":3,"name":false,"clef":"treble","measures":[)" + measure_ok +
                       "]}]"),
       {"staves.0.id: must be a string", "staves.0.name: must be a string"}},
      {"role and arranged flag are not examined",
       staves_document(R"([{"role":7,"arranged":"yes","clef":"treble","measures":[)" + measure_ok +
                       "]}]"),
       {}},
      {"measures empty, next staff still examined",
       staves_document('[' + staff_of("[]") + ',' + staff_of('[' + measure_ok + ']', "") + ']'),
       {"staves.0.measures: must include at least one measure", "staves.1.clef: is required"}},
      {"measures absent, next staff still examined",
       staves_document('[' + staff_of("") + ',' + staff_ok + ",5]"),
       {"staves.0.measures: is required", "staves.2: must be an object"}},
      {"measures object",
       staves_document('[' + staff_of("{}") + ']'),
       {"staves.0.measures: must be an array"}},
      {"measure number",
       staves_document('[' + staff_of("[1," + measure_ok + ']') + ']'),
       {"staves.0.measures.0: must be an object"}},
  });
}

TEST(document_test, walk_order_when_faults_meet) {
  const std::string short_voice =
      voice_of(R"([{"kind":"note","duration_ticks":4096,"pitches":[{"letter":"h","octave":4}]},)" +
               quarter + ',' + quarter + ']');
  const std::string staff_zero = staff_of(
      '[' + measure_of('[' + short_voice + ']') + ',' + measure_of("[]") + ',' +
          measure_of('[' + voice_of("[" + three_quarters + ',' + quarter + ']') + ']', "5") + ']',
      R"("alto")");
  const std::string document =
      document_of("0", R"({"tempo":19,"key_signature":"C","time_signature":"4/3"})",
                  '[' + staff_zero + ",null]");
  expect_rows(
      {{"faults in every layer",
        document,
        {
            "version: must be positive",
            "metadata.tempo: must be between 20 and 320",
            "metadata.time_signature: must look like 4/4",
            "staves.0.clef: must be treble or bass",
            "staves.0.measures.0.voices.0.notes.0.pitches.0.letter: must be a through g",
            "staves.0.measures.0.voices.0.notes: total duration must equal measure capacity",
            "staves.0.measures.1.voices: must include at least one voice",
            "staves.0.measures.2.time_signature: must be a string",
            "staves.1: must be an object",
        }}});
}

TEST(document_test, measures_and_voices) {
  const std::string four_quarters = '[' + three_quarters + ',' + quarter + ']';
  const std::string filled_voice = voice_of(four_quarters);
  expect_rows({
      {"four quarters", voice_document(four_quarters), {}},
      {"two halves", voice_document(repeated(note("8192"), 2)), {}},
      {"three quarters",
       voice_document('[' + three_quarters + ']'),
       {V + ".notes: total duration must equal measure capacity"}},
      {"five quarters",
       voice_document(repeated(quarter, 5)),
       {V + ".notes: total duration must equal measure capacity"}},
      {"3/4 measure under 4/4 metadata",
       voice_document('[' + note("12288") + ']', "[]", R"("3/4")"),
       {}},
      {"6/8 measure of two dotted quarters",
       voice_document(repeated(note("6144"), 2), "[]", R"("6/8")"),
       {}},
      {"unusable time signature hides the totals",
       measure_document(measure_of(
           '[' + voice_of(repeated(quarter, 9)) + ',' + voice_of("[]") + ']', R"("4/3")")),
       {M + ".time_signature: must look like 4/4"}},
      {"time signature absent hides the totals",
       measure_document(measure_of('[' + voice_of('[' + quarter + ']') + ']', "")),
       {M + ".time_signature: is required"}},
      {"measure texts of other kinds",
       measure_document(
           R"({"id":1,"section_label":2,"time_signature":"4/4","key_signature":null,"voices":[)" +
           filled_voice + "]}"),
       {M + ".id: must be a string", M + ".section_label: must be a string",
        M + ".key_signature: must be a string"}},
      {"empty key signature and section label",
       measure_document(
           R"({"section_label":"","time_signature":"4/4","key_signature":"","voices":[)" +
           filled_voice + "]}"),
       {}},
      {"key signature absent",
       measure_document(R"({"time_signature":"4/4","voices":[)" + filled_voice + "]}"),
       {M + ".key_signature: is required"}},
      {"voices empty",
       measure_document(measure_of("[]")),
       {M + ".voices: must include at least one voice"}},
      {"voices absent", measure_document(measure_of("")), {M + ".voices: is required"}},
      {"voices object", measure_document(measure_of("{}")), {M + ".voices: must be an array"}},
      {"voice string gets no total",
       measure_document(measure_of(R"(["v"])")),
       {V + ": must be an object"}},
      {"voice id number",
       measure_document(measure_of(R"([{"id":7,"notes":)" + four_quarters + R"(,"tuplets":[]}])")),
       {V + ".id: must be a string"}},
      {"tuplets absent", voice_document(four_quarters, ""), {V + ".tuplets: is required"}},
      {"tuplets null", voice_document(four_quarters, "null"), {V + ".tuplets: must be an array"}},
      {"notes empty",
       voice_document("[]"),
       {V + ".notes: total duration must equal measure capacity"}},
      {"notes absent gets no total", voice_document(""), {V + ".notes: is required"}},
      {"notes object gets no total", voice_document("{}"), {V + ".notes: must be an array"}},
      {"note element not an object",
       voice_document("[1," + four_quarters.substr(1)),
       {N0 + ": must be an object"}},
      {"each voice's total after its own messages",
       measure_document(measure_of(
           '[' +
           voice_of(R"([{"kind":"chord","duration_ticks":4096,"pitches":[]},)" + quarter + ']') +
           ',' + voice_of(four_quarters, "") + ',' + filled_voice + ',' +
           voice_of('[' + three_quarters + ']') + ']')),
       {V + ".notes.0.kind: must be note or rest",
        V + ".notes: total duration must equal measure capacity",
        M + ".voices.1.tuplets: is required",
        M + ".voices.3.notes: total duration must equal measure capacity"}},
  });
}

TEST(document_test, time_signatures_at_both_levels) {
  const char* unusable[] = {"9/1",  "17/2", "33/32", "4/3",   "0/4", "-4/4", "+4/4",
                            " 4/4", "4/4 ", "4 /4",  "4/4/4", "4",   "/4",   ""};
  for (const std::string text : unusable) {
    const std::string quoted = '"' + text + '"';
    const std::string voice = voice_of(repeated(quarter, 4));
    EXPECT_EQ(findings_of(boost::json::parse(
                  document_of("1", R"({"key_signature":"C","time_signature":)" + quoted + '}',
                              '[' + staff_of('[' + measure_of('[' + voice + ']') + ']') + ']'))),
              findings{"metadata.time_signature: must look like 4/4"})
        << quoted;
    EXPECT_EQ(
        findings_of(boost::json::parse(measure_document(measure_of('[' + voice + ']', quoted)))),
        findings{M + ".time_signature: must look like 4/4"})
        << quoted;
  }
  // Voices of thirty-second notes fill every accepted capacity exactly.
  const std::pair<const char*, int> usable[] = {
      {"4/4", 16384}, {"3/4", 12288},  {"6/8", 12288},   {"12/8", 24576}, {"2/2", 16384},
      {"1/1", 16384}, {"8/1", 131072}, {"32/4", 131072}, {"3/32", 1536},  {"04/4", 16384}};
  for (const auto& [text, capacity] : usable) {
    const std::string quoted = '"' + std::string(text) + '"';
    const std::string notes = repeated(note("512"), capacity / 512);
    EXPECT_EQ(
        findings_of(boost::json::parse(document_of(
            "1", R"({"key_signature":"C","time_signature":)" + quoted + '}',
            '[' + staff_of('[' + measure_of('[' + voice_of(notes) + ']', quoted) + ']') + ']'))),
        findings{})
        << text;
  }
}

// A tuplet note: sounding ticks, written ticks and the tuplet it names ("" leaves a member out).
std::string tuplet_note(const std::string& ticks, const std::string& display = "2048",
                        const std::string& id = R"("t")") {
  return note(ticks, members_of({member("display_ticks", display), member("tuplet_id", id)}));
}
std::string tuplet_of(const std::string& id, const std::string& note_count,
                      const std::string& space_count) {
  return object_of(
      {member("id", id), member("note_count", note_count), member("space_count", space_count)});
}
const std::string triplet = tuplet_of(R"("t")", "3", "2");
const std::string triplet_notes =
    tuplet_note("1365") + ',' + tuplet_note("1365") + ',' + tuplet_note("1366");
// A 2/4 voice; notes is a list of note texts without brackets, tuplets an array text.
std::string two_four(const std::string& notes, const std::string& tuplets) {
  return voice_document('[' + notes + ']', tuplets, R"("2/4")");
}
std::string tuplet_message(int index, const std::string& member_and_message) {
  return tuplet_path(index) + member_and_message;
}

TEST(document_test, tuplets) {
  const std::string ratio = ": actual durations must match displayed tuplet ratio";
  const std::string total = V + ".notes: total duration must equal measure capacity";
  const std::string int64_max = "9223372036854775807";
  expect_rows({
      {"triplet and a quarter", two_four(triplet_notes + ',' + quarter, '[' + triplet + ']'), {}},
      {"triplet written as sixteenths",
       two_four(tuplet_note("1365", "1024") + ',' + tuplet_note("1365", "1024") + ',' +
                    tuplet_note("1366", "1024") + ',' + quarter,
                '[' + triplet + ']'),
       {tuplet_message(0, ratio)}},
      {"third note left outside",
       two_four(
           tuplet_note("1365") + ',' + tuplet_note("1365") + ',' + note("1366") + ',' + quarter,
           '[' + triplet + ']'),
       {note_path(2) + ".duration_ticks: must be a renderable duration",
        tuplet_message(0, ".note_count: must match referenced note count"),
        tuplet_message(0, ratio)}},
      {"quarter between the second and third member",
       two_four(tuplet_note("1365") + ',' + tuplet_note("1365") + ',' + quarter + ',' +
                    tuplet_note("1366"),
                '[' + triplet + ']'),
       {tuplet_message(0, ".id: referenced notes must be contiguous")}},
      {"tuplet no note names",
       two_four(quarter + ',' + quarter, '[' + triplet + ']'),
       {tuplet_message(0, ".id: must be referenced by notes")}},
      {"repeated id",
       two_four(triplet_notes + ',' + quarter, '[' + triplet + ',' + triplet + ']'),
       {tuplet_message(1, ".id: must be unique"),
        tuplet_message(1, ".id: must be referenced by notes")}},
      {"uniqueness before the notes' messages",
       two_four(tuplet_note("1365", "") + ',' + tuplet_note("1365") + ',' + tuplet_note("1366") +
                    ',' + quarter,
                '[' + triplet + ',' + triplet + ']'),
       {tuplet_message(1, ".id: must be unique"), N0 + ".display_ticks: is required for tuplets",
        tuplet_message(0, ratio), tuplet_message(1, ".id: must be referenced by notes")}},
      {"id three times",
       two_four(triplet_notes + ',' + quarter, repeated(triplet, 3)),
       {tuplet_message(1, ".id: must be unique"), tuplet_message(2, ".id: must be unique"),
        tuplet_message(1, ".id: must be referenced by notes"),
        tuplet_message(2, ".id: must be referenced by notes")}},
      {"element messages before the uniqueness messages",
       two_four(triplet_notes + ',' + quarter,
                '[' + triplet + ',' + tuplet_of(R"("t")", "0", "2") + ']'),
       {tuplet_message(1, ".note_count: must be positive"),
        tuplet_message(1, ".id: must be unique")}},
      {"note names an unknown tuplet",
       voice_document('[' + tuplet_note("4096", "4096", R"("u")") + ',' + three_quarters + ']'),
       {N0 + ".tuplet_id: must reference a tuplet"}},
      {"note names a tuplet of another voice",
       measure_document(measure_of(
           '[' + voice_of('[' + triplet_notes + ',' + quarter + ']', '[' + triplet + ']') + ',' +
               voice_of('[' + tuplet_note("4096", "4096") + ',' + quarter + ']') + ']',
           R"("2/4")")),
       {M + ".voices.1.notes.0.tuplet_id: must reference a tuplet"}},
      {"note count 0",
       two_four(triplet_notes + ',' + quarter, '[' + tuplet_of(R"("t")", "0", "2") + ']'),
       {tuplet_message(0, ".note_count: must be positive")}},
      {"note count 33",
       two_four(triplet_notes + ',' + quarter, '[' + tuplet_of(R"("t")", "33", "2") + ']'),
       {tuplet_message(0, ".note_count: must be 32 or less")}},
      {"space count 0",
       two_four(triplet_notes + ',' + quarter, '[' + tuplet_of(R"("t")", "3", "0") + ']'),
       {tuplet_message(0, ".space_count: must be positive")}},
      {"space count 33",
       two_four(triplet_notes + ',' + quarter, '[' + tuplet_of(R"("t")", "3", "33") + ']'),
       {tuplet_message(0, ".space_count: must be 32 or less")}},
      {"both counts read before their ranges",
       two_four(triplet_notes + ',' + quarter, '[' + tuplet_of(R"("t")", "0", "") + ']'),
       {tuplet_message(0, ".space_count: is required"),
        tuplet_message(0, ".note_count: must be positive")}},
      {"count with a fraction",
       two_four(triplet_notes + ',' + quarter, '[' + tuplet_of(R"("t")", "3.0", "2") + ']'),
       {tuplet_message(0, ".note_count: must be an integer")}},
      {"tuplet element a string",
       two_four(quarter + ',' + quarter, R"(["t"])"),
       {tuplet_message(0, ": must be an object")}},
      {"tuplet id empty",
       two_four(quarter + ',' + quarter, '[' + tuplet_of(R"("")", "3", "2") + ']'),
       {tuplet_message(0, ".id: is required")}},
      {"tuplet id absent",
       two_four(quarter + ',' + quarter, '[' + tuplet_of("", "3", "2") + ']'),
       {tuplet_message(0, ".id: is required")}},
      {"tuplet id number",
       two_four(quarter + ',' + quarter, '[' + tuplet_of("5", "3", "2") + ']'),
       {tuplet_message(0, ".id: must be a string")}},
      {"voice without notes",
       voice_document("", '[' + triplet + ']', R"("2/4")"),
       {V + ".notes: is required", tuplet_message(0, ".id: must be referenced by notes")}},
      {"voice without tuplets",
       two_four(triplet_notes + ',' + quarter, ""),
       {V + ".tuplets: is required", note_path(0) + ".tuplet_id: must reference a tuplet",
        note_path(1) + ".tuplet_id: must reference a tuplet",
        note_path(2) + ".tuplet_id: must reference a tuplet"}},
      {"member without display ticks",
       two_four(tuplet_note("1365", "") + ',' + tuplet_note("1365") + ',' + tuplet_note("1366") +
                    ',' + quarter,
                '[' + triplet + ']'),
       {N0 + ".display_ticks: is required for tuplets", tuplet_message(0, ratio)}},
      {"member with null display ticks",
       two_four(tuplet_note("1365", "null") + ',' + tuplet_note("1365") + ',' +
                    tuplet_note("1366") + ',' + quarter,
                '[' + triplet + ']'),
       {N0 + ".display_ticks: is required for tuplets", tuplet_message(0, ratio)}},
      {"member with display ticks 1365",
       two_four(tuplet_note("1365", "1365") + ',' + tuplet_note("1365") + ',' +
                    tuplet_note("1366") + ',' + quarter,
                '[' + triplet + ']'),
       {N0 + ".display_ticks: must be a renderable duration", tuplet_message(0, ratio)}},
      {"member with duration 0 adds nothing",
       two_four(
           tuplet_note("0") + ',' + tuplet_note("1365") + ',' + tuplet_note("1366") + ',' + quarter,
           '[' + triplet + ']'),
       {N0 + ".duration_ticks: must be positive", tuplet_message(0, ratio), total}},
      {"quadruplet in the time of three eighths",
       two_four(joined(tuplet_note("1536"), 4) + ',' + rest("2048"),
                '[' + tuplet_of(R"("t")", "4", "3") + ']'),
       {}},
      // Wrapped 64-bit sums give 16384 ticks and equal ratio sides: the overflow must not pass.
      {"member durations whose sum overflows",
       voice_document('[' + tuplet_note(int64_max, "16384") + ',' +
                          tuplet_note(int64_max, "16384") + ',' + tuplet_note("16386", "16384") +
                          ']',
                      '[' + tuplet_of(R"("t")", "3", "1") + ']'),
       {tuplet_message(0, ratio), total}},
      // 2^62 + 6144 sounding ticks times 4 wraps to 24576, the written side 8192 times 3.
      {"member durations whose ratio product overflows",
       two_four(tuplet_note("4611686018427389440") + ',' + joined(tuplet_note("1536"), 3) + ',' +
                    rest("2048"),
                '[' + tuplet_of(R"("t")", "4", "3") + ']'),
       {tuplet_message(0, ratio), total}},
  });
}

TEST(document_test, notes) {
  const std::string total = V + ".notes: total duration must equal measure capacity";
  const std::string four_quarters = three_quarters + ',' + quarter;
  const auto plus_four_quarters = [&](const std::string& first) {
    return voice_document('[' + first + ',' + four_quarters + ']');
  };
  const auto with_notehead = [](const std::string& kind, const std::string& notehead) {
    return first_note_document(
        object_of({member("kind", kind), R"("duration_ticks":4096)",
                   member("pitches", '[' + c4 + ']'), member("notehead", notehead)}));
  };
  const std::string bad_position = R"([{"string_number":7,"fret":3,"midi":44}])";
  expect_rows({
      {"kind chord draws no kind-dependent message",
       first_note_document(
           R"({"kind":"chord","duration_ticks":4096,"pitches":[],"notehead":"slash",)"
           R"("tab_positions":[{"string_number":1,"fret":0,"midi":64}]})"),
       {N0 + ".kind: must be note or rest"}},
      {"kind Note",
       first_note_document(R"({"kind":"Note","duration_ticks":4096,"pitches":[]})"),
       {N0 + ".kind: must be note or rest"}},
      {"kind absent",
       first_note_document(R"({"duration_ticks":4096,"pitches":[]})"),
       {N0 + ".kind: is required"}},
      {"kind number",
       first_note_document(R"({"kind":1,"duration_ticks":4096,"pitches":[]})"),
       {N0 + ".kind: must be a string"}},
      {"quarter rest", first_note_document(rest("4096")), {}},
      {"duration 4097 still counts",
       first_note_document(note("4097")),
       {N0 + ".duration_ticks: must be a renderable duration", total}},
      {"duration 0 does not count",
       plus_four_quarters(note("0")),
       {N0 + ".duration_ticks: must be positive"}},
      {"duration -4096",
       plus_four_quarters(note("-4096")),
       {N0 + ".duration_ticks: must be positive"}},
      {"duration with a fraction",
       plus_four_quarters(note("4096.0")),
       {N0 + ".duration_ticks: must be an integer"}},
      {"duration as text",
       plus_four_quarters(note(R"("4096")")),
       {N0 + ".duration_ticks: must be an integer"}},
      {"duration absent", plus_four_quarters(note("")), {N0 + ".duration_ticks: is required"}},
      {"display ticks on a plain note",
       first_note_document(note("4096", R"("display_ticks":2048)")),
       {}},
      {"display ticks null", first_note_document(note("4096", R"("display_ticks":null)")), {}},
      {"display ticks 0 outside a tuplet",
       first_note_document(note("4096", R"("display_ticks":0)")),
       {N0 + ".display_ticks: must be positive"}},
      {"display ticks with a fraction",
       first_note_document(note("4096", R"("display_ticks":2048.0)")),
       {N0 + ".display_ticks: must be an integer"}},
      {"display ticks 1365 outside a tuplet",
       first_note_document(note("4096", R"("display_ticks":1365)")),
       {N0 + ".display_ticks: must be a renderable duration"}},
      {"chord symbol and lyric null",
       first_note_document(note("4096", R"("chord_symbol":null,"lyric":null)")),
       {}},
      {"chord symbol and lyric of other kinds",
       first_note_document(note("4096", R"("chord_symbol":7,"lyric":["la"])")),
       {N0 + ".chord_symbol: must be a string", N0 + ".lyric: must be a string"}},
      {"slash on a note", with_notehead(R"("note")", R"("slash")"), {}},
      {"x on a note", with_notehead(R"("note")", R"("x")"), {N0 + ".notehead: must be slash"}},
      {"slash on a rest",
       with_notehead(R"("rest")", R"("slash")"),
       {N0 + ".notehead: rests must not include notehead"}},
      {"x on a rest",
       with_notehead(R"("rest")", R"("x")"),
       {N0 + ".notehead: must be slash", N0 + ".notehead: rests must not include notehead"}},
      {"empty notehead on a note", with_notehead(R"("note")", R"("")"), {}},
      {"empty notehead on a rest", with_notehead(R"("rest")", R"("")"), {}},
      {"null notehead on a rest", with_notehead(R"("rest")", "null"), {}},
      {"notehead number", with_notehead(R"("note")", "1"), {N0 + ".notehead: must be a string"}},
      {"empty tuplet id leaves the note outside any tuplet",
       first_note_document(note("1365", R"("display_ticks":2048,"tuplet_id":"")")),
       {N0 + ".tuplet_id: is required", N0 + ".duration_ticks: must be a renderable duration",
        total}},
      {"null tuplet id",
       first_note_document(note("1365", R"("tuplet_id":null)")),
       {N0 + ".tuplet_id: is required", N0 + ".duration_ticks: must be a renderable duration",
        total}},
      {"tuplet id number",
       first_note_document(note("1365", R"("tuplet_id":7)")),
       {N0 + ".tuplet_id: must be a string", N0 + ".duration_ticks: must be a renderable duration",
        total}},
      {"note without pitches",
       first_note_document(R"({"kind":"note","duration_ticks":4096,"pitches":[]})"),
       {N0 + ".pitches: notes must include at least one pitch"}},
      {"rest without pitches",
       first_note_document(R"({"kind":"rest","duration_ticks":4096,"pitches":[]})"),
       {}},
      {"rest with no pitches member ends before its tab positions",
       first_note_document(R"({"kind":"rest","duration_ticks":4096,"tab_positions":)" +
                           bad_position + '}'),
       {N0 + ".pitches: is required"}},
      {"pitches object",
       first_note_document(R"({"kind":"note","duration_ticks":4096,"pitches":{}})"),
       {N0 + ".pitches: must be an array"}},
      {"pitches null",
       first_note_document(R"({"kind":"note","duration_ticks":4096,"pitches":null})"),
       {N0 + ".pitches: must be an array"}},
      {"rest with a tab position",
       first_note_document(rest("4096", R"("tab_positions":)" + bad_position)),
       {N0 + ".tab_positions: rests must not include tab positions",
        Q0 + ".string_number: must be between 1 and 6"}},
      {"rest with no tab positions",
       first_note_document(rest("4096", R"("tab_positions":[])")),
       {}},
      {"tab positions null", first_note_document(note("4096", R"("tab_positions":null)")), {}},
      {"tab positions text",
       first_note_document(note("4096", R"("tab_positions":"x")")),
       {N0 + ".tab_positions: must be an array"}},
      {"tab position element not an object",
       first_note_document(
           note("4096", R"("tab_positions":[1,{"string_number":1,"fret":25,"midi":89}])")),
       {Q0 + ": must be an object", N0 + ".tab_positions.1.fret: must be between 0 and 20"}},
      {"every member of one note at fault, in order",
       first_note_document(
           R"({"kind":"rest","duration_ticks":4097,"display_ticks":0,"chord_symbol":1,)"
           R"("lyric":2,"notehead":"x","tuplet_id":"",)"
           R"("pitches":[{"letter":"H","octave":9,"accidental":"x"}],)"
           R"("tab_positions":[{"string_number":7,"fret":21,"midi":1,"finger":0}]})"),
       {N0 + ".display_ticks: must be positive", N0 + ".chord_symbol: must be a string",
        N0 + ".lyric: must be a string", N0 + ".notehead: must be slash",
        N0 + ".notehead: rests must not include notehead", N0 + ".tuplet_id: is required",
        N0 + ".duration_ticks: must be a renderable duration", P0 + ".letter: must be a through g",
        P0 + ".octave: must be between 0 and 8", P0 + ".accidental: must be n, #, b, or empty",
        N0 + ".tab_positions: rests must not include tab positions",
        Q0 + ".string_number: must be between 1 and 6", Q0 + ".fret: must be between 0 and 20",
        Q0 + ".finger: must be between 1 and 4", total}},
  });
}

TEST(document_test, pitches) {
  const auto with_pitches = [](const std::string& pitches) {
    return first_note_document(R"({"kind":"note","duration_ticks":4096,"pitches":)" + pitches +
                               '}');
  };
  const auto with_pitch = [&](const std::string& members) {
    return with_pitches("[{" + members + "}]");
  };
  const std::string letter = P0 + ".letter: must be a through g";
  const std::string octave = P0 + ".octave: must be between 0 and 8";
  const std::string accidental = P0 + ".accidental: must be n, #, b, or empty";
  expect_rows({
      {"a", with_pitch(R"("letter":"a","octave":4)"), {}},
      {"g", with_pitch(R"("letter":"g","octave":4)"), {}},
      {"upper-case C", with_pitch(R"("letter":"C","octave":4)"), {letter}},
      {"cb", with_pitch(R"("letter":"cb","octave":4)"), {letter}},
      {"h", with_pitch(R"("letter":"h","octave":4)"), {letter}},
      {"empty letter", with_pitch(R"("letter":"","octave":4)"), {letter}},
      {"null letter",
       with_pitch(R"("letter":null,"octave":4)"),
       {P0 + ".letter: must be a string"}},
      {"letter absent", with_pitch(R"("octave":4)"), {P0 + ".letter: is required"}},
      {"octave 0", with_pitch(R"("letter":"c","octave":0)"), {}},
      {"octave 8", with_pitch(R"("letter":"c","octave":8)"), {}},
      {"octave 9", with_pitch(R"("letter":"c","octave":9)"), {octave}},
      {"octave -1", with_pitch(R"("letter":"c","octave":-1)"), {octave}},
      {"octave with a fraction",
       with_pitch(R"("letter":"c","octave":4.0)"),
       {P0 + ".octave: must be an integer"}},
      {"octave absent", with_pitch(R"("letter":"c")"), {P0 + ".octave: is required"}},
      {"accidental n", with_pitch(R"("letter":"c","octave":4,"accidental":"n")"), {}},
      {"accidental #", with_pitch(R"("letter":"c","octave":4,"accidental":"#")"), {}},
      {"accidental b", with_pitch(R"("letter":"c","octave":4,"accidental":"b")"), {}},
      {"accidental empty", with_pitch(R"("letter":"c","octave":4,"accidental":"")"), {}},
      {"accidental null", with_pitch(R"("letter":"c","octave":4,"accidental":null)"), {}},
      {"accidental x", with_pitch(R"("letter":"c","octave":4,"accidental":"x")"), {accidental}},
      {"accidental ##", with_pitch(R"("letter":"c","octave":4,"accidental":"##")"), {accidental}},
      {"accidental number",
       with_pitch(R"("letter":"c","octave":4,"accidental":1)"),
       {P0 + ".accidental: must be a string"}},
      {"letter, octave and accidental in order",
       with_pitch(R"("letter":"H","octave":9,"accidental":"x")"),
       {letter, octave, accidental}},
      {"second pitch at fault",
       with_pitches('[' + c4 + R"(,{"letter":"e","octave":12}])"),
       {N0 + ".pitches.1.octave: must be between 0 and 8"}},
      {"pitch not an object", with_pitches(R"(["c"])"), {P0 + ": must be an object"}},
  });
}

TEST(document_test, tab_positions_against_standard_tuning) {
  const auto with_positions = [](const std::string& positions) {
    return first_note_document(note("4096", R"("tab_positions":)" + positions));
  };
  // string number, fret, MIDI and finger as JSON texts; "" leaves the member out.
  const auto position = [](const std::string& string_number, const std::string& fret,
                           const std::string& midi, const std::string& finger = "") {
    return object_of({member("string_number", string_number), member("fret", fret),
                      member("midi", midi), member("finger", finger)});
  };
  const auto with_position = [&](const std::string& string_number, const std::string& fret,
                                 const std::string& midi, const std::string& finger = "") {
    return with_positions('[' + position(string_number, fret, midi, finger) + ']');
  };
  const std::string string_range = Q0 + ".string_number: must be between 1 and 6";
  const std::string fret_range = Q0 + ".fret: must be between 0 and 20";
  const std::string finger_range = Q0 + ".finger: must be between 1 and 4";
  const std::string open_finger = Q0 + ".finger: must be omitted for open strings";
  const std::string tuning = Q0 + ".midi: must match standard guitar tuning plus fret";
  expect_rows({
      {"open first string", with_position("1", "0", "64"), {}},
      {"all six open strings",
       with_positions('[' + position("1", "0", "64") + ',' + position("2", "0", "59") + ',' +
                      position("3", "0", "55") + ',' + position("4", "0", "50") + ',' +
                      position("5", "0", "45") + ',' + position("6", "0", "40") + ']'),
       {}},
      {"second string with the first string's pitch", with_position("2", "0", "64"), {tuning}},
      {"finger on an open string", with_position("1", "0", "64", "1"), {open_finger}},
      {"sixth string third fret", with_position("6", "3", "43"), {}},
      {"sixth string third fret with a finger", with_position("6", "3", "43", "2"), {}},
      {"fifth string twentieth fret", with_position("5", "20", "65", "4"), {}},
      {"wrong MIDI", with_position("6", "3", "44"), {tuning}},
      {"string 7 skips the tuning test", with_position("7", "3", "44"), {string_range}},
      {"string 0", with_position("0", "3", "44"), {string_range}},
      {"fret 21 in tune", with_position("1", "21", "85"), {fret_range}},
      {"fret 21 out of tune", with_position("1", "21", "84"), {fret_range, tuning}},
      {"fret -1 in tune", with_position("1", "-1", "63"), {fret_range}},
      {"largest fret", with_position("1", "9223372036854775807", "64"), {fret_range, tuning}},
      {"smallest fret in tune",
       with_position("1", "-9223372036854775808", "-9223372036854775744"),
       {fret_range}},
      {"finger 5", with_position("2", "5", "64", "5"), {finger_range}},
      {"finger 0 on an open string",
       with_position("1", "0", "64", "0"),
       {finger_range, open_finger}},
      {"finger null", with_position("1", "0", "64", "null"), {}},
      {"finger as text is no finger",
       with_position("1", "0", "64", R"("1")"),
       {Q0 + ".finger: must be an integer"}},
      {"finger with a fraction",
       with_position("2", "5", "64", "1.0"),
       {Q0 + ".finger: must be an integer"}},
      {"MIDI absent skips the tuning test",
       with_position("6", "3", ""),
       {Q0 + ".midi: is required"}},
      {"string number with a fraction skips the tuning test",
       with_position("1.0", "3", "44"),
       {Q0 + ".string_number: must be an integer"}},
      {"empty position",
       with_positions("[{}]"),
       {Q0 + ".string_number: is required", Q0 + ".fret: is required", Q0 + ".midi: is required"}},
      {"readers before range checks",
       with_position("9", "", "null", R"("x")"),
       {Q0 + ".fret: is required", Q0 + ".midi: must be an integer",
        Q0 + ".finger: must be an integer", string_range}},
      {"second position at fault",
       with_positions('[' + position("1", "0", "64") + ',' + position("6", "3", "44") + ']'),
       {N0 + ".tab_positions.1.midi: must match standard guitar tuning plus fret"}},
  });
}

boost::json::value lead_sheet() {
  std::ifstream file(std::string(ORVANTA_TEST_FIXTURES_DIR) + "/lead_sheet_8_bars.json");
  EXPECT_TRUE(file.is_open());
  std::stringstream text;
  text << file.rdbuf();
  return boost::json::parse(text.str());
}

TEST(document_test, lead_sheet_is_valid) { EXPECT_EQ(findings_of(lead_sheet()), findings{}); }

TEST(document_test, lead_sheet_faults) {
  const std::string triplet_voice = "staves.0.measures.1.voices.0";
  const auto arranged_staff = [](std::int64_t second_midi) {
    return boost::json::parse(
        R"({"id":"staff-arranged-guitar","name":"Guitar","clef":"treble","role":"guitar",)"
        R"("arranged":true,"arrangement_part_type":"electric","measures":[{"id":"arr-measure-1",)"
        R"("time_signature":"4/4","key_signature":"F","voices":[{"id":"voice-1","notes":[)"
        R"({"id":"arr-note-1","kind":"note","duration_ticks":16384,"chord_symbol":"Fmaj7",)"
        R"("pitches":[{"letter":"f","octave":3},{"letter":"a","octave":3}],"tab_positions":[)"
        R"({"string_number":4,"fret":3,"midi":53,"finger":1},)"
        R"({"string_number":3,"fret":2,"midi":)" +
        std::to_string(second_midi) + R"(,"finger":2}]}],"tuplets":[]}]}]})");
  };
  const std::vector<std::tuple<std::string, std::function<void(boost::json::value&)>, findings>>
      rows = {
          {"last triplet member written as a sixteenth",
           [](boost::json::value& document) {
             document.at_pointer("/staves/0/measures/1/voices/0/notes/4/display_ticks") = 1024;
           },
           {triplet_voice + ".tuplets.0: actual durations must match displayed tuplet ratio"}},
          {"tied half note shortened",
           [](boost::json::value& document) {
             document.at_pointer("/staves/0/measures/0/voices/0/notes/2/duration_ticks") = 4096;
           },
           {"staves.0.measures.0.voices.0.notes: total duration must equal measure capacity"}},
          {"arranged guitar staff added by an answer",
           [&](boost::json::value& document) {
             document.at("staves").as_array().push_back(arranged_staff(57));
           },
           {}},
          {"arranged guitar staff out of tune",
           [&](boost::json::value& document) {
             document.at("staves").as_array().push_back(arranged_staff(58));
           },
           {"staves.1.measures.0.voices.0.notes.0.tab_positions.1.midi: must match standard "
            "guitar tuning plus fret"}},
      };
  for (const auto& [name, change, expected] : rows) {
    auto document = lead_sheet();
    change(document);
    EXPECT_EQ(findings_of(document), expected) << name;
  }
}

}  // namespace
