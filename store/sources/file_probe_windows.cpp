// The file probe on Windows: wide paths, a handle that shares everything, the 64-bit size.
#include <windows.h>

#include "store/sources/file_probe.h"

namespace {

std::wstring widePath(const std::string& path) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
  wide.pop_back();
  return wide;
}

std::string errorReason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "file not found";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "permission denied";
    default: {
      wchar_t* text = nullptr;
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
      std::string reason = "error " + std::to_string(error);
      if (text != nullptr) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        reason.assign(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, -1, reason.data(), length, nullptr, nullptr);
        LocalFree(text);
        reason.resize(reason.find_last_not_of(" .\r\n\0", std::string::npos, 5) + 1);
      }
      if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') {
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
      }
      return reason;
    }
  }
}

}  // namespace

std::string readFileStart(const std::string& path, unsigned char* bytes, std::size_t capacity,
                          FileStart& start) {
  // Shared for everything, as SQLite and the Access driver open it; a folder opens too, with
  // backup semantics, so that it can be told apart.
  HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return errorReason(GetLastError());
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  if (disk && !GetFileInformationByHandle(file, &information)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    return errorReason(error);
  }
  start.kind = !disk ? FileStart::Kind::kOther
               : (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? FileStart::Kind::kDirectory
                   : FileStart::Kind::kRegular;
  start.size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  start.length = 0;
  std::string reason;
  if (start.kind == FileStart::Kind::kRegular) {
    DWORD count = 0;
    if (ReadFile(file, bytes, static_cast<DWORD>(capacity), &count, nullptr)) {
      start.length = count;
    } else {
      reason = errorReason(GetLastError());
    }
  }
  CloseHandle(file);
  return reason;
}

bool existsBeside(const std::string& path, const char* suffix) {
  return GetFileAttributesW(widePath(path + suffix).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool folderWritable(const std::string&) {
  // Not probed here: a folder that may not be written shows as a log that cannot be read, with
  // SQLite's own reason.
  return true;
}
