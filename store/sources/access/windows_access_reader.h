// The Access reader on Windows: what it makes of a driver's refusal.
#pragma once

#include <string>

// What the program says of a file that a driver opened and then failed to read, from the driver's
// reason: a missing table or column as it is; anything else is "the Access file is damaged
// (...)", the reason inside the brackets without the driver's vendor tags and cut to a line.
std::string accessRefusal(const std::string& driverReason);
