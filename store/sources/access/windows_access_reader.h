// The reader process's side of reading an Access file on Windows.
#pragma once

#include <string>

// Windows text (the command line, what the Windows calls give back) as UTF-8.
std::string utf8Of(const wchar_t* wide);

// The option that starts the program as the reader of one Access file; never shown to users.
constexpr const char* kAccessReaderOption = "--internal-access-reader";

// The reader's exit code when memory ran out.
constexpr int kAccessReaderOutOfMemory = 71;

// The reader's exit code when no Access driver of its bitness loads: nothing was sent, and the
// program tries the next reader.
constexpr int kAccessReaderNoDriver = 72;

// The reader's exit code when every driver that loaded refused to open the file: the first one's
// reason was sent. Another reader may still open it (Access 2013 and later's ACE drivers refuse
// Access 97 files, which the Jet driver reads).
constexpr int kAccessReaderRefused = 73;

// The 32-bit reader, beside tavrinel.exe.
constexpr const char* kAccess32ReaderName = "tavrinel-access32.exe";

// What the program says of a file that a driver opened and then failed to read, from the driver's
// reason: a missing table or column as it is; anything else is "the Access file is damaged
// (...)", the reason inside the brackets without the driver's vendor tags and cut to a line.
std::string accessRefusal(const std::string& driverReason);

// Reads the file's three tables through the first of Microsoft's Access drivers of this process's
// bitness that loads and sends them, or the reason they cannot be read, to the pipe whose handle
// number the program gave. Returns the process's exit code.
int runAccessReader(const std::string& path, const std::string& rowsHandle);

// The option that starts the program as the reader of an ODBC connection, which it reads from its
// standard input; never shown to users.
constexpr const char* kOdbcReaderOption = "--internal-odbc-reader";

// Reads the connection from standard input, then its three tables through its driver, and sends
// them, or the reason they cannot be read, to the pipe whose handle number the program gave.
// Returns the process's exit code.
int runOdbcReader(const std::string& rowsHandle);
