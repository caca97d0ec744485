// The reader process with a fake reader in place of libmdb or a driver: every way a reader can
// end (answering, sleeping, looping, crashing, writing garbage, cutting its answer short,
// printing, exiting with an error, failing an allocation) is one exact line, on every platform.
#include "store/process/reader_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <thread>

#include "store/database_error.h"
#include "store/process/reader_limits.h"
#include "store/process/table_stream.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/odbc/odbc_reader.h"
#include "unit/store/process/fake_reader.h"

namespace {

void writeBytes(int fd, const std::string& bytes) {
  RowStreamWriter out(fd);
  for (char c : bytes) {
    out.u8(static_cast<std::uint8_t>(c));
  }
  out.flush();
}

const std::string kMagic(kRowStreamMagic, sizeof kRowStreamMagic);

int sleepLong() {
  std::this_thread::sleep_for(std::chrono::seconds(60));
  return 0;
}

struct Case {
  const char* name;
  int (*work)(int outputFd);
  const char* reason;  // after "Cannot read Database.mdb: "
};

const Case kCases[] = {
    {"answers: the decoder reads what it writes",
     [](int fd) {
       RowStreamWriter out(fd);
       TableStreamWriter(out).refuse("table Student is missing");
       return 0;
     },
     "table Student is missing"},
    {"sleeps", [](int) { return sleepLong(); },
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
       std::raise(SIGSEGV);
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
    // What it prints goes nowhere: the answer is only cut short, not malformed.
    {"prints and exits non-zero",
     [](int fd) {
       std::puts("printed");
       std::fflush(stdout);
       writeBytes(fd, kMagic);
       return 3;
     },
     "the Access file is damaged (its reader crashed)"},
    {"fails an allocation", [](int) -> int { throw std::bad_alloc(); },
     "the Access file is damaged (its reader ran out of memory)"},
};

int playCase(const std::vector<std::string>& arguments, const std::string&, int outputFd) {
  for (const Case& c : kCases) {
    if (arguments.at(0) == c.name) {
      return c.work(outputFd);
    }
  }
  return 2;
}

// Reads what the fake reader sends, as a reader of a source named "Database.mdb" would.
std::string failureOf(const char* name, const ReaderLimits& limits,
                      std::string (*words)(const ReaderEnd&, const ReaderLimits&)) {
  try {
    readTablesInReader(kFakeReaderRole, {name}, limits, "Database.mdb",
                       [&](const ReaderEnd& end) { return words(end, limits); });
  } catch (const DatabaseError& error) {
    return error.what();
  }
  return "read without an error";
}

TEST(ReaderProcess, EveryEndOfAReaderIsOneExactLine) {
  ReaderLimits limits;
  limits.processorTime = std::chrono::seconds(1);
  limits.silence = limits.processorTime;
  limits.memoryBytes = std::size_t{64} << 20;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(failureOf(c.name, limits, accessReaderFailure),
              std::string("Cannot read Database.mdb: ") + c.reason);
  }
}

// A driver whose connect never returns, and a reader that never answers, end with the reader's
// silence and the words of their reader, whatever the platform tells of their processor time.
TEST(ReaderProcess, AReaderThatNeverAnswersEndsAtItsSilence) {
  ReaderLimits limits = odbcReaderLimits();
  limits.silence = std::chrono::seconds(1);
  EXPECT_EQ(failureOf("sleeps", limits, odbcReaderFailure),
            "Cannot read Database.mdb: the server stopped answering (nothing came for 1 s)");
  limits = accessDriverReaderLimits(0);
  limits.silence = std::chrono::seconds(1);
  EXPECT_EQ(failureOf("sleeps", limits, accessReaderFailure),
            "Cannot read Database.mdb: the Access file is damaged (its reader took longer than "
            "1 s)");
}

}  // namespace

const ReaderRole kFakeReaderRole{"--internal-fake-reader", 1, playCase};
