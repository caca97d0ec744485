// The horizontal text bar chart of every mark a student already has.
#include "analysis/performance_chart.h"

#include <string>

namespace {

constexpr const char* kStarLine = "\n\t********************************************************";

// One box of three lines: top edge, the subject line with the marks, and the bottom edge labelled
// with level and semester. The bar is not capped, so marks above 100 run past the axis.
void writeBar(const LevelNode& level, const SemesterNode& semester, const SubjectResult& result,
              std::ostream& out) {
  const int length = chartBarLength(result.marks);
  const std::string underscores(length > 0 ? static_cast<std::size_t>(length) : 0, '_');
  const std::string blanks(underscores.size(), ' ');
  out << "\n\t|" << underscores;
  out << "\n" << stored(result.subjectId) << "\t|" << blanks;
  out << "| (" << result.marks << ")";
  out << "\n(L" << level.number << " S" << semester.number << ")\t|" << underscores << "|";
}

void writeBars(const StudentRecord& student, std::ostream& out) {
  for (const LevelNode* level = student.firstLevel; level != nullptr; level = level->next) {
    for (const SemesterNode* semester = level->firstSemester; semester != nullptr;
         semester = semester->next) {
      for (const SubjectResult* result = semester->firstResult; result != nullptr;
           result = result->next) {
        // A subject not yet taken has no bar.
        if (result->marks != 0) {
          writeBar(*level, *semester, *result, out);
        }
      }
    }
  }
}

}  // namespace

int chartBarLength(int marks) {
  return marks / 2;
}

bool writePerformanceChart(const StudentRecord* student, std::ostream& out) {
  if (student == nullptr) {
    out << "\n\terror: unable to generate chart\n";
    return false;
  }
  out << kStarLine;
  out << "\n\t Perforamnace Chart for " << stored(student->name);
  out << kStarLine;
  out << "\n\n";
  out << "\n\tSubject";
  out << "\n\t|";
  writeBars(*student, out);
  out << "\n\t|";
  out << "\n\t|------------------------------------------------------> Marks";
  out << "\n\t     10   20   30   40   50   60   70   80   90   100\n";
  out << "\n\tLegend:"
      << "\n\tL - Level"
      << "\n\tS - Semester"
      << "\n";
  out << "\nPress any key to continue";
  return true;
}

void showPerformanceChart(const StudentRecord* student, Console& console) {
  if (writePerformanceChart(student, console.out())) {
    console.readKey();
  }
}
