// A printable letter as rows of fixed height, and the sheets they fall on. The program, not the
// browser, decides where a sheet ends, so that "page 2 of 3" is exact and no row is ever split.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/tree/record_tree.h"

enum class RowKind { kBlank, kRule, kText, kIdentity, kLevel, kSemester, kResult };

// One line of the letter below the address, in the mail letter's words.
struct LetterRow {
  RowKind kind = RowKind::kBlank;
  std::string text;           // the line; the label of an identity row; the subject ID of a result
  std::string value;          // the stored value of an identity row; the marks of a result
  std::string grade;          // the grade word of a result
  bool keepWithNext = false;  // never the last row of a sheet
};

// Every row of a kind takes the same height, whatever it holds: no row wraps.
double rowHeightMm(RowKind kind);

// The rows of one student's letter after the address: the rule, the salutation and the opening,
// the listing (name, ID and intake, then levels, semesters and results), the date and the
// footer. A heading stays with the row after it, and the last row of the listing with the date
// and the footer.
std::vector<LetterRow> letterRows(const StudentRecord& student, const std::string& date);

// The index of the first row of each sheet: rows fill firstMm of the first sheet, then nextMm of
// each sheet after it. Rows kept together move to the next sheet together, unless they would not
// fit on a sheet of their own.
std::vector<std::size_t> sheetStarts(const std::vector<LetterRow>& rows, double firstMm,
                                     double nextMm);

// The width of text in ems, never less than it takes in the fonts the letters name (Arial and
// DejaVu Sans): each ASCII character at the wider of the two, any other at a whole em, a
// combining mark at none, a control character at two (its caret form).
double textWidthEm(std::string_view utf8);

// The font size, from preferredPt down to smallestPt in half points, at which text fits widthMm
// on one line; smallestPt when none does.
double fittingFontPt(std::string_view text, double widthMm, double preferredPt, double smallestPt);
