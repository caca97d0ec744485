// Escape sequences of arrows, editing and function keys, and UTF-8 characters, into the Windows
// console's key codes.
#include "console/key_decoder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kEscapeByte = 0x1b;
constexpr unsigned char kDeleteByte = 0x7f;
constexpr std::size_t kLongestSequence = 16;  // longer is garbage, dropped
constexpr int kNoKey = -1;

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

struct Codes {
  int prefix;  // kNoKey: the console gives this key no code, and its sequence is dropped
  int code;
};
constexpr Codes kDropped = {kNoKey, 0};

// The Windows console's codes for each key, plain and with Shift, Alt or Ctrl. Shift leaves the
// arrows as they are; of the editing keys only Ctrl has codes here.
constexpr Codes kKeyCodes[][kModifierCount] = {
    /* Up */ {{224, 72}, {224, 72}, {0, 152}, {224, 141}},
    /* Down */ {{224, 80}, {224, 80}, {0, 160}, {224, 145}},
    /* Right */ {{224, 77}, {224, 77}, {0, 157}, {224, 116}},
    /* Left */ {{224, 75}, {224, 75}, {0, 155}, {224, 115}},
    /* Home */ {{224, 71}, kDropped, kDropped, {224, 119}},
    /* End */ {{224, 79}, kDropped, kDropped, {224, 117}},
    /* Insert */ {{224, 82}, kDropped, kDropped, {224, 146}},
    /* Delete */ {{224, 83}, kDropped, kDropped, {224, 147}},
    /* Page Up */ {{224, 73}, kDropped, kDropped, {224, 134}},
    /* Page Down */ {{224, 81}, kDropped, kDropped, {224, 118}},
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

// The codes of a whole sequence body (the bytes after ESC), or kDropped.
Codes codesOf(const std::string& body) {
  if (body.size() == 3 && body.compare(0, 2, "[[") == 0 && body[2] >= 'A' && body[2] <= 'E') {
    return kKeyCodes[kF1 + (body[2] - 'A')][kPlain];  // the Linux console's F1-F5
  }
  const char final = body.back();
  std::vector<int> numbers;
  if (!parseParameters(body.substr(1, body.size() - 2), numbers) || numbers.size() > 2) {
    return kDropped;
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
    return kDropped;
  }
  return kKeyCodes[key][modifier];
}

// The Windows console's scan code for Alt with a key that a terminal sends as ESC and the key's
// own byte, or kNoKey for a key without one (Alt+Shift gives the unshifted key's code).
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

}  // namespace

std::size_t utf8CharacterLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

void KeyDecoder::feed(unsigned char byte) {
  if (!sequence_.empty()) {
    feedSequence(byte);
  } else if (!character_.empty()) {
    feedCharacter(byte);
  } else {
    feedPlain(byte);
  }
}

void KeyDecoder::feedPlain(unsigned char byte) {
  bool lineFeedOfEnter = afterCarriageReturn_ && byte == '\n';
  afterCarriageReturn_ = false;
  if (lineFeedOfEnter) {
    return;
  }
  if (utf8CharacterLength(byte) > 0) {
    character_.assign(1, static_cast<char>(byte));
    characterLength_ = utf8CharacterLength(byte);
    return;
  }
  switch (byte) {
    case kEscapeByte:
      sequence_.assign(1, static_cast<char>(byte));
      return;
    case '\r':
      afterCarriageReturn_ = true;
      push(kEnterKey);
      return;
    case '\n':
      push(kEnterKey);
      return;
    case kDeleteByte:
      // The terminal's Backspace key sends DEL; the Windows console gives 8.
      push(kBackspaceKey);
      return;
    case 0:
      // Ctrl-Space or Ctrl-@: dropped, since the screens would take it for a function-key prefix.
      return;
    default:
      push(byte);
  }
}

void KeyDecoder::feedCharacter(unsigned char byte) {
  if ((byte & 0xC0) != 0x80) {
    // Not a continuation: what came so far is no UTF-8 character, and byte starts afresh.
    releaseCharacterBytes();
    feedPlain(byte);
    return;
  }
  character_ += static_cast<char>(byte);
  if (character_.size() == characterLength_) {
    keys_.push_back(Key{static_cast<unsigned char>(character_[0]), character_});
    character_.clear();
  }
}

void KeyDecoder::releaseCharacterBytes() {
  for (char byte : character_) {
    push(static_cast<unsigned char>(byte));
  }
  character_.clear();
}

void KeyDecoder::feedSequence(unsigned char byte) {
  if (sequence_.size() == 1) {
    if (byte == '[' || byte == 'O') {
      sequence_ += static_cast<char>(byte);
      return;
    }
    sequence_.clear();
    // ESC and a key at once is how a terminal sends Alt with that key: one key press.
    if (const int scanCode = altScanCode(byte); altFromEscape_ && scanCode != kNoKey) {
      pushExtended(kFunctionPrefix, scanCode);
      return;
    }
    // Any other key starts no sequence: the ESC key, then that key on its own.
    push(kEscapeKey);
    feedPlain(byte);
    return;
  }
  if (byte < 0x20 || byte >= 0x7f) {
    // A control byte cannot belong to the sequence: drop what came so far, keep the byte.
    sequence_.clear();
    overlong_ = false;
    feedPlain(byte);
    return;
  }
  if (sequence_.size() < kLongestSequence) {
    sequence_ += static_cast<char>(byte);
  } else {
    overlong_ = true;  // keep swallowing up to the final byte, then drop it all
  }
  bool more = false;
  if (sequence_[1] == 'O') {
    // SS3: one final byte, after optional modifier digits.
    more = (byte >= '0' && byte <= '9') || byte == ';';
  } else if (sequence_.size() == 3 && byte == '[') {
    more = true;  // the Linux console's "ESC [ [" takes exactly one more letter
  } else if (sequence_[2] != '[') {
    // CSI: parameter and intermediate bytes, up to a final byte from '@' to '~'.
    more = byte <= 0x3f;
  }
  if (more) {
    return;
  }
  finishSequence();
}

void KeyDecoder::finishSequence() {
  const Codes codes = overlong_ ? kDropped : codesOf(sequence_.substr(1));
  sequence_.clear();
  overlong_ = false;
  // A sequence of no known key is dropped whole: none of its bytes may pass for a key of its own.
  if (codes.prefix != kNoKey) {
    pushExtended(codes.prefix, codes.code);
  }
}

void KeyDecoder::timeOut() {
  if (sequence_.size() == 1) {
    push(kEscapeKey);
  } else if (sequence_.size() == 2 && altFromEscape_) {
    // Alt+[ and Alt+O send what begins a sequence; nothing followed.
    pushExtended(kFunctionPrefix, altScanCode(static_cast<unsigned char>(sequence_[1])));
  } else if (sequence_.size() == 2) {
    push(kEscapeKey);
    push(static_cast<unsigned char>(sequence_[1]));
  }
  sequence_.clear();
  overlong_ = false;
  releaseCharacterBytes();
}

Key KeyDecoder::nextKey() {
  Key key = keys_.front();
  keys_.pop_front();
  return key;
}

bool KeyDecoder::takeCarriageReturn() {
  bool was = afterCarriageReturn_;
  afterCarriageReturn_ = false;
  return was;
}

void KeyDecoder::reset() {
  sequence_.clear();
  overlong_ = false;
  character_.clear();
  keys_.clear();
  afterCarriageReturn_ = false;
}

void KeyDecoder::push(int code) {
  keys_.push_back(Key{code, std::string(1, static_cast<char>(code))});
}

void KeyDecoder::pushExtended(int prefix, int code) {
  push(prefix);
  push(code);
}

namespace {

bool isWhiteSpace(int byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
         byte == '\r';
}

}  // namespace

bool hasWordAhead(const std::string& line, std::size_t position) {
  for (std::size_t i = position; i < line.size(); ++i) {
    if (!isWhiteSpace(static_cast<unsigned char>(line[i]))) {
      return true;
    }
  }
  return false;
}

std::string takeWord(const std::function<int()>& next, const std::function<int()>& peek) {
  int byte = next();
  while (isWhiteSpace(byte)) {
    byte = next();
  }
  std::string word(1, static_cast<char>(byte));
  for (byte = peek(); byte >= 0 && !isWhiteSpace(byte); byte = peek()) {
    word += static_cast<char>(next());
  }
  return word;
}
