// What the readers look at in a database file before an engine opens it: its kind, size and
// first bytes, and the files SQLite keeps beside it. One file of each platform answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FileStart {
  enum class Kind { kRegular, kDirectory, kOther } kind = Kind::kRegular;
  std::uint64_t size = 0;  // 64 bits on every system
  std::size_t length = 0;  // how many first bytes were read (none but of a regular file)
};

// Reads up to capacity first bytes of the file at path into bytes, without waiting on a FIFO or
// a device. Returns "" or why the file cannot be read: "file not found", "permission denied", or
// the system's own words, starting in lower case.
std::string readFileStart(const std::string& path, unsigned char* bytes, std::size_t capacity,
                          FileStart& start);

// Whether the file of path with suffix ("-wal", "-shm") exists, beside the file that path ends at
// (SQLite keeps them beside the file a symbolic link points to, not beside the link).
bool existsBeside(const std::string& path, const char* suffix);

// The name SQLite is given for path, as the path of a file: URI: on POSIX the path as typed; on
// Windows the full path in SQLite's own form ("/C:/...", "//server/share/...", or "/" before the
// long \\?\ form), since a URI has no way to say C:\x or D:x.
std::string uriPathOf(const std::string& path);

// Whether this program may make files in the folder of the file that path ends at.
bool folderWritable(const std::string& path);
