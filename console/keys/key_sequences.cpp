// The Windows console's key codes of the escape sequences and Alt keys a terminal sends.
#include "console/keys/key_sequences.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

enum KeyName : int {
  kUp,
  kDown,
  kRight,
  kLeft,
  kHome,
  kEnd,
  kInsert,
  kDelete,
  kPageUp,
  kPageDown,
  kF1,  // F1 to F12 follow in order
  kF12 = kF1 + 11,
};

// The modifiers the Windows console gives codes of their own; a combination of them has none.
enum Modifier : int { kPlain, kShift, kAlt, kCtrl, kModifierCount };

// The Windows console's codes for each key, plain and with Shift, Alt or Ctrl. Shift leaves the
// arrows as they are; of the editing keys only Ctrl has codes here.
constexpr SequenceCodes kKeyCodes[][kModifierCount] = {
    /* Up */ {{224, 72}, {224, 72}, {0, 152}, {224, 141}},
    /* Down */ {{224, 80}, {224, 80}, {0, 160}, {224, 145}},
    /* Right */ {{224, 77}, {224, 77}, {0, 157}, {224, 116}},
    /* Left */ {{224, 75}, {224, 75}, {0, 155}, {224, 115}},
    /* Home */ {{224, 71}, kDroppedSequence, kDroppedSequence, {224, 119}},
    /* End */ {{224, 79}, kDroppedSequence, kDroppedSequence, {224, 117}},
    /* Insert */ {{224, 82}, kDroppedSequence, kDroppedSequence, {224, 146}},
    /* Delete */ {{224, 83}, kDroppedSequence, kDroppedSequence, {224, 147}},
    /* Page Up */ {{224, 73}, kDroppedSequence, kDroppedSequence, {224, 134}},
    /* Page Down */ {{224, 81}, kDroppedSequence, kDroppedSequence, {224, 118}},
    /* F1 */ {{0, 59}, {0, 84}, {0, 104}, {0, 94}},
    /* F2 */ {{0, 60}, {0, 85}, {0, 105}, {0, 95}},
    /* F3 */ {{0, 61}, {0, 86}, {0, 106}, {0, 96}},
    /* F4 */ {{0, 62}, {0, 87}, {0, 107}, {0, 97}},
    /* F5 */ {{0, 63}, {0, 88}, {0, 108}, {0, 98}},
    /* F6 */ {{0, 64}, {0, 89}, {0, 109}, {0, 99}},
    /* F7 */ {{0, 65}, {0, 90}, {0, 110}, {0, 100}},
    /* F8 */ {{0, 66}, {0, 91}, {0, 111}, {0, 101}},
    /* F9 */ {{0, 67}, {0, 92}, {0, 112}, {0, 102}},
    /* F10 */ {{0, 68}, {0, 93}, {0, 113}, {0, 103}},
    /* F11 */ {{224, 133}, {224, 135}, {224, 139}, {224, 137}},
    /* F12 */ {{224, 134}, {224, 136}, {224, 140}, {224, 138}},
};

// The key a CSI or SS3 sequence ends with: xterm and VTE send "ESC [ A" or, in application mode,
// "ESC O A", with the modifiers as a parameter ("ESC [ 1 ; 5 A" is Ctrl-Up).
int keyOfFinalByte(char final) {
  switch (final) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return kF1 + (final - 'P');
    default:
      return kNoKey;
  }
}

// The key of a vt220-style "ESC [ n ~" sequence (rxvt, tmux, screen, and xterm's F5-F12).
int keyOfNumber(int number) {
  switch (number) {
    case 1:
    case 7:
      return kHome;
    case 2:
      return kInsert;
    case 3:
      return kDelete;
    case 4:
    case 8:
      return kEnd;
    case 5:
      return kPageUp;
    case 6:
      return kPageDown;
    case 23:
    case 24:
      return kF1 + 10 + (number - 23);
    default:
      break;
  }
  if (number >= 11 && number <= 15) {
    return kF1 + (number - 11);
  }
  if (number >= 17 && number <= 21) {
    return kF1 + 5 + (number - 17);
  }
  return kNoKey;
}

// xterm's modifier parameter is 1 plus a bit mask: 1 Shift, 2 Alt, 4 Ctrl.
int modifierOf(int parameter) {
  switch (parameter) {
    case 1:
      return kPlain;
    case 2:
      return kShift;
    case 3:
      return kAlt;
    case 5:
      return kCtrl;
    default:
      return kNoKey;
  }
}

// The numbers of "n;m" (each 1 when left out); false for anything but digits and semicolons.
bool parseParameters(const std::string& text, std::vector<int>& numbers) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(';', start);
    std::string field = text.substr(start, end == std::string::npos ? end : end - start);
    if (field.size() > 3 || field.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    numbers.push_back(field.empty() ? 1 : std::atoi(field.c_str()));
    if (end == std::string::npos) {
      return true;
    }
    start = end + 1;
  }
}

}  // namespace

SequenceCodes sequenceCodes(const std::string& body) {
  if (body.size() == 3 && body.compare(0, 2, "[[") == 0 && body[2] >= 'A' && body[2] <= 'E') {
    return kKeyCodes[kF1 + (body[2] - 'A')][kPlain];  // the Linux console's F1-F5
  }
  const char final = body.back();
  std::vector<int> numbers;
  if (!parseParameters(body.substr(1, body.size() - 2), numbers) || numbers.size() > 2) {
    return kDroppedSequence;
  }
  int key = kNoKey;
  if (final == '~' && body[0] == '[') {
    key = keyOfNumber(numbers[0]);
  } else if (numbers.size() == 1 && body[0] == 'O') {
    key = keyOfFinalByte(final);  // "ESC O 5 P": the only number is the modifier
    numbers.insert(numbers.begin(), 1);
  } else if (numbers[0] == 1) {
    key = keyOfFinalByte(final);
  }
  const int modifier = modifierOf(numbers.size() == 2 ? numbers[1] : 1);
  if (key == kNoKey || modifier == kNoKey) {
    return kDroppedSequence;
  }
  return kKeyCodes[key][modifier];
}

int altScanCode(unsigned char byte) {
  static const char* const kRows[] = {"1234567890-=", "!@#$%^&*()_+"};
  for (const char* row : kRows) {
    if (const char* at = std::strchr(row, byte); at != nullptr && byte != 0) {
      return 120 + static_cast<int>(at - row);  // Alt+1 120 ... Alt+= 131
    }
  }
  // Scan codes run along the keyboard's rows: q is 16, a 30, z 44.
  static const char* const kLetterRows[][2] = {{"qwertyuiop[]", "QWERTYUIOP{}"},
                                               {"asdfghjkl;'`", "ASDFGHJKL:\"~"},
                                               {"\\zxcvbnm,./", "|ZXCVBNM<>?"}};
  static const int kRowStart[] = {16, 30, 43};
  for (int row = 0; row < 3; ++row) {
    for (const char* keys : kLetterRows[row]) {
      if (const char* at = std::strchr(keys, byte); at != nullptr && byte != 0) {
        return kRowStart[row] + static_cast<int>(at - keys);
      }
    }
  }
  switch (byte) {
    case '\r':
      return 28;  // Alt+Enter
    case kDeleteByte:
      return 14;  // Alt+Backspace
    case '\t':
      return 165;  // Alt+Tab
    default:
      return kNoKey;
  }
}
