// Loads a database file into the record tree.
#include "store/loader.h"

#include <new>

#include "store/out_of_memory.h"

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

LoadResult loadRecordTree(const LoadProgress& progress) {
  return loadRecordTree(kDatabaseFileName, progress);
}
