// Each student's standing, one CSV row a student.
#include "analysis/standing.h"

#include <vector>

#include "analysis/csv_writer.h"
#include "analysis/forecast.h"
#include "analysis/pending_subjects.h"
#include "analysis/suggestion.h"

namespace {

constexpr const char* kNotReachable = "not reachable";
constexpr const char* kNothing = "-";

GradeNeed needFor(char target, const PendingFigures& figures) {
  GradeNeed need;
  need.marks = marksNeededFor(target, figures.totalMarks, figures.subjectCount);
  need.reachable = isGradeReachable(need.marks, figures.pendingCount);
  return need;
}

std::string needText(const StudentStanding& standing, const GradeNeed& need) {
  if (standing.results + standing.subjectsLeft == 0) {
    return kNothing;
  }
  return need.reachable ? std::to_string(need.marks) : kNotReachable;
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
               "Best Grade Reachable", "Pass Needs", "Credit Needs", "Distinction Needs"},
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
      writeCsvRow({student->studentId, student->name, student->intake,
                   std::to_string(standing.results), std::to_string(standing.totalMarks),
                   csvNumber(standing.average, format), std::to_string(standing.subjectsLeft),
                   standing.bestGrade, needText(standing, standing.pass),
                   needText(standing, standing.credit), needText(standing, standing.distinction)},
                  out, format);
      ++students;
    }
  }
  return students;
}
