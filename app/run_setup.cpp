// The set-up shared by the session and the jobs.
#include "app/run_setup.h"

#include <chrono>
#include <vector>

#include "console/signal_cleanup.h"
#include "mail/files_read.h"
#include "mail/output_file.h"

namespace {

class FatalSignalRegistry : public TemporaryFileRegistry {
 public:
  void track(const char* path) override { setUnlinkOnFatalSignal(path); }
  void untrack(const char*) override { clearUnlinkOnFatalSignal(); }
};

}  // namespace

LoadProgress loadingCounter(const std::function<void(const std::string& line)>& show) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point nextShow = Clock::now() + std::chrono::milliseconds(500);
  return [show, nextShow](long studentsLoaded) mutable {
    Clock::time_point now = Clock::now();
    if (now < nextShow) {
      return;
    }
    nextShow = now + std::chrono::milliseconds(100);
    show("Loading ... " + std::to_string(studentsLoaded) + " students");
  };
}

void removeMailTemporaryFilesOnFatalSignals() {
  static FatalSignalRegistry registry;
  setTemporaryFileRegistry(&registry);
}

void neverWriteFilesOf(const DatabaseSource& source) {
  std::vector<FileRead> files;
  for (const SourceFile& file : source.files()) {
    files.push_back(
        {file.path, file.isDatabase ? "the database itself" : "a file of the database"});
  }
  setFilesRead(std::move(files));
}
