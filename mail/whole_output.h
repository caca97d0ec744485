// The one way the program writes a file: whole, or the old file kept (or what became of it said).
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "mail/output_file.h"

struct OutputOutcome {
  enum class Kind { kWritten, kCannotOpen, kCannotWrite };
  Kind kind = Kind::kWritten;
  std::string reason;       // the system's words, or why a file the run reads is not written
  bool isFileRead = false;  // path is the database or a file beside it
  bool isStream = false;
  std::uint64_t streamBytes = 0;  // what reached a stream before it failed
  OldFileState oldFile;
  bool ownerLost = false;  // written, but the old file's owner or group could not be kept

  bool written() const { return kind == Kind::kWritten; }
};

// The writer of a file's content. A writer that cannot finish sets the stream's badbit, and
// nothing it wrote replaces the old file.
using ContentWriter = std::function<void(std::ostream& out)>;

// Opens path as OutputFile does ("-" and the other names of a stream included), hands the writer a
// stream onto it that passes the bytes on in large pieces (so a file of any size is written
// without holding it in memory), and commits what it wrote only when all of it was written.
OutputOutcome writeWholeOutput(const std::string& path, const ContentWriter& write);
