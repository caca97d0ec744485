// Recognising a database file as Access or SQLite by its first bytes, before any engine reads it.
#pragma once

#include <string>

enum class FileFormat { kAccess, kSqlite };

// Recognises the file by its first bytes and refuses one that is plainly cut short, a directory,
// a FIFO (never hang), a missing or unreadable file. Throws DatabaseError naming path as given.
FileFormat recogniseDatabaseFile(const std::string& path);
