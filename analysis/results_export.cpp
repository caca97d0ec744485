// The results of every student, or of one intake, one CSV row each.
#include "analysis/results_export.h"

#include <initializer_list>
#include <string>

#include "analysis/csv_writer.h"
#include "analysis/result_listing.h"

namespace {

// The fields a student's rows share are quoted once, then each result's row is put together in
// one buffer: a whole database is hundreds of thousands of rows.
long writeStudentResults(const StudentRecord& student, const CsvFormat& format, std::string& row,
                         std::ostream& out) {
  const char separator = format.separator;
  std::string studentFields;
  for (const char* field : {student.studentId, student.name, student.intake}) {
    appendCsvText(studentFields, field, format);
    studentFields += separator;
  }
  long rows = 0;
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      const std::string place =
          std::to_string(level->number) + separator + std::to_string(semester->number) + separator;
      for (const SubjectResult* result = semester->firstResult; result != nullptr;
           result = result->next) {
        row = studentFields;
        row += place;
        appendCsvText(row, result->subjectId, format);
        row += separator;
        appendCsvText(row, result->subjectName, format);
        // The listing's rule: marks of 0 are a subject not yet taken, not graded.
        if (result->marks == 0) {
          row += separator;
          row += "N/A";
          row += separator;
          row += "N/A\r\n";
        } else {
          char grade[kGradeBandSize];
          gradeBandFor(result->marks, grade);
          row += separator;
          row += std::to_string(result->marks);
          row += separator;
          row += grade;
          row += "\r\n";
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
        ++rows;
      }
    }
  }
  return rows;
}

}  // namespace

long writeResultsCsv(RecordTree tree, const IntakeRecord* only, std::ostream& out,
                     const CsvFormat& format) {
  out << kUtf8ByteOrderMark;
  writeCsvRow({"Student ID", "Name", "Intake", "Level", "Semester", "Subject ID", "Subject Name",
               "Mark", "Grade"},
              out, format);
  long rows = 0;
  std::string row;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (only != nullptr && intake != only) {
      continue;
    }
    for (const StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      rows += writeStudentResults(*student, format, row, out);
    }
  }
  return rows;
}
