// Windows console key events into the unechoed key read's codes: the same codes a Linux terminal's
// bytes give, for plain, modified and typed keys.
#include "console/keys/virtual_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kAltGr = kRightAltPressed | kLeftCtrlPressed;

struct Case {
  const char* what;
  std::vector<KeyEvent> events;
  std::vector<int> codes;  // every code the events give, in order
  std::string text;        // the bytes of the last key, where it types text
};

TEST(VirtualKeyMapperTest, GivesTheCodesOfTheUnechoedKeyRead) {
  const Case cases[] = {
      // Wine's console gives ESC with no character; Windows gives 27.
      {"ESC under Wine", {{0x1B, 0, 0}}, {27}, "\x1b"},
      {"ESC", {{0x1B, 0x1B, 0}}, {27}, "\x1b"},
      {"Enter", {{0x0D, '\r', 0}}, {13}, "\r"},
      {"Backspace", {{0x08, 0x08, 0}}, {8}, "\b"},
      {"a digit", {{0x31, '1', 0}}, {'1'}, "1"},
      {"a capital", {{0x41, 'A', kShiftPressed}}, {'A'}, "A"},
      {"Ctrl+C as a key", {{0x43, 0x03, kLeftCtrlPressed}}, {3}, "\x03"},
      {"F1", {{0x70, 0, 0}}, {0, 59}, ""},
      {"F10", {{0x79, 0, 0}}, {0, 68}, ""},
      {"F11", {{0x7A, 0, 0}}, {224, 133}, ""},
      {"Shift+F12", {{0x7B, 0, kShiftPressed}}, {224, 136}, ""},
      {"Alt+F4", {{0x73, 0, kLeftAltPressed}}, {0, 107}, ""},
      {"Ctrl+F5", {{0x74, 0, kRightCtrlPressed}}, {0, 98}, ""},
      {"Up", {{0x26, 0, 0}}, {224, 72}, ""},
      {"Shift+Down", {{0x28, 0, kShiftPressed}}, {224, 80}, ""},
      {"Alt+Left", {{0x25, 0, kLeftAltPressed}}, {0, 155}, ""},
      {"Ctrl+Right", {{0x27, 0, kLeftCtrlPressed}}, {224, 116}, ""},
      {"Home End Insert Delete",
       {{0x24, 0, 0}, {0x23, 0, 0}, {0x2D, 0, 0}, {0x2E, 0, 0}},
       {224, 71, 224, 79, 224, 82, 224, 83},
       ""},
      {"Page Up, Ctrl+Page Down",
       {{0x21, 0, 0}, {0x22, 0, kLeftCtrlPressed}},
       {224, 73, 224, 118},
       ""},
      {"Shift+Home has no code", {{0x24, 0, kShiftPressed}}, {}, ""},
      {"Ctrl+Shift+Up has no code", {{0x26, 0, kLeftCtrlPressed | kShiftPressed}}, {}, ""},
      {"Alt+1", {{0x31, '1', kLeftAltPressed}}, {0, 120}, ""},
      {"Alt+0", {{0x30, '0', kLeftAltPressed}}, {0, 129}, ""},
      {"Alt+A", {{0x41, 'a', kLeftAltPressed}}, {0, 30}, ""},
      {"Alt+X", {{0x58, 'x', kRightAltPressed}}, {0, 45}, ""},
      {"Alt+ESC", {{0x1B, 0, kLeftAltPressed}}, {0, 1}, ""},
      {"AltGr types its character", {{0x51, '@', kAltGr}}, {'@'}, "@"},
      {"AltGr+E types the euro sign", {{0x45, u'€', kAltGr}}, {0xE2}, "\xE2\x82\xAC"},
      {"Shift alone", {{0x10, 0, kShiftPressed}}, {}, ""},
      // A dead key types nothing; the next key types the composed character.
      {"dead key, then e", {{0xDD, 0, 0}, {0x45, u'é', 0}}, {0xC3}, "\xC3\xA9"},
      {"a character of two units", {{0, 0xD83D, 0}, {0, 0xDE00, 0}}, {0xF0}, "\xF0\x9F\x98\x80"},
      {"a lone second unit", {{0, 0xDE00, 0}}, {}, ""},
  };
  for (const Case& c : cases) {
    VirtualKeyMapper mapper;
    std::vector<int> codes;
    std::string text;
    for (const KeyEvent& event : c.events) {
      for (const Key& key : mapper.keysOf(event)) {
        codes.push_back(key.code);
        text = key.code == 0 || key.code == 224 ? "" : key.text;
      }
    }
    EXPECT_EQ(codes, c.codes) << c.what;
    if (!c.text.empty()) {
      EXPECT_EQ(text, c.text) << c.what;
    }
  }
}

}  // namespace
