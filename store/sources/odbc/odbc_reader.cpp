// Reads the three tables through ODBC: the wide-character functions only (a Windows build and
// Wine's odbc32 have no others), rows fetched in blocks into column arrays.
#include "store/sources/odbc/odbc_reader.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/process/reader_limits.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "store/tables/sql_values.h"
#include "util/utf16_text.h"

namespace {

// A server that does not answer must not leave the operator waiting for ever.
constexpr SQLULEN kLoginTimeoutSeconds = 15;
constexpr SQLULEN kQueryTimeoutSeconds = 300;

// Longer texts are cut at this many characters, as the Access reader's libmdb cuts them.
constexpr SQLULEN kMaxTextCharacters = 16383;
// Texts of a type without a length (dates, for example) fit in this.
constexpr SQLULEN kOtherTextUnits = 64;
// One block of rows takes at most about this much memory, and at most this many rows.
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;
constexpr SQLULEN kMaxBlockRows = 1024;

constexpr const char* kTableNames[] = {"Student", "StudentResult", "Subject"};

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR holds UTF-16");

bool succeeded(SQLRETURN status) {
  return status == SQL_SUCCESS || status == SQL_SUCCESS_WITH_INFO;
}

SQLWCHAR* wide(std::u16string& text) {
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

std::string narrow(const SQLWCHAR* units, std::size_t count) {
  std::string text;
  appendUtf16(text, reinterpret_cast<const char16_t*>(units), count);
  return text;
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

// A driver's message on one line: line breaks and tabs become spaces, runs of spaces one.
std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    bool space = static_cast<unsigned char>(c) < 0x20 || c == ' ';
    if (space && (line.empty() || line.back() == ' ')) {
      continue;
    }
    line += space ? ' ' : c;
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == ';')) {
    line.pop_back();
  }
  return line;
}

class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!succeeded(SQLAllocHandle(type, parent, &handle_))) {
      handle_ = SQL_NULL_HANDLE;
    }
  }
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE) {
      SQLFreeHandle(type_, handle_);
    }
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// Where a table is, as the driver lists it.
struct TableName {
  std::string catalog;  // "" where the driver has none
  std::string schema;   // "" where the driver has none
  std::string name;
  // The columns, where the table was found as the connection resolves its name; else they are
  // looked up by catalog function.
  std::vector<std::string> columns;
  bool resolved = false;
};

// How a result column is fetched, and the rules its values keep.
struct FetchedColumn {
  SQLSMALLINT cType =
      SQL_C_WCHAR;           // or SQL_C_[SU]BIGINT, SQL_C_SLONG, SQL_C_DOUBLE; 0: not fetched
  SQLULEN units = 0;         // of a text: the bound width, terminator included
  std::vector<char> values;  // the block's values, column by column
  std::vector<SQLLEN> indicators;
};

class Reader {
 public:
  explicit Reader(const std::string& connection)
      : name_(connectionSourceName(connection)),
        secrets_(connectionSecrets(connection)),
        environment_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    connect(connection);
  }
  ~Reader() {
    if (connected_) {
      SQLEndTran(SQL_HANDLE_DBC, database_->get(), SQL_ROLLBACK);
      SQLDisconnect(database_->get());
    }
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  void read(TableSink& sink) {
    std::vector<std::vector<TableName>> found = listTables();
    std::vector<TableName> tables;
    for (std::size_t i = 0; i < std::size(kTableNames); ++i) {
      tables.push_back(resolve(found[i], kTableNames[i]));
    }
    // The three tables are read in one transaction, so that they show one state of the data. (A
    // probe that failed above would have spoilt it on a server that ends a transaction at an
    // error: the probes ran each on its own.)
    SQLSetConnectAttrW(database_->get(), SQL_ATTR_AUTOCOMMIT,
                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    for (std::size_t i = 0; i < std::size(kTableNames); ++i) {
      readTable(tables[i], static_cast<int>(i), sink);
    }
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    failToRead(name_, maskSecrets(oneLine(reason), secrets_));
  }

  // The first few diagnostic records, each once: a driver may put the cause after its own
  // summary.
  [[noreturn]] void failWith(SQLSMALLINT type, SQLHANDLE handle) const {
    std::string reason;
    for (SQLSMALLINT record = 1; record <= 4; ++record) {
      SQLWCHAR state[6] = {};
      SQLWCHAR message[1024] = {};
      SQLINTEGER nativeError = 0;
      SQLSMALLINT length = 0;
      if (!succeeded(SQLGetDiagRecW(type, handle, record, state, &nativeError, message,
                                    static_cast<SQLSMALLINT>(std::size(message)), &length))) {
        break;
      }
      if (narrow(state, 5) == "HY001") {
        throw std::bad_alloc();
      }
      std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(std::max<int>(length, 0)),
                                                std::size(message) - 1);
      std::string text = oneLine(narrow(message, units));
      if (!text.empty() && reason.find(text) == std::string::npos) {
        reason += (reason.empty() ? "" : "; ") + text;
      }
    }
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (connected_ &&
        succeeded(
            SQLGetConnectAttrW(database_->get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE) {
      reason += (reason.empty() ? "" : "; ") + std::string("the connection to the server was lost");
    }
    fail(reason.empty() ? "the driver gave no reason" : reason);
  }

  void check(SQLRETURN status, SQLSMALLINT type, SQLHANDLE handle) const {
    if (!succeeded(status) && status != SQL_NO_DATA) {
      failWith(type, handle);
    }
  }

  void connect(const std::string& connection) {
    std::string problem = connectionStringProblem(connection);
    if (!problem.empty()) {
      fail(problem);
    }
    if (environment_.get() == SQL_NULL_HANDLE) {
      fail("the ODBC driver manager cannot start");
    }
    SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    database_ = std::make_unique<Handle>(SQL_HANDLE_DBC, environment_.get());
    if (database_->get() == SQL_NULL_HANDLE) {
      failWith(SQL_HANDLE_ENV, environment_.get());
    }
    open(connection);
    // A driver that holds a whole result in memory by default is asked to stream it, unless the
    // connection string says otherwise: once connected, the server's kind tells which it is.
    std::string server = infoText(SQL_DBMS_NAME);
    std::string streaming = streamingOptions(server, connection);
    if (!streaming.empty()) {
      SQLDisconnect(database_->get());
      connected_ = false;
      open(connection + (connection.empty() || connection.back() == ';' ? "" : ";") + streaming);
    }
    // MariaDB's driver turns every text into UTF-16 through a new iconv conversion: where the
    // connection's characters are UTF-8 already, its texts are taken as they come, five times
    // faster.
    utf8Texts_ = (server == "MariaDB" || server == "MySQL") &&
                 valueOf("SELECT @@character_set_results").rfind("utf8", 0) == 0;
    // Only SELECTs run; where the driver takes it, the server refuses any change as well.
    SQLSetConnectAttrW(database_->get(), SQL_ATTR_ACCESS_MODE,
                       reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    SQLSetConnectAttrW(database_->get(), SQL_ATTR_TXN_ISOLATION,
                       reinterpret_cast<SQLPOINTER>(SQL_TXN_REPEATABLE_READ), 0);
    SQLWCHAR quote[8] = {};
    SQLSMALLINT length = 0;
    if (succeeded(SQLGetInfoW(database_->get(), SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote,
                              &length))) {
      quote_ = narrow(
          quote, std::min<std::size_t>(std::size(quote) - 1, static_cast<std::size_t>(length) / 2));
    }
    if (quote_ == " ") {
      quote_.clear();  // the driver quotes no names
    }
  }

  void open(const std::string& connection) {
    SQLSetConnectAttrW(database_->get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
    SQLSetConnectAttrW(database_->get(), SQL_ATTR_CONNECTION_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
    std::u16string text = toUtf16(connection);
    SQLSMALLINT outLength = 0;
    SQLRETURN status = SQLDriverConnectW(database_->get(), nullptr, wide(text),
                                         static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                                         &outLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(status)) {
      failWith(SQL_HANDLE_DBC, database_->get());
    }
    connected_ = true;
  }

  std::string infoText(SQLUSMALLINT info) const {
    SQLWCHAR text[128] = {};
    SQLSMALLINT length = 0;
    if (!succeeded(SQLGetInfoW(database_->get(), info, text, sizeof text, &length))) {
      return "";
    }
    return narrow(
        text, std::min<std::size_t>(
                  std::size(text) - 1,
                  static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR)));
  }

  // The first column of the first row of a query, "" when it fails.
  std::string valueOf(const std::string& sql) const {
    std::unique_ptr<Handle> handle = statement();
    std::u16string text = toUtf16(sql);
    if (!succeeded(
            SQLExecDirectW(handle->get(), wide(text), static_cast<SQLINTEGER>(text.size()))) ||
        !succeeded(SQLFetch(handle->get()))) {
      return "";
    }
    return textAt(handle->get(), 1);
  }

  // The connection string's additions that make the server's driver stream a result: psqlODBC
  // reads through a cursor, a block of rows at a time (it holds every row otherwise: 150 MB for
  // 25,000 students); MariaDB's Connector/ODBC (3.1.17 and later) fetches rows as they come.
  // None where the string sets the key itself.
  static std::string streamingOptions(const std::string& server, const std::string& connection) {
    std::string lower;
    for (char c : connection) {
      lower += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    auto sets = [&lower](const char* key) { return lower.find(key) != std::string::npos; };
    if (server == "PostgreSQL" && !sets("usedeclarefetch") && !sets("fetch=")) {
      return "UseDeclareFetch=1;Fetch=10000";
    }
    if ((server == "MariaDB" || server == "MySQL") && !sets("no_cache") && !sets("streamrs") &&
        !sets("option=")) {
      return "NO_CACHE=1";
    }
    return "";
  }

  std::unique_ptr<Handle> statement() const {
    auto handle = std::make_unique<Handle>(SQL_HANDLE_STMT, database_->get());
    if (handle->get() == SQL_NULL_HANDLE) {
      failWith(SQL_HANDLE_DBC, database_->get());
    }
    SQLSetStmtAttrW(handle->get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
    return handle;
  }

  // Column `column` of the current row as text, "" for NULL.
  std::string textAt(SQLHSTMT handle, SQLUSMALLINT column) const {
    SQLWCHAR buffer[512];
    SQLLEN indicator = 0;
    SQLRETURN status = SQLGetData(handle, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    check(status, SQL_HANDLE_STMT, handle);
    if (status == SQL_NO_DATA || indicator == SQL_NULL_DATA) {
      return "";
    }
    std::size_t units = indicator == SQL_NO_TOTAL || indicator < 0
                            ? std::size(buffer) - 1
                            : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
    return narrow(buffer, std::min(units, std::size(buffer) - 1));
  }

  // Every table the driver lists whose name is one of the three, without regard to case.
  std::vector<std::vector<TableName>> listTables() const {
    std::vector<std::vector<TableName>> found(std::size(kTableNames));
    std::unique_ptr<Handle> handle = statement();
    if (!succeeded(SQLTablesW(handle->get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) {
      // The MDBTools driver lists no tables; it finds them by name without regard to case.
      for (std::size_t i = 0; i < std::size(kTableNames); ++i) {
        found[i].push_back({"", "", kTableNames[i], {}, false});
      }
      return found;
    }
    for (;;) {
      SQLRETURN status = SQLFetch(handle->get());
      if (status == SQL_NO_DATA) {
        break;
      }
      check(status, SQL_HANDLE_STMT, handle->get());
      TableName table;
      table.catalog = textAt(handle->get(), 1);
      table.schema = textAt(handle->get(), 2);
      table.name = textAt(handle->get(), 3);
      std::string type = textAt(handle->get(), 4);
      if (type.find("SYSTEM") != std::string::npos) {
        continue;
      }
      for (std::size_t i = 0; i < std::size(kTableNames); ++i) {
        if (sameNameIgnoringCase(table.name, kTableNames[i])) {
          found[i].push_back(table);
        }
      }
    }
    return found;
  }

  // The table the connection itself finds under one of the listed names (its search path, its
  // current schema or database decide), the one spelt as the loader spells it first. A table
  // that only another schema or database holds is not taken: the reason names where it is.
  TableName resolve(const std::vector<TableName>& listed, const std::string& name) const {
    if (listed.empty()) {
      fail("table " + name + " is missing");
    }
    if (listed.size() == 1 && listed.front().schema.empty() && listed.front().catalog.empty()) {
      return listed.front();  // nothing to choose: the name alone, or a driver that lists none
    }
    std::vector<std::string> spellings;
    for (const TableName& table : listed) {
      if (std::find(spellings.begin(), spellings.end(), table.name) == spellings.end()) {
        spellings.insert(table.name == name ? spellings.begin() : spellings.end(), table.name);
      }
    }
    for (const std::string& spelling : spellings) {
      TableName table;
      table.name = spelling;
      if (probe(table)) {
        return table;
      }
    }
    const TableName& elsewhere = listed.front();
    std::string where =
        !elsewhere.schema.empty() ? "schema " + elsewhere.schema : "database " + elsewhere.catalog;
    fail("table " + name + " is missing (" + where + " holds one, which this connection does " +
         "not search)");
  }

  // Whether the connection finds the table by its name alone; if so, its columns are taken from
  // an empty result. A failure other than a missing table is the reason the load fails.
  bool probe(TableName& table) const {
    std::unique_ptr<Handle> handle = statement();
    std::u16string text = toUtf16("SELECT * FROM " + quoted(table.name) + " WHERE 1 = 0");
    SQLRETURN status =
        SQLExecDirectW(handle->get(), wide(text), static_cast<SQLINTEGER>(text.size()));
    if (!succeeded(status)) {
      SQLWCHAR state[6] = {};
      SQLINTEGER nativeError = 0;
      SQLSMALLINT length = 0;
      SQLGetDiagRecW(SQL_HANDLE_STMT, handle->get(), 1, state, &nativeError, nullptr, 0, &length);
      std::string code = narrow(state, 5);
      // 42S02 is ODBC's "no such table", 42P01 PostgreSQL's own.
      if (code == "42S02" || code == "42P01") {
        return false;
      }
      failWith(SQL_HANDLE_STMT, handle->get());
    }
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(handle->get(), &count), SQL_HANDLE_STMT, handle->get());
    for (SQLSMALLINT i = 1; i <= count; ++i) {
      SQLWCHAR name[256] = {};
      SQLSMALLINT length = 0;
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      check(SQLDescribeColW(handle->get(), static_cast<SQLUSMALLINT>(i), name,
                            static_cast<SQLSMALLINT>(std::size(name)), &length, &type, &size,
                            &digits, &nullable),
            SQL_HANDLE_STMT, handle->get());
      table.columns.push_back(narrow(
          name, std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                      std::size(name) - 1)));
    }
    table.resolved = true;
    return true;
  }

  std::string quoted(const std::string& name) const {
    if (quote_.empty()) {
      return name;
    }
    std::string text = quote_;
    for (char c : name) {
      text += c;
      if (quote_.size() == 1 && c == quote_[0]) {
        text += c;
      }
    }
    return text + quote_;
  }

  std::vector<std::string> columnNames(const TableName& table) const {
    std::unique_ptr<Handle> handle = statement();
    std::u16string schema = toUtf16(table.schema);
    std::u16string name = toUtf16(table.name);
    check(SQLColumnsW(handle->get(), nullptr, 0, table.schema.empty() ? nullptr : wide(schema),
                      static_cast<SQLSMALLINT>(schema.size()), wide(name),
                      static_cast<SQLSMALLINT>(name.size()), nullptr, 0),
          SQL_HANDLE_STMT, handle->get());
    std::vector<std::string> names;
    for (;;) {
      SQLRETURN status = SQLFetch(handle->get());
      if (status == SQL_NO_DATA) {
        break;
      }
      check(status, SQL_HANDLE_STMT, handle->get());
      // A pattern's '_' matches any character: only the table itself counts.
      if (sameNameIgnoringCase(textAt(handle->get(), 3), table.name)) {
        names.push_back(textAt(handle->get(), 4));
      }
    }
    return names;
  }

  void readTable(const TableName& from, int index, TableSink& sink) {
    const char* tableName = kTableNames[index];
    SourceTable table;
    table.name = tableName;
    table.columnNames = from.resolved ? from.columns : columnNames(from);
    if (table.columnNames.empty()) {
      fail(std::string("table ") + tableName + " is missing");
    }
    std::vector<std::string> selected;
    for (const char* required : requiredColumns(tableName)) {
      const std::string* match = nullptr;
      for (const std::string& column : table.columnNames) {
        if (column == required || (match == nullptr && sameNameIgnoringCase(column, required))) {
          match = &column;
        }
      }
      if (match == nullptr) {
        fail(std::string("column ") + required + " of table " + tableName + " is missing");
      }
      selected.push_back(*match);
    }
    std::string sql = "SELECT ";
    for (const std::string& column : selected) {
      sql += (&column == &selected.front() ? "" : ", ") + quoted(column);
    }
    sql += " FROM " + (from.schema.empty() ? "" : quoted(from.schema) + ".") + quoted(from.name);
    std::unique_ptr<Handle> handle = statement();
    std::u16string text = toUtf16(sql);
    check(SQLExecDirectW(handle->get(), wide(text), static_cast<SQLINTEGER>(text.size())),
          SQL_HANDLE_STMT, handle->get());
    std::vector<FetchedColumn> fetched(selected.size());
    for (std::size_t i = 0; i < selected.size(); ++i) {
      table.columns.push_back(describe(handle->get(), i, selected[i], fetched[i]));
    }
    std::vector<Affinity> affinities;
    for (const SourceColumn& column : table.columns) {
      affinities.push_back(column.affinity());
    }
    sink.beginTable(index, std::move(table), 0);
    fetchRows(handle->get(), fetched, affinities, sink);
    sink.endTable();
  }

  // The rules of an Access column of the same kind of type, and how its values are fetched.
  SourceColumn describe(SQLHSTMT handle, std::size_t index, const std::string& name,
                        FetchedColumn& column) const {
    SQLWCHAR ignored[256];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    check(SQLDescribeColW(handle, static_cast<SQLUSMALLINT>(index + 1), ignored,
                          static_cast<SQLSMALLINT>(std::size(ignored)), &nameLength, &type, &size,
                          &digits, &nullable),
          SQL_HANDLE_STMT, handle);
    // MariaDB's INT UNSIGNED and BIGINT UNSIGNED would wrap to negative numbers if read signed.
    SQLLEN isUnsigned = SQL_FALSE;
    bool unsignedColumn =
        (type == SQL_INTEGER || type == SQL_BIGINT) &&
        succeeded(SQLColAttributeW(handle, static_cast<SQLUSMALLINT>(index + 1), SQL_DESC_UNSIGNED,
                                   nullptr, 0, nullptr, &isUnsigned)) &&
        isUnsigned == SQL_TRUE;
    switch (type) {
      case SQL_BIT:
      case SQL_TINYINT:
      case SQL_SMALLINT:
      case SQL_INTEGER:
        // The MDBTools driver converts to no 64-bit integer.
        column.cType = unsignedColumn ? SQL_C_SBIGINT : SQL_C_SLONG;
        return SourceColumn(name, Affinity::kInteger, "BINARY");
      case SQL_BIGINT:
        column.cType = unsignedColumn ? SQL_C_UBIGINT : SQL_C_SBIGINT;
        return SourceColumn(name, Affinity::kInteger, "BINARY");
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
      case SQL_NUMERIC:
      case SQL_DECIMAL:
        column.cType = SQL_C_DOUBLE;
        return SourceColumn(name, Affinity::kReal, "BINARY");
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        column.cType = 0;  // as the Access reader: no text for binary values
        return SourceColumn(name, Affinity::kNone, "BINARY");
      case SQL_CHAR:
      case SQL_VARCHAR:
      case SQL_LONGVARCHAR:
      case SQL_WCHAR:
      case SQL_WVARCHAR:
      case SQL_WLONGVARCHAR:
        // A column's size counts characters, and a character outside the Basic Multilingual
        // Plane takes two UTF-16 units. A long type's size is the driver's guess (psqlODBC's
        // 8190 for TEXT): its texts get room up to the cut.
        column.units = 2 * (size == 0 || size > kMaxTextCharacters || type == SQL_LONGVARCHAR ||
                                    type == SQL_WLONGVARCHAR
                                ? kMaxTextCharacters
                                : size) +
                       1;
        if (utf8Texts_) {
          column.cType = SQL_C_CHAR;  // up to four bytes a character, as two units take four
          column.units *= 2;
        }
        // Access compares text without regard to case.
        return SourceColumn(name, Affinity::kText, "NOCASE");
      default:  // dates, times, GUIDs: plain text
        column.units = std::max<SQLULEN>(size, kOtherTextUnits - 1) + 1;
        column.units = std::min<SQLULEN>(column.units, 2 * kMaxTextCharacters + 1);
        return SourceColumn(name, Affinity::kText, "BINARY");
    }
  }

  static std::size_t valueBytes(const FetchedColumn& column) {
    switch (column.cType) {
      case SQL_C_SLONG:
        return sizeof(SQLINTEGER);
      case SQL_C_SBIGINT:
      case SQL_C_UBIGINT:
        return sizeof(SQLBIGINT);
      case SQL_C_DOUBLE:
        return sizeof(SQLDOUBLE);
      case SQL_C_CHAR:
        return column.units;  // here bytes
      case 0:
        return 0;
      default:
        return column.units * sizeof(SQLWCHAR);
    }
  }

  void fetchRows(SQLHSTMT handle, std::vector<FetchedColumn>& fetched,
                 const std::vector<Affinity>& affinities, TableSink& sink) const {
    std::size_t rowBytes = sizeof(SQLLEN);
    for (const FetchedColumn& column : fetched) {
      rowBytes += valueBytes(column) + sizeof(SQLLEN);
    }
    SQLULEN rows = std::clamp<SQLULEN>(kBlockBytes / rowBytes, 1, kMaxBlockRows);
    // A driver that fetches one row at a time says so, or changes the size it was given.
    if (!succeeded(SQLSetStmtAttrW(handle, SQL_ATTR_ROW_BIND_TYPE,
                                   reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
        !succeeded(SQLSetStmtAttrW(handle, SQL_ATTR_ROW_ARRAY_SIZE,
                                   reinterpret_cast<SQLPOINTER>(rows), 0)) ||
        !succeeded(SQLGetStmtAttrW(handle, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr)) ||
        rows < 1) {
      rows = 1;
      SQLSetStmtAttrW(handle, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
    }
    SQLULEN rowsFetched = 0;
    bool counted = succeeded(SQLSetStmtAttrW(handle, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched, 0));
    for (std::size_t i = 0; i < fetched.size(); ++i) {
      FetchedColumn& column = fetched[i];
      if (column.cType == 0) {
        continue;
      }
      column.values.resize(valueBytes(column) * rows);
      column.indicators.resize(rows);
      check(SQLBindCol(handle, static_cast<SQLUSMALLINT>(i + 1), column.cType, column.values.data(),
                       static_cast<SQLLEN>(valueBytes(column)), column.indicators.data()),
            SQL_HANDLE_STMT, handle);
    }
    NumericParser parser;
    std::vector<std::string> texts(fetched.size());
    std::vector<Value> values(fetched.size());
    for (;;) {
      rowsFetched = 0;
      // The MDBTools driver leaves a NULL's indicator and value as the row before left them.
      for (FetchedColumn& column : fetched) {
        std::fill(column.indicators.begin(), column.indicators.end(), SQL_NULL_DATA);
      }
      SQLRETURN status = SQLFetch(handle);
      if (status == SQL_NO_DATA) {
        break;
      }
      check(status, SQL_HANDLE_STMT, handle);
      SQLULEN count = counted ? rowsFetched : 1;
      for (SQLULEN row = 0; row < count && row < rows; ++row) {
        for (std::size_t i = 0; i < fetched.size(); ++i) {
          values[i] = valueOf(fetched[i], row, affinities[i], parser, texts[i]);
        }
        sink.addRow(values.data());
      }
    }
  }

  // How many of the units a driver put in a text buffer of this capacity (terminator excluded)
  // are the text, cut at kMaxTextCharacters characters. A reported length that falls short of
  // the terminator is not the end: MariaDB's driver counts some characters (Ø, Ù, Ú, Û) short
  // though it hands them all over; one beyond the terminator is a NUL inside the text.
  static std::size_t textUnits(const char16_t* units, std::size_t capacity, SQLLEN reported) {
    std::size_t length = reported == SQL_NO_TOTAL || reported < 0
                             ? 0
                             : std::min(capacity, static_cast<std::size_t>(reported) / 2);
    while (length < capacity && units[length] != 0) {
      ++length;
    }
    std::size_t characters = 0;
    for (std::size_t i = 0; i < length; ++i, ++characters) {
      if (characters == kMaxTextCharacters) {
        return i;
      }
      if (units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < length) {
        ++i;  // the pair is one character
      }
    }
    return length;
  }

  // The same for UTF-8 bytes.
  static std::size_t utf8Bytes(const char* bytes, std::size_t capacity, SQLLEN reported) {
    std::size_t length = reported == SQL_NO_TOTAL || reported < 0
                             ? 0
                             : std::min(capacity, static_cast<std::size_t>(reported));
    while (length < capacity && bytes[length] != 0) {
      ++length;
    }
    std::size_t characters = 0;
    for (std::size_t i = 0; i < length; ++i) {
      // A character starts at every byte but a continuation byte (10xxxxxx).
      if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80 &&
          characters++ == kMaxTextCharacters) {
        return i;
      }
    }
    return length;
  }

  // The value of the column in the row of the block, as a column of this affinity stores it;
  // a text is put in text.
  static Value valueOf(const FetchedColumn& column, SQLULEN row, Affinity affinity,
                       NumericParser& parser, std::string& text) {
    if (column.cType == 0 || column.indicators[row] == SQL_NULL_DATA) {
      return Value{};
    }
    const char* value = column.values.data() + row * valueBytes(column);
    switch (column.cType) {
      case SQL_C_SLONG: {
        SQLINTEGER integer = 0;
        std::copy(value, value + sizeof integer, reinterpret_cast<char*>(&integer));
        return storedValue(integerValue(integer), affinity, parser);
      }
      case SQL_C_SBIGINT: {
        SQLBIGINT integer = 0;
        std::copy(value, value + sizeof integer, reinterpret_cast<char*>(&integer));
        return storedValue(integerValue(integer), affinity, parser);
      }
      case SQL_C_UBIGINT: {
        // Past the tree's integers it is held at their bound, as every integer out of range.
        SQLUBIGINT integer = 0;
        std::copy(value, value + sizeof integer, reinterpret_cast<char*>(&integer));
        return storedValue(
            integerValue(static_cast<std::int64_t>(std::min<SQLUBIGINT>(integer, INT64_MAX))),
            affinity, parser);
      }
      case SQL_C_DOUBLE: {
        SQLDOUBLE real = 0;
        std::copy(value, value + sizeof real, reinterpret_cast<char*>(&real));
        return storedValue(realValue(real), affinity, parser);
      }
      case SQL_C_CHAR: {
        text.assign(value, utf8Bytes(value, column.units - 1, column.indicators[row]));
        return textValue(text);
      }
      default: {
        const auto* units = reinterpret_cast<const char16_t*>(value);
        text.clear();
        appendUtf16(text, units, textUnits(units, column.units - 1, column.indicators[row]));
        return textValue(text);
      }
    }
  }

  std::string name_;
  std::vector<std::string> secrets_;
  Handle environment_;
  std::unique_ptr<Handle> database_;
  bool connected_ = false;
  bool utf8Texts_ = false;  // texts fetched as the connection's UTF-8
  std::string quote_ = "\"";
};

}  // namespace

void readOdbcTables(const std::string& connection, TableSink& sink) {
  Reader(connection).read(sink);
}

std::string odbcFailureReason(const std::string& message, const std::string& connection) {
  const std::string prefix = "Cannot read " + connectionSourceName(connection) + ": ";
  return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

namespace {

int runOdbcReader(const std::vector<std::string>&, const std::string& connection, int outputFd) {
  return sendOdbcTables(connection, outputFd);
}

}  // namespace

const ReaderRole kOdbcReaderRole{"--internal-odbc-reader", 0, runOdbcReader};

SourceTables readOdbcTables(const std::string& connection) {
  const ReaderLimits limits = odbcReaderLimits();
  return readTablesInReader(
      kOdbcReaderRole, {}, limits, connectionSourceName(connection),
      [&limits](const ReaderEnd& end) { return odbcReaderFailure(end, limits); }, connection);
}

std::string odbcReaderFailure(const ReaderEnd& end, const ReaderLimits& limits) {
  if (end.fellSilent) {
    return "the server stopped answering (nothing came for " +
           std::to_string(limits.silence.count()) + " s)";
  }
  return readerFailure(end, limits);
}

int sendOdbcTables(const std::string& connection, int fd,
                   const std::function<std::string(const std::string&)>& told) {
  RowStreamWriter out(fd);
  TableStreamWriter tables(out);
  try {
    // Each row goes to the program as it is fetched.
    readOdbcTables(connection, tables);
    tables.finish();
  } catch (const DatabaseError& error) {
    // "Cannot read <connection>: <reason>": the reason goes back; the program names the source.
    const std::string reason = odbcFailureReason(error.what(), connection);
    tables.refuse(told ? told(reason) : reason);
  }
  return 0;
}
