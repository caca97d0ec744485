// Recognising a database file as Access or SQLite by its first bytes, before any engine reads it.
#include "store/sources/file_format.h"

#include <cstdint>
#include <cstring>

#include "store/database_error.h"
#include "store/sources/file_probe.h"

namespace {

constexpr char kJetSignature[] = "\0\1\0\0Standard Jet DB";
constexpr char kAceSignature[] = "\0\1\0\0Standard ACE DB";
constexpr char kSqliteSignature[] = "SQLite format 3";  // and its terminating NUL

// Jet 3 files are made of 2 KiB pages, Jet 4 and ACE of 4 KiB ones; byte 0x14 is the version.
constexpr std::size_t kJetVersionOffset = 0x14;
// The table list starts on page 2, so a shorter file cannot be whole.
constexpr std::uint64_t kAccessMinimumPages = 3;

// A SQLite file starts with a 100-byte header: the page size at 16 (big-endian, 1 for 65536),
// the change counter at 24, the number of pages at 28, and at 92 the change counter the page
// count was written with (SQLite before 3.7.0 left the count stale).
constexpr std::size_t kSqliteHeaderBytes = 100;
constexpr std::size_t kSqlitePageSizeOffset = 16;
constexpr std::size_t kSqliteChangeCounterOffset = 24;
constexpr std::size_t kSqlitePageCountOffset = 28;
constexpr std::size_t kSqliteValidForOffset = 92;

struct FileHead {
  unsigned char bytes[kSqliteHeaderBytes] = {};
  std::size_t length = 0;  // how many of the bytes the file has
  std::uint64_t size = 0;
};

bool startsWith(const FileHead& head, const char* signature, std::size_t size) {
  return head.length >= size && std::memcmp(head.bytes, signature, size) == 0;
}

std::uint64_t bigEndian(const unsigned char* bytes, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    value = value << 8 | bytes[i];
  }
  return value;
}

FileHead readHead(const std::string& path) {
  FileHead head;
  FileStart start;
  const std::string problem = readFileStart(path, head.bytes, sizeof head.bytes, start);
  if (!problem.empty()) {
    failToRead(path, problem);
  }
  if (start.kind == FileStart::Kind::kDirectory) {
    failToRead(path, "it is a directory");
  }
  head.size = start.size;
  head.length = start.length;
  return head;
}

// A file cut short is refused here, before libmdb or SQLite reads past its end.
void checkAccessSize(const std::string& path, const FileHead& head) {
  const std::uint64_t pageSize = head.bytes[kJetVersionOffset] == 0 ? 2048 : 4096;
  if (head.size % pageSize != 0 || head.size < kAccessMinimumPages * pageSize) {
    failToRead(path, "the Access file is damaged (it is cut short)");
  }
}

void checkSqliteSize(const std::string& path, const FileHead& head) {
  // 64-bit arithmetic: unsigned long has 32 bits on Windows, fewer than a large file's size.
  std::uint64_t pageSize = bigEndian(head.bytes + kSqlitePageSizeOffset, 2);
  pageSize = pageSize == 1 ? 65536 : pageSize;
  const std::uint64_t size = head.size;
  bool countIsCurrent = bigEndian(head.bytes + kSqliteChangeCounterOffset, 4) ==
                        bigEndian(head.bytes + kSqliteValidForOffset, 4);
  std::uint64_t pages = countIsCurrent ? bigEndian(head.bytes + kSqlitePageCountOffset, 4) : 0;
  if (head.length < kSqliteHeaderBytes || pageSize < 512 || size % pageSize != 0 ||
      size / pageSize < pages) {
    failToRead(path, "the SQLite file is damaged (it is cut short)");
  }
}

}  // namespace

FileFormat recogniseDatabaseFile(const std::string& path) {
  FileHead head = readHead(path);
  if (startsWith(head, kSqliteSignature, sizeof kSqliteSignature)) {
    checkSqliteSize(path, head);
    return FileFormat::kSqlite;
  }
  if (!startsWith(head, kJetSignature, sizeof kJetSignature - 1) &&
      !startsWith(head, kAceSignature, sizeof kAceSignature - 1)) {
    failToRead(path, "not an Access or SQLite database file");
  }
  checkAccessSize(path, head);
  return FileFormat::kAccess;
}
