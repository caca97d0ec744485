// Escape sequences of arrows, editing and function keys, and UTF-8 characters, into the Windows
// console's key codes.
#include "console/keys/key_decoder.h"

#include "console/keys/key_sequences.h"

namespace {

constexpr unsigned char kEscapeByte = 0x1b;
constexpr std::size_t kLongestSequence = 16;  // longer is garbage, dropped

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
  const SequenceCodes codes = overlong_ ? kDroppedSequence : sequenceCodes(sequence_.substr(1));
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
