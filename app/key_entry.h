// The fixed-length entries typed key by key: the student ID and the intake code.
#pragma once

#include <cstddef>
#include <string>

#include "analysis/console_interface.h"

// How one entry takes its keys. A key is one character, a UTF-8 character included.
struct EntryRules {
  std::size_t maxChars;  // characters the text holds at most
  int (*fold)(int key);  // applied to each single-byte key before it is stored
  bool endsWhenFull;     // the last character ends the entry without Enter
};

// The student ID: A-Z folded to lower case, 8 characters, then only Enter and ESC act.
extern const EntryRules kStudentIdEntry;
// The intake code: a-z folded to upper case, ended by its eighth character.
extern const EntryRules kIntakeEntry;

// Reads one entry into text, echoing every key; false when the operator pressed ESC. Every other
// key is stored as it comes (Backspace too: there is no editing), so a stored 0, the prefix of an
// extended key, ends the text as a C string there.
bool readEntry(Console& console, const EntryRules& rules, std::string& text);
