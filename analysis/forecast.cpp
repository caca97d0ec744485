// Forecasting: the final total, average and grade from the marks the operator expects.
#include "analysis/forecast.h"

#include <sstream>
#include <string>

#include "analysis/result_listing.h"

namespace {

// Longest text the expected-mark field holds; a longer word is refused, never cut.
constexpr std::size_t kMarksFieldChars = 3;

constexpr const char* kNothingToGrade = "-";

void writeEntryHeading(std::ostream& out) {
  out << "\t==============================================" << std::endl;
  out << "\tPlease Enter the Expected Marks for Forecast:" << std::endl;
  out << "\t==============================================" << std::endl << std::endl;
}

// Asks for one subject until a valid word comes, and returns the whole marks it adds.
int readExpectedMarks(const char* subjectName, Console& console) {
  std::ostream& out = console.out();
  for (;;) {
    out << "\t" << stored(subjectName) << ": ";
    const std::string word = console.readWord();
    if (word.size() <= kMarksFieldChars && isValidMarks(word.c_str())) {
      return expectedMarksValue(word.c_str());
    }
    out << "\t"
        << "Invalid Marks" << std::endl;
  }
}

void finishAllCompleted(const PendingFigures& figures, Console& console) {
  std::ostream& out = console.out();
  out << "\tAll subject(s) for this level completed, forecast is unnessasary." << std::endl;
  writeForecastResult("Current Result:", figures.totalMarks, figures.subjectCount, out);
  out << "\nPress any key to continue";
  console.readKey();
}

// One pass; true when the operator asks for another.
bool runForecastPass(const StudentRecord& student, Console& console) {
  PendingFigures figures;
  if (!collectPendingSubjects(student, figures)) {
    return false;
  }
  PendingSubjectsGuard guard(figures);
  console.clearScreen();
  writeForecastOpening(figures, console.out());
  if (figures.pendingCount == 0) {
    finishAllCompleted(figures, console);
    return false;
  }
  writeEntryHeading(console.out());
  int totalMarks = figures.totalMarks;
  for (const PendingSubject* subject = figures.firstPending; subject != nullptr;
       subject = subject->next) {
    totalMarks = addMarks(totalMarks, readExpectedMarks(subject->subjectName, console));
  }
  writeForecastResult("Forecast Result:", totalMarks, figures.subjectCount, console.out());
  guard.release();
  return askYesNo(console, "\n\tForecast again? (y/n): ");
}

}  // namespace

// General notation with at most 6 significant digits (55.5, 74.8333, 80), whatever state the
// console stream is in.
std::string formatAverage(int totalMarks, int subjectCount) {
  std::ostringstream text;
  text << static_cast<double>(totalMarks) / subjectCount;
  return text.str();
}

void writeForecastOpening(const PendingFigures& figures, std::ostream& out) {
  out << std::endl;
  out << "\t=================" << std::endl;
  out << "\tCurrent Result:" << std::endl;
  out << "\t=================" << std::endl;
  out << "\tTotal Marks: " << figures.totalMarks << std::endl;
  out << "\t" << figures.subjectCount - figures.pendingCount << " Subject(s) Completed"
      << std::endl;
  out << "\t" << figures.pendingCount << " Subject(s) to go" << std::endl << std::endl;
}

void writeForecastResult(const char* heading, int totalMarks, int subjectCount, std::ostream& out) {
  out << std::endl;
  out << "\t=================" << std::endl;
  out << "\t" << heading << std::endl;
  out << "\t=================" << std::endl;
  out << "\tTotal Marks : " << totalMarks << std::endl;
  // A student without any subject has no average; dividing would be by zero.
  if (subjectCount <= 0) {
    out << "\tAverage     : " << kNothingToGrade << std::endl;
    out << "\tGrade       : " << kNothingToGrade << std::endl;
    return;
  }
  char grade[kGradeBandSize];
  gradeBandFor(totalMarks / subjectCount, grade);
  out << "\tAverage     : " << formatAverage(totalMarks, subjectCount) << std::endl;
  out << "\tGrade       : " << grade << std::endl;
}

void runForecast(const StudentRecord& student, Console& console) {
  while (runForecastPass(student, console)) {
  }
}
