// The escape sequences of the user's terminal, read from its terminfo entry.
#pragma once

#include <string>

// What the console may write to control the terminal. An empty sequence is one the terminal
// lacks: the console then does without that effect and writes plain text. There is no alternate
// screen: the program draws on the user's screen, so that a screen taller than the window can be
// scrolled back to with the terminal's own scrollback.
struct TerminalSequences {
  std::string clearScreen;          // home the cursor and clear the screen, scrollback untouched
  std::string lightGreenOnBlack;    // "color 0a"
  std::string resetColours;         // default colours and attributes
  std::string startOfPreviousLine;  // cursor one line up, then to its start
  std::string eraseToEndOfLine;
};

// The sequences of terminal type term (the TERM variable; null or unknown gives none, and so does
// "dumb", whose entry has none of them).
TerminalSequences readTerminalSequences(const char* term);
