// What the five queries that define the record tree fix beyond grouping rows: when a query names a
// column that both joined tables have, and how a column's text becomes a number.
#pragma once

#include <string>

#include "store/tables/source_tables.h"

enum class QueryKind {
  kIntakes,    // no values
  kStudents,   // intake
  kLevels,     // studentId
  kSemesters,  // studentId, level
  kResults,    // studentId, level, semester
};

// Why a query kind fails on these tables because it names a column without its table and both
// tables of its join have that column ("column Level is in both StudentResult and Subject"), or
// "" when it does not. Only the queries of levels, semesters and results join.
std::string ambiguousColumn(const SourceTables& tables, QueryKind kind);

// The atoi-style parse of a column text: leading white space, an optional sign, digits; 0 when
// there are none; clamped to the 32-bit range instead of overflowing.
int parseNumber(const std::string& text);
int parseNumber(const char* text);
