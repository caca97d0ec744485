// The jobs' intake lookup: each spelling the office may give, under each way a source compares.
#include "app/job_intake.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "unit/tree_literal.h"

namespace {

TEST(FindJobIntake, FindsWhatTheSourcesComparisonFindsAndNamesTheSpellingItHolds) {
  // Codes as a tree keeps them: a class's first spelling, two long intakes cut to the same 15
  // characters.
  const TreeLiteral tree({{"", {{"s1"}}},
                          {"APR24IT", {{"s2"}}},
                          {"JAN2025PARTTIME", {{"s3"}}},
                          {"JAN2025PARTTIME", {{"s6"}}},
                          {"apr25it", {{"s4"}}},
                          {"SEP24", {{"s5"}}}});
  IntakeSpellings binary;
  binary.longTexts = {{"JAN2025PARTTIMEXX", "s3"}, {"JAN2025PARTTIMEYY", "s6"}};
  IntakeSpellings nocase = binary;
  nocase.ignoresCase = true;
  IntakeSpellings rtrim = binary;
  rtrim.ignoresTrailingBlanks = true;
  const struct {
    const char* asked;
    const IntakeSpellings& spellings;
    const char* found;    // the code found, or null
    const char* nearest;  // named when none is found
  } cases[] = {
      {"APR24IT", binary, "APR24IT", ""},
      {"", binary, "", ""},                     // the empty intake, as Enter alone finds it
      {"apr24it", binary, "APR24IT", ""},       // in capitals, as the prompt types it
      {"Apr25It", nocase, "apr25it", ""},       // the source's own comparison
      {"Apr25It", binary, nullptr, "apr25it"},  // exact where the source is
      {"APR25IT", binary, nullptr, "apr25it"},  // the prompt cannot reach it either
      {"JAN2025PARTTIMEXX", binary, "JAN2025PARTTIME", ""},  // by its stored text
      {"JAN2025PARTTIMEYY", binary, "JAN2025PARTTIME", ""},
      {"jan2025parttimexx", nocase, "JAN2025PARTTIME", ""},
      {"JAN2025PARTTIMEZZ", binary, nullptr, "JAN2025PARTTIME"},  // not stored: only named
      {"SEP24  ", rtrim, "SEP24", ""},
      {"SEP24  ", binary, nullptr, ""},
      {"MAR99", nocase, nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.asked + "'");
    const JobIntake found = findJobIntake(tree.get(), c.asked, c.spellings);
    if (c.found == nullptr) {
      EXPECT_EQ(found.intake, nullptr);
    } else {
      ASSERT_NE(found.intake, nullptr);
      EXPECT_STREQ(found.intake->code, c.found);
    }
    EXPECT_EQ(found.nearest, c.nearest);
  }
  // Of the two intakes keeping the same 15 characters, each stored text finds its own.
  for (const auto& [asked, student] :
       {std::pair{"JAN2025PARTTIMEXX", "s3"}, std::pair{"JAN2025PARTTIMEYY", "s6"}}) {
    const JobIntake found = findJobIntake(tree.get(), asked, binary);
    ASSERT_NE(found.intake, nullptr);
    EXPECT_STREQ(found.intake->firstStudent->studentId, student) << asked;
  }
}

}  // namespace
