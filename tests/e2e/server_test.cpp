// End-to-end: the records read through ODBC (--connect) from PostgreSQL, from MariaDB and from the
// Access file itself through the MDBTools driver give the same screens and letters as the Access
// file read directly, and each failure to read a source is one line.
//
// Test plan
// 61. demo on each source and demo.mdb: the whole transcript of the result listing of st230401
//     and of the mails of APR23IT, and mail.txt, byte for byte the same; nothing the driver
//     prints shows.
// 62. a wrong password, a stopped server, a missing table, a file the driver cannot open, a
//     connection string with a line break, one of 32,768 characters: one line on stderr naming
//     the masked connection and the reason, status 1, and the password nowhere in the output.
// 63. a server database without students: "No student found in" the masked connection, not in
//     Database.mdb.
// 64. a frozen server (its processes stopped with SIGSTOP): the load ends by itself with one line,
//     "the server stopped answering", under a short silence limit.
// 65. Ctrl-Z during a server's load, longer than the silence limit, then fg: the load goes on (the
//     reader process stops and continues with the program; stopped time is no silence).
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/pty_session.h"
#include "e2e/screen_steps.h"
#include "mdbtools_driver.h"

using namespace e2e;

namespace {

// A connection string the server script exports; empty when the tests run without a server.
std::string serverConnection(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr ? "" : value;
}

#define SKIP_WITHOUT_SERVER(connection)                                                 \
  if ((connection).empty()) {                                                           \
    GTEST_SKIP() << "no database server: run the tests under scripts/with-postgres.sh"; \
  }

struct Visit {
  std::string transcript;
  std::string mail;
};

// Lists st230401's results, then writes the mails of APR23IT, then closes.
Visit visit(const RunOptions& options) {
  Visit seen;
  PtySession session(options);
  EXPECT_TRUE(session.waitFor(kChoicePrompt)) << session.report();
  EXPECT_TRUE(openStudent(session, "st230401")) << session.report();
  session.send("1");
  EXPECT_TRUE(session.waitFor("CS304\t\t48\t\tPass\n")) << session.report();
  EXPECT_TRUE(session.waitFor(kSubMenuTop)) << session.report();
  EXPECT_TRUE(session.waitFor(kChoicePrompt)) << session.report();
  EXPECT_TRUE(escapeToMainMenu(session)) << session.report();
  session.send("2");
  EXPECT_TRUE(
      typeAndEnter(session, "apr23it", "\n\tIntake APR23IT found\n\tGenerate Mails? (y/n):"))
      << session.report();
  EXPECT_TRUE(typeLine(session, "y"));
  EXPECT_TRUE(session.waitFor("\n\tMails written to mail.txt\n")) << session.report();
  EXPECT_TRUE(escapeToMainMenu(session)) << session.report();
  EXPECT_TRUE(escapeToClose(session)) << session.report();
  EXPECT_TRUE(exitedCleanly(session));
  seen.transcript = session.transcript();
  seen.mail = session.folder().readFile("mail.txt");
  return seen;
}

std::string withPassword(const std::string& connection, const std::string& password) {
  std::size_t at = connection.find("PWD=");
  std::size_t end = connection.find(';', at);
  return connection.substr(0, at + 4) + password +
         (end == std::string::npos ? "" : connection.substr(end));
}

std::string passwordOf(const std::string& connection) {
  std::size_t at = connection.find("PWD=") + 4;
  return connection.substr(at, connection.find(';', at) - at);
}

}  // namespace

// 61
TEST(ServerRecords, ListingAndMailsAreTheSameAsFromTheAccessFile) {
  std::vector<RunOptions> sources;
  for (const char* variable : {"TAVRINEL_ODBC_DEMO", "TAVRINEL_MARIADB_DEMO"}) {
    if (!serverConnection(variable).empty()) {
      sources.emplace_back();
      sources.back().arguments = {"--connect", serverConnection(variable)};
    }
  }
  if (!mdbtoolsDriver().empty()) {
    // The Access file itself, by the relative name the original connection string gives it.
    sources.push_back(withFixture("demo.mdb"));
    sources.back().arguments = {"--connect", "Driver=" + mdbtoolsDriver() + ";DBQ=Database.mdb"};
  }
  if (sources.empty()) {
    GTEST_SKIP() << "no database server and no MDBTools driver: run the tests under "
                    "scripts/with-postgres.sh and scripts/with-mariadb.sh";
  }
  Visit fromFile = visit(withFixture("demo.mdb"));
  EXPECT_FALSE(fromFile.mail.empty());
  for (const RunOptions& options : sources) {
    SCOPED_TRACE(options.arguments[1]);
    Visit fromSource = visit(options);
    EXPECT_EQ(fromSource.mail, fromFile.mail);
    EXPECT_EQ(fromSource.transcript, fromFile.transcript);
  }
}

// 62
TEST(ServerRecords, EachFailureToReadTheServerIsOneLineWithoutThePassword) {
  std::string demo = serverConnection("TAVRINEL_ODBC_DEMO");
  SKIP_WITHOUT_SERVER(demo);
  const std::string wrongPassword = "Wr0ng-Secret-" + passwordOf(demo).substr(0, 4);
  struct Case {
    std::string connection;
    std::string shown;  // as the error line names it
    std::string secret;
    std::string reason;
  };
  std::string masked = withPassword(demo, "***");
  std::vector<Case> cases = {
      {withPassword(demo, wrongPassword), masked, wrongPassword, "password authentication failed"},
      {serverConnection("TAVRINEL_ODBC_STOPPED"),
       withPassword(serverConnection("TAVRINEL_ODBC_STOPPED"), "***"), passwordOf(demo),
       "No such file or directory"},
      {serverConnection("TAVRINEL_ODBC_NO_RESULTS"),
       withPassword(serverConnection("TAVRINEL_ODBC_NO_RESULTS"), "***"), passwordOf(demo),
       "table StudentResult is missing"},
      {withPassword(demo, "x\nSekr3t"), masked + "...", "Sekr3t", "holds a control character"},
      {withPassword(demo, wrongPassword) + ";pqopt={password=Sekr3t;x}}y}", masked + ";pqopt=***",
       "Sekr3t", ""},
      {withPassword(demo, std::string(32768, 's')), masked, std::string(32768, 's'),
       "longer than 32767"},
  };
  if (!mdbtoolsDriver().empty()) {
    std::string file = "Driver=" + mdbtoolsDriver() + ";DBQ=Missing.mdb;PWD=";
    cases.push_back({file + "Sekr3t", file + "***", "Sekr3t", ""});
  }
  for (const Case& failure : cases) {
    SCOPED_TRACE(failure.shown);
    RunOptions options;
    options.arguments = {"--connect=" + failure.connection};
    PipeRun run = runOnPipes(options, "");
    EXPECT_EQ(run.status.describe(), "exit status 1");
    EXPECT_EQ(run.out, "Loading ...\n");
    EXPECT_EQ(run.err.rfind("tavrinel: error: Cannot read " + failure.shown + ": ", 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find(failure.reason), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ((run.out + run.err).find(failure.secret), std::string::npos) << run.err;
  }
}

// 63
TEST(ServerRecords, ServerWithoutStudentsIsNamedInTheNoStudentLine) {
  std::string connection = serverConnection("TAVRINEL_ODBC_EMPTY");
  SKIP_WITHOUT_SERVER(connection);
  RunOptions options;
  options.arguments = {"--connect", connection};
  PipeRun run = runOnPipes(options, "");
  EXPECT_EQ(run.status.describe(), "exit status 1");
  EXPECT_EQ(run.out,
            "Loading ...\n\n\n\tNo student found in " + withPassword(connection, "***") + "\n");
  EXPECT_EQ(run.err, "");
}

namespace {

// The server's main process and its children, stopped for as long as this lives.
class FrozenServer {
 public:
  explicit FrozenServer(pid_t main) {
    processes_.push_back(main);
    DIR* proc = opendir("/proc");
    for (dirent* entry = proc != nullptr ? readdir(proc) : nullptr; entry != nullptr;
         entry = readdir(proc)) {
      std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
      std::string line;
      if (std::getline(stat, line) && line.find(") ") != std::string::npos) {
        // pid (name) state ppid ...
        std::string rest = line.substr(line.rfind(") ") + 2);
        if (std::atol(rest.substr(rest.find(' ') + 1).c_str()) == main) {
          processes_.push_back(std::atoi(entry->d_name));
        }
      }
    }
    if (proc != nullptr) {
      closedir(proc);
    }
    for (pid_t pid : processes_) {
      kill(pid, SIGSTOP);
    }
  }
  ~FrozenServer() {
    for (pid_t pid : processes_) {
      kill(pid, SIGCONT);
    }
  }
  FrozenServer(const FrozenServer&) = delete;
  FrozenServer& operator=(const FrozenServer&) = delete;

 private:
  std::vector<pid_t> processes_;
};

}  // namespace

// 64
TEST(ServerRecords, FrozenServerEndsTheLoadWithOneLine) {
  std::string demo = serverConnection("TAVRINEL_ODBC_DEMO");
  std::string server = serverConnection("TAVRINEL_ODBC_SERVER_PID");
  SKIP_WITHOUT_SERVER(server);
  RunOptions options;
  options.arguments = {"--connect", demo};
  options.environment = {"TAVRINEL_SILENCE_LIMIT=2"};
  PipeRun run;
  {
    FrozenServer frozen(static_cast<pid_t>(std::atol(server.c_str())));
    run = runOnPipes(options, "");
  }
  EXPECT_EQ(run.status.describe(), "exit status 1");
  EXPECT_EQ(run.out, "Loading ...\n");
  EXPECT_EQ(run.err, "tavrinel: error: Cannot read " + withPassword(demo, "***") +
                         ": the server stopped answering (nothing came for 2 s)\n");
}

// 65
TEST(ServerRecords, CtrlZDuringALoadLongerThanTheSilenceLimitThenFgLoads) {
  std::string large = serverConnection("TAVRINEL_ODBC_LARGE");
  if (large.empty()) {
    GTEST_SKIP() << "no server holding large.sql: it is what is still loading when Ctrl-Z comes";
  }
  RunOptions options;
  options.inShell = true;
  options.environment = {"TAVRINEL_SILENCE_LIMIT=2"};
  PtySession session(options);
  ASSERT_TRUE(session.waitFor("$ "));
  session.send(std::string(TAVRINEL_BINARY) + " --connect '" + large + "'" + keys::kEnter);
  ASSERT_TRUE(session.waitFor("Loading ..."));
  session.send("\x1a");  // Ctrl-Z
  ASSERT_TRUE(session.waitFor("Stopped"));
  std::this_thread::sleep_for(std::chrono::seconds(4));
  session.send(std::string("fg") + keys::kEnter);
  ASSERT_TRUE(session.waitFor(kChoicePrompt, std::chrono::seconds(30))) << session.report();
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor("Program Closing ...\n"));
  ASSERT_TRUE(session.waitFor("$ "));
  session.send(std::string("exit") + keys::kEnter);
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.transcript().find("Cannot read"), std::string::npos) << session.report();
}
