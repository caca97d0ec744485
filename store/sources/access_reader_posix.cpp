// Reads the three tables of an Access file with libmdb in a child process, and decodes and checks
// the rows it sends back.
//
// The child's answer, in the row stream: the magic, then for each table in the order Student,
// StudentResult, Subject a header (table number, its declared row count, and every column's
// Access type and name), one row record per row (a byte whose bit i is set when the empty value of
// required column i is a zero-length text rather than NULL, then the values of the required
// columns only, as libmdb's text) and an end record with the number of rows sent; then the end of
// the stream. A refusal record (a reason code and a table number) may stand in for the rest.
#include "store/sources/access_reader.h"

// mdbtools.h includes glib inside extern "C", which C++ headers in glib reject: include it first.
#include <glib.h>
#include <mdbtools.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "store/database_error.h"
#include "store/sources/child_process.h"
#include "store/sources/row_stream.h"
#include "store/sources/sql_values.h"

namespace {

constexpr const char* kTableNames[] = {"Student", "StudentResult", "Subject"};
constexpr int kTableCount = 3;

// Longer texts (memo columns) are cut by libmdb at this many bytes, its terminating NUL included.
constexpr std::size_t kBindBytes = 16384;
constexpr std::size_t kMaxNameBytes = MDB_MAX_OBJ_NAME;

// A stored row takes at least an offset entry and a column count on its page: a table that
// declares more rows than a quarter of the file's bytes is damaged.
constexpr std::uint64_t kMinimumRowBytes = 4;

enum class Refusal : std::uint8_t {
  kFirstPage = 1,
  kTableList,
  kTableMissing,
  kDefinition,
  kNoPageMap,
};

// What a value of an Access type becomes: the column types that keep today's tree.
enum class ValueKind { kInteger, kReal, kText, kNone };

ValueKind kindOf(int accessType) {
  switch (accessType) {
    case MDB_BOOL:  // as 0 and 1 (mdb_set_boolean_fmt_numbers)
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      return ValueKind::kInteger;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
      return ValueKind::kReal;
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_DATETIME:
    case MDB_REPID:
      return ValueKind::kText;
    default:  // OLE objects, binary and complex columns: libmdb hands out no text for them
      return ValueKind::kNone;
  }
}

SourceColumn makeColumn(const std::string& name, int accessType) {
  switch (kindOf(accessType)) {
    case ValueKind::kInteger:
      return SourceColumn(name, Affinity::kInteger, "BINARY");
    case ValueKind::kReal:
      return SourceColumn(name, Affinity::kReal, "BINARY");
    case ValueKind::kText:
      // Access compares text without regard to case; dates and replication IDs are plain text.
      return SourceColumn(name, Affinity::kText,
                          accessType == MDB_TEXT || accessType == MDB_MEMO ? "NOCASE" : "BINARY");
    case ValueKind::kNone:
      break;
  }
  return SourceColumn(name, Affinity::kNone, "BINARY");
}

struct ColumnHeader {
  std::uint8_t accessType = 0;
  std::string name;
};

enum class ColumnProblem { kNone, kNoColumns, kUnnamed, kTwoOfOneName, kMissing };

// Which columns of a table are the required ones, or what keeps them from being found. Both the
// child (to stop early) and the parent (to say why) work it out from the same header.
struct ColumnCheck {
  ColumnProblem problem = ColumnProblem::kNone;
  const char* missing = nullptr;     // the required column not found
  std::vector<std::size_t> indexes;  // of the required columns, in requiredColumns() order
};

std::string lowerAscii(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) {
    c = g_ascii_tolower(c);
  }
  return lower;
}

ColumnCheck checkColumns(const std::vector<ColumnHeader>& columns, int table) {
  ColumnCheck check;
  if (columns.empty()) {
    check.problem = ColumnProblem::kNoColumns;
    return check;
  }
  std::unordered_set<std::string> names;
  for (const ColumnHeader& column : columns) {
    if (column.name.empty()) {
      check.problem = ColumnProblem::kUnnamed;
      return check;
    }
    if (!names.insert(lowerAscii(column.name)).second) {
      check.problem = ColumnProblem::kTwoOfOneName;
      return check;
    }
  }
  for (const char* required : requiredColumns(kTableNames[table])) {
    std::size_t i = 0;
    while (i < columns.size() && g_ascii_strcasecmp(columns[i].name.c_str(), required) != 0) {
      ++i;
    }
    if (i == columns.size()) {
      check.problem = ColumnProblem::kMissing;
      check.missing = required;
      return check;
    }
    check.indexes.push_back(i);
  }
  return check;
}

// ---- The child's side: libmdb reads the file and the rows go into the stream.

// What libmdb allocated is given back before the child ends, as any reader of the file would; a
// file whose structures cannot even be freed is damaged, and the parent says so.
struct MdbCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct MdbTableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using AccessFile = std::unique_ptr<MdbHandle, MdbCloser>;
using AccessTable = std::unique_ptr<MdbTableDef, MdbTableFreer>;

MdbColumn* columnAt(MdbTableDef* table, unsigned int index) {
  return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

MdbCatalogEntry* findTable(MdbHandle* mdb, const char* name) {
  for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && g_ascii_strcasecmp(entry->object_name, name) == 0) {
      return entry;
    }
  }
  return nullptr;
}

// libmdb stops quietly at a page it cannot read. A table's definition holds its row count, which
// tells a whole table from a damaged one; this is so for the table of tables too.
bool isTableListWhole(MdbHandle* mdb) {
  MdbCatalogEntry* list = findTable(mdb, "MSysObjects");
  AccessTable table(list == nullptr ? nullptr : mdb_read_table(list));
  return table && table->num_rows == mdb->num_catalog;
}

// Runs in the child: everything libmdb does happens here.
class ChildReader {
 public:
  ChildReader(const std::string& path, int fd) : path_(path), out_(fd) {}

  int run() {
    for (char c : kRowStreamMagic) {
      out_.u8(static_cast<std::uint8_t>(c));
    }
    send();
    out_.flush();
    return 0;
  }

 private:
  // glib ends the process when an allocation fails, after logging it as an error: that is a
  // want of memory, and the parent hears it so.
  static GLogWriterOutput onLog(GLogLevelFlags level, const GLogField* fields, gsize count,
                                gpointer) {
    if ((level & G_LOG_LEVEL_ERROR) != 0) {
      for (gsize i = 0; i < count; ++i) {
        if (std::strcmp(fields[i].key, "MESSAGE") == 0 && fields[i].length < 0 &&
            std::strstr(static_cast<const char*>(fields[i].value), "failed to allocate") !=
                nullptr) {
          _exit(ChildProcess::kOutOfMemoryExit);
        }
      }
    }
    return G_LOG_WRITER_HANDLED;  // the terminal is not the child's to write on
  }

  void send() {
    // Debugging options from the environment would change what libmdb reads and prints.
    unsetenv("MDBOPTS");
    g_log_set_writer_func(onLog, nullptr, nullptr);
    AccessFile file(mdb_open(path_.c_str(), MDB_NOFLAGS));  // read-only
    MdbHandle* mdb = file.get();
    if (mdb == nullptr) {
      return refuse(Refusal::kFirstPage, 0);
    }
    mdb_set_bind_size(mdb, kBindBytes);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(mdb, "%Y-%m-%d");
    mdb_set_boolean_fmt_numbers(mdb);
    if (mdb_read_catalog(mdb, MDB_ANY) == nullptr || !isTableListWhole(mdb)) {
      return refuse(Refusal::kTableList, 0);
    }
    MdbCatalogEntry* entries[kTableCount];
    for (int table = 0; table < kTableCount; ++table) {
      entries[table] = findTable(mdb, kTableNames[table]);
      if (entries[table] == nullptr) {
        return refuse(Refusal::kTableMissing, table);
      }
    }
    for (int table = 0; table < kTableCount; ++table) {
      if (!sendTable(entries[table], table)) {
        return;
      }
    }
    out_.u8(kStreamEnd);
  }

  void refuse(Refusal reason, int table) {
    out_.u8(kStreamRefusal);
    out_.u8(static_cast<std::uint8_t>(reason));
    out_.u8(static_cast<std::uint8_t>(table));
  }

  // Returns false when the table is refused (here, or by the parent from its header).
  bool sendTable(MdbCatalogEntry* entry, int index) {
    AccessTable owner(mdb_read_table(entry));
    MdbTableDef* table = owner.get();
    if (table == nullptr) {
      refuse(Refusal::kDefinition, index);
      return false;
    }
    // Fetching rows reads the page map without looking: without one libmdb would crash.
    if (table->usage_map == nullptr || table->map_sz < 1) {
      refuse(Refusal::kNoPageMap, index);
      return false;
    }
    if (mdb_read_columns(table) == nullptr) {
      refuse(Refusal::kDefinition, index);
      return false;
    }
    std::vector<ColumnHeader> columns(table->columns->len);
    out_.u8(kStreamTable);
    out_.u8(static_cast<std::uint8_t>(index));
    out_.u32(table->num_rows);
    out_.u16(static_cast<std::uint16_t>(columns.size()));
    for (unsigned int i = 0; i < columns.size(); ++i) {
      MdbColumn* column = columnAt(table, i);
      columns[i] = {static_cast<std::uint8_t>(column->col_type),
                    std::string(column->name, strnlen(column->name, kMaxNameBytes))};
      out_.u8(columns[i].accessType);
      out_.text(columns[i].name.data(), columns[i].name.size());
    }
    ColumnCheck check = checkColumns(columns, index);
    if (check.problem != ColumnProblem::kNone) {
      return false;
    }
    sendRows(table, columns, check.indexes);
    return true;
  }

  // The text of the value libmdb has just found for a column it did not bind, converted as
  // libmdb's own binding converts it (text through mdb_unicode2ascii, integers in decimal) but
  // without its allocations and copies; "" for NULL.
  std::size_t unboundText(MdbTableDef* table, MdbColumn* column, char* text) {
    MdbHandle* mdb = table->entry->mdb;
    int start = column->cur_value_start;
    int length = column->cur_value_len;
    if (length <= 0) {
      return 0;
    }
    long integer = 0;
    switch (column->col_type) {
      case MDB_TEXT:
        mdb_unicode2ascii(mdb, reinterpret_cast<char*>(mdb->pg_buf) + start,
                          static_cast<std::size_t>(length), text, kBindBytes);
        return strnlen(text, kBindBytes);
      // As libmdb prints them: a byte unsigned, the others signed, of their own widths.
      case MDB_BYTE:
        integer = mdb_get_byte(mdb->pg_buf, start);
        break;
      case MDB_INT:
        integer = static_cast<std::int16_t>(mdb_get_int16(mdb->pg_buf, start));
        break;
      default:
        integer = static_cast<std::int32_t>(mdb_get_int32(mdb->pg_buf, start));
        break;
    }
    return static_cast<std::size_t>(std::to_chars(text, text + 24, integer).ptr - text);
  }

  void sendRows(MdbTableDef* table, const std::vector<ColumnHeader>& columns,
                const std::vector<std::size_t>& indexes) {
    // Only the required columns are read: libmdb converts no other column's values. Texts and
    // integers are converted here, every other type by libmdb's binding.
    std::vector<std::vector<char>> values(indexes.size());
    std::vector<MdbColumn*> unbound(indexes.size());
    std::vector<bool> texts(indexes.size());
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      int type = columns[indexes[i]].accessType;
      ValueKind kind = kindOf(type);
      texts[i] = kind == ValueKind::kText;
      if (kind == ValueKind::kNone) {
        continue;
      }
      values[i].assign(kBindBytes, '\0');
      if (type == MDB_TEXT || type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT) {
        unbound[i] = columnAt(table, static_cast<unsigned int>(indexes[i]));
      } else {
        mdb_bind_column(table, static_cast<int>(indexes[i] + 1), values[i].data(), nullptr);
      }
    }
    // Room for every column and to spare: a damaged row must not write past the end.
    std::vector<MdbField> fields(std::max<std::size_t>(table->num_cols, 256));
    std::vector<std::size_t> lengths(indexes.size());
    // One row more than declared is enough to tell the parent that the count is wrong.
    std::uint64_t rows = 0;
    std::uint64_t enough = static_cast<std::uint64_t>(table->num_rows) + 1;
    mdb_rewind_table(table);
    while (rows < enough && mdb_fetch_row(table)) {
      bool emptyText = false;
      for (std::size_t i = 0; i < values.size(); ++i) {
        if (unbound[i] != nullptr) {
          lengths[i] = unboundText(table, unbound[i], values[i].data());
        } else {
          lengths[i] = values[i].empty() ? 0 : strnlen(values[i].data(), kBindBytes);
        }
        emptyText = emptyText || (texts[i] && lengths[i] == 0);
      }
      out_.u8(kStreamRow);
      out_.u8(emptyText ? zeroLengthTexts(table, fields, indexes, texts, lengths) : 0);
      for (std::size_t i = 0; i < values.size(); ++i) {
        out_.text(values[i].data(), lengths[i]);
      }
      ++rows;
    }
    out_.u8(kStreamTableEnd);
    out_.u32(static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, UINT32_MAX)));
  }

  // libmdb binds NULL and a zero-length text alike as "": the row just fetched is taken apart
  // once more for its null flags. Bit i is set for required column i when it holds a
  // zero-length text.
  static std::uint8_t zeroLengthTexts(MdbTableDef* table, std::vector<MdbField>& fields,
                                      const std::vector<std::size_t>& indexes,
                                      const std::vector<bool>& texts,
                                      const std::vector<std::size_t>& lengths) {
    int start = 0;
    std::size_t size = 0;
    if (table->cur_row == 0 ||
        mdb_find_row(table->entry->mdb, static_cast<int>(table->cur_row - 1), &start, &size) != 0) {
      return 0;
    }
    int cracked = mdb_crack_row(table, start, size, fields.data());
    std::uint8_t mask = 0;
    for (int f = 0; f >= 0 && f < cracked && f < static_cast<int>(fields.size()); ++f) {
      for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (texts[i] && lengths[i] == 0 &&
            static_cast<std::size_t>(fields[f].colnum) == indexes[i] && fields[f].is_null == 0) {
          mask = static_cast<std::uint8_t>(mask | (1u << i));
        }
      }
    }
    return mask;
  }

  const std::string& path_;
  RowStreamWriter out_;
};

// ---- The parent's side: the answer decoded into columns, every count and length checked.

// As SQLite stored libmdb's text in a column of that type: NULL as NULL, a zero-length text as
// "", numbers that read as numbers, everything else as text.
void appendValue(SourceColumn& column, std::string_view text, bool zeroLength,
                 NumericParser& parser) {
  if (zeroLength && column.affinity() != Affinity::kNone) {
    column.appendText(text);
  } else if (text.empty() || column.affinity() == Affinity::kNone) {
    column.appendNull();
  } else {
    column.append(storedValue(textValue(text), column.affinity(), parser));
  }
}

std::string damaged(const std::string& why) {
  return "the Access file is damaged (" + why + ")";
}

class AnswerDecoder {
 public:
  AnswerDecoder(const std::string& path, std::uint64_t fileSize, ChildProcess& child)
      : path_(path),
        fileSize_(fileSize),
        in_([&child](char* buffer, std::size_t size) { return child.read(buffer, size); }) {}

  SourceTables decode() {
    for (char c : kRowStreamMagic) {
      if (in_.u8() != static_cast<std::uint8_t>(c)) {
        RowStreamReader::malformed();
      }
    }
    SourceTables tables;
    SourceTable* targets[kTableCount] = {&tables.student, &tables.studentResult, &tables.subject};
    for (int index = 0; index < kTableCount; ++index) {
      std::uint8_t tag = in_.u8();
      if (tag == kStreamRefusal) {
        refused();
      }
      if (tag != kStreamTable || in_.u8() != index) {
        RowStreamReader::malformed();
      }
      readTable(index, *targets[index]);
    }
    if (in_.u8() != kStreamEnd) {
      RowStreamReader::malformed();
    }
    in_.expectEnd();
    return tables;
  }

 private:
  [[noreturn]] void refused() {
    auto reason = static_cast<Refusal>(in_.u8());
    std::uint8_t index = in_.u8();
    if (index >= kTableCount) {
      RowStreamReader::malformed();
    }
    std::string table = kTableNames[index];
    switch (reason) {
      case Refusal::kFirstPage:
        failToRead(path_, damaged("its first page cannot be read"));
      case Refusal::kTableList:
        failToRead(path_, damaged("its list of tables cannot be read"));
      case Refusal::kTableMissing:
        failToRead(path_, "table " + table + " is missing");
      case Refusal::kDefinition:
        failToRead(path_, damaged("the definition of table " + table + " cannot be read"));
      case Refusal::kNoPageMap:
        failToRead(path_, damaged("table " + table + " has no page map"));
    }
    RowStreamReader::malformed();
  }

  void readTable(int index, SourceTable& table) {
    table.name = kTableNames[index];
    std::uint32_t declared = in_.u32();
    std::vector<ColumnHeader> columns(in_.u16());
    for (ColumnHeader& column : columns) {
      column.accessType = in_.u8();
      column.name = std::string(in_.text(kMaxNameBytes));
      table.columnNames.push_back(column.name);
    }
    ColumnCheck check = checkColumns(columns, index);
    refuseColumns(table.name, check);
    if (declared > fileSize_ / kMinimumRowBytes) {
      failToRead(path_, damaged("table " + table.name + " declares more rows than the file holds"));
    }
    for (std::size_t i : check.indexes) {
      table.columns.push_back(makeColumn(columns[i].name, columns[i].accessType));
      table.columns.back().reserve(declared);
    }
    std::uint64_t rows = readRows(table, declared);
    if (rows != declared) {
      failToRead(path_, damaged("table " + table.name + ": " + std::to_string(rows) +
                                " rows read, " + std::to_string(declared) + " expected"));
    }
  }

  void refuseColumns(const std::string& table, const ColumnCheck& check) {
    switch (check.problem) {
      case ColumnProblem::kNone:
        return;
      case ColumnProblem::kNoColumns:
        failToRead(path_, damaged("table " + table + " has no columns"));
      case ColumnProblem::kUnnamed:
        failToRead(path_, damaged("a column of table " + table + " has no name"));
      case ColumnProblem::kTwoOfOneName:
        failToRead(path_, damaged("table " + table + " has two columns of the same name"));
      case ColumnProblem::kMissing:
        failToRead(path_,
                   std::string("column ") + check.missing + " of table " + table + " is missing");
    }
  }

  std::uint64_t readRows(SourceTable& table, std::uint32_t declared) {
    std::uint64_t rows = 0;
    for (std::uint8_t tag = in_.u8(); tag != kStreamTableEnd; tag = in_.u8()) {
      if (tag != kStreamRow || ++rows > static_cast<std::uint64_t>(declared) + 1) {
        RowStreamReader::malformed();
      }
      std::uint8_t zeroLength = in_.u8();
      for (std::size_t i = 0; i < table.columns.size(); ++i) {
        appendValue(table.columns[i], in_.text(kBindBytes), (zeroLength >> i & 1u) != 0, numbers_);
      }
    }
    if (in_.u32() != rows) {
      RowStreamReader::malformed();
    }
    return rows;
  }

  const std::string& path_;
  std::uint64_t fileSize_;
  RowStreamReader in_;
  NumericParser numbers_;
};

// The reader of a whole, healthy file takes well under a second per ten megabytes; a damaged
// one that loops is stopped once it has had many times that.
std::chrono::seconds timeLimit(std::uint64_t fileSize) {
  return std::chrono::seconds(10 + fileSize / (2u << 20));
}

// The reader streams: libmdb holds a few pages, the catalog and one bound row whatever the size
// of the file (about 5 MB on a file of 51 MB, most of it the program's own pages). A reader far
// past this is running away.
constexpr std::size_t kMemoryLimit = std::size_t{64} << 20;

std::string lowerFirst(std::string text) {
  if (!text.empty()) {
    text[0] = g_ascii_tolower(text[0]);
  }
  return text;
}

}  // namespace

SourceTables readAccessTables(const std::string& path) {
  struct stat status = {};
  std::uint64_t fileSize = stat(path.c_str(), &status) == 0 ? status.st_size : 0;
  ChildLimits limits;
  limits.time = timeLimit(fileSize);
  limits.memoryBytes = kMemoryLimit;
  return readAccessTables(
      path, [&path](int fd) { return ChildReader(path, fd).run(); }, limits);
}

SourceTables readAccessTables(const std::string& path, const ChildProcess::Work& reader,
                              const ChildLimits& limits) {
  struct stat status = {};
  std::uint64_t fileSize = stat(path.c_str(), &status) == 0 ? status.st_size : 0;
  std::unique_ptr<ChildProcess> child;
  try {
    child = std::make_unique<ChildProcess>(reader, limits);
  } catch (const std::system_error& error) {
    failToRead(path,
               "no process can be started to read it (" + lowerFirst(error.code().message()) + ")");
  }
  SourceTables tables;
  try {
    tables = AnswerDecoder(path, fileSize, *child).decode();
  } catch (const RowStreamError& error) {
    failToRead(path, damaged(readerFailure(error.cut() ? child->finish() : child->stop(), limits)));
  }
  ChildEnd end = child->finish();
  if (end.kind != ChildEnd::kExited || end.code != 0) {
    failToRead(path, damaged(readerFailure(end, limits)));
  }
  return tables;
}
