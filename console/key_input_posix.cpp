// Keys and lines from a pipe or from a terminal.
#include "console/key_input.h"

Key DecodedInput::readKey() {
  while (!decoder_.hasKey()) {
    const int byte = input_.next(decoder_.isMidSequence() ? kEscapeWaitMs : -1);
    if (byte == InputQueue::kTimedOut) {
      decoder_.timeOut();
    } else if (byte == InputQueue::kEnded) {
      decoder_.timeOut();
      if (!decoder_.hasKey()) {
        onEnded();
        throw EndOfInput();
      }
    } else {
      decoder_.feed(static_cast<unsigned char>(byte));
    }
  }
  return decoder_.nextKey();
}

int DecodedInput::nextLineByte() {
  const int byte = peekLineByte();
  if (byte == InputQueue::kEnded) {
    onEnded();
    throw EndOfInput();
  }
  takeLineByte();
  return byte;
}

void DecodedInput::dropLineFeedOfEnter() {
  if (decoder_.takeCarriageReturn() && input_.peek() == '\n') {
    input_.next();
  }
}

std::string DecodedInput::readWord() {
  dropLineFeedOfEnter();
  std::string word = takeWord([this] { return nextLineByte(); }, [this] { return peekLineByte(); });
  midLine_ = true;
  return word;
}

int ScriptInput::readAnswer() {
  if (midLine_) {
    // Only the rest of the line already begun is dropped: what follows is the script's answer.
    int byte;
    do {
      byte = input_.next();
    } while (byte >= 0 && byte != '\n');
    midLine_ = false;
  }
  dropLineFeedOfEnter();
  const int first = nextLineByte();
  if (first == '\r' && input_.peek() == '\n') {
    input_.next();
    return '\n';  // an empty line ended by CR LF
  }
  for (int byte = first; byte != '\n' && byte != InputQueue::kEnded;) {
    byte = input_.next();
  }
  return first;
}

TerminalInput::TerminalInput(int fd, std::ostream& echo, TerminalControl control)
    : DecodedInput(fd, control.onInterrupted, true), echo_(echo), control_(std::move(control)) {}

void TerminalInput::onEnded() {
  if (input_.hungUp()) {
    control_.onHangUp();
  }
}

int TerminalInput::readAnswer() {
  // Everything typed ahead goes: the terminal's queue and what the program has read of it.
  input_.clear();
  line_.clear();
  linePosition_ = 0;
  decoder_.reset();
  control_.discardTyped();
  midLine_ = false;
  const int first = nextLineByte();
  linePosition_ = line_.size();  // the rest of the line is dropped
  return first;
}

int TerminalInput::peekLineByte() {
  if (linePosition_ == line_.size() && !takeLine()) {
    return InputQueue::kEnded;
  }
  return static_cast<unsigned char>(line_[linePosition_]);
}

// A new line for the line reads. Keys typed ahead come first, up to their Enter, echoed and edited
// as the terminal would have done had the line been asked for already; the rest is typed in the
// terminal's own line mode. False at the end of input.
bool TerminalInput::takeLine() {
  line_.clear();
  linePosition_ = 0;
  for (int byte = input_.next(0); byte >= 0; byte = input_.next(0)) {
    if (byte == control_.endOfFileKey) {
      return !line_.empty();
    }
    if (byte == control_.eraseKey) {
      if (!line_.empty()) {
        line_.pop_back();
        control_.showErase();
      }
      continue;
    }
    const char typed = byte == '\r' ? '\n' : static_cast<char>(byte);
    line_ += typed;
    echo_ << typed;
    if (typed == '\n') {
      return true;
    }
  }
  // The prompt shows only once the line mode is in force, so that what is typed from then on is
  // echoed and edited by the terminal.
  control_.setLineMode(true);
  struct KeyModeBack {
    TerminalControl& control;
    ~KeyModeBack() { control.setLineMode(false); }
  } keyModeBack{control_};
  echo_.flush();
  for (int byte = input_.next(); byte >= 0; byte = input_.next()) {
    // A CR can only be an Enter typed just before the mode changed.
    line_ += byte == '\r' ? '\n' : static_cast<char>(byte);
    if (byte == '\n' || byte == '\r') {
      return true;
    }
  }
  return !line_.empty();
}
