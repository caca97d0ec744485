// Each student's standing: the results so far, the subjects left, and what each grade still needs,
// by the forecast's and the suggestion's own rules.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "analysis/csv_writer.h"
#include "store/tree/record_tree.h"

struct GradeNeed {
  bool reachable = false;  // the subjects left, at 100 each at most, can bring what is needed
  std::int64_t marks = 0;  // the suggestion's figure: 0 or less when the marks so far reach it
};

struct StudentStanding {
  int results = 0;        // subjects with marks
  int totalMarks = 0;     // their sum
  int subjectsLeft = 0;   // subjects without marks yet
  std::string average;    // of the marks so far, as the forecast writes an average; "-" for none
  std::string bestGrade;  // the best grade still reachable; "-" for a student without subjects
  GradeNeed pass, credit, distinction;
};

// The standing of one student, every subject left counted as the suggestion counts it when the
// operator leaves it open. False when memory ran out (reported already).
bool standingOf(const StudentRecord& student, StudentStanding& standing);

// Writes the byte-order mark, the heading row and one row per student of the tree, or of the one
// intake when only is not null. Returns the number of students, or -1 when memory ran out.
long writeStandingCsv(RecordTree tree, const IntakeRecord* only, std::ostream& out,
                      const CsvFormat& format = {});
