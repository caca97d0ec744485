// The loader's five queries, asked by kind with their values, and the nested load that runs them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/assembly/tree_queries.h"
#include "store/tree/load_result.h"

// A value of a query row, with its type, kept beyond the row.
struct HeldValue {
  ValueType type = ValueType::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string bytes;  // of a text or a blob
};

struct LoaderQuery {
  QueryKind kind = QueryKind::kIntakes;
  std::string intake;     // as text
  HeldValue intakeValue;  // as the intakes query gave it, bound so to select its students
  std::string studentId;
  int level = 0;
  int semester = 0;
};

// The SQL of each kind, with a ? for each value in the order listed above: the intake as the
// intakes query gave it, the student ID as text, the level and semester as integers. These are
// the queries whose answers define the tree.
const char* referenceQueryText(QueryKind kind);

// One open query result; closing it is destroying it.
class QueryRows {
 public:
  virtual ~QueryRows() = default;
  // Moves to the next row (the first one on the first call); false once the rows are used up.
  virtual bool next() = 0;
  // The named column of the current row as text: numbers in decimal digits, NULL as "".
  virtual std::string text(const char* column) = 0;
  // The same column's value with its type.
  virtual HeldValue value(const char* column) = 0;
};

class LoaderQueries {
 public:
  virtual ~LoaderQueries() = default;
  // Throws DatabaseError when the query cannot run.
  virtual std::unique_ptr<QueryRows> open(const LoaderQuery& query) = 0;
};

// Builds the tree by running the queries one inside the other, as their answers come: intakes,
// the students of each, the levels of each student, and so on. Throws DatabaseError.
LoadResult loadRecordTree(LoaderQueries& queries, const LoadProgress& progress = {});
