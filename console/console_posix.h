// The console on a POSIX terminal: unechoed key reads, line answers, clearing, colours, pausing,
// and the terminal given back as it was found on every way out.
#pragma once

#include <csignal>

#include <memory>
#include <ostream>
#include <string>

#include "console/console_interface.h"
#include "console/keys/fd_stream.h"
#include "console/keys/key_input.h"
#include "console/plain_box_lines.h"
#include "console/plain_screen_break.h"
#include "console/safe_text.h"
#include "console/session_console.h"
#include "console/terminal_sequences.h"

// Everything passed to the terminal is recorded from the last clear on, so that the screen can be
// drawn again after a stop (Ctrl-Z, then fg).
class ScreenRecordBuffer : public std::streambuf {
 public:
  explicit ScreenRecordBuffer(std::streambuf* target) : target_(target) {}
  void restart(bool recording) {
    record_.clear();
    recording_ = recording;
  }
  const std::string& record() const { return record_; }
  // Plain mode's clear: the next text starts after a blank line.
  void breakScreen() { screenBreak_.request(); }
  // Plain mode's text: the screens without their boxes and rules.
  void takeOutBoxes() { boxLines_ = std::make_unique<PlainBoxLines>(); }

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  bool passOn(const std::string& text);

  std::streambuf* target_;
  std::string record_;
  bool recording_ = false;
  PlainScreenBreak screenBreak_;
  std::unique_ptr<PlainBoxLines> boxLines_;  // plain mode only
};

class TerminalConsole : public SessionConsole {
 public:
  // Works over the given descriptors (standard input and output in the program). Where the input
  // is a terminal, its mode is saved and the program's key mode set at once, for the whole life
  // of the console; line answers are typed in that mode too, echoed and edited by the console.
  // Where the output is a terminal, clearing and colours use the sequences of terminal type term
  // (the TERM variable in the program). A terminal without a clear (term null, for --plain, or
  // unset, dumb or unknown) gets plain mode: no sequence at all, each screen after a blank line.
  TerminalConsole(int inputFd, int outputFd, const char* term);
  ~TerminalConsole() override;
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  // Text passes the safe-text filter here: nothing printed can act as a control sequence.
  std::ostream& out() override { return out_; }
  Key readKey() override;
  int readAnswer() override;
  std::string readWord() override;
  void echo(const Key& key) override;
  // Clears the user's own screen, keeping what has scrolled into the terminal's scrollback; in
  // plain mode, ends the line and leaves one blank line.
  void clearScreen() override;
  // Resets the colours, then clears: the closing line is printed in the user's colours.
  void closeScreen() override;
  void pause() override;

  bool isInputTerminal() const override { return modes_ != nullptr; }
  bool isOutputTerminal() const override { return outputIsTerminal_; }

  // The start-up "color 0a": light green on black for the rest of the run. Only on a terminal
  // that has colours, and not when NO_COLOR is set.
  void startColours() override;

  // Rewrites the line above the cursor with text (the loading line's progress). Only on a
  // terminal that can move the cursor up; nothing otherwise.
  void rewritePreviousLine(const std::string& text) override;

  // Makes this the console that the signals reach. From now on SIGINT, SIGTERM, SIGHUP and
  // SIGQUIT remove the file registered for removal, give the terminal back without ever waiting
  // on it, and end the program by the same signal; Ctrl-Z gives the terminal back before
  // stopping, and `fg` sets the program's mode again and draws its screen anew. A hang-up (the
  // input's terminal gone) ends the program as SIGHUP does. SIGXFSZ is ignored, so that a write
  // beyond the file size limit fails as a write.
  void handleSignals() override;

  // Resets the colours and gives the terminal back the mode it had when the console was made.
  // Called by the destructor; may be called earlier (before a fatal message on stderr).
  void restoreTerminal() override;

 private:
  struct Modes;  // the saved and key modes of a terminal input
  enum ModeIndex : int { kSavedMode = 0, kKeyMode = 1 };

  // Platform parts (console_posix.cpp).
  void setUpModes();
  void setMode(int mode);
  void discardTyped();
  TerminalControl terminalControl();
  void releaseSignals();
  static void onFatalSignal(int signo);
  static void onStop(int signo);
  static void onContinue(int signo);
  [[noreturn]] static void endBySignal(int signo);
  static void giveBackForSignal();

  // A sequence of the terminal's, not part of the screen's text.
  void raw(const std::string& sequence);
  // Control bytes of the console's own that belong to the screen's text (and its redraw).
  void showUnfiltered(const std::string& bytes);
  void flushOutput();
  void redrawIfResumed();
  void resetColours();
  void showErase(std::size_t columns);

  int inputFd_;
  int outputFd_;
  bool outputIsTerminal_;
  TerminalSequences sequences_;  // all empty when the output is not a terminal, or in plain mode
  bool plain_ = false;           // a terminal output without a clear
  // Read by the signal handlers of the registered console.
  volatile sig_atomic_t mode_ = kSavedMode;
  volatile sig_atomic_t coloursOn_ = 0;
  volatile sig_atomic_t stopping_ = 0;  // between Ctrl-Z and the return from the stop
  volatile sig_atomic_t resumed_ = 0;   // continued after Ctrl-Z: the screen is to be drawn
  int signalFd_ = -1;                   // the output terminal opened non-blocking for handlers
  bool ownsSignals_ = false;
  std::unique_ptr<Modes> modes_;  // null when the input is not a terminal
  FdOutputBuffer outBuffer_;
  ScreenRecordBuffer recordBuffer_;
  SafeTextBuffer safeBuffer_;
  std::ostream out_;
  std::unique_ptr<KeyInput> input_;
};
