// One reader for the two fixed-length entries, with their fold rules.
#include "app/key_entry.h"

#include "console/safe_text.h"
#include "store/tree/student_index.h"
#include "util/ascii_fold.h"

const EntryRules kStudentIdEntry = {"Please enter Student ID to be search: ", "Student ID", 8,
                                    asciiLower, false};
const EntryRules kIntakeEntry = {"Please enter Intake for mails generation: ", "Intake",
                                 kIntakePromptChars, intakeKeyAsTyped, true};

bool readEntry(Console& console, const EntryRules& rules, std::string& text) {
  text.clear();
  std::size_t chars = 0;
  for (;;) {
    const Key key = console.readKey();
    if (key.code == kEscapeKey) {
      return false;  // no echo: the clear of the main menu follows at once
    }
    console.echo(key);
    if (key.code == kEnterKey) {
      return true;
    }
    if (chars == rules.maxChars) {
      continue;  // echoed, and ignored: the text is full
    }
    if (key.text.size() == 1) {
      text += static_cast<char>(rules.fold(key.code));
    } else {
      text += key.text;
    }
    ++chars;
    if (rules.endsWhenFull && chars == rules.maxChars) {
      return true;
    }
  }
}

bool promptUntilFound(Console& console, const EntryRules& rules,
                      const std::function<bool(const char*)>& lookup, std::string& text) {
  for (;;) {
    console.out() << "\n\n\tPress ESC to back to Main Menu";
    console.out() << "\n\t" << rules.prompt;
    if (!readEntry(console, rules, text)) {
      return false;
    }
    if (lookup(text.c_str())) {
      return true;
    }
    console.out() << "\n\n\t" << rules.what << " " << caretControls(text.c_str()) << " not found\n";
  }
}
