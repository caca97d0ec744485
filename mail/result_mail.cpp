// The result letters of one intake, written to mail.txt in full or not at all.
#include "mail/result_mail.h"

#include <iomanip>
#include <locale>
#include <sstream>
#include <streambuf>

#include "analysis/result_listing.h"
#include "mail/whole_output.h"

namespace {

constexpr const char* kRuleOfEquals =
    "=========================================================================";
constexpr const char* kRuleOfHyphens =
    "-------------------------------------------------------------------------";

// Hands every byte on to target, turning each newline into CR LF as a text-mode file on the
// office's Windows machines does, so that the letters are the same bytes wherever they are written.
class CrLfStreambuf : public std::streambuf {
 public:
  explicit CrLfStreambuf(std::streambuf* target) : target_(target) {}

 protected:
  int_type overflow(int_type ch) override {
    const int_type eof = traits_type::eof();
    if (traits_type::eq_int_type(ch, eof)) {
      return traits_type::not_eof(ch);
    }
    const char c = traits_type::to_char_type(ch);
    if (c == '\n' && traits_type::eq_int_type(target_->sputc('\r'), eof)) {
      return eof;
    }
    return traits_type::eq_int_type(target_->sputc(c), eof) ? eof : ch;
  }

  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
};

MailOutcome report(MailOutcome outcome, std::ostream& console) {
  if (outcome == MailOutcome::kCannotOpen) {
    console << "Cannot open output file" << std::endl;
  } else if (outcome == MailOutcome::kCannotWrite) {
    console << "Cannot write output file" << std::endl;
  } else if (outcome == MailOutcome::kOldFileLost) {
    console << "Cannot write output file; the old mail.txt is lost" << std::endl;
  }
  return outcome;
}

}  // namespace

std::string formatLetterDate(std::time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) {
    return {};
  }
  // The classic locale gives English month names whatever locale the process runs under.
  std::ostringstream date;
  date.imbue(std::locale::classic());
  date << std::put_time(&local, "%d %B %Y");
  return date.str();
}

std::vector<std::string> letterAddressLines(const StudentRecord& student) {
  static const AddressRecord kNoAddress{"", "", "", ""};
  const AddressRecord& address = student.address != nullptr ? *student.address : kNoAddress;
  return {std::string(address.streetAddress) + ",",
          std::string(address.postcode) + ", " + address.city + ",",
          std::string(address.state) + "."};
}

void writeResultLetter(const StudentRecord& student, const std::string& date, std::ostream& out) {
  CrLfStreambuf crlf(out.rdbuf());
  std::ostream letter(&crlf);
  for (const std::string& line : letterAddressLines(student)) {
    letter << line << std::endl;
  }
  letter << kRuleOfEquals << std::endl;
  letter << std::endl;
  letter << kLetterSalutation << student.name << "," << std::endl;
  letter << std::endl;
  letter << kLetterOpening << std::endl;
  letter << std::endl;
  writeResultListing(student, letter);
  letter << std::endl;
  letter << kLetterDateLabel << date << std::endl;
  letter << std::endl;
  letter << kLetterFooter << std::endl;
  letter << kRuleOfHyphens << std::endl;
  if (!letter) {
    out.setstate(std::ios::badbit);
  }
}

void forEachLetter(const IntakeRecord& intake, const MailClock& clock, const LetterVisitor& visit) {
  for (const StudentRecord* student = intake.firstStudent; student != nullptr;
       student = student->next) {
    visit(*student, formatLetterDate(clock()));
  }
}

void writeIntakeLetters(const IntakeRecord& intake, const MailClock& clock, std::ostream& out) {
  forEachLetter(intake, clock, [&out](const StudentRecord& student, const std::string& date) {
    writeResultLetter(student, date, out);
  });
}

MailOutcome writeResultMails(const IntakeRecord& intake, std::ostream& console,
                             const std::string& directory, const MailClock& clock) {
  return writeResultMailFile(intake, directory + "/" + kMailFileName, console, clock);
}

MailOutcome writeResultMailFile(const IntakeRecord& intake, const std::string& path,
                                std::ostream& console, const MailClock& clock) {
  const OutputOutcome outcome =
      writeWholeOutput(path, [&](std::ostream& out) { writeIntakeLetters(intake, clock, out); });
  if (outcome.written()) {
    return MailOutcome::kWritten;
  }
  if (outcome.kind == OutputOutcome::Kind::kCannotOpen) {
    return report(MailOutcome::kCannotOpen, console);
  }
  return report(outcome.oldFile.lost ? MailOutcome::kOldFileLost : MailOutcome::kCannotWrite,
                console);
}
