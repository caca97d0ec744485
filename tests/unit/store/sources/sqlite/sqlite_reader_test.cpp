// Reading the three tables of a SQLite file: the file's own values, types, collations and order,
// no side effect from SQL stored in it, and one clear line for each kind of bad file.
#include "store/sources/sqlite/sqlite_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "unit/store/loader_test_support.h"
#include "unit/store/sources/sqlite/sqlite_reader_test_support.h"

namespace {

const char* const kAffinityNames[] = {"none", "text", "numeric", "integer", "real"};

// Every column description and value of the tables, one line per column.
std::string dump(const SourceTables& tables) {
  std::ostringstream out;
  for (const SourceTable* table : {&tables.student, &tables.studentResult, &tables.subject}) {
    for (const SourceColumn& column : table->columns) {
      out << table->name << '.' << column.name() << ' '
          << kAffinityNames[static_cast<int>(column.affinity())] << ' ' << column.collation()
          << ':';
      for (std::size_t row = 0; row < column.size(); ++row) {
        Value value = column.at(row);
        switch (value.type) {
          case ValueType::kNull:
            out << " NULL";
            break;
          case ValueType::kInteger:
            out << ' ' << value.integer;
            break;
          case ValueType::kReal:
            out << ' ' << value.real << 'r';
            break;
          case ValueType::kText:
            out << " '" << value.bytes << '\'';
            break;
          case ValueType::kBlob:
            out << " x" << value.bytes.size();
            break;
        }
      }
      out << '\n';
    }
  }
  return out.str();
}

// Overwrites the page of a table (or, from byte 100, the table list on page 1).
void overwritePage(const std::string& path, std::size_t offset, const std::string& bytes) {
  std::string content = readFile(path);
  content.replace(offset, bytes.size(), bytes);
  writeFile(path, content);
}

int rootPage(const std::string& path, const char* table) {
  SqliteDatabase db = openConnection(path);
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db.get(), "SELECT rootpage FROM sqlite_master WHERE name = ?", -1, &raw,
                     nullptr);
  SqliteStatement statement(raw);
  sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
  return sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int(raw, 0) : 0;
}

TEST(ReadSqliteTables, EachBadFileGivesOneClearLine) {
  ScratchFolder scratch;
  SqliteDatabase writer;  // a connection a case keeps open while the file is read
  const struct {
    const char* name;
    std::function<void(const std::string& path)> make;
    std::string reason;
  } cases[] = {
      {"no-results-table",
       [&](const std::string& path) {
         makeSqliteFile(path, readFile(fixturePath("no-results-table.sql")));
       },
       "table StudentResult is missing"},
      {"no-marks",
       [&](const std::string& path) {
         makeSqliteFile(path, std::string(kStandardStudent) + kStandardSubject +
                                  "CREATE TABLE StudentResult (StudentID, SubjectID, Semester);");
       },
       "column Marks of table StudentResult is missing"},
      {"student-view",
       [&](const std::string& path) {
         makeSqliteFile(path, std::string(kStandardSubject) +
                                  "CREATE TABLE StudentResult (StudentID, SubjectID, Semester, "
                                  "Marks); CREATE VIEW Student AS SELECT StudentID, 1 AS Name, 2 "
                                  "AS StreetAddress, 3 AS City, 4 AS State, 5 AS Postcode, 6 AS "
                                  "Intake FROM StudentResult;");
       },
       "table Student is a view, which is not read"},
      {"computed-marks",
       [&](const std::string& path) {
         makeSqliteFile(path, std::string(kStandardStudent) + kStandardSubject +
                                  "CREATE TABLE StudentResult (StudentID, SubjectID, Semester, "
                                  "Marks AS (Semester * 10));");
       },
       "column Marks of table StudentResult is computed by a formula in the file, which is not "
       "run"},
      {"table-list-page",
       [&](const std::string& path) {
         makeSqliteFile(path, readFile(fixturePath("demo.sql")));
         overwritePage(path, 100, std::string(4096 - 100, '\x5A'));
       },
       "the file is damaged (...)"},
      {"results-page",
       [&](const std::string& path) {
         makeSqliteFile(path, readFile(fixturePath("demo.sql")));
         std::size_t page = static_cast<std::size_t>(rootPage(path, "StudentResult"));
         overwritePage(path, (page - 1) * 4096, std::string(4096, '\x5A'));
       },
       "the file is damaged (...)"},
      {"locked",
       [&](const std::string& path) {
         makeSqliteFile(path, readFile(fixturePath("demo.sql")));
         writer = openConnection(path);
         run(writer.get(), "BEGIN EXCLUSIVE");
       },
       "another program is changing it; try again when it has finished"},
  };
  for (const auto& c : cases) {
    std::string path = scratch.file(std::string(c.name) + ".db");
    c.make(path);
    EXPECT_TRUE(sameLine(readingError(path), "Cannot read " + path + ": " + c.reason)) << c.name;
    writer.reset();
  }
}

TEST(ReadSqliteTables, StoredSchemaTextIsNeverRun) {
  ScratchFolder scratch;
  std::filesystem::create_directory(scratch.path() / "x");
  std::string evil = scratch.file("x/evil.db");
  std::string path = sqliteFixture(scratch, "demo");
  {
    SqliteDatabase db = openConnection(path);
    run(db.get(),
        "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = sql || '; ATTACH ''" + evil +
            "'' AS e; CREATE TABLE e.t(a)' WHERE name = 'Student';");
  }
  std::set<std::string> before = filesIn(scratch.path());
  std::string bytes = readFile(path);
  SourceTables tables;
  try {
    tables = readSqliteTables(path);
    EXPECT_EQ(tables.student.rows(), 20u);
  } catch (const DatabaseError& error) {
    SUCCEED() << "refused: " << error.what();
  }
  EXPECT_FALSE(std::filesystem::exists(evil));
  EXPECT_EQ(filesIn(scratch.path()), before);
  EXPECT_EQ(readFile(path), bytes);
}

TEST(ReadSqliteTables, Utf16FileReadsTheSameValuesAsUtf8) {
  ScratchFolder scratch;
  std::string utf16 = scratch.file("utf16.db");
  makeSqliteFile(utf16, "PRAGMA encoding = 'UTF-16le';" + readFile(fixturePath("demo.sql")));
  std::string utf8 = sqliteFixture(scratch, "demo");
  std::string expected = dump(readSqliteTables(utf8));
  EXPECT_NE(expected.find("'Tr\xE1\xBA\xA7n Minh \xC4\x90\xE1\xBB\xA9"
                          "c'"),
            std::string::npos);
  EXPECT_EQ(dump(readSqliteTables(utf16)), expected);
}

// Declared types give affinities (a STRICT table's ANY gives none), collations come upper-cased,
// a table without rowids comes in key order even when a covering index would be quicker, and a
// stored computed column reads its stored values.
TEST(ReadSqliteTables, ColumnsAndOrderAreTheFilesOwn) {
  ScratchFolder scratch;
  std::string path = scratch.file("own.db");
  makeSqliteFile(path,
                 "CREATE TABLE Student (StudentID TEXT COLLATE nocase, Name, StreetAddress "
                 "VARCHAR(9), City FLOAT, State BLOB, Postcode DECIMAL, Intake TEXT COLLATE Rtrim,"
                 " Notes ANY);"
                 "CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INT, "
                 "Marks ANY, PRIMARY KEY (StudentID, SubjectID)) /* (strict) */ WITHOUT ROWID, "
                 "STRICT;"
                 "CREATE INDEX by_marks ON StudentResult (Marks, StudentID, SubjectID, Semester);"
                 "CREATE TABLE Subject (SubjectID, Level ANY, Name AS (upper(SubjectID)) STORED);"
                 "INSERT INTO Student VALUES ('s1', 'Ann', 'a', 1, x'00', '0800', 'X', 'n');"
                 "INSERT INTO StudentResult VALUES ('s2', 'b', 1, NULL), ('s1', 'z', 2, 1.5), "
                 "('s1', 'a', 1, '7');"
                 "INSERT INTO Subject (SubjectID, Level) VALUES ('cs1', '2');");
  SourceTables tables = readSqliteTables(path);
  EXPECT_EQ(dump(tables),
            "Student.StudentID text NOCASE: 's1'\n"
            "Student.Name none BINARY: 'Ann'\n"
            "Student.StreetAddress text BINARY: 'a'\n"
            "Student.City real BINARY: 1r\n"
            "Student.State none BINARY: x1\n"
            "Student.Postcode numeric BINARY: 800\n"
            "Student.Intake text RTRIM: 'X'\n"
            "StudentResult.StudentID text BINARY: 's1' 's1' 's2'\n"
            "StudentResult.SubjectID text BINARY: 'a' 'z' 'b'\n"
            "StudentResult.Semester integer BINARY: 1 2 1\n"
            "StudentResult.Marks none BINARY: '7' 1.5r NULL\n"
            "Subject.SubjectID none BINARY: 'cs1'\n"
            "Subject.Name none BINARY: 'CS1'\n"
            "Subject.Level numeric BINARY: 2\n");
  EXPECT_EQ(tables.student.columnNames,
            (std::vector<std::string>{"StudentID", "Name", "StreetAddress", "City", "State",
                                      "Postcode", "Intake", "Notes"}));
}

}  // namespace
