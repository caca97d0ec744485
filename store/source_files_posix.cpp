// Data sources and links on POSIX: unixODBC's odbc.ini files, realpath.
#include <cstdlib>
#include <fstream>

#include "store/source_files.h"

namespace {

std::string lower(std::string text) {
  for (char& c : text) {
    c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

std::string trimmed(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t\r");
  const std::size_t end = text.find_last_not_of(" \t\r");
  return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

// The user's odbc.ini before the system's, where unixODBC looks for them.
std::vector<std::string> odbcIniFiles() {
  std::vector<std::string> files;
  if (const char* user = std::getenv("ODBCINI")) {
    files.push_back(user);
  } else if (const char* home = std::getenv("HOME")) {
    files.push_back(std::string(home) + "/.odbc.ini");
  }
  const char* system = std::getenv("ODBCSYSINI");
  files.push_back(std::string(system != nullptr ? system : "/etc") + "/odbc.ini");
  return files;
}

void readSection(const std::string& file, const std::string& section,
                 std::vector<std::string>& values) {
  std::ifstream in(file);
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    line = trimmed(line);
    if (!line.empty() && line[0] == '[') {
      inSection = lower(line) == "[" + section + "]";
      continue;
    }
    const std::size_t equals = line.find('=');
    const std::string key = lower(trimmed(line.substr(0, equals)));
    if (inSection && equals != std::string::npos && (key == "database" || key == "dbq")) {
      values.push_back(trimmed(line.substr(equals + 1)));
    }
  }
}

}  // namespace

std::vector<std::string> dataSourceFiles(const std::string& dataSourceName) {
  std::vector<std::string> values;
  for (const std::string& file : odbcIniFiles()) {
    readSection(file, lower(trimmed(dataSourceName)), values);
  }
  return values;
}

std::string linkEndOf(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  const std::string end = resolved == nullptr ? "" : resolved;
  std::free(resolved);
  return end;
}
