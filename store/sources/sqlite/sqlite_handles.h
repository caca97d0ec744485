// Owning handles for SQLite's C objects, so that every exit path closes and finalizes them.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

struct SqliteFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

using SqliteDatabase = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

// name as an SQL identifier between double quotes, each quote inside doubled: whatever a name
// holds, it can only ever be read as a name.
inline std::string quotedIdentifier(const std::string& name) {
  std::string text = "\"";
  for (char c : name) {
    text += c;
    if (c == '"') {
      text += '"';
    }
  }
  return text + '"';
}
