// The intake prompt, typed key by key, and the question that writes the intake's result mails.
#include "app/intake_selection.h"

#include "mail/result_mail.h"
#include "store/tree/student_index.h"

namespace {

// Only eight characters are typed, although a stored intake code may be longer.
constexpr std::size_t kIntakeChars = 8;

using IntakeText = char[kIntakeChars + 1];

// Only a-z fold: digits, punctuation, Backspace and codes above 127 are stored as typed.
char foldToUpper(int key) {
  if (key >= 'a' && key <= 'z') {
    return static_cast<char>(key - 'a' + 'A');
  }
  return static_cast<char>(key);
}

// Reads the intake into text; false when the operator pressed ESC. The entry ends by itself on the
// eighth character, without waiting for Enter.
bool readIntakeText(Console& console, IntakeText& text) {
  std::size_t position = 0;
  for (;;) {
    const Key key = console.readKey();
    console.out() << key.text;
    if (key.code == kEnterKey) {
      text[position] = '\0';
      return true;
    }
    if (key.code == kEscapeKey) {
      return false;
    }
    // A UTF-8 character is stored whole or, when it no longer fits, echoed and dropped.
    if (position + key.text.size() > kIntakeChars) {
      continue;
    }
    for (char byte : key.text) {
      text[position++] = foldToUpper(static_cast<unsigned char>(byte));
    }
    if (position == kIntakeChars) {
      text[position] = '\0';
      return true;
    }
  }
}

// Asks until the answer is yes or no; on yes writes the mails and reports them written only when
// they were, since a failed run has already said why on the console.
void offerMails(const IntakeRecord& intake, const char* text, Console& console) {
  std::ostream& out = console.out();
  for (;;) {
    out << "\n\tIntake " << text << " found\n";
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
  std::ostream& out = console.out();
  for (;;) {
    out << "\n\n\tPress ESC to back to Main Menu";
    out << "\n\tPlease enter Intake for mails generation: ";
    IntakeText text;
    if (!readIntakeText(console, text)) {
      return;
    }
    const IntakeRecord* intake = findIntake(tree, text);
    if (intake == nullptr) {
      // No clear: the next prompt follows below the message.
      out << "\n\n\tIntake " << text << " not found\n";
      continue;
    }
    offerMails(*intake, text, console);
  }
}
