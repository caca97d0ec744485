// Start-up, the one clear before the banner, and closing on ESC or at the end of input.
#include "app/program.h"

#include <ostream>

#include "app/main_menu.h"
#include "store/tree/out_of_memory.h"
#include "store/tree/student_index.h"

namespace {

Console* gOutOfMemoryConsole = nullptr;
bool gPausesOnOutOfMemory = true;

void pauseQuietly(Console& console) {
  try {
    console.pause();
  } catch (const EndOfInput&) {
    // The program is ending anyway.
  }
}

void showOutOfMemory() {
  gOutOfMemoryConsole->out() << kOutOfMemoryMessage;
  if (gPausesOnOutOfMemory) {
    pauseQuietly(*gOutOfMemoryConsole);
  } else {
    gOutOfMemoryConsole->out().flush();
  }
}

int endWithoutData(Console& console, const std::string& message, const SessionOptions& options) {
  console.out() << message;
  if (options.pauseOnFailure) {
    pauseQuietly(console);
    console.out() << '\n';  // the shell's prompt then starts on a line of its own
  }
  console.out().flush();
  return kExitNoDatabase;
}

}  // namespace

std::string noStudentMessage(const std::string& databasePath) {
  return "\n\n\tNo student found in " + databasePath + "\n";
}

void reportOutOfMemoryOn(Console* console, bool pauses) {
  gOutOfMemoryConsole = console;
  gPausesOnOutOfMemory = pauses;
  setOutOfMemoryHandler(console == nullptr ? nullptr : showOutOfMemory);
}

int runSession(Console& console, const TreeLoader& load, const SessionOptions& options) {
  console.out() << "Loading ..." << std::endl;
  LoadResult loaded = load(options.progress);
  RecordTreeOwner tree(loaded.tree);
  if (loaded.status == LoadStatus::kOutOfMemory) {
    // The load has reported it already: once is enough.
    console.out().flush();
    return kExitNoDatabase;
  }
  StudentRecord* indexRoot = nullptr;
  if (loaded.status == LoadStatus::kLoaded && tree.get() != nullptr) {
    indexRoot = buildStudentIndex(tree.get(), nullptr);
  }
  if (indexRoot == nullptr) {
    return endWithoutData(console, noStudentMessage(options.databasePath), options);
  }
  console.clearScreen();
  try {
    runMainMenu(tree.get(), indexRoot, console);
  } catch (const EndOfInput&) {
    // The end of input closes the program the way ESC at the main menu does.
    console.closeScreen();
    console.out() << "Program Closing ...\n";
  }
  console.out().flush();
  return kExitClosed;
}
