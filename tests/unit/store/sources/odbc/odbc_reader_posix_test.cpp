// The ODBC table reader: the differential test on real drivers (PostgreSQL, MariaDB, and Access
// files through the MDBTools driver): the tree of the tables read through ODBC is the reference
// path's tree and the tree of the same rows read from an Access file, or from a SQLite file with
// Access's rules. Skipped without the servers.
#include "store/sources/odbc/odbc_reader.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "mdbtools_driver.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "unit/store/differential.h"
#include "util/utf16_text.h"

namespace {

std::string environment(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr ? "" : value;
}

// Runs statements with a connection of its own that may write.
class ServerWriter {
 public:
  explicit ServerWriter(const std::string& connection) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &database_);
    std::u16string text = toUtf16(connection);
    connected_ = SQL_SUCCEEDED(SQLDriverConnectW(
        database_, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
        static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~ServerWriter() {
    if (connected_) {
      SQLDisconnect(database_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, database_);
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
  }
  ServerWriter(const ServerWriter&) = delete;
  ServerWriter& operator=(const ServerWriter&) = delete;

  ::testing::AssertionResult run(const std::string& sql) {
    if (!connected_) {
      return ::testing::AssertionFailure() << "cannot connect";
    }
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, database_, &statement);
    std::u16string text = toUtf16(sql);
    SQLRETURN status = SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(text.data()),
                                      static_cast<SQLINTEGER>(text.size()));
    SQLWCHAR state[6] = {};
    SQLWCHAR message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecW(SQL_HANDLE_STMT, statement, 1, state, &native, message, 511, &length);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    if (!SQL_SUCCEEDED(status) && status != SQL_NO_DATA) {
      std::string reason;
      appendUtf16(
          reason, reinterpret_cast<const char16_t*>(message),
          static_cast<std::size_t>(std::max<SQLSMALLINT>(0, std::min<SQLSMALLINT>(length, 511))));
      return ::testing::AssertionFailure() << reason << " in: " << sql.substr(0, 200);
    }
    return ::testing::AssertionSuccess();
  }

 private:
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC database_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

// What the differential test reads through ODBC, and what it compares the tree with.
void expectSameTree(const SourceTables& read, const std::string& expected) {
  BothPaths both = loadBothWays(read);
  EXPECT_EQ(both.direct, both.reference);
  EXPECT_EQ(both.direct, expected);
}

const char* const kFixtures[] = {"demo", "edge"};

TEST(OdbcReader, ServersAndTheMdbtoolsDriverGiveTheAccessFilesTreeOnTheFixtures) {
  int sources = 0;
  for (const char* name : kFixtures) {
    std::string access = outcome([&] {
      return buildRecordTree(readAccessTables(fixturePath(name + std::string(".mdb"))), kSource);
    });
    std::string upper = name == std::string("demo") ? "DEMO" : "EDGE";
    for (const std::string& connection : {environment(("TAVRINEL_ODBC_" + upper).c_str()),
                                          environment(("TAVRINEL_MARIADB_" + upper).c_str())}) {
      if (!connection.empty()) {
        SCOPED_TRACE(connectionSourceName(connection));
        ++sources;
        expectSameTree(readOdbcTables(connection), access);
      }
    }
  }
  std::string driver = mdbtoolsDriver();
  if (!driver.empty()) {
    for (const char* file : {"demo.mdb", "edge.mdb", "marks-text.mdb", "marks-double.mdb",
                             "numeric-postcode.mdb", "empty.mdb", "demo-2003.mdb", "demo.accdb"}) {
      SCOPED_TRACE(file);
      ++sources;
      expectSameTree(readOdbcTables("Driver=" + driver + ";DBQ=" + fixturePath(file)), outcome([&] {
                       return buildRecordTree(readAccessTables(fixturePath(file)), kSource);
                     }));
    }
  }
  if (sources == 0) {
    GTEST_SKIP() << "no server and no MDBTools driver: run the tests under "
                    "scripts/with-postgres.sh and scripts/with-mariadb.sh";
  }
}

// Random rows in the same order into a server and into a SQLite file whose columns have
// Access's rules (text without regard to case): IDs and intakes in several spellings of case and
// with trailing spaces, NULLs and empty texts, numbers stored as text, subjects that repeat or are
// missing, a student ID under two intakes.
struct RandomRows {
  std::string server;  // the script for the server
  std::string sqlite;  // the same for SQLite with Access's rules
};

RandomRows randomRows(std::mt19937& random, bool mariadb) {
  auto pick = [&random](const std::vector<std::string>& pool) {
    return pool[random() % pool.size()];
  };
  const std::vector<std::string> ids = {"'st01'", "'ST01'", "'St01'",  "'st02'", "'o''b03'",
                                        "''",     "NULL",   "'st01 '", "'ST02'"};
  const std::vector<std::string> intakes = {
      "'JAN24IT'", "'jan24it'", "'SEP24'",   "'sep24 '",
      "NULL",      "''",        "'AUG''24'", "'Zo\xC3\xAB-intake'"};
  const std::vector<std::string> subjects = {"'CS1'", "'cs1'", "'CS2'", "'XX9'", "NULL", "''"};
  const std::vector<std::string> texts = {"'Grace'", "'O''Brien'", "'Zo\xC3\xAB M\xC3\xBCller'",
                                          "NULL",    "''",         "'0800'"};
  // Per numeric column: whole numbers, reals, or numbers stored as text.
  const std::vector<std::string> types = {"INTEGER", "DOUBLE", "VARCHAR(10)"};
  auto number = [&](const std::string& type) {
    if (type == "INTEGER") {
      return pick({"1", "2", "10", "-1", "0", "NULL", "120"});
    }
    if (type == "DOUBLE") {
      return pick({"1", "2.5", "59.99", "NULL", "1e15", "-3"});
    }
    return pick({"'1'", "'01'", "' 3'", "'a'", "'2.5'", "''", "NULL", "'72'"});
  };
  std::string semester = pick(types);
  std::string marks = pick(types);
  std::string level = pick(types);
  auto serverType = [&](const std::string& type) {
    return type == "DOUBLE" && !mariadb ? std::string("DOUBLE PRECISION") : type;
  };
  auto sqliteType = [](const std::string& type) {
    return type == "VARCHAR(10)" ? std::string("TEXT(10) COLLATE NOCASE") : type;
  };
  std::string schema[2];
  for (int form = 0; form < 2; ++form) {
    auto type = [&](const std::string& t) { return form == 0 ? serverType(t) : sqliteType(t); };
    std::string t = form == 0 ? "VARCHAR(50)" : "TEXT(50) COLLATE NOCASE";
    schema[form] = "CREATE TABLE Student (StudentID " + t + ", Name " + t + ", StreetAddress " + t +
                   ", City " + t + ", State " + t + ", Postcode " + t + ", Intake " + t +
                   ");CREATE TABLE StudentResult (StudentID " + t + ", SubjectID " + t +
                   ", Semester " + type(semester) + ", Marks " + type(marks) +
                   ");CREATE TABLE Subject (SubjectID " + t + ", Name " + t + ", Level " +
                   type(level) + ");";
  }
  std::string rows;
  for (int i = 0, n = static_cast<int>(random() % 14); i < n; ++i) {
    rows += "INSERT INTO Student VALUES (" + pick(ids) + "," + pick(texts) + "," + pick(texts) +
            "," + pick(texts) + "," + pick(texts) + "," + pick(texts) + "," + pick(intakes) + ");";
  }
  for (int i = 0, n = static_cast<int>(random() % 40); i < n; ++i) {
    rows += "INSERT INTO StudentResult VALUES (" + pick(ids) + "," + pick(subjects) + "," +
            number(semester) + "," + number(marks) + ");";
  }
  for (int i = 0, n = static_cast<int>(random() % 8); i < n; ++i) {
    rows += "INSERT INTO Subject VALUES (" + pick(subjects) + "," + pick(texts) + "," +
            number(level) + ");";
  }
  return {schema[0] + rows, "BEGIN;" + schema[1] + rows + "COMMIT;"};
}

TEST(OdbcReader, ServersGiveTheTreeOfTheSameRowsWithAccessRulesOnRandomData) {
  const struct {
    const char* variable;
    const char* adminDatabase;
    bool mariadb;
  } servers[] = {{"TAVRINEL_ODBC_ADMIN", ";Database=postgres", false},
                 {"TAVRINEL_MARIADB_ADMIN", "", true}};
  const char* given = std::getenv("TAVRINEL_TEST_SEED");
  unsigned seed =
      given != nullptr ? static_cast<unsigned>(std::atol(given)) : std::random_device()();
  int serversRun = 0;
  for (const auto& server : servers) {
    std::string admin = environment(server.variable);
    if (admin.empty()) {
      continue;
    }
    ++serversRun;
    for (unsigned run = 0; run < 12; ++run) {
      SCOPED_TRACE(std::string(server.variable) + " seed " + std::to_string(seed + run) +
                   " (TAVRINEL_TEST_SEED=" + std::to_string(seed) + " repeats it)");
      std::mt19937 random(seed + run);
      RandomRows rows = randomRows(random, server.mariadb);
      std::string database =
          "tavrinel_random_" + std::to_string(getpid()) + "_" + std::to_string(run);
      ServerWriter owner(admin + server.adminDatabase);
      ASSERT_TRUE(owner.run("CREATE DATABASE " + database));
      std::string connection = admin + ";Database=" + database;
      {
        ServerWriter writer(connection);
        std::size_t at = 0;
        for (std::size_t end = rows.server.find(';'); end != std::string::npos;
             at = end + 1, end = rows.server.find(';', at)) {
          // A ';' inside a quoted value never occurs in these rows.
          ASSERT_TRUE(writer.run(rows.server.substr(at, end - at)));
        }
      }
      std::string expected =
          outcome([&] { return buildRecordTree(scriptTables(rows.sqlite), kSource); });
      expectSameTree(readOdbcTables(connection), expected);
      EXPECT_TRUE(owner.run("DROP DATABASE " + database));
    }
  }
  if (serversRun == 0) {
    GTEST_SKIP() << "no database server: run the tests under scripts/with-postgres.sh and "
                    "scripts/with-mariadb.sh";
  }
}

// A PostgreSQL database whose schema archive holds an old copy of a table: the connection's own
// search path decides which is read, and a table that only archive holds is not taken.
TEST(OdbcReader, TablesAreTheOnesTheConnectionsSearchPathFinds) {
  std::string admin = environment("TAVRINEL_ODBC_ADMIN");
  if (admin.empty()) {
    GTEST_SKIP() << "no PostgreSQL server: run the tests under scripts/with-postgres.sh";
  }
  std::string database = "tavrinel_schemas_" + std::to_string(getpid());
  ServerWriter owner(admin + ";Database=postgres");
  ASSERT_TRUE(owner.run("CREATE DATABASE " + database));
  std::string connection = admin + ";Database=" + database;
  auto studentIds = [&] {
    SourceTables tables = readOdbcTables(connection);
    std::vector<std::string> ids;
    const SourceColumn& column = tables.student.columns[kStudentId];
    for (std::size_t row = 0; row < column.size(); ++row) {
      ids.emplace_back(column.bytesAt(row));
    }
    return ids;
  };
  {
    ServerWriter writer(connection);
    const std::string student =
        "(\"StudentID\" TEXT, \"Name\" TEXT, \"StreetAddress\" TEXT, "
        "\"City\" TEXT, \"State\" TEXT, \"Postcode\" TEXT, \"Intake\" TEXT)";
    for (const std::string& sql :
         {std::string("CREATE SCHEMA archive"), "CREATE TABLE \"Student\" " + student,
          "CREATE TABLE archive.\"Student\" " + student,
          std::string("CREATE TABLE \"StudentResult\" (\"StudentID\" TEXT, \"SubjectID\" TEXT, "
                      "\"Semester\" INTEGER, \"Marks\" INTEGER)"),
          std::string("CREATE TABLE \"Subject\" (\"SubjectID\" TEXT, \"Name\" TEXT, "
                      "\"Level\" INTEGER)"),
          std::string("INSERT INTO \"Student\" (\"StudentID\") VALUES ('st01')"),
          std::string("INSERT INTO archive.\"Student\" (\"StudentID\") VALUES ('old01')")}) {
      ASSERT_TRUE(writer.run(sql));
    }
  }
  EXPECT_EQ(studentIds(), std::vector<std::string>{"st01"});
  ASSERT_TRUE(owner.run("ALTER DATABASE " + database + " SET search_path = archive, public"));
  EXPECT_EQ(studentIds(), std::vector<std::string>{"old01"});
  ASSERT_TRUE(owner.run("ALTER DATABASE " + database + " RESET search_path"));
  {
    ServerWriter writer(connection);
    ASSERT_TRUE(writer.run("ALTER TABLE \"Subject\" SET SCHEMA archive"));
  }
  try {
    readOdbcTables(connection);
    ADD_FAILURE() << "read a table outside the search path";
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what())
                  .find(": table Subject is missing (schema archive holds one, which this "
                        "connection does not search)"),
              std::string::npos)
        << error.what();
  }
  EXPECT_TRUE(owner.run("DROP DATABASE " + database));
}

// Every letter of U+00A0-U+00FF, and letters outside the Basic Multilingual Plane, fill a
// VARCHAR(50) to its declared length on each server: each comes back whole, whatever length the
// driver reports.
TEST(OdbcReader, TextsAtTheColumnsFullLengthComeBackWholeOnEveryServer) {
  std::vector<std::pair<std::string, std::string>> rows;  // ID, name
  for (char16_t c = 0xA0; c <= 0xFF; ++c) {
    std::string letter;
    appendUtf16(letter, &c, 1);
    std::string name;
    for (int i = 0; i < 50; ++i) {
      name += i % 2 == 0 ? letter : "a";
    }
    rows.emplace_back("u" + std::to_string(c), name);
  }
  for (const char* outside : {"\U0001F600", "\U00020000"}) {
    std::string alone;
    std::string mixed;
    for (int i = 0; i < 50; ++i) {
      alone += outside;
      mixed += i % 2 == 0 ? "a" : outside;
    }
    rows.emplace_back("x" + std::to_string(rows.size()), alone);
    rows.emplace_back("y" + std::to_string(rows.size()), mixed);
  }
  const struct {
    const char* variable;
    const char* adminDatabase;
    const char* charset;
    const char* readAs;  // added to the connection that reads
  } servers[] = {{"TAVRINEL_ODBC_ADMIN", ";Database=postgres", "", ""},
                 {"TAVRINEL_MARIADB_ADMIN", "", " CHARACTER SET utf8mb4", ""},
                 // Read through the driver's own conversion to UTF-16, which reports some texts
                 // short: the letters of Latin-1 only.
                 {"TAVRINEL_MARIADB_ADMIN", "", " CHARACTER SET utf8mb4", ";CHARSET=latin1"}};
  int serversRun = 0;
  for (const auto& server : servers) {
    std::string admin = environment(server.variable);
    if (admin.empty()) {
      continue;
    }
    ++serversRun;
    SCOPED_TRACE(std::string(server.variable) + server.readAs);
    std::string database = "tavrinel_letters_" + std::to_string(getpid());
    ServerWriter owner(admin + server.adminDatabase);
    ASSERT_TRUE(owner.run("CREATE DATABASE " + database + server.charset));
    std::string connection = admin + ";Database=" + database;
    {
      ServerWriter writer(connection);
      ASSERT_TRUE(writer.run(
          "CREATE TABLE Student (StudentID VARCHAR(8), Name VARCHAR(50), StreetAddress "
          "VARCHAR(50), City VARCHAR(12), State VARCHAR(12), Postcode VARCHAR(8), Intake "
          "VARCHAR(15))"));
      ASSERT_TRUE(
          writer.run("CREATE TABLE StudentResult (StudentID VARCHAR(8), SubjectID "
                     "VARCHAR(8), Semester INTEGER, Marks INTEGER)"));
      ASSERT_TRUE(writer.run(
          "CREATE TABLE Subject (SubjectID VARCHAR(8), Name VARCHAR(50), Level INTEGER)"));
      for (const auto& [id, name] : rows) {
        ASSERT_TRUE(writer.run("INSERT INTO Student (StudentID, Name, City) VALUES ('" + id +
                               "', '" + name + "', '" + name.substr(0, 12) + "')"));
      }
    }
    SourceTables tables = readOdbcTables(connection + server.readAs);
    const std::vector<SourceColumn>& columns = tables.student.columns;
    ASSERT_EQ(columns[kStudentId].size(), rows.size());
    for (std::size_t row = 0; row < rows.size(); ++row) {
      auto expected = std::find_if(rows.begin(), rows.end(), [&](const auto& each) {
        return each.first == columns[kStudentId].bytesAt(row);
      });
      ASSERT_NE(expected, rows.end());
      if (*server.readAs == '\0' || expected->first[0] == 'u') {
        EXPECT_EQ(columns[kStudentName].bytesAt(row), expected->second) << expected->first;
      }
    }
    EXPECT_TRUE(owner.run("DROP DATABASE " + database));
  }
  if (serversRun == 0) {
    GTEST_SKIP() << "no database server: run the tests under scripts/with-postgres.sh and "
                    "scripts/with-mariadb.sh";
  }
}

// MariaDB's unsigned columns: a value past the signed range is held at the bound of the tree's
// integers, as a file's is, never wrapped to a negative number.
TEST(OdbcReader, UnsignedIntegersAreHeldWithinRangeNotWrapped) {
  std::string admin = environment("TAVRINEL_MARIADB_ADMIN");
  if (admin.empty()) {
    GTEST_SKIP() << "no MariaDB server: run the tests under scripts/with-mariadb.sh";
  }
  std::string database = "tavrinel_unsigned_" + std::to_string(getpid());
  ServerWriter owner(admin);
  ASSERT_TRUE(owner.run("CREATE DATABASE " + database));
  std::string connection = admin + ";Database=" + database;
  {
    ServerWriter writer(connection);
    ASSERT_TRUE(writer.run(
        "CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT, State "
        "TEXT, Postcode TEXT, Intake TEXT)"));
    ASSERT_TRUE(
        writer.run("CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester "
                   "INT UNSIGNED, Marks BIGINT UNSIGNED)"));
    ASSERT_TRUE(
        writer.run("CREATE TABLE Subject (SubjectID TEXT, Name TEXT, Level SMALLINT UNSIGNED)"));
    ASSERT_TRUE(
        writer.run("INSERT INTO StudentResult VALUES ('a', 'b', 4294967295, "
                   "18446744073709551615), ('a', 'b', 7, 9223372036854775807)"));
    ASSERT_TRUE(writer.run("INSERT INTO Subject VALUES ('b', 'c', 65535)"));
  }
  SourceTables tables = readOdbcTables(connection);
  const SourceTable& results = tables.studentResult;
  ASSERT_EQ(results.rows(), 2u);
  const std::int64_t expected[][2] = {{4294967295, INT64_MAX}, {7, INT64_MAX}};
  for (std::size_t row = 0; row < 2; ++row) {
    EXPECT_EQ(results.columns[kSemester].integerAt(row), expected[row][0]);
    EXPECT_EQ(results.columns[kMarks].integerAt(row), expected[row][1]);
  }
  EXPECT_EQ(tables.subject.columns[kLevel].integerAt(0), 65535);
  EXPECT_TRUE(owner.run("DROP DATABASE " + database));
}

}  // namespace
