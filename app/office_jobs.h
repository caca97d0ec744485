// The office's jobs without the keyboard: the letters of an intake (as the mail file or printable),
// the results and each student's standing as CSV, and the data check.
#pragma once

#include "app/command_line.h"

// Exit statuses of a job, beside the program's own (0 done, 1, 2 a wrong command line), each
// its own so that cron and the Task Scheduler can tell trouble from findings.
constexpr int kJobDone = 0;
// The database cannot be used: it cannot be read, holds no student, or memory ran out.
constexpr int kJobNoData = 1;
// The file cannot be written; the summary line says what became of an old file of that name.
constexpr int kJobCannotWrite = 3;
// --check found problems in the data (and reported them).
constexpr int kJobProblemsFound = 4;
// The database is fine, but the intake named has no student: nothing is written.
constexpr int kJobNoStudentInIntake = 5;

// Loads the source the command line names (a counter on standard error when it is a terminal and
// the load takes over half a second), does the job, and ends with one line on standard error.
// Returns the exit status.
int runOfficeJob(const CommandLine& line);
