// load_bench's database servers: the load from a server next to a plain read of its tables.
#include "bench/odbc_bench.h"

#include <fcntl.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/assembly/tree_builder.h"
#include "store/loader.h"
#include "store/sources/odbc/odbc_connection_string.h"
#include "store/sources/odbc/odbc_reader.h"
#include "store/tree/student_index.h"
#include "util/utf16_text.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr const auto& kTables = kSourceTableNames;

// A plain ODBC connection for the benchmark's own statements.
class Connection {
 public:
  explicit Connection(const std::string& connection) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &database_);
    std::u16string text = toUtf16(connection);
    connected_ = SQL_SUCCEEDED(SQLDriverConnectW(
        database_, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
        static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    if (!connected_) {
      std::fprintf(stderr, "load_bench: cannot connect to %s: %s\n",
                   connectionSourceName(connection).c_str(),
                   diagnostic(SQL_HANDLE_DBC, database_).c_str());
    }
  }
  ~Connection() {
    if (connected_) {
      SQLDisconnect(database_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, database_);
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool run(const std::string& sql) {
    SQLHSTMT statement = open(sql);
    if (statement == SQL_NULL_HSTMT) {
      return false;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return true;
  }

  bool connected() const { return connected_; }

 private:
  SQLHSTMT open(const std::string& sql) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!connected_ || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, database_, &statement))) {
      return SQL_NULL_HSTMT;
    }
    std::u16string text = toUtf16(sql);
    SQLRETURN status = SQLExecDirectW(statement, reinterpret_cast<SQLWCHAR*>(text.data()),
                                      static_cast<SQLINTEGER>(text.size()));
    if (!SQL_SUCCEEDED(status) && status != SQL_NO_DATA) {
      std::fprintf(stderr, "load_bench: %s in %.80s\n",
                   diagnostic(SQL_HANDLE_STMT, statement).c_str(), sql.c_str());
      SQLFreeHandle(SQL_HANDLE_STMT, statement);
      return SQL_NULL_HSTMT;
    }
    return statement;
  }

  static std::string diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLWCHAR state[6] = {};
    SQLWCHAR message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRecW(type, handle, 1, state, &native, message, 511, &length);
    std::string text;
    appendUtf16(text, reinterpret_cast<const char16_t*>(message),
                static_cast<std::size_t>(std::clamp<SQLSMALLINT>(length, 0, 511)));
    return text;
  }

  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC database_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

std::string sqlLiteral(sqlite3_stmt* row, int column) {
  if (sqlite3_column_type(row, column) == SQLITE_NULL) {
    return "NULL";
  }
  if (sqlite3_column_type(row, column) == SQLITE_INTEGER) {
    return std::to_string(sqlite3_column_int64(row, column));
  }
  std::string text = "'";
  for (const unsigned char* c = sqlite3_column_text(row, column); *c != 0; ++c) {
    text += *c == '\'' ? "''" : std::string(1, static_cast<char>(*c));
  }
  return text + "'";
}

// The generated database's tables, rows in their order, in a thousand rows a statement.
bool copyTables(const std::string& path, Connection& server) {
  if (!server.run("CREATE TABLE Student (StudentID VARCHAR(8), Name VARCHAR(50), StreetAddress "
                  "VARCHAR(50), City VARCHAR(12), State VARCHAR(12), Postcode VARCHAR(8), "
                  "Intake VARCHAR(15))") ||
      !server.run("CREATE TABLE StudentResult (StudentID VARCHAR(8), SubjectID VARCHAR(8), "
                  "Semester INTEGER, Marks INTEGER)") ||
      !server.run("CREATE TABLE Subject (SubjectID VARCHAR(8), Name VARCHAR(50), Level INTEGER)")) {
    return false;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  bool ok = true;
  for (const char* table : kTables) {
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db, (std::string("SELECT * FROM ") + table).c_str(), -1, &rows, nullptr);
    std::string insert;
    long pending = 0;
    while (ok && sqlite3_step(rows) == SQLITE_ROW) {
      insert += insert.empty() ? std::string("INSERT INTO ") + table + " VALUES (" : ",(";
      for (int column = 0; column < sqlite3_column_count(rows); ++column) {
        insert += (column == 0 ? "" : ",") + sqlLiteral(rows, column);
      }
      insert += ")";
      if (++pending == 1000) {
        ok = server.run(insert);
        insert.clear();
        pending = 0;
      }
    }
    ok = ok && (insert.empty() || server.run(insert));
    sqlite3_finalize(rows);
  }
  sqlite3_close(db);
  return ok;
}

double peakMiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Figures {
  double seconds = 0;
  double peak = 0;       // of the process
  double childPeak = 0;  // of its reader process
  long rows = 0;
  bool ok = false;
};

// The plain read: isql in batch mode (unixODBC's, through the same driver and connection string)
// runs SELECT * of each table, its output to /dev/null.
Figures plainRead(const std::string& connection) {
  Figures figures;
  char input[] = "/tmp/tavrinel-bench-isql-XXXXXX";
  int queries = mkstemp(input);
  if (queries < 0) {
    return figures;
  }
  std::string text;
  for (const char* table : kTables) {
    text += std::string("SELECT * FROM ") + table + "\n";
  }
  bool written = write(queries, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  lseek(queries, 0, SEEK_SET);
  Clock::time_point start = Clock::now();
  pid_t pid = written ? fork() : -1;
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(queries, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execlp("isql", "isql", "-b", "-k", connection.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    figures.seconds = secondsSince(start);
    figures.peak = static_cast<double>(usage.ru_maxrss) / 1024.0;
    figures.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  close(queries);
  unlink(input);
  return figures;
}

Figures measureInChild(const std::string& mode, const std::string& connection) {
  if (mode == "plain") {
    return plainRead(connection);
  }
  setenv("TAVRINEL_BENCH_CONNECTION", connection.c_str(), 1);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  Figures figures;
  FILE* pipe = popen(("'" + self + "' --measure-server " + mode).c_str(), "r");
  if (pipe == nullptr) {
    return figures;
  }
  int fields = std::fscanf(pipe, "%lf %lf %lf %ld", &figures.seconds, &figures.peak,
                           &figures.childPeak, &figures.rows);
  figures.ok = pclose(pipe) == 0 && fields == 4;
  return figures;
}

Figures medians(int runs, const std::string& mode, const std::string& connection) {
  std::vector<double> seconds;
  std::vector<double> peaks;
  std::vector<double> childPeaks;
  Figures result;
  result.ok = true;
  for (int i = 0; i < runs; ++i) {
    Figures one = measureInChild(mode, connection);
    result.ok = result.ok && one.ok;
    result.rows = one.rows;
    seconds.push_back(one.seconds);
    peaks.push_back(one.peak);
    childPeaks.push_back(one.childPeak);
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(peaks.begin(), peaks.end());
  std::sort(childPeaks.begin(), childPeaks.end());
  result.seconds = seconds[seconds.size() / 2];
  result.peak = peaks[peaks.size() / 2];
  result.childPeak = childPeaks[childPeaks.size() / 2];
  return result;
}

long studentsOf(const RecordTree tree) {
  long students = 0;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (const StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next) {
      ++students;
    }
  }
  return students;
}

}  // namespace

int measureServer(const std::string& mode) {
  const char* connection = std::getenv("TAVRINEL_BENCH_CONNECTION");
  if (connection == nullptr) {
    return 2;
  }
  Clock::time_point start = Clock::now();
  LoadResult loaded;
  if (mode == "in-process") {
    // The driver in this process: what the reader process costs is the difference.
    TableCollector tables;
    readOdbcTables(connection, tables);
    loaded = buildRecordTree(tables.tables(), "bench");
  } else {
    loaded = loadRecordTree(DatabaseSource::connection(connection));
  }
  RecordTreeOwner tree(loaded.tree);
  buildStudentIndex(tree.get(), nullptr);
  std::printf("%f %f %f %ld\n", secondsSince(start), peakMiB(RUSAGE_SELF), peakMiB(RUSAGE_CHILDREN),
              studentsOf(tree.get()));
  return 0;
}

bool benchServers(const std::string& path, long students, int runs) {
  struct Server {
    const char* name;
    const char* variable;
    const char* adminDatabase;  // where CREATE DATABASE runs
    const char* script;
  } servers[] = {{"PostgreSQL", "TAVRINEL_ODBC_ADMIN", ";Database=postgres", "with-postgres.sh"},
                 {"MariaDB", "TAVRINEL_MARIADB_ADMIN", "", "with-mariadb.sh"}};
  bool ok = true;
  for (const Server& server : servers) {
    const char* admin = std::getenv(server.variable);
    if (admin == nullptr) {
      std::printf("(%s: no server; run under scripts/%s)\n", server.name, server.script);
      continue;
    }
    std::string database = "tavrinel_bench_" + std::to_string(students);
    Connection owner(std::string(admin) + server.adminDatabase);
    owner.run("DROP DATABASE IF EXISTS " + database);
    if (!owner.run("CREATE DATABASE " + database)) {
      ok = false;
      continue;
    }
    std::string connection = std::string(admin) + ";Database=" + database;
    Clock::time_point start = Clock::now();
    {
      Connection copy(connection);
      if (!copyTables(path, copy)) {
        std::printf("%s: copying the tables failed\n", server.name);
        ok = false;
        owner.run("DROP DATABASE " + database);
        continue;
      }
    }
    std::printf("== %s, %ld students (copied in %.1f s), medians of %d runs\n", server.name,
                students, secondsSince(start), runs);
    double fileMiB = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    Figures plain = medians(runs, "plain", connection);
    Figures load = medians(runs, "load", connection);
    Figures here = medians(runs, "in-process", connection);
    std::printf("%-10s %7.3f s   peak %6.1f MiB   isql -b: SELECT * of the three tables\n", "plain",
                plain.seconds, plain.peak);
    std::printf(
        "%-10s %7.3f s = %.2fx isql   peak %6.1f MiB (%.2fx the SQLite file of %.1f MiB), "
        "reader process %.1f MiB   read, tree and index (%ld students)%s\n",
        "load", load.seconds, load.seconds / plain.seconds, load.peak, load.peak / fileMiB, fileMiB,
        load.childPeak, load.rows, plain.ok && load.ok ? "" : "   FAILED");
    std::printf(
        "%-10s %7.3f s = %.2fx isql   peak %6.1f MiB   the same with the driver in the "
        "program's process: the process hop costs %.3f s\n",
        "in-process", here.seconds, here.seconds / plain.seconds, here.peak,
        load.seconds - here.seconds);
    ok = ok && plain.ok && load.ok && here.ok;
    owner.run("DROP DATABASE " + database);
  }
  return ok;
}
