// Grouping a column's rows by value: keys, classes in collation order, rows by class.
#include "store/assembly/value_classes.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

std::uint64_t bitsOf(double real) {
  std::uint64_t bits;
  std::memcpy(&bits, &real, sizeof bits);
  return bits;
}

}  // namespace

ColumnKeys::ColumnKeys(const SourceColumn& column, NumericParser& parser) : column_(column) {
  small_.assign(static_cast<std::size_t>(kSmallHigh - kSmallLow), kNoClass);
  for (std::size_t row = 0; row < column.size(); ++row) {
    std::uint32_t& key = slot(row);
    if (key == kNoClass) {
      key = static_cast<std::uint32_t>(values_.size());
      values_.push_back(storedValue(column.at(row), column.affinity(), parser));
      firstRows_.push_back(row);
    }
  }
}

std::uint32_t& ColumnKeys::slot(std::size_t row) {
  switch (column_.typeAt(row)) {
    case ValueType::kNull:
      return null_;
    case ValueType::kText:
    case ValueType::kBlob: {
      std::uint32_t id = column_.bytesIdAt(row);
      if (id >= bytes_.size()) {
        bytes_.resize(std::max<std::size_t>(id + 1, bytes_.size() * 2), kNoClass);
      }
      return bytes_[id];
    }
    case ValueType::kInteger: {
      std::int64_t integer = column_.integerAt(row);
      if (integer >= kSmallLow && integer < kSmallHigh) {
        return small_[static_cast<std::size_t>(integer - kSmallLow)];
      }
      return integers_.try_emplace(integer, kNoClass).first->second;
    }
    case ValueType::kReal:
      break;
  }
  return reals_.try_emplace(bitsOf(column_.realAt(row)), kNoClass).first->second;
}

std::uint32_t ColumnKeys::hashedKeyAt(std::size_t row) const {
  if (column_.typeAt(row) == ValueType::kInteger) {
    auto found = integers_.find(column_.integerAt(row));
    return found == integers_.end() ? kNoClass : found->second;
  }
  auto found = reals_.find(bitsOf(column_.realAt(row)));
  return found == reals_.end() ? kNoClass : found->second;
}

ValueClasses::ValueClasses(const ColumnKeys& keys, Collation collation)
    : keys_(keys), collation_(collation), classOfKey_(keys.size()) {
  std::vector<std::uint32_t> order(keys.size());
  std::iota(order.begin(), order.end(), 0);
  auto less = [&](std::uint32_t a, std::uint32_t b) {
    return compareValues(keys.value(a), keys.value(b), collation) < 0;
  };
  // Keys come in table order, which is often the values' own (IDs given in turn).
  if (!std::is_sorted(order.begin(), order.end(), less)) {
    std::sort(order.begin(), order.end(), less);
  }
  for (std::uint32_t key : order) {
    if (firstKeys_.empty() ||
        compareValues(keys.value(firstKeys_.back()), keys.value(key), collation) != 0) {
      firstKeys_.push_back(key);
    } else if (keys.firstRow(key) < keys.firstRow(firstKeys_.back())) {
      firstKeys_.back() = key;
    }
    classOfKey_[key] = static_cast<std::uint32_t>(firstKeys_.size() - 1);
  }
}

std::uint32_t ValueClasses::find(const Value& value) const {
  if (value.type == ValueType::kNull) {
    return kNoClass;
  }
  auto found = std::lower_bound(firstKeys_.begin(), firstKeys_.end(), value,
                                [&](std::uint32_t key, const Value& wanted) {
                                  return compareValues(keys_.value(key), wanted, collation_) < 0;
                                });
  if (found == firstKeys_.end() || compareValues(keys_.value(*found), value, collation_) != 0) {
    return kNoClass;
  }
  return static_cast<std::uint32_t>(found - firstKeys_.begin());
}

RowsByClass::RowsByClass(const ValueClasses& classes, std::size_t rows)
    : start_(classes.count() + 1, 0) {
  for (std::size_t row = 0; row < rows; ++row) {
    ++start_[classes.classAt(row) + 1];
  }
  std::partial_sum(start_.begin(), start_.end(), start_.begin());
  rows_.resize(rows);
  std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
  for (std::size_t row = 0; row < rows; ++row) {
    rows_[next[classes.classAt(row)]++] = static_cast<std::uint32_t>(row);
  }
}
