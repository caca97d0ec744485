// The direct build against the reference: both trees, node for node, on every fixture and on
// seeded random databases; and the facts of the fixtures README, which the two paths could
// otherwise get wrong together.
#include "store/assembly/tree_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "oracle/reference_database.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/file_format.h"
#include "unit/store/differential.h"
#include "unit/store/loader_test_support.h"

namespace {

// The reference hands out students and results in table order only through these plans: an
// index scan of the intakes, an index search of an intake's students, and for the results the
// student's StudentResult rows as the outer loop with Subject searched inside.
constexpr const char* kTableOrderPlans =
    "SCAN Student USING COVERING INDEX reference_student_intake\n"
    "SEARCH Student USING INDEX reference_student_intake (Intake=?)\n"
    "SEARCH StudentResult USING COVERING INDEX reference_result_student (StudentID=?)\n"
    "SEARCH Subject USING INDEX reference_subject_id (SubjectID=?)\n";

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

// Random databases mix the types SQLite lets a column hold, values that differ only in case or
// in trailing spaces, missing and repeated subjects and students, and every declared type.
class RandomDatabase {
 public:
  // raw: columns whose declared type is not text are left without one, so that they keep the
  // values as given, of any type; retyped() then gives them their declared affinity back, as a
  // reader that does not convert values would.
  RandomDatabase(unsigned seed, bool raw) : random_(seed), raw_(raw) {}

  std::string script() {
    access_ = chance(3);
    std::string sql = "CREATE TABLE Student (StudentID " + type(true) + ", Name " + type(true) +
                      ", StreetAddress " + type(true) + ", City " + type(true) + ", State " +
                      type(true) + ", Postcode " + type(true) + ", Intake " + type(true) +
                      extra({"Notes"}, 0) + ");";
    sql += "CREATE TABLE StudentResult (StudentID " + type(true) + ", SubjectID " + type(true) +
           ", Semester " + type(false) + ", Marks " + type(false) + extra({"Level", "Grade"}, 1) +
           ");";
    sql += "CREATE TABLE Subject (SubjectID " + type(true) + ", Name " + type(true) + ", Level " +
           type(false) + extra({"StudentID", "Semester", "Credits"}, 2) + ");";
    int students = pickCount(12);
    for (int i = 0; i < students; ++i) {
      sql += "INSERT INTO Student VALUES (" + pick(kIds) + ", " + pick(kTexts) + ", " +
             pick(kTexts) + ", " + pick(kTexts) + ", " + pick(kTexts) + ", " + pick(kTexts) + ", " +
             pick(kIntakes) + extraValue(0) + ");";
    }
    int results = pickCount(40);
    for (int i = 0; i < results; ++i) {
      sql += "INSERT INTO StudentResult VALUES (" + pick(kIds) + ", " + pick(kSubjectIds) + ", " +
             pick(kNumbers) + ", " + pick(kMarks) + extraValue(1) + ");";
    }
    int subjects = pickCount(8);
    for (int i = 0; i < subjects; ++i) {
      sql += "INSERT INTO Subject VALUES (" + pick(kSubjectIds) + ", " + pick(kTexts) + ", " +
             pick(kNumbers) + extraValue(2) + ");";
    }
    return "BEGIN;" + sql + "COMMIT;";
  }

 private:
  bool chance(unsigned in) { return random_() % in == 0; }
  int pickCount(int most) { return static_cast<int>(random_() % static_cast<unsigned>(most + 1)); }
  std::string pick(const std::vector<std::string>& pool) { return pool[random_() % pool.size()]; }

  std::string type(bool textColumn) {
    std::string declared = declaredType(textColumn);
    std::size_t collation = declared.find(" COLLATE");
    std::string name = declared.substr(0, collation);
    if (!raw_ || affinityOfDeclaredType(name) == Affinity::kText) {
      return declared;
    }
    return collation == std::string::npos ? "" : declared.substr(collation);
  }

  std::string declaredType(bool textColumn) {
    if (access_) {
      return textColumn || chance(4) ? "TEXT(50) COLLATE NOCASE"
                                     : (chance(3) ? "DOUBLE" : "INTEGER");
    }
    static const std::vector<std::string> kTypes = {
        "TEXT", "TEXT(8)", "INTEGER", "REAL", "NUMERIC", "", "BLOB", "VARCHAR(15)", "INT"};
    static const std::vector<std::string> kCollations = {"", "", " COLLATE NOCASE",
                                                         " COLLATE BINARY", " COLLATE nocase"};
    std::string declared = textColumn && chance(2) ? "TEXT" : pick(kTypes);
    return declared + (chance(10) ? " COLLATE RTRIM" : pick(kCollations));
  }

  // Now and then a column more; one the joined tables share makes the queries ambiguous.
  std::string extra(const std::vector<std::string>& names, int table) {
    extraColumn_[table] = chance(8);
    if (!extraColumn_[table]) {
      return "";
    }
    std::string name = names[random_() % names.size()];
    if (name != names.back() && !chance(3)) {
      name = names.back();
    }
    return ", " + name;
  }
  std::string extraValue(int table) { return extraColumn_[table] ? ", 1" : ""; }

  const std::vector<std::string> kIntakes = {"'JAN24IT'",
                                             "'jan24it'",
                                             "'Jan24IT'",
                                             "'SEP24'",
                                             "'sep24 '",
                                             "'SEP24 '",
                                             "'AUG''24'",
                                             "NULL",
                                             "''",
                                             "' '",
                                             "5",
                                             "5.0",
                                             "'5'",
                                             "' 5'",
                                             "1e15",
                                             "1000000000000000",
                                             "x'4142'",
                                             "'AB'",
                                             "'JAN2025PARTTIMEXX'",
                                             "'Zo\xC3\xAB-intake'",
                                             "2.5",
                                             "'2.5'"};
  const std::vector<std::string> kIds = {
      "'st01'", "'ST01'", "'st02'", "'o''b03'", "'st0400000012'", "7",     "'7'", "'07'",
      "7.5",    "NULL",   "' 7'",   "''",       "'st01 '",        "'St02'"};
  const std::vector<std::string> kSubjectIds = {"'CS1'", "'cs1'", "'CS2'", "'CS3'", "'XX9'",
                                                "1",     "'1'",   "'1.0'", "NULL",  "' 1'",
                                                "x'31'", "1.0",   "'CS2 '"};
  const std::vector<std::string> kNumbers = {"1",
                                             "2",
                                             "'1'",
                                             "'2'",
                                             "'01'",
                                             "'a'",
                                             "1.0",
                                             "2.5",
                                             "NULL",
                                             "10",
                                             "'10'",
                                             "1e15",
                                             "1000000000000000",
                                             "' 3'",
                                             "'3 '",
                                             "-1",
                                             "'1e2'",
                                             "2147483648",
                                             "'A'",
                                             "x'32'",
                                             "''"};
  const std::vector<std::string> kMarks = {"0",          "50",    "-3",   "120",   "'72.5'",
                                           "'abc'",      "59.99", "NULL", "'1e2'", "1e-5",
                                           "3000000000", "'+55'", "''",   "' 65'"};
  const std::vector<std::string> kTexts = {
      "'Grace'",
      "'O''Brien'",
      "'Zo\xC3\xAB M\xC3\xBCller'",
      "NULL",
      "''",
      "42",
      "4.5",
      "'Penelope Rosamund Arbuthnot-Kingsley Featherstonehaugh-Crane'",
      "'0800'"};

  std::mt19937 random_;
  bool raw_;
  bool access_ = false;
  bool extraColumn_[3] = {};
};

// The values of a column under other rules.
SourceColumn withRules(const SourceColumn& values, Affinity affinity,
                       const std::string& collation) {
  SourceColumn column(values.name(), affinity, collation);
  for (std::size_t row = 0; row < values.size(); ++row) {
    Value value = values.at(row);
    switch (value.type) {
      case ValueType::kNull:
        column.appendNull();
        break;
      case ValueType::kInteger:
        column.appendInteger(value.integer);
        break;
      case ValueType::kReal:
        column.appendReal(value.real);
        break;
      case ValueType::kText:
        column.appendText(value.bytes);
        break;
      case ValueType::kBlob:
        column.appendBlob(value.bytes);
        break;
    }
  }
  return column;
}

// The raw tables' values under the typed tables' affinities and collations.
SourceTables retyped(const SourceTables& raw, SourceTables typed) {
  for (auto [from, to] : {std::pair{&raw.student, &typed.student},
                          std::pair{&raw.studentResult, &typed.studentResult},
                          std::pair{&raw.subject, &typed.subject}}) {
    for (std::size_t i = 0; i < to->columns.size(); ++i) {
      to->columns[i] =
          withRules(from->columns[i], to->columns[i].affinity(), to->columns[i].collation());
    }
  }
  return typed;
}

// A collation of the file's own matters only on a column that the queries compare.
TEST(TreeBuilder, CollationSqliteDoesNotKnowIsRefusedWhereItWouldCompare) {
  SourceTables tables = fixtureTables("demo", FileFormat::kSqlite);
  std::string expected = outcome([&] { return buildRecordTree(tables, kSource); });
  SourceColumn& name = tables.student.columns[kStudentName];
  name = withRules(name, name.affinity(), "UNICODE_CI");
  EXPECT_EQ(outcome([&] { return buildRecordTree(tables, kSource); }), expected);
  SourceColumn& intake = tables.student.columns[kIntake];
  intake = withRules(intake, intake.affinity(), "UNICODE_CI");
  EXPECT_EQ(outcome([&] { return buildRecordTree(tables, kSource); }),
            "error: Cannot read Database.mdb: column Intake of table Student uses collation "
            "UNICODE_CI, which is not one of BINARY, NOCASE and RTRIM");
}

TEST(TreeBuilder, TablesWithoutTheirColumnsAreRefusedNotRead) {
  SourceTables tables = fixtureTables("demo", FileFormat::kSqlite);
  tables.subject.columns.pop_back();
  EXPECT_EQ(outcome([&] { return buildRecordTree(tables, kSource); }),
            "error: Cannot read Database.mdb: table Subject was not read whole");
}

std::size_t studentCount(RecordTree tree) {
  std::size_t students = 0;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (const StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next) {
      ++students;
    }
  }
  return students;
}

bool hasNullIntake(const SourceTables& tables) {
  const SourceColumn& intakes = tables.student.columns[kIntake];
  for (std::size_t row = 0; row < intakes.size(); ++row) {
    if (intakes.typeAt(row) == ValueType::kNull) {
      return true;
    }
  }
  return false;
}

TEST(TreeBuilder, BothPathsGiveTheSameTreeForRandomDatabases) {
  constexpr unsigned kDatabases = 400;
  std::map<std::string, int> paths;
  for (unsigned seed = 1; seed <= kDatabases; ++seed) {
    std::string script = RandomDatabase(seed, false).script();
    SourceTables tables = scriptTables(script);
    if (seed % 4 == 0) {
      script = RandomDatabase(seed, true).script();
      tables = retyped(scriptTables(script), std::move(tables));
    }
    BothPaths both = loadBothWays(tables);
    ASSERT_EQ(both.direct, both.reference) << "seed " << seed << "\n" << script;
    const bool refused = both.reference.rfind("error:", 0) == 0;
    ++paths[refused ? "refused" : "built"];
    if (!refused) {
      // Every row of Student is one student, whatever its intake: NULL, empty and blank
      // intakes neither load a student twice nor lose one (and so each result is exported once).
      LoadResult built = buildRecordTree(tables, kSource);
      RecordTreeOwner owner(built.tree);
      ASSERT_EQ(studentCount(owner.get()), tables.student.rows()) << "seed " << seed << "\n"
                                                                  << script;
      paths["no intake"] += hasNullIntake(tables) ? 1 : 0;
    }
    paths["RTRIM"] += script.find("RTRIM") != std::string::npos ? 1 : 0;
    ASSERT_EQ(both.plans, kTableOrderPlans) << "seed " << seed << "\n" << script;
  }
  // Each way a source can go is taken by some of the databases.
  EXPECT_GT(paths["built"], 300) << paths["built"];
  EXPECT_GT(paths["RTRIM"], 0);
  EXPECT_GT(paths["refused"], 0);
  EXPECT_GT(paths["no intake"], 50);
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
