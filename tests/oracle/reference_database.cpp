// The five query texts run on SQLite over a copy of the source tables.
#include "oracle/reference_database.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "store/database_error.h"
#include "store/sources/sqlite/sqlite_handles.h"
#include "store/tables/sql_values.h"

namespace {

// A column of the copy of StudentResult that numbers its rows in table order, so that an index
// can carry the columns the queries read after it and still hand rows out in table order. No
// query names it.
constexpr const char* kRowNumberColumn = "reference_row_number";

const char* declaredType(Affinity affinity) {
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

std::string numberText(const Value& value) {
  char buffer[kNumberTextBytes];
  return std::string(valueText(value, buffer));
}

// Fifteen significant digits and no trailing zeros, as Access hands a Double out as text.
std::string text(sqlite3_stmt* statement, int index) {
  switch (sqlite3_column_type(statement, index)) {
    case SQLITE_NULL:
      return "";
    case SQLITE_INTEGER:
      return numberText(integerValue(sqlite3_column_int64(statement, index)));
    case SQLITE_FLOAT:
      return numberText(realValue(sqlite3_column_double(statement, index)));
    default: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, index));
      return bytes == nullptr
                 ? ""
                 : std::string(bytes,
                               static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
    }
  }
}

void bindValue(sqlite3_stmt* statement, int index, const Value& value,
               sqlite3_destructor_type bytes) {
  const auto size = static_cast<int>(value.bytes.size());
  switch (value.type) {
    case ValueType::kNull:
      sqlite3_bind_null(statement, index);
      break;
    case ValueType::kInteger:
      sqlite3_bind_int64(statement, index, value.integer);
      break;
    case ValueType::kReal:
      sqlite3_bind_double(statement, index, value.real);
      break;
    case ValueType::kText:
      sqlite3_bind_text(statement, index, value.bytes.data(), size, bytes);
      break;
    case ValueType::kBlob:
      sqlite3_bind_blob(statement, index, value.bytes.data(), size, bytes);
      break;
  }
}

}  // namespace

struct ReferenceDatabase::Connection {
  std::string source;
  SqliteDatabase db;
  SqliteStatement statements[5];  // one per query kind, prepared when first asked
  std::string ambiguous[5];

  [[noreturn]] void fail(const std::string& reason) const { failToRead(source, reason); }

  [[noreturn]] void failWithSqliteMessage() const {
    if (sqlite3_errcode(db.get()) == SQLITE_NOMEM) {
      throw std::bad_alloc();
    }
    fail(sqlite3_errmsg(db.get()));
  }

  void execute(const std::string& sql) const {
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      failWithSqliteMessage();
    }
  }

  SqliteStatement prepare(const std::string& sql) const {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      failWithSqliteMessage();
    }
    return SqliteStatement(statement);
  }

  std::string columnDefinition(const SourceTable& table, const SourceColumn& column,
                               std::size_t index, const SourceTables& tables) const;
  void copyTable(const SourceTable& table, const SourceTables& tables) const;
};

std::string ReferenceDatabase::Connection::columnDefinition(const SourceTable& table,
                                                            const SourceColumn& column,
                                                            std::size_t index,
                                                            const SourceTables& tables) const {
  const char* name = requiredColumns(table.name)[index];
  Affinity affinity = column.affinity();
  std::string collation = column.collation();
  if (&table == &tables.subject && index == kSubjectId) {
    // Subject.SubjectID is only ever compared with StudentResult.SubjectID, under that column's
    // collation, and converted to a number when that column is numeric. Declared so, it takes
    // the same conversion when stored, and its index can serve the join; otherwise SQLite would
    // be free to run the join the other way round, and results would come in subject order.
    const SourceColumn& left = tables.studentResult.columns[kResultSubjectId];
    collation = left.collation();
    if (isNumeric(left.affinity()) && !isNumeric(affinity)) {
      affinity = Affinity::kNumeric;
    }
  }
  Collation known;
  if (!parseCollation(collation, known)) {
    // A collation of its own that a file declares on a column no query compares changes nothing.
    if (!isComparedColumn(table, index)) {
      collation = "BINARY";
    } else {
      fail("column " + std::string(name) + " of table " + table.name + " uses collation " +
           collation + ", which is not one of BINARY, NOCASE and RTRIM");
    }
  }
  return quotedIdentifier(name) + " " + declaredType(affinity) + " COLLATE " + collation;
}

void ReferenceDatabase::Connection::copyTable(const SourceTable& table,
                                              const SourceTables& tables) const {
  std::string create = "CREATE TABLE " + quotedIdentifier(table.name) + " (";
  std::string insert = "INSERT INTO " + quotedIdentifier(table.name) + " VALUES (";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    create += (i == 0 ? "" : ", ") + columnDefinition(table, table.columns[i], i, tables);
    insert += i == 0 ? "?" : ", ?";
  }
  bool numbered = &table == &tables.studentResult;
  if (numbered) {
    create += std::string(", ") + kRowNumberColumn + " INTEGER";
    insert += ", ?";
  }
  execute(create + ")");
  SqliteStatement statement = prepare(insert + ")");
  sqlite3_stmt* raw = statement.get();
  // Rows go in in table order, so rowid order is table order.
  for (std::size_t row = 0; row < table.rows(); ++row) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      // The rows' bytes live as long as the tables, past the insert.
      bindValue(raw, static_cast<int>(i + 1), table.columns[i].at(row), SQLITE_STATIC);
    }
    if (numbered) {
      sqlite3_bind_int64(raw, static_cast<int>(table.columns.size() + 1),
                         static_cast<sqlite3_int64>(row));
    }
    if (sqlite3_step(raw) != SQLITE_DONE) {
      failWithSqliteMessage();
    }
    sqlite3_reset(raw);
  }
}

namespace {

class ReferenceRows : public QueryRows {
 public:
  ReferenceRows(const ReferenceDatabase::Connection& connection, sqlite3_stmt* statement)
      : connection_(connection), statement_(statement) {}
  ~ReferenceRows() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  ReferenceRows(const ReferenceRows&) = delete;
  ReferenceRows& operator=(const ReferenceRows&) = delete;

  bool next() override {
    if (done_) {
      return false;
    }
    int status = sqlite3_step(statement_);
    onRow_ = status == SQLITE_ROW;
    done_ = !onRow_;
    if (done_ && status != SQLITE_DONE) {
      connection_.failWithSqliteMessage();
    }
    return onRow_;
  }

  std::string text(const char* column) override {
    const int i = indexOf(column);
    return onRow_ ? ::text(statement_, i) : "";
  }

  HeldValue value(const char* column) override {
    const int i = indexOf(column);
    HeldValue held;
    if (!onRow_) {
      return held;
    }
    switch (sqlite3_column_type(statement_, i)) {
      case SQLITE_INTEGER:
        held.type = ValueType::kInteger;
        held.integer = sqlite3_column_int64(statement_, i);
        break;
      case SQLITE_FLOAT:
        held.type = ValueType::kReal;
        held.real = sqlite3_column_double(statement_, i);
        break;
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        held.type =
            sqlite3_column_type(statement_, i) == SQLITE_TEXT ? ValueType::kText : ValueType::kBlob;
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, i));
        held.bytes.assign(bytes == nullptr ? "" : bytes,
                          static_cast<std::size_t>(sqlite3_column_bytes(statement_, i)));
        break;
      }
      default:
        break;
    }
    return held;
  }

 private:
  const ReferenceDatabase::Connection& connection_;
  sqlite3_stmt* statement_;
  bool done_ = false;
  bool onRow_ = false;

  int indexOf(const char* column) const {
    int count = sqlite3_column_count(statement_);
    for (int i = 0; i < count; ++i) {
      if (sqlite3_stricmp(sqlite3_column_name(statement_, i), column) == 0) {
        return i;
      }
    }
    connection_.fail(std::string("a query has no column ") + column);
  }
};

void bindText(sqlite3_stmt* statement, int index, const std::string& value) {
  sqlite3_bind_text(statement, index, value.data(), static_cast<int>(value.size()),
                    SQLITE_TRANSIENT);
}

void bindHeld(sqlite3_stmt* statement, int index, const HeldValue& held) {
  Value value;
  value.type = held.type;
  value.integer = held.integer;
  value.real = held.real;
  value.bytes = held.bytes;
  bindValue(statement, index, value, SQLITE_TRANSIENT);
}

}  // namespace

ReferenceDatabase::ReferenceDatabase(const SourceTables& tables, std::string source)
    : connection_(std::make_unique<Connection>()) {
  Connection& c = *connection_;
  c.source = std::move(source);
  std::string malformed = malformedTables(tables);
  if (!malformed.empty()) {
    c.fail(malformed);
  }
  sqlite3* db = nullptr;
  int status =
      sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  c.db.reset(db);
  if (status != SQLITE_OK) {
    throw std::bad_alloc();  // an in-memory database fails to open only for want of memory
  }
  for (QueryKind kind : {QueryKind::kLevels, QueryKind::kSemesters, QueryKind::kResults}) {
    c.ambiguous[static_cast<int>(kind)] = ambiguousColumn(tables, kind);
  }
  // Index builds sort in memory up to the cache size, and through temporary files past it.
  c.execute("PRAGMA cache_size = -262144");
  c.execute("BEGIN");
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    c.copyTable(*table, tables);
  }
  // An index lists equal keys in rowid order, so a lookup on a key that ends where a query's
  // conditions do hands out table order: the students of an intake, the subjects of a result
  // (the inner loop). A student's results (the outer loop) come in the order of their row
  // numbers, and the index holds all the queries read of them.
  c.execute(
      "CREATE INDEX reference_student_intake ON Student(Intake);"
      "CREATE INDEX reference_result_student ON StudentResult(StudentID, reference_row_number, "
      "SubjectID, Semester, Marks);"
      "CREATE INDEX reference_subject_id ON Subject(SubjectID);"
      "COMMIT");
}

ReferenceDatabase::~ReferenceDatabase() = default;

std::unique_ptr<QueryRows> ReferenceDatabase::open(const LoaderQuery& query) {
  Connection& c = *connection_;
  int kind = static_cast<int>(query.kind);
  if (!c.ambiguous[kind].empty()) {
    c.fail(c.ambiguous[kind]);
  }
  SqliteStatement& statement = c.statements[kind];
  if (!statement) {
    statement = c.prepare(referenceQueryText(query.kind));
  }
  sqlite3_stmt* raw = statement.get();
  switch (query.kind) {
    case QueryKind::kIntakes:
      break;
    case QueryKind::kStudents:
      bindHeld(raw, 1, query.intakeValue);
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
  return std::make_unique<ReferenceRows>(c, raw);
}

std::string ReferenceDatabase::queryPlan(QueryKind kind) {
  SqliteStatement explain =
      connection_->prepare(std::string("EXPLAIN QUERY PLAN ") + referenceQueryText(kind));
  std::string plan;
  while (sqlite3_step(explain.get()) == SQLITE_ROW) {
    const auto* detail = reinterpret_cast<const char*>(sqlite3_column_text(explain.get(), 3));
    plan += std::string(detail == nullptr ? "" : detail) + "\n";
  }
  return plan;
}
