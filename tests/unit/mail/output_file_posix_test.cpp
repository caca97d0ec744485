// A file rewritten whole: permission bits, symbolic links, folders that take no new file, failures.
#include "file_bytes.h"
#include "mail/output_file.h"
#include "scratch_folder.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kOld = "old letters";
const std::string kNew = std::string(300, 'n') + "\r\n";
// Not root, so that permission bits bind in the cases that need them to.
constexpr uid_t kNobody = 65534;

enum class Outcome {
  kReplaced = 1,
  kInPlace,
  kCannotOpen,
  kCannotWrite,
  kOldFileLost,
  kChildFailed
};

void writeFile(const fs::path& path, const std::string& bytes, fs::perms mode) {
  std::ofstream(path, std::ios::binary) << bytes;
  fs::permissions(path, mode);
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

struct Case {
  const char* name;
  std::function<void(const fs::path& dir)> arrange;
  mode_t umask;
  rlim_t sizeLimit;   // 0: none
  bool unprivileged;  // runs as another user than root, so that permission bits bind
  Outcome outcome;
  const char* file;  // whose content and mode are checked, relative to the folder
  std::string content;
  mode_t mode;                  // 0: not checked
  std::set<std::string> names;  // everything in the folder afterwards
};

// Writes kNew through an OutputFile in a child process, so that the umask, the file size limit and
// the user stay the case's own.
Outcome writeInChild(const fs::path& path, const Case& c) {
  const pid_t pid = fork();
  if (pid == 0) {
    umask(c.umask);
    if (c.sizeLimit != 0) {
      std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      rlimit limit{c.sizeLimit, c.sizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (c.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(static_cast<int>(Outcome::kChildFailed));
    }
    Outcome outcome = Outcome::kCannotOpen;
    {
      OutputFile file(path.string());
      if (file.isOpen()) {
        const bool written = file.write(kNew) && file.commit();
        outcome = file.oldFile().lost ? Outcome::kOldFileLost
                  : !written          ? Outcome::kCannotWrite
                  : file.isInPlace()  ? Outcome::kInPlace
                                      : Outcome::kReplaced;
      }
    }
    _exit(static_cast<int>(outcome));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? static_cast<Outcome>(WEXITSTATUS(status)) : Outcome::kChildFailed;
}

const fs::perms k0640 = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
const fs::perms k0666 = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
const fs::perms k0555 = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;

TEST(OutputFile, ReplacesTheFileWholeOrKeepsTheOldOne) {
  const std::set<std::string> justMail = {"mail.txt"};
  const Case cases[] = {
      {"a new file gets 0666 less the umask", [](const fs::path&) {}, 027, 0, false,
       Outcome::kReplaced, "mail.txt", kNew, 0640, justMail},
      {"a replaced file keeps its permission bits",
       [](const fs::path& d) { writeFile(d / "mail.txt", kOld, k0640); }, 022, 0, false,
       Outcome::kReplaced, "mail.txt", kNew, 0640, justMail},
      {"a symbolic link is written through to its target",
       [](const fs::path& d) {
         fs::create_directory(d / "letters");
         writeFile(d / "letters" / "current.txt", kOld, k0640);
         fs::create_symlink("letters/current.txt", d / "mail.txt");
       },
       022,
       0,
       false,
       Outcome::kReplaced,
       "letters/current.txt",
       kNew,
       0640,
       {"mail.txt", "letters"}},
      {"a link to a file not yet there creates it",
       [](const fs::path& d) { fs::create_symlink(d / "new.txt", d / "mail.txt"); },
       022,
       0,
       false,
       Outcome::kReplaced,
       "new.txt",
       kNew,
       0644,
       {"mail.txt", "new.txt"}},
      {"a folder that takes no new file has the writable file written in place",
       [](const fs::path& d) {
         writeFile(d / "mail.txt", kOld, k0666);
         fs::permissions(d, k0555);
       },
       022, 0, true, Outcome::kInPlace, "mail.txt", kNew, 0666, justMail},
      {"a folder that takes no new file and holds no file cannot be written",
       [](const fs::path& d) { fs::permissions(d, k0555); },
       022,
       0,
       true,
       Outcome::kCannotOpen,
       "mail.txt",
       "",
       0,
       {}},
      {"a read-only file is not replaced",
       [](const fs::path& d) {
         writeFile(d / "mail.txt", kOld,
                   fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         fs::permissions(d, fs::perms::all);
       },
       022, 0, true, Outcome::kCannotOpen, "mail.txt", kOld, 0444, justMail},
      {"a failed write keeps the old file and leaves no temporary file",
       [](const fs::path& d) { writeFile(d / "mail.txt", kOld, k0640); }, 022, 100, false,
       Outcome::kCannotWrite, "mail.txt", kOld, 0640, justMail},
      // The file size limit is the fault: the new letters outgrow it, the old content does not.
      {"a failed write in place puts the old content back",
       [](const fs::path& d) {
         writeFile(d / "mail.txt", kOld, k0666);
         fs::permissions(d, k0555);
       },
       022, 100, true, Outcome::kCannotWrite, "mail.txt", kOld, 0666, justMail},
      // Written over from the start and cut only at the end: the bytes past the limit never change.
      {"an old file larger than the file size limit is kept whole",
       [](const fs::path& d) {
         writeFile(d / "mail.txt", std::string(150, 'o'), k0666);
         fs::permissions(d, k0555);
       },
       022, 100, true, Outcome::kCannotWrite, "mail.txt", std::string(150, 'o'), 0666, justMail},
      // Opening a FIFO without a reader for writing would wait for ever.
      {"a FIFO is refused at once",
       [](const fs::path& d) { mkfifo((d / "mail.txt").c_str(), 0666); }, 022, 0, false,
       Outcome::kCannotOpen, "absent", "", 0, justMail},
      {"a folder named like the file cannot be written",
       [](const fs::path& d) { fs::create_directory(d / "mail.txt"); }, 022, 0, false,
       Outcome::kCannotOpen, "mail.txt", "", 0, justMail},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder scratch;
    c.arrange(scratch.path());
    EXPECT_EQ(writeInChild(scratch.path() / "mail.txt", c), c.outcome);
    EXPECT_EQ(readFile(scratch.path() / c.file), c.content);
    if (c.mode != 0) {
      EXPECT_EQ(modeOf(scratch.path() / c.file), c.mode);
    }
    EXPECT_EQ(entries(scratch.path()), c.names);
  }
}

// Records what a signal handler would be asked to remove, and whether it was there to remove.
class RecordingRegistry : public TemporaryFileRegistry {
 public:
  void track(const char* path) override { tracked.push_back(path); }
  void untrack(const char* path) override {
    untracked.push_back(path);
    existedWhenUntracked.push_back(fs::exists(path));
  }
  std::vector<std::string> tracked;
  std::vector<std::string> untracked;
  std::vector<bool> existedWhenUntracked;
};

TEST(OutputFile, TellsTheRegistryOfEachTemporaryFileWhileItExists) {
  ScratchFolder scratch;
  const fs::path mail = scratch.path() / "mail.txt";
  RecordingRegistry registry;
  setTemporaryFileRegistry(&registry);
  std::string committed;
  std::string abandoned;
  {
    OutputFile file(mail.string());
    committed = file.temporaryPath();
    ASSERT_TRUE(file.write(kNew));
    EXPECT_EQ(registry.tracked, std::vector<std::string>{committed});
    EXPECT_TRUE(fs::exists(committed));
    EXPECT_TRUE(registry.untracked.empty());
    ASSERT_TRUE(file.commit());
  }
  {
    OutputFile file(mail.string());
    abandoned = file.temporaryPath();
    ASSERT_TRUE(file.write(kOld));
  }
  setTemporaryFileRegistry(nullptr);
  EXPECT_EQ(registry.tracked, (std::vector<std::string>{committed, abandoned}));
  EXPECT_EQ(registry.untracked, registry.tracked);
  EXPECT_EQ(registry.existedWhenUntracked, (std::vector<bool>{false, false}));
  EXPECT_EQ(readFile(mail), kNew);
  EXPECT_EQ(entries(scratch.path()), std::set<std::string>{"mail.txt"});
}

}  // namespace
