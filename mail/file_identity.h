// Which file a name or an open descriptor is, whatever spelling, link or case led to it: the
// device and inode on POSIX, the volume serial and file index on Windows.
#pragma once

#include <cstdint>
#include <string>

struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;

  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
};

// The identity of the file path names, following links as an open does. False when there is none.
bool identityOfPath(const std::string& path, FileIdentity& identity);

// The identity of what an open descriptor (a C runtime one on Windows) refers to.
bool identityOfDescriptor(int fd, FileIdentity& identity);

// The identity of the folder that holds path's last name, and that name: a file not there yet is
// told apart by these. False when the folder cannot be found.
bool folderEntryOf(const std::string& path, FileIdentity& folder, std::string& name);

// Whether two names within one folder name the same entry: byte for byte on POSIX, without regard
// to case on Windows.
bool isSameEntryName(const std::string& a, const std::string& b);
