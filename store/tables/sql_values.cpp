// SQLite's comparison, affinity and text rules for single values.
#include "store/tables/sql_values.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "util/ascii_fold.h"

namespace {

int lengthDifference(std::size_t a, std::size_t b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

int compareBinary(std::string_view a, std::string_view b) {
  std::size_t common = a.size() < b.size() ? a.size() : b.size();
  int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  return order != 0 ? order : lengthDifference(a.size(), b.size());
}

// SQLite's NOCASE stops at a NUL byte of the left text within the common length, as the C string
// comparison it is built on does; only then do the lengths decide.
int compareNoCase(std::string_view a, std::string_view b) {
  std::size_t common = a.size() < b.size() ? a.size() : b.size();
  const auto* x = reinterpret_cast<const unsigned char*>(a.data());
  const auto* y = reinterpret_cast<const unsigned char*>(b.data());
  std::size_t i = 0;
  while (i < common && x[i] != 0 && asciiLower(x[i]) == asciiLower(y[i])) {
    ++i;
  }
  int order = i == common ? 0 : asciiLower(x[i]) - asciiLower(y[i]);
  return order != 0 ? order : lengthDifference(a.size(), b.size());
}

std::string_view withoutTrailingSpaces(std::string_view text) {
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

int compareTexts(std::string_view a, std::string_view b, Collation collation) {
  switch (collation) {
    case Collation::kNoCase:
      return compareNoCase(a, b);
    case Collation::kRtrim:
      return compareBinary(withoutTrailingSpaces(a), withoutTrailingSpaces(b));
    case Collation::kBinary:
      break;
  }
  return compareBinary(a, b);
}

// Exact for every 64-bit integer: a long double holds one whole on the machines SQLite does so.
int compareIntegerWithReal(std::int64_t i, double r) {
  long double x = static_cast<long double>(i);
  return x < r ? -1 : (x > r ? 1 : 0);
}

int typeRank(ValueType type) {
  switch (type) {
    case ValueType::kNull:
      return 0;
    case ValueType::kInteger:
    case ValueType::kReal:
      return 1;
    case ValueType::kText:
      return 2;
    case ValueType::kBlob:
      break;
  }
  return 3;
}

int compareNumbers(const Value& a, const Value& b) {
  if (a.type == ValueType::kInteger && b.type == ValueType::kInteger) {
    return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
  }
  if (a.type == ValueType::kReal && b.type == ValueType::kReal) {
    return a.real < b.real ? -1 : (a.real > b.real ? 1 : 0);
  }
  if (a.type == ValueType::kInteger) {
    return compareIntegerWithReal(a.integer, b.real);
  }
  return -compareIntegerWithReal(b.integer, a.real);
}

// A real that is a whole number strictly inside the 64-bit range becomes that integer, as a
// numeric column stores it.
Value wholeRealAsInteger(const Value& value) {
  if (value.type == ValueType::kReal && value.real > -9223372036854775808.0 &&
      value.real < 9223372036854775808.0) {
    auto whole = static_cast<std::int64_t>(value.real);
    if (static_cast<double>(whole) == value.real && whole != INT64_MIN && whole != INT64_MAX) {
      return integerValue(whole);
    }
  }
  return value;
}

// Digits with an optional sign and white space around them, few enough to fit: most numeric
// texts are such, and SQLite reads them as exactly this integer, so they need no round trip.
bool isPlainInteger(std::string_view text, std::int64_t& integer) {
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!text.empty() && isSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isSpace(text.back())) {
    text.remove_suffix(1);
  }
  bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) {
    return false;
  }
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    magnitude = magnitude * 10 + (c - '0');
  }
  integer = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

bool parseCollation(const std::string& name, Collation& collation) {
  if (name == "BINARY") {
    collation = Collation::kBinary;
  } else if (name == "NOCASE") {
    collation = Collation::kNoCase;
  } else if (name == "RTRIM") {
    collation = Collation::kRtrim;
  } else {
    return false;
  }
  return true;
}

int compareAnyValues(const Value& a, const Value& b, Collation collation) {
  int rankA = typeRank(a.type);
  int rankB = typeRank(b.type);
  if (rankA != rankB) {
    return rankA < rankB ? -1 : 1;
  }
  switch (rankA) {
    case 0:
      return 0;
    case 1:
      return compareNumbers(a, b);
    case 2:
      return compareTexts(a.bytes, b.bytes, collation);
    default:
      return compareBinary(a.bytes, b.bytes);
  }
}

NumericParser::~NumericParser() {
  sqlite3_finalize(echo_);
  sqlite3_finalize(cast_);
  sqlite3_close(db_);
}

void NumericParser::open() {
  if (db_ != nullptr) {
    return;
  }
  if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
          SQLITE_OK ||
      sqlite3_prepare_v2(db_, "SELECT ?1", -1, &echo_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db_, "SELECT CAST(?1 AS TEXT)", -1, &cast_, nullptr) != SQLITE_OK) {
    throw std::bad_alloc();  // an in-memory database fails only for want of memory
  }
}

std::string NumericParser::text(const Value& number) {
  open();
  if (number.type == ValueType::kInteger) {
    sqlite3_bind_int64(cast_, 1, number.integer);
  } else {
    sqlite3_bind_double(cast_, 1, number.real);
  }
  std::string result;
  if (sqlite3_step(cast_) == SQLITE_ROW) {
    const unsigned char* bytes = sqlite3_column_text(cast_, 0);
    result.assign(reinterpret_cast<const char*>(bytes),
                  static_cast<std::size_t>(sqlite3_column_bytes(cast_, 0)));
  }
  sqlite3_reset(cast_);
  sqlite3_clear_bindings(cast_);
  return result;
}

Value NumericParser::numeric(const Value& value) {
  if (value.type != ValueType::kText) {
    return value;
  }
  std::int64_t integer = 0;
  if (isPlainInteger(value.bytes, integer)) {
    return integerValue(integer);
  }
  open();
  // The statement hands the text back as a value of SQLite's own, which SQLite then converts as
  // its numeric affinity does.
  sqlite3_bind_text(echo_, 1, value.bytes.data(), static_cast<int>(value.bytes.size()),
                    SQLITE_STATIC);
  Value result = value;
  sqlite3_value* copy = nullptr;
  if (sqlite3_step(echo_) == SQLITE_ROW) {
    copy = sqlite3_value_dup(sqlite3_column_value(echo_, 0));
  }
  sqlite3_reset(echo_);
  sqlite3_clear_bindings(echo_);
  if (copy == nullptr) {
    throw std::bad_alloc();
  }
  int type = sqlite3_value_numeric_type(copy);
  if (type == SQLITE_INTEGER) {
    result = integerValue(sqlite3_value_int64(copy));
  } else if (type == SQLITE_FLOAT) {
    result = realValue(sqlite3_value_double(copy));
  }
  sqlite3_value_free(copy);
  return result;
}

Value storedValue(const Value& value, Affinity affinity, NumericParser& parser) {
  if (value.type == ValueType::kReal && std::isnan(value.real)) {
    return Value();
  }
  if (!isNumeric(affinity)) {
    return value;
  }
  Value stored = wholeRealAsInteger(parser.numeric(value));
  if (affinity == Affinity::kReal && stored.type == ValueType::kInteger) {
    return realValue(static_cast<double>(stored.integer));
  }
  return stored;
}

Affinity columnComparisonAffinity(Affinity left, Affinity right) {
  return isNumeric(left) || isNumeric(right) ? Affinity::kNumeric : Affinity::kNone;
}

Value comparisonOperand(const Value& value, Affinity affinity, NumericParser& parser,
                        std::string& buffer) {
  if (isNumeric(affinity)) {
    return parser.numeric(value);
  }
  if (affinity == Affinity::kText && value.type == ValueType::kInteger) {
    char digits[kNumberTextBytes];
    buffer.assign(valueText(value, digits));
    Value text;
    text.type = ValueType::kText;
    text.bytes = buffer;
    return text;
  }
  return value;
}

std::string_view valueText(const Value& value, char (&buffer)[kNumberTextBytes]) {
  switch (value.type) {
    case ValueType::kNull:
      return std::string_view("", 0);
    case ValueType::kInteger:
      return std::string_view(buffer, static_cast<std::size_t>(std::snprintf(
                                          buffer, sizeof buffer, "%" PRId64, value.integer)));
    case ValueType::kReal:
      return std::string_view(buffer, static_cast<std::size_t>(std::snprintf(buffer, sizeof buffer,
                                                                             "%.15g", value.real)));
    case ValueType::kText:
    case ValueType::kBlob:
      break;
  }
  return value.bytes;
}
