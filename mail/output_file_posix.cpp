// A file rewritten whole or not at all, in the folder of the file it replaces: POSIX calls.
#include "mail/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// As many links as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;

TemporaryFileRegistry* gRegistry = nullptr;

// The whole content of an open file, read from its start.
bool readAll(int fd, std::string& content) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return got == 0;
    }
    content.append(chunk, static_cast<std::size_t>(got));
  }
}

// The program has one thread, so reading the mask by setting it back at once is safe.
mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Where a chain of symbolic links ends, whether or not a file is there yet: writing through the
// link, as an open for writing does, keeps the link and changes what it names.
bool followLinks(std::string& path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return true;
    }
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof target) {
      return false;
    }
    std::string next(target, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) {
      next = path.substr(0, slash + 1) + next;  // relative to the link's own folder
    }
    path = next;
  }
  return false;
}

// The errors of a folder that will not take a new file while a file already in it may still be
// written: no write permission on the folder, or a name too long once the suffix is added.
bool folderRefusesNewFiles(int error) {
  return error == EACCES || error == EPERM || error == ENAMETOOLONG;
}

// Blocks every signal for one scope, so that a signal handler never sees a temporary file that
// exists but is not yet tracked.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &saved_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_{};
};

}  // namespace

void setTemporaryFileRegistry(TemporaryFileRegistry* registry) {
  gRegistry = registry;
}

OutputFile::OutputFile(const std::string& path) : target_(path) {
  if (!followLinks(target_) || !readOldFile()) {
    return;
  }
  if (inPlace_) {
    openInPlace();
    return;
  }
  const bool created = createTemporary();
  if (!created && folderRefusesNewFiles(errno)) {
    openInPlace();
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    close(fd_);
  }
  discardTemporary();
}

// Learns the permission bits and group the new file takes over. Something other than a regular
// file (a FIFO, a device, a socket) is refused: opening a FIFO with no reader would wait for
// ever, and a device is no place for letters.
bool OutputFile::readOldFile() {
  struct stat info {};
  if (stat(target_.c_str(), &info) != 0) {
    mode_ = kNewFileMode & ~currentUmask();
    return errno == ENOENT;
  }
  if (!S_ISREG(info.st_mode)) {
    return false;
  }
  // A file the user may not write is not replaced behind its back.
  if (access(target_.c_str(), W_OK) != 0) {
    return false;
  }
  mode_ = info.st_mode & kPermissionBits;
  group_ = info.st_gid;
  return true;
}

bool OutputFile::createTemporary() {
  tempPath_ = target_ + ".XXXXXX";
  {
    SignalsBlocked blocked;
    fd_ = mkostemp(&tempPath_[0], O_CLOEXEC);
    if (fd_ >= 0 && gRegistry != nullptr) {
      gRegistry->track(tempPath_.c_str());
    }
  }
  if (fd_ < 0) {
    const int error = errno;
    tempPath_.clear();
    errno = error;
    return false;
  }
  // mkstemp makes the file private. The group first: changing it may clear the set-group-ID bit.
  // A new file that cannot take them still holds every letter, so neither failure is an error.
  if (fchown(fd_, static_cast<uid_t>(-1), static_cast<gid_t>(group_)) != 0) {
    // The new file keeps the folder's group. (A cast to void does not satisfy glibc's fortified
    // headers, which want the result looked at.)
  }
  (void)fchmod(fd_, mode_);
  return true;
}

// Keeps the old content first, so that a failed write can put it back. O_NONBLOCK: should the
// file have become a FIFO since it was looked at, the open returns at once, and is refused.
bool OutputFile::openInPlace() {
  inPlace_ = true;
  fd_ = open(target_.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, kNewFileMode);
  if (fd_ < 0) {
    return false;
  }
  struct stat info {};
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || !readAll(fd_, oldContent_) ||
      fcntl(fd_, F_SETFL, 0) != 0 || ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

// After a failed write in place: the old content back where it was. If that fails too, the
// old file is lost, and the caller says so.
void OutputFile::putOldContentBack() {
  bool restored = ftruncate(fd_, 0) == 0;
  std::size_t done = 0;
  while (restored && done < oldContent_.size()) {
    const ssize_t written =
        pwrite(fd_, oldContent_.data() + done, oldContent_.size() - done, static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    restored = written > 0;
    done += restored ? static_cast<std::size_t>(written) : 0;
  }
  oldFileLost_ = !restored || fsync(fd_) != 0;
}

void OutputFile::discardTemporary() {
  if (tempPath_.empty()) {
    return;
  }
  unlink(tempPath_.c_str());
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
}

bool OutputFile::write(const std::string& bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (!failed_ && left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      failed_ = true;
      if (inPlace_) {
        putOldContentBack();
      }
      break;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return !failed_;
}

bool OutputFile::commit() {
  if (fd_ < 0) {
    return false;
  }
  // A full disk may only show when the data is forced out or the file is closed. A device or a
  // pipe written in place cannot be synced, and need not be.
  const bool synced = failed_ || fsync(fd_) == 0;
  if (inPlace_ && !failed_ && !synced) {
    putOldContentBack();
  }
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (failed_ || !synced || !closed) {
    return false;
  }
  if (inPlace_) {
    return true;
  }
  if (rename(tempPath_.c_str(), target_.c_str()) != 0) {
    return false;
  }
  if (gRegistry != nullptr) {
    gRegistry->untrack(tempPath_.c_str());
  }
  tempPath_.clear();
  return true;
}
