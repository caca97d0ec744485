// A fixed buffer and a flag, so that a signal handler can read the path with no allocation.
#include "console/signal_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

char gPath[PATH_MAX];
// Set only once the whole path is in place, and cleared before it is changed, so that a handler
// never sees half a path.
volatile sig_atomic_t gRegistered = 0;

}  // namespace

bool setUnlinkOnFatalSignal(const char* path) {
  gRegistered = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t length = std::strlen(path);
  if (length >= sizeof gPath) {
    return false;
  }
  std::memcpy(gPath, path, length + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gRegistered = 1;
  return true;
}

void clearUnlinkOnFatalSignal() {
  gRegistered = 0;
}

void unlinkOnFatalSignal() {
  if (gRegistered != 0) {
    ::unlink(gPath);
  }
}
