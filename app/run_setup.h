// What the session and the jobs both set up around a load: the loading counter, the temporary
// files a fatal signal removes, and the files that no output may be.
#pragma once

#include <functional>
#include <string>

#include "store/loader.h"

// The loading counter: "Loading ... N students" handed to show once a load has taken half a
// second, and no more often than ten times a second.
LoadProgress loadingCounter(const std::function<void(const std::string& line)>& show);

// From now on every temporary file the mail writer makes is the one file a fatal signal (a
// console control event on Windows) removes, for as long as it exists.
void removeMailTemporaryFilesOnFatalSignals();

// From now on no output is written over a file that the source reads or keeps beside it.
void neverWriteFilesOf(const DatabaseSource& source);
