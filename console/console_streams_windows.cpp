// Writing to a console window, or to a pipe or a file in its place: the characters the program's
// UTF-8 encodes, whatever code page (437, 850) the window reads bytes in.
#include <windows.h>

#include <iostream>

#include "console/console_windows.h"
#include "console/keys/key_decoder.h"
#include "util/wide_text.h"

namespace {

// The number of bytes at the end of text that begin a UTF-8 character not yet complete.
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

// Writes all count units, in pieces that one call takes, going on after a short write.
template <typename Unit, typename Write>
bool writeInPieces(const Unit* units, std::size_t count, Write write) {
  while (count > 0) {
    DWORD written = 0;
    if (!write(units, static_cast<DWORD>(count < 16384 ? count : 16384), &written) ||
        written == 0) {
      return false;
    }
    units += written;
    count -= written;
  }
  return true;
}

// Writes whole UTF-8 characters to the console window as the characters they encode.
bool writeToConsoleWindow(HANDLE handle, const std::string& text) {
  const std::wstring wide = wideText(text);
  return writeInPieces(wide.data(), wide.size(),
                       [handle](const wchar_t* units, DWORD count, DWORD* written) {
                         return WriteConsoleW(handle, units, count, written, nullptr) != 0;
                       });
}

void showInConsoleWindow(std::ostream& stream, DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode) == 0) {
    return;  // a file or a pipe keeps the UTF-8 bytes
  }
  stream.flush();
  // Never freed: the C++ runtime flushes the standard streams after every static is gone.
  stream.rdbuf(new ConsoleOutputBuffer(handle, true));
}

}  // namespace

void showStandardStreamsInConsoleWindow() {
  showInConsoleWindow(std::cout, STD_OUTPUT_HANDLE);
  showInConsoleWindow(std::cerr, STD_ERROR_HANDLE);
}

ConsoleOutputBuffer::ConsoleOutputBuffer(void* handle, bool isConsole)
    : handle_(handle), isConsole_(isConsole) {
  setp(buffer_, buffer_ + sizeof buffer_);
}

ConsoleOutputBuffer::~ConsoleOutputBuffer() {
  sync();
}

ConsoleOutputBuffer::int_type ConsoleOutputBuffer::overflow(int_type c) {
  if (write(false) != 0) {
    return traits_type::eof();
  }
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int ConsoleOutputBuffer::sync() {
  return write(true);
}

int ConsoleOutputBuffer::write(bool flushing) {
  std::string written(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(buffer_, buffer_ + sizeof buffer_);
  if (boxLines_) {
    written = boxLines_->pass(written) + (flushing ? boxLines_->release() : std::string());
  }
  pending_ += screenBreak_.pass(written);
  if (pending_.empty()) {
    return 0;
  }
  bool ok = true;
  if (isConsole_) {
    const std::size_t tail = unfinishedUtf8Tail(pending_);
    ok = writeToConsoleWindow(handle_, expandTabs(pending_.substr(0, pending_.size() - tail)));
    pending_.erase(0, pending_.size() - tail);
  } else {
    ok = writeBytes(pending_.data(), pending_.size());
    pending_.clear();
  }
  return ok ? 0 : -1;
}

bool ConsoleOutputBuffer::writeBytes(const char* bytes, std::size_t count) {
  return writeInPieces(bytes, count, [this](const char* units, DWORD size, DWORD* written) {
    return WriteFile(handle_, units, size, written, nullptr) != 0;
  });
}

std::string ConsoleOutputBuffer::expandTabs(const std::string& text) {
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
