// The result letters of one intake as a printable HTML file.
#include "mail/printable_letters.h"

#include <cstdio>
#include <string_view>

#include "console/console_interface.h"
#include "mail/letter_pages.h"
#include "util/utf16_text.h"

namespace {

// Every sheet's text stays inside these margins, in mm: inside any office printer's printable
// area (4 to 6 mm at each edge), with room to spare.
constexpr double kTextLeftMm = 25;
constexpr double kTextRightMm = 20;
constexpr double kTextBottomMm = 20;
constexpr double kHeadTopMm = 15;
// Where the letter's text starts on the first sheet, below the window (on US Letter, below where
// the window reaches with the sheet held up), and below the running head on the others.
constexpr double kNextBodyTopMm = 25;
constexpr double kBodyPt = 10.5;
constexpr double kSmallestPt = 7;
constexpr double kPageMarkWidthMm = 30;
constexpr std::size_t kMostSenderLines = 5;
constexpr std::size_t kLongestSenderLine = 60;

struct Paper {
  const char* cssSize;
  double widthMm, heightMm;
};

Paper paperOf(PaperSize paper) {
  return paper == PaperSize::kA4 ? Paper{"A4", 210, 297} : Paper{"letter", 215.9, 279.4};
}

// The address block's type: its size and line pitch, in points.
struct AddressType {
  double pt, linePt;
};

double firstBodyTopMm(PaperSize paper) {
  return paper == PaperSize::kA4 ? 100 : 96;
}

AddressType addressType(PaperSize paper) {
  return paper == PaperSize::kA4 ? AddressType{10, 12} : AddressType{9.5, 10.5};
}

// The return-address line over the address block: in DIN 5008's zone for it on A4; on US Letter
// just above the band, where the window shows it with the sheet at rest and the envelope hides
// it with the sheet held up.
PageRect senderLineRect(PaperSize paper) {
  const PageRect block = addressBlock(paper);
  return {block.left, paper == PaperSize::kA4 ? 58.0 : 59.0, block.width, 4};
}

std::string millimetres(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2fmm", value);
  return text;
}

std::string points(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1fpt", value);
  return text;
}

// A stored text as the page shows it: a control character in caret form (a line feed in a name
// would break the window's lines), HTML's special characters escaped.
std::string shownText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    const int code = static_cast<unsigned char>(c);
    if (isControlCode(code)) {
      shown += caretForm(code);
    } else if (c == '&') {
      shown += "&amp;";
    } else if (c == '<') {
      shown += "&lt;";
    } else if (c == '>') {
      shown += "&gt;";
    } else if (c == '"') {
      shown += "&quot;";
    } else {
      shown += c;
    }
  }
  return shown;
}

// One line of type at top, left of the box, shrunk until it fits the width on one line.
std::string line(const char* className, std::string_view text, const PageRect& box,
                 double preferredPt) {
  const double size = fittingFontPt(text, box.width, preferredPt, kSmallestPt);
  std::string html = std::string("<p class=\"") + className +
                     "\" style=\"left:" + millimetres(box.left) + ";top:" + millimetres(box.top) +
                     ";width:" + millimetres(box.width) + ";height:" + millimetres(box.height) +
                     ";line-height:" + millimetres(box.height) + ";font-size:" + points(size) +
                     "\">";
  return html + shownText(text) + "</p>\n";
}

void writeStyle(const PrintLayout& layout, std::ostream& out) {
  const Paper paper = paperOf(layout.paper);
  // No page margin leaves a browser no room for its own header and footer; each sheet keeps its
  // own margins. A sheet a millimetre short of the paper never spills onto a page of its own.
  out << "<style>\n"
      << "@page { size: " << paper.cssSize << "; margin: 0; }\n"
      << "html, body { margin: 0; padding: 0; }\n"
      << "body { font-family: Arial, \"Liberation Sans\", \"DejaVu Sans\", \"Noto Sans\", "
         "sans-serif; color: #000; }\n"
      << ".sheet { position: relative; overflow: hidden; width: " << millimetres(paper.widthMm)
      << "; height: " << millimetres(paper.heightMm - 1)
      << "; break-after: page; page-break-after: always; }\n"
      << ".sheet:last-child { break-after: auto; page-break-after: auto; }\n"
      << ".sheet p, .sheet div { position: absolute; margin: 0; white-space: nowrap; }\n"
      << ".row span { position: absolute; top: 0; }\n"
      << ".rule { border-top: 0.3mm solid #000; }\n"
      << ".level, .head, .office { font-weight: bold; }\n"
      << ".page { text-align: right; }\n"
      << ".marks { text-align: right; }\n"
      << ".return { border-bottom: 0.2mm solid #000; }\n"
      << "@media screen { body { background: #ccc; } .sheet { background: #fff; margin: 8mm "
         "auto; } }\n"
      << "</style>\n";
}

double bodyWidthMm(const PrintLayout& layout) {
  return paperOf(layout.paper).widthMm - kTextLeftMm - kTextRightMm;
}

// The result table's columns, in mm from the text's left edge.
constexpr double kSemesterIndentMm = 8;
constexpr double kSubjectMm = 16;
constexpr double kMarksRightMm = 72;
constexpr double kGradeMm = 80;
constexpr double kIdentityValueMm = 20;

std::string rule(double left, double top, double width) {
  return "<div class=\"rule\" style=\"left:" + millimetres(left) + ";top:" + millimetres(top) +
         ";width:" + millimetres(width) + "\"></div>\n";
}

std::string cell(double left, std::string_view text, double sizePt = kBodyPt) {
  return "<span style=\"left:" + millimetres(left) + ";font-size:" + points(sizePt) + "\">" +
         shownText(text) + "</span>";
}

// The cells of a row: a semester heading indented; an identity's label and value; a result's
// subject, marks and grade, each in its column.
std::string cellsOf(const LetterRow& row, double widthMm) {
  if (row.kind == RowKind::kSemester) {
    return cell(kSemesterIndentMm, row.text);
  }
  if (row.kind == RowKind::kIdentity) {
    const std::string value = ": " + row.value;
    return cell(0, row.text) +
           cell(kIdentityValueMm, value,
                fittingFontPt(value, widthMm - kIdentityValueMm, kBodyPt, kSmallestPt));
  }
  return cell(kSubjectMm, row.text) +
         "<span class=\"marks\" style=\"left:0;width:" + millimetres(kMarksRightMm) + "\">" +
         shownText(row.value) + "</span>" + cell(kGradeMm, row.grade);
}

void writeRow(const LetterRow& row, double top, const PrintLayout& layout, std::ostream& out) {
  const double height = rowHeightMm(row.kind);
  const PageRect box{kTextLeftMm, top, bodyWidthMm(layout), height};
  switch (row.kind) {
    case RowKind::kBlank:
      return;
    case RowKind::kRule:
      out << rule(box.left, top + height / 2, box.width);
      return;
    case RowKind::kText:
    case RowKind::kLevel:
      out << line(row.kind == RowKind::kLevel ? "row level" : "row", row.text, box, kBodyPt);
      return;
    default:
      out << "<div class=\"row\" style=\"left:" << millimetres(box.left)
          << ";top:" << millimetres(top) << ";width:" << millimetres(box.width)
          << ";height:" << millimetres(height) << ";line-height:" << millimetres(height)
          << ";font-size:" << points(kBodyPt) << "\">" << cellsOf(row, box.width) << "</div>\n";
  }
}

// The office's name and address at the head of the first sheet, beside the page mark.
void writeLetterhead(const PrintLayout& layout, std::ostream& out) {
  const double width = bodyWidthMm(layout) - kPageMarkWidthMm;
  double top = kHeadTopMm;
  for (std::size_t i = 0; i < layout.sender.size(); ++i) {
    const bool name = i == 0;
    const double height = name ? 5.5 : 4.2;
    out << line(name ? "office" : "sender", layout.sender[i], {kTextLeftMm, top, width, height},
                name ? 11 : 9);
    top += height;
  }
}

// The window's lines: the sender's line, then the student's name and the three address lines.
void writeWindow(const StudentRecord& student, const PrintLayout& layout, std::ostream& out) {
  PageRect block = addressBlock(layout.paper);
  block.left += layout.addressRightMm;
  block.top += layout.addressDownMm;
  if (!layout.sender.empty()) {
    std::string joined;
    for (const std::string& part : layout.sender) {
      joined += (joined.empty() ? "" : " \u00B7 ") + part;
    }
    PageRect zone = senderLineRect(layout.paper);
    zone.left += layout.addressRightMm;
    zone.top += layout.addressDownMm;
    out << line("return", joined, zone, 7);
  }
  const AddressType type = addressType(layout.paper);
  const double pitch = type.linePt * 25.4 / 72;
  std::vector<std::string> lines = letterAddressLines(student);
  lines.insert(lines.begin(), student.name);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out << line("address", lines[i], {block.left, block.top + pitch * i, block.width, pitch},
                type.pt);
  }
}

void writeSheetHead(const StudentRecord& student, std::size_t sheet, std::size_t sheets,
                    const PrintLayout& layout, std::ostream& out) {
  const double width = bodyWidthMm(layout);
  if (sheets > 1) {
    out << line("page", "page " + std::to_string(sheet + 1) + " of " + std::to_string(sheets),
                {kTextLeftMm + width - kPageMarkWidthMm, kHeadTopMm, kPageMarkWidthMm, 5}, 9);
  }
  if (sheet == 0) {
    writeLetterhead(layout, out);
    writeWindow(student, layout, out);
    return;
  }
  // Every further sheet names its student, should the sheets come apart.
  const std::string who = std::string(student.name) + " \u00B7 " + student.studentId;
  out << line("head", who, {kTextLeftMm, kHeadTopMm, width - kPageMarkWidthMm, 5}, 10);
  out << rule(kTextLeftMm, kHeadTopMm + 6.5, width);
}

void writeLetter(const StudentRecord& student, const std::string& date, const PrintLayout& layout,
                 std::ostream& out) {
  const std::vector<LetterRow> rows = letterRows(student, date);
  const double height = paperOf(layout.paper).heightMm;
  std::vector<std::size_t> starts =
      sheetStarts(rows, height - kTextBottomMm - firstBodyTopMm(layout.paper),
                  height - kTextBottomMm - kNextBodyTopMm);
  starts.push_back(rows.size());
  const std::size_t sheets = starts.size() - 1;
  for (std::size_t sheet = 0; sheet < sheets; ++sheet) {
    out << "<section class=\"sheet\">\n";
    writeSheetHead(student, sheet, sheets, layout, out);
    double top = sheet == 0 ? firstBodyTopMm(layout.paper) : kNextBodyTopMm;
    for (std::size_t i = starts[sheet]; i < starts[sheet + 1]; ++i) {
      writeRow(rows[i], top, layout, out);
      top += rowHeightMm(rows[i].kind);
    }
    out << "</section>\n";
  }
}

}  // namespace

PageRect envelopeWindow(PaperSize paper) {
  if (paper == PaperSize::kA4) {
    return {20, 45, 85, 45};
  }
  constexpr double kInch = 25.4;
  // The #10 envelope is 4 1/8 in high; its window's top lies 4 1/8 - 1/2 - 1 1/8 in below its top.
  return {0.875 * kInch, 2.5 * kInch, 4.5 * kInch, 1.125 * kInch};
}

PageRect addressBlock(PaperSize paper) {
  if (paper == PaperSize::kA4) {
    // DIN 5008's address zone is the lower 27.3 mm of the window, from 62.7 mm; 5 mm in from the
    // window's left edge. Six lines of 12 pt end above the window's foot.
    return {25, 63.5, 75, 25.4};
  }
  // Four lines of 10.5 pt, a millimetre inside the band at each end (63.5 to 80.4 mm), across
  // the window's width but for 2 mm at each side.
  return {24.2, 64.6, 110, 14.8};
}

std::vector<std::string> senderLines(const std::string& text) {
  std::string_view rest = text;
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
    rest.remove_prefix(3);  // a byte-order mark, as Notepad writes it
  }
  std::vector<std::string> lines;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view piece = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const std::size_t first = piece.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
      continue;
    }
    piece = piece.substr(first, piece.find_last_not_of(" \t\r") - first + 1);
    lines.emplace_back(piece);
    if (lines.size() > kMostSenderLines || charactersIn(lines.back()) > kLongestSenderLine) {
      return {};
    }
  }
  return lines;
}

long writePrintableLetters(const IntakeRecord& intake, const PrintLayout& layout,
                           const MailClock& clock, std::ostream& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<title>Result letters of intake " << shownText(intake.code) << "</title>\n";
  writeStyle(layout, out);
  out << "</head>\n<body>\n";
  long letters = 0;
  forEachLetter(intake, clock, [&](const StudentRecord& student, const std::string& date) {
    writeLetter(student, date, layout, out);
    ++letters;
  });
  out << "</body>\n</html>\n";
  return letters;
}
