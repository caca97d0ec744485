#include "store/assembly/tree_queries.h"

#include <climits>

std::string ambiguousColumn(const SourceTables& tables, QueryKind kind) {
  if (kind != QueryKind::kLevels && kind != QueryKind::kSemesters && kind != QueryKind::kResults) {
    return "";
  }
  struct Unqualified {
    const char* column;
    bool inLevelQuery;
  };
  for (Unqualified name : {Unqualified{"StudentID", true}, Unqualified{"Level", false},
                           Unqualified{"Semester", false}}) {
    if ((name.inLevelQuery || kind != QueryKind::kLevels) &&
        hasColumn(tables.studentResult, name.column) && hasColumn(tables.subject, name.column)) {
      return std::string("column ") + name.column + " is in both StudentResult and Subject";
    }
  }
  return "";
}

int parseNumber(const std::string& text) {
  return parseNumber(text.c_str());
}

int parseNumber(const char* text) {
  const char* c = text;
  while (*c == ' ' || (*c >= '\t' && *c <= '\r')) {
    ++c;
  }
  bool negative = *c == '-';
  if (*c == '-' || *c == '+') {
    ++c;
  }
  long long value = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    // Past the 32-bit range the value only needs to stay there: clamp instead of overflowing.
    value = value * 10 + (*c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;
    }
  }
  value = negative ? -value : value;
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
