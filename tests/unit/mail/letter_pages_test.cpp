// The rows of a printable letter, the sheets they fall on, and the page's text.
#include "mail/letter_pages.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "mail/printable_letters.h"
#include "unit/tree_literal.h"

namespace {

std::vector<LetterRow> rowsOf(const std::string& kinds) {
  std::vector<LetterRow> rows;
  for (char kind : kinds) {
    LetterRow row;
    row.kind = kind == 'b' ? RowKind::kBlank : RowKind::kText;
    row.keepWithNext = kind == 'K';
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

// t: a text row (4.8 mm), b: a blank row (2.5 mm), K: a text row kept with the next.
TEST(SheetStarts, RowsKeptTogetherMoveTogetherUnlessNoSheetHoldsThem) {
  const struct {
    const char* rows;
    double firstMm, nextMm;
    std::vector<std::size_t> starts;
  } cases[] = {
      {"ttt", 15, 15, {0}},          {"tttt", 15, 15, {0, 3}},
      {"ttKt", 15, 15, {0, 2}},       // a heading never ends a sheet
      {"tKKKKt", 15, 100, {0, 1}},    // the last row goes on with the date and footer
      {"KKKKt", 10, 10, {0, 2, 3}},   // taller than any sheet: split where it must
      {"tbtbt", 12.1, 12.1, {0, 3}},  // a blank row fills its own height
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sheetStarts(rowsOf(c.rows), c.firstMm, c.nextMm), c.starts) << c.rows;
  }
}

TEST(LetterRows, KeepTheLastResultWithTheDateAndTheFooter) {
  TreeLiteral student = oneStudent({{1, 1, {{"CS101", 68}, {"CS102", 0}}}});
  const std::vector<LetterRow> rows = letterRows(*student, "08 December 2026");
  ASSERT_EQ(rows.size(), 19u);
  EXPECT_EQ(rows[13].kind, RowKind::kResult);
  EXPECT_EQ(rows[13].value + rows[13].grade, "N/AN/A");
  // The level and semester headings, then the last result and the closing lines but the rule.
  std::string kept;
  for (const LetterRow& row : rows) {
    kept += row.keepWithNext ? 'K' : '-';
  }
  EXPECT_EQ(kept, "----------KK-KKKKK-");
}

TEST(FittingFontPt, ShrinksOnlyWhatWouldNotFit) {
  EXPECT_EQ(fittingFontPt("Aisha Rahman", 75, 10, 7), 10);
  const std::string fifty(50, 'W');
  EXPECT_LT(fittingFontPt(fifty, 110, 9.5, 6) * textWidthEm(fifty), 110 * 72 / 25.4);
  EXPECT_EQ(textWidthEm("a\xCC\x80"), textWidthEm("a"));  // a combining grave takes no room
}

// A line feed stored in a name would break the window's lines: the page shows it in caret form.
TEST(WritePrintableLetters, StoredControlCharactersShowInCaretForm) {
  TreeLiteral tree = oneStudent({}, "Ann\nLee <&>");
  std::ostringstream page;
  PrintLayout layout;
  writePrintableLetters(
      tree.intake(), layout, [] { return std::time_t(0); }, page);
  EXPECT_NE(page.str().find(">Ann^JLee &lt;&amp;&gt;<"), std::string::npos);
  EXPECT_EQ(page.str().find("Ann\n"), std::string::npos);
}

TEST(SenderLines, NameAndUpToFourAddressLines) {
  EXPECT_EQ(senderLines("\xEF\xBB\xBF Office \r\n\r\n1 Road\r\nTown\n"),
            (std::vector<std::string>{"Office", "1 Road", "Town"}));
  EXPECT_TRUE(senderLines("a\nb\nc\nd\ne\nf\n").empty());
  EXPECT_TRUE(senderLines(std::string(61, 'x')).empty());
  EXPECT_TRUE(senderLines(" \n").empty());
}
