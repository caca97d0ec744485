// Byte input on Windows: a pipe or a file read through the descriptor's handle. A console window
// is read by its key events instead (console_windows.cpp).
#include <io.h>
#include <windows.h>

#include "console/keys/fd_stream.h"

namespace {

// Whether a byte can be read at once or within timeoutMs: a file always; a pipe that holds some
// or gets some in time. Where the pipe cannot be asked (Wine's pipes from Linux programs, or one
// whose writer has gone), the end of the bytes at hand is the end of what is available: a program
// writes a key's sequence in one write, and a lone ESC acts at once, as on Linux.
bool arrivesWithin(HANDLE handle, int timeoutMs) {
  if (GetFileType(handle) == FILE_TYPE_DISK) {
    return true;
  }
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
      return false;
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

}  // namespace

bool InputQueue::readMore(int timeoutMs) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  if (timeoutMs >= 0 && !arrivesWithin(handle, timeoutMs)) {
    return false;
  }
  char chunk[4096];
  DWORD got = 0;
  if (!ReadFile(handle, chunk, sizeof chunk, &got, nullptr) || got == 0) {
    ended_ = true;  // the end of the file, or a pipe whose writer has gone
    return false;
  }
  bytes_.append(chunk, got);
  return true;
}
