// Opens a database file and copies its three tables into an in-memory database.
#include <string>

#include "store/file_format.h"
#include "store/loader.h"
#include "store/mdb_source.h"
#include "store/memory_database.h"
#include "store/source_tables.h"
#include "store/sqlite_reader.h"

namespace {

const char* typeName(Affinity affinity) {
  switch (affinity) {
    case Affinity::kInteger:
      return "INTEGER";
    case Affinity::kText:
      return "TEXT";
    case Affinity::kReal:
      return "REAL";
    case Affinity::kNumeric:
      return "NUMERIC";
    case Affinity::kNone:
      break;
  }
  return "BLOB";
}

bool isRequired(const SourceTable& table, const std::string& column) {
  for (const SourceColumn& required : table.columns) {
    if (sqlite3_stricmp(required.name().c_str(), column.c_str()) == 0) {
      return true;
    }
  }
  return false;
}

std::string quoted(const std::string& name) {
  std::string text = "\"";
  for (char c : name) {
    text += c;
    if (c == '"') {
      text += '"';
    }
  }
  return text + '"';
}

// The copy's own definition: each column the loader reads with the type of its affinity and its
// collation, the others untyped and empty so that the queries resolve names as on the file.
std::string definition(const SourceTable& table, const MemoryDatabase& target) {
  std::string sql = "CREATE TABLE main." + quoted(table.name) + " (";
  for (const SourceColumn& column : table.columns) {
    const std::string& collation = column.collation();
    if (collation != "BINARY" && collation != "NOCASE" && collation != "RTRIM") {
      target.fail("column " + column.name() + " of table " + table.name + " uses the collation " +
                  collation + ", which this program does not know");
    }
    sql +=
        quoted(column.name()) + " " + typeName(column.affinity()) + " COLLATE " + collation + ", ";
  }
  for (const std::string& column : table.columnNames) {
    if (!isRequired(table, column)) {
      sql += quoted(column) + ", ";
    }
  }
  return sql + kRowOrderColumn + " INTEGER)";
}

void bindValue(sqlite3_stmt* insert, int index, const Value& value) {
  switch (value.type) {
    case ValueType::kNull:
      sqlite3_bind_null(insert, index);
      break;
    case ValueType::kInteger:
      sqlite3_bind_int64(insert, index, value.integer);
      break;
    case ValueType::kReal:
      sqlite3_bind_double(insert, index, value.real);
      break;
    case ValueType::kText:
      sqlite3_bind_text(insert, index, value.bytes.data(), static_cast<int>(value.bytes.size()),
                        SQLITE_STATIC);
      break;
    case ValueType::kBlob:
      sqlite3_bind_blob(insert, index, value.bytes.data(), static_cast<int>(value.bytes.size()),
                        SQLITE_STATIC);
      break;
  }
}

void copyTable(const SourceTable& table, const MemoryDatabase& target) {
  target.execute(definition(table, target).c_str());
  std::string sql = "INSERT INTO main." + quoted(table.name) + " (";
  std::string values;
  for (const SourceColumn& column : table.columns) {
    sql += quoted(column.name()) + ", ";
    values += "?, ";
  }
  sql += std::string(kRowOrderColumn) + ") VALUES (" + values + "?)";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(target.handle(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    target.failWithSqliteMessage();
  }
  SqliteStatement insert(raw);
  int count = static_cast<int>(table.columns.size());
  for (std::size_t row = 0; row < table.rows(); ++row) {
    for (int i = 0; i < count; ++i) {
      bindValue(raw, i + 1, table.columns[static_cast<std::size_t>(i)].at(row));
    }
    sqlite3_bind_int64(raw, count + 1, static_cast<sqlite3_int64>(row));
    if (sqlite3_step(raw) != SQLITE_DONE) {
      target.failWithSqliteMessage();
    }
    sqlite3_reset(raw);
  }
}

void copySqliteTables(const std::string& path, const MemoryDatabase& target) {
  SourceTables tables = readSqliteTables(path);
  target.execute("BEGIN");
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    copyTable(*table, target);
  }
  target.execute("COMMIT");
}

}  // namespace

std::unique_ptr<LoaderQueries> openDatabaseFile(const std::string& path) {
  auto database = std::make_unique<MemoryDatabase>(path);
  if (recogniseDatabaseFile(path) == FileFormat::kAccess) {
    copyAccessTables(path, *database);
  } else {
    copySqliteTables(path, *database);
  }
  database->finishCopy();
  return database;
}
