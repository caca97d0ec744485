// ODBC on POSIX: the driver runs in a reader process, which sends each row as it is fetched.
// Drivers are libraries we do not control, reading files that may be damaged or waiting on
// servers that may freeze: a crash, a runaway or a silence ends the load with one line.
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>

#include "store/database_error.h"
#include "store/sources/odbc_connection_string.h"
#include "store/sources/odbc_reader.h"
#include "store/sources/reader_process.h"

namespace {

// A load that streams holds a block of rows in the driver and one more in the reader (17 MB for
// psqlODBC); a driver that holds a whole result, as MariaDB's before 3.1.17 does, takes about
// 170 MB for 100,000 students. Far past this a driver is running away (a damaged file read
// through the MDBTools driver grows without end). As the Windows reader's limit.
constexpr std::size_t kMemoryLimit = std::size_t{1} << 30;
constexpr std::chrono::seconds kProcessorTime{300};
// A server that sends nothing for this long has stopped answering.
constexpr std::chrono::seconds kSilence{300};

// TAVRINEL_SILENCE_LIMIT, in seconds, shortens or lengthens the wait for a server.
std::chrono::seconds silenceLimit() {
  const char* given = std::getenv("TAVRINEL_SILENCE_LIMIT");
  if (given == nullptr || *given == '\0') {
    return kSilence;
  }
  char* end = nullptr;
  long seconds = std::strtol(given, &end, 10);
  return *end == '\0' && seconds > 0 && seconds <= 86400 ? std::chrono::seconds(seconds) : kSilence;
}

std::string lowerFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

std::string failure(const ReaderEnd& end, const ReaderLimits& limits) {
  if (end.fellSilent) {
    return "the server stopped answering (nothing came for " +
           std::to_string(limits.silence.count()) + " s)";
  }
  return readerFailure(end, limits);
}

}  // namespace

SourceTables readOdbcTables(const std::string& connection) {
  const std::string name = connectionSourceName(connection);
  ReaderLimits limits;
  limits.processorTime = kProcessorTime;
  limits.silence = silenceLimit();
  limits.memoryBytes = kMemoryLimit;
  auto read = [&connection](int fd) {
    RowStreamWriter out(fd);
    TableStreamWriter tables(out);
    try {
      readOdbcTables(connection, tables);
      tables.finish();
    } catch (const DatabaseError& error) {
      tables.refuse(odbcFailureReason(error.what(), connection));
    }
    return 0;
  };
  std::unique_ptr<ReaderProcess> reader;
  try {
    reader = std::make_unique<ReaderProcess>(read, limits);
  } catch (const std::system_error& error) {
    failToRead(name,
               "no process can be started to read it (" + lowerFirst(error.code().message()) + ")");
  }
  return tablesFromReader(*reader, name,
                          [&limits](const ReaderEnd& end) { return failure(end, limits); });
}
