// The in-memory SQLite copy of a database file, which answers the loader's queries.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "store/loader_queries.h"
#include "store/sqlite_handles.h"

// The tables the loader reads, in the order they are copied.
constexpr const char* kLoadedTables[] = {"Student", "StudentResult", "Subject"};

// A column that a source adds to its copy of StudentResult, holding each row's position in the
// table, so that an index can keep the table order ahead of the columns it carries. No query
// names it.
constexpr const char* kRowOrderColumn = "tavrinel_row_order";

class MemoryDatabase : public LoaderQueries {
 public:
  // fileName is the database file as messages name it.
  explicit MemoryDatabase(std::string fileName);

  // The rows must be closed before the database is destroyed, and before the next query of the
  // same kind is opened.
  std::unique_ptr<QueryRows> open(const LoaderQuery& query) override;

  sqlite3* handle() const { return db_.get(); }

  // Throws DatabaseError "Cannot read <file>: <reason>".
  [[noreturn]] void fail(const std::string& reason) const;
  // Throws with SQLite's latest message.
  [[noreturn]] void failWithSqliteMessage() const;
  // Runs statements that return no rows; throws with SQLite's message.
  void execute(const char* sql) const;

  // After the tables are copied: checks that every column the queries name is there, then
  // builds the indexes that keep each query from scanning whole tables.
  void finishCopy() const;

 private:
  std::string fileName_;
  SqliteDatabase db_;
  SqliteStatement statements_[5];  // one per query kind, prepared when first asked
};
