// The files a load reads and their companions.
#include "store/source_files.h"

#include "store/sources/odbc/odbc_connection_string.h"

namespace {

// The name without its extension, for the lock file that Access keeps in its place.
std::string withoutExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t separator = path.find_last_of("/\\");
  return dot == std::string::npos || (separator != std::string::npos && dot < separator)
             ? path
             : path.substr(0, dot);
}

void addCompanions(const std::string& path, std::vector<SourceFile>& files) {
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    files.push_back({path + suffix, false});
  }
  for (const char* extension : {".ldb", ".laccdb"}) {
    files.push_back({withoutExtension(path) + extension, false});
  }
}

}  // namespace

std::vector<SourceFile> filesOfDatabaseFile(const std::string& path) {
  std::vector<SourceFile> files = {{path, true}};
  addCompanions(path, files);
  const std::string end = linkEndOf(path);
  if (!end.empty() && end != path) {
    addCompanions(end, files);
  }
  return files;
}

std::vector<SourceFile> filesOfConnection(const std::string& connection) {
  std::vector<std::string> named = connectionValues(connection, "DBQ");
  for (const std::string& database : connectionValues(connection, "Database")) {
    named.push_back(database);
  }
  for (const std::string& dataSource : connectionValues(connection, "DSN")) {
    for (const std::string& database : dataSourceFiles(dataSource)) {
      named.push_back(database);
    }
  }
  std::vector<SourceFile> files;
  for (const std::string& path : named) {
    if (!path.empty()) {
      const std::vector<SourceFile> ofFile = filesOfDatabaseFile(path);
      files.insert(files.end(), ofFile.begin(), ofFile.end());
    }
  }
  return files;
}
