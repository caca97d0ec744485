// Rows grouped by value under SQLite's rules: each distinct value of a column gets a number, and
// values equal under the column's collation share a class, numbered in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "store/tables/source_tables.h"
#include "store/tables/sql_values.h"

constexpr std::uint32_t kNoClass = UINT32_MAX;

// Numbers each distinct value of a column (by its text id, integer or real bits), so that rows
// can be grouped by comparing numbers. A key's value is the value as the column stores it under
// its affinity.
class ColumnKeys {
 public:
  ColumnKeys(const SourceColumn& column, NumericParser& parser);

  // Every row's value got its key when the keys were made, so each lookup finds one.
  std::uint32_t keyAt(std::size_t row) const {
    ValueType type = column_.typeAt(row);
    if (type == ValueType::kText || type == ValueType::kBlob) {
      return bytes_[column_.bytesIdAt(row)];
    }
    if (type == ValueType::kInteger) {
      std::int64_t integer = column_.integerAt(row);
      if (integer >= kSmallLow && integer < kSmallHigh) {
        return small_[static_cast<std::size_t>(integer - kSmallLow)];
      }
    }
    return type == ValueType::kNull ? null_ : hashedKeyAt(row);
  }
  std::size_t size() const { return values_.size(); }
  const Value& value(std::uint32_t key) const { return values_[key]; }
  std::size_t firstRow(std::uint32_t key) const { return firstRows_[key]; }
  const Value& valueAt(std::size_t row) const { return values_[keyAt(row)]; }

 private:
  // Integers from kSmallLow up to kSmallHigh find their key by index, not by hashing: semesters,
  // levels and marks are small.
  static constexpr std::int64_t kSmallLow = -64;
  static constexpr std::int64_t kSmallHigh = 4096;

  std::uint32_t& slot(std::size_t row);
  std::uint32_t hashedKeyAt(std::size_t row) const;  // of a large integer or a real

  const SourceColumn& column_;
  std::vector<Value> values_;
  std::vector<std::size_t> firstRows_;
  std::uint32_t null_ = kNoClass;
  std::vector<std::uint32_t> bytes_;  // by the column's text id
  std::vector<std::uint32_t> small_;  // by small integer, without hashing
  std::unordered_map<std::int64_t, std::uint32_t> integers_;
  std::unordered_map<std::uint64_t, std::uint32_t> reals_;
};

// The keys of a column in the order of a collation, equal values sharing a class. A class is
// represented by the value of its row that comes first in table order, as SQLite's DISTINCT over
// an index in table order among equals keeps it.
class ValueClasses {
 public:
  ValueClasses(const ColumnKeys& keys, Collation collation);

  std::uint32_t count() const { return static_cast<std::uint32_t>(firstKeys_.size()); }
  std::uint32_t classAt(std::size_t row) const { return classOfKey_[keys_.keyAt(row)]; }
  const Value& representative(std::uint32_t valueClass) const {
    return keys_.value(firstKeys_[valueClass]);
  }
  // The class of the values that "column = value" finds; kNoClass when none (always for NULL).
  std::uint32_t find(const Value& value) const;

 private:
  const ColumnKeys& keys_;
  Collation collation_;
  std::vector<std::uint32_t> classOfKey_;
  std::vector<std::uint32_t> firstKeys_;  // by class, ascending
};

// A table's rows grouped by class, each group in table order.
class RowsByClass {
 public:
  RowsByClass(const ValueClasses& classes, std::size_t rows);

  const std::uint32_t* begin(std::uint32_t valueClass) const {
    return rows_.data() + start_[valueClass];
  }
  const std::uint32_t* end(std::uint32_t valueClass) const {
    return rows_.data() + start_[valueClass + 1];
  }

 private:
  std::vector<std::uint32_t> start_;
  std::vector<std::uint32_t> rows_;
};
