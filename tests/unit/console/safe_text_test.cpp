// The one filter between outside text and the terminal.
#include "console/safe_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

constexpr const char* kFffd = "\xEF\xBF\xBD";

// What the screens' stream gives for text, written in pieces of the given size.
std::string throughStream(const std::string& text, std::size_t piece) {
  std::ostringstream target;
  {
    SafeTextBuffer filter(target.rdbuf(), "?");
    std::ostream out(&filter);
    for (std::size_t at = 0; at < text.size(); at += piece) {
      out << text.substr(at, piece);
    }
  }
  return target.str();
}

TEST(SafeText, ControlCharactersAndBadUtf8AreReplaced) {
  const struct {
    const char* name;
    std::string text;
    std::string shown;  // with "?" as the replacement, layout kept
  } cases[] = {
      {"plain text", "Noah Fraser", "Noah Fraser"},
      {"tab and newline are the screens' layout", "a\tb\n", "a\tb\n"},
      {"carriage return, backspace, bell", "a\rb\bc\a", "a?b?c?"},
      {"a clear-screen sequence", "x\x1b[2J\x1b[H", "x?[2J?[H"},
      {"a window title", "\x1b]0;owned\x07", "?]0;owned?"},
      {"DEL", "a\x7f", "a?"},
      {"NUL inside", std::string("a\0b", 3), "a?b"},
      {"C1 control as UTF-8 (the one-byte CSI)",
       "a\xC2\x9B"
       "2J",
       "a?2J"},
      {"accented letters", "Jos\xC3\xA9 \xC3\x89T\xC3\x89", "Jos\xC3\xA9 \xC3\x89T\xC3\x89"},
      {"wide characters", "\xE5\xAD\xA6\xE7\x94\x9F \xF0\x9F\x8E\x93",
       "\xE5\xAD\xA6\xE7\x94\x9F \xF0\x9F\x8E\x93"},
      {"a lone continuation byte", "a\x80z", "a?z"},
      {"a lead byte cut short", "a\xC3z", "a?z"},
      {"a lead byte at the end", "ab\xE5\xAD", "ab?"},
      {"an overlong form", "\xC0\xAF", "??"},
      {"a surrogate", "\xED\xA0\x80", "???"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"Latin-1 bytes", "caf\xE9", "caf?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(safeText(c.text, "?", true), c.shown) << c.name;
    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, c.text.size() + 1}) {
      EXPECT_EQ(throughStream(c.text, piece), c.shown) << c.name << ", pieces of " << piece;
    }
  }
  // An error line is one line: its layout characters go too, and a UTF-8 terminal shows U+FFFD.
  EXPECT_EQ(safeText("bad\tname\n\x1b", kFffd),
            std::string("bad") + kFffd + "name" + kFffd + kFffd);
}

}  // namespace
