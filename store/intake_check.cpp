// The data check of the intakes, as the Intake column compares them and as the program holds them.
#include "store/intake_check.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "store/data_check_rows.h"
#include "store/tree/record_tree.h"
#include "store/tree/student_index.h"
#include "util/ascii_fold.h"

namespace {

// The spellings of one intake as the Intake column compares them, in the order of their first
// rows: the program holds the intake in the first row's spelling.
struct IntakeClass {
  std::vector<std::pair<std::string, long>> spellings;  // with their rows
  long students = 0;
  const std::string& held() const { return spellings.front().first; }
};

std::string withoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

Collation collationOf(const SourceColumn& column) {
  Collation collation = Collation::kBinary;
  parseCollation(column.collation(), collation);
  return collation;
}

IntakeSpellings comparisonOf(const SourceColumn& intakes) {
  const Collation collation = collationOf(intakes);
  IntakeSpellings spellings;
  spellings.ignoresCase = collation == Collation::kNoCase;
  spellings.ignoresTrailingBlanks = collation == Collation::kRtrim;
  return spellings;
}

// Whether the intake prompt, which takes 8 characters typed as capitals, can reach the code.
bool promptReaches(const std::string& code) {
  return charactersIn(code) <= kIntakePromptChars && intakeAsTyped(code) == code;
}

std::vector<IntakeClass> intakeClasses(const SourceColumn& intakes) {
  const IntakeSpellings comparison = comparisonOf(intakes);
  std::vector<IntakeClass> classes;
  std::map<std::string, std::size_t> classOf;
  for (std::size_t row = 0; row < intakes.size(); ++row) {
    if (intakes.typeAt(row) == ValueType::kNull) {
      continue;
    }
    const std::string intake = textAt(intakes, row);
    auto [found, added] = classOf.emplace(comparedIntake(intake, comparison), classes.size());
    if (added) {
      classes.emplace_back();
    }
    IntakeClass& intakeClass = classes[found->second];
    ++intakeClass.students;
    auto spelling = std::find_if(intakeClass.spellings.begin(), intakeClass.spellings.end(),
                                 [&](const auto& known) { return known.first == intake; });
    if (spelling == intakeClass.spellings.end()) {
      intakeClass.spellings.emplace_back(intake, 1);
    } else {
      ++spelling->second;
    }
  }
  return classes;
}

// The codes as the program holds them, which the prompt must type whole.
DataProblem untypableIntakes(const std::vector<IntakeClass>& intakes) {
  DataProblem untypable{
      "intakes the mail prompt cannot take (over 8 characters, or small letters, which the "
      "prompt types as capitals), whose letters only --letters writes",
      "intake the mail prompt cannot take (over 8 characters, or small letters, which the "
      "prompt types as capitals), whose letters only --letters writes",
      0,
      {}};
  std::set<std::string> held;
  for (const IntakeClass& intake : intakes) {
    held.insert(intake.held());
  }
  for (const std::string& code : held) {
    if (!isBlank(code) && !promptReaches(code)) {
      add(untypable, quoted(code));
    }
  }
  return untypable;
}

DataProblem intakesSpeltSeveralWays(const std::vector<IntakeClass>& intakes) {
  DataProblem several{
      "intakes spelt more than one way, which the program holds in the first row's spelling",
      "intake spelt more than one way, which the program holds in the first row's spelling",
      0,
      {}};
  for (const IntakeClass& intake : intakes) {
    if (intake.spellings.size() < 2) {
      continue;
    }
    std::string example;
    for (const auto& [spelling, rows] : intake.spellings) {
      example += (example.empty() ? "" : ", ") + quoted(spelling) + " " +
                 plural(rows, "student", "students");
    }
    example += ": held as " + quoted(intake.held()) + " with all " +
               std::to_string(intake.students) + ", which the prompt " +
               (promptReaches(intake.held()) ? "reaches" : "cannot reach") +
               "; --letters takes every spelling";
    add(several, example);
  }
  return several;
}

DataProblem cutIntakes(const SourceColumn& intakes) {
  std::map<std::string, long> studentsOf;
  for (std::size_t row = 0; row < intakes.size(); ++row) {
    const std::string intake = textAt(intakes, row);
    if (charactersIn(intake) > kIntakeCodeChars) {
      ++studentsOf[intake];
    }
  }
  DataProblem cut{"intakes longer than the 15 characters the program keeps of an intake",
                  "intake longer than the 15 characters the program keeps of an intake",
                  0,
                  {}};
  for (const auto& [intake, students] : studentsOf) {
    add(cut, quoted(intake) + " (" + plural(students, "student", "students") + "): held as " +
                 quoted(intakeCodeOf(intake)) + "; --letters takes either");
  }
  return cut;
}

}  // namespace

void checkIntakes(const SourceTable& student, DataCheck& check) {
  const SourceColumn& intakes = student.columns[kIntake];
  const std::vector<IntakeClass> classes = intakeClasses(intakes);
  check.problems.push_back(untypableIntakes(classes));
  check.problems.push_back(intakesSpeltSeveralWays(classes));
  check.problems.push_back(cutIntakes(intakes));
}

std::string comparedIntake(const std::string& text, const IntakeSpellings& spellings) {
  const std::string kept = spellings.ignoresTrailingBlanks ? withoutTrailingBlanks(text) : text;
  return spellings.ignoresCase ? asciiLower(kept) : kept;
}

IntakeSpellings intakeSpellingsOf(const SourceTables& tables) {
  const SourceColumn& intakes = tables.student.columns[kIntake];
  IntakeSpellings spellings = comparisonOf(intakes);
  for (std::size_t row = 0; row < intakes.size(); ++row) {
    const std::string text = textAt(intakes, row);
    if (charactersIn(text) > kIntakeCodeChars) {
      spellings.longTexts.emplace(text, textAt(tables.student.columns[kStudentId], row));
    }
  }
  return spellings;
}
