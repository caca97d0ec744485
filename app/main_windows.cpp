// Entry point on Windows: the command line as UTF-8, the Windows console, and the one place a
// fatal error is reported.
#include <windows.h>

#include <chrono>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program.h"
#include "app/signal_cleanup.h"
#include "app/windows_console.h"
#include "store/loader.h"
#include "store/sources/windows_access_reader.h"
#include "store/tree/out_of_memory.h"

namespace {

std::string utf8Of(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
}

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

// How many students are loaded, on the loading line, once a load has taken half a second, and
// no more often than ten times a second. Only on a console window.
LoadProgress loadingLineProgress(WindowsConsole& console) {
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

int runProgram(const CommandLine& line) {
  WindowsConsole console;
  console.handleSignals();
  removeMailTemporaryFilesOnFatalSignals();
  reportOutOfMemoryOn(&console, console.isInputTerminal());
  const auto fail = [&console](const char* reason) {
    console.restoreTerminal();
    std::cerr << "tavrinel: error: " << reason << std::endl;
    reportOutOfMemoryOn(nullptr);
    return kExitNoDatabase;
  };
  console.startColours();
  SessionOptions options;
  options.progress = loadingLineProgress(console);
  options.pauseOnFailure = console.isInputTerminal();
  const DatabaseSource source = line.connection.empty()
                                    ? DatabaseSource::file(line.databasePath)
                                    : DatabaseSource::connection(line.connection);
  options.databasePath = source.name();
  int status = kExitClosed;
  try {
    status = runSession(
        console,
        [&source](const LoadProgress& progress) { return loadRecordTree(source, progress); },
        options);
  } catch (const DatabaseError& error) {
    return fail(error.what());
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    status = kExitNoDatabase;
  } catch (const std::exception& error) {
    return fail(error.what());
  }
  reportOutOfMemoryOn(nullptr);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(utf8Of(argv[i]));
  }
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.c_str());
  }
  pointers.push_back(nullptr);
  // The program started again to read an Access file: path, then the answer's pipe.
  if (argc == 4 && arguments[1] == kAccessReaderOption) {
    return runAccessReader(arguments[2], arguments[3]);
  }
  const CommandLine line = parseCommandLine(argc, pointers.data());
  if (line.action != CommandLine::Action::kRun) {
    return runCommandLine(line);
  }
  return runProgram(line);
}
