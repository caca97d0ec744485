// End-to-end: the student ID prompt, the sub menu, the result listing and the chart.
//
// Test plan
// 21. An ID typed in upper case is folded and found; sub-menu keys 1 (listing, compared with the
//     hand-written listing), 2 (chart, then a key), an invalid key; ESC back to the main menu.
// 22. Not found, and the prompt again below: an unknown ID, Enter alone (two blanks in the
//     message), seven characters; then eight characters, a ninth key that is ignored and Enter.
// 23. ESC leaves the entry at every stage: as the first key, as the eighth key, after the eighth.
// 24. Keys without editing meaning are stored: an arrow key (two codes, the second folded),
//     Backspace (code 8), a function key whose prefix 0 ends the ID text there.
// 25. An upper-case stored ID cannot be found; the same ID in two intakes shows the student of
//     the intake that sorts first (JAN24IT).
// 26. Listings of demo and edge students equal the listings written by hand from the fixtures.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/pty_session.h"

using namespace e2e;

namespace {

const std::string kChoicePrompt = "Please Enter Your Choice: ";
const std::string kIdPrompt = "\n\tPlease enter Student ID to be search: ";
const std::string kSubMenuTop =
    "\n\t\t**********************************************\n"
    "\t\t*               Sub Menu:                    *\n";
const std::string kMainMenuTop =
    "<CLS>\n\t\t**********************************************\n"
    "\t\t*                  TAVRINEL                  *\n";
const std::string kClosing = "<CLS>Program Closing ...\n";

RunOptions withFixture(const std::string& name) {
  RunOptions options;
  options.fixture = fixturePath(name);
  return options;
}

std::string readGoldenListing(const std::string& studentId) {
  std::ifstream in(std::string(TAVRINEL_GOLDEN_DIR) + "/listing/" + studentId + ".txt",
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// From the main menu to the sub menu of the student; the ID is typed as given.
::testing::AssertionResult openStudent(PtySession& session, const std::string& typedId,
                                       const std::string& foundId) {
  session.send("1");
  ::testing::AssertionResult step = session.waitFor(kIdPrompt);
  if (step) {
    step = session.typeEchoed(typedId);
  }
  if (step) {
    session.send(keys::kEnter);
    step = session.waitFor("<CR>\n\n\tStudent ID " + foundId + " found\n" + kSubMenuTop);
  }
  if (step) {
    step = session.waitFor(kChoicePrompt);
  }
  return step;
}

// Sub-menu key 1: the listing stands between the cleared screen and the banner below it.
::testing::AssertionResult showListing(PtySession& session, std::string& listing) {
  session.send("1");
  const std::string start = "1<CLS>\n\n";
  ::testing::AssertionResult step = session.waitFor(start);
  if (step) {
    step = session.waitFor(kSubMenuTop);
  }
  if (step) {
    step = session.waitFor(kChoicePrompt);
  }
  if (step) {
    const std::string text = session.transcript();
    const std::size_t from = text.rfind(start) + start.size();
    listing = text.substr(from, text.find(kSubMenuTop, from) - from);
  }
  return step;
}

// ESC at the sub menu, then ESC at the main menu; the program ends.
void leaveAndClose(PtySession& session) {
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor(kMainMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor(kClosing));
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "exit status 0");
  EXPECT_TRUE(session.terminalRestored());
}

}  // namespace

// 21
TEST(StudentSearch, UpperCaseIdIsFoldedFoundAndEverySubMenuKeyActs) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  // Echoed as typed, stored and reported folded.
  ASSERT_TRUE(openStudent(session, "ST230401", "st230401"));

  std::string listing;
  ASSERT_TRUE(showListing(session, listing));
  EXPECT_EQ(listing, readGoldenListing("st230401"));

  session.send("2");
  ASSERT_TRUE(session.waitFor("2<CLS>\n\t****"));
  ASSERT_TRUE(session.waitFor("Perforamnace Chart for Aisha Rahman"));
  ASSERT_TRUE(session.waitFor("\nPress any key to continue"));
  session.send("k");
  ASSERT_TRUE(session.waitFor("<CLS>" + kSubMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  session.send("x");
  ASSERT_TRUE(session.waitFor("x<CLS>\n\t< Invalid Input: >\n" + kSubMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  leaveAndClose(session);
  // A key not echoed at the sub menu: ESC leaves no trace before the main menu's clear.
  EXPECT_NE(session.transcript().find(kChoicePrompt + kMainMenuTop), std::string::npos);
  EXPECT_TRUE(matchesGolden("21-search-found-and-sub-menu", session.transcript()));
}

// 22
TEST(StudentSearch, NotFoundRepeatsThePromptAndANinthKeyIsIgnored) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send("1");
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  ASSERT_TRUE(session.typeEchoed("st999999"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID st999999 not found\n\n\n\tPress ESC"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID  not found\n"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // Seven characters of an existing ID: the search takes the seven, not a prefix match.
  ASSERT_TRUE(session.typeEchoed("st23040"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID st23040 not found\n"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // The ninth key is echoed but not stored, and the entry waits for Enter.
  ASSERT_TRUE(session.typeEchoed("st2304019"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID st230401 found\n" + kSubMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  leaveAndClose(session);
  EXPECT_TRUE(matchesGolden("22-search-not-found", session.transcript()));
}

// 23
TEST(StudentSearch, EscapeLeavesTheEntryAtEveryStage) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  session.send("1");
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor("<ESC>" + kMainMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  session.send("1");
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  ASSERT_TRUE(session.typeEchoed("st23040"));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor("<ESC>" + kMainMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  session.send("1");
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  ASSERT_TRUE(session.typeEchoed("st230401"));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor("<ESC>" + kMainMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor(kClosing));
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "exit status 0");
  EXPECT_TRUE(session.terminalRestored());
  // Nothing was searched for.
  EXPECT_EQ(session.transcript().find("\tStudent ID "), std::string::npos);
  EXPECT_TRUE(matchesGolden("23-search-escape", session.transcript()));
}

// 24
TEST(StudentSearch, ArrowBackspaceAndFunctionKeysAreStoredAsCodes) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send("1");
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // Left is 224 and 75 ('K'): the prefix stays as it is, the 'K' is folded like a typed one.
  ASSERT_TRUE(session.typeEchoed("st23"));
  session.send(keys::kLeft);
  ASSERT_TRUE(session.waitFor("<0xE0>K"));
  ASSERT_TRUE(session.typeEchoed("0401"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID st23<0xE0>k04 not found\n"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  ASSERT_TRUE(session.typeEchoed("st"));
  session.send(keys::kBackspace);
  ASSERT_TRUE(session.waitFor("<0x08>"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID st<0x08> not found\n"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // F1 is 0 and 59: the stored 0 ends the text, so "st" is searched for.
  ASSERT_TRUE(session.typeEchoed("st"));
  session.send(keys::kF1);
  ASSERT_TRUE(session.waitFor("<0x00>;"));
  ASSERT_TRUE(session.typeEchoed("x"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID st not found\n"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor(kMainMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor(kClosing));
  ASSERT_TRUE(session.waitForExit());
  EXPECT_EQ(session.exitStatus().describe(), "exit status 0");
  EXPECT_TRUE(session.terminalRestored());
  EXPECT_TRUE(matchesGolden("24-search-key-codes", session.transcript()));
}

// 25
TEST(StudentSearch, SameIdInTwoIntakesShowsTheIntakeThatSortsFirst) {
  PtySession session(withFixture("edge.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  // Only lower-case IDs can be found: the stored upper-case ED0019 is out of reach.
  session.send("1");
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  ASSERT_TRUE(session.typeEchoed("ED0019"));
  session.send(keys::kEnter);
  ASSERT_TRUE(session.waitFor("<CR>\n\n\tStudent ID ed0019 not found\n"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  session.send(keys::kEscape);
  ASSERT_TRUE(session.waitFor(kMainMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  ASSERT_TRUE(openStudent(session, "ed0009", "ed0009"));
  std::string listing;
  ASSERT_TRUE(showListing(session, listing));
  // Written from the fixtures: both rows share the results; only the intake tells them apart.
  EXPECT_EQ(listing,
            "Name\t: Priya Raman\n"
            "ID\t: ed0009\n"
            "Intake\t: JAN24IT\n"
            "\n"
            "Level 1: \n"
            "\tSemester 1: \n"
            "\t\tIT101\t\t77\t\tDistinction\n"
            "\t\tIT102\t\t52\t\tPass\n");
  leaveAndClose(session);
  EXPECT_TRUE(matchesGolden("25-search-same-id-two-intakes", session.transcript()));
}

// 26
TEST(StudentSearch, ListingsEqualTheListingsWrittenByHand) {
  const struct {
    const char* fixture;
    std::vector<std::string> students;
  } kCases[] = {
      {"demo.mdb", {"st230401", "st240401"}},
      {"edge.mdb", {"ed0002", "ed0003", "ed0005", "ed000022"}},
  };
  for (const auto& fixtureCase : kCases) {
    SCOPED_TRACE(fixtureCase.fixture);
    PtySession session(withFixture(fixtureCase.fixture));
    ASSERT_TRUE(session.waitFor(kChoicePrompt));
    for (const std::string& id : fixtureCase.students) {
      SCOPED_TRACE(id);
      const std::string expected = readGoldenListing(id);
      ASSERT_FALSE(expected.empty()) << "no hand-written listing for " << id;
      ASSERT_TRUE(openStudent(session, id, id));
      std::string listing;
      ASSERT_TRUE(showListing(session, listing));
      EXPECT_EQ(listing, expected);
      session.send(keys::kEscape);
      ASSERT_TRUE(session.waitFor(kMainMenuTop));
      ASSERT_TRUE(session.waitFor(kChoicePrompt));
    }
    session.send(keys::kEscape);
    ASSERT_TRUE(session.waitFor(kClosing));
    ASSERT_TRUE(session.waitForExit());
    EXPECT_EQ(session.exitStatus().describe(), "exit status 0");
    EXPECT_TRUE(session.terminalRestored());
  }
}
