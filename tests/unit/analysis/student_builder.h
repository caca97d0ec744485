// Builds small students for the analysis tests from a compact literal:
//   buildStudent({{1, 1, {{"CS101", 80}, {"CS102", 0}}}})
// is one student with level 1, semester 1 and two results. Consecutive groups with the same level
// share one level node. Subject names default to "Name of <ID>".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/tree/record_tree.h"

struct ResultSpec {
  std::string subjectId;
  int marks;
  std::string subjectName = "";
};

struct SemesterSpec {
  int level;
  int semester;
  std::vector<ResultSpec> results;
};

struct StudentReleaser {
  void operator()(StudentRecord* student) const { releaseStudent(student); }
};
using StudentPtr = std::unique_ptr<StudentRecord, StudentReleaser>;

inline void appendResult(SemesterNode& semester, const ResultSpec& shape) {
  const std::string name =
      shape.subjectName.empty() ? "Name of " + shape.subjectId : shape.subjectName;
  SubjectResult* result = newSubjectResult(shape.subjectId.c_str(), name.c_str(), shape.marks);
  if (semester.lastResult == nullptr) {
    semester.firstResult = result;
  } else {
    semester.lastResult->next = result;
  }
  semester.lastResult = result;
}

inline LevelNode& levelFor(StudentRecord& student, int number) {
  if (student.lastLevel == nullptr || student.lastLevel->number != number) {
    LevelNode* level = newLevelNode(number);
    if (student.lastLevel == nullptr) {
      student.firstLevel = level;
    } else {
      student.lastLevel->next = level;
    }
    student.lastLevel = level;
  }
  return *student.lastLevel;
}

inline void appendSemester(LevelNode& level, const SemesterSpec& shape) {
  SemesterNode* semester = newSemesterNode(shape.semester);
  if (level.lastSemester == nullptr) {
    level.firstSemester = semester;
  } else {
    level.lastSemester->next = semester;
  }
  level.lastSemester = semester;
  for (const ResultSpec& result : shape.results) {
    appendResult(*semester, result);
  }
}

inline StudentPtr buildStudent(const std::vector<SemesterSpec>& semesters,
                               const char* name = "Test Student", const char* id = "st000001",
                               const char* intake = "APR23IT") {
  StudentPtr student(newStudentRecord(newAddressRecord()));
  setText(student->name, kNameChars, name);
  setText(student->studentId, kStudentIdChars, id);
  setText(student->intake, kIntakeCodeChars, intake);
  for (const SemesterSpec& shape : semesters) {
    appendSemester(levelFor(*student, shape.level), shape);
  }
  return student;
}
