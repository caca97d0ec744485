// Times the start-up load (read the file, build the record tree, build the student index) and its
// peak memory, by both paths, next to the plain export of the same tables by the database's own
// command-line tool: mdb-export for an Access file, sqlite3 for a SQLite one.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/generated_database.h"
#include "bench/odbc_bench.h"
#include "store/assembly/tree_builder.h"
#include "store/loader.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/file_format.h"
#include "store/sources/sqlite/sqlite_reader.h"
#include "store/tree/student_index.h"

namespace {

constexpr const char* kUsage =
    "usage: load_bench [--file PATH]... [--students N]... [--runs N] [--keep DIR]\n"
    "\n"
    "For each database, the median over --runs runs (default 5) of the start-up load by the\n"
    "build, in a process of its own, next to mdb-export\n"
    "(Access) or sqlite3 (SQLite) exporting the three tables, with peak memory as a multiple of\n"
    "the file's size. --students N writes a SQLite database of N students first (kept in DIR\n"
    "with --keep), and copies it into each private test server that is running (see\n"
    "scripts/with-postgres.sh and scripts/with-mariadb.sh), where the load is measured next to\n"
    "a plain read of the three tables through the same driver. Without arguments: the shared\n"
    "large.mdb when it is there, and written databases of 25,000 and 100,000 students.\n";

constexpr const auto& kTables = kSourceTableNames;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool isSqliteFile(const std::string& path) {
  return recogniseDatabaseFile(path) == FileFormat::kSqlite;
}

double peakMiB(const rusage& usage) {
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux counts KiB
}

// User and system time: on a machine shared with other work it varies far less than the clock.
double cpuSeconds(const rusage& usage) {
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Run {
  double seconds = 0;
  double cpu = 0;  // user and system seconds, of the Access reader's child too
  double read = 0;
  double build = 0;
  double index = 0;
  double peak = 0;       // MiB
  double childPeak = 0;  // MiB, of the Access reader's child
};

// Runs argv with standard output to /dev/null, and adds its time and peak memory to run.
bool runTool(const std::vector<std::string>& argv, Run& run) {
  Clock::time_point start = Clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
      args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::perror(args[0]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.seconds += secondsSince(start);
  run.cpu += cpuSeconds(usage);
  run.peak = std::max(run.peak, peakMiB(usage));
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The tool's plain export of the three tables: mdb-export once per table, or one sqlite3 run of
// a SELECT of each.
bool runBaseline(const std::string& path, Run& run) {
  if (isSqliteFile(path)) {
    return runTool({"sqlite3", "-readonly", path,
                    "SELECT * FROM Student; SELECT * FROM StudentResult; SELECT * FROM Subject;"},
                   run);
  }
  bool ok = true;
  for (const char* table : kTables) {
    ok = runTool({"mdb-export", path, table}, run) && ok;
  }
  return ok;
}

// One load in this process; prints "seconds read build index peak childPeak cpu" on standard
// output.
// The Access reader's child has a peak of its own, while this process waits for its rows.
int measure(const std::string& mode, const std::string& path) {
  Clock::time_point start = Clock::now();
  auto tables = std::make_unique<SourceTables>(recogniseDatabaseFile(path) == FileFormat::kAccess
                                                   ? readAccessTables(path)
                                                   : readSqliteTables(path));
  double read = secondsSince(start);
  LoadResult loaded;
  if (mode == "direct") {
    loaded = buildRecordTree(*tables, path);
  }
  tables.reset();
  double built = secondsSince(start);
  RecordTreeOwner tree(loaded.tree);
  Clock::time_point indexStart = Clock::now();
  buildStudentIndex(tree.get(), nullptr);
  double index = secondsSince(indexStart);
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  std::printf("%f %f %f %f %f %f %f\n", secondsSince(start), read, built - read, index,
              peakMiB(self), peakMiB(children), cpuSeconds(self) + cpuSeconds(children));
  return loaded.status == LoadStatus::kLoaded ? 0 : 1;
}

// Runs this program again to measure one load, and reads back its figures.
bool measureInChild(const std::string& mode, const std::string& path, Run& run) {
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string command = "'" + self + "' --measure " + mode + " '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return false;
  }
  int fields = std::fscanf(pipe, "%lf %lf %lf %lf %lf %lf %lf", &run.seconds, &run.read, &run.build,
                           &run.index, &run.peak, &run.childPeak, &run.cpu);
  return pclose(pipe) == 0 && fields == 7;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

struct Medians {
  Run run;
  bool ok = true;
};

template <typename Measure>
Medians medians(int runs, Measure measureOnce) {
  std::vector<double> seconds, read, build, index, peak, childPeak, cpu;
  Medians result;
  for (int i = 0; i < runs; ++i) {
    Run run;
    result.ok = measureOnce(run) && result.ok;
    seconds.push_back(run.seconds);
    read.push_back(run.read);
    build.push_back(run.build);
    index.push_back(run.index);
    peak.push_back(run.peak);
    childPeak.push_back(run.childPeak);
    cpu.push_back(run.cpu);
  }
  result.run = {median(seconds), median(cpu),  median(read),     median(build),
                median(index),   median(peak), median(childPeak)};
  return result;
}

bool benchFile(const std::string& path, int runs) {
  double fileMiB = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
  bool sqlite = isSqliteFile(path);
  std::printf("== %s (%s, %.1f MiB), medians of %d runs\n", path.c_str(),
              sqlite ? "SQLite" : "Access", fileMiB, runs);
  Medians baseline = medians(runs, [&](Run& run) { return runBaseline(path, run); });
  std::printf("%-10s %7.3f s, cpu %7.3f s   peak %6.1f MiB (%.2fx the file)   %s\n", "export",
              baseline.run.seconds, baseline.run.cpu, baseline.run.peak,
              baseline.run.peak / fileMiB,
              sqlite ? "sqlite3 SELECT * of the three tables" : "mdb-export of the three tables");
  bool ok = baseline.ok;
  for (const char* mode : {"direct"}) {
    Medians load = medians(runs, [&](Run& run) { return measureInChild(mode, path, run); });
    ok = load.ok && ok;
    std::printf(
        "%-10s %7.3f s = %.2fx export, cpu %7.3f s = %.2fx export (read %.3f, tree %.3f, index "
        "%.3f)   peak %6.1f MiB (%.2fx the file)",
        mode, load.run.seconds, load.run.seconds / baseline.run.seconds, load.run.cpu,
        load.run.cpu / baseline.run.cpu, load.run.read, load.run.build, load.run.index,
        load.run.peak, load.run.peak / fileMiB);
    if (!sqlite) {
      std::printf(", reader's child %.1f MiB", load.run.childPeak);
    }
    std::printf("%s\n", load.ok ? "" : "   FAILED");
  }
  return ok;
}

struct Plan {
  std::vector<std::string> files;
  std::vector<long> generated;
  std::string keep;
  int runs = 5;
};

bool parse(int argc, char** argv, Plan& plan) {
  for (int i = 1; i < argc; i += 2) {
    std::string option = argv[i];
    if (i + 1 >= argc) {
      return false;
    }
    std::string value = argv[i + 1];
    if (option == "--file") {
      plan.files.push_back(value);
    } else if (option == "--students" && std::atol(value.c_str()) > 0) {
      plan.generated.push_back(std::atol(value.c_str()));
    } else if (option == "--runs" && std::atoi(value.c_str()) > 0) {
      plan.runs = std::atoi(value.c_str());
    } else if (option == "--keep") {
      plan.keep = value;
    } else {
      return false;
    }
  }
  if (plan.files.empty() && plan.generated.empty()) {
    std::string large = std::string(TAVRINEL_SHARED_FIXTURES_DIR) + "/large.mdb";
    if (std::filesystem::exists(large)) {
      plan.files.push_back(large);
    } else {
      std::printf("(%s is absent: skipped)\n", large.c_str());
    }
    plan.generated = {25000, 100000};
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--measure-server") == 0) {
    try {
      return measureServer(argv[2]);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "load_bench: %s\n", error.what());
      return 1;
    }
  }
  if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
    try {
      return measure(argv[2], argv[3]);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "load_bench: %s\n", error.what());
      return 1;
    }
  }
  Plan plan;
  if (!parse(argc, argv, plan)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  bool ok = true;
  for (const std::string& file : plan.files) {
    ok = benchFile(file, plan.runs) && ok;
  }
  std::filesystem::path folder =
      plan.keep.empty() ? std::filesystem::temp_directory_path() / "tavrinel-load-bench"
                        : std::filesystem::path(plan.keep);
  std::filesystem::create_directories(folder);
  for (long students : plan.generated) {
    std::string path = (folder / ("students-" + std::to_string(students) + ".db")).string();
    if (!std::filesystem::exists(path)) {
      Clock::time_point start = Clock::now();
      long results = writeGeneratedDatabase(path, students);
      std::printf("(wrote %s: %ld students, %ld results, in %.1f s)\n", path.c_str(), students,
                  results, secondsSince(start));
    }
    ok = benchFile(path, plan.runs) && ok;
    ok = benchServers(path, students, plan.runs) && ok;
    if (plan.keep.empty()) {
      std::filesystem::remove(path);
    }
  }
  if (plan.keep.empty()) {
    std::filesystem::remove(folder);
  }
  return ok ? 0 : 1;
}
