// The check of a database's own data for what would spoil letters or screens: students no letter
// reaches, IDs and intakes that cannot be typed, results that point nowhere, marks out of range,
// texts cut to the records' capacities.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "store/tables/source_tables.h"

struct DataProblem {
  std::string title;                  // what is wrong, such as "students without intake"
  long count = 0;                     // rows (or IDs, intakes) with the problem
  std::vector<std::string> examples;  // the first few of them, with the stored texts
};

struct DataCheck {
  std::vector<DataProblem> problems;  // every kind checked, in the report's order
  long problemCount() const;          // the rows of all kinds together
};

// How many examples each problem keeps.
constexpr std::size_t kDataCheckExamples = 5;

// Checks the tables as the source holds them, before any cut or fold of the loader.
DataCheck checkSourceTables(const SourceTables& tables);

// The report: "No problem found." or, for each kind with problems, its count and title and
// then its first rows, indented. Stored texts appear as stored; the caller makes them safe for a
// terminal.
void writeDataCheck(const DataCheck& check, std::ostream& out);
