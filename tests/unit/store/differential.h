// The differential test's two ways to a tree from the same source tables: the program's build,
// and the five query texts on the reference database (the oracle).
#pragma once

#include <functional>
#include <string>

#include "oracle/reference_database.h"
#include "store/assembly/tree_builder.h"
#include "unit/store/loader_test_support.h"

constexpr const char* kSource = "Database.mdb";

// The reference hands out students and results in table order only through these plans: an
// index scan of the intakes, an index search of an intake's students, and for the results the
// student's StudentResult rows as the outer loop with Subject searched inside.
constexpr const char* kTableOrderPlans =
    "SCAN Student USING COVERING INDEX reference_student_intake\n"
    "SEARCH Student USING INDEX reference_student_intake (Intake=?)\n"
    "SEARCH StudentResult USING COVERING INDEX reference_result_student (StudentID=?)\n"
    "SEARCH Subject USING INDEX reference_subject_id (SubjectID=?)\n";

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
  std::string reference;  // the nested load over the reference database
  std::string direct;     // the program's build
  std::string plans;      // of the reference's queries of intakes, students and results
};

inline BothPaths loadBothWays(const SourceTables& tables) {
  BothPaths both;
  both.reference = outcome([&] {
    ReferenceDatabase reference(tables, kSource);
    both.plans = reference.queryPlan(QueryKind::kIntakes) +
                 reference.queryPlan(QueryKind::kStudents) +
                 reference.queryPlan(QueryKind::kResults);
    return loadRecordTree(reference);
  });
  both.direct = outcome([&] { return buildRecordTree(tables, kSource); });
  return both;
}
