// A job's standard streams and interrupts on Windows.
#include <windows.h>

#include "app/job_streams.h"
#include "console/signal_cleanup.h"

namespace {

// Runs on a thread of its own; FALSE lets the next handler, the default one, end the process.
BOOL WINAPI onControlEvent(DWORD) {
  unlinkOnFatalSignal();
  return FALSE;
}

}  // namespace

bool isStandardErrorTerminal() {
  // _isatty is also true for the NUL device; only a console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void removeTemporaryFileOnInterrupt() {
  SetConsoleCtrlHandler(onControlEvent, TRUE);
}
