// The limits of every reader process. Processor time and memory catch a reader that runs away in
// a damaged file; silence catches one that waits for ever (a frozen server, a lock never
// released, a driver stuck in its own loop without a byte to send).
#include "store/process/reader_limits.h"

#include <cstdlib>

namespace {

using std::chrono::seconds;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// A whole, healthy Access file takes well under a second per ten megabytes to read; a damaged
// one that loops is stopped once it has had many times that.
seconds accessProcessorTime(std::uint64_t fileSize) {
  return seconds(10 + fileSize / (2 * kMiB));
}

// A load that streams holds a block of rows in the driver and one more in the reader (17 MB for
// psqlODBC); a driver that holds a whole result, as MariaDB's before 3.1.17 does, takes about
// 170 MB for 100,000 students. Far past this a driver is running away (a damaged file read
// through the MDBTools driver grows without end).
constexpr std::size_t kDriverMemory = 1024 * kMiB;

// A server that sends nothing for this long has stopped answering; it may spend as long on a
// query, and a reader as long on the processor.
constexpr seconds kServerTime{300};

// TAVRINEL_SILENCE_LIMIT, in seconds, shortens or lengthens the wait for a server.
seconds serverSilence() {
  const char* given = std::getenv("TAVRINEL_SILENCE_LIMIT");
  if (given == nullptr || *given == '\0') {
    return kServerTime;
  }
  char* end = nullptr;
  long count = std::strtol(given, &end, 10);
  return *end == '\0' && count > 0 && count <= 86400 ? seconds(count) : kServerTime;
}

}  // namespace

ReaderLimits libmdbReaderLimits(std::uint64_t fileSize) {
  ReaderLimits limits;
  limits.processorTime = accessProcessorTime(fileSize);
  // libmdb reads a local file without waiting on anyone: a pause as long as its processor time is
  // a reader stuck.
  limits.silence = limits.processorTime;
  // libmdb streams: it holds a few pages, the catalog and one bound row whatever the size of the
  // file (about 5 MB on a file of 51 MB, most of it the program's own pages).
  limits.memoryBytes = 64 * kMiB;
  return limits;
}

ReaderLimits accessDriverReaderLimits(std::uint64_t fileSize) {
  ReaderLimits limits;
  limits.processorTime = accessProcessorTime(fileSize);
  // Microsoft's driver opens the file through Windows, which may wait on a network share or on a
  // lock Access holds; a minute without a row is a file that will not come.
  limits.silence = seconds(60);
  // The driver is a whole database engine with its own caches, loaded into the reader: it is
  // held to the cap of any ODBC driver.
  limits.memoryBytes = kDriverMemory;
  return limits;
}

ReaderLimits odbcReaderLimits() {
  ReaderLimits limits;
  limits.processorTime = kServerTime;
  limits.silence = serverSilence();
  limits.memoryBytes = kDriverMemory;
  return limits;
}
