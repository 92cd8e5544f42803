// Fuzz target "document": the input's first byte chooses one arrangement request, the rest is the
// score document it carries. The document is read as the service reads it from the body of an
// arrange request, by the framework's own body parser, and checked by the validator; a document it
// accepts goes to the arrangement engine. In the replay tests every document goes through all
// twelve requests (three part types, solo on and off, assist on and off), in the AFL++ driver
// through the one its first byte chooses. Oracles: no fault; no arrangement takes more than 2 s;
// the same request twice gives the same bytes; and an arrangement without an error passes the
// validator again, its arranged staff included, but for the finding the staff writer keeps by
// design: a tuplet whose members fall in two measures, which needs a source tuplet member tied over
// a barline.
#include <boost/json/serialize.hpp>

#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrangement.hpp"
#include "arrangement/anchors.hpp"
#include "arrangement/source.hpp"
#include "corvane/http.hpp"
#include "document.hpp"
#include "fuzz_target.hpp"

namespace orvanta::fuzz {
namespace {

using arrangement_detail::source_score;

// The service refuses a larger request body.
constexpr std::size_t body_limit = 16 * 1024 * 1024;
constexpr std::chrono::seconds arrangement_bound{2};

struct request {
  arrangement_part_type part_type = arrangement_part_type::electric;
  arrangement_options options;
};

constexpr std::array<arrangement_part_type, 3> part_types{
    arrangement_part_type::electric, arrangement_part_type::acoustic, arrangement_part_type::vocal};

// Request number 0 to 11: the part type, then solo, then assist.
request request_number(std::size_t number) {
  return {part_types[number % 3], {.assist = (number / 6) % 2 == 1, .solo = (number / 3) % 2 == 1}};
}

// The document as the service would take it from a request; nothing when it would refuse it.
std::optional<boost::json::value> read_document(std::string_view text) {
  const auto body = std::string(R"({"document":)").append(text).append("}");
  if (body.size() > body_limit) return std::nullopt;
  auto request = corvane::http::parse_json_body(body);
  if (!request || !request->is_object()) return std::nullopt;
  const auto* document = request->as_object().if_contains("document");
  if (document == nullptr) return std::nullopt;
  return *document;
}

// What of the source staff lets the writer keep a finding in the arranged staff.
struct source_conditions {
  // A tuplet member is tied over its measure's barline.
  bool tuplet_member_tied_over_barline = false;
};

bool is_last_note_of_its_measure(const source_score& score, std::size_t index) {
  return index + 1 == score.notes.size() ||
         score.notes[index + 1].measure_index != score.notes[index].measure_index;
}

source_conditions conditions_of(const boost::json::value& document) {
  source_conditions conditions;
  const auto* staff = arrangement_detail::source_staff(document);
  if (staff == nullptr) return conditions;
  const auto score = arrangement_detail::extract_source_score(*staff);
  for (std::size_t index = 0; index < score.notes.size(); ++index) {
    const auto& note = score.notes[index];
    if (!note.tuplet_id.empty() && note.tie_to_next && is_last_note_of_its_measure(score, index)) {
      conditions.tuplet_member_tied_over_barline = true;
    }
  }
  return conditions;
}

// The dotted path's components.
std::vector<std::string_view> path_parts(std::string_view path) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto dot = path.find('.');
    parts.push_back(path.substr(0, dot));
    if (dot == std::string_view::npos) return parts;
    path.remove_prefix(dot + 1);
  }
}

// True when the path runs staves.<staff>.measures.*.voices.*.<tail...> with the given tail
// pattern, "*" standing for any one component.
bool is_staff_path(const std::string& path, std::size_t staff,
                   std::initializer_list<std::string_view> tail) {
  const auto parts = path_parts(path);
  const std::array<std::string_view, 6> head{"staves", "", "measures", "*", "voices", "*"};
  if (parts.size() != head.size() + tail.size()) return false;
  if (parts[0] != head[0] || parts[1] != std::to_string(staff) || parts[2] != head[2] ||
      parts[4] != head[4]) {
    return false;
  }
  std::size_t index = head.size();
  for (const auto expected : tail) {
    if (expected != "*" && parts[index] != expected) return false;
    ++index;
  }
  return true;
}

bool allowed_finding(const validation_message& finding, std::size_t arranged_staff,
                     const source_conditions& conditions) {
  if (!conditions.tuplet_member_tied_over_barline) return false;
  if (finding.message == "actual durations must match displayed tuplet ratio") {
    return is_staff_path(finding.path, arranged_staff, {"tuplets", "*"});
  }
  return finding.message == "must match referenced note count" &&
         is_staff_path(finding.path, arranged_staff, {"tuplets", "*", "note_count"});
}

void report_finding(const validation_message& finding, const request& asked) {
  std::fprintf(stderr, "arranged %s (solo %d, assist %d): %s: %s\n",
               std::string(to_string(asked.part_type)).c_str(), asked.options.solo,
               asked.options.assist, finding.path.c_str(), finding.message.c_str());
}

std::string serialised(const arrangement_result& result) {
  std::string text = boost::json::serialize(result.document);
  for (const auto& message : result.messages) {
    text += '\n' + message.level + '\t' + message.path + '\t' + message.message;
  }
  return text;
}

arrangement_result timed_arrangement(const boost::json::value& document, const request& asked) {
  const auto start = std::chrono::steady_clock::now();
  auto result = arrange_guitar_score(document, asked.part_type, asked.options);
  const auto spent = std::chrono::steady_clock::now() - start;
  if (spent > arrangement_bound) {
    std::fprintf(stderr, "arranging %s (solo %d, assist %d) took %lld ms\n",
                 std::string(to_string(asked.part_type)).c_str(), asked.options.solo,
                 asked.options.assist,
                 static_cast<long long>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()));
  }
  require(spent <= arrangement_bound, "an arrangement took more than 2 s");
  return result;
}

void check_arrangement(const boost::json::value& document, const boost::json::value& again,
                       const source_conditions& conditions, const request& asked) {
  const auto result = timed_arrangement(document, asked);
  require(serialised(timed_arrangement(again, asked)) == serialised(result),
          "the same request gave two different answers");
  if (arrangement_detail::messages_have_error(result.messages)) return;

  const auto* staves = result.document.as_object().at("staves").if_array();
  require(staves != nullptr && !staves->empty(), "an arranged document without staves");
  const auto arranged_staff = staves->size() - 1;
  bool held = true;
  for (const auto& finding : validate_score_document(result.document).messages) {
    if (allowed_finding(finding, arranged_staff, conditions)) continue;
    report_finding(finding, asked);
    held = false;
  }
  require(held, "the arranged document does not pass the validator");
}

}  // namespace

void fuzz_one_input(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto document = read_document(text);
  if (!document || !validate_score_document(*document).messages.empty()) return;
  const auto again = read_document(text);
  const auto conditions = conditions_of(*document);
  if (replaying()) {
    for (std::size_t number = 0; number < 12; ++number) {
      check_arrangement(*document, *again, conditions, request_number(number));
    }
  } else {
    check_arrangement(*document, *again, conditions, request_number(data[0] % 12));
  }
}

}  // namespace orvanta::fuzz
