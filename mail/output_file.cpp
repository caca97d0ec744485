// A file rewritten whole or not at all: a temporary file beside it takes its place once every byte
// is on the disk; where the folder takes no new file, the file is written in place with its old
// content kept aside and put back should the write fail. A stream is written as it comes.
#include "mail/output_file.h"

#include "mail/files_read.h"

namespace calls = output_file_calls;

namespace {

TemporaryFileRegistry* gRegistry = nullptr;

bool writeAll(int fd, const char* data, std::size_t size, std::uint64_t& written) {
  while (size > 0) {
    const std::size_t some = calls::writeSome(fd, data, size);
    if (some == 0) {
      return false;
    }
    data += some;
    size -= some;
    written += some;
  }
  return true;
}

}  // namespace

void setTemporaryFileRegistry(TemporaryFileRegistry* registry) {
  gRegistry = registry;
}

OutputFile::OutputFile(const std::string& path) {
  calls::ignoreFileSizeSignal(true);
  // Whatever spelling or link leads to it, a file the run reads is never written.
  if (const FileRead* read = fileReadAt(path)) {
    reason_ = neverWrittenReason(path, *read);
    fileRead_ = true;
    return;
  }
  openStream(path);
  if (!stream_ && reason_.empty()) {
    openFile(path);
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    calls::closeFile(fd_);
  }
  discardTemporary();
  if (madeEmpty_) {
    calls::removeFile(target_);  // made only to follow a link to it, and never written
  }
  calls::ignoreFileSizeSignal(false);
}

void OutputFile::openStream(const std::string& path) {
  const int fd = calls::openStream(path);
  if (fd == calls::kNoStream) {
    return;
  }
  stream_ = true;
  if (fd == calls::kStreamFailed) {
    reason_ = calls::lastFailure();
    return;
  }
  fd_ = fd;
  if (const FileRead* read = fileReadOpenAs(fd_)) {
    reason_ = neverWrittenReason(path, *read);
    fileRead_ = true;
    calls::closeFile(fd_);
    fd_ = -1;
  }
}

void OutputFile::openFile(const std::string& path) {
  calls::OldFile old;
  if (!calls::findTarget(path, target_, old, madeEmpty_, reason_)) {
    return;
  }
  bool folderRefuses = false;
  fd_ = calls::createBeside(target_, old, gRegistry, tempPath_, folderRefuses, ownerLost_);
  if (fd_ < 0) {
    reason_ = calls::lastFailure();
    if (folderRefuses && old.exists) {
      openInPlace();
    }
  }
}

void OutputFile::openInPlace() {
  inPlace_ = true;
  fd_ = calls::openForRewrite(target_, oldContent_);
  if (fd_ < 0) {
    reason_ = calls::lastFailure();
  } else {
    reason_.clear();
  }
}

void OutputFile::fail() {
  if (!failed_) {
    reason_ = calls::lastFailure();
  }
  failed_ = true;
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
  if (failed_ || fd_ < 0) {
    return false;
  }
  if (inPlace_) {
    pending_ += bytes;  // written at commit, in one stretch with signals held back
    return true;
  }
  std::uint64_t written = 0;
  if (!writeAll(fd_, bytes.data(), bytes.size(), written)) {
    fail();
  }
  written_ += written;
  return !failed_;
}

// Over the old bytes from the start, and only then cut to the new length: a write that fails
// part-way (a full disk, the file size limit) has changed no byte past the point it reached, so
// the old content goes back within the size the file already had.
bool OutputFile::rewriteInPlace() {
  calls::holdFatalSignals(true);
  std::uint64_t written = 0;
  std::uint64_t size = 0;
  const bool done = calls::rewind(fd_) &&
                    writeAll(fd_, pending_.data(), pending_.size(), written) &&
                    cutTo(pending_.size()) && calls::flushToDisk(fd_) && calls::sizeOf(fd_, size) &&
                    size == pending_.size();
  if (!done) {
    fail();
    putOldContentBack(written < pending_.size() ? written : UINT64_MAX);
  }
  calls::holdFatalSignals(false);
  return done;
}

// The file cut to size bytes, unless it has that length already.
bool OutputFile::cutTo(std::uint64_t size) {
  std::uint64_t now = 0;
  return calls::sizeOf(fd_, now) && (now == size || calls::truncateTo(fd_, size));
}

// newBytesWritten: how far the new bytes reached, or all ones when the file may also have been
// cut shorter than its old content.
void OutputFile::putOldContentBack(std::uint64_t newBytesWritten) {
  const std::size_t changed =
      newBytesWritten < oldContent_.size() ? newBytesWritten : oldContent_.size();
  std::uint64_t ignored = 0;
  std::uint64_t size = 0;
  const bool restored = calls::rewind(fd_) && writeAll(fd_, oldContent_.data(), changed, ignored) &&
                        cutTo(oldContent_.size()) && calls::flushToDisk(fd_) &&
                        calls::sizeOf(fd_, size) && size == oldContent_.size();
  if (!restored) {
    oldFile_.lost = true;
    oldFile_.size = calls::sizeOf(fd_, size) ? size : 0;
  }
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    return false;
  }
  bool written = !failed_;
  if (inPlace_ && written) {
    written = rewriteInPlace();
  } else if (!stream_ && written && !calls::flushToDisk(fd_)) {
    fail();  // a full disk may only show when the data is forced out
    written = false;
  }
  const bool closed = calls::closeFile(fd_);
  fd_ = -1;
  if (written && !closed) {
    fail();
  }
  if (!written || !closed || stream_ || inPlace_) {
    return written && closed;
  }
  // One step: readers see the old letters or the new ones, never a mix.
  if (!calls::replaceFile(tempPath_, target_)) {
    fail();
    return false;
  }
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
  madeEmpty_ = false;
  return true;
}
