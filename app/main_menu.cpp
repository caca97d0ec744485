// The main menu: the banner, its keys, and the way out.
#include "app/main_menu.h"

#include "app/intake_selection.h"
#include "app/menu.h"
#include "app/student_search.h"

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
  const std::vector<MenuEntry> entries = {
      {'1', true, false, [&] { return searchStudent(indexRoot, console), MenuOutcome::kStay; },
       true},
      {'2', true, true, [&] { return selectIntakeForMails(tree, console), MenuOutcome::kStay; },
       true},
      // The closing clears the screen itself: it is the last clear, which may leave the screen.
      {kEscapeKey, false, false,
       [&] {
         console.closeScreen();
         console.out() << "Program Closing ...\n";
         return MenuOutcome::kBack;
       },
       false},
  };
  runMenu(console, printMainMenu, entries, invalidInputEntry(console));
}
