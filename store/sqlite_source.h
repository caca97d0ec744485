// Copies the loader's tables out of a SQLite 3 database file.
#pragma once

#include <string>

#include "store/memory_database.h"

// Attaches the file read-only and immutable (SQLite then takes no lock and writes no journal or
// shared-memory file beside it) and copies each table with its own declared types and
// collations, rows in rowid order. Throws DatabaseError for a damaged file or a missing table.
void copySqliteTables(const std::string& path, const MemoryDatabase& target);
