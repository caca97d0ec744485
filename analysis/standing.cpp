// Each student's standing, one CSV row a student.
#include "analysis/standing.h"

#include <vector>

#include "analysis/csv_writer.h"
#include "analysis/forecast.h"
#include "analysis/pending_subjects.h"
#include "analysis/suggestion.h"

namespace {

constexpr const char* kReached = "reached";
constexpr const char* kOpen = "open";
constexpr const char* kNotReachable = "not reachable";
constexpr const char* kNothing = "-";

GradeNeed needFor(char target, const PendingFigures& figures) {
  GradeNeed need;
  need.marks = marksNeededFor(target, figures.totalMarks, figures.subjectCount);
  need.reachable = isGradeReachable(need.marks, figures.pendingCount);
  return need;
}

// A grade's two cells: the marks still needed (0 once reached, never negative, so that the column
// sorts and filters as numbers) and its status. Both empty for a student without subjects.
void appendNeed(const StudentStanding& standing, const GradeNeed& need,
                std::vector<std::string>& cells) {
  if (standing.results + standing.subjectsLeft == 0) {
    cells.insert(cells.end(), {"", ""});
    return;
  }
  cells.push_back(std::to_string(need.marks > 0 ? need.marks : 0));
  cells.push_back(need.marks <= 0 ? kReached : (need.reachable ? kOpen : kNotReachable));
}

}  // namespace

bool standingOf(const StudentRecord& student, StudentStanding& standing) {
  PendingFigures figures;
  if (!collectPendingSubjects(student, figures)) {
    return false;
  }
  PendingSubjectsGuard guard(figures);
  standing = StudentStanding{};
  standing.results = figures.subjectCount - figures.pendingCount;
  standing.totalMarks = figures.totalMarks;
  standing.subjectsLeft = figures.pendingCount;
  standing.average =
      standing.results == 0 ? kNothing : formatAverage(figures.totalMarks, standing.results);
  standing.pass = needFor('C', figures);
  standing.credit = needFor('B', figures);
  standing.distinction = needFor('A', figures);
  if (figures.subjectCount == 0) {
    standing.bestGrade = kNothing;
  } else if (standing.distinction.reachable) {
    standing.bestGrade = "Distinction";
  } else if (standing.credit.reachable) {
    standing.bestGrade = "Credit";
  } else if (standing.pass.reachable) {
    standing.bestGrade = "Pass";
  } else {
    standing.bestGrade = "Fail";
  }
  return true;
}

long writeStandingCsv(RecordTree tree, const IntakeRecord* only, std::ostream& out,
                      const CsvFormat& format) {
  out << kUtf8ByteOrderMark;
  writeCsvRow({"Student ID", "Name", "Intake", "Results", "Total Marks", "Average", "Subjects Left",
               "Best Grade Reachable", "Pass Needs", "Pass", "Credit Needs", "Credit",
               "Distinction Needs", "Distinction"},
              out, format);
  long students = 0;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (only != nullptr && intake != only) {
      continue;
    }
    for (const StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      StudentStanding standing;
      if (!standingOf(*student, standing)) {
        return -1;
      }
      std::vector<std::string> cells = {
          csvTextCell(student->studentId),       csvTextCell(student->name),
          csvTextCell(student->intake),          std::to_string(standing.results),
          std::to_string(standing.totalMarks),   csvNumber(standing.average, format),
          std::to_string(standing.subjectsLeft), standing.bestGrade};
      for (const GradeNeed* need : {&standing.pass, &standing.credit, &standing.distinction}) {
        appendNeed(standing, *need, cells);
      }
      writeCsvRow(cells, out, format);
      ++students;
    }
  }
  return students;
}
