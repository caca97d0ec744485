// Plain mode's screens without boxes and rules.
#include "console/plain_box_lines.h"

#include <gtest/gtest.h>

namespace {

// The text as the screens write it, in pieces, with a flush (a key read) where "|" stands.
std::string plainOf(const std::string& screen) {
  PlainBoxLines boxLines;
  std::string shown;
  for (char byte : screen) {
    shown += byte == '|' ? boxLines.release() : boxLines.pass({&byte, 1});
  }
  return shown + boxLines.release();
}

}  // namespace

TEST(PlainBoxLines, EdgesAndRulesGoRowsKeepTheirWords) {
  const struct {
    const char* screen;
    const char* expected;
  } cases[] = {
      {"\t\t****\n\t\t*   Menu:   *\n\t\t*      *\n\t\t*  (1) Search  *\n\t\t****\n",
       "\t\tMenu:\n\t\t(1) Search\n"},
      {"\t=====\n\tCurrent Result:\n\t=====\n\tTotal Marks: 5\n",
       "\tCurrent Result:\n\tTotal Marks: 5\n"},
      {"\n\t*****\n\t Chart for *Ann*\n\t*****\n\n", "\n\t Chart for *Ann*\n\n"},
      // Words that merely start or end with a frame character, blank lines, and a prompt held
      // back at a flush pass as they are.
      {"*x\n= 5\n\n\t \n\t**  |x\n", "*x\n= 5\n\n\t \n\t**  x\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plainOf(c.screen), c.expected) << c.screen;
  }
}
