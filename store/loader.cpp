// Loads a database file into the record tree.
#include "store/loader.h"

#include <new>

#include "store/out_of_memory.h"
#include "store/reference_database.h"
#include "store/tree_builder.h"

LoadResult loadRecordTree(const std::string& path, const LoadProgress& progress) {
  std::unique_ptr<LoaderQueries> queries;
  try {
    queries = openDatabaseFile(path);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
  return loadRecordTree(*queries, progress);
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
