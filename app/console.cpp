// The console on a Linux terminal: the one place that knows termios and escape sequences.
#include "app/console.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Escape sequences written to the terminal. Each is written only when the output is a terminal.

// SGR 92;40: bright green text (the "a" of "color 0a") on a black background (its "0").
constexpr char kLightGreenOnBlack[] = "\x1b[92;40m";
// SGR 0: default colours and attributes again.
constexpr char kResetColours[] = "\x1b[0m";
// "cls": CUP (cursor home), ED 2 (erase the display, in the current background colour) and ED 3
// (erase the scrollback too, as the Windows command does).
constexpr char kClearScreen[] = "\x1b[H\x1b[2J\x1b[3J";
// CUU 1 (cursor one line up), then CR: the start of the line above.
constexpr char kStartOfPreviousLine[] = "\x1b[A\r";
// EL 0: erase from the cursor to the end of the line.
constexpr char kEraseToEndOfLine[] = "\x1b[K";

bool isBlank(int byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

void setTermios(int fd, const termios& mode) {
  while (::tcsetattr(fd, TCSANOW, &mode) != 0 && errno == EINTR) {
  }
}

// What the signal handlers need, kept where they can reach it with async-signal-safe calls only.
enum ModeIndex : int { kSavedMode = 0, kRawMode = 1, kLineMode = 2 };
struct SignalRestore {
  int inputFd = -1;   // the terminal whose mode is restored; -1 when the input is not one
  int outputFd = -1;  // the terminal the colour reset goes to; -1 when the output is not one
  termios modes[3] = {};
  volatile sig_atomic_t mode = kSavedMode;  // which of the three is in force
  volatile sig_atomic_t coloursOn = 0;
};
SignalRestore gRestore;

constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void restoreForSignal() {
  if (gRestore.outputFd >= 0 && gRestore.coloursOn != 0) {
    writeAll(gRestore.outputFd, kResetColours, sizeof kResetColours - 1);
  }
  if (gRestore.inputFd >= 0) {
    setTermios(gRestore.inputFd, gRestore.modes[kSavedMode]);
  }
}

void reapplyForSignal() {
  // Only in the foreground: a background process that sets the mode would be stopped again.
  if (gRestore.inputFd >= 0 && ::tcgetpgrp(gRestore.inputFd) == ::getpgrp()) {
    setTermios(gRestore.inputFd, gRestore.modes[gRestore.mode]);
  }
  if (gRestore.outputFd >= 0 && gRestore.coloursOn != 0) {
    writeAll(gRestore.outputFd, kLightGreenOnBlack, sizeof kLightGreenOnBlack - 1);
  }
}

void onFatalSignal(int signo) {
  restoreForSignal();
  if (gRestore.outputFd >= 0) {
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
  restoreForSignal();
  // Stop for real: the default action, with the signal unblocked inside its own handler.
  installHandler(signo, SIG_DFL);
  sigset_t stopOnly;
  sigemptyset(&stopOnly);
  sigaddset(&stopOnly, signo);
  ::sigprocmask(SIG_UNBLOCK, &stopOnly, nullptr);
  ::raise(signo);
  // Continued (or never stopped: the kernel ignores a stop of an orphaned process group).
  installHandler(signo, onStop);
  reapplyForSignal();
  errno = savedErrno;
}

void onContinue(int) {
  int savedErrno = errno;
  reapplyForSignal();
  errno = savedErrno;
}

// Drops the LF of a CR LF pair whose CR was taken as an Enter key (a script read from a pipe).
void dropLineFeedOfEnter(KeyDecoder& decoder, InputQueue& input, bool shared) {
  if (decoder.takeCarriageReturn() && shared && input.peek() == '\n') {
    input.next();
  }
}

}  // namespace

struct TerminalConsole::Modes {
  termios saved;  // as found, given back at every exit
  termios raw;    // for one key read
  termios line;   // for one line answer
};

// Puts the terminal into one read's mode and gives back the saved mode when the read ends,
// however it ends.
class TerminalConsole::ModeScope {
 public:
  ModeScope(TerminalConsole& console, ModeIndex mode) : console_(console) { apply(mode); }
  ~ModeScope() { apply(kSavedMode); }
  ModeScope(const ModeScope&) = delete;
  ModeScope& operator=(const ModeScope&) = delete;

 private:
  void apply(ModeIndex mode) {
    const Modes* modes = console_.modes_.get();
    if (modes == nullptr) {
      return;
    }
    if (console_.ownsSignals_) {
      gRestore.mode = mode;
    }
    const termios& wanted = mode == kRawMode    ? modes->raw
                            : mode == kLineMode ? modes->line
                                                : modes->saved;
    setTermios(console_.inputFd_, wanted);
  }

  TerminalConsole& console_;
};

TerminalConsole::TerminalConsole(int inputFd, int outputFd)
    : inputFd_(inputFd),
      outputFd_(outputFd),
      outputIsTerminal_(::isatty(outputFd) == 1),
      outBuffer_(outputFd),
      out_(&outBuffer_),
      lineInput_(inputFd),
      keyQueue_(inputFd),
      keyInput_(&lineInput_) {
  termios saved;
  if (::isatty(inputFd) != 1 || ::tcgetattr(inputFd, &saved) != 0) {
    return;
  }
  modes_ = std::make_unique<Modes>();
  modes_->saved = saved;
  termios raw = saved;
  // No line editing: each key is delivered at once, one byte at least, with no time limit.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
  // No echo: the screens echo the keys they want shown themselves.
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  // No Ctrl-V literal-next or Ctrl-O discard processing: those keys arrive as codes like others.
  raw.c_lflag &= ~static_cast<tcflag_t>(IEXTEN);
  // ISIG stays on: Ctrl-C still raises SIGINT, and Ctrl-Z SIGTSTP, during a key read.
  // Enter must arrive as CR (13), the code the screens expect: no CR-to-NL mapping, no ignoring.
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IGNCR | INLCR);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  modes_->raw = raw;
  termios line = saved;
  // The normal line mode, whatever the terminal was left in: edited lines, echoed as typed,
  // Enter ending the line.
  line.c_lflag |= ICANON | ECHO;
  line.c_iflag |= ICRNL;
  line.c_iflag &= ~static_cast<tcflag_t>(IGNCR | INLCR);
  modes_->line = line;
  keyInput_ = &keyQueue_;
}

TerminalConsole::~TerminalConsole() {
  restoreTerminal();
  if (ownsSignals_) {
    for (int signo : kFatalSignals) {
      installHandler(signo, SIG_DFL);
    }
    installHandler(SIGTSTP, SIG_DFL);
    installHandler(SIGCONT, SIG_DFL);
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
    gRestore.modes[kSavedMode] = modes_->saved;
    gRestore.modes[kRawMode] = modes_->raw;
    gRestore.modes[kLineMode] = modes_->line;
    gRestore.mode = kSavedMode;
    gRestore.inputFd = inputFd_;
  }
  // A descriptor of its own: the Access reader points standard output at /dev/null while it
  // reads, and a Ctrl-C then must still reach the terminal to reset its colours.
  gRestore.outputFd = outputIsTerminal_ ? ::fcntl(outputFd_, F_DUPFD_CLOEXEC, 3) : -1;
  gRestore.coloursOn = coloursOn_ ? 1 : 0;
  ownsSignals_ = true;
  for (int signo : kFatalSignals) {
    installHandler(signo, onFatalSignal);
  }
  installHandler(SIGTSTP, onStop);
  installHandler(SIGCONT, onContinue);
}

void TerminalConsole::restoreTerminal() {
  if (coloursOn_) {
    if (ownsSignals_) {
      gRestore.coloursOn = 0;
    }
    coloursOn_ = false;
    out_ << kResetColours;
  }
  flushOutput();
  if (modes_ != nullptr) {
    if (ownsSignals_) {
      gRestore.mode = kSavedMode;
    }
    setTermios(inputFd_, modes_->saved);
  }
}

void TerminalConsole::startColours() {
  const char* noColor = std::getenv("NO_COLOR");
  if (!outputIsTerminal_ || (noColor != nullptr && noColor[0] != '\0')) {
    return;
  }
  coloursOn_ = true;
  if (ownsSignals_) {
    gRestore.coloursOn = 1;
  }
  out_ << kLightGreenOnBlack;
}

void TerminalConsole::rewritePreviousLine(const std::string& text) {
  if (!outputIsTerminal_) {
    return;
  }
  out_ << kStartOfPreviousLine << text << kEraseToEndOfLine << '\n';
  flushOutput();
}

void TerminalConsole::flushOutput() {
  out_.flush();
}

void TerminalConsole::clearScreen() {
  if (outputIsTerminal_) {
    out_ << kClearScreen;
  }
}

void TerminalConsole::pause() {
  out_ << "Press any key to continue . . . ";
  readKey();
}

int TerminalConsole::readKey() {
  if (decoder_.hasKey()) {
    return decoder_.nextKey();
  }
  // The mode is set before the prompt is flushed, so that a key typed once the prompt shows is
  // never echoed by the terminal.
  ModeScope scope(*this, kRawMode);
  flushOutput();
  while (!decoder_.hasKey()) {
    int byte = keyInput_->next(decoder_.isMidSequence() ? kEscapeWaitMs : -1);
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
    lineInput_.clear();
    keyQueue_.clear();
    decoder_.reset();
    ::tcflush(inputFd_, TCIFLUSH);
  } else if (midLine_) {
    // A pipe is a script: only the rest of the line already begun is dropped.
    int byte;
    do {
      byte = lineInput_.next();
    } while (byte >= 0 && byte != '\n');
  }
  midLine_ = false;
}

int TerminalConsole::nextLineByte() {
  int byte = lineInput_.next();
  if (byte == InputQueue::kEnded) {
    throw EndOfInput();
  }
  return byte;
}

int TerminalConsole::readAnswer() {
  discardPending();
  ModeScope scope(*this, kLineMode);
  flushOutput();
  dropLineFeedOfEnter(decoder_, lineInput_, keyInput_ == &lineInput_);
  int first = nextLineByte();
  if (first == '\r' && lineInput_.peek() == '\n') {
    lineInput_.next();
    return '\n';  // an empty line ended by CR LF
  }
  int byte = first;
  while (byte != '\n' && byte != InputQueue::kEnded) {
    byte = lineInput_.next();
  }
  return first;
}

std::string TerminalConsole::readWord() {
  ModeScope scope(*this, kLineMode);
  flushOutput();
  dropLineFeedOfEnter(decoder_, lineInput_, keyInput_ == &lineInput_);
  int byte = nextLineByte();
  while (isBlank(byte)) {
    byte = nextLineByte();
  }
  std::string word(1, static_cast<char>(byte));
  for (byte = lineInput_.peek(); byte >= 0 && !isBlank(byte); byte = lineInput_.peek()) {
    word += static_cast<char>(lineInput_.next());
  }
  midLine_ = true;
  return word;
}
