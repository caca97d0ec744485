// The files a run reads, compared by identity with every file it is about to write.
#include "mail/files_read.h"

#include <utility>

#include "mail/file_identity.h"

namespace {

std::vector<FileRead> gFilesRead;

bool isSameMissingEntry(const std::string& a, const std::string& b) {
  FileIdentity folderA;
  FileIdentity folderB;
  std::string nameA;
  std::string nameB;
  return folderEntryOf(a, folderA, nameA) && folderEntryOf(b, folderB, nameB) &&
         folderA == folderB && isSameEntryName(nameA, nameB);
}

}  // namespace

void setFilesRead(std::vector<FileRead> files) {
  gFilesRead = std::move(files);
}

const FileRead* fileReadAt(const std::string& path) {
  FileIdentity target;
  const bool exists = identityOfPath(path, target);
  for (const FileRead& file : gFilesRead) {
    FileIdentity read;
    if (identityOfPath(file.path, read) ? exists && read == target
                                        : !exists && isSameMissingEntry(path, file.path)) {
      return &file;
    }
  }
  return nullptr;
}

const FileRead* fileReadOpenAs(int fd) {
  FileIdentity target;
  if (!identityOfDescriptor(fd, target)) {
    return nullptr;
  }
  for (const FileRead& file : gFilesRead) {
    FileIdentity read;
    if (identityOfPath(file.path, read) && read == target) {
      return &file;
    }
  }
  return nullptr;
}

std::string neverWrittenReason(const std::string& path, const FileRead& read) {
  return "'" + path + "' is " + read.what + ", which is never written";
}
