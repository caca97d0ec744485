// Only A-Z and a-z fold: digits, punctuation, control codes and every byte of a UTF-8 character
// stay as they are, in whatever locale.
#include "util/ascii_fold.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

TEST(AsciiFold, OnlyLettersOfAsciiChange) {
  const struct {
    std::string text;
    std::string lower;
    std::string upper;
  } cases[] = {
      {"ST240401", "st240401", "ST240401"},
      {"apr24it", "apr24it", "APR24IT"},
      {"@[`{ \x7f\x1b^H", "@[`{ \x7f\x1b^h", "@[`{ \x7f\x1b^H"},
      {"\xC3\x89T\xC3\x89"
       "2024x",
       "\xC3\x89t\xC3\x89"
       "2024x",
       "\xC3\x89T\xC3\x89"
       "2024X"},
      {"", "", ""},
  };
  std::setlocale(LC_ALL, "");  // a Latin-1 or Turkish locale must not change the fold
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(asciiLower(c.text), c.lower);
    EXPECT_EQ(asciiUpper(c.text), c.upper);
  }
  EXPECT_EQ(asciiLower(224), 224);  // an extended key's prefix
  EXPECT_EQ(asciiUpper('q'), 'Q');
  std::setlocale(LC_ALL, "C");
}
