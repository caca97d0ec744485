// The intake prompt, typed key by key, and the question that writes the intake's result mails.
#include "app/intake_selection.h"

#include "app/key_entry.h"
#include "console/safe_text.h"
#include "mail/result_mail.h"
#include "store/tree/student_index.h"

namespace {

// Asks until the answer is yes or no; on yes writes the mails and reports them written only when
// they were, since a failed run has already said why on the console.
void offerMails(const IntakeRecord& intake, const char* text, Console& console) {
  std::ostream& out = console.out();
  for (;;) {
    out << "\n\tIntake " << caretControls(text) << " found\n";
    out << "\tGenerate Mails? (y/n):";
    const int answer = console.readAnswer();
    if (answer == 'y' || answer == 'Y') {
      if (writeResultMails(intake, out) == MailOutcome::kWritten) {
        out << "\n\tMails written to mail.txt\n";
      }
      return;
    }
    if (answer == 'n' || answer == 'N') {
      return;
    }
  }
}

}  // namespace

void selectIntakeForMails(RecordTree tree, Console& console) {
  const IntakeRecord* intake = nullptr;
  std::string text;
  auto lookup = [&](const char* typed) { return (intake = findIntake(tree, typed)) != nullptr; };
  // Each answer, yes or no, leads back to the prompt: only ESC there returns.
  while (promptUntilFound(console, kIntakeEntry, lookup, text)) {
    offerMails(*intake, text.c_str(), console);
  }
}
