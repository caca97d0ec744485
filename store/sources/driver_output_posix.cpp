// A driver's printing muted on POSIX descriptors.
#include <fcntl.h>
#include <unistd.h>

#include "store/sources/driver_output.h"

int DriverOutputMuted::openNullDevice() {
  return open("/dev/null", O_WRONLY | O_CLOEXEC);
}

int DriverOutputMuted::duplicate(int fd) {
  return fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void DriverOutputMuted::replace(int fd, int by) {
  dup2(by, fd);
}

void DriverOutputMuted::closeDescriptor(int fd) {
  close(fd);
}
