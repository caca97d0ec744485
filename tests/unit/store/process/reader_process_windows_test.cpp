// The reader process on Windows, with Windows' own command interpreter as the reader: its exit
// code comes back, and what it prints on its standard output never mixes with the answer. (A
// runaway reader is not tried here: under Wine a command interpreter in a loop starves the Wine
// server, and the run takes minutes.)
#include "store/process/reader_process.h"

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
  // The interpreter takes the handle number after the command as an argument it ignores.
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

TEST(ReaderProcessTest, ExitCodeComesBackAndPrintingStaysOutOfTheAnswer) {
  ReaderLimits limits;
  limits.processorTime = std::chrono::seconds(2);
  limits.silence = std::chrono::seconds(3);

  const Outcome spoke = run("echo printed& exit 3", limits);
  EXPECT_EQ(spoke.output, "");
  EXPECT_EQ(spoke.end.kind, ReaderEnd::kExited);
  EXPECT_EQ(spoke.end.code, 3u);
  EXPECT_FALSE(spoke.end.ranOutOfTime);
}

TEST(ReaderProcessTest, CommandLineQuotesAsTheRuntimeSplitsIt) {
  EXPECT_EQ(windowsCommandLine({"a", "b c", "", R"(x"y)", R"(d:\dir\)", R"(e\\"f)"}),
            R"(a "b c" "" "x\"y" d:\dir\ "e\\\\\"f")");
}

}  // namespace
