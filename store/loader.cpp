// Builds the record tree from the five nested queries: intakes, students, levels, semesters and
// subject results.
#include "store/loader.h"

#include <climits>
#include <cstring>
#include <new>

#include "store/loader_queries.h"
#include "store/out_of_memory.h"

namespace {

constexpr long kProgressEvery = 1000;

// The middle piece that the level, semester and result queries share.
const char* const kJoin =
    " FROM StudentResult,Subject"
    " WHERE StudentResult.SubjectID = Subject.SubjectID"
    " AND StudentID = ";

// Appends node to the list held by first and last.
template <typename Node>
void append(Node*& first, Node*& last, Node* node) {
  if (last == nullptr) {
    first = node;
  } else {
    last->next = node;
  }
  last = node;
}

// Every record is put into the tree as soon as it is made, so that the one owner releases all
// of it when the load is abandoned, by a database error or for lack of memory.
class TreeBuilder {
 public:
  TreeBuilder(QuerySource& source, const LoadProgress& progress)
      : source_(source), progress_(progress) {}

  // False when a record could not be allocated.
  bool loadIntakes() {
    std::unique_ptr<QueryRows> rows = source_.open(intakeQuery());
    while (rows->next()) {
      std::string code = rows->text("Intake");
      IntakeRecord* intake = newIntakeRecord(code.c_str());
      if (intake == nullptr) {
        return false;
      }
      if (lastIntake_ == nullptr) {
        tree_.reset(intake);
      } else {
        lastIntake_->next = intake;
      }
      lastIntake_ = intake;
      // The full code selects the students, though the record keeps at most 15 characters.
      if (!loadStudents(code, intake)) {
        return false;
      }
    }
    return true;
  }

  long students() const { return students_; }
  RecordTree release() { return tree_.release(); }

 private:
  bool loadStudents(const std::string& code, IntakeRecord* intake) {
    std::unique_ptr<QueryRows> rows = source_.open(studentQuery(code));
    while (rows->next()) {
      StudentRecord* student = newStudent(*rows, *intake);
      if (student == nullptr) {
        return false;
      }
      append(intake->firstStudent, intake->lastStudent, student);
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
    if (address == nullptr) {
      return nullptr;
    }
    copyField(address->streetAddress, kStreetChars, row.text("StreetAddress").c_str());
    copyField(address->city, kCityChars, row.text("City").c_str());
    copyField(address->postcode, kPostcodeChars, row.text("Postcode").c_str());
    copyField(address->state, kStateChars, row.text("State").c_str());
    StudentRecord* student = newStudentRecord(address);
    if (student == nullptr) {
      delete address;
      return nullptr;
    }
    copyField(student->studentId, kStudentIdChars, row.text("StudentID").c_str());
    copyField(student->name, kNameChars, row.text("Name").c_str());
    copyField(student->intake, kIntakeCodeChars, intake.code);
    return student;
  }

  bool loadLevels(const std::string& studentId, StudentRecord* student) {
    std::unique_ptr<QueryRows> rows = source_.open(levelQuery(studentId));
    while (rows->next()) {
      LevelNode* level = newLevelNode(parseNumber(rows->text("Level")));
      if (level == nullptr) {
        return false;
      }
      append(student->firstLevel, student->lastLevel, level);
      if (!loadSemesters(studentId, level)) {
        return false;
      }
    }
    return true;
  }

  bool loadSemesters(const std::string& studentId, LevelNode* level) {
    std::unique_ptr<QueryRows> rows = source_.open(semesterQuery(studentId, level->number));
    while (rows->next()) {
      SemesterNode* semester = newSemesterNode(parseNumber(rows->text("Semester")));
      if (semester == nullptr) {
        return false;
      }
      append(level->firstSemester, level->lastSemester, semester);
      if (!loadResults(studentId, level->number, semester)) {
        return false;
      }
    }
    return true;
  }

  bool loadResults(const std::string& studentId, int level, SemesterNode* semester) {
    std::unique_ptr<QueryRows> rows = source_.open(resultQuery(studentId, level, semester->number));
    while (rows->next()) {
      std::string subjectId = rows->text("SubjectID");
      std::string subjectName = rows->text("Name");
      SubjectResult* result = newSubjectResult(subjectId.c_str(), subjectName.c_str(),
                                               parseNumber(rows->text("Marks")));
      if (result == nullptr) {
        return false;
      }
      append(semester->firstResult, semester->lastResult, result);
    }
    return true;
  }

  QuerySource& source_;
  const LoadProgress& progress_;
  RecordTreeOwner tree_;
  IntakeRecord* lastIntake_ = nullptr;
  long students_ = 0;
};

}  // namespace

namespace {

// Appends value between single quotes, each quote inside doubled.
void appendQuoted(std::string& sql, const std::string& value) {
  sql += '\'';
  std::size_t start = 0;
  for (std::size_t quote = value.find('\''); quote != std::string::npos;
       quote = value.find('\'', start)) {
    sql.append(value, start, quote + 1 - start);
    sql += '\'';
    start = quote + 1;
  }
  sql.append(value, start, std::string::npos);
  sql += '\'';
}

// The start of the level, semester and result queries, up to the student's ID. About a million
// of these texts are built for 100,000 students: one allocation each.
std::string joinQuery(const char* select, const std::string& studentId) {
  std::string sql;
  sql.reserve(std::strlen(select) + std::strlen(kJoin) + studentId.size() + 64);
  sql += select;
  sql += kJoin;
  appendQuoted(sql, studentId);
  return sql;
}

}  // namespace

std::string quotedLiteral(const std::string& value) {
  std::string quoted;
  quoted.reserve(value.size() + 2);
  appendQuoted(quoted, value);
  return quoted;
}

std::string intakeQuery() {
  return "SELECT DISTINCT Intake FROM Student ORDER BY Intake;";
}

std::string studentQuery(const std::string& intake) {
  return "SELECT * FROM Student WHERE Intake = " + quotedLiteral(intake) + ";";
}

std::string levelQuery(const std::string& studentId) {
  std::string sql = joinQuery("SELECT DISTINCT Subject.Level", studentId);
  sql += " ORDER BY Subject.Level;";
  return sql;
}

std::string semesterQuery(const std::string& studentId, int level) {
  std::string sql = joinQuery("SELECT DISTINCT Semester", studentId);
  sql += " AND Level = ";
  sql += std::to_string(level);
  sql += " ORDER BY Semester;";
  return sql;
}

std::string resultQuery(const std::string& studentId, int level, int semester) {
  std::string sql =
      joinQuery("SELECT StudentResult.Marks,StudentResult.SubjectID,Subject.Name", studentId);
  sql += " AND Level = ";
  sql += std::to_string(level);
  sql += " AND Semester = ";
  sql += std::to_string(semester);
  sql += ';';
  return sql;
}

int parseNumber(const std::string& text) {
  const char* c = text.c_str();
  while (*c == ' ' || (*c >= '\t' && *c <= '\r')) {
    ++c;
  }
  bool negative = *c == '-';
  if (*c == '-' || *c == '+') {
    ++c;
  }
  long long value = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    // Past the 32-bit range the value only needs to stay there: clamp instead of overflowing.
    value = value * 10 + (*c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;
    }
  }
  value = negative ? -value : value;
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

LoadResult loadRecordTree(QuerySource& source, const LoadProgress& progress) {
  try {
    TreeBuilder builder(source, progress);
    if (!builder.loadIntakes()) {
      reportOutOfMemory();
      return {nullptr, LoadStatus::kOutOfMemory};
    }
    if (builder.students() == 0) {
      return {nullptr, LoadStatus::kNoStudent};
    }
    return {builder.release(), LoadStatus::kLoaded};
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
}

LoadResult loadRecordTree(const std::string& path, const LoadProgress& progress) {
  std::unique_ptr<QuerySource> source;
  try {
    source = openDatabaseFile(path);
  } catch (const std::bad_alloc&) {
    reportOutOfMemory();
    return {nullptr, LoadStatus::kOutOfMemory};
  }
  return loadRecordTree(*source, progress);
}

LoadResult loadRecordTree(const LoadProgress& progress) {
  return loadRecordTree(kDatabaseFileName, progress);
}
