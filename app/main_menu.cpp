// The main menu: the banner, its keys, and the way out.
#include "app/main_menu.h"

#include "app/intake_selection.h"
#include "app/student_search.h"

namespace {

enum class MenuOutcome { kStay, kQuit };

struct MainMenuState {
  RecordTree tree;
  StudentRecord* indexRoot;
  Console& console;
};

MenuOutcome runStudentSearch(MainMenuState& state) {
  searchStudent(state.indexRoot, state.console);
  return MenuOutcome::kStay;
}

MenuOutcome runIntakeSelection(MainMenuState& state) {
  selectIntakeForMails(state.tree, state.console);
  return MenuOutcome::kStay;
}

MenuOutcome closeProgram(MainMenuState& state) {
  state.console.closeScreen();
  state.console.out() << "Program Closing ...\n";
  return MenuOutcome::kQuit;
}

MenuOutcome showInvalidInput(MainMenuState& state) {
  state.console.out() << "\n\t< Invalid Input: >\n";
  return MenuOutcome::kStay;
}

// One key of the main menu. The loop echoes the key and clears the screen as the entry says;
// the handler does the rest.
struct MenuEntry {
  int key;
  bool echo;
  bool clearBefore;
  MenuOutcome (*handler)(MainMenuState&);
  bool clearAfter;
};

constexpr MenuEntry kMainMenu[] = {
    {'1', true, false, runStudentSearch, true},
    {'2', true, true, runIntakeSelection, true},
    // The closing clears the screen itself: it is the last clear, which may leave the screen.
    {kEscapeKey, false, false, closeProgram, false},
};
// Any other key.
constexpr MenuEntry kInvalidKey = {-1, true, true, showInvalidInput, false};

const MenuEntry& entryFor(int key) {
  for (const MenuEntry& entry : kMainMenu) {
    if (entry.key == key) {
      return entry;
    }
  }
  return kInvalidKey;
}

}  // namespace

void printMainMenu(std::ostream& out) {
  out << "\n";
  out << "\t\t**********************************************\n";
  out << "\t\t*                  TAVRINEL                  *\n";
  out << "\t\t**********************************************\n";
  out << "\t\t*               Main Menu:                   *\n";
  out << "\t\t*                                            *\n";
  out << "\t\t*        (1) Search Student                  *\n";
  out << "\t\t*        (2) Generate Result Mails           *\n";
  out << "\t\t*                                            *\n";
  out << "\t\t*        Press ESC to Exit                   *\n";
  out << "\t\t**********************************************\n";
  out << "\n\tPlease Enter Your Choice: ";
}

void runMainMenu(RecordTree tree, StudentRecord* indexRoot, Console& console) {
  MainMenuState state{tree, indexRoot, console};
  for (;;) {
    printMainMenu(console.out());
    const Key key = console.readKey();
    const MenuEntry& entry = entryFor(key.code);
    if (entry.echo) {
      console.out() << key.text;
    }
    if (entry.clearBefore) {
      console.clearScreen();
    }
    MenuOutcome outcome = entry.handler(state);
    if (entry.clearAfter) {
      console.clearScreen();
    }
    if (outcome == MenuOutcome::kQuit) {
      return;
    }
  }
}
