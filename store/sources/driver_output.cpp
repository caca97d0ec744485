// Muting a driver's own printing, on any platform's descriptors.
#include "store/sources/driver_output.h"

#include <cstdio>
#include <iostream>

namespace {

void flushEverything() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
}

}  // namespace

DriverOutputMuted::DriverOutputMuted() {
  flushEverything();
  const int null = openNullDevice();
  for (int fd : {1, 2}) {
    saved_[fd - 1] = null < 0 ? -1 : duplicate(fd);
    if (saved_[fd - 1] >= 0) {
      replace(fd, null);
    }
  }
  if (null >= 0) {
    closeDescriptor(null);
  }
}

DriverOutputMuted::~DriverOutputMuted() {
  flushEverything();
  for (int fd : {1, 2}) {
    if (saved_[fd - 1] >= 0) {
      replace(fd, saved_[fd - 1]);
      closeDescriptor(saved_[fd - 1]);
    }
  }
}
