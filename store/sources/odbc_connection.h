// A read-only ODBC connection and its statements, the one place that calls the ODBC API.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <vector>

#include "store/sources/odbc_source.h"

// An ODBC handle, freed with its owner.
class OdbcHandle {
 public:
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  ~OdbcHandle();
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;
  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// Connects without prompting, with a login timeout; then asks for a read-only connection and one
// repeatable-read transaction that is rolled back when the connection closes. Every failure is a
// DatabaseError naming the masked connection and the driver's reason on one line.
class OdbcConnection {
 public:
  explicit OdbcConnection(const std::string& connection);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  SQLHDBC handle() const { return database_->get(); }
  // The server's product name as the driver gives it, "PostgreSQL" for example.
  const std::string& dbmsName() const { return dbmsName_; }

  [[noreturn]] void fail(const std::string& reason) const;
  // With the first diagnostic record of the handle as the reason.
  [[noreturn]] void failWith(SQLSMALLINT type, SQLHANDLE handle) const;

 private:
  std::string masked_;
  std::vector<std::string> passwords_;
  OdbcHandle environment_;
  std::unique_ptr<OdbcHandle> database_;
  bool connected_ = false;
  std::string dbmsName_;
};

// One statement handle with a query timeout: prepared once and executed with up to three bound
// values, or run directly. Its rows must be closed before it runs again.
class OdbcStatement {
 public:
  // preparedSql null: a handle for direct statements only.
  OdbcStatement(OdbcConnection& connection, const char* preparedSql);

  void bindText(SQLUSMALLINT index, const std::string& text);
  void bindInteger(SQLUSMALLINT index, int value);
  std::unique_ptr<OdbcRows> execute();
  std::unique_ptr<OdbcRows> executeDirect(const std::string& sql);

  // Fails with the statement's diagnostic unless status is a success or SQL_NO_DATA.
  void check(SQLRETURN status) const;
  SQLHSTMT handle() const { return statement_.get(); }
  OdbcConnection& connection() const { return connection_; }

 private:
  struct Parameter {
    std::u16string text;
    SQLINTEGER number = 0;
    SQLLEN length = 0;
  };
  OdbcConnection& connection_;
  OdbcHandle statement_;
  Parameter parameters_[3];
};

// The password values of a connection string as they stand, and without their braces, so that
// they can be masked in the driver's messages, which may quote the connection.
std::vector<std::string> connectionPasswords(const std::string& connection);

// What a driver reports for a result column, for deciding whether a set-based query may stand
// in for the one-by-one ones.
enum class ColumnKind { kVaryingText, kFixedText, kExactInteger, kOther };
ColumnKind columnKind(const OdbcStatement& statement, int column);
