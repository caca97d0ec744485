// Reads the three tables of a Microsoft Access file in a reader process, so that a damaged file
// that crashes or runs away inside the library or driver cannot take the program with it.
#pragma once

#include <string>

#include "store/sources/reader_process.h"
#include "store/sources/source_tables.h"

// Reads the three tables of an Access file (Jet 3, Jet 4, ACE) in a child process. Throws
// DatabaseError "Cannot read <path>: <reason>" (path as the user gave it); std::bad_alloc when the
// program itself runs out of memory.
SourceTables readAccessTables(const std::string& path);

// POSIX: the same with reader standing in for libmdb's in the reader process (it writes the
// table stream to the descriptor it is given), under limits: how every end of the reader is told
// can be tried with fake work.
SourceTables readAccessTables(const std::string& path, const ReaderProcess::Work& reader,
                              const ReaderLimits& limits);
