// The reader's side of the reader process on POSIX: the forked child puts its limits and its
// descriptors in place, catches what a failing library does, and runs the role's work.
#include "store/process/reader_child_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

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

namespace {

// The child's answer goes out on this descriptor; every other one but 0, 1 and 2 is closed.
constexpr int kOutputFd = 3;
constexpr int kUncaughtExit = ReaderProcess::kUncaughtExit;

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

}  // namespace

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
