// Suggestion: which marks, and which mix of Distinction, Credit and Pass, reach a chosen grade.
#pragma once

#include <ostream>

#include "analysis/console_interface.h"
#include "analysis/pending_subjects.h"
#include "store/tree/record_tree.h"

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
