// Forecasting: figures, entry of expected marks, the result and the again question.
#include "analysis/forecast.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "unit/fake_console.h"
#include "unit/tree_literal.h"

namespace {

const char* const kEntryHeading =
    "\t==============================================\n"
    "\tPlease Enter the Expected Marks for Forecast:\n"
    "\t==============================================\n\n";

const char* const kAgain = "\n\tForecast again? (y/n): ";

std::string opening(int total, int completed, int toGo) {
  return "\n\t=================\n\tCurrent Result:\n\t=================\n\tTotal Marks: " +
         std::to_string(total) + "\n\t" + std::to_string(completed) + " Subject(s) Completed\n\t" +
         std::to_string(toGo) + " Subject(s) to go\n\n";
}

std::string result(const char* heading, const std::string& total, const std::string& average,
                   const std::string& grade) {
  return std::string("\n\t=================\n\t") + heading +
         "\n\t=================\n\tTotal Marks : " + total + "\n\tAverage     : " + average +
         "\n\tGrade       : " + grade + "\n";
}

// Marks 80, 70 and two subjects still to be taken.
TreeLiteral twoDoneTwoToGo() {
  return oneStudent({{1, 1, {{"CS101", 80}, {"CS102", 70}}},
                     {1, 2, {{"CS103", 0, "Databases"}, {"CS104", 0, "Networks"}}}});
}

std::string runWith(const StudentRecord& student, const std::string& input) {
  FakeConsole console(input);
  runForecast(student, console);
  EXPECT_TRUE(console.inputUsedUp());
  return console.text();
}

}  // namespace

TEST(RunForecast, ExpectedMarksGiveTotalAverageAndGradeOfTheIntegerAverage) {
  TreeLiteral student = twoDoneTwoToGo();
  FakeConsole console("65\n7.5\nn\n");
  console.out().precision(2);  // the average is written the same whatever the stream holds
  runForecast(*student, console);
  EXPECT_EQ(console.text(), std::string(FakeConsole::kClearMarker) + opening(150, 2, 2) +
                                kEntryHeading + "\tDatabases: \tNetworks: " +
                                result("Forecast Result:", "222", "55.5", "Pass") + kAgain);
}

TEST(WriteForecastResult, AverageInGeneralNotationAndGradeOfItsWholePart) {
  struct Case {
    int total;
    int count;
    const char* average;
    const char* grade;
  } cases[] = {{449, 6, "74.8333", "Credit"}, {160, 2, "80", "Distinction"},
               {222, 4, "55.5", "Pass"},      {0, 3, "0", "Fail"},
               {606, 6, "101", "N/A"},        {0, 0, "-", "-"}};
  for (const Case& c : cases) {
    std::ostringstream out;
    writeForecastResult("Forecast Result:", c.total, c.count, out);
    EXPECT_EQ(out.str(), result("Forecast Result:", std::to_string(c.total), c.average, c.grade))
        << c.total << "/" << c.count;
  }
}

TEST(RunForecast, TwoWordsOnOneLineAnswerTwoSubjects) {
  TreeLiteral student = twoDoneTwoToGo();
  const std::string text = runWith(*student, "50 60\nn\n");
  EXPECT_NE(text.find("\tDatabases: \tNetworks: \n"), std::string::npos);
  EXPECT_NE(text.find("Total Marks : 260\n"), std::string::npos);
}

TEST(RunForecast, InvalidWordsAreRefusedAndTheSameSubjectAskedAgain) {
  TreeLiteral student = twoDoneTwoToGo();
  // '05' has a leading zero, '101' is above 100, '99.5' and '1000' do not fit the field.
  const std::string text = runWith(*student, "05 101 99.5 1000 100\n0\nn\n");
  EXPECT_NE(text.find("\tDatabases: \tInvalid Marks\n\tDatabases: \tInvalid Marks\n"
                      "\tDatabases: \tInvalid Marks\n\tDatabases: \tInvalid Marks\n"
                      "\tDatabases: \tNetworks: \n"),
            std::string::npos);
  EXPECT_NE(text.find("Total Marks : 250\n"), std::string::npos);
}

TEST(RunForecast, YesStartsAFreshPassAndAnEmptyAnswerRepeatsTheQuestion) {
  TreeLiteral student = twoDoneTwoToGo();
  const std::string text = runWith(*student, "65 7.5\nY\n60 60\n\nn\n");
  const std::string firstPass =
      std::string(FakeConsole::kClearMarker) + opening(150, 2, 2) + kEntryHeading +
      "\tDatabases: \tNetworks: " + result("Forecast Result:", "222", "55.5", "Pass") + kAgain;
  const std::string secondPass =
      std::string(FakeConsole::kClearMarker) + opening(150, 2, 2) + kEntryHeading +
      "\tDatabases: \tNetworks: " + result("Forecast Result:", "270", "67.5", "Credit") + kAgain +
      kAgain;
  EXPECT_EQ(text, firstPass + secondPass);
}

TEST(RunForecast, AllCompletedEndsWithCurrentFiguresAndOneKey) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 80}, {"CS102", 70}}}});
  const std::string text = runWith(*student, "k");
  EXPECT_EQ(text, std::string(FakeConsole::kClearMarker) + opening(150, 2, 0) +
                      "\tAll subject(s) for this level completed, forecast is unnessasary.\n" +
                      result("Current Result:", "150", "75", "Distinction") +
                      "\nPress any key to continue");
}

TEST(RunForecast, StudentWithoutSubjectsHasNothingToGrade) {
  TreeLiteral student = oneStudent({});
  const std::string text = runWith(*student, "k");
  EXPECT_EQ(text, std::string(FakeConsole::kClearMarker) + opening(0, 0, 0) +
                      "\tAll subject(s) for this level completed, forecast is unnessasary.\n" +
                      result("Current Result:", "0", "-", "-") + "\nPress any key to continue");
}

TEST(RunForecast, EndOfInputInTheMiddleOfTheEntryPropagates) {
  TreeLiteral student = twoDoneTwoToGo();
  FakeConsole console("65\n");
  // The pending list is released on the way out; the sanitizer build checks for the leak.
  EXPECT_THROW(runForecast(*student, console), EndOfInput);
}
