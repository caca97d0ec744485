// Suggestion: the advice for the unfilled subjects and the screen around it.
#include "analysis/suggestion.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "unit/fake_console.h"
#include "unit/tree_literal.h"

namespace {

const std::string kHeader =
    "\n\t===========================\n\t Suggestion\n\t===========================\n";
const std::string kMixHead = "\n\tYou can get the grade, \n\tIf you get :\n\n";
const std::string kFor = "\tfor remaining unfilled subject(s)\n";
const std::string kOr = "\n\tOR\n\n";

std::string closing(long long need, int u) {
  return "\n\tYou need to get at least " + std::to_string(need) + " marks for the remaining " +
         std::to_string(u) + " unfilled subject\n";
}

std::string advice(char target, int total, int subjects, int unfilled) {
  std::ostringstream out;
  printSuggestion(target, total, subjects, unfilled, out);
  return out.str();
}

const std::string kOpeningTail = "\tA - Distinction\n\tB - Credit\n\tC - Pass\n";
const std::string kTargetPrompt = "\n\tPlease enter expected final grade(A,B,C): ";
const std::string kEntryHeading =
    "\t==============================================\n"
    "\tPlease Enter the Expected Marks for Suggestion:\n"
    "\t==============================================\n\n";
const std::string kAgain = "\n\tGet Suggestion Again?(y/n):";

std::string opening(int total, int completed, int toGo) {
  return "\t=================\n\tCurrent Result:\n\t=================\n\tTotal: " +
         std::to_string(total) + "\n\t" + std::to_string(completed) + " Subject(s) Completed\n\t" +
         std::to_string(toGo) + " Subject(s) to go\n\n" + kOpeningTail;
}

// Marks 80, 70 and two subjects still to be taken: four subjects in all.
TreeLiteral twoDoneTwoToGo() {
  return oneStudent({{1, 1, {{"CS101", 80}, {"CS102", 70}}},
                     {1, 2, {{"CS103", 0, "Databases"}, {"CS104", 0, "Networks"}}}});
}

std::string runWith(const StudentRecord& student, const std::string& input) {
  FakeConsole console(input);
  runSuggestion(student, console);
  EXPECT_TRUE(console.inputUsedUp());
  return console.text();
}

}  // namespace

TEST(PrintSuggestion, EveryRowOfTheEdgeCaseTable) {
  struct Case {
    char target;
    int total;
    int subjects;
    int unfilled;
    std::string expected;
  } cases[] = {
      {'A', 290, 6, 2,
       "\n\tIf You get all Distinction for the 2 unfilled subjects,\n"
       "\tYou are mathematically possible to get the grade.\n\n" +
           closing(160, 2)},
      {'B', 290, 6, 2,
       "\n\tYou can get the grade if you get PASS for the 2 unfilled subjects\n" + closing(70, 2)},
      {'B', 480, 10, 2,
       kMixHead + "\t1 DISTINCTION,\n\t1 CREDIT,\n" + kFor + kOr + "\t2 CREDIT,\n" + kFor +
           closing(120, 2)},
      {'B', 0, 3, 3,
       kMixHead + "\t2 DISTINCTION,\n\t1 PASS\n" + kFor + kOr + "\t3 CREDIT,\n" + kFor +
           closing(180, 3)},
      {'B', 100, 5, 3,
       kMixHead + "\t2 DISTINCTION,\n\t1 CREDIT,\n" + kFor + kOr + "\t2 DISTINCTION,\n" +
           "\t1 CREDITS\n" + kFor + "\t3 DISTINCTION,\n" + kFor + closing(200, 3)},
      {'A', 0, 3, 3,
       kMixHead + "\t3 DISTINCTION,\n" + kFor + kOr + "\t3 DISTINCTION,\n" + kFor +
           "\t3 DISTINCTION,\n" + kFor + closing(225, 3)},
      {'C', 100, 5, 0, "\n\tYou are impossible to achieve the grade\n\n"},
      {'C', 300, 5, 0,
       "\n\tYou can get the grade if you get PASS for the 0 unfilled subjects\n" +
           closing(-100, 0)},
      // Need exactly u x 75 for B falls into the mixes too; lower-case letters count the same.
      {'b', 90, 4, 2,
       kMixHead + "\t2 DISTINCTION,\n" + kFor + kOr + "\t2 DISTINCTION,\n" + kFor +
           "\t2 DISTINCTION,\n" + kFor + closing(150, 2)},
      // Marks typed for every subject and the target already reached.
      {'a', 400, 5, 0,
       "\n\tYou can get the grade if you get PASS for the 0 unfilled subjects\n" + closing(-25, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(advice(c.target, c.total, c.subjects, c.unfilled), kHeader + c.expected)
        << c.target << " " << c.total << " " << c.subjects << " " << c.unfilled;
  }
}

TEST(PrintSuggestion, ThirdRowLineByLine) {
  const std::string text = advice('B', 480, 10, 2);
  ASSERT_EQ(text.compare(0, kHeader.size(), kHeader), 0);
  std::vector<std::string> lines;
  std::istringstream rest(text.substr(kHeader.size()));
  for (std::string line; std::getline(rest, line);) {
    lines.push_back(line);
  }
  const std::vector<std::string> expected = {
      "",
      "\tYou can get the grade, ",
      "\tIf you get :",
      "",
      "\t1 DISTINCTION,",
      "\t1 CREDIT,",
      "\tfor remaining unfilled subject(s)",
      "",
      "\tOR",
      "",
      "\t2 CREDIT,",
      "\tfor remaining unfilled subject(s)",
      "",
      "\tYou need to get at least 120 marks for the remaining 2 unfilled subject"};
  EXPECT_EQ(lines, expected);
}

TEST(PrintSuggestion, HugeCountsDoNotOverflow) {
  const std::string text = advice('A', 0, INT_MAX, INT_MAX);
  EXPECT_NE(text.find("\t2147483647 DISTINCTION,\n"), std::string::npos);
  EXPECT_NE(text.find(closing(161061273525LL, INT_MAX)), std::string::npos);
}

TEST(RunSuggestion, OneMarkTypedAndOneLeftBlank) {
  TreeLiteral student = twoDoneTwoToGo();
  const std::string text = runWith(*student, "x\nB\n60\n\nn\n");
  EXPECT_EQ(text, std::string(FakeConsole::kClearMarker) + opening(150, 2, 2) + kTargetPrompt +
                      kTargetPrompt + kEntryHeading + "\tDatabases : 60\n" + "\tNetworks : \n" +
                      advice('B', 210, 4, 1) + kAgain);
}

TEST(RunSuggestion, BackspaceIsStoredSoFiveBackspaceZeroIsRefused) {
  TreeLiteral student = twoDoneTwoToGo();
  const std::string text = runWith(*student, "b\n5\b0\n\n\nn\n");
  EXPECT_NE(text.find("\tDatabases : 5^H0\n\tInvalid Marks\n\tDatabases : \n\tNetworks : \n"),
            std::string::npos);
  EXPECT_NE(text.find(advice('b', 150, 4, 2)), std::string::npos);
}

TEST(RunSuggestion, AFourthKeyRefusesTheEntryAndIsNeverStored) {
  TreeLiteral student = twoDoneTwoToGo();
  // "1001" would be "100" if the fourth key were simply dropped.
  const std::string text = runWith(*student, "A\n1001\n100\n\x1b\n7.5\nn\n");
  EXPECT_NE(text.find("\tDatabases : 1001\n\tInvalid Marks\n\tDatabases : 100\n"
                      "\tNetworks : ^[\n\tInvalid Marks\n\tNetworks : 7.5\n"),
            std::string::npos);
  EXPECT_NE(text.find(advice('A', 257, 4, 0)), std::string::npos);
}

TEST(RunSuggestion, ExtendedKeysAreStoredAsTwoCharactersAndRefused) {
  TreeLiteral student = twoDoneTwoToGo();
  // An arrow key (224, 'H') and a function key (0, ';'), each followed by Enter.
  const std::string keys = std::string("B\n\xE0H\n") + '\0' + ";\n\n\nn\n";
  const std::string text = runWith(*student, keys);
  EXPECT_NE(text.find(std::string("\tDatabases : \xE0H\n\tInvalid Marks\n\tDatabases : ") + "^@" +
                      ";\n\tInvalid Marks\n\tDatabases : \n\tNetworks : \n"),
            std::string::npos);
  EXPECT_NE(text.find(advice('B', 150, 4, 2)), std::string::npos);
}

TEST(RunSuggestion, YesStartsAFreshPass) {
  TreeLiteral student = twoDoneTwoToGo();
  const std::string text = runWith(*student, "C\n\n\nq\nY\nc\n50\n50\nn\n");
  const std::string firstPass = std::string(FakeConsole::kClearMarker) + opening(150, 2, 2) +
                                kTargetPrompt + kEntryHeading + "\tDatabases : \n" +
                                "\tNetworks : \n" + advice('C', 150, 4, 2) + kAgain + kAgain;
  const std::string secondPass = std::string(FakeConsole::kClearMarker) + opening(150, 2, 2) +
                                 kTargetPrompt + kEntryHeading + "\tDatabases : 50\n" +
                                 "\tNetworks : 50\n" + advice('c', 250, 4, 0) + kAgain;
  EXPECT_EQ(text, firstPass + secondPass);
}

TEST(RunSuggestion, AllMarkedStillAsksTheTargetThenSaysNoSuggestion) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 80}, {"CS102", 70}}}});
  const std::string text = runWith(*student, "a\n");
  EXPECT_EQ(text, std::string(FakeConsole::kClearMarker) + opening(150, 2, 0) + kTargetPrompt +
                      "\tNo more subject for this level, impossible to give suggestion.\n");
}

TEST(RunSuggestion, EndOfInputInTheMiddleOfAnEntryPropagates) {
  TreeLiteral student = twoDoneTwoToGo();
  FakeConsole console("B\n5");
  // The pending list is released on the way out; the sanitizer build checks for the leak.
  EXPECT_THROW(runSuggestion(*student, console), EndOfInput);
}
