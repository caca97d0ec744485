// Damaged database files made by mutating the fixtures, each run through the real program as
// Database.mdb (an Access file also through the MDBTools ODBC driver, where it is installed): it
// must end by itself with status 0 or 1, say at most one line on standard error, and leave the
// file and its folder as they were.
//
// The mutants are seeded: a failure prints the seed and the mutant's number, and
// TAVRINEL_FUZZ_SEED=<seed> replays the run (TAVRINEL_FUZZ_MUTANTS sets how many).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "file_bytes.h"
#include "mdbtools_driver.h"

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultMutants = 60;  // each run of the sanitized program takes several times longer
#else
constexpr int kDefaultMutants = 600;
#endif
constexpr std::uint64_t kDefaultSeed = 20240607;
constexpr auto kRunLimit = std::chrono::seconds(60);
// A mutant that makes a reader run until its time limit costs many ordinary ones: past this the
// run stops early, saying how many mutants it tried.
constexpr auto kTimeBudget = std::chrono::seconds(60);

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text == nullptr || *text == '\0' ? fallback : std::strtoull(text, nullptr, 10);
}

// A fixture and the pages where damage is most telling: the first pages, the table definitions
// and, in an Access file, the pages of the table list.
struct Seed {
  std::string name;
  std::string bytes;
  std::size_t pageSize = 4096;
  std::vector<std::size_t> hotPages;
  std::vector<std::size_t> listPages;  // in an Access file, the rows of the table list
};

std::uint32_t little32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
  }
  return value;
}

Seed accessSeed(const fs::path& path) {
  Seed seed;
  seed.name = path.filename().string();
  seed.bytes = readFile(path);
  seed.pageSize = static_cast<unsigned char>(seed.bytes[0x14]) == 0 ? 2048 : 4096;  // Jet 3: 2 KiB
  std::size_t pages = seed.bytes.size() / seed.pageSize;
  for (std::size_t page = 0; page < pages; ++page) {
    std::size_t start = page * seed.pageSize;
    char type = seed.bytes[start];
    // Page 2 defines the table list; data pages (type 1) name their table's definition at 4.
    bool tableDefinition = type == 0x02;
    bool tableList = type == 0x01 && little32(seed.bytes, start + 4) == 2;
    if (page < 4 || tableDefinition) {
      seed.hotPages.push_back(page);
    }
    if (tableList) {
      seed.listPages.push_back(page);
    }
  }
  return seed;
}

Seed sqliteSeed(const fs::path& script, const fs::path& scratch) {
  fs::path file = scratch / (script.stem().string() + ".db");
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db, readFile(script).c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  Seed seed;
  seed.name = file.filename().string();
  seed.bytes = readFile(file);
  seed.pageSize = 4096;
  for (std::size_t page = 0; page < std::min<std::size_t>(4, seed.bytes.size() / 4096); ++page) {
    seed.hotPages.push_back(page);
  }
  return seed;
}

// Makes one mutant: one to three kinds of damage, mostly in the hot pages.
class Mutator {
 public:
  Mutator(const Seed& seed, std::uint64_t key) : seed_(seed), random_(key) {}

  std::string make(std::string& how) {
    std::string bytes = seed_.bytes;
    int damages = 1 + static_cast<int>(below(3));
    for (int i = 0; i < damages; ++i) {
      damage(bytes, how);
    }
    return bytes;
  }

 private:
  std::uint64_t below(std::uint64_t bound) { return random_() % bound; }

  std::size_t hotOffset(const std::string& bytes) {
    // The table list's rows carry the properties whose parser breaks most often: half the damage.
    const std::vector<std::size_t>& pages =
        seed_.listPages.empty() || below(2) == 0 ? seed_.hotPages : seed_.listPages;
    std::size_t page = pages[below(pages.size())];
    std::size_t start = std::min(page * seed_.pageSize, bytes.size() - 1);
    // Headers and row offsets sit at the start of a page; weight the first bytes.
    std::size_t span = below(4) == 0 ? seed_.pageSize : 128;
    return std::min(start + below(span), bytes.size() - 1);
  }

  void damage(std::string& bytes, std::string& how) {
    if (bytes.empty()) {
      return;
    }
    std::size_t pages = std::max<std::size_t>(1, bytes.size() / seed_.pageSize);
    switch (below(10)) {
      case 0:
      case 1:
      case 2: {  // bit flips
        std::size_t offset = hotOffset(bytes);
        bytes[offset] = static_cast<char>(bytes[offset] ^ (1 << below(8)));
        how += " flip@" + std::to_string(offset);
        break;
      }
      case 3:
      case 4: {  // a count, size or pointer replaced by an extreme value
        static const std::uint32_t kValues[] = {0, 1, 0xFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
        std::uint32_t value = kValues[below(6)];
        std::size_t width = std::size_t{1} << below(3);
        std::size_t offset = hotOffset(bytes);
        for (std::size_t i = 0; i < width && offset + i < bytes.size(); ++i) {
          bytes[offset + i] = static_cast<char>(value >> (8 * i));
        }
        how += " set" + std::to_string(width) + "@" + std::to_string(offset);
        break;
      }
      case 5: {  // a hot page zeroed
        std::size_t start = hotOffset(bytes) / seed_.pageSize * seed_.pageSize;
        std::fill(bytes.begin() + static_cast<long>(start),
                  bytes.begin() + static_cast<long>(std::min(start + seed_.pageSize, bytes.size())),
                  '\0');
        how += " zero-page@" + std::to_string(start);
        break;
      }
      case 6: {  // a hot page swapped with another
        std::size_t first = hotOffset(bytes) / seed_.pageSize;
        std::size_t second = below(pages);
        if (first != second && (second + 1) * seed_.pageSize <= bytes.size() &&
            (first + 1) * seed_.pageSize <= bytes.size()) {
          std::swap_ranges(bytes.begin() + static_cast<long>(first * seed_.pageSize),
                           bytes.begin() + static_cast<long>((first + 1) * seed_.pageSize),
                           bytes.begin() + static_cast<long>(second * seed_.pageSize));
        }
        how += " swap-pages@" + std::to_string(first) + "," + std::to_string(second);
        break;
      }
      case 7: {  // cut short at a page boundary, or anywhere
        std::size_t size = below(2) == 0 ? below(pages + 1) * seed_.pageSize : below(bytes.size());
        bytes.resize(std::min(size, bytes.size()));
        how += " cut@" + std::to_string(bytes.size());
        break;
      }
      default: {  // a byte anywhere
        std::size_t offset = below(bytes.size());
        bytes[offset] = static_cast<char>(below(256));
        how += " byte@" + std::to_string(offset);
        break;
      }
    }
  }

  const Seed& seed_;
  std::mt19937_64 random_;
};

struct ProgramRun {
  bool finished = false;  // by itself, within the limit
  int status = 0;
  std::string errors;
};

// The program in folder, standard input /dev/null (not a terminal), standard output discarded;
// connection, when given, is read with --connect.
ProgramRun runProgram(const fs::path& folder, const std::string& connection) {
  fs::path errorFile = folder.parent_path() / "stderr.txt";
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    int errors = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (null < 0 || errors < 0 || chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    if (connection.empty()) {
      execl(TAVRINEL_BINARY, TAVRINEL_BINARY, static_cast<char*>(nullptr));
    } else {
      execl(TAVRINEL_BINARY, TAVRINEL_BINARY, "--connect", connection.c_str(),
            static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  ProgramRun run;
  auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &run.status, WNOHANG) == pid) {
      run.finished = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!run.finished) {
    kill(pid, SIGKILL);
    waitpid(pid, &run.status, 0);
  }
  run.errors = readFile(errorFile);
  return run;
}

// What is wrong with the run, or "".
std::string fault(const ProgramRun& run, const std::string& before, const fs::path& folder) {
  if (!run.finished) {
    return "did not end within " + std::to_string(kRunLimit.count()) + " s";
  }
  if (WIFSIGNALED(run.status)) {
    return "died by signal " + std::to_string(WTERMSIG(run.status));
  }
  if (WEXITSTATUS(run.status) > 1) {
    return "exit status " + std::to_string(WEXITSTATUS(run.status));
  }
  if (std::count(run.errors.begin(), run.errors.end(), '\n') > 1 ||
      (!run.errors.empty() && run.errors.back() != '\n')) {
    return "standard error is not one line: " + run.errors;
  }
  if (readFile(folder / "Database.mdb") != before) {
    return "the file changed";
  }
  if (std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1) {
    return "files appeared beside it";
  }
  return "";
}

TEST(DamagedFileFuzz, ProgramEndsCleanlyWithOneLineAndLeavesTheFileAsItWas) {
  std::uint64_t seed = environmentNumber("TAVRINEL_FUZZ_SEED", kDefaultSeed);
  std::uint64_t mutants = environmentNumber("TAVRINEL_FUZZ_MUTANTS", kDefaultMutants);
  fs::path scratch = fs::temp_directory_path() / ("tavrinel-fuzz-" + std::to_string(getpid()));
  fs::create_directories(scratch);

  std::vector<Seed> seeds;
  for (const auto& entry : fs::directory_iterator(TAVRINEL_FIXTURES_DIR)) {
    std::string extension = entry.path().extension().string();
    // The larger Access 2007 file is left to the others: its pages are like theirs.
    if (extension == ".mdb") {
      seeds.push_back(accessSeed(entry.path()));
    }
  }
  std::sort(seeds.begin(), seeds.end(),
            [](const Seed& a, const Seed& b) { return a.name < b.name; });
  std::size_t accessSeeds = seeds.size();
  for (const char* script : {"demo.sql", "edge.sql", "marks-text.sql"}) {
    seeds.push_back(sqliteSeed(fs::path(TAVRINEL_FIXTURES_DIR) / script, scratch));
  }
  ASSERT_GT(accessSeeds, 0u);

  fs::path folder = scratch / "run";
  const std::string driver = mdbtoolsDriver();
  int failures = 0;
  auto stopAt = std::chrono::steady_clock::now() + kTimeBudget;
  std::uint64_t i = 0;
  for (; i < mutants && failures < 5 && std::chrono::steady_clock::now() < stopAt; ++i) {
    // Four in five mutants are Access files: their reader is the one that meets damage alone.
    std::mt19937_64 pick(seed * 1000003 + i);
    const Seed& base = pick() % 5 != 0 ? seeds[pick() % accessSeeds]
                                       : seeds[accessSeeds + pick() % (seeds.size() - accessSeeds)];
    std::string how;
    std::string bytes = Mutator(base, pick()).make(how);
    // One Access mutant in three goes through the MDBTools driver, which runs in a reader
    // process of its own as libmdb does.
    std::string connection;
    if (!driver.empty() && &base < &seeds[accessSeeds] && pick() % 3 == 0) {
      connection = "Driver=" + driver + ";DBQ=Database.mdb";
      how += " (through the MDBTools driver)";
    }
    fs::remove_all(folder);
    fs::create_directories(folder);
    writeFile(folder / "Database.mdb", bytes);
    std::string problem = fault(runProgram(folder, connection), bytes, folder);
    if (!problem.empty()) {
      ++failures;
      fs::path kept = fs::temp_directory_path() /
                      ("tavrinel-fuzz-" + std::to_string(seed) + "-" + std::to_string(i) + ".mdb");
      writeFile(kept, bytes);
      ADD_FAILURE() << "seed " << seed << " mutant " << i << " of " << base.name << " (" << how
                    << " ): " << problem << "\n  kept as " << kept.string();
    }
  }
  std::cout << i << " mutants of seed " << seed << " tried\n";
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

}  // namespace
