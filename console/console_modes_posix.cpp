// The console's terminal on POSIX: termios modes, and the signals that must give the terminal
// back. The handlers reach the one console registered for them, and read its own state.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "console/console_posix.h"
#include "console/signal_cleanup.h"

struct TerminalConsole::Modes {
  termios modes[2];  // as found (given back at every exit), for keys
};

namespace {

// The console the signal handlers act on; set by handleSignals, one at a time.
TerminalConsole* gSignalConsole = nullptr;

constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void setTermios(int fd, const termios& mode) {
  // TCSANOW: a terminal whose output is stopped (Ctrl-S) would never drain.
  while (::tcsetattr(fd, TCSANOW, &mode) != 0 && errno == EINTR) {
  }
}

void installHandler(int signo, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signo, &action, nullptr);
}

// The signal's own action (end, stop), taken at once: unblocked inside its own handler.
void raiseWithDefaultAction(int signo) {
  installHandler(signo, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signo);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signo);
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

TerminalConsole::TerminalConsole(int inputFd, int outputFd, const char* term)
    : inputFd_(inputFd),
      outputFd_(outputFd),
      outputIsTerminal_(isTerminal(outputFd)),
      outBuffer_(outputFd),
      recordBuffer_(&outBuffer_),
      safeBuffer_(&recordBuffer_, replacementForTerminal()),
      out_(&safeBuffer_) {
  showStoredTextInline(out_);
  setUpModes();
  if (outputIsTerminal_) {
    sequences_ = readTerminalSequences(term);
    // Without a clear the screens cannot be drawn as screens: then nothing but their text, for a
    // screen reader or a braille display as much as for a terminal that lacks the sequences.
    plain_ = sequences_.clearScreen.empty();
    if (plain_) {
      sequences_ = TerminalSequences();
      recordBuffer_.takeOutBoxes();
    }
  }
  if (modes_ == nullptr) {
    input_ = std::make_unique<ScriptInput>(inputFd);
  } else {
    input_ = std::make_unique<TerminalInput>(inputFd, out_, terminalControl());
  }
}

TerminalConsole::~TerminalConsole() {
  restoreTerminal();
  releaseSignals();
}

void TerminalConsole::setUpModes() {
  termios saved;
  if (!isTerminal(inputFd_) || ::tcgetattr(inputFd_, &saved) != 0) {
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
  setMode(kKeyMode);
}

TerminalControl TerminalConsole::terminalControl() {
  TerminalControl control;
  control.discardTyped = [this] { ::tcflush(inputFd_, TCIFLUSH); };
  control.onInterrupted = [this] { redrawIfResumed(); };
  control.showErase = [this](std::size_t columns) { showErase(columns); };
  control.onHangUp = [this] {
    if (ownsSignals_) {
      endBySignal(SIGHUP);
    }
  };
  control.endOfFileKey = modes_->modes[kSavedMode].c_cc[VEOF];
  control.eraseKey = modes_->modes[kSavedMode].c_cc[VERASE];
  control.killKey = modes_->modes[kSavedMode].c_cc[VKILL];
  return control;
}

void TerminalConsole::setMode(int mode) {
  if (modes_ == nullptr) {
    return;
  }
  mode_ = mode;
  setTermios(inputFd_, modes_->modes[mode]);
}

void TerminalConsole::handleSignals() {
  gSignalConsole = this;
  ownsSignals_ = true;
  // Also reaches the terminal while the Access reader points standard output at /dev/null.
  signalFd_ = outputIsTerminal_ ? openForSignals(outputFd_) : -1;
  for (int signo : kFatalSignals) {
    installHandler(signo, onFatalSignal);
  }
  installHandler(SIGTSTP, onStop);
  installHandler(SIGCONT, onContinue);
  installHandler(SIGXFSZ, SIG_IGN);
}

void TerminalConsole::releaseSignals() {
  if (!ownsSignals_) {
    return;
  }
  for (int signo : kFatalSignals) {
    installHandler(signo, SIG_DFL);
  }
  installHandler(SIGTSTP, SIG_DFL);
  installHandler(SIGCONT, SIG_DFL);
  installHandler(SIGXFSZ, SIG_DFL);
  gSignalConsole = nullptr;
  if (signalFd_ >= 0) {
    ::close(signalFd_);
  }
  signalFd_ = -1;
}

// Async-signal-safe: writes what the console's state asks for without waiting (a terminal whose
// output is stopped takes nothing, and the handler goes on), then the terminal's own mode.
void TerminalConsole::giveBackForSignal() {
  const TerminalConsole& console = *gSignalConsole;
  // No copy: a handler must not allocate.
  const std::string& reset = console.sequences_.resetColours;
  if (console.signalFd_ >= 0 && console.coloursOn_ != 0) {
    writeAll(console.signalFd_, reset.data(), reset.size());
  }
  if (console.modes_ != nullptr) {
    setTermios(console.inputFd_, console.modes_->modes[kSavedMode]);
  }
}

void TerminalConsole::endBySignal(int signo) {
  unlinkOnFatalSignal();
  giveBackForSignal();
  if (gSignalConsole->signalFd_ >= 0) {
    // The shell's prompt then starts on a line of its own.
    writeAll(gSignalConsole->signalFd_, "\n", 1);
  }
  // Ended by the signal itself, so that a calling shell or script sees how the program ended.
  raiseWithDefaultAction(signo);
  ::_exit(128 + signo);  // only if the signal did not end the program
}

void TerminalConsole::onFatalSignal(int signo) {
  endBySignal(signo);
}

void TerminalConsole::onStop(int signo) {
  const int savedErrno = errno;
  TerminalConsole& console = *gSignalConsole;
  console.stopping_ = 1;
  giveBackForSignal();
  // Stop for real.
  raiseWithDefaultAction(signo);
  // Continued (or never stopped: the kernel ignores a stop of an orphaned process group). The
  // mode now; the screen is drawn by the program itself, where it waits for input.
  installHandler(signo, onStop);
  if (console.modes_ != nullptr && ::tcgetpgrp(console.inputFd_) == ::getpgrp()) {
    setTermios(console.inputFd_, console.modes_->modes[console.mode_]);
  }
  console.resumed_ = 1;
  console.stopping_ = 0;
  errno = savedErrno;
}

// Continued after a stop that did not go through onStop (SIGSTOP): the shell may have set its
// own mode meanwhile. Only in the foreground: a background process that sets the mode would be
// stopped again.
void TerminalConsole::onContinue(int) {
  const int savedErrno = errno;
  const TerminalConsole& console = *gSignalConsole;
  if (console.stopping_ == 0 && console.modes_ != nullptr &&
      ::tcgetpgrp(console.inputFd_) == ::getpgrp()) {
    setTermios(console.inputFd_, console.modes_->modes[console.mode_]);
  }
  errno = savedErrno;
}
