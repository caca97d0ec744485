// A child process that does risky work away from the program, under limits, and answers through
// a pipe.
#include "store/sources/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>
#include <system_error>

#if defined(__SANITIZE_ADDRESS__)
#define TAVRINEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRINEL_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

// The child's answer goes out on this descriptor; every other one but 0, 1 and 2 is closed.
constexpr int kOutputFd = 3;
constexpr int kUncaughtExit = 70;

// What the process has mapped and has resident now: the child starts with both, and its limit
// and its growth count from there.
struct MemoryUse {
  std::size_t mapped = 0;
  std::size_t resident = 0;
  std::size_t data = 0;  // private writable memory (and the stack)
};

MemoryUse memoryUse() {
  std::FILE* statm = std::fopen("/proc/self/statm", "re");
  // size resident shared text lib data dirty, in pages
  unsigned long pages[7] = {};
  if (statm != nullptr) {
    if (std::fscanf(statm, "%lu %lu %lu %lu %lu %lu", &pages[0], &pages[1], &pages[2], &pages[3],
                    &pages[4], &pages[5]) != 6) {
      pages[0] = pages[1] = pages[5] = 0;
    }
    std::fclose(statm);
  }
  auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return {pages[0] * pageSize, pages[1] * pageSize, pages[5] * pageSize};
}

// The parent's handlers restore the terminal and end the parent; the child must run none of
// them, and must not be held up by signals the parent blocked.
void resetSignals() {
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int signo = 1; signo < NSIG; ++signo) {
    ::sigaction(signo, &fallback, nullptr);  // fails harmlessly for SIGKILL, SIGSTOP and gaps
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Standard input, output and error go to /dev/null, so that nothing the library prints reaches
// the terminal; the pipe becomes kOutputFd and every other inherited descriptor is closed.
bool arrangeDescriptors(int pipeFd) {
  int output = fcntl(pipeFd, F_DUPFD, kOutputFd);  // out of the way of 0, 1 and 2
  int null = open("/dev/null", O_RDWR);
  if (output < 0 || null < 0) {
    return false;
  }
  for (int fd = 0; fd <= 2; ++fd) {
    if (dup2(null, fd) < 0) {
      return false;
    }
  }
  if (output != kOutputFd && dup2(output, kOutputFd) < 0) {
    return false;
  }
  if (syscall(SYS_close_range, kOutputFd + 1, ~0U, 0) != 0) {
    struct rlimit files = {};
    getrlimit(RLIMIT_NOFILE, &files);
    int last = files.rlim_cur == RLIM_INFINITY || files.rlim_cur > 65536
                   ? 65536
                   : static_cast<int>(files.rlim_cur);
    for (int fd = kOutputFd + 1; fd < last; ++fd) {
      close(fd);
    }
  }
  return true;
}

void setLimit(int resource, rlim_t soft, rlim_t hard) {
  struct rlimit limit = {soft, hard};
  setrlimit(resource, &limit);
}

[[noreturn]] void runChild(const ChildProcess::Work& work, const ChildLimits& limits, int pipeFd,
                           pid_t parent, const MemoryUse& use) {
  resetSignals();
  // Out of the terminal's process group: Ctrl-C and Ctrl-Z go to the parent, which decides.
  setpgid(0, 0);
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
    _exit(kUncaughtExit);
  }
  if (!arrangeDescriptors(pipeFd)) {
    _exit(kUncaughtExit);
  }
  setLimit(RLIMIT_CORE, 0, 0);  // a crash must not leave a core file in the user's folder
  auto seconds = static_cast<rlim_t>(limits.time.count());
  setLimit(RLIMIT_CPU, seconds, seconds + 1);
  if (limits.memoryBytes > 0) {
#ifndef TAVRINEL_ADDRESS_SANITIZER
    rlim_t bytes = use.mapped + limits.memoryBytes;
    setLimit(RLIMIT_AS, bytes, bytes);
#else
    // AddressSanitizer reserves terabytes of address space for its shadow, so the address space
    // cannot be limited; the private memory added to what is there already can.
    rlim_t bytes = use.data + limits.memoryBytes;
    setLimit(RLIMIT_DATA, bytes, bytes);
#endif
  }
  int status = kUncaughtExit;
  try {
    status = work(kOutputFd);
  } catch (const std::bad_alloc&) {
    status = ChildProcess::kOutOfMemoryExit;
  } catch (...) {
    status = kUncaughtExit;
  }
  // Never back into the parent's code: no atexit handlers, no destructors, no flushed buffers.
  _exit(status);
}

void sleepBriefly(long microseconds) {
  timespec pause = {0, microseconds * 1000};
  nanosleep(&pause, nullptr);
}

}  // namespace

ChildProcess::ChildProcess(const Work& work, const ChildLimits& limits)
    : memoryBytes_(limits.memoryBytes) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  // A larger pipe lets the child run ahead of the parent's decoding; the default is kept when
  // the system refuses.
  fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  MemoryUse use = memoryUse();
  startResidentBytes_ = use.resident;
  pid_t parent = getpid();
  deadline_ = std::chrono::steady_clock::now() + limits.time;
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    runChild(work, limits, fds[1], parent, use);
  }
  int forkError = errno;
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    if (forkError == ENOMEM) {
      throw std::bad_alloc();
    }
    throw std::system_error(forkError, std::generic_category(), "fork");
  }
  readFd_ = fds[0];
}

ChildProcess::~ChildProcess() {
  closeOutput();
  if (pid_ > 0) {
    stop();
  }
}

std::size_t ChildProcess::read(char* buffer, std::size_t size) {
  while (readFd_ >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid_, SIGKILL);
      timedOut_ = true;
      return 0;
    }
    pollfd input = {readFd_, POLLIN, 0};
    int ready = poll(&input, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (ready <= 0) {
      continue;  // interrupted by a signal, or the time is up: the loop looks again
    }
    ssize_t got = ::read(readFd_, buffer, size);
    if (got > 0) {
      return static_cast<std::size_t>(got);
    }
    if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      return 0;
    }
  }
  return 0;
}

ChildEnd ChildProcess::finish() {
  closeOutput();
  long pause = 100;
  while (pid_ > 0) {
    ChildEnd end = reap(WNOHANG);
    if (pid_ <= 0) {
      return end;
    }
    if (std::chrono::steady_clock::now() >= deadline_) {
      timedOut_ = true;
      kill(pid_, SIGKILL);
      return reap(0);
    }
    sleepBriefly(pause);
    pause = std::min(pause * 2, 10000L);
  }
  return ChildEnd{};
}

ChildEnd ChildProcess::stop() {
  closeOutput();
  if (pid_ <= 0) {
    return ChildEnd{};
  }
  ChildEnd end = reap(WNOHANG);
  if (pid_ <= 0) {
    return end;
  }
  killed_ = true;
  kill(pid_, SIGKILL);
  return reap(0);
}

void ChildProcess::closeOutput() {
  if (readFd_ >= 0) {
    close(readFd_);
    readFd_ = -1;
  }
}

// Reaps the child if it has ended (or, without WNOHANG, once it has); pid_ becomes -1 then.
ChildEnd ChildProcess::reap(int options) {
  int status = 0;
  struct rusage usage = {};
  pid_t reaped;
  do {
    reaped = wait4(pid_, &status, options, &usage);
  } while (reaped < 0 && errno == EINTR);
  if (reaped == 0) {
    return ChildEnd{};  // still running
  }
  pid_ = -1;
  if (reaped < 0) {
    ChildEnd lost;
    lost.kind = ChildEnd::kSignalled;  // reaped by someone else: nothing is known of its end
    return lost;
  }
  return ending(status, usage);
}

ChildEnd ChildProcess::ending(int status, const struct rusage& usage) const {
  ChildEnd end;
  end.peakMemoryKiB = usage.ru_maxrss;
  if (WIFEXITED(status)) {
    end.code = WEXITSTATUS(status);
    end.ranOutOfMemory = end.code == kOutOfMemoryExit;
    return end;
  }
  end.code = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  end.kind = timedOut_ ? ChildEnd::kTimedOut : killed_ ? ChildEnd::kStopped : ChildEnd::kSignalled;
  end.ranOutOfTime = timedOut_ || (end.kind == ChildEnd::kSignalled && end.code == SIGXCPU);
  if (end.kind == ChildEnd::kSignalled && !end.ranOutOfTime) {
    // A failed allocation in the library aborts or dereferences null; a kill we did not send is
    // the kernel's out-of-memory killer.
    std::size_t peak = static_cast<std::size_t>(end.peakMemoryKiB) * 1024;
    bool nearLimit = memoryBytes_ > 0 && peak >= startResidentBytes_ + memoryBytes_ / 2;
    end.ranOutOfMemory = nearLimit || end.code == SIGKILL;
  }
  return end;
}
