// An ODBC connection, opened for reading through the wide-character functions only (a Windows
// build and Wine's odbc32 have no others), and the driver's diagnostics in the program's words.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

bool odbcSucceeded(SQLRETURN status);

// Text for the wide functions, and text from them as UTF-8.
SQLWCHAR* odbcWide(std::u16string& text);
std::string odbcNarrow(const SQLWCHAR* units, std::size_t count);

// A driver's message on one line: line breaks and tabs become spaces, runs of spaces one.
std::string oneLine(const std::string& text);

// One ODBC handle, freed with its owner.
class OdbcHandle {
 public:
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  ~OdbcHandle();
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;
  SQLHANDLE get() const { return handle_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// How a driver took a connection string, for a caller that tries several drivers: it opened it
// (and was closed again); it is not there or does not load in this process (the driver
// manager's states IM..., or unixODBC's "Can't open lib" under Wine); or it loaded and refused,
// for reason (its first message, as it gave it).
struct OdbcOpening {
  enum Kind { kOpened, kNoDriver, kRefused } kind = kNoDriver;
  std::string reason;
};
OdbcOpening tryOdbcDriver(const std::string& connection);

// A connection that only reads: read-only where the driver takes it, one transaction of
// repeatable reads, a driver that would hold a whole result asked to stream it. Every failure
// throws DatabaseError "Cannot read <connectionSourceName>: <reason>", the driver's reason on
// one line with the connection's secrets masked; a driver out of memory throws std::bad_alloc.
class OdbcConnection {
 public:
  explicit OdbcConnection(const std::string& connection);
  // Rolls back and disconnects.
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  [[noreturn]] void fail(const std::string& reason) const;
  // Fails with the first few diagnostic records of handle.
  [[noreturn]] void failWith(SQLSMALLINT type, SQLHANDLE handle) const;
  // Fails unless status is success (or no data).
  void check(SQLRETURN status, SQLSMALLINT type, SQLHANDLE handle) const;
  // A statement under the query time limit.
  std::unique_ptr<OdbcHandle> statement() const;
  // Runs sql on a new statement, failing as check does.
  std::unique_ptr<OdbcHandle> execute(const std::string& sql) const;
  // Column `column` of the current row as text, "" for NULL.
  std::string textAt(SQLHSTMT handle, SQLUSMALLINT column) const;
  // Text the driver tells of itself or its server; nothing when it does not say.
  std::optional<std::string> infoText(SQLUSMALLINT info) const;
  // From here on, the tables are read in one transaction, so that they show one state of the data.
  void beginReading();
  // Whether texts come as the connection's own UTF-8 (MariaDB's, where that is UTF-8).
  bool hasUtf8Texts() const { return utf8Texts_; }

 private:
  void connect(const std::string& connection);
  void open(const std::string& connection);
  std::string valueOf(const std::string& sql) const;

  std::string name_;
  std::vector<std::string> secrets_;
  OdbcHandle environment_;
  std::unique_ptr<OdbcHandle> database_;
  bool connected_ = false;
  bool utf8Texts_ = false;
};
