// The unit tests' entry: the tests, or, when a test started the program again as one of the
// program's readers or as its fake reader (Windows starts a reader that way), that reader.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/sources/reader_roles.h"
#include "unit/store/process/fake_reader.h"

int main(int argc, char** argv) {
  const std::vector<std::string> commandLine(argv, argv + argc);
  if (const std::optional<int> status = playReaderRole(commandLine)) {
    return *status;
  }
  if (const std::optional<int> status = runReaderRole(commandLine, {&kFakeReaderRole})) {
    return *status;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
