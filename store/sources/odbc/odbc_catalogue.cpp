// The tables as the driver lists them and the connection finds them, their columns, and quoting.
#include "store/sources/odbc/odbc_catalogue.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "store/tables/source_tables.h"
#include "util/ascii_fold.h"
#include "util/utf16_text.h"

namespace {

constexpr const auto& kTableNames = kSourceTableNames;

}  // namespace

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
  return asciiLower(a) == asciiLower(b);
}

OdbcCatalogue::OdbcCatalogue(const OdbcConnection& connection) : connection_(connection) {
  if (std::optional<std::string> quote = connection.infoText(SQL_IDENTIFIER_QUOTE_CHAR)) {
    quote_ = *quote == " " ? "" : *quote;  // a space: the driver quotes no names
  }
}

std::vector<OdbcTable> OdbcCatalogue::findTables() const {
  std::vector<std::vector<OdbcTable>> found = listTables();
  std::vector<OdbcTable> tables;
  for (std::size_t i = 0; i < std::size(kTableNames); ++i) {
    tables.push_back(resolve(found[i], kTableNames[i]));
  }
  return tables;
}

std::string OdbcCatalogue::quoted(const std::string& name) const {
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

std::vector<std::string> OdbcCatalogue::columnNames(const OdbcTable& table) const {
  return table.resolved ? table.columns : catalogColumnNames(table);
}

// Every table the driver lists whose name is one of the three, without regard to case.
std::vector<std::vector<OdbcTable>> OdbcCatalogue::listTables() const {
  std::vector<std::vector<OdbcTable>> found(std::size(kTableNames));
  std::unique_ptr<OdbcHandle> handle = connection_.statement();
  if (!odbcSucceeded(SQLTablesW(handle->get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) {
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
    connection_.check(status, SQL_HANDLE_STMT, handle->get());
    OdbcTable table;
    table.catalog = connection_.textAt(handle->get(), 1);
    table.schema = connection_.textAt(handle->get(), 2);
    table.name = connection_.textAt(handle->get(), 3);
    if (connection_.textAt(handle->get(), 4).find("SYSTEM") != std::string::npos) {
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

// The table the connection itself finds under one of the listed names, the one spelt as the
// loader spells it first.
OdbcTable OdbcCatalogue::resolve(const std::vector<OdbcTable>& listed,
                                 const std::string& name) const {
  if (listed.empty()) {
    connection_.fail("table " + name + " is missing");
  }
  if (listed.size() == 1 && listed.front().schema.empty() && listed.front().catalog.empty()) {
    return listed.front();  // nothing to choose: the name alone, or a driver that lists none
  }
  std::vector<std::string> spellings;
  for (const OdbcTable& table : listed) {
    if (std::find(spellings.begin(), spellings.end(), table.name) == spellings.end()) {
      spellings.insert(table.name == name ? spellings.begin() : spellings.end(), table.name);
    }
  }
  for (const std::string& spelling : spellings) {
    OdbcTable table;
    table.name = spelling;
    if (probe(table)) {
      return table;
    }
  }
  const OdbcTable& elsewhere = listed.front();
  std::string where =
      !elsewhere.schema.empty() ? "schema " + elsewhere.schema : "database " + elsewhere.catalog;
  connection_.fail("table " + name + " is missing (" + where + " holds one, which this " +
                   "connection does not search)");
}

// Whether the connection finds the table by its name alone; if so, its columns are taken from
// an empty result. A failure other than a missing table is the reason the load fails.
bool OdbcCatalogue::probe(OdbcTable& table) const {
  std::unique_ptr<OdbcHandle> handle = connection_.statement();
  std::u16string text = toUtf16("SELECT * FROM " + quoted(table.name) + " WHERE 1 = 0");
  SQLRETURN status =
      SQLExecDirectW(handle->get(), odbcWide(text), static_cast<SQLINTEGER>(text.size()));
  if (!odbcSucceeded(status)) {
    SQLWCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecW(SQL_HANDLE_STMT, handle->get(), 1, state, &nativeError, nullptr, 0, &length);
    std::string code = odbcNarrow(state, 5);
    // 42S02 is ODBC's "no such table", 42P01 PostgreSQL's own.
    if (code == "42S02" || code == "42P01") {
      return false;
    }
    connection_.failWith(SQL_HANDLE_STMT, handle->get());
  }
  table.columns = describedNames(handle->get());
  table.resolved = true;
  return true;
}

// The names of a result's columns.
std::vector<std::string> OdbcCatalogue::describedNames(SQLHSTMT handle) const {
  SQLSMALLINT count = 0;
  connection_.check(SQLNumResultCols(handle, &count), SQL_HANDLE_STMT, handle);
  std::vector<std::string> names;
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT length = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    connection_.check(SQLDescribeColW(handle, static_cast<SQLUSMALLINT>(i), name,
                                      static_cast<SQLSMALLINT>(std::size(name)), &length, &type,
                                      &size, &digits, &nullable),
                      SQL_HANDLE_STMT, handle);
    names.push_back(odbcNarrow(
        name, std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                    std::size(name) - 1)));
  }
  return names;
}

std::vector<std::string> OdbcCatalogue::catalogColumnNames(const OdbcTable& table) const {
  std::unique_ptr<OdbcHandle> handle = connection_.statement();
  std::u16string schema = toUtf16(table.schema);
  std::u16string name = toUtf16(table.name);
  connection_.check(
      SQLColumnsW(handle->get(), nullptr, 0, table.schema.empty() ? nullptr : odbcWide(schema),
                  static_cast<SQLSMALLINT>(schema.size()), odbcWide(name),
                  static_cast<SQLSMALLINT>(name.size()), nullptr, 0),
      SQL_HANDLE_STMT, handle->get());
  std::vector<std::string> names;
  for (;;) {
    SQLRETURN status = SQLFetch(handle->get());
    if (status == SQL_NO_DATA) {
      break;
    }
    connection_.check(status, SQL_HANDLE_STMT, handle->get());
    // A pattern's '_' matches any character: only the table itself counts.
    if (sameNameIgnoringCase(connection_.textAt(handle->get(), 3), table.name)) {
      names.push_back(connection_.textAt(handle->get(), 4));
    }
  }
  return names;
}
