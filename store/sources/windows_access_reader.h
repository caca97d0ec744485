// The reader process's side of reading an Access file on Windows.
#pragma once

#include <string>

// The option that starts the program as the reader of one Access file; never shown to users.
constexpr const char* kAccessReaderOption = "--internal-access-reader";

// The reader's exit code when memory ran out.
constexpr int kAccessReaderOutOfMemory = 71;

// Reads the file's three tables through Microsoft's Access driver and sends them, or the reason
// they cannot be read, to the pipe whose handle number the program gave. Returns the process's
// exit code.
int runAccessReader(const std::string& path, const std::string& rowsHandle);
