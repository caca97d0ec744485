// Times the student index build against one-by-one insertion of the same students.
//
//   index_bench [--fast-only] [N ...]    N students per run; default 10000 50000 100000
//
// Each N is run with IDs in ascending order (the usual load order, where the tree is a chain)
// and in random order, spread over ten intakes. The build is timed as the best of five; the
// one-by-one insertion once, since it is quadratic on the chain. Both trees are compared node for
// node.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "store/tree/record_tree.h"
#include "store/tree/student_index.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kIntakes = 10;
constexpr int kBuildRuns = 5;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

RecordTree makeTree(std::size_t students, bool ascending) {
  std::vector<std::size_t> numbers(students);
  for (std::size_t i = 0; i < students; ++i) {
    numbers[i] = i;
  }
  if (!ascending) {
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(42));
  }
  auto store = std::make_unique<RecordStore>();
  RecordStoreScope scope(*store);
  RecordTree first = nullptr;
  IntakeRecord* intake = nullptr;
  for (std::size_t i = 0; i < students; ++i) {
    if (i % ((students + kIntakes - 1) / kIntakes) == 0) {
      IntakeRecord* added = newIntakeRecord(("INTAKE" + std::to_string(i)).c_str());
      (intake == nullptr ? first : intake->next) = added;
      intake = added;
    }
    StudentRecord* student = newStudentRecord(newAddressRecord());
    char id[24];
    std::snprintf(id, sizeof id, "s%07zu", numbers[i]);
    setText(student->studentId, kStudentIdChars, id);
    (intake->lastStudent == nullptr ? intake->firstStudent : intake->lastStudent->next) = student;
    intake->lastStudent = student;
  }
  adoptRecordStore(first, std::move(store));
  return first;
}

std::vector<StudentRecord*> studentsOf(RecordTree tree) {
  std::vector<StudentRecord*> students;
  for (IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next) {
      students.push_back(s);
    }
  }
  return students;
}

std::vector<StudentRecord*> linksOf(const std::vector<StudentRecord*>& students) {
  std::vector<StudentRecord*> links;
  for (const StudentRecord* s : students) {
    links.push_back(s->left);
    links.push_back(s->right);
  }
  return links;
}

void runOne(std::size_t count, bool ascending, bool fastOnly) {
  RecordTreeOwner owner(makeTree(count, ascending));
  const std::vector<StudentRecord*> students = studentsOf(owner.get());

  double best = 1e9;
  StudentRecord* root = nullptr;
  for (int run = 0; run < kBuildRuns; ++run) {
    const Clock::time_point start = Clock::now();
    root = buildStudentIndex(owner.get(), nullptr);
    best = std::min(best, secondsSince(start));
  }
  const std::vector<StudentRecord*> built = linksOf(students);

  const Clock::time_point searchStart = Clock::now();
  for (StudentRecord* s : {students.front(), students[count / 2], students.back()}) {
    if (findStudent(root, s->studentId) != s) {
      std::printf("error: %s not found\n", s->studentId);
    }
  }
  const double search = secondsSince(searchStart) / 3;

  std::printf("%8zu  %-10s  build %9.3f ms  search %8.3f ms", count,
              ascending ? "ascending" : "random", best * 1e3, search * 1e3);
  if (!fastOnly) {
    const Clock::time_point start = Clock::now();
    StudentRecord* oneByOneRoot = nullptr;
    for (StudentRecord* s : students) {
      oneByOneRoot = insertStudent(oneByOneRoot, s);
    }
    const double oneByOne = secondsSince(start);
    const bool same = oneByOneRoot == root && linksOf(students) == built;
    std::printf("  one-by-one %10.3f ms  (%6.0fx)  %s", oneByOne * 1e3, oneByOne / best,
                same ? "same tree" : "TREES DIFFER");
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool fastOnly = false;
  std::vector<std::size_t> counts;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fast-only") == 0) {
      fastOnly = true;
    } else {
      counts.push_back(std::strtoull(argv[i], nullptr, 10));
    }
  }
  if (counts.empty()) {
    counts = {10000, 50000, 100000};
  }
  for (std::size_t count : counts) {
    if (count == 0) {
      std::fprintf(stderr, "index_bench: error: a student count must be a positive number\n");
      return 2;
    }
    runOne(count, true, fastOnly);
    runOne(count, false, fastOnly);
  }
  return 0;
}
