// One runner for the menus: a banner, a table of keys, and what the loop clears around them.
#pragma once

#include <functional>
#include <ostream>
#include <vector>

#include "console/console_interface.h"

enum class MenuOutcome { kStay, kBack };

// One key of a menu. The runner echoes the key and clears the screen as the entry says; the
// action does the rest, and kBack leaves the menu.
struct MenuEntry {
  int key;
  bool echo;
  bool clearBefore;
  std::function<MenuOutcome()> action;
  bool clearAfter;
};

// Prints the banner, reads a key, runs its entry (otherKey for a key that has none), and again,
// until an action answers kBack.
void runMenu(Console& console, void (*printBanner)(std::ostream&),
             const std::vector<MenuEntry>& entries, const MenuEntry& otherKey);

// Any other key: echoed, the screen cleared, "< Invalid Input: >" above the banner drawn again.
MenuEntry invalidInputEntry(Console& console);
