// Loads a database file into the record tree: reads its tables, then builds the tree directly or
// by the reference path.
#include "store/loader.h"

#include <new>

#include "store/access_reader.h"
#include "store/file_format.h"
#include "store/out_of_memory.h"
#include "store/reference_database.h"
#include "store/sqlite_reader.h"
#include "store/tree_builder.h"

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

LoadResult loadRecordTree(const LoadProgress& progress) {
  return loadRecordTree(kDatabaseFileName, progress);
}
