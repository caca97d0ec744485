// Entry point on Windows: the command line as UTF-8, the Access reader's process, then the
// program on the Windows console.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program.h"
#include "app/program_entry.h"
#include "console/console_windows.h"
#include "store/sources/reader_roles.h"
#include "util/wide_text.h"

namespace {

// Whether the console is the program's alone, as when it was started by a double-click: the
// window closes with the program, and a last message would go with it unread. In cmd,
// PowerShell or Windows Terminal the shell shares the console and the message stays.
bool ownsConsole() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(utf8Text(argv[i]));
  }
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.c_str());
  }
  pointers.push_back(nullptr);
  // The program started again as one of its readers.
  if (const std::optional<int> status = playReaderRole(arguments)) {
    return *status;
  }
  // Names with accents in a job's lines, --check's report and fatal lines, as in the screens.
  showStandardStreamsInConsoleWindow();
  const CommandLine line = parseCommandLine(argc, pointers.data());
  if (line.action != CommandLine::Action::kRun) {
    const int status = runCommandLine(line);
    // A job never waits: a scheduled task has a console of its own and nobody at it.
    if (status != kExitClosed && line.action == CommandLine::Action::kRefuse && ownsConsole()) {
      WindowsConsole console;  // files dropped on the program's icon that it cannot take
      console.pauseInOwnWindow();
    }
    return status;
  }
  WindowsConsole console(line.plain);
  const int status = runProgram(console, line);
  if (status != kExitClosed && ownsConsole()) {
    console.pauseInOwnWindow();  // a start-up error, unless its message paused already
  }
  return status;
}
