// Suggestion: which marks, and which mix of Distinction, Credit and Pass, reach a chosen grade.
#pragma once

#include <ostream>

#include "analysis/console_interface.h"
#include "store/record_tree.h"

// Writes the advice block for the target letter (A, B or C in either case).
void printSuggestion(char target, int totalMarks, int subjectCount, int unfilledCount,
                     std::ostream& out);

void runSuggestion(const StudentRecord& student, Console& console);
