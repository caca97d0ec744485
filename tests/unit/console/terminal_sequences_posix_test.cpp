// Terminal sequences read from the terminfo entry of the terminal type.
#include "console/terminal_sequences.h"

#include <gtest/gtest.h>

TEST(TerminalSequences, ComeFromTheEntryOfTheTerminalTypeAndNoneFromAnUnknownOne) {
  struct Case {
    const char* term;
    TerminalSequences expected;
  } cases[] = {
      {"xterm-256color",
       {"\x1b[H\x1b[2J", "\x1b[92m\x1b[40m", "\x1b(B\x1b[m", "\x1b[A\r", "\x1b[K"}},
      // Eight colours: the plain green stands in for the light one.
      {"xterm", {"\x1b[H\x1b[2J", "\x1b[32m\x1b[40m", "\x1b(B\x1b[m", "\x1b[A\r", "\x1b[K"}},
      {"dumb", {}},
      {"no-such-terminal", {}},
      {"", {}},
      {nullptr, {}},
  };
  for (const Case& c : cases) {
    const TerminalSequences actual = readTerminalSequences(c.term);
    const char* term = c.term != nullptr ? c.term : "(unset)";
    EXPECT_EQ(actual.clearScreen, c.expected.clearScreen) << term;
    EXPECT_EQ(actual.lightGreenOnBlack, c.expected.lightGreenOnBlack) << term;
    EXPECT_EQ(actual.resetColours, c.expected.resetColours) << term;
    EXPECT_EQ(actual.startOfPreviousLine, c.expected.startOfPreviousLine) << term;
    EXPECT_EQ(actual.eraseToEndOfLine, c.expected.eraseToEndOfLine) << term;
  }
}
