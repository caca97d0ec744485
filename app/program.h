// Start-up and shutdown over any console: from "Loading ..." to "Program Closing ...".
#pragma once

#include <functional>
#include <string>

#include "console/console_interface.h"
#include "store/loader.h"

// Loads the record tree, reporting progress now and then; loadRecordTree in the program.
using TreeLoader = std::function<LoadResult(const LoadProgress&)>;

// "No student found in" the database as the operator named it.
std::string noStudentMessage(const std::string& databasePath);

// Exit statuses of the program. A signal that ends it ends it by that signal, as the caller sees.
constexpr int kExitClosed = 0;      // ESC at the main menu, or the end of input
constexpr int kExitNoDatabase = 1;  // unreadable database, no student in it, or out of memory
constexpr int kExitBadArguments = 2;

struct SessionOptions {
  LoadProgress progress;       // shown on the loading line
  bool pauseOnFailure = true;  // pause after "No student found" or "Out Of Memory"
  std::string databasePath = kDatabaseFileName;  // as messages name it: the file as given,
                                                 // or the connection, its password masked
};

// Prints "Loading ...", loads the tree, builds the student index, clears the screen once and runs
// the main menu until ESC or the end of input, then releases the tree. Returns the exit status.
// A DatabaseError passes through to the caller, which reports it.
int runSession(Console& console, const TreeLoader& load, const SessionOptions& options);

// Routes "Out Of Memory" reports of the record store to this console: the message, then a pause
// unless told otherwise (nobody is there to press a key when the input is a script). Null goes
// back to the store's plain report on standard output.
void reportOutOfMemoryOn(Console* console, bool pauses = true);
