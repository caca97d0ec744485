// The escape sequences of the user's terminal, read from its terminfo entry.
#pragma once

#include <string>

// What the console may write to control the terminal. An empty sequence is one the terminal
// lacks: the console then does without that effect and writes plain text.
struct TerminalSequences {
  std::string clearScreen;          // home the cursor and clear the screen, scrollback untouched
  std::string enterProgramScreen;   // the alternate screen, the user's own screen kept aside
  std::string leaveProgramScreen;   // back to the user's screen as it was
  std::string lightGreenOnBlack;    // "color 0a"
  std::string resetColours;         // default colours and attributes
  std::string startOfPreviousLine;  // cursor one line up, then to its start
  std::string eraseToEndOfLine;
};

// The sequences of terminal type term (the TERM variable; null or unknown gives none, and so does
// "dumb", whose entry has none of them).
TerminalSequences readTerminalSequences(const char* term);
