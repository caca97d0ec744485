// load_bench --connect: the load from a database server next to a plain read of its tables.
#include "bench/odbc_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "store/sources/odbc_source.h"
#include "store/tree/record_tree.h"

namespace {

constexpr const char* kUsage =
    "usage: load_bench --connect CONNECTION [--repeat N] [--one-by-one]\n"
    "\n"
    "Reads the server's three tables plainly (SELECT * of each, every column fetched as text,\n"
    "through the same driver), then loads the record tree with the set-based queries, and with\n"
    "--one-by-one also with the five query texts run one by one; prints the median of N runs\n"
    "of each (3 by default).\n";

using Clock = std::chrono::steady_clock;

long plainRead(const std::string& connection) {
  OdbcSession session(connection);
  long rows = 0;
  for (const char* table : {"Student", "StudentResult", "Subject"}) {
    std::unique_ptr<OdbcRows> result = session.select(std::string("SELECT * FROM ") + table);
    while (result->next()) {
      for (int column = 0; column < result->columnCount(); ++column) {
        result->textAt(column);
      }
      ++rows;
    }
  }
  return rows;
}

long load(const std::string& connection, ServerQueryMethod method) {
  std::unique_ptr<LoaderQueries> source = openServerSource(connection, method);
  LoadResult loaded = loadRecordTree(*source);
  RecordTreeOwner tree(loaded.tree);
  long students = 0;
  for (const IntakeRecord* intake = tree.get(); intake != nullptr; intake = intake->next) {
    for (const StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next) {
      ++students;
    }
  }
  return students;
}

template <typename Step>
double medianSeconds(int repeat, Step step) {
  std::vector<double> times;
  for (int i = 0; i < repeat; ++i) {
    Clock::time_point start = Clock::now();
    step();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int runServerBench(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string connection = argv[2];
  int repeat = 3;
  bool oneByOne = false;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      repeat = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--one-by-one") == 0) {
      oneByOne = true;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  try {
    long rows = plainRead(connection);  // also brings the tables into the server's cache
    long students = 0;
    double floor = medianSeconds(repeat, [&] { plainRead(connection); });
    double setBased =
        medianSeconds(repeat, [&] { students = load(connection, ServerQueryMethod::kSetBased); });
    std::printf("== %s: %ld students (%ld rows in the tables), median of %d\n",
                maskConnection(connection).c_str(), students, rows, repeat);
    std::printf("floor       %8.3f s   plain read of the three tables, every column as text\n",
                floor);
    std::printf("load        %8.3f s   %.1fx the floor (set-based queries)\n", setBased,
                setBased / floor);
    if (oneByOne) {
      double reference =
          medianSeconds(repeat, [&] { load(connection, ServerQueryMethod::kOneByOne); });
      std::printf("one by one  %8.3f s   %.1fx the floor (the five query texts)\n", reference,
                  reference / floor);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "load_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
