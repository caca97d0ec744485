// The direct build: the record tree made from the source tables by grouping their rows in memory,
// node for node the tree that the five query texts give on the reference database.
#pragma once

#include <string>

#include "store/build/loader_queries.h"
#include "store/sources/source_tables.h"

// Why the direct build cannot reproduce this source's rules, or "" when it can. Sources it
// cannot: a compared column with the RTRIM collation or with a collation SQLite does not know
// (which the reference then refuses), a TEXT column that holds numbers (SQLite would store their
// text, which the source does not give).
std::string directBuildObstacle(const SourceTables& tables);

// Builds the tree of the tables, which must have no obstacle. Reports "Out Of Memory" once and
// releases everything made when memory runs out; progress is called every 1000 students. Throws
// DatabaseError "Cannot read <source>: ..." where the query texts would fail (a column named
// without its table that both joined tables have).
LoadResult buildRecordTree(const SourceTables& tables, const std::string& source,
                           const LoadProgress& progress = {});

// The tree of the tables: by the direct build when it can reproduce the source's rules, else by
// the query texts on the reference database. Throws DatabaseError.
LoadResult buildTreeOfTables(const SourceTables& tables, const std::string& source,
                             const LoadProgress& progress = {});
