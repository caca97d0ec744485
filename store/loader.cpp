// Loads the record tree from a source: its three tables are read (from an Access or SQLite file,
// or through an ODBC driver), then built directly or by the reference path.
#include "store/loader.h"

#include <new>

#include "store/build/tree_builder.h"
#include "store/sources/access_reader.h"
#include "store/sources/file_format.h"
#include "store/sources/odbc_connection_string.h"
#include "store/sources/odbc_reader.h"
#include "store/sources/sqlite_reader.h"
#include "store/tree/out_of_memory.h"

std::string DatabaseSource::name() const {
  return kind == Kind::kConnection ? connectionSourceName(location) : location;
}

namespace {

SourceTables readSourceTables(const DatabaseSource& source) {
  if (source.kind == DatabaseSource::Kind::kConnection) {
    return readOdbcTables(source.location);
  }
  return recogniseDatabaseFile(source.location) == FileFormat::kAccess
             ? readAccessTables(source.location)
             : readSqliteTables(source.location);
}

}  // namespace

LoadResult loadRecordTree(const DatabaseSource& source, const LoadProgress& progress) {
  try {
    // The tables are released as soon as the tree is built, before the index is.
    SourceTables tables = readSourceTables(source);
    return buildTreeOfTables(tables, source.name(), progress);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}
