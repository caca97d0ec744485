// Every form of path a clerk types on Windows reaches the file it names: drive-absolute with either
// slash, drive-relative, UNC, past 260 characters, with spaces and letters outside ASCII; SQLite
// opens a database by each form, and each form of the database is the database to a job's output.
#include "util/wide_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "mail/file_identity.h"
#include "store/sources/file_probe.h"
#include "store/sources/sqlite/sqlite_handles.h"
#include "store/sources/sqlite/sqlite_reader.h"

namespace {

bool isSameFile(const std::string& one, const std::string& other) {
  FileIdentity first;
  FileIdentity second;
  return identityOfPath(one, first) && identityOfPath(other, second) && first == second;
}

std::wstring currentFolder() {
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// A name of count characters, so that a path passes any limit.
std::string longName(std::size_t count) {
  return "Ergebnisse " + std::string(count - 11, 'x');
}

TEST(WidePath, EachFormAClerkTypesIsTheFullPath) {
  const std::wstring here = currentFolder();  // under Wine the tests' folder on drive Z:
  const std::string drive = utf8Text(here.substr(0, 2));
  const std::string longFolder = longName(250);
  const std::wstring wideLongFolder = wideText(longFolder);
  const struct {
    std::string typed;
    std::wstring wide;
    std::string uriPath;
  } forms[] = {
      {"C:\\Office Files\\B\xC3\xBCro\\Database.mdb", L"C:\\Office Files\\B\u00fcro\\Database.mdb",
       "/C:/Office Files/B\xC3\xBCro/Database.mdb"},
      {"C:/Office Files/Pr\xC3\xBC"
       "fung.db",
       L"C:\\Office Files\\Pr\u00fc"
       L"fung.db",
       "/C:/Office Files/Pr\xC3\xBC"
       "fung.db"},
      {"C:\\Office\\.\\old\\..\\Database.mdb", L"C:\\Office\\Database.mdb",
       "/C:/Office/Database.mdb"},
      {drive + "Database.mdb", here + L"\\Database.mdb", ""},
      {"Tr\xE1\xBA\xA7n Minh \xC4\x90\xE1\xBB\xA9"
       "c.db",
       here + L"\\Tr\u1ea7n Minh \u0110\u1ee9"
              L"c.db",
       ""},
      {"\\\\server\\office\\Database.mdb", L"\\\\server\\office\\Database.mdb",
       "//server/office/Database.mdb"},
      {"C:\\" + longFolder + "\\Database.mdb", L"\\\\?\\C:\\" + wideLongFolder + L"\\Database.mdb",
       "/\\\\?\\C:\\" + longFolder + "\\Database.mdb"},
      {"\\\\server\\office\\" + longFolder, L"\\\\?\\UNC\\server\\office\\" + wideLongFolder,
       "/\\\\?\\UNC\\server\\office\\" + longFolder},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.typed);
    EXPECT_EQ(widePath(form.typed), form.wide);
    if (!form.uriPath.empty()) {
      EXPECT_EQ(uriPathOf(form.typed), form.uriPath);
    }
  }
}

// A folder "Office Files\Büro Ergebnisse" in the temporary folder, and a SQLite file in it.
class PathForms : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    base_ = std::wstring(temp) + L"tavrinel-paths-" + std::to_wstring(GetCurrentProcessId());
    folder_ = base_ + L"\\Office Files\\B\u00fcro Ergebnisse";
    CreateDirectoryW(base_.c_str(), nullptr);
    CreateDirectoryW((base_ + L"\\Office Files").c_str(), nullptr);
    CreateDirectoryW(folder_.c_str(), nullptr);
    file_ = folder_ +
            L"\\Pr\u00fc"
            L"fung.db";
    sqlite3* db = nullptr;
    sqlite3_open(utf8Text(file_).c_str(), &db);
    SqliteDatabase owned(db);
    std::ifstream sql(TAVRINEL_FIXTURES_DIR "/demo.sql", std::ios::binary);
    std::ostringstream text;
    text << sql.rdbuf();
    sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    SetCurrentDirectoryW(before_.c_str());
    DeleteFileW((L"\\\\?\\" + longFolder_ + L"\\Database.mdb").c_str());
    RemoveDirectoryW((L"\\\\?\\" + longFolder_).c_str());
    DeleteFileW(file_.c_str());
    RemoveDirectoryW(folder_.c_str());
    RemoveDirectoryW((base_ + L"\\Office Files").c_str());
    RemoveDirectoryW(base_.c_str());
  }

  // A copy in a folder whose path is past 260 characters.
  std::string longCopy() {
    longFolder_ = folder_ + L"\\" + wideText(longName(250));
    CreateDirectoryW((L"\\\\?\\" + longFolder_).c_str(), nullptr);
    CopyFileW(file_.c_str(), (L"\\\\?\\" + longFolder_ + L"\\Database.mdb").c_str(), FALSE);
    longCopy_ = utf8Text(longFolder_) + "\\Database.mdb";
    return longCopy_;
  }

  std::wstring before_ = currentFolder();
  std::wstring base_;
  std::wstring folder_;
  std::wstring file_;
  std::wstring longFolder_;
  std::string longCopy_;
};

TEST_F(PathForms, EachFormOpensInSqliteAndIsTheDatabase) {
  const std::string full = utf8Text(file_);
  std::string slashes = full;
  for (char& c : slashes) {
    c = c == '\\' ? '/' : c;
  }
  // Drive-relative and relative: from the folder of Office Files, on the same drive.
  SetCurrentDirectoryW((base_ + L"\\Office Files").c_str());
  const std::string drive = full.substr(0, 2);
  for (const std::string& path : {full, slashes,
                                  drive + "B\xC3\xBCro Ergebnisse\\Pr\xC3\xBC"
                                          "fung.db",
                                  std::string("B\xC3\xBCro Ergebnisse/Pr\xC3\xBC"
                                              "fung.db"),
                                  longCopy()}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(isSameFile(path, path == longCopy_ ? longCopy_ : full));
    try {
      const SourceTables tables = readSqliteTables(path);
      ASSERT_FALSE(tables.student.columns.empty());
      EXPECT_EQ(tables.student.columns[0].size(), 20u);  // the sample's students
    } catch (const std::exception& error) {
      ADD_FAILURE() << error.what();
    }
  }
  EXPECT_FALSE(isSameFile(full, longCopy_));  // the same bytes, another file
  EXPECT_FALSE(isSameFile(full, full + ".missing"));
}

}  // namespace
