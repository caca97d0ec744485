// Connection strings as messages show them, and refused in the program's words before any driver
// sees them.
#include "store/sources/odbc/odbc_connection_string.h"

#include <gtest/gtest.h>

#include <string>

#include "store/database_error.h"
#include "store/sources/odbc/odbc_reader.h"

namespace {

TEST(ConnectionString, SecretsMaskedBadStringsRefusedAndTheNameOnOneShortLine) {
  const std::string longValue(40000, 'x');
  const struct {
    std::string connection;
    std::string name;  // as messages show it
    const char* problem;
  } cases[] = {
      {"DSN=office", "DSN=office", ""},
      {"Driver={PostgreSQL Unicode};Server=db;UID=u;PWD=secret",
       "Driver={PostgreSQL Unicode};Server=db;UID=u;PWD=***", ""},
      {"pwd=a;Password=b;", "pwd=***;Password=***;", ""},
      {"DSN=x;pqopt={password=Sekr3t}", "DSN=x;pqopt=***", ""},
      {"UID=u;PWD={se;cr}}et};Database=x", "UID=u;PWD=***;Database=x", ""},
      {"UID=u; password = {unclosed;Database=x", "UID=u; password =***", ""},
      {"SSLKey=/k;ApiToken=t;client_secret=s;Passphrase=p;MyPWD2=q;keyfile=f",
       "SSLKey=***;ApiToken=***;client_secret=***;Passphrase=***;MyPWD2=***;keyfile=***", ""},
      {"PWD=", "PWD=***", ""},
      {"Driver={x;PWD=y};UID=u", "Driver={x;PWD=y};UID=u", ""},
      {"noequals;PWD=z", "noequals;PWD=***", ""},
      {"DSN=x\nPWD=Sekr3t", "DSN=x...", "control character"},
      {"DSN=x;PWD=a\tb;UID=u", "DSN=x;PWD=***...", "control character"},
      {"DSN=x;Opt=" + longValue, "DSN=x;Opt=" + std::string(150, 'x') + "...", "longer than"},
      {"DSN=x;Opt=" + std::string(kMaxConnectionLength - 10, 'x'),
       "DSN=x;Opt=" + std::string(150, 'x') + "...", ""},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.connection.substr(0, 80));
    EXPECT_EQ(connectionSourceName(each.connection), each.name);
    std::string problem = connectionStringProblem(each.connection);
    EXPECT_EQ(problem.empty(), *each.problem == '\0') << problem;
    EXPECT_NE(problem.find(each.problem), std::string::npos) << problem;
  }
  // The driver's message that quotes a secret shows it masked; a short one only as a word.
  EXPECT_EQ(maskSecrets("bad password Sekr3t for port p", connectionSecrets("PWD={Sekr3t}")),
            "bad password *** for port p");
  EXPECT_EQ(maskSecrets("port p", connectionSecrets("PWD=p")), "port ***");
}

TEST(ConnectionString, RefusedInOurWordsBeforeAnyDriverSeesIt) {
  try {
    readOdbcTables("Driver=/nowhere.so;PWD=Sekr3t\nDatabase=x");
    FAIL() << "read";
  } catch (const DatabaseError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot read Driver=/nowhere.so;PWD=***...: the connection string holds a "
              "control character (a line break, a tab, ...), which no driver takes");
  }
}

}  // namespace
