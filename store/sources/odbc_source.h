// Records on a database server, read through an ODBC driver named in a connection string.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/build/loader_queries.h"

// The connection string with the value of every PWD or Password key (any case, a {braced} value
// included) replaced by "***": the form in which any message names the connection.
std::string maskConnection(const std::string& connection);

// How the loader's queries reach the server.
enum class ServerQueryMethod {
  // The five query texts as prepared statements, executed once per intake, student, level and
  // semester: the answers that define the tree.
  kOneByOne,
  // The intakes and the students of each intake as above (the students come in the server's
  // order for that query, which no other query can be shown to reproduce); the levels and
  // semesters of every student from one query sorted by the server; on PostgreSQL the results
  // too, with the levels and semesters, from one query (see odbc_source.cpp for why each gives
  // the same answers, and when a query falls back to one by one).
  kSetBased,
};

// One open result of a SELECT: every column as text (numbers in decimal digits, a real number
// with 15 significant digits, NULL as ""), by name without regard to case or by position.
// Closing it is destroying it.
class OdbcRows : public QueryRows {
 public:
  virtual int columnCount() const = 0;
  virtual std::string textAt(int column) = 0;
};

// A read-only session with a server. Connecting fails with DatabaseError "Cannot read <masked
// connection>: <the driver's reason>", as does every later failure (a query that cannot run, a
// connection dropped while rows are read). All its queries run in one transaction that is never
// committed, so that a whole load sees one state of the data.
class OdbcSession {
 public:
  explicit OdbcSession(const std::string& connection);
  ~OdbcSession();
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;

  // Runs one SELECT without parameters. Its rows must be closed before the next select.
  std::unique_ptr<OdbcRows> select(const std::string& sql);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The loader's queries answered by the server. Throws DatabaseError when it cannot connect.
std::unique_ptr<LoaderQueries> openServerSource(
    const std::string& connection, ServerQueryMethod method = ServerQueryMethod::kSetBased);

// Loads the records of the server named by an ODBC connection string. Throws DatabaseError.
LoadResult loadRecordTreeFromServer(const std::string& connection,
                                    const LoadProgress& progress = {});
