// The nested load: one query per intake, student, level and semester, each answer a list of the
// tree.
#include "oracle/loader_queries.h"

#include <new>
#include <utility>

#include "store/tree/out_of_memory.h"

namespace {

constexpr long kProgressEvery = 1000;

// One query's parameters, set one by one: a braced list with an empty value in it is, to
// MinGW-w64's GCC at -O3, a string that may be used uninitialized.
LoaderQuery queryOf(QueryKind kind, const std::string& studentId = "", int level = 0,
                    int semester = 0) {
  LoaderQuery query;
  query.kind = kind;
  query.studentId = studentId;
  query.level = level;
  query.semester = semester;
  return query;
}

// Every record is put into the tree as soon as it is made, and the tree's memory is one store, so
// an abandoned load (a database error, or no memory) releases all of it at once.
class NestedLoad {
 public:
  NestedLoad(LoaderQueries& queries, const LoadProgress& progress)
      : queries_(queries), progress_(progress) {}

  // False when a record could not be allocated.
  bool loadIntakes() {
    std::unique_ptr<QueryRows> rows = queries_.open(queryOf(QueryKind::kIntakes));
    IntakeRecord* last = nullptr;
    IntakeRecord* withoutIntake = nullptr;
    while (rows->next()) {
      std::string code = rows->text("Intake");
      HeldValue value = rows->value("Intake");
      // NULL reads as the empty text: the empty intake's students join those without intake,
      // whose intake came first.
      IntakeRecord* intake = code.empty() ? withoutIntake : nullptr;
      if (intake == nullptr) {
        intake = newIntakeRecord(code.c_str());
        if (intake == nullptr) {
          return false;
        }
        appendToList(first_, last, intake);
      }
      if (value.type == ValueType::kNull) {
        withoutIntake = intake;
      }
      // The value itself selects the students, though the record keeps at most 15 characters of
      // its text: the text would select the empty intake's students again for NULL, and never
      // those of NULL.
      LoaderQuery students = queryOf(QueryKind::kStudents);
      students.intake = code;
      students.intakeValue = std::move(value);
      if (!loadStudents(students, intake)) {
        return false;
      }
    }
    return true;
  }

  IntakeRecord* first() const { return first_; }
  long students() const { return students_; }

 private:
  bool loadStudents(const LoaderQuery& query, IntakeRecord* intake) {
    std::unique_ptr<QueryRows> rows = queries_.open(query);
    while (rows->next()) {
      StudentRecord* student = newStudent(*rows, *intake);
      if (student == nullptr) {
        return false;
      }
      appendToList(intake->firstStudent, intake->lastStudent, student);
      if (++students_ % kProgressEvery == 0 && progress_) {
        progress_(students_);
      }
      // The full ID selects the results, though the record keeps at most 8 characters.
      if (!loadLevels(rows->text("StudentID"), student)) {
        return false;
      }
    }
    return true;
  }

  static StudentRecord* newStudent(QueryRows& row, const IntakeRecord& intake) {
    AddressRecord* address = newAddressRecord();
    StudentRecord* student = address == nullptr ? nullptr : newStudentRecord(address);
    if (student == nullptr ||
        !setText(address->streetAddress, kStreetChars, row.text("StreetAddress").c_str()) ||
        !setText(address->city, kCityChars, row.text("City").c_str()) ||
        !setText(address->postcode, kPostcodeChars, row.text("Postcode").c_str()) ||
        !setText(address->state, kStateChars, row.text("State").c_str()) ||
        !setText(student->studentId, kStudentIdChars, row.text("StudentID").c_str()) ||
        !setText(student->name, kNameChars, row.text("Name").c_str())) {
      return nullptr;
    }
    student->intake = intake.code;
    return student;
  }

  bool loadLevels(const std::string& studentId, StudentRecord* student) {
    std::unique_ptr<QueryRows> rows = queries_.open(queryOf(QueryKind::kLevels, studentId));
    while (rows->next()) {
      LevelNode* level = newLevelNode(parseNumber(rows->text("Level")));
      if (level == nullptr) {
        return false;
      }
      appendToList(student->firstLevel, student->lastLevel, level);
      if (!loadSemesters(studentId, level)) {
        return false;
      }
    }
    return true;
  }

  bool loadSemesters(const std::string& studentId, LevelNode* level) {
    std::unique_ptr<QueryRows> rows =
        queries_.open(queryOf(QueryKind::kSemesters, studentId, level->number));
    while (rows->next()) {
      SemesterNode* semester = newSemesterNode(parseNumber(rows->text("Semester")));
      if (semester == nullptr) {
        return false;
      }
      appendToList(level->firstSemester, level->lastSemester, semester);
      if (!loadResults(studentId, level->number, semester)) {
        return false;
      }
    }
    return true;
  }

  bool loadResults(const std::string& studentId, int level, SemesterNode* semester) {
    std::unique_ptr<QueryRows> rows =
        queries_.open(queryOf(QueryKind::kResults, studentId, level, semester->number));
    while (rows->next()) {
      std::string subjectId = rows->text("SubjectID");
      std::string subjectName = rows->text("Name");
      SubjectResult* result = newSubjectResult(subjectId.c_str(), subjectName.c_str(),
                                               parseNumber(rows->text("Marks")));
      if (result == nullptr) {
        return false;
      }
      appendToList(semester->firstResult, semester->lastResult, result);
    }
    return true;
  }

  LoaderQueries& queries_;
  const LoadProgress& progress_;
  IntakeRecord* first_ = nullptr;
  long students_ = 0;
};

}  // namespace

const char* referenceQueryText(QueryKind kind) {
  switch (kind) {
    case QueryKind::kIntakes:
      return "SELECT DISTINCT Intake FROM Student ORDER BY Intake;";
    case QueryKind::kStudents:
      return "SELECT * FROM Student WHERE Intake IS ?;";
    case QueryKind::kLevels:
      return "SELECT DISTINCT Subject.Level FROM StudentResult,Subject"
             " WHERE StudentResult.SubjectID = Subject.SubjectID"
             " AND StudentID = ? ORDER BY Subject.Level;";
    case QueryKind::kSemesters:
      return "SELECT DISTINCT Semester FROM StudentResult,Subject"
             " WHERE StudentResult.SubjectID = Subject.SubjectID"
             " AND StudentID = ? AND Level = ? ORDER BY Semester;";
    case QueryKind::kResults:
      return "SELECT StudentResult.Marks,StudentResult.SubjectID,Subject.Name"
             " FROM StudentResult,Subject"
             " WHERE StudentResult.SubjectID = Subject.SubjectID"
             " AND StudentID = ? AND Level = ? AND Semester = ?;";
  }
  return "";
}

LoadResult loadRecordTree(LoaderQueries& queries, const LoadProgress& progress) {
  try {
    auto store = std::make_unique<RecordStore>();
    NestedLoad load(queries, progress);
    {
      RecordStoreScope scope(*store);
      if (!load.loadIntakes()) {
        reportOutOfMemory();
        return {nullptr, LoadStatus::kOutOfMemory};
      }
    }
    if (load.students() == 0) {
      return {nullptr, LoadStatus::kNoStudent};
    }
    adoptRecordStore(load.first(), std::move(store));
    return {load.first(), LoadStatus::kLoaded};
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}
