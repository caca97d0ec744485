// Suggestion: which marks, and which mix of Distinction, Credit and Pass, reach a chosen grade.
#include "analysis/suggestion.h"

#include <cstdint>
#include <cstring>

#include "analysis/grade_bands.h"

namespace {

// The advice works in 64 bits so that huge counts and totals cannot overflow; with real
// students every figure also fits the 32-bit values it is given as.
using Count = std::int64_t;

constexpr std::size_t kMarksFieldChars = 3;

}  // namespace

std::int64_t marksPerSubject(char target) {
  switch (target) {
    case 'A':
    case 'a':
      return kDistinctionMarks;
    case 'B':
    case 'b':
      return kCreditMarks;
    case 'C':
    case 'c':
      return kPassMarks;
    default:
      return 0;
  }
}

std::int64_t marksNeededFor(char target, int totalMarks, int subjectCount) {
  return marksPerSubject(target) * subjectCount - totalMarks;
}

bool isGradeReachable(std::int64_t need, int unfilledCount) {
  return need <= std::int64_t{unfilledCount} * kFullMarks;
}

namespace {

// Rounds up; both operands are positive wherever it is used.
Count ceilDiv(Count dividend, Count divisor) {
  return (dividend + divisor - 1) / divisor;
}

void writeProposal(std::ostream& out, Count first, const char* firstWord, Count second,
                   const char* secondWord) {
  out << "\t" << first << firstWord << std::endl;
  if (second != 0) {
    out << "\t" << second << secondWord << std::endl;
  }
  out << "\t"
      << "for remaining unfilled subject(s)" << std::endl;
}

// Every unfilled subject at a Pass first; excess is what they must bring on top of that
// (0 < excess <= u * kDistinctionOverPass).
void writeMixes(Count excess, Count u, std::ostream& out) {
  // Distinctions while more than a Credit's step is missing, then at most one Credit closes the
  // gap.
  const Count distinctions =
      excess > kCreditOverPass ? ceilDiv(excess - kCreditOverPass, kDistinctionOverPass) : 0;
  const Count credits = excess - distinctions * kDistinctionOverPass > 0 ? 1 : 0;
  const Count passes = u - distinctions - credits;
  out << "\n\t"
      << "You can get the grade, " << std::endl;
  out << "\t"
      << "If you get :" << std::endl
      << std::endl;
  if (distinctions != 0) {
    out << "\t" << distinctions << " DISTINCTION," << std::endl;
  }
  if (credits != 0) {
    out << "\t" << credits << " CREDIT," << std::endl;
  }
  if (passes != 0) {
    out << "\t" << passes << " PASS" << std::endl;
  }
  out << "\t"
      << "for remaining unfilled subject(s)" << std::endl;
  out << "\n\t"
      << "OR" << std::endl
      << std::endl;
  if (excess <= u * kCreditOverPass) {
    const Count k = ceilDiv(excess, kCreditOverPass);
    writeProposal(out, k, " CREDIT,", u - k, " PASS");
    return;
  }
  const Count withCredits = ceilDiv(excess - u * kCreditOverPass, kDistinctionOverCredit);
  writeProposal(out, withCredits, " DISTINCTION,", u - withCredits, " CREDITS");
  const Count withPasses = ceilDiv(excess, kDistinctionOverPass);
  writeProposal(out, withPasses, " DISTINCTION,", u - withPasses, " PASS");
}

void writeEntryHeading(std::ostream& out) {
  out << "\t"
      << "==============================================" << std::endl;
  out << "\t"
      << "Please Enter the Expected Marks for Suggestion:" << std::endl;
  out << "\t"
      << "==============================================" << std::endl
      << std::endl;
}

char askTargetLetter(Console& console) {
  for (;;) {
    console.out() << "\n\tPlease enter expected final grade(A,B,C): ";
    const int letter = console.readAnswer();
    if (letter == 'A' || letter == 'a' || letter == 'B' || letter == 'b' || letter == 'C' ||
        letter == 'c') {
      return static_cast<char>(letter);
    }
  }
}

struct MarksEntry {
  char text[kMarksFieldChars + 1] = {};
  std::size_t length = 0;  // bytes stored, at most the field's three
  bool tooLong = false;    // a fourth key came: the entry is refused
};

// Keys until Enter, each echoed by the screen itself. Backspace, ESC and both codes of an
// extended key are plain characters here; none of them edits the entry.
MarksEntry readMarksEntry(Console& console) {
  MarksEntry entry;
  for (Key key = console.readKey(); key.code != kEnterKey; key = console.readKey()) {
    console.echo(key);
    if (entry.length + key.text.size() <= kMarksFieldChars) {
      key.text.copy(entry.text + entry.length, key.text.size());
      entry.length += key.text.size();
    } else {
      entry.tooLong = true;
    }
  }
  console.out() << "\n";
  return entry;
}

// Asks until the entry is accepted; adds its marks to totalMarks and counts a blank entry.
void readExpectedMarks(const char* subjectName, Console& console, int& totalMarks,
                       int& unfilledCount) {
  for (;;) {
    console.out() << "\t" << stored(subjectName) << " : ";
    const MarksEntry entry = readMarksEntry(console);
    if (entry.length == 0) {
      ++unfilledCount;
    }
    // A function key stores its 0 prefix, which would cut the text short and pass as a blank
    // worth 0 marks although keys were typed; such an entry is refused like any other odd key.
    const bool holdsNul = std::strlen(entry.text) != entry.length;
    if (!entry.tooLong && !holdsNul && isValidMarks(entry.text)) {
      totalMarks = addMarks(totalMarks, expectedMarksValue(entry.text));
      return;
    }
    console.out() << "\t"
                  << "Invalid Marks" << std::endl;
  }
}

// One pass; true when the operator asks for another.
bool runSuggestionPass(const StudentRecord& student, Console& console) {
  console.clearScreen();
  PendingFigures figures;
  if (!collectPendingSubjects(student, figures)) {
    return false;
  }
  PendingSubjectsGuard guard(figures);
  writeSuggestionOpening(figures, console.out());
  const char target = askTargetLetter(console);
  if (figures.pendingCount == 0) {
    console.out() << "\t"
                  << "No more subject for this level, impossible to give suggestion." << std::endl;
    return false;
  }
  writeEntryHeading(console.out());
  int totalMarks = figures.totalMarks;
  int unfilledCount = 0;
  for (const PendingSubject* subject = figures.firstPending; subject != nullptr;
       subject = subject->next) {
    readExpectedMarks(subject->subjectName, console, totalMarks, unfilledCount);
  }
  printSuggestion(target, totalMarks, figures.subjectCount, unfilledCount, console.out());
  guard.release();
  return askYesNo(console, "\n\tGet Suggestion Again?(y/n):");
}

}  // namespace

void printSuggestion(char target, int totalMarks, int subjectCount, int unfilledCount,
                     std::ostream& out) {
  const Count u = unfilledCount;
  const Count need = marksNeededFor(target, totalMarks, subjectCount);
  out << std::endl;
  out << "\t"
      << "===========================" << std::endl;
  out << "\t"
      << " Suggestion" << std::endl;
  out << "\t"
      << "===========================" << std::endl;
  if (!isGradeReachable(need, unfilledCount)) {
    out << "\n\t"
        << "You are impossible to achieve the grade" << std::endl
        << std::endl;
    return;
  }
  if (need > u * kDistinctionMarks) {
    out << "\n\t"
        << "If You get all Distinction for the " << u << " unfilled subjects," << std::endl;
    out << "\t"
        << "You are mathematically possible to get the grade." << std::endl
        << std::endl;
  } else if (need <= u * kPassMarks) {
    out << "\n\t"
        << "You can get the grade if you get PASS for the " << u << " unfilled subjects"
        << std::endl;
  } else {
    writeMixes(need - u * kPassMarks, u, out);
  }
  out << "\n\t"
      << "You need to get at least " << need << " marks for the remaining " << u
      << " unfilled subject" << std::endl;
}

void writeSuggestionOpening(const PendingFigures& figures, std::ostream& out) {
  out << "\t"
      << "=================" << std::endl;
  out << "\t"
      << "Current Result:" << std::endl;
  out << "\t"
      << "=================" << std::endl;
  out << "\t"
      << "Total: " << figures.totalMarks << std::endl;
  out << "\t" << figures.subjectCount - figures.pendingCount << " Subject(s) Completed"
      << std::endl;
  out << "\t" << figures.pendingCount << " Subject(s) to go" << std::endl << std::endl;
  out << "\t"
      << "A - Distinction" << std::endl;
  out << "\t"
      << "B - Credit" << std::endl;
  out << "\t"
      << "C - Pass" << std::endl;
}

void runSuggestion(const StudentRecord& student, Console& console) {
  while (runSuggestionPass(student, console)) {
  }
}
