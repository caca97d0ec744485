// Reading a SQLite file where only POSIX can: through a link, as a user who may not write the
// file's folder (a forked child, as another user when the tests run as root), with its log spoilt
// by permissions or a link to a device; and a virtual table, which the Windows build's SQLite has
// no module to make.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "unit/store/loader_test_support.h"
#include "unit/store/sources/sqlite/sqlite_reader_test_support.h"

namespace {

TEST(ReadSqliteTables, VirtualTableIsNotRead) {
  ScratchFolder scratch;
  std::string path = scratch.file("student-virtual.db");
  makeSqliteFile(path, std::string(kStandardSubject) +
                           "CREATE TABLE StudentResult (StudentID, SubjectID, Semester, "
                           "Marks); CREATE VIRTUAL TABLE Student USING fts5(StudentID, "
                           "Name, StreetAddress, City, State, Postcode, Intake);");
  EXPECT_EQ(readingError(path),
            "Cannot read " + path + ": table Student is a virtual table, which is not read");
}

TEST(ReadSqliteTables, RowsCommittedToTheWriteAheadLogAreSeen) {
  ScratchFolder scratch;
  std::string path = scratch.file("live.db");
  SqliteDatabase writer = openConnection(path);
  run(writer.get(), "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;" +
                        readFile(fixturePath("demo.sql")) +
                        "INSERT INTO Student (StudentID, Intake) VALUES ('st999999', 'WAL24IT');");
  ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u);
  // Through a link, as SQLite keeps the log beside the file the link points to.
  std::string link = scratch.file("Database.mdb");
  std::filesystem::create_symlink(path, link);
  SourceTables tables = readSqliteTables(link);
  ASSERT_EQ(tables.student.rows(), 21u);
  EXPECT_EQ(tables.student.columns[kStudentId].at(20).bytes, "st999999");
  EXPECT_EQ(tables.student.columns[kIntake].at(20).bytes, "WAL24IT");
}

// What reading the file at path gives (the error's line, or the number of students) to a user
// who may not write its folder: as the user "nobody" when the tests run as root, who may write
// anywhere.
std::string readWithoutWriteAccess(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) {
    return "no pipe";
  }
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    std::string said;
    if (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0)) {
      try {
        said = std::to_string(readSqliteTables(path).student.rows()) + " students";
      } catch (const DatabaseError& error) {
        said = error.what();
      }
    }
    ssize_t ignored = write(fds[1], said.data(), said.size());
    static_cast<void>(ignored);
    _exit(0);
  }
  close(fds[1]);
  std::string said;
  char buffer[512];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) {
    said.append(buffer, static_cast<std::size_t>(got));
  }
  close(fds[0]);
  waitpid(child, nullptr, 0);
  return said;
}

// A name is the file it names, however it looks to SQLite; and a file whose log has no
// shared-memory index beside it (its writer has gone) is read with the log, leaving the folder as
// it was, even when the folder may not be written.
TEST(ReadSqliteTables, NamesAreFilesAndNothingIsLeftBeside) {
  ScratchFolder scratch;
  std::string live = scratch.file("live/db");
  std::filesystem::create_directory(scratch.path() / "live");
  SqliteDatabase writer = openConnection(live);
  run(writer.get(), "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0;" +
                        readFile(fixturePath("demo.sql")) +
                        "INSERT INTO Student (StudentID, Intake) VALUES ('st999999', 'WAL24IT');");
  std::filesystem::path folder = scratch.path() / "names";
  std::filesystem::create_directory(folder);
  const auto readOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                        std::filesystem::perms::others_read | std::filesystem::perms::others_exec;
  std::filesystem::permissions(scratch.path(), readOnly);
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  const std::string absolute = "/" + (folder / "absolute.mdb").string();
  for (const std::string& name : {std::string(":memory:"), std::string("file:Database.mdb"),
                                  std::string("a?b#c%20.mdb"), absolute}) {
    SCOPED_TRACE(name);
    std::filesystem::copy_file(live, name);
    std::filesystem::copy_file(live + "-wal", name + "-wal");
    std::set<std::string> files = filesIn(folder);
    std::string log = readFile(name + "-wal");
    std::filesystem::permissions(folder, readOnly);
    EXPECT_EQ(readWithoutWriteAccess(name), "21 students");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(filesIn(folder), files);
    EXPECT_EQ(readFile(name + "-wal"), log);
  }
  // What keeps the log from being read is named: the log or its index, not the folder when the
  // folder is not what is needed.
  const struct {
    const char* name;
    std::function<void()> spoil;
    bool folderWritable;
    const char* reason;
  } logs[] = {
      {"a writer's index this user may not read",
       [] { std::filesystem::permissions("Database.mdb-shm", std::filesystem::perms::owner_read); },
       false,
       "the index of its write-ahead log Database.mdb-shm cannot be read (permission denied)"},
      {"a log this user may not read",
       [] { std::filesystem::permissions("Database.mdb-wal", std::filesystem::perms::owner_read); },
       true, "its write-ahead log Database.mdb-wal cannot be read (permission denied)"},
      {"a folder named as the log",
       [] {
         std::filesystem::remove("Database.mdb-wal");
         std::filesystem::create_directory("Database.mdb-wal");
       },
       true, "its write-ahead log Database.mdb-wal is a folder"},
      {"a link to a device as the log",
       [] {
         std::filesystem::remove("Database.mdb-wal");
         std::filesystem::create_symlink("/dev/zero", "Database.mdb-wal");
       },
       true, "its write-ahead log Database.mdb-wal is not a file"},
  };
  const auto everyone = std::filesystem::perms::all;
  for (const auto& log : logs) {
    SCOPED_TRACE(log.name);
    std::filesystem::permissions(folder, everyone);
    for (const char* suffix : {"-wal", "-shm"}) {
      std::filesystem::remove_all(std::string("Database.mdb") + suffix);
    }
    std::filesystem::copy_file(live, "Database.mdb",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(live + "-wal", "Database.mdb-wal");
    std::filesystem::copy_file(live + "-shm", "Database.mdb-shm");
    log.spoil();
    std::filesystem::permissions(folder, log.folderWritable ? everyone : readOnly);
    EXPECT_EQ(readWithoutWriteAccess("Database.mdb"),
              std::string("Cannot read Database.mdb: ") + log.reason);
  }
  for (const std::filesystem::path& writable : {folder, scratch.path()}) {
    std::filesystem::permissions(writable, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
  std::filesystem::current_path(before);
}

}  // namespace
