// The small query interface the loader reads through: run a read-only SQL text, walk its rows,
// read a named column as text.
#pragma once

#include <memory>
#include <string>

// One open query result; closing it is destroying it.
class QueryRows {
 public:
  virtual ~QueryRows() = default;
  // Moves to the next row (the first one on the first call); false once the rows are used up.
  virtual bool next() = 0;
  // The named column of the current row as text: numbers in decimal digits, NULL as "".
  virtual std::string text(const char* column) = 0;
};

class QuerySource {
 public:
  virtual ~QuerySource() = default;
  // Throws DatabaseError when the query cannot run (a missing table or column, for instance).
  virtual std::unique_ptr<QueryRows> open(const std::string& sql) = 0;
};
