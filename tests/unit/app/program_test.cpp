// Start-up and shutdown through the scripted console: loading, the one clear, failures, closing.
#include "app/program.h"

#include <gtest/gtest.h>

#include <string>

#include "app/main_menu.h"
#include "store/tree/out_of_memory.h"
#include "unit/fake_console.h"
#include "unit/tree_literal.h"

namespace {

const std::string kCls = FakeConsole::kClearMarker;
const std::string kClosing = "Program Closing ...\n";
const std::string kPause = "Press any key to continue . . . ";

std::string banner() {
  std::ostringstream out;
  printMainMenu(out);
  return out.str();
}

// One intake holding one student, as the loader would hand it over.
LoadResult loadOneStudent(const LoadProgress&) {
  return {makeTree({{"APR23IT", {{"st230401"}}}}), LoadStatus::kLoaded};
}

LoadResult intakeWithoutStudents(const LoadProgress&) {
  return {makeTree({{"APR23IT"}}), LoadStatus::kLoaded};
}

LoadResult noStudent(const LoadProgress&) {
  return {nullptr, LoadStatus::kNoStudent};
}
// As a real load fails: it reports, then gives up.
LoadResult outOfMemory(const LoadProgress&) {
  reportOutOfMemory();
  return {nullptr, LoadStatus::kOutOfMemory};
}

int run(FakeConsole& console, const TreeLoader& load, bool pauseOnFailure = true) {
  SessionOptions options;
  options.pauseOnFailure = pauseOnFailure;
  return runSession(console, load, options);
}

}  // namespace

TEST(RunSession, LoadsClearsOnceAndClosesOnEscape) {
  FakeConsole console("\x1b");
  EXPECT_EQ(run(console, loadOneStudent), kExitClosed);
  EXPECT_EQ(console.text(), "Loading ...\n" + kCls + banner() + kCls + kClosing);
}

TEST(RunSession, EndOfInputClosesTheWayEscapeDoes) {
  FakeConsole console("x");
  EXPECT_EQ(run(console, loadOneStudent), kExitClosed);
  EXPECT_EQ(console.text(), "Loading ...\n" + kCls + banner() + "x" + kCls +
                                "\n\t< Invalid Input: >\n" + banner() + kCls + kClosing);
}

TEST(RunSession, DatabaseWithoutStudentsSaysSoPausesAndFails) {
  for (TreeLoader load : {TreeLoader(noStudent), TreeLoader(intakeWithoutStudents)}) {
    FakeConsole console("k");
    EXPECT_EQ(run(console, load), kExitNoDatabase);
    EXPECT_EQ(console.text(),
              "Loading ...\n\n\n\tNo student found in Database.mdb\n" + kPause + "\n");
    EXPECT_TRUE(console.inputUsedUp());
  }
}

TEST(RunSession, NoPauseAfterAFailureWhenAskedNotTo) {
  FakeConsole console("k");
  EXPECT_EQ(run(console, noStudent, false), kExitNoDatabase);
  EXPECT_EQ(console.text(), "Loading ...\n" + noStudentMessage("Database.mdb"));
  EXPECT_FALSE(console.inputUsedUp());
}

TEST(RunSession, EndOfInputAtTheFailurePauseStillFails) {
  FakeConsole console("");
  EXPECT_EQ(run(console, noStudent), kExitNoDatabase);
  EXPECT_EQ(console.text(), "Loading ...\n" + noStudentMessage("Database.mdb") + kPause + "\n");
}

TEST(RunSession, OutOfMemoryDuringTheLoadIsReportedOnceWithoutAWaitOnAScript) {
  FakeConsole console("k");
  reportOutOfMemoryOn(&console, false);
  EXPECT_EQ(run(console, outOfMemory, false), kExitNoDatabase);
  reportOutOfMemoryOn(nullptr);
  EXPECT_EQ(console.text(), std::string("Loading ...\n") + kOutOfMemoryMessage);
  EXPECT_FALSE(console.inputUsedUp());
}

TEST(RunSession, DatabaseErrorReachesTheCaller) {
  FakeConsole console("\x1b");
  auto failing = [](const LoadProgress&) -> LoadResult {
    throw DatabaseError("Cannot read Database.mdb: no such file");
  };
  EXPECT_THROW(run(console, failing), DatabaseError);
  EXPECT_EQ(console.text(), "Loading ...\n");
}

TEST(RunSession, HandsTheProgressReportToTheLoader) {
  FakeConsole console("\x1b");
  long reported = -1;
  SessionOptions options;
  options.progress = [&reported](long students) { reported = students; };
  auto load = [](const LoadProgress& progress) {
    progress(7);
    return loadOneStudent(progress);
  };
  EXPECT_EQ(runSession(console, load, options), kExitClosed);
  EXPECT_EQ(reported, 7);
}

TEST(ReportOutOfMemoryOn, ShowsTheMessageOnTheConsoleAndPauses) {
  FakeConsole console("k");
  reportOutOfMemoryOn(&console);
  reportOutOfMemory();
  reportOutOfMemoryOn(nullptr);
  EXPECT_EQ(console.text(), std::string(kOutOfMemoryMessage) + kPause);
  EXPECT_TRUE(console.inputUsedUp());
}

TEST(ReportOutOfMemoryOn, EndOfInputAtItsPauseIsNotThrownIntoTheStore) {
  FakeConsole console("");
  reportOutOfMemoryOn(&console);
  EXPECT_NO_THROW(reportOutOfMemory());
  reportOutOfMemoryOn(nullptr);
  EXPECT_EQ(console.text(), std::string(kOutOfMemoryMessage) + kPause);
}
