// The text bar chart of a student's marks.
#include "analysis/performance_chart.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "unit/fake_console.h"
#include "unit/tree_literal.h"

namespace {

const std::string kStars = "\n\t" + std::string(56, '*');

std::string chartHead(const std::string& name) {
  return kStars + "\n\t Perforamnace Chart for " + name + kStars + "\n\n" + "\n\tSubject" + "\n\t|";
}

const std::string kChartFoot = "\n\t|\n\t|" + std::string(54, '-') + "> Marks" +
                               "\n\t     10   20   30   40   50   60   70   80   90   100\n" +
                               "\n\tLegend:\n\tL - Level\n\tS - Semester\n" +
                               "\nPress any key to continue";

std::string chartOf(const StudentRecord* student) {
  std::ostringstream out;
  writePerformanceChart(student, out);
  return out.str();
}

}  // namespace

TEST(ChartBarLength, TwoMarksPerColumnRemainderDropped) {
  EXPECT_EQ(chartBarLength(75), 37);
  EXPECT_EQ(chartBarLength(1), 0);
  EXPECT_EQ(chartBarLength(0), 0);
  EXPECT_EQ(chartBarLength(100), 50);
  EXPECT_EQ(chartBarLength(150), 75);
}

TEST(WritePerformanceChart, ShortZeroLongAndEightCharacterBars) {
  TreeLiteral student =
      oneStudent({{1, 2, {{"CS101", 1}, {"CS102", 0}, {"CS103", 150}}}, {2, 1, {{"ABCD1234", 10}}}},
                 "Test Student");
  const std::string expected = chartHead("Test Student") +
                               // Marks 1: a bar of length 0 still has its three lines.
                               "\n\t|" + "\nCS101\t|| (1)" + "\n(L1 S2)\t||" +
                               // Marks 0 has no bar; marks 150 runs past the axis.
                               "\n\t|" + std::string(75, '_') + "\nCS103\t|" +
                               std::string(75, ' ') + "| (150)" + "\n(L1 S2)\t|" +
                               std::string(75, '_') + "|" + "\n\t|_____" +
                               "\nABCD1234\t|     | (10)" + "\n(L2 S1)\t|_____|" + kChartFoot;
  EXPECT_EQ(chartOf(&*student), expected);
}

TEST(WritePerformanceChart, StudentWithoutMarksHasHeadAxisAndLegendOnly) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 0}}}}, "Liam Walsh");
  EXPECT_EQ(chartOf(&*student), chartHead("Liam Walsh") + kChartFoot);
}

TEST(ShowPerformanceChart, WaitsForOneKey) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 80}}}});
  FakeConsole console("xy");
  showPerformanceChart(&*student, console);
  EXPECT_EQ(console.text(), chartOf(&*student));
  EXPECT_EQ(console.readKey().code, 'y');
}

TEST(ShowPerformanceChart, NullStudentReportsAndDoesNotWait) {
  FakeConsole console("");
  EXPECT_NO_THROW(showPerformanceChart(nullptr, console));
  EXPECT_EQ(console.text(), "\n\terror: unable to generate chart\n");
}
