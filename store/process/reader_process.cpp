// What the end of a reader process means for the operator, the same words on every platform.
#include "store/process/reader_process.h"

#include <new>

std::string readerFailure(const ReaderEnd& end, const ReaderLimits& limits) {
  if (end.ranOutOfTime) {
    return "its reader took longer than " + std::to_string(limits.processorTime.count()) + " s";
  }
  if (end.fellSilent) {
    return "its reader took longer than " + std::to_string(limits.silence.count()) + " s";
  }
  if (end.ranOutOfMemory) {
    return "its reader ran out of memory";
  }
  if (end.kind == ReaderEnd::kKilled || (end.kind == ReaderEnd::kExited && end.code == 0)) {
    return "its reader's answer is malformed";
  }
  return "its reader crashed";
}

int ReaderProcess::runWork(const ReaderRole& role, const std::vector<std::string>& arguments,
                           const std::string& input, int outputFd) noexcept {
  try {
    return role.work(arguments, input, outputFd);
  } catch (const std::bad_alloc&) {
    return kOutOfMemoryExit;
  } catch (...) {
    return kUncaughtExit;
  }
}
