// Source tables through the row stream: a header per table, a row of values per row.
#include "store/sources/table_stream.h"

#include <cstring>

namespace {

// Longest text and blob a value may have: SQLite's own default limit on a value.
constexpr std::size_t kLongestValue = 1'000'000'000;
constexpr std::size_t kLongestName = 4096;
constexpr std::uint32_t kMostColumns = 4096;

SourceTable& tableAt(SourceTables& tables, int index) {
  return index == 0 ? tables.student : index == 1 ? tables.studentResult : tables.subject;
}

const SourceTable& tableAt(const SourceTables& tables, int index) {
  return index == 0 ? tables.student : index == 1 ? tables.studentResult : tables.subject;
}

void sendU64(std::uint64_t value, RowStreamWriter& out) {
  out.u32(static_cast<std::uint32_t>(value));
  out.u32(static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t receiveU64(RowStreamReader& in) {
  const std::uint64_t low = in.u32();
  return low | static_cast<std::uint64_t>(in.u32()) << 32;
}

void sendValue(const Value& value, RowStreamWriter& out) {
  out.u8(static_cast<std::uint8_t>(value.type));
  switch (value.type) {
    case ValueType::kInteger:
      sendU64(static_cast<std::uint64_t>(value.integer), out);
      break;
    case ValueType::kReal: {
      std::uint64_t bits = 0;
      std::memcpy(&bits, &value.real, sizeof bits);
      sendU64(bits, out);
      break;
    }
    case ValueType::kText:
    case ValueType::kBlob:
      out.text(value.bytes.data(), value.bytes.size());
      break;
    case ValueType::kNull:
      break;
  }
}

void receiveValue(RowStreamReader& in, SourceColumn& column) {
  switch (static_cast<ValueType>(in.u8())) {
    case ValueType::kNull:
      column.appendNull();
      break;
    case ValueType::kInteger:
      column.appendInteger(static_cast<std::int64_t>(receiveU64(in)));
      break;
    case ValueType::kReal: {
      const std::uint64_t bits = receiveU64(in);
      double real = 0;
      std::memcpy(&real, &bits, sizeof real);
      column.appendReal(real);
      break;
    }
    case ValueType::kText:
      column.appendText(in.text(kLongestValue));
      break;
    case ValueType::kBlob:
      column.appendBlob(in.text(kLongestValue));
      break;
    default:
      RowStreamReader::malformed();
  }
}

Affinity affinityOf(std::uint8_t code) {
  if (code > static_cast<std::uint8_t>(Affinity::kReal)) {
    RowStreamReader::malformed();
  }
  return static_cast<Affinity>(code);
}

}  // namespace

void sendSourceTables(const SourceTables& tables, RowStreamWriter& out) {
  for (char c : kRowStreamMagic) {
    out.u8(static_cast<std::uint8_t>(c));
  }
  for (int index = 0; index < 3; ++index) {
    const SourceTable& table = tableAt(tables, index);
    out.u8(kStreamTable);
    out.u8(static_cast<std::uint8_t>(index));
    out.text(table.name.data(), table.name.size());
    out.u32(static_cast<std::uint32_t>(table.columnNames.size()));
    for (const std::string& name : table.columnNames) {
      out.text(name.data(), name.size());
    }
    out.u32(static_cast<std::uint32_t>(table.columns.size()));
    for (const SourceColumn& column : table.columns) {
      out.text(column.name().data(), column.name().size());
      out.u8(static_cast<std::uint8_t>(column.affinity()));
      out.text(column.collation().data(), column.collation().size());
    }
    const std::size_t rows = table.rows();
    for (std::size_t row = 0; row < rows; ++row) {
      out.u8(kStreamRow);
      for (const SourceColumn& column : table.columns) {
        sendValue(column.at(row), out);
      }
    }
    out.u8(kStreamTableEnd);
    out.u32(static_cast<std::uint32_t>(rows));
  }
  out.u8(kStreamEnd);
  out.flush();
}

void sendRefusal(const std::string& reason, RowStreamWriter& out) {
  for (char c : kRowStreamMagic) {
    out.u8(static_cast<std::uint8_t>(c));
  }
  out.u8(kStreamRefusal);
  out.text(reason.data(), reason.size());
  out.u8(kStreamEnd);
  out.flush();
}

ReceivedTables receiveSourceTables(RowStreamReader& in) {
  for (char c : kRowStreamMagic) {
    if (in.u8() != static_cast<std::uint8_t>(c)) {
      RowStreamReader::malformed();
    }
  }
  ReceivedTables received;
  std::uint8_t tag = in.u8();
  if (tag == kStreamRefusal) {
    received.refused = true;
    received.reason = std::string(in.text(kLongestName));
    if (in.u8() != kStreamEnd) {
      RowStreamReader::malformed();
    }
    in.expectEnd();
    return received;
  }
  for (int index = 0; index < 3; ++index, tag = in.u8()) {
    if (tag != kStreamTable || in.u8() != index) {
      RowStreamReader::malformed();
    }
    SourceTable& table = tableAt(received.tables, index);
    table.name = std::string(in.text(kLongestName));
    const std::uint32_t names = in.u32();
    if (names > kMostColumns) {
      RowStreamReader::malformed();
    }
    for (std::uint32_t i = 0; i < names; ++i) {
      table.columnNames.emplace_back(in.text(kLongestName));
    }
    const std::uint32_t columns = in.u32();
    if (columns > kMostColumns) {
      RowStreamReader::malformed();
    }
    for (std::uint32_t i = 0; i < columns; ++i) {
      std::string name(in.text(kLongestName));
      const Affinity affinity = affinityOf(in.u8());
      table.columns.emplace_back(std::move(name), affinity, std::string(in.text(kLongestName)));
    }
    std::uint64_t rows = 0;
    for (std::uint8_t row = in.u8(); row != kStreamTableEnd; row = in.u8()) {
      if (row != kStreamRow || table.columns.empty()) {
        RowStreamReader::malformed();
      }
      for (SourceColumn& column : table.columns) {
        receiveValue(in, column);
      }
      ++rows;
    }
    if (in.u32() != rows) {
      RowStreamReader::malformed();
    }
  }
  if (tag != kStreamEnd) {
    RowStreamReader::malformed();
  }
  in.expectEnd();
  return received;
}
