// Column storage of the source tables, SQLite's rule for a declared type's affinity, and the checks
// that the tables were read whole.
#include "store/sources/source_tables.h"

#include <strings.h>

#include <cstring>

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

void SourceColumn::appendNull() {
  types_.push_back(static_cast<std::uint8_t>(ValueType::kNull));
  payloads_.push_back(0);
}

void SourceColumn::appendInteger(std::int64_t value) {
  types_.push_back(static_cast<std::uint8_t>(ValueType::kInteger));
  payloads_.push_back(static_cast<std::uint64_t>(value));
}

void SourceColumn::appendReal(double value) {
  types_.push_back(static_cast<std::uint8_t>(ValueType::kReal));
  payloads_.push_back(realBits(value));
}

void SourceColumn::appendText(std::string_view text) {
  appendBytes(ValueType::kText, text);
}

void SourceColumn::appendBlob(std::string_view bytes) {
  appendBytes(ValueType::kBlob, bytes);
}

void SourceColumn::appendBytes(ValueType type, std::string_view bytes) {
  // Rows come grouped (a student's results one after the other): the value of the row before is
  // the likeliest, and is compared before any hashing.
  if (lastId_ < texts_.size()) {
    const std::string& last = texts_[lastId_];
    if (last.size() == bytes.size() + 1 && last[0] == static_cast<char>(type) &&
        (bytes.empty() || std::memcmp(last.data() + 1, bytes.data(), bytes.size()) == 0)) {
      types_.push_back(static_cast<std::uint8_t>(type));
      payloads_.push_back(lastId_);
      return;
    }
  }
  // A text and a blob of the same bytes are different values: the type byte keeps them apart.
  // The key is built in a buffer kept from one value to the next: a repeated text costs no
  // allocation.
  key_.assign(1, static_cast<char>(type));
  key_.append(bytes);
  auto found = textIds_.find(key_);
  std::uint32_t id;
  if (found != textIds_.end()) {
    id = found->second;
  } else {
    id = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(key_);
    textIds_.emplace(texts_.back(), id);
  }
  lastId_ = id;
  types_.push_back(static_cast<std::uint8_t>(type));
  payloads_.push_back(id);
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
      value.integer = static_cast<std::int64_t>(payloads_[row]);
      break;
    case ValueType::kReal:
      value.real = bitsReal(payloads_[row]);
      break;
    case ValueType::kText:
    case ValueType::kBlob:
      value.bytes = std::string_view(texts_[payloads_[row]]).substr(1);
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
  if (table == "Student") {
    return kStudent;
  }
  if (table == "StudentResult") {
    return kResult;
  }
  return table == "Subject" ? kSubject : kNone;
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
  static const char* const kCompared[][2] = {{"Student", "Intake"},
                                             {"StudentResult", "StudentID"},
                                             {"StudentResult", "SubjectID"},
                                             {"StudentResult", "Semester"},
                                             {"Subject", "Level"}};
  const std::vector<const char*>& names = requiredColumns(table.name);
  for (const auto& compared : kCompared) {
    if (table.name == compared[0] && index < names.size() &&
        std::strcmp(names[index], compared[1]) == 0) {
      return true;
    }
  }
  return false;
}
