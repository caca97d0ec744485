// The command line: an optional database file, --help and --version.
#include "app/command_line.h"

#include "app/job_options.h"
#include "console/safe_text.h"

namespace {

constexpr const char* kUsage =
    "usage: tavrinel [--plain] [DATABASE]\n"
    "       tavrinel [--plain] --connect CONNECTION\n"
    "       tavrinel [DATABASE | --connect CONNECTION] JOB\n"
    "       tavrinel --help | --version\n"
    "\n"
    "Loads DATABASE, an Access or SQLite file (default: Database.mdb in the working folder),\n"
    "and serves one operator at the keyboard: a student's results, chart, forecast and\n"
    "suggestion, and the result mails of an intake. The mails are written to mail.txt in the\n"
    "working folder, wherever the database is. Keys: digits choose, Enter ends an entry, ESC\n"
    "goes back at the menus and entries, and ESC at the main menu ends the program.\n"
    "\n"
    "  --connect CONNECTION  read the records through ODBC instead: a data source\n"
    "                        (DSN=office) or the driver's keys: Driver, Server (a host,\n";
constexpr const char* kUsageOptions =
    "  --plain               plain mode, for a screen reader or a braille display: no\n"
    "                        clearing, colours, cursor movement, boxes or rules, each\n"
    "                        prompt on a line of its own, each screen after a blank\n"
    "                        line (also when TERM is unset, dumb or unknown)\n"
    "\n"
    "Jobs, done without the keyboard (one per run; each ends with one line on stderr):\n"
    "  --letters INTAKE      the result mails of INTAKE, the same bytes as the menu's,\n"
    "                        written to mail.txt in the working folder\n"
    "    --output FILE       to FILE instead (- for standard output)\n"
    "    --printable FILE    printable letters instead: an HTML file, each letter on its\n"
    "                        own sheets, the address placed for a window envelope\n"
    "                        (mail.txt untouched)\n"
    "    --paper a4|letter   the printable letters' paper (default a4)\n"
    "    --address-offset RIGHT,DOWN\n"
    "                        move the printable letters' address block, in mm\n"
    "    --sender FILE       the office as sender on the printable letters: FILE holds\n"
    "                        its name and up to four address lines (UTF-8)\n"
    "  --export FILE         every result as CSV: student ID, name, intake, level,\n"
    "                        semester, subject ID, subject name, mark, grade\n"
    "  --standing FILE       each student's standing as CSV: results, average, subjects\n"
    "                        left, best grade still reachable, per grade the marks\n"
    "                        needed and reached, open or not reachable\n"
    "    --intake INTAKE     only the students of INTAKE (--export, --standing)\n"
    "    --separator semicolon\n"
    "                        ';' between fields and decimal commas, as Excel reads a\n"
    "                        CSV in most of Europe (default: comma, RFC 4180)\n"
    "  --check               report the data that would spoil letters or screens\n"
    "\n"
    "  -h, --help            show this text and exit\n"
    "  -V, --version         show the version and exit\n"
    "\n"
    "Exit status: 0 closed, 1 the database cannot be used, 2 a wrong command line,\n";
constexpr const char* kUsageJobStatus =
    "A job: 0 done (--check: no problem), 1 the database cannot be used, 2 a wrong command\n"
    "line or a file to write that the run reads, 3 the file cannot be written (the old one is\n"
    "kept, or the line says what became of it), 4 --check found problems, 5 no student in the\n"
    "intake (nothing written).\n";

bool isOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-';
}

CommandLine refuse(const std::string& problem) {
  CommandLine line;
  line.action = CommandLine::Action::kRefuse;
  line.problem = problem;
  return line;
}

}  // namespace

namespace {

// Where the arguments read so far have got to.
struct LineReading {
  CommandLine line;
  JobOptions jobOptions;
  bool optionsEnded = false;
  bool haveDatabase = false;
  bool done = false;  // --help or --version: nothing after them counts
};

// --connect CONNECTION or --connect=CONNECTION. False when the string is missing or empty.
bool readConnection(int argc, const char* const* argv, int& i, CommandLine& line) {
  const std::string argument = argv[i];
  if (argument == "--connect" && i + 1 < argc) {
    line.connection = argv[++i];
  } else if (argument != "--connect") {
    line.connection = argument.substr(std::string("--connect=").size());
  }
  return !line.connection.empty();
}

// Reads argv[i] (and its value), or says why the line is refused.
std::string readArgument(int argc, const char* const* argv, int& i, LineReading& reading) {
  const std::string argument = argv[i];
  const bool option = !reading.optionsEnded;
  CommandLine& line = reading.line;
  if (option && argument == "--") {
    reading.optionsEnded = true;
  } else if (option && (argument == "-h" || argument == "--help" || argument == "-V" ||
                        argument == "--version")) {
    line.action = argument == "-h" || argument == "--help" ? CommandLine::Action::kHelp
                                                           : CommandLine::Action::kVersion;
    reading.done = true;
  } else if (option && argument == "--plain") {
    line.plain = true;
  } else if (option && (argument == "--connect" || argument.rfind("--connect=", 0) == 0)) {
    return readConnection(argc, argv, i, line) ? "" : "--connect needs a connection string";
  } else if (option && readJobOption(argc, argv, i, reading.jobOptions)) {
    return reading.jobOptions.problem;
  } else if (option && isOption(argument)) {
    return "unknown option '" + argument + "'";
  } else if (reading.haveDatabase) {
    return "more than one database file: '" + line.databasePath + "' and '" + argument + "'";
  } else {
    line.databasePath = argument;
    reading.haveDatabase = true;
  }
  return "";
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  LineReading reading;
  for (int i = 1; i < argc && !reading.done; ++i) {
    const std::string problem = readArgument(argc, argv, i, reading);
    if (!problem.empty()) {
      return refuse(problem);
    }
  }
  CommandLine& line = reading.line;
  if (reading.done) {
    return line;
  }
  if (reading.haveDatabase && !line.connection.empty()) {
    return refuse("a database file and --connect: name one of them");
  }
  if (!reading.haveDatabase) {
    line.databasePath = kDatabaseFileName;
  }
  if (!reading.jobOptions.values.empty()) {
    const std::string problem = buildJob(reading.jobOptions, line.job);
    if (!problem.empty()) {
      return refuse(problem);
    }
    line.action = CommandLine::Action::kJob;
  }
  return line;
}

DatabaseSource databaseSource(const CommandLine& line) {
  return line.connection.empty() ? DatabaseSource::file(line.databasePath)
                                 : DatabaseSource::connection(line.connection);
}

void writeUsage(std::ostream& out) {
  out << kUsage << kPlatformUsage.connectKeys << kUsageOptions << kPlatformUsage.endings
      << kUsageJobStatus;
}

void writeRefusal(const CommandLine& line, std::ostream& err) {
  // The problem quotes what was typed, which may hold anything.
  err << "tavrinel: error: " << safeText(line.problem, replacementForTerminal())
      << "\nTry 'tavrinel --help'.\n";
}
