// The row stream's write on Windows, through the C runtime's descriptor of the pipe.
#include <io.h>

#include "store/process/row_stream.h"

long RowStreamWriter::writeSome(int fd, const char* data, std::size_t size) {
  // _write takes an unsigned count: a larger buffer goes in pieces.
  const unsigned piece = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
  return _write(fd, data, piece);
}
