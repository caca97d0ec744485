// Loads a database file into the record tree: reads its tables, then builds the tree directly or
// by the reference path.
#include "store/loader.h"

#include <new>

#include "store/build/reference_database.h"
#include "store/build/tree_builder.h"
#include "store/sources/access_reader.h"
#include "store/sources/file_format.h"
#include "store/sources/sqlite_reader.h"
#include "store/tree/out_of_memory.h"

namespace {

// A file that gives no student is damaged, or its students have no intake to be selected by;
// "No student found" is left for a file that has no student row at all.
void explainNoStudent(FileFormat format, const SourceTables& tables, const std::string& path) {
  if (format == FileFormat::kSqlite) {
    refuseDamagedSqliteFile(path);
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
  failToRead(path, "table Student has " + count +
                       (withIntake == 0 ? ", and not one has an intake"
                                        : ", and the intake query selects none of them"));
}

}  // namespace

LoadResult loadRecordTree(const std::string& path, const LoadProgress& progress) {
  try {
    // The tables are released as soon as the tree is built, before the index is.
    FileFormat format = recogniseDatabaseFile(path);
    SourceTables tables =
        format == FileFormat::kAccess ? readAccessTables(path) : readSqliteTables(path);
    LoadResult result = loadRecordTree(tables, path, progress);
    if (result.status == LoadStatus::kNoStudent) {
      explainNoStudent(format, tables, path);
    }
    return result;
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

LoadResult loadRecordTree(const LoadProgress& progress) {
  return loadRecordTree(kDatabaseFileName, progress);
}
