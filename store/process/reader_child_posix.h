// The reader's side of the reader process on POSIX, for reader_process_posix.cpp.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "store/process/reader_process.h"

// Under AddressSanitizer the sanitizer takes the memory: the child sets no memory limit of its own
// and no allocation fails to the program, which the reader's tests then do not expect either.
#if defined(__SANITIZE_ADDRESS__)
#define TAVRINEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRINEL_ADDRESS_SANITIZER 1
#endif
#endif

// What the process has mapped and has resident now: the child starts with both, and its limit
// and its growth count from there.
struct MemoryUse {
  std::size_t mapped = 0;
  std::size_t resident = 0;
  std::size_t data = 0;  // private writable memory (and the stack)
};
MemoryUse memoryUse();

// What the child is to do, as the constructor was given it.
struct ChildWork {
  const ReaderRole& role;
  const std::vector<std::string>& arguments;
  const std::string& input;
};

// In the child just forked from parent: resets the parent's signal handlers, stays in its
// process group and dies with it, keeps only pipeFd (as descriptor 3) and the null device, puts
// the limits in place (memory counted from use), and runs the work. Never returns.
[[noreturn]] void runChild(const ChildWork& work, const ReaderLimits& limits, int pipeFd,
                           pid_t parent, const MemoryUse& use);
