// The reader process on Windows: CreateProcessW in a job object, output over an anonymous pipe.
#include <windows.h>
// After windows.h, whose types it uses.
#include <io.h>
#include <psapi.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "store/process/reader_process.h"
#include "store/process/reader_process_windows.h"
#include "util/wide_text.h"

namespace {

void closeHandle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
  }
  handle = nullptr;
}

constexpr unsigned long long kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns

unsigned long long ticksOf(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A job that holds a reader to its limits, ends it with this program, and ends a crash at once
// instead of showing a dialog; null where Windows gives none.
HANDLE jobFor(const ReaderLimits& limits) {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
  info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                          JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
                                          JOB_OBJECT_LIMIT_PROCESS_TIME;
  info.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart =
      static_cast<LONGLONG>(limits.processorTime.count()) * kTicksPerSecond;
  if (limits.memoryBytes > 0) {
    info.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    info.ProcessMemoryLimit = limits.memoryBytes;
  }
  if (job != nullptr) {
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
  }
  return job;
}

// A reader that ended already leaves the write to fail.
void writeAndClose(HANDLE& pipe, const std::string& bytes) {
  for (std::size_t done = 0; pipe != nullptr && done < bytes.size();) {
    DWORD written = 0;
    if (!WriteFile(pipe, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0) {
      break;
    }
    done += written;
  }
  closeHandle(pipe);
}

// In the reader: the C runtime descriptor of the answer's pipe, from the handle number the
// program gave as the last argument; -1 when it names no handle or is no number.
int rowsDescriptor(const std::string& argument) {
  unsigned long long number = 0;
  try {
    number = std::stoull(argument);
  } catch (const std::logic_error&) {
    return -1;  // no number: not started by the program
  }
  const auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(number));
  return _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), 0);
}

// What the program handed the reader on its standard input.
std::string standardInput() {
  std::string input;
  HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    input.append(buffer, got);
  }
  return input;
}

// Standard output and error go nowhere, so that a driver's own messages never reach the
// operator's screen nor mix with the rows, which have a pipe of their own.
STARTUPINFOW startupWith(HANDLE input, HANDLE nullDevice) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = nullDevice;
  startup.hStdError = nullDevice;
  return startup;
}

// The program, the role's option, its arguments and, last, the handle it answers on.
std::wstring commandLineFor(const std::string& program, const ReaderRole& role,
                            const std::vector<std::string>& arguments, HANDLE answer) {
  std::vector<std::string> all{program, role.option};
  all.insert(all.end(), arguments.begin(), arguments.end());
  all.push_back(std::to_string(reinterpret_cast<std::uintptr_t>(answer)));
  return wideText(windowsCommandLine(all));
}

// The program that plays role: this one, or the one of that name beside it.
std::string programFor(const ReaderRole& role) {
  const std::string self = thisProgramPath();
  if (role.program == nullptr) {
    return self;
  }
  return self.substr(0, self.find_last_of("\\/") + 1) + role.program;
}

}  // namespace

std::string windowsCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) {
      line += ' ';
    }
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += argument;
      continue;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (char c : argument) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes double only before a quote, which is itself escaped.
      line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');  // before the closing quote
    line += '"';
  }
  return line;
}

struct ReaderProcess::Handles {
  HANDLE job = nullptr;
  HANDLE process = nullptr;
  HANDLE output = nullptr;  // our end of the pipe
  ReaderLimits limits;
  // When the reader last sent a byte: only bytes are progress. Wine reports next to no processor
  // time for another process, and a figure that barely moves must not keep a hung reader alive.
  std::chrono::steady_clock::time_point lastByte;
  bool killed = false;
  bool outOfMemory = false;
  bool outOfTime = false;
  bool fellSilent = false;

  // Checked while waiting: Wine does not hold a job to its limits, so the program does it too.
  bool overLimit();
  bool overProcessorTime() const;
  void kill(bool memory);
};

ReaderProcess::ReaderProcess(const ReaderRole& role, const std::vector<std::string>& arguments,
                             const ReaderLimits& limits, const std::string& input)
    : handles_(std::make_unique<Handles>()) {
  Handles& h = *handles_;
  const std::string program = programFor(role);
  h.limits = limits;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE childOutput = nullptr;
  if (!CreatePipe(&h.output, &childOutput, &inherit, 1 << 16)) {
    throw std::runtime_error("no pipe for the reader process");
  }
  SetHandleInformation(h.output, HANDLE_FLAG_INHERIT, 0);
  HANDLE nullDevice =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  HANDLE childInput = nullptr;
  HANDLE ourInput = nullptr;
  if (!input.empty()) {
    if (!CreatePipe(&childInput, &ourInput, &inherit, static_cast<DWORD>(input.size() + 4096))) {
      closeHandle(h.output);
      closeHandle(childOutput);
      closeHandle(nullDevice);
      throw std::runtime_error("no pipe for the reader process");
    }
    SetHandleInformation(ourInput, HANDLE_FLAG_INHERIT, 0);
  }

  h.job = jobFor(limits);

  STARTUPINFOW startup = startupWith(childInput != nullptr ? childInput : nullDevice, nullDevice);
  std::wstring commandLine = commandLineFor(program, role, arguments, childOutput);
  PROCESS_INFORMATION process{};
  // Suspended until it is in the job, so that no instruction of it runs unlimited.
  const BOOL started =
      CreateProcessW(wideText(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  closeHandle(childOutput);
  closeHandle(childInput);
  closeHandle(nullDevice);
  if (!started) {
    closeHandle(ourInput);
    closeHandle(h.output);
    closeHandle(h.job);
    throw std::runtime_error("the reader process cannot be started");
  }
  if (h.job != nullptr) {
    AssignProcessToJobObject(h.job, process.hProcess);
  }
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  h.process = process.hProcess;
  // Written once it runs, so that an input larger than the pipe's buffer cannot wait on a
  // reader that never started.
  writeAndClose(ourInput, input);
  h.lastByte = std::chrono::steady_clock::now();
}

ReaderProcess::~ReaderProcess() {
  if (handles_->process != nullptr) {
    DWORD code = 0;
    if (GetExitCodeProcess(handles_->process, &code) && code == STILL_ACTIVE) {
      TerminateProcess(handles_->process, 1);
    }
  }
  closeHandle(handles_->output);
  closeHandle(handles_->process);
  closeHandle(handles_->job);  // ends anything the reader started
}

// Processor time is a limit of its own, never a sign of progress.
bool ReaderProcess::Handles::overProcessorTime() const {
  FILETIME created, exited, kernel, user;
  return GetProcessTimes(process, &created, &exited, &kernel, &user) &&
         ticksOf(kernel) + ticksOf(user) >=
             static_cast<unsigned long long>(limits.processorTime.count()) * kTicksPerSecond;
}

bool ReaderProcess::Handles::overLimit() {
  if (overProcessorTime()) {
    outOfTime = true;
    kill(false);
    return true;
  }
  PROCESS_MEMORY_COUNTERS memory{};
  if (limits.memoryBytes > 0 && GetProcessMemoryInfo(process, &memory, sizeof memory) &&
      memory.PagefileUsage >= limits.memoryBytes) {
    kill(true);
    return true;
  }
  // A reader that waits, or spins, without sending is stopped by the wall clock.
  if (std::chrono::steady_clock::now() - lastByte >= limits.silence) {
    fellSilent = true;
    kill(false);
    return true;
  }
  return false;
}

void ReaderProcess::Handles::kill(bool memory) {
  TerminateProcess(process, 1);
  WaitForSingleObject(process, INFINITE);
  killed = true;
  outOfMemory = outOfMemory || memory;
}

std::size_t ReaderProcess::read(char* buffer, std::size_t size) {
  Handles& h = *handles_;
  while (!h.killed) {
    DWORD available = 0;
    if (!PeekNamedPipe(h.output, nullptr, 0, nullptr, &available, nullptr)) {
      return 0;  // the reader closed its end: the output is complete
    }
    if (available > 0) {
      DWORD count = 0;
      const DWORD wanted = available < size ? available : static_cast<DWORD>(size);
      if (!ReadFile(h.output, buffer, wanted, &count, nullptr)) {
        return 0;
      }
      h.lastByte = std::chrono::steady_clock::now();
      return count;
    }
    if (h.overLimit()) {
      return 0;
    }
    WaitForSingleObject(h.process, 5);
  }
  return 0;
}

ReaderEnd ReaderProcess::finish() {
  Handles& h = *handles_;
  while (!h.killed && WaitForSingleObject(h.process, 20) == WAIT_TIMEOUT) {
    h.overLimit();
  }
  ReaderEnd end;
  DWORD code = 0;
  GetExitCodeProcess(h.process, &code);
  end.code = code;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
  // The job itself may have ended it for memory: a failed allocation surfaces as a crash.
  if (h.job != nullptr && h.limits.memoryBytes > 0 &&
      QueryInformationJobObject(h.job, JobObjectExtendedLimitInformation, &info, sizeof info,
                                nullptr) &&
      info.PeakProcessMemoryUsed >= h.limits.memoryBytes) {
    h.outOfMemory = true;
  }
  // The job itself ends a reader past its processor time, where Windows holds it to that.
  h.outOfTime = h.outOfTime || (!h.killed && h.overProcessorTime());
  if (h.killed) {
    end.kind = ReaderEnd::kKilled;
  } else if ((code & 0xC0000000u) == 0xC0000000u) {
    end.kind = ReaderEnd::kCrashed;  // an NTSTATUS error: access violation, stack overflow...
  }
  end.ranOutOfMemory = h.outOfMemory || (!h.killed && code == kOutOfMemoryExit);
  end.ranOutOfTime = h.outOfTime;
  end.fellSilent = h.fellSilent;
  end.peakMemoryKiB = static_cast<long>(info.PeakProcessMemoryUsed / 1024);
  return end;
}

ReaderEnd ReaderProcess::stop() {
  Handles& h = *handles_;
  DWORD code = 0;
  if (!h.killed && GetExitCodeProcess(h.process, &code) && code == STILL_ACTIVE) {
    h.kill(false);
  }
  return finish();
}

std::string thisProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return utf8Text(path);
    }
    path.resize(path.size() * 2);
  }
}

std::optional<int> runReaderRole(const std::vector<std::string>& commandLine,
                                 std::initializer_list<const ReaderRole*> roles) {
  for (const ReaderRole* role : roles) {
    // The program, the role's option, its arguments, the answer's handle.
    if (commandLine.size() != role->argumentCount + 3 || commandLine[1] != role->option) {
      continue;
    }
    const int rows = rowsDescriptor(commandLine.back());
    if (rows < 0) {
      return 2;  // not started by the program
    }
    const std::vector<std::string> arguments(commandLine.begin() + 2, commandLine.end() - 1);
    return ReaderProcess::runWork(*role, arguments, standardInput(), rows);
  }
  return std::nullopt;
}
