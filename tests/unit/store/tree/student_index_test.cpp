// The student index against one-by-one insertion, its lookups, and the intake lookup.
#include "store/tree/student_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "unit/tree_literal.h"

namespace {

// Intakes in order, each with its student IDs (of any bytes and length).
struct IdsLiteral {
  std::string code;
  std::vector<std::string> ids;
};

RecordTree treeOfIds(const std::vector<IdsLiteral>& intakes) {
  std::vector<IntakeLiteral> literal;
  for (const IdsLiteral& intake : intakes) {
    literal.push_back({intake.code});
    for (const std::string& id : intake.ids) {
      literal.back().students.push_back({id});
    }
  }
  return makeTree(literal);
}

// Every student in insertion order: intake by intake, then student list order.
std::vector<StudentRecord*> studentsInOrder(RecordTree tree) {
  std::vector<StudentRecord*> students;
  for (IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (StudentRecord* s = intake->firstStudent; s != nullptr; s = s->next) {
      students.push_back(s);
    }
  }
  return students;
}

// One-by-one insertion, written here independently of the code under test (as a loop, so
// that chains of thousands do not strain the stack).
StudentRecord* referenceInsert(StudentRecord* root, StudentRecord* student) {
  student->left = student->right = nullptr;
  StudentRecord** link = &root;
  while (*link != nullptr) {
    const bool less = std::strncmp(student->studentId, (*link)->studentId, 8) < 0;
    link = less ? &(*link)->left : &(*link)->right;
  }
  *link = student;
  return root;
}

struct Links {
  StudentRecord* left;
  StudentRecord* right;
  bool operator==(const Links& other) const { return left == other.left && right == other.right; }
};

std::vector<Links> snapshotLinks(const std::vector<StudentRecord*>& students) {
  std::vector<Links> links;
  for (const StudentRecord* s : students) {
    links.push_back({s->left, s->right});
  }
  return links;
}

// Points every link somewhere wrong, so that a build that forgets to set one is caught.
void scrambleLinks(const std::vector<StudentRecord*>& students) {
  for (StudentRecord* s : students) {
    s->left = s->right = s;
  }
}

// Checks root and every left and right link of two builds over the same students.
void expectSameTree(const std::vector<StudentRecord*>& students, StudentRecord* expectedRoot,
                    const std::vector<Links>& expected, StudentRecord* actualRoot,
                    const std::vector<Links>& actual) {
  ASSERT_EQ(actualRoot, expectedRoot);
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < students.size(); ++i) {
    if (!(actual[i] == expected[i])) {
      if (mismatches++ == 0) {
        ADD_FAILURE() << "links differ first at student " << i << " ('" << students[i]->studentId
                      << "')";
      }
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

// The bytes of the first 8 characters of id, a character being any first byte and the
// continuation bytes after it, as the record store cuts texts.
std::string firstEightCharacters(const char* id) {
  std::string key;
  int chars = 0;
  for (const char* at = id; *at != '\0'; ++at) {
    const bool starts = at == id || (static_cast<unsigned char>(*at) & 0xC0) != 0x80;
    if (starts && ++chars > 8) {
      break;
    }
    key += *at;
  }
  return key;
}

// The first student in insertion order whose first 8 characters equal those of id, or null.
StudentRecord* firstInsertedWithKey(const std::vector<StudentRecord*>& students, const char* id) {
  for (StudentRecord* s : students) {
    if (firstEightCharacters(id) == firstEightCharacters(s->studentId)) {
      return s;
    }
  }
  return nullptr;
}

// ---- Inputs for the equivalence tests -------------------------------------------------------

using IdGenerator = std::function<std::vector<std::string>(std::size_t, std::mt19937&)>;

std::string numberedId(std::size_t n) {
  char id[24];
  std::snprintf(id, sizeof id, "s%07zu", n);
  return id;
}

std::vector<std::string> ascendingIds(std::size_t size, std::mt19937&) {
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < size; ++i) {
    ids.push_back(numberedId(i));
  }
  return ids;
}

std::vector<std::string> descendingIds(std::size_t size, std::mt19937& random) {
  std::vector<std::string> ids = ascendingIds(size, random);
  std::reverse(ids.begin(), ids.end());
  return ids;
}

// Ascending, with each ID repeated one to four times: the usual order with duplicate IDs.
std::vector<std::string> ascendingRunIds(std::size_t size, std::mt19937& random) {
  std::vector<std::string> ids;
  for (std::size_t n = 0; ids.size() < size; ++n) {
    for (std::size_t copies = random() % 4 + 1; copies > 0 && ids.size() < size; --copies) {
      ids.push_back(numberedId(n));
    }
  }
  return ids;
}

std::vector<std::string> randomWideIds(std::size_t size, std::mt19937& random) {
  static const char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < size; ++i) {
    std::string id;
    for (int c = 0; c < 8; ++c) {
      id += kAlphabet[random() % (sizeof kAlphabet - 1)];
    }
    ids.push_back(id);
  }
  return ids;
}

// Short IDs from a tiny alphabet with bytes above 127 and lengths 0 to 11: many duplicates, many
// IDs that are prefixes of others, and IDs that differ only after their eighth byte.
std::vector<std::string> randomByteIds(std::size_t size, std::mt19937& random) {
  static const char kBytes[] = {'a', 'A', '0', '\x7f', '\xc3', '\xa9', '\xff'};
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < size; ++i) {
    std::string id;
    for (std::size_t length = random() % 12; length > 0; --length) {
      id += kBytes[random() % sizeof kBytes];
    }
    ids.push_back(id);
  }
  return ids;
}

std::vector<std::string> duplicateHeavyIds(std::size_t size, std::mt19937& random) {
  static const char* const kIds[] = {"",         "st230401",   "st230401x", "st230402",
                                     "ST230401", "st\xc3\xa9", "st23040",   "zz"};
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < size; ++i) {
    ids.push_back(kIds[random() % (sizeof kIds / sizeof kIds[0])]);
  }
  return ids;
}

// Deals the IDs out, in order, to one to five intakes, some of which may stay empty.
std::vector<IdsLiteral> splitIntoIntakes(const std::vector<std::string>& ids,
                                         std::mt19937& random) {
  std::vector<IdsLiteral> intakes(random() % 5 + 1);
  for (std::size_t i = 0; i < intakes.size(); ++i) {
    intakes[i].code = "INTAKE" + std::to_string(i);
  }
  std::size_t intake = 0;
  for (const std::string& id : ids) {
    if (random() % 64 == 0) {
      intake = std::min(intake + 1 + random() % 2, intakes.size() - 1);
    }
    intakes[intake].ids.push_back(id);
  }
  return intakes;
}

struct OrderCase {
  const char* name;
  IdGenerator generate;
};

const OrderCase kOrderCases[] = {
    {"ascending", ascendingIds},         {"descending", descendingIds},
    {"ascending runs", ascendingRunIds}, {"random wide", randomWideIds},
    {"random bytes", randomByteIds},     {"duplicate heavy", duplicateHeavyIds},
};

const std::size_t kSizes[] = {0, 1, 2, 3, 17, 400};
const unsigned kSeeds[] = {1, 2, 3};

}  // namespace

TEST(BuildStudentIndex, GivesNodeForNodeTheTreeOfOneByOneInsertion) {
  for (const OrderCase& order : kOrderCases) {
    for (std::size_t size : kSizes) {
      for (unsigned seed : kSeeds) {
        SCOPED_TRACE(std::string(order.name) + ", " + std::to_string(size) + " students, seed " +
                     std::to_string(seed));
        std::mt19937 random(seed);
        RecordTreeOwner owner(treeOfIds(splitIntoIntakes(order.generate(size, random), random)));
        const std::vector<StudentRecord*> students = studentsInOrder(owner.get());

        StudentRecord* expectedRoot = nullptr;
        for (StudentRecord* s : students) {
          expectedRoot = referenceInsert(expectedRoot, s);
        }
        const std::vector<Links> expected = snapshotLinks(students);

        scrambleLinks(students);
        StudentRecord* oneByOneRoot = nullptr;
        for (StudentRecord* s : students) {
          oneByOneRoot = insertStudent(oneByOneRoot, s);
        }
        expectSameTree(students, expectedRoot, expected, oneByOneRoot, snapshotLinks(students));

        scrambleLinks(students);
        StudentRecord* builtRoot = buildStudentIndex(owner.get(), nullptr);
        expectSameTree(students, expectedRoot, expected, builtRoot, snapshotLinks(students));
      }
    }
  }
}

TEST(FindStudent, ReturnsTheFirstInsertedStudentWithTheKeyOnAnyInput) {
  for (const OrderCase& order : kOrderCases) {
    for (std::size_t size : {std::size_t{1}, std::size_t{40}, std::size_t{1000}}) {
      SCOPED_TRACE(std::string(order.name) + ", " + std::to_string(size) + " students");
      std::mt19937 random(7);
      RecordTreeOwner owner(treeOfIds(splitIntoIntakes(order.generate(size, random), random)));
      const std::vector<StudentRecord*> students = studentsInOrder(owner.get());
      StudentRecord* root = buildStudentIndex(owner.get(), nullptr);

      std::vector<std::string> probes = randomByteIds(50, random);
      for (const StudentRecord* s : students) {
        probes.push_back(s->studentId);
        probes.push_back(std::string(s->studentId) + "tail");
        probes.push_back(std::string(s->studentId).substr(0, 3));
      }
      for (const std::string& probe : probes) {
        ASSERT_EQ(findStudent(root, probe.c_str()), firstInsertedWithKey(students, probe.c_str()))
            << "probe '" << probe << "'";
      }
    }
  }
}

TEST(BuildStudentIndex, InsertsIntoAGivenRootOneByOne) {
  RecordTreeOwner owner(treeOfIds(
      {{"APR23IT", {"st05", "st01", "st09", "st05"}}, {"SEP23IT", {"st07", "st03", "st05"}}}));
  RecordTreeOwner extra(treeOfIds({{"EXTRA", {"st04", "st08"}}}));
  StudentRecord* given = extra.get()->firstStudent;
  StudentRecord* other = given->next;

  std::vector<StudentRecord*> students = studentsInOrder(owner.get());
  students.push_back(given);
  students.push_back(other);
  StudentRecord* expectedRoot = referenceInsert(referenceInsert(nullptr, given), other);
  for (std::size_t i = 0; i + 2 < students.size(); ++i) {
    referenceInsert(expectedRoot, students[i]);
  }
  const std::vector<Links> expected = snapshotLinks(students);

  scrambleLinks(students);
  StudentRecord* root = insertStudent(insertStudent(nullptr, given), other);
  EXPECT_EQ(buildStudentIndex(owner.get(), root), given);
  expectSameTree(students, expectedRoot, expected, given, snapshotLinks(students));
}

TEST(BuildStudentIndex, NoStudentGivesTheEmptyIndex) {
  EXPECT_EQ(buildStudentIndex(nullptr, nullptr), nullptr);
  RecordTreeOwner owner(treeOfIds({{"APR23IT", {}}, {"SEP23IT", {}}}));
  EXPECT_EQ(buildStudentIndex(owner.get(), nullptr), nullptr);
  EXPECT_EQ(findStudent(nullptr, "st230401"), nullptr);
  EXPECT_EQ(findStudent(nullptr, ""), nullptr);
}

TEST(InsertStudent, IntoTheEmptyIndexReturnsTheStudentWithNoSubtrees) {
  RecordTreeOwner owner(treeOfIds({{"APR23IT", {"st230401"}}}));
  StudentRecord* student = owner.get()->firstStudent;
  student->left = student->right = student;
  EXPECT_EQ(insertStudent(nullptr, student), student);
  EXPECT_EQ(student->left, nullptr);
  EXPECT_EQ(student->right, nullptr);
}

TEST(InsertStudent, EqualKeysGoRightAndSmallerLeft) {
  RecordTreeOwner owner(treeOfIds({{"APR23IT", {"st05", "st05", "st05extra", "st04"}}}));
  const std::vector<StudentRecord*> s = studentsInOrder(owner.get());
  StudentRecord* root = nullptr;
  for (StudentRecord* student : s) {
    root = insertStudent(root, student);
  }
  EXPECT_EQ(root, s[0]);
  EXPECT_EQ(s[0]->right, s[1]);
  EXPECT_EQ(s[1]->right, s[2]);  // "st05extra" is longer than "st05", so greater
  EXPECT_EQ(s[0]->left, s[3]);
}

TEST(FindStudent, ComparesTheFirstEightCharactersExactlyAndFindsTheFirstInserted) {
  RecordTreeOwner owner(treeOfIds({
      {"APR23IT", {"st230401", "st230402", "", "Zoe", "st\xc3\xa9l\xc3\xa8ne"}},
      {"SEP23IT",
       {"st230401", "st23040", "st230402",
        "jos\xc3\xa9"
        "0001",
        "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
        "1"}},
  }));
  const std::vector<StudentRecord*> s = studentsInOrder(owner.get());
  StudentRecord* root = buildStudentIndex(owner.get(), nullptr);
  struct Case {
    const char* probe;
    int expected;  // position in insertion order; -1 for not found
  } cases[] = {
      {"st230401", 0},                // the same ID in two intakes: the one of the first intake
      {"st230402", 1},                //
      {"st230401extra", 0},           // more than 8 characters: the first 8 count
      {"st2304010", 0},               //
      {"st23040", 6},                 // a shorter stored ID is a different key
      {"st2304", -1},                 //
      {"", 2},                        // the empty text matches only the empty ID
      {"Zoe", 3},                     //
      {"zoe", -1},                    // case differs: not found
      {"ST230401", -1},               //
      {"st\xc3\xa9l\xc3\xa8ne", 4},   // 7 characters in 9 bytes: all of them count
      {"st\xc3\xa9l\xc3\xa8nX", -1},  //
      {"st\xc3\xa9l\xc3\xa8n", -1},   //
      {"jos\xc3\xa9"
       "0001",
       8},  // 8 characters in 9 bytes
      {"jos\xc3\xa9"
       "0002",
       -1},  // differs in the eighth character only
      {"jos\xc3\xa9"
       "000",
       -1},                                      //
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", -1},  // the first 8 bytes of the ID below
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
       "1",
       9},
      {"zz", -1},  //
  };
  for (const Case& c : cases) {
    StudentRecord* expected = c.expected < 0 ? nullptr : s[static_cast<std::size_t>(c.expected)];
    EXPECT_EQ(findStudent(root, c.probe), expected) << "probe '" << c.probe << "'";
  }
}

TEST(FindStudent, EmptyTextFindsNothingWhenNoIdIsEmpty) {
  RecordTreeOwner owner(treeOfIds({{"APR23IT", {"st230401", "a", "0"}}}));
  StudentRecord* root = buildStudentIndex(owner.get(), nullptr);
  EXPECT_EQ(findStudent(root, ""), nullptr);
  EXPECT_EQ(findStudent(root, nullptr), nullptr);
}

// 200,000 ascending (or descending) IDs make a chain as deep as the list of students: the build,
// insertion and search must not recurse on it, and the build must not be quadratic.
TEST(BuildStudentIndex, DeepChainBuildsAndSearchesWithoutRecursion) {
  constexpr std::size_t kStudents = 200000;
  for (bool ascending : {true, false}) {
    SCOPED_TRACE(ascending ? "ascending" : "descending");
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < kStudents; ++i) {
      ids.push_back(numberedId(ascending ? i : kStudents - 1 - i));
    }
    std::vector<std::string> second(ids.begin() + kStudents / 2, ids.end());
    ids.resize(kStudents / 2);
    RecordTreeOwner owner(treeOfIds({{"APR23IT", ids}, {"SEP23IT", second}}));
    const std::vector<StudentRecord*> s = studentsInOrder(owner.get());

    StudentRecord* root = buildStudentIndex(owner.get(), nullptr);
    ASSERT_EQ(root, s.front());
    for (std::size_t i = 0; i < s.size(); ++i) {
      StudentRecord* following = i + 1 < s.size() ? s[i + 1] : nullptr;
      ASSERT_EQ(ascending ? s[i]->right : s[i]->left, following) << "student " << i;
      ASSERT_EQ(ascending ? s[i]->left : s[i]->right, nullptr) << "student " << i;
    }
    EXPECT_EQ(findStudent(root, s.front()->studentId), s.front());
    EXPECT_EQ(findStudent(root, s[kStudents / 2]->studentId), s[kStudents / 2]);
    EXPECT_EQ(findStudent(root, (std::string(s.back()->studentId) + "x").c_str()), s.back());
    EXPECT_EQ(findStudent(root, ascending ? "t" : "r"), nullptr);

    RecordTreeOwner more(treeOfIds({{"LATE", {ascending ? "t" : "r"}}}));
    EXPECT_EQ(insertStudent(root, more.get()->firstStudent), root);
    EXPECT_EQ(findStudent(root, ascending ? "t" : "r"), more.get()->firstStudent);
  }
}

TEST(FindIntake, MatchesTheWholeCodeExactly) {
  RecordTreeOwner owner(
      treeOfIds({{"APR23IT", {}}, {"SEP23IT", {}}, {"ABCDEFGHIJKLMNO", {}}, {"APR23IT", {}}}));
  IntakeRecord* apr = owner.get();
  IntakeRecord* sep = apr->next;
  IntakeRecord* longest = sep->next;
  struct Case {
    const char* code;
    IntakeRecord* expected;
  } cases[] = {
      {"APR23IT", apr},  // a code listed twice: the first one
      {"SEP23IT", sep},
      {"ABCDEFGHIJKLMNO", longest},
      {"APR23", nullptr},  // a prefix
      {"ABCDEFGHIJKLMN", nullptr},
      {"APR23ITX", nullptr},
      {"SEP23IT ", nullptr},
      {"apr23it", nullptr},  // other letter case
      {"Sep23It", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(findIntake(owner.get(), c.code), c.expected) << "code '" << c.code << "'";
  }
  EXPECT_EQ(findIntake(owner.get(), nullptr), nullptr);
  EXPECT_EQ(findIntake(nullptr, "APR23IT"), nullptr);
}
