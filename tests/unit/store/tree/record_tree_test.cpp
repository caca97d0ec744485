// Record constructors, text capacities and release.
#include "store/tree/record_tree.h"

#include <gtest/gtest.h>

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
  // Fifty characters fit whole, one more is cut, also when the characters take several bytes.
  const std::string name50(50, 'n');
  std::string name50Utf8;
  for (int i = 0; i < 50; ++i) {
    name50Utf8 += "\xE1\xBA\xA7";  // three bytes each
  }
  const char* kName50 = name50.c_str();
  const char* kName50Utf8 = name50Utf8.c_str();
  const std::string longer = name50 + "x", longerUtf8 = name50Utf8 + "\xC3\xAB";
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
      {"st2304011", kStudentIdChars, "st230401"},
      {longer.c_str(), kNameChars, kName50},
      {longerUtf8.c_str(), kNameChars, kName50Utf8},
  };
  for (const Case& c : cases) {
    char field[textBytes(kNameChars) + 1];
    copyText(field, sizeof field, c.maxChars, c.source);
    EXPECT_STREQ(field, c.expected) << "source " << c.source;
  }
}

TEST(CopyText, NullSourceGivesEmptyText) {
  char field[textBytes(kCityChars)] = "x";
  copyField(field, kCityChars, nullptr);
  EXPECT_STREQ(field, "");
}

// Within a store scope each constructor gives a record with empty texts, no list and no link, and
// an intake code of 15 characters (of one or several bytes) is kept whole and cut past it.
TEST(Constructors, GiveEmptyRecordsWithinAStoreScopeAndCutIntakeCodes) {
  RecordStore store;
  RecordStoreScope scope(store);
  StudentRecord* student = newStudentRecord(newAddressRecord());
  ASSERT_NE(student, nullptr);
  EXPECT_STREQ(student->address->streetAddress, "");
  EXPECT_STREQ(student->studentId, "");
  EXPECT_EQ(student->firstLevel, nullptr);
  EXPECT_EQ(student->left, nullptr);
  EXPECT_EQ(student->next, nullptr);
  LevelNode* level = newLevelNode(10);
  SemesterNode* semester = newSemesterNode(2);
  ASSERT_NE(level, nullptr);
  ASSERT_NE(semester, nullptr);
  EXPECT_EQ(level->number, 10);
  EXPECT_EQ(level->firstSemester, nullptr);
  EXPECT_EQ(level->next, nullptr);
  EXPECT_EQ(semester->number, 2);
  EXPECT_EQ(semester->firstResult, nullptr);
  EXPECT_EQ(semester->next, nullptr);
  ASSERT_TRUE(setText(student->name, kNameChars, "Zo\xC3\xAB"));
  EXPECT_STREQ(student->name, "Zo\xC3\xAB");

  const std::string code15 = "ABCDEFGHIJKLMNO";
  const std::string codeUtf8 =
      "\xC3\x84"
      "BCDEFGHIJKLMN\xC3\x96";  // 15 characters, 17 bytes
  for (const std::string& code : {code15, codeUtf8}) {
    EXPECT_EQ(std::string(newIntakeRecord(code.c_str())->code), code);
    IntakeRecord* cut = newIntakeRecord((code + "P").c_str());
    EXPECT_EQ(std::string(cut->code), code);
    EXPECT_EQ(cut->firstStudent, nullptr);
    EXPECT_EQ(cut->next, nullptr);
  }
}

TEST(Constructors, MakeNothingOutsideAStoreScope) {
  const char* text = "";
  EXPECT_EQ(newIntakeRecord("APR23IT"), nullptr);
  EXPECT_EQ(newStudentRecord(nullptr), nullptr);
  EXPECT_EQ(newSubjectResult("CS101", "Programming", 1), nullptr);
  EXPECT_FALSE(setText(text, kNameChars, "Ann"));
}
