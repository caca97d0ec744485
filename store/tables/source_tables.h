// The three tables the record tree is built from, as read once from a database file: the values of
// each column the loader uses, in table order, with the rules the source compares them by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

// One column's values in table order. A text or blob of a column that rows are grouped by (named
// Intake, StudentID, SubjectID, Semester or Level) is stored once and shared by every row that
// holds it, so a StudentID repeated on thirty result rows costs one copy; in other columns, where
// most values differ, only a run of equal rows shares one.
class SourceColumn {
 public:
  SourceColumn() = default;
  SourceColumn(std::string name, Affinity affinity, std::string collation);
  // A copy's text numbering would still point into the original's texts: moved, never copied.
  SourceColumn(const SourceColumn&) = delete;
  SourceColumn& operator=(const SourceColumn&) = delete;
  SourceColumn(SourceColumn&&) = default;
  SourceColumn& operator=(SourceColumn&&) = default;

  const std::string& name() const { return name_; }
  Affinity affinity() const { return affinity_; }
  // Upper case: "BINARY", "NOCASE", "RTRIM", or whatever other name the source declares.
  const std::string& collation() const { return collation_; }

  // Room for this many rows; only a hint (a reader's estimate), ignored when it cannot be had.
  void reserve(std::size_t rows);
  void appendNull() { cells_.push_back(0); }
  void appendInteger(std::int64_t value);
  void appendReal(double value);
  void appendText(std::string_view text) { appendBytes(ValueType::kText, text); }
  void appendBlob(std::string_view bytes) { appendBytes(ValueType::kBlob, bytes); }
  void append(const Value& value);

  std::size_t size() const { return cells_.size(); }
  ValueType typeAt(std::size_t row) const {
    return static_cast<ValueType>(cells_[row] >> kTypeShift);
  }
  std::int64_t integerAt(std::size_t row) const {  // of a kInteger value
    std::uint32_t cell = cells_[row];
    return (cell & kWide) != 0 ? static_cast<std::int64_t>(wide_[cell & kPayload])
                               : static_cast<std::int64_t>(cell & kPayload) - kIntegerBias;
  }
  double realAt(std::size_t row) const;  // of a kReal value
  // For kText and kBlob values: a number that is equal for equal bytes of the same type (in a
  // column of shared texts; elsewhere only within a run), so that grouping can compare numbers
  // instead of texts.
  std::uint32_t bytesIdAt(std::size_t row) const { return cells_[row] & kPayload; }
  std::string_view bytesAt(std::size_t row) const {  // of a kText or kBlob value, NUL after it
    const Text& text = texts_[bytesIdAt(row)];
    return std::string_view(text.bytes, text.size);
  }
  Value at(std::size_t row) const;

 private:
  // A row is one cell: its type in the top three bits, then a flag for a payload kept in wide_,
  // then the payload: an integer (offset by kIntegerBias), a text id, or an index into wide_.
  static constexpr int kTypeShift = 29;
  static constexpr std::uint32_t kWide = 1u << 28;
  static constexpr std::uint32_t kPayload = kWide - 1;
  static constexpr std::int64_t kIntegerBias = std::int64_t{1} << 27;

  struct Text {
    const char* bytes;   // in blocks_, after a byte of its type and before a NUL
    std::uint32_t size;  // SQLite's own limit on a value keeps it far below 4 GiB
    std::uint32_t hash;
  };

  static std::uint32_t cell(ValueType type, std::uint32_t payload) {
    return static_cast<std::uint32_t>(type) << kTypeShift | payload;
  }
  void reserveTexts();
  void appendWide(ValueType type, std::uint64_t bits);
  void appendBytes(ValueType type, std::string_view bytes);
  std::uint32_t addText(ValueType type, std::string_view bytes, std::uint32_t hash);
  void growSlots();

  std::string name_;
  Affinity affinity_ = Affinity::kNone;
  std::string collation_ = "BINARY";
  std::vector<std::uint32_t> cells_;
  std::vector<std::uint64_t> wide_;  // integers too large for a cell, and reals' bits
  std::vector<Text> texts_;          // by id
  // Texts are copied into blocks that never move, so that views of them stay valid.
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // in the last block
  std::size_t left_ = 0;
  // An open-addressing table of the texts: each slot the hash and the id plus one, 0 when empty.
  static std::uint64_t slotOf(std::uint32_t hash, std::uint32_t id) {
    return std::uint64_t{hash} << 32 | (id + 1);
  }
  std::vector<std::uint64_t> slots_;
  bool shared_ = false;                // texts are shared by every row, found through slots_
  std::uint32_t lastId_ = UINT32_MAX;  // of the text or blob appended last
};

// The three tables, by the names the queries give them; SourceTables holds them in this order.
constexpr const char* kSourceTableNames[] = {"Student", "StudentResult", "Subject"};

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
