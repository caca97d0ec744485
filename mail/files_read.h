// The files a run reads, which no output of the program may ever be: the database, a file that a
// connection string names, and the files their engines keep beside them.
#pragma once

#include <string>
#include <vector>

struct FileRead {
  std::string path;
  std::string what;  // how a refusal names it, such as "the database itself"
};

// From now on every output is compared with these files (none at the start).
void setFilesRead(std::vector<FileRead> files);

// The file read that writing to path would write over, whatever the spelling or link that leads
// to it, or null. A name not there yet is compared by its folder and name, so that a companion
// file the engine has not made yet is not made by the program either.
const FileRead* fileReadAt(const std::string& path);

// The file read that an open descriptor refers to, or null.
const FileRead* fileReadOpenAs(int fd);

// The refusal: "'PATH' is the database itself, which is never written".
std::string neverWrittenReason(const std::string& path, const FileRead& read);
