// Copies the loader's tables out of a SQLite 3 database file.
#include "store/sqlite_source.h"

#include <cstdio>
#include <cstring>

namespace {

// A file: URI for path. Characters that a URI gives a meaning to are escaped.
std::string fileUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c <= ' ' || c >= 0x7F) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    } else {
      uri += static_cast<char>(c);
    }
  }
  // immutable: the file is not being changed, so no lock, journal or -shm file is touched.
  return uri + "?mode=ro&immutable=1";
}

SqliteStatement prepare(const MemoryDatabase& target, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(target.handle(), sql, -1, &statement, nullptr) != SQLITE_OK) {
    target.failWithSqliteMessage();
  }
  return SqliteStatement(statement);
}

void attachSource(const std::string& path, const MemoryDatabase& target) {
  SqliteStatement attach = prepare(target, "ATTACH DATABASE ? AS source");
  std::string uri = fileUri(path);
  sqlite3_bind_text(attach.get(), 1, uri.c_str(), static_cast<int>(uri.size()), SQLITE_STATIC);
  if (sqlite3_step(attach.get()) != SQLITE_DONE) {
    // SQLite's message here would show the URI rather than the reason.
    int status = sqlite3_errcode(target.handle());
    if (status == SQLITE_CORRUPT || status == SQLITE_NOTADB) {
      target.fail("the SQLite file is damaged (its list of tables cannot be read)");
    }
    if (status == SQLITE_CANTOPEN) {
      target.fail("the SQLite file cannot be opened");
    }
    target.failWithSqliteMessage();
  }
}

// The CREATE TABLE text of the source's table name (whatever its case), or "" if it is missing.
std::string tableDefinition(const MemoryDatabase& target, const char* name) {
  SqliteStatement select = prepare(
      target,
      "SELECT sql FROM source.sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE");
  sqlite3_bind_text(select.get(), 1, name, -1, SQLITE_STATIC);
  int status = sqlite3_step(select.get());
  if (status == SQLITE_ROW) {
    const auto* sql = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0));
    return sql == nullptr ? "" : sql;
  }
  if (status != SQLITE_DONE) {
    target.failWithSqliteMessage();
  }
  return "";
}

// False for a WITHOUT ROWID table, whose table order is its primary key's.
bool hasRowid(const MemoryDatabase& target, const char* name) {
  sqlite3_stmt* statement = nullptr;
  std::string select = std::string("SELECT rowid FROM source.\"") + name + "\"";
  bool prepared =
      sqlite3_prepare_v2(target.handle(), select.c_str(), -1, &statement, nullptr) == SQLITE_OK;
  sqlite3_finalize(statement);
  return prepared;
}

}  // namespace

void copySqliteTables(const std::string& path, const MemoryDatabase& target) {
  attachSource(path, target);
  target.execute("BEGIN");
  for (const char* name : kLoadedTables) {
    std::string definition = tableDefinition(target, name);
    if (definition.empty()) {
      target.fail(std::string("table ") + name + " is missing");
    }
    // The same definition keeps the declared types and collations; an INSERT of the whole table
    // into its empty twin copies the rows in rowid order, rowids included.
    target.execute(definition.c_str());
    std::string copy = std::string("INSERT INTO main.\"") + name + "\" SELECT *";
    if (std::strcmp(name, "StudentResult") == 0 && hasRowid(target, name)) {
      target.execute(
          (std::string("ALTER TABLE main.StudentResult ADD COLUMN ") + kRowOrderColumn + " INTEGER")
              .c_str());
      copy += ", rowid";
    }
    target.execute((copy + " FROM source.\"" + name + "\"").c_str());
  }
  target.execute("COMMIT");
  target.execute("DETACH DATABASE source");
}
