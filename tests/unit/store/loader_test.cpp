// Loading as the program does: how a source is named, a file without students or damaged, and
// the row order of the tables whatever the file's indexes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "store/loader.h"
#include "store/sources/sqlite/sqlite_handles.h"
#include "unit/store/loader_test_support.h"

namespace {

// "No student found" only for a file without a student row, and a damaged file says so.
TEST(LoadFile, NoStudentIsSaidOfAFileWithoutStudentRowsOnly) {
  ScratchFolder scratch;
  const std::string kStudent =
      "CREATE TABLE Student (StudentID, Name, StreetAddress, City, State, Postcode, Intake);"
      "CREATE TABLE StudentResult (StudentID, SubjectID, Semester, Marks);"
      "CREATE TABLE Subject (SubjectID, Name, Level);";
  const struct {
    const char* name;
    std::function<std::string()> make;  // the file's path
    std::string outcome;                // "no student", or the error's reason
  } cases[] = {
      {"SQLite file without rows", [&] { return sqliteFixture(scratch, "empty"); }, "no student"},
      // Student's first page turned into an empty leaf: the table reads as empty, and only the
      // pages it no longer reaches show the damage.
      {"damaged: students look empty",
       [&] {
         std::string path = scratch.file("looks-empty.db");
         makeSqliteFile(path, readFile(fixturePath("demo.sql")) +
                                  "INSERT INTO Student SELECT StudentID || n, Name, "
                                  "StreetAddress, City, State, Postcode, Intake FROM Student, "
                                  "(WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM "
                                  "r WHERE n < 30) SELECT n FROM r);");
         SqliteDatabase db;
         sqlite3* raw = nullptr;
         sqlite3_open(path.c_str(), &raw);
         db.reset(raw);
         sqlite3_stmt* root = nullptr;
         sqlite3_prepare_v2(raw, "SELECT rootpage FROM sqlite_master WHERE name = 'Student'", -1,
                            &root, nullptr);
         sqlite3_step(root);
         std::size_t page = static_cast<std::size_t>(sqlite3_column_int(root, 0));
         sqlite3_finalize(root);
         db.reset();
         std::string bytes = readFile(path);
         bytes.replace((page - 1) * 4096, 8, std::string("\x0D\0\0\0\0\x10\0\0", 8));
         writeFile(path, bytes);
         return path;
       },
       "the file is damaged (...)"},
      // Every row is a student, under its own intake: NULL reads as the empty intake.
      {"students without an intake",
       [&] {
         std::string path = scratch.file("no-intake.db");
         makeSqliteFile(path, kStudent + "INSERT INTO Student (StudentID) VALUES ('a'), ('b');");
         return path;
       },
       "loaded"},
      {"an intake that is no text",
       [&] {
         std::string path = scratch.file("blob-intake.db");
         makeSqliteFile(path, kStudent +
                                  "INSERT INTO Student (StudentID, Intake) VALUES "
                                  "('a', x'41');");
         return path;
       },
       "loaded"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = c.make();
    try {
      LoadedTree result = loadFile(path);
      EXPECT_EQ(c.outcome, result.status == LoadStatus::kNoStudent ? "no student" : "loaded");
    } catch (const DatabaseError& error) {
      EXPECT_TRUE(sameLine(error.what(), "Cannot read " + path + ": " + c.outcome));
    }
  }
}

// Messages name a file as given and a connection with its password masked.
TEST(DatabaseSource, NameIsThePathAsGivenOrTheMaskedConnection) {
  EXPECT_EQ(DatabaseSource().name(), "Database.mdb");
  EXPECT_EQ(DatabaseSource::file("../PWD=x.mdb").name(), "../PWD=x.mdb");
  EXPECT_EQ(DatabaseSource::connection("DSN=office;PWD=Sekr3t").name(), "DSN=office;PWD=***");
}

TEST(LoadFile, StudentsAndResultsKeepTableOrderWhateverTheSourceIndexes) {
  ScratchFolder scratch;
  std::string path = scratch.file("order.db");
  makeSqliteFile(path,
                 "CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT, "
                 "State TEXT, Postcode TEXT, Intake TEXT);"
                 "CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INTEGER, "
                 "Marks INTEGER);"
                 "CREATE TABLE Subject (SubjectID TEXT PRIMARY KEY, Name TEXT, Level INTEGER);"
                 "CREATE INDEX StudentResult_SubjectID ON StudentResult(SubjectID);"
                 "CREATE INDEX Student_StudentID ON Student(StudentID);"
                 "INSERT INTO Subject VALUES ('CS101','A',1), ('CS103','C',1), ('CS104','D',1);"
                 "INSERT INTO Student (StudentID, Intake) VALUES ('zz01','X'), ('aa01','X'), "
                 "('mm01','X');"
                 "INSERT INTO StudentResult VALUES ('aa01','CS104',1,4), ('zz01','CS101',1,1), "
                 "('aa01','CS101',1,1), ('aa01','CS103',1,3);");
  LoadedTree loaded = loadFile(path);
  EXPECT_EQ(studentIds(intakeNamed(loaded.tree.get(), "X")),
            (std::vector<std::string>{"zz01", "aa01", "mm01"}));
  EXPECT_EQ(resultsOf(loaded.tree.get(), "aa01"),
            "    level 1\n      semester 1: CS104=4 (D) CS101=1 (A) CS103=3 (C)\n");
}

}  // namespace
