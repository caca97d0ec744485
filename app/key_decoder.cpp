// Escape sequences of arrows, editing and function keys into the Windows console's key codes.
#include "app/key_decoder.h"

#include "analysis/console_interface.h"

namespace {

constexpr unsigned char kEscapeByte = 0x1b;
constexpr unsigned char kDeleteByte = 0x7f;
constexpr std::size_t kLongestSequence = 16;  // longer is garbage, dropped

// The Windows console's codes for the keys that arrive as escape sequences.
constexpr int kUpCode = 72;
constexpr int kDownCode = 80;
constexpr int kLeftCode = 75;
constexpr int kRightCode = 77;
constexpr int kHomeCode = 71;
constexpr int kEndCode = 79;
constexpr int kPageUpCode = 73;
constexpr int kPageDownCode = 81;
constexpr int kInsertCode = 82;
constexpr int kDeleteCode = 83;
constexpr int kF1Code = 59;  // F1 to F10 are 59 to 68
constexpr int kF11Code = 133;
constexpr int kF12Code = 134;

struct SequenceKey {
  const char* sequence;  // the bytes after ESC
  int prefix;
  int code;
};

// xterm and VTE send CSI sequences, or SS3 ("ESC O") ones in application mode; the vt220-style
// "ESC [ n ~" forms cover rxvt, tmux and screen, and "ESC [ [ A".."E" is the Linux console's F1-F5.
constexpr SequenceKey kSequenceKeys[] = {
    {"[A", kExtendedPrefix, kUpCode},       {"OA", kExtendedPrefix, kUpCode},
    {"[B", kExtendedPrefix, kDownCode},     {"OB", kExtendedPrefix, kDownCode},
    {"[C", kExtendedPrefix, kRightCode},    {"OC", kExtendedPrefix, kRightCode},
    {"[D", kExtendedPrefix, kLeftCode},     {"OD", kExtendedPrefix, kLeftCode},
    {"[H", kExtendedPrefix, kHomeCode},     {"OH", kExtendedPrefix, kHomeCode},
    {"[1~", kExtendedPrefix, kHomeCode},    {"[7~", kExtendedPrefix, kHomeCode},
    {"[F", kExtendedPrefix, kEndCode},      {"OF", kExtendedPrefix, kEndCode},
    {"[4~", kExtendedPrefix, kEndCode},     {"[8~", kExtendedPrefix, kEndCode},
    {"[2~", kExtendedPrefix, kInsertCode},  {"[3~", kExtendedPrefix, kDeleteCode},
    {"[5~", kExtendedPrefix, kPageUpCode},  {"[6~", kExtendedPrefix, kPageDownCode},
    {"OP", kFunctionPrefix, kF1Code},       {"OQ", kFunctionPrefix, kF1Code + 1},
    {"OR", kFunctionPrefix, kF1Code + 2},   {"OS", kFunctionPrefix, kF1Code + 3},
    {"[11~", kFunctionPrefix, kF1Code},     {"[12~", kFunctionPrefix, kF1Code + 1},
    {"[13~", kFunctionPrefix, kF1Code + 2}, {"[14~", kFunctionPrefix, kF1Code + 3},
    {"[15~", kFunctionPrefix, kF1Code + 4}, {"[17~", kFunctionPrefix, kF1Code + 5},
    {"[18~", kFunctionPrefix, kF1Code + 6}, {"[19~", kFunctionPrefix, kF1Code + 7},
    {"[20~", kFunctionPrefix, kF1Code + 8}, {"[21~", kFunctionPrefix, kF1Code + 9},
    {"[[A", kFunctionPrefix, kF1Code},      {"[[B", kFunctionPrefix, kF1Code + 1},
    {"[[C", kFunctionPrefix, kF1Code + 2},  {"[[D", kFunctionPrefix, kF1Code + 3},
    {"[[E", kFunctionPrefix, kF1Code + 4},  {"[23~", kExtendedPrefix, kF11Code},
    {"[24~", kExtendedPrefix, kF12Code},
};

}  // namespace

void KeyDecoder::feed(unsigned char byte) {
  if (isMidSequence()) {
    feedSequence(byte);
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
  switch (byte) {
    case kEscapeByte:
      sequence_.assign(1, static_cast<char>(byte));
      return;
    case '\r':
      afterCarriageReturn_ = true;
      push(-1, kEnterKey);
      return;
    case '\n':
      push(-1, kEnterKey);
      return;
    case kDeleteByte:
      // The terminal's Backspace key sends DEL; the Windows console gives 8.
      push(-1, kBackspaceKey);
      return;
    case 0:
      // Ctrl-Space or Ctrl-@: dropped, since the screens would take it for a function-key prefix.
      return;
    default:
      push(-1, byte);
  }
}

void KeyDecoder::feedSequence(unsigned char byte) {
  if (sequence_.size() == 1) {
    if (byte == '[' || byte == 'O') {
      sequence_ += static_cast<char>(byte);
      return;
    }
    // ESC followed by a key that starts no sequence: the ESC key, then that key on its own.
    sequence_.clear();
    push(-1, kEscapeKey);
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
  std::string body = overlong_ ? std::string() : sequence_.substr(1);
  sequence_.clear();
  overlong_ = false;
  for (const SequenceKey& key : kSequenceKeys) {
    if (body == key.sequence) {
      push(key.prefix, key.code);
      return;
    }
  }
  // An unknown sequence is dropped whole: none of its bytes may pass for a key of its own.
}

void KeyDecoder::timeOut() {
  if (sequence_.size() == 1) {
    push(-1, kEscapeKey);
  }
  sequence_.clear();
  overlong_ = false;
}

int KeyDecoder::nextKey() {
  int key = keys_.front();
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
  keys_.clear();
  afterCarriageReturn_ = false;
}

void KeyDecoder::push(int prefix, int code) {
  if (prefix >= 0) {
    keys_.push_back(prefix);
  }
  keys_.push_back(code);
}
