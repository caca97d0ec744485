// The reference the record tree is defined by: an in-memory SQLite database made from the source
// tables, on which the loader's five query texts run with their values bound.
#pragma once

#include <memory>
#include <string>

#include "oracle/loader_queries.h"
#include "store/tables/source_tables.h"

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
