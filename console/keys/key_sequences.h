// The Windows console's key codes of the escape sequences and Alt keys a terminal sends.
#pragma once

#include <string>

// The byte a terminal's Backspace key sends.
constexpr unsigned char kDeleteByte = 0x7f;
constexpr int kNoKey = -1;

struct SequenceCodes {
  int prefix;  // kNoKey: the console gives this key no code, and its sequence is dropped
  int code;
};
constexpr SequenceCodes kDroppedSequence = {kNoKey, 0};

// The codes of a whole sequence body (the bytes after ESC), or kDroppedSequence.
SequenceCodes sequenceCodes(const std::string& body);

// The Windows console's scan code for Alt with a key that a terminal sends as ESC and the key's
// own byte, or kNoKey for a key without one (Alt+Shift gives the unshifted key's code).
int altScanCode(unsigned char byte);
