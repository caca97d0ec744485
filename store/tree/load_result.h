// What a load gives: a new record tree, or why there is none, and the progress it reports on the
// way.
#pragma once

#include <functional>

#include "store/tree/record_tree.h"

enum class LoadStatus {
  kLoaded,       // the tree holds at least one student
  kNoStudent,    // the database is readable but holds no student
  kOutOfMemory,  // an allocation failed; "Out Of Memory" has been reported
};

struct LoadResult {
  RecordTree tree = nullptr;  // owned by the caller; null unless kLoaded
  LoadStatus status = LoadStatus::kNoStudent;
};

// Called now and then while students are loaded, with the number loaded so far.
using LoadProgress = std::function<void(long studentsLoaded)>;
