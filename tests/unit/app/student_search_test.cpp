// The student ID prompt typed key by key, the lookup messages and the sub menu's keys and clears.
#include "app/student_search.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "analysis/forecast.h"
#include "analysis/performance_chart.h"
#include "analysis/result_listing.h"
#include "analysis/suggestion.h"
#include "store/tree/student_index.h"
#include "unit/fake_console.h"

namespace {

const std::string kIdPrompt =
    "\n\n\tPress ESC to back to Main Menu\n\tPlease "
    "enter Student ID to be search: ";
const std::string kCls = FakeConsole::kClearMarker;

// Three students linked by hand as the index would link them: st000002 at the root.
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setStudent(students_[0], "st000001", "Aisha Rahman");
    setStudent(students_[1], "st000002", "Benjamin Clarke");
    setStudent(students_[2], "st000003", "Grace O'Sullivan");
    students_[1].left = &students_[0];
    students_[1].right = &students_[2];
    // Every result has marks, so no view asks for expected marks.
    result_[0] = {"CS101", "Introduction to Programming", 68, &result_[1]};
    result_[1] = {"CS102", "Computer Systems Fundamentals", 81, nullptr};
    semester_ = {1, &result_[0], &result_[1], nullptr};
    level_ = {1, &semester_, &semester_, nullptr};
    menuStudent().firstLevel = &level_;
    menuStudent().lastLevel = &level_;
  }

  void setStudent(StudentRecord& student, const char* id, const char* name) {
    student.studentId = id;
    student.name = name;
    student.intake = "APR23IT";
    student.address = &address_;
  }

  StudentRecord* root() { return &students_[1]; }
  StudentRecord& menuStudent() { return students_[2]; }

  std::string run(const std::string& keys) {
    FakeConsole console(keys);
    EXPECT_NO_THROW(searchStudent(root(), console)) << "keys " << keys;
    return console.text();
  }

  AddressRecord address_{};
  StudentRecord students_[3]{};
  LevelNode level_{};
  SemesterNode semester_{};
  SubjectResult result_[2]{};
};

std::string subMenu() {
  std::ostringstream banner;
  printSubMenu(banner);
  return banner.str();
}

// The echo of the keys as typed: a scripted newline arrives as Enter, 13.
// The echo of the keys as typed: a scripted newline arrives as Enter, 13, and other control keys
// show in caret form.
std::string echoOf(const std::string& keys) {
  std::string echo;
  for (char c : keys) {
    echo += c == '\n' ? std::string("\r") : echoText(Key{static_cast<unsigned char>(c), {c}});
  }
  return echo;
}

std::string foundPrefix() {
  return kIdPrompt + "st000003\r" + "\n\n\tStudent ID st000003 found\n" + subMenu();
}

TEST(PrintSubMenu, WritesTheBannerAndThePrompt) {
  std::ostringstream out;
  printSubMenu(out);
  EXPECT_EQ(out.str(),
            "\n"
            "\t\t**********************************************\n"
            "\t\t*               Sub Menu:                    *\n"
            "\t\t*                                            *\n"
            "\t\t*        (1) Display Previous Result         *\n"
            "\t\t*        (2) Display Performance Chart       *\n"
            "\t\t*        (3) Forecasting                     *\n"
            "\t\t*        (4) Generate Suggestion             *\n"
            "\t\t*                                            *\n"
            "\t\t*        Press ESC to Exit                   *\n"
            "\t\t**********************************************\n"
            "\n\tPlease Enter Your Choice: ");
}

TEST_F(SearchTest, UnknownIdIsReportedAsFoldedAndPromptedAgainWithoutClear) {
  struct Case {
    std::string keys;
    std::string searched;
  } cases[] = {
      {"st999999\n", "st999999"},
      {"ST999999\n", "st999999"},
      {"\n", ""},  // two blanks in the message
      {"abcdefg\n", "abcdefg"},
      {"AbCdEfGhI\n", "abcdefgh"},  // the ninth key is echoed and ignored
      {"abcdefghijk\n", "abcdefgh"},
      // An arrow key: prefix 224, then its code, folded like any key.
      {"ab\xE0Kcd\n", "ab\xE0kcd"},
      {std::string("ab\0Hcd\n", 7), "ab"},  // prefix 0 ends the ID text
      {"a\bZ\n", "a^Hz"},                   // Backspace is stored, not an edit; shown as echoed
      {"\xC9Q\n", "\xC9q"},                 // codes above 127 are not folded
      // A UTF-8 character is one of the eight.
      {"caf\xC3\xA9\n", "caf\xC3\xA9"},
      {"abcdefg\xC3\xA9h\n", "abcdefg\xC3\xA9"},
      {"jos\xC3\xA9"
       "0002\n",
       "jos\xC3\xA9"
       "0002"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.keys + "\x1b"), kIdPrompt + echoOf(c.keys) + "\n\n\tStudent ID " + c.searched +
                                        " not found\n" + kIdPrompt)
        << "keys " << c.keys;
  }
}

TEST_F(SearchTest, EscReturnsAtEveryPositionOfTheEntry) {
  for (const std::string& keys :
       std::vector<std::string>{"", "abcdefg", "abcdefgh", "abcdefghij"}) {
    FakeConsole console(keys + "\x1b");
    ASSERT_NO_THROW(searchStudent(root(), console)) << "keys " << keys;
    EXPECT_EQ(console.text(), kIdPrompt + keys);
    EXPECT_TRUE(console.inputUsedUp());
  }
}

TEST_F(SearchTest, EndOfInputPropagates) {
  FakeConsole console("abc");
  EXPECT_THROW(searchStudent(root(), console), EndOfInput);
}

TEST_F(SearchTest, FoundIdShowsTheSubMenuAndEscReturnsWithoutEcho) {
  FakeConsole console("ST000003\n\x1b");
  ASSERT_NO_THROW(searchStudent(root(), console));
  EXPECT_EQ(console.text(),
            kIdPrompt + "ST000003\r" + "\n\n\tStudent ID st000003 found\n" + subMenu());
  EXPECT_TRUE(console.inputUsedUp());
}

TEST_F(SearchTest, NotFoundThenFound) {
  const std::string text = run("st000004\nst000001\n\x1b");
  EXPECT_EQ(text, kIdPrompt + "st000004\r\n\n\tStudent ID st000004 not found\n" + kIdPrompt +
                      "st000001\r\n\n\tStudent ID st000001 found\n" + subMenu());
}

// What a view prints of its own, run alone with the keys it reads.
template <typename View>
std::string viewText(const std::string& keys, View view) {
  FakeConsole console(keys);
  view(console);
  EXPECT_TRUE(console.inputUsedUp()) << "view keys " << keys;
  return console.text();
}

TEST_F(SearchTest, SubMenuKeysClearAndShowTheirViews) {
  const StudentRecord& student = menuStudent();
  std::ostringstream listing;
  writeResultListing(student, listing);
  // Every result has marks: the chart and forecasting wait for one key, the suggestion asks for the
  // target grade and then says there is nothing left to suggest.
  const std::string chart =
      viewText("\x1b", [&](Console& c) { showPerformanceChart(&student, c); });
  const std::string forecast = viewText("\x1b", [&](Console& c) { runForecast(student, c); });
  const std::string suggestion = viewText("a\n", [&](Console& c) { runSuggestion(student, c); });
  struct Case {
    std::string key;
    std::string viewKeys;
    std::string shown;  // between the echoed key and the next banner
  } cases[] = {
      {"1", "", kCls + "\n\n" + listing.str()},  // the listing stays on the screen
      {"2", "\x1b", kCls + chart + kCls},
      {"3", "\x1b", forecast + kCls},
      {"4", "a\n", suggestion + kCls},
      {"x", "", kCls + "\n\t< Invalid Input: >\n"},
      {"0", "", kCls + "\n\t< Invalid Input: >\n"},
  };
  for (const Case& c : cases) {
    FakeConsole console("st000003\n" + c.key + c.viewKeys + "\x1b");
    ASSERT_NO_THROW(searchStudent(root(), console)) << "key " << c.key;
    EXPECT_EQ(console.text(), foundPrefix() + c.key + c.shown + subMenu()) << "key " << c.key;
    EXPECT_TRUE(console.inputUsedUp()) << "key " << c.key;
  }
}

TEST_F(SearchTest, SubMenuStaysWithTheSameStudentUntilEsc) {
  const std::string text = run("st000003\n1x1\x1b");
  std::ostringstream listing;
  writeResultListing(menuStudent(), listing);
  const std::string listed = kCls + "\n\n" + listing.str() + subMenu();
  EXPECT_EQ(text, foundPrefix() + "1" + listed + "x" + kCls + "\n\t< Invalid Input: >\n" +
                      subMenu() + "1" + listed);
}

}  // namespace
