// End-to-end: the jobs without the keyboard, on pipes as cron runs them.
//
// Test plan
// 40. --letters writes the bytes that the menu's "Generate Mails" writes for the same intake, in
//     demo.mdb and edge.mdb (a student without address, an 8-character intake).
// 41. Each job's status, its one line on standard error and the files it leaves: done, no such
//     intake, data problems, wrong command lines, the database named as the file to write, a file
//     that cannot be written.
// 44. An intake as the office spells it: in capitals where the source compares without regard to
//     case, the empty intake as the menu takes it, a text the program cut to 15 characters named.
//     Every result of zero-length.mdb is exported once and every student stands once.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "e2e/pty_session.h"
#include "e2e/screen_steps.h"

using namespace e2e;

namespace {

const std::string kIntakePrompt =
    "\n\n\tPress ESC to back to Main Menu\n\tPlease enter Intake for mails generation: ";

// The menu's mail.txt for the intake, typed as an operator types it.
std::string lettersOfTheMenu(const std::string& fixture, const std::string& intake) {
  PtySession session(withFixture(fixture));
  EXPECT_TRUE(session.waitFor(kChoicePrompt));
  session.send("2");
  EXPECT_TRUE(session.waitFor("2<CLS>" + kIntakePrompt));
  EXPECT_TRUE(typeAndEnter(session, intake, "\n\tIntake " + intake + " found\n"));
  EXPECT_TRUE(typeLine(session, "y"));
  EXPECT_TRUE(session.waitFor("\n\tMails written to mail.txt\n" + kIntakePrompt));
  EXPECT_TRUE(escapeToMainMenuThenClose(session));
  return session.folder().readFile("mail.txt");
}

PipeRun runJob(const std::string& fixture, const std::vector<std::string>& arguments) {
  RunOptions options = fixture.empty() ? RunOptions{} : withFixture(fixture);
  options.arguments = arguments;
  PipeRun run = runOnPipes(options, "");
  run.files.erase(".input");  // the runner's own standard input
  return run;
}

}  // namespace

// 40
TEST(OfficeJobs, LettersAreTheBytesOfTheMenusMailRun) {
  for (const auto& [fixture, intake] :
       {std::pair<std::string, std::string>{"demo.mdb", "APR23IT"}, {"edge.mdb", "JAN24IT"}}) {
    SCOPED_TRACE(fixture);
    const std::string menu = lettersOfTheMenu(fixture, intake);
    ASSERT_FALSE(menu.empty());
    const PipeRun toStandardOutput = runJob(fixture, {"--letters", intake, "--output", "-"});
    EXPECT_EQ(toStandardOutput.status.code, 0) << toStandardOutput.err;
    EXPECT_EQ(toStandardOutput.out, menu);
    // The default file, named as the menu names it.
    const PipeRun toMailFile = runJob(fixture, {"--letters", intake});
    EXPECT_EQ(toMailFile.status.code, 0) << toMailFile.err;
    EXPECT_TRUE(toMailFile.out.empty());
    EXPECT_EQ(toMailFile.files, (std::set<std::string>{"Database.mdb", "mail.txt"}));
  }
}

// 41
TEST(OfficeJobs, StatusSummaryLineAndFilesOfEachJob) {
  struct Case {
    std::string fixture;
    std::vector<std::string> arguments;
    int status;
    std::string stderrPattern;  // the whole of standard error
    std::set<std::string> files;
  };
  const std::set<std::string> none = {"Database.mdb"};
  const std::string retry = "\nTry 'tavrinel --help'.\n";
  const std::vector<Case> cases = {
      {"demo.mdb",
       {"--letters", "apr23it"},
       0,
       "tavrinel: [0-9]+ letters of intake APR23IT written to mail.txt\n",
       {"Database.mdb", "mail.txt"}},
      {"demo.mdb",
       {"--letters=APR99XX"},
       5,
       "tavrinel: error: no student of intake 'APR99XX' in Database.mdb\n",
       none},
      {"demo.mdb",
       {"--letters", "APR23IT", "--printable", "p.html", "--paper", "letter"},
       0,
       "tavrinel: [0-9]+ printable letters of intake APR23IT \\(US Letter\\) written to p.html\n",
       {"Database.mdb", "p.html"}},
      {"demo.mdb",
       {"--export", "r.csv", "--intake", "APR23IT"},
       0,
       "tavrinel: [0-9]+ results of intake APR23IT written to r.csv\n",
       {"Database.mdb", "r.csv"}},
      {"demo.mdb",
       {"--standing", "s.csv"},
       0,
       "tavrinel: the standing of [0-9]+ students written to s.csv\n",
       {"Database.mdb", "s.csv"}},
      {"demo.mdb", {"--check"}, 0, "tavrinel: check of Database.mdb: no problem found\n", none},
      {"edge.mdb",
       {"--check"},
       4,
       "tavrinel: check of Database.mdb: [0-9]+ problems of [0-9]+ kinds\n",
       none},
      {"demo.mdb",
       {"--export", "r.csv", "--check"},
       2,
       "tavrinel: error: one job at a time: --export and --check" + retry,
       none},
      {"demo.mdb",
       {"--output", "x.txt"},
       2,
       "tavrinel: error: --output goes with --letters" + retry,
       none},
      {"demo.mdb",
       {"--letters", "APR23IT", "--printable", "p.html", "--paper", "a3"},
       2,
       "tavrinel: error: --paper is a4 or letter, not 'a3'" + retry,
       none},
      {"demo.mdb",
       {"--letters", "APR23IT", "--printable", "p.html", "--sender", "no-such.txt"},
       2,
       "tavrinel: error: --sender 'no-such.txt': cannot be read, or is not the office's name and "
       "at most four address lines of up to 60 characters each\n",
       none},
      {"demo.mdb",
       {"--export", "./Database.mdb"},
       2,
       "tavrinel: error: './Database.mdb' is the database itself, which is never written\n",
       none},
      {"demo.mdb",
       {"--letters", "APR23IT", "--output", "no/such/folder.txt"},
       3,
       "tavrinel: error: cannot write 'no/such/folder.txt': No such file or directory; an old "
       "file of that name is as it "
       "was\n",
       none},
      {"", {"--export", "r.csv"}, 1, "tavrinel: error: Cannot read Database.mdb: .*\n", {}},
  };
  for (const Case& c : cases) {
    const PipeRun run = runJob(c.fixture, c.arguments);
    SCOPED_TRACE(c.arguments[0] + " " + (c.arguments.size() > 1 ? c.arguments[1] : ""));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status.code, c.status) << run.status.describe();
    EXPECT_TRUE(std::regex_match(run.err, std::regex(c.stderrPattern))) << run.err;
    EXPECT_EQ(run.files, c.files);
  }
}

// 44
TEST(OfficeJobs, IntakesAreFoundAsTheOfficeSpellsThem) {
  const struct {
    std::string fixture;
    std::vector<std::string> arguments;
    int status;
    std::string stderrPattern;
  } cases[] = {
      // Access compares without regard to case: the intake stored as mar24it, typed in capitals.
      {"edge.mdb",
       {"--letters", "MAR24IT", "--output", "-"},
       0,
       "tavrinel: 1 letter of intake mar24it written to standard output\n"},
      // The empty intake, as Enter alone at the prompt: the student without intake, then the one
      // with the empty text.
      {"zero-length.mdb",
       {"--letters", "", "--output", "-"},
       0,
       "tavrinel: 2 letters of intake  written to standard output\n"},
      {"zero-length.mdb",
       {"--export", "-", "--intake="},
       0,
       "tavrinel: 3 results of intake  written to standard output\n"},
      {"zero-length.mdb",
       {"--standing", "-"},
       0,
       "tavrinel: the standing of 4 students written to standard output\n"},
      {"edge.mdb",
       {"--letters", "JAN2025PARTTIMEX"},
       5,
       "tavrinel: error: no student of intake 'JAN2025PARTTIMEX' in Database.mdb, which spells an "
       "intake 'JAN2025PARTTIME'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture + " " + c.arguments[0] + " '" + c.arguments[1] + "'");
    const PipeRun run = runJob(c.fixture, c.arguments);
    EXPECT_EQ(run.status.code, c.status) << run.status.describe();
    EXPECT_TRUE(std::regex_match(run.err, std::regex(c.stderrPattern))) << run.err;
  }
}
