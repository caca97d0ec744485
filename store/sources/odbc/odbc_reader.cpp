// Reads the three tables through ODBC: the connection (odbc_connection), the tables as it finds
// them (odbc_catalogue), each fetched in blocks (odbc_fetch) into values with Access's rules
// (odbc_values); in a reader process, each row sent to the program as it is fetched.
#include "store/sources/odbc/odbc_reader.h"

#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/process/reader_limits.h"
#include "store/sources/odbc/odbc_catalogue.h"
#include "store/sources/odbc/odbc_connection.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "store/sources/odbc/odbc_fetch.h"

void readOdbcTables(const std::string& connection, TableSink& sink) {
  OdbcConnection reading(connection);
  OdbcCatalogue catalogue(reading);
  std::vector<OdbcTable> tables = catalogue.findTables();
  // The three tables are read in one transaction, so that they show one state of the data.
  reading.beginReading();
  for (std::size_t i = 0; i < tables.size(); ++i) {
    fetchOdbcTable(reading, catalogue, tables[i], static_cast<int>(i), sink);
  }
}

std::string odbcFailureReason(const std::string& message, const std::string& connection) {
  const std::string prefix = "Cannot read " + connectionSourceName(connection) + ": ";
  return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

namespace {

int runOdbcReader(const std::vector<std::string>&, const std::string& connection, int outputFd) {
  return sendOdbcTables(connection, outputFd);
}

}  // namespace

const ReaderRole kOdbcReaderRole{"--internal-odbc-reader", 0, runOdbcReader};

SourceTables readOdbcTables(const std::string& connection) {
  const ReaderLimits limits = odbcReaderLimits();
  return readTablesInReader(
      kOdbcReaderRole, {}, limits, connectionSourceName(connection),
      [&limits](const ReaderEnd& end) { return odbcReaderFailure(end, limits); }, connection);
}

std::string odbcReaderFailure(const ReaderEnd& end, const ReaderLimits& limits) {
  if (end.fellSilent) {
    return "the server stopped answering (nothing came for " +
           std::to_string(limits.silence.count()) + " s)";
  }
  return readerFailure(end, limits);
}

int sendOdbcTables(const std::string& connection, int fd,
                   const std::function<std::string(const std::string&)>& told) {
  RowStreamWriter out(fd);
  TableStreamWriter tables(out);
  try {
    // Each row goes to the program as it is fetched.
    readOdbcTables(connection, tables);
    tables.finish();
  } catch (const DatabaseError& error) {
    // "Cannot read <connection>: <reason>": the reason goes back; the program names the source.
    const std::string reason = odbcFailureReason(error.what(), connection);
    tables.refuse(told ? told(reason) : reason);
  }
  return 0;
}
