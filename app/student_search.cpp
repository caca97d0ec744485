// The student ID prompt, typed key by key, and the sub menu of the four views of the student found.
#include "app/student_search.h"

#include "analysis/forecast.h"
#include "analysis/performance_chart.h"
#include "analysis/result_listing.h"
#include "analysis/suggestion.h"
#include "store/tree/student_index.h"

namespace {

// The index compares 8 characters, so the typed ID never holds more.
constexpr std::size_t kIdChars = 8;

using StudentId = char[kIdChars + 1];

// Only A-Z fold: digits, punctuation, Backspace and codes above 127 are stored as typed.
char foldToLower(int key) {
  if (key >= 'A' && key <= 'Z') {
    return static_cast<char>(key - 'A' + 'a');
  }
  return static_cast<char>(key);
}

// Reads the ID into id; false when the operator pressed ESC. Keys are stored as they come, so a
// stored 0 (the prefix of an extended key) ends the text there.
bool readStudentId(Console& console, StudentId& id) {
  std::size_t position = 0;
  id[0] = '\0';
  for (;;) {
    const Key key = console.readKey();
    console.out() << key.text;
    if (key.code == kEnterKey) {
      id[position] = '\0';
      return true;
    }
    if (key.code == kEscapeKey) {
      return false;
    }
    // A key that no longer fits whole (all bytes of a UTF-8 character) has been echoed and is
    // ignored, as every key is once the ID is full.
    if (position + key.text.size() <= kIdChars) {
      for (char byte : key.text) {
        id[position++] = foldToLower(static_cast<unsigned char>(byte));
      }
      id[position] = '\0';
    }
  }
}

void showListing(const StudentRecord& student, Console& console) {
  console.out() << "\n\n";
  writeResultListing(student, console.out());
}

void showChart(const StudentRecord& student, Console& console) {
  showPerformanceChart(&student, console);
}

void showInvalidInput(const StudentRecord&, Console& console) {
  console.out() << "\n\t< Invalid Input: >\n";
}

struct SubMenuEntry {
  int key;
  bool clearBefore;
  void (*action)(const StudentRecord&, Console&);
  bool clearAfter;
};

// The listing stays on the screen with the banner below it; every other view is cleared away.
constexpr SubMenuEntry kSubMenu[] = {
    {'1', true, showListing, false},
    {'2', true, showChart, true},
    {'3', false, runForecast, true},
    {'4', false, runSuggestion, true},
};
constexpr SubMenuEntry kInvalidEntry = {0, true, showInvalidInput, false};

const SubMenuEntry& subMenuEntryFor(int key) {
  for (const SubMenuEntry& entry : kSubMenu) {
    if (entry.key == key) {
      return entry;
    }
  }
  return kInvalidEntry;
}

// Returns when the operator presses ESC; the key is not echoed, the main menu clears the screen.
void runSubMenu(const StudentRecord& student, Console& console) {
  for (;;) {
    printSubMenu(console.out());
    const Key key = console.readKey();
    if (key.code == kEscapeKey) {
      return;
    }
    console.out() << key.text;
    const SubMenuEntry& entry = subMenuEntryFor(key.code);
    if (entry.clearBefore) {
      console.clearScreen();
    }
    entry.action(student, console);
    if (entry.clearAfter) {
      console.clearScreen();
    }
  }
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
  std::ostream& out = console.out();
  for (;;) {
    out << "\n\n\tPress ESC to back to Main Menu";
    out << "\n\tPlease enter Student ID to be search: ";
    StudentId id;
    if (!readStudentId(console, id)) {
      return;
    }
    const StudentRecord* student = findStudent(indexRoot, id);
    if (student == nullptr) {
      // No clear: the next prompt follows below the message.
      out << "\n\n\tStudent ID " << id << " not found\n";
      continue;
    }
    out << "\n\n\tStudent ID " << id << " found\n";
    runSubMenu(*student, console);
    return;
  }
}
