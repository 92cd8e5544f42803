// Chord grips as candidates: one way of playing a chord, a chord fragment or a single note (its
// tab positions) with its cost, lower being better. Producers collect candidates into a list
// through one insertion rule that keeps no two entries for the same note and the same fingered
// positions, then order the list by score once it is complete.
#pragma once

#include "arrangement/fretboard.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta::arrangement_detail {

// One grip with its cost; `note_index` is the source note it serves (-1 for none), and the flags
// tell whether that note's melody pitch is the grip's top note and whether the grip sounds it.
struct grip_candidate {
  std::vector<tab_position> positions;
  std::string label;
  int score = 0;
  std::int64_t note_index = -1;
  bool melody_on_top = false;
  bool contains_melody = false;

  bool operator==(const grip_candidate&) const = default;
};

// Adds the candidate, its positions ordered by pitch, unless an entry serves the same note with
// the same positions (fingers included); such an entry is replaced whole, in its place, only by a
// strictly cheaper candidate.
void add_unique_candidate(std::vector<grip_candidate>& candidates, grip_candidate candidate);

// Orders the list by ascending score; candidates of equal score keep their order.
void sort_candidates_by_score(std::vector<grip_candidate>& candidates);

}  // namespace orvanta::arrangement_detail
