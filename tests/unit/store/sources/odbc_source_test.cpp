// Reading the records from a database server: the masked connection, and the set-based queries
// against the five query texts run one by one on a real server (skipped without one).
#include "store/sources/odbc_source.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "store/sources/utf16_text.h"
#include "unit/store/loader_test_support.h"

namespace {

TEST(MaskConnection, HidesEveryPasswordValueAndNothingElse) {
  const struct {
    const char* connection;
    const char* masked;
  } cases[] = {
      {"DSN=office", "DSN=office"},
      {"Driver={PostgreSQL Unicode};Server=db;UID=u;PWD=secret",
       "Driver={PostgreSQL Unicode};Server=db;UID=u;PWD=***"},
      {"pwd=a;Password=b;", "pwd=***;Password=***;"},
      {"UID=u;PWD={se;cr}}et};Database=x", "UID=u;PWD=***;Database=x"},
      {"UID=u; password = {unclosed;Database=x", "UID=u; password =***"},
      {"PWD=", "PWD=***"},
      {"PWDX=1;XPWD=2;Passwords=3", "PWDX=1;XPWD=2;Passwords=3"},
      {"Driver={x;PWD=y};UID=u", "Driver={x;PWD=y};UID=u"},
      {"noequals;PWD=z", "noequals;PWD=***"},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(maskConnection(each.connection), each.masked) << each.connection;
  }
}

TEST(Utf16Text, TextFromTheDriverComesBackAsItWasAndBrokenUnitsAsReplacements) {
  for (const std::string text : {"", "st230401", "Trần Minh Đức", "Zoë 😀 O'Brien"}) {
    std::u16string units = toUtf16(text);
    std::string back;
    appendUtf16(back, units.data(), units.size());
    EXPECT_EQ(back, text);
  }
  EXPECT_EQ(toUtf16(std::string("a") + '\xff' + "b"), std::u16string(u"a") + u'\ufffd' + u"b");
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  std::string replaced;
  appendUtf16(replaced, lone, 3);
  EXPECT_EQ(replaced, std::string("a") + "\xef\xbf\xbd" + "b");
  EXPECT_EQ(toUtf16("😀").size(), 2u);
}

// A connection string the server script exports; empty when the tests run without a server.
std::string serverConnection(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr ? "" : value;
}

std::string loadDump(const std::string& connection, ServerQueryMethod method) {
  std::unique_ptr<LoaderQueries> source = openServerSource(connection, method);
  LoadResult loaded = loadRecordTree(*source);
  RecordTreeOwner tree(loaded.tree);
  return dumpTree(tree.get());
}

void expectSameTrees(const std::string& connection) {
  std::string reference = loadDump(connection, ServerQueryMethod::kOneByOne);
  EXPECT_NE(reference, "");
  EXPECT_EQ(loadDump(connection, ServerQueryMethod::kSetBased), reference);
}

// Runs statements on the server with a connection of its own that may write.
class ServerWriter {
 public:
  explicit ServerWriter(const std::string& connection) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &database_);
    std::string text = connection;
    SQLRETURN status = SQLDriverConnect(database_, nullptr, reinterpret_cast<SQLCHAR*>(&text[0]),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(status);
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
    std::string text = sql;
    SQLRETURN status = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(&text[0]), SQL_NTS);
    SQLCHAR state[6] = {};
    SQLCHAR message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &native, message, sizeof message, &length);
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    if (!SQL_SUCCEEDED(status) && status != SQL_NO_DATA) {
      return ::testing::AssertionFailure() << message << " in: " << sql.substr(0, 200);
    }
    return ::testing::AssertionSuccess();
  }

 private:
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC database_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

std::string sqlText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c == '\'' ? "''" : std::string(1, c);
  }
  return out + "'";
}

// The tables filled at random: IDs and intakes in several spellings of case (which a server
// comparing case-sensitively keeps apart), IDs under two intakes, results of unknown students and
// subjects, NULL levels, semesters and marks, and rows stored in no particular order.
std::string randomData(std::mt19937& random, bool withIndexes) {
  auto pick = [&random](int count) {
    return static_cast<int>(random() % static_cast<unsigned>(count));
  };
  const char* intakes[] = {"JAN24IT", "jan24it", "Jan24IT", "SEP24IT", "sep24it", "MAR25NET"};
  std::vector<std::string> ids;
  for (int i = 0; i < 40; ++i) {
    std::string id = "st" + std::to_string(1000 + pick(30));
    if (pick(3) == 0) {
      id[0] = 'S';
      id[1] = 'T';
    }
    ids.push_back(id);
  }
  std::ostringstream sql;
  sql << "CREATE TABLE Student (StudentID VARCHAR(8), Name VARCHAR(50), StreetAddress "
         "VARCHAR(50), City VARCHAR(12), State VARCHAR(12), Postcode VARCHAR(8), Intake "
         "VARCHAR(15));"
         "CREATE TABLE StudentResult (StudentID VARCHAR(8), SubjectID VARCHAR(8), Semester "
         "INTEGER, Marks INTEGER);"
         "CREATE TABLE Subject (SubjectID VARCHAR(8), Name VARCHAR(50), Level INTEGER);";
  for (const std::string& id : ids) {
    sql << "INSERT INTO Student VALUES (" << sqlText(id) << ",'Name " << id << "','" << pick(99)
        << " Long Road','City','ST','" << pick(9999) << "'," << sqlText(intakes[pick(6)]) << ");";
  }
  // A NULL ID reads as "", which selects the results stored under an empty ID.
  sql << "INSERT INTO Student VALUES (NULL,'No ID','1 Road','City','ST','1'," << sqlText(intakes[0])
      << ");INSERT INTO StudentResult VALUES ('', 'CS101', 1, 50);";
  std::vector<std::string> subjects;
  for (int i = 0; i < 12; ++i) {
    std::string subject = (pick(4) == 0 ? "cs" : "CS") + std::to_string(100 + i);
    subjects.push_back(subject);
    std::string level = pick(12) == 0 ? "NULL" : std::to_string(pick(3));
    sql << "INSERT INTO Subject VALUES (" << sqlText(subject) << ",'Subject " << i << "'," << level
        << ");";
  }
  for (int i = 0; i < 400; ++i) {
    std::string id = pick(20) == 0 ? "nobody" : ids[static_cast<std::size_t>(pick(40))];
    std::string subject = pick(20) == 0 ? "XX999" : subjects[static_cast<std::size_t>(pick(12))];
    std::string semester = pick(25) == 0 ? "NULL" : std::to_string(pick(3));
    std::string marks = pick(15) == 0 ? "NULL" : std::to_string(pick(110) - 5);
    sql << "INSERT INTO StudentResult VALUES (" << sqlText(id) << "," << sqlText(subject) << ","
        << semester << "," << marks << ");";
  }
  if (withIndexes) {
    sql << "CREATE INDEX ON StudentResult (StudentID); CREATE INDEX ON Student (Intake);"
           "CREATE UNIQUE INDEX ON Subject (SubjectID); ANALYZE;";
  }
  return sql.str();
}

TEST(ServerQueries, SetBasedQueriesGiveTheTreeOfTheQueryTextsOnTheFixtures) {
  for (const char* variable : {"TAVRINEL_ODBC_DEMO", "TAVRINEL_ODBC_EDGE"}) {
    std::string connection = serverConnection(variable);
    if (connection.empty()) {
      GTEST_SKIP() << "no database server: run the tests under scripts/with-postgres.sh";
    }
    SCOPED_TRACE(variable);
    expectSameTrees(connection);
  }
}

TEST(ServerQueries, SetBasedQueriesGiveTheTreeOfTheQueryTextsOnRandomData) {
  std::string admin = serverConnection("TAVRINEL_ODBC_ADMIN");
  if (admin.empty()) {
    GTEST_SKIP() << "no database server: run the tests under scripts/with-postgres.sh";
  }
  const char* given = std::getenv("TAVRINEL_TEST_SEED");
  unsigned seed =
      given != nullptr ? static_cast<unsigned>(std::atol(given)) : std::random_device()();
  for (unsigned run = 0; run < 4; ++run) {
    std::string database =
        "tavrinel_random_" + std::to_string(getpid()) + "_" + std::to_string(run);
    SCOPED_TRACE("seed " + std::to_string(seed + run) +
                 " (TAVRINEL_TEST_SEED=" + std::to_string(seed) + " repeats it)");
    std::mt19937 random(seed + run);
    {
      ServerWriter server(admin + ";Database=postgres");
      ASSERT_TRUE(server.run("CREATE DATABASE " + database));
    }
    std::string connection = admin + ";Database=" + database;
    {
      ServerWriter writer(connection);
      ASSERT_TRUE(writer.run(randomData(random, run % 2 == 1)));
      if (run == 3) {
        // A subject ID stored twice: the results keep the one-by-one query.
        ASSERT_TRUE(
            writer.run("DROP INDEX subject_subjectid_idx;"
                       "INSERT INTO Subject VALUES ('CS101', 'Twin', 1)"));
      }
    }
    expectSameTrees(connection);
    ServerWriter server(admin + ";Database=postgres");
    EXPECT_TRUE(server.run("DROP DATABASE " + database + " WITH (FORCE)"));
  }
}

}  // namespace
