// Record constructors, text capacities and release.
#include "store/tree/record_tree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

TEST(NewSubjectResult, NegativeMarksAreStoredAsZeroAndLargeOnesKeptInAStoreThatSharesTexts) {
  struct Case {
    int given;
    int stored;
  } cases[] = {{-5, 0}, {0, 0}, {150, 150}, {72, 72}};
  RecordStore store;
  RecordStoreScope scope(store);
  const char* sharedName = nullptr;
  for (const Case& c : cases) {
    SubjectResult* result = newSubjectResult("CS101", "Programming", c.given);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->marks, c.stored) << "given " << c.given;
    EXPECT_EQ(result->next, nullptr);
    EXPECT_STREQ(result->subjectName, "Programming");
    // Every result of one subject points at one copy of its name.
    EXPECT_EQ(result->subjectName, sharedName == nullptr ? result->subjectName : sharedName);
    sharedName = result->subjectName;
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
      "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m-N\xC3\xBA\xC3\xB1"
      "ez de la Pe\xC3\xB1"
      "a y "
      "Casta\xC3\xB1"
      "eda M\xC3\xBCller";
  struct {
    char studentId[textBytes(kStudentIdChars)];
    char name[textBytes(kNameChars)];
  } student{};
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

namespace {

// A student with an address, two levels, and semesters and results below them, so that release
// has every kind of record to free.
StudentRecord* newFullStudent(const char* id) {
  StudentRecord* student = newStudentRecord(newAddressRecord());
  setText(student->studentId, kStudentIdChars, id);
  for (int number = 1; number <= 2; ++number) {
    LevelNode* level = newLevelNode(number);
    for (int semesterNumber = 1; semesterNumber <= 2; ++semesterNumber) {
      SemesterNode* semester = newSemesterNode(semesterNumber);
      semester->firstResult = newSubjectResult("CS101", "Programming", 55);
      semester->firstResult->next = semester->lastResult = newSubjectResult("CS102", "Data", 0);
      (level->lastSemester == nullptr ? level->firstSemester : level->lastSemester->next) =
          semester;
      level->lastSemester = semester;
    }
    (student->lastLevel == nullptr ? student->firstLevel : student->lastLevel->next) = level;
    student->lastLevel = level;
  }
  return student;
}

IntakeRecord* newIntakeOf(const char* code, std::initializer_list<const char*> ids) {
  IntakeRecord* intake = newIntakeRecord(code);
  for (const char* id : ids) {
    StudentRecord* student = newFullStudent(id);
    (intake->lastStudent == nullptr ? intake->firstStudent : intake->lastStudent->next) = student;
    intake->lastStudent = student;
  }
  return intake;
}

}  // namespace

// Two intakes of three and one students. Under ASan or valgrind a leak or a
// double free of any record, down to the results, fails the run.
TEST(ReleaseRecordTree, TwoIntakesOfThreeAndOneStudentsReleaseEveryRecord) {
  IntakeRecord* first = newIntakeOf("APR23IT", {"st230401", "st230402", "st230403"});
  first->next = newIntakeOf("SEP23IT", {"st230901"});
  ASSERT_NE(first->lastStudent, nullptr);
  EXPECT_EQ(first->firstStudent->next->next, first->lastStudent);
  EXPECT_EQ(first->next->firstStudent, first->next->lastStudent);
  releaseRecordTree(first);
}

TEST(ReleaseRecordTree, ReleasesAnIntakeBetweenTwoEmptyOnes) {
  IntakeRecord* first = newIntakeRecord("APR23IT");
  first->next = newIntakeOf("MAY23IT", {"st230501"});
  first->next->next = newIntakeRecord("SEP23IT");
  releaseRecordTree(first);
}

TEST(RecordTreeOwner, ReleaseHandsTheTreeBackAndResetReplacesIt) {
  IntakeRecord* tree = newIntakeOf("APR23IT", {"st230401"});
  RecordTreeOwner owner(tree);
  EXPECT_EQ(owner.release(), tree);
  EXPECT_EQ(owner.get(), nullptr);
  owner.reset(tree);  // the owner frees it again from here on
  EXPECT_EQ(owner.get(), tree);
  owner.reset(newIntakeOf("SEP23IT", {"st230901", "st230902"}));  // frees the first tree
  EXPECT_STREQ(owner.get()->code, "SEP23IT");
}

TEST(Constructors, GiveEmptyListsAndNoLinks) {
  AddressRecord* address = newAddressRecord();
  ASSERT_NE(address, nullptr);
  EXPECT_STREQ(address->streetAddress, "");
  EXPECT_STREQ(address->postcode, "");
  StudentRecord* student = newStudentRecord(address);
  ASSERT_NE(student, nullptr);
  EXPECT_EQ(student->address, address);
  EXPECT_EQ(student->firstLevel, nullptr);
  EXPECT_EQ(student->lastLevel, nullptr);
  EXPECT_EQ(student->left, nullptr);
  EXPECT_EQ(student->right, nullptr);
  EXPECT_EQ(student->next, nullptr);
  LevelNode* level = newLevelNode(10);
  SemesterNode* semester = newSemesterNode(2);
  ASSERT_NE(level, nullptr);
  ASSERT_NE(semester, nullptr);
  EXPECT_EQ(level->number, 10);
  EXPECT_EQ(level->firstSemester, nullptr);
  EXPECT_EQ(level->lastSemester, nullptr);
  EXPECT_EQ(level->next, nullptr);
  EXPECT_EQ(semester->number, 2);
  EXPECT_EQ(semester->firstResult, nullptr);
  EXPECT_EQ(semester->lastResult, nullptr);
  EXPECT_EQ(semester->next, nullptr);
  IntakeRecord* intake = newIntakeRecord("APR23IT");
  ASSERT_NE(intake, nullptr);
  EXPECT_EQ(intake->lastStudent, nullptr);
  EXPECT_EQ(intake->next, nullptr);
  delete semester;
  delete level;
  releaseStudent(student);
  releaseRecordTree(intake);
}

// A 15-character intake code, an 8-character ID and a 50-character name fit whole; one
// character more is cut, also when the characters take several bytes.
TEST(Capacities, FullLengthValuesFitWholeAndLongerOnesAreCut) {
  const std::string code15 = "ABCDEFGHIJKLMNO";
  const std::string codeUtf8 =
      "\xC3\x84"
      "BCDEFGHIJKLMN\xC3\x96";  // 15 characters, 17 bytes
  IntakeRecord* intakes[] = {
      newIntakeRecord(code15.c_str()), newIntakeRecord((code15 + "P").c_str()),
      newIntakeRecord(codeUtf8.c_str()), newIntakeRecord((codeUtf8 + "\xC3\x9C").c_str())};
  EXPECT_EQ(std::string(intakes[0]->code), code15);
  EXPECT_EQ(std::string(intakes[1]->code), code15);
  EXPECT_EQ(std::string(intakes[2]->code), codeUtf8);
  EXPECT_EQ(std::string(intakes[3]->code), codeUtf8);
  for (IntakeRecord* intake : intakes) {
    releaseRecordTree(intake);
  }

  struct {
    char studentId[textBytes(kStudentIdChars)];
    char name[textBytes(kNameChars)];
  } student{};
  copyField(student.studentId, kStudentIdChars, "st230401");
  EXPECT_STREQ(student.studentId, "st230401");
  const std::string name50(50, 'n');
  copyField(student.name, kNameChars, (name50 + "x").c_str());
  EXPECT_EQ(std::string(student.name), name50);
  std::string name50Utf8;
  for (int i = 0; i < 50; ++i) {
    name50Utf8 += "\xE1\xBA\xA7";  // three bytes each
  }
  copyField(student.name, kNameChars, (name50Utf8 + "\xC3\xAB").c_str());
  EXPECT_EQ(std::string(student.name), name50Utf8);
}
