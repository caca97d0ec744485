// A reader that runs out of memory, under the program's limit or the user's own lower one, is
// told so. POSIX only: Wine holds no reader to a memory limit of its own.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/process/reader_child_posix.h"
#include "store/process/reader_process.h"
#include "store/process/table_stream.h"
#include "store/sources/access/access_reader.h"

namespace {

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

int allocateWithNew() {
  std::vector<std::vector<char>> blocks;
  for (;;) {
    blocks.emplace_back(1 << 20, 'x');
  }
  return 0;
}

// As ulimit -v would have set it before the program started.
int allocateUnderTheUsersLimit() {
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit = {};
    getrlimit(resource, &limit);
    limit.rlim_cur =
        limit.rlim_cur == RLIM_INFINITY ? limit.rlim_cur : limit.rlim_cur - (16u << 20);
    setrlimit(resource, &limit);
  }
  return allocateWithoutEnd();
}

const struct {
  const char* name;
  int (*work)();
  bool allocationFails;  // AddressSanitizer reports a failed allocation itself, at length
} kCases[] = {
    {"allocates too much with malloc", allocateWithoutEnd, true},
    {"allocates too much with new", allocateWithNew, true},
    {"hits the user's own lower memory limit first", allocateUnderTheUsersLimit, true},
};

int playCase(const std::vector<std::string>& arguments, const std::string&, int) {
  for (const auto& c : kCases) {
    if (arguments.at(0) == c.name) {
      return c.work();
    }
  }
  return 2;
}

const ReaderRole kAllocatingReaderRole{"--internal-allocating-reader", 1, playCase};

TEST(ReaderProcess, AReaderOutOfMemoryIsToldSo) {
  ReaderLimits limits;
  limits.memoryBytes = std::size_t{64} << 20;
  limits.processorTime = std::chrono::seconds(20);  // room to fill the memory limit
  limits.silence = limits.processorTime;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
#ifdef TAVRINEL_ADDRESS_SANITIZER
    if (c.allocationFails) {
      std::cout << "skipped " << c.name
                << ": under AddressSanitizer no allocation fails to the program\n";
      continue;
    }
#endif
    try {
      readTablesInReader(
          kAllocatingReaderRole, {c.name}, limits, "Database.mdb",
          [&limits](const ReaderEnd& end) { return accessReaderFailure(end, limits); });
      ADD_FAILURE() << "read without an error";
    } catch (const DatabaseError& error) {
      EXPECT_STREQ(error.what(),
                   "Cannot read Database.mdb: the Access file is damaged (its "
                   "reader ran out of memory)");
    }
  }
}

}  // namespace
