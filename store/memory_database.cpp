// The in-memory SQLite copy of a database file, which answers the loader's queries.
#include "store/memory_database.h"

#include <cstdio>
#include <new>
#include <utility>

#include "store/loader.h"

namespace {

struct RequiredColumn {
  const char* table;
  const char* column;
};

// Every column that the queries name or read.
constexpr RequiredColumn kRequiredColumns[] = {
    {"Student", "StudentID"},
    {"Student", "Name"},
    {"Student", "StreetAddress"},
    {"Student", "City"},
    {"Student", "State"},
    {"Student", "Postcode"},
    {"Student", "Intake"},
    {"StudentResult", "StudentID"},
    {"StudentResult", "SubjectID"},
    {"StudentResult", "Semester"},
    {"StudentResult", "Marks"},
    {"Subject", "SubjectID"},
    {"Subject", "Name"},
    {"Subject", "Level"},
};

// The students of an intake and the results of a semester have no ORDER BY and must come in
// table order: an index whose key ends where these queries' conditions do keeps equal keys in
// rowid order. An index that put StudentResult.SubjectID before the rowid would hand results out
// by subject instead.
constexpr const char* kIndexes =
    "CREATE INDEX tavrinel_student_intake ON Student(Intake);"
    "CREATE INDEX tavrinel_subject_id ON Subject(SubjectID, Level, Name);";

// With the table order copied into a column of its own, the results index can carry SubjectID
// and Marks after it and answer the level, semester and result queries without reading the table
// (a quarter less time per query); without it, the rowid alone keeps the order.
std::string resultIndex(bool hasRowOrder) {
  std::string carried =
      hasRowOrder ? std::string(", ") + kRowOrderColumn + ", SubjectID, Marks" : "";
  return "CREATE INDEX tavrinel_result_student ON StudentResult(StudentID, Semester" + carried +
         ");";
}

class MemoryRows : public QueryRows {
 public:
  MemoryRows(const MemoryDatabase& database, sqlite3_stmt* statement)
      : database_(database), statement_(statement) {}
  ~MemoryRows() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  MemoryRows(const MemoryRows&) = delete;
  MemoryRows& operator=(const MemoryRows&) = delete;

  bool next() override {
    if (done_) {
      return false;
    }
    int status = sqlite3_step(statement_);
    if (status == SQLITE_ROW) {
      onRow_ = true;
      return true;
    }
    done_ = true;
    onRow_ = false;
    if (status != SQLITE_DONE) {
      database_.failWithSqliteMessage();
    }
    return false;
  }

  std::string text(const char* column) override {
    int index = columnIndex(column);
    if (index < 0) {
      database_.fail(std::string("a query has no column ") + column);
    }
    if (!onRow_) {
      return "";
    }
    switch (sqlite3_column_type(statement_, index)) {
      case SQLITE_NULL:
        return "";
      case SQLITE_INTEGER:
        return std::to_string(sqlite3_column_int64(statement_, index));
      case SQLITE_FLOAT:
        return realText(sqlite3_column_double(statement_, index));
      default: {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
        return bytes == nullptr
                   ? ""
                   : std::string(bytes,
                                 static_cast<std::size_t>(sqlite3_column_bytes(statement_, index)));
      }
    }
  }

 private:
  // Fifteen significant digits and no trailing zeros, as Access hands a Double out as text:
  // 72.5 gives "72.5", 100.0 gives "100", 0.00001 gives "1e-05".
  static std::string realText(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
  }

  int columnIndex(const char* name) const {
    int count = sqlite3_column_count(statement_);
    for (int i = 0; i < count; ++i) {
      if (sqlite3_stricmp(sqlite3_column_name(statement_, i), name) == 0) {
        return i;
      }
    }
    return -1;
  }

  const MemoryDatabase& database_;
  sqlite3_stmt* statement_;
  bool done_ = false;
  bool onRow_ = false;
};

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

SqliteDatabase openMemoryDatabase() {
  sqlite3* db = nullptr;
  // URI names let an attached source file be opened read-only and immutable.
  int status = sqlite3_open_v2(
      ":memory:", &db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  SqliteDatabase handle(db);
  if (status != SQLITE_OK) {
    throw std::bad_alloc();  // an in-memory database fails to open only for want of memory
  }
  return handle;
}

bool hasColumn(sqlite3* db, const char* table, const char* column) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, "SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE", -1,
                     &raw, nullptr);
  SqliteStatement statement(raw);
  if (raw == nullptr) {
    return false;
  }
  sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
  sqlite3_bind_text(raw, 2, column, -1, SQLITE_STATIC);
  return sqlite3_step(raw) == SQLITE_ROW;
}

}  // namespace

MemoryDatabase::MemoryDatabase(std::string fileName)
    : fileName_(std::move(fileName)), db_(openMemoryDatabase()) {}

std::unique_ptr<QueryRows> MemoryDatabase::open(const LoaderQuery& query) {
  SqliteStatement& statement = statements_[static_cast<int>(query.kind)];
  if (!statement) {
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db_.get(), referenceQueryText(query.kind), -1, &prepared, nullptr) !=
        SQLITE_OK) {
      failWithSqliteMessage();
    }
    statement.reset(prepared);
  }
  sqlite3_stmt* raw = statement.get();
  switch (query.kind) {
    case QueryKind::kIntakes:
      break;
    case QueryKind::kStudents:
      bindText(raw, 1, query.intake);
      break;
    case QueryKind::kResults:
      sqlite3_bind_int(raw, 3, query.semester);
      [[fallthrough]];
    case QueryKind::kSemesters:
      sqlite3_bind_int(raw, 2, query.level);
      [[fallthrough]];
    case QueryKind::kLevels:
      bindText(raw, 1, query.studentId);
      break;
  }
  return std::make_unique<MemoryRows>(*this, raw);
}

void MemoryDatabase::fail(const std::string& reason) const {
  throw DatabaseError("Cannot read " + fileName_ + ": " + reason);
}

void MemoryDatabase::failWithSqliteMessage() const {
  if (sqlite3_errcode(db_.get()) == SQLITE_NOMEM) {
    throw std::bad_alloc();
  }
  fail(sqlite3_errmsg(db_.get()));
}

void MemoryDatabase::execute(const char* sql) const {
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    failWithSqliteMessage();
  }
}

void MemoryDatabase::finishCopy() const {
  for (const RequiredColumn& required : kRequiredColumns) {
    if (!hasColumn(db_.get(), required.table, required.column)) {
      fail(std::string("column ") + required.column + " of table " + required.table +
           " is missing");
    }
  }
  // An index build sorts in memory only up to the cache size; past SQLite's default of 2 MiB it
  // sorts in pieces through temporary files and merges them, which takes a quarter longer for
  // 100,000 students. The sort's memory is freed when the build ends, below the load's peak.
  execute("PRAGMA cache_size = -262144");
  execute(kIndexes);
  execute(resultIndex(hasColumn(db_.get(), "StudentResult", kRowOrderColumn)).c_str());
}
