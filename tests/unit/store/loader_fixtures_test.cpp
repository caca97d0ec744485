// Loading the fixture databases, Access and SQLite forms alike, into the record tree.
#include "store/loader.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "unit/store/loader_test_support.h"

namespace {

class LoadFixtureTest : public ::testing::Test {
 protected:
  std::string sqlite(const std::string& name) { return sqliteFixture(scratch_, name); }

  ScratchDir scratch_;
};

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

TEST_F(LoadFixtureTest, DemoGivesTheSameTreeFromEveryFormat) {
  LoadedTree access = loadFile(fixturePath("demo.mdb"));
  ASSERT_EQ(access.status, LoadStatus::kLoaded);
  std::string expected = dumpTree(access.tree.get());
  for (const std::string& other :
       {fixturePath("demo-2003.mdb"), fixturePath("demo.accdb"), sqlite("demo")}) {
    LoadedTree loaded = loadFile(other);
    ASSERT_EQ(loaded.status, LoadStatus::kLoaded) << other;
    EXPECT_EQ(dumpTree(loaded.tree.get()), expected) << other;
  }
}

TEST_F(LoadFixtureTest, DemoIntakesStudentsAndResultsComeInDatabaseOrder) {
  LoadedTree loaded = loadFile(fixturePath("demo.mdb"));
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

TEST_F(LoadFixtureTest, EdgeRowsFromAccessSortIntakesWithoutRegardToCase) {
  LoadedTree loaded = loadFile(fixturePath("edge.mdb"));
  ASSERT_EQ(loaded.status, LoadStatus::kLoaded);
  EXPECT_EQ(intakeCodes(loaded.tree.get()),
            (std::vector<std::string>{"AUG'24IT", "head", "JAN2025PARTTIME", "JAN24IT", "JUL24IT",
                                      "mar24it", "SEP24NET"}));
  expectEdgeRows(loaded.tree.get());
}

TEST_F(LoadFixtureTest, EdgeRowsFromSqliteSortIntakesByTheFilesOwnRules) {
  LoadedTree loaded = loadFile(sqlite("edge"));
  ASSERT_EQ(loaded.status, LoadStatus::kLoaded);
  EXPECT_EQ(intakeCodes(loaded.tree.get()),
            (std::vector<std::string>{"AUG'24IT", "JAN2025PARTTIME", "JAN24IT", "JUL24IT",
                                      "SEP24NET", "head", "mar24it"}));
  expectEdgeRows(loaded.tree.get());
}

TEST_F(LoadFixtureTest, MarksAreReadAsTextAndParsedLikeAtoi) {
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
    for (const std::string& path : {fixturePath(std::string(name) + ".mdb"), sqlite(name)}) {
      LoadedTree loaded = loadFile(path);
      MarksTable marks = marksOf(loaded.tree.get());
      EXPECT_EQ(marks.size(), 24u) << path;
      for (const auto& [key, value] : expected) {
        EXPECT_EQ(marks[key], value) << path << " " << key.first << " " << key.second;
      }
    }
  }
}

TEST_F(LoadFixtureTest, NumericPostcodeReadsAsItsDigits) {
  for (const std::string& path :
       {fixturePath("numeric-postcode.mdb"), sqlite("numeric-postcode")}) {
    LoadedTree loaded = loadFile(path);
    EXPECT_STREQ(studentNamed(loaded.tree.get(), "st230903").address->postcode, "800") << path;
    EXPECT_STREQ(studentNamed(loaded.tree.get(), "st230401").address->postcode, "2150") << path;
  }
}

TEST_F(LoadFixtureTest, DatabaseWithoutStudentsIsNoStudentNotOutOfMemory) {
  for (const std::string& path : {fixturePath("empty.mdb"), sqlite("empty")}) {
    LoadedTree loaded = loadFile(path);
    EXPECT_EQ(loaded.status, LoadStatus::kNoStudent) << path;
    EXPECT_EQ(loaded.tree.get(), nullptr) << path;
  }
}

}  // namespace
