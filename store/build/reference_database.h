// The reference the record tree is defined by: an in-memory SQLite database made from the source
// tables, on which the loader's five query texts run with their values bound.
#pragma once

#include <memory>
#include <string>

#include "store/build/loader_queries.h"
#include "store/sources/source_tables.h"

class ReferenceDatabase : public LoaderQueries {
 public:
  // Copies the tables' rows in table order into tables whose declared types and collations give
  // each column its source's affinity and collation. source names the database in messages.
  // Throws DatabaseError (a collation other than BINARY, NOCASE and RTRIM) and std::bad_alloc.
  ReferenceDatabase(const SourceTables& tables, std::string source);
  ~ReferenceDatabase() override;
  ReferenceDatabase(const ReferenceDatabase&) = delete;
  ReferenceDatabase& operator=(const ReferenceDatabase&) = delete;

  // The rows must be closed before the next query of the same kind is opened.
  std::unique_ptr<QueryRows> open(const LoaderQuery& query) override;

  // How SQLite runs a query kind, one line per step of EXPLAIN QUERY PLAN ("SEARCH Student USING
  // INDEX ..."), outer loops first.
  std::string queryPlan(QueryKind kind);

  struct Connection;  // the SQLite handles, shared with the open rows

 private:
  std::unique_ptr<Connection> connection_;
};

// Why the tables cannot be built from, or "": each must hold the columns the loader reads, in the
// order of requiredColumns, all of the same length. The readers ensure it; both paths check it
// before they index into the columns.
std::string malformedTables(const SourceTables& tables);

// Whether the query texts compare or order the values of this required column of the table (index
// in the order of requiredColumns), so that its collation matters: Student.Intake, and
// StudentResult's StudentID, SubjectID and Semester, and Subject.Level. Subject.SubjectID is
// compared under StudentResult.SubjectID's collation.
bool isComparedColumn(const SourceTable& table, std::size_t index);

// Why a query kind fails on these tables because it names a column without its table and both
// tables of its join have that column ("column Level is in both StudentResult and Subject"), or
// "" when it does not. Only the queries of levels, semesters and results join.
std::string ambiguousColumn(const SourceTables& tables, QueryKind kind);
