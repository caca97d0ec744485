// Loads the record tree from a source: a file's tables are read, then built directly or by the
// reference path; a server is read through its ODBC driver.
#include "store/loader.h"

#include <new>

#include "store/build/tree_builder.h"
#include "store/sources/access_reader.h"
#include "store/sources/file_format.h"
#include "store/sources/odbc_source.h"
#include "store/sources/sqlite_reader.h"
#include "store/tree/out_of_memory.h"

std::string DatabaseSource::name() const {
  return kind == Kind::kConnection ? maskConnection(location) : location;
}

LoadResult loadRecordTree(const DatabaseSource& source, const LoadProgress& progress) {
  if (source.kind == DatabaseSource::Kind::kConnection) {
    return loadRecordTreeFromServer(source.location, progress);
  }
  const std::string& path = source.location;
  try {
    // The tables are released as soon as the tree is built, before the index is.
    SourceTables tables = recogniseDatabaseFile(path) == FileFormat::kAccess
                              ? readAccessTables(path)
                              : readSqliteTables(path);
    return buildTreeOfTables(tables, path, progress);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}
