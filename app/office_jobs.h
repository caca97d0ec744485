// The office's jobs without the keyboard: the letters of an intake (as the mail file or printable),
// the results and each student's standing as CSV, and the data check.
#pragma once

#include "app/command_line.h"

// Exit statuses of a job, beside the program's own (0 done, 1, 2 a wrong command line).
constexpr int kJobDone = 0;
// The database cannot be used, the intake has no student, or the check found problems.
constexpr int kJobNoData = 1;
// The file cannot be written; the summary line says what became of an old file of that name.
constexpr int kJobCannotWrite = 3;

// Loads the source the command line names (a counter on standard error when it is a terminal and
// the load takes over half a second), does the job, and ends with one line on standard error.
// Returns the exit status.
int runOfficeJob(const CommandLine& line);
