// The escape sequences of the user's terminal, read from its terminfo entry.
#pragma once

#include <string>
#include <string_view>

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

// What stands for a clear where nothing can clear (plain mode): the next screen's text starts
// after the line is ended and one blank line, the screen's own leading newlines counted, so that
// a screen reader meets exactly one blank line between screens.
class PlainScreenBreak {
 public:
  // A screen begins with the next text; nothing before the first text of all.
  void request() { pending_ = !lastBytes_.empty(); }
  // What to write for the bytes given: the same bytes, with the newlines a requested break still
  // needs in front of the first one that is no newline.
  std::string pass(std::string_view bytes);

 private:
  void remember(std::string_view bytes);

  bool pending_ = false;
  std::string lastBytes_;  // the last two bytes passed
};
