// Reading the loader's three tables out of a SQLite 3 file without running SQL stored in it.
#pragma once

#include <string>

#include "store/tables/source_tables.h"

// Reads the three tables of a SQLite 3 file, read-only, in one read transaction. Throws
// DatabaseError "Cannot read <path>: <reason>"; std::bad_alloc when memory runs out.
SourceTables readSqliteTables(const std::string& path);

// Throws DatabaseError "Cannot read <path>: the file is damaged (<what PRAGMA quick_check
// found>)" when the check finds damage.
void refuseDamagedSqliteFile(const std::string& path);
