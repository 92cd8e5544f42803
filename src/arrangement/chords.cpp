#include "arrangement/chords.hpp"

#include "arrangement/source.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

constexpr std::string_view blank_characters = " \t\n\v\f\r";

bool is_blank(char character) { return blank_characters.find(character) != std::string_view::npos; }

struct degree_row {
  std::string_view name;
  int semitones = 0;
};

constexpr std::array<degree_row, 25> intervals{{
    {"1", 0},   {"b2", 1}, {"2", 2},    {"#2", 3},   {"b3", 3}, {"3", 4},  {"4", 5},
    {"#4", 6},  {"b5", 6}, {"5", 7},    {"#5", 8},   {"b6", 8}, {"6", 9},  {"bb7", 9},
    {"b7", 10}, {"7", 11}, {"b9", 1},   {"9", 2},    {"#9", 3}, {"11", 5}, {"#11", 6},
    {"b13", 8}, {"13", 9}, {"sus4", 5}, {"sus2", 2},
}};

// Degree lists are written as names separated by single blanks; the empty text is no degree.
struct formula_row {
  std::string_view quality;
  chord_family family = chord_family::major;
  bool jazz_quality = false;
  std::string_view degrees;
  std::string_view required_degrees;
  std::string_view optional_degrees;
};

using enum chord_family;

constexpr std::array<formula_row, 38> formula_table{{
    {"major", major, false, "1 3 5", "1 3 5", ""},
    {"minor", minor, false, "1 b3 5", "1 b3 5", ""},
    {"minor_major7", minor, true, "1 b3 5 7 9", "b3 7", "9 1 5"},
    {"half_diminished7", half_diminished, true, "1 b3 b5 b7", "b3 b5 b7", "1"},
    {"diminished7", diminished, false, "1 b3 b5 bb7", "b3 b5 bb7", "1"},
    {"diminished", diminished, false, "1 b3 b5", "1 b3 b5", ""},
    {"sus2", suspended, false, "1 2 5", "1 2 5", ""},
    {"dominant7_sus4", suspended, true, "1 4 5 b7", "4 b7", "1 5"},
    {"sus4", suspended, false, "1 4 5", "1 4 5", ""},
    {"major9_sharp11", major, true, "1 3 5 7 9 #11", "3 7 #11", "9 1 5"},
    {"major7_sharp11", major, true, "1 3 5 7 #11", "3 7 #11", "1 5"},
    {"major13", major, true, "1 3 5 7 9 13", "3 7 13", "9 1 5"},
    {"major9", major, true, "1 3 5 7 9", "3 7 9", "1 5"},
    {"major7", major, true, "1 3 5 7", "3 7", "1 5"},
    {"major6_9", major, true, "1 3 5 6 9", "3 6 9", "1 5"},
    {"major_add9", major, false, "1 3 5 9", "1 3 9", "5"},
    {"minor_add9", minor, false, "1 b3 5 9", "1 b3 9", "5"},
    {"minor13", minor, true, "1 b3 5 b7 9 11 13", "b3 b7 13", "9 11 1 5"},
    {"minor11", minor, true, "1 b3 5 b7 9 11", "b3 b7 11", "9 1 5"},
    {"minor9", minor, true, "1 b3 5 b7 9", "b3 b7 9", "1 5"},
    {"minor7", minor, true, "1 b3 5 b7", "b3 b7", "1 5"},
    {"minor6", minor, true, "1 b3 5 6", "b3 6", "1 5"},
    {"dominant7_alt", dominant, true, "1 3 b7 b9 #9 b5 #5 b13", "3 b7", "b9 #9 b13 b5 #5"},
    {"dominant13_b9", dominant, true, "1 3 5 b7 b9 13", "3 b7 b9 13", "1 5"},
    {"dominant13_sharp9", dominant, true, "1 3 5 b7 #9 13", "3 b7 #9 13", "1 5"},
    {"dominant9_sharp11", dominant, true, "1 3 5 b7 9 #11", "3 b7 #11", "9 1 5"},
    {"dominant7_sharp11", dominant, true, "1 3 5 b7 #11", "3 b7 #11", "1 5"},
    {"dominant7_sharp9", dominant, true, "1 3 5 b7 #9", "3 b7 #9", "1 5"},
    {"dominant7_b9", dominant, true, "1 3 5 b7 b9", "3 b7 b9", "1 5"},
    {"dominant7_b13", dominant, true, "1 3 5 b7 b13", "3 b7 b13", "1 5"},
    {"dominant7_sharp5", dominant, true, "1 3 #5 b7", "3 #5 b7", "1"},
    {"dominant7_b5", dominant, true, "1 3 b5 b7", "3 b5 b7", "1"},
    {"dominant13", dominant, true, "1 3 5 b7 9 13", "3 b7 13", "9 1 5"},
    {"dominant11", dominant, true, "1 3 5 b7 9 11", "3 b7 11", "9 1 5"},
    {"dominant9", dominant, true, "1 3 5 b7 9", "3 b7 9", "1 5"},
    {"dominant7", dominant, true, "1 3 5 b7", "3 b7", "1 5"},
    {"major6", major, true, "1 3 5 6", "3 6", "1 5"},
    {"augmented", augmented, false, "1 3 #5", "1 3 #5", ""},
}};

// How one test of a suffix rule reads the suffix: "exact" texts keep their case (and carry the
// non-ASCII symbols), "lowered" texts are ASCII lower case.
enum class suffix_test_kind {
  none,
  lowered_contains,
  exact_contains,
  lowered_is,
  exact_is,
  minor_ish_only,
  always,
};

struct suffix_test {
  suffix_test_kind kind = suffix_test_kind::none;
  std::string_view needle;
};

// A rule matches when any of its tests holds; `minor_ish_quality`, when set, replaces the quality
// for suffixes that read as minor.
struct suffix_rule {
  std::string_view quality;
  std::array<suffix_test, 5> tests{};
  std::string_view minor_ish_quality;
};

constexpr suffix_rule rule(std::string_view quality, std::initializer_list<suffix_test> tests,
                           std::string_view minor_ish_quality = {}) {
  suffix_rule result{quality, {}, minor_ish_quality};
  std::copy(tests.begin(), tests.end(), result.tests.begin());
  return result;
}

using enum suffix_test_kind;

constexpr std::array<suffix_rule, 38> suffix_rules{
    rule("major", {{exact_is, ""}}),
    rule("minor_major7",
         {{lowered_contains, "mmaj9"}, {lowered_contains, "mmaj7"}, {exact_contains, "-\u0394"}}),
    rule("half_diminished7", {{lowered_contains, "m11b5"},
                              {lowered_contains, "-11b5"},
                              {lowered_contains, "m7b5"},
                              {lowered_contains, "-7b5"},
                              {exact_contains, "\u00f8"}}),
    rule("diminished7",
         {{lowered_contains, "dim7"}, {lowered_contains, "o7"}, {exact_contains, "\u00b07"}}),
    rule("diminished", {{lowered_is, "dim"}, {lowered_is, "o"}, {exact_is, "\u00b0"}}),
    rule("sus2", {{lowered_contains, "sus2"}}),
    rule("dominant7_sus4", {{lowered_contains, "7sus"}, {lowered_contains, "sus7"}}),
    rule("sus4", {{lowered_contains, "sus"}}),
    rule("major9_sharp11", {{lowered_contains, "maj9#11"}, {exact_contains, "\u03949#11"}}),
    rule("major7_sharp11", {{lowered_contains, "maj7#11"}, {exact_contains, "\u03947#11"}}),
    rule("major13",
         {{lowered_contains, "maj13"}, {exact_contains, "M13"}, {exact_contains, "\u039413"}}),
    rule("major9",
         {{lowered_contains, "maj9"}, {exact_contains, "M9"}, {exact_contains, "\u03949"}}),
    rule("major7",
         {{lowered_contains, "maj7"}, {exact_contains, "M7"}, {exact_contains, "\u03947"}}),
    rule("major6_9", {{lowered_contains, "6/9"}, {lowered_contains, "69"}}),
    rule("major_add9", {{lowered_contains, "add9"}}, "minor_add9"),
    rule("minor13", {{lowered_contains, "m13"}, {lowered_contains, "-13"}}),
    rule("minor11", {{lowered_contains, "m11"}, {lowered_contains, "-11"}}),
    rule("minor9", {{lowered_contains, "m9"}, {lowered_contains, "-9"}}),
    rule("minor7", {{lowered_contains, "m7"}, {lowered_contains, "-7"}}),
    rule("minor6", {{lowered_is, "m6"}, {lowered_is, "min6"}, {lowered_is, "-6"}}),
    rule("minor", {{minor_ish_only, ""}}),
    rule("dominant7_alt", {{lowered_contains, "alt"}}),
    rule("dominant13_b9", {{lowered_contains, "13b9"}}),
    rule("dominant13_sharp9", {{lowered_contains, "13#9"}}),
    rule("dominant9_sharp11", {{lowered_contains, "9#11"}}),
    rule("dominant7_sharp11", {{lowered_contains, "7#11"}}),
    rule("dominant7_sharp9", {{lowered_contains, "7#9"}}),
    rule("dominant7_b9", {{lowered_contains, "7b9"}}),
    rule("dominant7_b13", {{lowered_contains, "7b13"}}),
    rule("dominant7_sharp5", {{lowered_contains, "7#5"}, {lowered_contains, "7+"}}),
    rule("dominant7_b5", {{lowered_contains, "7b5"}}),
    rule("dominant13", {{lowered_contains, "13"}}),
    rule("dominant11", {{lowered_contains, "11"}}),
    rule("dominant9", {{lowered_contains, "9"}}),
    rule("dominant7", {{lowered_contains, "7"}}),
    rule("major6", {{lowered_contains, "6"}}),
    rule("augmented", {{lowered_contains, "aug"}, {lowered_contains, "+"}}),
    rule("major", {{always, ""}}),
};

// The suffix in the two spellings the rules read, and the two marks computed from them.
struct suffix_texts {
  std::string exact;
  std::string lowered;
  bool minor_ish = false;
  bool major_ish = false;
};

suffix_texts read_suffix(std::string suffix) {
  suffix_texts texts;
  texts.exact = compact_suffix(std::move(suffix));
  texts.lowered = lowercase(texts.exact);
  texts.minor_ish = texts.lowered.starts_with('m') || texts.lowered.starts_with('-');
  texts.major_ish = contains_text(texts.lowered, "maj") || contains_text(texts.exact, "M") ||
                    contains_text(texts.exact, "\u0394");
  return texts;
}

bool test_holds(const suffix_test& test, const suffix_texts& texts) {
  switch (test.kind) {
    case none: return false;
    case lowered_contains: return contains_text(texts.lowered, test.needle);
    case exact_contains: return contains_text(texts.exact, test.needle);
    case lowered_is: return texts.lowered == test.needle;
    case exact_is: return texts.exact == test.needle;
    case minor_ish_only: return texts.minor_ish && !texts.major_ish;
    case always: return true;
  }
  return false;
}

bool rule_matches(const suffix_rule& rule, const suffix_texts& texts) {
  return std::any_of(rule.tests.begin(), rule.tests.end(),
                     [&](const suffix_test& test) { return test_holds(test, texts); });
}

std::vector<std::string> degree_list(std::string_view written) {
  std::vector<std::string> degrees;
  while (!written.empty()) {
    const auto blank = written.find(' ');
    degrees.emplace_back(written.substr(0, blank));
    written = blank == std::string_view::npos ? std::string_view{} : written.substr(blank + 1);
  }
  return degrees;
}

chord_formula formula_of_quality(std::string_view quality) {
  const auto row = std::find_if(formula_table.begin(), formula_table.end(),
                                [&](const formula_row& entry) { return entry.quality == quality; });
  return formula(std::string(row->quality), degree_list(row->degrees),
                 degree_list(row->required_degrees), degree_list(row->optional_degrees),
                 row->family, row->jazz_quality);
}

}  // namespace

std::optional<parsed_chord> parse_chord_symbol(const std::string& text) {
  std::size_t pos = 0;
  const auto root = parse_note_name(text, pos);
  if (!root) return std::nullopt;

  parsed_chord chord;
  chord.symbol = text;
  chord.root_pc = *root;
  std::string suffix;
  if (pos < text.size()) {
    const auto slash = text.find('/', pos);
    suffix = text.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    if (slash != std::string::npos) {
      std::size_t bass_pos = slash + 1;
      chord.bass_pc = parse_note_name(text, bass_pos);
    }
  }
  chord.formula = formula_for_suffix(std::move(suffix));
  return chord;
}

std::optional<int> parse_note_name(const std::string& text, std::size_t& pos) {
  while (pos < text.size() && is_blank(text[pos])) ++pos;
  constexpr std::string_view note_letters = "ABCDEFGabcdefg";
  if (pos >= text.size() || note_letters.find(text[pos]) == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string letter = lowercase(text.substr(pos, 1));
  ++pos;
  std::string accidental = "n";
  if (pos < text.size() && (text[pos] == 'b' || text[pos] == '#')) {
    accidental = text.substr(pos, 1);
    ++pos;
  }
  return note_pc(letter, accidental);
}

std::optional<int> note_pc(const std::string& letter, const std::string& accidental) {
  if (letter.empty()) return std::nullopt;
  constexpr std::array<std::pair<char, int>, 7> letter_pcs{
      {{'c', 0}, {'d', 2}, {'e', 4}, {'f', 5}, {'g', 7}, {'a', 9}, {'b', 11}}};
  const char lowered = lowercase(letter.substr(0, 1)).front();
  const auto row = std::find_if(letter_pcs.begin(), letter_pcs.end(),
                                [&](const auto& entry) { return entry.first == lowered; });
  if (row == letter_pcs.end()) return std::nullopt;
  int value = row->second;
  if (accidental == "#") ++value;
  if (accidental == "b") --value;
  return normalize_pc(value);
}

std::string compact_suffix(std::string suffix) {
  std::erase_if(suffix, [](char character) {
    return is_blank(character) || character == '(' || character == ')' || character == ',';
  });
  return suffix;
}

std::optional<int> degree_interval(std::string_view degree) {
  for (const auto& row : intervals) {
    if (row.name == degree) return row.semitones;
  }
  return std::nullopt;
}

chord_formula formula_for_suffix(std::string suffix) {
  const auto texts = read_suffix(std::move(suffix));
  for (const auto& rule : suffix_rules) {
    if (!rule_matches(rule, texts)) continue;
    const bool minor_reading = texts.minor_ish && !rule.minor_ish_quality.empty();
    return formula_of_quality(minor_reading ? rule.minor_ish_quality : rule.quality);
  }
  return formula_of_quality("major");
}

chord_formula formula(std::string quality, std::vector<std::string> degrees,
                      std::vector<std::string> required_degrees, std::vector<std::string> optional,
                      chord_family family, bool jazz_quality) {
  chord_formula result;
  result.optional_degrees = written_optional_degrees(degrees, optional);
  result.quality = std::move(quality);
  result.degrees = std::move(degrees);
  result.required_degrees = std::move(required_degrees);
  result.family = family;
  result.jazz_quality = jazz_quality;
  return result;
}

std::vector<std::string> written_optional_degrees(const std::vector<std::string>& degrees,
                                                  const std::vector<std::string>& optional) {
  std::vector<std::string> written;
  for (const auto& entry : optional) {
    if (std::find(degrees.begin(), degrees.end(), entry) != degrees.end()) {
      append_unique_degree(written, entry);
    }
  }
  return written;
}

void append_unique_degree(std::vector<std::string>& degrees, std::string_view degree) {
  if (degree.empty() || !degree_interval(degree)) return;
  if (std::find(degrees.begin(), degrees.end(), degree) != degrees.end()) return;
  degrees.emplace_back(degree);
}

}  // namespace orvanta::arrangement_detail
