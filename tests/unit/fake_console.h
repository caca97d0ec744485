// A console for tests: input is one scripted byte stream, output is collected as text, and the
// clear-screen and pause effects are written as visible markers.
#pragma once

#include <sstream>
#include <string>

#include "console/console_interface.h"
#include "console/keys/key_decoder.h"

class FakeConsole : public Console {
 public:
  static constexpr const char* kClearMarker = "<CLS>";

  explicit FakeConsole(std::string input = "") : input_(std::move(input)) {
    showStoredTextInline(out_);
  }

  std::ostream& out() override { return out_; }

  // A scripted '\n' arrives as Enter (13), as it does from a pipe; the bytes of a UTF-8 character
  // are one key.
  Key readKey() override {
    const int byte = nextByte();
    if (byte == '\n') {
      return Key{kEnterKey, "\r"};
    }
    Key key{byte, std::string(1, static_cast<char>(byte))};
    const std::size_t length = utf8CharacterLength(static_cast<unsigned char>(byte));
    std::size_t following = 0;
    while (following + 1 < length && position_ + following < input_.size() &&
           (input_[position_ + following] & 0xC0) == 0x80) {
      ++following;
    }
    if (length > 0 && following + 1 == length) {
      key.text += input_.substr(position_, following);
      position_ += following;
    }
    return key;
  }

  // Like the real console on a pipe: the rest of a line already partly read is dropped, then one
  // whole line is consumed.
  int readAnswer() override {
    dropPartialLine();
    int first = nextByte();
    int byte = first;
    while (byte != '\n' && position_ < input_.size()) {
      byte = nextByte();
    }
    midLine_ = false;
    return first;
  }

  std::string readWord() override {
    int byte = nextByte();
    while (isBlank(static_cast<char>(byte))) {
      byte = nextByte();
    }
    std::string word(1, static_cast<char>(byte));
    while (position_ < input_.size() && !isBlank(input_[position_])) {
      word += input_[position_++];
    }
    midLine_ = true;
    return word;
  }

  void clearScreen() override { out_ << kClearMarker; }

  void pause() override {
    out_ << "Press any key to continue . . . ";
    readKey();
  }

  std::string text() const { return out_.str(); }
  bool inputUsedUp() const { return position_ >= input_.size(); }

 private:
  static bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  }

  int nextByte() {
    if (position_ >= input_.size()) {
      throw EndOfInput();
    }
    return static_cast<unsigned char>(input_[position_++]);
  }

  void dropPartialLine() {
    if (!midLine_) {
      return;
    }
    while (position_ < input_.size() && input_[position_++] != '\n') {
    }
    midLine_ = false;
  }

  std::string input_;
  std::size_t position_ = 0;
  bool midLine_ = false;
  std::ostringstream out_;
};
