// The byte-level writer and the incremental, bounds-checked reader of the row stream.
#include "store/process/row_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

RowStreamWriter::RowStreamWriter(int fd, std::size_t bufferBytes) : fd_(fd), buffer_(bufferBytes) {}

void RowStreamWriter::text(const char* bytes, std::size_t length) {
  reserve(5);
  auto value = static_cast<std::uint32_t>(length);
  do {
    auto low = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
    buffer_[used_++] = static_cast<char>(value != 0 ? (low | 0x80) : low);
  } while (value != 0);
  while (length > 0) {
    reserve(1);
    std::size_t piece = std::min(length, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes, piece);
    used_ += piece;
    bytes += piece;
    length -= piece;
  }
}

void RowStreamWriter::little(std::uint32_t value, int bytes) {
  reserve(static_cast<std::size_t>(bytes));
  for (int i = 0; i < bytes; ++i) {
    buffer_[used_++] = static_cast<char>(value >> (8 * i) & 0xFF);
  }
}

void RowStreamWriter::flush() {
  std::size_t done = 0;
  while (done < used_) {
    const long wrote = writeSome(fd_, buffer_.data() + done, used_ - done);
    if (wrote <= 0) {
      throw std::system_error(errno, std::generic_category(), "row stream");
    }
    done += static_cast<std::size_t>(wrote);
  }
  used_ = 0;
  flushed_ = std::chrono::steady_clock::now();
}

RowStreamReader::RowStreamReader(Source source, std::size_t bufferBytes)
    : source_(std::move(source)), buffer_(bufferBytes) {}

void RowStreamReader::fill(std::size_t bytes) {
  if (bytes > buffer_.size()) {
    malformed();  // no item of the format is this long
  }
  if (buffer_.size() - begin_ < bytes) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  while (end_ - begin_ < bytes) {
    std::size_t got = source_(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) {
      throw RowStreamError(true);
    }
    end_ += got;
  }
}

std::uint32_t RowStreamReader::little(int bytes) {
  need(static_cast<std::size_t>(bytes));
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(buffer_[begin_++])) << (8 * i);
  }
  return value;
}

std::uint32_t RowStreamReader::length() {
  std::uint32_t value = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    std::uint8_t byte = u8();
    if (shift == 28 && byte > 0x0F) {
      malformed();  // more than 32 bits
    }
    value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) {
      return value;
    }
  }
  malformed();
}

std::string_view RowStreamReader::text(std::size_t maxLength) {
  std::uint32_t size = length();
  if (size > maxLength) {
    malformed();
  }
  need(size);
  std::string_view bytes(buffer_.data() + begin_, size);
  begin_ += size;
  return bytes;
}

void RowStreamReader::expectEnd() {
  if (begin_ != end_) {
    malformed();
  }
  char extra;
  if (source_(&extra, 1) != 0) {
    malformed();
  }
}
