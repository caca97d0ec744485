// The console on a Linux terminal: the one place that knows termios and writes escape sequences.
#include "app/console.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "app/signal_cleanup.h"

namespace {

// White space between words: what isspace says in the C locale, whatever locale is in force.
bool isWhiteSpace(int byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
         byte == '\r';
}

void setTermios(int fd, const termios& mode) {
  // TCSANOW: a terminal whose output is stopped (Ctrl-S) would never drain.
  while (::tcsetattr(fd, TCSANOW, &mode) != 0 && errno == EINTR) {
  }
}

// A sequence copied where a signal handler can write it without touching the heap.
struct FixedSequence {
  char bytes[64] = {};
  std::size_t size = 0;

  void set(const std::string& sequence) {
    size = sequence.size() <= sizeof bytes ? sequence.size() : 0;
    std::memcpy(bytes, sequence.data(), size);
  }
};

// What the signal handlers need, kept where they can reach it with async-signal-safe calls only.
enum ModeIndex : int { kSavedMode = 0, kKeyMode = 1, kLineMode = 2 };
struct SignalRestore {
  int inputFd = -1;   // the terminal whose mode is restored; -1 when the input is not one
  int outputFd = -1;  // the terminal's own non-blocking descriptor; -1 when the output is not one
  termios modes[3] = {};
  FixedSequence colours;
  FixedSequence resetColours;
  FixedSequence enterScreen;
  FixedSequence leaveScreen;
  volatile sig_atomic_t mode = kSavedMode;  // which of the three is in force
  volatile sig_atomic_t coloursOn = 0;
  volatile sig_atomic_t onProgramScreen = 0;
  volatile sig_atomic_t stopping = 0;  // between Ctrl-Z and the return from the stop
};
SignalRestore gRestore;

constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Never waits: a terminal whose output is stopped takes nothing, and the handler goes on.
void writeForSignal(const FixedSequence& sequence) {
  if (gRestore.outputFd >= 0 && sequence.size > 0) {
    writeAll(gRestore.outputFd, sequence.bytes, sequence.size);
  }
}

void restoreForSignal() {
  if (gRestore.coloursOn != 0) {
    writeForSignal(gRestore.resetColours);
  }
  if (gRestore.onProgramScreen != 0) {
    writeForSignal(gRestore.leaveScreen);
  }
  if (gRestore.inputFd >= 0) {
    setTermios(gRestore.inputFd, gRestore.modes[kSavedMode]);
  }
}

void reapplyModeForSignal() {
  // Only in the foreground: a background process that sets the mode would be stopped again.
  if (gRestore.inputFd >= 0 && ::tcgetpgrp(gRestore.inputFd) == ::getpgrp()) {
    setTermios(gRestore.inputFd, gRestore.modes[gRestore.mode]);
  }
}

void onFatalSignal(int signo) {
  unlinkOnFatalSignal();
  const bool leftScreen = gRestore.onProgramScreen != 0;
  restoreForSignal();
  if (!leftScreen && gRestore.outputFd >= 0) {
    // The shell's prompt then starts on a line of its own.
    writeAll(gRestore.outputFd, "\n", 1);
  }
  ::_exit(128 + signo);
}

void installHandler(int signo, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signo, &action, nullptr);
}

void onStop(int signo) {
  int savedErrno = errno;
  gRestore.stopping = 1;
  restoreForSignal();
  // Stop for real: the default action, with the signal unblocked inside its own handler.
  installHandler(signo, SIG_DFL);
  sigset_t stopOnly;
  sigemptyset(&stopOnly);
  sigaddset(&stopOnly, signo);
  ::sigprocmask(SIG_UNBLOCK, &stopOnly, nullptr);
  ::raise(signo);
  // Continued (or never stopped: the kernel ignores a stop of an orphaned process group). The
  // program's screen comes back empty: the screens draw afresh after the next key.
  installHandler(signo, onStop);
  reapplyModeForSignal();
  if (gRestore.onProgramScreen != 0) {
    writeForSignal(gRestore.enterScreen);
  }
  if (gRestore.coloursOn != 0) {
    writeForSignal(gRestore.colours);
  }
  gRestore.stopping = 0;
  errno = savedErrno;
}

// Continued after a stop that did not go through onStop (SIGSTOP): the shell may have set its
// own mode meanwhile.
void onContinue(int) {
  int savedErrno = errno;
  if (gRestore.stopping == 0) {
    reapplyModeForSignal();
  }
  errno = savedErrno;
}

// Drops the LF of a CR LF pair whose CR was taken as an Enter key (a script read from a pipe).
void dropLineFeedOfEnter(KeyDecoder& decoder, InputQueue& input, bool isPipe) {
  if (decoder.takeCarriageReturn() && isPipe && input.peek() == '\n') {
    input.next();
  }
}

// The terminal the output goes to, opened anew so that it can be non-blocking without making
// standard output (shared with the shell) non-blocking too.
int openForSignals(int outputFd) {
  char name[256];
  if (::ttyname_r(outputFd, name, sizeof name) != 0) {
    return -1;
  }
  return ::open(name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

}  // namespace

struct TerminalConsole::Modes {
  termios modes[3];  // as found (given back at every exit), for keys, for one line answer
};

// Puts the terminal into its line mode for one line read and gives back the key mode when the
// read ends, however it ends.
class TerminalConsole::LineModeScope {
 public:
  explicit LineModeScope(TerminalConsole& console) : console_(console) {
    console_.setMode(kLineMode);
  }
  ~LineModeScope() { console_.setMode(kKeyMode); }
  LineModeScope(const LineModeScope&) = delete;
  LineModeScope& operator=(const LineModeScope&) = delete;

 private:
  TerminalConsole& console_;
};

TerminalConsole::TerminalConsole(int inputFd, int outputFd, const char* term)
    : inputFd_(inputFd),
      outputFd_(outputFd),
      outputIsTerminal_(::isatty(outputFd) == 1),
      outBuffer_(outputFd),
      out_(&outBuffer_),
      input_(inputFd) {
  if (outputIsTerminal_) {
    sequences_ = readTerminalSequences(term);
  }
  termios saved;
  if (::isatty(inputFd) != 1 || ::tcgetattr(inputFd, &saved) != 0) {
    return;
  }
  modes_ = std::make_unique<Modes>();
  modes_->modes[kSavedMode] = saved;
  termios keys = saved;
  // No line editing: each key is delivered at once, one byte at least, with no time limit.
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON);
  // No echo: the screens echo the keys they want shown themselves, and keys typed while the
  // program is busy wait unseen for the read that takes them.
  keys.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  // No Ctrl-V literal-next or Ctrl-O discard processing: those keys arrive as codes like others.
  keys.c_lflag &= ~static_cast<tcflag_t>(IEXTEN);
  // ISIG stays on: Ctrl-C still raises SIGINT, and Ctrl-Z SIGTSTP.
  // Enter must arrive as CR (13), the code the screens expect: no CR-to-NL mapping, no ignoring.
  keys.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IGNCR | INLCR);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  modes_->modes[kKeyMode] = keys;
  termios line = saved;
  // The normal line mode, whatever the terminal was left in: edited lines, echoed as typed,
  // Enter ending the line.
  line.c_lflag |= ICANON | ECHO;
  line.c_iflag |= ICRNL;
  line.c_iflag &= ~static_cast<tcflag_t>(IGNCR | INLCR);
  modes_->modes[kLineMode] = line;
  setMode(kKeyMode);
}

TerminalConsole::~TerminalConsole() {
  restoreTerminal();
  if (ownsSignals_) {
    for (int signo : kFatalSignals) {
      installHandler(signo, SIG_DFL);
    }
    installHandler(SIGTSTP, SIG_DFL);
    installHandler(SIGCONT, SIG_DFL);
    installHandler(SIGXFSZ, SIG_DFL);
    gRestore.inputFd = -1;
    if (gRestore.outputFd >= 0) {
      ::close(gRestore.outputFd);
    }
    gRestore.outputFd = -1;
  }
}

void TerminalConsole::handleSignals() {
  gRestore.inputFd = -1;
  if (modes_ != nullptr) {
    std::memcpy(gRestore.modes, modes_->modes, sizeof gRestore.modes);
    gRestore.inputFd = inputFd_;
  }
  gRestore.mode = modes_ != nullptr ? kKeyMode : kSavedMode;
  // Also reaches the terminal while the Access reader points standard output at /dev/null.
  gRestore.outputFd = outputIsTerminal_ ? openForSignals(outputFd_) : -1;
  gRestore.colours.set(sequences_.lightGreenOnBlack);
  gRestore.resetColours.set(sequences_.resetColours);
  gRestore.enterScreen.set(sequences_.enterProgramScreen);
  gRestore.leaveScreen.set(sequences_.leaveProgramScreen);
  gRestore.coloursOn = coloursOn_ ? 1 : 0;
  gRestore.onProgramScreen = onProgramScreen_ ? 1 : 0;
  ownsSignals_ = true;
  for (int signo : kFatalSignals) {
    installHandler(signo, onFatalSignal);
  }
  installHandler(SIGTSTP, onStop);
  installHandler(SIGCONT, onContinue);
  installHandler(SIGXFSZ, SIG_IGN);
}

void TerminalConsole::setMode(int mode) {
  if (modes_ == nullptr) {
    return;
  }
  if (ownsSignals_) {
    gRestore.mode = mode;
  }
  setTermios(inputFd_, modes_->modes[mode]);
}

void TerminalConsole::restoreTerminal() {
  resetColours();
  leaveProgramScreen();
  flushOutput();
  setMode(kSavedMode);
}

void TerminalConsole::resetColours() {
  if (!coloursOn_) {
    return;
  }
  if (ownsSignals_) {
    gRestore.coloursOn = 0;
  }
  coloursOn_ = false;
  out_ << sequences_.resetColours;
}

void TerminalConsole::leaveProgramScreen() {
  if (!onProgramScreen_) {
    return;
  }
  if (ownsSignals_) {
    gRestore.onProgramScreen = 0;
  }
  onProgramScreen_ = false;
  out_ << sequences_.leaveProgramScreen;
}

void TerminalConsole::startColours() {
  const char* noColor = std::getenv("NO_COLOR");
  if (sequences_.lightGreenOnBlack.empty() || (noColor != nullptr && noColor[0] != '\0')) {
    return;
  }
  coloursOn_ = true;
  if (ownsSignals_) {
    gRestore.coloursOn = 1;
  }
  out_ << sequences_.lightGreenOnBlack;
}

void TerminalConsole::rewritePreviousLine(const std::string& text) {
  if (sequences_.startOfPreviousLine.empty()) {
    return;
  }
  out_ << sequences_.startOfPreviousLine << text << sequences_.eraseToEndOfLine << '\n';
  flushOutput();
}

void TerminalConsole::flushOutput() {
  out_.flush();
}

void TerminalConsole::clearScreen() {
  if (!onProgramScreen_ && !sequences_.enterProgramScreen.empty()) {
    out_ << sequences_.enterProgramScreen;
    onProgramScreen_ = true;
    if (ownsSignals_) {
      gRestore.onProgramScreen = 1;
    }
  }
  out_ << sequences_.clearScreen;
}

void TerminalConsole::closeScreen() {
  // The closing line is printed in the user's colours, and a terminal that clears in the current
  // background colour is left in the user's colours too.
  resetColours();
  if (onProgramScreen_) {
    leaveProgramScreen();
  } else {
    clearScreen();
  }
}

void TerminalConsole::pause() {
  out_ << "Press any key to continue . . . ";
  readKey();
}

Key TerminalConsole::readKey() {
  if (decoder_.hasKey()) {
    return decoder_.nextKey();
  }
  flushOutput();
  while (!decoder_.hasKey()) {
    int byte = input_.next(decoder_.isMidSequence() ? kEscapeWaitMs : -1);
    if (byte == InputQueue::kTimedOut) {
      decoder_.timeOut();
    } else if (byte == InputQueue::kEnded) {
      decoder_.timeOut();
      if (!decoder_.hasKey()) {
        throw EndOfInput();
      }
    } else {
      decoder_.feed(static_cast<unsigned char>(byte));
    }
  }
  return decoder_.nextKey();
}

void TerminalConsole::discardPending() {
  if (modes_ != nullptr) {
    // Everything typed ahead goes: the terminal's queue and what the program has read of it.
    input_.clear();
    line_.clear();
    linePosition_ = 0;
    decoder_.reset();
    ::tcflush(inputFd_, TCIFLUSH);
  } else if (midLine_) {
    // A pipe is a script: only the rest of the line already begun is dropped.
    int byte;
    do {
      byte = input_.next();
    } while (byte >= 0 && byte != '\n');
  }
  midLine_ = false;
}

// A new line for the line reads on a terminal. Keys typed ahead come first, up to their Enter,
// echoed and edited as the terminal would have done had the line been asked for already; the
// rest is typed in the terminal's own line mode. False at the end of input.
bool TerminalConsole::takeLine() {
  line_.clear();
  linePosition_ = 0;
  const termios& saved = modes_->modes[kSavedMode];
  for (int byte = input_.next(0); byte >= 0; byte = input_.next(0)) {
    if (byte == saved.c_cc[VEOF]) {
      return !line_.empty();
    }
    if (byte == saved.c_cc[VERASE]) {
      if (!line_.empty()) {
        line_.pop_back();
        out_ << "\b \b";
      }
      continue;
    }
    const char typed = byte == '\r' ? '\n' : static_cast<char>(byte);
    line_ += typed;
    out_ << typed;
    if (typed == '\n') {
      return true;
    }
  }
  // The prompt shows only once the line mode is in force, so that what is typed from then on is
  // echoed and edited by the terminal.
  LineModeScope scope(*this);
  flushOutput();
  for (int byte = input_.next(); byte >= 0; byte = input_.next()) {
    // A CR can only be an Enter typed just before the mode changed.
    line_ += byte == '\r' ? '\n' : static_cast<char>(byte);
    if (byte == '\n' || byte == '\r') {
      return true;
    }
  }
  return !line_.empty();
}

int TerminalConsole::peekLineByte() {
  if (modes_ == nullptr) {
    return input_.peek();
  }
  if (linePosition_ == line_.size() && !takeLine()) {
    return InputQueue::kEnded;
  }
  return static_cast<unsigned char>(line_[linePosition_]);
}

int TerminalConsole::nextLineByte() {
  const int byte = peekLineByte();
  if (byte == InputQueue::kEnded) {
    throw EndOfInput();
  }
  if (modes_ == nullptr) {
    input_.next();
  } else {
    ++linePosition_;
  }
  return byte;
}

int TerminalConsole::readAnswer() {
  discardPending();
  if (modes_ == nullptr) {
    flushOutput();
  }
  dropLineFeedOfEnter(decoder_, input_, modes_ == nullptr);
  const int first = nextLineByte();
  if (modes_ != nullptr) {
    linePosition_ = line_.size();  // the rest of the line is dropped
    return first;
  }
  if (first == '\r' && input_.peek() == '\n') {
    input_.next();
    return '\n';  // an empty line ended by CR LF
  }
  int byte = first;
  while (byte != '\n' && byte != InputQueue::kEnded) {
    byte = input_.next();
  }
  return first;
}

std::string TerminalConsole::readWord() {
  if (modes_ == nullptr) {
    flushOutput();
  }
  dropLineFeedOfEnter(decoder_, input_, modes_ == nullptr);
  int byte = nextLineByte();
  while (isWhiteSpace(byte)) {
    byte = nextLineByte();
  }
  std::string word(1, static_cast<char>(byte));
  for (byte = peekLineByte(); byte >= 0 && !isWhiteSpace(byte); byte = peekLineByte()) {
    word += static_cast<char>(nextLineByte());
  }
  midLine_ = true;
  return word;
}
