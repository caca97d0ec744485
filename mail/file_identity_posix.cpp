// File identities on POSIX: device and inode.
#include <sys/stat.h>

#include "mail/file_identity.h"

namespace {

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

bool identityOfPath(const std::string& path, FileIdentity& identity) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return false;
  }
  identity = identityOf(info);
  return true;
}

bool identityOfDescriptor(int fd, FileIdentity& identity) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return false;
  }
  identity = identityOf(info);
  return true;
}

bool folderEntryOf(const std::string& path, FileIdentity& folder, std::string& name) {
  const std::size_t slash = path.rfind('/');
  name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string parent = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return identityOfPath(parent, folder);
}

bool isSameEntryName(const std::string& a, const std::string& b) {
  return a == b;
}
