// Copies the loader's tables, read from a Microsoft Access file in a child process, into the
// in-memory database.
#include "store/mdb_source.h"

#include <string>

#include "store/access_reader.h"

namespace {

std::string quotedName(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + '"';
}

const char* declaredType(Affinity affinity) {
  switch (affinity) {
    case Affinity::kInteger:
      return "INTEGER";
    case Affinity::kReal:
      return "REAL";
    case Affinity::kText:
      return "TEXT";
    case Affinity::kNumeric:
      return "NUMERIC";
    case Affinity::kNone:
      break;
  }
  return "BLOB";
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

// The required columns with their types and collations, and for StudentResult each row's
// position, which the results index keeps the table order by.
void copyTable(const SourceTable& table, const MemoryDatabase& target) {
  bool addsRowOrder = table.name == "StudentResult";
  std::string create = "CREATE TABLE " + quotedName(table.name) + " (";
  std::string insert = "INSERT INTO " + quotedName(table.name) + " VALUES (";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const SourceColumn& column = table.columns[i];
    create +=
        (i == 0 ? "" : ", ") + quotedName(column.name()) + " " + declaredType(column.affinity());
    if (column.collation() != "BINARY") {
      create += " COLLATE " + column.collation();
    }
    insert += i == 0 ? "?" : ", ?";
  }
  if (addsRowOrder) {
    create += std::string(", ") + kRowOrderColumn + " INTEGER";
    insert += ", ?";
  }
  target.execute((create + ")").c_str());
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(target.handle(), (insert + ")").c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    target.failWithSqliteMessage();
  }
  SqliteStatement statement(raw);
  auto count = static_cast<int>(table.columns.size());
  for (std::size_t row = 0; row < table.rows(); ++row) {
    for (int i = 0; i < count; ++i) {
      bindValue(raw, i + 1, table.columns[static_cast<std::size_t>(i)].at(row));
    }
    if (addsRowOrder) {
      sqlite3_bind_int64(raw, count + 1, static_cast<sqlite3_int64>(row));
    }
    if (sqlite3_step(raw) != SQLITE_DONE) {
      target.failWithSqliteMessage();
    }
    sqlite3_reset(raw);
  }
}

}  // namespace

void copyAccessTables(const std::string& path, const MemoryDatabase& target) {
  SourceTables tables = readAccessTables(path);
  target.execute("BEGIN");
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    copyTable(*table, target);
  }
  target.execute("COMMIT");
}
