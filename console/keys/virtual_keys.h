// The Windows console's key events into the key codes of its unechoed key read.
#pragma once

#include <cstdint>
#include <vector>

#include "console/console_interface.h"

// One key going down, as the Windows console reports it: the virtual-key code, the UTF-16 unit
// it types (0 for none: ESC under Wine, arrows, function keys, a dead key) and the state of the
// modifier keys. Plain numbers, so that the mapping is the same on every system and tested on
// each.
struct KeyEvent {
  std::uint16_t virtualKey = 0;
  char16_t unit = 0;
  std::uint32_t modifiers = 0;  // the console's control-key state bits, below
};

// The Windows console's control-key state bits.
constexpr std::uint32_t kRightAltPressed = 0x0001;
constexpr std::uint32_t kLeftAltPressed = 0x0002;
constexpr std::uint32_t kRightCtrlPressed = 0x0004;
constexpr std::uint32_t kLeftCtrlPressed = 0x0008;
constexpr std::uint32_t kShiftPressed = 0x0010;

// Turns key events into the key presses the screens expect, the same codes as a Linux terminal's
// bytes give (KeyDecoder): ESC 27, Enter 13, Backspace 8; an arrow, editing or function key,
// alone or with Shift, Alt or Ctrl, is its prefix (224 or 0) and its code; Alt with a letter,
// digit or one of a few keys is 0 and that key's code; AltGr and dead keys give the characters
// they type; a character is one key, as UTF-8, even when it takes two UTF-16 units. Keys that type
// nothing (Shift alone, a dead key's first press, a combination with no code) give no key.
class VirtualKeyMapper {
 public:
  // The keys of one event (none, one, or two for a prefixed key).
  std::vector<Key> keysOf(const KeyEvent& event);

 private:
  char16_t highSurrogate_ = 0;  // the first half of a character outside the 16-bit range
};
