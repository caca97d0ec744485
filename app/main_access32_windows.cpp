// Entry point of tavrinel-access32.exe, the 32-bit Access reader that tavrinel.exe starts when
// no 64-bit Access driver opens a file: only a 32-bit process can load the 32-bit drivers.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "store/process/reader_process.h"
#include "store/sources/access/access_reader.h"
#include "util/wide_text.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(utf8Text(argv[i]));
  }
  if (const std::optional<int> status = runReaderRole(arguments, {&kAccessReaderRole})) {
    return *status;
  }
  std::fputs(
      "tavrinel-access32 reads Access files for tavrinel.exe, which starts it: run "
      "tavrinel instead.\n",
      stderr);
  return 2;
}
