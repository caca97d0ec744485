// Reads the three tables of an Access file with libmdb in a reader process, which checks what
// libmdb finds and sends the tables to the program as it reads them, in the table stream.
#include "store/sources/access/access_reader.h"

// mdbtools.h includes glib inside extern "C", which C++ headers in glib reject: include it first.
#include <glib.h>
#include <mdbtools.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/process/reader_limits.h"
#include "store/process/reader_process.h"
#include "store/process/row_stream.h"
#include "store/process/table_stream.h"
#include "store/sources/access/access_columns_posix.h"
#include "store/tables/sql_values.h"

namespace {

constexpr const auto& kTableNames = kSourceTableNames;
constexpr int kTableCount = 3;

// Longer texts (memo columns) are cut by libmdb at this many bytes, its terminating NUL included.
constexpr std::size_t kBindBytes = 16384;
constexpr std::size_t kMaxNameBytes = MDB_MAX_OBJ_NAME;

// A stored row takes at least an offset entry and a column count on its page: a table that
// declares more rows than a quarter of the file's bytes is damaged.
constexpr std::uint64_t kMinimumRowBytes = 4;

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

// As SQLite stored libmdb's text in a column of that type: NULL as NULL, a zero-length text as
// "", numbers that read as numbers, everything else as text.
Value storedText(const SourceColumn& column, std::string_view text, bool zeroLength,
                 NumericParser& parser) {
  if (zeroLength && column.affinity() != Affinity::kNone) {
    return textValue(text);
  }
  if (text.empty() || column.affinity() == Affinity::kNone) {
    return Value{};
  }
  return storedValue(textValue(text), column.affinity(), parser);
}

// Runs in the reader process: everything libmdb does happens here.
class ChildReader {
 public:
  ChildReader(const std::string& path, std::uint64_t fileSize, int fd)
      : path_(path), fileSize_(fileSize), out_(fd), tables_(out_) {}

  int run() {
    std::string refusal = send();
    if (refusal.empty()) {
      tables_.finish();
    } else {
      tables_.refuse(refusal);
    }
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
          _exit(ReaderProcess::kOutOfMemoryExit);
        }
      }
    }
    return G_LOG_WRITER_HANDLED;  // the terminal is not the child's to write on
  }

  // The tables go out; the reason they cannot, or "".
  std::string send() {
    // Debugging options from the environment would change what libmdb reads and prints.
    unsetenv("MDBOPTS");
    g_log_set_writer_func(onLog, nullptr, nullptr);
    AccessFile file(mdb_open(path_.c_str(), MDB_NOFLAGS));  // read-only
    MdbHandle* mdb = file.get();
    if (mdb == nullptr) {
      return accessFileDamaged("its first page cannot be read");
    }
    mdb_set_bind_size(mdb, kBindBytes);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(mdb, "%Y-%m-%d");
    mdb_set_boolean_fmt_numbers(mdb);
    if (mdb_read_catalog(mdb, MDB_ANY) == nullptr || !isTableListWhole(mdb)) {
      return accessFileDamaged("its list of tables cannot be read");
    }
    MdbCatalogEntry* entries[kTableCount];
    for (int table = 0; table < kTableCount; ++table) {
      entries[table] = findTable(mdb, kTableNames[table]);
      if (entries[table] == nullptr) {
        return std::string("table ") + kTableNames[table] + " is missing";
      }
    }
    for (int table = 0; table < kTableCount; ++table) {
      std::string refusal = sendTable(entries[table], table);
      if (!refusal.empty()) {
        return refusal;
      }
    }
    return "";
  }

  std::string sendTable(MdbCatalogEntry* entry, int index) {
    const std::string name = kTableNames[index];
    AccessTable owner(mdb_read_table(entry));
    MdbTableDef* table = owner.get();
    if (table == nullptr) {
      return accessFileDamaged("the definition of table " + name + " cannot be read");
    }
    // Fetching rows reads the page map without looking: without one libmdb would crash.
    if (table->usage_map == nullptr || table->map_sz < 1) {
      return accessFileDamaged("table " + name + " has no page map");
    }
    if (mdb_read_columns(table) == nullptr) {
      return accessFileDamaged("the definition of table " + name + " cannot be read");
    }
    SourceTable header;
    header.name = name;
    std::vector<ColumnHeader> columns(table->columns->len);
    for (unsigned int i = 0; i < columns.size(); ++i) {
      MdbColumn* column = columnAt(table, i);
      columns[i] = {static_cast<std::uint8_t>(column->col_type),
                    std::string(column->name, strnlen(column->name, kMaxNameBytes))};
      header.columnNames.push_back(columns[i].name);
    }
    ColumnCheck check = checkColumns(columns, kTableNames[index]);
    std::string problem = columnProblem(name, check);
    if (!problem.empty()) {
      return problem;
    }
    if (table->num_rows > fileSize_ / kMinimumRowBytes) {
      return accessFileDamaged("table " + name + " declares more rows than the file holds");
    }
    for (std::size_t i : check.indexes) {
      header.columns.push_back(makeColumn(columns[i].name, columns[i].accessType));
    }
    tables_.beginTable(index, std::move(header), table->num_rows);
    std::uint64_t rows = sendRows(table, columns, check.indexes);
    if (rows != table->num_rows) {
      return accessFileDamaged("table " + name + ": " + std::to_string(rows) + " rows read, " +
                               std::to_string(table->num_rows) + " expected");
    }
    tables_.endTable();
    return "";
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

  // Sends the rows, at most one more than the table declares (enough to tell that the count is
  // wrong); returns how many.
  std::uint64_t sendRows(MdbTableDef* table, const std::vector<ColumnHeader>& columns,
                         const std::vector<std::size_t>& indexes) {
    // Only the required columns are read: libmdb converts no other column's values. Texts and
    // integers are converted here, every other type by libmdb's binding.
    std::vector<std::vector<char>> values(indexes.size());
    std::vector<MdbColumn*> unbound(indexes.size());
    std::vector<bool> texts(indexes.size());
    std::vector<SourceColumn> rules;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      int type = columns[indexes[i]].accessType;
      rules.push_back(makeColumn(columns[indexes[i]].name, type));
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
    std::vector<Value> row(indexes.size());
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
      std::uint32_t zeroLength =
          emptyText ? zeroLengthTexts(table, fields, indexes, texts, lengths) : 0;
      for (std::size_t i = 0; i < values.size(); ++i) {
        row[i] = storedText(rules[i], std::string_view(values[i].data(), lengths[i]),
                            (zeroLength >> i & 1u) != 0, numbers_);
      }
      tables_.addRow(row.data());
      ++rows;
    }
    return rows;
  }

  // libmdb binds NULL and a zero-length text alike as "": the row just fetched is taken apart
  // once more for its null flags. Bit i is set for required column i when it holds a
  // zero-length text.
  static std::uint32_t zeroLengthTexts(MdbTableDef* table, std::vector<MdbField>& fields,
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
    std::uint32_t mask = 0;
    for (int f = 0; f >= 0 && f < cracked && f < static_cast<int>(fields.size()); ++f) {
      for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (texts[i] && lengths[i] == 0 &&
            static_cast<std::size_t>(fields[f].colnum) == indexes[i] && fields[f].is_null == 0) {
          mask |= 1u << i;
        }
      }
    }
    return mask;
  }

  const std::string& path_;
  std::uint64_t fileSize_;
  RowStreamWriter out_;
  TableStreamWriter tables_;
  NumericParser numbers_;
};

std::uint64_t fileSizeOf(const std::string& path) {
  struct stat status = {};
  return stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

}  // namespace

int runAccessReader(const std::vector<std::string>& arguments, const std::string&, int outputFd) {
  const std::string& path = arguments.at(0);
  return ChildReader(path, fileSizeOf(path), outputFd).run();
}

SourceTables readAccessTables(const std::string& path) {
  const ReaderLimits limits = libmdbReaderLimits(fileSizeOf(path));
  return readTablesInReader(
      kAccessReaderRole, {path}, limits, path,
      [&limits](const ReaderEnd& end) { return accessReaderFailure(end, limits); });
}
