// Plain mode's screens apart by one blank line.
#include "console/plain_screen_break.h"

#include <gtest/gtest.h>

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
