// The reader process on Windows, with Windows' own command interpreter as the reader: its output
// and exit code come back. (A runaway reader is not tried here: under Wine a command interpreter
// in a loop starves the Wine server, and the run takes minutes.)
#include "store/sources/reader_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string commandInterpreter() {
  const char* comspec = std::getenv("COMSPEC");
  return comspec != nullptr ? comspec : "C:\\windows\\system32\\cmd.exe";
}

struct Outcome {
  std::string output;
  ReaderEnd end;
};

Outcome run(const std::string& command, const ReaderLimits& limits) {
  ReaderProcess reader(commandInterpreter(), {"/d", "/c", command}, limits);
  Outcome outcome;
  char buffer[256];
  for (std::size_t n = reader.read(buffer, sizeof buffer); n > 0;
       n = reader.read(buffer, sizeof buffer)) {
    outcome.output.append(buffer, n);
  }
  outcome.end = reader.finish();
  return outcome;
}

TEST(ReaderProcessTest, OutputAndExitCodeComeBack) {
  ReaderLimits limits;
  limits.processorTime = std::chrono::seconds(2);
  limits.idleTime = std::chrono::seconds(3);

  const Outcome spoke = run("echo rows& exit 3", limits);
  EXPECT_EQ(spoke.output.substr(0, 4), "rows");
  EXPECT_EQ(spoke.end.kind, ReaderEnd::kExited);
  EXPECT_EQ(spoke.end.code, 3u);
  EXPECT_FALSE(spoke.end.ranOutOfTime);
}

TEST(ReaderProcessTest, CommandLineQuotesAsTheRuntimeSplitsIt) {
  EXPECT_EQ(windowsCommandLine({"a", "b c", "", R"(x"y)", R"(d:\dir\)", R"(e\\"f)"}),
            R"(a "b c" "" "x\"y" d:\dir\ "e\\\\\"f")");
}

}  // namespace
