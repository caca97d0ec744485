// Loads a database file into the record tree: reads its tables, then builds the tree directly or
// by the reference path.
#include "store/loader.h"

#include <new>

#include "store/build/reference_database.h"
#include "store/build/tree_builder.h"
#include "store/sources/access_reader.h"
#include "store/sources/file_format.h"
#include "store/sources/odbc_connection_string.h"
#include "store/sources/odbc_reader.h"
#include "store/sources/sqlite_reader.h"
#include "store/tree/out_of_memory.h"

LoadResult loadRecordTree(const std::string& path, const LoadProgress& progress) {
  try {
    // The tables are released as soon as the tree is built, before the index is.
    SourceTables tables = recogniseDatabaseFile(path) == FileFormat::kAccess
                              ? readAccessTables(path)
                              : readSqliteTables(path);
    return loadRecordTree(tables, path, progress);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}

LoadResult loadRecordTree(const SourceTables& tables, const std::string& source,
                          const LoadProgress& progress) {
  if (directBuildObstacle(tables).empty()) {
    return buildRecordTree(tables, source, progress);
  }
  try {
    ReferenceDatabase reference(tables, source);
    return loadRecordTree(reference, progress);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}

LoadResult loadRecordTreeFromServer(const std::string& connection, const LoadProgress& progress) {
  try {
    SourceTables tables = readOdbcTables(connection);
    return loadRecordTree(tables, connectionSourceName(connection), progress);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}

LoadResult loadRecordTree(const LoadProgress& progress) {
  return loadRecordTree(kDatabaseFileName, progress);
}
