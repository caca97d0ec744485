// The direct build against the reference on every fixture in both its forms, and the facts of the
// fixtures README, which the two paths could otherwise get wrong together. POSIX only: the Access
// forms are read by libmdb, and Wine has no Access driver to read them on Windows.
#include "store/assembly/tree_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "store/sources/access/access_reader.h"
#include "store/sources/file_format.h"
#include "unit/store/differential.h"
#include "unit/store/loader_test_support.h"

namespace {

// A fixture's tables, from its Access file or its script run into a SQLite file, each read by the
// file's reader.
SourceTables fixtureTables(const std::string& name, FileFormat kind) {
  return kind == FileFormat::kAccess ? readAccessTables(fixturePath(name + ".mdb"))
                                     : scriptTables(readFile(fixturePath(name + ".sql")));
}

const char* const kFixtures[] = {
    "demo", "edge", "marks-text", "marks-double", "numeric-postcode", "empty", "zero-length"};

TEST(TreeBuilder, BothPathsGiveTheSameTreeForEveryFixture) {
  for (const char* name : kFixtures) {
    for (FileFormat kind : {FileFormat::kSqlite, FileFormat::kAccess}) {
      SCOPED_TRACE(std::string(name) + (kind == FileFormat::kAccess ? ".mdb" : ".sql"));
      BothPaths both = loadBothWays(fixtureTables(name, kind));
      EXPECT_EQ(both.direct, both.reference);
      EXPECT_EQ(both.plans, kTableOrderPlans);
    }
  }
  for (const char* file : {"demo-2003.mdb", "demo.accdb"}) {
    BothPaths both = loadBothWays(readAccessTables(fixturePath(file)));
    EXPECT_EQ(both.direct, both.reference) << file;
  }
  for (FileFormat kind : {FileFormat::kSqlite, FileFormat::kAccess}) {
    EXPECT_THROW(fixtureTables("no-results-table", kind), DatabaseError);
  }
  // Zero-length texts are values and NULL is NULL in either file: the student whose intake is ""
  // and the result whose StudentID is "" are there alike.
  EXPECT_EQ(loadBothWays(fixtureTables("zero-length", FileFormat::kAccess)).direct,
            loadBothWays(fixtureTables("zero-length", FileFormat::kSqlite)).direct);
}

TEST(TreeBuilder, EveryFormOfTheDemoGivesTheSameTree) {
  std::string expected =
      outcome([] { return loadRecordTree(DatabaseSource::file(fixturePath("demo.mdb"))); });
  for (const char* form : {"demo-2003.mdb", "demo.accdb"}) {
    EXPECT_EQ(outcome([&] { return loadRecordTree(DatabaseSource::file(fixturePath(form))); }),
              expected)
        << form;
  }
  EXPECT_EQ(
      outcome([] { return buildRecordTree(fixtureTables("demo", FileFormat::kSqlite), kSource); }),
      expected);
}

TEST(TreeBuilder, BothPathsGiveTheSameTreeForTheLargeFixture) {
  for (const char* name : {"large.sql", "large.mdb"}) {
    std::string path = sharedFixturePath(name);
    if (!std::filesystem::exists(path)) {
      std::printf("%s is absent: skipped\n", path.c_str());
      continue;
    }
    bool script = std::string(name).find(".sql") != std::string::npos;
    BothPaths both = loadBothWays(script ? scriptTables(readFile(path)) : readAccessTables(path));
    EXPECT_EQ(both.direct.size(), both.reference.size()) << name;
    EXPECT_TRUE(both.direct == both.reference) << name;
  }
}

// -- Facts of the fixtures README, checked on the direct build of each form.

LoadedTree buildFixture(const std::string& name, FileFormat kind) {
  LoadResult result = buildRecordTree(fixtureTables(name, kind), kSource);
  return {RecordTreeOwner(result.tree), result.status};
}

using MarksTable = std::map<std::pair<std::string, std::string>, int>;

MarksTable marksOf(RecordTree tree) {
  MarksTable marks;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (const StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next) {
      for (const LevelNode* level = s->firstLevel; level != nullptr; level = level->next) {
        for (const SemesterNode* sem = level->firstSemester; sem != nullptr; sem = sem->next) {
          for (const SubjectResult* r = sem->firstResult; r != nullptr; r = r->next) {
            marks[{s->studentId, r->subjectId}] = r->marks;
          }
        }
      }
    }
  }
  return marks;
}

TEST(FixtureFacts, DemoIntakesStudentsAndResultsComeInDatabaseOrder) {
  LoadedTree loaded = buildFixture("demo", FileFormat::kAccess);
  RecordTree tree = loaded.tree.get();
  EXPECT_EQ(intakeCodes(tree), (std::vector<std::string>{"APR23IT", "APR24IT", "SEP23IT"}));
  EXPECT_EQ(studentIds(intakeNamed(tree, "APR24IT")),
            (std::vector<std::string>{"st240401", "st240402", "st240403", "st240404", "st240405",
                                      "st240406", "st240407"}));
  EXPECT_EQ(resultsOf(tree, "st230401"),
            "    level 1\n"
            "      semester 1: CS101=100 (Introduction to Programming) CS102=49 (Computer Systems "
            "Fundamentals)\n"
            "      semester 2: CS103=54 (Data Structures and Algorithms) CS104=46 (Discrete "
            "Mathematics)\n"
            "    level 2\n"
            "      semester 1: CS201=60 (Object-Oriented Programming) CS202=50 (Database "
            "Systems)\n"
            "      semester 2: CS203=43 (Computer Networks) CS204=47 (Web Application "
            "Development)\n"
            "    level 3\n"
            "      semester 1: CS301=58 (Software Engineering) CS302=53 (Operating Systems)\n"
            "      semester 2: CS303=48 (Information Security) CS304=48 (Capstone Project)\n");
  EXPECT_STREQ(studentNamed(tree, "st240403").name,
               "Tr\xE1\xBA\xA7n Minh \xC4\x90\xE1\xBB\xA9"
               "c");
  EXPECT_STREQ(studentNamed(tree, "st230903").address->postcode, "0800");
}

// One check per edge row of the fixture; the Access and SQLite forms must agree on all of them.
void expectEdgeRows(RecordTree tree) {
  EXPECT_EQ(
      studentIds(intakeNamed(tree, "JAN24IT")),
      (std::vector<std::string>{"ed0001",   "ed0002", "ed0003", "ed0004",   "ed0005", "ed0006",
                                "ed0007",   "ed0008", "ed0009", "o'br0001", "ed0011", "ed0012",
                                "ed240015", "ed0016", "ed0017", "ed001800", "ED0019", "ed000022",
                                "ed0023",   "ed0024", "ed0026", "ed0027",   "ed0028"}));
  EXPECT_EQ(resultsOf(tree, "ed0002"), "");
  EXPECT_EQ(resultsOf(tree, "ed0003"),
            "    level 1\n      semester 1: IT101=62 (Programming Fundamentals)\n");
  EXPECT_EQ(resultsOf(tree, "ed0007"),
            "    level 1\n"
            "      semester 1: IT101=71 (Programming Fundamentals)\n"
            "      semester 2: IT103=66 (Mathematics for Computing)\n"
            "    level 2\n"
            "      semester 1: IT201=59 (Object-Oriented Design)\n");
  EXPECT_EQ(resultsOf(tree, "ed000022"),
            "    level 1\n"
            "      semester 1: IT101=65 (Programming Fundamentals)\n"
            "      semester 2: IT102=70 (Computer Systems)\n"
            "      semester 12: IT103=55 (Mathematics for Computing)\n"
            "    level 2\n"
            "      semester 1: IT201=50 (Object-Oriented Design)\n"
            "    level 10\n"
            "      semester 12: ADV1001=90 (Advanced Research Topics)\n");
  EXPECT_EQ(resultsOf(tree, "ed0008"),
            "    level 1\n"
            "      semester 1: IT101=35 (Programming Fundamentals)\n"
            "      semester 2: IT101=61 (Programming Fundamentals)\n");
  MarksTable marks = marksOf(tree);
  EXPECT_EQ(marks.at({"ed0004", "IT102"}), 0);    // -3
  EXPECT_EQ(marks.at({"ed0005", "IT102"}), 120);  // kept above 100
  EXPECT_EQ(marks.at({"ed0006", "IT102"}), 0);
  EXPECT_EQ(marks.at({"ed0012", "IT101"}), 0);  // NULL
  EXPECT_EQ(marks.at({"o'br0001", "IT101"}), 64);
  EXPECT_EQ(marks.at({"ed001800", "IT102"}), 44);  // selected by the whole 10-character ID

  // ed0009 is in two intakes, each record with all of its results.
  EXPECT_EQ(studentIds(intakeNamed(tree, "JUL24IT")), std::vector<std::string>{"ed0009"});
  std::ostringstream second;
  dumpStudent(*intakeNamed(tree, "JUL24IT").firstStudent, second);
  EXPECT_EQ(second.str(), "  ed0009|Priya Raman|JUL24IT|66 Stirling Highway|Nedlands|WA|6009\n" +
                              resultsOf(tree, "ed0009"));
  EXPECT_EQ(resultsOf(tree, "ed0009"),
            "    level 1\n      semester 1: IT101=77 (Programming Fundamentals) IT102=52 "
            "(Computer Systems)\n");

  EXPECT_EQ(studentIds(intakeNamed(tree, "AUG'24IT")), std::vector<std::string>{"ed0010"});
  const StudentRecord& nulls = studentNamed(tree, "ed0011");
  EXPECT_EQ(std::string(nulls.name) + nulls.address->streetAddress + nulls.address->city +
                nulls.address->state + nulls.address->postcode,
            "");
  EXPECT_STREQ(studentNamed(tree, "ed0017").name,
               "Penelope Rosamund Arbuthnot-Kingsley Featherstoneh");
  const AddressRecord* over = studentNamed(tree, "ed0028").address;
  EXPECT_EQ(std::string(over->streetAddress) + "|" + over->city + "|" + over->state + "|" +
                over->postcode,
            "Apartment 1203, Tower B, Residensi Sri Permaisuri,|Kuala Tereng|Negeri Sembi|"
            "MY-70450");
  EXPECT_STREQ(studentNamed(tree, "ed0026").name,
               "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m-N\xC3\xBA\xC3\xB1"
               "ez de la Pe\xC3\xB1"
               "a y Casta\xC3\xB1"
               "eda M\xC3\xBCller");
  EXPECT_STREQ(intakeNamed(tree, "JAN2025PARTTIME").firstStudent->intake, "JAN2025PARTTIME");
}

TEST(FixtureFacts, EdgeRowsFromAccessSortIntakesWithoutRegardToCase) {
  LoadedTree loaded = buildFixture("edge", FileFormat::kAccess);
  ASSERT_EQ(loaded.status, LoadStatus::kLoaded);
  EXPECT_EQ(intakeCodes(loaded.tree.get()),
            (std::vector<std::string>{"AUG'24IT", "head", "JAN2025PARTTIME", "JAN24IT", "JUL24IT",
                                      "mar24it", "SEP24NET"}));
  expectEdgeRows(loaded.tree.get());
}

TEST(FixtureFacts, EdgeRowsFromSqliteSortIntakesByTheFilesOwnRules) {
  LoadedTree loaded = buildFixture("edge", FileFormat::kSqlite);
  ASSERT_EQ(loaded.status, LoadStatus::kLoaded);
  EXPECT_EQ(intakeCodes(loaded.tree.get()),
            (std::vector<std::string>{"AUG'24IT", "JAN2025PARTTIME", "JAN24IT", "JUL24IT",
                                      "SEP24NET", "head", "mar24it"}));
  expectEdgeRows(loaded.tree.get());
}

TEST(FixtureFacts, MarksAreReadAsTextAndParsedLikeAtoi) {
  // Rows of marks-text and marks-double whose marks are not plain whole numbers.
  const MarksTable text = {
      {{"st230401", "CS102"}, 72}, {{"st230402", "CS102"}, 65}, {{"st230403", "CS102"}, 0},
      {{"st230401", "CS104"}, 0},  {{"st230402", "CS104"}, 0},  {{"st230403", "CS104"}, 120},
      {{"st230901", "CS102"}, 1},  {{"st230902", "CS102"}, 55}, {{"st230903", "CS102"}, 65},
      {{"st230901", "CS104"}, 40}, {{"st230902", "CS104"}, 0},  {{"st230903", "CS104"}, 0}};
  // 1e-05 reads "1e-05", as Access writes the Double, and so parses as 1.
  const MarksTable real = {
      {{"st230401", "CS102"}, 72}, {{"st230402", "CS102"}, 59},      {{"st230403", "CS102"}, 0},
      {{"st230401", "CS104"}, 39}, {{"st230402", "CS104"}, 74},      {{"st230403", "CS104"}, 100},
      {{"st230901", "CS102"}, 0},  {{"st230902", "CS102"}, 0},       {{"st230903", "CS102"}, 1},
      {{"st230901", "CS104"}, 60}, {{"st230902", "CS104"}, 1000000}, {{"st230903", "CS104"}, 0}};
  for (const auto& [name, expected] :
       {std::pair{"marks-text", text}, std::pair{"marks-double", real}}) {
    for (FileFormat path : {FileFormat::kAccess, FileFormat::kSqlite}) {
      LoadedTree loaded = buildFixture(name, path);
      MarksTable marks = marksOf(loaded.tree.get());
      EXPECT_EQ(marks.size(), 24u) << static_cast<int>(path);
      for (const auto& [key, value] : expected) {
        EXPECT_EQ(marks[key], value)
            << static_cast<int>(path) << " " << key.first << " " << key.second;
      }
    }
  }
}

TEST(FixtureFacts, NumericPostcodeReadsAsItsDigits) {
  for (FileFormat path : {FileFormat::kAccess, FileFormat::kSqlite}) {
    LoadedTree loaded = buildFixture("numeric-postcode", path);
    EXPECT_STREQ(studentNamed(loaded.tree.get(), "st230903").address->postcode, "800")
        << static_cast<int>(path);
    EXPECT_STREQ(studentNamed(loaded.tree.get(), "st230401").address->postcode, "2150")
        << static_cast<int>(path);
  }
}

// A NULL intake reads as the empty text: one intake holds the student without intake, then the
// one with the empty intake, each once.
TEST(FixtureFacts, ZeroLengthIntakeAndNullIntakeAreOneIntakeOfEachStudentOnce) {
  for (FileFormat path : {FileFormat::kAccess, FileFormat::kSqlite}) {
    LoadedTree loaded = buildFixture("zero-length", path);
    ASSERT_EQ(loaded.status, LoadStatus::kLoaded);
    EXPECT_EQ(intakeCodes(loaded.tree.get()), (std::vector<std::string>{"", "JUL25IT"}));
    EXPECT_EQ(studentIds(intakeNamed(loaded.tree.get(), "")),
              (std::vector<std::string>{"zl000003", "zl000002"}));
    EXPECT_EQ(resultsOf(loaded.tree.get(), "zl000003"),
              "    level 1\n      semester 1: IT101=90 (Foundations of Computing)\n");
  }
}

TEST(FixtureFacts, DatabaseWithoutStudentsIsNoStudentNotOutOfMemory) {
  for (FileFormat path : {FileFormat::kAccess, FileFormat::kSqlite}) {
    LoadedTree loaded = buildFixture("empty", path);
    EXPECT_EQ(loaded.status, LoadStatus::kNoStudent) << static_cast<int>(path);
    EXPECT_EQ(loaded.tree.get(), nullptr) << static_cast<int>(path);
  }
}

}  // namespace
