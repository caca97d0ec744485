// The walk over a student's results and the check of typed expected marks.
#include "analysis/pending_subjects.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "unit/tree_literal.h"

namespace {

std::vector<std::string> pendingNames(const PendingFigures& figures) {
  std::vector<std::string> names;
  for (const PendingSubject* s = figures.firstPending; s != nullptr; s = s->next) {
    names.emplace_back(s->subjectName);
  }
  return names;
}

}  // namespace

TEST(IsValidMarks, EveryRowOfTheCheckTable) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"0", true},
      {"5", true},
      {"9", true},
      {"a", false},
      {".", false},
      {"-", false},
      {"", true},
      {"50", true},
      {"100", true},
      {"101", false},
      {"05", false},
      {"00", false},
      {"000", false},
      {"-5", false},
      {"+5", false},
      {" 5", false},
      {"5a", false},
      {"7.5", true},
      {"05.5", true},
      {".5", true},
      {"5.", true},
      {"0.0", true},
      {"100.5", false},
      {"-0.5", false},
      {"x.", true},
      {"1e2", true},
      {"100.0", true},
      {"0.5", true},
      {"99.5", true},
      {"5 ", false},
      {"ab", false},
      {"10", true},
      {"99", true},
      {"1000", false},
      {"1e3", false},
      // Long texts are judged by the same rules without overflowing the limit.
      {std::string(400, '9'), false},
      {"1" + std::string(40, '0'), false},
      {std::string(30, '0') + "7.5", true},
      {"nan", false},
      {"inf", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isValidMarks(c.text.c_str()), c.valid) << "'" << c.text << "'";
  }
}

TEST(ExpectedMarksValue, LeadingDigitsWithTheFractionDropped) {
  struct Case {
    std::string text;
    int value;
  } cases[] = {{"7.5", 7},
               {"1e2", 1},
               {"100", 100},
               {"", 0},
               {"x.", 0},
               {".5", 0},
               {"05.5", 5},
               {" 42", 42},
               {"+5.5", 5},
               {"-0.0", 0},
               {"2147483647", INT_MAX},
               {"99999999999999999999.5", INT_MAX},
               {"-99999999999999999999", INT_MIN}};
  for (const Case& c : cases) {
    EXPECT_EQ(expectedMarksValue(c.text.c_str()), c.value) << "'" << c.text << "'";
  }
}

TEST(AddMarks, ClampsInsteadOfOverflowing) {
  EXPECT_EQ(addMarks(150, 72), 222);
  EXPECT_EQ(addMarks(INT_MAX - 10, 100), INT_MAX);
  EXPECT_EQ(addMarks(INT_MAX, INT_MAX), INT_MAX);
  EXPECT_EQ(addMarks(INT_MIN, -1), INT_MIN);
}

TEST(CollectPendingSubjects, SumsCountsAndListsEveryLevelInTreeOrder) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 80}, {"CS102", 0, "Systems"}}},
                                    {1, 2, {{"CS103", 0, "Algorithms"}}},
                                    {3, 1, {{"CS301", 70}, {"CS302", 0, "Algorithms"}}}});
  PendingFigures figures;
  ASSERT_TRUE(collectPendingSubjects(*student, figures));
  PendingSubjectsGuard guard(figures);
  EXPECT_EQ(figures.totalMarks, 150);
  EXPECT_EQ(figures.subjectCount, 5);
  EXPECT_EQ(figures.pendingCount, 3);
  // Two subjects of the same name stay two nodes.
  EXPECT_EQ(pendingNames(figures),
            (std::vector<std::string>{"Systems", "Algorithms", "Algorithms"}));
}

TEST(CollectPendingSubjects, AllMarkedGivesAnEmptyList) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 80}, {"CS102", 45}}}});
  PendingFigures figures;
  ASSERT_TRUE(collectPendingSubjects(*student, figures));
  EXPECT_EQ(figures.pendingCount, 0);
  EXPECT_EQ(figures.firstPending, nullptr);
  freePendingSubjects(figures.firstPending);
}

TEST(CollectPendingSubjects, NoLevelsGivesZeroFiguresAndStartsFromZeroEachTime) {
  TreeLiteral student = oneStudent({});
  PendingFigures figures;
  figures.totalMarks = 99;
  figures.subjectCount = 7;
  ASSERT_TRUE(collectPendingSubjects(*student, figures));
  EXPECT_EQ(figures.totalMarks, 0);
  EXPECT_EQ(figures.subjectCount, 0);
  EXPECT_EQ(figures.pendingCount, 0);
  EXPECT_EQ(figures.firstPending, nullptr);
}

TEST(CollectPendingSubjects, HugeStoredMarksDoNotOverflowTheTotal) {
  TreeLiteral student =
      oneStudent({{1, 1, {{"CS101", INT_MAX}, {"CS102", INT_MAX}, {"CS103", 0}}}});
  PendingFigures figures;
  ASSERT_TRUE(collectPendingSubjects(*student, figures));
  PendingSubjectsGuard guard(figures);
  EXPECT_EQ(figures.totalMarks, INT_MAX);
  EXPECT_EQ(figures.subjectCount, 3);
}

TEST(PendingSubjectsGuard, ReleasesOnceAndClearsTheHead) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 0}, {"CS102", 0}}}});
  PendingFigures figures;
  ASSERT_TRUE(collectPendingSubjects(*student, figures));
  {
    PendingSubjectsGuard guard(figures);
    guard.release();
    EXPECT_EQ(figures.firstPending, nullptr);
  }
  freePendingSubjects(nullptr);
}
