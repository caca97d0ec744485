// The nested load over the five queries, fed from a fake answering them by kind: number parsing,
// progress, and what an error or a failed allocation leaves behind; and the same for the direct
// build.
#include "store/loader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "oracle/loader_queries.h"
#include "store/assembly/tree_builder.h"
#include "store/tree/out_of_memory.h"
#include "unit/store/loader_test_support.h"

namespace {

// How many record allocations succeed before the next ones fail; negative: all succeed.
long gAllocationsLeft = -1;

}  // namespace

// The record constructors allocate with the nothrow form only, so replacing it lets a test make
// the Nth record fail without touching any other allocation.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gAllocationsLeft == 0) {
    return nullptr;
  }
  if (gAllocationsLeft > 0) {
    --gAllocationsLeft;
  }
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

using Row = std::map<std::string, std::string>;

// A query as a key: its kind and values.
std::string intakeQuery() {
  return "intakes";
}
std::string studentQuery(const std::string& intake) {
  return "students of " + intake;
}
std::string levelQuery(const std::string& id) {
  return "levels of " + id;
}
std::string semesterQuery(const std::string& id, int level) {
  return "semesters of " + id + " at " + std::to_string(level);
}
std::string resultQuery(const std::string& id, int level, int semester) {
  return "results of " + id + " at " + std::to_string(level) + "/" + std::to_string(semester);
}

std::string keyOf(const LoaderQuery& query) {
  switch (query.kind) {
    case QueryKind::kIntakes:
      return intakeQuery();
    case QueryKind::kStudents:
      return studentQuery(query.intake);
    case QueryKind::kLevels:
      return levelQuery(query.studentId);
    case QueryKind::kSemesters:
      return semesterQuery(query.studentId, query.level);
    case QueryKind::kResults:
      return resultQuery(query.studentId, query.level, query.semester);
  }
  return "";
}

// Answers each query with the rows given for it, and none for any other; remembers every query
// it was asked.
class FakeLoaderQueries : public LoaderQueries {
 public:
  void answer(const std::string& sql, std::vector<Row> rows) { answers_[sql] = std::move(rows); }
  void failOn(const std::string& sql) { failing_ = sql; }
  const std::vector<std::string>& asked() const { return asked_; }

  std::unique_ptr<QueryRows> open(const LoaderQuery& query) override {
    std::string sql = keyOf(query);
    asked_.push_back(sql);
    if (sql == failing_) {
      throw DatabaseError("Cannot read Database.mdb: disk I/O error");
    }
    auto found = answers_.find(sql);
    return std::make_unique<Rows>(found == answers_.end() ? std::vector<Row>{} : found->second);
  }

 private:
  class Rows : public QueryRows {
   public:
    explicit Rows(std::vector<Row> rows) : rows_(std::move(rows)) {}
    bool next() override { return ++current_ < rows_.size(); }
    std::string text(const char* column) override { return rows_.at(current_).at(column); }
    HeldValue value(const char* column) override { return {ValueType::kText, 0, 0, text(column)}; }

   private:
    std::vector<Row> rows_;
    std::size_t current_ = static_cast<std::size_t>(-1);
  };

  std::map<std::string, std::vector<Row>> answers_;
  std::vector<std::string> asked_;
  std::string failing_;
};

Row studentRow(const std::string& id) {
  return {{"StudentID", id},    {"Name", "Name of " + id}, {"StreetAddress", "1 Main Street"},
          {"City", "Ryde"},     {"State", "NSW"},          {"Postcode", "2112"},
          {"Intake", "APR23IT"}};
}

// One intake with one student who has one semester of two results.
void answerOneStudent(FakeLoaderQueries& source, const std::string& intake, const std::string& id) {
  source.answer(intakeQuery(), {{{"Intake", intake}}});
  source.answer(studentQuery(intake), {studentRow(id)});
  source.answer(levelQuery(id), {{{"Level", "1"}}});
  source.answer(semesterQuery(id, 1), {{{"Semester", "2"}}});
  source.answer(resultQuery(id, 1, 2),
                {{{"SubjectID", "CS103"}, {"Name", "Data Structures"}, {"Marks", "54"}},
                 {{"SubjectID", "CS104"}, {"Name", "Discrete Mathematics"}, {"Marks", "-3"}}});
}

TEST(ParseNumber, ParsesTheLeadingNumberAsAtoiDoesAndClampsToThirtyTwoBits) {
  const std::pair<const char*, int> cases[] = {{"100", 100},
                                               {"72.5", 72},
                                               {" 65", 65},
                                               {"abc", 0},
                                               {"", 0},
                                               {"-3", -3},
                                               {"1e2", 1},
                                               {"+55", 55},
                                               {"065", 65},
                                               {"40 ", 40},
                                               {"0x1A", 0},
                                               {"1e-05", 1},
                                               {"\t\n 7", 7},
                                               {"- 5", 0},
                                               {"2147483647", INT_MAX},
                                               {"2147483648", INT_MAX},
                                               {"-2147483648", INT_MIN},
                                               {"99999999999999999999999", INT_MAX},
                                               {"-99999999999999999999999", INT_MIN}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parseNumber(text), expected) << '"' << text << '"';
  }
}

TEST(LoadRecordTree, BuildsTheTreeFromTheFiveQueries) {
  FakeLoaderQueries source;
  answerOneStudent(source, "AUG'24IT", "o'br0001");
  LoadResult result = loadRecordTree(source);
  RecordTreeOwner owner(result.tree);
  ASSERT_EQ(result.status, LoadStatus::kLoaded);
  EXPECT_EQ(dumpTree(owner.get()),
            "intake AUG'24IT\n"
            "  o'br0001|Name of o'br0001|AUG'24IT|1 Main Street|Ryde|NSW|2112\n"
            "    level 1\n"
            "      semester 2: CS103=54 (Data Structures) CS104=0 (Discrete Mathematics)\n");
  EXPECT_EQ(source.asked().size(), 5u);
}

TEST(LoadRecordTree, InnerQueriesUseTheParsedNumbersAndTheWholeId) {
  FakeLoaderQueries source;
  const std::string id = "ed00180018";  // longer than the record keeps
  source.answer(intakeQuery(), {{{"Intake", "JAN24IT"}}});
  source.answer(studentQuery("JAN24IT"), {studentRow(id)});
  source.answer(levelQuery(id), {{{"Level", " 7.9x"}}});
  source.answer(semesterQuery(id, 7), {{{"Semester", ""}}});
  LoadResult result = loadRecordTree(source);
  RecordTreeOwner owner(result.tree);
  EXPECT_EQ(studentIds(intakeNamed(owner.get(), "JAN24IT")), std::vector<std::string>{"ed001800"});
  EXPECT_EQ(source.asked().back(), resultQuery(id, 7, 0));
}

TEST(LoadRecordTree, ReportsProgressEveryThousandStudents) {
  FakeLoaderQueries source;
  std::vector<Row> students;
  for (int i = 0; i < 2500; ++i) {
    students.push_back(studentRow("s" + std::to_string(i)));
  }
  source.answer(intakeQuery(), {{{"Intake", "APR23IT"}}});
  source.answer(studentQuery("APR23IT"), students);
  std::vector<long> reported;
  LoadResult result = loadRecordTree(source, [&](long loaded) { reported.push_back(loaded); });
  RecordTreeOwner owner(result.tree);
  EXPECT_EQ(reported, (std::vector<long>{1000, 2000}));
}

// Tables of one intake with the given number of students, the first of them with one result.
SourceTables tablesOfStudents(int students) {
  return scriptTables(
      "CREATE TABLE Student (StudentID TEXT, Name TEXT, StreetAddress TEXT, City TEXT, State TEXT,"
      " Postcode TEXT, Intake TEXT);"
      "CREATE TABLE StudentResult (StudentID TEXT, SubjectID TEXT, Semester INTEGER, Marks "
      "INTEGER);"
      "CREATE TABLE Subject (SubjectID TEXT, Name TEXT, Level INTEGER);"
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
      std::to_string(students) +
      ") INSERT INTO Student SELECT 's' || x, 'Name', 'Street', 'City', 'NSW', '2000', "
      "'APR23IT' FROM n;"
      "INSERT INTO StudentResult VALUES ('s1', 'CS101', 1, 60);"
      "INSERT INTO Subject VALUES ('CS101', 'Programming', 1);");
}

TEST(BuildRecordTree, ReportsProgressEveryThousandStudents) {
  std::vector<long> reported;
  LoadResult result = buildRecordTree(tablesOfStudents(2500), "Database.mdb",
                                      [&](long loaded) { reported.push_back(loaded); });
  RecordTreeOwner owner(result.tree);
  EXPECT_EQ(reported, (std::vector<long>{1000, 2000}));
}

TEST(LoadRecordTree, IntakesWithoutStudentsGiveNoStudent) {
  FakeLoaderQueries source;
  source.answer(intakeQuery(), {{{"Intake", "APR23IT"}}, {{"Intake", ""}}});
  LoadResult result = loadRecordTree(source);
  EXPECT_EQ(result.status, LoadStatus::kNoStudent);
  EXPECT_EQ(result.tree, nullptr);
}

TEST(LoadRecordTree, QueryFailurePropagatesAndReleasesWhatWasBuilt) {
  FakeLoaderQueries source;
  answerOneStudent(source, "APR23IT", "st230401");
  source.failOn(resultQuery("st230401", 1, 2));
  // The sanitizer build's leak check tells whether the partial tree was released.
  EXPECT_THROW(loadRecordTree(source), DatabaseError);
}

int gOutOfMemoryReports = 0;

TEST(LoadRecordTree, FailedAllocationReportsOutOfMemoryAndReleasesEverything) {
  setOutOfMemoryHandler([] { ++gOutOfMemoryReports; });
  // A small tree takes one block of the record store: the load fails with it or not at all.
  for (long made = 0; made <= 1; ++made) {
    FakeLoaderQueries source;
    answerOneStudent(source, "APR23IT", "st230401");
    gOutOfMemoryReports = 0;
    gAllocationsLeft = made;
    LoadResult result = loadRecordTree(source);
    gAllocationsLeft = -1;
    RecordTreeOwner owner(result.tree);
    if (made == 1) {
      EXPECT_EQ(result.status, LoadStatus::kLoaded);
      EXPECT_EQ(gOutOfMemoryReports, 0);
    } else {
      EXPECT_EQ(result.status, LoadStatus::kOutOfMemory) << made;
      EXPECT_EQ(result.tree, nullptr) << made;
      EXPECT_EQ(gOutOfMemoryReports, 1) << made;
    }
  }
  setOutOfMemoryHandler(nullptr);
}

TEST(BuildRecordTree, FailedAllocationReportsOutOfMemoryOnceAndReleasesEverything) {
  setOutOfMemoryHandler([] { ++gOutOfMemoryReports; });
  SourceTables tables = tablesOfStudents(1);
  gOutOfMemoryReports = 0;
  gAllocationsLeft = 0;
  LoadResult result = buildRecordTree(tables, "Database.mdb");
  gAllocationsLeft = -1;
  EXPECT_EQ(result.status, LoadStatus::kOutOfMemory);
  EXPECT_EQ(result.tree, nullptr);
  EXPECT_EQ(gOutOfMemoryReports, 1);
  setOutOfMemoryHandler(nullptr);
}

}  // namespace
