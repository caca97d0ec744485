// A count with its noun: "1 letter", "7 letters", "0 problems".
#pragma once

#include <string>

inline std::string plural(long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}
