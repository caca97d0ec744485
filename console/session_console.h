// What the program's start and end need of a console beyond what the screens use: the same on a
// POSIX terminal and a Windows console, so that one entry serves both.
#pragma once

#include <string>

#include "console/console_interface.h"

class SessionConsole : public Console {
 public:
  // Whether keys come from a person (a terminal, a console window) rather than a script.
  virtual bool isInputTerminal() const = 0;
  // Whether the output is a screen rather than a pipe or a file.
  virtual bool isOutputTerminal() const = 0;

  // The start-up "color 0a": light green on black for the rest of the run, where the screen has
  // colours and NO_COLOR is not set.
  virtual void startColours() = 0;

  // Rewrites the line above the cursor with text (the loading line's progress); nothing where
  // the screen cannot.
  virtual void rewritePreviousLine(const std::string& text) = 0;

  // Makes this the console that interrupts (Ctrl-C, a closed window, a signal) reach: they
  // remove the registered temporary file and give the screen back before the program ends.
  virtual void handleSignals() = 0;

  // Resets the colours, leaves the program's screen and puts back every mode it changed. Called
  // by the destructor; may be called earlier (before a fatal message on stderr).
  virtual void restoreTerminal() = 0;
};
