// The file probe on Windows: wide paths, a handle that shares everything, the 64-bit size.
#include <windows.h>

#include "store/sources/file_probe.h"
#include "util/wide_text.h"

namespace {

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
        reason = utf8Text(text);
        LocalFree(text);
        reason.resize(reason.find_last_not_of(" .\r\n") + 1);
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

std::string uriPathOf(const std::string& path) {
  const std::string full = utf8Text(widePath(path));
  if (full.rfind("\\\\?\\", 0) == 0) {
    return "/" + full;  // SQLite takes the long form after a slash, backslashes and all
  }
  std::string uriPath = full;
  for (char& c : uriPath) {
    c = c == '\\' ? '/' : c;
  }
  return uriPath.size() > 1 && uriPath[1] == ':' ? "/" + uriPath : uriPath;
}

bool folderWritable(const std::string&) {
  // Not probed here: a folder that may not be written shows as a log that cannot be read, with
  // SQLite's own reason.
  return true;
}
