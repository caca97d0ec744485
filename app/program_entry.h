// What both entry points (a POSIX terminal's and a Windows console's) do once the command line
// is read and the console made.
#pragma once

#include "app/command_line.h"
#include "console/session_console.h"

// --help, --version, the refusal of a wrong command line, or a job without the keyboard: does it
// and returns the status.
int runCommandLine(const CommandLine& line);

// The program on console, for the source the command line names: interrupts and the
// out-of-memory report routed to the console, "Loading ..." with its progress, the session, and a
// fatal error as one line on stderr once the screen is given back. Returns the exit status.
int runProgram(SessionConsole& console, const CommandLine& line);
