// Loading as the program does where only POSIX can: the file never written, to the nanosecond
// of its modification time, and Access files, which libmdb reads (Wine has no Access driver).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store/loader.h"
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

TEST_F(LoadFileTest, AccessFileWithoutRowsIsNoStudent) {
  EXPECT_EQ(loadFile(copyOf(fixturePath("empty.mdb"))).status, LoadStatus::kNoStudent);
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

}  // namespace
