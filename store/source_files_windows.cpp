// Data sources and links on Windows: the ODBC data sources in the registry, the final path name.
#include <windows.h>

#include <string>
#include <vector>

#include "store/source_files.h"

namespace {

// A value of a data source's key, the user's data sources before the machine's.
void readDataSourceValue(const std::string& dataSourceName, const char* name,
                         std::vector<std::string>& values) {
  const std::string key = "Software\\ODBC\\ODBC.INI\\" + dataSourceName;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    char value[MAX_PATH * 4] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) ==
        ERROR_SUCCESS) {
      values.push_back(value);
    }
  }
}

}  // namespace

std::vector<std::string> dataSourceFiles(const std::string& dataSourceName) {
  std::vector<std::string> values;
  for (const char* name : {"DBQ", "Database"}) {
    readDataSourceValue(dataSourceName, name, values);
  }
  return values;
}

// Windows keeps an Access lock file beside the name it was given: no link is followed here.
std::string linkEndOf(const std::string& path) {
  return path;
}
