// Byte input with a time limit and buffered output over file descriptors.
#include "console/keys/fd_stream.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool isTerminal(int fd) {
  return ::isatty(fd) == 1;
}

FdOutputBuffer::~FdOutputBuffer() {
  writeOut();
}

bool FdOutputBuffer::writeOut() {
  bool written = writeAll(fd_, buffer_, used_);
  used_ = 0;  // on failure the text is lost rather than retried for ever
  return written;
}

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) {
    return writeOut() ? traits_type::not_eof(ch) : traits_type::eof();
  }
  if (used_ == kCapacity && !writeOut()) {
    return traits_type::eof();
  }
  buffer_[used_++] = traits_type::to_char_type(ch);
  return ch;
}

std::streamsize FdOutputBuffer::xsputn(const char* data, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    if (used_ == kCapacity && !writeOut()) {
      break;
    }
    std::size_t chunk = std::min(kCapacity - used_, static_cast<std::size_t>(count - done));
    std::memcpy(buffer_ + used_, data + done, chunk);
    used_ += chunk;
    done += static_cast<std::streamsize>(chunk);
  }
  return done;
}

int FdOutputBuffer::sync() {
  return writeOut() ? 0 : -1;
}

bool InputQueue::readMore(int timeoutMs) {
  // Poll even when waiting for ever: a signal breaks a poll whatever SA_RESTART says, and the
  // program may have a screen to redraw.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      wait = static_cast<int>(std::max<long long>(0, left.count()));
    }
    pollfd ready = {fd_, POLLIN, 0};
    const int count = ::poll(&ready, 1, wait);
    if (count > 0) {
      break;
    }
    if (count == 0) {
      return false;
    }
    if (errno != EINTR) {
      break;  // let read() report the failure
    }
    if (onInterrupted_) {
      onInterrupted_();
    }
  }
  char chunk[4096];
  ssize_t got;
  do {
    got = ::read(fd_, chunk, sizeof chunk);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    // End of file, or a failed read: input has ended either way. A terminal that is gone fails
    // with EIO, or reports the hang-up beside its end of file.
    pollfd state = {fd_, POLLIN, 0};
    hungUp_ = (got < 0 && errno == EIO) || (::poll(&state, 1, 0) > 0 && (state.revents & POLLHUP));
    ended_ = true;
    return false;
  }
  bytes_.append(chunk, static_cast<std::size_t>(got));
  return true;
}
