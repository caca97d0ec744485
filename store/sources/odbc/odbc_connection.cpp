// The connection and what its driver says: connecting, streaming, read-only, diagnostics.
#include "store/sources/odbc/odbc_connection.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "store/database_error.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "util/utf16_text.h"

namespace {

// A server that does not answer must not leave the operator waiting for ever.
constexpr SQLULEN kLoginTimeoutSeconds = 15;
constexpr SQLULEN kQueryTimeoutSeconds = 300;

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR holds UTF-16");

// The connection string's additions that make the server's driver stream a result: psqlODBC
// reads through a cursor, a block of rows at a time (it holds every row otherwise: 150 MB for
// 25,000 students); MariaDB's Connector/ODBC (3.1.17 and later) fetches rows as they come.
// None where the string sets the key itself.
std::string streamingOptions(const std::string& server, const std::string& connection) {
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

// The first diagnostic record of handle: its state and message; false when there is none.
bool diagnosticOf(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, std::string& state,
                  std::string& message) {
  SQLWCHAR code[6] = {};
  SQLWCHAR text[1024] = {};
  SQLINTEGER nativeError = 0;
  SQLSMALLINT length = 0;
  if (!odbcSucceeded(SQLGetDiagRecW(type, handle, record, code, &nativeError, text,
                                    static_cast<SQLSMALLINT>(std::size(text)), &length))) {
    return false;
  }
  state = odbcNarrow(code, 5);
  message =
      odbcNarrow(text, std::min<std::size_t>(static_cast<std::size_t>(std::max<int>(length, 0)),
                                             std::size(text) - 1));
  return true;
}

}  // namespace

bool odbcSucceeded(SQLRETURN status) {
  return status == SQL_SUCCESS || status == SQL_SUCCESS_WITH_INFO;
}

SQLWCHAR* odbcWide(std::u16string& text) {
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

std::string odbcNarrow(const SQLWCHAR* units, std::size_t count) {
  std::string text;
  appendUtf16(text, reinterpret_cast<const char16_t*>(units), count);
  return text;
}

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

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  if (!odbcSucceeded(SQLAllocHandle(type, parent, &handle_))) {
    handle_ = SQL_NULL_HANDLE;
  }
}

OdbcHandle::~OdbcHandle() {
  if (handle_ != SQL_NULL_HANDLE) {
    SQLFreeHandle(type_, handle_);
  }
}

OdbcOpening tryOdbcDriver(const std::string& connection) {
  OdbcOpening opening;
  OdbcHandle environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  if (environment.get() == SQL_NULL_HANDLE) {
    return opening;
  }
  SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  OdbcHandle database(SQL_HANDLE_DBC, environment.get());
  if (database.get() == SQL_NULL_HANDLE) {
    return opening;
  }
  std::u16string text = toUtf16(connection);
  SQLSMALLINT outLength = 0;
  if (odbcSucceeded(SQLDriverConnectW(database.get(), nullptr, odbcWide(text), SQL_NTS, nullptr, 0,
                                      &outLength, SQL_DRIVER_NOPROMPT))) {
    opening.kind = OdbcOpening::kOpened;
    SQLDisconnect(database.get());
    return opening;
  }
  bool driverMissing = false;
  std::string state;
  std::string said;
  for (SQLSMALLINT record = 1; record <= 4; ++record) {
    if (!diagnosticOf(SQL_HANDLE_DBC, database.get(), record, state, said)) {
      break;
    }
    driverMissing = driverMissing || state.rfind("IM", 0) == 0 ||
                    said.find("Can't open lib") != std::string::npos;
    if (opening.reason.empty()) {
      opening.reason = said;
    }
  }
  opening.kind = driverMissing ? OdbcOpening::kNoDriver : OdbcOpening::kRefused;
  return opening;
}

OdbcConnection::OdbcConnection(const std::string& connection)
    : name_(connectionSourceName(connection)),
      secrets_(connectionSecrets(connection)),
      environment_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
  connect(connection);
}

OdbcConnection::~OdbcConnection() {
  if (connected_) {
    SQLEndTran(SQL_HANDLE_DBC, database_->get(), SQL_ROLLBACK);
    SQLDisconnect(database_->get());
  }
}

void OdbcConnection::fail(const std::string& reason) const {
  failToRead(name_, maskSecrets(oneLine(reason), secrets_));
}

// The first few diagnostic records, each once: a driver may put the cause after its own summary.
void OdbcConnection::failWith(SQLSMALLINT type, SQLHANDLE handle) const {
  std::string reason;
  std::string state;
  std::string message;
  for (SQLSMALLINT record = 1; record <= 4 && diagnosticOf(type, handle, record, state, message);
       ++record) {
    if (state == "HY001") {
      throw std::bad_alloc();
    }
    std::string text = oneLine(message);
    if (!text.empty() && reason.find(text) == std::string::npos) {
      reason += (reason.empty() ? "" : "; ") + text;
    }
  }
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (connected_ &&
      odbcSucceeded(
          SQLGetConnectAttrW(database_->get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
      dead == SQL_CD_TRUE) {
    reason += (reason.empty() ? "" : "; ") + std::string("the connection to the server was lost");
  }
  fail(reason.empty() ? "the driver gave no reason" : reason);
}

void OdbcConnection::check(SQLRETURN status, SQLSMALLINT type, SQLHANDLE handle) const {
  if (!odbcSucceeded(status) && status != SQL_NO_DATA) {
    failWith(type, handle);
  }
}

void OdbcConnection::connect(const std::string& connection) {
  std::string problem = connectionStringProblem(connection);
  if (!problem.empty()) {
    fail(problem);
  }
  if (environment_.get() == SQL_NULL_HANDLE) {
    fail("the ODBC driver manager cannot start");
  }
  SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  database_ = std::make_unique<OdbcHandle>(SQL_HANDLE_DBC, environment_.get());
  if (database_->get() == SQL_NULL_HANDLE) {
    failWith(SQL_HANDLE_ENV, environment_.get());
  }
  open(connection);
  // A driver that holds a whole result in memory by default is asked to stream it, unless the
  // connection string says otherwise: once connected, the server's kind tells which it is.
  std::string server = infoText(SQL_DBMS_NAME).value_or("");
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
}

void OdbcConnection::open(const std::string& connection) {
  SQLSetConnectAttrW(database_->get(), SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
  SQLSetConnectAttrW(database_->get(), SQL_ATTR_CONNECTION_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
  std::u16string text = toUtf16(connection);
  SQLSMALLINT outLength = 0;
  SQLRETURN status = SQLDriverConnectW(database_->get(), nullptr, odbcWide(text),
                                       static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                                       &outLength, SQL_DRIVER_NOPROMPT);
  if (!odbcSucceeded(status)) {
    failWith(SQL_HANDLE_DBC, database_->get());
  }
  connected_ = true;
}

void OdbcConnection::beginReading() {
  // (A probe that failed before this would have spoilt the transaction on a server that ends one
  // at an error: the probes ran each on its own.)
  SQLSetConnectAttrW(database_->get(), SQL_ATTR_AUTOCOMMIT,
                     reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
}

std::optional<std::string> OdbcConnection::infoText(SQLUSMALLINT info) const {
  SQLWCHAR text[128] = {};
  SQLSMALLINT length = 0;
  if (!odbcSucceeded(SQLGetInfoW(database_->get(), info, text, sizeof text, &length))) {
    return std::nullopt;
  }
  return odbcNarrow(
      text, std::min<std::size_t>(
                std::size(text) - 1,
                static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(SQLWCHAR)));
}

// The first column of the first row of a query, "" when it fails.
std::string OdbcConnection::valueOf(const std::string& sql) const {
  std::unique_ptr<OdbcHandle> handle = statement();
  std::u16string text = toUtf16(sql);
  if (!odbcSucceeded(
          SQLExecDirectW(handle->get(), odbcWide(text), static_cast<SQLINTEGER>(text.size()))) ||
      !odbcSucceeded(SQLFetch(handle->get()))) {
    return "";
  }
  return textAt(handle->get(), 1);
}

std::unique_ptr<OdbcHandle> OdbcConnection::statement() const {
  auto handle = std::make_unique<OdbcHandle>(SQL_HANDLE_STMT, database_->get());
  if (handle->get() == SQL_NULL_HANDLE) {
    failWith(SQL_HANDLE_DBC, database_->get());
  }
  SQLSetStmtAttrW(handle->get(), SQL_ATTR_QUERY_TIMEOUT,
                  reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
  return handle;
}

std::unique_ptr<OdbcHandle> OdbcConnection::execute(const std::string& sql) const {
  std::unique_ptr<OdbcHandle> handle = statement();
  std::u16string text = toUtf16(sql);
  check(SQLExecDirectW(handle->get(), odbcWide(text), static_cast<SQLINTEGER>(text.size())),
        SQL_HANDLE_STMT, handle->get());
  return handle;
}

std::string OdbcConnection::textAt(SQLHSTMT handle, SQLUSMALLINT column) const {
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
  return odbcNarrow(buffer, std::min(units, std::size(buffer) - 1));
}
