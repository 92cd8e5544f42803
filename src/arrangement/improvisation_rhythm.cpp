#include "arrangement/improvisation_rhythm.hpp"

namespace orvanta::arrangement_detail::improvisation_detail {

std::optional<std::int64_t> quantized_gesture_duration(std::int64_t) { return std::nullopt; }

std::int64_t snap_to_eighth(const source_score&, std::int64_t tick, std::int64_t) { return tick; }

int gesture_priority(const melody_gesture& gesture) { return gesture.weight; }

void add_gesture(std::vector<melody_gesture>&, const source_score&, const phrase_analysis&,
                 melody_gesture) {}

int phrase_arch_offset(const improvisation_config&, const phrase_analysis&, std::int64_t) {
  return 0;
}

int desired_midi_for_gesture(const improvisation_config& config, const phrase_analysis&, int,
                             std::int64_t, gesture_role) {
  return config.center_midi;
}

std::int64_t displaced_landmark_start(const source_score&, const improvisation_config&,
                                      const phrase_analysis&, const source_landmark& landmark,
                                      phrase_function, std::int64_t, std::size_t, int) {
  return landmark.start_tick;
}

std::vector<melody_gesture> normalize_gestures(const source_score&, const phrase_analysis&,
                                               std::vector<melody_gesture> gestures) {
  return gestures;
}

std::vector<fill_cell_note> fill_cell_for(const improvisation_config&, phrase_function, int) {
  return {};
}

std::vector<continuation_cell_note> continuation_cell_for(const improvisation_config&,
                                                          phrase_function, phrase_transform,
                                                          std::int64_t, int) {
  return {};
}

std::vector<fallback_cell_note> fallback_cell_for(const improvisation_config&, phrase_function,
                                                  bool, int) {
  return {};
}

phrase_transform phrase_transform_for(const improvisation_config&, phrase_function, int) {
  return phrase_transform::literal;
}

std::vector<melody_gesture> fallback_gestures(const source_score&, const arrangement_style_profile&,
                                              const std::vector<chord_occurrence>&,
                                              const improvisation_config&, const phrase_analysis&,
                                              int) {
  return {};
}

std::vector<melody_gesture> build_melody_gestures(const source_score&,
                                                  const arrangement_style_profile&,
                                                  const std::vector<chord_occurrence>&,
                                                  const improvisation_config&,
                                                  const phrase_analysis&, int) {
  return {};
}

}  // namespace orvanta::arrangement_detail::improvisation_detail
