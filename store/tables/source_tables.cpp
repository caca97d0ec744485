// Column storage of the source tables, SQLite's rule for a declared type's affinity, and the checks
// that the tables were read whole.
#include "store/tables/source_tables.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

namespace {

std::uint64_t realBits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double bitsReal(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

constexpr std::size_t kBlockBytes = 64 << 10;

// A hash of a value's type and bytes, eight bytes at a time: the texts are short.
std::uint32_t hashBytes(ValueType type, std::string_view bytes) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  std::uint64_t hash =
      (static_cast<std::uint64_t>(bytes.size()) << 8 | static_cast<std::uint8_t>(type)) *
      kMultiplier;
  const char* next = bytes.data();
  for (std::size_t left = bytes.size(); left > 0;) {
    std::uint64_t word = 0;
    std::size_t take = left < 8 ? left : 8;
    std::memcpy(&word, next, take);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
    next += take;
    left -= take;
  }
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9ull;
  return static_cast<std::uint32_t>(hash ^ hash >> 32);
}

bool sameText(const char* stored, std::size_t size, ValueType type, std::string_view bytes) {
  if (size != bytes.size() || stored[-1] != static_cast<char>(type)) {
    return false;
  }
  if (size > 16) {
    return std::memcmp(stored, bytes.data(), size) == 0;
  }
  // Most texts are IDs and codes of a few bytes, for which a call would cost more.
  for (std::size_t i = 0; i < size; ++i) {
    if (stored[i] != bytes[i]) {
      return false;
    }
  }
  return true;
}

bool containsNoCase(std::string_view text, const char* word) {
  std::size_t length = std::strlen(word);
  for (std::size_t i = 0; i + length <= text.size(); ++i) {
    std::size_t j = 0;
    while (j < length && (text[i + j] | 0x20) == (word[j] | 0x20)) {
      ++j;
    }
    if (j == length) {
      return true;
    }
  }
  return false;
}

}  // namespace

SourceColumn::SourceColumn(std::string name, Affinity affinity, std::string collation)
    : name_(std::move(name)), affinity_(affinity), collation_(std::move(collation)) {
  for (const char* grouping : {"Intake", "StudentID", "SubjectID", "Semester", "Level"}) {
    shared_ = shared_ || strcasecmp(name_.c_str(), grouping) == 0;
  }
}

void SourceColumn::reserve(std::size_t rows) {
  try {
    cells_.reserve(rows);
  } catch (const std::exception&) {
    // The rows then find room as they come.
  }
}

void SourceColumn::reserveTexts() {
  try {
    texts_.reserve(cells_.capacity());
  } catch (const std::exception&) {
  }
}

void SourceColumn::appendInteger(std::int64_t value) {
  if (value >= -kIntegerBias && value < kIntegerBias) {
    cells_.push_back(cell(ValueType::kInteger, static_cast<std::uint32_t>(value + kIntegerBias)));
  } else {
    appendWide(ValueType::kInteger, static_cast<std::uint64_t>(value));
  }
}

void SourceColumn::appendReal(double value) {
  appendWide(ValueType::kReal, realBits(value));
}

void SourceColumn::appendWide(ValueType type, std::uint64_t bits) {
  if (wide_.size() > kPayload) {
    throw std::bad_alloc();  // far past any memory the program could have for the rows
  }
  cells_.push_back(cell(type, kWide | static_cast<std::uint32_t>(wide_.size())));
  wide_.push_back(bits);
}

double SourceColumn::realAt(std::size_t row) const {
  return bitsReal(wide_[cells_[row] & kPayload]);
}

void SourceColumn::appendBytes(ValueType type, std::string_view bytes) {
  // Rows come grouped (a student's results one after the other), and the groups often come in
  // the same order again (a semester's results after the semester before): the value of the row
  // before, then the value first stored after it, are the likeliest, and are compared before any
  // hashing.
  for (std::uint32_t id : {lastId_, lastId_ + 1}) {
    if (id < texts_.size() && sameText(texts_[id].bytes, texts_[id].size, type, bytes)) {
      lastId_ = id;
      cells_.push_back(cell(type, id));
      return;
    }
  }
  if (!shared_) {
    if (texts_.empty()) {
      reserveTexts();  // most values differ: about as many texts as rows
    }
    lastId_ = addText(type, bytes, 0);
    cells_.push_back(cell(type, lastId_));
    return;
  }
  std::uint32_t hash = hashBytes(type, bytes);
  if ((texts_.size() + 1) * 2 > slots_.size()) {
    growSlots();
  }
  // A slot holds the hash beside the id, so that a slot of another text is passed over without
  // reading that text.
  std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash & mask;
  for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
    if (static_cast<std::uint32_t>(slots_[slot] >> 32) == hash) {
      const Text& text = texts_[static_cast<std::uint32_t>(slots_[slot]) - 1];
      if (sameText(text.bytes, text.size, type, bytes)) {
        break;
      }
    }
  }
  if (slots_[slot] == 0) {
    slots_[slot] = slotOf(hash, addText(type, bytes, hash));
  }
  lastId_ = static_cast<std::uint32_t>(slots_[slot]) - 1;
  cells_.push_back(cell(type, lastId_));
}

std::uint32_t SourceColumn::addText(ValueType type, std::string_view bytes, std::uint32_t hash) {
  if (texts_.size() >= kPayload || bytes.size() >= UINT32_MAX) {
    throw std::bad_alloc();
  }
  // Its type before it, to tell a text from a blob of the same bytes; a NUL after it.
  std::size_t need = bytes.size() + 2;
  char* copy;
  if (need > kBlockBytes / 4) {
    blocks_.push_back(std::make_unique<char[]>(need));
    copy = blocks_.back().get();  // a block of its own: the free room stays where it was
  } else {
    if (need > left_) {
      blocks_.push_back(std::make_unique<char[]>(kBlockBytes));
      free_ = blocks_.back().get();
      left_ = kBlockBytes;
    }
    copy = free_;
    free_ += need;
    left_ -= need;
  }
  copy[0] = static_cast<char>(type);
  if (!bytes.empty()) {
    std::memcpy(copy + 1, bytes.data(), bytes.size());
  }
  copy[bytes.size() + 1] = '\0';
  texts_.push_back({copy + 1, static_cast<std::uint32_t>(bytes.size()), hash});
  return static_cast<std::uint32_t>(texts_.size() - 1);
}

void SourceColumn::growSlots() {
  slots_.assign(std::max<std::size_t>(64, slots_.size() * 2), 0);
  std::size_t mask = slots_.size() - 1;
  for (std::uint32_t id = 0; id < texts_.size(); ++id) {
    std::size_t slot = texts_[id].hash & mask;
    while (slots_[slot] != 0) {
      slot = (slot + 1) & mask;
    }
    slots_[slot] = slotOf(texts_[id].hash, id);
  }
}

void SourceColumn::append(const Value& value) {
  switch (value.type) {
    case ValueType::kNull:
      return appendNull();
    case ValueType::kInteger:
      return appendInteger(value.integer);
    case ValueType::kReal:
      return appendReal(value.real);
    case ValueType::kText:
      return appendText(value.bytes);
    case ValueType::kBlob:
      return appendBlob(value.bytes);
  }
}

Value SourceColumn::at(std::size_t row) const {
  Value value;
  value.type = typeAt(row);
  switch (value.type) {
    case ValueType::kNull:
      break;
    case ValueType::kInteger:
      value.integer = integerAt(row);
      break;
    case ValueType::kReal:
      value.real = realAt(row);
      break;
    case ValueType::kText:
    case ValueType::kBlob:
      value.bytes = bytesAt(row);
      break;
  }
  return value;
}

const std::vector<const char*>& requiredColumns(const std::string& table) {
  static const std::vector<const char*> kStudent = {
      "StudentID", "Name", "StreetAddress", "City", "State", "Postcode", "Intake"};
  static const std::vector<const char*> kResult = {"StudentID", "SubjectID", "Semester", "Marks"};
  static const std::vector<const char*> kSubject = {"SubjectID", "Name", "Level"};
  static const std::vector<const char*> kNone;
  if (table == kSourceTableNames[0]) {
    return kStudent;
  }
  if (table == kSourceTableNames[1]) {
    return kResult;
  }
  return table == kSourceTableNames[2] ? kSubject : kNone;
}

Affinity affinityOfDeclaredType(std::string_view declaredType) {
  // SQLite's own order of tests: the first rule that matches wins.
  if (containsNoCase(declaredType, "INT")) {
    return Affinity::kInteger;
  }
  if (containsNoCase(declaredType, "CHAR") || containsNoCase(declaredType, "CLOB") ||
      containsNoCase(declaredType, "TEXT")) {
    return Affinity::kText;
  }
  if (declaredType.empty() || containsNoCase(declaredType, "BLOB")) {
    return Affinity::kNone;
  }
  if (containsNoCase(declaredType, "REAL") || containsNoCase(declaredType, "FLOA") ||
      containsNoCase(declaredType, "DOUB")) {
    return Affinity::kReal;
  }
  return Affinity::kNumeric;
}

bool hasColumn(const SourceTable& table, const char* name) {
  for (const std::string& column : table.columnNames) {
    if (strcasecmp(column.c_str(), name) == 0) {
      return true;
    }
  }
  return false;
}

std::string malformedTables(const SourceTables& tables) {
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    const std::vector<const char*>& names = requiredColumns(table->name);
    bool whole = !names.empty() && table->columns.size() == names.size();
    for (std::size_t i = 0; whole && i < names.size(); ++i) {
      whole = table->columns[i].size() == table->rows();
    }
    if (!whole) {
      return "table " + table->name + " was not read whole";
    }
  }
  return "";
}

bool isComparedColumn(const SourceTable& table, std::size_t index) {
  static const char* const kCompared[][2] = {{kSourceTableNames[0], "Intake"},
                                             {kSourceTableNames[1], "StudentID"},
                                             {kSourceTableNames[1], "SubjectID"},
                                             {kSourceTableNames[1], "Semester"},
                                             {kSourceTableNames[2], "Level"}};
  const std::vector<const char*>& names = requiredColumns(table.name);
  for (const auto& compared : kCompared) {
    if (table.name == compared[0] && index < names.size() &&
        std::strcmp(names[index], compared[1]) == 0) {
      return true;
    }
  }
  return false;
}
