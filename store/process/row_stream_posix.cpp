// The row stream's write on POSIX.
#include <unistd.h>

#include <cerrno>

#include "store/process/row_stream.h"

long RowStreamWriter::writeSome(int fd, const char* data, std::size_t size) {
  for (;;) {
    const ssize_t wrote = ::write(fd, data, size);
    if (wrote >= 0 || errno != EINTR) {
      return static_cast<long>(wrote);
    }
  }
}
