// File identities on Windows: the volume serial number and the file index, which every spelling
// (drive path, UNC path, 8.3 name, other case) and every hard link of one file share.
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "mail/file_identity.h"
#include "util/wide_text.h"

namespace {

bool identityOfHandle(HANDLE handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle == INVALID_HANDLE_VALUE || GetFileInformationByHandle(handle, &info) == 0) {
    return false;
  }
  identity.volume = info.dwVolumeSerialNumber;
  identity.file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool identityOfPath(const std::string& path, FileIdentity& identity) {
  // No access asked for: attributes alone may be read even of a file another program holds open
  // without sharing. FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too.
  HANDLE handle =
      CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const bool known = identityOfHandle(handle, identity);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
  }
  return known;
}

bool identityOfDescriptor(int fd, FileIdentity& identity) {
  return identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), identity);
}

// Both separators count, and a drive's own name ("C:name") stands for its current folder.
bool folderEntryOf(const std::string& path, FileIdentity& folder, std::string& name) {
  const std::size_t slash = path.find_last_of("\\/:");
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string parent = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (parent.back() == ':') {
    parent += '.';
  }
  return identityOfPath(parent, folder);
}

bool isSameEntryName(const std::string& a, const std::string& b) {
  const std::wstring wideA = widePath(a);
  const std::wstring wideB = widePath(b);
  return CompareStringOrdinal(wideA.c_str(), static_cast<int>(wideA.size()), wideB.c_str(),
                              static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}
