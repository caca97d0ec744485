// The limits of every reader process, side by side, each platform's numbers with their reason.
#pragma once

#include <cstdint>

#include "store/process/reader_process.h"

// An Access file read by libmdb in a forked child (POSIX).
ReaderLimits libmdbReaderLimits(std::uint64_t fileSize);

// An Access file read by Microsoft's Access ODBC drivers in the program started again (Windows).
ReaderLimits accessDriverReaderLimits(std::uint64_t fileSize);

// A connection read by its ODBC driver (both platforms); the silence is TAVRINEL_SILENCE_LIMIT
// seconds where that is given.
ReaderLimits odbcReaderLimits();
