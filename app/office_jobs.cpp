// The jobs: one load, one file written whole (or the check's report), one line on stderr.
#include "app/office_jobs.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <fstream>
#include <functional>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/results_export.h"
#include "analysis/standing.h"
#include "app/job_intake.h"
#include "app/job_streams.h"
#include "app/program.h"
#include "app/run_setup.h"
#include "console/safe_text.h"
#include "mail/files_read.h"
#include "mail/printable_letters.h"
#include "mail/result_mail.h"
#include "mail/whole_output.h"
#include "store/data_check.h"
#include "store/intake_check.h"
#include "store/loader.h"
#include "store/tree/out_of_memory.h"
#include "store/tree/student_index.h"
#include "util/plural.h"

namespace {

constexpr const char* kStandardOutput = "-";

std::string shown(const std::string& text) {
  return safeText(text, replacementForTerminal());
}

int finish(int status, const std::string& summary) {
  std::cerr << "tavrinel: " << summary << std::endl;
  return status;
}

int fail(int status, const std::string& reason) {
  return finish(status, "error: " + reason);
}

void reportOutOfMemoryOnStandardError() {
  std::cerr << "tavrinel: error: out of memory" << std::endl;
}

// The interactive loading line's counter, on standard error where it is a terminal, wiped once
// the load is done so that the summary line stands alone.
class LoadCounter {
 public:
  LoadCounter() : shows_(isStandardErrorTerminal()) {}
  ~LoadCounter() { wipe(); }
  LoadCounter(const LoadCounter&) = delete;
  LoadCounter& operator=(const LoadCounter&) = delete;

  LoadProgress progress() {
    if (!shows_) {
      return {};
    }
    return loadingCounter([this](const std::string& line) {
      std::cerr << '\r' << line << std::flush;
      width_ = line.size();
    });
  }

  void wipe() {
    if (width_ != 0) {
      std::cerr << '\r' << std::string(width_, ' ') << '\r' << std::flush;
      width_ = 0;
    }
  }

 private:
  bool shows_;
  std::size_t width_ = 0;
};

// The one line of a job whose file was not written: the reason, then what became of an old file.
std::string cannotWrite(const std::string& path, const OutputOutcome& outcome) {
  std::string line = "cannot write '" + shown(path) + "'";
  if (!outcome.reason.empty()) {
    line += ": " + shown(outcome.reason);
  }
  if (outcome.isStream) {
    return outcome.streamBytes == 0
               ? line
               : line + "; cut short at " + std::to_string(outcome.streamBytes) + " bytes";
  }
  if (outcome.oldFile.lost) {
    return line + "; the old file was replaced and is cut short at " +
           std::to_string(outcome.oldFile.size) + " bytes";
  }
  return line + "; an old file of that name is as it was";
}

// Writes path whole, then ends the job with done, or with why it was not written: a writer that
// ran out of memory (outOfMemory) leaves nothing written.
int writeJobOutput(const std::string& path, const ContentWriter& write,
                   const std::function<std::string()>& done, const bool* outOfMemory = nullptr) {
  const OutputOutcome outcome = writeWholeOutput(path, write);
  if (outOfMemory != nullptr && *outOfMemory) {
    return fail(kJobNoData, "out of memory");
  }
  if (outcome.isFileRead) {
    return fail(kExitBadArguments, shown(outcome.reason));
  }
  if (!outcome.written()) {
    return fail(kJobCannotWrite, cannotWrite(path, outcome));
  }
  return finish(
      kJobDone,
      done() + (outcome.ownerLost ? "; the old file's owner and group could not be kept" : ""));
}

std::string noStudentIn(const std::string& code, const JobIntake& found,
                        const std::string& databaseName) {
  return "no student of intake '" + shown(code) + "' in " + shown(databaseName) +
         (found.nearest.empty() ? "" : ", which spells an intake '" + shown(found.nearest) + "'");
}

std::string intakeWords(const IntakeRecord* only) {
  return only == nullptr ? "" : std::string(" of intake ") + shown(only->code);
}

std::string destination(const std::string& path) {
  return path == kStandardOutput ? "standard output" : shown(path);
}

long countStudents(const IntakeRecord& intake) {
  long students = 0;
  for (const StudentRecord* student = intake.firstStudent; student != nullptr;
       student = student->next) {
    ++students;
  }
  return students;
}

// The sender's lines from the --sender file; false when it cannot be read or is no such file.
bool readSender(const std::string& path, std::vector<std::string>& lines) {
  constexpr std::streamsize kLargestSenderFile = 4096;
  std::ifstream file(path, std::ios::binary);
  std::string text(kLargestSenderFile + 1, '\0');
  file.read(text.data(), kLargestSenderFile + 1);
  if (file.bad() || !file.eof() || file.gcount() > kLargestSenderFile) {
    return false;
  }
  text.resize(static_cast<std::size_t>(file.gcount()));
  lines = senderLines(text);
  return !lines.empty();
}

int runPrintableLetters(const IntakeRecord& intake, const OfficeJob& job, const MailClock& clock) {
  PrintLayout layout;
  if (!job.sender.empty() && !readSender(job.sender, layout.sender)) {
    return fail(kExitBadArguments, "--sender '" + shown(job.sender) +
                                       "': cannot be read, or is not the office's name and at most "
                                       "four address lines of up to 60 characters each");
  }
  layout.paper = job.paper == OfficeJob::Paper::kA4 ? PaperSize::kA4 : PaperSize::kLetter;
  layout.addressRightMm = job.addressRightMm;
  layout.addressDownMm = job.addressDownMm;
  return writeJobOutput(
      job.printable, [&](std::ostream& out) { writePrintableLetters(intake, layout, clock, out); },
      [&] {
        return plural(countStudents(intake), "printable letter", "printable letters") +
               " of intake " + shown(intake.code) + " (" +
               (layout.paper == PaperSize::kA4 ? "A4" : "US Letter") + ") written to " +
               destination(job.printable);
      });
}

int runLetters(RecordTree tree, const OfficeJob& job, const IntakeSpellings& spellings,
               const std::string& databaseName) {
  const JobIntake found = findJobIntake(tree, job.intake, spellings);
  const IntakeRecord* intake = found.intake;
  if (intake == nullptr || intake->firstStudent == nullptr) {
    return fail(kJobNoStudentInIntake, noStudentIn(job.intake, found, databaseName));
  }
  const MailClock clock = [] { return std::time(nullptr); };
  if (!job.printable.empty()) {
    return runPrintableLetters(*intake, job, clock);
  }
  const std::string path = job.output.empty() ? kMailFileName : job.output;
  return writeJobOutput(
      path, [&](std::ostream& out) { writeIntakeLetters(*intake, clock, out); },
      [&] {
        return plural(countStudents(*intake), "letter", "letters") + " of intake " +
               shown(intake->code) + " written to " + destination(path);
      });
}

int runTable(RecordTree tree, const OfficeJob& job, const IntakeSpellings& spellings,
             const std::string& databaseName) {
  const IntakeRecord* only = nullptr;
  if (job.hasIntake) {
    const JobIntake found = findJobIntake(tree, job.intake, spellings);
    only = found.intake;
    if (only == nullptr || only->firstStudent == nullptr) {
      return fail(kJobNoStudentInIntake, noStudentIn(job.intake, found, databaseName));
    }
  }
  long rows = 0;
  bool outOfMemory = false;
  const bool isExport = job.kind == OfficeJob::Kind::kExport;
  return writeJobOutput(
      job.output,
      [&](std::ostream& out) {
        const CsvFormat format = job.semicolons ? kSemicolonCsv : CsvFormat{};
        rows = isExport ? writeResultsCsv(tree, only, out, format)
                        : writeStandingCsv(tree, only, out, format);
        outOfMemory = rows < 0;
        if (outOfMemory) {
          out.setstate(std::ios::badbit);  // half a table is not committed
        }
      },
      [&] {
        return (isExport ? plural(rows, "result", "results")
                         : "the standing of " + plural(rows, "student", "students")) +
               intakeWords(only) + " written to " + destination(job.output);
      },
      &outOfMemory);
}

std::string reportOf(const DataCheck& check) {
  std::ostringstream report;
  writeDataCheck(check, report);
  return report.str();
}

int runCheck(const DataCheck& check, const std::string& databaseName) {
  std::cout << safeText(reportOf(check), replacementForTerminal(), true) << std::flush;
  const long problems = check.problemCount();
  if (problems == 0) {
    return finish(kJobDone, "check of " + shown(databaseName) + ": no problem found");
  }
  long kinds = 0;
  for (const DataProblem& problem : check.problems) {
    kinds += problem.count != 0 ? 1 : 0;
  }
  return finish(kJobProblemsFound, "check of " + shown(databaseName) + ": " +
                                       plural(problems, "problem", "problems") + " of " +
                                       plural(kinds, "kind", "kinds"));
}

// The file a job writes, if it is one: the letters' (mail.txt by default), the printable
// letters', or the CSV file.
std::string fileWritten(const OfficeJob& job) {
  if (job.kind == OfficeJob::Kind::kCheck) {
    return "";
  }
  if (!job.printable.empty()) {
    return job.printable;
  }
  return job.output.empty() ? kMailFileName : job.output;
}

// Why the job would write over a file the run reads, which the program never writes; "" when not.
std::string writesOverFileRead(const OfficeJob& job) {
  const std::string path = fileWritten(job);
  const FileRead* read = path.empty()              ? nullptr
                         : path == kStandardOutput ? fileReadOpenAs(1)
                                                   : fileReadAt(path);
  return read == nullptr ? "" : neverWrittenReason(shown(path), *read);
}

// What the jobs take from the tables as read, before the tree is built from them: the intakes as
// stored, for finding an intake as the office spells it, and the data check when one is wanted.
struct JobCheck {
  bool wanted = false;
  bool checked = false;
  DataCheck check;
  bool intakeNamed = false;  // the spellings are read only for a job that names an intake
  IntakeSpellings spellings;

  TablesInspection inspection() {
    if (!wanted && !intakeNamed) {
      return {};
    }
    return [this](const SourceTables& tables) {
      if (!malformedTables(tables).empty()) {
        return;
      }
      if (intakeNamed) {
        spellings = intakeSpellingsOf(tables);
      }
      if (wanted) {
        check = checkSourceTables(tables);
        checked = true;
      }
    };
  }
};

// Loads the source with the counter on standard error. False, with the job's status in status,
// when there is no tree to work on.
bool loadForJob(const DatabaseSource& source, JobCheck& check, LoadResult& loaded, int& status) {
  LoadCounter counter;
  try {
    loaded = loadRecordTree(source, counter.progress(), check.inspection());
    return true;
  } catch (const std::bad_alloc&) {
    counter.wipe();
    status = fail(kJobNoData, "out of memory");
  } catch (const std::exception& error) {
    counter.wipe();
    // A check still reports what it found in tables the tree could not be built from.
    if (check.checked) {
      runCheck(check.check, source.name());
    }
    status = fail(kJobNoData, shown(error.what()));
  }
  return false;
}

}  // namespace

int runOfficeJob(const CommandLine& line) {
  const OfficeJob& job = line.job;
  setOutOfMemoryHandler(reportOutOfMemoryOnStandardError);
  removeMailTemporaryFilesOnFatalSignals();
  removeTemporaryFileOnInterrupt();
  const DatabaseSource source = databaseSource(line);
  neverWriteFilesOf(source);
  const std::string databaseName = source.name();
  const std::string overFileRead = writesOverFileRead(job);
  if (!overFileRead.empty()) {
    return fail(kExitBadArguments, overFileRead);
  }
  JobCheck check;
  check.wanted = job.kind == OfficeJob::Kind::kCheck;
  check.intakeNamed = job.hasIntake;
  LoadResult loaded;
  int status = kJobNoData;
  if (!loadForJob(source, check, loaded, status)) {
    return status;
  }
  const RecordTreeOwner tree(loaded.tree);
  if (loaded.status == LoadStatus::kOutOfMemory) {
    return kJobNoData;
  }
  if (loaded.status == LoadStatus::kNoStudent) {
    // A check still shows what it found; but with no student no letter can go out.
    if (check.checked) {
      std::cout << safeText(reportOf(check.check), replacementForTerminal(), true) << std::flush;
    }
    return fail(kJobNoData, "no student found in " + shown(databaseName));
  }
  if (check.wanted) {
    return check.checked ? runCheck(check.check, databaseName)
                         : fail(kJobNoData, "the tables were not read");
  }
  return job.kind == OfficeJob::Kind::kLetters
             ? runLetters(tree.get(), job, check.spellings, databaseName)
             : runTable(tree.get(), job, check.spellings, databaseName);
}
