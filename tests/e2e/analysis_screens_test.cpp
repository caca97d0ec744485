// End-to-end: forecasting and the suggestion, reached through the student sub menu.
//
// Test plan
// 27. Forecast for a student with six pending subjects: invalid words ('abcd' longer than the
//     field, '05', '101') asked again, '50 60' style two words on one line, '7.5' adding 7; the
//     result block; 'Y' starts a pass with the same opening figures; an empty line repeats the
//     question; 'n' returns to the sub menu.
// 28. A student whose results all have marks: the forecast's all-completed ending and its key;
//     the suggestion asks for the target letter (an invalid one repeated) and then says that
//     nothing is left.
// 29. Suggestion with target B: one mark typed, blanks counted as unfilled, '5' Backspace '0'
//     refused, a fourth key refused, 'y' for a second pass with target c and every entry blank,
//     then 'n'.
// 30. End of input while the forecast waits for a mark closes the program: status 0.
// 31. End of input in the middle of a suggestion mark entry closes the program: status 0.
#include <gtest/gtest.h>

#include <string>

#include "e2e/pty_session.h"
#include "e2e/screen_steps.h"

using namespace e2e;

namespace {

// The screens themselves are in the goldens; the steps wait for the prompts that end them.
const std::string kTargetQuestion = "\n\tPlease enter expected final grade(A,B,C): ";
const std::string kForecastAgain = "\n\tForecast again? (y/n): ";
const std::string kSuggestionAgain = "\n\tGet Suggestion Again?(y/n):";

// One mark entry of the suggestion, key by key: the screen echoes every key but Enter.
::testing::AssertionResult typeMarks(PtySession& session, const std::string& marks) {
  ::testing::AssertionResult step = session.typeEchoed(marks);
  if (step) {
    session.send(keys::kEnter);
    step = session.waitFor("\n");
  }
  return step;
}

}  // namespace

// 27
TEST(Forecast, InvalidWordsTwoWordsOnALineAndTheAgainQuestion) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openStudent(session, "st240401"));
  session.send("3");
  ASSERT_TRUE(session.waitFor("3<CLS>"));
  ASSERT_TRUE(session.waitFor("\tComputer Networks: "));

  // A word longer than the three-character field is refused, never cut to a valid '50'.
  ASSERT_TRUE(typeLine(session, "50xx"));
  ASSERT_TRUE(session.waitFor("\tInvalid Marks\n\tComputer Networks: "));
  ASSERT_TRUE(typeLine(session, "50"));
  ASSERT_TRUE(session.waitFor("\tWeb Application Development: "));
  // Two words answer two subjects: the second prompt takes '70' without a new line.
  ASSERT_TRUE(typeLine(session, "60 70"));
  ASSERT_TRUE(session.waitFor("\tSoftware Engineering: \tOperating Systems: "));
  ASSERT_TRUE(typeLine(session, "7.5"));
  ASSERT_TRUE(session.waitFor("\tInformation Security: "));
  ASSERT_TRUE(typeLine(session, "05"));
  ASSERT_TRUE(session.waitFor("\tInvalid Marks\n\tInformation Security: "));
  ASSERT_TRUE(typeLine(session, "100"));
  ASSERT_TRUE(session.waitFor("\tCapstone Project: "));
  ASSERT_TRUE(typeLine(session, "101"));
  ASSERT_TRUE(session.waitFor("\tInvalid Marks\n\tCapstone Project: "));
  ASSERT_TRUE(typeLine(session, "45"));
  // 207 + 50 + 60 + 70 + 7 + 100 + 45 = 539 over 12 subjects: 44.9167, a Pass.
  ASSERT_TRUE(session.waitFor("\tTotal Marks : 539\n"));
  ASSERT_TRUE(session.waitFor(kForecastAgain));

  // A new pass collects afresh: the marks of the first pass are gone.
  ASSERT_TRUE(typeLine(session, "Y"));
  ASSERT_TRUE(session.waitFor("<CLS>"));
  ASSERT_TRUE(session.waitFor("\tComputer Networks: "));
  ASSERT_TRUE(typeLine(session, "40 40 40 40 40 40"));
  // 207 + 6 x 40 = 447: 37.25, a Fail.
  ASSERT_TRUE(session.waitFor("\tTotal Marks : 447\n"));
  ASSERT_TRUE(session.waitFor(kForecastAgain));
  ASSERT_TRUE(typeLine(session, ""));
  ASSERT_TRUE(session.waitFor(kForecastAgain));
  ASSERT_TRUE(typeLine(session, "n"));
  ASSERT_TRUE(backAtSubMenu(session));

  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("27-forecast", session.transcript()));
}

// 28
TEST(Forecast, AllMarkedStudentGetsTheCompletedEndingAndNoSuggestion) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openStudent(session, "st230401"));
  session.send("3");
  // 656 over 12 subjects: 54.6667, the grade of 54.
  ASSERT_TRUE(session.waitFor("forecast is unnessasary."));
  ASSERT_TRUE(session.waitFor("\nPress any key to continue"));
  session.send("k");
  ASSERT_TRUE(backAtSubMenu(session));

  session.send("4");
  ASSERT_TRUE(session.waitFor("4<CLS>"));
  ASSERT_TRUE(session.waitFor(kTargetQuestion));
  ASSERT_TRUE(typeLine(session, "x"));
  ASSERT_TRUE(session.waitFor(kTargetQuestion));
  ASSERT_TRUE(typeLine(session, "a"));
  ASSERT_TRUE(session.waitFor(
      "\tNo more subject for this level, impossible to give suggestion.\n<CLS>" + kSubMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_EQ(session.transcript().find("Get Suggestion Again"), std::string::npos);
  EXPECT_TRUE(matchesGolden("28-all-marked-student", session.transcript()));
}

// 29
TEST(Suggestion, TypedBlankAndRefusedEntriesThenASecondPass) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openStudent(session, "st240401"));
  session.send("4");
  ASSERT_TRUE(session.waitFor("4<CLS>"));
  ASSERT_TRUE(session.waitFor(kTargetQuestion));
  ASSERT_TRUE(typeLine(session, "B"));
  ASSERT_TRUE(session.waitFor("\tComputer Networks : "));

  ASSERT_TRUE(typeMarks(session, "60"));
  ASSERT_TRUE(session.waitFor("\tWeb Application Development : "));
  ASSERT_TRUE(typeMarks(session, ""));
  ASSERT_TRUE(session.waitFor("\tSoftware Engineering : "));
  // Backspace does not edit: '5', code 8 and '0' make three characters, which are refused.
  ASSERT_TRUE(session.typeEchoed("5"));
  session.send(keys::kBackspace);
  ASSERT_TRUE(session.waitFor("^H"));
  ASSERT_TRUE(typeMarks(session, "0"));
  ASSERT_TRUE(session.waitFor("\tInvalid Marks\n\tSoftware Engineering : "));
  // A fourth key does not fit the field: the entry is refused, not cut to '100'.
  ASSERT_TRUE(typeMarks(session, "1000"));
  ASSERT_TRUE(session.waitFor("\tInvalid Marks\n\tSoftware Engineering : "));
  ASSERT_TRUE(typeMarks(session, "100"));
  for (const char* subject : {"Operating Systems", "Information Security", "Capstone Project"}) {
    ASSERT_TRUE(session.waitFor("\t" + std::string(subject) + " : "));
    ASSERT_TRUE(typeMarks(session, ""));
  }
  // Target 12 x 60 = 720, total 207 + 60 + 100 = 367, need 353 for 4 unfilled subjects: more
  // than 4 x 75, at most 4 x 100.
  ASSERT_TRUE(session.waitFor("at least 353 marks for the remaining 4 unfilled"));
  ASSERT_TRUE(session.waitFor(kSuggestionAgain));

  ASSERT_TRUE(typeLine(session, "y"));
  ASSERT_TRUE(session.waitFor("<CLS>"));
  ASSERT_TRUE(session.waitFor(kTargetQuestion));
  ASSERT_TRUE(typeLine(session, "c"));
  for (const char* subject :
       {"Computer Networks", "Web Application Development", "Software Engineering",
        "Operating Systems", "Information Security", "Capstone Project"}) {
    ASSERT_TRUE(session.waitFor("\t" + std::string(subject) + " : "));
    ASSERT_TRUE(typeMarks(session, ""));
  }
  // Target 12 x 40 = 480, need 273 for 6 unfilled subjects: 33 over six Passes.
  ASSERT_TRUE(session.waitFor("at least 273 marks for the remaining 6 unfilled"));
  ASSERT_TRUE(session.waitFor(kSuggestionAgain));
  ASSERT_TRUE(typeLine(session, "n"));
  ASSERT_TRUE(backAtSubMenu(session));

  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("29-suggestion", session.transcript()));
}

// 30
TEST(EndOfInput, WhileTheForecastWaitsForAMarkTheProgramCloses) {
  PtySession session(withInputFromPipe(demo()));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openStudent(session, "st240401"));
  session.send("3");
  ASSERT_TRUE(session.waitFor("\tComputer Networks: "));
  session.send("50\n");
  ASSERT_TRUE(session.waitFor("\tWeb Application Development: "));
  ASSERT_TRUE(endInputToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("30-end-of-input-in-forecast", session.transcript()));
}

// 31
TEST(EndOfInput, InTheMiddleOfASuggestionEntryTheProgramCloses) {
  PtySession session(withInputFromPipe(demo()));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openStudent(session, "st240401"));
  session.send("4");
  ASSERT_TRUE(session.waitFor(kTargetQuestion));
  session.send("b\n");
  ASSERT_TRUE(session.waitFor("\tComputer Networks : "));
  ASSERT_TRUE(session.typeEchoed("5"));
  ASSERT_TRUE(endInputToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  // Nothing was advised from a cut-off entry.
  EXPECT_EQ(session.transcript().find("\t Suggestion\n"), std::string::npos);
  EXPECT_TRUE(matchesGolden("31-end-of-input-in-suggestion", session.transcript()));
}
