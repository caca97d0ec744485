// The student ID prompt, typed key by key, and the sub menu of the four views of the student found.
#include "app/student_search.h"

#include "analysis/forecast.h"
#include "analysis/performance_chart.h"
#include "analysis/result_listing.h"
#include "analysis/suggestion.h"
#include "app/key_entry.h"
#include "app/menu.h"
#include "console/safe_text.h"
#include "store/tree/student_index.h"

namespace {

// Returns when the operator presses ESC; the key is not echoed, the main menu clears the screen.
// The listing stays on the screen with the banner below it; every other view is cleared away.
void runSubMenu(const StudentRecord& student, Console& console) {
  const std::vector<MenuEntry> entries = {
      {'1', true, true,
       [&] {
         console.out() << "\n\n";
         writeResultListing(student, console.out());
         return MenuOutcome::kStay;
       },
       false},
      {'2', true, true, [&] { return showPerformanceChart(&student, console), MenuOutcome::kStay; },
       true},
      {'3', true, false, [&] { return runForecast(student, console), MenuOutcome::kStay; }, true},
      {'4', true, false, [&] { return runSuggestion(student, console), MenuOutcome::kStay; }, true},
      {kEscapeKey, false, false, [] { return MenuOutcome::kBack; }, false},
  };
  runMenu(console, printSubMenu, entries, invalidInputEntry(console));
}

}  // namespace

void printSubMenu(std::ostream& out) {
  out << "\n";
  out << "\t\t**********************************************\n";
  out << "\t\t*               Sub Menu:                    *\n";
  out << "\t\t*                                            *\n";
  out << "\t\t*        (1) Display Previous Result         *\n";
  out << "\t\t*        (2) Display Performance Chart       *\n";
  out << "\t\t*        (3) Forecasting                     *\n";
  out << "\t\t*        (4) Generate Suggestion             *\n";
  out << "\t\t*                                            *\n";
  out << "\t\t*        Press ESC to Exit                   *\n";
  out << "\t\t**********************************************\n";
  out << "\n\tPlease Enter Your Choice: ";
}

void searchStudent(StudentRecord* indexRoot, Console& console) {
  const StudentRecord* student = nullptr;
  std::string id;
  auto lookup = [&](const char* typed) {
    return (student = findStudent(indexRoot, typed)) != nullptr;
  };
  if (!promptUntilFound(console, kStudentIdEntry, lookup, id)) {
    return;
  }
  console.out() << "\n\n\tStudent ID " << caretControls(id.c_str()) << " found\n";
  runSubMenu(*student, console);
}
