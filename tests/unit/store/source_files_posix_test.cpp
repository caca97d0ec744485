// The files a source reads: the database and its companions, and the files a connection string or
// its data source names for a file driver.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "store/loader.h"
#include "unit/store/loader_test_support.h"

namespace {

std::vector<std::string> pathsOf(const std::vector<SourceFile>& files) {
  std::vector<std::string> paths;
  for (const SourceFile& file : files) {
    paths.push_back(file.path + (file.isDatabase ? " (database)" : ""));
  }
  return paths;
}

std::vector<std::string> filesOf(const std::string& database) {
  return {database + " (database)", database + "-wal",    database + "-shm",
          database + "-journal",    "no/such/office.ldb", "no/such/office.laccdb"};
}

TEST(SourceFiles, TheDatabaseAndItsCompanionsWhicheverKeyNamesIt) {
  const struct {
    DatabaseSource source;
    std::vector<std::string> files;
  } cases[] = {
      {DatabaseSource::file("no/such/office.mdb"), filesOf("no/such/office.mdb")},
      {DatabaseSource::connection("Driver=MDBTools;DBQ=no/such/office.mdb"),
       filesOf("no/such/office.mdb")},
      {DatabaseSource::connection("driver={SQLite3};database = {no/such/office.mdb} ;"),
       filesOf("no/such/office.mdb")},
      // A server's database name matches no file that is there, and is harmless to keep off.
      {DatabaseSource::connection("Driver=PostgreSQL Unicode;Server=db;UID=clerk"), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source.location);
    EXPECT_EQ(pathsOf(c.source.files()), c.files);
  }
}

TEST(SourceFiles, ADataSourceNamesItsFileInTheUsersOdbcIni) {
  ScratchFolder scratch;
  const std::string ini = scratch.file("odbc.ini");
  std::ofstream(ini) << "[other]\nDBQ = no/such/other.mdb\n[Office]\nDriver = MDBTools\n"
                        "DBQ = no/such/office.mdb\n";
  const char* saved = getenv("ODBCINI");
  const std::string before = saved == nullptr ? "" : saved;
  setenv("ODBCINI", ini.c_str(), 1);
  const std::vector<SourceFile> files = DatabaseSource::connection("DSN=office").files();
  saved == nullptr ? unsetenv("ODBCINI") : setenv("ODBCINI", before.c_str(), 1);
  EXPECT_EQ(pathsOf(files), filesOf("no/such/office.mdb"));
}

}  // namespace
