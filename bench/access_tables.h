// A stand-in for the Access file reader until it lands, for the benchmark only: the three tables
// of an Access file as SourceTables, read with libmdb in this process.
#pragma once

#include <string>

#include "store/source_tables.h"

// Throws std::runtime_error.
SourceTables readAccessTablesForBench(const std::string& path);
