// The jobs' intake lookup: what the office types, as the source itself would compare it.
#include "app/job_intake.h"

#include <cstring>

#include "store/tree/student_index.h"

namespace {

const IntakeRecord* findCompared(RecordTree tree, const std::string& text,
                                 const IntakeSpellings& spellings) {
  const std::string wanted = comparedIntake(text, spellings);
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (comparedIntake(intake->code, spellings) == wanted) {
      return intake;
    }
  }
  return nullptr;
}

bool holdsStudent(const IntakeRecord& intake, const std::string& id) {
  char kept[textBytes(kStudentIdChars)];
  copyText(kept, sizeof kept, kStudentIdChars, id.c_str());
  for (const StudentRecord* student = intake.firstStudent; student != nullptr;
       student = student->next) {
    if (std::strcmp(student->studentId, kept) == 0) {
      return true;
    }
  }
  return false;
}

// The intake a long stored text is kept as: of the intakes keeping the same 15 characters, the
// one holding the student of the text's first row.
const IntakeRecord* findKeptAs(RecordTree tree, const std::string& code,
                               const std::string& firstStudent, const IntakeSpellings& spellings) {
  const IntakeRecord* first = nullptr;
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (comparedIntake(intake->code, spellings) != comparedIntake(code, spellings)) {
      continue;
    }
    if (holdsStudent(*intake, firstStudent)) {
      return intake;
    }
    first = first == nullptr ? intake : first;
  }
  return first;
}

}  // namespace

JobIntake findJobIntake(RecordTree tree, const std::string& asked,
                        const IntakeSpellings& spellings) {
  JobIntake found;
  found.intake = findIntake(tree, asked.c_str());
  if (found.intake == nullptr) {
    found.intake = findCompared(tree, asked, spellings);
  }
  if (found.intake == nullptr && intakeCodeOf(asked) != asked) {
    for (const auto& [stored, firstStudent] : spellings.longTexts) {
      if (comparedIntake(stored, spellings) == comparedIntake(asked, spellings)) {
        found.intake = findKeptAs(tree, intakeCodeOf(stored), firstStudent, spellings);
        break;
      }
    }
  }
  if (found.intake == nullptr) {
    found.intake = findIntake(tree, intakeAsTyped(asked).c_str());
  }
  if (found.intake == nullptr) {
    // Another spelling of the same letters, or the code a longer text would be kept as.
    IntakeSpellings anyCase = spellings;
    anyCase.ignoresCase = true;
    const IntakeRecord* near = findCompared(tree, asked, anyCase);
    near = near != nullptr ? near : findCompared(tree, intakeCodeOf(asked), anyCase);
    found.nearest = near != nullptr ? near->code : "";
  }
  return found;
}
