// Reads an Access file's three tables into SourceTables with libmdb, typed as the loader's copy
// types them: whole numbers as integers, other numbers as reals, texts case-insensitive.
#include "bench/access_tables.h"

#include <glib.h>  // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::size_t kBindBytes = 16384;

MdbColumn* columnAt(MdbTableDef* table, unsigned int index) {
  return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

Affinity affinityOf(int type) {
  switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
      return Affinity::kInteger;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
      return Affinity::kReal;
    case MDB_TEXT:
    case MDB_MEMO:
    case MDB_DATETIME:
    case MDB_REPID:
      return Affinity::kText;
    default:
      return Affinity::kNone;
  }
}

void append(SourceColumn& column, const char* text) {
  std::size_t length = std::strlen(text);
  if (length == 0) {
    column.appendNull();  // libmdb gives NULL and an empty text alike
    return;
  }
  char* end = nullptr;
  if (column.affinity() == Affinity::kInteger) {
    long long integer = std::strtoll(text, &end, 10);
    if (*end == '\0') {
      column.appendInteger(integer);
      return;
    }
  } else if (column.affinity() == Affinity::kReal) {
    double real = std::strtod(text, &end);
    if (*end == '\0') {
      column.appendReal(real);
      return;
    }
  }
  column.appendText(std::string_view(text, length));
}

void readTable(MdbHandle* mdb, const char* name, SourceTable& table) {
  table.name = name;
  MdbTableDef* definition = mdb_read_table_by_name(mdb, const_cast<gchar*>(name), MDB_TABLE);
  if (definition == nullptr || mdb_read_columns(definition) == nullptr) {
    throw std::runtime_error(std::string("no table ") + name);
  }
  std::vector<std::vector<char>> values(definition->num_cols, std::vector<char>(kBindBytes));
  std::vector<int> source;  // the table's column of each required column
  for (const char* required : requiredColumns(name)) {
    for (unsigned int i = 0; i < definition->num_cols; ++i) {
      MdbColumn* column = columnAt(definition, i);
      if (g_ascii_strcasecmp(column->name, required) == 0) {
        Affinity affinity = affinityOf(column->col_type);
        bool text = column->col_type == MDB_TEXT || column->col_type == MDB_MEMO;
        table.columns.emplace_back(required, affinity, text ? "NOCASE" : "BINARY");
        source.push_back(static_cast<int>(i));
      }
    }
  }
  for (unsigned int i = 0; i < definition->num_cols; ++i) {
    table.columnNames.emplace_back(columnAt(definition, i)->name);
    mdb_bind_column(definition, static_cast<int>(i + 1), values[i].data(), nullptr);
  }
  if (table.columns.size() != requiredColumns(name).size()) {
    throw std::runtime_error(std::string("a column of ") + name + " is missing");
  }
  mdb_rewind_table(definition);
  while (mdb_fetch_row(definition)) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      append(table.columns[i], values[static_cast<std::size_t>(source[i])].data());
    }
  }
  mdb_free_tabledef(definition);
}

}  // namespace

SourceTables readAccessTablesForBench(const std::string& path) {
  MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
  if (mdb == nullptr || mdb_read_catalog(mdb, MDB_TABLE) == nullptr) {
    throw std::runtime_error("cannot open " + path);
  }
  mdb_set_bind_size(mdb, kBindBytes);
  mdb_set_boolean_fmt_numbers(mdb);
  SourceTables tables;
  tables.kind = SourceKind::kAccess;
  try {
    readTable(mdb, "Student", tables.student);
    readTable(mdb, "StudentResult", tables.studentResult);
    readTable(mdb, "Subject", tables.subject);
  } catch (...) {
    mdb_close(mdb);
    throw;
  }
  mdb_close(mdb);
  return tables;
}
