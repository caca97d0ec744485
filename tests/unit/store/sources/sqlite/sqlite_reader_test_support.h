// Helpers for the SQLite reader's tests: connections of a writer, the reader's error, the files of
// a folder.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <set>
#include <string>

#include "store/database_error.h"
#include "store/sources/sqlite/sqlite_handles.h"
#include "store/sources/sqlite/sqlite_reader.h"

// The error's line, or "" when the file reads.
inline std::string readingError(const std::string& path) {
  try {
    readSqliteTables(path);
  } catch (const DatabaseError& error) {
    return error.what();
  }
  return "";
}

inline SqliteDatabase openConnection(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  return SqliteDatabase(db);
}

inline void run(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string reason = message == nullptr ? "" : message;
  sqlite3_free(message);
  ASSERT_EQ(status, SQLITE_OK) << reason;
}

inline std::set<std::string> filesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(entry.path().string());
  }
  return names;
}

inline const char* const kStandardStudent =
    "CREATE TABLE Student (StudentID, Name, StreetAddress, City, State, Postcode, Intake);";
inline const char* const kStandardSubject = "CREATE TABLE Subject (SubjectID, Name, Level);";
