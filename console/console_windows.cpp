// The Windows console: key events and VT output on a console window, bytes on pipes and files.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <functional>

#include "console/console_windows.h"
#include "console/keys/line_editor.h"
#include "console/plain_box_lines.h"
#include "console/signal_cleanup.h"
#include "util/wide_text.h"

namespace {

// VT sequences (xterm's), which Windows 10's console and Wine's both take. No alternate screen:
// the program draws in the window's own buffer, whose scroll bar reaches what scrolled off the
// top of a long screen, and its clear leaves that alone (never ESC [3J).
constexpr const char* kClearScreen = "\x1b[2J\x1b[H";
constexpr const char* kLightGreenOnBlack = "\x1b[92;40m";
constexpr const char* kResetColours = "\x1b[0m";
// Cursor to the start of the line above. Cursor-up followed by CR in one write loses the
// cursor-up in Wine's console; this one sequence does both.
constexpr const char* kStartOfPreviousLine = "\x1b[F";
constexpr const char* kEraseToEndOfLine = "\x1b[K";

// The status Windows gives a program ended by Ctrl-C (STATUS_CONTROL_C_EXIT).
constexpr UINT kExitByControlC = 0xC000013A;

}  // namespace

// What the control handler needs to give the console back, reachable from its own thread.
struct WindowsConsole::SavedState {
  HANDLE input = INVALID_HANDLE_VALUE;
  HANDLE output = INVALID_HANDLE_VALUE;
  DWORD inputMode = 0;
  DWORD outputMode = 0;
  UINT inputCodePage = 0;
  UINT outputCodePage = 0;
  bool inputIsConsole = false;
  bool outputIsConsole = false;
  std::atomic<bool> vt{false};
  std::atomic<bool> coloursOn{false};
  std::atomic<bool> restored{false};

  void write(const char* text) const {
    const std::wstring wide = wideText(text);
    DWORD written = 0;
    WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  }

  // Safe to run twice and from the control handler's thread: each step is one console call.
  void restore() {
    if (restored.exchange(true)) {
      return;
    }
    if (outputIsConsole) {
      if (vt && coloursOn) {
        write(kResetColours);
      }
      SetConsoleMode(output, outputMode);
      SetConsoleOutputCP(outputCodePage);
    }
    if (inputIsConsole) {
      SetConsoleMode(input, inputMode);
      SetConsoleCP(inputCodePage);
    }
  }
};

namespace {

std::atomic<WindowsConsole::SavedState*>* gHandlerState() {
  static std::atomic<WindowsConsole::SavedState*> state{nullptr};
  return &state;
}

BOOL WINAPI onControlEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  unlinkOnFatalSignal();
  if (WindowsConsole::SavedState* state = gHandlerState()->load()) {
    state->restore();
  }
  // Ends every other thread first, the one that may be drawing on the console among them.
  ExitProcess(kExitByControlC);
}

// A person at a console window: keys from its key events, and line answers taken, echoed and
// edited by the terminal's own line reading, as on a POSIX terminal.
class ConsoleWindowInput : public TerminalInput {
 public:
  ConsoleWindowInput(std::ostream& echo, TerminalControl control, std::function<Key()> nextKey)
      : TerminalInput(-1, echo, std::move(control)), nextKey_(std::move(nextKey)) {}
  Key readKey() override { return nextKey_(); }

 private:
  std::function<Key()> nextKey_;
};

}  // namespace

WindowsConsole::WindowsConsole(bool plain)
    : input_(GetStdHandle(STD_INPUT_HANDLE)),
      output_(GetStdHandle(STD_OUTPUT_HANDLE)),
      plain_(plain),
      saved_(std::make_unique<SavedState>()),
      out_(nullptr) {
  SavedState& saved = *saved_;
  saved.input = input_;
  saved.output = output_;
  saved.inputIsConsole = GetConsoleMode(input_, &saved.inputMode) != 0;
  saved.outputIsConsole = GetConsoleMode(output_, &saved.outputMode) != 0;
  inputIsConsole_ = saved.inputIsConsole;
  outputIsConsole_ = saved.outputIsConsole;
  if (outputIsConsole_) {
    saved.outputCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    // Plain mode asks for no VT sequences: nothing but the screens' text.
    vt_ = !plain && SetConsoleMode(output_, saved.outputMode | ENABLE_PROCESSED_OUTPUT |
                                                ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    saved.vt = vt_;
  }
  if (inputIsConsole_) {
    saved.inputCodePage = GetConsoleCP();
    SetConsoleCP(CP_UTF8);
    // Keys one by one without echo; Ctrl-C stays a signal to the control handler. No mouse,
    // no window events: only key events are read.
    SetConsoleMode(input_, ENABLE_PROCESSED_INPUT | ENABLE_EXTENDED_FLAGS);
  }
  outBuffer_ = std::make_unique<ConsoleOutputBuffer>(output_, outputIsConsole_);
  // U+FFFD for what the filter replaces: the console takes UTF-8 from now on.
  safeBuffer_ = std::make_unique<SafeTextBuffer>(
      outBuffer_.get(), outputIsConsole_ ? "\xEF\xBF\xBD" : replacementForTerminal());
  out_.rdbuf(safeBuffer_.get());
  showStoredTextInline(out_);
  if (plain_ && outputIsConsole_) {
    outBuffer_->takeOutBoxes();
  }
  if (inputIsConsole_) {
    keyInput_ = std::make_unique<ConsoleWindowInput>(out_, terminalControl(),
                                                     [this] { return readConsoleKey(); });
  } else {
    keyInput_ = std::make_unique<ScriptInput>(0);  // standard input's descriptor
  }
}

WindowsConsole::~WindowsConsole() {
  restoreTerminal();
  if (gHandlerState()->load() == saved_.get()) {
    gHandlerState()->store(nullptr);
    SetConsoleCtrlHandler(onControlEvent, FALSE);
  }
}

void WindowsConsole::handleSignals() {
  gHandlerState()->store(saved_.get());
  SetConsoleCtrlHandler(onControlEvent, TRUE);
}

void WindowsConsole::restoreTerminal() {
  out_.flush();
  saved_->restore();
  coloursOn_ = false;
}

void WindowsConsole::raw(const char* bytes) {
  out_.flush();
  outBuffer_->sputn(bytes, static_cast<std::streamsize>(std::char_traits<char>::length(bytes)));
}

void WindowsConsole::writeSequence(const char* sequence) {
  if (vt_) {
    raw(sequence);
  }
}

void WindowsConsole::echo(const Key& key) {
  if (key.code == kEnterKey) {
    raw(key.text.c_str());  // it acts rather than shows, as in the Windows console
    return;
  }
  out_ << echoText(key);
}

void WindowsConsole::startColours() {
  const char* noColor = std::getenv("NO_COLOR");
  if (!vt_ || (noColor != nullptr && noColor[0] != '\0')) {
    return;
  }
  coloursOn_ = true;
  saved_->coloursOn = true;
  raw(kLightGreenOnBlack);
}

void WindowsConsole::rewritePreviousLine(const std::string& text) {
  if (!vt_) {
    return;
  }
  raw(kStartOfPreviousLine);
  out_ << text;
  raw(kEraseToEndOfLine);
  out_ << '\n';
  out_.flush();
}

void WindowsConsole::clearScreen() {
  if (!vt_) {
    if (outputIsConsole_) {
      // No way to clear (or plain mode): the next screen starts after a blank line.
      out_.flush();
      outBuffer_->breakScreen();
    }
    return;
  }
  raw(kClearScreen);
}

void WindowsConsole::closeScreen() {
  // The closing line in the user's colours, on a window cleared in them.
  writeSequence(kResetColours);
  coloursOn_ = false;
  saved_->coloursOn = false;
  clearScreen();
  out_.flush();
}

void WindowsConsole::pause() {
  out_ << "Press any key to continue . . . ";
  readKey();
  paused_ = true;
}

void WindowsConsole::pauseInOwnWindow() {
  if (paused_ || !inputIsConsole_) {
    return;
  }
  try {
    pause();
  } catch (const EndOfInput&) {
    // The window is closing anyway.
  }
  out_ << '\n';
  out_.flush();
}

Key WindowsConsole::readKey() {
  out_.flush();
  return keyInput_->readKey();
}

Key WindowsConsole::readConsoleKey() {
  while (keys_.empty()) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!ReadConsoleInputW(input_, &record, 1, &count) || count == 0) {
      throw EndOfInput();
    }
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
      continue;
    }
    const KEY_EVENT_RECORD& event = record.Event.KeyEvent;
    const KeyEvent mapped{event.wVirtualKeyCode, static_cast<char16_t>(event.uChar.UnicodeChar),
                          event.dwControlKeyState};
    const int repeats = event.wRepeatCount > 0 ? event.wRepeatCount : 1;
    for (int i = 0; i < repeats; ++i) {
      for (Key& key : mapper_.keysOf(mapped)) {
        keys_.push_back(std::move(key));
      }
    }
  }
  Key key = keys_.front();
  keys_.pop_front();
  return key;
}

int WindowsConsole::readAnswer() {
  out_.flush();
  return keyInput_->readAnswer();
}

std::string WindowsConsole::readWord() {
  out_.flush();
  // In plain mode a word typed ahead answers its prompt without a key: the prompt's line is
  // ended, so that the next prompt starts a line of its own.
  const bool typedAhead = plain_ && outputIsConsole_ && keyInput_->hasWordAhead();
  std::string word = keyInput_->readWord();
  if (typedAhead) {
    out_ << '\n';
  }
  return word;
}

TerminalControl WindowsConsole::terminalControl() {
  TerminalControl control;
  control.discardTyped = [this] {
    FlushConsoleInputBuffer(input_);
    keys_.clear();
  };
  control.onHangUp = [] {};  // a console window does not hang up: its closing is a control event
  control.showErase = [this](std::size_t columns) {
    for (std::size_t i = 0; i < columns; ++i) {
      raw("\b \b");
    }
  };
  const LineKeys keys;
  control.endOfFileKey = keys.endOfFileKey;
  control.eraseKey = keys.eraseKey;
  control.killKey = keys.killKey;
  return control;
}
