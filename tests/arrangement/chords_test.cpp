#include "arrangement/chords.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using namespace orvanta::arrangement_detail;
using degree_names = std::vector<std::string>;

struct symbol_row {
  const char* text;
  std::optional<int> root;
  std::optional<int> bass;
  const char* quality;
};

TEST(chords_test, chord_symbols_give_root_bass_and_quality) {
  const symbol_row rows[] = {
      {"C", 0, {}, "major"},
      {"C ", 0, {}, "major"},
      {" Bb7", 10, {}, "dominant7"},
      {"bb7", 10, {}, "dominant7"},
      {"e-7", 4, {}, "minor7"},
      {"F#m7b5/E", 6, 4, "half_diminished7"},
      {"C(maj7)", 0, {}, "major7"},
      {"Cb", 11, {}, "major"},
      {"B#", 0, {}, "major"},
      {"E#", 5, {}, "major"},
      {"Fb", 4, {}, "major"},
      {"D##", 3, {}, "major"},
      {"Cbb7", 11, {}, "dominant7"},
      {"Cb5", 11, {}, "major"},
      {"C/E", 0, 4, "major"},
      {"C/e", 0, 4, "major"},
      {"C / Bb", 0, 10, "major"},
      {"C/E7", 0, 4, "major"},
      {"C/E/G", 0, 4, "major"},
      {"C/H", 0, {}, "major"},
      {"C/", 0, {}, "major"},
      {"Cm7/", 0, {}, "minor7"},
      {"C6/9", 0, {}, "major6"},
      {"C69", 0, {}, "major6_9"},
      {"Cm/maj7", 0, {}, "minor"},
      {"CMin7", 0, {}, "dominant7"},
      {"CmM7", 0, {}, "major7"},
      {"Ab\u0394", 8, {}, "major"},
      {"G\u00f8", 7, {}, "half_diminished7"},
      {"\tA7alt\n", 9, {}, "dominant7_alt"},
      {"", {}, {}, ""},
      {"   ", {}, {}, ""},
      {"7", {}, {}, ""},
      {"H7", {}, {}, ""},
      {"/E", {}, {}, ""},
      {" x C", {}, {}, ""},
  };
  for (const auto& row : rows) {
    const auto chord = parse_chord_symbol(row.text);
    SCOPED_TRACE(std::string("\"") + row.text + "\"");
    if (!row.root) {
      EXPECT_FALSE(chord);
      continue;
    }
    ASSERT_TRUE(chord);
    EXPECT_EQ(chord->symbol, row.text);
    EXPECT_EQ(chord->root_pc, *row.root);
    EXPECT_EQ(chord->bass_pc, row.bass);
    EXPECT_EQ(chord->formula.quality, row.quality);
  }
}

TEST(chords_test, parse_note_name_reads_one_accidental_and_moves_the_position) {
  struct row {
    const char* text;
    std::size_t start;
    std::optional<int> pc;
    std::size_t end;
  };
  const row rows[] = {
      {"  x", 0, {}, 2}, {"", 0, {}, 0},       {"   ", 1, {}, 3},  {"C#m", 0, 1, 2},
      {"Dbb", 0, 1, 2},  {"g", 0, 7, 1},       {"C/ Eb", 2, 3, 5}, {"Cn", 0, 0, 1},
      {"C", 1, {}, 1},   {"\r\v\fA", 0, 9, 4}, {"Abc", 3, {}, 3},  {"C", 7, {}, 7},
  };
  for (const auto& [text, start, pc, end] : rows) {
    std::size_t pos = start;
    EXPECT_EQ(parse_note_name(text, pos), pc) << '"' << text << "\" from " << start;
    EXPECT_EQ(pos, end) << '"' << text << "\" from " << start;
  }
}

TEST(chords_test, note_pc_of_letters_and_accidentals) {
  struct row {
    const char* letter;
    const char* accidental;
    std::optional<int> pc;
  };
  const row rows[] = {
      {"c", "n", 0},  {"C", "", 0},   {"d", "#", 3},  {"e", "b", 3},  {"b", "#", 0},
      {"c", "b", 11}, {"f", "bb", 5}, {"g", "##", 7}, {"a", "x", 9},  {"Bogus", "b", 10},
      {"", "#", {}},  {"h", "n", {}}, {"1", "n", {}}, {"#", "n", {}},
  };
  for (const auto& [letter, accidental, pc] : rows) {
    EXPECT_EQ(note_pc(letter, accidental), pc) << '"' << letter << "\" \"" << accidental << '"';
  }
}

TEST(chords_test, compact_suffix_drops_blanks_brackets_and_commas_only) {
  EXPECT_EQ(compact_suffix(" 7 (#9, b13)\t"), "7#9b13");
  EXPECT_EQ(compact_suffix("Maj7/x-\u0394"), "Maj7/x-\u0394");
  EXPECT_EQ(compact_suffix(" \n(),"), "");
}

TEST(chords_test, degree_intervals_lie_within_one_octave) {
  const std::pair<const char*, int> rows[] = {
      {"1", 0},   {"b2", 1}, {"2", 2},    {"#2", 3},   {"b3", 3}, {"3", 4},  {"4", 5},
      {"#4", 6},  {"b5", 6}, {"5", 7},    {"#5", 8},   {"b6", 8}, {"6", 9},  {"bb7", 9},
      {"b7", 10}, {"7", 11}, {"b9", 1},   {"9", 2},    {"#9", 3}, {"11", 5}, {"#11", 6},
      {"b13", 8}, {"13", 9}, {"sus4", 5}, {"sus2", 2},
  };
  for (const auto& [name, semitones] : rows) EXPECT_EQ(degree_interval(name), semitones) << name;
  for (const char* unknown : {"", "B3", "b", "14", "1 ", "Sus4", "#3"}) {
    EXPECT_FALSE(degree_interval(unknown)) << '"' << unknown << '"';
  }
}

TEST(chords_test, suffixes_reach_their_qualities_in_rule_order) {
  const std::pair<const char*, const char*> rows[] = {
      {"", "major"},
      {"M", "major"},
      {"maj", "major"},
      {"\u0394", "major"},
      {"#", "major"},
      {"2", "major"},
      {"4", "major"},
      {"5", "major"},
      {"m", "minor"},
      {"-", "minor"},
      {"min", "minor"},
      {"mi", "minor"},
      {"min7", "minor"},
      {"mi7", "minor"},
      {"mi6", "minor"},
      {"Min7", "dominant7"},
      {"MIN7", "dominant7"},
      {"min6", "minor6"},
      {"Min6", "minor6"},
      {"m6", "minor6"},
      {"-6", "minor6"},
      {"M6", "minor6"},
      {"M11", "minor11"},
      {"M7", "major7"},
      {"M9", "major9"},
      {"M13", "major13"},
      {"mM7", "major7"},
      {"m\u03947", "major7"},
      {"-maj7", "major7"},
      {"mmaj7", "minor_major7"},
      {"mMaj7", "minor_major7"},
      {"MMAJ7", "minor_major7"},
      {"m(maj7)", "minor_major7"},
      {"-\u03947", "minor_major7"},
      {"mmaj9", "minor_major7"},
      {"m7b5", "half_diminished7"},
      {"m7(b5)", "half_diminished7"},
      {"-7b5", "half_diminished7"},
      {"\u00f8", "half_diminished7"},
      {"\u00f87", "half_diminished7"},
      {"m11b5", "half_diminished7"},
      {"M7b5", "half_diminished7"},
      {"dim", "diminished"},
      {"Dim", "diminished"},
      {"o", "diminished"},
      {"O", "diminished"},
      {"\u00b0", "diminished"},
      {"dim5", "major"},
      {"o5", "major"},
      {"dim7", "diminished7"},
      {"o7", "diminished7"},
      {"\u00b07", "diminished7"},
      {"sus", "sus4"},
      {"sus4", "sus4"},
      {"9sus4", "sus4"},
      {"13sus4", "sus4"},
      {"7sus4", "dominant7_sus4"},
      {"sus7", "dominant7_sus4"},
      {"sus2", "sus2"},
      {"7sus2", "sus2"},
      {"maj9#11", "major9_sharp11"},
      {"\u03949#11", "major9_sharp11"},
      {"maj7(#11)", "major7_sharp11"},
      {"\u03947#11", "major7_sharp11"},
      {"maj13", "major13"},
      {"\u039413", "major13"},
      {"Maj9", "major9"},
      {"\u03949", "major9"},
      {"MAJ7", "major7"},
      {"\u03947", "major7"},
      {"69", "major6_9"},
      {"m69", "major6_9"},
      {"6/9", "major6_9"},
      {"add9", "major_add9"},
      {"madd9", "minor_add9"},
      {"minadd9", "minor_add9"},
      {"m6add9", "minor_add9"},
      {"Madd9", "minor_add9"},
      {"m13", "minor13"},
      {"-13", "minor13"},
      {"m11", "minor11"},
      {"-11", "minor11"},
      {"m9", "minor9"},
      {"-9", "minor9"},
      {"m7", "minor7"},
      {"-7", "minor7"},
      {"alt", "dominant7_alt"},
      {"7alt", "dominant7_alt"},
      {"alt7", "dominant7_alt"},
      {"13b9", "dominant13_b9"},
      {"13(#9)", "dominant13_sharp9"},
      {"9#11", "dominant9_sharp11"},
      {"7#11", "dominant7_sharp11"},
      {"7(#9,b13)", "dominant7_sharp9"},
      {"7#9", "dominant7_sharp9"},
      {"7(b9)", "dominant7_b9"},
      {"7b13", "dominant7_b13"},
      {"7#5", "dominant7_sharp5"},
      {"7+", "dominant7_sharp5"},
      {"7b5", "dominant7_b5"},
      {"13", "dominant13"},
      {"11", "dominant11"},
      {"9", "dominant9"},
      {"7", "dominant7"},
      {"+7", "dominant7"},
      {"aug7", "dominant7"},
      {"h7", "dominant7"},
      {"6", "major6"},
      {"+", "augmented"},
      {"aug", "augmented"},
  };
  for (const auto& [suffix, quality] : rows) {
    EXPECT_EQ(formula_for_suffix(suffix).quality, quality) << '"' << suffix << '"';
  }
}

TEST(chords_test, formula_rows_keep_their_written_order) {
  struct row {
    const char* suffix;
    chord_formula expected;
  };
  const row rows[] = {
      {"", {"major", {"1", "3", "5"}, {"1", "3", "5"}, {}, chord_family::major, false}},
      {"alt",
       {"dominant7_alt",
        {"1", "3", "b7", "b9", "#9", "b5", "#5", "b13"},
        {"3", "b7"},
        {"b9", "#9", "b13", "b5", "#5"},
        chord_family::dominant,
        true}},
      {"mmaj7",
       {"minor_major7",
        {"1", "b3", "5", "7", "9"},
        {"b3", "7"},
        {"9", "1", "5"},
        chord_family::minor,
        true}},
      {"m7b5",
       {"half_diminished7",
        {"1", "b3", "b5", "b7"},
        {"b3", "b5", "b7"},
        {"1"},
        chord_family::half_diminished,
        true}},
      {"dim7",
       {"diminished7",
        {"1", "b3", "b5", "bb7"},
        {"b3", "b5", "bb7"},
        {"1"},
        chord_family::diminished,
        false}},
      {"7sus4",
       {"dominant7_sus4",
        {"1", "4", "5", "b7"},
        {"4", "b7"},
        {"1", "5"},
        chord_family::suspended,
        true}},
      {"m13",
       {"minor13",
        {"1", "b3", "5", "b7", "9", "11", "13"},
        {"b3", "b7", "13"},
        {"9", "11", "1", "5"},
        chord_family::minor,
        true}},
      {"add9",
       {"major_add9", {"1", "3", "5", "9"}, {"1", "3", "9"}, {"5"}, chord_family::major, false}},
      {"+", {"augmented", {"1", "3", "#5"}, {"1", "3", "#5"}, {}, chord_family::augmented, false}},
      {"7#5",
       {"dominant7_sharp5",
        {"1", "3", "#5", "b7"},
        {"3", "#5", "b7"},
        {"1"},
        chord_family::dominant,
        true}},
      {"sus2", {"sus2", {"1", "2", "5"}, {"1", "2", "5"}, {}, chord_family::suspended, false}},
  };
  for (const auto& [suffix, expected] : rows) {
    EXPECT_EQ(formula_for_suffix(suffix), expected) << '"' << suffix << '"';
  }
}

// One suffix per quality, so every row of the formula table is reached.
TEST(chords_test, every_quality_is_well_formed) {
  const std::pair<const char*, bool> rows[] = {
      {"", false},       {"m", false},     {"mmaj7", true}, {"m7b5", true},  {"dim7", false},
      {"dim", false},    {"sus2", false},  {"7sus4", true}, {"sus4", false}, {"maj9#11", true},
      {"maj7#11", true}, {"maj13", true},  {"maj9", true},  {"maj7", true},  {"69", true},
      {"add9", false},   {"madd9", false}, {"m13", true},   {"m11", true},   {"m9", true},
      {"m7", true},      {"m6", true},     {"alt", true},   {"13b9", true},  {"13#9", true},
      {"9#11", true},    {"7#11", true},   {"7#9", true},   {"7b9", true},   {"7b13", true},
      {"7#5", true},     {"7b5", true},    {"13", true},    {"11", true},    {"9", true},
      {"7", true},       {"6", true},      {"+", false},
  };
  std::set<std::string> qualities;
  for (const auto& [suffix, jazz] : rows) {
    const auto formula = formula_for_suffix(suffix);
    SCOPED_TRACE(formula.quality);
    qualities.insert(formula.quality);
    EXPECT_EQ(formula.jazz_quality, jazz);
    ASSERT_FALSE(formula.degrees.empty());
    EXPECT_EQ(formula.degrees.front(), "1");
    for (const auto* list :
         {&formula.degrees, &formula.required_degrees, &formula.optional_degrees}) {
      for (const auto& degree : *list) EXPECT_TRUE(degree_interval(degree)) << degree;
    }
    for (const auto& degree : formula.optional_degrees) {
      EXPECT_NE(std::find(formula.degrees.begin(), formula.degrees.end(), degree),
                formula.degrees.end())
          << degree;
    }
  }
  EXPECT_EQ(qualities.size(), 38u);
}

TEST(chords_test, formula_keeps_only_written_optional_degrees) {
  const auto built = formula("q", {"1", "5"}, {"x", "x"}, {"5", "x", "5", "1", "9"},
                             chord_family::augmented, true);
  EXPECT_EQ(built, (chord_formula{
                       "q", {"1", "5"}, {"x", "x"}, {"5", "1"}, chord_family::augmented, true}));
}

TEST(chords_test, written_optional_degrees_filters_in_optional_order) {
  struct row {
    degree_names degrees;
    degree_names optional;
    degree_names expected;
  };
  const row rows[] = {
      {{"1", "3", "5"}, {"6", "9"}, {}},
      {{"1", "5"}, {"5", "x", "5", "1"}, {"5", "1"}},
      {{"1", "x", "3"}, {"x", "3", "1"}, {"3", "1"}},
      {{}, {"1"}, {}},
  };
  for (const auto& [degrees, optional, expected] : rows) {
    EXPECT_EQ(written_optional_degrees(degrees, optional), expected);
  }
}

TEST(chords_test, append_unique_degree_takes_only_new_known_names) {
  const std::pair<const char*, degree_names> rows[] = {
      {"3", {"1", "3"}},
      {"", {"1", "3"}},
      {"x", {"1", "3"}},
      {"B3", {"1", "3"}},
      {"sus4", {"1", "3", "sus4"}},
      {"b3", {"1", "3", "b3"}},
  };
  for (const auto& [degree, expected] : rows) {
    degree_names degrees{"1", "3"};
    append_unique_degree(degrees, degree);
    EXPECT_EQ(degrees, expected) << '"' << degree << '"';
  }
}

}  // namespace
