// The line answers' own editing and echo, as both consoles use them.
#include "console/keys/line_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Keys as the key reads give them: one byte each, a UTF-8 character whole.
std::vector<Key> keysOf(const std::vector<std::string>& texts) {
  std::vector<Key> keys;
  for (const std::string& text : texts) {
    keys.push_back(Key{static_cast<unsigned char>(text[0]), text});
  }
  return keys;
}

}  // namespace

TEST(LineEditor, EditsAndEchoesAsTheEchoShowedIt) {
  const struct {
    std::vector<std::string> keys;
    std::string line;  // what the line holds at its end
    std::string echo;  // the echo, each erased column as "<"
    LineEditor::Step end;
  } cases[] = {
      {{"y", "\r"}, "y\n", "y\n", LineEditor::Step::kEnded},
      // A caret form takes two columns back, a UTF-8 character one, and its bytes go whole.
      {{"a", "\x01", "\x08", "\x08", "\r"}, "\n", "a^A<<<\n", LineEditor::Step::kEnded},
      {{"\xc3\xa9", "\x08", "n", "\r"}, "n\n", "\xc3\xa9<n\n", LineEditor::Step::kEnded},
      // Ctrl-U takes the whole line; Backspace on an empty line takes nothing.
      {{"a", "\x1b", "\x15", "\x08", "n", "\r"}, "n\n", "a^[<<<n\n", LineEditor::Step::kEnded},
      // An extended key (Up: 224 and 72) types nothing.
      {{"\xe0", "H", "y", "\r"}, "y\n", "y\n", LineEditor::Step::kEnded},
      // The end-of-file key: the end of input on an empty line, else the line as it stands.
      {{"\x04"}, "", "", LineEditor::Step::kEndOfInput},
      {{"5", "0", "\x04"}, "50", "50", LineEditor::Step::kEnded},
  };
  for (const auto& c : cases) {
    LineEditor editor(LineKeys{127, 21, 4});
    std::string echo;
    LineEditor::Step step = LineEditor::Step::kGoesOn;
    for (const Key& key : keysOf(c.keys)) {
      std::string shown;
      std::size_t erased = 0;
      step = editor.take(key, shown, erased);
      echo += std::string(erased, '<') + shown;
    }
    EXPECT_EQ(editor.line(), c.line) << c.echo;
    EXPECT_EQ(echo, c.echo);
    EXPECT_EQ(step, c.end) << c.echo;
  }
}
