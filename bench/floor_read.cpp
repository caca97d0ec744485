// The floor the loader is measured against: a plain read of the three tables, no grouping.
#include "bench/floor_read.h"

#include <glib.h>  // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>
#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "store/sqlite_handles.h"

namespace {

constexpr const char* kTables[] = {"Student", "StudentResult", "Subject"};
constexpr std::size_t kBindBytes = 16384;

volatile std::size_t gTouched = 0;  // keeps the compiler from dropping the reads

long readAccessTable(MdbHandle* mdb, const char* name) {
  MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<gchar*>(name), MDB_TABLE);
  if (table == nullptr) {
    throw std::runtime_error(std::string("no table ") + name);
  }
  mdb_read_columns(table);
  std::vector<std::vector<char>> values(table->num_cols, std::vector<char>(kBindBytes));
  for (unsigned int i = 0; i < table->num_cols; ++i) {
    mdb_bind_column(table, static_cast<int>(i + 1), values[i].data(), nullptr);
  }
  long rows = 0;
  mdb_rewind_table(table);
  while (mdb_fetch_row(table)) {
    for (const std::vector<char>& value : values) {
      gTouched = gTouched + std::strlen(value.data());
    }
    ++rows;
  }
  mdb_free_tabledef(table);
  return rows;
}

long readAccess(const std::string& path) {
  MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
  if (mdb == nullptr || mdb_read_catalog(mdb, MDB_TABLE) == nullptr) {
    throw std::runtime_error("cannot open " + path);
  }
  mdb_set_bind_size(mdb, kBindBytes);
  long rows = 0;
  for (const char* name : kTables) {
    rows += readAccessTable(mdb, name);
  }
  mdb_close(mdb);
  return rows;
}

long readSqlite(const std::string& path) {
  sqlite3* raw = nullptr;
  int status = sqlite3_open_v2(("file:" + path + "?mode=ro&immutable=1").c_str(), &raw,
                               SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  SqliteDatabase db(raw);
  if (status != SQLITE_OK) {
    throw std::runtime_error("cannot open " + path);
  }
  long rows = 0;
  for (const char* name : kTables) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(raw, (std::string("SELECT * FROM ") + name).c_str(), -1, &statement,
                       nullptr);
    SqliteStatement select(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        sqlite3_column_text(statement, i);
        gTouched = gTouched + static_cast<std::size_t>(sqlite3_column_bytes(statement, i));
      }
      ++rows;
    }
  }
  return rows;
}

}  // namespace

long readTablesPlainly(const std::string& path) {
  char head[16] = {};
  std::ifstream(path, std::ios::binary).read(head, sizeof head);
  return std::memcmp(head, "SQLite format 3", sizeof head) == 0 ? readSqlite(path)
                                                                : readAccess(path);
}
