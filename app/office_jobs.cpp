// The jobs: one load, one file written whole (or the check's report), one line on stderr.
#include "app/office_jobs.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <functional>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "analysis/results_export.h"
#include "analysis/standing.h"
#include "app/job_streams.h"
#include "app/program.h"
#include "app/program_entry.h"
#include "console/safe_text.h"
#include "mail/output_file.h"
#include "mail/printable_letters.h"
#include "mail/result_mail.h"
#include "store/data_check.h"
#include "store/loader.h"
#include "store/tree/out_of_memory.h"
#include "store/tree/student_index.h"

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

// A stream buffer that hands its bytes to an OutputFile in large pieces, so that a file of any
// size is written without holding it all in memory.
class OutputFileBuffer : public std::streambuf {
 public:
  explicit OutputFileBuffer(OutputFile& file) : file_(file) { setp(buffer_, buffer_ + kSize); }

  bool flushed() { return sync() == 0; }

 protected:
  int_type overflow(int_type ch) override {
    if (sync() != 0) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }

  int sync() override {
    const std::string bytes(pbase(), pptr());
    setp(buffer_, buffer_ + kSize);
    if (failed_ || (!bytes.empty() && !file_.write(bytes))) {
      failed_ = true;
    }
    return failed_ ? -1 : 0;
  }

 private:
  static constexpr std::size_t kSize = 1 << 16;
  OutputFile& file_;
  char buffer_[kSize];
  bool failed_ = false;
};

// Writes what write produces to path, replacing the file whole, or to standard output for "-".
// False when it cannot be written; a file's old content is then as it was.
bool writeOutput(const std::string& path, const std::function<void(std::ostream&)>& write) {
  if (path == kStandardOutput) {
    useBinaryStandardOutput();
    write(std::cout);
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  OutputFile file(path);
  if (!file.isOpen()) {
    return false;
  }
  OutputFileBuffer buffer(file);
  std::ostream out(&buffer);
  write(out);
  return out && buffer.flushed() && file.commit();
}

std::string cannotWrite(const std::string& path) {
  return "cannot write '" + shown(path) + "'; an old file of that name is as it was";
}

// The intake as given, or as the mail prompt would have typed it (in capitals).
const IntakeRecord* intakeNamed(RecordTree tree, const std::string& code) {
  if (const IntakeRecord* intake = findIntake(tree, code.c_str())) {
    return intake;
  }
  std::string typed = code;
  for (char& c : typed) {
    c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return findIntake(tree, typed.c_str());
}

std::string noStudentIn(const std::string& code, const std::string& databaseName) {
  return "no student of intake '" + shown(code) + "' in " + shown(databaseName);
}

std::string intakeWords(const IntakeRecord* only) {
  return only == nullptr ? "" : std::string(" of intake ") + shown(only->code);
}

std::string plural(long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
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

int runPrintableLetters(const IntakeRecord& intake, const OfficeJob& job, const MailClock& clock) {
  PrintLayout layout;
  layout.paper = job.paper == OfficeJob::Paper::kA4 ? PaperSize::kA4 : PaperSize::kLetter;
  layout.addressRightMm = job.addressRightMm;
  layout.addressDownMm = job.addressDownMm;
  if (!writeOutput(job.printable,
                   [&](std::ostream& out) { writePrintableLetters(intake, layout, clock, out); })) {
    return fail(kJobCannotWrite, cannotWrite(job.printable));
  }
  return finish(kJobDone, plural(countStudents(intake), "printable letter", "printable letters") +
                              " of intake " + shown(intake.code) + " (" +
                              (layout.paper == PaperSize::kA4 ? "A4" : "US Letter") +
                              ") written to " + destination(job.printable));
}

int runLetters(RecordTree tree, const OfficeJob& job, const std::string& databaseName) {
  const IntakeRecord* intake = intakeNamed(tree, job.intake);
  if (intake == nullptr || intake->firstStudent == nullptr) {
    return fail(kJobNoData, noStudentIn(job.intake, databaseName));
  }
  const MailClock clock = [] { return std::time(nullptr); };
  if (!job.printable.empty()) {
    return runPrintableLetters(*intake, job, clock);
  }
  const std::string path = job.output.empty() ? kMailFileName : job.output;
  bool written = false;
  if (path == kStandardOutput) {
    written = writeOutput(path, [&](std::ostream& out) {
      for (const StudentRecord* student = intake->firstStudent; student != nullptr;
           student = student->next) {
        writeResultLetter(*student, formatLetterDate(clock()), out);
      }
    });
  } else {
    // The menu's own writer: the same bytes, the same file manners.
    std::ostream silent(nullptr);
    written = writeResultMailFile(*intake, path, silent, clock) == MailOutcome::kWritten;
  }
  if (!written) {
    return fail(kJobCannotWrite, cannotWrite(path));
  }
  return finish(kJobDone, plural(countStudents(*intake), "letter", "letters") + " of intake " +
                              shown(intake->code) + " written to " + destination(path));
}

int runTable(RecordTree tree, const OfficeJob& job, const std::string& databaseName) {
  const IntakeRecord* only = nullptr;
  if (!job.intake.empty()) {
    only = intakeNamed(tree, job.intake);
    if (only == nullptr || only->firstStudent == nullptr) {
      return fail(kJobNoData, noStudentIn(job.intake, databaseName));
    }
  }
  long rows = 0;
  const bool isExport = job.kind == OfficeJob::Kind::kExport;
  const bool written = writeOutput(job.output, [&](std::ostream& out) {
    rows = isExport ? writeResultsCsv(tree, only, out) : writeStandingCsv(tree, only, out);
    if (rows < 0) {
      out.setstate(std::ios::badbit);  // half a table is not committed
    }
  });
  if (rows < 0) {
    return fail(kJobNoData, "out of memory");
  }
  if (!written) {
    return fail(kJobCannotWrite, cannotWrite(job.output));
  }
  return finish(kJobDone, (isExport ? plural(rows, "result", "results")
                                    : "the standing of " + plural(rows, "student", "students")) +
                              intakeWords(only) + " written to " + destination(job.output));
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
  return finish(kJobNoData, "check of " + shown(databaseName) + ": " +
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

// Whether the job would write over the database file it reads, which the program never writes.
bool writesOverDatabase(const OfficeJob& job, const DatabaseSource& source) {
  const std::string path = fileWritten(job);
  if (source.kind != DatabaseSource::Kind::kFile || path.empty() || path == kStandardOutput) {
    return false;
  }
  return isSameFile(path, source.location);
}

}  // namespace

int runOfficeJob(const CommandLine& line) {
  const OfficeJob& job = line.job;
  setOutOfMemoryHandler(reportOutOfMemoryOnStandardError);
  removeMailTemporaryFilesOnFatalSignals();
  removeTemporaryFileOnInterrupt();
  const DatabaseSource source = line.connection.empty()
                                    ? DatabaseSource::file(line.databasePath)
                                    : DatabaseSource::connection(line.connection);
  const std::string databaseName = source.name();
  if (writesOverDatabase(job, source)) {
    std::cerr << "tavrinel: error: '" << shown(fileWritten(job))
              << "' is the database itself, which is never written\nTry 'tavrinel --help'.\n";
    return kExitBadArguments;
  }
  const bool checks = job.kind == OfficeJob::Kind::kCheck;
  bool checked = false;
  DataCheck check;
  TablesInspection inspect;
  if (checks) {
    inspect = [&](const SourceTables& tables) {
      if (malformedTables(tables).empty()) {
        check = checkSourceTables(tables);
        checked = true;
      }
    };
  }
  LoadCounter counter;
  LoadResult loaded;
  try {
    loaded = loadRecordTree(source, counter.progress(), inspect);
  } catch (const std::bad_alloc&) {
    counter.wipe();
    return fail(kJobNoData, "out of memory");
  } catch (const std::exception& error) {
    counter.wipe();
    // A check still reports what it found in tables the tree could not be built from.
    if (checked) {
      runCheck(check, databaseName);
    }
    return fail(kJobNoData, shown(error.what()));
  }
  counter.wipe();
  const RecordTreeOwner tree(loaded.tree);
  if (loaded.status == LoadStatus::kOutOfMemory) {
    return kJobNoData;
  }
  if (loaded.status == LoadStatus::kNoStudent) {
    // A check still shows what it found; but with no student no letter can go out.
    if (checked) {
      std::cout << safeText(reportOf(check), replacementForTerminal(), true) << std::flush;
    }
    return fail(kJobNoData, "no student found in " + shown(databaseName));
  }
  if (checks) {
    return checked ? runCheck(check, databaseName) : fail(kJobNoData, "the tables were not read");
  }
  if (job.kind == OfficeJob::Kind::kLetters) {
    return runLetters(tree.get(), job, databaseName);
  }
  return runTable(tree.get(), job, databaseName);
}
