// End-to-end: the intake prompt, the mail question and the mail.txt it writes.
//
// Test plan
// 32. demo.mdb: a lower-case intake is folded and found; 'x' asks again, 'n' writes nothing; an
//     unknown intake and Enter alone are not found; 'yes' counts as y and writes mail.txt, which
//     equals the letters written by hand (CR LF, today's date); ESC back to the main menu.
// 33. edge.mdb: an 8-character intake ends the entry by itself; 'Y' writes its one letter, 'N'
//     for another leaves the file as it was, 'y' replaces it; intakes that cannot be typed (a
//     stored lower-case code, a code longer than eight characters) are not found.
// 34. Under a file size limit smaller than the letters: "Cannot write output file", the old
//     mail.txt as it was, no temporary file left, and the program goes on and closes as usual.
// 35. zero-length.mdb and the SQLite file of zero-length.sql: the letters of the intake that is a
//     zero-length text (Enter alone), which also holds the student without intake, are the same,
//     byte for byte but for the date.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "e2e/pty_session.h"
#include "e2e/screen_steps.h"

using namespace e2e;

namespace {

const std::string kIntakePrompt =
    "\n\n\tPress ESC to back to Main Menu\n\tPlease enter Intake for mails generation: ";
const std::string kQuestion = "\tGenerate Mails? (y/n):";
const std::string kWritten = "\n\tMails written to mail.txt\n";
// The date the hand-written letters carry.
const std::string kHandWrittenDate = "06 December 2026";

std::string today() {
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  ::localtime_r(&now, &local);
  char text[51];
  std::strftime(text, sizeof text, "%d %B %Y", &local);
  return text;
}

// Main-menu key 2, up to the intake prompt on a cleared screen.
::testing::AssertionResult openIntakePrompt(PtySession& session) {
  session.send("2");
  return session.waitFor("2<CLS>" + kIntakePrompt);
}

bool mailExists(const PtySession& session) {
  return std::filesystem::exists(session.folder().file("mail.txt"));
}

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Every line of the file must end with CR LF, the last one included; gives the text with LF.
::testing::AssertionResult toLineFeeds(const std::string& crlf, std::string& lf) {
  if (crlf.size() < 2 || crlf.compare(crlf.size() - 2, 2, "\r\n") != 0) {
    return ::testing::AssertionFailure() << "the file does not end with CR LF";
  }
  lf.clear();
  for (std::size_t i = 0; i < crlf.size(); ++i) {
    if (crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n') {
      lf += '\n';
      ++i;
      continue;
    }
    if (crlf[i] == '\n' || crlf[i] == '\r') {
      return ::testing::AssertionFailure() << "a lone line-end byte at offset " << i;
    }
    lf += crlf[i];
  }
  return ::testing::AssertionSuccess();
}

// Replaces each letter's date with the hand-written one, once it is shown to be the run's day.
::testing::AssertionResult withHandWrittenDate(const std::string& text,
                                               const std::set<std::string>& runDays,
                                               std::string& replaced) {
  static const std::regex kDateLine("Date Generated: ([^\n]*)\n");
  replaced.clear();
  std::size_t copied = 0;
  int letters = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kDateLine);
       it != std::sregex_iterator(); ++it) {
    if (runDays.count((*it)[1].str()) == 0) {
      return ::testing::AssertionFailure() << "date \"" << (*it)[1].str() << "\" is not today";
    }
    replaced += text.substr(copied, static_cast<std::size_t>(it->position(1)) - copied);
    replaced += kHandWrittenDate;
    copied = static_cast<std::size_t>(it->position(1) + it->length(1));
    ++letters;
  }
  replaced += text.substr(copied);
  if (letters == 0) {
    return ::testing::AssertionFailure() << "no date line";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

// 32
TEST(ResultMails, FoldedIntakeAnswersAndTheLettersWrittenByHand) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openIntakePrompt(session));

  ASSERT_TRUE(typeAndEnter(session, "apr23it", "\n\tIntake APR23IT found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "x"));
  ASSERT_TRUE(session.waitFor("\n\tIntake APR23IT found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "n"));
  ASSERT_TRUE(session.waitFor(kIntakePrompt));
  EXPECT_FALSE(mailExists(session)) << "'n' must not write mail.txt";

  ASSERT_TRUE(typeAndEnter(session, "apr25it", "\n\n\tIntake APR25IT not found\n" + kIntakePrompt));
  ASSERT_TRUE(enterAndExpect(session, "\n\n\tIntake  not found\n" + kIntakePrompt));

  std::set<std::string> runDays = {today()};
  ASSERT_TRUE(typeAndEnter(session, "apr23it", "\n\tIntake APR23IT found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "yes"));
  ASSERT_TRUE(session.waitFor(kWritten + kIntakePrompt));
  runDays.insert(today());
  // Only the rest of the line "yes" was thrown away: no second question, no second file.
  EXPECT_EQ(filesIn(session.folder().path()), (std::set<std::string>{"Database.mdb", "mail.txt"}));

  std::string lineFeeds;
  ASSERT_TRUE(toLineFeeds(session.folder().readFile("mail.txt"), lineFeeds));
  std::string comparable;
  ASSERT_TRUE(withHandWrittenDate(lineFeeds, runDays, comparable));
  EXPECT_EQ(comparable, readGolden("mail/demo-APR23IT/mail.txt"));

  ASSERT_TRUE(escapeToMainMenu(session));
  ASSERT_TRUE(escapeToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("32-mails-demo", session.transcript()));
}

// 33
TEST(ResultMails, EightCharacterIntakeEndsByItselfAndAnswersKeepOrReplaceTheFile) {
  PtySession session(withFixture("edge.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openIntakePrompt(session));

  // No Enter: the eighth key ends the entry and the lookup follows at once.
  ASSERT_TRUE(session.typeEchoed("aug'24it"));
  ASSERT_TRUE(session.waitFor("\n\tIntake AUG'24IT found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "Y"));
  ASSERT_TRUE(session.waitFor(kWritten + kIntakePrompt));
  const std::string august = session.folder().readFile("mail.txt");
  // The one student of the intake, written from the fixtures; the listing lines are exact.
  EXPECT_NE(august.find("\r\nMr/Miss Jack Dawson,\r\n\r\n"
                        "The Following is your results for all the subjects enrolled:\r\n\r\n"
                        "Name\t: Jack Dawson\r\nID\t: ed0010\r\nIntake\t: AUG'24IT\r\n\r\n"
                        "Level 1: \r\n\tSemester 1: \r\n\t\tIT101\t\t58\t\tPass\r\n\r\n"
                        "Date Generated: "),
            std::string::npos)
      << august;
  EXPECT_EQ(august.find("Mr/Miss", august.find("Mr/Miss") + 1), std::string::npos) << august;

  ASSERT_TRUE(session.typeEchoed("SEP24NET"));
  ASSERT_TRUE(session.waitFor("\n\tIntake SEP24NET found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "N"));
  ASSERT_TRUE(session.waitFor(kIntakePrompt));
  EXPECT_EQ(session.folder().readFile("mail.txt"), august) << "'N' must leave mail.txt alone";

  ASSERT_TRUE(session.typeEchoed("sep24net"));
  ASSERT_TRUE(session.waitFor("\n\tIntake SEP24NET found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "y"));
  ASSERT_TRUE(session.waitFor(kWritten + kIntakePrompt));
  const std::string september = session.folder().readFile("mail.txt");
  EXPECT_NE(september.find("\r\nMr/Miss Ava Nguyen,\r\n"), std::string::npos) << september;
  EXPECT_EQ(september.find("Jack Dawson"), std::string::npos) << "the old letters stay";

  // Stored as mar24it: typed keys fold to upper case and never reach it.
  ASSERT_TRUE(typeAndEnter(session, "mar24it", "\n\n\tIntake MAR24IT not found\n" + kIntakePrompt));
  // The eight keys typed of JAN2025PARTTIME are all the entry holds.
  ASSERT_TRUE(session.typeEchoed("jan2025p"));
  ASSERT_TRUE(session.waitFor("\n\n\tIntake JAN2025P not found\n" + kIntakePrompt));

  ASSERT_TRUE(escapeToMainMenu(session));
  ASSERT_TRUE(escapeToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("33-mails-edge", session.transcript()));
}

// 34
TEST(ResultMails, FileSizeLimitCannotWriteAndKeepsTheOldFile) {
  RunOptions options = demo();
  options.fileSizeLimit = 1024;
  PtySession session(options);
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  const std::string old = "old letters\r\n";
  std::ofstream(session.folder().file("mail.txt"), std::ios::binary) << old;
  ASSERT_TRUE(openIntakePrompt(session));

  ASSERT_TRUE(typeAndEnter(session, "apr23it", "\n\tIntake APR23IT found\n" + kQuestion));
  ASSERT_TRUE(typeLine(session, "y"));
  ASSERT_TRUE(session.waitFor("Cannot write output file\n" + kIntakePrompt));
  EXPECT_EQ(session.folder().readFile("mail.txt"), old);
  EXPECT_EQ(filesIn(session.folder().path()), (std::set<std::string>{"Database.mdb", "mail.txt"}));

  ASSERT_TRUE(escapeToMainMenu(session));
  ASSERT_TRUE(escapeToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
}

// 35
TEST(ResultMails, ZeroLengthIntakeGivesTheSameLettersFromAccessAsFromSqlite) {
  ScratchFolder made;
  const std::string sqlite = made.file("zero-length.db");
  {
    std::ifstream script(fixturePath("zero-length.sql"), std::ios::binary);
    std::ostringstream text;
    text << script.rdbuf();
    sqlite3* db = nullptr;
    sqlite3_open(sqlite.c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  std::string letters[2];
  const std::string fixtures[2] = {fixturePath("zero-length.mdb"), sqlite};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(fixtures[i]);
    RunOptions options;
    options.fixture = fixtures[i];
    PtySession session(options);
    ASSERT_TRUE(session.waitFor(kChoicePrompt));
    ASSERT_TRUE(openIntakePrompt(session));
    std::set<std::string> runDays = {today()};
    ASSERT_TRUE(enterAndExpect(session, "\n\tIntake  found\n" + kQuestion));
    ASSERT_TRUE(typeLine(session, "y"));
    ASSERT_TRUE(session.waitFor(kWritten + kIntakePrompt));
    runDays.insert(today());
    std::string lineFeeds;
    ASSERT_TRUE(toLineFeeds(session.folder().readFile("mail.txt"), lineFeeds));
    ASSERT_TRUE(withHandWrittenDate(lineFeeds, runDays, letters[i]));
    ASSERT_TRUE(escapeToMainMenu(session));
    ASSERT_TRUE(escapeToClose(session));
    EXPECT_TRUE(exitedCleanly(session));
  }
  // The student without intake first, then the one whose intake is the empty text, each once.
  const std::size_t withoutIntake = letters[0].find("ID\t: zl000003");
  EXPECT_LT(withoutIntake, letters[0].find("ID\t: zl000002"));
  EXPECT_EQ(letters[0].find("ID\t: zl000002"), letters[0].rfind("ID\t: zl000002"));
  EXPECT_EQ(letters[0], letters[1]);
}
