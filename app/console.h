// The console on a Linux terminal: unechoed key reads, line answers, clearing, colours, pausing,
// and leaving the terminal as it was found on every way out.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "analysis/console_interface.h"
#include "app/fd_stream.h"
#include "app/key_decoder.h"

class TerminalConsole : public Console {
 public:
  // Works over the given descriptors (standard input and output in the program). Terminal effects
  // apply only where a descriptor is a terminal: raw and line modes on input, clearing and colours
  // on output.
  TerminalConsole(int inputFd, int outputFd);
  ~TerminalConsole() override;
  TerminalConsole(const TerminalConsole&) = delete;
  TerminalConsole& operator=(const TerminalConsole&) = delete;

  std::ostream& out() override { return out_; }
  int readKey() override;
  int readAnswer() override;
  std::string readWord() override;
  void clearScreen() override;
  void pause() override;

  bool isInputTerminal() const { return modes_ != nullptr; }
  bool isOutputTerminal() const { return outputIsTerminal_; }

  // The start-up "color 0a": light green on black for the rest of the run. Only on a terminal,
  // and not when NO_COLOR is set.
  void startColours();

  // Rewrites the line above the cursor with text (the loading line's progress). Only on a
  // terminal; nothing otherwise.
  void rewritePreviousLine(const std::string& text);

  // From now on SIGINT, SIGTERM and SIGHUP restore the terminal and end the program with status
  // 128 + the signal number (130 for Ctrl-C); Ctrl-Z restores it before stopping, and `fg`
  // re-applies the mode in force. One console of the process at a time may take the signals.
  void handleSignals();

  // Resets the colours and gives the terminal back the mode it had when the console was made.
  // Called by the destructor; may be called earlier (before a fatal message on stderr).
  void restoreTerminal();

 private:
  struct Modes;     // the saved, raw and line termios of a terminal input
  class ModeScope;  // one read's mode, restored when the read ends

  void flushOutput();
  void discardPending();
  int nextLineByte();

  int inputFd_;
  int outputFd_;
  bool outputIsTerminal_;
  bool coloursOn_ = false;
  bool ownsSignals_ = false;
  std::unique_ptr<Modes> modes_;  // null when the input is not a terminal
  FdOutputBuffer outBuffer_;
  std::ostream out_;
  // On a terminal, keys and typed lines are two queues, as the Windows console keeps keystrokes
  // apart from the rest of a line read by the C library. On a pipe both are one byte stream.
  InputQueue lineInput_;
  InputQueue keyQueue_;
  InputQueue* keyInput_;
  KeyDecoder decoder_;
  bool midLine_ = false;  // a word was taken from a line whose rest is still pending
};
