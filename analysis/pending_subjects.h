// The walk over a student's results shared by forecasting and suggestion, and the check of a
// typed expected mark.
#pragma once

#include "store/tree/record_tree.h"

struct PendingSubject {
  char subjectName[textBytes(kSubjectNameChars) + 1];
  PendingSubject* next;
};

struct PendingFigures {
  int totalMarks = 0;    // sum of the marks obtained (clamped, never overflows)
  int subjectCount = 0;  // every result, with and without marks
  int pendingCount = 0;  // results without marks: the length of the list
  PendingSubject* firstPending = nullptr;
};

// Fills figures from the student; false when memory ran out ("Out Of Memory" has been reported
// and nothing is left allocated).
bool collectPendingSubjects(const StudentRecord& student, PendingFigures& figures);

void freePendingSubjects(PendingSubject* first);

// Releases a pending list on every exit path of a screen.
class PendingSubjectsGuard {
 public:
  explicit PendingSubjectsGuard(PendingFigures& figures) : figures_(figures) {}
  ~PendingSubjectsGuard() { release(); }
  PendingSubjectsGuard(const PendingSubjectsGuard&) = delete;
  PendingSubjectsGuard& operator=(const PendingSubjectsGuard&) = delete;
  void release() {
    freePendingSubjects(figures_.firstPending);
    figures_.firstPending = nullptr;
  }

 private:
  PendingFigures& figures_;
};

// The expected-mark check: one digit; otherwise no leading zero, sign, blank or trailing
// character unless the text holds a '.', and a value from 0 to 100.
bool isValidMarks(const char* text);

// The whole marks a valid text adds: its leading digits, the fraction dropped ('7.5' adds 7).
int expectedMarksValue(const char* text);

// Adds without overflowing a 32-bit int.
int addMarks(int total, int marks);
