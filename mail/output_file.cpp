// A file rewritten whole or not at all: a temporary file beside it takes its place once every byte
// is on the disk; where the folder takes no new file, the file is written in place with its old
// content kept aside and put back should the write fail.
#include "mail/output_file.h"

#include "mail/files_read.h"

namespace calls = output_file_calls;

namespace {

TemporaryFileRegistry* gRegistry = nullptr;

}  // namespace

void setTemporaryFileRegistry(TemporaryFileRegistry* registry) {
  gRegistry = registry;
}

OutputFile::OutputFile(const std::string& path) : target_(path) {
  // Whatever spelling or link leads to it, a file the run reads is never written.
  if (const FileRead* read = fileReadAt(path)) {
    refusal_ = "'" + path + "' is " + read->what + ", which is never written";
    return;
  }
  if (!calls::resolveTarget(target_) || !calls::inspectOldFile(target_, mode_, group_)) {
    return;
  }
  bool folderRefuses = false;
  fd_ = calls::createBeside(target_, mode_, group_, gRegistry, tempPath_, folderRefuses);
  if (fd_ < 0 && folderRefuses) {
    openInPlace();
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    calls::closeFile(fd_);
  }
  discardTemporary();
}

void OutputFile::openInPlace() {
  inPlace_ = true;
  fd_ = calls::openEmptied(target_, oldContent_);
}

// After a failed write in place: the old content back where it was. If that fails too, the old
// file is lost, and the caller says so.
void OutputFile::putOldContentBack() {
  bool restored = calls::rewindAndTruncate(fd_);
  std::size_t done = 0;
  while (restored && done < oldContent_.size()) {
    const std::size_t written =
        calls::writeSome(fd_, oldContent_.data() + done, oldContent_.size() - done);
    restored = written > 0;
    done += written;
  }
  oldFileLost_ = !restored || !calls::flushToDisk(fd_);
}

void OutputFile::discardTemporary() {
  if (tempPath_.empty()) {
    return;
  }
  calls::removeFile(tempPath_);
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
}

bool OutputFile::write(const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (!failed_ && left > 0) {
    const std::size_t written = calls::writeSome(fd_, data, left);
    if (written == 0) {
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
  const bool synced = failed_ || calls::flushToDisk(fd_);
  if (inPlace_ && !failed_ && !synced) {
    putOldContentBack();
  }
  const bool closed = calls::closeFile(fd_);
  fd_ = -1;
  if (failed_ || !synced || !closed) {
    return false;
  }
  if (inPlace_) {
    return true;
  }
  // One step: readers see the old letters or the new ones, never a mix.
  if (!calls::replaceFile(tempPath_, target_)) {
    return false;
  }
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
  return true;
}
