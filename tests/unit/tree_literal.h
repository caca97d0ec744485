// Record trees for tests, written as literals:
//   TreeLiteral tree({{"APR23IT", {{"st000001", "Aisha Rahman", {{1, 1, {{"CS101", 68}}}}}}}});
// is one intake with one student who has level 1, semester 1 and one result. Consecutive semesters
// of the same level share one level node. Texts are stored as given, never cut, so that tests can
// hold keys of any length; a subject's name defaults to "Name of <ID>".
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "store/tree/record_tree.h"

struct ResultLiteral {
  std::string subjectId;
  int marks;
  std::string subjectName = "";
};

struct SemesterLiteral {
  int level;
  int semester;
  std::vector<ResultLiteral> results;
};

struct AddressLiteral {
  std::string street, city, state, postcode;
};

struct StudentLiteral {
  std::string id;
  std::string name = "Test Student";
  std::vector<SemesterLiteral> semesters = {};
  AddressLiteral address = {};
};

struct IntakeLiteral {
  std::string code;
  std::vector<StudentLiteral> students = {};
};

// The tree of the literal, made in a store of its own as the loader makes it, so that
// releaseRecordTree releases it. Null for no intake.
inline RecordTree makeTree(const std::vector<IntakeLiteral>& intakes) {
  auto store = std::make_unique<RecordStore>();
  RecordStoreScope scope(*store);
  auto text = [&store](const std::string& value) {
    return store->copy(value.size(), value.c_str());
  };
  RecordTree first = nullptr;
  IntakeRecord* lastIntake = nullptr;
  for (const IntakeLiteral& intakeLiteral : intakes) {
    IntakeRecord* intake = newIntakeRecord(nullptr);
    intake->code = text(intakeLiteral.code);
    appendToList(first, lastIntake, intake);
    for (const StudentLiteral& literal : intakeLiteral.students) {
      AddressRecord* address = newAddressRecord();
      *address = {text(literal.address.street), text(literal.address.city),
                  text(literal.address.state), text(literal.address.postcode)};
      StudentRecord* student = newStudentRecord(address);
      student->studentId = text(literal.id);
      student->name = text(literal.name);
      student->intake = intake->code;
      appendToList(intake->firstStudent, intake->lastStudent, student);
      for (const SemesterLiteral& semesterLiteral : literal.semesters) {
        if (student->lastLevel == nullptr || student->lastLevel->number != semesterLiteral.level) {
          appendToList(student->firstLevel, student->lastLevel,
                       newLevelNode(semesterLiteral.level));
        }
        LevelNode* level = student->lastLevel;
        SemesterNode* semester = newSemesterNode(semesterLiteral.semester);
        appendToList(level->firstSemester, level->lastSemester, semester);
        for (const ResultLiteral& result : semesterLiteral.results) {
          std::string name =
              result.subjectName.empty() ? "Name of " + result.subjectId : result.subjectName;
          SubjectResult* node = newSubjectResult(nullptr, nullptr, result.marks);
          node->subjectId = text(result.subjectId);
          node->subjectName = text(name);
          appendToList(semester->firstResult, semester->lastResult, node);
        }
      }
    }
  }
  if (first != nullptr) {
    adoptRecordStore(first, std::move(store));
  }
  return first;
}

// A tree made from a literal and released with this object; its first student is *tree.
class TreeLiteral {
 public:
  explicit TreeLiteral(const std::vector<IntakeLiteral>& intakes) : tree_(makeTree(intakes)) {}
  RecordTree get() const { return tree_.get(); }
  IntakeRecord& intake() const { return *tree_; }
  StudentRecord& operator*() const { return *tree_->firstStudent; }

 private:
  struct Release {
    void operator()(IntakeRecord* first) const { releaseRecordTree(first); }
  };
  std::unique_ptr<IntakeRecord, Release> tree_;
};

// One student in an intake of its own: what most tests of one student's screens need.
inline TreeLiteral oneStudent(std::vector<SemesterLiteral> semesters,
                              const std::string& name = "Test Student",
                              const std::string& id = "st000001",
                              const std::string& intake = "APR23IT") {
  return TreeLiteral({{intake, {{id, name, std::move(semesters)}}}});
}
