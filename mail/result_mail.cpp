// The result letters of one intake, written to mail.txt in full or not at all.
#include "mail/result_mail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iomanip>
#include <locale>
#include <sstream>
#include <streambuf>

#include "analysis/result_listing.h"
#include "app/signal_cleanup.h"

namespace {

constexpr const char* kRuleOfEquals =
    "=========================================================================";
constexpr const char* kRuleOfHyphens =
    "-------------------------------------------------------------------------";
constexpr mode_t kNewFileMode = 0666;

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

// The program has one thread, so reading the mask by setting it back at once is safe.
mode_t currentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// A mail.txt that is a symbolic link keeps its link: the letters replace the file it names.
std::string resolvedPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) {
    return path;
  }
  std::string resolved(real);
  std::free(real);
  return resolved;
}

// What could not be opened for writing cannot be replaced either: a folder, a read-only file.
bool isReplaceable(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return errno == ENOENT;
  }
  return !S_ISDIR(info.st_mode) && access(path.c_str(), W_OK) == 0;
}

// A new file beside mail.txt that takes its place only once every byte reached it; until then the
// old mail.txt stays as it was, and an abandoned file is removed.
class PendingFile {
 public:
  explicit PendingFile(const std::string& finalPath)
      : finalPath_(finalPath), tempPath_(finalPath + ".XXXXXX") {
    fd_ = mkstemp(&tempPath_[0]);
    created_ = fd_ >= 0;
    if (created_) {
      setUnlinkOnFatalSignal(tempPath_.c_str());
      // mkstemp makes the file private; mail.txt gets the permissions of any file the operator
      // creates. Failing to widen them loses no letter, so it is not an error.
      (void)fchmod(fd_, kNewFileMode & ~currentUmask());
    }
  }
  ~PendingFile() {
    if (fd_ >= 0) {
      close(fd_);
    }
    if (created_ && !committed_) {
      unlink(tempPath_.c_str());
    }
    clearUnlinkOnFatalSignal();
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }

  bool write(const std::string& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      const ssize_t written = ::write(fd_, data, left);
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        return false;
      }
      data += written;
      left -= static_cast<std::size_t>(written);
    }
    return true;
  }

  // A full disk may only show when the data is forced out or the file is closed.
  bool commit() {
    const bool synced = fsync(fd_) == 0;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed || rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  std::string finalPath_;
  std::string tempPath_;
  int fd_ = -1;
  bool created_ = false;
  bool committed_ = false;
};

MailOutcome report(MailOutcome outcome, std::ostream& console) {
  if (outcome == MailOutcome::kCannotOpen) {
    console << "Cannot open output file" << std::endl;
  } else if (outcome == MailOutcome::kCannotWrite) {
    console << "Cannot write output file" << std::endl;
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

void writeResultLetter(const StudentRecord& student, const std::string& date, std::ostream& out) {
  static const AddressRecord kNoAddress{};
  const AddressRecord& address = student.address != nullptr ? *student.address : kNoAddress;
  CrLfStreambuf crlf(out.rdbuf());
  std::ostream letter(&crlf);
  letter << address.streetAddress << "," << std::endl;
  letter << address.postcode << ", " << address.city << "," << std::endl;
  letter << address.state << "." << std::endl;
  letter << kRuleOfEquals << std::endl;
  letter << std::endl;
  letter << "Mr/Miss " << student.name << "," << std::endl;
  letter << std::endl;
  letter << "The Following is your results for all the subjects enrolled:" << std::endl;
  letter << std::endl;
  writeResultListing(student, letter);
  letter << std::endl;
  letter << "Date Generated: " << date << std::endl;
  letter << std::endl;
  letter << "* This Mail is computer generated, no signature is required" << std::endl;
  letter << kRuleOfHyphens << std::endl;
  if (!letter) {
    out.setstate(std::ios::badbit);
  }
}

MailOutcome writeResultMails(const IntakeRecord& intake, std::ostream& console,
                             const std::string& directory, const MailClock& clock) {
  const std::string path = resolvedPath(directory + "/" + kMailFileName);
  if (!isReplaceable(path)) {
    return report(MailOutcome::kCannotOpen, console);
  }
  PendingFile file(path);
  if (!file.isOpen()) {
    return report(MailOutcome::kCannotOpen, console);
  }
  for (const StudentRecord* student = intake.firstStudent; student != nullptr;
       student = student->next) {
    std::ostringstream letter;
    writeResultLetter(*student, formatLetterDate(clock()), letter);
    if (!file.write(letter.str())) {
      return report(MailOutcome::kCannotWrite, console);
    }
  }
  if (!file.commit()) {
    return report(MailOutcome::kCannotWrite, console);
  }
  return MailOutcome::kWritten;
}
