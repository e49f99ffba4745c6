// The `show --json` document of a sequence record, written as it is built.
#pragma once

#include <ostream>

#include "model/sequence.h"

// Writes the record as one JSON object (no newline after it), byte for byte what nlohmann's dump()
// of the same document built in memory gives: keys in the documented order, floats as nlohmann
// writes the double they widen to, NaN and infinities as null, names as UTF-8. Nothing reaches `out`
// before the names have been written to an internal buffer, so a name that cannot be written (which
// throws nlohmann::json::type_error) leaves `out` untouched.
void WriteSequenceJson(std::ostream& out, const TSequence& seq);
