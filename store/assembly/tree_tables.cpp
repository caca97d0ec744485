// The source tables as the record tree's queries see them, before any row is grouped.
#include "store/assembly/tree_tables.h"

#include <utility>

#include "store/database_error.h"
#include "store/tables/sql_values.h"

namespace {

bool holdsNumbers(const SourceColumn& column) {
  if (column.affinity() != Affinity::kText) {
    return false;
  }
  for (std::size_t row = 0; row < column.size(); ++row) {
    ValueType type = column.typeAt(row);
    if (type == ValueType::kInteger || type == ValueType::kReal) {
      return true;
    }
  }
  return false;
}

}  // namespace

void refuseUnknownCollations(const SourceTables& tables, const std::string& source) {
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
      Collation collation;
      const std::string& name = table->columns[i].collation();
      if (!parseCollation(name, collation) && isComparedColumn(*table, i)) {
        failToRead(source, "column " + std::string(requiredColumns(table->name)[i]) + " of table " +
                               table->name + " uses collation " + name +
                               ", which is not one of BINARY, NOCASE and RTRIM");
      }
    }
  }
}

bool anyHoldsNumbers(const SourceTables& tables) {
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    for (const SourceColumn& column : table->columns) {
      if (holdsNumbers(column)) {
        return true;
      }
    }
  }
  return false;
}

SourceTables withNumbersAsText(const SourceTables& tables) {
  NumericParser parser;
  SourceTables copy;
  for (auto [from, to] : {std::pair{&tables.student, &copy.student},
                          std::pair{&tables.studentResult, &copy.studentResult},
                          std::pair{&tables.subject, &copy.subject}}) {
    to->name = from->name;
    to->columnNames = from->columnNames;
    for (const SourceColumn& column : from->columns) {
      SourceColumn& made =
          to->columns.emplace_back(column.name(), column.affinity(), column.collation());
      made.reserve(column.size());
      const bool convert = holdsNumbers(column);
      for (std::size_t row = 0; row < column.size(); ++row) {
        Value value = column.at(row);
        if (convert && (value.type == ValueType::kInteger || value.type == ValueType::kReal)) {
          made.appendText(parser.text(value));
        } else {
          made.append(value);
        }
      }
    }
  }
  return copy;
}
