// Plain byte input and output over file descriptors, for the console.
#pragma once

#include <cstddef>
#include <functional>
#include <streambuf>
#include <string>

// Writes all of data, going on after interrupted and partial writes. Async-signal-safe: it only
// calls write().
bool writeAll(int fd, const char* data, std::size_t size);

// Whether fd is a terminal.
bool isTerminal(int fd);

// std::ostream's buffer over a file descriptor: one output path for everything the screens print.
class FdOutputBuffer : public std::streambuf {
 public:
  explicit FdOutputBuffer(int fd) : fd_(fd) {}
  ~FdOutputBuffer() override;
  FdOutputBuffer(const FdOutputBuffer&) = delete;
  FdOutputBuffer& operator=(const FdOutputBuffer&) = delete;

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  static constexpr std::size_t kCapacity = 4096;
  bool writeOut();
  int fd_;
  char buffer_[kCapacity];
  std::size_t used_ = 0;
};

// Bytes read from the input descriptor and not consumed yet.
class InputQueue {
 public:
  static constexpr int kEnded = -1;
  static constexpr int kTimedOut = -2;

  // onInterrupted runs when a signal breaks a wait for input (a resumed program redraws there).
  explicit InputQueue(int fd, std::function<void()> onInterrupted = nullptr)
      : fd_(fd), onInterrupted_(std::move(onInterrupted)) {}

  // The next byte (0..255), or kEnded at end of input, or kTimedOut when nothing arrived within
  // timeoutMs (a negative timeout waits as long as it takes).
  int next(int timeoutMs = -1);
  // The next byte without consuming it, under the same rules.
  int peek(int timeoutMs = -1);
  void clear();
  // The input ended because its terminal is gone (hung up), not by an end-of-file key or a pipe
  // closed.
  bool hungUp() const { return hungUp_; }

 private:
  bool fill(int timeoutMs);
  // Appends what the input gives within timeoutMs (the platform's part); false when nothing
  // came, with ended_ set at the end of the input.
  bool readMore(int timeoutMs);

  int fd_;
  std::function<void()> onInterrupted_;
  std::string bytes_;
  std::size_t position_ = 0;
  bool ended_ = false;
  bool hungUp_ = false;
};
