// Loads the record tree from a source: its three tables are read (from an Access or SQLite file,
// or through an ODBC driver), then built into the tree.
#include "store/loader.h"

#include <new>

#include "store/assembly/tree_builder.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/file_format.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "store/sources/odbc/odbc_reader.h"
#include "store/sources/sqlite/sqlite_reader.h"
#include "store/tree/out_of_memory.h"

std::string DatabaseSource::name() const {
  return kind == Kind::kConnection ? connectionSourceName(location) : location;
}

std::vector<SourceFile> DatabaseSource::files() const {
  return kind == Kind::kConnection ? filesOfConnection(location) : filesOfDatabaseFile(location);
}

namespace {

bool isSqliteFile(const DatabaseSource& source) {
  return source.kind == DatabaseSource::Kind::kFile &&
         recogniseDatabaseFile(source.location) == FileFormat::kSqlite;
}

SourceTables readSourceTables(const DatabaseSource& source) {
  if (source.kind == DatabaseSource::Kind::kConnection) {
    return readOdbcTables(source.location);
  }
  return recogniseDatabaseFile(source.location) == FileFormat::kAccess
             ? readAccessTables(source.location)
             : readSqliteTables(source.location);
}

// Every student row is loaded, so a source that gives no student is empty or damaged: a damaged
// SQLite file says so, and "No student found" is left for a source without a student row.
void explainNoStudent(const DatabaseSource& source) {
  if (isSqliteFile(source)) {
    refuseDamagedSqliteFile(source.location);
  }
}

}  // namespace

LoadResult loadRecordTree(const DatabaseSource& source, const LoadProgress& progress,
                          const TablesInspection& inspect) {
  try {
    // The tables are released as soon as the tree is built, before the index is.
    SourceTables tables = readSourceTables(source);
    if (inspect) {
      inspect(tables);
    }
    LoadResult result = buildRecordTree(tables, source.name(), progress);
    if (result.status == LoadStatus::kNoStudent) {
      explainNoStudent(source);
    }
    return result;
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}
