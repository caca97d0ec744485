// A file rewritten whole: the new bytes go to a temporary file beside it, which takes its place
// only once every byte has reached the disk, so a failed run leaves the old file as it was. A
// stream the user names (standard output, a descriptor by its number, a FIFO, a device) is written
// as the stream it is.
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

// What an old file holds after a failed write.
struct OldFileState {
  bool lost = false;       // written in place, and its old content could not be put back
  std::uint64_t size = 0;  // what it holds then, in bytes
};

class OutputFile {
 public:
  // Opens what path names for writing:
  // - "-", /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N: that descriptor, written from
  //   where it stands (at the end where it appends); a FIFO or a device: opened as a stream,
  //   without waiting for a reader;
  // - a regular file, or a name not there yet: a temporary file beside it takes its place on
  //   commit, with the old file's owner, group and permission bits where the system lets them be
  //   set (a new file gets 0666 less the umask). A symbolic link is followed only where the
  //   system would follow it for this user, never one that another user made in a folder that is
  //   sticky and writable by all; the file it ends at is replaced. Where the folder takes no new
  //   file but the file itself may be written, it is written in place on commit, with fatal
  //   signals held back meanwhile and its old content put back should the write fail;
  // - a file the run reads (mail/files_read.h) is refused.
  explicit OutputFile(const std::string& path);
  // An uncommitted temporary file is removed; the old file stays.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  bool isInPlace() const { return inPlace_; }
  bool isStream() const { return stream_; }
  // The temporary file while one exists, empty otherwise.
  const std::string& temporaryPath() const { return tempPath_; }

  bool write(const std::string& bytes);
  // Forces the bytes to the disk, closes the file and puts it in the old one's place (written in
  // place: writes it now). False when any of that failed: the old file then stays, or
  // oldFile() says what became of it.
  bool commit();

  // Why the file cannot be opened or written: the system's words ("No such file or directory",
  // "Permission denied", "No space left on device", "File too large"), or the program's own
  // ("'office.mdb' is the database itself, which is never written").
  const std::string& reason() const { return reason_; }
  bool isFileRead() const { return fileRead_; }
  OldFileState oldFile() const { return oldFile_; }
  // Bytes that reached a stream before it failed.
  std::uint64_t bytesWritten() const { return written_; }
  // The replaced file's owner or group could not be given to the new one.
  bool isOwnerLost() const { return ownerLost_; }

 private:
  void openStream(const std::string& path);
  void openFile(const std::string& path);
  void openInPlace();
  bool rewriteInPlace();
  bool cutTo(std::uint64_t size);
  void putOldContentBack(std::uint64_t newBytesWritten);
  void fail();
  void discardTemporary();

  std::string target_;  // the regular file replaced
  std::string tempPath_;
  std::string reason_;
  int fd_ = -1;
  bool stream_ = false;
  bool inPlace_ = false;
  bool failed_ = false;
  bool fileRead_ = false;
  bool ownerLost_ = false;
  bool madeEmpty_ = false;  // the file at a link's end was made empty to be followed
  std::uint64_t written_ = 0;
  std::string pending_;     // of a file written in place, until commit
  std::string oldContent_;  // of a file written in place
  OldFileState oldFile_;
};

// The calls a platform makes for an OutputFile, in output_file_posix.cpp and
// output_file_windows.cpp; the protocol that strings them together is output_file.cpp's. Files are
// C runtime descriptors on both. A call that fails leaves its reason for lastFailure().
namespace output_file_calls {

// What a replaced file hands on to the new one.
struct OldFile {
  bool exists = false;
  std::uint32_t mode = 0;  // POSIX permission bits; 0666 less the umask for a new file
  std::uint32_t owner = UINT32_MAX;
  std::uint32_t group = UINT32_MAX;
};

// The system's words for the last failed call.
std::string lastFailure();

// A stream descriptor of its own for what path names when it is a stream; kNoStream when path
// names none, kStreamFailed when it does but cannot be opened.
constexpr int kNoStream = -1;
constexpr int kStreamFailed = -2;
int openStream(const std::string& path);

// The regular file that writing to path replaces: the name given, or the end of a link that the
// system lets this user follow (made empty when there is none yet: madeEmpty). False when there
// is none, with the reason in reason.
bool findTarget(const std::string& path, std::string& target, OldFile& old, bool& madeEmpty,
                std::string& reason);

// A new, empty file beside target with the old file's mode, owner and group, told to registry
// while it exists; its path is put into tempPath. ownerLost when the owner or group could not be
// set. -1 when none can be made; folderRefuses then says whether the folder takes no new file
// (while the target itself may still be writable).
int createBeside(const std::string& target, const OldFile& old, TemporaryFileRegistry* registry,
                 std::string& tempPath, bool& folderRefuses, bool& ownerLost);

// The target opened for reading and writing, its content read into oldContent, nothing changed
// yet; -1 when it cannot be, or is no disk file.
int openForRewrite(const std::string& target, std::string& oldContent);

// Writes some of data, going on after interruptions; how many bytes, 0 for a failure.
std::size_t writeSome(int fd, const char* data, std::size_t size);
bool rewind(int fd);
bool truncateTo(int fd, std::uint64_t size);
bool sizeOf(int fd, std::uint64_t& size);
bool flushToDisk(int fd);
bool closeFile(int fd);
// from takes to's place in one step.
bool replaceFile(const std::string& from, const std::string& to);
void removeFile(const std::string& path);

// While a file is written in place, fatal signals wait until the write is done (or undone), then
// end the program as they would have. Held for the whole life of any OutputFile: a write past
// the file size limit fails instead of ending the program.
void holdFatalSignals(bool hold);
void ignoreFileSizeSignal(bool ignore);

}  // namespace output_file_calls
