// Describing a table's result and fetching it in blocks of column arrays.
#include "store/sources/odbc/odbc_fetch.h"

#include <algorithm>
#include <iterator>

#include "store/sources/odbc/odbc_values.h"
#include "store/tables/source_tables.h"

namespace {

constexpr const auto& kTableNames = kSourceTableNames;

// One block of rows takes at most about this much memory, and at most this many rows.
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;
constexpr SQLULEN kMaxBlockRows = 1024;

// The columns of the table that the loader needs, as the table spells them: the one spelt as
// the loader spells it, else the first that matches without regard to case.
std::vector<std::string> selectedColumns(const OdbcConnection& connection,
                                         const std::vector<std::string>& columnNames,
                                         const char* tableName) {
  std::vector<std::string> selected;
  for (const char* required : requiredColumns(tableName)) {
    const std::string* match = nullptr;
    for (const std::string& column : columnNames) {
      if (column == required || (match == nullptr && sameNameIgnoringCase(column, required))) {
        match = &column;
      }
    }
    if (match == nullptr) {
      connection.fail(std::string("column ") + required + " of table " + tableName + " is missing");
    }
    selected.push_back(*match);
  }
  return selected;
}

DescribedColumn describe(const OdbcConnection& connection, SQLHSTMT handle, std::size_t index) {
  SQLWCHAR ignored[256];
  SQLSMALLINT nameLength = 0;
  DescribedColumn described;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = 0;
  const auto number = static_cast<SQLUSMALLINT>(index + 1);
  connection.check(
      SQLDescribeColW(handle, number, ignored, static_cast<SQLSMALLINT>(std::size(ignored)),
                      &nameLength, &described.type, &described.size, &digits, &nullable),
      SQL_HANDLE_STMT, handle);
  // MariaDB's INT UNSIGNED and BIGINT UNSIGNED would wrap to negative numbers if read signed.
  SQLLEN isUnsigned = SQL_FALSE;
  described.isUnsigned = (described.type == SQL_INTEGER || described.type == SQL_BIGINT) &&
                         odbcSucceeded(SQLColAttributeW(handle, number, SQL_DESC_UNSIGNED, nullptr,
                                                        0, nullptr, &isUnsigned)) &&
                         isUnsigned == SQL_TRUE;
  return described;
}

// Asks for blocks of rows as large as the memory allows; returns the rows a block holds (a
// driver that fetches one row at a time says so, or changes the size it was given).
SQLULEN setBlockRows(SQLHSTMT handle, const std::vector<FetchedColumn>& fetched) {
  std::size_t rowBytes = sizeof(SQLLEN);
  for (const FetchedColumn& column : fetched) {
    rowBytes += valueBytes(column) + sizeof(SQLLEN);
  }
  SQLULEN rows = std::clamp<SQLULEN>(kBlockBytes / rowBytes, 1, kMaxBlockRows);
  if (!odbcSucceeded(SQLSetStmtAttrW(handle, SQL_ATTR_ROW_BIND_TYPE,
                                     reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
      !odbcSucceeded(SQLSetStmtAttrW(handle, SQL_ATTR_ROW_ARRAY_SIZE,
                                     reinterpret_cast<SQLPOINTER>(rows), 0)) ||
      !odbcSucceeded(SQLGetStmtAttrW(handle, SQL_ATTR_ROW_ARRAY_SIZE, &rows, 0, nullptr)) ||
      rows < 1) {
    rows = 1;
    SQLSetStmtAttrW(handle, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
  }
  return rows;
}

void bindColumns(const OdbcConnection& connection, SQLHSTMT handle,
                 std::vector<FetchedColumn>& fetched, SQLULEN rows) {
  for (std::size_t i = 0; i < fetched.size(); ++i) {
    FetchedColumn& column = fetched[i];
    if (column.cType == 0) {
      continue;
    }
    column.values.resize(valueBytes(column) * rows);
    column.indicators.resize(rows);
    connection.check(
        SQLBindCol(handle, static_cast<SQLUSMALLINT>(i + 1), column.cType, column.values.data(),
                   static_cast<SQLLEN>(valueBytes(column)), column.indicators.data()),
        SQL_HANDLE_STMT, handle);
  }
}

void fetchRows(const OdbcConnection& connection, SQLHSTMT handle,
               std::vector<FetchedColumn>& fetched, const std::vector<Affinity>& affinities,
               TableSink& sink) {
  SQLULEN rows = setBlockRows(handle, fetched);
  SQLULEN rowsFetched = 0;
  bool counted = odbcSucceeded(SQLSetStmtAttrW(handle, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched, 0));
  bindColumns(connection, handle, fetched, rows);
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
    connection.check(status, SQL_HANDLE_STMT, handle);
    SQLULEN count = counted ? rowsFetched : 1;
    for (SQLULEN row = 0; row < count && row < rows; ++row) {
      for (std::size_t i = 0; i < fetched.size(); ++i) {
        values[i] = fetchedValue(fetched[i], row, affinities[i], parser, texts[i]);
      }
      sink.addRow(values.data());
    }
  }
}

}  // namespace

void fetchOdbcTable(const OdbcConnection& connection, const OdbcCatalogue& catalogue,
                    const OdbcTable& from, int index, TableSink& sink) {
  const char* tableName = kTableNames[index];
  SourceTable table;
  table.name = tableName;
  table.columnNames = catalogue.columnNames(from);
  if (table.columnNames.empty()) {
    connection.fail(std::string("table ") + tableName + " is missing");
  }
  std::vector<std::string> selected = selectedColumns(connection, table.columnNames, tableName);
  std::string sql = "SELECT ";
  for (const std::string& column : selected) {
    sql += (&column == &selected.front() ? "" : ", ") + catalogue.quoted(column);
  }
  sql += " FROM " + (from.schema.empty() ? "" : catalogue.quoted(from.schema) + ".") +
         catalogue.quoted(from.name);
  std::unique_ptr<OdbcHandle> handle = connection.execute(sql);
  std::vector<FetchedColumn> fetched(selected.size());
  std::vector<Affinity> affinities;
  for (std::size_t i = 0; i < selected.size(); ++i) {
    const DescribedColumn described = describe(connection, handle->get(), i);
    table.columns.push_back(
        accessRulesFor(selected[i], described, connection.hasUtf8Texts(), fetched[i]));
    affinities.push_back(table.columns.back().affinity());
  }
  sink.beginTable(index, std::move(table), 0);
  fetchRows(connection, handle->get(), fetched, affinities, sink);
  sink.endTable();
}
