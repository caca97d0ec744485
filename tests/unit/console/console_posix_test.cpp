// The terminal console over pipes (a script) and over a pseudo-terminal (a person typing).
#include "console/console_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "unit/fake_console.h"

namespace {

void writeString(int fd, const std::string& text) {
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Whatever arrives on fd within waitMs of quiet.
std::string readAvailable(int fd, int waitMs = 50) {
  std::string text;
  pollfd ready = {fd, POLLIN, 0};
  while (::poll(&ready, 1, waitMs) > 0) {
    char chunk[4096];
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) {
      break;
    }
    text.append(chunk, static_cast<std::size_t>(got));
  }
  return text;
}

// Reads fd until text has arrived (true) or five seconds have passed (false).
bool awaitText(int fd, const std::string& text, std::string& seen) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (seen.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    seen += readAvailable(fd, 20);
  }
  return true;
}

// A console whose input is a script in a pipe and whose output is collected from another pipe.
class PipeConsole {
 public:
  explicit PipeConsole(const std::string& script) {
    EXPECT_EQ(::pipe(input_), 0);
    EXPECT_EQ(::pipe(output_), 0);
    writeString(input_[1], script);
    ::close(input_[1]);
    console = std::make_unique<TerminalConsole>(input_[0], output_[1], "xterm-256color");
  }
  ~PipeConsole() {
    console.reset();
    ::close(input_[0]);
    ::close(output_[0]);
    ::close(output_[1]);
  }
  std::string output() {
    console->out().flush();
    return readAvailable(output_[0], 0);
  }

  std::unique_ptr<TerminalConsole> console;

 private:
  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
};

// A pseudo-terminal: the console works on the slave side, the test types on the master side.
class Pty {
 public:
  Pty() { EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
  ~Pty() {
    ::close(master);
    ::close(slave);
  }
  termios mode() const {
    termios now{};
    ::tcgetattr(slave, &now);
    return now;
  }

  int master = -1;
  int slave = -1;
};

bool sameMode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Runs one console operation per letter of ops (k: readKey, a: readAnswer, w: readWord) and
// writes down each result, up to the end of input.
std::string runOps(Console& console, const std::string& ops) {
  std::string results;
  try {
    for (char op : ops) {
      if (op == 'k') {
        results += "k" + std::to_string(console.readKey().code) + " ";
      } else if (op == 'a') {
        results += "a" + std::to_string(console.readAnswer()) + " ";
      } else {
        results += "w[" + console.readWord() + "] ";
      }
    }
  } catch (const EndOfInput&) {
    results += "END";
  }
  return results;
}

class ScopedNoColor {
 public:
  explicit ScopedNoColor(const char* value) {
    const char* old = std::getenv("NO_COLOR");
    hadOld_ = old != nullptr;
    old_ = hadOld_ ? old : "";
    if (value == nullptr) {
      ::unsetenv("NO_COLOR");
    } else {
      ::setenv("NO_COLOR", value, 1);
    }
  }
  ~ScopedNoColor() {
    if (hadOld_) {
      ::setenv("NO_COLOR", old_.c_str(), 1);
    } else {
      ::unsetenv("NO_COLOR");
    }
  }

 private:
  bool hadOld_;
  std::string old_;
};

}  // namespace

TEST(TerminalConsoleOnAPipe, ReadsAsTheScriptedFakeConsoleDoes) {
  struct Case {
    const char* script;
    const char* ops;
  } cases[] = {
      {"abc", "kkkk"},
      {"1\n2\n", "kkkkk"},
      {"y\n", "aa"},
      {"yes\nno\n", "aa"},
      {"\n", "a"},
      {"", "a"},
      {"x", "aa"},
      {"50 60\ny\n", "wwa"},
      {"50 60 70\ny\n", "wa"},
      {"50\v60\f70\n", "www"},
      {"  50\n\n 60\n", "www"},
      {"1y\n", "ka"},
      {"7 8\nabc\n", "wka"},
      {"50", "ww"},
      {"   \n", "w"},
      {"q\nyes\n", "kkaa"},
  };
  for (const Case& c : cases) {
    FakeConsole fake(c.script);
    PipeConsole real(c.script);
    EXPECT_EQ(runOps(*real.console, c.ops), runOps(fake, c.ops))
        << "script \"" << c.script << "\", operations " << c.ops;
  }
}

TEST(TerminalConsoleOnAPipe, DecodesSequencesAndCrLfLikeATerminal) {
  PipeConsole real("\x1b[A\x1b[24~\r\n\x7f\x1b");
  EXPECT_EQ(runOps(*real.console, "kkkkkkkk"), "k224 k72 k224 k134 k13 k8 k27 END");
}

TEST(TerminalConsoleOnAPipe, LineFeedOfACrLfEnterKeyIsNotAnEmptyAnswer) {
  PipeConsole real("1\r\ny\r\n\r\n");
  EXPECT_EQ(runOps(*real.console, "kkaaa"), "k49 k13 a121 a10 END");
}

TEST(TerminalConsoleOnAPipe, EndOfInputStaysEnded) {
  PipeConsole real("");
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_THROW(real.console->readKey(), EndOfInput);
    EXPECT_THROW(real.console->readAnswer(), EndOfInput);
    EXPECT_THROW(real.console->readWord(), EndOfInput);
  }
}

TEST(TerminalConsoleOnAPipe, WritesPlainTextOnly) {
  ScopedNoColor noColor(nullptr);
  PipeConsole real("k");
  EXPECT_FALSE(real.console->isInputTerminal());
  EXPECT_FALSE(real.console->isOutputTerminal());
  real.console->startColours();
  real.console->out() << "Loading ..." << std::endl;
  real.console->rewritePreviousLine("Loading ... 10 students");
  real.console->clearScreen();
  real.console->pause();
  real.console->out() << "done " << stored("A\tB\r\nC") << "\n";
  real.console->restoreTerminal();
  EXPECT_EQ(real.output(), "Loading ...\nPress any key to continue . . . done A^IB^M^JC\n");
}

TEST(TerminalConsoleOnAPipe, OutputIsFlushedBeforeEveryRead) {
  PipeConsole real("ky\n");
  real.console->out() << "key? ";
  real.console->readKey();
  EXPECT_EQ(real.output(), "key? ");
  real.console->out() << "answer? ";
  real.console->readAnswer();
  EXPECT_EQ(real.output(), "answer? ");
}

// Colours and clearing come from the terminal type's own sequences, on the user's own screen, and
// the colours go again before the end; a type without a clear gets plain mode, where a clear is
// the line ended and one blank line.
TEST(TerminalConsoleOnATerminal, ScreenColoursAndClearsFollowTheTerminalType) {
  ScopedNoColor noColor(nullptr);
  for (const char* term : {"xterm-256color", "xterm", "dumb", "no-such-terminal", ""}) {
    const TerminalSequences s = readTerminalSequences(term);
    Pty pty;
    {
      TerminalConsole console(pty.slave, pty.slave, term);
      EXPECT_TRUE(console.isInputTerminal());
      EXPECT_TRUE(console.isOutputTerminal());
      console.startColours();
      console.out() << "a";
      console.clearScreen();
      console.out() << "b";
      console.clearScreen();
      console.out() << "c";
    }
    // The terminal's output processing turns each newline into CR LF.
    const std::string clear = s.clearScreen.empty() ? "\r\n\r\n" : s.clearScreen;
    EXPECT_EQ(readAvailable(pty.master),
              s.lightGreenOnBlack + "a" + clear + "b" + clear + "c" + s.resetColours)
        << term;
  }
}

TEST(TerminalConsoleOnATerminal, ClosingLineIsPrintedInTheUsersColours) {
  ScopedNoColor noColor(nullptr);
  const TerminalSequences s = readTerminalSequences("xterm-256color");
  Pty pty;
  {
    TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
    console.startColours();
    console.clearScreen();
    console.closeScreen();
    console.out() << "bye";
  }
  EXPECT_EQ(readAvailable(pty.master),
            s.lightGreenOnBlack + s.clearScreen + s.resetColours + s.clearScreen + "bye");
}

TEST(TerminalConsoleOnATerminal, NoColourWhenNoColorIsSet) {
  ScopedNoColor noColor("1");
  Pty pty;
  {
    TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
    console.startColours();
    console.out() << "x";
  }
  EXPECT_EQ(readAvailable(pty.master), "x");
}

TEST(TerminalConsoleOnATerminal, RewritesTheLoadingLine) {
  Pty pty;
  TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
  console.rewritePreviousLine("Loading ... 5 students");
  // The terminal's output processing turns the newline into CR LF.
  EXPECT_EQ(readAvailable(pty.master), "\x1b[A\rLoading ... 5 students\x1b[K\r\n");
}

TEST(TerminalConsoleOnATerminal, KeyModeHoldsForTheWholeSessionAndTheModeComesBack) {
  Pty pty;
  termios before = pty.mode();
  {
    TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
    EXPECT_EQ(pty.mode().c_lflag & (ICANON | ECHO), 0u) << "key mode from the start";
    // Typed ahead while the program is busy: neither echoed nor edited by the terminal.
    writeString(pty.master, "q\r\x7f\x1b[B\x1bOP\xc3\xa9\x1b[1;5A");
    std::string codes;
    for (int k = 0; k < 10; ++k) {
      const Key key = console.readKey();
      codes += std::to_string(key.code) + (key.text.size() > 1 ? "+ " : " ");
    }
    EXPECT_EQ(codes, "113 13 8 224 80 0 59 195+ 224 141 ");
    EXPECT_EQ(readAvailable(pty.master), "") << "nothing echoed";
    EXPECT_EQ(pty.mode().c_lflag & (ICANON | ECHO), 0u) << "still key mode between reads";
  }
  EXPECT_TRUE(sameMode(pty.mode(), before));
}

TEST(TerminalConsoleOnATerminal, LoneEscapeArrivesAfterTheShortWait) {
  Pty pty;
  TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
  writeString(pty.master, "\x1b");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(console.readKey().code, kEscapeKey);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(kEscapeWaitMs));
  EXPECT_LT(waited, std::chrono::seconds(1));
}

TEST(TerminalConsoleOnATerminal, AnswerDiscardsWhatWasTypedAheadAndIsEchoed) {
  Pty pty;
  termios before = pty.mode();
  TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
  writeString(pty.master, "junk\n");
  std::string seen;
  std::thread typist([&] {
    // Types only once the question shows: the output must be flushed before the read waits.
    if (awaitText(pty.master, "Again? ", seen)) {
      writeString(pty.master, "yes\n");
      awaitText(pty.master, "yes", seen);
    } else {
      writeString(pty.master, "timeout\n");
    }
  });
  console.out() << "Again? ";
  int answer = console.readAnswer();
  typist.join();
  EXPECT_EQ(answer, 'y');
  EXPECT_NE(seen.find("Again? yes"), std::string::npos) << "the answer is echoed as typed";
  EXPECT_FALSE(sameMode(pty.mode(), before)) << "back in key mode after the answer";
}

TEST(TerminalConsoleOnATerminal, WordsComeFromOneLineUntilAnAnswerDiscardsTheRest) {
  Pty pty;
  TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
  writeString(pty.master, "50 60 70\n");
  EXPECT_EQ(console.readWord(), "50");
  EXPECT_EQ(console.readWord(), "60");
  std::thread typist([&] {
    std::string seen;
    awaitText(pty.master, "? ", seen);
    writeString(pty.master, "n\n");
  });
  console.out() << "? ";
  EXPECT_EQ(console.readAnswer(), 'n') << "70 was discarded";
  typist.join();
}

TEST(TerminalConsoleOnATerminal, KeyReadDoesNotTakeTheRestOfALine) {
  Pty pty;
  TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
  writeString(pty.master, "50 60\n");
  EXPECT_EQ(console.readWord(), "50");
  writeString(pty.master, "k");
  EXPECT_EQ(console.readKey().code, 'k');
  EXPECT_EQ(console.readWord(), "60");
}

TEST(TerminalConsoleOnATerminal, EndOfFileKeyEndsALineRead) {
  Pty pty;
  TerminalConsole console(pty.slave, pty.slave, "xterm-256color");
  writeString(pty.master, "\x04");  // Ctrl-D at the start of a line
  EXPECT_THROW(console.readWord(), EndOfInput);
}
