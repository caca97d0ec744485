// Constructors and release of the record tree.
#include "store/record_tree.h"

#include <cstring>
#include <new>

#include "store/out_of_memory.h"

namespace {

bool isContinuationByte(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

template <typename Record>
Record* allocateRecord() {
  Record* record = new (std::nothrow) Record();
  if (record == nullptr) {
    reportOutOfMemory();
  }
  return record;
}

void releaseResults(SubjectResult* result) {
  while (result != nullptr) {
    SubjectResult* next = result->next;
    delete result;
    result = next;
  }
}

void releaseSemesters(SemesterNode* semester) {
  while (semester != nullptr) {
    SemesterNode* next = semester->next;
    releaseResults(semester->firstResult);
    delete semester;
    semester = next;
  }
}

void releaseLevels(LevelNode* level) {
  while (level != nullptr) {
    LevelNode* next = level->next;
    releaseSemesters(level->firstSemester);
    delete level;
    level = next;
  }
}

}  // namespace

void copyText(char* dst, std::size_t dstBytes, std::size_t maxChars, const char* src) {
  if (dstBytes == 0) {
    return;
  }
  std::size_t used = 0;
  std::size_t chars = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(src == nullptr ? "" : src);
  while (in[used] != '\0') {
    // A character is its lead byte and the continuation bytes after it.
    std::size_t length = 1;
    while (in[used + length] != '\0' && isContinuationByte(in[used + length])) {
      ++length;
    }
    if (chars == maxChars || used + length >= dstBytes) {
      break;
    }
    used += length;
    ++chars;
  }
  std::memcpy(dst, in, used);
  dst[used] = '\0';
}

IntakeRecord* newIntakeRecord(const char* code) {
  auto* intake = allocateRecord<IntakeRecord>();
  if (intake != nullptr) {
    copyField(intake->code, kIntakeCodeChars, code);
  }
  return intake;
}

AddressRecord* newAddressRecord() {
  return allocateRecord<AddressRecord>();
}

StudentRecord* newStudentRecord(AddressRecord* address) {
  auto* student = allocateRecord<StudentRecord>();
  if (student != nullptr) {
    student->address = address;
  }
  return student;
}

LevelNode* newLevelNode(int number) {
  auto* level = allocateRecord<LevelNode>();
  if (level != nullptr) {
    level->number = number;
  }
  return level;
}

SemesterNode* newSemesterNode(int number) {
  auto* semester = allocateRecord<SemesterNode>();
  if (semester != nullptr) {
    semester->number = number;
  }
  return semester;
}

SubjectResult* newSubjectResult(const char* subjectId, const char* subjectName, int marks) {
  auto* result = allocateRecord<SubjectResult>();
  if (result != nullptr) {
    copyField(result->subjectId, kSubjectIdChars, subjectId);
    copyField(result->subjectName, kSubjectNameChars, subjectName);
    result->marks = marks < 0 ? 0 : marks;
  }
  return result;
}

void releaseStudent(StudentRecord* student) {
  if (student == nullptr) {
    return;
  }
  releaseLevels(student->firstLevel);
  delete student->address;
  delete student;
}

void releaseRecordTree(IntakeRecord* first) {
  while (first != nullptr) {
    StudentRecord* student = first->firstStudent;
    while (student != nullptr) {
      StudentRecord* next = student->next;
      releaseStudent(student);
      student = next;
    }
    IntakeRecord* next = first->next;
    delete first;
    first = next;
  }
}
