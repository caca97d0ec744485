// What the program says when an Access driver opened a file and then failed on it: the driver's
// reason inside "damaged (...)", without its vendor tags and never longer than a line, except
// for a missing table or column, which is said as on Linux.
#include "store/sources/access/windows_access_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AccessRefusalTest, DamageCarriesTheDriversReasonShortened) {
  const struct {
    std::string driver;
    std::string said;
  } cases[] = {
      {"[Microsoft][ODBC Microsoft Access Driver] Unrecognized database format 'x.mdb'.",
       "the Access file is damaged (Unrecognized database format 'x.mdb'.)"},
      {"Could not read table 'StudentResult'",
       "the Access file is damaged (Could not read table 'StudentResult')"},
      {"[unclosed tag", "the Access file is damaged ([unclosed tag)"},
      {"[Microsoft][ODBC Driver Manager]",
       "the Access file is damaged (the driver gave no reason)"},
      {"", "the Access file is damaged (the driver gave no reason)"},
      {"table Student is missing", "table Student is missing"},
      {"column StudentID of table Student is missing",
       "column StudentID of table Student is missing"},
      {"the file is missing", "the Access file is damaged (the file is missing)"},
      {"could not connect:\n\tIs the server running?\r\n",
       "the Access file is damaged (could not connect: Is the server running?)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(accessRefusal(c.driver), c.said) << c.driver;
  }
}

TEST(AccessRefusalTest, ALongReasonIsCutBetweenCharacters) {
  const std::string prefix = "the Access file is damaged (";
  for (const std::string& unit :
       {std::string("x"), std::string("\xc3\xa9"), std::string("\xe2\x82\xac")}) {
    std::string reason;
    while (reason.size() < 400) {
      reason += unit;
    }
    const std::string said = accessRefusal(reason);
    ASSERT_EQ(said.compare(0, prefix.size(), prefix), 0);
    const std::string inside = said.substr(prefix.size(), said.size() - prefix.size() - 1);
    ASSERT_GE(inside.size(), 4u);
    EXPECT_EQ(inside.substr(inside.size() - 3), "...");
    const std::string kept = inside.substr(0, inside.size() - 3);
    EXPECT_LE(kept.size(), 120u);
    EXPECT_GT(kept.size(), 110u);
    EXPECT_EQ(kept.size() % unit.size(), 0u) << "cut inside a character";
    EXPECT_EQ(kept, reason.substr(0, kept.size()));
  }
}

}  // namespace
