// The console's screen: what is shown, in which colours, on which screen, and drawn again after a
// stop. The terminal's modes and signals are in console_posix.cpp.
#include "console/console_posix.h"

#include <cstdlib>
#include <string_view>

namespace {

// A screen longer than this is not kept for drawing again: it has scrolled away anyway.
constexpr std::size_t kMostRecorded = 1 << 20;

}  // namespace

ScreenRecordBuffer::int_type ScreenRecordBuffer::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) {
    return traits_type::not_eof(ch);
  }
  const char byte = traits_type::to_char_type(ch);
  return xsputn(&byte, 1) == 1 ? ch : traits_type::eof();
}

std::streamsize ScreenRecordBuffer::xsputn(const char* data, std::streamsize count) {
  const std::string_view bytes(data, static_cast<std::size_t>(count));
  return passOn(boxLines_ ? boxLines_->pass(bytes) : std::string(bytes)) ? count : 0;
}

// A flush comes before every key read: a line held back is a prompt, and shows now.
int ScreenRecordBuffer::sync() {
  if (boxLines_ && !passOn(boxLines_->release())) {
    return -1;
  }
  return target_->pubsync();
}

bool ScreenRecordBuffer::passOn(const std::string& text) {
  const std::string passed = screenBreak_.pass(text);
  if (recording_) {
    if (record_.size() + passed.size() > kMostRecorded) {
      record_.clear();
      recording_ = false;
    } else {
      record_ += passed;
    }
  }
  const auto size = static_cast<std::streamsize>(passed.size());
  return target_->sputn(passed.data(), size) == size;
}

void TerminalConsole::raw(const std::string& sequence) {
  out_.flush();
  outBuffer_.sputn(sequence.data(), static_cast<std::streamsize>(sequence.size()));
}

void TerminalConsole::showUnfiltered(const std::string& bytes) {
  out_.flush();
  recordBuffer_.sputn(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TerminalConsole::flushOutput() {
  out_.flush();
}

void TerminalConsole::restoreTerminal() {
  resetColours();
  flushOutput();
  setMode(kSavedMode);
}

void TerminalConsole::resetColours() {
  if (coloursOn_ == 0) {
    return;
  }
  coloursOn_ = 0;
  raw(sequences_.resetColours);
}

void TerminalConsole::startColours() {
  const char* noColor = std::getenv("NO_COLOR");
  if (sequences_.lightGreenOnBlack.empty() || (noColor != nullptr && noColor[0] != '\0')) {
    return;
  }
  coloursOn_ = 1;
  raw(sequences_.lightGreenOnBlack);
}

void TerminalConsole::rewritePreviousLine(const std::string& text) {
  if (sequences_.startOfPreviousLine.empty()) {
    return;
  }
  raw(sequences_.startOfPreviousLine);
  out_ << text;
  raw(sequences_.eraseToEndOfLine);
  out_ << '\n';
  flushOutput();
}

void TerminalConsole::clearScreen() {
  if (plain_) {
    flushOutput();
    recordBuffer_.breakScreen();
    return;
  }
  // Only the visible window: what scrolled off the top of a long screen stays in the scrollback.
  raw(sequences_.clearScreen);
  recordBuffer_.restart(!sequences_.clearScreen.empty());
}

void TerminalConsole::closeScreen() {
  // The closing line is printed in the user's colours, and a terminal that clears in the current
  // background colour is left in the user's colours too.
  resetColours();
  clearScreen();
  recordBuffer_.restart(false);
}

// After Ctrl-Z and fg: the program's screen, its colours and what it showed, at once.
void TerminalConsole::redrawIfResumed() {
  if (resumed_ == 0) {
    return;
  }
  resumed_ = 0;
  const std::string shown = recordBuffer_.record();
  if (coloursOn_ != 0) {
    raw(sequences_.lightGreenOnBlack);
  }
  if (!sequences_.clearScreen.empty()) {
    raw(sequences_.clearScreen);
    recordBuffer_.restart(true);
    recordBuffer_.sputn(shown.data(), static_cast<std::streamsize>(shown.size()));
  }
  flushOutput();
}

void TerminalConsole::echo(const Key& key) {
  if (key.code == kEnterKey) {
    // It acts rather than shows: CR takes the cursor to the start of the line, as on Windows.
    showUnfiltered(key.text);
    return;
  }
  out_ << echoText(key);
}

void TerminalConsole::showErase(std::size_t columns) {
  std::string erase;
  for (std::size_t i = 0; i < columns; ++i) {
    erase += "\b \b";
  }
  showUnfiltered(erase);
}

void TerminalConsole::pause() {
  out_ << "Press any key to continue . . . ";
  readKey();
}

Key TerminalConsole::readKey() {
  redrawIfResumed();
  flushOutput();
  return input_->readKey();
}

// At a terminal the line read shows the question itself, once what was typed before it has been
// thrown away: every key typed after the question is part of the answer.
int TerminalConsole::readAnswer() {
  redrawIfResumed();
  if (modes_ == nullptr) {
    flushOutput();
  }
  return input_->readAnswer();
}

// In plain mode a word typed ahead answers its prompt without a key: the prompt's line is ended,
// so that the next prompt starts a line of its own.
std::string TerminalConsole::readWord() {
  redrawIfResumed();
  if (modes_ == nullptr) {
    flushOutput();
  }
  const bool typedAhead = plain_ && input_->hasWordAhead();
  std::string word = input_->readWord();
  if (typedAhead) {
    out_ << '\n';
  }
  return word;
}
