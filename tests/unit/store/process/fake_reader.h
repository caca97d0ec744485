// A test's reader: it plays the case of the reader process's test named by its one argument.
// The unit tests' entry plays it when Windows starts the tests' program again as this reader.
#pragma once

#include "store/process/reader_process.h"

extern const ReaderRole kFakeReaderRole;
