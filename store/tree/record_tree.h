// The in-memory copy of the database: intakes, students, addresses, levels, semesters, results.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// Field capacities count characters (UTF-8 code points), not bytes. A longer value is cut at the
// capacity, at a character boundary.
constexpr std::size_t kStudentIdChars = 8;
constexpr std::size_t kNameChars = 50;
constexpr std::size_t kIntakeCodeChars = 15;
constexpr std::size_t kSubjectIdChars = 8;
constexpr std::size_t kSubjectNameChars = 50;
constexpr std::size_t kStreetChars = 50;
constexpr std::size_t kCityChars = 12;
constexpr std::size_t kStateChars = 12;
constexpr std::size_t kPostcodeChars = 8;

// The bytes a text of so many characters may take, terminator included, for fixed arrays that
// hold a copy of a record's text.
constexpr std::size_t textBytes(std::size_t chars) {
  return chars * 4 + 1;
}

// Texts are NUL-terminated and never null: a field that was not set points at an empty text.
// Records and texts live in the RecordStore of their tree (see below).

struct AddressRecord {
  const char* streetAddress;
  const char* city;
  const char* state;
  const char* postcode;
};

struct SubjectResult {
  const char* subjectId;
  const char* subjectName;
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
  const char* studentId;
  const char* name;
  const char* intake;
  AddressRecord* address;
  LevelNode* firstLevel;
  LevelNode* lastLevel;
  StudentRecord* left;   // index subtree of IDs that sort before this one
  StudentRecord* right;  // index subtree of IDs that sort equal or after this one
  StudentRecord* next;
};

struct IntakeRecord {
  const char* code;
  StudentRecord* firstStudent;
  StudentRecord* lastStudent;
  IntakeRecord* next;
};

// The tree is handed around as its first intake; null when the database holds no intake.
using RecordTree = IntakeRecord*;

// Appends node to the list held by first and last, as every list of the tree is built.
template <typename Node>
void appendToList(Node*& first, Node*& last, Node* node) {
  if (last == nullptr) {
    first = node;
  } else {
    last->next = node;
  }
  last = node;
}

// Copies at most maxChars UTF-8 characters of src into dst (of dstBytes bytes, at least
// textBytes(maxChars)), never splitting a multi-byte character, and terminates it.
void copyText(char* dst, std::size_t dstBytes, std::size_t maxChars, const char* src);

template <std::size_t N>
void copyField(char (&dst)[N], std::size_t maxChars, const char* src) {
  static_assert(N >= 5, "a text field holds at least one character");
  copyText(dst, N, maxChars, src);
}

// The memory of a loaded tree: records are carved from large blocks and texts packed behind each
// other, and the whole tree goes in one release. A record of a loaded tree costs its fields and
// no more: 40 000 results of one subject share one copy of its name.
class RecordStore {
 public:
  RecordStore() = default;
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Null when memory runs out.
  void* allocate(std::size_t bytes);
  // A copy of at most maxChars characters of src (cut as copyText cuts); null when memory runs out.
  const char* copy(std::size_t maxChars, const char* src);
  // Like copy, but equal texts share one copy: for the few texts that many records repeat.
  const char* share(std::size_t maxChars, const char* src);

 private:
  struct Shared;
  char* take(std::size_t bytes);

  char* cursor_ = nullptr;
  std::size_t left_ = 0;
  std::vector<char*> blocks_;
  Shared* shared_ = nullptr;
};

// While a scope lives, the constructors below and setText take their memory from its store, and
// the tree whose first intake is handed to adoptRecordStore is released with the whole store.
// Records are made only within a scope.
class RecordStoreScope {
 public:
  explicit RecordStoreScope(RecordStore& store);
  ~RecordStoreScope();
  RecordStoreScope(const RecordStoreScope&) = delete;
  RecordStoreScope& operator=(const RecordStoreScope&) = delete;

 private:
  RecordStore* previous_;
};

// From now on releaseRecordTree(tree) releases store, and with it the whole tree.
void adoptRecordStore(RecordTree tree, std::unique_ptr<RecordStore> store);

// Points field at a copy of at most maxChars characters of src, cut at a character boundary, in
// the scope's store. False when memory runs out or no scope is active.
bool setText(const char*& field, std::size_t maxChars, const char* src);

// Each constructor makes one record in the scope's store; null when memory runs out or no scope
// is active. They report nothing: a load reports "Out Of Memory" once for itself.
IntakeRecord* newIntakeRecord(const char* code);
AddressRecord* newAddressRecord();
StudentRecord* newStudentRecord(AddressRecord* address);
LevelNode* newLevelNode(int number);
SemesterNode* newSemesterNode(int number);
SubjectResult* newSubjectResult(const char* subjectId, const char* subjectName, int marks);

// Releases the store the tree was adopted by, and with it every record and text of the tree.
// Null, or a tree no store adopted, is allowed and does nothing.
void releaseRecordTree(IntakeRecord* first);

// Owns a whole tree and releases it on every exit path.
class RecordTreeOwner {
 public:
  explicit RecordTreeOwner(RecordTree tree = nullptr) : tree_(tree) {}
  ~RecordTreeOwner() { releaseRecordTree(tree_); }
  RecordTreeOwner(const RecordTreeOwner&) = delete;
  RecordTreeOwner& operator=(const RecordTreeOwner&) = delete;
  RecordTree get() const { return tree_; }

 private:
  RecordTree tree_;
};
