// The output file's calls on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "mail/output_file.h"
#include "util/wide_text.h"

namespace {

DWORD gLastError = ERROR_SUCCESS;

// Remembers the error for lastFailure(), and says the call failed.
bool failed(DWORD error = GetLastError()) {
  gLastError = error;
  return false;
}

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The file as a CRT descriptor, so that the class keeps one descriptor on every system.
int descriptorOf(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) {
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), 0);
  if (fd < 0) {
    failed(ERROR_TOO_MANY_OPEN_FILES);
    CloseHandle(handle);
  }
  return fd;
}

bool readWhole(HANDLE handle, std::string& content) {
  LARGE_INTEGER size{};
  if (GetFileType(handle) != FILE_TYPE_DISK || GetFileSizeEx(handle, &size) == 0 ||
      size.QuadPart >= (LONGLONG{1} << 31)) {
    return failed(ERROR_INVALID_FUNCTION);
  }
  content.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD count = 0;
  return content.empty() || (ReadFile(handle, content.data(), static_cast<DWORD>(content.size()),
                                      &count, nullptr) != 0 &&
                             count == content.size());
}

}  // namespace

namespace output_file_calls {

// In English whatever the system's language, as every other message of the program.
std::string lastFailure() {
  char text[512] = {};
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, gLastError,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
  std::string words(text, length);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.' ||
                            words.back() == ' ')) {
    words.pop_back();
  }
  return words.empty() ? "error " + std::to_string(gLastError) : words;
}

// Standard output ("-") is the one stream: written in binary, so that CR LF stays CR LF.
int openStream(const std::string& path) {
  if (path != "-") {
    return kNoStream;
  }
  const int fd = _dup(1);
  if (fd < 0) {
    return failed(ERROR_INVALID_HANDLE), kStreamFailed;
  }
  _setmode(fd, _O_BINARY);
  return fd;
}

// Windows' own links are followed by the calls themselves. Only a disk file that the user may
// write and that no other program holds open is replaced: a mail.txt open in an editor that
// locks it, a read-only one, a folder or a device named mail.txt is refused before any letter is
// written, and the old file stays as it is. Windows keeps no permission bits or owner of the POSIX
// kind.
bool findTarget(const std::string& path, std::string& target, OldFile& old, bool&,
                std::string& reason) {
  target = path;
  old = {};
  const std::wstring wide = widePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    failed(error);
    reason = error == ERROR_FILE_NOT_FOUND ? "" : lastFailure();
    return error == ERROR_FILE_NOT_FOUND;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    failed(ERROR_ACCESS_DENIED);
    reason = lastFailure();
    return false;
  }
  // The access a replacement needs, shared as a program that merely reads it would share it.
  HANDLE probe = CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    failed();
    reason = lastFailure();
    return false;
  }
  const bool disk = GetFileType(probe) == FILE_TYPE_DISK;
  CloseHandle(probe);
  old.exists = true;
  reason = disk ? "" : "not a regular file";
  return disk;
}

// A name beside target that no file has yet, made with CREATE_NEW so that no other program's
// file is ever taken over.
int createBeside(const std::string& target, const OldFile&, TemporaryFileRegistry* registry,
                 std::string& tempPath, bool& folderRefuses, bool&) {
  const unsigned long long seed = GetTickCount64() ^ (GetCurrentProcessId() * 2654435761ULL);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    unsigned long long value = seed + attempt * 7919ULL;
    for (int i = 0; i < 6; ++i) {
      suffix[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[value % 36];
      value /= 36;
    }
    suffix[6] = '\0';
    tempPath = target + "." + suffix;
    // Tracked before it exists, so that Ctrl-C at any point after leaves no file behind.
    if (registry != nullptr) {
      registry->track(tempPath.c_str());
    }
    HANDLE handle = CreateFileW(widePath(tempPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (handle != INVALID_HANDLE_VALUE) {
      const int fd = descriptorOf(handle);
      if (fd >= 0) {
        return fd;
      }
      DeleteFileW(widePath(tempPath).c_str());  // made, but out of descriptors
    } else {
      failed(error);
    }
    if (registry != nullptr) {
      registry->untrack(tempPath.c_str());
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      folderRefuses = error == ERROR_ACCESS_DENIED;
      break;
    }
  }
  tempPath.clear();
  return -1;
}

int openForRewrite(const std::string& target, std::string& oldContent) {
  HANDLE handle =
      CreateFileW(widePath(target).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return failed(), -1;
  }
  const int fd = descriptorOf(handle);
  if (fd < 0) {
    return -1;
  }
  if (!readWhole(handle, oldContent)) {
    _close(fd);
    return -1;
  }
  return fd;
}

// WriteFile takes 32-bit counts: a larger text goes in pieces.
std::size_t writeSome(int fd, const char* data, std::size_t size) {
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD written = 0;
  if (!WriteFile(handleOf(fd), data, chunk, &written, nullptr) || written == 0) {
    failed(written == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError());
    return 0;
  }
  return written;
}

bool rewind(int fd) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(handleOf(fd), start, nullptr, FILE_BEGIN) != 0 || failed();
}

bool truncateTo(int fd, std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return (SetFilePointerEx(handleOf(fd), at, nullptr, FILE_BEGIN) != 0 &&
          SetEndOfFile(handleOf(fd)) != 0) ||
         failed();
}

bool sizeOf(int fd, std::uint64_t& size) {
  LARGE_INTEGER length{};
  if (GetFileSizeEx(handleOf(fd), &length) == 0) {
    return failed();
  }
  size = static_cast<std::uint64_t>(length.QuadPart);
  return true;
}

bool flushToDisk(int fd) {
  return FlushFileBuffers(handleOf(fd)) != 0 || failed();
}

bool closeFile(int fd) {
  return _close(fd) == 0 || failed(ERROR_WRITE_FAULT);
}

// A mail.txt that another program opened meanwhile without sharing stays as it was.
bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         failed();
}

void removeFile(const std::string& path) {
  DeleteFileW(widePath(path).c_str());
}

// A console control event is handled on a thread of its own, which removes the temporary file
// and ends the process; a file written in place has none, and there is no signal to hold.
void holdFatalSignals(bool) {}

// Windows has no file size limit of the POSIX kind.
void ignoreFileSizeSignal(bool) {}

}  // namespace output_file_calls
