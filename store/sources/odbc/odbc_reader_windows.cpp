// ODBC on Windows: the driver runs in the program started again as its reader, which sends each
// row as it is fetched. Drivers are libraries we do not control, reading files that may be damaged
// or waiting on servers that may freeze: a crash, a runaway or a silence ends the load with one
// line. The connection string goes to the reader on its standard input, never on its command
// line, where other programs could read the password.
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#include "store/database_error.h"
#include "store/process/reader_process.h"
#include "store/sources/access/windows_access_reader.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "store/sources/odbc/odbc_reader.h"

SourceTables readOdbcTables(const std::string& connection) {
  const std::string name = connectionSourceName(connection);
  const ReaderLimits limits = odbcReaderLimits();
  std::unique_ptr<ReaderProcess> reader;
  try {
    reader = std::make_unique<ReaderProcess>(
        thisProgramPath(), std::vector<std::string>{kOdbcReaderOption}, limits, connection);
  } catch (const std::runtime_error&) {
    failToRead(name, "no process can be started to read it");
  }
  return tablesFromReader(
      *reader, name, [&limits](const ReaderEnd& end) { return odbcReaderFailure(end, limits); });
}

int runOdbcReader(const std::string& rowsHandle) {
  const int rows = rowsDescriptor(rowsHandle);
  if (rows < 0) {
    return 2;  // not started by the program
  }
  std::string connection;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    connection.append(buffer, got);
  }
  try {
    return sendOdbcTables(connection, rows);
  } catch (const std::bad_alloc&) {
    return ReaderProcess::kOutOfMemoryExit;
  } catch (const std::system_error&) {
    return 1;  // the program has gone
  }
}
