// The loader's five queries, asked by kind with their values, and the nested load that runs them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "store/tree/record_tree.h"

enum class QueryKind {
  kIntakes,    // no values
  kStudents,   // intake
  kLevels,     // studentId
  kSemesters,  // studentId, level
  kResults,    // studentId, level, semester
};

struct LoaderQuery {
  QueryKind kind = QueryKind::kIntakes;
  std::string intake;
  std::string studentId;
  int level = 0;
  int semester = 0;
};

// The SQL of each kind, with a ? for each value in the order listed above: texts are bound as
// text, the level and semester as integers. These are the queries whose answers define the tree.
const char* referenceQueryText(QueryKind kind);

// One open query result; closing it is destroying it.
class QueryRows {
 public:
  virtual ~QueryRows() = default;
  // Moves to the next row (the first one on the first call); false once the rows are used up.
  virtual bool next() = 0;
  // The named column of the current row as text: numbers in decimal digits, NULL as "".
  virtual std::string text(const char* column) = 0;
};

class LoaderQueries {
 public:
  virtual ~LoaderQueries() = default;
  // Throws DatabaseError when the query cannot run.
  virtual std::unique_ptr<QueryRows> open(const LoaderQuery& query) = 0;
};

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

// Builds the tree by running the queries one inside the other, as their answers come: intakes,
// the students of each, the levels of each student, and so on. Throws DatabaseError.
LoadResult loadRecordTree(LoaderQueries& queries, const LoadProgress& progress = {});

// The atoi-style parse of a column text: leading white space, an optional sign, digits; 0 when
// there are none; clamped to the 32-bit range instead of overflowing.
int parseNumber(const std::string& text);
int parseNumber(const char* text);
