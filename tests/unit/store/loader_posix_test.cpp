// Loading as the program does: how a source is named, never writing the file, Database.mdb of the
// working folder by default, and the row order of the tables whatever the file's indexes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "store/loader.h"
#include "store/sources/sqlite/sqlite_handles.h"
#include "unit/store/loader_test_support.h"

namespace {

class LoadFileTest : public ::testing::Test {
 protected:
  std::string copyOf(const std::string& path, std::size_t bytes = std::string::npos) {
    std::string copy = scratch_.file("copy-" + std::to_string(++copies_));
    writeFile(copy, readFile(path).substr(0, bytes));
    return copy;
  }

  ScratchFolder scratch_;
  int copies_ = 0;
};

TEST_F(LoadFileTest, FileIsNeverWritten) {
  std::string sqlite = sqliteFixture(scratch_, "demo");
  // A SQLite file in write-ahead-log mode would make a reader create -wal and -shm files.
  makeSqliteFile(sqlite, "PRAGMA journal_mode=WAL;");
  for (const std::string& path : {copyOf(fixturePath("demo.mdb")), sqlite}) {
    struct stat before {};
    stat(path.c_str(), &before);
    std::string bytes = readFile(path);
    std::size_t files = std::distance(std::filesystem::directory_iterator(scratch_.path()), {});
    EXPECT_EQ(loadFile(path).status, LoadStatus::kLoaded);
    struct stat after {};
    stat(path.c_str(), &after);
    EXPECT_EQ(readFile(path), bytes) << path;
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec) << path;
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << path;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch_.path()), {}), files);
  }
}

// "No student found" only for a file without a student row, and a damaged file says so.
TEST_F(LoadFileTest, NoStudentIsSaidOfAFileWithoutStudentRowsOnly) {
  const std::string kStudent =
      "CREATE TABLE Student (StudentID, Name, StreetAddress, City, State, Postcode, Intake);"
      "CREATE TABLE StudentResult (StudentID, SubjectID, Semester, Marks);"
      "CREATE TABLE Subject (SubjectID, Name, Level);";
  const struct {
    const char* name;
    std::function<std::string()> make;  // the file's path
    std::string outcome;                // "no student", or the error's reason
  } cases[] = {
      {"Access file without rows", [&] { return copyOf(fixturePath("empty.mdb")); }, "no student"},
      {"SQLite file without rows", [&] { return sqliteFixture(scratch_, "empty"); }, "no student"},
      // Student's first page turned into an empty leaf: the table reads as empty, and only the
      // pages it no longer reaches show the damage.
      {"damaged: students look empty",
       [&] {
         std::string path = scratch_.file("looks-empty.db");
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
         std::string path = scratch_.file("no-intake.db");
         makeSqliteFile(path, kStudent + "INSERT INTO Student (StudentID) VALUES ('a'), ('b');");
         return path;
       },
       "loaded"},
      {"an intake that is no text",
       [&] {
         std::string path = scratch_.file("blob-intake.db");
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

// Restores the working directory when the test ends.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& path)
      : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

// Messages name a file as given and a connection with its password masked.
TEST(DatabaseSource, NameIsThePathAsGivenOrTheMaskedConnection) {
  EXPECT_EQ(DatabaseSource().name(), "Database.mdb");
  EXPECT_EQ(DatabaseSource::file("../PWD=x.mdb").name(), "../PWD=x.mdb");
  EXPECT_EQ(DatabaseSource::connection("DSN=office;PWD=Sekr3t").name(), "DSN=office;PWD=***");
}

TEST_F(LoadFileTest, LoadsDatabaseMdbOfTheWorkingDirectory) {
  WorkingDirectory inScratch(scratch_.path());
  try {
    loadRecordTree(DatabaseSource());
    ADD_FAILURE() << "loaded without Database.mdb";
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(), "Cannot read Database.mdb: file not found");
  }
  writeFile("Database.mdb", readFile(fixturePath("demo.mdb")));
  LoadResult result = loadRecordTree(DatabaseSource());
  RecordTreeOwner owner(result.tree);
  EXPECT_EQ(result.status, LoadStatus::kLoaded);
  EXPECT_EQ(intakeCodes(owner.get()), (std::vector<std::string>{"APR23IT", "APR24IT", "SEP23IT"}));
}

TEST_F(LoadFileTest, StudentsAndResultsKeepTableOrderWhateverTheSourceIndexes) {
  std::string path = scratch_.file("order.db");
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
