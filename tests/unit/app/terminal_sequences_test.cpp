// Terminal sequences read from the terminfo entry of the terminal type.
#include "app/terminal_sequences.h"

#include <gtest/gtest.h>

TEST(TerminalSequences, ComeFromTheEntryOfTheTerminalTypeAndNoneFromAnUnknownOne) {
  struct Case {
    const char* term;
    TerminalSequences expected;
  } cases[] = {
      {"xterm-256color",
       {"\x1b[H\x1b[2J", "\x1b[92m\x1b[40m", "\x1b(B\x1b[m", "\x1b[A\r", "\x1b[K"}},
      // Eight colours: the plain green stands in for the light one.
      {"xterm",
       {"\x1b[H\x1b[2J", "\x1b[32m\x1b[40m", "\x1b(B\x1b[m", "\x1b[A\r", "\x1b[K"}},
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

// Exactly one blank line before the next screen's first text, its own leading newlines counted.
TEST(PlainScreenBreak, OneBlankLineBeforeTheNextScreensText) {
  const struct {
    const char* before;
    const char* screen;
    const char* expected;
  } cases[] = {
      {"", "\tMenu", "\tMenu"},  // the first screen of all
      {"Choice: x", "\n\tInvalid", "Choice: x\n\n\tInvalid"},
      {"Choice: ", "Closing\n", "Choice: \n\nClosing\n"},
      {"Loading ...\n", "\n\tMenu", "Loading ...\n\n\tMenu"},
      {"done\n", "\n\n\tName", "done\n\n\n\tName"},
  };
  for (const auto& c : cases) {
    PlainScreenBreak screenBreak;
    std::string shown = screenBreak.pass(c.before);
    screenBreak.request();
    for (char byte : std::string(c.screen)) {
      shown += screenBreak.pass({&byte, 1});  // as the screens write: in pieces
    }
    EXPECT_EQ(shown, c.expected) << c.before;
  }
}
