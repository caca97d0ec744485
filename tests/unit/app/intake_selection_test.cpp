// The intake prompt typed key by key, the y/n question and what it reports after writing mails.
#include "app/intake_selection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mail/result_mail.h"
#include "scratch_folder.h"
#include "store/tree/student_index.h"
#include "unit/fake_console.h"

namespace {

namespace fs = std::filesystem;

const std::string kIntakePrompt =
    "\n\n\tPress ESC to back to Main Menu\n\tPlease enter Intake for mails "
    "generation: ";

std::string question(const std::string& intake) {
  return "\n\tIntake " + intake + " found\n\tGenerate Mails? (y/n):";
}

// Runs in a scratch working directory, where the mails are written.
class IntakeSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(scratch_.path());
    addIntake(0, "APR23IT", "st230401");
    addIntake(1, "SEP24NET", "ed0025");
    addIntake(2, "mar24it", "ed0020");
  }
  void TearDown() override { fs::current_path(previous_); }

  void addIntake(int i, const char* code, const char* studentId) {
    // Records of this test live on the stack, so their texts are the literals themselves.
    intakes_[i].code = code;
    students_[i].studentId = studentId;
    students_[i].name = "Aisha Rahman";
    students_[i].intake = code;
    address_ = {"27 Banksia Street", "", "", ""};
    students_[i].address = &address_;
    intakes_[i].firstStudent = intakes_[i].lastStudent = &students_[i];
    if (i > 0) {
      intakes_[i - 1].next = &intakes_[i];
    }
  }

  std::string run(const std::string& keys) {
    FakeConsole console(keys);
    EXPECT_NO_THROW(selectIntakeForMails(&intakes_[0], console)) << "keys " << keys;
    EXPECT_TRUE(console.inputUsedUp()) << "keys " << keys;
    return console.text();
  }

  bool mailWritten() const { return fs::exists(scratch_.path() / kMailFileName); }

  ScratchFolder scratch_{"intake"};
  fs::path previous_;
  AddressRecord address_{};
  StudentRecord students_[3]{};
  IntakeRecord intakes_[3]{};
};

// The echo of the keys as typed: a scripted newline arrives as Enter, 13, and other control keys
// show in caret form.
std::string echoOf(const std::string& keys) {
  std::string echo;
  for (char c : keys) {
    echo += c == '\n' ? std::string("\r") : echoText(Key{static_cast<unsigned char>(c), {c}});
  }
  return echo;
}

TEST_F(IntakeSelectionTest, UnknownIntakeIsReportedAsFoldedAndPromptedAgain) {
  struct Case {
    std::string keys;
    std::string searched;
  } cases[] = {
      {"abc\n", "ABC"},          // folded to upper case
      {"\n", ""},                // two blanks in the message
      {"xyz1234\n", "XYZ1234"},  // seven characters and Enter
      {"abcdefgh", "ABCDEFGH"},  // ends by itself on the eighth character
      {"mar24it\n", "MAR24IT"},  // a stored lower-case code can never be chosen
      {"a\bc\n", "A^HC"},        // Backspace is stored, not an edit; shown as echoed
      {"\xE9z\n", "\xE9Z"},      // codes above 127 are not folded
      // A UTF-8 character is one of the eight.
      {"caf\xC3\xA9\n", "CAF\xC3\xA9"},
      {"abcdef\xC3\xA9\n", "ABCDEF\xC3\xA9"},
      {"\xC3\x89T\xC3\x89"
       "2024x",
       "\xC3\x89T\xC3\x89"
       "2024X"},  // eight characters end it
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.keys + "\x1b"), kIntakePrompt + echoOf(c.keys) + "\n\n\tIntake " + c.searched +
                                        " not found\n" + kIntakePrompt)
        << "keys " << c.keys;
  }
  EXPECT_FALSE(mailWritten());
}

TEST_F(IntakeSelectionTest, EscReturnsAtAnyPositionBeforeTheEighth) {
  for (const std::string& keys : std::vector<std::string>{"", "apr", "apr23it"}) {
    EXPECT_EQ(run(keys + "\x1b"), kIntakePrompt + keys);
  }
}

TEST_F(IntakeSelectionTest, EndOfInputPropagates) {
  FakeConsole console("apr");
  EXPECT_THROW(selectIntakeForMails(&intakes_[0], console), EndOfInput);
}

TEST_F(IntakeSelectionTest, EightCharacterIntakeIsLookedUpWithoutEnter) {
  EXPECT_EQ(run("sep24netn\n\x1b"),
            kIntakePrompt + "sep24net" + question("SEP24NET") + kIntakePrompt);
  EXPECT_FALSE(mailWritten());
}

TEST_F(IntakeSelectionTest, YesLineWritesTheMailsAndAsksForAnIntakeAgain) {
  EXPECT_EQ(run("apr23it\nyes\n\x1b"), kIntakePrompt + "apr23it\r" + question("APR23IT") +
                                           "\n\tMails written to mail.txt\n" + kIntakePrompt);
  ASSERT_TRUE(mailWritten());
  EXPECT_GT(fs::file_size(scratch_.path() / kMailFileName), 0u);
}

TEST_F(IntakeSelectionTest, UpperCaseYWritesToo) {
  run("APR23IT\nY\n\x1b");
  EXPECT_TRUE(mailWritten());
}

TEST_F(IntakeSelectionTest, OtherAnswersAskAgainUntilNo) {
  // An empty line answers with the newline character, which asks again as well.
  EXPECT_EQ(run("apr23it\nx\n\nN\n\x1b"), kIntakePrompt + "apr23it\r" + question("APR23IT") +
                                              question("APR23IT") + question("APR23IT") +
                                              kIntakePrompt);
  EXPECT_FALSE(mailWritten());
}

TEST_F(IntakeSelectionTest, FailedMailRunIsNotReportedAsWritten) {
  fs::create_directory(scratch_.path() / kMailFileName);
  EXPECT_EQ(run("apr23it\ny\n\x1b"), kIntakePrompt + "apr23it\r" + question("APR23IT") +
                                         "Cannot open output file\n" + kIntakePrompt);
  EXPECT_TRUE(fs::is_directory(scratch_.path() / kMailFileName));
}

TEST_F(IntakeSelectionTest, SeveralIntakesInOneVisit) {
  EXPECT_EQ(run("nope\nsep24netn\n\x1b"), kIntakePrompt + "nope\r\n\n\tIntake NOPE not found\n" +
                                              kIntakePrompt + "sep24net" + question("SEP24NET") +
                                              kIntakePrompt);
}

}  // namespace
