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

#include <string>
#include <vector>

#include "e2e/pty_session.h"
#include "e2e/screen_steps.h"

using namespace e2e;

namespace {

std::string readGoldenListing(const std::string& studentId) {
  return readGolden("listing/" + studentId + ".txt");
}

// What the ID prompt answers to an ID it cannot find.
std::string notFound(const std::string& shownId) {
  return "\n\n\tStudent ID " + shownId + " not found\n";
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
  ASSERT_TRUE(backAtSubMenu(session));

  session.send("x");
  ASSERT_TRUE(session.waitFor("x<CLS>\n\t< Invalid Input: >\n" + kSubMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  // A key not echoed at the sub menu: ESC leaves no trace before the main menu's clear.
  EXPECT_NE(session.transcript().find(kChoicePrompt + kMainMenuTop), std::string::npos);
  EXPECT_TRUE(matchesGolden("21-search-found-and-sub-menu", session.transcript()));
}

// 22
TEST(StudentSearch, NotFoundRepeatsThePromptAndANinthKeyIsIgnored) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openIdPrompt(session));

  ASSERT_TRUE(typeAndEnter(session, "st999999", notFound("st999999") + "\n\n\tPress ESC"));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  ASSERT_TRUE(enterAndExpect(session, notFound("")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // Seven characters of an existing ID: the search takes the seven, not a prefix match.
  ASSERT_TRUE(typeAndEnter(session, "st23040", notFound("st23040")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // The ninth key is echoed but not stored, and the entry waits for Enter.
  ASSERT_TRUE(
      typeAndEnter(session, "st2304019", "\n\n\tStudent ID st230401 found\n" + kSubMenuTop));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("22-search-not-found", session.transcript()));
}

// 23
TEST(StudentSearch, EscapeLeavesTheEntryAtEveryStage) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));

  ASSERT_TRUE(openIdPrompt(session));
  ASSERT_TRUE(escapeToMainMenu(session));

  ASSERT_TRUE(openIdPrompt(session));
  ASSERT_TRUE(session.typeEchoed("st23040"));
  ASSERT_TRUE(escapeToMainMenu(session));

  ASSERT_TRUE(openIdPrompt(session));
  ASSERT_TRUE(session.typeEchoed("st230401"));
  ASSERT_TRUE(escapeToMainMenu(session));

  ASSERT_TRUE(escapeToClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  // Nothing was searched for.
  EXPECT_EQ(session.transcript().find("\tStudent ID "), std::string::npos);
  EXPECT_TRUE(matchesGolden("23-search-escape", session.transcript()));
}

// 24
TEST(StudentSearch, ArrowBackspaceAndFunctionKeysAreStoredAsCodes) {
  PtySession session(withFixture("demo.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  ASSERT_TRUE(openIdPrompt(session));

  // Left is 224 and 75 ('K'): the prefix stays as it is (shown as no character), the 'K' is
  // folded like a typed one, and both count among the eight.
  ASSERT_TRUE(session.typeEchoed("st23"));
  session.send(keys::kLeft);
  ASSERT_TRUE(session.waitFor("?K"));
  ASSERT_TRUE(session.typeEchoed("0401"));
  ASSERT_TRUE(enterAndExpect(session, notFound("st23?k04")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // Backspace is stored, and shown as what it is, in one form at the prompt and in the message:
  // the line never shows another ID than the one searched.
  ASSERT_TRUE(session.typeEchoed("st24040"));
  session.send(keys::kBackspace);
  ASSERT_TRUE(session.waitFor("^H"));
  ASSERT_TRUE(session.typeEchoed("1"));  // the ninth key: echoed, not stored
  ASSERT_TRUE(enterAndExpect(session, notFound("st24040^H")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  ASSERT_TRUE(session.typeEchoed("st"));
  session.send(keys::kBackspace);
  ASSERT_TRUE(session.waitFor("^H"));
  ASSERT_TRUE(enterAndExpect(session, notFound("st^H")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  // F1 is 0 and 59: the stored 0 ends the text, so "st" is searched for.
  ASSERT_TRUE(session.typeEchoed("st"));
  session.send(keys::kF1);
  ASSERT_TRUE(session.waitFor("^@;"));
  ASSERT_TRUE(typeAndEnter(session, "x", notFound("st")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));

  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
  EXPECT_TRUE(matchesGolden("24-search-key-codes", session.transcript()));
}

// 25
TEST(StudentSearch, SameIdInTwoIntakesShowsTheIntakeThatSortsFirst) {
  PtySession session(withFixture("edge.mdb"));
  ASSERT_TRUE(session.waitFor(kChoicePrompt));
  // Only lower-case IDs can be found: the stored upper-case ED0019 is out of reach.
  ASSERT_TRUE(openIdPrompt(session));
  ASSERT_TRUE(typeAndEnter(session, "ED0019", notFound("ed0019")));
  ASSERT_TRUE(session.waitFor(kIdPrompt));
  ASSERT_TRUE(escapeToMainMenu(session));

  ASSERT_TRUE(openStudent(session, "ed0009"));
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
  ASSERT_TRUE(escapeToMainMenuThenClose(session));
  EXPECT_TRUE(exitedCleanly(session));
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
      ASSERT_TRUE(openStudent(session, id));
      std::string listing;
      ASSERT_TRUE(showListing(session, listing));
      EXPECT_EQ(listing, expected);
      ASSERT_TRUE(escapeToMainMenu(session));
    }
    ASSERT_TRUE(escapeToClose(session));
    EXPECT_TRUE(exitedCleanly(session));
  }
}
