// Reads Database.mdb (an Access or a SQLite file) into a new record tree at start-up.
#pragma once

#include <string>

#include "store/build/loader_queries.h"
#include "store/database_error.h"
#include "store/sources/source_tables.h"
#include "store/tree/record_tree.h"

constexpr const char* kDatabaseFileName = "Database.mdb";

// Loads the database file at path (as the user gave it; messages name it so): recognises Access
// (Jet 3, Jet 4, ACE) or SQLite 3 by its first bytes, reads its three tables read-only, and
// builds the tree from them. Throws DatabaseError.
LoadResult loadRecordTree(const std::string& path, const LoadProgress& progress = {});

// Builds the tree of the tables read from the file at source: directly when the direct build can
// reproduce the source's rules, else by the query texts on the reference database. Throws
// DatabaseError.
LoadResult loadRecordTree(const SourceTables& tables, const std::string& source,
                          const LoadProgress& progress = {});

// Loads the three tables read through the ODBC driver that the connection string names (a
// server, or a file the driver opens); messages name the connection masked
// (connectionSourceName). Throws DatabaseError.
LoadResult loadRecordTreeFromServer(const std::string& connection,
                                    const LoadProgress& progress = {});

// Loads Database.mdb of the working directory. Throws DatabaseError.
LoadResult loadRecordTree(const LoadProgress& progress = {});
