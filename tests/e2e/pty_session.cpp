// Starts the real program on a pseudo-terminal or on pipes, bounded in time, for end-to-end tests.
#include "e2e/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

void writeAllBytes(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;
    }
    done += static_cast<std::size_t>(written);
  }
}

ExitStatus statusFrom(int waitStatus) {
  ExitStatus status;
  if (WIFEXITED(waitStatus)) {
    status.exited = true;
    status.code = WEXITSTATUS(waitStatus);
  } else if (WIFSIGNALED(waitStatus)) {
    status.signal = WTERMSIG(waitStatus);
  }
  return status;
}

// In the child: the scratch folder, the environment, then the program. Never returns.
[[noreturn]] void execProgram(const RunOptions& options, const std::string& folder) {
  if (::chdir(folder.c_str()) != 0) {
    ::_exit(126);
  }
  // The program's own handling of SIGXFSZ is under test, so the default action is in force.
  ::signal(SIGXFSZ, SIG_DFL);
  if (options.term.empty()) {
    ::unsetenv("TERM");
  } else {
    ::setenv("TERM", options.term.c_str(), 1);
  }
  // Text that is no UTF-8 shows as "?" whatever locale runs the tests; a case may set its own.
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_CTYPE");
  ::setenv("LANG", "C", 1);
  for (const std::string& setting : options.environment) {
    ::putenv(const_cast<char*>(setting.c_str()));
  }
  if (options.fileSizeLimit >= 0) {
    rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                    static_cast<rlim_t>(options.fileSizeLimit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.noColor) {
    ::setenv("NO_COLOR", "1", 1);
  } else {
    ::unsetenv("NO_COLOR");
  }
  if (options.inShell) {
    ::setenv("PS1", "$ ", 1);
    ::execl("/bin/bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(TAVRINEL_BINARY));
  for (const std::string& argument : options.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  ::execv(TAVRINEL_BINARY, argv.data());
  ::_exit(127);
}

void copyFixture(const RunOptions& options, const ScratchFolder& folder) {
  if (!options.fixture.empty()) {
    const std::filesystem::path database = folder.file(options.databaseName);
    std::filesystem::create_directories(database.parent_path());
    std::filesystem::copy_file(options.fixture, database);
    std::filesystem::permissions(
        database, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
}

std::string escapeBytes(const std::string& bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c == 0x1b) {
      shown += "\\e";
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

bool sameMode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace

std::string fixturePath(const std::string& name) {
  return std::string(TAVRINEL_FIXTURES_DIR) + "/" + name;
}

std::string sharedFixturePath(const std::string& name) {
  std::string path = std::string(TAVRINEL_SHARED_FIXTURES_DIR) + "/" + name;
  return std::filesystem::exists(path) ? path : std::string();
}

std::string ExitStatus::describe() const {
  if (exited) {
    return "exit status " + std::to_string(code);
  }
  return signal != 0 ? "killed by signal " + std::to_string(signal) : "still running";
}

PtySession::PtySession(const RunOptions& options) {
  copyFixture(options, folder_);
  winsize size = {};
  size.ws_row = 25;
  size.ws_col = 80;
  int slave = -1;
  if (::openpty(&master_, &slave, nullptr, nullptr, &size) != 0) {
    ADD_FAILURE() << "openpty: " << std::strerror(errno);
    return;
  }
  ::tcgetattr(slave, &before_);
  int input[2] = {-1, -1};
  if (options.inputFromPipe && ::pipe(input) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(master_);
    ::login_tty(slave);  // a session of its own, with the terminal as stdin, stdout and stderr
    if (options.inputFromPipe) {
      ::dup2(input[0], STDIN_FILENO);
      ::close(input[0]);
      ::close(input[1]);
    }
    execProgram(options, folder_.path());
  }
  ::close(slave);
  if (options.inputFromPipe) {
    ::close(input[0]);
    inputPipe_ = input[1];
  }
}

PtySession::~PtySession() {
  if (pid_ > 0 && !status_.exited && status_.signal == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (inputPipe_ >= 0) {
    ::close(inputPipe_);
  }
  if (master_ >= 0) {
    ::close(master_);
  }
}

void PtySession::send(const std::string& bytes) {
  sent_.push_back(bytes);
  writeAllBytes(inputPipe_ >= 0 ? inputPipe_ : master_, bytes);
}

::testing::AssertionResult PtySession::typeEchoed(const std::string& printableKeys,
                                                  std::chrono::milliseconds timeout) {
  for (char key : printableKeys) {
    if (key < 0x20 || key >= 0x7f) {
      return ::testing::AssertionFailure()
             << "typeEchoed takes printable keys only; send the others with send()";
    }
    send(std::string(1, key));
    ::testing::AssertionResult echoed = waitFor(std::string(1, key), timeout);
    if (!echoed) {
      return echoed;
    }
  }
  return ::testing::AssertionSuccess();
}

void PtySession::closeInput() {
  sent_.push_back("<end of input>");
  if (inputPipe_ >= 0) {
    ::close(inputPipe_);
    inputPipe_ = -1;
  }
}

void PtySession::hangUp() {
  sent_.push_back("<hang-up>");
  while (pump(std::chrono::milliseconds(0))) {
  }
  ::close(master_);
  master_ = -1;
  outputClosed_ = true;
}

void PtySession::sendSignal(int signo) {
  sent_.push_back(std::string("<signal ") + ::strsignal(signo) + ">");
  ::kill(pid_, signo);
}

bool PtySession::pump(std::chrono::milliseconds wait) {
  if (outputClosed_) {
    return false;
  }
  pollfd ready = {master_, POLLIN, 0};
  if (::poll(&ready, 1, static_cast<int>(wait.count())) <= 0) {
    return false;
  }
  char chunk[4096];
  ssize_t got = ::read(master_, chunk, sizeof chunk);
  if (got <= 0) {
    outputClosed_ = got == 0 || errno != EINTR;  // EIO once the program's side is closed
    return false;
  }
  raw_.append(chunk, static_cast<std::size_t>(got));
  return true;
}

std::string PtySession::transcript() const {
  return normaliseTranscript(raw_);
}

::testing::AssertionResult PtySession::waitFor(const std::string& text,
                                               std::chrono::milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    std::string now = transcript();
    std::size_t at = now.find(text, matchEnd_);
    if (at != std::string::npos) {
      matchEnd_ = at + text.size();
      return ::testing::AssertionSuccess();
    }
    if (Clock::now() >= deadline || outputClosed_) {
      return ::testing::AssertionFailure()
             << "\"" << escapeBytes(text) << "\" did not show within " << timeout.count() << " ms"
             << (outputClosed_ ? " (the program's output ended)" : "") << "\n"
             << report();
    }
    pump(std::chrono::milliseconds(20));
  }
}

::testing::AssertionResult PtySession::waitForExit(std::chrono::milliseconds timeout) {
  Clock::time_point deadline = Clock::now() + timeout;
  int waitStatus = 0;
  while (::waitpid(pid_, &waitStatus, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &waitStatus, 0);
      status_ = statusFrom(waitStatus);
      return ::testing::AssertionFailure()
             << "the program did not end within " << timeout.count() << " ms (killed)\n"
             << report();
    }
    pump(std::chrono::milliseconds(20));
  }
  status_ = statusFrom(waitStatus);
  while (pump(std::chrono::milliseconds(50))) {
  }
  // The master side reports the terminal's mode even after the program's side is closed.
  haveAfter_ = master_ >= 0 && ::tcgetattr(master_, &after_) == 0;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult PtySession::terminalRestored() const {
  if (!haveAfter_) {
    return ::testing::AssertionFailure() << "no terminal mode read after the program ended";
  }
  if (sameMode(before_, after_)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << std::hex << "terminal mode changed: lflag " << before_.c_lflag << " -> "
         << after_.c_lflag << ", iflag " << before_.c_iflag << " -> " << after_.c_iflag
         << ", oflag " << before_.c_oflag << " -> " << after_.c_oflag << std::dec << "\n"
         << report();
}

std::string PtySession::report() const {
  std::string text = "transcript so far:\n" + escapeBytes(transcript()) + "\nlast keys sent:";
  std::size_t first = sent_.size() > 10 ? sent_.size() - 10 : 0;
  for (std::size_t i = first; i < sent_.size(); ++i) {
    text += " \"" + escapeBytes(sent_[i]) + "\"";
  }
  return text + "\nstatus: " + status_.describe();
}

PipeRun runOnPipes(const RunOptions& options, const std::string& input,
                   std::chrono::milliseconds timeout) {
  PipeRun run;
  ScratchFolder folder;
  copyFixture(options, folder);
  std::string inputFile = folder.file(".input");
  std::ofstream(inputFile, std::ios::binary) << input;
  int out[2];
  int err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return run;
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    int in = ::open(inputFile.c_str(), O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::close(out[0]);
    ::close(err[0]);
    ::setsid();  // no controlling terminal: the program sees no terminal anywhere
    execProgram(options, folder.path().string());
  }
  ::close(out[1]);
  ::close(err[1]);
  Clock::time_point deadline = Clock::now() + timeout;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0 && !run.timedOut) {
    if (::poll(fds, 2, 20) > 0) {
      for (int k = 0; k < 2; ++k) {
        if (fds[k].fd >= 0 && (fds[k].revents & (POLLIN | POLLHUP)) != 0) {
          char chunk[4096];
          ssize_t got = ::read(fds[k].fd, chunk, sizeof chunk);
          if (got > 0) {
            sinks[k]->append(chunk, static_cast<std::size_t>(got));
          } else {
            ::close(fds[k].fd);
            fds[k].fd = -1;
            --open;
          }
        }
      }
    }
    run.timedOut = Clock::now() >= deadline;
  }
  if (run.timedOut) {
    ::kill(pid, SIGKILL);
  }
  int waitStatus = 0;
  ::waitpid(pid, &waitStatus, 0);
  run.status = statusFrom(waitStatus);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path())) {
    run.files.insert(std::filesystem::relative(entry.path(), folder.path()).string());
  }
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) {
      ::close(fd.fd);
    }
  }
  return run;
}

}  // namespace e2e
