// The direct build against the reference, node for node, on seeded random databases, and what
// the build refuses. The fixtures' Access and SQLite forms are compared in
// tree_builder_posix_test.cpp.
#include "store/assembly/tree_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "unit/store/differential.h"
#include "unit/store/loader_test_support.h"

namespace {

SourceTables demoTables() {
  return scriptTables(readFile(fixturePath("demo.sql")));
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
  SourceTables tables = demoTables();
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
  SourceTables tables = demoTables();
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

}  // namespace
