// The record tree made from the source tables by grouping their rows in memory, with SQLite's
// rules for comparing, converting and ordering values: node for node the tree that the five
// query texts would give run one inside the other on the same tables in SQLite.
#pragma once

#include <string>

#include "store/assembly/tree_queries.h"
#include "store/tables/source_tables.h"
#include "store/tree/load_result.h"

// Builds the tree of the tables. Reports "Out Of Memory" once and releases everything made when
// memory runs out; progress is called every 1000 students. Throws DatabaseError "Cannot read
// <source>: ..." where the query texts would fail: tables without their columns, a compared
// column whose collation SQLite does not know, a column named without its table that both joined
// tables have.
LoadResult buildRecordTree(const SourceTables& tables, const std::string& source,
                           const LoadProgress& progress = {});
