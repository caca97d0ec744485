// Reading the loader's three tables out of a SQLite 3 file without running SQL stored in it.
#include "store/sources/sqlite_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "store/database_error.h"
#include "store/sources/sqlite_handles.h"

namespace {

constexpr const char* kTables[] = {"Student", "StudentResult", "Subject"};

// Long enough for someone to finish a write, short enough that the operator is not left waiting.
constexpr int kBusyTimeoutMs = 1000;
// No value of these tables comes near this; a damaged length is refused here instead of being
// allocated.
constexpr int kLongestValue = 64 << 20;

// A file: URI for path. Characters that a URI gives a meaning to are escaped.
std::string fileUri(const std::string& path, bool immutable) {
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
  return uri + (immutable ? "?mode=ro&immutable=1" : "?mode=ro");
}

// Reading only: the statements this file prepares, and nothing that a name or a schema could
// smuggle in (functions, ATTACH, writes, other pragmas).
int allowReadingOnly(void*, int action, const char* first, const char*, const char*, const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_TRANSACTION:
      return SQLITE_OK;
    case SQLITE_PRAGMA:
      for (const char* allowed : {"table_xinfo", "index_list", "quick_check"}) {
        if (first != nullptr && sqlite3_stricmp(first, allowed) == 0) {
          return SQLITE_OK;
        }
      }
      return SQLITE_DENY;
    default:
      return SQLITE_DENY;
  }
}

// Whether the write-ahead log of the file at path exists. SQLite keeps it beside the file that
// a symbolic link points to, not beside the link.
bool hasLogBeside(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string log = (resolved == nullptr ? path : std::string(resolved)) + "-wal";
  std::free(resolved);
  return access(log.c_str(), F_OK) == 0;
}

// True for a file in write-ahead-log mode (bytes 18 and 19 of its header are 2).
bool declaresWriteAheadLog(const std::string& path) {
  unsigned char versions[2] = {};
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  bool wal = pread(fd, versions, sizeof versions, 18) == 2 && versions[0] == 2 && versions[1] == 2;
  close(fd);
  return wal;
}

// Whether a CREATE TABLE text ends in the STRICT option. Only the words after the column list
// count; strings, quoted names and comments may hold parentheses and are skipped.
bool declaresStrict(const std::string& sql) {
  int depth = 0;
  bool pastColumns = false;
  std::size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    std::size_t end = i + 1;
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      end = sql.find(close, i + 1);
      while (end != std::string::npos && close != ']' && end + 1 < sql.size() &&
             sql[end + 1] == close) {
        end = sql.find(close, end + 2);
      }
      end = end == std::string::npos ? sql.size() : end + 1;
    } else if (sql.compare(i, 2, "--") == 0) {
      end = sql.find('\n', i);
    } else if (sql.compare(i, 2, "/*") == 0) {
      end = sql.find("*/", i + 2);
      end = end == std::string::npos ? end : end + 2;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      pastColumns = --depth == 0;
    } else if (pastColumns && std::isalpha(static_cast<unsigned char>(c))) {
      while (end < sql.size() && std::isalnum(static_cast<unsigned char>(sql[end]))) {
        ++end;
      }
      if (end - i == 6 && sqlite3_strnicmp(sql.c_str() + i, "STRICT", 6) == 0) {
        return true;
      }
    }
    i = end == std::string::npos ? sql.size() : end;
  }
  return false;
}

// What the file says about one of our tables.
struct TableEntry {
  std::string name;  // as stored
  std::string sql;
  bool isView = false;
  bool isVirtual = false;
};

class SqliteReader {
 public:
  SqliteReader(const std::string& path, bool immutable) : path_(path) {
    sqlite3* db = nullptr;
    int status = sqlite3_open_v2(
        fileUri(path, immutable).c_str(), &db,
        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE,
        nullptr);
    db_.reset(db);
    if (db == nullptr) {
      throw std::bad_alloc();
    }
    if (status != SQLITE_OK) {
      failWithEngineReason();
    }
    sqlite3_extended_result_codes(db, 1);
    lockDown();
  }

  SourceTables read() {
    execute("BEGIN");
    SourceTables tables;
    tables.student = readTable(kTables[0]);
    tables.studentResult = readTable(kTables[1]);
    tables.subject = readTable(kTables[2]);
    if (tables.student.rows() == 0) {
      // A damaged table list or table page can read as an empty table rather than as an error.
      std::string damage = damageFound();
      if (!damage.empty()) {
        failToRead(path_, "the file is damaged (" + damage + ")");
      }
    }
    execute("COMMIT");
    return tables;
  }

 private:
  void lockDown() {
    sqlite3* db = db_.get();
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
#ifdef SQLITE_DBCONFIG_TRUSTED_SCHEMA
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
#endif
#ifdef SQLITE_DBCONFIG_ENABLE_VIEW
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
#endif
#ifdef SQLITE_DBCONFIG_DQS_DML
    // A misspelt quoted column name must fail, not read as a text constant.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
#endif
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kLongestValue);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_set_authorizer(db, allowReadingOnly, nullptr);
  }

  SqliteStatement prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    int status = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()),
                                    &statement, nullptr);
    SqliteStatement owned(statement);
    if (status != SQLITE_OK) {
      failWithEngineReason();
    }
    return owned;
  }

  // Steps to the next row; false at the end, throws on failure.
  bool step(sqlite3_stmt* statement) {
    int status = sqlite3_step(statement);
    if (status == SQLITE_ROW) {
      return true;
    }
    if (status != SQLITE_DONE) {
      failWithEngineReason();
    }
    return false;
  }

  void execute(const char* sql) {
    SqliteStatement statement = prepare(sql);
    while (step(statement.get())) {
    }
  }

  std::string text(sqlite3_stmt* statement, int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (bytes == nullptr) {
      if (sqlite3_errcode(db_.get()) == SQLITE_NOMEM) {
        throw std::bad_alloc();
      }
      return "";
    }
    return std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  }

  TableEntry findTable(const char* name) {
    SqliteStatement find = prepare(
        "SELECT name, type, rootpage, sql FROM main.sqlite_master "
        "WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE");
    sqlite3_bind_text(find.get(), 1, name, -1, SQLITE_STATIC);
    if (!step(find.get())) {
      failToRead(path_, std::string("table ") + name + " is missing");
    }
    TableEntry entry;
    entry.name = text(find.get(), 0);
    entry.isView = text(find.get(), 1) == "view";
    // Virtual tables have no pages of their own; a module computes their rows.
    entry.isVirtual = !entry.isView && sqlite3_column_int64(find.get(), 2) == 0;
    entry.sql = text(find.get(), 3);
    if (entry.isView) {
      failToRead(path_, std::string("table ") + name + " is a view, which is not read");
    }
    if (entry.isVirtual) {
      failToRead(path_, std::string("table ") + name + " is a virtual table, which is not read");
    }
    return entry;
  }

  // The primary key index of a WITHOUT ROWID table, which is the table itself and so has no
  // entry of its own in the table list; "" for a table with rowids.
  std::string withoutRowidKey(const TableEntry& table) {
    SqliteStatement list = prepare("PRAGMA index_list(" + quotedIdentifier(table.name) + ")");
    std::string key;
    while (step(list.get())) {
      if (text(list.get(), 3) == "pk") {
        key = text(list.get(), 1);
      }
    }
    if (key.empty()) {
      return key;
    }
    SqliteStatement listed = prepare("SELECT 1 FROM main.sqlite_master WHERE name = ?1");
    sqlite3_bind_text(listed.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
    return step(listed.get()) ? "" : key;
  }

  SourceTable readTable(const char* name) {
    TableEntry entry = findTable(name);
    SourceTable table;
    table.name = name;
    const std::vector<const char*>& required = requiredColumns(name);
    std::vector<std::string> declaredTypes(required.size());
    std::vector<int> hidden(required.size(), -1);
    SqliteStatement info = prepare("PRAGMA table_xinfo(" + quotedIdentifier(entry.name) + ")");
    table.columns.resize(required.size());
    while (step(info.get())) {
      std::string column = text(info.get(), 1);
      for (std::size_t i = 0; i < required.size(); ++i) {
        if (hidden[i] < 0 && sqlite3_stricmp(column.c_str(), required[i]) == 0) {
          declaredTypes[i] = text(info.get(), 2);
          hidden[i] = sqlite3_column_int(info.get(), 6);
          table.columns[i] = SourceColumn(column, Affinity::kNone, "");
        }
      }
      table.columnNames.push_back(std::move(column));
    }
    bool strict = declaresStrict(entry.sql);
    for (std::size_t i = 0; i < required.size(); ++i) {
      describeColumn(entry, i, declaredTypes[i], hidden[i], strict, table);
    }
    readRows(entry, table);
    return table;
  }

  void describeColumn(const TableEntry& entry, std::size_t index, const std::string& declaredType,
                      int hidden, bool strict, SourceTable& table) {
    const char* required = requiredColumns(table.name)[index];
    if (hidden < 0) {
      failToRead(path_,
                 std::string("column ") + required + " of table " + table.name + " is missing");
    }
    // A VIRTUAL generated column is computed from a formula stored in the file each time it is
    // read; a STORED one holds its values like any other column.
    if (hidden == 2) {
      failToRead(path_, std::string("column ") + required + " of table " + table.name +
                            " is computed by a formula in the file, which is not run");
    }
    const char* collation = nullptr;
    std::string name = table.columns[index].name();
    if (sqlite3_table_column_metadata(db_.get(), "main", entry.name.c_str(), name.c_str(), nullptr,
                                      &collation, nullptr, nullptr, nullptr) != SQLITE_OK) {
      failWithEngineReason();
    }
    std::string upper = collation == nullptr ? "BINARY" : collation;
    for (char& c : upper) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    bool anyInStrict = strict && sqlite3_stricmp(declaredType.c_str(), "ANY") == 0;
    Affinity affinity = anyInStrict ? Affinity::kNone : affinityOfDeclaredType(declaredType);
    table.columns[index] = SourceColumn(name, affinity, upper);
  }

  // Rows in table order: rowid order, or key order for a table without rowids. Naming the
  // table's own b-tree keeps the planner from walking a covering index in its order instead.
  void readRows(const TableEntry& entry, SourceTable& table) {
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      select += (i == 0 ? "" : ", ") + quotedIdentifier(table.columns[i].name());
    }
    select += " FROM main." + quotedIdentifier(entry.name);
    std::string key = withoutRowidKey(entry);
    select += key.empty() ? " NOT INDEXED" : " INDEXED BY " + quotedIdentifier(key);
    SqliteStatement rows = prepare(select);
    sqlite3_stmt* statement = rows.get();
    int count = static_cast<int>(table.columns.size());
    while (step(statement)) {
      for (int i = 0; i < count; ++i) {
        appendValue(statement, i, table.columns[static_cast<std::size_t>(i)]);
      }
    }
  }

  void appendValue(sqlite3_stmt* statement, int index, SourceColumn& column) {
    switch (sqlite3_column_type(statement, index)) {
      case SQLITE_INTEGER:
        column.appendInteger(sqlite3_column_int64(statement, index));
        break;
      case SQLITE_FLOAT:
        column.appendReal(sqlite3_column_double(statement, index));
        break;
      case SQLITE_TEXT: {
        // In UTF-8 whatever the file's own encoding.
        const unsigned char* bytes = sqlite3_column_text(statement, index);
        if (bytes == nullptr) {
          throw std::bad_alloc();
        }
        column.appendText(
            std::string_view(reinterpret_cast<const char*>(bytes),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, index))));
        break;
      }
      case SQLITE_BLOB: {
        const void* bytes = sqlite3_column_blob(statement, index);
        auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, index));
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

  // "" when PRAGMA quick_check finds the file sound (or cannot tell), otherwise what it found,
  // on one line.
  std::string damageFound() {
    sqlite3_stmt* raw = nullptr;
    int status = sqlite3_prepare_v2(db_.get(), "PRAGMA quick_check(1)", -1, &raw, nullptr);
    SqliteStatement check(raw);
    if (status == SQLITE_OK) {
      status = sqlite3_step(raw);
    }
    std::string found;
    if (status == SQLITE_ROW) {
      found = text(raw, 0);
      found = found == "ok" ? "" : found;
    } else if ((status & 0xFF) == SQLITE_CORRUPT || (status & 0xFF) == SQLITE_NOTADB) {
      found = sqlite3_errmsg(db_.get());
    } else if ((status & 0xFF) == SQLITE_NOMEM) {
      throw std::bad_alloc();
    }
    // quick_check heads its report with the database's name on a line of its own.
    std::size_t heading = found.rfind("***\n");
    if (heading != std::string::npos) {
      found.erase(0, heading + 4);
    }
    for (char& c : found) {
      c = c == '\n' ? ' ' : c;
    }
    return found;
  }

  [[noreturn]] void failWithEngineReason() {
    int code = sqlite3_extended_errcode(db_.get());
    std::string message = sqlite3_errmsg(db_.get());
    switch (code & 0xFF) {
      case SQLITE_NOMEM:
      case SQLITE_TOOBIG: {
        // A damaged page can claim a length that cannot be allocated.
        std::string damage = damageFound();
        if (!damage.empty()) {
          failToRead(path_, "the file is damaged (" + damage + ")");
        }
        if ((code & 0xFF) == SQLITE_NOMEM) {
          throw std::bad_alloc();
        }
        failToRead(path_, "a value in it is longer than 64 MiB");
      }
      case SQLITE_CORRUPT:
      case SQLITE_NOTADB:
        failToRead(path_, "the file is damaged (" + message + ")");
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        failToRead(path_, "another program is changing it; try again when it has finished");
      case SQLITE_READONLY:
        if (code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY) {
          failToRead(path_,
                     "a change to it was left unfinished, and only a program that may write it "
                     "can undo that");
        }
        failToRead(path_, "its write-ahead log cannot be read without write access to its folder");
      case SQLITE_CANTOPEN:
        failToRead(path_, "the SQLite file cannot be opened");
      case SQLITE_IOERR:
        failToRead(path_, "the file cannot be read (" + message + ")");
      default:
        failToRead(path_, "the SQLite file cannot be read (" + message + ")");
    }
  }

  const std::string& path_;
  SqliteDatabase db_;
};

}  // namespace

SourceTables readSqliteTables(const std::string& path) {
  // A file in write-ahead-log mode without a log beside it holds every committed row itself,
  // and reading it without immutable would leave an empty log and its index beside the file
  // (a read-only connection cannot remove them). A log that appears meanwhile means a writer
  // has started: then the file is read again through the log, which now exists.
  if (declaresWriteAheadLog(path) && !hasLogBeside(path)) {
    try {
      SourceTables tables = SqliteReader(path, true).read();
      if (!hasLogBeside(path)) {
        return tables;
      }
    } catch (const DatabaseError&) {
      if (!hasLogBeside(path)) {
        throw;
      }
    }
  }
  return SqliteReader(path, false).read();
}
