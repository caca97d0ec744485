// The results of every student, or of one intake, one CSV row each.
#include "analysis/results_export.h"

#include <string>
#include <vector>

#include "analysis/csv_writer.h"
#include "analysis/result_listing.h"

namespace {

long writeStudentResults(const StudentRecord& student, std::ostream& out) {
  long rows = 0;
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      for (const SubjectResult* result = semester->firstResult; result != nullptr;
           result = result->next) {
        // The listing's rule: marks of 0 are a subject not yet taken, not graded.
        std::string mark = "N/A";
        char grade[kGradeBandSize] = "N/A";
        if (result->marks != 0) {
          mark = std::to_string(result->marks);
          gradeBandFor(result->marks, grade);
        }
        writeCsvRow(
            {student.studentId, student.name, student.intake, std::to_string(level->number),
             std::to_string(semester->number), result->subjectId, result->subjectName, mark, grade},
            out);
        ++rows;
      }
    }
  }
  return rows;
}

}  // namespace

long writeResultsCsv(RecordTree tree, const IntakeRecord* only, std::ostream& out) {
  out << kUtf8ByteOrderMark;
  writeCsvRow({"Student ID", "Name", "Intake", "Level", "Semester", "Subject ID", "Subject Name",
               "Mark", "Grade"},
              out);
  long rows = 0;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (only != nullptr && intake != only) {
      continue;
    }
    for (const StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      rows += writeStudentResults(*student, out);
    }
  }
  return rows;
}
