// Times loading a database into the record tree and building the student index, with the peak
// memory of each, against the floor of a plain full read of the same file.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/floor_read.h"
#include "bench/generated_database.h"
#include "bench/odbc_bench.h"
#include "store/loader.h"
#include "store/record_tree.h"
#include "store/student_index.h"

namespace {

constexpr const char* kUsage =
    "usage: load_bench [--students N]... [--file PATH]... [--keep DIR]\n"
    "\n"
    "Loads each database into the record tree and builds the student index, and prints the time\n"
    "and peak memory of both, and the time of a plain full read of the same file (the floor).\n"
    "--students N writes a SQLite database of N students (about 30 results each) first; --keep\n"
    "leaves the written databases in DIR. Without arguments: the shared large.mdb, when it is\n"
    "there, and databases of 10,000, 50,000 and 100,000 students.\n";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A figure from /proc/self/status, in MiB.
double statusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
    }
  }
  return 0;
}

// Measures the peak resident memory of one phase above what was resident when it began: writing
// 5 to clear_refs resets the high-water mark to the current size.
class PeakMemory {
 public:
  PeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
    start_ = statusMiB("VmRSS:");
  }
  double growthMiB() const { return statusMiB("VmHWM:") - start_; }

 private:
  double start_;
};

long countResults(RecordTree tree, long* students) {
  long results = 0;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (const StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next, ++*students) {
      for (const LevelNode* level = s->firstLevel; level != nullptr; level = level->next) {
        for (const SemesterNode* sem = level->firstSemester; sem != nullptr; sem = sem->next) {
          for (const SubjectResult* r = sem->firstResult; r != nullptr; r = r->next) {
            ++results;
          }
        }
      }
    }
  }
  return results;
}

// One measurement, in a process of its own so that its peak memory is its own.
int measure(const std::string& path) {
  readTablesPlainly(path);  // brings the file into the page cache for both timed reads
  Clock::time_point start = Clock::now();
  long rows = readTablesPlainly(path);
  double floor = secondsSince(start);

  PeakMemory loadPeak;
  start = Clock::now();
  std::unique_ptr<LoaderQueries> source = openDatabaseFile(path);
  double copy = secondsSince(start);
  LoadResult loaded = loadRecordTree(*source);
  source.reset();
  double load = secondsSince(start);
  RecordTreeOwner tree(loaded.tree);
  double loadGrowth = loadPeak.growthMiB();

  PeakMemory indexPeak;
  start = Clock::now();
  buildStudentIndex(tree.get(), nullptr);
  double index = secondsSince(start);

  long students = 0;
  long results = countResults(tree.get(), &students);
  std::printf("== %s: %ld students, %ld results (%ld rows in the file)\n", path.c_str(), students,
              results, rows);
  std::printf("floor  %8.3f s   plain read of the three tables, every column as text\n", floor);
  std::printf(
      "load   %8.3f s   %.1fx the floor (copy and indexes %.3f s, tree %.3f s), "
      "peak +%.1f MiB\n",
      load, load / floor, copy, load - copy, loadGrowth);
  std::printf("index  %8.3f s   peak +%.1f MiB\n", index, indexPeak.growthMiB());
  return 0;
}

// Runs this program again on path alone and waits for it.
bool measureInChild(const std::string& path) {
  std::fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    execl("/proc/self/exe", "load_bench", "--measure", path.c_str(), static_cast<char*>(nullptr));
    std::perror("load_bench: exec");
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Plan {
  std::vector<std::string> files;
  std::vector<long> generated;
  std::string keep;
};

bool parse(int argc, char** argv, Plan& plan) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (i + 1 >= argc) {
      return false;
    }
    std::string value = argv[++i];
    if (option == "--file") {
      plan.files.push_back(value);
    } else if (option == "--students" && std::atol(value.c_str()) > 0) {
      plan.generated.push_back(std::atol(value.c_str()));
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
    }
    plan.generated = {10000, 50000, 100000};
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--connect") == 0) {
    return runServerBench(argc, argv);
  }
  if (argc == 3 && std::strcmp(argv[1], "--measure") == 0) {
    try {
      return measure(argv[2]);
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
    ok = measureInChild(file) && ok;
  }
  std::filesystem::path folder =
      plan.keep.empty() ? std::filesystem::temp_directory_path() / "tavrinel-load-bench"
                        : std::filesystem::path(plan.keep);
  std::filesystem::create_directories(folder);
  for (long students : plan.generated) {
    std::string path = (folder / ("students-" + std::to_string(students) + ".db")).string();
    Clock::time_point start = Clock::now();
    long results = writeGeneratedDatabase(path, students);
    std::printf("(wrote %s: %ld students, %ld results, in %.1f s)\n", path.c_str(), students,
                results, secondsSince(start));
    ok = measureInChild(path) && ok;
    if (plan.keep.empty()) {
      std::filesystem::remove(path);
    }
  }
  if (plan.keep.empty()) {
    std::filesystem::remove(folder);
  }
  return ok ? 0 : 1;
}
