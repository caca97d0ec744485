// The pieces the data check's files share: a value as the loader reads it, and a problem's rows.
#pragma once

#include <cstddef>
#include <string>

#include "store/data_problem.h"
#include "store/tables/sql_values.h"
#include "util/plural.h"
#include "util/utf16_text.h"

// The value as the loader reads it, as the tree and the letters would hold it.
inline std::string textAt(const SourceColumn& column, std::size_t row) {
  char buffer[kNumberTextBytes];
  return std::string(valueText(column.at(row), buffer));
}

inline bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
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
