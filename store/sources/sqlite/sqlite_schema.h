// Where a SQLite file keeps one of the loader's tables, and how its columns are to be read.
#pragma once

#include <string>

#include "store/sources/sqlite/sqlite_connection.h"
#include "store/tables/source_tables.h"

// What the file says about one of our tables.
struct TableEntry {
  std::string name;  // as stored
};

// The table of that name in any case; refuses one that is missing, a view or a virtual table.
TableEntry findTable(SqliteConnection& db, const char* name);

// table.columnNames from the file, and table.columns as the required columns of table.name
// (name, affinity, collation), still without values; refuses one that is missing or computed.
void describeColumns(SqliteConnection& db, const TableEntry& entry, SourceTable& table);

// The primary key index of a WITHOUT ROWID table, which is the table itself and so has no
// entry of its own in the table list; "" for a table with rowids.
std::string withoutRowidKey(SqliteConnection& db, const TableEntry& table);
