#include "arrangement/voicing.hpp"

#include <algorithm>
#include <utility>

namespace orvanta::arrangement_detail {

void add_unique_candidate(std::vector<grip_candidate>& candidates, grip_candidate candidate) {
  sort_by_ascending_key(candidate.positions,
                        [](const tab_position& position) { return position.midi; });
  const auto duplicate =
      std::find_if(candidates.begin(), candidates.end(), [&](const grip_candidate& entry) {
        return entry.note_index == candidate.note_index &&
               same_fingered_positions(entry.positions, candidate.positions);
      });
  if (duplicate == candidates.end()) {
    candidates.push_back(std::move(candidate));
  } else if (candidate.score < duplicate->score) {
    *duplicate = std::move(candidate);
  }
}

void sort_candidates_by_score(std::vector<grip_candidate>& candidates) {
  sort_by_ascending_key(candidates,
                        [](const grip_candidate& candidate) { return candidate.score; });
}

}  // namespace orvanta::arrangement_detail
