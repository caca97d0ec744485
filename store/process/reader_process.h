// A reader process: risky work (a library or a driver reading a damaged file, a driver waiting on
// a server that no longer answers) done away from the program, under limits, its answer sent
// back on a pipe. On POSIX it is a child forked from the program (reader_process_posix.cpp), on
// Windows the program started again (reader_process_windows.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct ReaderLimits {
  // Processor time the reader may use.
  std::chrono::seconds processorTime{60};
  // How long it may go without sending a byte while the program runs (time in which the program
  // is stopped, Ctrl-Z, does not count): a driver waiting on a frozen server, or on a lock that
  // is never released, or spinning in a loop of its own. Only bytes sent count as progress, on
  // every platform: processor time is a limit, never a sign of life.
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

// A role the program plays in a reader process: the Access reader, the ODBC reader, a test's
// fake. The roles the program has stand in one table (store/sources/reader_roles.h).
struct ReaderRole {
  // The option that starts the program as this reader, never shown to users (Windows starts the
  // program again with it; a forked child needs none).
  const char* option;
  // How many arguments it is started with.
  std::size_t argumentCount;
  // The work, in the reader: the arguments it was started with, what it was handed (on
  // Windows its standard input), and the descriptor its answer goes to. Returns its exit status;
  // std::bad_alloc ends it with kOutOfMemoryExit.
  int (*work)(const std::vector<std::string>& arguments, const std::string& input, int outputFd);
  // The program that plays the role when it is not this program itself: one beside it (the
  // 32-bit Access reader, for 32-bit drivers); nullptr for this program.
  const char* program = nullptr;
};

// A reader process: the same face on every platform, as the reader's work is the same. POSIX
// forks the program and runs the role's work in the child; Windows starts the program again with
// the role's option, the arguments and, last, the number of the handle it answers on. The reader
// has no terminal: its standard output and error go nowhere, and its standard input is input (on
// Windows a pipe, so that a connection string's password never stands on a command line that
// other programs can read). It is held to limits, stopped and continued with the program where
// the platform has job control, and killed when the program ends.
class ReaderProcess {
 public:
  // Throws std::system_error when no reader can be started (std::bad_alloc for want of memory);
  // std::runtime_error where the platform gives no reason.
  ReaderProcess(const ReaderRole& role, const std::vector<std::string>& arguments,
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
  // The exit status of a reader whose work threw anything else.
  static constexpr int kUncaughtExit = 70;

  // The role's work with its failures turned into exit statuses, as the reader process runs it.
  static int runWork(const ReaderRole& role, const std::vector<std::string>& arguments,
                     const std::string& input, int outputFd) noexcept;

 private:
  struct Handles;  // the platform's: the process, the pipe, the clocks
  std::unique_ptr<Handles> handles_;
};

// At the program's entry, before anything else: when the command line starts the program as
// one of roles (its option, the role's arguments, the answer's handle), plays that role and
// gives its exit status; otherwise nothing. Only Windows starts the program again: on POSIX the
// command line is never a role's.
std::optional<int> runReaderRole(const std::vector<std::string>& commandLine,
                                 std::initializer_list<const ReaderRole*> roles);
