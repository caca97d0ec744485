// Where a SQLite file keeps one of the loader's tables, and how its columns are to be read.
#include "store/sources/sqlite/sqlite_schema.h"

#include <utility>
#include <vector>

#include "store/database_error.h"
#include "util/ascii_fold.h"

namespace {

// Whether the table was declared STRICT, as SQLite itself reports it.
bool isStrict(SqliteConnection& db, const TableEntry& table) {
  SqliteStatement list = db.prepare("PRAGMA main.table_list(" + quotedIdentifier(table.name) + ")");
  bool strict = false;
  while (db.step(list.get())) {
    strict = strict || sqlite3_column_int(list.get(), 5) != 0;
  }
  return strict;
}

void describeColumn(SqliteConnection& db, const TableEntry& entry, std::size_t index,
                    const std::string& declaredType, int hidden, bool strict, SourceTable& table) {
  const char* required = requiredColumns(table.name)[index];
  if (hidden < 0) {
    failToRead(db.path(),
               std::string("column ") + required + " of table " + table.name + " is missing");
  }
  // A VIRTUAL generated column is computed from a formula stored in the file each time it is
  // read; a STORED one holds its values like any other column.
  if (hidden == 2) {
    failToRead(db.path(), std::string("column ") + required + " of table " + table.name +
                              " is computed by a formula in the file, which is not run");
  }
  const char* collation = nullptr;
  std::string name = table.columns[index].name();
  if (sqlite3_table_column_metadata(db.handle(), "main", entry.name.c_str(), name.c_str(), nullptr,
                                    &collation, nullptr, nullptr, nullptr) != SQLITE_OK) {
    db.failWithEngineReason();
  }
  const std::string upper = asciiUpper(collation == nullptr ? "BINARY" : collation);
  bool anyInStrict = strict && sqlite3_stricmp(declaredType.c_str(), "ANY") == 0;
  Affinity affinity = anyInStrict ? Affinity::kNone : affinityOfDeclaredType(declaredType);
  table.columns[index] = SourceColumn(name, affinity, upper);
}

}  // namespace

TableEntry findTable(SqliteConnection& db, const char* name) {
  SqliteStatement find = db.prepare(
      "SELECT name, type, rootpage FROM main.sqlite_master "
      "WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE");
  sqlite3_bind_text(find.get(), 1, name, -1, SQLITE_STATIC);
  if (!db.step(find.get())) {
    failToRead(db.path(), std::string("table ") + name + " is missing");
  }
  TableEntry entry;
  entry.name = db.text(find.get(), 0);
  if (db.text(find.get(), 1) == "view") {
    failToRead(db.path(), std::string("table ") + name + " is a view, which is not read");
  }
  // Virtual tables have no pages of their own; a module computes their rows.
  if (sqlite3_column_int64(find.get(), 2) == 0) {
    failToRead(db.path(), std::string("table ") + name + " is a virtual table, which is not read");
  }
  return entry;
}

void describeColumns(SqliteConnection& db, const TableEntry& entry, SourceTable& table) {
  const std::vector<const char*>& required = requiredColumns(table.name);
  std::vector<std::string> declaredTypes(required.size());
  std::vector<int> hidden(required.size(), -1);
  SqliteStatement info = db.prepare("PRAGMA table_xinfo(" + quotedIdentifier(entry.name) + ")");
  table.columns.resize(required.size());
  while (db.step(info.get())) {
    std::string column = db.text(info.get(), 1);
    for (std::size_t i = 0; i < required.size(); ++i) {
      if (hidden[i] < 0 && sqlite3_stricmp(column.c_str(), required[i]) == 0) {
        declaredTypes[i] = db.text(info.get(), 2);
        hidden[i] = sqlite3_column_int(info.get(), 6);
        table.columns[i] = SourceColumn(column, Affinity::kNone, "");
      }
    }
    table.columnNames.push_back(std::move(column));
  }
  bool strict = isStrict(db, entry);
  for (std::size_t i = 0; i < required.size(); ++i) {
    describeColumn(db, entry, i, declaredTypes[i], hidden[i], strict, table);
  }
}

std::string withoutRowidKey(SqliteConnection& db, const TableEntry& table) {
  SqliteStatement list = db.prepare("PRAGMA index_list(" + quotedIdentifier(table.name) + ")");
  std::string key;
  while (db.step(list.get())) {
    if (db.text(list.get(), 3) == "pk") {
      key = db.text(list.get(), 1);
    }
  }
  if (key.empty()) {
    return key;
  }
  SqliteStatement listed = db.prepare("SELECT 1 FROM main.sqlite_master WHERE name = ?1");
  sqlite3_bind_text(listed.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
  return db.step(listed.get()) ? "" : key;
}
