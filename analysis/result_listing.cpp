// Grade words and the result listing shown on the console and written into each result letter.
#include "analysis/result_listing.h"

#include <cstring>

#include "analysis/grade_bands.h"
#include "console/console_interface.h"

namespace {

const char* gradeWordFor(int value) {
  // A negative value never comes from the record tree (marks are stored as 0 or more); it is
  // graded with the lowest band rather than falling through to "Pass".
  if (value < kPassMarks) {
    return "Fail";
  }
  if (value < kCreditMarks) {
    return "Pass";
  }
  if (value < kDistinctionMarks) {
    return "Credit";
  }
  if (value <= kFullMarks) {
    return "Distinction";
  }
  return "N/A";
}

void writeResultLine(const SubjectResult& result, std::ostream& out) {
  out << "\t\t" << stored(result.subjectId) << "\t\t";
  // Marks 0 means the subject has not been taken, so there is nothing to grade.
  if (result.marks == 0) {
    out << "N/A"
        << "\t\t"
        << "N/A" << std::endl;
    return;
  }
  char word[kGradeBandSize];
  gradeBandFor(result.marks, word);
  out << result.marks << "\t\t" << word << std::endl;
}

void writeSemester(const SemesterNode& semester, std::ostream& out) {
  out << "\t"
      << "Semester " << semester.number << ": " << std::endl;
  for (const SubjectResult* result = semester.firstResult; result != nullptr;
       result = result->next) {
    writeResultLine(*result, out);
  }
}

}  // namespace

void gradeBandFor(int value, char* word) {
  const char* text = gradeWordFor(value);
  std::memcpy(word, text, std::strlen(text) + 1);
}

void writeResultListing(const StudentRecord& student, std::ostream& out) {
  out << "Name\t: " << stored(student.name) << std::endl;
  out << "ID\t: " << stored(student.studentId) << std::endl;
  out << "Intake\t: " << stored(student.intake) << std::endl << std::endl;
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    out << "Level " << level->number << ": " << std::endl;
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      writeSemester(*semester, out);
    }
  }
}
