// Standard output and standard error on a console window: the characters the program's UTF-8
// encodes, whatever code page (437, 850) the window reads bytes in.
#include <windows.h>

#include <iostream>
#include <streambuf>

#include "console/console_windows.h"
#include "console/key_decoder.h"
#include "store/sources/wide_text.h"

namespace {

bool isConsoleWindow(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// A standard stream's buffer onto a console window.
class ConsoleWindowBuffer : public std::streambuf {
 public:
  explicit ConsoleWindowBuffer(HANDLE handle) : handle_(handle) {
    setp(buffer_, buffer_ + sizeof buffer_);
  }

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
    pending_.append(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_, buffer_ + sizeof buffer_);
    return writeToConsoleWindow(handle_, pending_) ? 0 : -1;
  }

 private:
  HANDLE handle_;
  char buffer_[1024];
  std::string pending_;  // at most an unfinished character between writes
};

void showInConsoleWindow(std::ostream& stream, DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (!isConsoleWindow(handle)) {
    return;  // a file or a pipe keeps the UTF-8 bytes
  }
  stream.flush();
  // Never freed: the C++ runtime flushes the standard streams after every static is gone.
  stream.rdbuf(new ConsoleWindowBuffer(handle));
}

}  // namespace

std::size_t unfinishedUtf8Tail(const std::string& text) {
  const std::size_t size = text.size();
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const unsigned char byte = static_cast<unsigned char>(text[size - back]);
    if ((byte & 0xC0) != 0x80) {
      const std::size_t length = utf8CharacterLength(byte);
      return length > back ? back : 0;
    }
  }
  return 0;
}

bool writeToConsoleWindow(void* handle, std::string& text) {
  const std::size_t tail = unfinishedUtf8Tail(text);
  const std::wstring wide = wideText(text.substr(0, text.size() - tail));
  text.erase(0, text.size() - tail);
  const wchar_t* units = wide.data();
  std::size_t count = wide.size();
  while (count > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(count < 16384 ? count : 16384);
    if (!WriteConsoleW(handle, units, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    units += written;
    count -= written;
  }
  return true;
}

void showStandardStreamsInConsoleWindow() {
  showInConsoleWindow(std::cout, STD_OUTPUT_HANDLE);
  showInConsoleWindow(std::cerr, STD_ERROR_HANDLE);
}

std::string ConsoleTabs::expand(void* handle, const std::string& text) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(handle, &info) && info.dwSize.X > 0) {
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
          column_ = 0;  // home, or the start of the line above: the sequences the console sends
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
