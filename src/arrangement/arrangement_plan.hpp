// The arrangement plan: before any guitar event is generated, every section of the form gets a
// function (introduction, exposition, climax...), energy and density contours between 0 and 1, and
// every source phrase inside it a phrase function with the intents of the acoustic comping and of
// the electric stabs. Phrase ranges are in arrangement ticks: the sections laid end to end from 0.
#pragma once

#include "arrangement/arrangement_analysis.hpp"
#include "arrangement/form.hpp"
#include "arrangement/source.hpp"
#include "arrangement_types.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::arrangement_detail {

// Plan vocabulary. Every enumerator's name is its text (to_string); a value outside a table
// prints the table's first text.

// What a section does in the form.
enum class section_function : std::int32_t {
  introduction = 0,
  exposition = 1,
  instrumental_restatement = 2,
  first_development = 3,
  main_climax = 4,
  recapitulation = 5,
  coda = 6,
  restatement_local_climax = 7,
  sparse_interlude = 8,
  retransition = 9,
};

// What a phrase does inside its section.
enum class phrase_function : std::int32_t {
  statement = 0,
  answer = 1,
  restatement = 2,
  development = 3,
  contrast = 4,
  build = 5,
  climax = 6,
  release = 7,
  cadence = 8,
};

// How the acoustic comping chooses and filters its pattern in a phrase.
enum class phrase_rhythm_intent : std::int32_t {
  base = 0,
  variation = 1,
  sparse = 2,
  response = 3,
  build = 4,
  cadence = 5,
};

// How the electric stabs are placed in a phrase.
enum class electric_stab_intent : std::int32_t {
  establish = 0,
  sparse_support = 1,
  late_answer = 2,
  anticipation = 3,
  cadence = 4,
  intentional_silence = 5,
};

// How the melody in the foreground of a section is treated; the plan never assigns
// plan_constrained.
enum class foreground_model : std::int32_t {
  none = 0,
  exact_source = 1,
  planned_but_not_enforced = 2,
  plan_constrained = 3,
};

// How the electric comping's phrase coverage stab turned out; recorded only in the debug trace.
enum class phrase_fallback_result : std::int32_t {
  not_needed = 0,
  coverage_stab_inserted = 1,
  intentional_silence = 2,
  no_legal_candidate = 3,
};

// Plan records

// A level at the start, in the middle and at the end of a section, each 0 to 1.
struct level_contour {
  double start = 0.0;
  double middle = 0.0;
  double end = 0.0;

  bool operator==(const level_contour&) const = default;
};

// One source phrase as played in one section: its clipped range and response windows in
// arrangement ticks, its function and intents, and its targets. `register_low`/`register_high`
// bound the phrase's register in MIDI numbers; `climax` marks the arrangement's main climax.
struct phrase_instance_plan {
  source_phrase_id source_phrase = 0;
  arrangement_section_type section_type = arrangement_section_type::rhythm_lead_in;
  std::int32_t index = 0;
  tick_range range;
  phrase_function function = phrase_function::statement;
  phrase_rhythm_intent rhythm_intent = phrase_rhythm_intent::base;
  electric_stab_intent electric_intent = electric_stab_intent::establish;
  foreground_model foreground = foreground_model::none;
  std::vector<tick_range> response_windows;
  std::optional<theme_id> theme;
  std::string theme_transform;
  double intensity = 0.0;
  double density = 0.0;
  std::int32_t register_low = 52;
  std::int32_t register_high = 72;
  bool climax = false;

  bool operator==(const phrase_instance_plan&) const = default;
};

// One planned section: a copy of the form's section (whose role the part specialisation sets),
// its function, contours, main-climax flag and its phrase plans in time order (never empty).
struct section_plan {
  arrangement_section_type type = arrangement_section_type::rhythm_lead_in;
  full_arrangement_section section;
  section_function function = section_function::introduction;
  level_contour energy;
  level_contour intensity;
  level_contour density;
  bool main_climax = false;
  std::vector<phrase_instance_plan> phrases;

  bool operator==(const section_plan&) const = default;
};

// The plan of one arrangement; its key descends from the source fingerprint, the style profile
// and the solo flag, and seeds every decision key.
struct arrangement_plan {
  std::uint64_t plan_key = 0;
  std::uint64_t source_fingerprint = 0;
  std::int32_t version = 1;
  bool include_solo = false;
  std::vector<section_plan> sections;

  bool operator==(const arrangement_plan&) const = default;
};

// The plan for one part type: the plan as built (electric roles) and a copy of its sections with
// the roles of `part`, the list the generation walks.
struct part_realization_plan {
  arrangement_part_type part = arrangement_part_type::electric;
  arrangement_plan plan;
  std::vector<section_plan> sections;

  bool operator==(const part_realization_plan&) const = default;
};

// Debug trace records: what the plan decided for each section and phrase, and what the comping
// then did there. Filled only when a caller hands a trace to the section driver.

// One phrase plan and the comping's record of it; `phrase_index` is the key by which the comping
// finds it. The counters count events overlapping the phrase's range.
struct phrase_debug_trace {
  arrangement_section_type section_type = arrangement_section_type::rhythm_lead_in;
  source_phrase_id source_phrase = 0;
  arrangement_section_type phrase_section_type = arrangement_section_type::rhythm_lead_in;
  std::int32_t phrase_index = 0;
  phrase_function function = phrase_function::statement;
  phrase_rhythm_intent planned_intent = phrase_rhythm_intent::base;
  electric_stab_intent electric_intent = electric_stab_intent::establish;
  foreground_model foreground = foreground_model::none;
  std::string resolved_cell;
  std::string acoustic_reference_cell;
  std::uint64_t events = 0;
  std::uint64_t stabs = 0;
  std::uint64_t optional_events = 0;
  std::uint64_t response_window_hits = 0;
  std::uint64_t acoustic_overlaps = 0;
  std::uint64_t acoustic_responses = 0;
  phrase_fallback_result fallback = phrase_fallback_result::not_needed;
  std::string fallback_reason;

  bool operator==(const phrase_debug_trace&) const = default;
};

// One generated section: its plan's type, function, contours and climax flag, the role it was
// generated with (a full_arrangement_section_role value) and one record per phrase plan.
struct section_debug_trace {
  arrangement_section_type type = arrangement_section_type::rhythm_lead_in;
  section_function function = section_function::introduction;
  std::int32_t role = 0;
  level_contour energy;
  level_contour density;
  bool main_climax = false;
  std::vector<phrase_debug_trace> phrases;

  bool operator==(const section_debug_trace&) const = default;
};

// One arrangement run: the plan's identity and one record per section generated, in plan order.
struct arrangement_debug_trace {
  std::uint64_t plan_key = 0;
  std::uint64_t source_fingerprint = 0;
  bool include_solo = false;
  std::vector<section_debug_trace> sections;

  bool operator==(const arrangement_debug_trace&) const = default;
};

// Vocabulary texts: the fixed text of the value, or of the table's first row for a value outside
// it (for section types, "ending" for every value above 5).

std::string_view to_string(section_function value);
std::string_view to_string(phrase_function value);
std::string_view to_string(phrase_rhythm_intent value);
std::string_view to_string(electric_stab_intent value);
std::string_view to_string(foreground_model value);
std::string_view to_string(phrase_fallback_result value);
std::string_view to_string(arrangement_section_type value);

// Keys and lookups

// The section's type number as a section type; every number above 6 is ending.
arrangement_section_type stable_section_type(const full_arrangement_section& section);

// The style profile as it enters the plan key: family name, ":fast" or ":medium", ":slow" when
// slow, ":" and the tempo (e.g. "ballad:medium:slow:60"); an unknown family names nothing.
std::string style_profile_id(const arrangement_style_profile& profile);

// A 64-bit key for one decision about one phrase: FNV-1a 64 seeded with the plan key over the
// section type's text, 0xff, the phrase id and the value (eight bytes each), the text and 0xff.
std::uint64_t arrangement_decision_key(const arrangement_plan& plan, arrangement_section_type type,
                                       source_phrase_id phrase, std::int32_t value,
                                       std::string_view text);

// The first source phrase of the analysis whose range holds the tick; null when none does. The
// pointer points into `analysis`.
const source_phrase* source_phrase_for_tick(const arrangement_analysis& analysis,
                                            std::int64_t tick);
const source_phrase* source_phrase_for_tick(const arrangement_analysis&& analysis,
                                            std::int64_t tick) = delete;

// The first phrase plan of the section whose range holds the tick; null when none does. The
// pointer points into `plan`.
const phrase_instance_plan* phrase_plan_for_tick(const section_plan& plan, std::int64_t tick);
const phrase_instance_plan* phrase_plan_for_tick(const section_plan&& plan,
                                                 std::int64_t tick) = delete;

// Building the plan

// The plan of the sections in their order: one section plan per section holding measures of the
// source (an empty section, or one that leaves the measure list, is skipped), with one phrase plan
// per source phrase overlapping it, ranges in arrangement ticks. Never fails.
arrangement_plan build_arrangement_plan(const source_score& source,
                                        const arrangement_analysis& analysis,
                                        const std::vector<full_arrangement_section>& sections,
                                        const arrangement_style_profile& profile,
                                        bool include_solo);

// The plan for a part type: the plan copied whole, and its sections once more with every
// section's role set for the part. Never fails.
part_realization_plan specialize_for_part(const arrangement_plan& plan, arrangement_part_type part);

// Debug trace

// The record of a section before its generation writes into it: the plan's type, function, role,
// contours and climax flag, and one phrase record per phrase plan carrying the plan's decisions,
// its texts empty and its counters 0.
section_debug_trace section_trace_of(const section_plan& plan);

// The trace as lines: the plan's key, fingerprint and solo flag, then every section and its
// phrases; numbers of the contours with two decimals whatever the locale.
std::string format_arrangement_debug_trace(const arrangement_debug_trace& trace);

}  // namespace orvanta::arrangement_detail
