// A file rewritten whole or not at all on Windows: the letters go to a new file beside the old
// one, which replaces it in one step once every byte is on the disk.
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "mail/output_file.h"

namespace {

TemporaryFileRegistry* gRegistry = nullptr;

// Paths arrive as UTF-8 (the command line is read as UTF-16 and converted), so a folder named
// "Büro" is the folder it names, whatever the system's code page.
std::wstring widePath(const std::string& path) {
  if (path.empty()) {
    return {};
  }
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
  return wide;
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
    CloseHandle(handle);
  }
  return fd;
}

// A name beside target that no file has yet, made with CREATE_NEW so that no other program's
// file is ever taken over.
HANDLE createBeside(const std::string& target, std::string& name) {
  const unsigned long long seed = GetTickCount64() ^ (GetCurrentProcessId() * 2654435761ULL);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    unsigned long long value = seed + attempt * 7919ULL;
    for (int i = 0; i < 6; ++i) {
      suffix[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[value % 36];
      value /= 36;
    }
    suffix[6] = '\0';
    name = target + "." + suffix;
    // Tracked before it exists, so that Ctrl-C at any point after leaves no file behind.
    if (gRegistry != nullptr) {
      gRegistry->track(name.c_str());
    }
    HANDLE handle = CreateFileW(widePath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      return handle;
    }
    const DWORD error = GetLastError();
    if (gRegistry != nullptr) {
      gRegistry->untrack(name.c_str());
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      SetLastError(error);
      break;
    }
  }
  name.clear();
  return INVALID_HANDLE_VALUE;
}

}  // namespace

void setTemporaryFileRegistry(TemporaryFileRegistry* registry) {
  gRegistry = registry;
}

OutputFile::OutputFile(const std::string& path) : target_(path) {
  if (!readOldFile()) {
    return;
  }
  if (createTemporary()) {
    return;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED) {
    openInPlace();  // the folder takes no new file, but the file itself may be writable
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    _close(fd_);
  }
  discardTemporary();
}

// Only a disk file that the user may write and that no other program holds open is replaced:
// a mail.txt open in an editor that locks it, a read-only one, a folder or a device named
// mail.txt is refused before any letter is written, and the old file stays as it is.
bool OutputFile::readOldFile() {
  const std::wstring wide = widePath(target_);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND;
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

bool OutputFile::createTemporary() {
  HANDLE handle = createBeside(target_, tempPath_);
  fd_ = descriptorOf(handle);
  return fd_ >= 0;
}

// Keeps the old content first, so that a failed write can put it back.
bool OutputFile::openInPlace() {
  inPlace_ = true;
  HANDLE handle =
      CreateFileW(widePath(target_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER size{};
  bool ok = GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) != 0 &&
            size.QuadPart < (LONGLONG{1} << 31);
  if (ok) {
    oldContent_.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD count = 0;
    ok = oldContent_.empty() ||
         (ReadFile(handle, oldContent_.data(), static_cast<DWORD>(oldContent_.size()), &count,
                   nullptr) != 0 &&
          count == oldContent_.size());
  }
  LARGE_INTEGER start{};
  ok = ok && SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(handle) != 0;
  if (!ok) {
    CloseHandle(handle);
    return false;
  }
  fd_ = descriptorOf(handle);
  return fd_ >= 0;
}

// After a failed write in place: the old content back where it was. If that fails too, the
// old file is lost, and the caller says so.
void OutputFile::putOldContentBack() {
  HANDLE handle = handleOf(fd_);
  LARGE_INTEGER start{};
  bool restored =
      SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(handle) != 0;
  std::size_t done = 0;
  while (restored && done < oldContent_.size()) {
    DWORD written = 0;
    restored = WriteFile(handle, oldContent_.data() + done,
                         static_cast<DWORD>(oldContent_.size() - done), &written, nullptr) != 0 &&
               written > 0;
    done += written;
  }
  oldFileLost_ = !restored || FlushFileBuffers(handle) == 0;
}

void OutputFile::discardTemporary() {
  if (tempPath_.empty()) {
    return;
  }
  DeleteFileW(widePath(tempPath_).c_str());
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
}

bool OutputFile::write(const std::string& bytes) {
  // WriteFile takes 32-bit counts: a larger text goes in pieces.
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (!failed_ && left > 0) {
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(handleOf(fd_), data, chunk, &written, nullptr) || written == 0) {
      failed_ = true;
      if (inPlace_) {
        putOldContentBack();
      }
      break;
    }
    data += written;
    left -= written;
  }
  return !failed_;
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    return false;
  }
  // A full disk may only show when the data is forced out or the file is closed.
  const bool synced = failed_ || FlushFileBuffers(handleOf(fd_)) != 0;
  if (inPlace_ && !failed_ && !synced) {
    putOldContentBack();
  }
  const bool closed = _close(fd_) == 0;
  fd_ = -1;
  if (failed_ || !synced || !closed) {
    return false;
  }
  if (inPlace_) {
    return true;
  }
  // One step: readers see the old letters or the new ones, never a mix, and a mail.txt that
  // another program opened meanwhile without sharing stays as it was.
  if (!MoveFileExW(widePath(tempPath_).c_str(), widePath(target_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
  return true;
}
