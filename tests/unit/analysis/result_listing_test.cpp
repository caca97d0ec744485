// Grade words and the result listing.
#include "analysis/result_listing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>

#include "console/console_interface.h"
#include "unit/tree_literal.h"

namespace {

std::string listingOf(const StudentRecord& student) {
  std::ostringstream out;
  writeResultListing(student, out);
  return out.str();
}

std::string readGolden(const std::string& name) {
  std::ifstream file(std::string(TAVRINEL_GOLDEN_DIR) + "/listing/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Counts the flushes a stream asks for, to tell endl from a bare newline.
class FlushCounter : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

}  // namespace

TEST(GradeBandFor, EveryBandBoundary) {
  struct Case {
    int value;
    const char* word;
  } cases[] = {{0, "Fail"},
               {1, "Fail"},
               {39, "Fail"},
               {40, "Pass"},
               {59, "Pass"},
               {60, "Credit"},
               {74, "Credit"},
               {75, "Distinction"},
               {100, "Distinction"},
               {101, "N/A"},
               {2147483647, "N/A"},
               {-1, "Fail"},
               {-2147483647 - 1, "Fail"}};
  for (const Case& c : cases) {
    char word[kGradeBandSize];
    std::memset(word, 'x', sizeof word);
    gradeBandFor(c.value, word);
    EXPECT_STREQ(word, c.word) << "value " << c.value;
  }
}

TEST(WriteResultListing, OneSemesterWithAMarkedAndAnUntakenSubject) {
  TreeLiteral student =
      oneStudent({{1, 1, {{"CS101", 68}, {"CS102", 0}}}}, "Jane Doe", "st230401", "APR23IT");
  EXPECT_EQ(listingOf(*student),
            "Name\t: Jane Doe\n"
            "ID\t: st230401\n"
            "Intake\t: APR23IT\n"
            "\n"
            "Level 1: \n"
            "\tSemester 1: \n"
            "\t\tCS101\t\t68\t\tCredit\n"
            "\t\tCS102\t\tN/A\t\tN/A\n");
}

TEST(WriteResultListing, EveryLineIsFlushed) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 68}, {"CS102", 0}}}});
  FlushCounter buffer;
  std::ostream out(&buffer);
  writeResultListing(*student, out);
  EXPECT_EQ(buffer.flushes, 8);
}

TEST(WriteResultListing, StudentWithoutLevelsGivesThreeLinesAndOneEmptyLine) {
  TreeLiteral student = oneStudent({}, "Marcus Webb", "ed0002", "JAN24IT");
  EXPECT_EQ(listingOf(*student), "Name\t: Marcus Webb\nID\t: ed0002\nIntake\t: JAN24IT\n\n");
}

// A screen shows a stored line break or tab in caret form so that no line of it breaks; a letter
// gets the text as stored.
TEST(WriteResultListing, StoredLineBreaksShowInCaretFormOnAScreenOnly) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS\t101", 68}}}}, "Jane\r\nDoe", "st\n01", "A\tB");
  std::ostringstream screen;
  showStoredTextInline(screen);
  writeResultListing(*student, screen);
  EXPECT_EQ(screen.str(),
            "Name\t: Jane^M^JDoe\nID\t: st^J01\nIntake\t: A^IB\n\n"
            "Level 1: \n\tSemester 1: \n\t\tCS^I101\t\t68\t\tCredit\n");
  EXPECT_EQ(listingOf(*student).rfind("Name\t: Jane\r\nDoe\nID\t: st\n01\nIntake\t: A\tB\n", 0),
            0u);
}

TEST(WriteResultListing, MarksAboveHundredAreListedAsStoredWithNoGrade) {
  TreeLiteral student = oneStudent({{1, 1, {{"IT102", 120}}}});
  EXPECT_NE(listingOf(*student).find("\t\tIT102\t\t120\t\tN/A\n"), std::string::npos);
}

// Students of the demo and edge fixtures, built from the figures of the fixtures README and
// compared with listings written by hand.
TEST(WriteResultListing, MatchesHandWrittenListingsOfFixtureStudents) {
  struct Case {
    const char* golden;
    TreeLiteral student;
  };
  Case cases[] = {
      {"st230401.txt", oneStudent({{1, 1, {{"CS101", 100}, {"CS102", 49}}},
                                   {1, 2, {{"CS103", 54}, {"CS104", 46}}},
                                   {2, 1, {{"CS201", 60}, {"CS202", 50}}},
                                   {2, 2, {{"CS203", 43}, {"CS204", 47}}},
                                   {3, 1, {{"CS301", 58}, {"CS302", 53}}},
                                   {3, 2, {{"CS303", 48}, {"CS304", 48}}}},
                                  "Aisha Rahman", "st230401", "APR23IT")},
      {"st240401.txt", oneStudent({{1, 1, {{"CS101", 20}, {"CS102", 46}}},
                                   {1, 2, {{"CS103", 32}, {"CS104", 33}}},
                                   {2, 1, {{"CS201", 40}, {"CS202", 36}}},
                                   {2, 2, {{"CS203", 0}, {"CS204", 0}}},
                                   {3, 1, {{"CS301", 0}, {"CS302", 0}}},
                                   {3, 2, {{"CS303", 0}, {"CS304", 0}}}},
                                  "Maya Patel", "st240401", "APR24IT")},
      {"ed0002.txt", oneStudent({}, "Marcus Webb", "ed0002", "JAN24IT")},
      {"ed0003.txt", oneStudent({{1, 1, {{"IT101", 62}}}}, "Hannah Lee", "ed0003", "JAN24IT")},
      {"ed0005.txt",
       oneStudent({{1, 1, {{"IT101", 70}, {"IT102", 120}}}}, "Fatima Zahra", "ed0005", "JAN24IT")},
      {"ed000022.txt", oneStudent({{1, 1, {{"IT101", 65}}},
                                   {1, 2, {{"IT102", 70}}},
                                   {1, 12, {{"IT103", 55}}},
                                   {2, 1, {{"IT201", 50}}},
                                   {10, 12, {{"ADV1001", 90}}}},
                                  "Daniel Kim", "ed000022", "JAN24IT")},
  };
  for (const Case& c : cases) {
    const std::string expected = readGolden(c.golden);
    ASSERT_FALSE(expected.empty()) << c.golden;
    EXPECT_EQ(listingOf(*c.student), expected) << c.golden;
  }
}
