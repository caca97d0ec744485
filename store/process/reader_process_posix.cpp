// The reader process on POSIX: a child forked from the program does the risky work under
// limits, and answers through a pipe.
#include "store/process/reader_process.h"

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
constexpr int kUncaughtExit = ReaderProcess::kUncaughtExit;

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

// The child's address space limit, for its crash handler; 0 when there is none.
rlim_t gChildMemoryLimit = 0;
std::size_t gChildStartBytes = 0;
char gCrashStack[1 << 14];

// The current size of the limited memory (mapped, or private under AddressSanitizer), read the
// way a signal handler may: with system calls only.
std::size_t limitedMemoryNow() {
  char text[160];
  int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return 0;
  }
  ssize_t got = ::read(fd, text, sizeof text - 1);
  close(fd);
  if (got <= 0) {
    return 0;
  }
  text[got] = '\0';
  // size resident shared text lib data dirty, in pages
  unsigned long fields[6] = {};
  const char* c = text;
  for (unsigned long& field : fields) {
    while (*c == ' ') {
      ++c;
    }
    while (*c >= '0' && *c <= '9') {
      field = field * 10 + static_cast<unsigned long>(*c++ - '0');
    }
  }
#ifndef TAVRINEL_ADDRESS_SANITIZER
  unsigned long pages = fields[0];
#else
  unsigned long pages = fields[5];
#endif
  return pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A library whose allocation fails mostly crashes on the null it got, or aborts. Either is a
// want of memory when the allocation just failed (errno says so) or when the child had used up
// more than half of what it may have; the parent then hears it as such, whichever limit (the
// program's or the user's own) was hit.
void onCrash(int signo) {
  int error = errno;
  bool outOfMemory = error == ENOMEM;
  if (!outOfMemory && gChildMemoryLimit > gChildStartBytes) {
    outOfMemory =
        limitedMemoryNow() >= gChildStartBytes + (gChildMemoryLimit - gChildStartBytes) / 2;
  }
  if (outOfMemory) {
    _exit(ReaderProcess::kOutOfMemoryExit);
  }
  signal(signo, SIG_DFL);
  raise(signo);
}

void catchCrashes() {
  stack_t stack = {};
  stack.ss_sp = gCrashStack;
  stack.ss_size = sizeof gCrashStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action = {};
  action.sa_handler = onCrash;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_ONSTACK | SA_RESETHAND;
  for (int signo : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE, SIGTRAP}) {
    sigaction(signo, &action, nullptr);
  }
}

void setLimit(int resource, rlim_t soft, rlim_t hard) {
  struct rlimit limit = {soft, hard};
  setrlimit(resource, &limit);
}

#ifndef TAVRINEL_ADDRESS_SANITIZER
constexpr int kMemoryResource = RLIMIT_AS;
#else
// AddressSanitizer reserves terabytes of address space for its shadow, so the address space
// cannot be limited; the private memory added to what is there already can.
constexpr int kMemoryResource = RLIMIT_DATA;
#endif

// The child's memory limit: the program's own, or the user's (ulimit -v) when that is lower.
rlim_t memoryLimitFor(std::size_t bytes, const MemoryUse& use) {
  struct rlimit user = {RLIM_INFINITY, RLIM_INFINITY};
  getrlimit(kMemoryResource, &user);
#ifndef TAVRINEL_ADDRESS_SANITIZER
  rlim_t limit = bytes > 0 ? use.mapped + bytes : RLIM_INFINITY;
#else
  // AddressSanitizer keeps freed memory in quarantine (256 MiB) and pads every allocation.
  rlim_t limit = bytes > 0 ? use.data + bytes + (std::size_t{512} << 20) : RLIM_INFINITY;
#endif
  return std::min(limit, user.rlim_cur);
}

// What the child is to do, as the constructor was given it.
struct ChildWork {
  const ReaderRole& role;
  const std::vector<std::string>& arguments;
  const std::string& input;
};

[[noreturn]] void runChild(const ChildWork& work, const ReaderLimits& limits, int pipeFd,
                           pid_t parent, const MemoryUse& use) {
  resetSignals();
  // The child stays in the program's process group, so that Ctrl-Z at the terminal stops it with
  // the program and the shell's fg continues both. Ctrl-C and the like are the program's to
  // decide; when the program ends, the child is killed with it.
  for (int signo : {SIGINT, SIGQUIT, SIGHUP}) {
    signal(signo, SIG_IGN);
  }
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
    _exit(kUncaughtExit);
  }
  if (!arrangeDescriptors(pipeFd)) {
    _exit(kUncaughtExit);
  }
  setLimit(RLIMIT_CORE, 0, 0);  // a crash must not leave a core file in the user's folder
  auto seconds = static_cast<rlim_t>(limits.processorTime.count());
  setLimit(RLIMIT_CPU, seconds, seconds + 1);
  rlim_t memory = memoryLimitFor(limits.memoryBytes, use);
  if (memory != RLIM_INFINITY) {
    // The hard limit stays the user's: the work may lower its own limit, never raise it.
    struct rlimit user = {RLIM_INFINITY, RLIM_INFINITY};
    getrlimit(kMemoryResource, &user);
    setLimit(kMemoryResource, memory, user.rlim_max);
    gChildMemoryLimit = memory;
#ifndef TAVRINEL_ADDRESS_SANITIZER
    gChildStartBytes = use.mapped;
#else
    gChildStartBytes = use.data;
#endif
  }
  catchCrashes();
  int status = ReaderProcess::runWork(work.role, work.arguments, work.input, kOutputFd);
  // Never back into the parent's code: no atexit handlers, no destructors, no flushed buffers.
  _exit(status);
}

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
