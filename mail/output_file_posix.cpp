// The output file's calls on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "mail/output_file.h"

namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;

int gLastError = 0;

// Remembers errno for lastFailure(), and says the call failed.
bool failed(int error = errno) {
  gLastError = error;
  return false;
}

// The whole content of an open file, read from its start.
bool readAll(int fd, std::string& content) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return got == 0 || failed();
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

// The descriptor that a name of a descriptor stands for, or -1: "-", /dev/stdout, /dev/stderr,
// /dev/stdin, /dev/fd/N, /proc/self/fd/N. Opening such a name again would give a new file
// description (at the start of a file that was to be appended to, or the name a file had before
// it was deleted), so the descriptor itself is written.
int descriptorNamed(const std::string& path) {
  if (path == "-" || path == "/dev/stdout") {
    return STDOUT_FILENO;
  }
  if (path == "/dev/stderr") {
    return STDERR_FILENO;
  }
  if (path == "/dev/stdin") {
    return STDIN_FILENO;
  }
  for (const char* folder : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t length = std::strlen(folder);
    if (path.compare(0, length, folder) == 0 && path.size() > length &&
        path.find_first_not_of("0123456789", length) == std::string::npos &&
        path.size() - length < 10) {
      return std::atoi(path.c_str() + length);
    }
  }
  return -1;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's rule for links (fs.protected_symlinks), kept here too where the system has it
// switched off: in a folder that is sticky and writable by all, a link is followed only by its
// owner, or when the folder's owner made it. Otherwise anyone could point the name a job writes
// at a file only the job's user may write.
bool isPlantedLink(const std::string& path, const struct stat& link) {
  struct stat folder {};
  return stat(folderOf(path).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
         (folder.st_mode & S_IWOTH) != 0 && link.st_uid != folder.st_uid &&
         link.st_uid != geteuid();
}

// Follows the link as open() does, so that the system's own rules apply, then names the file it
// ends at. A link to a name not there yet has that file made (empty), as a write through it would.
bool followLink(const std::string& path, std::string& target, bool& madeEmpty,
                std::string& reason) {
  struct stat end {};
  const bool endExists = stat(path.c_str(), &end) == 0;
  const int fd =
      open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kNewFileMode);
  if (fd < 0 || fstat(fd, &end) != 0) {
    reason = std::strerror(errno);
    if (fd >= 0) {
      close(fd);
    }
    return false;
  }
  close(fd);
  madeEmpty = !endExists;
  char* resolved = realpath(path.c_str(), nullptr);
  target = resolved == nullptr ? "" : resolved;
  std::free(resolved);
  struct stat named {};
  // The name must still lead to the file that was opened: no link changed in between.
  if (target.empty() || stat(target.c_str(), &named) != 0 || named.st_dev != end.st_dev ||
      named.st_ino != end.st_ino) {
    reason = "the link changed while it was followed";
    return false;
  }
  return true;
}

struct sigaction gSavedFileSizeAction {};
int gFileSizeIgnored = 0;

}  // namespace

namespace output_file_calls {

std::string lastFailure() {
  return std::strerror(gLastError);
}

// A FIFO or a device: O_NONBLOCK so that a FIFO without a reader is refused at once (ENXIO)
// rather than waited on for ever; the stream then blocks as streams do.
int openStream(const std::string& path) {
  const int named = descriptorNamed(path);
  if (named >= 0) {
    const int fd = fcntl(named, F_DUPFD_CLOEXEC, 3);
    return fd >= 0 ? fd : (failed(), kStreamFailed);
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
    return kNoStream;
  }
  struct stat link {};
  if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && isPlantedLink(path, link)) {
    return failed(EACCES), kStreamFailed;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0) {
    failed();
    if (fd >= 0) {
      close(fd);
    }
    return kStreamFailed;
  }
  return fd;
}

bool findTarget(const std::string& path, std::string& target, OldFile& old, bool& madeEmpty,
                std::string& reason) {
  old = {};
  old.mode = kNewFileMode & ~currentUmask();
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    target = path;
    reason = errno == ENOENT ? "" : std::strerror(errno);
    return errno == ENOENT;
  }
  if (S_ISLNK(info.st_mode)) {
    if (isPlantedLink(path, info)) {
      reason = "a link another user made in a folder shared by all is not followed";
      return false;
    }
    if (!followLink(path, target, madeEmpty, reason) || stat(target.c_str(), &info) != 0) {
      return false;
    }
  } else {
    target = path;
  }
  if (!S_ISREG(info.st_mode)) {
    reason = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    return false;
  }
  // A file the user may not write is not replaced behind its back.
  if (access(target.c_str(), W_OK) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  old = {true, static_cast<std::uint32_t>(info.st_mode & kPermissionBits),
         static_cast<std::uint32_t>(info.st_uid), static_cast<std::uint32_t>(info.st_gid)};
  return true;
}

int createBeside(const std::string& target, const OldFile& old, TemporaryFileRegistry* registry,
                 std::string& tempPath, bool& folderRefuses, bool& ownerLost) {
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
    failed();
    folderRefuses = folderRefusesNewFiles(errno);
    tempPath.clear();
    return -1;
  }
  // mkstemp makes the file private and this user's. Owner and group first: changing them may
  // clear the set-user-ID and set-group-ID bits. Only root may give a file to another owner.
  if (old.exists && (old.owner != geteuid() || old.group != getegid()) &&
      fchown(fd, old.owner == geteuid() ? static_cast<uid_t>(-1) : old.owner, old.group) != 0) {
    ownerLost = true;
  }
  (void)fchmod(fd, static_cast<mode_t>(old.mode));
  return fd;
}

// O_NONBLOCK: should the file have become a FIFO since it was looked at, the open returns at
// once, and is refused.
int openForRewrite(const std::string& target, std::string& oldContent) {
  const int fd = open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return failed(), -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !readAll(fd, oldContent) ||
      fcntl(fd, F_SETFL, 0) != 0) {
    failed(S_ISREG(info.st_mode) ? errno : EINVAL);
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
    if (written <= 0) {
      failed(written == 0 ? ENOSPC : errno);
      return 0;
    }
    return static_cast<std::size_t>(written);
  }
}

bool rewind(int fd) {
  return lseek(fd, 0, SEEK_SET) == 0 || failed();
}

bool truncateTo(int fd, std::uint64_t size) {
  return ftruncate(fd, static_cast<off_t>(size)) == 0 || failed();
}

bool sizeOf(int fd, std::uint64_t& size) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return failed();
  }
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool flushToDisk(int fd) {
  return fsync(fd) == 0 || failed();
}

bool closeFile(int fd) {
  return close(fd) == 0 || failed();
}

bool replaceFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 || failed();
}

void removeFile(const std::string& path) {
  unlink(path.c_str());
}

void holdFatalSignals(bool hold) {
  sigset_t fatal;
  sigemptyset(&fatal);
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaddset(&fatal, number);
  }
  // Unblocked, a signal that came meanwhile is delivered now, and ends the program as it would
  // have.
  sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &fatal, nullptr);
}

// Ignored, a write past the limit fails with EFBIG, which the protocol handles, rather than
// ending the program half-way with the signal's core dump.
void ignoreFileSizeSignal(bool ignore) {
  if (ignore && gFileSizeIgnored++ == 0) {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGXFSZ, &action, &gSavedFileSizeAction);
  } else if (!ignore && --gFileSizeIgnored == 0) {
    sigaction(SIGXFSZ, &gSavedFileSizeAction, nullptr);
  }
}

}  // namespace output_file_calls
