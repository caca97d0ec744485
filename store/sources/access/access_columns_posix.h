// The columns of an Access table as libmdb describes them, for the libmdb reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/tables/source_tables.h"

// What a value of an Access type becomes: the column types that keep today's tree.
enum class ValueKind { kInteger, kReal, kText, kNone };
ValueKind kindOf(int accessType);

// The rules of a column of that Access type.
SourceColumn makeColumn(const std::string& name, int accessType);

struct ColumnHeader {
  std::uint8_t accessType = 0;
  std::string name;
};

enum class ColumnProblem { kNone, kNoColumns, kUnnamed, kTwoOfOneName, kMissing };

// Which columns of a table are the required ones, or what keeps them from being found.
struct ColumnCheck {
  ColumnProblem problem = ColumnProblem::kNone;
  const char* missing = nullptr;     // the required column not found
  std::vector<std::size_t> indexes;  // of the required columns, in requiredColumns() order
};
ColumnCheck checkColumns(const std::vector<ColumnHeader>& columns, const char* table);

// The reason a table's columns cannot be read, or "".
std::string columnProblem(const std::string& table, const ColumnCheck& check);
