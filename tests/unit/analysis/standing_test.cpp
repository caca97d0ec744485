// Each student's standing against what the interactive screens show for the same student: the
// suggestion with every subject left open, and the forecast of a student with all marks in (for
// whom the suggestion gives no advice).
#include "analysis/standing.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/forecast.h"
#include "analysis/suggestion.h"
#include "unit/fake_console.h"
#include "unit/tree_literal.h"

namespace {

// Random students: up to 3 levels of 2 semesters of up to 4 results, about a third not taken
// yet, and now and then a mark above 100 as a database may hold one.
TreeLiteral randomStudents(unsigned seed, int count) {
  std::mt19937 random(seed);
  auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  IntakeLiteral intake{"APR23IT", {}};
  for (int s = 0; s < count; ++s) {
    StudentLiteral student{"st" + std::to_string(100000 + s)};
    const int levels = below(4);
    for (int level = 1; level <= levels; ++level) {
      for (int semester = 1; semester <= 2; ++semester) {
        SemesterLiteral results{level, semester, {}};
        for (int r = below(5); r > 0; --r) {
          const int marks = below(3) == 0 ? 0 : below(20) == 0 ? 101 + below(50) : 1 + below(100);
          results.results.push_back({"S" + std::to_string(level * 100 + semester * 10 + r), marks});
        }
        student.semesters.push_back(results);
      }
    }
    intake.students.push_back(student);
  }
  return TreeLiteral({intake});
}

// What the suggestion screen says for the target with Enter alone for every subject left: the
// marks needed, or "not reachable".
std::string suggestionSays(const StudentRecord& student, char target, int subjectsLeft) {
  std::string keys = std::string(1, target) + "\n" + std::string(subjectsLeft, '\n') + "n\n";
  FakeConsole console(keys);
  runSuggestion(student, console);
  if (console.text().find("You are impossible to achieve the grade") != std::string::npos) {
    return "not reachable";
  }
  std::smatch need;
  const std::string text = console.text();
  if (!std::regex_search(text, need, std::regex("You need to get at least (-?[0-9]+) marks"))) {
    return "no advice in: " + text;
  }
  return need[1];
}

std::string standingSays(const GradeNeed& need) {
  return need.reachable ? std::to_string(need.marks) : "not reachable";
}

// What the forecast's all-completed ending shows as "Label : value".
std::string forecastSays(const StudentRecord& student, const std::string& label) {
  FakeConsole console("x");
  runForecast(student, console);
  std::smatch value;
  const std::string text = console.text();
  if (!std::regex_search(text, value, std::regex("\t" + label + " +: ([^\n]*)\n"))) {
    return "no " + label + " in: " + text;
  }
  return value[1];
}

}  // namespace

TEST(StandingOf, EqualsTheSuggestionAndTheForecastForRandomStudents) {
  const TreeLiteral tree = randomStudents(20261208, 300);
  int open = 0;
  int completed = 0;
  for (const StudentRecord* student = tree.intake().firstStudent; student != nullptr;
       student = student->next) {
    SCOPED_TRACE(student->studentId);
    StudentStanding standing;
    ASSERT_TRUE(standingOf(*student, standing));
    if (standing.results + standing.subjectsLeft == 0) {
      EXPECT_EQ(standing.bestGrade, "-");
      continue;
    }
    if (standing.subjectsLeft == 0) {
      ++completed;
      // With every mark in, the forecast's average and grade are the standing's.
      EXPECT_EQ(standing.average, forecastSays(*student, "Average"));
      const std::string grade = forecastSays(*student, "Grade");
      EXPECT_EQ(standing.bestGrade, grade == "N/A" ? "Distinction" : grade);
      continue;
    }
    ++open;
    EXPECT_EQ(standingSays(standing.pass), suggestionSays(*student, 'C', standing.subjectsLeft));
    EXPECT_EQ(standingSays(standing.credit), suggestionSays(*student, 'B', standing.subjectsLeft));
    EXPECT_EQ(standingSays(standing.distinction),
              suggestionSays(*student, 'A', standing.subjectsLeft));
  }
  // The draw covers both kinds of student.
  EXPECT_GT(open, 50);
  EXPECT_GT(completed, 10);
}

// Each needs column a number (0 once reached) beside the grade's status, so that a numeric filter
// keeps every student; in both CSV forms.
TEST(WriteStandingCsv, NeedsAreNumbersBesideEachGradesStatus) {
  const TreeLiteral tree({{"X",
                           {{"a1", "Ann", {{1, 1, {{"S1", 80}, {"S2", 70}, {"S3", 0}}}}},
                            {"b1", "Bob", {{1, 1, {{"S1", 10}, {"S2", 20}, {"S3", 0}}}}},
                            {"c1", "Cy"},
                            {"d1", "Di", {{1, 1, {{"S1", 55}, {"S2", 56}}}}}}}});
  const std::string heading =
      "Student ID,Name,Intake,Results,Total Marks,Average,Subjects Left,Best Grade Reachable,"
      "Pass Needs,Pass,Credit Needs,Credit,Distinction Needs,Distinction\r\n";
  std::ostringstream comma;
  EXPECT_EQ(writeStandingCsv(tree.get(), nullptr, comma), 4);
  EXPECT_EQ(comma.str(), std::string("\xEF\xBB\xBF") + heading +
                             "a1,Ann,X,2,150,75,1,Distinction,0,reached,30,open,75,open\r\n"
                             "b1,Bob,X,2,30,15,1,Pass,90,open,150,not reachable,195,not "
                             "reachable\r\n"
                             "c1,Cy,X,0,0,-,0,-,,,,,,\r\n"
                             "d1,Di,X,2,111,55.5,0,Pass,0,reached,9,not reachable,39,not "
                             "reachable\r\n");
  std::ostringstream semicolon;
  writeStandingCsv(tree.get(), nullptr, semicolon, kSemicolonCsv);
  const std::string text = semicolon.str();
  EXPECT_EQ(text.substr(text.rfind("d1")),
            "d1;Di;X;2;111;55,5;0;Pass;0;reached;9;not reachable;39;not reachable\r\n");
}
