// The output file's calls on Windows.
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "mail/output_file.h"
#include "store/sources/wide_text.h"

namespace {

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
    CloseHandle(handle);
  }
  return fd;
}

bool readWhole(HANDLE handle, std::string& content) {
  LARGE_INTEGER size{};
  if (GetFileType(handle) != FILE_TYPE_DISK || GetFileSizeEx(handle, &size) == 0 ||
      size.QuadPart >= (LONGLONG{1} << 31)) {
    return false;
  }
  content.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD count = 0;
  return content.empty() || (ReadFile(handle, content.data(), static_cast<DWORD>(content.size()),
                                      &count, nullptr) != 0 &&
                             count == content.size());
}

// The file's volume and its number on it, which every spelling of its path shares; false for a
// file that cannot be opened.
bool identityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& information) {
  HANDLE file =
      CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool known = GetFileInformationByHandle(file, &information) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

bool isSameFile(const std::string& one, const std::string& other) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return identityOf(one, first) && identityOf(other, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

namespace output_file_calls {

// Windows' own links are followed by the calls themselves.
bool resolveTarget(std::string&) {
  return true;
}

// Only a disk file that the user may write and that no other program holds open is replaced:
// a mail.txt open in an editor that locks it, a read-only one, a folder or a device named
// mail.txt is refused before any letter is written, and the old file stays as it is.
bool inspectOldFile(const std::string& path, std::uint32_t&, std::uint32_t&) {
  const std::wstring wide = widePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return false;
  }
  // The access a replacement needs, shared as a program that merely reads it would share it.
  HANDLE probe = CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool disk = GetFileType(probe) == FILE_TYPE_DISK;
  CloseHandle(probe);
  return disk;
}

// A name beside target that no file has yet, made with CREATE_NEW so that no other program's
// file is ever taken over. Windows keeps no permission bits or group of the POSIX kind.
int createBeside(const std::string& target, std::uint32_t, std::uint32_t,
                 TemporaryFileRegistry* registry, std::string& tempPath, bool& folderRefuses) {
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

int openEmptied(const std::string& target, std::string& oldContent) {
  HANDLE handle =
      CreateFileW(widePath(target).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return -1;
  }
  const int fd = descriptorOf(handle);
  if (fd < 0) {
    return -1;
  }
  if (!readWhole(handle, oldContent) || !rewindAndTruncate(fd)) {
    _close(fd);
    return -1;
  }
  return fd;
}

// WriteFile takes 32-bit counts: a larger text goes in pieces.
std::size_t writeSome(int fd, const char* data, std::size_t size) {
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD written = 0;
  if (!WriteFile(handleOf(fd), data, chunk, &written, nullptr)) {
    return 0;
  }
  return written;
}

bool rewindAndTruncate(int fd) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(handleOf(fd), start, nullptr, FILE_BEGIN) != 0 &&
         SetEndOfFile(handleOf(fd)) != 0;
}

bool flushToDisk(int fd) {
  return FlushFileBuffers(handleOf(fd)) != 0;
}

bool closeFile(int fd) {
  return _close(fd) == 0;
}

// A mail.txt that another program opened meanwhile without sharing stays as it was.
bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void removeFile(const std::string& path) {
  DeleteFileW(widePath(path).c_str());
}

}  // namespace output_file_calls
