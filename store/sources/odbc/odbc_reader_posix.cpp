// ODBC on POSIX: the driver runs in a reader process, which sends each row as it is fetched.
// Drivers are libraries we do not control, reading files that may be damaged or waiting on
// servers that may freeze: a crash, a runaway or a silence ends the load with one line.
#include <memory>
#include <string>
#include <system_error>

#include "store/database_error.h"
#include "store/process/reader_process.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "store/sources/odbc/odbc_reader.h"

namespace {

std::string lowerFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

}  // namespace

SourceTables readOdbcTables(const std::string& connection) {
  const std::string name = connectionSourceName(connection);
  const ReaderLimits limits = odbcReaderLimits();
  auto read = [&connection](int fd) { return sendOdbcTables(connection, fd); };
  std::unique_ptr<ReaderProcess> reader;
  try {
    reader = std::make_unique<ReaderProcess>(read, limits);
  } catch (const std::system_error& error) {
    failToRead(name,
               "no process can be started to read it (" + lowerFirst(error.code().message()) + ")");
  }
  return tablesFromReader(
      *reader, name, [&limits](const ReaderEnd& end) { return odbcReaderFailure(end, limits); });
}
