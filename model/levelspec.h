// Level lists as typed by a user: "1-6", "1,2,5", "1-3,8" (levels 1 to 32).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The level mask of a list; throws std::invalid_argument naming `what` on a malformed list.
int32_t ParseLevelSpec(const std::string& text, const std::string& what);
// The shortest list of ranges for a mask ("1-3,8"); "" for an empty mask.
std::string LevelSpecText(int32_t mask);
