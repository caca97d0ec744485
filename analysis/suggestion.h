// Suggestion: which marks, and which mix of Distinction, Credit and Pass, reach a chosen grade.
#pragma once

#include <cstdint>
#include <ostream>

#include "analysis/pending_subjects.h"
#include "console/console_interface.h"
#include "store/tree/record_tree.h"

// The total a grade asks of every subject: 75 for A (Distinction), 60 for B (Credit), 40 for C
// (Pass), either case; 0 for any other letter.
std::int64_t marksPerSubject(char target);

// The marks still needed for the target over the subjects left: the target's total minus the
// marks so far. 0 or less when they already reach it.
std::int64_t marksNeededFor(char target, int totalMarks, int subjectCount);

// Whether the unfilled subjects, at 100 each at most, can bring what is needed.
bool isGradeReachable(std::int64_t need, int unfilledCount);

// Writes the advice block for the target letter (A, B or C in either case).
void printSuggestion(char target, int totalMarks, int subjectCount, int unfilledCount,
                     std::ostream& out);

// The current figures and the legend of the target letters.
void writeSuggestionOpening(const PendingFigures& figures, std::ostream& out);

// Each pass clears the screen, asks for the target letter and for an expected mark per subject
// without marks (Enter alone leaves it unfilled), prints the advice and asks whether to go again.
// An entry of more than three keys, or one holding a function key's 0 prefix, is refused with
// "Invalid Marks" when Enter ends it; keys past the third are echoed but never stored.
void runSuggestion(const StudentRecord& student, Console& console);
