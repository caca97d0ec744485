// A read-only ODBC connection and its statements, the one place that calls the ODBC API.
#include "store/sources/odbc_connection.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <new>

#include "store/database_error.h"
#include "store/sources/utf16_text.h"

namespace {

// A server that does not answer must not leave the operator waiting for ever: a connection
// attempt gives up after this, and so does a query (the largest one reads every result row).
constexpr SQLULEN kLoginTimeoutSeconds = 15;
constexpr SQLULEN kQueryTimeoutSeconds = 300;

bool isWordCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// A password of four characters or more is masked wherever it shows; a shorter one only where
// it stands as a word of its own, so that "p" does not turn "port" into "***ort".
std::string maskPassword(std::string text, const std::string& password) {
  for (std::size_t at = text.find(password); !password.empty() && at != std::string::npos;
       at = text.find(password, at + 1)) {
    std::size_t end = at + password.size();
    bool word = (at == 0 || !isWordCharacter(text[at - 1])) &&
                (end == text.size() || !isWordCharacter(text[end]));
    if (password.size() >= 4 || word) {
      text.replace(at, password.size(), "***");
    }
  }
  return text;
}

// A driver's message on one line: line breaks and tabs become spaces, runs of spaces one.
std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
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

// unixODBC's SQLWCHAR is UTF-16 in an unsigned short.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR holds UTF-16");
const char16_t* asUtf16(const SQLWCHAR* units) {
  return reinterpret_cast<const char16_t*>(units);
}

bool succeeded(SQLRETURN status) {
  return status == SQL_SUCCESS || status == SQL_SUCCESS_WITH_INFO;
}

class StatementRows : public OdbcRows {
 public:
  explicit StatementRows(OdbcStatement& statement) : statement_(statement) {
    SQLSMALLINT count = 0;
    statement_.check(SQLNumResultCols(statement_.handle(), &count));
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
      SQLCHAR name[256] = {};
      SQLSMALLINT nameLength = 0;
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      statement_.check(SQLDescribeCol(statement_.handle(), i, name, sizeof name, &nameLength, &type,
                                      &size, &digits, &nullable));
      columns_.push_back({reinterpret_cast<const char*>(name), fetchFor(type)});
    }
  }
  ~StatementRows() override { SQLFreeStmt(statement_.handle(), SQL_CLOSE); }
  StatementRows(const StatementRows&) = delete;
  StatementRows& operator=(const StatementRows&) = delete;

  bool next() override {
    if (done_) {
      return false;
    }
    SQLRETURN status = SQLFetch(statement_.handle());
    if (status == SQL_NO_DATA) {
      done_ = true;
      return false;
    }
    statement_.check(status);
    return true;
  }

  std::string text(const char* column) override {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (strcasecmp(columns_[i].name.c_str(), column) == 0) {
        return textAt(static_cast<int>(i));
      }
    }
    statement_.connection().fail(std::string("a query has no column ") + column);
  }

  int columnCount() const override { return static_cast<int>(columns_.size()); }

  std::string textAt(int column) override {
    auto number = static_cast<SQLUSMALLINT>(column + 1);
    SQLLEN indicator = 0;
    switch (columns_[static_cast<std::size_t>(column)].fetch) {
      case Fetch::kInteger: {
        SQLBIGINT value = 0;
        statement_.check(SQLGetData(statement_.handle(), number, SQL_C_SBIGINT, &value,
                                    sizeof value, &indicator));
        return indicator == SQL_NULL_DATA ? "" : std::to_string(value);
      }
      case Fetch::kReal: {
        double value = 0;
        statement_.check(SQLGetData(statement_.handle(), number, SQL_C_DOUBLE, &value, sizeof value,
                                    &indicator));
        if (indicator == SQL_NULL_DATA) {
          return "";
        }
        // Fifteen significant digits, as the file sources give a real number.
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
        return buffer;
      }
      case Fetch::kText:
        return fetchText(number);
    }
    return "";
  }

 private:
  enum class Fetch { kText, kInteger, kReal };
  struct Column {
    std::string name;
    Fetch fetch;
  };

  static Fetch fetchFor(SQLSMALLINT type) {
    switch (type) {
      case SQL_TINYINT:
      case SQL_SMALLINT:
      case SQL_INTEGER:
      case SQL_BIGINT:
        return Fetch::kInteger;
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
        return Fetch::kReal;
      default:
        return Fetch::kText;
    }
  }

  // A long text comes in pieces: each call fills the buffer, terminator included, until the
  // last one.
  std::string fetchText(SQLUSMALLINT number) {
    std::string text;
    SQLWCHAR buffer[512];
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN status =
          SQLGetData(statement_.handle(), number, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
      if (status == SQL_NO_DATA || indicator == SQL_NULL_DATA) {
        return text;
      }
      statement_.check(status);
      std::size_t capacity = std::size(buffer) - 1;
      std::size_t units = indicator == SQL_NO_TOTAL || indicator < 0
                              ? capacity
                              : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
      appendUtf16(text, asUtf16(buffer), std::min(units, capacity));
      if (status == SQL_SUCCESS || units <= capacity) {
        return text;
      }
    }
  }

  OdbcStatement& statement_;
  std::vector<Column> columns_;
  bool done_ = false;
};

}  // namespace

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  if (!succeeded(SQLAllocHandle(type, parent, &handle_))) {
    handle_ = SQL_NULL_HANDLE;
  }
}

OdbcHandle::~OdbcHandle() {
  if (handle_ != SQL_NULL_HANDLE) {
    SQLFreeHandle(type_, handle_);
  }
}

OdbcConnection::OdbcConnection(const std::string& connection)
    : masked_(maskConnection(connection)),
      passwords_(connectionPasswords(connection)),
      environment_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
  if (environment_.get() == SQL_NULL_HANDLE) {
    fail("the ODBC driver manager cannot start");
  }
  SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  database_ = std::make_unique<OdbcHandle>(SQL_HANDLE_DBC, environment_.get());
  if (database_->get() == SQL_NULL_HANDLE) {
    failWith(environment_.type(), environment_.get());
  }
  SQLSetConnectAttr(database_->get(), SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
  SQLSetConnectAttr(database_->get(), SQL_ATTR_CONNECTION_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
  std::u16string wide = toUtf16(connection);
  SQLSMALLINT outLength = 0;
  SQLRETURN status = SQLDriverConnectW(
      database_->get(), nullptr, reinterpret_cast<SQLWCHAR*>(wide.data()),
      static_cast<SQLSMALLINT>(wide.size()), nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
  if (!succeeded(status)) {
    failWith(SQL_HANDLE_DBC, database_->get());
  }
  connected_ = true;
  // Where the driver supports it the server itself refuses any change; the load runs only
  // SELECTs anyway. One transaction sees one snapshot of the data, and is rolled back at the end.
  SQLSetConnectAttr(database_->get(), SQL_ATTR_ACCESS_MODE,
                    reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
  SQLSetConnectAttr(database_->get(), SQL_ATTR_TXN_ISOLATION,
                    reinterpret_cast<SQLPOINTER>(SQL_TXN_REPEATABLE_READ), 0);
  SQLSetConnectAttr(database_->get(), SQL_ATTR_AUTOCOMMIT,
                    reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  char name[128] = {};
  SQLSMALLINT nameLength = 0;
  if (succeeded(SQLGetInfo(database_->get(), SQL_DBMS_NAME, name, sizeof name, &nameLength))) {
    dbmsName_ = name;
  }
  if (dbmsName_ == "PostgreSQL") {
    // psqlODBC takes SQL_ATTR_ACCESS_MODE without passing it on; the server's own setting makes
    // this transaction, and any later one of the session, refuse every change.
    OdbcStatement statement(*this, nullptr);
    statement.executeDirect(
        "SELECT set_config('default_transaction_read_only', 'on', false),"
        " set_config('transaction_read_only', 'on', true)");
  }
}

OdbcConnection::~OdbcConnection() {
  if (connected_) {
    SQLEndTran(SQL_HANDLE_DBC, database_->get(), SQL_ROLLBACK);
    SQLDisconnect(database_->get());
  }
  database_.reset();
}

void OdbcConnection::fail(const std::string& reason) const {
  std::string safe = oneLine(reason);
  for (const std::string& password : passwords_) {
    safe = maskPassword(safe, password);
  }
  failToRead(masked_, safe);
}

void OdbcConnection::failWith(SQLSMALLINT type, SQLHANDLE handle) const {
  // A driver may put the cause after its own summary ("internal SAVEPOINT failed", then the
  // server's words on the dropped connection): the first few records, each once.
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
    std::string stateText;
    appendUtf16(stateText, asUtf16(state), 5);
    if (stateText == "HY001") {
      throw std::bad_alloc();
    }
    std::string text;
    appendUtf16(text, asUtf16(message),
                std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                      std::size(message) - 1));
    text = oneLine(text);
    if (!text.empty() && reason.find(text) == std::string::npos) {
      reason += (reason.empty() ? "" : "; ") + text;
    }
  }
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (connected_ &&
      succeeded(SQLGetConnectAttr(database_->get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
      dead == SQL_CD_TRUE) {
    reason += (reason.empty() ? "" : "; ") + std::string("the connection to the server was lost");
  }
  fail(reason.empty() ? "the driver gave no reason" : reason);
}

OdbcStatement::OdbcStatement(OdbcConnection& connection, const char* preparedSql)
    : connection_(connection), statement_(SQL_HANDLE_STMT, connection.handle()) {
  if (statement_.get() == SQL_NULL_HANDLE) {
    connection_.failWith(SQL_HANDLE_DBC, connection.handle());
  }
  SQLSetStmtAttr(statement_.get(), SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
  if (preparedSql != nullptr) {
    std::u16string wide = toUtf16(preparedSql);
    check(SQLPrepareW(statement_.get(), reinterpret_cast<SQLWCHAR*>(wide.data()),
                      static_cast<SQLINTEGER>(wide.size())));
  }
}

void OdbcStatement::bindText(SQLUSMALLINT index, const std::string& text) {
  Parameter& parameter = parameters_[index - 1];
  parameter.text = toUtf16(text);
  parameter.length = static_cast<SQLLEN>(parameter.text.size() * sizeof(char16_t));
  SQLULEN size = parameter.text.empty() ? 1 : parameter.text.size();
  check(SQLBindParameter(statement_.get(), index, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, size,
                         0, parameter.text.data(), parameter.length, &parameter.length));
}

void OdbcStatement::bindInteger(SQLUSMALLINT index, int value) {
  Parameter& parameter = parameters_[index - 1];
  parameter.number = value;
  check(SQLBindParameter(statement_.get(), index, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                         &parameter.number, 0, nullptr));
}

void OdbcStatement::check(SQLRETURN status) const {
  if (!succeeded(status) && status != SQL_NO_DATA) {
    connection_.failWith(SQL_HANDLE_STMT, statement_.get());
  }
}

std::unique_ptr<OdbcRows> OdbcStatement::execute() {
  check(SQLExecute(statement_.get()));
  return std::make_unique<StatementRows>(*this);
}

std::unique_ptr<OdbcRows> OdbcStatement::executeDirect(const std::string& sql) {
  std::u16string wide = toUtf16(sql);
  check(SQLExecDirectW(statement_.get(), reinterpret_cast<SQLWCHAR*>(wide.data()),
                       static_cast<SQLINTEGER>(wide.size())));
  return std::make_unique<StatementRows>(*this);
}

ColumnKind columnKind(const OdbcStatement& statement, int column) {
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = 0;
  SQLSMALLINT nameLength = 0;
  SQLCHAR name[256] = {};
  statement.check(SQLDescribeCol(statement.handle(), static_cast<SQLUSMALLINT>(column + 1), name,
                                 sizeof name, &nameLength, &type, &size, &digits, &nullable));
  switch (type) {
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return ColumnKind::kVaryingText;
    case SQL_CHAR:
    case SQL_WCHAR:
      return ColumnKind::kFixedText;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ColumnKind::kExactInteger;
    default:
      return ColumnKind::kOther;
  }
}
