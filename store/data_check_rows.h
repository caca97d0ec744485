// The pieces the data check's files share: a value as the loader reads it, and a problem's rows.
#pragma once

#include <cstddef>
#include <string>

#include "store/data_check.h"
#include "store/tables/sql_values.h"

// The value as the loader reads it, as the tree and the letters would hold it.
inline std::string textAt(const SourceColumn& column, std::size_t row) {
  char buffer[kNumberTextBytes];
  return std::string(valueText(column.at(row), buffer));
}

inline bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

inline std::size_t charactersIn(const std::string& text) {
  std::size_t chars = 0;
  for (unsigned char byte : text) {
    chars += (byte & 0xC0) == 0x80 ? 0 : 1;
  }
  return chars;
}

inline void add(DataProblem& problem, const std::string& example) {
  if (problem.examples.size() < kDataCheckExamples) {
    problem.examples.push_back(example);
  }
  ++problem.count;
}

inline std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

inline std::string plural(long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The problems of the intakes: those the prompt cannot take, those spelt more than one way, and
// those longer than an intake code keeps.
void checkIntakes(const SourceTable& student, DataCheck& check);
