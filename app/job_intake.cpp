// The jobs' intake lookup: what the office types, as the source itself would compare it.
#include "app/job_intake.h"

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

}  // namespace

JobIntake findJobIntake(RecordTree tree, const std::string& asked,
                        const IntakeSpellings& spellings) {
  JobIntake found;
  found.intake = findIntake(tree, asked.c_str());
  if (found.intake == nullptr) {
    found.intake = findCompared(tree, asked, spellings);
  }
  if (found.intake == nullptr && intakeCodeOf(asked) != asked) {
    for (const std::string& stored : spellings.longTexts) {
      if (comparedIntake(stored, spellings) == comparedIntake(asked, spellings)) {
        found.intake = findCompared(tree, intakeCodeOf(stored), spellings);
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
