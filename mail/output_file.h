// A file rewritten whole: the new bytes go to a temporary file beside it, which takes its place
// only once every byte has reached the disk, so a failed run leaves the old file as it was.
#pragma once

#include <cstdint>
#include <string>

// Told about each temporary file for as long as it may exist, so that a fatal signal can remove
// it. track() comes before the file is created (with signals blocked, so no signal falls between
// the two), untrack() after it was renamed or removed. The text stays valid and unchanged in
// between, so an async-signal-safe handler may unlink() it.
class TemporaryFileRegistry {
 public:
  virtual ~TemporaryFileRegistry() = default;
  virtual void track(const char* path) = 0;
  virtual void untrack(const char* path) = 0;
};

// The registry every OutputFile reports to from now on; null (the start) reports to nobody.
void setTemporaryFileRegistry(TemporaryFileRegistry* registry);

// Whether the two paths name one existing file, by whatever spelling (another case, the other
// slash, a drive-relative or long form, a link): the database is never an output.
bool isSameFile(const std::string& one, const std::string& other);

class OutputFile {
 public:
  // Opens the file that path names, following symbolic links to the file they end at, for
  // writing from its start. The new file keeps the permission bits of the one it replaces; a new
  // one gets 0666 less the umask. Where the folder refuses a temporary file but the file itself is
  // writable, the file is truncated and written in place instead, its old content kept aside and
  // put back should the write fail. What is not a regular file (a FIFO, a device, a socket) is
  // refused, without waiting.
  explicit OutputFile(const std::string& path);
  // An uncommitted temporary file is removed; the old file stays.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the file can be neither replaced nor written in place.
  bool isOpen() const { return fd_ >= 0; }
  bool isInPlace() const { return inPlace_; }
  // The temporary file while one exists, empty otherwise.
  const std::string& temporaryPath() const { return tempPath_; }

  bool write(const std::string& bytes);
  // A write in place failed and the old content could not be put back either.
  bool isOldFileLost() const { return oldFileLost_; }
  // Forces the bytes to the disk, closes the file and puts it in the old one's place. False when
  // any of that failed: the old file then stays (written in place: its old content is put back).
  bool commit();

 private:
  void openInPlace();
  void putOldContentBack();
  void discardTemporary();

  std::string target_;  // the file at the end of any symbolic links
  std::string tempPath_;
  std::uint32_t mode_ = 0;  // POSIX permission bits, as a plain number here as the group is
  // The old file's group (a POSIX gid); all ones leaves the group as it is. A plain 32-bit number,
  // so that the header builds where there are no groups (Windows).
  std::uint32_t group_ = UINT32_MAX;
  int fd_ = -1;
  bool inPlace_ = false;
  bool failed_ = false;
  std::string oldContent_;  // of a file written in place
  bool oldFileLost_ = false;
};

// The calls a platform makes for an OutputFile, in output_file_posix.cpp and
// output_file_windows.cpp; the protocol that strings them together is output_file.cpp's. Files are
// C runtime descriptors on both.
namespace output_file_calls {

// The path that writing to path writes to: the end of a chain of symbolic links, whether or not a
// file is there yet. False when the chain cannot be followed.
bool resolveTarget(std::string& path);
// Whether the file at path, if any, may be replaced; what a new file takes over from it (permission
// bits, group) is put into mode and group. A missing file may be made.
bool inspectOldFile(const std::string& path, std::uint32_t& mode, std::uint32_t& group);
// A new, empty file beside target with the mode and group, told to registry while it exists;
// its path is put into tempPath. -1 when none can be made; folderRefuses then says whether the
// folder takes no new file (while the target itself may still be writable).
int createBeside(const std::string& target, std::uint32_t mode, std::uint32_t group,
                 TemporaryFileRegistry* registry, std::string& tempPath, bool& folderRefuses);
// The target opened for reading and writing, its content read into oldContent and then emptied;
// -1 when it cannot be, or is no disk file.
int openEmptied(const std::string& target, std::string& oldContent);
// Writes some of data, going on after interruptions; how many bytes, 0 for a failure.
std::size_t writeSome(int fd, const char* data, std::size_t size);
// Empties the file and writes from its start again.
bool rewindAndTruncate(int fd);
bool flushToDisk(int fd);
bool closeFile(int fd);
// from takes to's place in one step.
bool replaceFile(const std::string& from, const std::string& to);
void removeFile(const std::string& path);

}  // namespace output_file_calls
