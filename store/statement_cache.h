// Prepared statements reused across queries that differ only in their literal values.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "store/sqlite_handles.h"

// A literal taken out of a query text: a quoted text or a bare decimal number.
struct QueryLiteral {
  enum class Kind { kText, kInteger, kReal };
  Kind kind = Kind::kText;
  std::string text;  // the text's value, quotes undone
  sqlite3_int64 integer = 0;
  double real = 0;
};

// A query text with its literals replaced by '?' parameters, and the literals in order.
struct ParameterizedQuery {
  std::string text;
  std::vector<QueryLiteral> literals;
};

// Replaces the literals of sql that stand where a value is expected: '...' texts (a doubled
// quote inside stands for one quote) and bare decimal numbers. Literals that SQL would read as
// something else are kept as they are: a number after ORDER BY/GROUP BY or a comma (a column
// position), a text after AS, FROM, JOIN or a dot (a name), blob literals x'..', and numbers in
// exponent form.
ParameterizedQuery parameterizeQuery(const std::string& sql);

// Caches one prepared statement per parameterized query text, as database servers do: SQLite
// spends about half of a small query preparing it. Statements are handed out one user at a time;
// asking for a text whose statement is busy (a nested query of the same shape) prepares a
// private one.
class StatementCache {
  // The result columns of a statement, and where the names asked for were found.
  class Columns {
   public:
    Columns() = default;
    explicit Columns(sqlite3_stmt* statement);
    int indexOf(const char* name) const;

   private:
    std::vector<std::string> names_;
    // Callers ask for the same few names, usually by the same pointers, on every row: a pointer
    // seen before needs one comparison instead of a search through all the names.
    mutable std::vector<std::pair<const char*, int>> found_;
  };

  struct Entry {
    SqliteStatement statement;
    Columns columns;
    bool busy = false;
  };

 public:
  // A statement ready to step, with the literals bound; handing it back resets it.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();

    sqlite3_stmt* statement() const { return statement_; }
    // The position of the named result column (compared without regard to ASCII case), or -1.
    int columnIndex(const char* name) const;

   private:
    friend class StatementCache;
    void giveBack();

    sqlite3_stmt* statement_ = nullptr;
    Entry* entry_ = nullptr;   // the cache entry lent out, if the statement is cached
    SqliteStatement private_;  // the statement, if it is not cached
    Columns privateColumns_;
  };

  explicit StatementCache(sqlite3* db, std::size_t capacity = 64) : db_(db), capacity_(capacity) {}

  // Prepares (or reuses) the statement for sql and binds its literals. Returns an empty lease
  // and leaves SQLite's message in the database handle when sql cannot be prepared.
  Lease acquire(const std::string& sql);

  std::size_t size() const { return entries_.size(); }

 private:
  sqlite3* db_;
  std::size_t capacity_;
  std::unordered_map<std::string, Entry> entries_;
};
