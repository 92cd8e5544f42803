// The arrangement engine's one entry: a validated score document in, the same document with an
// arranged guitar (or vocal) staff and the style's tempo out, with the engine's messages. The
// arrangement always plays the seven sections of the form over the source staff's measures.
#pragma once

#include "arrangement_types.hpp"

#include <boost/json/value.hpp>

namespace orvanta {

// The document with the arranged staff of the part added (any earlier arranged staff removed)
// and "metadata"."tempo" set from the style, and the engine's warnings; on any message of level
// "error" the document unchanged with every message collected. Never throws of its own and never
// changes `document`.
arrangement_result arrange_guitar_score(const boost::json::value& document,
                                        arrangement_part_type part_type,
                                        arrangement_options options);

}  // namespace orvanta
