#include "arrangement.hpp"

#include "arrangement/anchors.hpp"
#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/arrangement_plan.hpp"
#include "arrangement/form.hpp"
#include "arrangement/generation.hpp"
#include "arrangement/json_io.hpp"
#include "arrangement/source.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

#include <string>
#include <utility>
#include <vector>

namespace orvanta {
namespace {

using namespace arrangement_detail;

arrangement_result failed(boost::json::value document, std::string path, std::string message) {
  return {std::move(document), {{"error", std::move(path), std::move(message)}}};
}

// The tempo always comes from the style, never from the document's own "tempo".
void apply_generated_tempo(boost::json::value& document, const arrangement_style_profile& profile) {
  auto* object = document.if_object();
  if (object == nullptr) return;
  auto& metadata = (*object)["metadata"];
  if (!metadata.is_object()) metadata = boost::json::object();
  metadata.as_object()["tempo"] = profile.tempo;
}

// The document's staves array, made an empty one when it is missing or not an array, with every
// arranged staff of an earlier run removed.
boost::json::array& staves_without_arranged_staff(boost::json::value& document) {
  auto& staves = document.as_object()["staves"];
  if (!staves.is_array()) staves = boost::json::array();
  remove_existing_arranged_staff(staves.as_array());
  return staves.as_array();
}

}  // namespace

arrangement_result arrange_guitar_score(const boost::json::value& document,
                                        arrangement_part_type part_type,
                                        arrangement_options options) {
  boost::json::value working = document;
  if (!working.is_object()) {
    return failed(std::move(working), "", "Arrangement input was not a score document.");
  }
  const auto* staff = source_staff(working);
  if (staff == nullptr) {
    return failed(std::move(working), "", "Arrangement input did not contain a source staff.");
  }
  const auto source = extract_source_score(*staff);
  const auto profile = arrangement_style_profile_for(arrangement_style_label(working));
  if (source.measures.empty()) {
    return failed(std::move(working), "staves.0.measures",
                  "Full arrangements require at least 1 source measure.");
  }

  const auto timeline = build_harmonic_timeline(source);
  const auto analysis = analyze_for_arrangement(source, timeline, profile);
  const auto sections =
      full_arrangement_sections(source, arrangement_part_type::electric, options.solo);
  const auto plan = build_arrangement_plan(source, analysis, sections, profile, options.solo);
  const auto part_plan = specialize_for_part(plan, part_type);

  if (part_type == arrangement_part_type::vocal) {
    auto vocal_staff = make_full_arranged_vocal_staff(*staff, source, part_plan);
    apply_generated_tempo(working, profile);
    staves_without_arranged_staff(working).push_back(std::move(vocal_staff));
    return {std::move(working), {}};
  }

  std::vector<arrangement_message> messages;
  const auto arranged =
      full_guitar_arrangement_for(source, part_plan, profile, options, messages, nullptr);
  if (messages_have_error(messages)) return {std::move(working), std::move(messages)};
  auto guitar_staff = make_arranged_staff(arranged.source, arranged.events, part_type, options);
  staves_without_arranged_staff(working).push_back(std::move(guitar_staff));
  apply_generated_tempo(working, profile);
  return {std::move(working), std::move(messages)};
}

}  // namespace orvanta
