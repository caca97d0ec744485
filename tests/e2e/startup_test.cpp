// End-to-end: the real program from start-up through the main menu to every way out.
//
// Test plan
//  1. Start-up on demo.mdb shows the banner; ESC closes: status 0, terminal as it was.
//  2. An invalid key is echoed, the screen cleared, the message shown above a fresh banner.
//  3. An arrow key at the main menu is two invalid inputs; the program keeps running.
//  4. Ctrl-C at the main menu: status 130, colours reset, terminal as it was.
//  5. End of input (standard input a pipe, the output a terminal) closes as ESC does: status 0.
//  6. Hang-up of the terminal ends the program at once: status 129.
//  7. A missing Database.mdb: one line on stderr, status 1, no pause.
//  8. A database of another schema: one line on stderr, status 1.
//  9. A database without students: the message, a pause for a key, status 1.
// 10. --help and --version print and exit 0; any other argument: usage on stderr, status 2.
// 11. Neither input nor output a terminal: nothing on stderr, no escape byte on stdout.
// 12. A database without students on pipes: the message without a pause, status 1.
#include <gtest/gtest.h>

#include <string>

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
  ASSERT_TRUE(session.waitFor("<0xE0><CLS>\n\t< Invalid Input: >\n"));
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
TEST(Signals, CtrlCEndsWithStatus130AndRestoresTheTerminal) {
  PtySession session(demo());
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kCtrlC);
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "exit status 130");
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
  EXPECT_EQ(session.exitStatus().describe(), "exit status 129");
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
  options.arguments = {"--help"};
  PipeRun help = runOnPipes(options, "");
  EXPECT_EQ(help.status.describe(), "exit status 0");
  EXPECT_EQ(help.out.rfind("usage: tavrinel [--connect CONNECTION | --help | --version]\n", 0), 0u)
      << help.out;
  EXPECT_EQ(help.err, "");

  options.arguments = {"--version"};
  PipeRun version = runOnPipes(options, "");
  EXPECT_EQ(version.status.describe(), "exit status 0");
  EXPECT_EQ(version.out.rfind("tavrinel 1.", 0), 0u) << version.out;
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;

  for (const char* bad : {"--bogus", "Database.mdb", "-h"}) {
    options.arguments = {bad};
    PipeRun refused = runOnPipes(options, "");
    EXPECT_EQ(refused.status.describe(), "exit status 2") << bad;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "tavrinel: error: unknown argument '" + std::string(bad) + "'\n" + help.out);
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
