// The result letters: their lines and CR LF ends, the date, and the outcomes of writing mail.txt.
#include "mail/result_mail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/result_listing.h"
#include "file_bytes.h"
#include "scratch_folder.h"
#include "store/database_error.h"
#include "store/loader.h"
#include "unit/tree_literal.h"

namespace {

namespace fs = std::filesystem;

// Noon keeps the local date the same in every time zone's reading of the test.
std::time_t localNoon(int year, int month, int day) {
  std::tm when{};
  when.tm_year = year - 1900;
  when.tm_mon = month - 1;
  when.tm_mday = day;
  when.tm_hour = 12;
  when.tm_isdst = -1;
  return std::mktime(&when);
}

const AddressLiteral kParramatta = {"27 Banksia Street", "Parramatta", "NSW", "2150"};
const AddressLiteral kRyde = {"5/112 Victoria Road", "Ryde", "NSW", "0800"};

// Aisha: marks in two levels, one subject not yet taken, one above 100. Zoë: one result.
const IntakeLiteral kTwoStudents = {
    "TEST01",
    {{"st000001",
      "Aisha Rahman",
      {{1, 1, {{"CS101", 68}, {"CS102", 0}}}, {1, 2, {{"CS103", 39}}}, {2, 1, {{"CS201", 120}}}},
      kParramatta},
     {"st000002", "Zo\xC3\xAB M\xC3\xBCller", {{1, 1, {{"CS101", 75}}}}, kRyde}}};

std::string crlf(const std::string& text) {
  std::string converted;
  for (char c : text) {
    converted += c == '\n' ? "\r\n" : std::string(1, c);
  }
  return converted;
}

std::string listingOf(const StudentRecord& student) {
  std::ostringstream listing;
  writeResultListing(student, listing);
  return listing.str();
}

// The letter around whatever the listing writes, with every line ended by CR LF.
std::string letterFrame(const StudentRecord& s, const std::string& date) {
  const AddressRecord& a = *s.address;
  return std::string(a.streetAddress) + ",\r\n" + a.postcode + ", " + a.city + ",\r\n" + a.state +
         ".\r\n" + std::string(73, '=') + "\r\n\r\nMr/Miss " + s.name +
         ",\r\n\r\nThe Following is your results for all the subjects "
         "enrolled:\r\n\r\n" +
         crlf(listingOf(s)) + "\r\nDate Generated: " + date +
         "\r\n\r\n* This Mail is computer generated, no signature is "
         "required\r\n" +
         std::string(73, '-') + "\r\n";
}

void requireListing(const StudentRecord& student) {
  if (listingOf(student).empty()) {
    GTEST_SKIP() << "needs writeResultListing of the result listing";
  }
}

class MailFileTest : public ::testing::Test {
 protected:
  void SetUp() override {}
  void TearDown() override {}

  MailOutcome write(const IntakeRecord& intake, const std::string& directory) {
    return writeResultMails(intake, console_, directory, clock_);
  }
  MailOutcome write(const IntakeRecord& intake) { return write(intake, dir_.string()); }

  fs::path mailPath() const { return dir_ / kMailFileName; }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // Each letter reads the clock: the first is dated 6 December 2026, the next a day later.
  int clockReads_ = 0;
  MailClock clock_ = [this] { return localNoon(2026, 12, 6 + clockReads_++); };
  std::ostringstream console_;
  ScratchFolder scratch_{"mail"};
  const fs::path& dir_ = scratch_.path();
};

TEST(FormatLetterDate, TwoDigitDayFullEnglishMonthFourDigitYear) {
  struct Case {
    int year, month, day;
    const char* text;
  } cases[] = {
      {2026, 12, 6, "06 December 2026"},
      {2024, 1, 1, "01 January 2024"},
      {2024, 2, 29, "29 February 2024"},
      {2000, 9, 30, "30 September 2000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatLetterDate(localNoon(c.year, c.month, c.day)), c.text);
  }
}

TEST(WriteResultLetter, EveryLineEndsWithCrLfAroundTheListing) {
  TreeLiteral b({kTwoStudents});
  std::ostringstream out;
  writeResultLetter(*b.intake().firstStudent, "06 December 2026", out);
  EXPECT_EQ(out.str(), letterFrame(*b.intake().firstStudent, "06 December 2026"));
}

TEST(WriteResultLetter, EmptyAddressFieldsStillGiveTheirLines) {
  TreeLiteral b({{"TEST01", {{"st000003", "", {}, {"", "", "", ""}}}}});
  std::ostringstream out;
  writeResultLetter(*b, "06 December 2026", out);
  EXPECT_EQ(
      out.str().rfind(",\r\n, ,\r\n.\r\n" + std::string(73, '=') + "\r\n\r\nMr/Miss ,\r\n", 0), 0u);
}

TEST(WriteResultLetter, StudentWithoutResultsHasTwoEmptyLinesBeforeTheDate) {
  TreeLiteral b({{"TEST01", {{"st000003", "Marcus Webb", {}, kParramatta}}}});
  requireListing(*b);
  std::ostringstream out;
  writeResultLetter(*b, "06 December 2026", out);
  EXPECT_EQ(out.str(), "27 Banksia Street,\r\n2150, Parramatta,\r\nNSW.\r\n" +
                           std::string(73, '=') +
                           "\r\n\r\nMr/Miss Marcus Webb,\r\n\r\n"
                           "The Following is your results for all the subjects enrolled:\r\n\r\n"
                           "Name\t: Marcus Webb\r\nID\t: st000003\r\nIntake\t: TEST01\r\n\r\n"
                           "\r\nDate Generated: 06 December 2026\r\n\r\n"
                           "* This Mail is computer generated, no signature is required\r\n" +
                           std::string(73, '-') + "\r\n");
}

TEST_F(MailFileTest, TwoStudentsByteForByte) {
  TreeLiteral b({kTwoStudents});
  requireListing(*b.intake().firstStudent);
  ASSERT_EQ(write(b.intake()), MailOutcome::kWritten);
  const std::string equals(73, '='), hyphens(73, '-');
  const std::string footer =
      "\r\n\r\n* This Mail is computer generated, no signature is required\r\n";
  const std::string enrolled =
      ",\r\n\r\nThe Following is your results for all "
      "the subjects enrolled:\r\n\r\n";
  EXPECT_EQ(readFile(mailPath()),
            "27 Banksia Street,\r\n2150, Parramatta,\r\nNSW.\r\n" + equals +
                "\r\n\r\nMr/Miss Aisha Rahman" + enrolled +
                "Name\t: Aisha Rahman\r\nID\t: st000001\r\nIntake\t: TEST01\r\n\r\n"
                "Level 1: \r\n\tSemester 1: \r\n"
                "\t\tCS101\t\t68\t\tCredit\r\n\t\tCS102\t\tN/A\t\tN/A\r\n"
                "\tSemester 2: \r\n\t\tCS103\t\t39\t\tFail\r\n"
                "Level 2: \r\n\tSemester 1: \r\n\t\tCS201\t\t120\t\tN/A\r\n"
                "\r\nDate Generated: 06 December 2026" +
                footer + hyphens +
                "\r\n"
                "5/112 Victoria Road,\r\n0800, Ryde,\r\nNSW.\r\n" +
                equals + "\r\n\r\nMr/Miss Zo\xC3\xAB M\xC3\xBCller" + enrolled +
                "Name\t: Zo\xC3\xAB M\xC3\xBCller\r\nID\t: st000002\r\nIntake\t: "
                "TEST01\r\n\r\n"
                "Level 1: \r\n\tSemester 1: \r\n\t\tCS101\t\t75\t\tDistinction\r\n"
                "\r\nDate Generated: 07 December 2026" +
                footer + hyphens + "\r\n");
}

TEST_F(MailFileTest, LettersFollowOneAnotherEachWithItsOwnDate) {
  TreeLiteral b({kTwoStudents});
  ASSERT_EQ(write(b.intake()), MailOutcome::kWritten);
  const StudentRecord& first = *b.intake().firstStudent;
  EXPECT_EQ(readFile(mailPath()),
            letterFrame(first, "06 December 2026") + letterFrame(*first.next, "07 December 2026"));
  EXPECT_EQ(clockReads_, 2);
  EXPECT_EQ(console_.str(), "");
  EXPECT_EQ(entries(), std::vector<std::string>{kMailFileName});
}

TEST_F(MailFileTest, IntakeWithoutStudentsLeavesAnEmptyFile) {
  TreeLiteral b({{"EMPTY"}});
  writeFile(mailPath(), "old letters");
  ASSERT_EQ(write(b.intake()), MailOutcome::kWritten);
  ASSERT_TRUE(fs::is_regular_file(mailPath()));
  EXPECT_EQ(fs::file_size(mailPath()), 0u);
}

TEST_F(MailFileTest, SecondRunLeavesOnlyItsOwnLetters) {
  TreeLiteral first({kTwoStudents});
  TreeLiteral second({{"TEST02", {{"st000009", "Noah Fraser", {{1, 1, {{"CS101", 20}}}}, kRyde}}}});
  ASSERT_EQ(write(first.intake()), MailOutcome::kWritten);
  ASSERT_EQ(write(second.intake()), MailOutcome::kWritten);
  EXPECT_EQ(readFile(mailPath()), letterFrame(*second, "08 December 2026"));
}

TEST_F(MailFileTest, MailFileThatIsAFolderCannotBeOpened) {
  TreeLiteral b({kTwoStudents});
  fs::create_directory(mailPath());
  writeFile(mailPath() / "kept", "kept");
  EXPECT_EQ(write(b.intake()), MailOutcome::kCannotOpen);
  EXPECT_EQ(console_.str(), "Cannot open output file\n");
  EXPECT_EQ(readFile(mailPath() / "kept"), "kept");
  EXPECT_EQ(entries(), std::vector<std::string>{kMailFileName});
}

TEST_F(MailFileTest, MissingFolderCannotBeOpened) {
  TreeLiteral b({kTwoStudents});
  EXPECT_EQ(write(b.intake(), (dir_ / "missing").string()), MailOutcome::kCannotOpen);
  EXPECT_EQ(console_.str(), "Cannot open output file\n");
  EXPECT_EQ(clockReads_, 0);
}

// The Access fixture's tree; none where no Access driver is installed (Windows without
// Microsoft's Access Database Engine, as under Wine).
LoadResult demoTree() {
  try {
    return loadRecordTree(DatabaseSource::file(TAVRINEL_FIXTURES_DIR "/demo.mdb"));
  } catch (const DatabaseError& error) {
    const std::string said = error.what();
    if (said.find("Access Database Engine") == std::string::npos &&
        said.find("Access driver") == std::string::npos) {
      throw;
    }
    return {};
  }
}

// The expected letters are written from the fixture's description, one LF for each CR LF.
TEST_F(MailFileTest, DemoIntakeMatchesTheLettersWrittenByHand) {
  RecordTreeOwner tree(demoTree().tree);
  if (tree.get() == nullptr) {
    GTEST_SKIP() << "no Access driver reads demo.mdb here";
  }
  const IntakeRecord* intake = tree.get();
  while (intake != nullptr && std::string(intake->code) != "APR23IT") {
    intake = intake->next;
  }
  ASSERT_NE(intake, nullptr);
  clock_ = [] { return localNoon(2026, 12, 6); };
  ASSERT_EQ(write(*intake), MailOutcome::kWritten);
  EXPECT_EQ(readFile(mailPath()),
            crlf(readFile(TAVRINEL_GOLDEN_DIR "/mail/demo-APR23IT/mail.txt")));
}

}  // namespace
