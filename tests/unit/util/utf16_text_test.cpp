// Text between UTF-8 and UTF-16, both ways.
#include "util/utf16_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf16Text, TextFromTheDriverComesBackAsItWasAndBrokenUnitsAsReplacements) {
  for (const std::string text : {"", "st230401", "Trần Minh Đức", "Zoë 😀 O'Brien"}) {
    std::u16string units = toUtf16(text);
    std::string back;
    appendUtf16(back, units.data(), units.size());
    EXPECT_EQ(back, text);
  }
  EXPECT_EQ(toUtf16(std::string("a") + '\xff' + "b"), std::u16string(u"a") + u'\ufffd' + u"b");
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  std::string replaced;
  appendUtf16(replaced, lone, 3);
  EXPECT_EQ(replaced, std::string("a") + "\xef\xbf\xbd" + "b");
}

}  // namespace
