// Routes the out-of-memory report to whatever the front end registered.
#include "store/tree/out_of_memory.h"

#include <cstdio>

namespace {
OutOfMemoryHandler gHandler = nullptr;
}

void setOutOfMemoryHandler(OutOfMemoryHandler handler) {
  gHandler = handler;
}

void reportOutOfMemory() {
  if (gHandler != nullptr) {
    gHandler();
    return;
  }
  std::fputs(kOutOfMemoryMessage, stdout);
  std::fflush(stdout);
}
