// The entry points' shared part: from a read command line and a made console to the exit status.
#include "app/program_entry.h"

#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "app/office_jobs.h"
#include "app/program.h"
#include "app/run_setup.h"
#include "console/safe_text.h"
#include "store/loader.h"
#include "store/tree/out_of_memory.h"

namespace {

// Shows how many students are loaded on the loading line. Only on a screen.
LoadProgress loadingLineProgress(SessionConsole& console) {
  if (!console.isOutputTerminal()) {
    return {};
  }
  return loadingCounter([&console](const std::string& line) { console.rewritePreviousLine(line); });
}

// Routes interrupts and the store's out-of-memory report to the console, and unhooks the report
// again, whichever way the run ends.
class ConsoleSession {
 public:
  explicit ConsoleSession(SessionConsole& console) : console_(console) {
    console_.handleSignals();
    removeMailTemporaryFilesOnFatalSignals();
    reportOutOfMemoryOn(&console_, console_.isInputTerminal());
  }
  ~ConsoleSession() { reportOutOfMemoryOn(nullptr); }
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // A fatal error: the screen as it was found, then one line on stderr.
  int fail(const char* reason) {
    console_.restoreTerminal();
    // The reason names the file and passes on what a library, driver or server said.
    std::cerr << "tavrinel: error: " << safeText(reason, replacementForTerminal()) << std::endl;
    return kExitNoDatabase;
  }

 private:
  SessionConsole& console_;
};

}  // namespace

int runCommandLine(const CommandLine& line) {
  if (line.action == CommandLine::Action::kJob) {
    return runOfficeJob(line);
  }
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

int runProgram(SessionConsole& console, const CommandLine& line) {
  ConsoleSession session(console);
  console.startColours();
  SessionOptions options;
  options.progress = loadingLineProgress(console);
  // No pause after a failed start when the input is a script: nobody is there to press a key.
  options.pauseOnFailure = console.isInputTerminal();
  const DatabaseSource source = databaseSource(line);
  neverWriteFilesOf(source);
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
