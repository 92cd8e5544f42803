// The score document's validation rules. Times are integer ticks, 4096 to the quarter note.
// A document is checked in one fixed depth-first walk; every finding names its node by a dotted
// path with zero-based array indexes ("staves.0.measures.3.voices.0.notes.12.pitches.0.letter").
#pragma once

#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace orvanta {

// One finding of the validator: where in the document, and what is wrong there.
struct validation_message {
  std::string level = "error";
  std::string path;
  std::string message;

  bool operator==(const validation_message&) const = default;
};

// Every finding of one validation, in the order of the walk; empty means the document is valid.
struct validation_result {
  std::vector<validation_message> messages;

  bool operator==(const validation_result&) const = default;
};

// Ticks one measure of an "N/D" time signature holds (N 1..32, D 1, 2, 4, 8, 16 or 32, at most
// 131072); 0 for any text that is not such a time signature.
std::int64_t measure_capacity_ticks(const std::string& time_signature);

// Every finding about a score document, in walk order; never throws for any JSON input.
validation_result validate_score_document(const boost::json::value& document);

// A small valid document: one vocal staff holding one 4/4 measure of four quarter rests.
boost::json::object default_score_document();

}  // namespace orvanta
