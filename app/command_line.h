// The command line: an optional database file, --help, --version, and the jobs without the
// keyboard.
#pragma once

#include <ostream>
#include <string>

#include "app/job_options.h"
#include "store/loader.h"

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kRefuse, kJob };
  Action action = Action::kRun;
  std::string databasePath;  // as given, for every message; Database.mdb when none is given
  std::string connection;    // an ODBC connection string (--connect); empty to read a file
  std::string problem;       // why the line is refused, such as "unknown option '-x'"
  OfficeJob job;             // what to do without the keyboard (Action::kJob)
  bool plain = false;        // --plain: the screens' text only, for screen readers and braille
};

// Reads `tavrinel [--plain] [DATABASE]`, `tavrinel --connect CONNECTION`, `-h`/`--help` and
// `-V`/`--version`, and the job options (app/job_options.h). After `--` every argument is
// a file, so that a file whose name starts with '-' can be named.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The source the command line names: the connection, or else the database file.
DatabaseSource databaseSource(const CommandLine& line);

void writeUsage(std::ostream& out);

// The lines of the usage that differ by platform (command_line_posix.cpp, _windows.cpp): the rest
// of the --connect keys, and how a program ended by Ctrl-C or its window's closing is reported.
struct PlatformUsage {
  const char* connectKeys;
  const char* endings;
};
extern const PlatformUsage kPlatformUsage;

// What the program says when it refuses the line: the problem and where to look, two lines.
void writeRefusal(const CommandLine& line, std::ostream& err);
