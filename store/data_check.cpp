// The data check: each kind of problem counted over the three tables as read.
#include "store/data_check.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <ostream>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "store/data_check_rows.h"
#include "store/intake_check.h"
#include "store/tables/sql_values.h"
#include "store/tree/record_tree.h"
#include "store/tree/student_index.h"
#include "util/ascii_fold.h"

namespace {

// What the student ID prompt takes: eight characters, folded to lower case as they are typed.
constexpr std::size_t kPromptChars = 8;

#include "util/ascii_fold.h"
bool hasAsciiIn(const std::string& text, char first, char last) {
  for (char c : text) {
    if (c >= first && c <= last) {
      return true;
    }
  }
  return false;
}

// A key compared the way the column compares: without regard to case under NOCASE (Access's
// rule), byte for byte otherwise.
std::string keyAt(const SourceColumn& column, std::size_t row) {
  const std::string text = textAt(column, row);
  return column.collation() == "NOCASE" ? asciiLower(text) : text;
}

class StudentChecks {
 public:
  explicit StudentChecks(const SourceTable& student) : student_(student) {
    parseCollation(student_.columns[kIntake].collation(), collation_);
  }

  void run(DataCheck& check) {
    for (std::size_t row = 0; row < student_.rows(); ++row) {
      checkRow(row);
    }
    for (DataProblem* problem : {&noIntake_, &address_}) {
      check.problems.push_back(std::move(*problem));
    }
    check.problems.push_back(caseTwins());
    check.problems.push_back(idsStoredTwice());
    for (DataProblem* problem : {&longId_, &cutName_, &cutAddress_}) {
      check.problems.push_back(std::move(*problem));
    }
    checkIntakes(student_, check);
  }

 private:
  void checkRow(std::size_t row) {
    const std::string id = text(row, kStudentId);
    const std::string name = text(row, kStudentName);
    const std::string who = quoted(id) + " " + name;
    const std::string intake = text(row, kIntake);
    if (isBlank(intake)) {
      add(noIntake_, who + (student_.columns[kIntake].typeAt(row) == ValueType::kNull
                                ? ": none"
                                : (intake.empty() ? ": empty" : ": blank " + quoted(intake))));
    }
    std::string missing;
    for (const auto& [column, word] :
         {std::pair{kStreetAddress, "street"}, std::pair{kCity, "city"},
          std::pair{kPostcode, "postcode"}}) {
      if (isBlank(text(row, column))) {
        missing += (missing.empty() ? "no " : ", no ") + std::string(word);
      }
    }
    if (!missing.empty()) {
      add(address_, who + ": " + missing);
    }
    if (charactersIn(name) > kNameChars) {
      add(cutName_, quoted(id) + ": " + std::to_string(charactersIn(name)) + " characters");
    }
    if (isAddressCut(row)) {
      add(cutAddress_, who);
    }
    if (charactersIn(id) > kPromptChars || hasAsciiIn(id, 'A', 'Z')) {
      add(longId_, who);
    }
  }

  std::string text(std::size_t row, StudentColumn column) const {
    return textAt(student_.columns[column], row);
  }

  bool isAddressCut(std::size_t row) const {
    return charactersIn(text(row, kStreetAddress)) > kStreetChars ||
           charactersIn(text(row, kCity)) > kCityChars ||
           charactersIn(text(row, kState)) > kStateChars ||
           charactersIn(text(row, kPostcode)) > kPostcodeChars;
  }

  // IDs equal but for case: the search folds what is typed, so only one spelling is ever found.
  DataProblem caseTwins() const {
    std::map<std::string, std::set<std::string>> spellings;
    for (std::size_t row = 0; row < student_.rows(); ++row) {
      const std::string id = text(row, kStudentId);
      spellings[asciiLower(id)].insert(id);
    }
    DataProblem twins{"student IDs that differ only in case, of which the search finds one",
                      "student ID that differs only in case, of which the search finds one",
                      0,
                      {}};
    for (const auto& [folded, ids] : spellings) {
      if (ids.size() < 2) {
        continue;
      }
      std::string example;
      for (const std::string& id : ids) {
        example += (example.empty() ? "" : ", ") + quoted(id);
      }
      add(twins, example);
    }
    return twins;
  }

  // One ID in several rows: each row is a student with all of the ID's results, and the search
  // shows the one whose intake comes first (the first row among equals).
  DataProblem idsStoredTwice() const {
    std::map<std::string, std::vector<std::size_t>> rowsOf;
    for (std::size_t row = 0; row < student_.rows(); ++row) {
      rowsOf[text(row, kStudentId)].push_back(row);
    }
    DataProblem twice{
        "student IDs stored in more than one row, each row a student with all of the ID's "
        "results, of whom the search shows one",
        "student ID stored in more than one row, each row a student with all of the ID's "
        "results, of whom the search shows one",
        0,
        {}};
    const SourceColumn& intakes = student_.columns[kIntake];
    for (const auto& [id, rows] : rowsOf) {
      if (rows.size() < 2) {
        continue;
      }
      std::size_t shown = rows.front();
      std::string intakesOf;
      for (std::size_t row : rows) {
        intakesOf += (intakesOf.empty() ? "" : ", ") + quoted(text(row, kIntake));
        if (compareValues(intakes.at(row), intakes.at(shown), collation_) < 0) {
          shown = row;
        }
      }
      add(twice, quoted(id) + " in " + plural(static_cast<long>(rows.size()), "row", "rows") +
                     " (intakes " + intakesOf + "): the search shows the one of intake " +
                     quoted(text(shown, kIntake)));
    }
    return twice;
  }

  DataProblem noIntake_{
      "students without intake, whose letters go out under the empty intake (Enter alone at the "
      "prompt, or --letters '') or a blank one",
      "student without intake, whose letter goes out under the empty intake (Enter alone at the "
      "prompt, or --letters '') or a blank one",
      0,
      {}};
  DataProblem address_{"students with an incomplete address (no street, city or postcode)",
                       "student with an incomplete address (no street, city or postcode)",
                       0,
                       {}};
  DataProblem cutName_{"student names longer than the 50 characters a screen shows",
                       "student name longer than the 50 characters a screen shows",
                       0,
                       {}};
  DataProblem cutAddress_{
      "addresses cut in the letters (street over 50 characters, city or state over 12, "
      "postcode over 8)",
      "address cut in the letters (street over 50 characters, city or state over 12, "
      "postcode over 8)",
      0,
      {}};
  DataProblem longId_{
      "student IDs the search cannot take (over 8 characters, or capitals, which the prompt "
      "types as small letters)",
      "student ID the search cannot take (over 8 characters, or capitals, which the prompt "
      "types as small letters)",
      0,
      {}};
  const SourceTable& student_;
  Collation collation_ = Collation::kBinary;
};

double marksValue(const SourceColumn& column, std::size_t row) {
  switch (column.typeAt(row)) {
    case ValueType::kInteger:
      return static_cast<double>(column.integerAt(row));
    case ValueType::kReal:
      return column.realAt(row);
    default:
      return std::strtod(textAt(column, row).c_str(), nullptr);
  }
}

void checkResults(const SourceTables& tables, DataCheck& check) {
  const SourceTable& results = tables.studentResult;
  const SourceColumn& studentIds = results.columns[kResultStudentId];
  const SourceColumn& subjectIds = results.columns[kResultSubjectId];
  const SourceColumn& marks = results.columns[kMarks];
  // Students and subjects are matched under the collation of the result's own column, as the
  // loader's queries match them.
  auto keysOf = [](const SourceColumn& column, const SourceColumn& comparedAs) {
    std::unordered_set<std::string> keys;
    const bool nocase = comparedAs.collation() == "NOCASE";
    for (std::size_t row = 0; row < column.size(); ++row) {
      keys.insert(nocase ? asciiLower(textAt(column, row)) : textAt(column, row));
    }
    return keys;
  };
  const auto students = keysOf(tables.student.columns[kStudentId], studentIds);
  const auto subjects = keysOf(tables.subject.columns[kSubjectId], subjectIds);
  DataProblem unknownStudent{"results of students not in table Student",
                             "result of a student not in table Student",
                             0,
                             {}};
  DataProblem unknownSubject{"results of subjects not in table Subject, left out everywhere",
                             "result of a subject not in table Subject, left out everywhere",
                             0,
                             {}};
  DataProblem outOfRange{"marks outside 0 to 100", "mark outside 0 to 100", 0, {}};
  for (std::size_t row = 0; row < results.rows(); ++row) {
    const std::string what =
        quoted(textAt(studentIds, row)) + " subject " + quoted(textAt(subjectIds, row));
    if (students.count(keyAt(studentIds, row)) == 0) {
      add(unknownStudent, what);
    }
    if (subjects.count(keyAt(subjectIds, row)) == 0) {
      add(unknownSubject, what);
    }
    if (marks.typeAt(row) != ValueType::kNull) {
      const double value = marksValue(marks, row);
      if (value < 0 || value > 100) {
        add(outOfRange, what + ": " + textAt(marks, row));
      }
    }
  }
  check.problems.push_back(std::move(unknownStudent));
  check.problems.push_back(std::move(unknownSubject));
  check.problems.push_back(std::move(outOfRange));
}

void checkSubjects(const SourceTable& subject, DataCheck& check) {
  DataProblem cut{"subject names longer than the 50 characters a screen shows",
                  "subject name longer than the 50 characters a screen shows",
                  0,
                  {}};
  for (std::size_t row = 0; row < subject.rows(); ++row) {
    const std::string name = textAt(subject.columns[kSubjectName], row);
    if (charactersIn(name) > kSubjectNameChars) {
      add(cut, quoted(textAt(subject.columns[kSubjectId], row)) + ": " +
                   std::to_string(charactersIn(name)) + " characters");
    }
  }
  check.problems.push_back(std::move(cut));
}

}  // namespace

long DataCheck::problemCount() const {
  long count = 0;
  for (const DataProblem& problem : problems) {
    count += problem.count;
  }
  return count;
}

DataCheck checkSourceTables(const SourceTables& tables) {
  DataCheck check;
  StudentChecks(tables.student).run(check);
  checkResults(tables, check);
  checkSubjects(tables.subject, check);
  return check;
}

void writeDataCheck(const DataCheck& check, std::ostream& out) {
  if (check.problemCount() == 0) {
    out << "No problem found.\n";
    return;
  }
  for (const DataProblem& problem : check.problems) {
    if (problem.count == 0) {
      continue;
    }
    out << problem.count << " " << (problem.count == 1 ? problem.titleOfOne : problem.title)
        << "\n";
    for (const std::string& example : problem.examples) {
      out << "    " << example << "\n";
    }
    if (problem.count > static_cast<long>(problem.examples.size())) {
      out << "    ... and " << problem.count - static_cast<long>(problem.examples.size())
          << " more\n";
    }
  }
}
