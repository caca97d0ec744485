// Prepared statements reused across queries that differ only in their literal values.
#include "store/statement_cache.h"

#include <strings.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Every query of the loader is scanned before it runs: a table lookup per character keeps that
// a small part of the query's cost.
struct CharClasses {
  bool word[256] = {};
  bool space[256] = {};

  constexpr CharClasses() {
    for (int c = 0; c < 256; ++c) {
      word[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                c == '_' || c == '$' || c >= 0x80;
    }
    for (char c : {' ', '\t', '\n', '\r', '\f'}) {
      space[static_cast<unsigned char>(c)] = true;
    }
  }
};

constexpr CharClasses kClasses;

bool isWordChar(char c) {
  return kClasses.word[static_cast<unsigned char>(c)];
}

bool isSpace(char c) {
  return kClasses.space[static_cast<unsigned char>(c)];
}

// The end of a quoted run that starts at begin and closes with close (doubled close stays
// inside); npos if it never closes.
std::size_t quotedEnd(const std::string& sql, std::size_t begin, char close) {
  std::size_t i = begin + 1;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return std::string::npos;
}

std::string unquoteText(const std::string& sql, std::size_t begin, std::size_t end) {
  std::string value;
  value.reserve(end - begin);
  for (std::size_t i = begin + 1; i + 1 < end; ++i) {
    value += sql[i];
    if (sql[i] == '\'') {
      ++i;  // the second quote of a doubled pair
    }
  }
  return value;
}

// The end of a numeric token: digits, letters and dots, with the sign of an exponent.
std::size_t numberEnd(const std::string& sql, std::size_t begin) {
  std::size_t i = begin;
  while (i < sql.size()) {
    char c = sql[i];
    if ((c == 'e' || c == 'E') && i + 1 < sql.size() && (sql[i + 1] == '+' || sql[i + 1] == '-')) {
      i += 2;
    } else if (isWordChar(c) || c == '.') {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

// Reads a plain decimal number (digits, at most one dot); false for anything else.
bool readNumber(const char* begin, const char* end, QueryLiteral& literal) {
  std::size_t digits = 0;
  std::size_t dots = 0;
  sqlite3_int64 integer = 0;
  bool fits = true;  // an integer beyond 64 bits stays in the text
  for (const char* c = begin; c != end; ++c) {
    if (isDigit(*c)) {
      ++digits;
      int digit = *c - '0';
      fits = fits && integer <= (INT64_MAX - digit) / 10;
      integer = fits ? integer * 10 + digit : 0;
    } else if (*c == '.') {
      ++dots;
    } else {
      return false;
    }
  }
  if (digits == 0 || dots > 1) {
    return false;
  }
  if (dots == 0) {
    literal.kind = QueryLiteral::Kind::kInteger;
    literal.integer = integer;
    return fits;
  }
  std::string token(begin, end);
  errno = 0;
  literal.kind = QueryLiteral::Kind::kReal;
  literal.real = std::strtod(token.c_str(), nullptr);
  return errno == 0;
}

// What the token before a literal makes of it.
enum class Place {
  kValue,     // a value: the literal becomes a parameter
  kName,      // after AS, FROM, JOIN, INTO, TABLE: a quoted text is a name
  kPosition,  // after BY or a comma: a number is a column position
  kPart,      // after a dot: part of a name
};

// Every query has a few dozen words: the length picks the one keyword to compare with.
Place placeAfterWord(const char* word, std::size_t length) {
  const char* keyword = nullptr;
  switch (length) {
    case 2:
      if (strncasecmp(word, "BY", 2) == 0) {
        return Place::kPosition;
      }
      keyword = "AS";
      break;
    case 4:
      keyword = (word[0] | 0x20) == 'f' ? "FROM" : (word[0] | 0x20) == 'j' ? "JOIN" : "INTO";
      break;
    case 5:
      keyword = "TABLE";
      break;
    default:
      return Place::kValue;
  }
  return strncasecmp(word, keyword, length) == 0 ? Place::kName : Place::kValue;
}

// Walks a query text token by token, copying it and putting '?' where a literal value stood.
class QueryScanner {
 public:
  explicit QueryScanner(const std::string& sql) : sql_(sql) { query_.text.reserve(sql.size()); }

  ParameterizedQuery run() {
    while (at_ < sql_.size()) {
      scanToken();
    }
    query_.text.append(sql_, copied_, std::string::npos);
    return std::move(query_);
  }

 private:
  void scanToken() {
    char c = sql_[at_];
    char following = at_ + 1 < sql_.size() ? sql_[at_ + 1] : '\0';
    if (isSpace(c)) {
      at_ = skipWhile(isSpace);
    } else if (c == '-' && following == '-') {
      skipTo(sql_.find('\n', at_), 0);
    } else if (c == '/' && following == '*') {
      skipTo(sql_.find("*/", at_ + 2), 2);
    } else if (c == '\'') {
      scanText();
    } else if (c == '"' || c == '`' || c == '[') {
      skipTo(quotedEnd(sql_, at_, c == '[' ? ']' : c), 0);
      place_ = Place::kValue;
    } else if ((c == 'x' || c == 'X') && following == '\'') {
      skipTo(quotedEnd(sql_, at_ + 1, '\''), 0);  // a blob literal x'..' stays as written
      place_ = Place::kValue;
    } else if (isDigit(c) || (c == '.' && isDigit(following))) {
      scanNumber();
    } else if (isWordChar(c)) {
      std::size_t begin = at_;
      at_ = skipWhile(isWordChar);
      place_ = placeAfterWord(sql_.data() + begin, at_ - begin);
    } else {
      ++at_;
      place_ = c == ',' ? Place::kPosition : c == '.' ? Place::kPart : Place::kValue;
    }
  }

  // Where the run of characters from at_ that pass test ends.
  std::size_t skipWhile(bool (*test)(char)) const {
    const char* c = sql_.data() + at_;
    const char* end = sql_.data() + sql_.size();
    while (c != end && test(*c)) {
      ++c;
    }
    return static_cast<std::size_t>(c - sql_.data());
  }

  void skipTo(std::size_t found, std::size_t extra) {
    at_ = found == std::string::npos ? sql_.size() : found + extra;
  }

  void scanText() {
    std::size_t end = quotedEnd(sql_, at_, '\'');
    if (end == std::string::npos || place_ == Place::kName || place_ == Place::kPart) {
      skipTo(end, 0);  // an unclosed quote or a name stays as it is
    } else {
      QueryLiteral literal;
      literal.text = unquoteText(sql_, at_, end);
      replace(end, std::move(literal));
    }
    place_ = Place::kValue;
  }

  void scanNumber() {
    std::size_t end = numberEnd(sql_, at_);
    QueryLiteral literal;
    if (place_ == Place::kValue && readNumber(sql_.data() + at_, sql_.data() + end, literal)) {
      replace(end, std::move(literal));
    } else {
      at_ = end;
    }
    place_ = Place::kValue;
  }

  void replace(std::size_t end, QueryLiteral literal) {
    query_.text.append(sql_, copied_, at_ - copied_);
    query_.text += '?';
    query_.literals.push_back(std::move(literal));
    copied_ = at_ = end;
  }

  const std::string& sql_;
  std::size_t at_ = 0;      // where the next token starts
  std::size_t copied_ = 0;  // how much of sql_ has gone into the text
  Place place_ = Place::kValue;
  ParameterizedQuery query_;
};

void bindLiteral(sqlite3_stmt* statement, int index, const QueryLiteral& literal) {
  switch (literal.kind) {
    case QueryLiteral::Kind::kText:
      sqlite3_bind_text(statement, index, literal.text.data(),
                        static_cast<int>(literal.text.size()), SQLITE_TRANSIENT);
      break;
    case QueryLiteral::Kind::kInteger:
      sqlite3_bind_int64(statement, index, literal.integer);
      break;
    case QueryLiteral::Kind::kReal:
      sqlite3_bind_double(statement, index, literal.real);
      break;
  }
}

SqliteStatement prepare(sqlite3* db, const std::string& text) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &statement, nullptr);
  return SqliteStatement(statement);
}

}  // namespace

ParameterizedQuery parameterizeQuery(const std::string& sql) {
  return QueryScanner(sql).run();
}

StatementCache::Lease::Lease(Lease&& other) noexcept {
  *this = std::move(other);
}

StatementCache::Lease& StatementCache::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    giveBack();
    statement_ = std::exchange(other.statement_, nullptr);
    entry_ = std::exchange(other.entry_, nullptr);
    private_ = std::move(other.private_);
    privateColumns_ = std::move(other.privateColumns_);
  }
  return *this;
}

StatementCache::Lease::~Lease() {
  giveBack();
}

void StatementCache::Lease::giveBack() {
  if (entry_ != nullptr) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    entry_->busy = false;
  }
  entry_ = nullptr;
  statement_ = nullptr;
  private_.reset();
}

int StatementCache::Lease::columnIndex(const char* name) const {
  return entry_ != nullptr ? entry_->columns.indexOf(name) : privateColumns_.indexOf(name);
}

StatementCache::Columns::Columns(sqlite3_stmt* statement) {
  for (int i = 0; i < sqlite3_column_count(statement); ++i) {
    const char* name = sqlite3_column_name(statement, i);
    names_.emplace_back(name == nullptr ? "" : name);
  }
}

int StatementCache::Columns::indexOf(const char* name) const {
  constexpr std::size_t kRemembered = 16;
  for (const auto& [seen, index] : found_) {
    // The text behind a pointer may have changed since: the names must still match.
    if (seen == name && strcasecmp(names_[static_cast<std::size_t>(index)].c_str(), name) == 0) {
      return index;
    }
  }
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (strcasecmp(names_[i].c_str(), name) == 0) {
      if (found_.size() < kRemembered) {
        found_.emplace_back(name, static_cast<int>(i));
      }
      return static_cast<int>(i);
    }
  }
  return -1;
}

StatementCache::Lease StatementCache::acquire(const std::string& sql) {
  ParameterizedQuery query = parameterizeQuery(sql);
  Lease lease;
  auto found = entries_.find(query.text);
  if (found != entries_.end() && !found->second.busy) {
    lease.entry_ = &found->second;
  } else if (found == entries_.end() && entries_.size() < capacity_) {
    SqliteStatement statement = prepare(db_, query.text);
    if (!statement) {
      return lease;
    }
    Entry& entry = entries_[query.text];
    entry.columns = Columns(statement.get());
    entry.statement = std::move(statement);
    lease.entry_ = &entry;
  } else {
    lease.private_ = prepare(db_, query.text);
    if (!lease.private_) {
      return lease;
    }
    lease.privateColumns_ = Columns(lease.private_.get());
    lease.statement_ = lease.private_.get();
  }
  if (lease.entry_ != nullptr) {
    lease.entry_->busy = true;
    lease.statement_ = lease.entry_->statement.get();
  }
  for (std::size_t i = 0; i < query.literals.size(); ++i) {
    bindLiteral(lease.statement_, static_cast<int>(i + 1), query.literals[i]);
  }
  return lease;
}
