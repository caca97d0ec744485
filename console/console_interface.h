// What every screen needs of the console: key reads, line answers, clearing, pausing, output.
// The terminal implements it for real; tests feed keys and read the text back.
#pragma once

#include <exception>
#include <ios>
#include <ostream>
#include <string>
#include <string_view>

constexpr int kEscapeKey = 27;
constexpr int kEnterKey = 13;
constexpr int kBackspaceKey = 8;
// The two prefixes an extended key (arrow, function key) arrives with, before its own code.
constexpr int kExtendedPrefix = 224;
constexpr int kFunctionPrefix = 0;

// Standard input has ended. Every wait for input throws it, so that the program closes the way
// ESC at the main menu closes it instead of looping on a closed input.
// One key press. An extended key (arrow, function key) is two of them, its prefix and its code.
struct Key {
  int code = 0;      // 0..255: what the screens compare (for a UTF-8 character, its first byte)
  std::string text;  // what echoes and stores it: the code's byte, or a UTF-8 character's bytes
};

// The one form a control code (0-31, 127) is shown in, at the prompt and in every message that
// repeats an entry: ^ and the letter it is Ctrl with (Backspace ^H, ESC ^[).
inline bool isControlCode(int code) {
  return (code >= 0 && code < 0x20) || code == 0x7F;
}
inline std::string caretForm(int code) {
  return {'^', static_cast<char>(code ^ 0x40)};
}

// What echo() shows for a key: Enter as itself, another control code in caret form (ESC as ^[),
// any other key as its text.
inline std::string echoText(const Key& key) {
  if (key.code == kEnterKey) {
    return key.text;
  }
  return isControlCode(key.code) ? caretForm(key.code) : key.text;
}

// Text that the database stored (a name, an ID, a subject, an intake), written to a stream. A
// file gets it as stored; a stream that shows it on a screen (marked with showStoredTextInline)
// gets a line feed, carriage return or tab in caret form, so that a stored text never breaks a
// screen's line or moves its columns. The other control characters are the safe-text filter's.
struct StoredText {
  std::string_view text;
};
inline StoredText stored(std::string_view text) {
  return {text};
}

inline int storedTextInlineIndex() {
  static const int index = std::ios_base::xalloc();
  return index;
}
inline void showStoredTextInline(std::ostream& out) {
  out.iword(storedTextInlineIndex()) = 1;
}
inline std::ostream& operator<<(std::ostream& out, StoredText text) {
  if (out.iword(storedTextInlineIndex()) == 0) {
    return out << text.text;
  }
  for (char byte : text.text) {
    if (byte == '\n' || byte == '\r' || byte == '\t') {
      out << caretForm(byte);
    } else {
      out << byte;
    }
  }
  return out;
}

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

  // One key press without echo and without waiting for Enter. Enter is 13, Backspace 8, ESC 27;
  // an extended key gives its prefix (0 or 224) on one call and its code on the next, and a
  // character of several UTF-8 bytes is one key.
  virtual Key readKey() = 0;

  // Throws away pending input, reads one line typed with echo (Backspace and Ctrl-U edit it),
  // and returns its first character ('\n' for an empty line). The rest of the line is discarded.
  virtual int readAnswer() = 0;

  // The next white-space separated word of line input; the rest of the line stays pending.
  virtual std::string readWord() = 0;

  // Shows a key the screen echoes: Enter as itself, other control keys in caret form (Backspace
  // as ^H), so the line shows every key that an entry stores or ignores.
  virtual void echo(const Key& key) { out() << echoText(key); }

  // Clears the window and homes the cursor.
  virtual void clearScreen() = 0;

  // The last clear, before the closing line: the colours the program set go first, so that the
  // closing line and the shell after it are in the user's own.
  virtual void closeScreen() { clearScreen(); }

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
