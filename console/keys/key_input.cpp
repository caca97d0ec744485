// Keys and lines from a pipe or from a terminal.
#include "console/keys/key_input.h"

#include "console/keys/line_editor.h"

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

// A new line for the line reads, typed (or typed ahead) key by key up to Enter. False at the end
// of input.
bool TerminalInput::takeLine() {
  line_.clear();
  linePosition_ = 0;
  LineEditor editor({control_.eraseKey, control_.killKey, control_.endOfFileKey});
  echo_.flush();
  for (;;) {
    Key key;
    try {
      key = readKey();
    } catch (const EndOfInput&) {
      line_ = editor.line();
      return !line_.empty();
    }
    std::string shown;
    std::size_t erased = 0;
    const LineEditor::Step step = editor.take(key, shown, erased);
    if (erased > 0) {
      control_.showErase(erased);
    }
    echo_ << shown;
    echo_.flush();
    if (step != LineEditor::Step::kGoesOn) {
      line_ = editor.line();
      return step == LineEditor::Step::kEnded;
    }
  }
}
