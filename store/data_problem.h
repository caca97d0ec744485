// What the data check finds: each kind of problem, with its count and first rows. Below the check
// and the pieces of it, which all fill it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct DataProblem {
  std::string title;                  // what is wrong, such as "students without intake"
  std::string titleOfOne;             // the same of one, such as "student without intake"
  long count = 0;                     // rows (or IDs, intakes) with the problem
  std::vector<std::string> examples;  // the first few of them, with the stored texts
};

struct DataCheck {
  std::vector<DataProblem> problems;  // every kind checked, in the report's order
  long problemCount() const;          // the rows of all kinds together
};

// How many examples each problem keeps.
constexpr std::size_t kDataCheckExamples = 5;
