// Access files on Windows: Microsoft's Access ODBC driver reads the three tables in the program
// started again as a reader process, so that a damaged file cannot crash or hang the program.
#include <windows.h>
// After windows.h, whose types they use.
#include <fcntl.h>
#include <io.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <new>
#include <system_error>

#include "store/database_error.h"
#include "store/sources/access_reader.h"
#include "store/sources/odbc_connection_string.h"
#include "store/sources/odbc_reader.h"
#include "store/sources/reader_process.h"
#include "store/sources/table_stream.h"
#include "store/sources/windows_access_reader.h"

namespace {

constexpr const wchar_t* kAccessDriver = L"Microsoft Access Driver (*.mdb, *.accdb)";

std::string damaged(const std::string& why) {
  return "the Access file is damaged (" + why + ")";
}

std::string utf8Of(const std::wstring& wide) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), length, nullptr, nullptr);
  text.pop_back();
  return text;
}

// Whether the driver manager knows Microsoft's Access driver by its name.
bool accessDriverInstalled() {
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    return false;
  }
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  bool found = false;
  SQLWCHAR name[256];
  SQLWCHAR attributes[1024];
  SQLSMALLINT nameLength = 0;
  SQLSMALLINT attributesLength = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
       !found && SQL_SUCCEEDED(SQLDriversW(env, direction, name, 256, &nameLength, attributes, 1024,
                                           &attributesLength));
       direction = SQL_FETCH_NEXT) {
    found = lstrcmpiW(reinterpret_cast<const wchar_t*>(name), kAccessDriver) == 0;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return found;
}

// A value in a connection string: in braces, the closing ones doubled, when it holds a
// character that would end it early.
std::string connectionValue(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos) {
    return value;
  }
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') {
      braced += '}';
    }
  }
  return braced + "}";
}

std::string thisProgram() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return utf8Of(path);
    }
    path.resize(path.size() * 2);
  }
}

std::uint64_t sizeOf(const std::string& path) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
    return 0;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string endReason(const ReaderEnd& end, const ReaderLimits& limits) {
  ReaderEnd seen = end;
  seen.ranOutOfMemory = end.ranOutOfMemory || end.code == kAccessReaderOutOfMemory;
  return damaged(readerFailure(seen, limits));
}

}  // namespace

SourceTables readAccessTables(const std::string& path) {
  if (!accessDriverInstalled()) {
    failToRead(path,
               "Access files need Microsoft's Access driver: install the 64-bit Microsoft Access "
               "Database Engine");
  }
  const std::uint64_t size = sizeOf(path);
  ReaderLimits limits;
  // As on Linux: well under a second per ten megabytes for a healthy file.
  limits.processorTime = std::chrono::seconds(10 + size / (2u << 20));
  limits.silence = std::chrono::seconds(60);
  limits.memoryBytes = std::size_t{1} << 30;
  std::unique_ptr<ReaderProcess> reader;
  try {
    reader = std::make_unique<ReaderProcess>(
        thisProgram(), std::vector<std::string>{kAccessReaderOption, path}, limits);
  } catch (const std::runtime_error&) {
    failToRead(path, "no process can be started to read it");
  }
  RowStreamReader in(
      [&reader](char* buffer, std::size_t count) { return reader->read(buffer, count); });
  ReceivedTables received;
  try {
    received = receiveSourceTables(in);
  } catch (const RowStreamError&) {
    failToRead(path, endReason(reader->finish(), limits));
  }
  const ReaderEnd end = reader->finish();
  if (received.refused) {
    failToRead(path, received.reason);
  }
  if (end.kind != ReaderEnd::kExited || end.code != 0) {
    failToRead(path, endReason(end, limits));
  }
  return std::move(received.tables);
}

int runAccessReader(const std::string& path, const std::string& rowsHandle) {
  int rows = -1;
  try {
    rows = rowsDescriptor(rowsHandle);
  } catch (const std::logic_error&) {
  }
  if (rows < 0) {
    return 2;  // not started by the program
  }
  const std::string connection =
      "Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=" + connectionValue(path) +
      ";ReadOnly=1";
  try {
    RowStreamWriter out(rows);
    TableStreamWriter tables(out);
    try {
      // Each row goes to the program as it is fetched.
      readOdbcTables(connection, tables);
      tables.finish();
    } catch (const DatabaseError& error) {
      // "Cannot read <connection>: <reason>": the reason goes back; the program names the file.
      tables.refuse(odbcFailureReason(error.what(), connection));
    }
  } catch (const std::bad_alloc&) {
    return kAccessReaderOutOfMemory;
  } catch (const std::system_error&) {
    return 1;  // the program has gone
  }
  return 0;
}
