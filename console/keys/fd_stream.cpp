// What the byte input does on every platform: bytes read ahead, taken one by one.
#include "console/keys/fd_stream.h"

bool InputQueue::fill(int timeoutMs) {
  if (position_ == bytes_.size()) {
    bytes_.clear();
    position_ = 0;
  }
  if (ended_) {
    return false;
  }
  return readMore(timeoutMs);
}

int InputQueue::peek(int timeoutMs) {
  if (position_ == bytes_.size() && !fill(timeoutMs)) {
    return ended_ ? kEnded : kTimedOut;
  }
  return static_cast<unsigned char>(bytes_[position_]);
}

int InputQueue::next(int timeoutMs) {
  int byte = peek(timeoutMs);
  if (byte >= 0) {
    ++position_;
  }
  return byte;
}

void InputQueue::clear() {
  bytes_.clear();
  position_ = 0;
}
