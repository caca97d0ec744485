// The output file on Windows: replaced whole with the bytes as given (CR LF kept, never doubled),
// in a folder whose name is not ASCII; refused with the old file kept when another program holds
// it open, is read-only, or is a folder, or is the database or a file beside it in any spelling.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/files_read.h"
#include "mail/output_file.h"
#include "util/wide_text.h"

namespace {

// A fresh folder named with a non-ASCII letter, removed with everything in it at the end.
class Folder {
 public:
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"tavrinel-B\u00fcro-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = path_ + L"\\" + found.cFileName;
        SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(name.c_str());
        RemoveDirectoryW(name.c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(path_.c_str());
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  std::wstring wide(const wchar_t* name) const { return path_ + L"\\" + name; }
  std::string utf8(const wchar_t* name) const { return utf8Text(wide(name)); }

  void write(const wchar_t* name, const std::string& bytes) const {
    HANDLE file = CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }

  std::string read(const wchar_t* name) const {
    HANDLE file = CreateFileW(wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return "<missing>";
    }
    std::string bytes(4096, '\0');
    DWORD count = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
    CloseHandle(file);
    bytes.resize(count);
    return bytes;
  }

  // The number of files in the folder: no temporary file may be left.
  int files() const {
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        count += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    return count;
  }

 private:
  std::wstring path_;
};

constexpr const char* kLetters = "Street,\r\n\r\nMr/Miss Maya Patel,\r\n";

TEST(WindowsOutputFileTest, ReplacesWholeOrRefusesKeepingTheOldFile) {
  enum Obstacle { kNone, kNoOldFile, kHeldOpen, kReadOnly, kFolder };
  const struct {
    const char* what;
    Obstacle obstacle;
    bool opens;
  } cases[] = {
      {"an old file", kNone, true},
      {"no old file", kNoOldFile, true},
      {"held open without sharing by another program", kHeldOpen, false},
      {"read-only", kReadOnly, false},
      {"a folder named mail.txt", kFolder, false},
  };
  for (const auto& c : cases) {
    Folder folder;
    const std::string old = "old letters\r\n";
    if (c.obstacle == kFolder) {
      CreateDirectoryW(folder.wide(L"mail.txt").c_str(), nullptr);
    } else if (c.obstacle != kNoOldFile) {
      folder.write(L"mail.txt", old);
    }
    if (c.obstacle == kReadOnly) {
      SetFileAttributesW(folder.wide(L"mail.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    HANDLE holder = c.obstacle == kHeldOpen
                        ? CreateFileW(folder.wide(L"mail.txt").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                        : INVALID_HANDLE_VALUE;
    {
      OutputFile file(folder.utf8(L"mail.txt"));
      EXPECT_EQ(file.isOpen(), c.opens) << c.what;
      if (file.isOpen()) {
        EXPECT_TRUE(file.write(kLetters)) << c.what;
        EXPECT_TRUE(file.commit()) << c.what;
      }
    }
    if (holder != INVALID_HANDLE_VALUE) {
      CloseHandle(holder);
    }
    if (c.obstacle == kFolder) {
      EXPECT_EQ(folder.files(), 0) << c.what;
      continue;
    }
    EXPECT_EQ(folder.read(L"mail.txt"), c.opens ? kLetters : old) << c.what;
    EXPECT_EQ(folder.files(), 1) << c.what;
  }
}

TEST(WindowsOutputFileTest, AnUncommittedFileLeavesTheOldOneAndNoTemporaryFile) {
  Folder folder;
  folder.write(L"mail.txt", "old\r\n");
  {
    OutputFile file(folder.utf8(L"mail.txt"));
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.write(kLetters));
  }
  EXPECT_EQ(folder.read(L"mail.txt"), "old\r\n");
  EXPECT_EQ(folder.files(), 1);
}

// Drive paths in other case, with forward slashes, as a \\?\ path or as the 8.3 short name all
// name the database; a companion not there yet is matched by its name in any case.
TEST(WindowsOutputFileTest, TheDatabaseIsRefusedWhateverItsSpelling) {
  Folder folder;
  folder.write(L"Database.mdb", "the records");
  setFilesRead({{folder.utf8(L"Database.mdb"), "the database itself"},
                {folder.utf8(L"Database.mdb-wal"), "a file of the database"}});
  std::string forward = folder.utf8(L"DATABASE.MDB");
  for (char& c : forward) {
    c = c == '\\' ? '/' : c;
  }
  std::vector<std::string> spellings = {folder.utf8(L"database.MDB"), forward,
                                        "\\\\?\\" + folder.utf8(L"Database.mdb"),
                                        folder.utf8(L"DATABASE.mdb-WAL")};
  wchar_t shortName[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(folder.wide(L"Database.mdb").c_str(), shortName, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    char narrow[MAX_PATH * 4] = {};
    WideCharToMultiByte(CP_UTF8, 0, shortName, -1, narrow, sizeof narrow, nullptr, nullptr);
    spellings.push_back(narrow);
  }
  for (const std::string& spelling : spellings) {
    OutputFile file(spelling);
    EXPECT_FALSE(file.isOpen()) << spelling;
    EXPECT_TRUE(file.isFileRead()) << spelling;
  }
  setFilesRead({});
  EXPECT_EQ(folder.read(L"Database.mdb"), "the records");
  EXPECT_EQ(folder.files(), 1);
}

}  // namespace
