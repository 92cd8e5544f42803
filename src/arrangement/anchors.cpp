#include "arrangement/anchors.hpp"

#include <algorithm>

namespace orvanta::arrangement_detail {

bool messages_have_error(const std::vector<arrangement_message>& messages) {
  return std::any_of(messages.begin(), messages.end(),
                     [](const arrangement_message& message) { return message.level == "error"; });
}

bool renderable_arrangement_duration(std::int64_t ticks) {
  constexpr auto durations = renderable_durations();
  return std::find(durations.begin(), durations.end(), ticks) != durations.end();
}

std::optional<source_tuplet> tuplet_for_note(const source_score& score, const source_note& note) {
  if (note.tuplet_id.empty()) return std::nullopt;
  for (const auto& tuplet : score.tuplets) {
    if (tuplet.id == note.tuplet_id && tuplet.measure_index == note.measure_index) return tuplet;
  }
  return std::nullopt;
}

std::int64_t event_end_ticks(const arrangement_event& event) {
  return event.start_ticks + event.duration_ticks;
}

bool event_covers_tick(const arrangement_event& event, std::int64_t tick) {
  return event.start_ticks < tick && tick < event_end_ticks(event);
}

bool has_playable_arrangement_event(const std::vector<arrangement_event>& events) {
  return std::any_of(events.begin(), events.end(),
                     [](const arrangement_event& event) { return !event.positions.empty(); });
}

}  // namespace orvanta::arrangement_detail
