// Where the three tables are, as the connection finds them, and names quoted as its driver asks.
#pragma once

#include <string>
#include <vector>

#include "store/sources/odbc/odbc_connection.h"

// Where a table is, as the driver lists it.
struct OdbcTable {
  std::string catalog;  // "" where the driver has none
  std::string schema;   // "" where the driver has none
  std::string name;
  // The columns, where the table was found as the connection resolves its name; else they are
  // looked up by catalog function.
  std::vector<std::string> columns;
  bool resolved = false;
};

class OdbcCatalogue {
 public:
  // Asks the driver how it quotes names.
  explicit OdbcCatalogue(const OdbcConnection& connection);

  // The tables Student, StudentResult and Subject, in that order: each the one the connection
  // itself finds under one of the listed names that match it without regard to case (its
  // search path, its current schema or database decide). A table that only another schema or
  // database holds is not taken. Fails through the connection, naming where a table is.
  std::vector<OdbcTable> findTables() const;
  // The table's column names, as found or by catalog function.
  std::vector<std::string> columnNames(const OdbcTable& table) const;
  // A name as the driver quotes it: "name", `name`, or as it is.
  std::string quoted(const std::string& name) const;

 private:
  std::vector<std::vector<OdbcTable>> listTables() const;
  OdbcTable resolve(const std::vector<OdbcTable>& listed, const std::string& name) const;
  bool probe(OdbcTable& table) const;
  std::vector<std::string> describedNames(SQLHSTMT handle) const;
  std::vector<std::string> catalogColumnNames(const OdbcTable& table) const;

  const OdbcConnection& connection_;
  std::string quote_ = "\"";
};

// Whether two names are the same but for the case of ASCII letters.
bool sameNameIgnoringCase(const std::string& a, const std::string& b);
