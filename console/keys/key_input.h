// Where keys and line answers come from: a person at a terminal, or a script in a pipe.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "console/console_interface.h"
#include "console/keys/fd_stream.h"
#include "console/keys/key_decoder.h"

// The console's input side; every read throws EndOfInput once the input has ended.
class KeyInput {
 public:
  virtual ~KeyInput() = default;
  virtual Key readKey() = 0;
  // Throws away pending input, then the first character of the next line ('\n' for an empty one).
  virtual int readAnswer() = 0;
  // The next white-space separated word; the rest of its line stays pending.
  virtual std::string readWord() = 0;
  // Whether the next readWord takes a word already typed, without a key.
  virtual bool hasWordAhead() const { return false; }
};

// What both inputs share: bytes decoded into keys, and words taken from lines.
class DecodedInput : public KeyInput {
 public:
  DecodedInput(int fd, std::function<void()> onInterrupted, bool altFromEscape)
      : input_(fd, std::move(onInterrupted)), decoder_(altFromEscape) {}
  Key readKey() override;
  std::string readWord() override;

 protected:
  // The next byte of line input without taking it, or InputQueue::kEnded.
  virtual int peekLineByte() = 0;
  virtual void takeLineByte() = 0;
  virtual void onEnded() {}
  int nextLineByte();
  // Drops the LF of a CR LF pair whose CR was taken as an Enter key (a script's line end).
  virtual void dropLineFeedOfEnter();

  InputQueue input_;
  KeyDecoder decoder_;
  bool midLine_ = false;  // a word was taken from a line whose rest is still pending
};

// A pipe is a script: keys and lines are one byte stream, and nothing is echoed.
class ScriptInput : public DecodedInput {
 public:
  explicit ScriptInput(int fd) : DecodedInput(fd, nullptr, false) {}
  int readAnswer() override;

 protected:
  int peekLineByte() override { return input_.peek(); }
  void takeLineByte() override { input_.next(); }
};

// What a terminal input needs of the terminal it reads.
struct TerminalControl {
  std::function<void()> discardTyped;          // throws away what the terminal holds unread
  std::function<void()> onInterrupted;         // a signal came while waiting for input
  std::function<void()> onHangUp;              // the terminal is gone; does not return
  std::function<void(std::size_t)> showErase;  // the echo of erased columns taken away
  int endOfFileKey;                            // what ends line input (Ctrl-D)
  int eraseKey;                                // what erases the last character of a line
  int killKey;                                 // what erases the whole line (Ctrl-U)
};

// A person at a terminal, in key mode for the whole session: line reads take keys too, and echo
// and edit them through the console's own filtered echo, keys typed ahead included.
class TerminalInput : public DecodedInput {
 public:
  TerminalInput(int fd, std::ostream& echo, TerminalControl control);
  int readAnswer() override;
  bool hasWordAhead() const override { return ::hasWordAhead(line_, linePosition_); }

 protected:
  int peekLineByte() override;
  void takeLineByte() override { ++linePosition_; }
  void onEnded() override;
  // A terminal sends Enter as CR alone.
  void dropLineFeedOfEnter() override { decoder_.takeCarriageReturn(); }

 private:
  bool takeLine();

  std::ostream& echo_;
  TerminalControl control_;
  // The line that line reads are taking words from: as in the Windows console, where the C
  // library holds the rest of a line apart from the keystrokes still to come.
  std::string line_;
  std::size_t linePosition_ = 0;
};
