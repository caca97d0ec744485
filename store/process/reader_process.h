// A reader process: risky work (a library or a driver reading a damaged file, a driver waiting on
// a server that no longer answers) done away from the program, under limits, its answer sent
// back on a pipe. On POSIX it is a child forked from the program (reader_process_posix.cpp), on
// Windows the program started again (reader_process_windows.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ReaderLimits {
  // Processor time the reader may use.
  std::chrono::seconds processorTime{60};
  // How long it may go without sending a byte while the program runs (time in which the program
  // is stopped, Ctrl-Z, does not count): a driver waiting on a frozen server, or on a lock that
  // is never released. On Windows, time in which it uses the processor counts as progress too.
  std::chrono::seconds silence{60};
  std::size_t memoryBytes = 0;  // memory the reader may add to what it starts with; 0: no limit
};

struct ReaderEnd {
  enum Kind { kExited, kCrashed, kKilled } kind = kExited;
  unsigned long code = 0;       // the exit code (a crash: the signal, or the exception's code)
  bool ranOutOfMemory = false;  // an allocation failed in it, or it died at or near its limit
  bool ranOutOfTime = false;    // past its processor time
  bool fellSilent = false;      // killed past the silence limit
  long peakMemoryKiB = 0;       // its largest resident set, where the system tells
};

// What became of a reader that gave no whole answer, in words for the operator: "its reader took
// longer than 10 s", "its reader ran out of memory", "its reader crashed", "its reader's answer
// is malformed". A reader that fell silent took longer than the silence limit.
std::string readerFailure(const ReaderEnd& end, const ReaderLimits& limits);

class ReaderProcess {
 public:
  // POSIX: work runs in a child with outputFd the pipe's write end, and returns the child's exit
  // status; an exception thrown by it ends the child too. The child's standard input, output and
  // error are /dev/null; it stays in the program's process group (Ctrl-Z stops both, fg
  // continues both) and is killed when the program ends. Throws std::system_error when no child
  // can be started (std::bad_alloc for want of memory).
  using Work = std::function<int(int outputFd)>;
  ReaderProcess(const Work& work, const ReaderLimits& limits);
  // Windows: starts program (a path, as UTF-8) with arguments (UTF-8) and, after them, the number
  // of the handle it writes its answer to (see rowsDescriptor). Its standard input is input, on a
  // pipe (a connection string, whose password must not stand on a command line that other
  // programs can read), or the null device when input is empty; its output and error are the
  // null device. It runs in a job that holds it to the limits and ends it should this program
  // end. Throws std::runtime_error when it cannot be started.
  ReaderProcess(const std::string& program, const std::vector<std::string>& arguments,
                const ReaderLimits& limits, const std::string& input = {});
  // Kills the reader if it is still there.
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // What the reader wrote; 0 at the end of its output, and when a limit is passed (the reader is
  // then killed).
  std::size_t read(char* buffer, std::size_t size);
  // After the end of the output: waits for the reader to exit, under the same limits.
  ReaderEnd finish();
  // Kills the reader now, unless it has ended already.
  ReaderEnd stop();

  // The exit status a reader gives when an allocation of its own work fails.
  static constexpr int kOutOfMemoryExit = 71;

 private:
  struct Handles;  // the platform's: the process, the pipe, the clocks
  std::unique_ptr<Handles> handles_;
};

// Windows: this program's own path, to start it again as a reader.
std::string thisProgramPath();

// Windows, in the reader: the C runtime descriptor of the answer's pipe, from the handle number
// the program gave as the last argument; -1 when it names no handle or is no number.
int rowsDescriptor(const std::string& argument);

// The command line Windows programs split into arguments again as the C runtime does: quotes and
// the backslashes before them escaped.
std::string windowsCommandLine(const std::vector<std::string>& arguments);
