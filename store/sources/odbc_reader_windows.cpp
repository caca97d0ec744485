// ODBC on Windows: the driver runs in the program's process, its printing muted.
#include "store/sources/driver_output.h"
#include "store/sources/odbc_reader.h"

SourceTables readOdbcTables(const std::string& connection) {
  DriverOutputMuted muted;
  TableCollector tables;
  readOdbcTables(connection, tables);
  return std::move(tables.tables());
}
