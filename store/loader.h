// Reads Database.mdb (an Access or a SQLite file) into a new record tree at start-up.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "store/query_source.h"
#include "store/record_tree.h"

constexpr const char* kDatabaseFileName = "Database.mdb";

// The database cannot be read. what() is one line naming the file and the reason, for example
// "Cannot read Database.mdb: table StudentResult is missing".
class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class LoadStatus {
  kLoaded,       // the tree holds at least one student
  kNoStudent,    // the database is readable but holds no student
  kOutOfMemory,  // an allocation failed; "Out Of Memory" has been reported
};

struct LoadResult {
  RecordTree tree = nullptr;  // owned by the caller; null unless kLoaded
  LoadStatus status = LoadStatus::kNoStudent;
};

// Called now and then while students are loaded, with the number loaded so far.
using LoadProgress = std::function<void(long studentsLoaded)>;

// Opens a database file read-only, recognising Access (Jet 3, Jet 4, ACE) and SQLite 3 by their
// first bytes, and copies its three tables into an in-memory SQLite database that the queries run
// on. Throws DatabaseError.
std::unique_ptr<QuerySource> openDatabaseFile(const std::string& path);

// Builds the tree from whatever source answers the loader's queries. Throws DatabaseError.
LoadResult loadRecordTree(QuerySource& source, const LoadProgress& progress = {});

// Loads the database file at path; its messages name the path as given. Throws DatabaseError.
LoadResult loadRecordTree(const std::string& path, const LoadProgress& progress = {});

// Loads Database.mdb of the working directory. Throws DatabaseError.
LoadResult loadRecordTree(const LoadProgress& progress = {});

// The atoi-style parse of a column text: leading white space, an optional sign, digits; 0 when
// there are none; clamped to the 32-bit range instead of overflowing.
int parseNumber(const std::string& text);
