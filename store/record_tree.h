// The in-memory copy of the database: intakes, students, addresses, levels, semesters, results.
#pragma once

#include <cstddef>

// Field capacities count characters (UTF-8 code points), not bytes, so every text array is sized
// for four bytes per character plus the terminator. A longer value is cut at the capacity, at a
// character boundary.
constexpr std::size_t kStudentIdChars = 8;
constexpr std::size_t kNameChars = 50;
constexpr std::size_t kIntakeCodeChars = 15;
constexpr std::size_t kSubjectIdChars = 8;
constexpr std::size_t kSubjectNameChars = 50;
constexpr std::size_t kStreetChars = 50;
constexpr std::size_t kCityChars = 12;
constexpr std::size_t kStateChars = 12;
constexpr std::size_t kPostcodeChars = 8;

constexpr std::size_t textBytes(std::size_t chars) {
  return chars * 4 + 1;
}

struct AddressRecord {
  char streetAddress[textBytes(kStreetChars)];
  char city[textBytes(kCityChars)];
  char state[textBytes(kStateChars)];
  char postcode[textBytes(kPostcodeChars)];
};

struct SubjectResult {
  char subjectId[textBytes(kSubjectIdChars)];
  char subjectName[textBytes(kSubjectNameChars)];
  int marks;  // never negative; 0 means the subject has not been taken yet
  SubjectResult* next;
};

struct SemesterNode {
  int number;
  SubjectResult* firstResult;
  SubjectResult* lastResult;
  SemesterNode* next;
};

struct LevelNode {
  int number;
  SemesterNode* firstSemester;
  SemesterNode* lastSemester;
  LevelNode* next;
};

struct StudentRecord {
  char studentId[textBytes(kStudentIdChars)];
  char name[textBytes(kNameChars)];
  char intake[textBytes(kIntakeCodeChars)];
  AddressRecord* address;
  LevelNode* firstLevel;
  LevelNode* lastLevel;
  StudentRecord* left;   // index subtree of IDs that sort before this one
  StudentRecord* right;  // index subtree of IDs that sort equal or after this one
  StudentRecord* next;
};

struct IntakeRecord {
  char code[textBytes(kIntakeCodeChars)];
  StudentRecord* firstStudent;
  StudentRecord* lastStudent;
  IntakeRecord* next;
};

// The tree is handed around as its first intake; null when the database holds no intake.
using RecordTree = IntakeRecord*;

// Copies at most maxChars UTF-8 characters of src into dst (of dstBytes bytes, at least
// textBytes(maxChars)), never splitting a multi-byte character, and terminates it.
void copyText(char* dst, std::size_t dstBytes, std::size_t maxChars, const char* src);

template <std::size_t N>
void copyField(char (&dst)[N], std::size_t maxChars, const char* src) {
  static_assert(N >= 5, "a text field holds at least one character");
  copyText(dst, N, maxChars, src);
}

// Each constructor allocates one record; on allocation failure it reports "Out Of Memory" through
// the registered handler and returns null.
IntakeRecord* newIntakeRecord(const char* code);
AddressRecord* newAddressRecord();
StudentRecord* newStudentRecord(AddressRecord* address);
LevelNode* newLevelNode(int number);
SemesterNode* newSemesterNode(int number);
SubjectResult* newSubjectResult(const char* subjectId, const char* subjectName, int marks);

// Releases every record reachable from first: intakes, students, addresses, levels, semesters and
// results. Null is allowed and does nothing.
void releaseRecordTree(IntakeRecord* first);

// Releases one student with everything it owns (its address, levels, semesters and results).
void releaseStudent(StudentRecord* student);

// Owns a whole tree and releases it on every exit path.
class RecordTreeOwner {
 public:
  explicit RecordTreeOwner(RecordTree tree = nullptr) : tree_(tree) {}
  ~RecordTreeOwner() { releaseRecordTree(tree_); }
  RecordTreeOwner(const RecordTreeOwner&) = delete;
  RecordTreeOwner& operator=(const RecordTreeOwner&) = delete;
  RecordTree get() const { return tree_; }
  RecordTree release() {
    RecordTree tree = tree_;
    tree_ = nullptr;
    return tree;
  }
  void reset(RecordTree tree) {
    releaseRecordTree(tree_);
    tree_ = tree;
  }

 private:
  RecordTree tree_;
};
