// The differential test's two ways to a tree from the same source tables: the direct build, and
// the five query texts on the reference database (the oracle).
#pragma once

#include <functional>
#include <string>

#include "store/build/reference_database.h"
#include "store/build/tree_builder.h"
#include "unit/store/loader_test_support.h"

constexpr const char* kSource = "Database.mdb";

// A load's outcome as text: the tree's dump, or what stopped it.
inline std::string outcome(const std::function<LoadResult()>& load) {
  try {
    LoadResult result = load();
    RecordTreeOwner owner(result.tree);
    switch (result.status) {
      case LoadStatus::kLoaded:
        return dumpTree(owner.get());
      case LoadStatus::kNoStudent:
        return "no student";
      case LoadStatus::kOutOfMemory:
        break;
    }
    return "out of memory";
  } catch (const DatabaseError& error) {
    return std::string("error: ") + error.what();
  }
}

struct BothPaths {
  std::string obstacle;   // why the direct build was not tried; "" when it was
  std::string reference;  // the nested load over the reference database
  std::string direct;
  std::string dispatched;  // the loader's choice of the two
  std::string plans;       // of the reference's queries of intakes, students and results
};

inline BothPaths loadBothWays(const SourceTables& tables) {
  BothPaths both;
  both.obstacle = directBuildObstacle(tables);
  both.reference = outcome([&] {
    ReferenceDatabase reference(tables, kSource);
    both.plans = reference.queryPlan(QueryKind::kIntakes) +
                 reference.queryPlan(QueryKind::kStudents) +
                 reference.queryPlan(QueryKind::kResults);
    return loadRecordTree(reference);
  });
  if (both.obstacle.empty()) {
    both.direct = outcome([&] { return buildRecordTree(tables, kSource); });
  }
  both.dispatched = outcome([&] { return buildTreeOfTables(tables, kSource); });
  return both;
}
