// Source tables through the row stream: a header per table, a row of values per row.
#include "store/process/table_stream.h"

#include "store/database_error.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace {

// Longest text and blob a value may have: SQLite's own default limit on a value.
constexpr std::size_t kLongestValue = 1'000'000'000;
constexpr std::size_t kLongestName = 4096;
constexpr std::uint32_t kMostColumns = 4096;
// A reader's estimate of a table's rows is taken as room made at once up to this many rows.
constexpr std::size_t kMostRowsReserved = std::size_t{1} << 21;

SourceTable& tableAt(SourceTables& tables, int index) {
  return index == 0 ? tables.student : index == 1 ? tables.studentResult : tables.subject;
}

const SourceTable& tableAt(const SourceTables& tables, int index) {
  return index == 0 ? tables.student : index == 1 ? tables.studentResult : tables.subject;
}

void sendMagic(RowStreamWriter& out) {
  for (char c : kRowStreamMagic) {
    out.u8(static_cast<std::uint8_t>(c));
  }
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

// A refusal: its reason, then the stream's end.
std::string receiveRefusal(RowStreamReader& in) {
  std::string reason(in.text(kLongestName));
  if (in.u8() != kStreamEnd) {
    RowStreamReader::malformed();
  }
  in.expectEnd();
  return reason;
}

struct Refused {
  std::string reason;
};

// The next tag; a refusal is thrown as Refused.
std::uint8_t tagOrRefusal(RowStreamReader& in) {
  const std::uint8_t tag = in.u8();
  if (tag == kStreamRefusal) {
    throw Refused{receiveRefusal(in)};
  }
  return tag;
}

void receiveTable(RowStreamReader& in, int index, SourceTable& table) {
  if (tagOrRefusal(in) != kStreamTable || in.u8() != index) {
    RowStreamReader::malformed();
  }
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
  const std::size_t expected = std::min<std::size_t>(in.u32(), kMostRowsReserved);
  for (SourceColumn& column : table.columns) {
    column.reserve(expected);
  }
  std::uint64_t rows = 0;
  for (std::uint8_t tag = tagOrRefusal(in); tag != kStreamTableEnd; tag = tagOrRefusal(in)) {
    if (tag != kStreamRow || table.columns.empty()) {
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

}  // namespace

void TableCollector::beginTable(int index, SourceTable header, std::size_t rows) {
  table_ = &tableAt(tables_, index);
  *table_ = std::move(header);
  for (SourceColumn& column : table_->columns) {
    column.reserve(rows);
  }
}

void TableCollector::addRow(const Value* values) {
  for (SourceColumn& column : table_->columns) {
    column.append(*values++);
  }
}

TableStreamWriter::TableStreamWriter(RowStreamWriter& out) : out_(out) {
  sendMagic(out_);
}

void TableStreamWriter::beginTable(int index, SourceTable header, std::size_t rows) {
  out_.u8(kStreamTable);
  out_.u8(static_cast<std::uint8_t>(index));
  out_.text(header.name.data(), header.name.size());
  out_.u32(static_cast<std::uint32_t>(header.columnNames.size()));
  for (const std::string& name : header.columnNames) {
    out_.text(name.data(), name.size());
  }
  out_.u32(static_cast<std::uint32_t>(header.columns.size()));
  for (const SourceColumn& column : header.columns) {
    out_.text(column.name().data(), column.name().size());
    out_.u8(static_cast<std::uint8_t>(column.affinity()));
    out_.text(column.collation().data(), column.collation().size());
  }
  out_.u32(static_cast<std::uint32_t>(std::min<std::size_t>(rows, UINT32_MAX)));
  columns_ = header.columns.size();
  rows_ = 0;
  out_.flushIfWaiting();
}

void TableStreamWriter::addRow(const Value* values) {
  out_.u8(kStreamRow);
  for (std::size_t i = 0; i < columns_; ++i) {
    sendValue(values[i], out_);
  }
  ++rows_;
  out_.flushIfWaiting();
}

void TableStreamWriter::endTable() {
  out_.u8(kStreamTableEnd);
  out_.u32(rows_);
}

void TableStreamWriter::finish() {
  out_.u8(kStreamEnd);
  out_.flush();
}

void TableStreamWriter::refuse(const std::string& reason) {
  out_.u8(kStreamRefusal);
  out_.text(reason.data(), std::min(reason.size(), kLongestName));
  out_.u8(kStreamEnd);
  out_.flush();
}

void sendSourceTables(const SourceTables& tables, RowStreamWriter& out) {
  TableStreamWriter writer(out);
  std::vector<Value> row;
  for (int index = 0; index < 3; ++index) {
    const SourceTable& table = tableAt(tables, index);
    SourceTable header;
    header.name = table.name;
    header.columnNames = table.columnNames;
    for (const SourceColumn& column : table.columns) {
      header.columns.emplace_back(column.name(), column.affinity(), column.collation());
    }
    writer.beginTable(index, std::move(header), table.rows());
    row.resize(table.columns.size());
    for (std::size_t r = 0; r < table.rows(); ++r) {
      for (std::size_t c = 0; c < row.size(); ++c) {
        row[c] = table.columns[c].at(r);
      }
      writer.addRow(row.data());
    }
    writer.endTable();
  }
  writer.finish();
}

ReceivedTables receiveSourceTables(RowStreamReader& in) {
  for (char c : kRowStreamMagic) {
    if (in.u8() != static_cast<std::uint8_t>(c)) {
      RowStreamReader::malformed();
    }
  }
  ReceivedTables received;
  try {
    for (int index = 0; index < 3; ++index) {
      receiveTable(in, index, tableAt(received.tables, index));
    }
    if (tagOrRefusal(in) != kStreamEnd) {
      RowStreamReader::malformed();
    }
    in.expectEnd();
  } catch (const Refused& refusal) {
    received = ReceivedTables();
    received.refused = true;
    received.reason = refusal.reason;
  }
  return received;
}

ReaderAnswer receiveFromReader(ReaderProcess& reader) {
  RowStreamReader in(
      [&reader](char* buffer, std::size_t size) { return reader.read(buffer, size); });
  ReaderAnswer answer;
  try {
    answer.received = receiveSourceTables(in);
    answer.whole = true;
  } catch (const RowStreamError& error) {
    // A stream cut short ends with the reader; a malformed one leaves it to be stopped.
    answer.end = error.cut() ? reader.finish() : reader.stop();
    return answer;
  }
  answer.end = reader.finish();
  return answer;
}

SourceTables tablesFromReader(ReaderProcess& reader, const std::string& name,
                              const std::function<std::string(const ReaderEnd&)>& failure) {
  ReaderAnswer answer = receiveFromReader(reader);
  if (!answer.whole) {
    failToRead(name, failure(answer.end));
  }
  if (answer.received.refused) {
    failToRead(name, answer.received.reason);
  }
  if (answer.end.kind != ReaderEnd::kExited || answer.end.code != 0) {
    failToRead(name, failure(answer.end));
  }
  return std::move(answer.received.tables);
}

namespace {

std::string lowerFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::unique_ptr<ReaderProcess> startReader(const ReaderRole& role,
                                           const std::vector<std::string>& arguments,
                                           const ReaderLimits& limits, const std::string& name,
                                           const std::string& input) {
  try {
    return std::make_unique<ReaderProcess>(role, arguments, limits, input);
  } catch (const std::system_error& error) {
    failToRead(name,
               "no process can be started to read it (" + lowerFirst(error.code().message()) + ")");
  } catch (const std::runtime_error&) {
    failToRead(name, "no process can be started to read it");
  }
}

SourceTables readTablesInReader(const ReaderRole& role, const std::vector<std::string>& arguments,
                                const ReaderLimits& limits, const std::string& name,
                                const std::function<std::string(const ReaderEnd&)>& failure,
                                const std::string& input) {
  std::unique_ptr<ReaderProcess> reader = startReader(role, arguments, limits, name, input);
  return tablesFromReader(*reader, name, failure);
}
