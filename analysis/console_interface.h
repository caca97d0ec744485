// What every screen needs of the console: key reads, line answers, clearing, pausing, output.
// The terminal implements it for real; tests feed keys and read the text back.
#pragma once

#include <exception>
#include <ostream>
#include <string>

constexpr int kEscapeKey = 27;
constexpr int kEnterKey = 13;
constexpr int kBackspaceKey = 8;
// The two prefixes an extended key (arrow, function key) arrives with, before its own code.
constexpr int kExtendedPrefix = 224;
constexpr int kFunctionPrefix = 0;

// Standard input has ended. Every wait for input throws it, so that the program closes the way
// ESC at the main menu closes it instead of looping on a closed input.
class EndOfInput : public std::exception {
 public:
  const char* what() const noexcept override { return "end of input"; }
};

class Console {
 public:
  virtual ~Console() = default;

  // Everything the screens print goes through this one stream, so that output reaches the
  // screen in program order. Anything written without a newline is flushed before each read.
  virtual std::ostream& out() = 0;

  // One key code (0..255) without echo and without waiting for Enter. Enter is 13, Backspace 8,
  // ESC 27; an extended key gives its prefix (0 or 224) on one call and its code on the next.
  virtual int readKey() = 0;

  // Throws away pending input, reads one line typed with echo, and returns its first character
  // ('\n' for an empty line). The rest of the line is discarded.
  virtual int readAnswer() = 0;

  // The next white-space separated word of line input; the rest of the line stays pending.
  virtual std::string readWord() = 0;

  // Clears the window and homes the cursor.
  virtual void clearScreen() = 0;

  // Prints "Press any key to continue . . . " and waits for one key.
  virtual void pause() = 0;
};

// Asks question until the answer is y or n, in either case; true for yes.
inline bool askYesNo(Console& console, const char* question) {
  for (;;) {
    console.out() << question;
    const int answer = console.readAnswer();
    if (answer == 'Y' || answer == 'y') {
      return true;
    }
    if (answer == 'N' || answer == 'n') {
      return false;
    }
  }
}
