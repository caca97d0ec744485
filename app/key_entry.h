// The fixed-length entries typed key by key: the student ID and the intake code.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "console/console_interface.h"

// How one entry takes its keys. A key is one character, a UTF-8 character included.
struct EntryRules {
  const char* prompt;    // the line after "Press ESC to back to Main Menu"
  const char* what;      // names the text in "... not found"
  std::size_t maxChars;  // characters the text holds at most
  int (*fold)(int key);  // applied to each single-byte key before it is stored
  bool endsWhenFull;     // the last character ends the entry without Enter
};

// The student ID: A-Z folded to lower case, 8 characters, then only Enter and ESC act.
extern const EntryRules kStudentIdEntry;
// The intake code: a-z folded to upper case, ended by its eighth character.
extern const EntryRules kIntakeEntry;

// Reads one entry into text, echoing every key but ESC, which returns false and shows nothing of
// its own before the clear that follows. Every other key is stored as it comes (Backspace too:
// there is no editing), so a stored 0, the prefix of an extended key, ends the text as a C string
// there.
bool readEntry(Console& console, const EntryRules& rules, std::string& text);

// Prompts for the entry until lookup accepts the text typed; after each miss "<what> <text> not
// found" stands above the next prompt (no clear). False when the operator pressed ESC. The text
// is handed on as a C string: a stored 0 ends it.
bool promptUntilFound(Console& console, const EntryRules& rules,
                      const std::function<bool(const char*)>& lookup, std::string& text);
