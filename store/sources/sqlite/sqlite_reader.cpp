// Reading the loader's three tables out of a SQLite 3 file without running SQL stored in it.
#include "store/sources/sqlite/sqlite_reader.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "store/database_error.h"
#include "store/sources/file_probe.h"
#include "store/sources/sqlite/sqlite_connection.h"
#include "store/sources/sqlite/sqlite_schema.h"

namespace {

constexpr const auto& kTables = kSourceTableNames;

// True for a file in write-ahead-log mode (bytes 18 and 19 of its header are 2).
bool declaresWriteAheadLog(const std::string& path) {
  unsigned char head[20] = {};
  FileStart start;
  return readFileStart(path, head, sizeof head, start).empty() && start.length == sizeof head &&
         head[18] == 2 && head[19] == 2;
}

class SqliteReader {
 public:
  SqliteReader(const std::string& path, SqliteOpenMode mode) : db_(path, mode) {}

  SourceTables read() {
    db_.execute("BEGIN");
    SourceTables tables;
    tables.student = readTable(kTables[0]);
    tables.studentResult = readTable(kTables[1]);
    tables.subject = readTable(kTables[2]);
    db_.execute("COMMIT");
    return tables;
  }

  // A damaged table list or table page can read as an empty table, or as rows that give no
  // student, rather than as an error.
  void refuseIfDamaged() {
    std::string damage = db_.damageFound();
    if (!damage.empty()) {
      failToRead(db_.path(), "the file is damaged (" + damage + ")");
    }
  }

 private:
  SourceTable readTable(const char* name) {
    TableEntry entry = findTable(db_, name);
    SourceTable table;
    table.name = name;
    describeColumns(db_, entry, table);
    readRows(entry, table);
    return table;
  }

  // Rows in table order: rowid order, or key order for a table without rowids. Naming the
  // table's own b-tree keeps the planner from walking a covering index in its order instead.
  void readRows(const TableEntry& entry, SourceTable& table) {
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      select += (i == 0 ? "" : ", ") + quotedIdentifier(table.columns[i].name());
    }
    select += " FROM main." + quotedIdentifier(entry.name);
    std::string key = withoutRowidKey(db_, entry);
    select += key.empty() ? " NOT INDEXED" : " INDEXED BY " + quotedIdentifier(key);
    SqliteStatement rows = db_.prepare(select);
    sqlite3_stmt* statement = rows.get();
    std::size_t expected = key.empty() ? expectedRows(entry, table) : 0;
    for (SourceColumn& column : table.columns) {
      column.reserve(expected);
    }
    int count = static_cast<int>(table.columns.size());
    while (db_.step(statement)) {
      for (int i = 0; i < count; ++i) {
        appendValue(statement, i, table.columns[static_cast<std::size_t>(i)]);
      }
    }
  }

  // The rows of a table with rowids, to make room for at once: its largest rowid, which a step down
  // the b-tree finds, bounded by the file's size against a sparse or damaged numbering; 0 when
  // every name of the rowid is taken by a column.
  std::size_t expectedRows(const TableEntry& entry, const SourceTable& table) {
    for (const char* rowid : {"rowid", "_rowid_", "oid"}) {
      if (hasColumn(table, rowid)) {
        continue;
      }
      std::string sql =
          std::string("SELECT max(") + rowid + ") FROM main." + quotedIdentifier(entry.name);
      sqlite3_stmt* raw = nullptr;
      sqlite3_prepare_v2(db_.handle(), sql.c_str(), -1, &raw, nullptr);
      SqliteStatement largest(raw);
      FileStart file;
      unsigned char none[1];
      if (raw == nullptr || sqlite3_step(raw) != SQLITE_ROW ||
          !readFileStart(db_.path(), none, 0, file).empty()) {
        return 0;
      }
      auto bound = file.size / 16;
      return static_cast<std::size_t>(
          std::clamp<sqlite3_int64>(sqlite3_column_int64(raw, 0), 0, bound));
    }
    return 0;
  }

  // The value is taken once from the row and read through the sqlite3_value functions: half the
  // calls of the sqlite3_column ones, which look the column up each time. The value is not
  // protected by a mutex, which a connection opened without one never holds anyway.
  static void appendValue(sqlite3_stmt* statement, int index, SourceColumn& column) {
    sqlite3_value* value = sqlite3_column_value(statement, index);
    switch (sqlite3_value_type(value)) {
      case SQLITE_INTEGER:
        column.appendInteger(sqlite3_value_int64(value));
        break;
      case SQLITE_FLOAT:
        column.appendReal(sqlite3_value_double(value));
        break;
      case SQLITE_TEXT: {
        // In UTF-8 whatever the file's own encoding.
        const unsigned char* bytes = sqlite3_value_text(value);
        if (bytes == nullptr) {
          throw std::bad_alloc();
        }
        column.appendText(std::string_view(reinterpret_cast<const char*>(bytes),
                                           static_cast<std::size_t>(sqlite3_value_bytes(value))));
        break;
      }
      case SQLITE_BLOB: {
        const void* bytes = sqlite3_value_blob(value);
        auto size = static_cast<std::size_t>(sqlite3_value_bytes(value));
        if (bytes == nullptr && size > 0) {
          throw std::bad_alloc();
        }
        column.appendBlob(std::string_view(static_cast<const char*>(bytes), size));
        break;
      }
      default:
        column.appendNull();
        break;
    }
  }

  SqliteConnection db_;
};

// The tables read in a mode that holds only while no file of the suffix is beside the file; none
// when one appeared meanwhile (a writer has started), and the file is then read another way.
std::optional<SourceTables> readUnlessBeside(const std::string& path, SqliteOpenMode mode,
                                             const char* suffix) {
  try {
    SourceTables tables = SqliteReader(path, mode).read();
    if (!existsBeside(path, suffix)) {
      return tables;
    }
  } catch (const DatabaseError&) {
    if (!existsBeside(path, suffix)) {
      throw;
    }
  }
  return std::nullopt;
}

}  // namespace

SourceTables readSqliteTables(const std::string& path) {
  // A file in write-ahead-log mode without a log beside it holds every committed row itself,
  // and reading it without immutable would leave an empty log and its index beside the file
  // (a read-only connection cannot remove them).
  if (declaresWriteAheadLog(path) && !existsBeside(path, "-wal")) {
    if (auto tables = readUnlessBeside(path, SqliteOpenMode::kImmutable, "-wal")) {
      return std::move(*tables);
    }
  }
  // A log without its index beside it has no writer; the index is then kept in memory, leaving
  // nothing beside the file.
  if (existsBeside(path, "-wal") && !existsBeside(path, "-shm")) {
    if (auto tables = readUnlessBeside(path, SqliteOpenMode::kLogIndexInMemory, "-shm")) {
      return std::move(*tables);
    }
  }
  return SqliteReader(path, SqliteOpenMode::kWithLog).read();
}

void refuseDamagedSqliteFile(const std::string& path) {
  SqliteOpenMode mode = SqliteOpenMode::kWithLog;
  if (declaresWriteAheadLog(path) && !existsBeside(path, "-wal")) {
    mode = SqliteOpenMode::kImmutable;
  } else if (existsBeside(path, "-wal") && !existsBeside(path, "-shm")) {
    mode = SqliteOpenMode::kLogIndexInMemory;
  }
  SqliteReader(path, mode).refuseIfDamaged();
}
