// The reader process with fake work in place of libmdb: every way the reader can end (sleeping,
// looping, crashing, writing garbage, cutting its answer short, exiting with an error, running
// out of memory under the program's limit or the user's own) is one exact line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "store/database_error.h"
#include "store/process/reader_process.h"
#include "store/process/table_stream.h"
#include "store/sources/access/access_reader.h"
#include "unit/store/loader_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define TAVRINEL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRINEL_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

void writeBytes(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote <= 0) {
      return;
    }
    done += static_cast<std::size_t>(wrote);
  }
}

const std::string kMagic(kRowStreamMagic, sizeof kRowStreamMagic);

// Allocates and touches memory until malloc gives null, then uses the null as a careless library
// would.
int allocateWithoutEnd() {
  for (;;) {
    auto* block = static_cast<volatile char*>(std::malloc(1 << 20));
    for (std::size_t i = 0; i < (1 << 20); i += 4096) {
      block[i] = 1;
    }
  }
}

struct Case {
  const char* name;
  ReaderProcess::Work work;
  const char* reason;  // after "Cannot read <path>: "
  int seconds = 1;     // the time limit: room to fill the memory limit, where that is the point
  bool allocationFails = false;  // AddressSanitizer reports a failed allocation itself, at length
};

std::vector<Case> cases() {
  const std::string damaged = "the Access file is damaged (";
  return {
      {"answers: the decoder reads what it writes",
       [](int fd) {
         RowStreamWriter out(fd);
         TableStreamWriter(out).refuse("table Student is missing");
         return 0;
       },
       "table Student is missing"},
      {"sleeps",
       [](int) {
         std::this_thread::sleep_for(std::chrono::seconds(60));
         return 0;
       },
       "the Access file is damaged (its reader took longer than 1 s)"},
      {"loops",
       [](int) {
         for (volatile unsigned long i = 0;; i = i + 1) {
         }
         return 0;
       },
       "the Access file is damaged (its reader took longer than 1 s)"},
      {"crashes",
       [](int fd) {
         writeBytes(fd, kMagic);
         raise(SIGSEGV);
         return 0;
       },
       "the Access file is damaged (its reader crashed)"},
      {"writes garbage",
       [](int fd) {
         writeBytes(fd, "garbage, not rows");
         return 0;
       },
       "the Access file is damaged (its reader's answer is malformed)"},
      {"cuts the stream",
       [](int fd) {
         writeBytes(fd, kMagic + std::string{char(kStreamTable), 0});
         return 0;
       },
       "the Access file is damaged (its reader's answer is malformed)"},
      {"exits non-zero",
       [](int fd) {
         writeBytes(fd, kMagic);
         return 3;
       },
       "the Access file is damaged (its reader crashed)"},
      {"allocates too much with malloc", [](int) { return allocateWithoutEnd(); },
       "the Access file is damaged (its reader ran out of memory)", 20, true},
      {"allocates too much with new",
       [](int) {
         std::vector<std::vector<char>> blocks;
         for (;;) {
           blocks.emplace_back(1 << 20, 'x');
         }
         return 0;
       },
       "the Access file is damaged (its reader ran out of memory)", 20, true},
      {"hits the user's own lower memory limit first",
       [](int) {
         // As ulimit -v would have set it before the program started.
         struct rlimit limit = {};
         getrlimit(RLIMIT_AS, &limit);
         limit.rlim_cur =
             limit.rlim_cur == RLIM_INFINITY ? limit.rlim_cur : limit.rlim_cur - (16u << 20);
         setrlimit(RLIMIT_AS, &limit);
         getrlimit(RLIMIT_DATA, &limit);
         limit.rlim_cur =
             limit.rlim_cur == RLIM_INFINITY ? limit.rlim_cur : limit.rlim_cur - (16u << 20);
         setrlimit(RLIMIT_DATA, &limit);
         return allocateWithoutEnd();
       },
       "the Access file is damaged (its reader ran out of memory)", 20, true},
  };
}

TEST(ReaderProcess, EveryEndOfTheAccessReaderIsOneExactLine) {
  ScratchDir scratch;
  std::string path = scratch.file("Database.mdb");
  writeFile(path, "not read: the fake work stands in for the reader");
  ReaderLimits limits;
  limits.memoryBytes = std::size_t{64} << 20;
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
#ifdef TAVRINEL_ADDRESS_SANITIZER
    if (c.allocationFails) {
      std::cout << "skipped " << c.name
                << ": under AddressSanitizer no allocation fails to the program\n";
      continue;
    }
#endif
    limits.processorTime = std::chrono::seconds(c.seconds);
    limits.silence = limits.processorTime;
    try {
      ReaderProcess reader(c.work, limits);
      tablesFromReader(reader, path, [&limits](const ReaderEnd& end) {
        return accessReaderFailure(end, limits);
      });
      ADD_FAILURE() << "read without an error";
    } catch (const DatabaseError& error) {
      EXPECT_EQ(error.what(), "Cannot read " + path + ": " + c.reason);
    }
  }
}

}  // namespace
