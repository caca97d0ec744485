// Copies the loader's tables out of a Microsoft Access file (Jet 3, Jet 4, ACE) with libmdb.
#include "store/mdb_source.h"

// mdbtools.h includes glib inside extern "C", which C++ headers in glib reject: include it first.
#include <glib.h>
#include <mdbtools.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct MdbCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct MdbTableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using AccessFile = std::unique_ptr<MdbHandle, MdbCloser>;
using AccessTable = std::unique_ptr<MdbTableDef, MdbTableFreer>;

// libmdb reports damage on stdout and stderr, hex dumps of pages included; the loader gives its own
// one-line reason instead, so the library's output goes to /dev/null while it reads.
class SilencedOutput {
 public:
  SilencedOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
      return;
    }
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      saved_[fd - STDOUT_FILENO] = fcntl(fd, F_DUPFD_CLOEXEC, 3);
      if (saved_[fd - STDOUT_FILENO] >= 0) {
        dup2(null, fd);
      }
    }
    close(null);
  }
  ~SilencedOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      int saved = saved_[fd - STDOUT_FILENO];
      if (saved >= 0) {
        dup2(saved, fd);
        close(saved);
      }
    }
  }
  SilencedOutput(const SilencedOutput&) = delete;
  SilencedOutput& operator=(const SilencedOutput&) = delete;

 private:
  int saved_[2] = {-1, -1};
};

// Longer texts (memo columns) are cut by libmdb at this many bytes.
constexpr std::size_t kBindBytes = 16384;

// The SQLite column type for an Access type; null for types read as NULL (OLE objects, binary
// and complex columns, whose bytes libmdb does not hand out as text).
const char* sqliteType(int accessType) {
  switch (accessType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      return "INTEGER";
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
      return "REAL";
    case MDB_TEXT:
    case MDB_MEMO:
      return "TEXT COLLATE NOCASE";
    case MDB_DATETIME:
    case MDB_REPID:
      return "TEXT";
    default:
      return nullptr;
  }
}

std::string quotedName(const char* name) {
  std::string quoted = "\"";
  for (const char* c = name; *c != '\0'; ++c) {
    quoted += *c;
    if (*c == '"') {
      quoted += '"';
    }
  }
  return quoted + '"';
}

MdbColumn* columnAt(MdbTableDef* table, unsigned int index) {
  return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

MdbCatalogEntry* findTable(MdbHandle* mdb, const char* name) {
  for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && g_ascii_strcasecmp(entry->object_name, name) == 0) {
      return entry;
    }
  }
  return nullptr;
}

// libmdb stops quietly at a page it cannot read. A table's definition holds its row count, which
// tells a whole table from a damaged one; this is so for the table of tables too.
bool isTableListWhole(MdbHandle* mdb) {
  MdbCatalogEntry* list = findTable(mdb, "MSysObjects");
  AccessTable table(list == nullptr ? nullptr : mdb_read_table(list));
  return table && table->num_rows == mdb->num_catalog;
}

// Copies one table's rows through bound text buffers into an INSERT of the same columns.
class TableCopy {
 public:
  TableCopy(const MemoryDatabase& target, MdbTableDef* table, const char* name)
      : target_(target),
        table_(table),
        name_(name),
        addsRowOrder_(std::strcmp(name, "StudentResult") == 0) {}

  void run() {
    createTable();
    bindColumns();
    unsigned long rows = copyRows();
    if (rows != table_->num_rows) {  // pages that libmdb could not read were skipped
      target_.fail("table " + name_ + " is damaged (" + std::to_string(rows) + " rows read, " +
                   std::to_string(table_->num_rows) + " expected)");
    }
  }

 private:
  void createTable() {
    std::string create = "CREATE TABLE " + quotedName(name_.c_str()) + " (";
    std::string insert = "INSERT INTO " + quotedName(name_.c_str()) + " VALUES (";
    for (unsigned int i = 0; i < table_->num_cols; ++i) {
      MdbColumn* column = columnAt(table_, i);
      const char* type = sqliteType(column->col_type);
      create += (i == 0 ? "" : ", ") + quotedName(column->name) + " " + (type ? type : "BLOB");
      insert += i == 0 ? "?" : ", ?";
    }
    if (addsRowOrder_) {
      create += std::string(", ") + kRowOrderColumn + " INTEGER";
      insert += ", ?";
    }
    target_.execute((create + ")").c_str());
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(target_.handle(), (insert + ")").c_str(), -1, &statement, nullptr) !=
        SQLITE_OK) {
      target_.failWithSqliteMessage();
    }
    insert_.reset(statement);
  }

  void bindColumns() {
    values_.assign(table_->num_cols, std::vector<char>());
    for (unsigned int i = 0; i < table_->num_cols; ++i) {
      if (sqliteType(columnAt(table_, i)->col_type) != nullptr) {
        values_[i].assign(kBindBytes, '\0');
        mdb_bind_column(table_, static_cast<int>(i + 1), values_[i].data(), nullptr);
      }
    }
  }

  unsigned long copyRows() {
    sqlite3_stmt* insert = insert_.get();
    unsigned long rows = 0;
    mdb_rewind_table(table_);
    while (mdb_fetch_row(table_)) {
      for (unsigned int i = 0; i < table_->num_cols; ++i) {
        // libmdb gives NULL and a zero-length text alike as ""; both are stored as NULL.
        std::size_t length = values_[i].empty() ? 0 : std::strlen(values_[i].data());
        if (length == 0) {
          sqlite3_bind_null(insert, static_cast<int>(i + 1));
        } else {
          // Numbers go in as text too; the INTEGER and REAL columns turn them into numbers.
          sqlite3_bind_text(insert, static_cast<int>(i + 1), values_[i].data(),
                            static_cast<int>(length), SQLITE_STATIC);
        }
      }
      if (addsRowOrder_) {
        sqlite3_bind_int64(insert, static_cast<int>(table_->num_cols + 1),
                           static_cast<sqlite3_int64>(rows));
      }
      if (sqlite3_step(insert) != SQLITE_DONE) {
        target_.failWithSqliteMessage();
      }
      sqlite3_reset(insert);
      ++rows;
    }
    return rows;
  }

  const MemoryDatabase& target_;
  MdbTableDef* table_;
  std::string name_;
  bool addsRowOrder_;
  SqliteStatement insert_;
  std::vector<std::vector<char>> values_;
};

AccessFile openAccessFile(const std::string& path, const MemoryDatabase& target) {
  AccessFile mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) {
    target.fail("the Access file is damaged (its first page cannot be read)");
  }
  mdb_set_bind_size(mdb.get(), kBindBytes);
  mdb_set_date_fmt(mdb.get(), "%Y-%m-%d %H:%M:%S");
  mdb_set_shortdate_fmt(mdb.get(), "%Y-%m-%d");
  mdb_set_boolean_fmt_numbers(mdb.get());
  if (mdb_read_catalog(mdb.get(), MDB_ANY) == nullptr || !isTableListWhole(mdb.get())) {
    target.fail("the Access file is damaged (its list of tables cannot be read)");
  }
  return mdb;
}

}  // namespace

void copyAccessTables(const std::string& path, const MemoryDatabase& target) {
  SilencedOutput silenced;
  AccessFile mdb = openAccessFile(path, target);
  target.execute("BEGIN");
  for (const char* name : kLoadedTables) {
    MdbCatalogEntry* entry = findTable(mdb.get(), name);
    if (entry == nullptr) {
      target.fail(std::string("table ") + name + " is missing");
    }
    AccessTable table(mdb_read_table(entry));
    if (!table || mdb_read_columns(table.get()) == nullptr) {
      target.fail(std::string("table ") + name + " is damaged (its definition cannot be read)");
    }
    TableCopy(target, table.get(), name).run();
  }
  target.execute("COMMIT");
}
