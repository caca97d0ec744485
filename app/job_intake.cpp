// The jobs' intake lookup: what the office types, as the source itself would compare it.
#include "app/job_intake.h"

#include "store/tree/student_index.h"

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

std::string withoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The text as the Intake column compares it.
std::string comparedForm(const std::string& text, const IntakeSpellings& spellings) {
  const std::string kept = spellings.ignoresTrailingBlanks ? withoutTrailingBlanks(text) : text;
  return spellings.ignoresCase ? lowerAscii(kept) : kept;
}

// The text as an intake code holds it: its first 15 characters.
std::string asCode(const std::string& text) {
  char code[textBytes(kIntakeCodeChars)];
  copyText(code, sizeof code, kIntakeCodeChars, text.c_str());
  return code;
}

const IntakeRecord* findCompared(RecordTree tree, const std::string& text,
                                 const IntakeSpellings& spellings) {
  const std::string wanted = comparedForm(text, spellings);
  for (const IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (comparedForm(intake->code, spellings) == wanted) {
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
  if (found.intake == nullptr && asCode(asked) != asked) {
    for (const std::string& stored : spellings.longTexts) {
      if (comparedForm(stored, spellings) == comparedForm(asked, spellings)) {
        found.intake = findCompared(tree, asCode(stored), spellings);
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
    near = near != nullptr ? near : findCompared(tree, asCode(asked), anyCase);
    found.nearest = near != nullptr ? near->code : "";
  }
  return found;
}
