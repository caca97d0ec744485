// Query texts with their literals taken out, and the statements reused across them.
#include "store/statement_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string describe(const QueryLiteral& literal) {
  switch (literal.kind) {
    case QueryLiteral::Kind::kText:
      return "text:" + literal.text;
    case QueryLiteral::Kind::kInteger:
      return "integer:" + std::to_string(literal.integer);
    case QueryLiteral::Kind::kReal:
      return "real:" + std::to_string(literal.real);
  }
  return "";
}

TEST(ParameterizeQuery, ValuesBecomeParametersAndEverythingElseStays) {
  const struct {
    const char* sql;
    const char* text;
    std::vector<std::string> literals;
  } cases[] = {
      {"SELECT * FROM Student WHERE Intake = 'AUG''24IT';",
       "SELECT * FROM Student WHERE Intake = ?;",
       {"text:AUG'24IT"}},
      {"SELECT DISTINCT Semester FROM StudentResult,Subject WHERE StudentID = 'ed0001' AND "
       "Level = 10 ORDER BY Semester;",
       "SELECT DISTINCT Semester FROM StudentResult,Subject WHERE StudentID = ? AND Level = ? "
       "ORDER BY Semester;",
       {"text:ed0001", "integer:10"}},
      {"SELECT 1 WHERE x = -3 AND y = 2.5 AND z = ''",
       "SELECT ? WHERE x = -? AND y = ? AND z = ?",
       {"integer:1", "integer:3", "real:2.500000", "text:"}},
      // Names with digits, column positions, aliases, blobs, exponents and unclosed quotes stay.
      {"SELECT CS101, t1.a AS 'x' FROM t1 ORDER BY 1, 2",
       "SELECT CS101, t1.a AS 'x' FROM t1 ORDER BY 1, 2",
       {}},
      {"SELECT x'00ff', 1e-5, 0x1A, 99999999999999999999",
       "SELECT x'00ff', 1e-5, 0x1A, 99999999999999999999",
       {}},
      {"SELECT \"it's\" -- it's\n, 'open", "SELECT \"it's\" -- it's\n, 'open", {}},
  };
  for (const auto& c : cases) {
    ParameterizedQuery query = parameterizeQuery(c.sql);
    EXPECT_EQ(query.text, c.text) << c.sql;
    std::vector<std::string> literals;
    for (const QueryLiteral& literal : query.literals) {
      literals.push_back(describe(literal));
    }
    EXPECT_EQ(literals, c.literals) << c.sql;
  }
}

class StatementCacheTest : public ::testing::Test {
 protected:
  StatementCacheTest() {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    db_.reset(db);
    sqlite3_exec(db,
                 "CREATE TABLE t (k TEXT, v INTEGER);"
                 "INSERT INTO t VALUES ('a', 1), ('b', 2), ('o''br', 3), ('a', 4);",
                 nullptr, nullptr, nullptr);
  }

  // The v of every row that the query gives.
  static std::vector<int> values(const StatementCache::Lease& lease) {
    std::vector<int> found;
    while (sqlite3_step(lease.statement()) == SQLITE_ROW) {
      found.push_back(sqlite3_column_int(lease.statement(), lease.columnIndex("V")));
    }
    return found;
  }

  SqliteDatabase db_;
};

TEST_F(StatementCacheTest, QueriesThatDifferOnlyInLiteralsShareOneStatement) {
  StatementCache cache(db_.get());
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE k = 'a'")), (std::vector<int>{1, 4}));
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE k = 'o''br'")), std::vector<int>{3});
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE k = 'b'")), std::vector<int>{2});
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE v > 1 ORDER BY 1 DESC")),
            (std::vector<int>{4, 3, 2}));
  EXPECT_EQ(cache.size(), 2u);
}

TEST_F(StatementCacheTest, NestedQueriesOfOneShapeRunSideBySide) {
  StatementCache cache(db_.get());
  StatementCache::Lease outer = cache.acquire("SELECT v FROM t WHERE k = 'a'");
  ASSERT_EQ(sqlite3_step(outer.statement()), SQLITE_ROW);
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE k = 'b'")), std::vector<int>{2});
  EXPECT_EQ(values(outer), std::vector<int>{4});
  EXPECT_EQ(cache.size(), 1u);
}

TEST_F(StatementCacheTest, ColumnsAreFoundByNameEvenWhenTheNameBufferIsReused) {
  StatementCache cache(db_.get());
  StatementCache::Lease lease = cache.acquire("SELECT k, v FROM t");
  char name[] = "k";
  EXPECT_EQ(lease.columnIndex(name), 0);
  name[0] = 'V';
  EXPECT_EQ(lease.columnIndex(name), 1);
  name[0] = 'x';
  EXPECT_EQ(lease.columnIndex(name), -1);
  EXPECT_EQ(lease.columnIndex("K"), 0);
}

TEST_F(StatementCacheTest, FullCacheStillAnswersAndBadSqlGivesNoStatement) {
  StatementCache cache(db_.get(), 1);
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE k = 'b'")), std::vector<int>{2});
  EXPECT_EQ(values(cache.acquire("SELECT v FROM t WHERE v = 3")), std::vector<int>{3});
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.acquire("SELECT missing FROM t").statement(), nullptr);
  EXPECT_STREQ(sqlite3_errmsg(db_.get()), "no such column: missing");
}

}  // namespace
