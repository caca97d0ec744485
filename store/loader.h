// The one way the program loads its records: from a database file or a server, into a new record
// tree at start-up.
#pragma once

#include <string>
#include <utility>

#include "store/database_error.h"
#include "store/source_files.h"
#include "store/tree/load_result.h"

constexpr const char* kDatabaseFileName = "Database.mdb";

// Where the records are read from: a database file (Access or SQLite, told apart by its first
// bytes), or a server named by an ODBC connection string.
struct DatabaseSource {
  enum class Kind { kFile, kConnection };
  Kind kind = Kind::kFile;
  std::string location = kDatabaseFileName;  // the path as the user gave it, or the connection

  static DatabaseSource file(std::string path) { return {Kind::kFile, std::move(path)}; }
  static DatabaseSource connection(std::string text) {
    return {Kind::kConnection, std::move(text)};
  }

  // How messages name the source: the path as given, or the connection with its secrets masked.
  std::string name() const;

  // The files a load reads, or that their engines keep beside them: never a program's output.
  std::vector<SourceFile> files() const;
};

struct SourceTables;
// Looks at the three tables as read, before the tree is built from them (the data check).
using TablesInspection = std::function<void(const SourceTables&)>;

// Reads the three tables of the source read-only and builds the tree from them. Throws
// DatabaseError "Cannot read <source name>: <reason>".
LoadResult loadRecordTree(const DatabaseSource& source, const LoadProgress& progress = {},
                          const TablesInspection& inspect = {});
