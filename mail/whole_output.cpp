// A file written whole through a stream buffer onto an OutputFile.
#include "mail/whole_output.h"

#include <streambuf>

namespace {

// Hands its bytes to an OutputFile in large pieces.
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

OutputOutcome outcomeOf(const OutputFile& file, OutputOutcome::Kind kind) {
  OutputOutcome outcome;
  outcome.kind = kind;
  outcome.reason = file.reason();
  outcome.isFileRead = file.isFileRead();
  outcome.isStream = file.isStream();
  outcome.streamBytes = file.bytesWritten();
  outcome.oldFile = file.oldFile();
  outcome.ownerLost = file.isOwnerLost();
  return outcome;
}

}  // namespace

OutputOutcome writeWholeOutput(const std::string& path, const ContentWriter& write) {
  OutputFile file(path);
  if (!file.isOpen()) {
    return outcomeOf(file, OutputOutcome::Kind::kCannotOpen);
  }
  bool written = false;
  {
    OutputFileBuffer buffer(file);
    std::ostream out(&buffer);
    write(out);
    written = out && buffer.flushed();
  }
  // A writer that gave up leaves nothing committed; a stream has what it was given already.
  written = written && file.commit();
  return outcomeOf(file,
                   written ? OutputOutcome::Kind::kWritten : OutputOutcome::Kind::kCannotWrite);
}
