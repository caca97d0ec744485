// Copies the loader's tables out of a Microsoft Access file (Jet 3, Jet 4, ACE) into the
// in-memory database; the file is read in a child process (access_reader).
#pragma once

#include <string>

#include "store/memory_database.h"

// Reads the file read-only and never writes it. Access numbers become INTEGER or REAL columns and
// texts TEXT COLLATE NOCASE, so that comparisons and ORDER BY ignore case as Access does. Throws
// DatabaseError for a damaged file or a missing table.
void copyAccessTables(const std::string& path, const MemoryDatabase& target);
