// The result letters of one intake as a printable HTML file.
#include "mail/printable_letters.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The mail file's letter starts with the address in three lines.
constexpr std::size_t kAddressLines = 3;
// Where the letter's text starts below the window, and its side margins, in mm.
constexpr double kTextTopMm = 100;
constexpr double kTextLeftMm = 25;
constexpr double kTextRightMm = 20;

struct Paper {
  const char* cssSize;
  double widthMm, heightMm;
};

Paper paperOf(PaperSize paper) {
  return paper == PaperSize::kA4 ? Paper{"A4", 210, 297} : Paper{"letter", 215.9, 279.4};
}

std::string millimetres(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2fmm", value);
  return text;
}

std::string escapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::vector<std::string> linesOf(const std::string& crlfText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = crlfText.find("\r\n"); end != std::string::npos;
       end = crlfText.find("\r\n", start)) {
    lines.push_back(crlfText.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void writeStyle(const PrintLayout& layout, std::ostream& out) {
  const Paper paper = paperOf(layout.paper);
  const PageRect address = addressBlock(layout.paper);
  // Margins of 0 on the page leave a browser no room for its own header and footer; each letter
  // keeps its own margins inside its page.
  out << "<style>\n"
      << "@page { size: " << paper.cssSize << "; margin: 0; }\n"
      << "html, body { margin: 0; padding: 0; }\n"
      << ".letter { position: relative; box-sizing: border-box; width: "
      << millimetres(paper.widthMm) << "; min-height: " << millimetres(paper.heightMm)
      << "; padding: " << millimetres(kTextTopMm) << " " << millimetres(kTextRightMm) << " 0 "
      << millimetres(kTextLeftMm) << "; break-after: page; page-break-after: always; }\n"
      << ".letter:last-child { break-after: auto; page-break-after: auto; }\n"
      << ".address { position: absolute; left: "
      << millimetres(address.left + layout.addressRightMm)
      << "; top: " << millimetres(address.top + layout.addressDownMm)
      << "; width: " << millimetres(address.width)
      << "; margin: 0; font: 10pt/12pt sans-serif; overflow-wrap: anywhere; }\n"
      << ".text { margin: 0; font: 9pt/11pt monospace; white-space: pre-wrap; tab-size: 8; "
         "overflow-wrap: anywhere; }\n"
      << "@media screen { body { background: #ccc; } .letter { background: #fff; margin: 8mm "
         "auto; } }\n"
      << "</style>\n";
}

void writePage(const StudentRecord& student, const std::string& date, std::ostream& out) {
  std::ostringstream letter;
  writeResultLetter(student, date, letter);
  const std::vector<std::string> lines = linesOf(letter.str());
  out << "<section class=\"letter\">\n<p class=\"address\">" << escapeHtml(student.name);
  for (std::size_t i = 0; i < kAddressLines && i < lines.size(); ++i) {
    out << "<br>" << escapeHtml(lines[i]);
  }
  out << "</p>\n<pre class=\"text\">";
  for (std::size_t i = kAddressLines; i < lines.size(); ++i) {
    out << escapeHtml(lines[i]) << "\n";
  }
  out << "</pre>\n</section>\n";
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
    // DIN 5008's address zone: the lower 27.3 mm of the window, 5 mm in from its left edge.
    return {25, 62.7, 75, 27.3};
  }
  // An inch from the left, 1.5 mm below the window's top; six lines of 12 pt end above its foot.
  return {25.4, 65, 108, 25.4};
}

long writePrintableLetters(const IntakeRecord& intake, const PrintLayout& layout,
                           const MailClock& clock, std::ostream& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<title>Result letters of intake " << escapeHtml(intake.code) << "</title>\n";
  writeStyle(layout, out);
  out << "</head>\n<body>\n";
  long letters = 0;
  forEachLetter(intake, clock, [&](const StudentRecord& student, const std::string& date) {
    writePage(student, date, out);
    ++letters;
  });
  out << "</body>\n</html>\n";
  return letters;
}
