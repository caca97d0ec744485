// Virtual-key codes and typed characters into the unechoed key read's codes.
#include "console/keys/virtual_keys.h"

#include <string>

#include "util/utf16_text.h"

namespace {

// The Windows virtual-key codes this mapping knows.
enum VirtualKey : std::uint16_t {
  kVkBack = 0x08,
  kVkTab = 0x09,
  kVkReturn = 0x0D,
  kVkEscape = 0x1B,
  kVkPrior = 0x21,  // Page Up
  kVkNext = 0x22,   // Page Down
  kVkEnd = 0x23,
  kVkHome = 0x24,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkInsert = 0x2D,
  kVkDelete = 0x2E,
  kVk0 = 0x30,
  kVk9 = 0x39,
  kVkA = 0x41,
  kVkZ = 0x5A,
  kVkF1 = 0x70,
  kVkF12 = 0x7B,
  kVkOemMinus = 0xBD,
  kVkOemPlus = 0xBB,  // the key of '=' and '+'
};

enum Modifier : int { kPlain, kShift, kAlt, kCtrl, kModifierCount };

constexpr int kNoPrefix = -1;

struct Codes {
  int prefix;  // kNoPrefix: the console gives this key no code here
  int code;
};
constexpr Codes kNone = {kNoPrefix, 0};

// Plain, Shift, Alt, Ctrl: the same codes the Linux terminal's sequences are turned into.
struct ExtendedKey {
  std::uint16_t virtualKey;
  Codes codes[kModifierCount];
};
constexpr ExtendedKey kExtendedKeys[] = {
    {kVkUp, {{224, 72}, {224, 72}, {0, 152}, {224, 141}}},
    {kVkDown, {{224, 80}, {224, 80}, {0, 160}, {224, 145}}},
    {kVkRight, {{224, 77}, {224, 77}, {0, 157}, {224, 116}}},
    {kVkLeft, {{224, 75}, {224, 75}, {0, 155}, {224, 115}}},
    {kVkHome, {{224, 71}, kNone, kNone, {224, 119}}},
    {kVkEnd, {{224, 79}, kNone, kNone, {224, 117}}},
    {kVkInsert, {{224, 82}, kNone, kNone, {224, 146}}},
    {kVkDelete, {{224, 83}, kNone, kNone, {224, 147}}},
    {kVkPrior, {{224, 73}, kNone, kNone, {224, 134}}},
    {kVkNext, {{224, 81}, kNone, kNone, {224, 118}}},
    {kVkF1 + 0, {{0, 59}, {0, 84}, {0, 104}, {0, 94}}},
    {kVkF1 + 1, {{0, 60}, {0, 85}, {0, 105}, {0, 95}}},
    {kVkF1 + 2, {{0, 61}, {0, 86}, {0, 106}, {0, 96}}},
    {kVkF1 + 3, {{0, 62}, {0, 87}, {0, 107}, {0, 97}}},
    {kVkF1 + 4, {{0, 63}, {0, 88}, {0, 108}, {0, 98}}},
    {kVkF1 + 5, {{0, 64}, {0, 89}, {0, 109}, {0, 99}}},
    {kVkF1 + 6, {{0, 65}, {0, 90}, {0, 110}, {0, 100}}},
    {kVkF1 + 7, {{0, 66}, {0, 91}, {0, 111}, {0, 101}}},
    {kVkF1 + 8, {{0, 67}, {0, 92}, {0, 112}, {0, 102}}},
    {kVkF1 + 9, {{0, 68}, {0, 93}, {0, 113}, {0, 103}}},
    {kVkF1 + 10, {{224, 133}, {224, 135}, {224, 139}, {224, 137}}},
    {kVkF12, {{224, 134}, {224, 136}, {224, 140}, {224, 138}}},
};

// Set-1 scan codes of the letter keys A to Z, which Alt+letter gives after the 0 prefix: the
// key's position, not what a layout prints on it, computed here because Wine leaves the event's
// own scan code at 0 for keys it reads from a terminal.
constexpr int kLetterScanCodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                      49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

// The code Alt gives with a key that has one (after the 0 prefix), or -1.
int altCode(std::uint16_t virtualKey) {
  if (virtualKey >= kVkA && virtualKey <= kVkZ) {
    return kLetterScanCodes[virtualKey - kVkA];
  }
  if (virtualKey >= kVk0 + 1 && virtualKey <= kVk9) {
    return 120 + (virtualKey - (kVk0 + 1));  // Alt+1 is 120 ... Alt+9 is 128
  }
  switch (virtualKey) {
    case kVk0:
      return 129;
    case kVkOemMinus:
      return 130;
    case kVkOemPlus:
      return 131;
    case kVkEscape:
      return 1;
    case kVkBack:
      return 14;
    case kVkTab:
      return 165;
    case kVkReturn:
      return 28;
    default:
      return -1;
  }
}

int modifierOf(std::uint32_t state) {
  const bool shift = (state & kShiftPressed) != 0;
  const bool alt = (state & (kLeftAltPressed | kRightAltPressed)) != 0;
  const bool ctrl = (state & (kLeftCtrlPressed | kRightCtrlPressed)) != 0;
  if (shift + alt + ctrl > 1) {
    return kModifierCount;  // a combination: no code of its own
  }
  return shift ? kShift : alt ? kAlt : ctrl ? kCtrl : kPlain;
}

Key byteKey(int code) {
  return Key{code, std::string(1, static_cast<char>(code))};
}

std::string utf8Of(char32_t c) {
  std::string text;
  appendUtf8(text, c);
  return text;
}

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::vector<Key> VirtualKeyMapper::keysOf(const KeyEvent& event) {
  const int modifier = modifierOf(event.modifiers);
  for (const ExtendedKey& key : kExtendedKeys) {
    if (key.virtualKey == event.virtualKey) {
      const Codes codes = modifier == kModifierCount ? kNone : key.codes[modifier];
      if (codes.prefix == kNoPrefix) {
        return {};
      }
      return {byteKey(codes.prefix), byteKey(codes.code)};
    }
  }
  if (modifier == kAlt && altCode(event.virtualKey) >= 0) {
    return {byteKey(0), byteKey(altCode(event.virtualKey))};
  }
  // These keys type their control character; Wine's console leaves ESC's at 0.
  switch (event.virtualKey) {
    case kVkEscape:
      return {byteKey(kEscapeKey)};
    case kVkReturn:
      return {byteKey(kEnterKey)};
    case kVkBack:
      return {byteKey(kBackspaceKey)};
    default:
      break;
  }
  char16_t unit = event.unit;
  if (unit == 0) {
    return {};  // a modifier alone, a dead key, or a key with no code
  }
  if (isHighSurrogate(unit)) {
    highSurrogate_ = unit;
    return {};
  }
  char32_t character = unit;
  if (isLowSurrogate(unit)) {
    if (highSurrogate_ == 0) {
      return {};
    }
    character = 0x10000 + ((static_cast<char32_t>(highSurrogate_) - 0xD800) << 10) +
                (static_cast<char32_t>(unit) - 0xDC00);
  }
  highSurrogate_ = 0;
  std::string text = utf8Of(character);
  return {Key{static_cast<unsigned char>(text[0]), text}};
}
