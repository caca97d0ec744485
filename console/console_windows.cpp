// The Windows console: key events and VT output on a console window, bytes on pipes and files.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "console/console_windows.h"
#include "console/line_editor.h"
#include "console/plain_screen_break.h"
#include "console/signal_cleanup.h"
#include "store/sources/wide_text.h"

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

}  // namespace

// Output to a console window as UTF-16 (whole characters only), to a pipe or file as bytes.
class WindowsConsole::OutputBuffer : public std::streambuf {
 public:
  OutputBuffer(HANDLE handle, bool isConsole) : handle_(handle), isConsole_(isConsole) {
    setp(buffer_, buffer_ + sizeof buffer_);
  }
  ~OutputBuffer() override { sync(); }
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Plain mode's clear: the next text starts after a blank line.
  void breakScreen() { screenBreak_.request(); }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    pending_ += screenBreak_.pass({pbase(), static_cast<std::size_t>(pptr() - pbase())});
    setp(buffer_, buffer_ + sizeof buffer_);
    if (pending_.empty()) {
      return 0;
    }
    bool ok = true;
    if (isConsole_) {
      const std::size_t tail = unfinishedUtf8Tail(pending_);
      std::string text = expandTabs(pending_.substr(0, pending_.size() - tail));
      ok = writeToConsoleWindow(handle_, text);
      pending_.erase(0, pending_.size() - tail);
    } else {
      ok = writeAll(pending_.data(), pending_.size());
      pending_.clear();
    }
    return ok ? 0 : -1;
  }

 private:
  bool writeAll(const char* bytes, std::size_t count) {
    while (count > 0) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(count < 16384 ? count : 16384);
      if (!WriteFile(handle_, bytes, chunk, &written, nullptr) || written == 0) {
        return false;
      }
      bytes += written;
      count -= written;
    }
    return true;
  }

  // Tabs as the spaces up to the next stop of eight. Wine's console draws a tab at the start of
  // its top line two columns short.
  std::string expandTabs(const std::string& text) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(handle_, &info) && info.dwSize.X > 0) {
      width_ = static_cast<std::size_t>(info.dwSize.X);
    }
    std::string expanded;
    expanded.reserve(text.size());
    for (char c : text) {
      const unsigned char byte = static_cast<unsigned char>(c);
      if (inSequence_) {
        expanded += c;
        // A CSI sequence ends with a byte from '@' to '~'; the '[' after ESC does not end it.
        const bool opening = byte == '[' && expanded[expanded.size() - 2] == '\x1b';
        if (byte >= 0x40 && byte <= 0x7e && !opening) {
          inSequence_ = false;
          if (byte == 'H' || byte == 'F') {
            column_ = 0;  // home, or the start of the line above: the sequences this file sends
          }
        }
        continue;
      }
      if (c == '\t') {
        const std::size_t stop = column_ - column_ % 8 + 8;
        const std::size_t end = stop < width_ ? stop : width_ - 1;
        const std::size_t spaces = end > column_ ? end - column_ : 0;
        expanded.append(spaces, ' ');
        column_ += spaces;
        continue;
      }
      expanded += c;
      if (c == '\x1b') {
        inSequence_ = true;
      } else if (c == '\r' || c == '\n') {
        column_ = 0;
      } else if (c == '\b') {
        column_ = column_ > 0 ? column_ - 1 : 0;
      } else if ((byte & 0xC0) != 0x80 && byte >= 0x20) {
        // One column per character, not per byte; a full line goes on at the next line's start.
        column_ = column_ >= width_ ? 1 : column_ + 1;
      }
    }
    return expanded;
  }

  HANDLE handle_;
  bool isConsole_;
  std::size_t column_ = 0;
  std::size_t width_ = 80;
  bool inSequence_ = false;
  char buffer_[4096];
  std::string pending_;  // bytes not yet written: at most an unfinished character between writes
  PlainScreenBreak screenBreak_;
};

WindowsConsole::WindowsConsole(bool plain)
    : input_(GetStdHandle(STD_INPUT_HANDLE)),
      output_(GetStdHandle(STD_OUTPUT_HANDLE)),
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
  outBuffer_ = std::make_unique<OutputBuffer>(output_, outputIsConsole_);
  // U+FFFD for what the filter replaces: the console takes UTF-8 from now on.
  safeBuffer_ = std::make_unique<SafeTextBuffer>(
      outBuffer_.get(), outputIsConsole_ ? "\xEF\xBF\xBD" : replacementForTerminal());
  out_.rdbuf(safeBuffer_.get());
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
  return inputIsConsole_ ? readConsoleKey() : readByteKey();
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

// A new line for the line reads, typed key by key (keys typed ahead first) up to Enter, with
// the same echo and editing as on a terminal.
bool WindowsConsole::takeConsoleLine() {
  line_.clear();
  linePosition_ = 0;
  out_.flush();
  LineEditor editor(LineKeys{});
  for (;;) {
    std::string shown;
    std::size_t erased = 0;
    const LineEditor::Step step = editor.take(readConsoleKey(), shown, erased);
    for (std::size_t i = 0; i < erased; ++i) {
      raw("\b \b");
    }
    if (shown == "\n") {
      raw("\r\n");  // the console's own line end, whatever its output mode
    } else {
      out_ << shown;
    }
    out_.flush();
    if (step != LineEditor::Step::kGoesOn) {
      line_ = editor.line();
      return step == LineEditor::Step::kEnded;
    }
  }
}

void WindowsConsole::discardPending() {
  if (inputIsConsole_) {
    FlushConsoleInputBuffer(input_);
    keys_.clear();
    line_.clear();
    linePosition_ = 0;
  } else if (midLine_) {
    // A pipe is a script: only the rest of the line already begun is dropped.
    int byte;
    do {
      byte = nextByte(false);
    } while (byte >= 0 && byte != '\n');
  }
  midLine_ = false;
}

int WindowsConsole::peekLineByte() {
  if (!inputIsConsole_) {
    return nextByte(true);
  }
  if (linePosition_ == line_.size() && !takeConsoleLine()) {
    return -1;
  }
  return static_cast<unsigned char>(line_[linePosition_]);
}

int WindowsConsole::nextLineByte() {
  const int byte = peekLineByte();
  if (byte < 0) {
    throw EndOfInput();
  }
  if (inputIsConsole_) {
    ++linePosition_;
  } else {
    nextByte(false);
  }
  return byte;
}

int WindowsConsole::readAnswer() {
  out_.flush();
  discardPending();
  if (!inputIsConsole_ && decoder_.takeCarriageReturn() && nextByte(true) == '\n') {
    nextByte(false);
  }
  const int first = nextLineByte();
  if (inputIsConsole_) {
    linePosition_ = line_.size();  // the rest of the line is dropped
    return first;
  }
  if (first == '\r' && nextByte(true) == '\n') {
    nextByte(false);
    return '\n';  // an empty line ended by CR LF
  }
  int byte = first;
  while (byte != '\n' && byte >= 0) {
    byte = nextByte(false);
  }
  return first;
}

std::string WindowsConsole::readWord() {
  out_.flush();
  if (!inputIsConsole_ && decoder_.takeCarriageReturn() && nextByte(true) == '\n') {
    nextByte(false);
  }
  std::string word = takeWord([this] { return nextLineByte(); }, [this] { return peekLineByte(); });
  midLine_ = true;
  return word;
}

Key WindowsConsole::readByteKey() {
  while (!decoder_.hasKey()) {
    if (decoder_.isMidSequence() && !waitForByte(kEscapeWaitMs)) {
      decoder_.timeOut();
      continue;
    }
    const int byte = nextByte(false);
    if (byte < 0) {
      decoder_.timeOut();
      if (!decoder_.hasKey()) {
        throw EndOfInput();
      }
    } else {
      decoder_.feed(static_cast<unsigned char>(byte));
    }
  }
  return decoder_.nextKey();
}

// True when a byte can be read at once or within timeoutMs, or the input has ended: bytes read
// ahead, a file, or a pipe that holds some or gets some in time. Where the pipe cannot be asked
// (Wine's pipes from Linux programs), the end of the bytes read is the end of what is available:
// a program writes a key's sequence in one write, and a lone ESC acts at once, as on Linux.
bool WindowsConsole::waitForByte(int timeoutMs) {
  if (bytePosition_ < bytes_.size() || inputEnded_ || GetFileType(input_) == FILE_TYPE_DISK) {
    return true;
  }
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(input_, nullptr, 0, nullptr, &available, nullptr)) {
      return false;  // not a pipe that says, or a broken one: the next read reports its end
    }
    if (available > 0) {
      return true;
    }
    if (GetTickCount64() >= deadline) {
      return false;
    }
    Sleep(5);
  }
}

// The next byte of a pipe or file (consumed unless peekOnly), or -1 at its end.
int WindowsConsole::nextByte(bool peekOnly) {
  if (bytePosition_ == bytes_.size()) {
    bytes_.clear();
    bytePosition_ = 0;
    if (!inputEnded_) {
      out_.flush();
      char buffer[4096];
      DWORD count = 0;
      if (!ReadFile(input_, buffer, sizeof buffer, &count, nullptr) || count == 0) {
        inputEnded_ = true;
      } else {
        bytes_.assign(buffer, count);
      }
    }
    if (bytes_.empty()) {
      return -1;
    }
  }
  const int byte = static_cast<unsigned char>(bytes_[bytePosition_]);
  if (!peekOnly) {
    ++bytePosition_;
  }
  return byte;
}
