// A reader process on Windows: the program started again to do risky work (a database driver
// reading a damaged file may crash or run away) under limits, its answer sent back on a pipe.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct ReaderLimits {
  // Processor time the reader may use; and, separately, how long it may sit without using any
  // and without sending a byte (a driver waiting on a lock that is never released).
  std::chrono::seconds processorTime{60};
  std::chrono::seconds idleTime{60};
  std::size_t memoryBytes = 0;  // committed memory; 0 for no limit
};

struct ReaderEnd {
  enum Kind { kExited, kCrashed, kKilled } kind = kExited;
  unsigned long code = 0;       // the exit code (for a crash, the exception's)
  bool ranOutOfMemory = false;  // at or past its memory limit
  bool ranOutOfTime = false;    // killed past a time limit
};

class ReaderProcess {
 public:
  // Starts program (a path, as UTF-8) with arguments (UTF-8) and, after them, the number of the
  // handle it writes its answer to (a pipe to us; see rowsDescriptor). Its standard input, output
  // and error are the null device. It runs in a job that holds it to the limits and ends it should
  // this program end. Throws std::runtime_error when it cannot be started.
  ReaderProcess(const std::string& program, const std::vector<std::string>& arguments,
                const ReaderLimits& limits);
  // Kills the reader if it is still there.
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // What the reader wrote; 0 at the end of its output, and when a limit is passed (the reader is
  // then killed).
  std::size_t read(char* buffer, std::size_t size);
  // After the end of the output: waits for the reader to exit, under the same limits.
  ReaderEnd finish();

 private:
  struct Handles;
  bool overLimit();
  void kill(bool outOfMemory);

  std::unique_ptr<Handles> handles_;
  ReaderLimits limits_;
  std::chrono::steady_clock::time_point lastProgress_;
  unsigned long long lastProcessorTime_ = 0;
  bool killed_ = false;
  bool outOfMemory_ = false;
  bool outOfTime_ = false;
};

// In the reader: the C runtime descriptor of the answer's pipe, from the handle number the program
// gave as the last argument; -1 when it names no handle. Throws std::invalid_argument or
// std::out_of_range for an argument that is no number.
int rowsDescriptor(const std::string& argument);

// The command line Windows programs split into arguments again as the C runtime does: quotes and
// the backslashes before them escaped.
std::string windowsCommandLine(const std::vector<std::string>& arguments);
