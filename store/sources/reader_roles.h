// The readers the program runs in a reader process, in one table: to add a reader, give it a
// role (store/process/reader_process.h) in its own room and list it here.
#pragma once

#include <optional>
#include <string>
#include <vector>

// At the program's entry, before anything else: when the command line starts the program as one
// of its readers (Windows starts the program again for each), plays that reader and gives its
// exit status; otherwise nothing.
std::optional<int> playReaderRole(const std::vector<std::string>& commandLine);
