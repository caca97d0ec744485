// The check of a database's own data for what would spoil letters or screens: students without
// intake, IDs stored twice, intakes spelt several ways, IDs and intakes that cannot be typed,
// results that point nowhere, marks out of range, texts cut to the records' capacities.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "store/tables/source_tables.h"

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

// How the source holds its intakes, before the tree cuts them: what the jobs need to find an
// intake as the office spells it.
struct IntakeSpellings {
  bool ignoresCase = false;            // the Intake column compares without regard to case
  bool ignoresTrailingBlanks = false;  // ... or without its trailing blanks
  // The stored intakes longer than an intake code keeps, each with the student ID of its first
  // row: two of them may keep the same 15 characters, and that student tells their intakes apart.
  std::map<std::string, std::string> longTexts;
};

IntakeSpellings intakeSpellingsOf(const SourceTables& tables);

// The text as the source's Intake column compares it: two intakes are one when these are equal.
std::string comparedIntake(const std::string& text, const IntakeSpellings& spellings);

// How many examples each problem keeps.
constexpr std::size_t kDataCheckExamples = 5;

// Checks the tables as the source holds them, before any cut or fold of the loader.
DataCheck checkSourceTables(const SourceTables& tables);

// The report: "No problem found." or, for each kind with problems, its count and title (of one
// or of many) and then its first rows, indented. Stored texts appear as stored; the caller makes
// them safe for a terminal.
void writeDataCheck(const DataCheck& check, std::ostream& out);
