// The compact binary stream in which a reader process sends table rows back to the program: the
// byte-level writer on the child's side and the incremental, bounds-checked reader on ours.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

// Integers are little-endian; a length is a LEB128 number of at most five bytes. What the
// records mean is the business of the reader and the writer of a stream; these classes move bytes.
enum RowStreamTag : std::uint8_t {
  kStreamTable = 'T',     // a table's header
  kStreamRow = 'R',       // one row's values
  kStreamTableEnd = 'E',  // the number of rows sent
  kStreamRefusal = 'X',   // the reader gives up, with its reason
  kStreamEnd = 'Z',       // nothing follows
};

constexpr char kRowStreamMagic[4] = {'T', 'V', 'R', '1'};

// Writes through a large buffer, so that a row costs no system call. Throws std::system_error
// when the pipe cannot be written (the program has gone).
class RowStreamWriter {
 public:
  explicit RowStreamWriter(int fd, std::size_t bufferBytes = 1 << 20);
  RowStreamWriter(const RowStreamWriter&) = delete;
  RowStreamWriter& operator=(const RowStreamWriter&) = delete;

  void u8(std::uint8_t value) {
    reserve(1);
    buffer_[used_++] = static_cast<char>(value);
  }
  void u16(std::uint16_t value) { little(value, 2); }
  void u32(std::uint32_t value) { little(value, 4); }
  // A length, then that many bytes.
  void text(const char* bytes, std::size_t length);
  void flush();
  // Flushes what has waited longer than a moment: a reader that fetches slowly still sends what
  // it has, and is never taken for a silent one.
  void flushIfWaiting() {
    if (used_ > 0 && std::chrono::steady_clock::now() - flushed_ >= kLongestWait) {
      flush();
    }
  }

 private:
  void reserve(std::size_t bytes) {
    if (buffer_.size() - used_ < bytes) {
      flush();
    }
  }
  void little(std::uint32_t value, int bytes);
  // The platform's write (row_stream_posix.cpp, row_stream_windows.cpp): how many bytes went,
  // going on after interruptions; -1 with errno set when none can.
  static long writeSome(int fd, const char* data, std::size_t size);

  static constexpr std::chrono::milliseconds kLongestWait{500};

  int fd_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

// The stream stopped before its end (cut() is true) or holds bytes the format does not allow.
class RowStreamError : public std::runtime_error {
 public:
  explicit RowStreamError(bool cut)
      : std::runtime_error(cut ? "row stream cut off" : "row stream malformed"), cut_(cut) {}
  bool cut() const { return cut_; }

 private:
  bool cut_;
};

// Reads the stream piece by piece as it arrives, never holding more than one buffer of it.
// Every read throws RowStreamError rather than reading past what arrived.
class RowStreamReader {
 public:
  // Fills a buffer with what arrives next; returns 0 at the end.
  using Source = std::function<std::size_t(char* buffer, std::size_t size)>;
  explicit RowStreamReader(Source source, std::size_t bufferBytes = 1 << 18);

  std::uint8_t u8() {
    need(1);
    return static_cast<std::uint8_t>(buffer_[begin_++]);
  }
  std::uint16_t u16() { return static_cast<std::uint16_t>(little(2)); }
  std::uint32_t u32() { return little(4); }
  // A length and that many bytes, at most maxLength of them. The view lasts until the next read.
  std::string_view text(std::size_t maxLength);
  // Checks that the stream ends here.
  void expectEnd();
  [[noreturn]] static void malformed() { throw RowStreamError(false); }

 private:
  void need(std::size_t bytes) {
    if (end_ - begin_ < bytes) {
      fill(bytes);
    }
  }
  void fill(std::size_t bytes);
  std::uint32_t little(int bytes);
  std::uint32_t length();

  Source source_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the unread bytes are [begin_, end_)
  std::size_t end_ = 0;
};
