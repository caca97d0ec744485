// The reader process on Windows: CreateProcessW in a job object, output over an anonymous pipe.
#include <windows.h>
// After windows.h, whose types it uses.
#include <io.h>
#include <psapi.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "store/sources/reader_process.h"

namespace {

std::wstring wideOf(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

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

}  // namespace

int rowsDescriptor(const std::string& argument) {
  const auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(argument)));
  return _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), 0);
}

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
  std::chrono::steady_clock::time_point lastProgress;
  unsigned long long lastProcessorTime = 0;
  bool killed = false;
  bool outOfMemory = false;
  bool outOfTime = false;
  bool fellSilent = false;

  bool ReaderProcess::Handles::overLimit() {
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
      const unsigned long long used = ticksOf(kernel) + ticksOf(user);
      if (used >= static_cast<unsigned long long>(limits.processorTime.count()) * kTicksPerSecond) {
        outOfTime = true;
        kill(false);
        return true;
      }
      if (used != lastProcessorTime) {
        lastProcessorTime = used;
        lastProgress = std::chrono::steady_clock::now();
      }
    }
    PROCESS_MEMORY_COUNTERS memory{};
    if (limits.memoryBytes > 0 && GetProcessMemoryInfo(process, &memory, sizeof memory) &&
        memory.PagefileUsage >= limits.memoryBytes) {
      kill(true);
      return true;
    }
    if (std::chrono::steady_clock::now() - lastProgress >= limits.silence) {
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
        h.lastProgress = std::chrono::steady_clock::now();
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
    if (h.killed) {
      end.kind = ReaderEnd::kKilled;
    } else if ((code & 0xC0000000u) == 0xC0000000u) {
      end.kind = ReaderEnd::kCrashed;  // an NTSTATUS error: access violation, stack overflow...
    }
    end.ranOutOfMemory = h.outOfMemory;
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
