// A SQLite file opened read-only and locked down, and its failures in the operator's words.
#include "store/sources/sqlite/sqlite_connection.h"

#include <cstdio>
#include <new>

#include "store/database_error.h"
#include "store/sources/file_probe.h"
#include "store/sources/sqlite/sqlite_log_index.h"

namespace {

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

}  // namespace

SqliteConnection::SqliteConnection(const std::string& path, SqliteOpenMode mode) : path_(path) {
  sqlite3* db = nullptr;
  std::string uri = fileUri(path, mode == SqliteOpenMode::kImmutable);
  if (mode == SqliteOpenMode::kLogIndexInMemory) {
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

void SqliteConnection::lockDown() {
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

SqliteStatement SqliteConnection::prepare(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  int status =
      sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
  SqliteStatement owned(statement);
  if (status != SQLITE_OK) {
    failWithEngineReason();
  }
  return owned;
}

bool SqliteConnection::step(sqlite3_stmt* statement) {
  int status = sqlite3_step(statement);
  if (status == SQLITE_ROW) {
    return true;
  }
  if (status != SQLITE_DONE) {
    failWithEngineReason();
  }
  return false;
}

void SqliteConnection::execute(const char* sql) {
  SqliteStatement statement = prepare(sql);
  while (step(statement.get())) {
  }
}

std::string SqliteConnection::text(sqlite3_stmt* statement, int column) {
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (bytes == nullptr) {
    if (sqlite3_errcode(db_.get()) == SQLITE_NOMEM) {
      throw std::bad_alloc();
    }
    return "";
  }
  return std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

std::string SqliteConnection::damageFound() {
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

void SqliteConnection::failWithEngineReason() {
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
      if (existsBeside(path_, "-wal")) {
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
std::string SqliteConnection::writeAheadLogProblem(const std::string& message) const {
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
  if (!existsBeside(path_, "-shm") && !folderWritable(path_)) {
    return "its write-ahead log cannot be read without write access to its folder";
  }
  return "its write-ahead log " + path_ + "-wal cannot be read (" + message + ")";
}
