// Record constructors, text capacities and release.
#include "store/record_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(NewSubjectResult, NegativeMarksAreStoredAsZeroAndLargeOnesKept) {
  struct Case {
    int given;
    int stored;
  } cases[] = {{-5, 0}, {0, 0}, {150, 150}, {72, 72}};
  for (const Case& c : cases) {
    SubjectResult* result = newSubjectResult("CS101", "Programming", c.given);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->marks, c.stored) << "given " << c.given;
    EXPECT_EQ(result->next, nullptr);
    delete result;
  }
}

TEST(CopyText, CutsAtCharacterCapacityNeverInsideACharacter) {
  struct Case {
    const char* source;
    std::size_t maxChars;
    const char* expected;
  } cases[] = {
      {"st230401", 8, "st230401"},
      {"ed00180018", 8, "ed001800"},
      {"Zo\xC3\xAB M\xC3\xBCller", 50, "Zo\xC3\xAB M\xC3\xBCller"},
      {"Zo\xC3\xAB", 3, "Zo\xC3\xAB"},
      {"Zo\xC3\xAB", 2, "Zo"},
      {"Tr\xE1\xBA\xA7n", 3, "Tr\xE1\xBA\xA7"},
      {"", 8, ""},
  };
  for (const Case& c : cases) {
    char field[textBytes(kStudentIdChars)];
    copyText(field, sizeof field, c.maxChars, c.source);
    EXPECT_STREQ(field, c.expected) << "source " << c.source;
  }
}

TEST(CopyText, NameOfFortyEightCharactersInFiftySixBytesFitsWhole) {
  const std::string name =
      "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m-N\xC3\xBA\xC3\xB1" "ez de la Pe\xC3\xB1" "a y "
      "Casta\xC3\xB1" "eda M\xC3\xBCller";
  StudentRecord student{};
  copyField(student.name, kNameChars, name.c_str());
  EXPECT_EQ(std::string(student.name), name);
}

TEST(CopyText, NullSourceGivesEmptyText) {
  char field[textBytes(kCityChars)] = "x";
  copyField(field, kCityChars, nullptr);
  EXPECT_STREQ(field, "");
}

TEST(ReleaseRecordTree, NullAndEmptyIntakesAreFine) {
  releaseRecordTree(nullptr);
  IntakeRecord* intake = newIntakeRecord("APR23IT");
  ASSERT_NE(intake, nullptr);
  EXPECT_STREQ(intake->code, "APR23IT");
  EXPECT_EQ(intake->firstStudent, nullptr);
  releaseRecordTree(intake);  // ASan reports a leak or double free here if release is wrong
}

TEST(ReleaseRecordTree, ReleasesStudentsWithEverythingTheyOwn) {
  IntakeRecord* intake = newIntakeRecord("APR23IT");
  StudentRecord* student = newStudentRecord(newAddressRecord());
  LevelNode* level = newLevelNode(1);
  SemesterNode* semester = newSemesterNode(2);
  semester->firstResult = semester->lastResult = newSubjectResult("CS101", "Programming", 55);
  level->firstSemester = level->lastSemester = semester;
  student->firstLevel = student->lastLevel = level;
  intake->firstStudent = intake->lastStudent = student;
  intake->next = newIntakeRecord("SEP23IT");
  EXPECT_EQ(student->address != nullptr, true);
  EXPECT_EQ(level->number, 1);
  EXPECT_EQ(semester->number, 2);
  RecordTreeOwner owner(intake);
  EXPECT_EQ(owner.get(), intake);
}
