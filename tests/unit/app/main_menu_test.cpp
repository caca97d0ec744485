// The main-menu banner byte for byte, and what each key does, through the scripted console.
#include "app/main_menu.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "unit/fake_console.h"

namespace {

const std::string kBanner =
    "\n"
    "\t\t**********************************************\n"
    "\t\t*                  TAVRINEL                  *\n"
    "\t\t**********************************************\n"
    "\t\t*               Main Menu:                   *\n"
    "\t\t*                                            *\n"
    "\t\t*        (1) Search Student                  *\n"
    "\t\t*        (2) Generate Result Mails           *\n"
    "\t\t*                                            *\n"
    "\t\t*        Press ESC to Exit                   *\n"
    "\t\t**********************************************\n"
    "\n\tPlease Enter Your Choice: ";
const std::string kCls = FakeConsole::kClearMarker;
const std::string kInvalid = "\n\t< Invalid Input: >\n";
const std::string kClosing = "Program Closing ...\n";

// Counts the separate writes made to a stream.
class WriteCounter : public std::stringbuf {
 public:
  int writes = 0;

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    ++writes;
    return std::stringbuf::xsputn(data, count);
  }
};

std::string runMenu(const std::string& keys) {
  FakeConsole console(keys);
  runMainMenu(nullptr, nullptr, console);
  return console.text();
}

}  // namespace

TEST(PrintMainMenu, WritesTheBannerByteForByteInTwelveWrites) {
  WriteCounter counter;
  std::ostream out(&counter);
  printMainMenu(out);
  EXPECT_EQ(counter.str(), kBanner);
  EXPECT_EQ(counter.writes, 12);
}

TEST(PrintMainMenu, TitleIsCentredInTheFortySixColumnBox) {
  std::ostringstream out;
  printMainMenu(out);
  std::istringstream lines(out.str());
  std::string line;
  std::getline(lines, line);
  for (int row = 0; row < 10; ++row) {
    ASSERT_TRUE(std::getline(lines, line));
    ASSERT_EQ(line.substr(0, 2), "\t\t");
    EXPECT_EQ(line.size(), 2u + 46u) << line;
    EXPECT_EQ(line[2], '*');
    EXPECT_EQ(line.back(), '*');
  }
  EXPECT_NE(
      out.str().find("\t\t*" + std::string(18, ' ') + "TAVRINEL" + std::string(18, ' ') + "*\n"),
      std::string::npos);
}

TEST(RunMainMenu, EscapeClearsAndClosesWithoutEcho) {
  EXPECT_EQ(runMenu("\x1b"), kBanner + kCls + kClosing);
}

TEST(RunMainMenu, OtherKeyIsEchoedThenClearedAndReported) {
  EXPECT_EQ(runMenu("x\x1b"), kBanner + "x" + kCls + kInvalid + kBanner + kCls + kClosing);
  EXPECT_EQ(runMenu("3\x1b"), kBanner + "3" + kCls + kInvalid + kBanner + kCls + kClosing);
  // Enter from a script is code 13, echoed as a carriage return.
  EXPECT_EQ(runMenu("\n\x1b"), kBanner + "\r" + kCls + kInvalid + kBanner + kCls + kClosing);
}

TEST(RunMainMenu, ExtendedKeyPassesTheInvalidPathOncePerCode) {
  // An Up arrow as the console gives it: prefix 224, then 72 ('H').
  std::string expected = kBanner + "\xe0" + kCls + kInvalid + kBanner + "H" + kCls + kInvalid +
                         kBanner + kCls + kClosing;
  EXPECT_EQ(runMenu("\xe0H\x1b"), expected);
  // F1: prefix 0, then 59 (';').
  expected = kBanner + "^@" + kCls + kInvalid + kBanner + ";" + kCls + kInvalid + kBanner + kCls +
             kClosing;
  EXPECT_EQ(runMenu(std::string("\0;\x1b", 3)), expected);
}

TEST(RunMainMenu, SearchIsEchoedWithoutClearAndClearedAfter) {
  // ESC leaves the search screen (at its prompt), the next ESC the program.
  std::string text = runMenu("1\x1b\x1b\x1b");
  EXPECT_EQ(text.substr(0, kBanner.size() + 1), kBanner + "1");
  std::string ending = kCls + kBanner + kCls + kClosing;
  ASSERT_GE(text.size(), ending.size());
  EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
}

TEST(RunMainMenu, MailsAreEchoedAndClearedBeforeAndAfter) {
  std::string text = runMenu("2\x1b\x1b\x1b");
  EXPECT_EQ(text.substr(0, kBanner.size() + 1 + kCls.size()), kBanner + "2" + kCls);
  std::string ending = kCls + kBanner + kCls + kClosing;
  ASSERT_GE(text.size(), ending.size());
  EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
}

TEST(RunMainMenu, EndOfInputAtTheMenuReachesTheCaller) {
  FakeConsole console("x");
  EXPECT_THROW(runMainMenu(nullptr, nullptr, console), EndOfInput);
  EXPECT_EQ(console.text(), kBanner + "x" + kCls + kInvalid + kBanner);
}
