// Screens and steps that many end-to-end cases pass through on their way to the screen they test,
// so that a case spells out only what it is about.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "e2e/pty_session.h"

namespace e2e {

// Texts of the screens as the transcript shows them.
extern const std::string kChoicePrompt;
extern const std::string kIdPrompt;
extern const std::string kMainMenuTop;
extern const std::string kSubMenuTop;
extern const std::string kClosing;

// Runs on a copy of the named fixture.
RunOptions withFixture(const std::string& name);
RunOptions demo();
// Standard input a pipe that the case can close, the output still the terminal.
RunOptions withInputFromPipe(RunOptions options);

// Reads a file below tests/golden as it is; empty when it does not exist.
std::string readGolden(const std::string& relativePath);

// Steps. Each returns at its first failed wait, so a case can ASSERT on the step as a whole.

// Main-menu key 1, up to the student ID prompt.
::testing::AssertionResult openIdPrompt(PtySession& session);
// From the main menu to the sub menu of the student found under foundId.
::testing::AssertionResult openStudent(PtySession& session, const std::string& typedId,
                                       const std::string& foundId);
::testing::AssertionResult openStudent(PtySession& session, const std::string& id);
// Printable keys, each waited for, then Enter: the screen answers after the echoed CR.
::testing::AssertionResult typeAndEnter(PtySession& session, const std::string& printableKeys,
                                        const std::string& answer);
// Enter on a key entry that already holds what the case typed.
::testing::AssertionResult enterAndExpect(PtySession& session, const std::string& answer);
// A line typed at a line prompt: echoed as typed, Enter as a new line.
::testing::AssertionResult typeLine(PtySession& session, const std::string& line);
// A screen of the sub menu has ended: the sub menu is drawn afresh and asks for a choice.
::testing::AssertionResult backAtSubMenu(PtySession& session);
// ESC back to the main menu, from a menu or a key entry: ESC is never echoed.
::testing::AssertionResult escapeToMainMenu(PtySession& session);
// ESC at the main menu: the closing line, then the end of the program.
::testing::AssertionResult escapeToClose(PtySession& session);
// escapeToMainMenu, then escapeToClose: from a screen below the main menu to the end.
::testing::AssertionResult escapeToMainMenuThenClose(PtySession& session);
// Standard input ends (with withInputFromPipe): the program closes as ESC would close it.
::testing::AssertionResult endInputToClose(PtySession& session);

// The program ended with status 0 and left the terminal in the mode it was started in; both are
// checked, and each one that fails is reported.
::testing::AssertionResult exitedCleanly(const PtySession& session);

}  // namespace e2e
