// What POSIX has besides files and folders: a pipe that nobody writes, a file whose mode denies
// reading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "file_bytes.h"
#include "scratch_folder.h"
#include "store/database_error.h"
#include "store/sources/file_format.h"

namespace {

TEST(RecogniseDatabaseFile, APipeIsNoDatabaseAndAnUnreadableFileSaysSo) {
  auto refusal = [](const std::string& path) -> std::string {
    try {
      recogniseDatabaseFile(path);
    } catch (const DatabaseError& error) {
      return error.what();
    }
    return "recognised";
  };
  ScratchFolder scratch("format");
  const std::string fifo = scratch.file("fifo");
  mkfifo(fifo.c_str(), 0600);  // nobody writes it: opening must not wait for a writer
  EXPECT_EQ(refusal(fifo), "Cannot read " + fifo + ": not an Access or SQLite database file");
  if (geteuid() == 0) {
    GTEST_SKIP() << "root reads whatever the mode says";
  }
  const std::string locked = scratch.file("locked");
  writeFile(locked, readFile(TAVRINEL_FIXTURES_DIR "/demo.mdb"));
  chmod(locked.c_str(), 0);
  EXPECT_EQ(refusal(locked), "Cannot read " + locked + ": permission denied");
}

}  // namespace
