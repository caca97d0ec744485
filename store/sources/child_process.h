// A child process that does risky work (reading a damaged file with a library that may crash or
// run away) away from the program, under limits, and sends its answer back through a pipe.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

struct ChildLimits {
  // CPU time in the child, and time the parent waits for it while the program runs: time in which
  // the program is stopped (Ctrl-Z) does not count.
  std::chrono::seconds time{10};
  std::size_t memoryBytes = 0;  // address space the child may add to what it starts with
};

// How the child ended.
struct ChildEnd {
  enum Kind { kExited, kSignalled, kTimedOut, kStopped } kind = kExited;
  int code = 0;                 // the exit status, or the signal
  long peakMemoryKiB = 0;       // the child's largest resident set
  bool ranOutOfMemory = false;  // an allocation failed in the child, or it died near its limit
  bool ranOutOfTime = false;    // killed past the time limit, by the parent or by the CPU limit
};

// What became of the reader in the child, in words for the operator: "its reader took longer than
// 10 s", "its reader ran out of memory", "its reader crashed", "its reader's answer is malformed".
std::string readerFailure(const ChildEnd& end, const ChildLimits& limits);

class ChildProcess {
 public:
  // The work runs in the child with outputFd the pipe's write end and returns the child's exit
  // status; an exception thrown by it ends the child too. Throws std::system_error when no child
  // can be started (std::bad_alloc for want of memory).
  using Work = std::function<int(int outputFd)>;
  ChildProcess(const Work& work, const ChildLimits& limits);
  // Kills and reaps the child if it is still there.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads what the child wrote, waiting at most until the time limit is used up. Returns 0 at the
  // end of the output, and also when the time limit passes (the child is then killed).
  std::size_t read(char* buffer, std::size_t size);

  // After the end of the output: waits for the child to exit (killing it past the time limit)
  // and reaps it.
  ChildEnd finish();
  // Kills the child now, unless it has ended already, and reaps it.
  ChildEnd stop();

  // The exit status the child gives when an allocation of its own work fails.
  static constexpr int kOutOfMemoryExit = 71;

 private:
  void closeOutput();
  bool waitForChild(int fd);
  ChildEnd reap(int options);
  ChildEnd ending(int status, const struct rusage& usage) const;

  pid_t pid_ = -1;
  int readFd_ = -1;
  std::chrono::milliseconds timeLeft_;
  std::size_t memoryBytes_ = 0;
  std::size_t startResidentBytes_ = 0;
  bool timedOut_ = false;
  bool killed_ = false;
};
