// The reader process on POSIX: a child forked from the program does the risky work under
// limits, and answers through a pipe.
#include "store/process/reader_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "store/process/reader_child_posix.h"

namespace {

// The parent waits for the child in slices of this length; a slice that took much longer was
// spent stopped, and counts as this long only.
constexpr std::chrono::milliseconds kSlice{100};

}  // namespace

struct ReaderProcess::Handles {
  pid_t pid = -1;
  int readFd = -1;
  ReaderLimits limits;
  std::chrono::milliseconds silenceLeft{0};  // until the reader is killed for silence
  std::size_t startResidentBytes = 0;
  bool fellSilent = false;
  bool killed = false;  // by us, not for silence

  void closeOutput() {
    if (readFd >= 0) {
      close(readFd);
      readFd = -1;
    }
  }

  // Waits up to one slice for fd to become readable (fd < 0: just waits) and counts the time
  // waited as silence; false once the silence limit is used up.
  bool waitForChild(int fd) {
    if (silenceLeft.count() <= 0) {
      return false;
    }
    // Without a descriptor to wait on, the wait polls in short steps.
    auto slice = std::min(silenceLeft, fd >= 0 ? kSlice : std::chrono::milliseconds(2));
    auto start = std::chrono::steady_clock::now();
    pollfd input = {fd, POLLIN, 0};
    poll(&input, fd >= 0 ? 1 : 0, static_cast<int>(slice.count()));
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    silenceLeft -= std::min(waited, 2 * kSlice);
    return true;
  }

  // Reaps the child if it has ended (or, without WNOHANG, once it has); pid becomes -1 then.
  ReaderEnd reap(int options) {
    int status = 0;
    struct rusage usage = {};
    pid_t reaped;
    do {
      reaped = wait4(pid, &status, options, &usage);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) {
      return ReaderEnd{};  // still running
    }
    pid = -1;
    if (reaped < 0) {
      ReaderEnd lost;
      lost.kind = ReaderEnd::kCrashed;  // reaped by someone else: nothing is known of its end
      return lost;
    }
    return ending(status, usage);
  }

  ReaderEnd ending(int status, const struct rusage& usage) const {
    ReaderEnd end;
    end.peakMemoryKiB = usage.ru_maxrss;
    if (WIFEXITED(status)) {
      end.code = static_cast<unsigned long>(WEXITSTATUS(status));
      end.ranOutOfMemory = end.code == kOutOfMemoryExit;
      return end;
    }
    int signo = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    end.code = static_cast<unsigned long>(signo);
    end.kind = fellSilent || killed ? ReaderEnd::kKilled : ReaderEnd::kCrashed;
    end.fellSilent = fellSilent;
    end.ranOutOfTime = end.kind == ReaderEnd::kCrashed && signo == SIGXCPU;
    if (end.kind == ReaderEnd::kCrashed && !end.ranOutOfTime) {
      // A failed allocation in the library aborts or dereferences null; a kill we did not send
      // is the kernel's out-of-memory killer.
      std::size_t peak = static_cast<std::size_t>(end.peakMemoryKiB) * 1024;
      bool nearLimit =
          limits.memoryBytes > 0 && peak >= startResidentBytes + limits.memoryBytes / 2;
      end.ranOutOfMemory = nearLimit || signo == SIGKILL;
    }
    return end;
  }
};

ReaderProcess::ReaderProcess(const ReaderRole& role, const std::vector<std::string>& arguments,
                             const ReaderLimits& limits, const std::string& input)
    : handles_(std::make_unique<Handles>()) {
  Handles& h = *handles_;
  h.limits = limits;
  h.silenceLeft = limits.silence;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  // A larger pipe lets the child run ahead of the parent's decoding; the default is kept when
  // the system refuses.
  fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  MemoryUse use = memoryUse();
  h.startResidentBytes = use.resident;
  pid_t parent = getpid();
  // Until the child has put its own handlers in place, a signal (Ctrl-Z at the terminal reaches
  // both) must not run the program's handlers in it: it waits, blocked, and the child takes it
  // with the default action.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, &before);
  h.pid = fork();
  if (h.pid == 0) {
    close(fds[0]);
    runChild(ChildWork{role, arguments, input}, limits, fds[1], parent, use);
  }
  int forkError = errno;
  sigprocmask(SIG_SETMASK, &before, nullptr);
  close(fds[1]);
  if (h.pid < 0) {
    close(fds[0]);
    if (forkError == ENOMEM) {
      throw std::bad_alloc();
    }
    throw std::system_error(forkError, std::generic_category(), "fork");
  }
  h.readFd = fds[0];
}

ReaderProcess::~ReaderProcess() {
  handles_->closeOutput();
  if (handles_->pid > 0) {
    stop();
  }
}

std::size_t ReaderProcess::read(char* buffer, std::size_t size) {
  Handles& h = *handles_;
  while (h.readFd >= 0) {
    pollfd ready = {h.readFd, POLLIN, 0};
    if (poll(&ready, 1, 0) <= 0) {
      if (!h.waitForChild(h.readFd)) {
        kill(h.pid, SIGKILL);
        h.fellSilent = true;
        return 0;
      }
      continue;
    }
    ssize_t got = ::read(h.readFd, buffer, size);
    if (got > 0) {
      h.silenceLeft = h.limits.silence;
      return static_cast<std::size_t>(got);
    }
    if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      return 0;
    }
  }
  return 0;
}

ReaderEnd ReaderProcess::finish() {
  Handles& h = *handles_;
  h.closeOutput();
  // Readable once the child has ended; without it the wait polls.
  int exitFd = static_cast<int>(syscall(SYS_pidfd_open, h.pid, 0));
  ReaderEnd end;
  while (h.pid > 0) {
    end = h.reap(WNOHANG);
    if (h.pid > 0 && !h.waitForChild(exitFd)) {
      h.fellSilent = true;
      kill(h.pid, SIGKILL);
      end = h.reap(0);
    }
  }
  if (exitFd >= 0) {
    close(exitFd);
  }
  return end;
}

ReaderEnd ReaderProcess::stop() {
  Handles& h = *handles_;
  h.closeOutput();
  if (h.pid <= 0) {
    return ReaderEnd{};
  }
  ReaderEnd end = h.reap(WNOHANG);
  if (h.pid <= 0) {
    return end;
  }
  h.killed = true;
  kill(h.pid, SIGKILL);
  return h.reap(0);
}

std::optional<int> runReaderRole(const std::vector<std::string>&,
                                 std::initializer_list<const ReaderRole*>) {
  return std::nullopt;  // a reader here is a forked child: it never comes through the entry
}
