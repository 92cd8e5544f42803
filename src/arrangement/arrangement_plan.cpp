#include "arrangement/arrangement_plan.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <system_error>
#include <utility>

namespace orvanta::arrangement_detail {
namespace {

// The text of a value in a table whose first row also serves every value outside it.
template <typename enumeration, std::size_t size>
std::string_view table_text(const std::array<std::string_view, size>& texts, enumeration value) {
  const auto index = static_cast<std::int64_t>(value);
  if (index < 0 || index >= static_cast<std::int64_t>(size)) return texts[0];
  return texts[static_cast<std::size_t>(index)];
}

constexpr std::array<std::string_view, 10> section_function_texts() {
  return {"introduction",
          "exposition",
          "instrumental_restatement",
          "first_development",
          "main_climax",
          "recapitulation",
          "coda",
          "restatement_local_climax",
          "sparse_interlude",
          "retransition"};
}

constexpr std::array<std::string_view, 9> phrase_function_texts() {
  return {"statement", "answer", "restatement", "development", "contrast",
          "build",     "climax", "release",     "cadence"};
}

// The transform word a phrase function gives its theme, in the order of phrase_function.
constexpr std::array<std::string_view, 9> theme_transform_words() {
  return {"state", "answer", "restate", "develop", "contrast",
          "build", "climax", "release", "cadence"};
}

constexpr std::array<std::string_view, 6> rhythm_intent_texts() {
  return {"base", "variation", "sparse", "response", "build", "cadence"};
}

constexpr std::array<std::string_view, 6> stab_intent_texts() {
  return {"establish",    "sparse_support", "late_answer",
          "anticipation", "cadence",        "intentional_silence"};
}

constexpr std::array<std::string_view, 4> foreground_texts() {
  return {"none", "exact_source", "planned_but_not_enforced", "plan_constrained"};
}

constexpr std::array<std::string_view, 4> fallback_texts() {
  return {"not_needed", "coverage_stab_inserted", "intentional_silence", "no_legal_candidate"};
}

// The last row also serves every section type past the form's seven.
constexpr std::array<std::string_view, 7> section_type_texts() {
  return {"rhythm_lead_in", "vocal_melody_1", "guitar_melody", "guitar_solo_1",
          "guitar_solo_2",  "vocal_melody_2", "ending"};
}

std::string theme_transform_for_phrase(phrase_function function) {
  return std::string(table_text(theme_transform_words(), function));
}

// Plan key and section shapes

constexpr std::uint64_t plan_key_initial_state = 0x3c7a19e4b5d28f06;

std::uint64_t plan_key_for(std::uint64_t fingerprint, const arrangement_style_profile& profile,
                           bool include_solo) {
  auto key = fnv1a_64_int64(plan_key_initial_state, static_cast<std::int64_t>(fingerprint));
  key = fnv1a_64_text(key, style_profile_id(profile));
  return fnv1a_64_byte(key, include_solo ? 1 : 0);
}

// What a section of each type does in the form, with and without solos.
struct section_shape {
  section_function function;
  level_contour energy;
  bool main_climax;
};

struct section_shape_row {
  section_shape with_solo;
  section_shape without_solo;
};

constexpr std::array<section_shape_row, 7> section_shapes() {
  using enum section_function;
  return {{
      {{introduction, {0.30, 0.38, 0.45}, false}, {introduction, {0.30, 0.38, 0.45}, false}},
      {{exposition, {0.40, 0.46, 0.50}, false}, {exposition, {0.40, 0.46, 0.50}, false}},
      {{instrumental_restatement, {0.50, 0.56, 0.60}, false},
       {restatement_local_climax, {0.50, 0.68, 0.58}, true}},
      {{first_development, {0.55, 0.64, 0.70}, false},
       {sparse_interlude, {0.38, 0.42, 0.36}, false}},
      {{main_climax, {0.65, 0.90, 0.72}, true}, {retransition, {0.36, 0.46, 0.48}, false}},
      {{recapitulation, {0.52, 0.47, 0.42}, false}, {recapitulation, {0.50, 0.44, 0.40}, false}},
      {{coda, {0.40, 0.48, 0.35}, false}, {coda, {0.38, 0.46, 0.34}, false}},
  }};
}

section_shape shape_for(arrangement_section_type type, bool include_solo) {
  const auto row = section_shapes()[static_cast<std::size_t>(type)];
  return include_solo ? row.with_solo : row.without_solo;
}

double clamp_level(double value) { return std::clamp(value, 0.0, 1.0); }

level_contour scaled(const level_contour& contour, double factor) {
  return {clamp_level(contour.start * factor), clamp_level(contour.middle * factor),
          clamp_level(contour.end * factor)};
}

double mean(const level_contour& contour) {
  return (contour.start + contour.middle + contour.end) / 3.0;
}

double intensity_factor(section_function function) {
  return function == section_function::main_climax || function == section_function::retransition
             ? 1.05
             : 0.9;
}

foreground_model foreground_for(arrangement_section_type type, bool include_solo) {
  using enum arrangement_section_type;
  switch (type) {
    case rhythm_lead_in: return foreground_model::none;
    case guitar_solo_1:
    case guitar_solo_2:
      return include_solo ? foreground_model::planned_but_not_enforced : foreground_model::none;
    default: return foreground_model::exact_source;
  }
}

// Phrase decisions

// How a phrase's rhythm intent is found: fixed by the table, or by the generic rule.
enum class rhythm_rule { fixed, generic };

struct phrase_choice {
  phrase_function function;
  rhythm_rule rule;
  phrase_rhythm_intent rhythm;
};

struct phrase_choice_row {
  phrase_choice first;   // i = 0
  phrase_choice second;  // i = 1
  phrase_choice later;   // i >= 2
};

constexpr phrase_choice fixed(phrase_function function, phrase_rhythm_intent rhythm) {
  return {function, rhythm_rule::fixed, rhythm};
}

constexpr phrase_choice generic(phrase_function function) {
  return {function, rhythm_rule::generic, phrase_rhythm_intent::base};
}

// The phrases before a section's last, by section function (in the order of section_function).
constexpr std::array<phrase_choice_row, 10> phrase_choices() {
  using enum phrase_function;
  using r = phrase_rhythm_intent;
  constexpr auto build_up = fixed(build, r::build);
  constexpr auto answered = fixed(answer, r::response);
  constexpr auto released = fixed(release, r::cadence);
  constexpr auto closing = fixed(cadence, r::cadence);
  constexpr auto sparse_contrast = fixed(contrast, r::sparse);
  return {{
      {fixed(statement, r::base), build_up, build_up},            // introduction
      {generic(statement), answered, generic(restatement)},       // exposition
      {generic(restatement), answered, build_up},                 // instrumental_restatement
      {generic(statement), answered, generic(development)},       // first_development
      {generic(restatement), generic(development), build_up},     // main_climax
      {generic(restatement), answered, released},                 // recapitulation
      {released, released, released},                             // coda
      {generic(restatement), build_up, fixed(climax, r::build)},  // restatement_local_climax
      {sparse_contrast, sparse_contrast, sparse_contrast},        // sparse_interlude
      {build_up, closing, closing},                               // retransition
  }};
}

phrase_rhythm_intent generic_rhythm(phrase_function function, std::int32_t index) {
  if (index % 4 == 1) return phrase_rhythm_intent::response;
  if (index % 4 == 2 || function == phrase_function::development) {
    return phrase_rhythm_intent::variation;
  }
  return phrase_rhythm_intent::base;
}

electric_stab_intent stab_intent_for(phrase_rhythm_intent rhythm) {
  using enum phrase_rhythm_intent;
  switch (rhythm) {
    case variation:
    case sparse: return electric_stab_intent::sparse_support;
    case response: return electric_stab_intent::late_answer;
    case build: return electric_stab_intent::anticipation;
    case cadence: return electric_stab_intent::cadence;
    default: return electric_stab_intent::establish;
  }
}

// A sparse interlude with nothing in the foreground leaves the electric stabs silent.
electric_stab_intent sparse_interlude_stabs(foreground_model foreground) {
  return foreground == foreground_model::none ? electric_stab_intent::intentional_silence
                                              : electric_stab_intent::sparse_support;
}

struct phrase_decision {
  phrase_function function = phrase_function::statement;
  phrase_rhythm_intent rhythm = phrase_rhythm_intent::base;
  electric_stab_intent stabs = electric_stab_intent::establish;
  bool climax = false;
};

constexpr phrase_decision climax_decision() {
  return {phrase_function::climax, phrase_rhythm_intent::build, electric_stab_intent::anticipation,
          true};
}

phrase_decision decide_phrase(section_function function, bool main_climax,
                              foreground_model foreground, std::int32_t index, std::int32_t count) {
  if (index == count - 1) {
    if (main_climax) return climax_decision();
    return {phrase_function::cadence, phrase_rhythm_intent::cadence, electric_stab_intent::cadence,
            false};
  }
  const auto row = phrase_choices()[static_cast<std::size_t>(function)];
  const auto& choice = index == 0 ? row.first : index == 1 ? row.second : row.later;
  const auto rhythm =
      choice.rule == rhythm_rule::generic ? generic_rhythm(choice.function, index) : choice.rhythm;
  const auto stabs = function == section_function::sparse_interlude
                         ? sparse_interlude_stabs(foreground)
                         : stab_intent_for(rhythm);
  return {choice.function, rhythm, stabs, false};
}

phrase_decision decide_lone_phrase(const section_plan& plan, foreground_model foreground) {
  if (plan.main_climax) return climax_decision();
  if (plan.function == section_function::sparse_interlude) {
    return {phrase_function::statement, phrase_rhythm_intent::sparse,
            sparse_interlude_stabs(foreground), false};
  }
  return {};
}

// Phrase plans

// Where a section lies in the source and in the arrangement.
struct section_frame {
  std::int64_t source_start = 0;  // s0
  std::int64_t source_end = 0;    // s1
  std::int64_t offset = 0;

  std::int64_t arranged(std::int64_t source_tick) const {
    return source_tick - source_start + offset;
  }
};

bool overlaps(const tick_range& range, std::int64_t start, std::int64_t end) {
  return range.start < end && start < range.end;
}

std::vector<tick_range> response_windows_for(const arrangement_analysis& analysis,
                                             const source_phrase& phrase,
                                             const section_frame& frame) {
  std::vector<tick_range> windows;
  for (const auto& window : analysis.windows) {
    if (!window.response_window) continue;
    if (!overlaps(window.range, phrase.range.start, phrase.range.end)) continue;
    if (!overlaps(window.range, frame.source_start, frame.source_end)) continue;
    const auto low = std::max({phrase.range.start, frame.source_start, window.range.start});
    const auto high = std::min({phrase.range.end, frame.source_end, window.range.end});
    if (low < high) windows.push_back({frame.arranged(low), frame.arranged(high)});
  }
  return windows;
}

void apply_decision(phrase_instance_plan& phrase, const phrase_decision& decision) {
  phrase.function = decision.function;
  phrase.rhythm_intent = decision.rhythm;
  phrase.electric_intent = decision.stabs;
  phrase.climax = decision.climax;
  phrase.theme_transform = theme_transform_for_phrase(decision.function);
}

phrase_instance_plan plan_source_phrase(const arrangement_analysis& analysis,
                                        const source_phrase& source, const section_plan& section,
                                        foreground_model foreground, const section_frame& frame,
                                        std::int32_t index, std::int32_t count) {
  phrase_instance_plan phrase;
  phrase.source_phrase = source.id;
  phrase.section_type = section.type;
  phrase.index = index;
  phrase.range = {frame.arranged(std::max(source.range.start, frame.source_start)),
                  frame.arranged(std::min(source.range.end, frame.source_end))};
  apply_decision(phrase,
                 decide_phrase(section.function, section.main_climax, foreground, index, count));
  phrase.foreground = foreground;
  if (foreground == foreground_model::exact_source) {
    phrase.response_windows = response_windows_for(analysis, source, frame);
  }
  if (!source.theme_ids.empty()) phrase.theme = source.theme_ids.front();
  const auto section_density = mean(section.density);
  phrase.intensity = clamp_level(section_density + 0.02 * index);
  phrase.density = phrase.function == phrase_function::cadence ? clamp_level(section_density + 0.15)
                                                               : clamp_level(section_density);
  if (phrase.function == phrase_function::climax) {
    phrase.register_low = 57;
    phrase.register_high = 76;
  }
  return phrase;
}

phrase_instance_plan plan_lone_phrase(const source_score& source, const section_plan& section,
                                      foreground_model foreground, const section_frame& frame) {
  phrase_instance_plan phrase;
  phrase.source_phrase =
      source_phrase_id_at(section.section.first_measure, body_start_measure_index(source));
  phrase.section_type = section.type;
  phrase.index = 0;
  phrase.range = {frame.offset, frame.arranged(frame.source_end)};
  apply_decision(phrase, decide_lone_phrase(section, foreground));
  phrase.foreground = foreground;
  phrase.intensity = mean(section.density);
  phrase.density = phrase.intensity;
  return phrase;
}

section_plan plan_section(const source_score& source, const arrangement_analysis& analysis,
                          const full_arrangement_section& section, bool include_solo,
                          std::int64_t offset) {
  section_plan plan;
  plan.type = stable_section_type(section);
  plan.section = section;
  const auto shape = shape_for(plan.type, include_solo);
  plan.function = shape.function;
  plan.energy = shape.energy;
  plan.main_climax = shape.main_climax;
  plan.intensity = scaled(plan.energy, intensity_factor(plan.function));
  plan.density = scaled(plan.energy, 0.82);
  const auto foreground = foreground_for(plan.type, include_solo);

  const section_frame frame{
      source_measure_start(source, section.first_measure),
      source_measure_end(source, section.first_measure + section.measure_count - 1), offset};
  std::vector<const source_phrase*> selected;
  for (const auto& phrase : analysis.phrases) {
    if (overlaps(phrase.range, frame.source_start, frame.source_end)) selected.push_back(&phrase);
  }
  if (selected.empty()) {
    plan.phrases.push_back(plan_lone_phrase(source, plan, foreground, frame));
    return plan;
  }
  const auto count = static_cast<std::int32_t>(selected.size());
  for (std::int32_t index = 0; index < count; ++index) {
    plan.phrases.push_back(plan_source_phrase(analysis, *selected[static_cast<std::size_t>(index)],
                                              plan, foreground, frame, index, count));
  }
  return plan;
}

// Trace text

void append_line(std::string& text, std::string_view label, std::string_view value) {
  text += label;
  text += value;
  text += '\n';
}

template <typename integer>
std::string decimal(integer value) {
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

// Fixed notation with two decimals, independent of the process locale.
std::string two_decimals(double value) {
  std::array<char, 352> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 2);
  if (result.ec != std::errc()) return "0.00";
  return std::string(buffer.data(), result.ptr);
}

std::string_view boolean(bool value) { return value ? "true" : "false"; }

// The middle is printed only when it differs from the end, compared before rounding.
std::string contour_text(const level_contour& contour) {
  auto text = two_decimals(contour.start) + " -> ";
  if (contour.middle != contour.end) text += two_decimals(contour.middle) + " -> ";
  return text + two_decimals(contour.end);
}

void append_phrase_trace(std::string& text, const phrase_debug_trace& phrase) {
  append_line(text, "  PHRASE ", decimal(phrase.phrase_index));
  append_line(text, "  source_phrase: ", decimal(phrase.source_phrase));
  append_line(text, "  function: ", to_string(phrase.function));
  append_line(text, "  foreground: ", to_string(phrase.foreground));
  append_line(text, "  planned_intent: ", to_string(phrase.planned_intent));
  append_line(text, "  electric_intent: ", to_string(phrase.electric_intent));
  append_line(text, "  resolved_cell: ", phrase.resolved_cell);
  if (!phrase.acoustic_reference_cell.empty()) {
    append_line(text, "  acoustic_reference_cell: ", phrase.acoustic_reference_cell);
  }
  append_line(text, "  events: ", decimal(phrase.events));
  append_line(text, "  stabs: ", decimal(phrase.stabs));
  append_line(text, "  optional_events: ", decimal(phrase.optional_events));
  append_line(text, "  response_window_hits: ", decimal(phrase.response_window_hits));
  append_line(text, "  acoustic_overlaps: ", decimal(phrase.acoustic_overlaps));
  append_line(text, "  acoustic_responses: ", decimal(phrase.acoustic_responses));
  append_line(text, "  fallback: ", to_string(phrase.fallback));
  if (!phrase.fallback_reason.empty()) {
    append_line(text, "  fallback_reason: ", phrase.fallback_reason);
  }
}

void append_section_trace(std::string& text, const section_debug_trace& section) {
  append_line(text, "SECTION: ", to_string(section.type));
  append_line(text, "function: ", to_string(section.function));
  append_line(text, "role: ", decimal(section.role));
  append_line(text, "energy: ", contour_text(section.energy));
  append_line(text, "density: ", contour_text(section.density));
  append_line(text, "main_climax: ", boolean(section.main_climax));
  for (const auto& phrase : section.phrases) append_phrase_trace(text, phrase);
}

}  // namespace

std::string_view to_string(section_function value) {
  return table_text(section_function_texts(), value);
}

std::string_view to_string(phrase_function value) {
  return table_text(phrase_function_texts(), value);
}

std::string_view to_string(phrase_rhythm_intent value) {
  return table_text(rhythm_intent_texts(), value);
}

std::string_view to_string(electric_stab_intent value) {
  return table_text(stab_intent_texts(), value);
}

std::string_view to_string(foreground_model value) { return table_text(foreground_texts(), value); }

std::string_view to_string(phrase_fallback_result value) {
  return table_text(fallback_texts(), value);
}

std::string_view to_string(arrangement_section_type value) {
  const auto index = static_cast<std::int64_t>(value);
  const auto& texts = section_type_texts();
  if (index < 0 || index >= static_cast<std::int64_t>(texts.size())) return texts.back();
  return texts[static_cast<std::size_t>(index)];
}

arrangement_section_type stable_section_type(const full_arrangement_section& section) {
  if (section.type > 6) return arrangement_section_type::ending;
  return static_cast<arrangement_section_type>(section.type);
}

std::string style_profile_id(const arrangement_style_profile& profile) {
  std::string id;
  const auto family = static_cast<std::int64_t>(profile.family);
  const auto& names = style_family_names();
  if (family >= 0 && family < static_cast<std::int64_t>(names.size())) {
    id = names[static_cast<std::size_t>(family)];
  }
  id += profile.fast ? ":fast" : ":medium";
  if (profile.slow) id += ":slow";
  id += ':';
  id += decimal(profile.tempo);
  return id;
}

std::uint64_t arrangement_decision_key(const arrangement_plan& plan, arrangement_section_type type,
                                       source_phrase_id phrase, std::int32_t value,
                                       std::string_view text) {
  auto key = fnv1a_64_text(plan.plan_key, to_string(type));
  key = fnv1a_64_int64(key, phrase);
  key = fnv1a_64_int64(key, value);
  return fnv1a_64_text(key, text);
}

const source_phrase* source_phrase_for_tick(const arrangement_analysis& analysis,
                                            std::int64_t tick) {
  for (const auto& phrase : analysis.phrases) {
    if (tick_in_range(phrase.range, tick)) return &phrase;
  }
  return nullptr;
}

const phrase_instance_plan* phrase_plan_for_tick(const section_plan& plan, std::int64_t tick) {
  for (const auto& phrase : plan.phrases) {
    if (tick_in_range(phrase.range, tick)) return &phrase;
  }
  return nullptr;
}

arrangement_plan build_arrangement_plan(const source_score& source,
                                        const arrangement_analysis& analysis,
                                        const std::vector<full_arrangement_section>& sections,
                                        const arrangement_style_profile& profile,
                                        bool include_solo) {
  arrangement_plan plan;
  plan.plan_key = plan_key_for(analysis.source_fingerprint, profile, include_solo);
  plan.source_fingerprint = analysis.source_fingerprint;
  plan.version = 1;
  plan.include_solo = include_solo;
  std::int64_t offset = 0;
  for (const auto& section : sections) {
    // A section without source measures has no span to plan; the form never builds one.
    if (!measure_run_fits(source, section.first_measure, section.measure_count)) continue;
    plan.sections.push_back(plan_section(source, analysis, section, include_solo, offset));
    offset += source_section_duration(source, section.first_measure, section.measure_count);
  }
  return plan;
}

part_realization_plan specialize_for_part(const arrangement_plan& plan,
                                          arrangement_part_type part) {
  part_realization_plan realization{part, plan, plan.sections};
  for (auto& section : realization.sections) {
    section.section.role = section_role(part, section.section.type, plan.include_solo);
  }
  return realization;
}

section_debug_trace section_trace_of(const section_plan& plan) {
  section_debug_trace trace;
  trace.type = plan.type;
  trace.function = plan.function;
  trace.role = static_cast<std::int32_t>(plan.section.role);
  trace.energy = plan.energy;
  trace.density = plan.density;
  trace.main_climax = plan.main_climax;
  trace.phrases.reserve(plan.phrases.size());
  for (const auto& phrase : plan.phrases) {
    phrase_debug_trace phrase_trace;
    phrase_trace.section_type = plan.type;
    phrase_trace.source_phrase = phrase.source_phrase;
    phrase_trace.phrase_section_type = phrase.section_type;
    phrase_trace.phrase_index = phrase.index;
    phrase_trace.function = phrase.function;
    phrase_trace.planned_intent = phrase.rhythm_intent;
    phrase_trace.electric_intent = phrase.electric_intent;
    phrase_trace.foreground = phrase.foreground;
    trace.phrases.push_back(std::move(phrase_trace));
  }
  return trace;
}

std::string format_arrangement_debug_trace(const arrangement_debug_trace& trace) {
  std::string text;
  append_line(text, "plan_key: ", decimal(trace.plan_key));
  append_line(text, "source_fingerprint: ", decimal(trace.source_fingerprint));
  append_line(text, "include_solo: ", boolean(trace.include_solo));
  for (const auto& section : trace.sections) append_section_trace(text, section);
  return text;
}

}  // namespace orvanta::arrangement_detail
