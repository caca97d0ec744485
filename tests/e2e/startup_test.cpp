// End-to-end: the real program from start-up through the main menu to every way out.
//
// Test plan
//  1. Start-up on demo.mdb shows the banner; ESC closes: status 0, terminal as it was.
//  2. An invalid key is echoed, the screen cleared, the message shown above a fresh banner.
//  3. An arrow key at the main menu is two invalid inputs; the program keeps running.
//  4. Ctrl-C at the main menu: ended by SIGINT, colours reset, terminal as it was.
//  5. End of input (standard input a pipe, the output a terminal) closes as ESC does: status 0.
//  6. Hang-up of the terminal ends the program at once, by SIGHUP.
//  7. A missing Database.mdb: one line on stderr, status 1, no pause.
//  8. A database of another schema: one line on stderr, status 1.
//  9. A database without students: the message, a pause for a key, status 1.
// 10. -h/--help and -V/--version print and exit 0; an unknown option or a second file: the problem
//     and where to look on stderr, status 2.
// 11. Neither input nor output a terminal: nothing on stderr, no escape byte on stdout.
// 12. A database without students on pipes: the message without a pause, status 1.
// 13. A database named on the command line is read from there, and every message names it as
//     given; mail.txt still lands in the working folder.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "e2e/pty_session.h"
#include "e2e/screen_steps.h"

using namespace e2e;

// 1
TEST(StartUp, BannerThenEscapeClosesAndRestoresTheTerminal) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(escapeToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("01-escape-closes", session.transcript()));
}

// 2
TEST(MainMenu, InvalidKeyIsEchoedClearedAndReported) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send("x");
  ASSERT_TRUE(session.waitFor("x<CLS>\n\t< Invalid Input: >\n"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitForExit());
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("02-invalid-key", session.transcript()));
}

// 3
TEST(MainMenu, ArrowKeyIsTwoInvalidInputsAndTheProgramGoesOn) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kUp);
  // The prefix 224 and the code 72 ('H'), each echoed and reported.
  ASSERT_TRUE(session.waitFor("?<CLS>\n\t< Invalid Input: >\n"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt + "H<CLS>\n\t< Invalid Input: >\n"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send("z");
  ASSERT_TRUE(session.waitFor("z<CLS>"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitForExit());
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("03-arrow-key", session.transcript()));
}

// 4
TEST(Signals, CtrlCEndsByTheSignalAndRestoresTheTerminal) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kCtrlC);
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "killed by signal 2");
  EXPECT_TRUE(session.terminalRestored());
  EXPECT_TRUE(matchesGolden("04-ctrl-c", session.transcript()));
}

// 5
TEST(EndOfInput, ClosedInputClosesTheProgramAsEscapeDoes) {
  PtySession session(withInputFromPipe(demo()));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send("x");
  ASSERT_TRUE(session.waitFor("x<CLS>"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(endInputToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("05-end-of-input", session.transcript()));
}

// 6
TEST(Signals, HangUpEndsTheProgram) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.hangUp();
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "killed by signal 1");
}

// 7
TEST(Database, MissingFileIsOneLineOnStderrAndStatus1) {
  PtySession session(RunOptions{});
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "exit status 1");
  EXPECT_TRUE(session.terminalRestored());
  EXPECT_TRUE(matchesGolden("07-missing-database", session.transcript()));
}

// 8
TEST(Database, ForeignSchemaIsOneLineOnStderrAndStatus1) {
  RunOptions options;
  options.fixture = sharedFixturePath("foreign/nwind.mdb");
  if (options.fixture.empty()) {
    GTEST_SKIP() << "foreign/nwind.mdb is not beside the checkout";
  }
  PipeRun run = runOnPipes(options, "");
  EXPECT_EQ(run.status.describe(), "exit status 1");
  EXPECT_EQ(run.out, "Loading ...\n");
  ASSERT_EQ(run.err.rfind("tavrinel: error: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
}

// 9
TEST(Database, NoStudentSaysSoAndWaitsForAKey) {
  PtySession session(withFixture("empty.mdb"));
  ASSERT_TRUE(session.waitFor("Press any key to continue . . . "));
  session.send("k");
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "exit status 1");
  EXPECT_TRUE(session.terminalRestored());
  EXPECT_TRUE(matchesGolden("09-no-student", session.transcript()));
}

// 10
TEST(Arguments, HelpVersionAndRefusal) {
  RunOptions options;
  for (const char* help : {"--help", "-h"}) {
    options.arguments = {help};
    PipeRun run = runOnPipes(options, "");
    EXPECT_EQ(run.status.describe(), "exit status 0") << help;
    EXPECT_EQ(run.out.rfind("usage: tavrinel [--plain] [DATABASE]\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("written to mail.txt in the\nworking folder"), std::string::npos);
    EXPECT_EQ(run.err, "");
  }
  for (const char* version : {"--version", "-V"}) {
    options.arguments = {version};
    PipeRun run = runOnPipes(options, "");
    EXPECT_EQ(run.status.describe(), "exit status 0") << version;
    EXPECT_EQ(run.out.rfind("tavrinel 1.", 0), 0u) << run.out;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
  }
  const struct {
    std::vector<std::string> arguments;
    const char* problem;
  } refusals[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"office.mdb", "-x"}, "unknown option '-x'"},
      {{"a.mdb", "b.mdb"}, "more than one database file: 'a.mdb' and 'b.mdb'"},
      {{"--connect"}, "--connect needs a connection string"},
      {{"a.mdb", "--connect=DSN=office"}, "a database file and --connect: name one of them"},
  };
  for (const auto& refusal : refusals) {
    options.arguments = refusal.arguments;
    PipeRun run = runOnPipes(options, "");
    EXPECT_EQ(run.status.describe(), "exit status 2") << refusal.problem;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "tavrinel: error: " + std::string(refusal.problem) + "\nTry 'tavrinel --help'.\n");
  }
}

// 11
TEST(Pipes, PlainTextOnStdoutAndNothingOnStderr) {
  PipeRun run = runOnPipes(demo(), std::string("x") + keys::kUp + "\x1b");
  EXPECT_EQ(run.status.describe(), "exit status 0");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  EXPECT_TRUE(matchesGolden("11-pipes", normaliseTranscript(run.out)));
}

// 12
TEST(Pipes, NoStudentEndsWithoutAPause) {
  PipeRun run = runOnPipes(withFixture("empty.mdb"), "k");
  EXPECT_EQ(run.status.describe(), "exit status 1");
  EXPECT_EQ(run.out, "Loading ...\n\n\n\tNo student found in Database.mdb\n");
  EXPECT_EQ(run.err, "");
}

// 13
TEST(Database, NamedOnTheCommandLineAndInEveryMessage) {
  RunOptions options = demo();
  options.databaseName = "records/office 2024.mdb";
  options.arguments = {"records/office 2024.mdb"};
  // Intake APR24IT, yes, then ESC at the intake prompt and at the main menu.
  PipeRun run = runOnPipes(options, "2apr24it\ry\n\x1b\x1b");
  EXPECT_EQ(run.status.describe(), "exit status 0");
  EXPECT_NE(run.out.find("\n\tMails written to mail.txt\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.files,
            (std::set<std::string>{".input", "mail.txt", "records", "records/office 2024.mdb"}));

  options = withFixture("empty.mdb");
  options.databaseName = "records/empty.mdb";
  options.arguments = {"records/empty.mdb"};
  run = runOnPipes(options, "");
  EXPECT_EQ(run.status.describe(), "exit status 1");
  EXPECT_EQ(run.out, "Loading ...\n\n\n\tNo student found in records/empty.mdb\n");

  options.arguments = {"./records/none.mdb"};
  run = runOnPipes(options, "");
  EXPECT_EQ(run.status.describe(), "exit status 1");
  EXPECT_EQ(run.err, "tavrinel: error: Cannot read ./records/none.mdb: file not found\n");
}
