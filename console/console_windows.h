// The console on Windows: a console window read key by key and written with VT sequences, or
// pipes and files read and written as bytes, as a script on Linux is.
#pragma once

#include <deque>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "console/console_interface.h"
#include "console/keys/key_input.h"
#include "console/keys/virtual_keys.h"
#include "console/plain_box_lines.h"
#include "console/plain_screen_break.h"
#include "console/safe_text.h"
#include "console/session_console.h"

// Output to a console window as UTF-16 (whole characters, tabs as spaces), to a pipe or a file as
// the bytes given: the session's screens, and the jobs' lines where standard output or standard
// error is a console window.
class ConsoleOutputBuffer : public std::streambuf {
 public:
  ConsoleOutputBuffer(void* handle, bool isConsole);
  ~ConsoleOutputBuffer() override;
  ConsoleOutputBuffer(const ConsoleOutputBuffer&) = delete;
  ConsoleOutputBuffer& operator=(const ConsoleOutputBuffer&) = delete;

  // Plain mode's clear: the next text starts after a blank line.
  void breakScreen() { screenBreak_.request(); }
  // Plain mode's text: the screens without their boxes and rules.
  void takeOutBoxes() { boxLines_ = std::make_unique<PlainBoxLines>(); }

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Tabs as the spaces up to the next stop of eight, in the columns of a window as wide as its
  // buffer: Wine's console draws a tab at the start of its top line two columns short.
  std::string expandTabs(const std::string& text);
  bool writeBytes(const char* bytes, std::size_t count);
  // Writes what the buffer holds; a flush (before every key read) also releases a line held back
  // as a possible box line, which is then a prompt.
  int write(bool flushing);

  void* handle_;
  bool isConsole_;
  std::size_t column_ = 0;
  std::size_t width_ = 80;
  bool inSequence_ = false;
  char buffer_[4096];
  std::string pending_;  // bytes not yet written: at most an unfinished character between writes
  PlainScreenBreak screenBreak_;
  std::unique_ptr<PlainBoxLines> boxLines_;  // plain mode only
};

// From now on standard output and standard error, where they are a console window, show what a
// job, --help, --check or a fatal line writes as its characters, whatever the window's code page;
// to a file or a pipe they stay UTF-8 bytes.
void showStandardStreamsInConsoleWindow();

class WindowsConsole : public SessionConsole {
 public:
  // Over the process's standard input and output. Where the output is a console window it is
  // switched to UTF-8 and VT sequences (plain text where the console refuses them); where the
  // input is one, keys are read as key events. Every mode and code page changed is put back by
  // restoreTerminal(). Plain mode (--plain) writes no VT sequence at all.
  explicit WindowsConsole(bool plain = false);
  ~WindowsConsole() override;
  WindowsConsole(const WindowsConsole&) = delete;
  WindowsConsole& operator=(const WindowsConsole&) = delete;

  // Text passes the safe-text filter here.
  std::ostream& out() override { return out_; }
  Key readKey() override;
  int readAnswer() override;
  std::string readWord() override;
  void echo(const Key& key) override;
  // Clears the window, keeping what scrolled into its buffer above; without VT sequences, the
  // next screen follows after a blank line.
  void clearScreen() override;
  void closeScreen() override;
  void pause() override;
  // The pause once more, for the window the program has to itself: when a message ends the run
  // and nothing has waited for a key since it was written. Keys from a script never wait.
  void pauseInOwnWindow();

  bool isInputTerminal() const override { return inputIsConsole_; }
  bool isOutputTerminal() const override { return outputIsConsole_; }

  // The start-up "color 0a", where VT sequences work and NO_COLOR is not set.
  void startColours() override;
  // Rewrites the line above the cursor with text (the loading line's progress); nothing without
  // VT sequences.
  void rewritePreviousLine(const std::string& text) override;

  // From now on Ctrl-C, Ctrl-Break and closing the window remove the registered temporary file,
  // give the console back and end the program. One console of the process takes them.
  void handleSignals() override;

  // Resets the colours and puts back the modes and code pages.
  void restoreTerminal() override;

  // What the control handler, on a thread of its own, needs to give the console back.
  struct SavedState;

 private:
  Key readConsoleKey();
  // Bytes of the console's own (sequences, line editing), past the safe-text filter.
  void raw(const char* bytes);
  void writeSequence(const char* sequence);
  TerminalControl terminalControl();

  void* input_;
  void* output_;
  bool inputIsConsole_ = false;
  bool outputIsConsole_ = false;
  bool vt_ = false;
  bool plain_ = false;  // --plain: no boxes or rules, each prompt on a line of its own
  bool coloursOn_ = false;
  std::unique_ptr<SavedState> saved_;
  std::unique_ptr<ConsoleOutputBuffer> outBuffer_;
  // Everything the screens print passes the safe-text filter: no text from a database can act as
  // a control sequence.
  std::unique_ptr<SafeTextBuffer> safeBuffer_;
  std::ostream out_;

  // Console input: keys mapped from key events and not taken yet.
  VirtualKeyMapper mapper_;
  std::deque<Key> keys_;
  // Keys and line answers: a console window's keys through the terminal's line reading, a pipe
  // or a file as a script, as on a POSIX system.
  std::unique_ptr<KeyInput> keyInput_;
  bool paused_ = false;  // a key was waited for: the last message has been read
};
