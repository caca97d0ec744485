// Entry point: the arguments, the terminal console, and the one place a fatal error is reported.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "app/console.h"
#include "app/program.h"
#include "store/loader.h"
#include "store/odbc_source.h"
#include "store/out_of_memory.h"

namespace {

constexpr const char* kUsage =
    "usage: tavrinel [--connect CONNECTION | --help | --version]\n"
    "\n"
    "Loads Database.mdb from the current folder and serves one operator at the keyboard:\n"
    "a student's results, chart, forecast and suggestion, and the result mails of an\n"
    "intake, written to mail.txt. Keys: digits choose, ESC goes back, ESC at the main\n"
    "menu ends the program.\n"
    "\n"
    "  --connect CONNECTION  read the records from a database server through ODBC instead:\n"
    "                        a DSN (DSN=office) or a full connection string\n"
    "                        (Driver=...;Server=...;Database=...;UID=...;PWD=...)\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

// The connection of "--connect CONNECTION" or "--connect=CONNECTION" as the only argument.
// Returns false for any other arguments; an empty connection is a missing one.
bool isConnectArgument(int argc, char** argv, std::string& connection) {
  std::string argument = argc > 1 ? argv[1] : "";
  if (argc == 3 && argument == "--connect") {
    connection = argv[2];
    return true;
  }
  if (argc == 2 && argument.rfind("--connect=", 0) == 0) {
    connection = argument.substr(std::strlen("--connect="));
    return true;
  }
  return false;
}

int runArguments(int argc, char** argv) {
  std::string argument = argv[1];
  if (argc == 2 && argument == "--help") {
    std::cout << kUsage;
    return 0;
  }
  if (argc == 2 && argument == "--version") {
    std::cout << "tavrinel " TAVRINEL_VERSION "\n";
    return 0;
  }
  std::cerr << "tavrinel: error: unknown argument '" << argument << "'\n" << kUsage;
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
    reportOutOfMemoryOn(&console_);
  }
  ~ConsoleSession() { reportOutOfMemoryOn(nullptr); }
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // A fatal error: the terminal as it was found, then one line on stderr.
  int fail(const char* reason) {
    console_.restoreTerminal();
    std::cerr << "tavrinel: error: " << reason << std::endl;
    return kExitNoDatabase;
  }

 private:
  TerminalConsole& console_;
};

// connection empty: Database.mdb of the working folder.
int runProgram(const std::string& connection) {
  TerminalConsole console(STDIN_FILENO, STDOUT_FILENO);
  ConsoleSession session(console);
  console.startColours();
  SessionOptions options;
  options.progress = loadingLineProgress(console);
  // No pause after a failed start when the input is a script: nobody is there to press a key.
  options.pauseOnFailure = console.isInputTerminal();
  if (!connection.empty()) {
    options.noStudentMessage = "\n\n\tNo student found in " + maskConnection(connection) + "\n";
  }
  try {
    return runSession(
        console,
        [&connection](const LoadProgress& progress) {
          return connection.empty() ? loadRecordTree(progress)
                                    : loadRecordTreeFromServer(connection, progress);
        },
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
  std::string connection;
  if (isConnectArgument(argc, argv, connection)) {
    if (connection.empty()) {
      std::cerr << "tavrinel: error: --connect needs a connection string\n" << kUsage;
      return kExitBadArguments;
    }
    return runProgram(connection);
  }
  if (argc > 1) {
    return runArguments(argc, argv);
  }
  return runProgram("");
}
