// The data check: each kind of problem counted over the three tables as read.
#include "store/data_check.h"

#include <cstdlib>
#include <map>
#include <ostream>
#include <set>
#include <unordered_set>
#include <utility>

#include "store/tables/sql_values.h"
#include "store/tree/record_tree.h"

namespace {

// What the student ID and intake prompts take: eight characters, the ID folded to lower case and
// the intake to upper case as they are typed.
constexpr std::size_t kPromptChars = 8;

// The value as the loader reads it, as the tree and the letters would hold it.
std::string textAt(const SourceColumn& column, std::size_t row) {
  char buffer[kNumberTextBytes];
  return std::string(valueText(column.at(row), buffer));
}

bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::size_t charactersIn(const std::string& text) {
  std::size_t chars = 0;
  for (unsigned char byte : text) {
    chars += (byte & 0xC0) == 0x80 ? 0 : 1;
  }
  return chars;
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

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
  return column.collation() == "NOCASE" ? lowerAscii(text) : text;
}

void add(DataProblem& problem, const std::string& example) {
  if (problem.examples.size() < kDataCheckExamples) {
    problem.examples.push_back(example);
  }
  ++problem.count;
}

std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

class StudentChecks {
 public:
  explicit StudentChecks(const SourceTable& student) : student_(student) {}

  void run(DataCheck& check) {
    DataProblem noIntake{"students without intake, who get no letter", 0, {}};
    DataProblem address{"students with an incomplete address (no street, city or postcode)", 0, {}};
    DataProblem cutName{"student names longer than the 50 characters a screen shows", 0, {}};
    DataProblem cutAddress{
        "addresses cut in the letters (street over 50 characters, city or "
        "state over 12, postcode over 8)",
        0,
        {}};
    DataProblem longId{
        "student IDs the search cannot take (over 8 characters, or capitals, "
        "which the prompt types as small letters)",
        0,
        {}};
    for (std::size_t row = 0; row < student_.rows(); ++row) {
      const std::string id = text(row, kStudentId);
      const std::string name = text(row, kStudentName);
      const std::string who = quoted(id) + " " + name;
      if (isBlank(text(row, kIntake))) {
        add(noIntake, who);
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
        add(address, who + ": " + missing);
      }
      if (charactersIn(name) > kNameChars) {
        add(cutName, quoted(id) + ": " + std::to_string(charactersIn(name)) + " characters");
      }
      if (isAddressCut(row)) {
        add(cutAddress, who);
      }
      if (charactersIn(id) > kPromptChars || hasAsciiIn(id, 'A', 'Z')) {
        add(longId, who);
      }
    }
    for (DataProblem* problem : {&noIntake, &address}) {
      check.problems.push_back(std::move(*problem));
    }
    check.problems.push_back(caseTwins());
    for (DataProblem* problem : {&longId, &cutName, &cutAddress}) {
      check.problems.push_back(std::move(*problem));
    }
    check.problems.push_back(untypableIntakes());
  }

 private:
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
      spellings[lowerAscii(id)].insert(id);
    }
    DataProblem twins{"student IDs that differ only in case, of which the search finds one", 0, {}};
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

  DataProblem untypableIntakes() const {
    std::set<std::string> intakes;
    for (std::size_t row = 0; row < student_.rows(); ++row) {
      if (student_.columns[kIntake].typeAt(row) != ValueType::kNull) {
        intakes.insert(text(row, kIntake));
      }
    }
    DataProblem untypable{
        "intakes the mail prompt cannot take (over 8 characters, or small "
        "letters, which the prompt types as capitals)",
        0,
        {}};
    for (const std::string& intake : intakes) {
      if (!isBlank(intake) &&
          (charactersIn(intake) > kPromptChars || hasAsciiIn(intake, 'a', 'z'))) {
        add(untypable, quoted(intake));
      }
    }
    return untypable;
  }

  const SourceTable& student_;
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
      keys.insert(nocase ? lowerAscii(textAt(column, row)) : textAt(column, row));
    }
    return keys;
  };
  const auto students = keysOf(tables.student.columns[kStudentId], studentIds);
  const auto subjects = keysOf(tables.subject.columns[kSubjectId], subjectIds);
  DataProblem unknownStudent{"results of students not in table Student", 0, {}};
  DataProblem unknownSubject{
      "results of subjects not in table Subject, left out everywhere", 0, {}};
  DataProblem outOfRange{"marks outside 0 to 100", 0, {}};
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
  DataProblem cut{"subject names longer than the 50 characters a screen shows", 0, {}};
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
    out << problem.count << " " << problem.title << "\n";
    for (const std::string& example : problem.examples) {
      out << "    " << example << "\n";
    }
    if (problem.count > static_cast<long>(problem.examples.size())) {
      out << "    ... and " << problem.count - static_cast<long>(problem.examples.size())
          << " more\n";
    }
  }
}
