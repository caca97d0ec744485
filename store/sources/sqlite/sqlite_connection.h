// A SQLite file opened read-only and locked down, and its failures in the operator's words.
#pragma once

#include <sqlite3.h>

#include <string>

#include "store/sources/sqlite/sqlite_handles.h"

// How the file is opened: as it is (its log ignored), with its log, or with its log and an index
// of the log in the program's own memory.
enum class SqliteOpenMode { kImmutable, kWithLog, kLogIndexInMemory };

class SqliteConnection {
 public:
  // Throws DatabaseError "Cannot read <path>: <reason>"; std::bad_alloc when memory runs out.
  // path must outlive the connection.
  SqliteConnection(const std::string& path, SqliteOpenMode mode);

  SqliteStatement prepare(const std::string& sql);
  // Steps to the next row; false at the end, throws on failure.
  bool step(sqlite3_stmt* statement);
  void execute(const char* sql);
  std::string text(sqlite3_stmt* statement, int column);

  // "" when PRAGMA quick_check finds the file sound (or cannot tell), otherwise what it found,
  // on one line.
  std::string damageFound();
  [[noreturn]] void failWithEngineReason();

  sqlite3* handle() const { return db_.get(); }
  const std::string& path() const { return path_; }

 private:
  void lockDown();
  std::string writeAheadLogProblem(const std::string& message) const;

  const std::string& path_;
  SqliteDatabase db_;
};
