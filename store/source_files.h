// The files a load reads, and those that their engines keep beside them: what no output of the
// program may ever be.
#pragma once

#include <string>
#include <vector>

struct SourceFile {
  std::string path;
  bool isDatabase = false;  // the database itself, not a file kept beside it
};

// The database file and its companions: SQLite's -wal, -shm and -journal, beside the name given
// and beside the file a link ends at, and Access's lock file (.ldb, .laccdb).
std::vector<SourceFile> filesOfDatabaseFile(const std::string& path);

// The files a connection string names for a file driver (DBQ, Database), directly or through its
// data source (DSN), each with its companions. A server's database name matches no file here.
std::vector<SourceFile> filesOfConnection(const std::string& connection);

// The DBQ and Database values of a data source as the driver manager keeps them (odbc.ini on
// POSIX, the registry on Windows).
std::vector<std::string> dataSourceFiles(const std::string& dataSourceName);

// The file that path ends at once the system has followed every link; "" when there is none.
std::string linkEndOf(const std::string& path);
