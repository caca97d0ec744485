// Reading the loader's three tables out of a SQLite 3 file without running SQL stored in it.
#include "store/sources/sqlite/sqlite_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "store/database_error.h"
#include "store/sources/file_probe.h"
#include "store/sources/sqlite/sqlite_handles.h"
#include "util/ascii_fold.h"

namespace {

constexpr const auto& kTables = kSourceTableNames;

// Long enough for someone to finish a write, short enough that the operator is not left waiting.
constexpr int kBusyTimeoutMs = 1000;
// No value of these tables comes near this; a damaged length is refused here instead of being
// allocated.
constexpr int kLongestValue = 64 << 20;

// A file: URI naming the file at path, whatever the name looks like (":memory:", "//x",
// "file:x", "a?b#c", and on Windows C:\x, D:x or \\server\share\x): a relative name is made to
// start with "./", a full one gets an empty authority, and characters that a URI gives a meaning
// to are escaped.
std::string fileUri(const std::string& path, bool immutable) {
  const std::string named = uriPathOf(path);
  std::string uri = named.empty() || named[0] != '/' ? "file:./" : "file://";
  for (unsigned char c : named) {
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
      for (const char* allowed : {"table_xinfo", "index_list", "quick_check", "table_list"}) {
        if (first != nullptr && sqlite3_stricmp(first, allowed) == 0) {
          return SQLITE_OK;
        }
      }
      return SQLITE_DENY;
    default:
      return SQLITE_DENY;
  }
}

bool hasBeside(const std::string& path, const char* suffix) {
  return existsBeside(path, suffix);
}

// True for a file in write-ahead-log mode (bytes 18 and 19 of its header are 2).
bool declaresWriteAheadLog(const std::string& path) {
  unsigned char head[20] = {};
  FileStart start;
  return readFileStart(path, head, sizeof head, start).empty() && start.length == sizeof head &&
         head[18] == 2 && head[19] == 2;
}

// SQLite keeps the index of a write-ahead log in a shared-memory file beside the database, which
// a reader creates when there is none (and cannot, in a folder it may not write). Locking mode
// EXCLUSIVE would keep it in memory instead, but takes a write lock that a read-only file cannot
// have, and nolock=1 refuses the log altogether. So a file whose log has no index beside it (its
// writer has gone) is opened through this VFS: the default one, with the index in this
// connection's own memory and its locks always granted, as for the only reader there is.
struct HeapIndexFile {
  sqlite3_file base;
  std::vector<void*>* regions;  // of the index, each szRegion bytes
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_vfs* gDefaultVfs = nullptr;

HeapIndexFile* heapFile(sqlite3_file* file) {
  return reinterpret_cast<HeapIndexFile*>(file);
}

// A method of the default VFS's file, called on the file this one wraps.
template <typename Method, Method sqlite3_io_methods::*kMethod>
struct Forward;
template <typename Result, typename... Args,
          Result (*sqlite3_io_methods::*kMethod)(sqlite3_file*, Args...)>
struct Forward<Result (*)(sqlite3_file*, Args...), kMethod> {
  static Result call(sqlite3_file* file, Args... args) {
    sqlite3_file* real = heapFile(file)->real();
    return (real->pMethods->*kMethod)(real, args...);
  }
};
#define TAVRINEL_FORWARD(method) \
  Forward<decltype(sqlite3_io_methods::method), &sqlite3_io_methods::method>::call

int heapClose(sqlite3_file* file) {
  HeapIndexFile* own = heapFile(file);
  if (own->regions != nullptr) {
    for (void* region : *own->regions) {
      sqlite3_free(region);
    }
    delete own->regions;
    own->regions = nullptr;
  }
  return own->real()->pMethods->xClose(own->real());
}
int heapShmMap(sqlite3_file* f, int region, int regionSize, int, void volatile** out) {
  HeapIndexFile* own = heapFile(f);
  if (own->regions == nullptr) {
    own->regions = new (std::nothrow) std::vector<void*>();
    if (own->regions == nullptr) {
      return SQLITE_NOMEM;
    }
  }
  std::vector<void*>& regions = *own->regions;
  while (static_cast<int>(regions.size()) <= region) {
    void* memory = sqlite3_malloc(regionSize);
    if (memory == nullptr) {
      return SQLITE_NOMEM;
    }
    std::memset(memory, 0, static_cast<std::size_t>(regionSize));
    regions.push_back(memory);
  }
  *out = regions[static_cast<std::size_t>(region)];
  return SQLITE_OK;
}
int heapShmLock(sqlite3_file*, int, int, int) {
  return SQLITE_OK;
}
void heapShmBarrier(sqlite3_file*) {}
int heapShmUnmap(sqlite3_file*, int) {
  return SQLITE_OK;
}  // freed on close
int heapFetch(sqlite3_file*, sqlite3_int64, int, void** out) {
  *out = nullptr;  // no memory mapping: pages are read
  return SQLITE_OK;
}
int heapUnfetch(sqlite3_file*, sqlite3_int64, void*) {
  return SQLITE_OK;
}

const sqlite3_io_methods kHeapIndexMethods = {3,
                                              heapClose,
                                              TAVRINEL_FORWARD(xRead),
                                              TAVRINEL_FORWARD(xWrite),
                                              TAVRINEL_FORWARD(xTruncate),
                                              TAVRINEL_FORWARD(xSync),
                                              TAVRINEL_FORWARD(xFileSize),
                                              TAVRINEL_FORWARD(xLock),
                                              TAVRINEL_FORWARD(xUnlock),
                                              TAVRINEL_FORWARD(xCheckReservedLock),
                                              TAVRINEL_FORWARD(xFileControl),
                                              TAVRINEL_FORWARD(xSectorSize),
                                              TAVRINEL_FORWARD(xDeviceCharacteristics),
                                              heapShmMap,
                                              heapShmLock,
                                              heapShmBarrier,
                                              heapShmUnmap,
                                              heapFetch,
                                              heapUnfetch};
#undef TAVRINEL_FORWARD

int heapOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  HeapIndexFile* own = heapFile(file);
  own->base.pMethods = nullptr;
  own->regions = nullptr;
  int status = gDefaultVfs->xOpen(gDefaultVfs, name, own->real(), flags, outFlags);
  if (status == SQLITE_OK && own->real()->pMethods != nullptr) {
    own->base.pMethods = &kHeapIndexMethods;
  }
  return status;
}

const char* heapIndexVfs() {
  static sqlite3_vfs vfs = [] {
    gDefaultVfs = sqlite3_vfs_find(nullptr);
    sqlite3_vfs copy = *gDefaultVfs;
    copy.szOsFile = static_cast<int>(sizeof(HeapIndexFile)) + gDefaultVfs->szOsFile;
    copy.zName = "tavrinel-log-index-in-memory";
    copy.pAppData = nullptr;
    copy.xOpen = heapOpen;
    sqlite3_vfs_register(&copy, 0);
    return copy;
  }();
  return vfs.zName;
}

// What the file says about one of our tables.
struct TableEntry {
  std::string name;  // as stored
};

class SqliteReader {
 public:
  // How the file is opened: as it is (its log ignored), with its log, or with its log and an index
  // of the log in the program's own memory.
  enum class Mode { kImmutable, kWithLog, kLogIndexInMemory };

  SqliteReader(const std::string& path, Mode mode) : path_(path) {
    sqlite3* db = nullptr;
    std::string uri = fileUri(path, mode == Mode::kImmutable);
    if (mode == Mode::kLogIndexInMemory) {
      uri += std::string("&vfs=") + heapIndexVfs();
    }
    int status = sqlite3_open_v2(
        uri.c_str(), &db,
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
    // The last reader to close must not try to fold the log into the file.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    lockDown();
  }

  SourceTables read() {
    execute("BEGIN");
    SourceTables tables;
    tables.student = readTable(kTables[0]);
    tables.studentResult = readTable(kTables[1]);
    tables.subject = readTable(kTables[2]);
    execute("COMMIT");
    return tables;
  }

  // A damaged table list or table page can read as an empty table, or as rows that give no
  // student, rather than as an error.
  void refuseIfDamaged() {
    std::string damage = damageFound();
    if (!damage.empty()) {
      failToRead(path_, "the file is damaged (" + damage + ")");
    }
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
        "SELECT name, type, rootpage FROM main.sqlite_master "
        "WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE");
    sqlite3_bind_text(find.get(), 1, name, -1, SQLITE_STATIC);
    if (!step(find.get())) {
      failToRead(path_, std::string("table ") + name + " is missing");
    }
    TableEntry entry;
    entry.name = text(find.get(), 0);
    if (text(find.get(), 1) == "view") {
      failToRead(path_, std::string("table ") + name + " is a view, which is not read");
    }
    // Virtual tables have no pages of their own; a module computes their rows.
    if (sqlite3_column_int64(find.get(), 2) == 0) {
      failToRead(path_, std::string("table ") + name + " is a virtual table, which is not read");
    }
    return entry;
  }

  // Whether the table was declared STRICT, as SQLite itself reports it.
  bool isStrict(const TableEntry& table) {
    SqliteStatement list = prepare("PRAGMA main.table_list(" + quotedIdentifier(table.name) + ")");
    bool strict = false;
    while (step(list.get())) {
      strict = strict || sqlite3_column_int(list.get(), 5) != 0;
    }
    return strict;
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
    bool strict = isStrict(entry);
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
    const std::string upper = asciiUpper(collation == nullptr ? "BINARY" : collation);
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
    std::size_t expected = key.empty() ? expectedRows(entry, table) : 0;
    for (SourceColumn& column : table.columns) {
      column.reserve(expected);
    }
    int count = static_cast<int>(table.columns.size());
    while (step(statement)) {
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
      sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr);
      SqliteStatement largest(raw);
      FileStart file;
      unsigned char none[1];
      if (raw == nullptr || sqlite3_step(raw) != SQLITE_ROW ||
          !readFileStart(path_, none, 0, file).empty()) {
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
        failToRead(path_, writeAheadLogProblem(message));
      case SQLITE_CANTOPEN:
        if (hasBeside(path_, "-wal")) {
          failToRead(path_, writeAheadLogProblem(message));
        }
        failToRead(path_, "the SQLite file cannot be opened");
      case SQLITE_IOERR:
        failToRead(path_, "the file cannot be read (" + message + ")");
      default:
        failToRead(path_, "the SQLite file cannot be read (" + message + ")");
    }
  }

  // What keeps the write-ahead log from being read: the log or its index beside the file (named,
  // as the user would find them), or the folder, where the index has to be made and cannot.
  std::string writeAheadLogProblem(const std::string& message) const {
    for (const char* suffix : {"-wal", "-shm"}) {
      unsigned char ignored[1];
      FileStart start;
      std::string problem = readFileStart(path_ + suffix, ignored, sizeof ignored, start);
      std::string file = (std::string(suffix) == "-wal" ? "its write-ahead log "
                                                        : "the index of its write-ahead log ") +
                         path_ + suffix;
      if (problem.empty() && start.kind == FileStart::Kind::kDirectory) {
        return file + " is a folder";
      }
      if (problem.empty() && start.kind == FileStart::Kind::kOther) {
        return file + " is not a file";
      }
      if (!problem.empty() && problem != "file not found") {
        return file + " cannot be read (" + problem + ")";
      }
    }
    if (!hasBeside(path_, "-shm") && !folderWritable(path_)) {
      return "its write-ahead log cannot be read without write access to its folder";
    }
    return "its write-ahead log " + path_ + "-wal cannot be read (" + message + ")";
  }

  const std::string& path_;
  SqliteDatabase db_;
};

}  // namespace

namespace {

// The tables read in a mode that holds only while no file of the suffix is beside the file; none
// when one appeared meanwhile (a writer has started), and the file is then read another way.
std::optional<SourceTables> readUnlessBeside(const std::string& path, SqliteReader::Mode mode,
                                             const char* suffix) {
  try {
    SourceTables tables = SqliteReader(path, mode).read();
    if (!hasBeside(path, suffix)) {
      return tables;
    }
  } catch (const DatabaseError&) {
    if (!hasBeside(path, suffix)) {
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
  if (declaresWriteAheadLog(path) && !hasBeside(path, "-wal")) {
    if (auto tables = readUnlessBeside(path, SqliteReader::Mode::kImmutable, "-wal")) {
      return std::move(*tables);
    }
  }
  // A log without its index beside it has no writer; the index is then kept in memory, leaving
  // nothing beside the file.
  if (hasBeside(path, "-wal") && !hasBeside(path, "-shm")) {
    if (auto tables = readUnlessBeside(path, SqliteReader::Mode::kLogIndexInMemory, "-shm")) {
      return std::move(*tables);
    }
  }
  return SqliteReader(path, SqliteReader::Mode::kWithLog).read();
}

void refuseDamagedSqliteFile(const std::string& path) {
  SqliteReader::Mode mode = SqliteReader::Mode::kWithLog;
  if (declaresWriteAheadLog(path) && !hasBeside(path, "-wal")) {
    mode = SqliteReader::Mode::kImmutable;
  } else if (hasBeside(path, "-wal") && !hasBeside(path, "-shm")) {
    mode = SqliteReader::Mode::kLogIndexInMemory;
  }
  SqliteReader(path, mode).refuseIfDamaged();
}
