// What only Windows needs of the reader process, for the Windows files that start programs.
#pragma once

#include <string>
#include <vector>

// This program's own path, as UTF-8.
std::string thisProgramPath();

// The command line Windows programs split into arguments again as the C runtime does: quotes and
// the backslashes before them escaped.
std::string windowsCommandLine(const std::vector<std::string>& arguments);
