// The file probe on POSIX: open without blocking, fstat, pread; realpath for what lies beside.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "store/sources/file_probe.h"

namespace {

std::string errorReason(int error) {
  switch (error) {
    case ENOENT:
      return "file not found";
    case EACCES:
    case EPERM:
      return "permission denied";
    default: {
      std::string reason = std::strerror(error);
      if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') {
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
      }
      return reason;
    }
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string readFileStart(const std::string& path, unsigned char* bytes, std::size_t capacity,
                          FileStart& start) {
  // O_NONBLOCK: a FIFO named like the database must not hang the program.
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (file.get() < 0 || fstat(file.get(), &status) != 0) {
    return errorReason(errno);
  }
  start.kind = S_ISDIR(status.st_mode)   ? FileStart::Kind::kDirectory
               : S_ISREG(status.st_mode) ? FileStart::Kind::kRegular
                                         : FileStart::Kind::kOther;
  start.size = static_cast<std::uint64_t>(status.st_size);
  start.length = 0;
  if (start.kind == FileStart::Kind::kRegular) {
    const ssize_t length = pread(file.get(), bytes, capacity, 0);
    if (length < 0) {
      return errorReason(errno);
    }
    start.length = static_cast<std::size_t>(length);
  }
  return {};
}

bool existsBeside(const std::string& path, const char* suffix) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string beside = (resolved == nullptr ? path : std::string(resolved)) + suffix;
  std::free(resolved);
  return access(beside.c_str(), F_OK) == 0;
}

std::string uriPathOf(const std::string& path) {
  return path;
}

bool folderWritable(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string file = resolved == nullptr ? path : std::string(resolved);
  std::free(resolved);
  std::size_t slash = file.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  return access(folder.c_str(), W_OK) == 0;
}
