// Recognising a database file by its first bytes, and refusing what is plainly not one.
#include "store/sources/file_format.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <string>

#include "store/database_error.h"
#include "unit/store/loader_test_support.h"

namespace {

// "" and the format when path is recognised, otherwise the error's line.
std::string recognition(const std::string& path) {
  try {
    return recogniseDatabaseFile(path) == FileFormat::kAccess ? "Access" : "SQLite";
  } catch (const DatabaseError& error) {
    return error.what();
  }
}

TEST(RecogniseDatabaseFile, NamesTheFormatOrGivesOneLineWithTheReason) {
  ScratchFolder scratch;
  const std::string demo = readFile(fixturePath("demo.mdb"));
  const std::string sqlite = readFile(sqliteFixture(scratch, "demo"));
  // SQLite before 3.7.0 left the header's page count stale; the change counter at 92 then
  // differs from the one at 24, and the count is not to be trusted.
  std::string staleCount = sqlite;
  staleCount.replace(28, 4, "\x7F\0\0\0", 4);
  staleCount[95] = static_cast<char>(staleCount[27] + 1);
  std::string lyingCount = sqlite;
  lyingCount.replace(28, 4, "\0\0\1\0", 4);
  const struct {
    const char* name;
    std::string bytes;  // the file's content; a name without bytes is made by the test
    std::string expected;
  } cases[] = {
      {"demo.mdb", demo, "Access"},
      {"demo.db", sqlite, "SQLite"},
      {"stale-count.db", staleCount, "SQLite"},
      {"notes.txt", "Student,Marks\nst230401,100\n", "not an Access or SQLite database file"},
      {"empty", "", "not an Access or SQLite database file"},
      {"access-100", demo.substr(0, 100), "the Access file is damaged (it is cut short)"},
      {"access-88064", demo.substr(0, 88064), "the Access file is damaged (it is cut short)"},
      {"sqlite-50", sqlite.substr(0, 50), "the SQLite file is damaged (it is cut short)"},
      {"sqlite-8192", sqlite.substr(0, 8192), "the SQLite file is damaged (it is cut short)"},
      {"lying-count.db", lyingCount, "the SQLite file is damaged (it is cut short)"},
      {"missing", "", "file not found"},
      {"folder", "", "it is a directory"},
  };
  for (const auto& c : cases) {
    std::string path = scratch.file(c.name);
    std::string name = c.name;
    if (name == "folder") {
      std::filesystem::create_directory(path);
    } else if (name != "missing") {
      writeFile(path, c.bytes);
    }
    bool isFormat = c.expected == "Access" || c.expected == "SQLite";
    EXPECT_EQ(recognition(path), isFormat ? c.expected : "Cannot read " + path + ": " + c.expected)
        << c.name;
  }
}

}  // namespace
