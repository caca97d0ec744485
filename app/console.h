// The console on a Linux terminal: unechoed key reads, line answers, clearing, colours, pausing,
// and leaving the terminal as it was found on every way out.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "analysis/console_interface.h"
#include "app/fd_stream.h"
#include "app/key_decoder.h"
#include "app/terminal_sequences.h"

class TerminalConsole : public Console {
 public:
  // Works over the given descriptors (standard input and output in the program). Where the input
  // is a terminal, its mode is saved and the program's key mode set at once, for the whole life
  // of the console; line answers borrow the terminal's line mode while they read. Where the
  // output is a terminal, clearing, colours and the program's own screen use the sequences of
  // terminal type term (the TERM variable in the program); a type without them gets plain text.
  TerminalConsole(int inputFd, int outputFd, const char* term);
  ~TerminalConsole() override;
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  std::ostream& out() override { return out_; }
  Key readKey() override;
  int readAnswer() override;
  std::string readWord() override;
  // The first clear also enters the program's own screen (the alternate screen), so that the
  // user's screen and scrollback come back at the end; what was printed before it, the loading
  // line or a failed start, stays on the user's screen.
  void clearScreen() override;
  // Resets the colours and leaves the program's screen (clears the screen where there is none).
  void closeScreen() override;
  void pause() override;

  bool isInputTerminal() const { return modes_ != nullptr; }
  bool isOutputTerminal() const { return outputIsTerminal_; }

  // The start-up "color 0a": light green on black for the rest of the run. Only on a terminal
  // that has colours, and not when NO_COLOR is set.
  void startColours();

  // Rewrites the line above the cursor with text (the loading line's progress). Only on a
  // terminal that can move the cursor up; nothing otherwise.
  void rewritePreviousLine(const std::string& text);

  // From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the file registered for removal,
  // restore the terminal without ever waiting on it, and end the program with status 128 + the
  // signal number (130 for Ctrl-C); Ctrl-Z restores it before stopping, and `fg` sets the
  // program's mode and screen again. SIGXFSZ is ignored, so that a write beyond the file size
  // limit fails as a write. One console of the process at a time may take the signals.
  void handleSignals();

  // Resets the colours, leaves the program's screen and gives the terminal back the mode it had
  // when the console was made. Called by the destructor; may be called earlier (before a fatal
  // message on stderr).
  void restoreTerminal();

 private:
  struct Modes;         // the saved, key and line termios of a terminal input
  class LineModeScope;  // the terminal's line mode for one line read

  void setMode(int mode);
  void flushOutput();
  void discardPending();
  bool takeLine();
  int peekLineByte();
  int nextLineByte();
  void resetColours();
  void leaveProgramScreen();

  int inputFd_;
  int outputFd_;
  bool outputIsTerminal_;
  TerminalSequences sequences_;  // all empty when the output is not a terminal
  bool coloursOn_ = false;
  bool onProgramScreen_ = false;
  bool ownsSignals_ = false;
  std::unique_ptr<Modes> modes_;  // null when the input is not a terminal
  FdOutputBuffer outBuffer_;
  std::ostream out_;
  // Bytes read from the input and not used yet. On a terminal these are keys typed ahead; on a
  // pipe, keys and lines are one byte stream.
  InputQueue input_;
  // On a terminal, the line that line reads are taking words from: as in the Windows console,
  // where the C library holds the rest of a line apart from the keystrokes still to come.
  std::string line_;
  std::size_t linePosition_ = 0;
  KeyDecoder decoder_;
  bool midLine_ = false;  // a word was taken from a line whose rest is still pending
};
