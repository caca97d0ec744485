// Entry point on Windows: the command line as UTF-8, the Access reader's process, then the
// program on the Windows console.
#include <windows.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program_entry.h"
#include "console/console_windows.h"
#include "store/sources/windows_access_reader.h"

namespace {

std::string utf8Of(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
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
  WindowsConsole console(line.plain);
  return runProgram(console, line);
}
