// Screens and steps shared by the end-to-end cases.
#include "e2e/screen_steps.h"

#include <fstream>
#include <sstream>

namespace e2e {

const std::string kChoicePrompt = "Please Enter Your Choice: ";
const std::string kIdPrompt = "\n\tPlease enter Student ID to be search: ";
const std::string kMainMenuTop =
    "<CLS>\n\t\t**********************************************\n"
    "\t\t*                  TAVRINEL                  *\n";
const std::string kSubMenuTop =
    "\n\t\t**********************************************\n"
    "\t\t*               Sub Menu:                    *\n";
const std::string kClosing = "<RESET><CLS>Program Closing ...\n";

RunOptions withFixture(const std::string& name) {
  RunOptions options;
  options.fixture = fixturePath(name);
  return options;
}

RunOptions demo() {
  return withFixture("demo.mdb");
}

RunOptions withInputFromPipe(RunOptions options) {
  options.inputFromPipe = true;
  return options;
}

std::string readGolden(const std::string& relativePath) {
  std::ifstream in(std::string(TAVRINEL_GOLDEN_DIR) + "/" + relativePath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

::testing::AssertionResult openIdPrompt(PtySession& session) {
  session.send("1");
  return session.waitFor(kIdPrompt);
}

::testing::AssertionResult openStudent(PtySession& session, const std::string& typedId,
                                       const std::string& foundId) {
  ::testing::AssertionResult step = openIdPrompt(session);
  if (step) {
    step = typeAndEnter(session, typedId, "\n\n\tStudent ID " + foundId + " found\n" + kSubMenuTop);
  }
  if (step) {
    step = session.waitFor(kChoicePrompt);
  }
  return step;
}

::testing::AssertionResult openStudent(PtySession& session, const std::string& id) {
  return openStudent(session, id, id);
}

::testing::AssertionResult typeAndEnter(PtySession& session, const std::string& printableKeys,
                                        const std::string& answer) {
  ::testing::AssertionResult step = session.typeEchoed(printableKeys);
  if (step) {
    step = enterAndExpect(session, answer);
  }
  return step;
}

::testing::AssertionResult enterAndExpect(PtySession& session, const std::string& answer) {
  session.send(keys::kEnter);
  return session.waitFor("<CR>" + answer);
}

::testing::AssertionResult typeLine(PtySession& session, const std::string& line) {
  session.send(line + keys::kEnter);
  return session.waitFor(line + "\n");
}

::testing::AssertionResult backAtSubMenu(PtySession& session) {
  ::testing::AssertionResult step = session.waitFor("<CLS>" + kSubMenuTop);
  if (step) {
    step = session.waitFor(kChoicePrompt);
  }
  return step;
}

namespace {

::testing::AssertionResult closingThenExit(PtySession& session) {
  ::testing::AssertionResult step = session.waitFor(kClosing);
  if (step) {
    step = session.waitForExit();
  }
  return step;
}

}  // namespace

::testing::AssertionResult escapeToMainMenu(PtySession& session) {
  session.send(keys::kEscape);
  ::testing::AssertionResult step = session.waitFor(kMainMenuTop);
  if (step) {
    step = session.waitFor(kChoicePrompt);
  }
  return step;
}

::testing::AssertionResult escapeToClose(PtySession& session) {
  session.send(keys::kEscape);
  return closingThenExit(session);
}

::testing::AssertionResult escapeToMainMenuThenClose(PtySession& session) {
  ::testing::AssertionResult step = escapeToMainMenu(session);
  if (step) {
    step = escapeToClose(session);
  }
  return step;
}

::testing::AssertionResult endInputToClose(PtySession& session) {
  session.closeInput();
  return closingThenExit(session);
}

::testing::AssertionResult exitedCleanly(const PtySession& session) {
  const std::string status = session.exitStatus().describe();
  const ::testing::AssertionResult restored = session.terminalRestored();
  if (status == "exit status 0" && restored) {
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult failed = ::testing::AssertionFailure();
  if (status != "exit status 0") {
    failed << status << ", expected exit status 0\n";
  }
  if (!restored) {
    failed << restored.message();
  }
  return failed;
}

}  // namespace e2e
