// The options of the jobs done without the keyboard, read among the command line's arguments.
#pragma once

#include <map>
#include <string>

// A job done without the keyboard: load, write one file (or check the data), end.
struct OfficeJob {
  enum class Kind { kNone, kLetters, kExport, kStanding, kCheck };
  enum class Paper { kA4, kLetter };
  Kind kind = Kind::kNone;
  std::string intake;      // --letters INTAKE, or --intake INTAKE for --export and --standing
  bool hasIntake = false;  // an intake was named, the empty one too
  std::string output;      // the file written; "-" is standard output
  std::string printable;   // --printable FILE: printable letters instead of the mail file
  Paper paper = Paper::kA4;
  double addressRightMm = 0;  // --address-offset: the address block moved right and down
  double addressDownMm = 0;
  bool semicolons = false;  // --separator semicolon: the CSV with ';' and decimal commas
  std::string sender;       // --sender FILE: the office's name and address on the printable letters
};

// The job options as they came, gathered before they are checked together.
struct JobOptions {
  std::map<std::string, std::string> values;  // option name -> value ("" for --check)
  std::string problem;                        // the first one wrongly given
};

// Reads argv[i] if it is a job option (--letters, --output, --printable, --paper,
// --address-offset, --sender, --export, --standing, --intake, --separator, --check), moving i past
// its value, given as the next argument or after '='. False when it is none.
bool readJobOption(int argc, const char* const* argv, int& i, JobOptions& options);

// The job the gathered options ask for, or why they make none: one job at a time, and each other
// option only with the job it belongs to.
std::string buildJob(const JobOptions& options, OfficeJob& job);
