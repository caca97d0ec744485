// Decoding of the bytes a terminal sends into the Windows console's key codes.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "console/console_interface.h"

// Turns the bytes a terminal sends into the key presses the screens expect: those of the Windows
// console's unechoed key read. An arrow, Home/End, Insert/Delete, Page Up/Down or function key,
// alone or with Shift, Ctrl or Alt, arrives as an escape sequence and becomes two codes, a prefix
// (224, or 0) and the key's own code. A UTF-8 character is one key. Pure: the caller feeds bytes,
// and tells it when no byte followed a started sequence within the short wait, which is how a
// lone ESC is told apart from a sequence.
class KeyDecoder {
 public:
  // A terminal sends Alt with a key as ESC and the key's byte at once; a script has no Alt key,
  // and its ESC followed by a key is those two keys (altFromEscape false).
  explicit KeyDecoder(bool altFromEscape = true) : altFromEscape_(altFromEscape) {}

  // Takes one byte; afterwards hasKey() tells whether keys are ready.
  void feed(unsigned char byte);

  // No further byte came within the wait: a lone ESC becomes the ESC key, an unfinished escape
  // sequence is dropped whole, and the bytes of an unfinished UTF-8 character are keys of their
  // own (as a terminal in a single-byte encoding sends them).
  void timeOut();

  bool hasKey() const { return !keys_.empty(); }
  Key nextKey();

  // A sequence or a character has started: the caller waits only briefly for its next byte.
  bool isMidSequence() const { return !sequence_.empty() || !character_.empty(); }

  // True once after a CR key, when a directly following LF belongs to the same Enter.
  bool takeCarriageReturn();

  // Forgets queued keys and any sequence begun (pending input is being discarded).
  void reset();

 private:
  void feedPlain(unsigned char byte);
  void feedSequence(unsigned char byte);
  void feedCharacter(unsigned char byte);
  void finishSequence();
  void releaseCharacterBytes();
  void push(int code);
  void pushExtended(int prefix, int code);

  bool altFromEscape_;
  std::string sequence_;   // the escape sequence read so far, starting with ESC
  bool overlong_ = false;  // the sequence outgrew sequence_ and is only being swallowed
  std::string character_;  // the UTF-8 character read so far
  std::size_t characterLength_ = 0;
  std::deque<Key> keys_;
  bool afterCarriageReturn_ = false;
};

// How long a lone ESC waits for the rest of a sequence. Bytes of one sequence arrive together
// (a terminal writes them in one go); a person cannot type ESC and another key this fast.
constexpr int kEscapeWaitMs = 40;

// The number of bytes of the UTF-8 character that starts with lead, or 0 when lead starts none.
std::size_t utf8CharacterLength(unsigned char lead);

// The next white-space separated word of line input, as a formatted read of a word takes it: white
// space (in the C locale, whatever locale is in force) skipped, then the bytes up to the next
// white space, which stays unread. next takes a byte (and throws EndOfInput at the end); peek
// looks at the next one without taking it, negative at the end.
std::string takeWord(const std::function<int()>& next, const std::function<int()>& peek);

// Whether the line, from position on, still holds a word: the next word read takes it without a
// key typed.
bool hasWordAhead(const std::string& line, std::size_t position);
