// Access files on Windows: Microsoft's Access ODBC driver reads the three tables in a reader
// process, so that a damaged file cannot crash or hang the program. The program started again
// loads a 64-bit driver; where none loads, the 32-bit reader beside it loads a 32-bit one (32-bit
// Office's, or the Jet driver that every Windows has).
#include <windows.h>
// After windows.h, whose types they use.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "store/database_error.h"
#include "store/process/reader_limits.h"
#include "store/process/reader_process.h"
#include "store/process/reader_process_windows.h"
#include "store/process/table_stream.h"
#include "store/sources/access/access_reader.h"
#include "store/sources/access/windows_access_reader.h"
#include "store/sources/odbc/odbc_connection.h"
#include "store/sources/odbc/odbc_reader.h"
#include "util/wide_text.h"

namespace {

constexpr const char* kAceDriver = "Microsoft Access Driver (*.mdb, *.accdb)";
constexpr const char* kJetDriver = "Microsoft Access Driver (*.mdb)";
constexpr bool k64BitProcess = sizeof(void*) == 8;

// The reader's exit code when no Access driver of its bitness loads: nothing was sent, and the
// program tries the next reader.
constexpr int kNoDriverExit = 72;

// The reader's exit code when every driver that loaded refused to open the file: the first one's
// reason was sent. Another reader may still open it (Access 2013 and later's ACE drivers refuse
// Access 97 files, which the Jet driver reads).
constexpr int kRefusedExit = 73;

// The same role, played by the 32-bit reader beside the program.
const ReaderRole kAccess32ReaderRole{kAccessReaderRole.option, kAccessReaderRole.argumentCount,
                                     runAccessReader, "tavrinel-access32.exe"};

// Jet 3 and Jet 4 files (.mdb), which the Jet driver of Windows reads too, by their first bytes;
// ACE files (.accdb, and .mdb files saved by Access 2007 or later) need an ACE driver.
bool isJetFile(const std::string& path) {
  static constexpr char kJetSignature[] = "\0\1\0\0Standard Jet DB";
  HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  char head[sizeof kJetSignature - 1] = {};
  DWORD count = 0;
  const bool read = ReadFile(file, head, sizeof head, &count, nullptr) && count == sizeof head;
  CloseHandle(file);
  return read && std::memcmp(head, kJetSignature, sizeof head) == 0;
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

bool fileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint64_t sizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data)) {
    return 0;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// What one reader made of the file: its tables; or no driver of its bitness loaded; or every
// driver that loaded refused to open it, for this reason.
struct Attempt {
  std::optional<SourceTables> tables;
  bool noDriver = false;
  std::string refusal;
};

Attempt readWith(const ReaderRole& role, const std::string& path) {
  const ReaderLimits limits = accessDriverReaderLimits(sizeOf(path));
  std::unique_ptr<ReaderProcess> reader = startReader(role, {path}, limits, path);
  ReaderAnswer answer = receiveFromReader(*reader);
  const ReaderEnd& end = answer.end;
  Attempt attempt;
  if (!answer.whole) {
    if (end.kind == ReaderEnd::kExited && end.code == kNoDriverExit) {
      attempt.noDriver = true;
      return attempt;
    }
    failToRead(path, accessReaderFailure(end, limits));
  }
  if (answer.received.refused && end.kind == ReaderEnd::kExited && end.code == kRefusedExit) {
    attempt.refusal = answer.received.reason;
    return attempt;
  }
  if (answer.received.refused) {
    failToRead(path, answer.received.reason);
  }
  if (end.kind != ReaderEnd::kExited || end.code != 0) {
    failToRead(path, accessReaderFailure(end, limits));
  }
  attempt.tables = std::move(answer.received.tables);
  return attempt;
}

// What to install, said once every reader has looked: the one download that brings a driver of
// either bitness, and which of the two Office allows beside it.
constexpr const char* kInstallEngine =
    "install Microsoft's Access Database Engine redistributable, of the same bitness as Office "
    "where Office is installed (either one where it is not)";

[[noreturn]] void failWithoutDriver(const std::string& path) {
  if (isJetFile(path)) {
    failToRead(path, std::string("no Access driver loads, not even the 32-bit \"") + kJetDriver +
                         "\" with which a standard Windows reads .mdb files with nothing "
                         "installed: " +
                         kInstallEngine);
  }
  failToRead(path, std::string("this Access file needs Microsoft's Access Database Engine: the "
                               "64-bit reader found no 64-bit \"") +
                       kAceDriver + "\", the 32-bit reader no 32-bit one; " + kInstallEngine);
}

}  // namespace

std::string accessRefusal(const std::string& driverReason) {
  // A table or column that is not there is said as it is, as on Linux.
  static const std::string kMissing = " is missing";
  if (driverReason.size() > kMissing.size() &&
      driverReason.compare(driverReason.size() - kMissing.size(), kMissing.size(), kMissing) == 0 &&
      (driverReason.rfind("table ", 0) == 0 || driverReason.rfind("column ", 0) == 0)) {
    return driverReason;
  }
  // The reason on one line, without the driver's vendor tags ("[Microsoft][ODBC Microsoft
  // Access Driver]"), and no longer than a line.
  std::string reason;
  for (char c : driverReason) {
    const bool control = static_cast<unsigned char>(c) < 0x20;
    if (!control) {
      reason += c;
    } else if (!reason.empty() && reason.back() != ' ') {
      reason += ' ';
    }
  }
  if (!reason.empty() && reason.back() == ' ') {
    reason.pop_back();
  }
  while (!reason.empty() && reason[0] == '[') {
    const std::size_t close = reason.find(']');
    if (close == std::string::npos) {
      break;
    }
    reason.erase(0, close + 1);
  }
  reason.erase(0, reason.find_first_not_of(' '));
  constexpr std::size_t kLongest = 120;
  if (reason.size() > kLongest) {
    std::size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(reason[cut]) & 0xC0) == 0x80) {
      --cut;  // not inside a UTF-8 character
    }
    reason = reason.substr(0, cut) + "...";
  }
  return accessFileDamaged(reason.empty() ? "the driver gave no reason" : reason);
}

SourceTables readAccessTables(const std::string& path) {
  Attempt first;
  if (k64BitProcess) {
    first = readWith(kAccessReaderRole, path);
    if (first.tables) {
      return std::move(*first.tables);
    }
    // A 64-bit driver that refused an ACE file speaks for the 32-bit one too; a Jet file may
    // still open in the Jet driver.
    if (!first.refusal.empty() && !isJetFile(path)) {
      failToRead(path, first.refusal);
    }
  }
  const std::string program = thisProgramPath();
  const std::string reader32 =
      program.substr(0, program.find_last_of("\\/") + 1) + kAccess32ReaderRole.program;
  if (!fileExists(reader32)) {
    if (!first.refusal.empty()) {
      failToRead(path, first.refusal);
    }
    failToRead(path, std::string("no 64-bit Access driver loads, and the 32-bit reader ") +
                         kAccess32ReaderRole.program +
                         " that would load a 32-bit one is missing "
                         "beside tavrinel.exe: unpack or install TAVRINEL again");
  }
  Attempt second = readWith(kAccess32ReaderRole, path);
  if (second.tables) {
    return std::move(*second.tables);
  }
  if (!first.refusal.empty() || !second.refusal.empty()) {
    failToRead(path, first.refusal.empty() ? second.refusal : first.refusal);
  }
  failWithoutDriver(path);
}

int runAccessReader(const std::vector<std::string>& arguments, const std::string&, int rows) {
  const std::string& path = arguments.at(0);
  // The 64-bit reader tries the ACE driver of 64-bit Office or the 64-bit Engine; the 32-bit one
  // that of 32-bit Office or Engine, then for a Jet file the Jet driver of Windows.
  std::vector<std::string> drivers{kAceDriver};
  if (!k64BitProcess && isJetFile(path)) {
    drivers.push_back(kJetDriver);
  }
  std::string refusal;  // of the first driver that loaded and would not open the file
  for (const std::string& driver : drivers) {
    // The path as typed: the driver resolves it as every Windows call does, in this process that
    // has the program's folders (of each drive) too.
    const std::string connection =
        "Driver={" + driver + "};DBQ=" + connectionValue(path) + ";ReadOnly=1";
    // Whether the driver loads, and takes the file, is the connection's to tell.
    const OdbcOpening opening = tryOdbcDriver(connection);
    if (opening.kind == OdbcOpening::kNoDriver) {
      continue;
    }
    if (opening.kind == OdbcOpening::kRefused) {
      if (refusal.empty()) {
        refusal = accessRefusal(opening.reason);
      }
      continue;
    }
    return sendOdbcTables(connection, rows, accessRefusal);
  }
  if (refusal.empty()) {
    return kNoDriverExit;
  }
  RowStreamWriter out(rows);
  TableStreamWriter(out).refuse(refusal);
  return kRefusedExit;
}
