// Entry point of tavrinel-access32.exe, the 32-bit Access reader that tavrinel.exe starts when
// no 64-bit Access driver opens a file: only a 32-bit process can load the 32-bit drivers.
#include <windows.h>

#include <cstdio>
#include <string>

#include "store/sources/access/windows_access_reader.h"

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && utf8Of(argv[1]) == kAccessReaderOption) {
    return runAccessReader(utf8Of(argv[2]), utf8Of(argv[3]));
  }
  std::fputs(
      "tavrinel-access32 reads Access files for tavrinel.exe, which starts it: run "
      "tavrinel instead.\n",
      stderr);
  return 2;
}
