// Terminal sequences read from the terminfo entry of the terminal type: what they must be is asked
// of terminfo itself, through tput, and an entry of the test's own shows that a clear which would
// erase the scrollback is never written.
#include "console/terminal_sequences.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "scratch_folder.h"

namespace {

// What `tput -T term arguments` writes; empty when the terminal lacks the capability.
std::string tput(const std::string& term, const std::string& arguments) {
  std::string command = "tput -T '" + term + "' " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  if (pipe == nullptr) {
    return output;
  }
  char buffer[256];
  for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  return pclose(pipe) == 0 ? output : std::string();
}

std::string withoutScrollbackErase(std::string text) {
  for (std::size_t at; (at = text.find("\x1b[3J")) != std::string::npos;) {
    text.erase(at, 4);
  }
  return text;
}

// The sequences terminfo gives for term, by the console's rules: light green where there are 16
// colours, the plain green where there are 8.
TerminalSequences expectedOf(const std::string& term) {
  TerminalSequences expected;
  expected.clearScreen = withoutScrollbackErase(tput(term, "clear"));
  expected.resetColours = tput(term, "sgr0");
  int colours = std::atoi(tput(term, "colors").c_str());
  std::string green = tput(term, colours >= 16 ? "setaf 10" : "setaf 2");
  std::string black = tput(term, "setab 0");
  if (!expected.resetColours.empty() && colours >= 8 && !green.empty() && !black.empty()) {
    expected.lightGreenOnBlack = green + black;
  }
  std::string up = tput(term, "cuu1");
  std::string erase = tput(term, "el");
  if (!up.empty() && !erase.empty()) {
    expected.startOfPreviousLine = up + "\r";
    expected.eraseToEndOfLine = erase;
  }
  return expected;
}

void expectSequences(const TerminalSequences& actual, const TerminalSequences& expected,
                     const std::string& term) {
  EXPECT_EQ(actual.clearScreen, expected.clearScreen) << term;
  EXPECT_EQ(actual.lightGreenOnBlack, expected.lightGreenOnBlack) << term;
  EXPECT_EQ(actual.resetColours, expected.resetColours) << term;
  EXPECT_EQ(actual.startOfPreviousLine, expected.startOfPreviousLine) << term;
  EXPECT_EQ(actual.eraseToEndOfLine, expected.eraseToEndOfLine) << term;
}

}  // namespace

TEST(TerminalSequences, AreTheEntrysOwnWithoutTheScrollbackErase) {
  if (tput("xterm", "clear").empty()) {
    GTEST_SKIP() << "tput (ncurses-bin) or the xterm terminfo entry is missing";
  }
  for (const char* term :
       {"xterm-256color", "xterm", "vt100", "linux", "screen", "tmux-256color"}) {
    if (tput(term, "longname").empty()) {
      continue;  // an entry this machine does not have
    }
    const TerminalSequences actual = readTerminalSequences(term);
    EXPECT_FALSE(actual.clearScreen.empty()) << term;
    expectSequences(actual, expectedOf(term), term);
  }
}

TEST(TerminalSequences, NoneForDumbUnknownOrUnsetTerminals) {
  for (const char* term : {"dumb", "no-such-terminal", "", static_cast<const char*>(nullptr)}) {
    expectSequences(readTerminalSequences(term), {}, term != nullptr ? term : "(unset)");
  }
}

// An entry whose clear also erases the scrollback (as some do): the console keeps only the clear.
TEST(TerminalSequences, ClearThatWouldEraseTheScrollbackKeepsOnlyTheClear) {
  ScratchFolder scratch("terminfo");
  const std::string folder = scratch.path().string();
  const std::string source = scratch.file("entry.ti");
  std::ofstream(source) << "tavrinel-e3|test entry,\n"
                           "\tcolors#8, clear=\\E[H\\E[2J\\E[3J, cuu1=\\E[A, el=\\E[K,\n"
                           "\tsgr0=\\E[m, setaf=\\E[3%p1%dm, setab=\\E[4%p1%dm,\n";
  const std::string compile = "tic -x -o '" + folder + "' '" + source + "' 2>&1";
  ASSERT_EQ(system(compile.c_str()), 0);
  const char* saved = getenv("TERMINFO");
  std::string savedValue = saved != nullptr ? saved : "";
  setenv("TERMINFO", folder.c_str(), 1);
  const TerminalSequences actual = readTerminalSequences("tavrinel-e3");
  saved != nullptr ? setenv("TERMINFO", savedValue.c_str(), 1) : unsetenv("TERMINFO");
  EXPECT_EQ(actual.clearScreen, "\x1b[H\x1b[2J");
  EXPECT_EQ(actual.lightGreenOnBlack, "\x1b[32m\x1b[40m");
}
