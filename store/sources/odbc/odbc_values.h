// The values of an ODBC result as an Access file's columns would hold them.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <string>
#include <vector>

#include "store/tables/source_tables.h"
#include "store/tables/sql_values.h"

// How a result column is fetched, and the rules its values keep.
struct FetchedColumn {
  SQLSMALLINT cType =
      SQL_C_WCHAR;           // or SQL_C_[SU]BIGINT, SQL_C_SLONG, SQL_C_DOUBLE; 0: not fetched
  SQLULEN units = 0;         // of a text: the bound width, terminator included
  std::vector<char> values;  // the block's values, column by column
  std::vector<SQLLEN> indicators;
};

// A result column as the driver describes it.
struct DescribedColumn {
  SQLSMALLINT type = 0;  // the SQL type
  SQLULEN size = 0;
  bool isUnsigned = false;
};

// The rules of an Access column of the same kind of type, and how its values are fetched into
// column: whole numbers as integers, other numbers as reals, texts compared without regard to
// case, binary values not at all. utf8Texts: the connection's texts come as UTF-8.
SourceColumn accessRulesFor(const std::string& name, const DescribedColumn& described,
                            bool utf8Texts, FetchedColumn& column);

// The bytes one value of the column takes in a block.
std::size_t valueBytes(const FetchedColumn& column);

// The value of the column in the row of the block, as a column of this affinity stores it; a
// text is put in text, which the value then points into.
Value fetchedValue(const FetchedColumn& column, SQLULEN row, Affinity affinity,
                   NumericParser& parser, std::string& text);
