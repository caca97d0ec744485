// Values from a driver's column arrays, with the rules of the Access column of the same kind.
#include "store/sources/odbc/odbc_values.h"

#include <algorithm>
#include <cstdint>

#include "util/utf16_text.h"

namespace {

// Longer texts are cut at this many characters, as the Access reader's libmdb cuts them.
constexpr SQLULEN kMaxTextCharacters = 16383;
// Texts of a type without a length (dates, for example) fit in this.
constexpr SQLULEN kOtherTextUnits = 64;

// The room for a text of the column: a column's size counts characters, and a character outside
// the Basic Multilingual Plane takes two UTF-16 units. A long type's size is the driver's guess
// (psqlODBC's 8190 for TEXT): its texts get room up to the cut.
SQLULEN textUnitsFor(const DescribedColumn& described) {
  const bool unbounded = described.size == 0 || described.size > kMaxTextCharacters ||
                         described.type == SQL_LONGVARCHAR || described.type == SQL_WLONGVARCHAR;
  return 2 * (unbounded ? kMaxTextCharacters : described.size) + 1;
}

// How many of the units a driver put in a text buffer of this capacity (terminator excluded)
// are the text, cut at kMaxTextCharacters characters. A reported length that falls short of the
// terminator is not the end: MariaDB's driver counts some characters (Ø, Ù, Ú, Û) short though
// it hands them all over; one beyond the terminator is a NUL inside the text.
std::size_t textUnits(const char16_t* units, std::size_t capacity, SQLLEN reported) {
  std::size_t length = reported == SQL_NO_TOTAL || reported < 0
                           ? 0
                           : std::min(capacity, static_cast<std::size_t>(reported) / 2);
  while (length < capacity && units[length] != 0) {
    ++length;
  }
  std::size_t characters = 0;
  for (std::size_t i = 0; i < length; ++i, ++characters) {
    if (characters == kMaxTextCharacters) {
      return i;
    }
    if (units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < length) {
      ++i;  // the pair is one character
    }
  }
  return length;
}

// The same for UTF-8 bytes.
std::size_t utf8Bytes(const char* bytes, std::size_t capacity, SQLLEN reported) {
  std::size_t length = reported == SQL_NO_TOTAL || reported < 0
                           ? 0
                           : std::min(capacity, static_cast<std::size_t>(reported));
  while (length < capacity && bytes[length] != 0) {
    ++length;
  }
  std::size_t characters = 0;
  for (std::size_t i = 0; i < length; ++i) {
    // A character starts at every byte but a continuation byte (10xxxxxx).
    if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80 &&
        characters++ == kMaxTextCharacters) {
      return i;
    }
  }
  return length;
}

template <typename Number>
Number numberAt(const char* value) {
  Number number = 0;
  std::copy(value, value + sizeof number, reinterpret_cast<char*>(&number));
  return number;
}

// A number of the column's C type as its SQLite value.
Value numericValue(SQLSMALLINT cType, const char* value) {
  switch (cType) {
    case SQL_C_SLONG:
      return integerValue(numberAt<SQLINTEGER>(value));
    case SQL_C_SBIGINT:
      return integerValue(numberAt<SQLBIGINT>(value));
    case SQL_C_UBIGINT:
      // Past the tree's integers it is held at their bound, as every integer out of range.
      return integerValue(
          static_cast<std::int64_t>(std::min<SQLUBIGINT>(numberAt<SQLUBIGINT>(value), INT64_MAX)));
    default:
      return realValue(numberAt<SQLDOUBLE>(value));
  }
}

}  // namespace

SourceColumn accessRulesFor(const std::string& name, const DescribedColumn& described,
                            bool utf8Texts, FetchedColumn& column) {
  switch (described.type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      // The MDBTools driver converts to no 64-bit integer.
      column.cType = described.isUnsigned ? SQL_C_SBIGINT : SQL_C_SLONG;
      return SourceColumn(name, Affinity::kInteger, "BINARY");
    case SQL_BIGINT:
      column.cType = described.isUnsigned ? SQL_C_UBIGINT : SQL_C_SBIGINT;
      return SourceColumn(name, Affinity::kInteger, "BINARY");
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      column.cType = SQL_C_DOUBLE;
      return SourceColumn(name, Affinity::kReal, "BINARY");
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      column.cType = 0;  // as the Access reader: no text for binary values
      return SourceColumn(name, Affinity::kNone, "BINARY");
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      column.units = textUnitsFor(described);
      if (utf8Texts) {
        column.cType = SQL_C_CHAR;  // up to four bytes a character, as two units take four
        column.units *= 2;
      }
      // Access compares text without regard to case.
      return SourceColumn(name, Affinity::kText, "NOCASE");
    default:  // dates, times, GUIDs: plain text
      column.units = std::max<SQLULEN>(described.size, kOtherTextUnits - 1) + 1;
      column.units = std::min<SQLULEN>(column.units, 2 * kMaxTextCharacters + 1);
      return SourceColumn(name, Affinity::kText, "BINARY");
  }
}

std::size_t valueBytes(const FetchedColumn& column) {
  switch (column.cType) {
    case SQL_C_SLONG:
      return sizeof(SQLINTEGER);
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      return sizeof(SQLBIGINT);
    case SQL_C_DOUBLE:
      return sizeof(SQLDOUBLE);
    case SQL_C_CHAR:
      return column.units;  // here bytes
    case 0:
      return 0;
    default:
      return column.units * sizeof(SQLWCHAR);
  }
}

Value fetchedValue(const FetchedColumn& column, SQLULEN row, Affinity affinity,
                   NumericParser& parser, std::string& text) {
  if (column.cType == 0 || column.indicators[row] == SQL_NULL_DATA) {
    return Value{};
  }
  const char* value = column.values.data() + row * valueBytes(column);
  if (column.cType == SQL_C_CHAR) {
    text.assign(value, utf8Bytes(value, column.units - 1, column.indicators[row]));
    return textValue(text);
  }
  if (column.cType == SQL_C_WCHAR) {
    const auto* units = reinterpret_cast<const char16_t*>(value);
    text.clear();
    appendUtf16(text, units, textUnits(units, column.units - 1, column.indicators[row]));
    return textValue(text);
  }
  return storedValue(numericValue(column.cType, value), affinity, parser);
}
