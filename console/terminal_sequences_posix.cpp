// Terminal sequences from terminfo, through ncurses' low-level library only (no curses screen).
#include "console/terminal_sequences.h"

#include <curses.h>
#include <term.h>

namespace {

// tputs hands the bytes over one at a time, through a plain function.
std::string* gExpanding = nullptr;

int appendByte(int byte) {
  *gExpanding += static_cast<char>(byte);
  return byte;
}

// The capability's string with its padding ("$<5>") taken out, or empty when the terminal has
// none. Parameters, if any, are filled in.
std::string capability(const char* name, int parameter = -1) {
  char* value = tigetstr(name);
  if (value == nullptr || value == reinterpret_cast<char*>(-1)) {
    return {};
  }
  if (parameter >= 0) {
    value = tiparm(value, parameter);
    if (value == nullptr) {
      return {};
    }
  }
  std::string expanded;
  gExpanding = &expanded;
  tputs(value, 1, appendByte);
  gExpanding = nullptr;
  return expanded;
}

// Light green is colour 10 of 16; a terminal of 8 colours has only the plain green, colour 2.
std::string lightGreenOnBlack() {
  const int colours = tigetnum("colors");
  std::string foreground = capability("setaf", colours >= 16 ? 10 : 2);
  std::string background = capability("setab", 0);
  if (colours < 8 || foreground.empty() || background.empty()) {
    return {};
  }
  return foreground + background;
}

// Some entries append E3 (erase the scrollback) to their clear: the lines that scrolled off the
// top of a screen taller than the window are the ones the operator scrolls back to.
std::string withoutScrollbackErase(std::string clear) {
  const std::string eraseScrollback = "\x1b[3J";
  for (std::size_t at = clear.find(eraseScrollback); at != std::string::npos;
       at = clear.find(eraseScrollback)) {
    clear.erase(at, eraseScrollback.size());
  }
  return clear;
}

}  // namespace

TerminalSequences readTerminalSequences(const char* term) {
  TerminalSequences sequences;
  int status = 0;
  // Output descriptor -1: only the entry is read; nothing is asked of or written to a terminal.
  if (term == nullptr || term[0] == '\0' || setupterm(term, -1, &status) != OK) {
    return sequences;
  }
  sequences.clearScreen = withoutScrollbackErase(capability("clear"));
  sequences.resetColours = capability("sgr0");
  if (!sequences.resetColours.empty()) {
    sequences.lightGreenOnBlack = lightGreenOnBlack();
  }
  const std::string up = capability("cuu1");
  const std::string eraseLine = capability("el");
  if (!up.empty() && !eraseLine.empty()) {
    sequences.startOfPreviousLine = up + "\r";
    sequences.eraseToEndOfLine = eraseLine;
  }
  del_curterm(cur_term);
  return sequences;
}
