// A line answer typed with the console's own echo and editing: Backspace, Ctrl-U, Enter.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/console_interface.h"

// The keys that edit a line; a terminal names its own (stty erase, kill, eof). -1 for none.
struct LineKeys {
  int eraseKey = kBackspaceKey;  // removes the last character (Backspace, 8, acts as well)
  int killKey = 21;              // removes the whole line (Ctrl-U)
  int endOfFileKey = -1;         // on an empty line, the end of input (Ctrl-D)
};

// Builds one line from keys, as a terminal's line mode would, but with the echo left to the
// console: every character is shown through the safe-text filter, a control key in caret form
// (^[ for ESC), so that nothing typed or pasted reaches the terminal raw. Extended keys (arrows,
// function keys, Alt with a key) type nothing.
class LineEditor {
 public:
  enum class Step { kGoesOn, kEnded, kEndOfInput };

  explicit LineEditor(LineKeys keys) : keys_(keys) {}

  // Takes one key. The echo is erasedColumns columns taken back (each as "\b \b"), then shown.
  // kEnded: the line is complete (with its '\n' when Enter ended it); kEndOfInput: the
  // end-of-file key on an empty line.
  Step take(const Key& key, std::string& shown, std::size_t& erasedColumns);

  const std::string& line() const { return line_; }

 private:
  LineKeys keys_;
  std::string line_;
  std::vector<std::size_t> bytes_;    // of each character in line_
  std::vector<std::size_t> columns_;  // its echo takes
  bool skipNext_ = false;             // the code that follows an extended key's prefix
};
