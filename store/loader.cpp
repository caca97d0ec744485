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

// A source that gives no student is damaged, or its students have no intake to be selected by;
// "No student found" is left for a source that has no student row at all.
void explainNoStudent(const DatabaseSource& source, const SourceTables& tables) {
  if (isSqliteFile(source)) {
    refuseDamagedSqliteFile(source.location);
  }
  const SourceColumn& intakes = tables.student.columns[kIntake];
  std::size_t rows = intakes.size();
  if (rows == 0) {
    return;
  }
  std::size_t withIntake = 0;
  for (std::size_t row = 0; row < rows; ++row) {
    withIntake += intakes.typeAt(row) == ValueType::kNull ? 0 : 1;
  }
  std::string count = std::to_string(rows) + (rows == 1 ? " row" : " rows");
  failToRead(source.name(), "table Student has " + count +
                                (withIntake == 0 ? ", and not one has an intake"
                                                 : ", and the intake query selects none of them"));
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
      explainNoStudent(source, tables);
    }
    return result;
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}
