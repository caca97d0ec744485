// Decoding of the bytes a terminal sends into the Windows console's key codes.
#pragma once

#include <deque>
#include <string>

// Turns the bytes a terminal sends into the key codes the screens expect: those of the Windows
// console's unechoed key read. An arrow, Home/End, Insert/Delete, Page Up/Down or function key
// arrives as an escape sequence and becomes two codes, a prefix (224, or 0 for F1-F10) and the
// key's own code. Pure: the caller feeds bytes, and tells it when no byte followed a started
// sequence within the short wait, which is how a lone ESC is told apart from a sequence.
class KeyDecoder {
 public:
  // Takes one byte; afterwards hasKey() tells whether codes are ready.
  void feed(unsigned char byte);

  // No further byte came within the wait: a lone ESC becomes the ESC key, and an unfinished
  // sequence is dropped whole.
  void timeOut();

  bool hasKey() const { return !keys_.empty(); }
  int nextKey();

  // An escape sequence has started: the caller waits only briefly for its next byte.
  bool isMidSequence() const { return !sequence_.empty(); }

  // True once after a CR key, when a directly following LF belongs to the same Enter.
  bool takeCarriageReturn();

  // Forgets queued codes and any sequence begun (pending input is being discarded).
  void reset();

 private:
  void feedPlain(unsigned char byte);
  void feedSequence(unsigned char byte);
  void finishSequence();
  void push(int prefix, int code);

  std::string sequence_;   // the escape sequence read so far, starting with ESC
  bool overlong_ = false;  // the sequence outgrew sequence_ and is only being swallowed
  std::deque<int> keys_;
  bool afterCarriageReturn_ = false;
};

// How long a lone ESC waits for the rest of a sequence. Bytes of one sequence arrive together
// (a terminal writes them in one go); a person cannot type ESC and another key this fast.
constexpr int kEscapeWaitMs = 40;
