// A script through a Windows pipe reads as through a POSIX one: the same ScriptInput, keys and
// line answers alike, and a lone ESC is a key at once while the pipe stays open.
#include "console/keys/key_input.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

// A pipe holding bytes, its writing end kept open: nothing says that no more will come.
class OpenPipe {
 public:
  explicit OpenPipe(const std::string& bytes) {
    HANDLE read = nullptr;
    CreatePipe(&read, &write_, nullptr, 0);
    DWORD written = 0;
    WriteFile(write_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(read), _O_RDONLY);
  }
  ~OpenPipe() {
    _close(fd_);
    CloseHandle(write_);
  }
  OpenPipe(const OpenPipe&) = delete;
  OpenPipe& operator=(const OpenPipe&) = delete;
  int fd() const { return fd_; }

 private:
  HANDLE write_ = nullptr;
  int fd_ = -1;
};

TEST(ScriptInputOnWindows, KeysAndLinesAsOnPosix) {
  {
    OpenPipe pipe("\x1b");
    ScriptInput input(pipe.fd());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(input.readKey().code, kEscapeKey);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  {
    OpenPipe pipe("\x1b[A1");
    ScriptInput input(pipe.fd());
    EXPECT_EQ(input.readKey().code, kExtendedPrefix);
    EXPECT_EQ(input.readKey().code, 72);  // the arrow up's own code
    EXPECT_EQ(input.readKey().code, '1');
  }
  {
    OpenPipe pipe("65 70\r\nrest\r\ny\r\n\r\n");
    ScriptInput input(pipe.fd());
    EXPECT_EQ(input.readWord(), "65");
    EXPECT_EQ(input.readWord(), "70");
    EXPECT_EQ(input.readAnswer(), 'r');  // the line begun is dropped, the next one answers
    EXPECT_EQ(input.readAnswer(), 'y');
    EXPECT_EQ(input.readAnswer(), '\n');  // an empty line
  }
}

}  // namespace
