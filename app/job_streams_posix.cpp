// A job's standard streams and interrupts on a POSIX system.
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

#include "app/job_streams.h"
#include "console/signal_cleanup.h"

namespace {

// Async-signal-safe: removes the file, then lets the signal end the program as the caller expects.
void onFatalSignal(int number) {
  unlinkOnFatalSignal();
  ::signal(number, SIG_DFL);
  ::raise(number);
}

}  // namespace

bool isStandardErrorTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void removeTemporaryFileOnInterrupt() {
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(number, &action, nullptr);
  }
}
