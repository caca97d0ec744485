// Scaffolding for the Windows build while the file-format check and the SQLite reader still call
// POSIX directly: the few calls they use, mapped onto the C runtime's. Goes once each has a
// Windows file of its own.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#undef O_RDONLY
#define O_RDONLY (_O_RDONLY | _O_BINARY)
#define O_NONBLOCK 0
#define O_CLOEXEC 0
#ifndef F_OK
#define F_OK 0
#endif

inline long long pread(int fd, void* buffer, std::size_t count, long long offset) {
  if (_lseeki64(fd, offset, SEEK_SET) < 0) {
    return -1;
  }
  return _read(fd, buffer, static_cast<unsigned>(count));
}

inline char* realpath(const char* path, char*) {
  return _fullpath(nullptr, path, 0);
}
