// A driver's printing muted on the C runtime's descriptors of Windows.
#include <fcntl.h>
#include <io.h>

#include "store/sources/driver_output.h"

int DriverOutputMuted::openNullDevice() {
  return _open("NUL", _O_WRONLY);
}

int DriverOutputMuted::duplicate(int fd) {
  return _dup(fd);
}

void DriverOutputMuted::replace(int fd, int by) {
  _dup2(by, fd);
}

void DriverOutputMuted::closeDescriptor(int fd) {
  _close(fd);
}
