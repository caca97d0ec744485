// The command line a reader is started with on Windows, split again by the reader's C runtime.
#include <gtest/gtest.h>

#include "store/process/reader_process_windows.h"

namespace {

TEST(ReaderProcessTest, CommandLineQuotesAsTheRuntimeSplitsIt) {
  EXPECT_EQ(windowsCommandLine({"a", "b c", "", R"(x"y)", R"(d:\dir\)", R"(e\\"f)"}),
            R"(a "b c" "" "x\"y" d:\dir\ "e\\\\\"f")");
}

}  // namespace
