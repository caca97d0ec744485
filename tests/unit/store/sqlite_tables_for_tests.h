// A stand-in for the SQLite file reader until it lands: the three tables of a SQLite database (a
// file, or a script run in memory) as SourceTables, each column with its declared affinity and
// collation.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>

#include "store/source_tables.h"

inline void fillSourceTable(sqlite3* db, const char* name, SourceTable& table) {
  table.name = name;
  std::string select;
  for (const char* required : requiredColumns(name)) {
    const char* type = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(db, "main", name, required, &type, &collation, nullptr,
                                      nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("no column ") + required + " in table " + name);
    }
    std::string upper = collation == nullptr ? "BINARY" : collation;
    for (char& c : upper) {
      c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    table.columns.emplace_back(required, affinityOfDeclaredType(type == nullptr ? "" : type),
                               upper);
    select += (select.empty() ? "SELECT \"" : ", \"") + std::string(required) + "\"";
  }
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db,
                     (std::string("SELECT name FROM pragma_table_info('") + name + "')").c_str(),
                     -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    table.columnNames.emplace_back(
        reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
  }
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, (select + " FROM \"" + name + "\" NOT INDEXED ORDER BY rowid").c_str(), -1,
                     &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    for (int i = 0; i < static_cast<int>(table.columns.size()); ++i) {
      SourceColumn& column = table.columns[static_cast<std::size_t>(i)];
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
      std::string_view view(bytes == nullptr ? "" : bytes,
                            static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
      switch (sqlite3_column_type(statement, i)) {
        case SQLITE_INTEGER:
          column.appendInteger(sqlite3_column_int64(statement, i));
          break;
        case SQLITE_FLOAT:
          column.appendReal(sqlite3_column_double(statement, i));
          break;
        case SQLITE_TEXT:
          column.appendText(view);
          break;
        case SQLITE_BLOB:
          column.appendBlob(view);
          break;
        default:
          column.appendNull();
      }
    }
  }
  sqlite3_finalize(statement);
}

// path is a SQLite file, or ":memory:" with script run into it first. Throws std::runtime_error.
inline SourceTables readSqliteTablesForTests(const std::string& path, const std::string& script,
                                             SourceKind kind = SourceKind::kSqlite) {
  sqlite3* db = nullptr;
  int flags = script.empty() ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK ||
      (!script.empty() &&
       sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)) {
    std::string reason = sqlite3_errmsg(db);
    sqlite3_close(db);
    throw std::runtime_error(reason);
  }
  SourceTables tables;
  tables.kind = kind;
  try {
    fillSourceTable(db, "Student", tables.student);
    fillSourceTable(db, "StudentResult", tables.studentResult);
    fillSourceTable(db, "Subject", tables.subject);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
  return tables;
}
