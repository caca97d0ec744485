// Groups the source tables into the record tree: intakes, their students, and each student's
// levels, semesters and results, with SQLite's comparison rules and no query.
#include "store/assembly/tree_builder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>
#include <utility>
#include <vector>

#include "store/assembly/tree_tables.h"
#include "store/assembly/value_classes.h"
#include "store/database_error.h"
#include "store/tables/sql_values.h"
#include "store/tree/out_of_memory.h"

namespace {

constexpr long kProgressEvery = 1000;

Collation collationOf(const SourceColumn& column) {
  Collation collation = Collation::kBinary;
  parseCollation(column.collation(), collation);
  return collation;
}

// The number the loader parses from a column's text.
int numberOf(const Value& value) {
  if (value.type == ValueType::kInteger) {
    return static_cast<int>(std::clamp<std::int64_t>(value.integer, INT_MIN, INT_MAX));
  }
  char buffer[kNumberTextBytes];
  return parseNumber(valueText(value, buffer).data());
}

struct OutOfStore {};  // thrown when the store has no more memory

// One joined row of a student: a StudentResult row and a Subject row with the same SubjectID.
struct Joined {
  std::uint32_t result;
  std::uint32_t subject;
  std::uint32_t levelClass;
  std::uint32_t semesterClass;
};

class DirectBuild {
 public:
  DirectBuild(const SourceTables& tables, const std::string& source, RecordStore& store,
              const LoadProgress& progress)
      : tables_(tables),
        source_(source),
        store_(store),
        progress_(progress),
        student_(tables.student.columns),
        result_(tables.studentResult.columns),
        subject_(tables.subject.columns),
        intakeKeys_(student_[kIntake], parser_),
        intakeClasses_(intakeKeys_, collationOf(student_[kIntake])),
        studentsByIntake_(intakeClasses_, tables.student.rows()),
        resultStudentKeys_(result_[kResultStudentId], parser_),
        resultStudentClasses_(resultStudentKeys_, collationOf(result_[kResultStudentId])),
        resultsByStudent_(resultStudentClasses_, tables.studentResult.rows()),
        resultSubjectKeys_(result_[kResultSubjectId], parser_),
        semesterKeys_(result_[kSemester], parser_),
        semesterClasses_(semesterKeys_, collationOf(result_[kSemester])),
        subjectKeys_(subject_[kSubjectId], parser_),
        levelKeys_(subject_[kLevel], parser_),
        levelClasses_(levelKeys_, collationOf(subject_[kLevel])) {
    ambiguousLevels_ = ambiguousColumn(tables, QueryKind::kLevels);
    ambiguousSemesters_ = ambiguousColumn(tables, QueryKind::kSemesters);
    joinSubjects();
    subjectIds_.assign(resultSubjectKeys_.size(), nullptr);
    subjectNames_.assign(tables.subject.rows(), nullptr);
    seen_.assign(std::max(levelClasses_.count(), semesterClasses_.count()), 0);
  }

  IntakeRecord* build() {
    IntakeRecord* first = nullptr;
    IntakeRecord* last = nullptr;
    IntakeRecord* withoutIntake = nullptr;  // the intake of the students whose intake is NULL
    for (std::uint32_t c = 0; c < intakeClasses_.count(); ++c) {
      char buffer[kNumberTextBytes];
      const Value& value = intakeClasses_.representative(c);
      std::string code(valueText(value, buffer));
      IntakeRecord* intake = withoutIntake;
      // NULL reads as the empty text, so the students without intake and those with an empty one
      // share one intake, the one the prompt's empty entry finds. NULL sorts first.
      if (intake == nullptr || !code.empty()) {
        intake = make<IntakeRecord>();
        intake->code = text(kIntakeCodeChars, code.c_str());
        appendToList(first, last, intake);
      }
      if (value.type == ValueType::kNull) {
        withoutIntake = intake;
      }
      // Each student is loaded under the intake its own value sorts into, and under no other.
      // Selecting by the code's text would load the empty intake's students twice (once more for
      // NULL) and lose those of NULL, or of a value whose text is not itself in the column.
      for (const std::uint32_t* row = studentsByIntake_.begin(c); row != studentsByIntake_.end(c);
           ++row) {
        addStudent(*row, intake);
      }
    }
    return first;
  }

  long students() const { return students_; }

 private:
  template <typename Record>
  Record* make() {
    void* memory = store_.allocate(sizeof(Record));
    if (memory == nullptr) {
      throw OutOfStore();
    }
    return new (memory) Record();
  }

  const char* text(std::size_t maxChars, const char* src) {
    const char* copy = store_.copy(maxChars, src);
    if (copy == nullptr) {
      throw OutOfStore();
    }
    return copy;
  }

  const char* columnText(const SourceColumn& column, std::size_t row, std::size_t maxChars) {
    char buffer[kNumberTextBytes];
    return text(maxChars,
                valueText(storedValue(column.at(row), column.affinity(), parser_), buffer).data());
  }

  // Sorts Subject rows by SubjectID as the join compares it, table order among equals, and finds
  // for each StudentResult.SubjectID the run of rows it matches.
  void joinSubjects() {
    const SourceColumn& left = result_[kResultSubjectId];
    Affinity affinity = columnComparisonAffinity(left.affinity(), subject_[kSubjectId].affinity());
    Collation collation = collationOf(left);
    std::vector<Value> subjectOperands(subjectKeys_.size());
    for (std::uint32_t key = 0; key < subjectKeys_.size(); ++key) {
      subjectOperands[key] =
          comparisonOperand(subjectKeys_.value(key), affinity, parser_, operandText_);
    }
    subjectOrder_.resize(tables_.subject.rows());
    std::iota(subjectOrder_.begin(), subjectOrder_.end(), 0);
    auto operandOf = [&](std::uint32_t row) -> const Value& {
      return subjectOperands[subjectKeys_.keyAt(row)];
    };
    std::stable_sort(subjectOrder_.begin(), subjectOrder_.end(),
                     [&](std::uint32_t a, std::uint32_t b) {
                       return compareValues(operandOf(a), operandOf(b), collation) < 0;
                     });
    subjectRuns_.resize(resultSubjectKeys_.size());
    for (std::uint32_t key = 0; key < resultSubjectKeys_.size(); ++key) {
      Value operand =
          comparisonOperand(resultSubjectKeys_.value(key), affinity, parser_, operandText_);
      if (operand.type == ValueType::kNull) {
        subjectRuns_[key] = {0, 0};
        continue;
      }
      auto lower = std::lower_bound(subjectOrder_.begin(), subjectOrder_.end(), operand,
                                    [&](std::uint32_t row, const Value& wanted) {
                                      return compareValues(operandOf(row), wanted, collation) < 0;
                                    });
      auto upper = std::upper_bound(lower, subjectOrder_.end(), operand,
                                    [&](const Value& wanted, std::uint32_t row) {
                                      return compareValues(wanted, operandOf(row), collation) < 0;
                                    });
      subjectRuns_[key] = {static_cast<std::uint32_t>(lower - subjectOrder_.begin()),
                           static_cast<std::uint32_t>(upper - subjectOrder_.begin())};
    }
    subjectLevelClass_.resize(tables_.subject.rows());
    for (std::size_t row = 0; row < tables_.subject.rows(); ++row) {
      subjectLevelClass_[row] = levelClasses_.classAt(row);
    }
  }

  void addStudent(std::uint32_t row, IntakeRecord* intake) {
    auto* address = make<AddressRecord>();
    address->streetAddress = columnText(student_[kStreetAddress], row, kStreetChars);
    address->city = columnText(student_[kCity], row, kCityChars);
    address->postcode = columnText(student_[kPostcode], row, kPostcodeChars);
    address->state = columnText(student_[kState], row, kStateChars);
    auto* student = make<StudentRecord>();
    student->address = address;
    char buffer[kNumberTextBytes];
    Value id = storedValue(student_[kStudentId].at(row), student_[kStudentId].affinity(), parser_);
    std::string_view idText = valueText(id, buffer);
    student->studentId = text(kStudentIdChars, idText.data());
    student->name = columnText(student_[kStudentName], row, kNameChars);
    student->intake = intake->code;
    appendToList(intake->firstStudent, intake->lastStudent, student);
    if (++students_ % kProgressEvery == 0 && progress_) {
      progress_(students_);
    }
    failIfAmbiguous(QueryKind::kLevels);
    // The levels query binds the whole ID as text, which StudentResult.StudentID's affinity then
    // converts.
    std::uint32_t match = resultStudentClasses_.find(comparisonOperand(
        textValue(idText), result_[kResultStudentId].affinity(), parser_, operandText_));
    joinResults(match);
    addLevels(student);
  }

  // Where the query of that kind would fail, the build fails when the query would first run.
  void failIfAmbiguous(QueryKind kind) const {
    const std::string& reason = kind == QueryKind::kLevels ? ambiguousLevels_ : ambiguousSemesters_;
    if (!reason.empty()) {
      failToRead(source_, reason);
    }
  }

  // The joined rows of one student, in the order the queries meet them: StudentResult rows in
  // table order, each with its Subject rows in table order.
  void joinResults(std::uint32_t studentClass) {
    joined_.clear();
    if (studentClass == kNoClass) {
      return;
    }
    for (const std::uint32_t* row = resultsByStudent_.begin(studentClass);
         row != resultsByStudent_.end(studentClass); ++row) {
      std::pair<std::uint32_t, std::uint32_t> run = subjectRuns_[resultSubjectKeys_.keyAt(*row)];
      if (run.first == run.second) {
        continue;
      }
      std::uint32_t semesterClass = semesterClasses_.classAt(*row);
      for (std::uint32_t i = run.first; i < run.second; ++i) {
        std::uint32_t subject = subjectOrder_[i];
        joined_.push_back({*row, subject, subjectLevelClass_[subject], semesterClass});
      }
    }
  }

  // The distinct classes of the joined rows that pass the filter, ascending, each with the index
  // of its first joined row.
  template <typename ClassOf, typename Filter>
  void distinctClasses(ClassOf classOf, Filter filter) {
    distinct_.clear();
    ++stamp_;
    for (std::uint32_t i = 0; i < joined_.size(); ++i) {
      if (!filter(joined_[i])) {
        continue;
      }
      std::uint32_t valueClass = classOf(joined_[i]);
      if (seen_[valueClass] != stamp_) {
        seen_[valueClass] = stamp_;
        distinct_.emplace_back(valueClass, i);
      }
    }
    std::sort(distinct_.begin(), distinct_.end());
  }

  void addLevels(StudentRecord* student) {
    distinctClasses([](const Joined& j) { return j.levelClass; },
                    [](const Joined&) { return true; });
    levels_.assign(distinct_.begin(), distinct_.end());
    for (const auto& levelClass : levels_) {
      // Equal levels read as the first of them that the query meets.
      auto* level = make<LevelNode>();
      level->number = numberOf(levelKeys_.valueAt(joined_[levelClass.second].subject));
      appendToList(student->firstLevel, student->lastLevel, level);
      failIfAmbiguous(QueryKind::kSemesters);
      // The level is bound as an integer, which Level's affinity may turn into text.
      std::uint32_t match = levelClasses_.find(comparisonOperand(
          integerValue(level->number), subject_[kLevel].affinity(), parser_, operandText_));
      if (match != kNoClass) {
        addSemesters(level, match);
      }
    }
  }

  void addSemesters(LevelNode* level, std::uint32_t levelClass) {
    distinctClasses([](const Joined& j) { return j.semesterClass; },
                    [&](const Joined& j) { return j.levelClass == levelClass; });
    semesters_.assign(distinct_.begin(), distinct_.end());
    for (const auto& semesterClass : semesters_) {
      auto* semester = make<SemesterNode>();
      semester->number = numberOf(semesterKeys_.valueAt(joined_[semesterClass.second].result));
      appendToList(level->firstSemester, level->lastSemester, semester);
      std::uint32_t match = semesterClasses_.find(comparisonOperand(
          integerValue(semester->number), result_[kSemester].affinity(), parser_, operandText_));
      if (match == kNoClass) {
        continue;
      }
      for (const Joined& j : joined_) {
        if (j.levelClass == levelClass && j.semesterClass == match) {
          addResult(semester, j);
        }
      }
    }
  }

  void addResult(SemesterNode* semester, const Joined& j) {
    auto* result = make<SubjectResult>();
    std::uint32_t idKey = resultSubjectKeys_.keyAt(j.result);
    if (subjectIds_[idKey] == nullptr) {
      char buffer[kNumberTextBytes];
      subjectIds_[idKey] =
          text(kSubjectIdChars, valueText(resultSubjectKeys_.value(idKey), buffer).data());
    }
    if (subjectNames_[j.subject] == nullptr) {
      subjectNames_[j.subject] = columnText(subject_[kSubjectName], j.subject, kSubjectNameChars);
    }
    result->subjectId = subjectIds_[idKey];
    result->subjectName = subjectNames_[j.subject];
    const SourceColumn& marks = result_[kMarks];
    // An integer is stored as it is but in a REAL column, whose number is read from its text.
    int number =
        marks.typeAt(j.result) == ValueType::kInteger && marks.affinity() != Affinity::kReal
            ? numberOf(integerValue(marks.integerAt(j.result)))
            : numberOf(storedValue(marks.at(j.result), marks.affinity(), parser_));
    result->marks = number < 0 ? 0 : number;
    appendToList(semester->firstResult, semester->lastResult, result);
  }

  const SourceTables& tables_;
  const std::string& source_;
  RecordStore& store_;
  const LoadProgress& progress_;
  const std::vector<SourceColumn>& student_;
  const std::vector<SourceColumn>& result_;
  const std::vector<SourceColumn>& subject_;
  NumericParser parser_;
  std::string operandText_;
  std::string ambiguousLevels_;     // why the levels query fails, or ""
  std::string ambiguousSemesters_;  // why the semesters and results queries fail, or ""

  ColumnKeys intakeKeys_;
  ValueClasses intakeClasses_;
  RowsByClass studentsByIntake_;
  ColumnKeys resultStudentKeys_;
  ValueClasses resultStudentClasses_;
  RowsByClass resultsByStudent_;
  ColumnKeys resultSubjectKeys_;
  ColumnKeys semesterKeys_;
  ValueClasses semesterClasses_;
  ColumnKeys subjectKeys_;
  ColumnKeys levelKeys_;
  ValueClasses levelClasses_;

  std::vector<std::uint32_t> subjectOrder_;  // Subject rows by SubjectID, table order among equals
  std::vector<std::pair<std::uint32_t, std::uint32_t>> subjectRuns_;  // per result SubjectID key
  std::vector<std::uint32_t> subjectLevelClass_;                      // per Subject row
  std::vector<const char*> subjectIds_;    // per result SubjectID key, copied when first used
  std::vector<const char*> subjectNames_;  // per Subject row, copied when first used

  std::vector<Joined> joined_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> distinct_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> levels_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> semesters_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t stamp_ = 0;
  long students_ = 0;
};

}  // namespace

LoadResult buildRecordTree(const SourceTables& tables, const std::string& source,
                           const LoadProgress& progress) {
  std::string malformed = malformedTables(tables);
  if (!malformed.empty()) {
    failToRead(source, malformed);
  }
  refuseUnknownCollations(tables, source);
  try {
    if (anyHoldsNumbers(tables)) {
      return buildRecordTree(withNumbersAsText(tables), source, progress);
    }
    auto store = std::make_unique<RecordStore>();
    DirectBuild build(tables, source, *store, progress);
    IntakeRecord* first = build.build();
    if (build.students() == 0) {
      return {nullptr, LoadStatus::kNoStudent};
    }
    adoptRecordStore(first, std::move(store));
    return {first, LoadStatus::kLoaded};
  } catch (const OutOfStore&) {
  } catch (const std::bad_alloc&) {
  }
  reportOutOfMemory();
  return {nullptr, LoadStatus::kOutOfMemory};
}
