// The console's screen: what is shown, in which colours, on which screen, and drawn again after a
// stop. The terminal's modes and signals are in console_posix.cpp.
#include "console/console_posix.h"

#include <cstdlib>

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
  if (recording_) {
    if (record_.size() + static_cast<std::size_t>(count) > kMostRecorded) {
      record_.clear();
      recording_ = false;
    } else {
      record_.append(data, static_cast<std::size_t>(count));
    }
  }
  return target_->sputn(data, count);
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
  leaveProgramScreen();
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

void TerminalConsole::leaveProgramScreen() {
  if (onProgramScreen_ == 0) {
    return;
  }
  onProgramScreen_ = 0;
  recordBuffer_.restart(false);
  raw(sequences_.leaveProgramScreen);
  if (coloursStarted_) {
    raw(sequences_.resetColours);
  }
}

void TerminalConsole::startColours() {
  const char* noColor = std::getenv("NO_COLOR");
  if (sequences_.lightGreenOnBlack.empty() || (noColor != nullptr && noColor[0] != '\0')) {
    return;
  }
  coloursOn_ = 1;
  coloursStarted_ = true;
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
  if (onProgramScreen_ == 0 && !sequences_.enterProgramScreen.empty()) {
    raw(sequences_.enterProgramScreen);
    onProgramScreen_ = 1;
  }
  raw(sequences_.clearScreen);
  recordBuffer_.restart(onProgramScreen_ != 0);
}

void TerminalConsole::closeScreen() {
  // The closing line is printed in the user's colours, and a terminal that clears in the current
  // background colour is left in the user's colours too.
  resetColours();
  if (onProgramScreen_ != 0) {
    leaveProgramScreen();
  } else {
    clearScreen();
  }
}

// After Ctrl-Z and fg: the program's screen, its colours and what it showed, at once.
void TerminalConsole::redrawIfResumed() {
  if (resumed_ == 0) {
    return;
  }
  resumed_ = 0;
  const std::string shown = recordBuffer_.record();
  if (onProgramScreen_ != 0) {
    raw(sequences_.enterProgramScreen);
  }
  if (coloursOn_ != 0) {
    raw(sequences_.lightGreenOnBlack);
  }
  if (onProgramScreen_ != 0) {
    raw(sequences_.clearScreen);
    recordBuffer_.restart(true);
    recordBuffer_.sputn(shown.data(), static_cast<std::streamsize>(shown.size()));
  }
  flushOutput();
}

void TerminalConsole::echo(const Key& key) {
  if (key.code == kEnterKey || key.code == kEscapeKey) {
    // They act rather than show: CR takes the cursor to the start of the line, as on Windows.
    showUnfiltered(key.text);
    return;
  }
  out_ << echoText(key);
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

// At a terminal the line read shows the question itself, once the line mode is in force, so
// that every key typed after it is echoed by the terminal.
int TerminalConsole::readAnswer() {
  redrawIfResumed();
  if (modes_ == nullptr) {
    flushOutput();
  }
  return input_->readAnswer();
}

std::string TerminalConsole::readWord() {
  redrawIfResumed();
  if (modes_ == nullptr) {
    flushOutput();
  }
  return input_->readWord();
}
