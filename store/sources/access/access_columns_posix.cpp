// The columns of an Access table as libmdb describes them: the rules each keeps, and which are
// the required ones.
#include "store/sources/access/access_columns_posix.h"

// mdbtools.h includes glib inside extern "C", which C++ headers in glib reject: include it first.
#include <glib.h>
#include <mdbtools.h>

#include <unordered_set>

#include "store/sources/access/access_reader.h"
#include "util/ascii_fold.h"

ValueKind kindOf(int accessType) {
  switch (accessType) {
    case MDB_BOOL:  // as 0 and 1 (mdb_set_boolean_fmt_numbers)
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      return ValueKind::kInteger;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
      return ValueKind::kReal;
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_DATETIME:
    case MDB_REPID:
      return ValueKind::kText;
    default:  // OLE objects, binary and complex columns: libmdb hands out no text for them
      return ValueKind::kNone;
  }
}

SourceColumn makeColumn(const std::string& name, int accessType) {
  switch (kindOf(accessType)) {
    case ValueKind::kInteger:
      return SourceColumn(name, Affinity::kInteger, "BINARY");
    case ValueKind::kReal:
      return SourceColumn(name, Affinity::kReal, "BINARY");
    case ValueKind::kText:
      // Access compares text without regard to case; dates and replication IDs are plain text.
      return SourceColumn(name, Affinity::kText,
                          accessType == MDB_TEXT || accessType == MDB_MEMO ? "NOCASE" : "BINARY");
    case ValueKind::kNone:
      break;
  }
  return SourceColumn(name, Affinity::kNone, "BINARY");
}

ColumnCheck checkColumns(const std::vector<ColumnHeader>& columns, const char* table) {
  ColumnCheck check;
  if (columns.empty()) {
    check.problem = ColumnProblem::kNoColumns;
    return check;
  }
  std::unordered_set<std::string> names;
  for (const ColumnHeader& column : columns) {
    if (column.name.empty()) {
      check.problem = ColumnProblem::kUnnamed;
      return check;
    }
    if (!names.insert(asciiLower(column.name)).second) {
      check.problem = ColumnProblem::kTwoOfOneName;
      return check;
    }
  }
  for (const char* required : requiredColumns(table)) {
    std::size_t i = 0;
    while (i < columns.size() && g_ascii_strcasecmp(columns[i].name.c_str(), required) != 0) {
      ++i;
    }
    if (i == columns.size()) {
      check.problem = ColumnProblem::kMissing;
      check.missing = required;
      return check;
    }
    check.indexes.push_back(i);
  }
  return check;
}

// The reason a table's columns cannot be read, or "".
std::string columnProblem(const std::string& table, const ColumnCheck& check) {
  switch (check.problem) {
    case ColumnProblem::kNone:
      break;
    case ColumnProblem::kNoColumns:
      return accessFileDamaged("table " + table + " has no columns");
    case ColumnProblem::kUnnamed:
      return accessFileDamaged("a column of table " + table + " has no name");
    case ColumnProblem::kTwoOfOneName:
      return accessFileDamaged("table " + table + " has two columns of the same name");
    case ColumnProblem::kMissing:
      return std::string("column ") + check.missing + " of table " + table + " is missing";
  }
  return "";
}
