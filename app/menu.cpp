// The menu loop shared by the main menu and the sub menu.
#include "app/menu.h"

void runMenu(Console& console, void (*printBanner)(std::ostream&),
             const std::vector<MenuEntry>& entries, const MenuEntry& otherKey) {
  for (;;) {
    printBanner(console.out());
    const Key key = console.readKey();
    const MenuEntry* entry = &otherKey;
    for (const MenuEntry& candidate : entries) {
      if (candidate.key == key.code) {
        entry = &candidate;
      }
    }
    if (entry->echo) {
      console.echo(key);
    }
    if (entry->clearBefore) {
      console.clearScreen();
    }
    const MenuOutcome outcome = entry->action();
    if (entry->clearAfter) {
      console.clearScreen();
    }
    if (outcome == MenuOutcome::kBack) {
      return;
    }
  }
}

MenuEntry invalidInputEntry(Console& console) {
  return {-1, true, true,
          [&console] {
            console.out() << "\n\t< Invalid Input: >\n";
            return MenuOutcome::kStay;
          },
          false};
}
