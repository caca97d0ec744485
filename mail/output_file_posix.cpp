// The output file's calls on POSIX.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "mail/output_file.h"

namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// As many links as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinkHops = 40;

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

bool isSameFile(const std::string& one, const std::string& other) {
  std::error_code ignored;
  return std::filesystem::equivalent(one, other, ignored);
}

namespace output_file_calls {

// Writing through a link, as an open for writing does, keeps the link and changes what it names.
bool resolveTarget(std::string& path) {
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

// Something other than a regular file (a FIFO, a device, a socket) is refused: opening a FIFO
// with no reader would wait for ever, and a device is no place for letters.
bool inspectOldFile(const std::string& path, std::uint32_t& mode, std::uint32_t& group) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    mode = kNewFileMode & ~currentUmask();
    return errno == ENOENT;
  }
  if (!S_ISREG(info.st_mode)) {
    return false;
  }
  // A file the user may not write is not replaced behind its back.
  if (access(path.c_str(), W_OK) != 0) {
    return false;
  }
  mode = info.st_mode & kPermissionBits;
  group = info.st_gid;
  return true;
}

int createBeside(const std::string& target, std::uint32_t mode, std::uint32_t group,
                 TemporaryFileRegistry* registry, std::string& tempPath, bool& folderRefuses) {
  tempPath = target + ".XXXXXX";
  int fd = -1;
  {
    SignalsBlocked blocked;
    fd = mkostemp(&tempPath[0], O_CLOEXEC);
    if (fd >= 0 && registry != nullptr) {
      registry->track(tempPath.c_str());
    }
  }
  if (fd < 0) {
    folderRefuses = folderRefusesNewFiles(errno);
    tempPath.clear();
    return -1;
  }
  // mkstemp makes the file private. The group first: changing it may clear the set-group-ID bit.
  // A new file that cannot take them still holds every letter, so neither failure is an error.
  if (fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group)) != 0) {
    // The new file keeps the folder's group. (A cast to void does not satisfy glibc's fortified
    // headers, which want the result looked at.)
  }
  (void)fchmod(fd, static_cast<mode_t>(mode));
  return fd;
}

// O_NONBLOCK: should the file have become a FIFO since it was looked at, the open returns at
// once, and is refused.
int openEmptied(const std::string& target, std::string& oldContent) {
  int fd = open(target.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, kNewFileMode);
  if (fd < 0) {
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !readAll(fd, oldContent) ||
      fcntl(fd, F_SETFL, 0) != 0 || !rewindAndTruncate(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

std::size_t writeSome(int fd, const char* data, std::size_t size) {
  for (;;) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    return written > 0 ? static_cast<std::size_t>(written) : 0;
  }
}

bool rewindAndTruncate(int fd) {
  return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0;
}

bool flushToDisk(int fd) {
  return fsync(fd) == 0;
}

bool closeFile(int fd) {
  return close(fd) == 0;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

void removeFile(const std::string& path) {
  unlink(path.c_str());
}

}  // namespace output_file_calls
