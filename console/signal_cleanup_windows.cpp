// The temporary file to remove, shared with the console's control handler, which Windows runs on
// a thread of its own: a lock, not a signal-safe flag.
#include <windows.h>

#include <mutex>
#include <string>

#include "console/signal_cleanup.h"
#include "util/wide_text.h"

namespace {

std::mutex& pathLock() {
  static std::mutex lock;
  return lock;
}

std::wstring& registeredPath() {
  static std::wstring path;
  return path;
}

}  // namespace

bool setUnlinkOnFatalSignal(const char* path) {
  // As the output file names it to every call, the long form included.
  const std::wstring wide = widePath(path);
  std::lock_guard<std::mutex> guard(pathLock());
  registeredPath() = wide;
  return true;
}

void clearUnlinkOnFatalSignal() {
  std::lock_guard<std::mutex> guard(pathLock());
  registeredPath().clear();
}

// The control handler ends the process right after: the lock is kept, so that the program's own
// thread cannot register a new file in between.
void unlinkOnFatalSignal() {
  pathLock().lock();
  if (!registeredPath().empty()) {
    DeleteFileW(registeredPath().c_str());
  }
}
