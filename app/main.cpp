// Entry point: the command line, the terminal console, and the one place a fatal error is reported.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "app/command_line.h"
#include "app/console.h"
#include "app/program.h"
#include "app/safe_text.h"
#include "app/signal_cleanup.h"
#include "store/loader.h"
#include "store/tree/out_of_memory.h"

namespace {

int runCommandLine(const CommandLine& line) {
  if (line.action == CommandLine::Action::kHelp) {
    writeUsage(std::cout);
    return kExitClosed;
  }
  if (line.action == CommandLine::Action::kVersion) {
    std::cout << "tavrinel " TAVRINEL_VERSION "\n";
    return kExitClosed;
  }
  writeRefusal(line, std::cerr);
  return kExitBadArguments;
}

// Shows how many students are loaded on the loading line, once a load has taken half a second,
// and no more often than ten times a second. Only on a terminal.
LoadProgress loadingLineProgress(TerminalConsole& console) {
  if (!console.isOutputTerminal()) {
    return {};
  }
  using Clock = std::chrono::steady_clock;
  Clock::time_point nextShow = Clock::now() + std::chrono::milliseconds(500);
  return [&console, nextShow](long studentsLoaded) mutable {
    Clock::time_point now = Clock::now();
    if (now < nextShow) {
      return;
    }
    nextShow = now + std::chrono::milliseconds(100);
    console.rewritePreviousLine("Loading ... " + std::to_string(studentsLoaded) + " students");
  };
}

// Gives the terminal back and unhooks the store's out-of-memory report, whichever way main ends.
class ConsoleSession {
 public:
  explicit ConsoleSession(TerminalConsole& console) : console_(console) {
    console_.handleSignals();
    removeMailTemporaryFilesOnFatalSignals();
    reportOutOfMemoryOn(&console_, console_.isInputTerminal());
  }
  ~ConsoleSession() { reportOutOfMemoryOn(nullptr); }
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // A fatal error: the terminal as it was found, then one line on stderr.
  int fail(const char* reason) {
    console_.restoreTerminal();
    // The reason names the file and passes on what a library, driver or server said.
    std::cerr << "tavrinel: error: " << safeText(reason, replacementForTerminal()) << std::endl;
    return kExitNoDatabase;
  }

 private:
  TerminalConsole& console_;
};

int runProgram(const CommandLine& line) {
  TerminalConsole console(STDIN_FILENO, STDOUT_FILENO, std::getenv("TERM"));
  ConsoleSession session(console);
  console.startColours();
  SessionOptions options;
  options.progress = loadingLineProgress(console);
  // No pause after a failed start when the input is a script: nobody is there to press a key.
  options.pauseOnFailure = console.isInputTerminal();
  const DatabaseSource source = line.connection.empty()
                                    ? DatabaseSource::file(line.databasePath)
                                    : DatabaseSource::connection(line.connection);
  // Messages name the file as given, or the server's connection with its secrets masked.
  options.databasePath = source.name();
  try {
    return runSession(
        console,
        [&source](const LoadProgress& progress) { return loadRecordTree(source, progress); },
        options);
  } catch (const DatabaseError& error) {
    return session.fail(error.what());
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return kExitNoDatabase;
  } catch (const std::exception& error) {
    return session.fail(error.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file size limit a write then fails with EFBIG, which the mail writer reports, instead
  // of the signal ending the program without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  const CommandLine line = parseCommandLine(argc, argv);
  if (line.action != CommandLine::Action::kRun) {
    return runCommandLine(line);
  }
  return runProgram(line);
}
