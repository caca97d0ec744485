// SQLite's rules for the values the loader's queries compare, order and read, so that the record
// tree can be built from the source tables without running the queries.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "store/tables/source_tables.h"

enum class Collation : std::uint8_t { kBinary, kNoCase, kRtrim };

// The collation of an upper-case name; false for any name but BINARY, NOCASE and RTRIM.
bool parseCollation(const std::string& name, Collation& collation);

inline bool isNumeric(Affinity affinity) {
  return affinity == Affinity::kNumeric || affinity == Affinity::kInteger ||
         affinity == Affinity::kReal;
}

// <0, 0 or >0 as SQLite orders a before, with or after b: NULL first, then numbers by value (an
// integer and a real compared exactly), then texts under the collation, then blobs byte by byte.
// NOCASE folds ASCII letters only; RTRIM ignores trailing spaces.
int compareAnyValues(const Value& a, const Value& b, Collation collation);
inline int compareValues(const Value& a, const Value& b, Collation collation) {
  // The common cases without a call: integers, and texts under BINARY.
  if (a.type == b.type && a.type == ValueType::kInteger) {
    return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
  }
  if (a.type == b.type && a.type == ValueType::kText && collation == Collation::kBinary) {
    return a.bytes.compare(b.bytes);
  }
  return compareAnyValues(a, b, collation);
}

// Turns texts into numbers as SQLite's numeric affinity does: a well-formed integer or real,
// white space around it allowed, becomes a number; any other text stays. SQLite itself parses,
// so that a real comes out as its own, to the last bit.
class NumericParser {
 public:
  NumericParser() = default;
  ~NumericParser();
  NumericParser(const NumericParser&) = delete;
  NumericParser& operator=(const NumericParser&) = delete;

  // The value unchanged unless it is a text that reads as a number. Throws std::bad_alloc.
  Value numeric(const Value& value);
  // SQLite's text of a number, as a TEXT column stores it ("2.0" for the real 2). Throws
  // std::bad_alloc.
  std::string text(const Value& number);

 private:
  void open();

  sqlite3* db_ = nullptr;  // opened on first use: most sources never need it
  sqlite3_stmt* echo_ = nullptr;
  sqlite3_stmt* cast_ = nullptr;
};

// The value as a column of this affinity holds it once stored, and hands it back: a numeric
// column keeps numeric texts as numbers and whole reals as integers, a REAL column hands integers
// back as reals, a NaN is stored as NULL. A TEXT column stores a number as SQLite's text of it,
// which the caller must have ruled out.
Value storedValue(const Value& value, Affinity affinity, NumericParser& parser);

// The affinity SQLite applies to both sides of "column = column": numeric when either column is,
// otherwise none (a TEXT column compared with a BLOB column converts neither).
Affinity columnComparisonAffinity(Affinity left, Affinity right);

// An operand of a comparison whose affinity is affinity: numeric turns numeric texts into
// numbers, TEXT turns numbers into their decimal text (kept in buffer), none leaves it.
Value comparisonOperand(const Value& value, Affinity affinity, NumericParser& parser,
                        std::string& buffer);

// The value as the loader reads a column: an integer in decimal, a real with fifteen significant
// digits ("%.15g"), NULL as "", texts and blobs as their bytes. NUL-terminated: numbers are
// written into buffer, and texts of a SourceColumn are followed by a NUL.
constexpr std::size_t kNumberTextBytes = 32;
std::string_view valueText(const Value& value, char (&buffer)[kNumberTextBytes]);
