// The three tables the record tree is built from, as read once from a database file: the values of
// each column the loader uses, in table order, with the rules the source compares them by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// A value as SQLite stores it. Access values arrive already converted to these.
enum class ValueType : std::uint8_t { kNull, kInteger, kReal, kText, kBlob };

// SQLite's type affinity of a column: what a value compared with it is converted to.
enum class Affinity : std::uint8_t { kNone, kText, kNumeric, kInteger, kReal };

struct Value {
  ValueType type = ValueType::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string_view bytes;  // kText (UTF-8) and kBlob; valid while the column lives
};

inline Value integerValue(std::int64_t integer) {
  Value value;
  value.type = ValueType::kInteger;
  value.integer = integer;
  return value;
}

inline Value realValue(double real) {
  Value value;
  value.type = ValueType::kReal;
  value.real = real;
  return value;
}

inline Value textValue(std::string_view bytes) {
  Value value;
  value.type = ValueType::kText;
  value.bytes = bytes;
  return value;
}

// One column's values in table order. Texts and blobs are stored once per column and shared by
// every row that holds them, so a StudentID repeated on thirty result rows costs one copy.
class SourceColumn {
 public:
  SourceColumn() = default;
  SourceColumn(std::string name, Affinity affinity, std::string collation)
      : name_(std::move(name)), affinity_(affinity), collation_(std::move(collation)) {}
  // A copy's text numbering would still point into the original's texts: moved, never copied.
  SourceColumn(const SourceColumn&) = delete;
  SourceColumn& operator=(const SourceColumn&) = delete;
  SourceColumn(SourceColumn&&) = default;
  SourceColumn& operator=(SourceColumn&&) = default;

  const std::string& name() const { return name_; }
  Affinity affinity() const { return affinity_; }
  // Upper case: "BINARY", "NOCASE", "RTRIM", or whatever other name the source declares.
  const std::string& collation() const { return collation_; }

  void appendNull();
  void appendInteger(std::int64_t value);
  void appendReal(double value);
  void appendText(std::string_view text);
  void appendBlob(std::string_view bytes);
  void append(const Value& value);

  std::size_t size() const { return types_.size(); }
  ValueType typeAt(std::size_t row) const { return static_cast<ValueType>(types_[row]); }
  Value at(std::size_t row) const;
  // For kText and kBlob values: a number that is equal for equal bytes of the same type, so that
  // grouping can compare numbers instead of texts.
  std::uint32_t bytesIdAt(std::size_t row) const {
    return static_cast<std::uint32_t>(payloads_[row]);
  }

 private:
  void appendBytes(ValueType type, std::string_view bytes);

  std::string name_;
  Affinity affinity_ = Affinity::kNone;
  std::string collation_ = "BINARY";
  std::vector<std::uint8_t> types_;
  std::vector<std::uint64_t> payloads_;  // the integer, the real's bits, or an index into texts_
  std::deque<std::string> texts_;  // a deque never moves its strings, so views of them stay valid
  std::unordered_map<std::string_view, std::uint32_t> textIds_;  // keys view into texts_
  std::string key_;                    // the type byte and bytes of the value being appended
  std::uint32_t lastId_ = UINT32_MAX;  // of the text or blob appended last
};

// The columns each table must have, in the order SourceTable::columns holds them.
enum StudentColumn { kStudentId, kStudentName, kStreetAddress, kCity, kState, kPostcode, kIntake };
enum ResultColumn { kResultStudentId, kResultSubjectId, kSemester, kMarks };
enum SubjectColumn { kSubjectId, kSubjectName, kLevel };

struct SourceTable {
  std::string name;                      // "Student", "StudentResult" or "Subject"
  std::vector<SourceColumn> columns;     // the required columns, in the enum's order
  std::vector<std::string> columnNames;  // every column of the table, as the source names them
  std::size_t rows() const { return columns.empty() ? 0 : columns[0].size(); }
};

struct SourceTables {
  SourceTable student;
  SourceTable studentResult;
  SourceTable subject;
};

// The required column names of each table, in the enum orders above.
const std::vector<const char*>& requiredColumns(const std::string& table);

// The affinity SQLite gives a declared column type ("TEXT(8)" is kText, "" is kNone, ...).
Affinity affinityOfDeclaredType(std::string_view declaredType);

// Whether the table has a column of this name, compared without regard to (ASCII) case, as SQL
// compares names.
bool hasColumn(const SourceTable& table, const char* name);

// Why the tables cannot be built from, or "": each must hold the columns the loader reads, in the
// order of requiredColumns, all of the same length. The readers ensure it; both builds check it
// before they index into the columns.
std::string malformedTables(const SourceTables& tables);

// Whether the loader's queries compare or order the values of this required column of the table
// (index in the order of requiredColumns), so that its collation matters: Student.Intake, and
// StudentResult's StudentID, SubjectID and Semester, and Subject.Level. Subject.SubjectID is
// compared under StudentResult.SubjectID's collation.
bool isComparedColumn(const SourceTable& table, std::size_t index);
