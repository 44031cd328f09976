#pragma once
// The user-visible texts of the driver's stream failure codes.
#include <string>

#include "device/Status.h"

namespace qel::cpl {

// The text of a failure code, or "" for a code without one.
const char* statusMessage(Status code);
// "Error code 0xE0000073: Bandwidth allocation failed."; an unknown code keeps
// the colon and the blank with nothing after them.
std::string statusLine(Status code);

}  // namespace qel::cpl
