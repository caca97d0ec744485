// Reads the three tables of a Microsoft Access file in a reader process, so that a damaged file
// that crashes or runs away inside the library or driver cannot take the program with it.
#pragma once

#include <string>
#include <vector>

#include "store/process/reader_process.h"
#include "store/tables/source_tables.h"

// Reads the three tables of an Access file (Jet 3, Jet 4, ACE) in a reader process: libmdb on
// POSIX, Microsoft's Access ODBC drivers on Windows. Throws DatabaseError "Cannot read <path>:
// <reason>" (path as the user gave it); std::bad_alloc when the program itself runs out of
// memory.
SourceTables readAccessTables(const std::string& path);

// The Access reader's role: one argument, the file's path.
extern const ReaderRole kAccessReaderRole;

// The role's work, in the reader process: reads the file's tables and sends them, or the reason
// they cannot be read, on outputFd. Returns the reader's exit status.
int runAccessReader(const std::vector<std::string>& arguments, const std::string& input,
                    int outputFd);

// "the Access file is damaged (<why>)"
std::string accessFileDamaged(const std::string& why);

// How an end of the Access reader that gave no whole answer is told: "the Access file is damaged
// (its reader crashed)", "(its reader ran out of memory)", ...
std::string accessReaderFailure(const ReaderEnd& end, const ReaderLimits& limits);
